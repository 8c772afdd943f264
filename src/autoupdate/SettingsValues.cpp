#include "autoupdate/SettingsValues.h"


#include "util/SUB.h"
#include "util/StrUtils.h"

namespace vel {

namespace {
uint8_t g_transient[kTransientCount] = {255, 255, 255, 255, 255, 255, 255, 255};
}

int64_t SettingsInt(const std::string& text, int64_t def) { return DecimalToInt64(text, def); }

bool SettingsFlag(const std::string& text) { return text == "1"; }

bool OverridableFlag(uint8_t override, const std::string& text) {
    return override != kTransientUnset ? override == 1 : SettingsFlag(text);
}

int64_t AgentSeconds(double dateTime) { return RoundToInt64(dateTime * 86400.0); }

int64_t AgentClockNow() { return AgentSeconds(NowDateTime()); }

std::string EchoText(int64_t seconds) {
    // Clamped here, before the date formatting sees it: -1 there would mean "now".
    const double days = ClampFloat(static_cast<double>(seconds) / 86400.0, 0.0, 10000000.0);
    return DateTimeText(" ", days);
}

uint8_t GetTransientOverride(int position) {
    return position >= 0 && position < kTransientCount ? g_transient[position] : kTransientUnset;
}

void SetTransientOverride(int position, uint8_t value) {
    if (position >= 0 && position < kTransientCount) g_transient[position] = value;
}

void ResetTransientOverrides() {
    for (uint8_t& o : g_transient) o = kTransientUnset;
}

std::string WriteTransientList() {
    std::string list = "|";
    for (uint8_t o : g_transient) list += IntToStr(o) + "|";
    return list;
}

void ReadTransientList(const std::string& list) {
    for (int i = 0; i < kTransientCount; ++i) {
        const int64_t v = DecimalToInt64(SUB::Item(list, i), -1);
        if (v >= 0 && v <= 255) g_transient[i] = static_cast<uint8_t>(v);
    }
}

}  // namespace vel
