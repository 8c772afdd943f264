#include "download/CommUtils.h"

#include <algorithm>
#include <utility>

#include "util/Catch.h"
#include "util/Clock.h"
#include "util/StrUtils.h"

namespace vel {

namespace {

// Milliseconds of the monotonic clock, which counts from system start on both platforms.
uint32_t SystemTick() {
    return static_cast<uint32_t>(MonotonicMs());
}

}  // namespace

TBytesRate::TBytesRate(bool inKB, bool inMB, TTickSource ticks)
    : tickSamples_(5), byteSamples_(5), inKB_(inKB), inMB_(inMB),
      ticks_(ticks ? std::move(ticks) : TTickSource(SystemTick)) {
    Reset();
}

void TBytesRate::Reset() {
    std::fill(tickSamples_.begin(), tickSamples_.end(), 0u);
    std::fill(byteSamples_.begin(), byteSamples_.end(), 0);
    rateText_.clear();
    lastUpdate_ = 0;
}

std::string TBytesRate::RateText(int32_t n) {
    const uint32_t now = ticks_();
    const int64_t span = PushSample<uint32_t>(tickSamples_, now, TSampleMode::Span);
    const int64_t sum = PushSample<int32_t>(byteSamples_, n, TSampleMode::Sum);
    // Five samples taken, time has passed, and the last computation is over half a second old.
    if (tickSamples_[0] != 0 && span != 0 && static_cast<uint32_t>(now - lastUpdate_) > 500) {
        lastUpdate_ = now;
        const double rate = static_cast<double>(sum) / (static_cast<double>(span) / 1000.0) / 1024.0;
        rateText_ = FloatText(rate, 2, false);
    }
    return rateText_;
}

std::string TBytesRate::ProgressText(int32_t total, int32_t received, int32_t n) {
    std::string text;
    if (inMB_)
        text = FormatMB(true, 1, received) + "/" + FormatMB(true, 1, total) + " MB";
    else if (inKB_)
        text = FormatKB(true, 1, received) + "/" + FormatKB(true, 1, total) + " KB";
    else
        text = IntToStr(received) + "/" + IntToStr(total) + " BytesArr";
    const std::string rate = RateText(n);
    if (!rate.empty()) text += "   -   " + rate + " KB/Sec";
    return text;
}

TProgBar::TProgBar(TProgressSinkFn sink, TYieldFn yield) : sink_(std::move(sink)), yield_(std::move(yield)) {}

TProgBar::~TProgBar() {
    VEL_TRY {
        Finish(0, 0);
    } VEL_CATCH_ALL {
        // A destructor must not raise; the sink's failure has nowhere to go.
    }
}

void TProgBar::Pause(uint32_t ms) {
    if (yield_) yield_(ms);
}

void TProgBar::SetRange(int32_t position, int32_t maximum) {
    Pause(rangeDelayBefore);
    if (sink_) sink_(0, 0, maximum, position, 1, std::string());
    Pause(rangeDelayAfter);
}

void TProgBar::Step(const std::string& text) {
    Pause(stepDelayBefore);
    if (sink_) sink_(1, 0, 0, 0, 0, text);
    Pause(stepDelayAfter);
}

void TProgBar::Finish(uint32_t waitBefore, uint32_t waitAfter) {
    Pause(waitBefore);
    Pause(finishDelayBefore);
    if (sink_) sink_(0, 0, 0, 0, 1, std::string());
    Pause(finishDelayAfter);
    Pause(waitAfter);
}

void TProgBar::SetCaption(const std::string& /*text*/) {
    Pause(0);
}

}  // namespace vel
