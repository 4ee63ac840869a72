// Block upload: the sending side of XMODEM-CRC with 128-byte blocks.
//
// Principles of operation
//   UploadImage sends an image to the charger's boot loader. It
//   waits for the receiver's "C", answers it with block 1 (the image header),
//   sends the next block on each ACK, resends on NAK and ends with EOT after
//   the ACK of the last block. Each block goes out as SOH, n, 255 - n, 128
//   data bytes and the CRC-16/XMODEM of the data, high byte first.
//
//   One CBlockUpload record holds the state of one upload; it is owned by the
//   UploadImage call, so nothing survives between uploads and a second upload
//   starts afresh. The NAK allowance (10) belongs to the whole transfer: the
//   tenth NAK ends it as Failed without a resend, so at most nine resends
//   happen in all. CAN while a reply is awaited ends it as Cancelled. Silence
//   is counted in idle polls of 100 ms: the 201st poll that finds no byte,
//   counted from the start or from the last block sent, ends it as Failed.
//   A device that has gone away (a pulled USB adapter) ends it at the next
//   poll that finds no byte, as Disconnected: nothing more is sent and no
//   silence is waited out.
//   The 100 ms sleep stays a sleep: a boot loader may need that gap after its
//   ACK, and the silence limit rests on it.
//
//   Blocks are counted in a wide integer, so an image of any size the file
//   format allows (up to 513 blocks) is sent whole; the line carries the
//   block number modulo 256, as XMODEM receivers expect.
//
//   A block request borrows its 128 bytes until the writer thread has sent
//   them. They are borrowed from the image (for the short last block, a
//   padded copy the image owns), which the caller keeps alive until the port
//   is closed, so a receiver that answers before a block has left the port,
//   or an upload that ends while its last block is still being written, can
//   neither change nor free bytes the writer is reading.
//
// Threads: runs on the caller's thread, polling the port between sleeps of
// the injected clock; the port's writer thread reads the borrowed blocks.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/Clock.h"
#include "protocol/ChargerView.h"
#include "protocol/FirmwareImage.h"
#include "protocol/UploadPort.h"
#include "protocol/UploadState.h"
#include "serial/SerialPort.h"

class CBlockUpload {
public:
    static constexpr std::uint8_t kSoh = 1;
    static constexpr std::uint8_t kEot = 4;
    static constexpr std::uint8_t kAck = 6;
    static constexpr std::uint8_t kNak = 21;
    static constexpr std::uint8_t kCan = 24;
    static constexpr std::uint8_t kStart = 'C';
    static constexpr std::size_t kBlockSize = 128;
    static constexpr std::uint8_t kRetries = 10;
    static constexpr std::uint32_t kIdlePollMs = 100;
    static constexpr std::uint32_t kMaxIdlePolls = 200;  // the next one fails
    static constexpr std::uint8_t kLastBlockFlag = 8;
    static constexpr std::uint8_t kFiller = CFirmwareImage::kFiller;

    // The image must outlive the writer's use of its blocks (see above).
    CBlockUpload(IUploadPort& port, IChargerView& view, platform::IClock& clock,
                 const CFirmwareImage& image = CFirmwareImage::Carried());

    // The whole transfer of the image; returns Done, Failed, Cancelled or
    // Disconnected (the adapter went away).
    UploadState Run();

    // Points the block data at the current block and computes its CRC.
    void PrepareBlock();
    // Queues the current block: SOH, n, 255 - n, the data, CRC high, CRC low.
    void SendBlock();
    // Handles one received byte according to the state.
    void UploadStep(std::uint8_t byte);

    UploadState State() const { return m_state; }
    int TotalBlocks() const { return m_totalBlocks; }
    std::uint32_t IdleCount() const { return m_idleCount; }
    std::uint16_t Crc() const { return m_crc; }
    int BlockNumber() const { return m_blockNumber; }
    bool LastBlock() const { return (m_flags & kLastBlockFlag) != 0; }
    int RetriesLeft() const { return m_retriesLeft; }
    const std::uint8_t* BlockData() const { return m_pBlock; }

private:
    void Reset();
    void OnReply(std::uint8_t byte);
    void QueueByte(std::uint8_t byte);
    void CancelByUser();

    IUploadPort& m_port;
    IChargerView& m_view;
    platform::IClock& m_clock;
    const CFirmwareImage& m_image;

    std::int32_t m_totalBlocks = 0;
    std::uint32_t m_idleCount = 0;
    std::uint16_t m_crc = 0;
    std::int32_t m_blockNumber = 0;  // from 1; 0 before the first block
    std::uint8_t m_flags = 0;
    std::uint8_t m_retriesLeft = kRetries;
    UploadState m_state = UploadState::WaitForStart;
    // The current block's 128 bytes; see the header comment for their owner.
    const std::uint8_t* m_pBlock = nullptr;
};

// The upload of an image over an open port; the image must outlive the
// port's next Close.
UploadState UploadImage(CSerialPort& port, IChargerView& view, platform::IClock& clock,
                        const CFirmwareImage& image = CFirmwareImage::Carried());
