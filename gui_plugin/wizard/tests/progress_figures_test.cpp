// The progress page's arithmetic as a table of cases: kilobytes, the speed window, the remaining
// time, the bar, and the clock texts. Built natively and for Windows (run under Wine), the same
// cases in both.
#include "ProgressFigures.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

using progress::DownloadFigures;
using progress::DownloadInput;

struct Case {
    const char* name;
    DownloadInput in;  // elapsed, window start ms, window start bytes, done, total
    DownloadFigures expected;
};

DownloadFigures Figures(uint32_t doneKb, uint32_t leftKb, bool measured, uint32_t speed,
                        bool restarts, bool estimated, uint32_t remaining, uint32_t range,
                        uint32_t position) {
    DownloadFigures f;
    f.doneKb = doneKb;
    f.leftKb = leftKb;
    f.speedMeasured = measured;
    f.speedKbPerSecond = speed;
    f.windowRestarts = restarts;
    f.remainingEstimated = estimated;
    f.remainingSeconds = remaining;
    f.barRange = range;
    f.barPosition = position;
    return f;
}

const Case kCases[] = {
    {"FirstNotificationHasNoTimeYet",
     {0, 0, 0, 0, 1048576},
     Figures(0, 1024, false, 0, false, false, 0, 104, 0)},
    {"WindowOf1499MsIsNotMeasured",
     {1499, 0, 0, 1536000, 10240000},
     Figures(1500, 8500, false, 0, false, true, 8, 1024, 153)},
    {"WindowOfExactly1500MsIsMeasuredAndRestarts",
     {1500, 0, 0, 1536000, 10240000},
     Figures(1500, 8500, true, 1000, true, true, 8, 1024, 153)},
    {"SpeedCountsOnlyTheWindowRemainingTheWholeRun",
     {10000, 8000, 5120000, 7168000, 10240000},
     Figures(7000, 3000, true, 1000, true, true, 4, 1024, 716)},
    {"SpeedAndKilobytesTruncate",
     {3000, 0, 0, 3071999, 3072000},
     Figures(2999, 0, true, 999, true, true, 0, 307, 307)},
    {"AverageBelowOneKilobyteASecondLeavesTheRemainingTime",
     {10000, 9000, 9000, 9000, 100000},
     Figures(8, 88, false, 0, false, false, 0, 10, 0)},
    {"AverageOfExactlyOneKilobyteASecondEstimates",
     {10000, 10000, 10240, 10240, 20480},
     Figures(10, 10, false, 0, false, true, 10, 2, 1)},
    // The host reports more than its total: nothing is left, instead of four billion bytes.
    {"BytesAboveTheTotalLeaveNothing",
     {4000, 0, 0, 2048000, 1024000},
     Figures(2000, 0, true, 500, true, true, 0, 102, 102)},
    // No total: no estimate of the remaining time and an empty bar, but a speed.
    {"UnknownTotalGivesNoEstimate",
     {2000, 0, 0, 1024000, 0},
     Figures(1000, 0, true, 500, true, false, 0, 0, 0)},
    // 1,000,000,000 bytes in steps of 10000 would be 100000 steps: past the bar's 16 bits.
    {"LargeTotalKeepsTheBarWithin16Bits",
     {100000, 99000, 499000000, 500000000, 1000000000},
     Figures(488281, 488281, false, 0, false, true, 100, 65530, 32765)},
    {"LargestCountsStayInRange",
     {1000, 0, 0, 0xFFFFFFFFu, 0xFFFFFFFFu},
     Figures(4194303, 0, false, 0, false, true, 0, 65535, 65535)},
    // The count fell below the window's start (the host counted afresh, or its 32-bit count
    // wrapped): no speed from that window, a new one starts now.
    {"CountBelowTheWindowStartRestartsTheWindow",
     {5000, 3000, 4000000, 1000000, 5000000},
     Figures(976, 3906, false, 0, true, true, 20, 500, 100)},
    // The window began "after now": the wall clock was set back.
    {"WindowStartInTheFutureRestartsTheWindow",
     {1000, 4000, 0, 1024000, 2048000},
     Figures(1000, 1000, false, 0, true, true, 1, 204, 102)},
    {"NoTimeSinceTheStartGivesNoEstimate",
     {-500, -500, 0, 1024, 2048},
     Figures(1, 1, false, 0, false, false, 0, 0, 0)},
};

class DownloadFiguresTable : public ::testing::TestWithParam<Case> {};

