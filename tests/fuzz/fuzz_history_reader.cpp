// A journal file read back from its end: the backward line reader alone,
// then the history reader over it, each checked against reading the same
// bytes forwards. The input is written to an anonymous file, for some first
// bytes followed by a long line that puts a read-block boundary into it.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "records/HistoryReader.h"
#include "records/RecordParser.h"
#include "records/ReverseLineReader.h"

namespace {

// The anonymous file, made once and rewritten for every input.
class CMemoryFile {
public:
    CMemoryFile() : m_fd(::memfd_create("journal", MFD_CLOEXEC)) {
        fuzz::Require(m_fd >= 0, "an anonymous file can be made");
        m_path = "/proc/self/fd/" + std::to_string(m_fd);
    }
    ~CMemoryFile() { ::close(m_fd); }
    const std::string& Write(const std::string& bytes) {
        fuzz::Require(::ftruncate(m_fd, 0) == 0, "the file can be emptied");
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n =
                ::pwrite(m_fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
            fuzz::Require(n > 0, "the file can be written");
            done += static_cast<std::size_t>(n);
        }
        return m_path;
    }

private:
    int m_fd;
    std::string m_path;
};

// The non-empty lines, newest first, as read forwards.
std::vector<std::string> LinesBackwards(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        if (end > start) {
            lines.push_back(text.substr(start, end - start));
        }
        start = end + 1;
    }
    std::reverse(lines.begin(), lines.end());
    return lines;
}

void ReadBackwards(const std::string& path, const std::vector<std::string>& expected) {
    records::CReverseLineReader reader;
    std::string error;
    fuzz::Require(reader.Open(path, error), "the journal opens");
    std::vector<std::string> lines;
    for (std::string line; reader.Previous(line);) {
        lines.push_back(line);
    }
    fuzz::Require(reader.Error().empty(), "the journal reads without error");
    fuzz::Require(lines == expected, "lines read backwards are the lines read forwards");
}

// The times of the records among the lines, read one by one.
std::vector<std::int64_t> RecordTimes(const std::vector<std::string>& lines, long long& damaged) {
    records::CRecordParser parser;
    std::vector<std::int64_t> times;
    for (const std::string& line : lines) {
        records::ServiceRecord record;
        const records::LineResult result = parser.Parse(line, record);
        if (result.record) {
            times.push_back(record.when);
        }
        damaged += result.damaged ? 1 : 0;
    }
    return times;
}

void ReadHistory(const std::string& path, const std::vector<std::int64_t>& times, long long damaged,
                 const records::HistoryFilter& filter) {
    const auto records =
        static_cast<long long>(std::count_if(times.begin(), times.end(), [&](std::int64_t t) {
            return !filter.since || t >= *filter.since;
        }));
    records::CHistoryReader reader(filter);
    std::string error;
    fuzz::Require(reader.AddFile(path, error), "the history reader opens the journal");
    // Within one window the merge puts every record in order; without a
    // first moment, or within one window, every line is read.
    const bool oneWindow = times.size() < records::CHistoryReader::kWindow;
    const bool whole = !filter.since || oneWindow;
    long long given = 0;
    records::ServiceRecord record;
    std::int64_t last = INT64_MAX;
    while (reader.Next(record)) {
        ++given;
        fuzz::Require(!oneWindow || record.when <= last, "records come out newest first");
        fuzz::Require(filter.Matches(record), "only records the filter lets through");
        last = record.when;
    }
    fuzz::Require(!whole || given + reader.Duplicates() == records,
                  "every record is given out or a repeat");
    fuzz::Require(!whole || reader.DamagedLines() == damaged, "every damaged line is counted once");
    fuzz::Require(reader.Problems().empty(), "the journal reads without problems");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static CMemoryFile file;
    std::string text(reinterpret_cast<const char*>(data), size);
    // A first byte of 4n + 1 puts the boundary between the two blocks the
    // reader takes `cut` bytes into the input: a line follows the input that
    // fills the rest of the last block. (Not always: 64 KiB a run is slow.)
    if (size > 0 && data[0] % 4 == 1) {
        const std::size_t cut = data[0] % (size + 1);
        const std::size_t after = size - cut;
        const std::size_t block = records::CReverseLineReader::kBlock;
        text += '\n' + std::string(after < block ? block - 1 - after : 0, 'x');
    }
    const std::string& path = file.Write(text);
    const std::vector<std::string> lines = LinesBackwards(text);
    ReadBackwards(path, lines);
    long long damaged = 0;
    const std::vector<std::int64_t> times = RecordTimes(lines, damaged);
    ReadHistory(path, times, damaged, {});
    if (!times.empty()) {
        records::HistoryFilter since;
        since.since = times[times.size() / 2];
        ReadHistory(path, times, damaged, since);
    }
    return 0;
}
