// initguid.h first: this file defines the device class and interface GUIDs it
// uses.
#include <initguid.h>

#include <windows.h>

#include <devguid.h>
#include <setupapi.h>

#include <cstring>
#include <new>

#include "PortNames.h"
#include "WideText.h"
#include "platform/ComName.h"

namespace {

constexpr std::size_t kEntryCount = platform::kMaxPortNumber + 1;
constexpr DWORD kAnyProfile = 0;

// The "PortName" value of the device's own key: "COM5" for a port, "LPT1" for a
// printer port.
bool ReadPortName(HDEVINFO devices, SP_DEVINFO_DATA* device,
                  char (&portName)[PortNames::kNameSize]) {
    HKEY key = SetupDiOpenDevRegKey(devices, device, DICS_FLAG_GLOBAL, kAnyProfile, DIREG_DEV,
                                    KEY_QUERY_VALUE);
    if (key == INVALID_HANDLE_VALUE) {
        return false;
    }
    std::memset(portName, 0, sizeof portName);
    DWORD type = 0;
    DWORD size = sizeof portName - 1;
    const LONG status =
        RegQueryValueExA(key, "PortName", nullptr, &type, reinterpret_cast<BYTE*>(portName), &size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS && type == REG_SZ;
}

// Read wide, so that the name keeps characters that the ANSI code page lacks.
void ReadProperty(HDEVINFO devices, SP_DEVINFO_DATA* device, DWORD property,
                  char (&text)[PortNames::kNameSize]) {
    wchar_t wide[PortNames::kNameSize] = {};
    if (!SetupDiGetDeviceRegistryPropertyW(devices, device, property, nullptr,
                                           reinterpret_cast<BYTE*>(wide),
                                           sizeof wide - sizeof *wide, nullptr)) {
        wide[0] = L'\0';
    }
    WideToUtf8(wide, text, sizeof text);
}

}  // namespace

PortNames::~PortNames() {
    delete[] m_entries;
}

void PortNames::Load() {
    if (m_entries == nullptr) {
        m_entries = new (std::nothrow) Entry[kEntryCount + kMostBeyondRange]();
    }
    if (m_entries == nullptr) {
        return;
    }
    // The Ports class holds most serial ports; the COM port interface adds those
    // of other classes, such as modems that offer one.
    LoadSet(&GUID_DEVCLASS_PORTS, DIGCF_PRESENT);
    LoadSet(&GUID_DEVINTERFACE_COMPORT, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
}

void PortNames::LoadSet(const void* classGuid, unsigned long flags) {
    HDEVINFO devices =
        SetupDiGetClassDevsA(static_cast<const GUID*>(classGuid), nullptr, nullptr, flags);
    if (devices == INVALID_HANDLE_VALUE) {
        return;
    }
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD index = 0; SetupDiEnumDeviceInfo(devices, index, &device); ++index) {
        char portName[kNameSize];
        Entry* found = ReadPortName(devices, &device, portName) ? EntryFor(portName) : nullptr;
        if (found == nullptr) {
            continue;
        }
        Entry& entry = *found;
        ReadProperty(devices, &device, SPDRP_FRIENDLYNAME, entry.friendlyName);
        if (entry.friendlyName[0] == '\0') {
            ReadProperty(devices, &device, SPDRP_DEVICEDESC, entry.friendlyName);
        }
        ReadProperty(devices, &device, SPDRP_MFG, entry.manufacturer);
    }
    SetupDiDestroyDeviceInfoList(devices);
}

// Each port keeps one entry, though both sets may list it.
PortNames::Entry* PortNames::EntryFor(const char* portName) {
    std::uint32_t number = 0;
    if (platform::ParseComName(portName, &number)) {
        return &m_entries[number];
    }
    if (!platform::IsComName(portName)) {
        return nullptr;
    }
    Entry* beyond = m_entries + kEntryCount;
    for (std::size_t index = 0; index < m_beyondCount; ++index) {
        if (_stricmp(beyond[index].portName, portName) == 0) {
            return &beyond[index];
        }
    }
    if (m_beyondCount == kMostBeyondRange) {
        return nullptr;
    }
    Entry* entry = &beyond[m_beyondCount++];
    std::strcpy(entry->portName, portName);
    return entry;
}

const char* PortNames::BeyondRangeName(std::size_t index) const {
    return m_entries[kEntryCount + index].portName;
}

const char* PortNames::BeyondRangeFriendlyName(std::size_t index) const {
    return m_entries[kEntryCount + index].friendlyName;
}

const char* PortNames::BeyondRangeManufacturer(std::size_t index) const {
    return m_entries[kEntryCount + index].manufacturer;
}

bool PortNames::IsKnown(std::uint32_t number) const {
    return FriendlyName(number)[0] != '\0';
}

const char* PortNames::FriendlyName(std::uint32_t number) const {
    return m_entries != nullptr && number < kEntryCount ? m_entries[number].friendlyName : "";
}

const char* PortNames::Manufacturer(std::uint32_t number) const {
    return m_entries != nullptr && number < kEntryCount ? m_entries[number].manufacturer : "";
}
