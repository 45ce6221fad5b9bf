#include "serial/EnumeratePorts.h"

#include <new>

SerialPortList* EnumeratePorts() {
    SerialPortList* list = new (std::nothrow) SerialPortList;
    if (list == nullptr) {
        return nullptr;
    }
    for (std::uint32_t number = 1; number <= SerialPort::kMaxPortNumber; ++number) {
        char deviceName[SerialPort::kDeviceNameSize];
        SerialPort::FormatDeviceName(number, deviceName);
        platform::Handle probe = platform::ProbePort(deviceName);
        if (probe == platform::kNoHandle) {
            continue;
        }
        SerialPort* port = new (std::nothrow) SerialPort;
        if (port == nullptr) {
            platform::ClosePort(probe);
            break;
        }
        port->SetPortNumber(number);
        if (!list->Add(port)) {
            delete port;
        }
        platform::ClosePort(probe);
    }
    return list;
}
