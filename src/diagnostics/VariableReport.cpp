#include "diagnostics/VariableReport.h"

#include "serial/SerialPort.h"

namespace {

constexpr char kCarriageReturn = 13;
// Passes over bytes that may straddle a gap; more would mean a charger that
// fills the ring faster than it can be read, and the next tick goes on.
constexpr int kMaxDistrustedPasses = 4;

class CPortBytes : public IReceivedBytes {
public:
    explicit CPortBytes(CSerialPort& port) : m_port(port) {}
    int BytesAvailable() override { return m_port.BytesAvailable(); }
    int ReadByte() override { return m_port.ReadByte(); }

private:
    CSerialPort& m_port;
};

}  // namespace

void CVariableReport::Clear() {
    m_lineLength = 0;
    m_dropToLineEnd = false;
}

CVariableReport::Taken CVariableReport::Tick(CSerialPort& port, ChargerVariables& vars,
                                             const ReportHandler& onReport) {
    CPortBytes bytes(port);
    return Tick(bytes, vars, onReport);
}

CVariableReport::Taken CVariableReport::Tick(IReceivedBytes& ring, ChargerVariables& vars,
                                             const ReportHandler& onReport) {
    Taken taken;
    // Bytes that arrive while this tick reads wait for the next one: after a
    // full ring they lie beyond the bytes it dropped.
    int waiting = ring.BytesAvailable();
    TakeWaiting(ring, waiting, false, vars, onReport, taken);
    if (waiting >= kReceiveRingSize) {
        m_dropToLineEnd = true;
        return taken;
    }
    // Nothing was dropped during the drain unless the bytes taken and those
    // that came meanwhile could have filled the ring together.
    for (int pass = 0; pass < kMaxDistrustedPasses; ++pass) {
        const int arrived = ring.BytesAvailable();
        if (waiting + arrived < kReceiveRingSize) {
            return taken;
        }
        TakeWaiting(ring, arrived, true, vars, onReport, taken);
        m_dropToLineEnd = true;
        waiting = arrived;
    }
    return taken;
}

void CVariableReport::TakeWaiting(IReceivedBytes& ring, int count, bool distrust,
                                  ChargerVariables& vars, const ReportHandler& onReport,
                                  Taken& taken) {
    for (int i = 0; i < count; ++i) {
        const int byte = ring.ReadByte();
        if (byte < 0) {
            return;
        }
        if (distrust) {
            m_dropToLineEnd = true;
        }
        Take(static_cast<char>(byte), vars, onReport, taken);
    }
}

CVariableReport::Taken CVariableReport::Feed(const char* bytes, std::size_t count,
                                             ChargerVariables& vars,
                                             const ReportHandler& onReport) {
    Taken taken;
    for (std::size_t i = 0; i < count; ++i) {
        Take(bytes[i], vars, onReport, taken);
    }
    return taken;
}

void CVariableReport::Take(char byte, ChargerVariables& vars, const ReportHandler& onReport,
                           Taken& taken) {
    if (byte != kCarriageReturn) {
        if (m_lineLength < kLineSize) {
            m_line[m_lineLength++] = byte;
        }
        return;
    }
    const bool damaged = m_dropToLineEnd;
    m_line[m_lineLength] = '\0';
    m_lineLength = 0;
    m_dropToLineEnd = false;
    ++taken.lines;
    if (damaged) {
        return;
    }
    if (ParseVariables(m_line, vars)) {
        ++taken.reports;
        if (onReport) {
            onReport(vars);
        }
    }
}
