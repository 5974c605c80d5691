// The figures the progress page shows, as plain arithmetic of its inputs: kilobytes done and
// left, the download speed over a window of at least 1.5 s, the estimated remaining time, the
// progress bar's range and position, and the "mm:ss" clock texts. No window and no clock in
// here: the page takes the times, calls these and only formats and shows the results, so that
// the table of cases in the tests needs no sleeping.
#pragma once

#include <cstdint>
#include <string>

namespace progress {

// The speed is measured over at least this much time, never from one chunk.
constexpr int64_t kSpeedWindowMs = 1500;
// The progress bar's range is a 16-bit value: 10000 bytes a step while that fits, more above.
constexpr uint32_t kBytesPerBarStep = 10000;
constexpr uint32_t kBarStepsMax = 0xFFFF;

// One download notification's inputs. The times are milliseconds since the first download
// notification (the start); the speed window is the stretch since the speed was last measured.
struct DownloadInput {
    int64_t elapsedMs = 0;          // now
    int64_t windowStartMs = 0;      // when the current speed window began
    uint32_t windowStartBytes = 0;  // bytes done when it began
    uint32_t bytesDone = 0;         // bytes done now
    uint32_t bytesTotal = 0;        // bytes of the whole download; 0 when unknown
};

struct DownloadFigures {
    uint32_t doneKb = 0;  // bytes done / 1024
    uint32_t leftKb = 0;  // bytes still to download / 1024; 0 once done reaches the total

    // The speed window: when it has lasted at least kSpeedWindowMs, the speed is measured and a
    // new window starts now (at elapsedMs with bytesDone). A window is also started afresh
    // without a measurement when its start no longer fits the inputs (see below).
    bool speedMeasured = false;
    uint32_t speedKbPerSecond = 0;  // valid when speedMeasured
    bool windowRestarts = false;    // start the next window at (elapsedMs, bytesDone)

    // The remaining time from the average rate since the start; not estimated (the text keeps
    // its last value) before any time has passed, below 1 kB/s, or without a known total.
    bool remainingEstimated = false;
    uint32_t remainingSeconds = 0;  // valid when remainingEstimated

    // The bar: range 0..barRange, position barPosition, both within 16 bits.
    uint32_t barRange = 0;
    uint32_t barPosition = 0;
};

DownloadFigures ComputeDownloadFigures(const DownloadInput& in);

// Bytes per bar step for a total: 10000, or as many more as keep the range within 16 bits.
uint32_t BarStepBytes(uint32_t bytesTotal);

struct ClockParts {
    uint64_t minutes = 0;  // not limited to two digits
    uint32_t seconds = 0;  // 0..59
};
ClockParts SplitClock(uint64_t seconds);

// "mm:ss" with at least two digits each: 0 -> "00:00", 61 -> "01:01", 6000 -> "100:00".
std::wstring ClockText(uint64_t seconds);
// A count in decimal digits, as the page shows kilobytes and the speed.
std::wstring CountText(uint64_t value);

}  // namespace progress
