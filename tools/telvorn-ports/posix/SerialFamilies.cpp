#include "SerialFamilies.h"

#include <cstddef>
#include <cstring>

#include "platform/ComName.h"
#include "platform/posix/PortTable.h"

namespace {

// Serial device families that Linux drivers name outside telvorn's table: vendor USB drivers
// (Exar, WCH), Bluetooth RFCOMM, USB gadget serial, and the UARTs of common ARM systems.
const char* const kOtherFamilies[] = {
    "ttyXRUSB", "ttyCH341USB", "rfcomm", "ttyGS",  "ttyTHS",   "ttySAC", "ttymxc",
    "ttyO",     "ttyPS",       "ttySC",  "ttyMSM", "ttyHS",    "ttyLP",  "ttyMFD",
    "ttyUL",    "ttyMAX",      "ttySTM", "ttyAML", "ttyRPMSG",
};

bool IsFamilyMember(const char* fileName, const char* family) {
    const std::size_t prefixLength = std::strlen(family);
    if (std::strncmp(fileName, family, prefixLength) != 0) {
        return false;
    }
    return platform::IsDecimal(fileName + prefixLength);
}

}  // namespace

bool IsSerialDeviceName(const char* fileName) {
    for (std::size_t i = 0; platform::posix::FamilyAt(i) != nullptr; ++i) {
        if (IsFamilyMember(fileName, platform::posix::FamilyAt(i))) {
            return true;
        }
    }
    for (const char* family : kOtherFamilies) {
        if (IsFamilyMember(fileName, family)) {
            return true;
        }
    }
    return false;
}
