// Scripted receiver: an XMODEM receiver in memory behind the upload's port.
//
// Principles of operation
//   The block upload queues its requests here instead of on a serial port.
//   The receiver copies the bytes of every request as they are queued, cuts
//   them into blocks (SOH ... 133 bytes) and EOTs, and asks its policy what
//   to answer to each block; the answer waits for the upload's next ReadByte.
//   It also keeps every borrowed block pointer with a copy of what it
//   pointed at when queued, so a test can check the bytes stayed unchanged.
//
// Threads: one thread, the test's.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "protocol/UploadPort.h"

struct ReceivedBlock {
    int index = 0;   // arrival order over the transfer, from 0
    int number = 0;  // the number byte
    int complement = 0;
    std::string data;  // 128 bytes
    std::uint16_t crc = 0;
    int arrival = 0;  // how many times this number arrived before, from 0
};

struct BorrowedBlock {
    const std::uint8_t* data = nullptr;
    std::string copy;
};

class CScriptedReceiver : public IUploadPort {
public:
    // The bytes the receiver answers a block with ("" for silence).
    using Policy = std::function<std::string(const ReceivedBlock&)>;
    Policy policy;

    // Bytes waiting for the upload, as if just received.
    void Push(const std::string& bytes);

    int ReadByte() override;
    bool QueueRequest(int kind, int length, std::uint8_t byte, const std::uint8_t* data) override;

    const std::string& Line() const { return m_line; }
    const std::vector<ReceivedBlock>& Blocks() const { return m_blocks; }
    const std::vector<BorrowedBlock>& Borrowed() const { return m_borrowed; }
    int RequestCount() const { return m_requests; }
    int EotCount() const { return m_eots; }
    // Bytes queued outside any block other than EOT.
    int StrayBytes() const { return m_stray; }
    int SendsOf(int number) const;

private:
    void OnLineByte(std::uint8_t byte);
    void OnBlockComplete();

    std::deque<std::uint8_t> m_incoming;
    std::string m_line;
    std::string m_pending;
    std::vector<ReceivedBlock> m_blocks;
    std::vector<BorrowedBlock> m_borrowed;
    int m_requests = 0;
    int m_eots = 0;
    int m_stray = 0;
};
