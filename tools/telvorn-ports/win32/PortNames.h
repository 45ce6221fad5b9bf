// What Windows calls each COM port, from the Setup API: its friendly name ("USB Serial Port
// (COM5)") and manufacturer in UTF-8, by the PortName value in the device's registry key.
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

    // Reads every present port device. Without memory, or without a Setup API answer, every port
    // stays unnamed.
    void Load();
    // Whether the Setup API knows a device with this port number.
    bool IsKnown(std::uint32_t number) const;
    // Empty texts for a port it does not know.
    const char* FriendlyName(std::uint32_t number) const;
    const char* Manufacturer(std::uint32_t number) const;

  private:
    struct Entry {
        char friendlyName[kNameSize];
        char manufacturer[kNameSize];
    };

    void LoadSet(const void* classGuid, unsigned long flags);

    // Indexed by port number, 0 unused.
    Entry* m_entries = nullptr;
};
