// What the bench window's tests share: the records written so far and the
// wait for a run to end.
#pragma once

#include <QTest>

#include <algorithm>
#include <fstream>
#include <iterator>

#include "app/BenchWindow.h"
#include "records/RecordJournal.h"

namespace benchwindowtest {

// The service records written so far, one a line.
inline int RecordCount() {
    std::ifstream journal(records::RecordsPath());
    return static_cast<int>(std::count(std::istreambuf_iterator<char>(journal), {}, '\n'));
}

// Waits for the run to end, as onRunEnded tells it.
inline bool RunEnds(CBenchWindow& window, int timeoutMs) {
    bool ended = false;
    window.onRunEnded = [&ended] { ended = true; };
    return QTest::qWaitFor([&] { return ended; }, timeoutMs);
}

}  // namespace benchwindowtest
