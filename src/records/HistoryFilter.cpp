#include "records/HistoryFilter.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "records/RecordParser.h"

namespace records {
namespace {

bool ContainsNoCase(const std::string& text, const std::string& part) {
    const auto it =
        std::search(text.begin(), text.end(), part.begin(), part.end(), [](char a, char b) {
            return std::tolower(static_cast<unsigned char>(a)) ==
                   std::tolower(static_cast<unsigned char>(b));
        });
    return it != text.end();
}

// The last path component: "usb-FTDI_X-if00-port0" for its by-id path.
std::string BaseName(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool PortMatches(const ServiceRecord& r, const std::string& port) {
    if (port == r.port || port == r.device || (!r.byId.empty() && BaseName(port) == r.byId)) {
        return true;
    }
    // COM names in any letter case, as the command line takes them.
    return port.size() == r.port.size() &&
           std::equal(port.begin(), port.end(), r.port.begin(),
                      [](char a, char b) {
                          return std::toupper(static_cast<unsigned char>(a)) ==
                                 std::toupper(static_cast<unsigned char>(b));
                      }) &&
           r.port.rfind("COM", 0) == 0;
}

}  // namespace

bool HistoryFilter::Matches(const ServiceRecord& r) const {
    if (since && r.when < *since) {
        return false;
    }
    if (!outcomes.empty() &&
        std::find(outcomes.begin(), outcomes.end(), OutcomeText(r)) == outcomes.end()) {
        return false;
    }
    if (!deviceId.empty() && !ContainsNoCase(r.deviceId, deviceId)) {
        return false;
    }
    if (!slot.empty() && r.slot != slot) {
        return false;
    }
    return port.empty() || PortMatches(r, port);
}

bool ParseSince(const std::string& text, std::int64_t now, std::int64_t& since) {
    if (ParseTime(text, since)) {
        return true;
    }
    long long count = 0;
    const char* end = text.data() + text.size();
    const auto [unit, ec] = std::from_chars(text.data(), end, count);
    if (ec != std::errc() || unit + 1 != end || count < 0 || count > 100000) {
        return false;
    }
    long long seconds = 0;
    switch (*unit) {
        case 's':
            seconds = 1;
            break;
        case 'm':
            seconds = 60;
            break;
        case 'h':
            seconds = 3600;
            break;
        case 'd':
            seconds = 86400;
            break;
        case 'w':
            seconds = 7 * 86400;
            break;
        default:
            return false;
    }
    since = now - count * seconds;
    return true;
}

}  // namespace records
