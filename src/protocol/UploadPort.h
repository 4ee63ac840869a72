// Upload port: the port as the block upload sees it.
//
// Principles of operation
//   The block upload takes received bytes one at a time and queues write
//   requests; nothing else. This narrow seam lets its state table be driven
//   by a scripted receiver in memory as well as by the serial port
//   (CSerialUploadPort).
//
// Threads: called only on the thread that runs the upload.
#pragma once

#include <cstdint>

class IUploadPort {
public:
    virtual ~IUploadPort() = default;
    // The oldest received byte as 0..255, or -1 when none waits.
    virtual int ReadByte() = 0;
    // Queues one write request (WRITE_BYTE with its byte, or WRITE_BLOCK with
    // borrowed data); false when it could not be queued.
    virtual bool QueueRequest(int kind, int length, std::uint8_t byte,
                              const std::uint8_t* data) = 0;
    // True once the device behind the port has gone away for good (reads
    // fail with EIO or ENODEV, or the line hung up): no reply can come.
    virtual bool DeviceGone() const { return false; }
};
