#include <windows.h>
#include <commctrl.h>

#include <new>

#include "download/CommUtils.h"
#include "util/Catch.h"
#include "util/Utils.h"

namespace vel {

namespace {

HWND g_mainBar = nullptr;
HWND g_activityBar = nullptr;
int32_t g_activity = 0;        // position of the activity bar; carries over from one download to the next
TProgBar* g_relay = nullptr;   // the download relay; lives until the process ends

void SendToBar(HWND bar, UINT message, WPARAM wParam, LPARAM lParam) {
    if (bar) SendMessageA(bar, message, wParam, lParam);
}

}  // namespace

void SetProgressBars(void* mainBar, void* activityBar) {
    g_mainBar = static_cast<HWND>(mainBar);
    g_activityBar = static_cast<HWND>(activityBar);
}

void ProgressSink(int32_t action, int32_t minimum, int32_t maximum, int32_t position, int32_t step,
                  const std::string& /*text*/) {
    switch (action) {
    case 0:
        // Only the low 16 bits of maximum count: the range message packs it into the high word.
        SendToBar(g_mainBar, PBM_SETRANGE, static_cast<WPARAM>(minimum),
                  static_cast<LPARAM>((static_cast<uint32_t>(maximum) & 0xFFFFu) << 16));
        SendToBar(g_mainBar, PBM_SETPOS, static_cast<WPARAM>(position), 0);
        SendToBar(g_mainBar, PBM_SETSTEP, static_cast<WPARAM>(step), 0);
        SendToBar(g_activityBar, PBM_SETRANGE, static_cast<WPARAM>(minimum), 0x50000);
        SendToBar(g_activityBar, PBM_SETPOS, 0, 0);
        SendToBar(g_activityBar, PBM_SETSTEP, 1, 0);
        break;
    case 1:
        SendToBar(g_mainBar, PBM_STEPIT, 0, 0);
        if (++g_activity > 5) g_activity = 0;
        SendToBar(g_activityBar, PBM_SETPOS, static_cast<WPARAM>(g_activity), 0);
        break;
    default:
        break;
    }
}

void PumpingYield(uint32_t ms) {
    // The relay's events wait 0 ms unless told otherwise: then only what is pending is dispatched,
    // without a sleep on every chunk of a download.
    if (ms == 0) PumpPending();
    else WaitPumping(0, ms);
}

TProgBar* EnsureDownloadRelay() {
    if (!g_relay) {
        VEL_TRY {
            g_relay = new TProgBar(ProgressSink, PumpingYield);
        } VEL_CATCH_ALL {
            g_relay = nullptr;
        }
    }
    return g_relay;
}

}  // namespace vel
