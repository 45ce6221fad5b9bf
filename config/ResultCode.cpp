#include "config/ResultCode.h"

namespace {

// Indexed by code; the texts are the device tool's own wording, kept exactly (typos included)
// because operators and scripts match on them.
const char* const kTexts[] = {
    "Sucess",
    "This method has not been implemented",
    "Filename is not valid",
    "Out of memory",
    "Cannot find file",
    "File is not a valid TEQ6 configuration file",
    "An error occured whilst reading the file",
    "Baud rate is not valid",
    "Serial port number is not valid",
    "Cannot open this port",
    "Cannot connect to the TEQ6",
    "Cannot send data to the TEQ6",
    "Cannot disconnect from the TEQ6",
};
constexpr unsigned kTextCount = sizeof(kTexts) / sizeof(kTexts[0]);
const char* const kUnknownText = "Unknown error";

}  // namespace

const char* ErrorText(unsigned code) {
    return code < kTextCount ? kTexts[code] : kUnknownText;
}
