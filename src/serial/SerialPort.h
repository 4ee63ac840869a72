// Serial port: the one object through which the utility talks to a charger.
//
// Principles of operation
//   The owner gives the port a name ("COM1".."COM4", resolved through the
//   settings, or a device path beginning with "/") and opens it only while a
//   command runs. Open configures the device (38400 8N1, raw, no flow
//   control), raises DTR and starts two workers:
//     - the reader copies every received byte into a 1024-byte receive ring;
//       when the ring is full the newest bytes are dropped;
//     - the writer carries out queued write requests one after another, in
//       queue order (WRITE_BYTE, WRITE_BLOCK, WRITE_ABORT).
//   The caller never blocks on the device: it queues writes and takes bytes
//   out of the ring with ReadByte, polling between sleeps of its own. Close
//   stops both workers, drops DTR, restores the device's settings, drops
//   unread input (and output only while the device still holds it unsent,
//   so drained bytes such as a cancel's CANs are never thrown away) and
//   closes it. The ring survives Close.
//
//   A device that goes away while open (an adapter pulled out) is logged
//   once, with no box: the command that finds IsLost says what happened.
//   The workers then leave it alone until Close.
//
// Threads and locks
//   All public operations are called on one thread (the user-interface thread
//   or the command line's). The queue lock guards the write queue's links, the
//   receive lock guards the ring; neither is held across I/O, waits or
//   reports, and no code holds both. Close waits at most 10000 ms for the
//   workers.
//
//   Every opening has its own link (device, exit event, write queue, open
//   flag), shared with its two workers. A worker that has not ended when
//   Close stops waiting keeps its link alive by itself and can never act on
//   a later opening; the port keeps the thread and joins it later (at the
//   next Open or at destruction), and that opening's descriptor is closed
//   only when the worker is done with it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/SerialDevice.h"
#include "serial/WriteRequest.h"

class CPortLink;
class CReceiveRing;

class CSerialPort {
public:
    CSerialPort();
    virtual ~CSerialPort();  // closes an open port
    CSerialPort(const CSerialPort&) = delete;
    CSerialPort& operator=(const CSerialPort&) = delete;

    bool Open();
    void Close();
    bool IsOpen() const;
    // True while open on a device that has gone away (reported once already).
    bool IsLost() const;

    void SetPortName(const std::string& name);
    const std::string& GetPortName() const;
    const std::string& GetOpenedName() const;

    // The oldest received byte as 0..255, or -1 when none waits.
    int ReadByte();
    int BytesAvailable();
    void ClearReceived();

    // Queues one write request; false when it could not be queued (port not
    // open, or no room). A block's bytes are borrowed and must stay unchanged
    // until written.
    bool QueueRequest(int kind, int length, std::uint8_t byte, const std::uint8_t* data);
    bool WriteBlock(const void* data, int length);
    bool WriteString(const char* text);
    // Waits until every queued request has been written and the device has
    // sent it on the line, at most timeoutMs; true when both emptied. For a
    // last word before Close, which drops what is still queued in the writer
    // and purges the device's queues.
    bool WaitUntilWritten(int timeoutMs);

    // Optional observer of the bytes that cross the line (the command line's
    // trace). Called on the worker threads; set it only while the port is closed.
    using TraceHook = std::function<void(bool sent, const std::uint8_t* data, std::size_t length)>;
    void SetTraceHook(TraceHook hook);

    // For this run only, every port name opens this device instead (the
    // built-in simulated charger); nothing is stored. Empty: names resolve as usual.
    void SetDeviceOverride(const std::string& path) { m_strDeviceOverride = path; }

    // On: the box of a failed open ends with the port and what is wrong with
    // it (the window, whose user has nothing else to read). Off by default:
    // the command line explains a failed open in words of its own.
    void SetOpenCauseShown(bool shown) { m_bOpenCauseShown = shown; }

    // The line settings the next Open applies (38400 8N1 without flow control
    // unless changed); ones the device refuses are reported and passed over.
    void SetLineSettings(const platform::SerialLineSettings& settings) {
        m_lineSettings = settings;
    }

    // How long Close waits for the workers to end (10000 ms); tests shorten it.
    void SetStopTimeoutMs(int milliseconds) { m_stopTimeoutMs = milliseconds; }

private:
    struct Worker {
        std::thread thread;
        std::future<void> done;
    };

    void ReportOpenFailure(const std::string& path) const;
    bool ConfigureDevice(platform::CSerialDevice& device);
    static void PurgeUnsent(platform::CSerialDevice& device);
    bool StartWorkers();  // false (reported) when a worker could not start
    static Worker StartWorker(std::function<void()> body, const char* failure);
    bool StopThreads();  // true when both workers ended
    void JoinOrKeep(Worker& worker, bool ended);
    void ReapStuckWorkers(int waitMs);

    std::string m_strPortName;
    std::string m_strOpenedName;
    std::string m_strDeviceOverride;
    platform::SerialLineSettings m_lineSettings;  // what Open applies
    bool m_bOpen = false;
    bool m_bOpenCauseShown = false;
    int m_stopTimeoutMs = 10000;
    TraceHook m_traceHook;
    std::shared_ptr<CReceiveRing> m_pReceive;  // outlives every opening
    std::shared_ptr<CPortLink> m_pLink;        // the current opening
    Worker m_readerThread;
    Worker m_writerThread;
    std::vector<Worker> m_stuckWorkers;  // gave up on by Close, not yet joined
};
