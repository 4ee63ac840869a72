// History reader: the service records of several journals, newest first.
//
// Principles of operation
//   Each journal (this PC's records.jsonl, its older bench.jsonl and
//   upgrade.log, or journals gathered from other bench PCs) is read from its
//   end with a CReverseLineReader, so its newest records come first. The
//   journals are merged by time: a heap holds up to kWindow matching records
//   of each journal and gives out the newest. A journal whose lines are a
//   little out of order (jobs that finished together, clocks of several PCs
//   gathered in one file) still comes out in order as long as no record is
//   more than kWindow records from its place. Memory is bounded by the
//   window, not by the journals' length.
//
//   Lines that cannot be read are counted (DamagedLines) and skipped; a
//   line longer than CReverseLineReader::kMaxLine counts as one damaged
//   line, and a record at its end is still read. The same record found in
//   two journals (a bench PC's own journal beside the gathered one) is
//   given out once: the records of the second being given out are
//   remembered by a digest of what tells them apart, in a hash set, so a
//   busy second costs no more per record than a quiet one; the first record
//   of a second is digested only when another one shares it. At most
//   kSeenBound are remembered per second; past that, copies in that second
//   are listed twice rather than memory growing with a hostile journal.
//   With a first moment (since), a journal is left once kWindow records in
//   a row are more than a day older.
//
//   Records stay in the reader's slots, each read over once it is handed
//   out and done with, so reading allocates next to nothing.
//
//   A stop check given to the reader is asked before each block read, so
//   a huge journal, or a zero-filled one, ends within moments of a stop:
//   Next then gives no more records, and Stopped() says why.
//
// Threads: a reader belongs to one thread.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "records/HistoryFilter.h"
#include "records/RecordParser.h"
#include "records/ReverseLineReader.h"
#include "records/ServiceRecord.h"

namespace records {

// This PC's journals that exist, newest shape first: records.jsonl, then
// the older bench.jsonl and upgrade.log, all in the state folder.
std::vector<std::string> LocalJournals();

class CHistoryReader {
public:
    static constexpr std::size_t kWindow = 256;
    static constexpr std::size_t kSeenBound = 256 * 1024;

    explicit CHistoryReader(HistoryFilter filter, CReverseLineReader::StopCheck stop = {});
    ~CHistoryReader();
    CHistoryReader(const CHistoryReader&) = delete;
    CHistoryReader& operator=(const CHistoryReader&) = delete;

    // False, with `error` set, when the journal cannot be opened.
    bool AddFile(const std::string& path, std::string& error);
    // The next matching record, newest first, null when there is none. It
    // stays valid until the next call, which reads another record into it.
    const ServiceRecord* Next();
    // The same, copied; false when there is none.
    bool Next(ServiceRecord& record);

    long long DamagedLines() const { return m_damaged; }
    // The stop check asked to end the reading.
    bool Stopped() const { return m_stopped; }
    long long Duplicates() const { return m_duplicates; }
    // Journals that failed while being read (each with its reason).
    const std::vector<std::string>& Problems() const { return m_problems; }

private:
    struct Source;
    // The heap orders small keys; the records stay in their slots, so a
    // record is moved once on its way out, not at each step of the heap.
    struct Pending {
        std::int64_t time = 0;
        std::uint64_t order = 0;  // read earlier (lower in its file): out first
        std::size_t slot = 0;     // in m_slots
        std::size_t source = 0;
    };
    struct Later {
        bool operator()(const Pending& a, const Pending& b) const;
    };
    // Two unrelated 64-bit hashes: records are taken for one only when both agree.
    struct Digest {
        std::uint64_t a = 0;
        std::uint64_t b = 0;
        bool operator==(const Digest&) const = default;
    };
    struct DigestHash {
        std::size_t operator()(const Digest& d) const { return d.a; }
    };

    void Fill(std::size_t source);
    static Digest DigestOf(const std::string& identity);
    bool Seen(const ServiceRecord& record);

    HistoryFilter m_filter;
    CReverseLineReader::StopCheck m_stop;
    bool m_stopped = false;
    CRecordParser m_parser;
    std::vector<std::unique_ptr<Source>> m_sources;
    std::vector<Pending> m_heap;  // a heap by Later: the newest on top
    std::vector<ServiceRecord> m_slots;
    std::vector<std::size_t> m_freeSlots;
    std::optional<std::size_t> m_handedOut;  // the slot of the record Next gave last
    std::string m_line;
    std::uint64_t m_order = 0;
    long long m_damaged = 0;
    long long m_duplicates = 0;
    std::vector<std::string> m_problems;
    std::int64_t m_lastTime = 0;
    std::unordered_set<Digest, DigestHash> m_seenAtLastTime;
    std::string m_firstIdentity;  // of the second's first record, until a second one comes
    bool m_firstPending = false;  // m_firstIdentity is not in m_seenAtLastTime yet
    std::string m_identity;       // reused for each record's identity
};

}  // namespace records
