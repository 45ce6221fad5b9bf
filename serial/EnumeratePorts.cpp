#include "serial/EnumeratePorts.h"

#include <new>

#include "platform/ComName.h"
#include "platform/Port.h"

SerialPortList* EnumeratePorts() {
    SerialPortList* list = new (std::nothrow) SerialPortList;
    if (list == nullptr) {
        return nullptr;
    }
    constexpr std::uint32_t kCount = platform::kMaxPortNumber;
    char deviceNames[kCount][platform::kDeviceNameSize];
    const char* names[kCount];
    bool isFree[kCount] = {};
    for (std::uint32_t index = 0; index < kCount; ++index) {
        platform::FormatDeviceName(index + 1, deviceNames[index]);
        names[index] = deviceNames[index];
    }
    platform::ProbePorts(names, kCount, isFree);
    for (std::uint32_t index = 0; index < kCount; ++index) {
        if (!isFree[index]) {
            continue;
        }
        SerialPort* port = new (std::nothrow) SerialPort;
        if (port == nullptr) {
            break;
        }
        port->SetPortNumber(index + 1);
        if (!list->Add(port)) {
            delete port;
        }
    }
    return list;
}
