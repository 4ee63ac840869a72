// Report feed: the monitor's line to the charger, kept up across an unplug.
//
// Principles of operation
//   The command line's monitor and the trends window own one feed each. Start
//   opens the port and asks for the variable report; the owner then calls
//   Poll about every kPollMs. A poll takes every complete line waiting (each
//   report that could be read reaches onReport as it is taken) and then looks
//   at the link: the port's reader found the device gone, or the watched
//   path has disappeared or now names another device (a simulator restarted
//   on the same link). The feed then closes the port, which frees the device
//   for its return, forgets the half line and calls onLost.
//
//   While the link is lost, every kReturnCheckMs the feed looks whether the
//   watched path is there again and can be opened for reading and writing;
//   only then does it open the port, so a missing adapter raises no error
//   box. When the port opens it asks for the report again and calls onBack.
//   An opening that fails anyway (the device is busy) was reported by the
//   port; the feed then waits kRetryAfterFailureMs before the next try.
//   Nothing here sleeps or spins: the owner's timer or sleep sets the pace.
//
//   The feed reopens by itself, so the port's error boxes would only tell
//   of a link it already waits for, one more box at every unplug. The port
//   is opened with a message-box hook of the feed's own (the port hands it
//   on to its reader and writer), which keeps the boxes' texts instead of
//   showing them; the owner says in one line that the link is lost. Only
//   the very first opening in Start shows its boxes, whether it failed or
//   opened on settings the device refused: the user chose that port a
//   moment ago.
//
// Threads: the owner's thread, which also owns the port.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "diagnostics/ChargerVariables.h"
#include "diagnostics/VariableReport.h"
#include "platform/Clock.h"

class CSerialPort;

class CReportFeed {
public:
    static constexpr std::uint32_t kPollMs = 100;
    static constexpr std::uint32_t kReturnCheckMs = 500;
    static constexpr std::uint32_t kRetryAfterFailureMs = 5000;

    enum class Link { Closed, Up, Lost };
    struct Handlers {
        std::function<void(const ChargerVariables& vars)> onReport;
        std::function<void()> onLost;
        std::function<void()> onBack;
    };

    CReportFeed(CSerialPort& port, platform::IClock& clock);
    ~CReportFeed();
    CReportFeed(const CReportFeed&) = delete;
    CReportFeed& operator=(const CReportFeed&) = delete;

    void SetHandlers(Handlers handlers) { m_handlers = std::move(handlers); }
    // Opens the port under the name it was given and asks for the report;
    // devicePath is what the name leads to, watched for the adapter's
    // return. False when the port did not open: the link then counts as
    // lost and the feed waits for the device like after an unplug.
    bool Start(const std::string& devicePath);
    void Poll();
    // Closes the port; the feed is Closed until the next Start.
    void Stop();

    Link State() const { return m_link; }
    const ChargerVariables& Variables() const { return m_vars; }
    int LinesReceived() const { return m_lines; }
    int ReportsRead() const { return m_reports; }
    // How many boxes of the port the feed has kept from the screen.
    int BoxesHeld() const;

private:
    // The boxes the port reported while the feed held them (any thread).
    struct HeldBoxes {
        std::mutex lock;
        std::vector<std::pair<std::string, std::string>> boxes;  // text, caption
        int count = 0;
    };

    bool OpenAndAsk(bool showBoxes = false);
    void TakeLines();
    bool LinkWentAway() const;
    void OnLost();
    void LookForReturn();

    CSerialPort& m_port;
    platform::IClock& m_clock;
    Handlers m_handlers;
    CVariableReport m_report;
    ChargerVariables m_vars;
    std::string m_devicePath;
    dev_t m_device = 0;  // what the path led to when the port opened; 0: not known
    Link m_link = Link::Closed;
    std::uint32_t m_nextCheckMs = 0;
    int m_lines = 0;
    int m_reports = 0;
    std::shared_ptr<HeldBoxes> m_held = std::make_shared<HeldBoxes>();
};
