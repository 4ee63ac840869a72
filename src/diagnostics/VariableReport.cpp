#include "diagnostics/VariableReport.h"

#include "serial/SerialPort.h"

namespace {

constexpr char kCarriageReturn = 13;

}  // namespace

void CVariableReport::Clear() {
    m_lineLength = 0;
    m_dropToLineEnd = false;
}

CVariableReport::Taken CVariableReport::Tick(CSerialPort& port, ChargerVariables& vars,
                                             const ReportHandler& onReport) {
    Taken taken;
    // Bytes that arrive while this tick reads wait for the next one: after a
    // full ring they lie beyond the bytes it dropped.
    const int waiting = port.BytesAvailable();
    for (int i = 0; i < waiting; ++i) {
        const int byte = port.ReadByte();
        if (byte < 0) {
            break;
        }
        Take(static_cast<char>(byte), vars, onReport, taken);
    }
    if (waiting >= kReceiveRingSize) {
        m_dropToLineEnd = true;
    }
    return taken;
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
