// fake_port_device NUMBER FRIENDLY-NAME: a Ports device as a driver's installation makes one, for
// telvorn-ports' Setup API names, which Wine has none of. Its instance ID follows from the number,
// so that a later run names the same device again.
#include <initguid.h>

#include <windows.h>

#include <devguid.h>
#include <setupapi.h>

#include <cstdio>
#include <cstring>

namespace {

constexpr DWORD kAnyProfile = 0;

// A REG_SZ value's bytes, its NUL included.
bool SetText(HDEVINFO devices, SP_DEVINFO_DATA* device, HKEY key, const char* name,
             const char* text) {
    const BYTE* bytes = reinterpret_cast<const BYTE*>(text);
    const DWORD size = static_cast<DWORD>(std::strlen(text) + 1);
    return name == nullptr
               ? SetupDiSetDeviceRegistryPropertyA(devices, device, SPDRP_FRIENDLYNAME, bytes, size)
               : RegSetValueExA(key, name, 0, REG_SZ, bytes, size) == ERROR_SUCCESS;
}

}  // namespace

// What the process holds goes with it when it ends.
int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: fake_port_device NUMBER FRIENDLY-NAME\n");
        return 2;
    }
    char portName[16];
    char instanceId[64];
    std::snprintf(portName, sizeof portName, "COM%s", argv[1]);
    std::snprintf(instanceId, sizeof instanceId, "ROOT\\PORTS\\TELVORN_%s", portName);
    HDEVINFO devices = SetupDiCreateDeviceInfoList(&GUID_DEVCLASS_PORTS, nullptr);
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    // Registered by an earlier run, the device is opened instead.
    if (!SetupDiCreateDeviceInfoA(devices, instanceId, &GUID_DEVCLASS_PORTS, nullptr, nullptr, 0,
                                  &device) ||
        !SetupDiRegisterDeviceInfo(devices, &device, 0, nullptr, nullptr, nullptr)) {
        SetupDiOpenDeviceInfoA(devices, instanceId, nullptr, 0, &device);
    }
    HKEY key = SetupDiCreateDevRegKeyA(devices, &device, DICS_FLAG_GLOBAL, kAnyProfile, DIREG_DEV,
                                       nullptr, nullptr);
    if (key == INVALID_HANDLE_VALUE || !SetText(devices, &device, key, nullptr, argv[2]) ||
        !SetText(devices, &device, key, "PortName", portName)) {
        std::fprintf(stderr, "fake_port_device: naming %s failed (error %lu)\n", instanceId,
                     static_cast<unsigned long>(GetLastError()));
        return 1;
    }
    return 0;
}
