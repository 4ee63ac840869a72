#include "bench/BenchTypes.h"

namespace bench {

const char* SlotStateName(SlotState state) {
    switch (state) {
        case SlotState::Empty:
            return "empty";
        case SlotState::Waiting:
            return "waiting";
        case SlotState::Reading:
            return "reading";
        case SlotState::Upgrading:
            return "upgrading";
        case SlotState::Checking:
            return "checking";
        case SlotState::Finished:
            break;
    }
    return "finished";
}

const char* EventName(EventKind kind) {
    switch (kind) {
        case EventKind::Appeared:
            return "appeared";
        case EventKind::Started:
            return "started";
        case EventKind::Status:
            return "status";
        case EventKind::Progress:
            return "progress";
        case EventKind::Finished:
            return "finished";
        case EventKind::RecordFailed:
            return "record-failed";
        case EventKind::Gone:
            break;
    }
    return "gone";
}

}  // namespace bench
