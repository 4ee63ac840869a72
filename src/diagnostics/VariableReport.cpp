#include "diagnostics/VariableReport.h"

#include "serial/SerialPort.h"

namespace {

constexpr int kCarriageReturn = 13;

}  // namespace

bool CVariableReport::Tick(CSerialPort& port, ChargerVariables& vars) {
    for (;;) {
        const int byte = port.ReadByte();
        if (byte < 0) {
            return false;
        }
        if (byte == kCarriageReturn) {
            m_line[m_lineLength] = '\0';
            ParseVariables(m_line, vars);
            m_lineLength = 0;
            return true;
        }
        if (m_lineLength < kLineSize) {
            m_line[m_lineLength++] = static_cast<char>(byte);
        }
    }
}
