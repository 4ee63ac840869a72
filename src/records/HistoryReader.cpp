#include "records/HistoryReader.h"

#include <algorithm>
#include <filesystem>
#include <string_view>

#include "support/SessionLog.h"

namespace records {
namespace {

constexpr std::int64_t kSinceSlack = 86400;

// What tells two records apart when they fall in the same second; each
// field with its length, so no text can stand for two fields.
void Identity(const ServiceRecord& r, std::string& identity) {
    identity.clear();
    const auto add = [&identity](const void* bytes, std::size_t size) {
        identity.append(static_cast<const char*>(bytes), size);
    };
    for (const std::string_view field :
         {std::string_view(r.host), std::string_view(r.tool), std::string_view(r.port),
          std::string_view(r.device), std::string_view(r.deviceId), OutcomeText(r),
          std::string_view(r.before), std::string_view(r.after), std::string_view(r.reason)}) {
        const std::size_t size = field.size();
        add(&size, sizeof size);
        add(field.data(), size);
    }
    add(&r.blocks, sizeof r.blocks);
}

// FNV-1a, unrelated to std::hash (MurmurHash in libstdc++).
std::uint64_t Fnv1a(std::string_view text) {
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    for (const char c : text) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001b3ULL;
    }
    return hash;
}

}  // namespace

std::vector<std::string> LocalJournals() {
    std::vector<std::string> paths;
    for (const char* name : {"records.jsonl", "bench.jsonl", "upgrade.log"}) {
        const std::string path = StateFilePath(name);
        std::error_code ec;
        if (std::filesystem::exists(path, ec)) {
            paths.push_back(path);
        }
    }
    return paths;
}

struct CHistoryReader::Source {
    explicit Source(CReverseLineReader::StopCheck stop) : reader(std::move(stop)) {}
    CReverseLineReader reader;
    std::string path;
    std::size_t buffered = 0;
    std::size_t oldRun = 0;  // records in a row well before `since`
    bool done = false;
};

bool CHistoryReader::Later::operator()(const Pending& a, const Pending& b) const {
    // The heap gives out the greatest: the newest, then the first read.
    if (a.time != b.time) {
        return a.time < b.time;
    }
    return a.order > b.order;
}

CHistoryReader::CHistoryReader(HistoryFilter filter, CReverseLineReader::StopCheck stop)
    : m_filter(std::move(filter)), m_stop(std::move(stop)) {}

CHistoryReader::~CHistoryReader() = default;

bool CHistoryReader::AddFile(const std::string& path, std::string& error) {
    auto source = std::make_unique<Source>(m_stop);
    source->path = path;
    if (!source->reader.Open(path, error)) {
        return false;
    }
    m_sources.push_back(std::move(source));
    Fill(m_sources.size() - 1);
    return true;
}

void CHistoryReader::Fill(std::size_t index) {
    Source& source = *m_sources[index];
    while (!source.done && source.buffered < kWindow) {
        if (!source.reader.Previous(m_line)) {
            source.done = true;
            m_stopped = m_stopped || source.reader.Stopped();
            if (!source.reader.Error().empty()) {
                m_problems.push_back(source.reader.Error());
            }
            break;
        }
        if (m_freeSlots.empty()) {
            m_freeSlots.push_back(m_slots.size());
            m_slots.emplace_back();
        }
        ServiceRecord& record = m_slots[m_freeSlots.back()];
        const LineResult result = m_parser.Parse(m_line, record);
        // A cut line is one damaged line, whatever its kept end holds.
        m_damaged += result.damaged || source.reader.Cut() ? 1 : 0;
        if (!result.record) {
            continue;
        }
        // A run of records well before the first moment asked for means the
        // rest is older still; one PC with a wrong clock among those gathered
        // in a file breaks no run.
        const bool old = m_filter.since && record.when < *m_filter.since - kSinceSlack;
        source.oldRun = old ? source.oldRun + 1 : 0;
        if (source.oldRun >= kWindow) {
            source.done = true;
            break;
        }
        if (!m_filter.Matches(record)) {
            continue;
        }
        m_heap.push_back({record.when, m_order++, m_freeSlots.back(), index});
        m_freeSlots.pop_back();
        std::push_heap(m_heap.begin(), m_heap.end(), Later());
        ++source.buffered;
    }
}

CHistoryReader::Digest CHistoryReader::DigestOf(const std::string& identity) {
    return {std::hash<std::string_view>()(identity), Fnv1a(identity)};
}

bool CHistoryReader::Seen(const ServiceRecord& record) {
    if (record.when != m_lastTime) {
        // clear() sweeps every bucket: those a busy second left are let go.
        if (m_seenAtLastTime.bucket_count() > kWindow) {
            std::unordered_set<Digest, DigestHash>().swap(m_seenAtLastTime);
        }
        m_seenAtLastTime.clear();
        // Most seconds hold one record: the first's identity is kept and
        // only hashed when a second record shares its second.
        m_lastTime = record.when;
        Identity(record, m_firstIdentity);
        m_firstPending = true;
        return false;
    }
    if (m_firstPending) {
        m_seenAtLastTime.insert(DigestOf(m_firstIdentity));
        m_firstPending = false;
    }
    Identity(record, m_identity);
    const Digest digest = DigestOf(m_identity);
    if (m_seenAtLastTime.contains(digest)) {
        return true;
    }
    if (m_seenAtLastTime.size() < kSeenBound) {
        m_seenAtLastTime.insert(digest);
    }
    return false;
}

const ServiceRecord* CHistoryReader::Next() {
    // The record handed out last is read over from now on.
    if (m_handedOut) {
        m_freeSlots.push_back(*m_handedOut);
        m_handedOut.reset();
    }
    while (!m_stopped && !m_heap.empty()) {
        std::pop_heap(m_heap.begin(), m_heap.end(), Later());
        const Pending top = m_heap.back();
        m_heap.pop_back();
        const std::size_t source = top.source;
        --m_sources[source]->buffered;
        Fill(source);
        if (!Seen(m_slots[top.slot])) {
            m_handedOut = top.slot;
            return &m_slots[top.slot];
        }
        m_freeSlots.push_back(top.slot);  // mutate: equivalent (only spares a new slot)
        ++m_duplicates;
    }
    return nullptr;
}

bool CHistoryReader::Next(ServiceRecord& record) {
    const ServiceRecord* next = Next();
    if (next != nullptr) {
        record = *next;
    }
    return next != nullptr;
}

}  // namespace records
