#pragma once
// Download progress: the rate meter that turns chunk sizes into a "received/total" line with a
// transfer rate, the progress relay that a download loop drives, and (Windows) the download relay
// and the progress sink that move the stub window's two progress bars.
// Nothing here throws; a relay that cannot be created is reported as null.
#include <cstdint>
#include <functional>
#include <string>
#include <type_traits>
#include <vector>

namespace vel {

// Milliseconds since system start, wrapping at 2^32 (injectable so tests control time).
using TTickSource = std::function<uint32_t()>;

enum class TSampleMode { Span, Sum };

// Rate meter of one download.
class TBytesRate {
public:
    // ticks: null = the system's millisecond tick.
    TBytesRate(bool inKB, bool inMB, TTickSource ticks = nullptr);

    // Zeroes all samples, empties the rate text, last update = 0.
    void Reset();

    // Shifts the window down by one slot and puts value into the last slot. Span: value minus the
    // new first slot (unsigned wrap for unsigned windows); Sum: the newest slots after the first,
    // added up. A window of one slot or fewer gives 0.
    template <typename T>
    static int64_t PushSample(std::vector<T>& window, T value, TSampleMode mode);

    // Records a read of n bytes now and returns the rate text ("12.50", kilobytes per second):
    // empty until five samples exist, recomputed at most once per 500 ms.
    std::string RateText(int32_t n);

    // The progress line of one read: "1000/5000 BytesArr", "1.5/200.0 KB" or "1.0/20.0 MB", followed by
    // "   -   <rate> KB/Sec" once a rate exists.
    std::string ProgressText(int32_t total, int32_t received, int32_t n);

private:
    std::vector<uint32_t> tickSamples_;
    std::vector<int32_t> byteSamples_;
    bool inKB_;
    bool inMB_;
    std::string rateText_;
    uint32_t lastUpdate_ = 0;
    TTickSource ticks_;
};

template <typename T>
int64_t TBytesRate::PushSample(std::vector<T>& window, T value, TSampleMode mode) {
    if (window.size() <= 1) return 0;
    for (size_t i = 1; i < window.size(); ++i) window[i - 1] = window[i];
    window.back() = value;
    if (mode == TSampleMode::Span) {
        if constexpr (std::is_unsigned<T>::value) return static_cast<T>(value - window[0]);
        else return static_cast<int64_t>(value) - static_cast<int64_t>(window[0]);
    }
    int64_t sum = 0;
    for (size_t i = 1; i < window.size(); ++i) sum += static_cast<int64_t>(window[i]);
    return sum;
}

// Receives the relay's events: action 0 sets up (range 0..maximum at position, with step),
// action 1 steps once; text is the progress line of a step.
using TProgressSinkFn = std::function<void(int32_t action, int32_t minimum, int32_t maximum, int32_t position,
                                           int32_t step, const std::string& text)>;
// Waits the given milliseconds; on Windows it pumps the thread's messages meanwhile.
using TYieldFn = std::function<void(uint32_t ms)>;

// Progress relay between a download loop and a sink. Every event yields before and after it.
class TProgBar {
public:
    // yield: null means no waiting between events.
    TProgBar(TProgressSinkFn sink, TYieldFn yield);
    ~TProgBar();  // Finish(0, 0)
    TProgBar(const TProgBar&) = delete;
    TProgBar& operator=(const TProgBar&) = delete;

    // Waits around each event, in milliseconds; zero on creation.
    uint32_t rangeDelayBefore = 0, rangeDelayAfter = 0;
    uint32_t stepDelayBefore = 0, stepDelayAfter = 0;
    uint32_t finishDelayBefore = 0, finishDelayAfter = 0;
    // The download loop ends when this is set.
    bool cancel = false;

    void SetRange(int32_t position, int32_t maximum);  // sink (0, 0, maximum, position, 1, "")
    void Step(const std::string& text);                // sink (1, 0, 0, 0, 0, text)
    void Finish(uint32_t waitBefore, uint32_t waitAfter);  // sink (0, 0, 0, 0, 1, "")
    void SetCaption(const std::string& text);          // the sink takes no caption: yields once

private:
    void Pause(uint32_t ms);

    TProgressSinkFn sink_;
    TYieldFn yield_;
};

// ---- Windows only (CommUtils_win.cpp) ----

// The window handles (HWND) of the main and the activity progress bar; either may be null.
void SetProgressBars(void* mainBar, void* activityBar);
// Moves the registered bars: action 0 sets the main bar to 0..(maximum & 0xFFFF) at position with
// step and the activity bar to 0..5 at 0; action 1 steps the main bar and advances the activity
// counter (1..5, then 0). Other actions do nothing. The text is not shown.
void ProgressSink(int32_t action, int32_t minimum, int32_t maximum, int32_t position, int32_t step,
                  const std::string& text);
// The process-wide download relay, created with the progress sink on first need and never freed.
// Null only when it cannot be allocated.
TProgBar* EnsureDownloadRelay();
// Message-pumping wait used as the relay's yield.
void PumpingYield(uint32_t ms);

}  // namespace vel
