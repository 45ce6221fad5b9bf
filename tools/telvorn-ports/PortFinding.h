// What the tool found out about one serial port: the COM number telvorn would be given, the
// device, whether telvorn could open it now, what the user can do about it, and what the system
// says the port is.
#pragma once

#include <cstddef>
#include <cstdint>

class PortFinding {
  public:
    static constexpr std::size_t kTextSize = 512;
    static constexpr std::size_t kMostFacts = 8;
    // A device telvorn has no number for.
    static constexpr std::uint32_t kNoNumber = 0;

    enum class FactStyle {
        kBare,      // the value alone in the one-line form ("ftdi_sio")
        kLabelled,  // with its label there too ("USB 0403:6001")
    };

    PortFinding() = default;
    PortFinding(const PortFinding&) = delete;
    PortFinding& operator=(const PortFinding&) = delete;
    virtual ~PortFinding() = default;

    void SetNumber(std::uint32_t number) { m_number = number; }
    void SetDevice(const char* device);
    void SetState(const char* state);
    // What does not fit is cut off.
    void AppendToState(const char* text);
    void SetHint(const char* hint);
    // Facts beyond kMostFacts are left out: a description is never worth failing a listing for.
    // Empty values are left out as well.
    void AddFact(const char* label, FactStyle style, const char* value);

    std::uint32_t Number() const { return m_number; }
    const char* Device() const { return m_device; }
    const char* State() const { return m_state; }
    const char* Hint() const { return m_hint; }
    std::size_t FactCount() const { return m_factCount; }
    const char* FactLabel(std::size_t index) const { return m_facts[index].label; }
    const char* FactValue(std::size_t index) const { return m_facts[index].value; }
    bool IsLabelledInLine(std::size_t index) const {
        return m_facts[index].style == FactStyle::kLabelled;
    }

  private:
    struct Fact {
        const char* label;
        FactStyle style;
        char value[kTextSize];
    };

    std::uint32_t m_number = kNoNumber;
    char m_device[kTextSize] = {};
    char m_state[kTextSize] = {};
    char m_hint[kTextSize] = {};
    Fact m_facts[kMostFacts] = {};
    std::size_t m_factCount = 0;
};
