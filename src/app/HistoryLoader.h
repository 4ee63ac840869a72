// History loader: the History window's reading and filtering of the
// journals, on a thread of its own.
//
// Principles of operation
//   A year of a busy bench is hundreds of thousands of records, seconds to
//   read; read on the user-interface thread, each change of a filter froze
//   the window. The loader's one worker thread makes, owns and ends every
//   reader. Load numbers each request, and a newer request supersedes the
//   older ones: the reader at work asks its stop check before each block it
//   reads, finds its number is no longer the newest and ends within moments;
//   a request still waiting is dropped before it opens a file. So however
//   fast filters change, one read runs at a time and none waits behind one
//   nobody wants any more.
//
//   The worker turns the records into the table's rows, the newest kMaxRows,
//   with every journal text through records::ShownText, and the summary that
//   counts all of them, as the command line's table and summary do. It hands
//   them back by queued calls to the user-interface thread, where a result
//   that is no longer the newest request's is dropped, so an older read never
//   shows over a newer one. A read of a big journal takes a second or more,
//   but its newest records come first: so the table follows the filters at
//   once, the rows found so far are handed over in parts, kPartMs apart on
//   the loader's clock, before the last part with the summary.
//
// Threads: the loader is made, used and ended on the user-interface thread,
// which receives the results; the readers run on the loader's thread.
// Ending the loader stops the read under way and waits for it.
#pragma once

#include <QObject>
#include <QString>
#include <QThread>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/HistoryModel.h"
#include "platform/Clock.h"
#include "records/HistoryFilter.h"

class CHistoryLoader : public QObject {
public:
    static constexpr int kMaxRows = 5000;
    static constexpr std::uint32_t kPartMs = 40;

    struct Request {
        std::vector<std::string> journals;
        records::HistoryFilter filter;
    };
    // One part of a read's result.
    struct Result {
        std::vector<CHistoryModel::Row> rows;  // after the earlier parts', the newest first
        bool first = true;                     // the first part: its rows replace the table's
        bool complete = false;                 // the last part: the summary counts every match
        QString summary;
    };
    using Delivery = std::function<void(Result& result)>;

    // `deliver` receives the parts of the newest request's result, on this thread.
    explicit CHistoryLoader(Delivery deliver, QObject* parent = nullptr);
    ~CHistoryLoader() override;
    CHistoryLoader(const CHistoryLoader&) = delete;
    CHistoryLoader& operator=(const CHistoryLoader&) = delete;

    // Reads in the background; supersedes every earlier request.
    void Load(Request request);
    // Stops the read under way; no result of an earlier request comes.
    void Cancel();
    // The clock that spaces the parts (the system's unless set); for the
    // reads asked after.
    void SetClock(platform::IClock& clock) { m_clock = &clock; }
    // How many requests were made (loads and cancels).
    std::uint64_t Requests() const { return m_newest->load(); }

private:
    using Counter = std::atomic<std::uint64_t>;

    void Deliver(std::uint64_t number, const std::shared_ptr<Result>& result);

    Delivery m_deliver;
    platform::IClock* m_clock;
    // The newest request's number, shared with the worker's stop checks.
    std::shared_ptr<Counter> m_newest = std::make_shared<Counter>(0);
    QThread m_thread;
    QObject* m_worker = nullptr;  // lives on m_thread: the context of the queued reads
};
