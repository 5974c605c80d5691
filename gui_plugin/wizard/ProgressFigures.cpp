#include "ProgressFigures.h"

#include <limits>

namespace progress {

namespace {

// Truncates toward zero into 32 bits; values beyond (which the inputs cannot produce: at most
// 4 GiB over at least one second) end at the largest value instead of being undefined.
uint32_t Truncate(double value) {
    if (!(value > 0)) return 0;
    if (value >= double(std::numeric_limits<uint32_t>::max())) {
        return std::numeric_limits<uint32_t>::max();
    }
    return static_cast<uint32_t>(value);
}

}  // namespace

uint32_t BarStepBytes(uint32_t bytesTotal) {
    uint32_t steps = bytesTotal / kBytesPerBarStep;
    if (steps <= kBarStepsMax) return kBytesPerBarStep;
    // The smallest step that keeps total / step within 16 bits.
    return bytesTotal / kBarStepsMax + (bytesTotal % kBarStepsMax != 0 ? 1 : 0);
}

DownloadFigures ComputeDownloadFigures(const DownloadInput& in) {
    DownloadFigures out;
    // A host that reports more than the total must not make the counts wrap round to four
    // billion: what is left is then nothing.
    uint32_t left = in.bytesDone < in.bytesTotal ? in.bytesTotal - in.bytesDone : 0;
    out.doneKb = in.bytesDone >> 10;
    out.leftKb = left >> 10;

    // Speed over the window. A window whose start lies after now (the wall clock was set back)
    // or above the bytes done now (the host began counting afresh, or its 32-bit count wrapped
    // past 4 GiB) measures nothing sensible: start a new one without a figure.
    int64_t windowMs = in.elapsedMs - in.windowStartMs;
    if (windowMs < 0 || in.bytesDone < in.windowStartBytes) {
        out.windowRestarts = true;
    } else if (windowMs >= kSpeedWindowMs) {
        double kilobytes = double(in.bytesDone - in.windowStartBytes) / 1024.0;
        out.speedKbPerSecond = Truncate(kilobytes / (double(windowMs) / 1000.0));
        out.speedMeasured = true;
        out.windowRestarts = true;
    }

    // Remaining time from the average rate since the start.
    if (in.elapsedMs > 0 && in.bytesTotal != 0) {
        double rate = (double(in.bytesDone) / 1024.0) / (double(in.elapsedMs) / 1000.0);
        if (Truncate(rate) != 0) {
            out.remainingSeconds = Truncate((double(left) / 1024.0) / rate);
            out.remainingEstimated = true;
        }
    }

    uint32_t step = BarStepBytes(in.bytesTotal);
    out.barRange = in.bytesTotal / step;
    out.barPosition = in.bytesDone / step;
    if (out.barPosition > out.barRange) out.barPosition = out.barRange;
    return out;
}

ClockParts SplitClock(uint64_t seconds) {
    ClockParts parts;
    parts.minutes = seconds / 60;
    parts.seconds = static_cast<uint32_t>(seconds % 60);
    return parts;
}

std::wstring CountText(uint64_t value) {
    // Digits by hand: the same text from every C runtime, whatever its printf knows of 64 bits.
    wchar_t digits[24];
    int n = 0;
    do {
        digits[n++] = wchar_t(L'0' + value % 10);
        value /= 10;
    } while (value != 0);
    std::wstring text;
    while (n > 0) text += digits[--n];
    return text;
}

std::wstring ClockText(uint64_t seconds) {
    ClockParts parts = SplitClock(seconds);
    std::wstring minutes = CountText(parts.minutes);
    if (minutes.size() < 2) minutes.insert(0, 1, L'0');
    std::wstring text = minutes + L':';
    text += wchar_t(L'0' + parts.seconds / 10);
    text += wchar_t(L'0' + parts.seconds % 10);
    return text;
}

}  // namespace progress
