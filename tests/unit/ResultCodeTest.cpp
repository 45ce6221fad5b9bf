#include "app/ResultCode.h"

#include <gtest/gtest.h>

namespace {

TEST(ErrorText, EveryCodeHasItsTextAndAnyOtherValueIsUnknown) {
    const struct {
        ResultCode code;
        const char* text;
    } kTable[] = {
        {Success, "Sucess"},
        {NotImplemented, "This method has not been implemented"},
        {InvalidFilename, "Filename is not valid"},
        {OutOfMemory, "Out of memory"},
        {FileNotFound, "Cannot find file"},
        {InvalidFile, "File is not a valid TEQ6 configuration file"},
        {ReadError, "An error occured whilst reading the file"},
        {InvalidBaudRate, "Baud rate is not valid"},
        {InvalidPort, "Serial port number is not valid"},
        {CannotOpenPort, "Cannot open this port"},
        {CannotConnect, "Cannot connect to the TEQ6"},
        {CannotSend, "Cannot send data to the TEQ6"},
        {CannotDisconnect, "Cannot disconnect from the TEQ6"},
    };
    for (const auto& entry : kTable) {
        EXPECT_STREQ(ErrorText(entry.code), entry.text) << "code " << int(entry.code);
    }
    for (unsigned code : {13u, 14u, 255u, 1000u}) {
        EXPECT_STREQ(ErrorText(code), "Unknown error") << "code " << code;
    }
}

}  // namespace
