#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <fstream>
#include <string>
#include <vector>

#include "DiagTestFiles.h"
#include "TestKit.h"
#include "diagnostics/ReportRecorder.h"
#include "diagnostics/TrendScale.h"
#include "diagnostics/TrendSeries.h"

namespace {

using namespace diagtest;

std::vector<std::string> FileLines(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

ChargerVariables Parsed(const std::string& line) {
    ChargerVariables vars;
    EXPECT_TRUE(ParseVariables(line.c_str(), vars)) << line;
    return vars;
}

// A second run appends under the first run's header; ".jsonl" gives JSON
// lines; a comma-decimal desktop locale changes nothing in either.
TEST(ReportRecorder, CsvHeaderOnceJsonLinesByNameAndAlwaysTheCLocale) {
    const char* const previous = std::setlocale(LC_ALL, nullptr);
    const std::string restore = previous != nullptr ? previous : "C";
    ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr) << "locales-all is missing";
    testkit::CScratchDir scratch;
    const WallTimePoint when = std::chrono::system_clock::from_time_t(1800000000);
    const std::string stamp = IsoTimestamp(when);
    const ChargerVariables vars = Parsed(kFullLine);

    const std::string csv = scratch.Path() + "/charge.csv";
    for (int run = 0; run < 2; ++run) {
        CReportRecorder recorder;
        ASSERT_TRUE(recorder.Open(csv)) << recorder.Error();
        EXPECT_TRUE(recorder.Record(when, vars));
    }
    const auto csvLines = FileLines(csv);
    ASSERT_EQ(csvLines.size(), 3u);
    EXPECT_EQ(csvLines[0].substr(0, 34), "Time,Batt Present,Radio Detected,C");
    EXPECT_EQ(csvLines[1], stamp + "," + kFullRows);
    EXPECT_EQ(csvLines[2], csvLines[1]);

    const std::string jsonl = scratch.Path() + "/charge.jsonl";
    CReportRecorder recorder;
    ASSERT_TRUE(recorder.Open(jsonl)) << recorder.Error();
    EXPECT_TRUE(recorder.Record(when, vars));
    EXPECT_TRUE(recorder.LinkLost(when));
    recorder.Close();
    const auto jsonLines = FileLines(jsonl);
    ASSERT_EQ(jsonLines.size(), 2u);
    EXPECT_TRUE(jsonLines[0].starts_with(R"({"time":")" + stamp + R"(","Batt Present":"true",)"))
        << jsonLines[0];
    EXPECT_NE(jsonLines[0].find(R"("VSB":"12.25","Average VSB":"12.50",)"), std::string::npos)
        << jsonLines[0];
    EXPECT_EQ(jsonLines[1], R"({"time":")" + stamp + R"(","event":"link lost"})");

    EXPECT_FALSE(recorder.Open(scratch.Path() + "/no/such/folder.csv"));
    EXPECT_NE(recorder.Error().find("No such file or directory"), std::string::npos)
        << recorder.Error();
    // A device has nothing to sync: a record on /dev/null outlives lost links.
    ASSERT_TRUE(recorder.Open("/dev/null")) << recorder.Error();
    EXPECT_TRUE(recorder.LinkLost(when)) << recorder.Error();
    EXPECT_TRUE(recorder.LinkBack(when)) << recorder.Error();
    std::setlocale(LC_ALL, restore.c_str());
}

// What is drawn of a day at one report a second: at most four points a pixel
// column, a one-second spike and a one-second dip kept, and the curve broken
// where the link was.
TEST(TrendSeries, DecimationKeepsSpikesAndBreaksAndBoundsThePoints) {
    CTrendSeries series;
    ChargerVariables vars;
    constexpr int kDay = 86400;
    for (int second = 0; second < kDay; ++second) {
        vars.batteryVoltage = second == 50000   ? 99.0
                              : second == 30001 ? 1.0
                                                : 12.0 + (second % 7) * 0.01;
        if (second == 60000) {
            series.Break();
        }
        series.Append(second * 1000.0, vars);
    }
    const auto segments = series.Decimate(14, 0.0, kDay * 1000.0, 1000);
    ASSERT_EQ(segments.size(), 2u);
    std::size_t points = 0;
    double highest = 0.0;
    double lowest = 99.0;
    for (const auto& segment : segments) {
        points += segment.size();
        for (const auto& point : segment) {
            highest = std::max(highest, point.value);
            lowest = std::min(lowest, point.value);
        }
    }
    EXPECT_LE(points, 4u * 1000u + 2u);
    EXPECT_EQ(highest, 99.0);
    EXPECT_EQ(lowest, 1.0);
    EXPECT_LT(segments[0].back().timeMs, 60000 * 1000.0);
    EXPECT_EQ(segments[1].front().timeMs, 60000 * 1000.0);
    // A narrow window reaches one sample beyond each edge.
    const auto narrow = series.Decimate(14, 10500.0, 12500.0, 100);
    ASSERT_EQ(narrow.size(), 1u);
    EXPECT_EQ(narrow[0].front().timeMs, 10000.0);
    EXPECT_EQ(narrow[0].back().timeMs, 13000.0);
}

}  // namespace

