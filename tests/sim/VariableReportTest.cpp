#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "sim/VariableReport.h"

namespace {

std::vector<std::string> Split(const std::string& line) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        const auto comma = line.find(',', start);
        fields.push_back(line.substr(start, comma - start));
        if (comma == std::string::npos) {
            return fields;
        }
        start = comma + 1;
    }
}

bool IsDecimal(const std::string& text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

bool IsHex(const std::string& text) {
    return !text.empty() && text.find_first_not_of("0123456789ABCDEF") == std::string::npos;
}

bool IsTwoDecimalFloat(const std::string& text) {
    const auto dot = text.find('.');
    return dot != std::string::npos && dot > 0 && text.size() - dot == 3 &&
           IsDecimal(text.substr(0, dot)) && IsDecimal(text.substr(dot + 1));
}

TEST(VariableReport, SeventeenFieldsInTheirFormsOverAWholeCharge) {
    for (double t : {0.0, 1.0, 250.0, 574.0, 576.0, 900.0, 5000.0}) {
        const auto fields = sim::CVariableReport::Fields(t);
        ASSERT_EQ(fields.size(), 17U);
        for (int i : {0, 1, 2, 5, 11}) {
            EXPECT_TRUE(IsDecimal(fields[i])) << "field " << i << " = " << fields[i];
        }
        for (int i : {3, 4, 7, 8}) {
            EXPECT_TRUE(IsHex(fields[i])) << "field " << i << " = " << fields[i];
        }
        for (int i : {6, 9, 10, 12, 13, 15, 16}) {
            EXPECT_TRUE(IsTwoDecimalFloat(fields[i])) << "field " << i << " = " << fields[i];
        }
        EXPECT_EQ(fields[8].size(), 4U);
    }
}

TEST(VariableReport, ChargeMovesFromConstantCurrentToConstantVoltage) {
    const auto early = sim::CVariableReport::Fields(10);
    const auto late = sim::CVariableReport::Fields(2000);
    EXPECT_EQ(early[2], "0");
    EXPECT_EQ(late[2], "1");
    EXPECT_LT(std::atof(early[15].c_str()), std::atof(late[15].c_str()));
    EXPECT_GT(std::atof(early[13].c_str()), std::atof(late[13].c_str()));
    EXPECT_LT(std::strtol(early[7].c_str(), nullptr, 16),
              std::strtol(late[7].c_str(), nullptr, 16));
}

TEST(VariableReport, ValuesChangeSlowlyFromLineToLine) {
    for (double t = 0; t < 3000; t += 0.5) {
        const auto a = sim::CVariableReport::Fields(t);
        const auto b = sim::CVariableReport::Fields(t + 0.5);
        for (int i : {9, 10, 13, 15, 16}) {  // volts and amps
            EXPECT_LT(std::fabs(std::atof(a[i].c_str()) - std::atof(b[i].c_str())), 0.1)
                << "field " << i << " at " << t;
        }
    }
}

TEST(VariableReport, LinesFollowTheTimeSinceRestart) {
    sim::CVariableReport report(sim::SimOptions{});
    report.Restart(10000);
    EXPECT_EQ(Split(report.NextLine(10000))[11], "0");
    EXPECT_EQ(Split(report.NextLine(13500))[11], "3");
    report.Restart(20000);
    EXPECT_EQ(Split(report.NextLine(20500))[11], "0");
}

struct FaultCase {
    sim::ReportFault fault;
    std::size_t fields;
};

TEST(VariableReport, FaultsHitEveryNthLineOnly) {
    for (const FaultCase c : {FaultCase{sim::ReportFault::FewerFields, 16},
                              FaultCase{sim::ReportFault::AdjacentCommas, 18},
                              FaultCase{sim::ReportFault::NonHexField, 17}}) {
        sim::SimOptions options;
        options.reportFault = c.fault;
        options.reportFaultEvery = 3;
        sim::CVariableReport report(options);
        for (int line = 1; line <= 6; ++line) {
            const auto fields = Split(report.NextLine(line * 500));
            const bool faulty = line % 3 == 0;
            EXPECT_EQ(fields.size(), faulty ? c.fields : 17U) << "line " << line;
            const bool hasEmpty = std::find(fields.begin(), fields.end(), "") != fields.end();
            EXPECT_EQ(hasEmpty, faulty && c.fault == sim::ReportFault::AdjacentCommas);
            unsigned value = 0;
            const bool hexReads = std::sscanf(fields[7].c_str(), "%x", &value) == 1;
            EXPECT_EQ(hexReads, !(faulty && c.fault == sim::ReportFault::NonHexField));
        }
    }
}

TEST(VariableReport, LongLinesArePaddedTo300CharactersBehindTheRealFields) {
    sim::SimOptions options;
    options.longLines = true;
    sim::CVariableReport report(options);
    const std::string line = report.NextLine(0);
    EXPECT_EQ(line.size(), sim::CVariableReport::kLongLine);
    const auto fields = Split(line);
    ASSERT_EQ(fields.size(), 18U);
    const auto plain = sim::CVariableReport::Fields(0);
    EXPECT_TRUE(std::equal(plain.begin(), plain.end(), fields.begin()));
}

}  // namespace
