// Record parser: one line of any journal Corvane has written, as a record.
//
// Principles of operation
//   Three shapes are read: records.jsonl (the journal every front end
//   writes), bench.jsonl (the bench's older journal: no host, tool or
//   deviceId; the device ID is taken from its "deviceid" identification
//   line) and upgrade.log (key=value lines of single upgrades, with the time
//   in local time and an offset, and the window's status text as outcome).
//   Each becomes the ServiceRecord the journal writer takes, marked as read
//   back (see ServiceRecord.h for what that keeps as the line said it).
//
//   A line is never trusted to be whole. A power cut can leave a line cut
//   short, and the next record is then appended to its stump: the parser
//   looks for the start of a record ({"time": ...) further on and keeps
//   what it finds there, calling the line damaged all the same. Text before
//   a record that holds no brace, such as the prefix a system log adds, is
//   no damage, so lines gathered by rsyslog or journalctl read as they are.
//   Bytes that are not UTF-8 (possible in lines written before all text was
//   quoted) become U+FFFD instead of losing the line.
//
//   JSON is parsed with simdjson, where a tree-building parser took most of
//   the time budget on its own, and the object's members are read in one
//   walk into the record given, whose buffers are reused (RecordMembers.h).
//
// Threads: a parser belongs to one thread (it keeps its buffers).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "records/RecordTime.h"
#include "records/ServiceRecord.h"

namespace records {

struct LineResult {
    bool record = false;   // `record` was filled in
    bool damaged = false;  // some or all of the line could not be read
};

class CRecordParser {
public:
    CRecordParser();
    ~CRecordParser();
    CRecordParser(const CRecordParser&) = delete;
    CRecordParser& operator=(const CRecordParser&) = delete;

    // A blank line gives neither a record nor damage.
    LineResult Parse(std::string_view line, ServiceRecord& record);

private:
    bool ParseJson(std::string_view text, ServiceRecord& record);
    bool ParseKeyValues(std::string_view line, ServiceRecord& record);
    bool Unquote(std::string_view quoted, std::string& text);

    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace records
