#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "DiagTestFiles.h"
#include "diagnostics/ChargerVariables.h"
#include "diagnostics/VariableReport.h"

namespace {

using namespace diagtest;

// Each line is parsed over a record that already holds kFullLine, so values
// a line must keep show up as the full line's.
TEST(ChargerVariablesTest, LinesFollowTheCLibraryRulesAndResetZeroesAll) {
    const struct {
        const char* line;
        bool stored;
        std::string rows;
    } cases[] = {
        // Sixteen fields change nothing; fields after the seventeenth are ignored.
        {"0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0", false, kFullRows},
        {"1,1,1,1f,a,25,26.5,3c,a,12.25,12.5,77,30.75,1.5,0,13.8,14.1,99,98", true, kFullRows},
        // A hexadecimal field without digits keeps its value; the rest are stored.
        {"0,0,0,zz,0,0,0,g,-,0,0,0,0,0,0,0,0", true,
         "false,false,CC,31,0,0,0.00,3C,000A,0.00,0.00,0,0.00,0.00,0.00,0.00"},
        {"x,y,z,5,6,w,v,7,8,u,t,s,r,q,p,o,n", true,
         "false,false,CC,5,6,0,0.00,7,0008,0.00,0.00,0,0.00,0.00,0.00,0.00"},
        // Hex in; field 3 shown decimal, 0x prefix taken, field 7 "%X", field 8 "%04X".
        {"0,0,0,10,0x1A,0,0,1f,a,0,0,0,0,0,0,0,0", true,
         "false,false,CC,16,26,0,0.00,1F,000A,0.00,0.00,0,0.00,0.00,0.00,0.00"},
        // Leading blanks skipped, a sign wraps, wide values stay whole.
        {"0,0,0, FF,-1,0,0,ABCDE,12345,0,0,0,0,0,0,0,0", true,
         "false,false,CC,255,-1,0,0.00,ABCDE,12345,0.00,0.00,0,0.00,0.00,0.00,0.00"},
        // atoi stops at junk, "08" is decimal, any non-zero is true; atof rounds to two places.
        {" 12abc,-3,0,0,0,+7x,1e1,0,0,.5,-2.346,08,3.999,2,0,1e-2,7", true,
         "true,true,CC,0,0,7,10.00,0,0000,0.50,-2.35,8,4.00,2.00,0.01,7.00"},
        // Adjacent commas make one separator: the later fields move one place earlier.
        {"1,0,1,2,3,4,5.5,6,7,8.5,9.5,10,,11.5,12.5,13.5,14.5,15.5", true,
         "true,false,CV,2,3,4,5.50,6,0007,8.50,9.50,10,11.50,12.50,14.50,15.50"},
        {"1,,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1", false, kFullRows},
    };
    for (const auto& c : cases) {
        ChargerVariables vars;
        ParseVariables(kFullLine.c_str(), vars);
        EXPECT_EQ(ParseVariables(c.line, vars), c.stored) << c.line;
        EXPECT_EQ(Rows(vars), c.rows) << c.line;
    }
    // Reset shows the initial rows.
    ChargerVariables vars;
    ParseVariables(kFullLine.c_str(), vars);
    ResetVariables(vars);
    EXPECT_EQ(Rows(vars), kZeroRows);
}

// A 1024-byte receive ring that drops what does not fit, as the port's
// does; a chunk can be made to arrive after a given number of reads.
class CFakeRing : public IReceivedBytes {
public:
    void Deliver(const std::string& bytes) {
        m_bytes += bytes.substr(0, CVariableReport::kReceiveRingSize - m_bytes.size());
    }
    int BytesAvailable() override { return static_cast<int>(m_bytes.size()); }
    int ReadByte() override {
        if (m_bytes.empty()) {
            return -1;
        }
        const int byte = static_cast<unsigned char>(m_bytes.front());
        m_bytes.erase(0, 1);
        if (++m_reads == chunkAfterReads) {
            Deliver(chunk);
        }
        return byte;
    }
    std::string chunk;
    int chunkAfterReads = -1;

private:
    std::string m_bytes;
    int m_reads = 0;
};

// A large chunk arrives while a tick drains a nearly full ring, and the ring
// drops its end: the line cut there must not be completed by a later report.
TEST(VariableReportTest, RingFillingDuringTheDrainNeverGluesTwoReports) {
    CFakeRing ring;
    std::string lines;
    for (int i = 0; i < 14; ++i) {
        lines += kFullLine + "\r";  // 924 bytes: not full
    }
    ring.Deliver(lines);
    ring.chunk = kFullLine + "\r" + kFullLine + "\r";
    ring.chunkAfterReads = 10;
    CVariableReport report;
    ChargerVariables vars;
    report.Tick(ring, vars);
    EXPECT_EQ(Rows(vars), kFullRows);
    const std::string later = "5,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,99.5\r";
    ring.Deliver(later);  // would end the cut line with its fields moved
    report.Tick(ring, vars);
    EXPECT_EQ(Rows(vars), kFullRows);
    ring.Deliver(later);
    report.Tick(ring, vars);
    EXPECT_EQ(Rows(vars), "true,false,CC,0,0,0,0.00,0,0000,0.00,0.00,0,0.00,0.00,0.00,99.50");
}

}  // namespace
