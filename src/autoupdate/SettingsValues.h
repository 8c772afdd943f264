#pragma once
// Value rules of the two settings files of an installed product, the agent's clock and the
// transient overrides. Portable: no Windows API; the file access is in UpdateSettings_win.cpp.
#include <cstdint>
#include <string>

namespace vel {

// Integers of the settings files: signed 64-bit decimal only; anything else gives def.
int64_t SettingsInt(const std::string& text, int64_t def);
// A flag is set exactly when its text is "1" ("01", "true" and "yes" are not).
bool SettingsFlag(const std::string& text);
// An overridable flag: the transient override decides unless it is kTransientUnset.
bool OverridableFlag(uint8_t override, const std::string& text);

// The agent's clock: local date and time as whole seconds since 30 December 1899 00:00.
int64_t AgentSeconds(double dateTime);
int64_t AgentClockNow();
// Echo text of a moment on the agent's clock, e.g. "06-DEC-2026 14:05:09"; day counts outside
// 0 .. 10000000 are clamped into that range.
std::string EchoText(int64_t seconds);

// ---- Transient overrides: eight process-wide bytes, kTransientUnset until set ----------------
constexpr int kTransientCount = 8;
constexpr uint8_t kTransientUnset = 255;
enum TransientPosition {
    kTransientAskBeforeShot = 0,
    kTransientConfirmDownload = 1,
    kTransientConfirmInstall = 2,
    kTransientBackgroundUpdate = 3,
    kTransientInformFinish = 4,
    kTransientRestartProcess = 5,
    kTransientConfirmDownloadForce = 6,
    kTransientConfirmInstallForce = 7,
};
// kTransientUnset for a position out of range; setting one out of range does nothing.
uint8_t GetTransientOverride(int position);
void SetTransientOverride(int position, uint8_t value);
void ResetTransientOverrides();
// "|" + eight decimals each followed by "|", in position order.
std::string WriteTransientList();
// Takes item i as a decimal byte; a missing item or one that is not a number 0..255 leaves
// override i unchanged.
void ReadTransientList(const std::string& list);

}  // namespace vel
