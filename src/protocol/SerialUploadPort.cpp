#include "protocol/SerialUploadPort.h"

int CSerialUploadPort::ReadByte() {
    return m_port.ReadByte();
}

bool CSerialUploadPort::QueueRequest(int kind, int length, std::uint8_t byte,
                                     const std::uint8_t* data) {
    return m_port.QueueRequest(kind, length, byte, data);
}
