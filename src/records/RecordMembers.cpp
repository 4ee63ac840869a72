#include "records/RecordMembers.h"

#include <cstdint>
#include <string_view>

#include "protocol/DeviceIdLine.h"
#include "records/RecordTime.h"

namespace records {
namespace {

// The members of a record, in the journal writer's order; a text member
// names its field.
struct Member {
    std::string_view key;
    std::string ServiceRecord::*text;
};
enum : std::size_t { kTime, kTool = 2, kImage = 10, kBlocks, kResends, kSeconds, kOutcome };
enum : std::size_t { kIdentification = 16, kSimulated, kSlot, kMemberCount };
constexpr Member kMembers[kMemberCount] = {
    {"time", &ServiceRecord::time},
    {"host", &ServiceRecord::host},
    {"tool", &ServiceRecord::tool},
    {"port", &ServiceRecord::port},
    {"device", &ServiceRecord::device},
    {"byId", &ServiceRecord::byId},
    {"deviceId", &ServiceRecord::deviceId},
    {"bootCode", &ServiceRecord::bootCode},
    {"before", &ServiceRecord::before},
    {"after", &ServiceRecord::after},
    {"image", nullptr},
    {"blocks", nullptr},
    {"resends", nullptr},
    {"seconds", nullptr},
    {"outcome", nullptr},
    {"reason", &ServiceRecord::reason},
    {"identification", nullptr},
    {"simulated", nullptr},
    {"slot", &ServiceRecord::slot},
};
static_assert(kMembers[kImage].key == "image" && kMembers[kOutcome].key == "outcome" &&
              kMembers[kIdentification].key == "identification");

struct ImageMember {
    std::string_view key;
    std::string ImageInfo::*text;  // null: the size
};
constexpr ImageMember kImageMembers[] = {
    {"label", &ImageInfo::label},
    {"size", nullptr},
    {"crc", &ImageInfo::crc},
    {"path", &ImageInfo::path},
};

// The index of `key` in `members`, searched from the one after `last`;
// the size of `members` for a key that is none of them.
template <typename T, std::size_t N>
std::size_t Find(const T (&members)[N], std::string_view key, std::size_t last) {
    for (std::size_t i = 1; i <= N; ++i) {
        const std::size_t at = (last + i) % N;
        if (members[at].key == key) {
            return at;
        }
    }
    return N;
}

// Whether `at` is a member not seen yet (and marks it seen): of a key given
// twice the first counts, as a lookup by key finds it.
bool First(std::size_t at, std::uint32_t& seen) {
    const std::uint32_t bit = std::uint32_t{1} << at;
    const bool first = (seen & bit) == 0;
    seen |= bit;
    return first;
}

void Text(simdjson::dom::element value, std::string& text) {
    std::string_view read;
    if (value.get(read) == simdjson::SUCCESS) {
        text.assign(read);
    }
}

// A count of the record (0 when missing or no number); false for a number
// no long long holds ("blocks":1e19), which makes the line damaged: the
// conversion alone would be undefined.
bool Integer(simdjson::dom::element value, long long& count) {
    std::int64_t integer = 0;  // mutate: equivalent (read only when get() set it)
    if (value.get(integer) == simdjson::SUCCESS) {
        count = integer;
        return true;
    }
    double number = 0;  // mutate: equivalent (get() sets it before any use)
    if (value.get(number) != simdjson::SUCCESS) {
        return true;
    }
    constexpr double kBound = 9223372036854775808.0;  // 2^63
    if (!(number >= -kBound && number < kBound)) {
        return false;
    }
    count = static_cast<long long>(number);
    return true;
}

bool ReadImage(simdjson::dom::element value, ImageInfo& image) {
    simdjson::dom::object object;
    if (value.get(object) != simdjson::SUCCESS) {
        return true;
    }
    std::uint32_t seen = 0;
    std::size_t last = std::size(kImageMembers) - 1;
    bool whole = true;
    for (const simdjson::dom::key_value_pair member : object) {
        const std::size_t at = Find(kImageMembers, member.key, last);
        if (at == std::size(kImageMembers) || !First(at, seen)) {
            continue;
        }
        last = at;
        if (kImageMembers[at].text != nullptr) {
            Text(member.value, image.*kImageMembers[at].text);
        } else {
            whole = Integer(member.value, image.size) && whole;
        }
    }
    return whole;
}

// The texts among the lines, each into a line of the record.
void ReadLines(simdjson::dom::element value, std::vector<std::string>& lines) {
    simdjson::dom::array array;
    if (value.get(array) != simdjson::SUCCESS) {
        return;
    }
    for (const simdjson::dom::element line : array) {
        std::string_view text;
        if (line.get(text) == simdjson::SUCCESS) {
            lines.emplace_back(text);
        }
    }
}

// One member that holds no text; false when its count is out of range.
bool ReadOther(std::size_t at, simdjson::dom::element value, ServiceRecord& r) {
    switch (at) {
        case kImage:
            return ReadImage(value, r.image);
        case kBlocks:
            return Integer(value, r.blocks);
        case kResends:
            return Integer(value, r.resends);
        case kSeconds: {
            double seconds = 0;  // mutate: equivalent (read only when get() set it)
            r.seconds = value.get(seconds) == simdjson::SUCCESS ? seconds : 0;
            return true;
        }
        case kOutcome: {
            std::string_view outcome;
            if (value.get(outcome) == simdjson::SUCCESS) {
                r.outcomeText = outcome;
            }
            return true;
        }
        case kIdentification:
            ReadLines(value, r.identification);
            return true;
        default: {  // kSimulated
            bool simulated = false;
            r.simulated = value.get(simulated) == simdjson::SUCCESS && simulated;
            return true;
        }
    }
}

}  // namespace

void ResetReadBack(ServiceRecord& r) {
    // A field added to ServiceRecord is to be emptied here as well.
    static_assert(sizeof(ServiceRecord) == 600, "empty the new field of ServiceRecord here too");
    for (std::string* text :
         {&r.time, &r.host, &r.tool, &r.port, &r.device, &r.byId, &r.deviceId, &r.bootCode,
          &r.before, &r.after, &r.image.label, &r.image.path, &r.image.crc, &r.reason, &r.slot}) {
        text->clear();
    }
    r.image.size = 0;
    r.blocks = 0;
    r.resends = 0;
    r.seconds = 0;
    r.outcome = Outcome::Failed;
    r.identification.clear();
    r.simulated = false;
    r.readBack = true;
    r.outcomeText.reset();
    r.when = 0;
}

bool ReadMembers(simdjson::dom::object object, ServiceRecord& r) {
    ResetReadBack(r);
    std::uint32_t seen = 0;
    std::size_t last = kMemberCount - 1;
    bool whole = true;
    for (const simdjson::dom::key_value_pair member : object) {
        const std::size_t at = Find(kMembers, member.key, last);
        if (at == kMemberCount || !First(at, seen)) {
            continue;
        }
        last = at;
        if (kMembers[at].text != nullptr) {
            Text(member.value, r.*kMembers[at].text);
        } else {
            whole = ReadOther(at, member.value, r) && whole;
        }
    }
    if (!whole || !NormalizeTime(r.time, r.when)) {
        return false;
    }
    // bench.jsonl is the one journal without the tool; an empty one (an
    // upgrade.log record written back by --json) stays unknown.
    if ((seen & (std::uint32_t{1} << kTool)) == 0) {
        r.tool = "bench";
    }
    if (r.deviceId.empty()) {
        r.deviceId = DeviceIdFrom(r.identification);
    }
    return true;
}

}  // namespace records
