// What Windows calls each COM port, from the Setup API: its friendly name ("USB
// Serial Port (COM5)") and manufacturer in UTF-8, by the PortName value in the
// device's registry key. Ports that the system numbered past COM256, which
// telvorn cannot reach, are kept apart.
#pragma once

#include <cstddef>
#include <cstdint>

class PortNames {
  public:
    static constexpr std::size_t kNameSize = 256;

    PortNames() = default;
    PortNames(const PortNames&) = delete;
    PortNames& operator=(const PortNames&) = delete;
    virtual ~PortNames();

    // Reads every present port device. Without memory, or without a Setup API
    // answer, every port stays unnamed.
    void Load();
    // Whether the Setup API knows a device with this port number.
    bool IsKnown(std::uint32_t number) const;
    // Empty texts for a port it does not know.
    const char* FriendlyName(std::uint32_t number) const;
    const char* Manufacturer(std::uint32_t number) const;

    // The ports numbered COM257 and above, in the order the Setup API lists them:
    // their PortName
    // ("COM300"), friendly name and manufacturer.
    std::size_t BeyondRangeCount() const { return m_beyondCount; }
    const char* BeyondRangeName(std::size_t index) const;
    const char* BeyondRangeFriendlyName(std::size_t index) const;
    const char* BeyondRangeManufacturer(std::size_t index) const;

  private:
    struct Entry {
        char portName[kNameSize];  // kept for the ports beyond the range only
        char friendlyName[kNameSize];
        char manufacturer[kNameSize];
    };
    // More than a machine has; the rest are left out.
    static constexpr std::size_t kMostBeyondRange = 32;

    Entry* EntryFor(const char* portName);

    void LoadSet(const void* classGuid, unsigned long flags);

    // Indexed by port number, 0 unused; then the ports beyond the range.
    Entry* m_entries = nullptr;
    std::size_t m_beyondCount = 0;
};
