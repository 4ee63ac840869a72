// The charger's variable report: bytes cut into lines and each line into
// the sixteen values, as the monitor takes them from the port's ring (which
// holds at most 1024 bytes and drops the newest when full), and one line
// parsed and shown on its own.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzCheck.h"
#include "diagnostics/ChargerVariables.h"
#include "diagnostics/VariableReport.h"

namespace {

// The input arriving in pieces whose sizes its own bytes choose; a piece
// that does not fit the ring loses its newest bytes, as the port's does.
class CFuzzRing : public IReceivedBytes {
public:
    CFuzzRing(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}
    bool Arrive() {
        if (m_next >= m_size) {
            return false;
        }
        const std::size_t piece = 1 + std::size_t{m_data[m_next]} * 8;
        const std::size_t end = std::min(m_size, m_next + piece);
        for (; m_next < end; ++m_next) {
            if (m_ring.size() < CVariableReport::kReceiveRingSize) {
                m_ring += static_cast<char>(m_data[m_next]);
            }
        }
        return true;
    }
    int BytesAvailable() override { return static_cast<int>(m_ring.size() - m_read); }
    int ReadByte() override {
        if (m_read == m_ring.size()) {
            return -1;
        }
        const auto byte = static_cast<unsigned char>(m_ring[m_read++]);
        if (m_read == m_ring.size()) {
            m_ring.clear();
            m_read = 0;
        }
        return byte;
    }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_next = 0;
    std::string m_ring;
    std::size_t m_read = 0;
};

void Show(const ChargerVariables& vars) {
    for (const VariableRow& row : FormatVariables(vars)) {
        fuzz::Require(row.label != nullptr && !row.text.empty(), "every row shows a value");
    }
    double sum = 0;  // every row as the trend chart takes it
    for (int row = 0; row < kVariableRows; ++row) {
        sum += VariableValue(vars, row);
    }
    static_cast<void>(sum);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CVariableReport report;
    ChargerVariables vars;
    int fed = 0;
    const CVariableReport::Taken taken = report.Feed(reinterpret_cast<const char*>(data), size,
                                                     vars, [&](const ChargerVariables& seen) {
                                                         ++fed;
                                                         Show(seen);
                                                     });
    fuzz::Require(taken.reports == fed && taken.reports <= taken.lines,
                  "each report is handed on once, and only complete lines are reports");

    CFuzzRing ring(data, size);
    CVariableReport ticked;
    ChargerVariables tickedVars;
    while (ring.Arrive()) {
        ticked.Tick(ring, tickedVars, Show);
    }
    const std::string line(reinterpret_cast<const char*>(data), size);
    if (ParseVariables(line.c_str(), vars)) {
        Show(vars);
    }
    return 0;
}
