// GetDifSystemTime: the difference in hours, minutes, seconds and milliseconds.
#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "fetchwell/loadercontrol.h"

namespace {

SYSTEMTIME At(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second, WORD ms) {
    SYSTEMTIME t = {};
    t.wYear = year;
    t.wMonth = month;
    t.wDay = day;
    t.wHour = hour;
    t.wMinute = minute;
    t.wSecond = second;
    t.wMilliseconds = ms;
    return t;
}

struct DifferenceCase {
    const char* label;
    SYSTEMTIME from;
    SYSTEMTIME to;
    int result;
    WORD hours, minutes, seconds, milliseconds;
};

class TimeDifference : public ::testing::TestWithParam<DifferenceCase> {};

TEST_P(TimeDifference, GivesEndMinusStart) {
    const DifferenceCase& c = GetParam();
    SYSTEMTIME result;
    memset(&result, 0x5A, sizeof(result));
    EXPECT_EQ(GetDifSystemTime(&result, &c.from, &c.to), c.result);
    EXPECT_EQ(result.wHour, c.hours);
    EXPECT_EQ(result.wMinute, c.minutes);
    EXPECT_EQ(result.wSecond, c.seconds);
    EXPECT_EQ(result.wMilliseconds, c.milliseconds);
    EXPECT_EQ(result.wYear, 0);
    EXPECT_EQ(result.wMonth, 0);
    EXPECT_EQ(result.wDay, 0);
    EXPECT_EQ(result.wDayOfWeek, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Table, TimeDifference,
    ::testing::Values(DifferenceCase{"Same", At(2024, 5, 1, 10, 0, 0, 0),
                                     At(2024, 5, 1, 10, 0, 0, 0), 0, 0, 0, 0, 0},
                      DifferenceCase{"Milliseconds", At(2024, 5, 1, 10, 0, 0, 250),
                                     At(2024, 5, 1, 10, 0, 1, 750), 0, 0, 0, 1, 500},
                      DifferenceCase{"BorrowsAcrossFields", At(2024, 5, 1, 10, 59, 59, 900),
                                     At(2024, 5, 1, 11, 0, 0, 100), 0, 0, 0, 0, 200},
                      DifferenceCase{"HoursMinutesSeconds", At(2024, 5, 1, 8, 15, 30, 0),
                                     At(2024, 5, 1, 10, 20, 45, 5), 0, 2, 5, 15, 5},
                      DifferenceCase{"PastMidnight", At(2024, 2, 28, 23, 59, 59, 500),
                                     At(2024, 2, 29, 0, 0, 1, 250), 0, 0, 0, 1, 750},
                      DifferenceCase{"PastYearEnd", At(2023, 12, 31, 23, 30, 0, 0),
                                     At(2024, 1, 1, 0, 10, 0, 0), 0, 0, 40, 0, 0},
                      DifferenceCase{"MoreThanADayInHours", At(2024, 5, 1, 10, 0, 0, 0),
                                     At(2024, 5, 2, 12, 1, 2, 3), 0, 26, 1, 2, 3},
                      DifferenceCase{"CappedAtLargestHourCount", At(2000, 1, 1, 0, 0, 0, 0),
                                     At(2010, 1, 1, 0, 0, 0, 0), 0, 65535, 59, 59, 999},
                      DifferenceCase{"EndBeforeStart", At(2024, 5, 1, 10, 0, 1, 0),
                                     At(2024, 5, 1, 10, 0, 0, 0), 1, 0, 0, 0, 0},
                      DifferenceCase{"InvalidMonth", At(2024, 13, 1, 0, 0, 0, 0),
                                     At(2024, 5, 1, 0, 0, 0, 0), -1, 0, 0, 0, 0},
                      DifferenceCase{"InvalidHour", At(2024, 5, 1, 0, 0, 0, 0),
                                     At(2024, 5, 1, 24, 0, 0, 0), -1, 0, 0, 0, 0}),
    [](const ::testing::TestParamInfo<DifferenceCase>& info) {
        return std::string(info.param.label);
    });

TEST(TimeDifference, NullArgumentsAreRefused) {
    const SYSTEMTIME t = At(2024, 5, 1, 10, 0, 0, 0);
    SYSTEMTIME result;
    memset(&result, 0x5A, sizeof(result));
    EXPECT_EQ(GetDifSystemTime(&result, nullptr, &t), -1);
    EXPECT_EQ(result.wHour, 0);
    EXPECT_EQ(GetDifSystemTime(&result, &t, nullptr), -1);
    EXPECT_EQ(GetDifSystemTime(nullptr, &t, &t), -1);
}

}  // namespace
