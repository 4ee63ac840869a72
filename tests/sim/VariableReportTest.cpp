// The charger's variable report: 17 fields in their forms, a plausible and
// slowly changing charge, and the faulty lines the options ask for.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "SimTestSupport.h"
#include "sim/VariableReport.h"

namespace {

std::vector<std::string> Split(const std::string& line) {
    std::vector<std::string> fields;
    std::istringstream in(line);
    for (std::string field; std::getline(in, field, ',');) {
        fields.push_back(field);
    }
    return fields;
}

double Value(const std::string& field) {
    return std::atof(field.c_str());
}

TEST(VariableReport, SeventeenFieldsInTheirFormsOverAWholeCharge) {
    const std::string d = "[0-9]+", h = "[0-9A-F]+", f = "[0-9]+\\.[0-9]{2}";  // f: two decimals
    const std::regex form(d + "," + d + "," + d + "," + h + "," + h + "," + d + "," + f + "," + h +
                          ",[0-9A-F]{4}," + f + "," + f + "," + d + "," + f + "," + f + ",[^,]*," +
                          f + "," + f);
    for (double t : {0.0, 1.0, 250.0, 574.0, 576.0, 900.0, 5000.0}) {
        std::string line;
        for (const std::string& field : sim::CVariableReport::Fields(t)) {
            line += (line.empty() ? "" : ",") + field;
        }
        EXPECT_TRUE(std::regex_match(line, form)) << line << " at " << t;
    }
}

TEST(VariableReport, ChargeMovesSlowlyFromConstantCurrentToConstantVoltage) {
    const auto early = sim::CVariableReport::Fields(10);
    const auto late = sim::CVariableReport::Fields(2000);
    EXPECT_EQ(early[2], "0");
    EXPECT_EQ(late[2], "1");
    EXPECT_LT(Value(early[15]), Value(late[15]));
    EXPECT_GT(Value(early[13]), Value(late[13]));
    EXPECT_LT(std::strtol(early[7].c_str(), nullptr, 16),
              std::strtol(late[7].c_str(), nullptr, 16));
    for (double t = 0; t < 3000; t += 0.5) {
        const auto a = sim::CVariableReport::Fields(t);
        const auto b = sim::CVariableReport::Fields(t + 0.5);
        for (int i : {9, 10, 13, 15, 16}) {  // volts and amps
            EXPECT_LT(std::fabs(Value(a[i]) - Value(b[i])), 0.1) << "field " << i << " at " << t;
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

TEST(VariableReport, FaultsHitEveryNthLineOnly) {
    for (const auto& [fault, faultyFields] :
         {std::pair<std::string, std::size_t>{"fewer-fields", 16},
          {"adjacent-commas", 18},
          {"non-hex", 17}}) {
        sim::CVariableReport report(
            simtest::Options("--report-fault-every=3 --report-fault=" + fault));
        for (int line = 1; line <= 6; ++line) {
            const auto fields = Split(report.NextLine(line * 500));
            const bool faulty = line % 3 == 0;
            EXPECT_EQ(fields.size(), faulty ? faultyFields : 17U) << fault << " line " << line;
            const bool hasEmpty = std::find(fields.begin(), fields.end(), "") != fields.end();
            EXPECT_EQ(hasEmpty, faulty && fault == "adjacent-commas");
            const bool hexReads = fields[7].find_first_of("0123456789ABCDEFabcdef") == 0;
            EXPECT_EQ(hexReads, !(faulty && fault == "non-hex"));
        }
    }
}

TEST(VariableReport, LongLinesArePaddedTo300CharactersBehindTheRealFields) {
    sim::CVariableReport report(simtest::Options("--long-lines"));
    const std::string line = report.NextLine(0);
    EXPECT_EQ(line.size(), sim::CVariableReport::kLongLine);
    const auto fields = Split(line);
    ASSERT_EQ(fields.size(), 18U);
    const auto plain = sim::CVariableReport::Fields(0);
    EXPECT_TRUE(std::equal(plain.begin(), plain.end(), fields.begin()));
}

}  // namespace