TEST_P(DownloadFiguresTable, MatchesTheCase) {
    const DownloadFigures& e = GetParam().expected;
    DownloadFigures f = progress::ComputeDownloadFigures(GetParam().in);
    EXPECT_EQ(f.doneKb, e.doneKb);
    EXPECT_EQ(f.leftKb, e.leftKb);
    EXPECT_EQ(f.speedMeasured, e.speedMeasured);
    if (e.speedMeasured) {
        EXPECT_EQ(f.speedKbPerSecond, e.speedKbPerSecond);
    }
    EXPECT_EQ(f.windowRestarts, e.windowRestarts);
    EXPECT_EQ(f.remainingEstimated, e.remainingEstimated);
    if (e.remainingEstimated) {
        EXPECT_EQ(f.remainingSeconds, e.remainingSeconds);
    }
    EXPECT_EQ(f.barRange, e.barRange);
    EXPECT_EQ(f.barPosition, e.barPosition);
    EXPECT_LE(f.barRange, progress::kBarStepsMax);
    EXPECT_LE(f.barPosition, f.barRange);
}

INSTANTIATE_TEST_SUITE_P(Cases, DownloadFiguresTable, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) {
                             return std::string(info.param.name);
                         });

// A whole download as the page runs it: a notification every 500 ms at 1000 kB/s, the window
// moved on whenever the figures say so. The speed is measured once per 1.5 s, never from one
// chunk.
TEST(DownloadFiguresRun, MeasuresTheSpeedOncePerWindow) {
    DownloadInput in;
    in.bytesTotal = 8 * 1024 * 1000;
    std::vector<int64_t> measuredAt;
    for (int64_t ms = 0; ms <= 6000; ms += 500) {
        in.elapsedMs = ms;
        in.bytesDone = uint32_t(ms * 1024);  // 1000 kB a second
        DownloadFigures f = progress::ComputeDownloadFigures(in);
        if (f.speedMeasured) {
            measuredAt.push_back(ms);
            EXPECT_EQ(f.speedKbPerSecond, 1000u) << ms;
        }
        if (f.windowRestarts) {
            in.windowStartMs = ms;
            in.windowStartBytes = in.bytesDone;
        }
    }
    EXPECT_EQ(measuredAt, (std::vector<int64_t>{1500, 3000, 4500, 6000}));
}

struct StepCase {
    uint32_t total;
    uint32_t step;
    uint32_t range;
};
const StepCase kSteps[] = {
    {0, 10000, 0},
    {9999, 10000, 0},
    {655350000, 10000, 65535},  // the last total that fits at 10000 bytes a step
    {655359999, 10000, 65535},
    {655360000, 10001, 65529},  // the first that would wrap the 16-bit bound
    {1000000000, 15260, 65530},
    {0xFFFFFFFFu, 65537, 65535},
};

TEST(BarStepBytes, KeepsTheRangeWithin16Bits) {
    for (const StepCase& c : kSteps) {
        EXPECT_EQ(progress::BarStepBytes(c.total), c.step) << c.total;
        EXPECT_EQ(c.total / progress::BarStepBytes(c.total), c.range) << c.total;
    }
}

struct ClockCase {
    uint64_t seconds;
    uint64_t minutes;
    uint32_t rest;
    const wchar_t* text;
};
const ClockCase kClocks[] = {
    {0, 0, 0, L"00:00"},       {59, 0, 59, L"00:59"},
    {60, 1, 0, L"01:00"},      {61, 1, 1, L"01:01"},
    {3599, 59, 59, L"59:59"},  {3600, 60, 0, L"60:00"},
    {6000, 100, 0, L"100:00"}, {4294967296ull, 71582788, 16, L"71582788:16"},
};

TEST(Clock, SplitsAndFormatsMinutesWithoutALimit) {
    for (const ClockCase& c : kClocks) {
        progress::ClockParts parts = progress::SplitClock(c.seconds);
        EXPECT_EQ(parts.minutes, c.minutes) << c.seconds;
        EXPECT_EQ(parts.seconds, c.rest) << c.seconds;
        EXPECT_EQ(progress::ClockText(c.seconds), c.text) << c.seconds;
    }
}

TEST(CountText, WritesDecimalDigits) {
    EXPECT_EQ(progress::CountText(0), L"0");
    EXPECT_EQ(progress::CountText(7), L"7");
    EXPECT_EQ(progress::CountText(4194303), L"4194303");
    EXPECT_EQ(progress::CountText(UINT64_MAX), L"18446744073709551615");
}

}  // namespace
