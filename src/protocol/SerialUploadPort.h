// Serial upload port: the serial port behind the block upload's seam.
//
// Principles of operation
//   Forwards ReadByte and QueueRequest to a CSerialPort, which must be open
//   for the whole upload. Holds no state of its own.
//
// Threads: as CSerialPort (the caller's thread).
#pragma once

#include "protocol/UploadPort.h"
#include "serial/SerialPort.h"

class CSerialUploadPort : public IUploadPort {
public:
    explicit CSerialUploadPort(CSerialPort& port) : m_port(port) {}
    int ReadByte() override;
    bool QueueRequest(int kind, int length, std::uint8_t byte, const std::uint8_t* data) override;
    bool DeviceGone() const override { return m_port.IsLost(); }

private:
    CSerialPort& m_port;
};
