// Port settings normalisation: any stored texts give settings whose texts normalise to
// themselves with the same line (normalising is idempotent), and saving and loading them
// gives the same settings. The input is the six stored texts, separated by NUL bytes.

#include "base/line_timing.h"
#include "base/memory_settings_store.h"
#include "fuzz_check.h"
#include "port/port_settings.h"

#include <array>
#include <string>

namespace {
bool SameSettings(const CPortSettings& a, const CPortSettings& b)
{
    return a.m_strPort == b.m_strPort && a.m_strBaud == b.m_strBaud && a.m_strDataBits == b.m_strDataBits
           && a.m_strParity == b.m_strParity && a.m_strStopBits == b.m_strStopBits
           && a.m_strHandshake == b.m_strHandshake && a.m_line == b.m_line;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::array<std::string, 6> values;
    std::size_t present = 0;
    std::size_t from = 0;
    for (std::string& value : values) {
        if (from > text.size())
            break;
        ++present;
        std::size_t to = text.find('\0', from);
        if (to == std::string::npos)
            to = text.size();
        value = text.substr(from, to - from);
        from = to + 1;
    }
    CMemorySettingsStore store;
    const char* keys[] = {CPortSettings::kKeyPort, CPortSettings::kKeyBaud, CPortSettings::kKeyDataBits,
        CPortSettings::kKeyParity, CPortSettings::kKeyStopBits, CPortSettings::kKeyHandshake};
    // Keys past the texts given stay absent, so their defaults apply.
    for (std::size_t i = 0; i < present; ++i)
        store.WriteString(keys[i], values[i]);

    CPortSettings settings;
    settings.LoadPortSettings(store);
    CPortSettings again = settings;
    again.SetBaud(settings.m_strBaud);
    again.SetDataBits(settings.m_strDataBits);
    again.SetParity(settings.m_strParity);
    again.SetStopBits(settings.m_strStopBits);
    again.SetHandshake(settings.m_strHandshake);
    FUZZ_CHECK(SameSettings(again, settings));

    // Each number is one of its choices.
    const CLineConfig& line = settings.m_line;
    FUZZ_CHECK(line.m_nDataBits >= 5 && line.m_nDataBits <= 8);
    FUZZ_CHECK(line.m_eParity <= EParity::Space);
    FUZZ_CHECK(line.m_eStopBits <= EStopBits::Two);
    FUZZ_CHECK(IsValidHandshake(line.m_eHandshake));
    FUZZ_CHECK(line.m_nBaud >= line_timing::kMinBaud && line.m_nBaud <= line_timing::kMaxBaud);

    CMemorySettingsStore saved;
    settings.SaveAll(saved);
    CPortSettings loaded;
    loaded.LoadPortSettings(saved);
    FUZZ_CHECK(SameSettings(loaded, settings));
    settings.PaneText();
    return 0;
}
