#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "diagnostics/ChargerVariables.h"

namespace {

std::vector<std::string> Texts(const ChargerVariables& vars) {
    std::vector<std::string> texts;
    for (const VariableRow& row : FormatVariables(vars)) {
        texts.push_back(row.text);
    }
    return texts;
}

// A line whose seventeen fields give every row a value different from zero.
const char* const kFullLine = "1,1,1,1f,a,25,26.5,3c,a,12.25,12.5,77,30.75,1.5,ignored,13.8,14.1";

const std::vector<std::string> kFullRows = {"true",  "true", "CV",    "31",    "10",    "25",
                                            "26.50", "3C",   "000A",  "12.25", "12.50", "77",
                                            "30.75", "1.50", "13.80", "14.10"};

ChargerVariables Parsed(const char* line) {
    ChargerVariables vars;
    ResetVariables(vars);
    ParseVariables(line, vars);
    return vars;
}

TEST(ChargerVariablesTest, ZeroedRecordShowsTheInitialRows) {
    ChargerVariables vars = Parsed(kFullLine);
    ResetVariables(vars);
    const std::vector<std::string> expected = {"false", "false", "CC",   "0",    "0",    "0",
                                               "0.00",  "0",     "0000", "0.00", "0.00", "0",
                                               "0.00",  "0.00",  "0.00", "0.00"};
    EXPECT_EQ(Texts(vars), expected);
}

TEST(ChargerVariablesTest, SeventeenFieldsSetEveryRowAndSixteenChangeNothing) {
    ChargerVariables vars = Parsed(kFullLine);
    EXPECT_EQ(Texts(vars), kFullRows);

    EXPECT_FALSE(ParseVariables("0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0", vars));
    EXPECT_EQ(Texts(vars), kFullRows);

    // Fields after index 16 are ignored.
    const std::string longer = std::string(kFullLine) + ",99,98";
    EXPECT_TRUE(ParseVariables(longer.c_str(), vars));
    EXPECT_EQ(Texts(vars), kFullRows);
}

TEST(ChargerVariablesTest, HexFieldWithoutDigitsKeepsItsValueWhileOthersAreStored) {
    ChargerVariables vars = Parsed(kFullLine);
    EXPECT_TRUE(ParseVariables("0,0,0,zz,0,0,0,g,-,0,0,0,0,0,0,0,0", vars));
    EXPECT_EQ(vars.systemState, 0x1f);
    EXPECT_EQ(vars.gasGauge, 0x3c);
    EXPECT_EQ(vars.nac, 0xa);
    // Decimal and floating fields without a number become zero.
    EXPECT_EQ(vars.trimPotPosition, 0);
    EXPECT_EQ(vars.batteryPresent, 0);
    EXPECT_EQ(vars.supplyVoltage, 0.0);

    EXPECT_TRUE(ParseVariables("x,y,z,5,6,w,v,7,8,u,t,s,r,q,p,o,n", vars));
    EXPECT_EQ(vars.systemState, 5);
    EXPECT_EQ(vars.batteryTemp, 0);
    EXPECT_EQ(vars.averageTemp, 0.0);
}

TEST(ChargerVariablesTest, HexFieldsAreReadAsHexAndShownInTheirRowFormat) {
    const auto rows = FormatVariables(Parsed("0,0,0,10,0x1A,0,0,1f,a,0,0,0,0,0,0,0,0"));
    EXPECT_EQ(rows[3].text, "16");  // field 3: hex in, decimal out
    EXPECT_EQ(rows[4].text, "26");  // 0x prefix accepted
    EXPECT_EQ(rows[7].text, "1F");
    EXPECT_EQ(rows[8].text, "000A");

    const auto upper = FormatVariables(Parsed("0,0,0, FF,-1,0,0,ABCDE,12345,0,0,0,0,0,0,0,0"));
    EXPECT_EQ(upper[3].text, "255");  // leading white space skipped
    EXPECT_EQ(upper[4].text, "-1");   // a sign wraps as the C library does
    EXPECT_EQ(upper[7].text, "ABCDE");
    EXPECT_EQ(upper[8].text, "12345");  // wider than four digits stays whole
}

TEST(ChargerVariablesTest, DecimalAndFloatingFieldsFollowTheCLibraryRules) {
    const ChargerVariables vars =
        Parsed(" 12abc,-3,0,0,0,+7x,1e1,0,0,.5,-2.346,08,3.999,2,0,1e-2,7");
    EXPECT_EQ(vars.batteryPresent, 12);
    EXPECT_EQ(vars.radioDetected, -3);
    EXPECT_EQ(vars.batteryTemp, 7);
    EXPECT_EQ(vars.chargeTime, 8);  // decimal, not octal
    const auto rows = FormatVariables(vars);
    EXPECT_EQ(rows[0].text, "true");
    EXPECT_EQ(rows[1].text, "true");  // any non-zero value
    EXPECT_EQ(rows[6].text, "10.00");
    EXPECT_EQ(rows[9].text, "0.50");
    EXPECT_EQ(rows[10].text, "-2.35");
    EXPECT_EQ(rows[12].text, "4.00");
    EXPECT_EQ(rows[14].text, "0.01");
}

TEST(ChargerVariablesTest, AdjacentCommasShiftTheLaterFieldsForward) {
    // Eighteen fields with one gap: read as seventeen, everything after the
    // gap one place earlier, so field 14 is now the battery voltage.
    const ChargerVariables vars =
        Parsed("1,0,1,2,3,4,5.5,6,7,8.5,9.5,10,,11.5,12.5,13.5,14.5,15.5");
    EXPECT_EQ(vars.chargeTime, 10);
    EXPECT_EQ(vars.chargerTemp, 11.5);
    EXPECT_EQ(vars.chargeCurrent, 12.5);
    EXPECT_EQ(vars.batteryVoltage, 14.5);
    EXPECT_EQ(vars.supplyVoltage, 15.5);

    // Sixteen fields and a gap are not enough.
    ChargerVariables kept = Parsed(kFullLine);
    EXPECT_FALSE(ParseVariables("1,,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1", kept));
    EXPECT_EQ(Texts(kept), kFullRows);
}

}  // namespace
