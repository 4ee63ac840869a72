// Variable report: collects the charger's report lines from the port and
// turns each into the sixteen values.
//
// Principles of operation
//   The monitor window, the trends window and the command line's monitor ask
//   the charger once with kRequest and then call Tick regularly. A tick takes
//   every byte waiting in the port's receive ring and cuts it into lines at
//   CR (at most kLineSize bytes a line, the rest dropped until the CR). Every
//   complete line is parsed into the record in turn, so after the tick the
//   record shows the newest line that could be read; a line with too few
//   fields changes nothing. The bytes of a line that straddles two ticks are
//   joined.
//
//   The receive ring holds kReceiveRingSize bytes and drops the newest bytes
//   when it is full. A tick that finds it full therefore takes only what was
//   there, and the line cut short at that point is dropped up to its CR
//   together with whatever later bytes would otherwise be glued to it: values
//   from two different reports never share a record. The ring can also fill
//   while a tick drains it, when a large chunk arrives meanwhile; the bytes
//   dropped then lie somewhere among those waiting after the drain. So after
//   the drain the tick looks again: when what it took and what came since
//   could have filled the ring, it takes those bytes too and trusts no line
//   in them, nor the line they leave unfinished.
//
// Threads: the thread that owns the port; the port's reader fills its ring.
#pragma once

#include <cstddef>
#include <functional>

#include "diagnostics/ChargerVariables.h"

class CSerialPort;

// Where a tick takes its bytes from: the port's receive ring.
class IReceivedBytes {
public:
    virtual ~IReceivedBytes() = default;
    virtual int BytesAvailable() = 0;
    // The oldest byte, or -1 when none is waiting.
    virtual int ReadByte() = 0;
};

class CVariableReport {
public:
    static constexpr std::size_t kLineSize = 1024;
    static constexpr int kReceiveRingSize = 1024;
    static constexpr int kTickMs = 1000;
    // Asks the charger's firmware for its variable report.
    static constexpr const char* kRequest = "\r/011\r";

    // What one tick took: complete lines, and those of them that had every field.
    struct Taken {
        int lines = 0;
        int reports = 0;
    };
    // Sees the record after each line that could be read, as it is taken.
    using ReportHandler = std::function<void(const ChargerVariables& vars)>;

    // Forgets a partly collected line.
    void Clear();
    // Takes every complete line waiting in the port (see above).
    Taken Tick(CSerialPort& port, ChargerVariables& vars, const ReportHandler& onReport = {});
    Taken Tick(IReceivedBytes& ring, ChargerVariables& vars, const ReportHandler& onReport = {});
    // The same for bytes already in hand.
    Taken Feed(const char* bytes, std::size_t count, ChargerVariables& vars,
               const ReportHandler& onReport = {});

private:
    // Takes up to count bytes; with distrust, every line they end is dropped.
    void TakeWaiting(IReceivedBytes& ring, int count, bool distrust, ChargerVariables& vars,
                     const ReportHandler& onReport, Taken& taken);
    void Take(char byte, ChargerVariables& vars, const ReportHandler& onReport, Taken& taken);

    char m_line[kLineSize + 1] = {};  // the line and its NUL
    std::size_t m_lineLength = 0;
    bool m_dropToLineEnd = false;  // the current line lost bytes in a full ring
};
