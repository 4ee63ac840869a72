#include "protocol/BlockUpload.h"

#include "protocol/SerialUploadPort.h"
#include "support/Crc16.h"

CBlockUpload::CBlockUpload(IUploadPort& port, IChargerView& view, platform::IClock& clock,
                           const CFirmwareImage& image)
    : m_port(port), m_view(view), m_clock(clock), m_image(image) {
    Reset();
}

void CBlockUpload::Reset() {
    m_totalBlocks = m_image.BlockCount();
    m_idleCount = 0;
    m_crc = 0;
    m_blockNumber = 0;
    m_flags = 0;
    m_retriesLeft = kRetries;
    m_state = UploadState::WaitForStart;
    m_pBlock = nullptr;
}

UploadState CBlockUpload::Run() {
    Reset();
    m_view.SetProgress(0, m_totalBlocks);
    while (!UploadEnded(m_state)) {
        if (m_view.CancelRequested()) {
            CancelByUser();
            break;
        }
        const int byte = m_port.ReadByte();
        if (byte >= 0) {
            UploadStep(static_cast<std::uint8_t>(byte));  // no sleep: answer at once
        } else if (m_port.DeviceGone()) {
            m_state = UploadState::Disconnected;  // what it held has been read
        } else {
            m_clock.SleepMs(kIdlePollMs);
            if (m_idleCount++ == kMaxIdlePolls) {
                m_state = UploadState::Failed;
            }
        }
        if (m_blockNumber != 0) {
            m_view.SetProgress(m_blockNumber, m_totalBlocks);
        }
    }
    // A stop that cut the last idle poll short, or came as the last NAK did,
    // still reaches the boot loader: a stopped upload always ends with CANs.
    if (m_state == UploadState::Failed && m_view.CancelRequested()) {
        CancelByUser();
    }
    m_view.SetProgress(0, 0);
    m_view.OnUploadEnded(m_state);
    return m_state;
}

void CBlockUpload::PrepareBlock() {
    m_pBlock = m_image.Block(m_blockNumber);
    m_crc = Crc16Xmodem(m_pBlock, kBlockSize);
    if (m_blockNumber >= m_totalBlocks) {
        m_flags |= kLastBlockFlag;
    }
}

void CBlockUpload::SendBlock() {
    QueueByte(kSoh);
    // The line carries the number modulo 256: block 256 goes out as 0.
    const auto onLine = static_cast<std::uint8_t>(m_blockNumber & 0xFF);
    QueueByte(onLine);
    QueueByte(static_cast<std::uint8_t>(255U - onLine));
    m_port.QueueRequest(WRITE_BLOCK, static_cast<int>(kBlockSize), 0, m_pBlock);
    QueueByte(static_cast<std::uint8_t>(m_crc >> 8));
    QueueByte(static_cast<std::uint8_t>(m_crc & 0xFFU));
    m_view.OnBlockSent(m_blockNumber, m_totalBlocks, kRetries - m_retriesLeft);
}

// Two CANs, as XMODEM receivers want before they give up a transfer.
void CBlockUpload::CancelByUser() {
    QueueByte(kCan);
    QueueByte(kCan);
    m_state = UploadState::Cancelled;
}

void CBlockUpload::QueueByte(std::uint8_t byte) {
    // A request that cannot be queued is reported by the port; the receiver's
    // NAK or its silence then decides.
    m_port.QueueRequest(WRITE_BYTE, 0, byte, nullptr);
}

void CBlockUpload::UploadStep(std::uint8_t byte) {
    switch (m_state) {
        case UploadState::WaitForStart:
            m_retriesLeft = kRetries;
            if (byte == kStart) {
                m_blockNumber = 1;
                m_state = UploadState::SendFirst;
                PrepareBlock();
                SendBlock();
                m_idleCount = 0;
                m_state = UploadState::WaitForReply;
            }
            break;
        case UploadState::WaitForReply:
            OnReply(byte);
            break;
        default:
            break;  // ended: nothing more is sent
    }
}

void CBlockUpload::OnReply(std::uint8_t byte) {
    if (byte == kAck) {
        if (LastBlock()) {
            QueueByte(kEot);  // once; its answer is left to the next command
            m_state = UploadState::Done;
            return;
        }
        m_state = UploadState::NextBlock;
        ++m_blockNumber;
        PrepareBlock();
        SendBlock();
        m_idleCount = 0;
        m_state = UploadState::WaitForReply;
    } else if (byte == kNak) {
        // The allowance is the transfer's, never refilled by an ACK.
        if (--m_retriesLeft == 0) {
            m_state = UploadState::Failed;
            return;
        }
        m_state = UploadState::ResendBlock;
        SendBlock();  // the same data and CRC, nothing recomputed
        m_idleCount = 0;
        m_state = UploadState::WaitForReply;
    } else if (byte == kCan) {
        m_state = UploadState::Cancelled;
    }
    // Anything else, a repeated "C" among them, is ignored.
}

UploadState UploadImage(CSerialPort& port, IChargerView& view, platform::IClock& clock,
                        const CFirmwareImage& image) {
    CSerialUploadPort uploadPort(port);
    CBlockUpload upload(uploadPort, view, clock, image);
    return upload.Run();
}
