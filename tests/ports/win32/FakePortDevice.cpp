// Gives the Wine prefix a device of the Ports class, as a driver's installation would on
// Windows, so that telvorn-ports' Setup API names can be tested where Wine has none of its own:
//
//   fake_port_device add NUMBER FRIENDLY-NAME   registers it with PortName COMnumber
//   fake_port_device remove NUMBER              removes every device with that PortName
#include <initguid.h>

#include <windows.h>

#include <devguid.h>
#include <setupapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kCommandArg = 1;
constexpr int kNumberArg = 2;
constexpr int kNameArg = 3;
constexpr int kAddArgs = 4;
constexpr int kRemoveArgs = 3;
constexpr std::size_t kNameSize = 64;
constexpr DWORD kAnyProfile = 0;
const char kHardwareId[] = "ROOT\\TELVORN_TEST_PORT\0";

int Fail(const char* step) {
    std::fprintf(stderr, "fake_port_device: %s failed (error %lu)\n", step,
                 static_cast<unsigned long>(GetLastError()));
    return kExitFailed;
}

bool SetPortName(HDEVINFO devices, SP_DEVINFO_DATA* device, const char* portName) {
    HKEY key = SetupDiCreateDevRegKeyA(devices, device, DICS_FLAG_GLOBAL, kAnyProfile, DIREG_DEV,
                                       nullptr, nullptr);
    if (key == INVALID_HANDLE_VALUE) {
        return false;
    }
    const LONG status =
        RegSetValueExA(key, "PortName", 0, REG_SZ, reinterpret_cast<const BYTE*>(portName),
                       static_cast<DWORD>(std::strlen(portName) + 1));
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

int Add(const char* portName, const char* friendlyName) {
    HDEVINFO devices = SetupDiCreateDeviceInfoList(&GUID_DEVCLASS_PORTS, nullptr);
    if (devices == INVALID_HANDLE_VALUE) {
        return Fail("SetupDiCreateDeviceInfoList");
    }
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    const bool added =
        SetupDiCreateDeviceInfoA(devices, "Ports", &GUID_DEVCLASS_PORTS, friendlyName, nullptr,
                                 DICD_GENERATE_ID, &device) &&
        SetupDiSetDeviceRegistryPropertyA(devices, &device, SPDRP_HARDWAREID,
                                          reinterpret_cast<const BYTE*>(kHardwareId),
                                          sizeof kHardwareId) &&
        SetupDiSetDeviceRegistryPropertyA(devices, &device, SPDRP_FRIENDLYNAME,
                                          reinterpret_cast<const BYTE*>(friendlyName),
                                          static_cast<DWORD>(std::strlen(friendlyName) + 1)) &&
        SetupDiRegisterDeviceInfo(devices, &device, 0, nullptr, nullptr, nullptr) &&
        SetPortName(devices, &device, portName);
    SetupDiDestroyDeviceInfoList(devices);
    return added ? kExitOk : Fail("registering the device");
}

bool HasPortName(HDEVINFO devices, SP_DEVINFO_DATA* device, const char* portName) {
    HKEY key = SetupDiOpenDevRegKey(devices, device, DICS_FLAG_GLOBAL, kAnyProfile, DIREG_DEV,
                                    KEY_QUERY_VALUE);
    if (key == INVALID_HANDLE_VALUE) {
        return false;
    }
    char value[kNameSize] = {};
    DWORD size = sizeof value - 1;
    const LONG status =
        RegQueryValueExA(key, "PortName", nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS && std::strcmp(value, portName) == 0;
}

int Remove(const char* portName) {
    HDEVINFO devices = SetupDiGetClassDevsA(&GUID_DEVCLASS_PORTS, nullptr, nullptr, 0);
    if (devices == INVALID_HANDLE_VALUE) {
        return Fail("SetupDiGetClassDevs");
    }
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    bool removed = true;
    for (DWORD index = 0; SetupDiEnumDeviceInfo(devices, index, &device); ++index) {
        if (HasPortName(devices, &device, portName)) {
            removed = SetupDiRemoveDevice(devices, &device) && removed;
        }
    }
    SetupDiDestroyDeviceInfoList(devices);
    return removed ? kExitOk : Fail("SetupDiRemoveDevice");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < kRemoveArgs) {
        return kExitUsage;
    }
    char portName[kNameSize];
    std::snprintf(portName, sizeof portName, "COM%d", std::atoi(argv[kNumberArg]));
    if (argc == kAddArgs && std::strcmp(argv[kCommandArg], "add") == 0) {
        return Add(portName, argv[kNameArg]);
    }
    if (argc == kRemoveArgs && std::strcmp(argv[kCommandArg], "remove") == 0) {
        return Remove(portName);
    }
    return kExitUsage;
}
