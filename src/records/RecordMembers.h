// Record members: a journal line's JSON object read into a ServiceRecord
// (for RecordParser, which finds the object in the line).
//
// Principles of operation
//   The object's members are walked once, each key looked up among the
//   record's in the order the journal writes them, starting after the one
//   found last, so a line in the writer's order finds each key at its first
//   try. Of a key given twice the first counts. Unknown keys are passed by.
//   Texts reuse the record's buffers: a year of records read into the same
//   few records allocates next to nothing.
//
// Threads: pure functions.
#pragma once

#include <simdjson.h>

#include "records/ServiceRecord.h"

namespace records {

// A record read back, emptied: readBack set, every other field at its
// default, the texts' buffers kept.
void ResetReadBack(ServiceRecord& record);

// The object's members into the record (reset first); false when it is no
// record: no time ParseTime takes, or a count no long long holds.
bool ReadMembers(simdjson::dom::object object, ServiceRecord& record);

}  // namespace records