// A strip's scale widens its values to round ticks, never to odd ones such
// as -37.8 to 793.8; a flat value gets a range around it. Ticks below zero
// keep their sign.
TEST(TrendScale, ValueScalesEndOnRoundTicks) {
    const struct {
        double low, high;
        int maxTicks;
        double scaleLow, scaleHigh, step;
        std::vector<double> ticks;
    } rows[] = {
        {3.71, 14.2, 6, 0.0, 15.0, 5.0, {0.0, 5.0, 10.0, 15.0}},
        {704.0, 735.0, 5, 700.0, 740.0, 10.0, {700.0, 710.0, 720.0, 730.0, 740.0}},
        {0.0, 793.8, 5, 0.0, 800.0, 200.0, {0.0, 200.0, 400.0, 600.0, 800.0}},
        {-0.25, 0.1, 4, -0.4, 0.2, 0.2, {-0.4, -0.2, 0.0, 0.2}},
        {720.0, 720.0, 5, 700.0, 740.0, 10.0, {700.0, 710.0, 720.0, 730.0, 740.0}},
        {0.0, 0.0, 3, -1.0, 1.0, 1.0, {-1.0, 0.0, 1.0}},
        // Two ticks cannot straddle zero: three.
        {-0.02, 1.02, 2, -2.0, 2.0, 2.0, {-2.0, 0.0, 2.0}},
    };
    for (const auto& r : rows) {
        const ValueScale scale = NiceValueScale(r.low, r.high, r.maxTicks);
        EXPECT_NEAR(scale.low, r.scaleLow, 1e-9) << r.low << ".." << r.high;
        EXPECT_NEAR(scale.high, r.scaleHigh, 1e-9) << r.low << ".." << r.high;
        EXPECT_NEAR(scale.step, r.step, 1e-9) << r.low << ".." << r.high;
        ASSERT_EQ(scale.ticks.size(), r.ticks.size()) << r.low << ".." << r.high;
        for (std::size_t i = 0; i < r.ticks.size(); ++i) {
            EXPECT_NEAR(scale.ticks[i], r.ticks[i], 1e-9) << r.low << ".." << r.high << " #" << i;
        }
    }
    EXPECT_EQ(ValueTickDecimals(0.2), 1);
    EXPECT_EQ(ValueTickDecimals(0.05), 2);
    EXPECT_EQ(ValueTickDecimals(10.0), 0);
}

// Time labels fall on round clock times of the local zone, the smallest
// step that keeps to the number of labels that fit.
TEST(TrendScale, TimeTicksFallOnRoundClockTimes) {
    const double start = 1800000000000.0 + 17000.0;  // 08:00:17 UTC
    const auto ten = TimeTicks(start, start + 600000.0, 6, 0);
    ASSERT_EQ(ten.size(), 5u);
    EXPECT_EQ(ten.front().label, "08:02");
    EXPECT_EQ(ten.back().label, "08:10");
    const auto shifted = TimeTicks(start, start + 600000.0, 6, 5 * 3600 + 1800);  // UTC+05:30
    EXPECT_EQ(shifted.front().label, "13:32");
    const auto minute = TimeTicks(start, start + 60000.0, 5, 0);
    EXPECT_EQ(minute.front().label, "08:00:30");
    const auto day = TimeTicks(start, start + 86400000.0, 5, 0);
    EXPECT_EQ(day.front().label, "12:00");
    EXPECT_LE(day.size(), 5u);
}

// A strip's scale comes from the values it shows: a value that only takes 0
// and 1 reads exactly 0 and 1 (never 0.98 to 1.02, never -1 to 1), changed
// or flat; any other value gets round ticks a little beyond its ends.
TEST(TrendScale, StripScalesOfTheirValues) {
    const struct {
        std::vector<double> values;
        int maxTicks;
        std::vector<double> ticks;
    } rows[] = {
        {{1.0, 1.0, 1.0}, 5, {0.0, 1.0}},
        {{0.0, 0.0}, 5, {0.0, 1.0}},
        {{0.0, 1.0, 0.0, 1.0}, 6, {0.0, 1.0}},
        {{}, 4, {0.0, 1.0}},
        {{1.0, 2.0}, 5, {0.5, 1.0, 1.5, 2.0, 2.5}},
        {{-1.9, 1.9}, 3, {-2.0, 0.0, 2.0}},
        {{720.0, 720.0}, 5, {700.0, 710.0, 720.0, 730.0, 740.0}},
    };
    for (const auto& r : rows) {
        const ValueScale scale = ScaleOfValues(r.values, r.maxTicks);
        ASSERT_EQ(scale.ticks.size(), r.ticks.size()) << r.values.size() << " values";
        for (std::size_t i = 0; i < r.ticks.size(); ++i) {
            EXPECT_NEAR(scale.ticks[i], r.ticks[i], 1e-9) << r.values.size() << " values #" << i;
        }
        EXPECT_NEAR(scale.low, r.ticks.front(), 1e-9);
        EXPECT_NEAR(scale.high, r.ticks.back(), 1e-9);
    }
}
