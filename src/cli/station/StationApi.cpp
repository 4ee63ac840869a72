#include "cli/station/StationApi.h"

#include "cli/station/StationAssets.h"
#include "cli/station/StationToken.h"
#include "records/JsonLine.h"

namespace station {
namespace {

constexpr const char* kJson = "application/json";
const std::string kSlotsPrefix = "/api/slots/";
const std::string kStopSuffix = "/stop";

HttpResponse Text(int status, const std::string& text) {
    HttpResponse r;
    r.status = status;
    r.body = text + "\n";
    return r;
}

HttpResponse Json(int status, std::string json) {
    HttpResponse r;
    r.status = status;
    r.contentType = kJson;
    r.body = std::move(json) + "\n";
    return r;
}

HttpResponse MethodNotAllowed(const char* allow) {
    HttpResponse r = Text(405, std::string("Method not allowed: use ") + allow + ".");
    r.headers.emplace_back("Allow", allow);
    return r;
}

bool IsControl(const std::string& path) {
    if (path == "/api/stop" || path == "/api/pause" || path == "/api/resume") {
        return true;
    }
    return path.size() > kSlotsPrefix.size() + kStopSuffix.size() &&
           path.compare(0, kSlotsPrefix.size(), kSlotsPrefix) == 0 &&
           path.compare(path.size() - kStopSuffix.size(), kStopSuffix.size(), kStopSuffix) == 0;
}

bool IsRead(const std::string& path) {
    return FindAsset(path) != nullptr || path == "/api/slots" || path == "/api/events" ||
           path == "/api/records" || path == "/api/records.csv" || path == "/api/today";
}

HttpResponse Accepted(const std::string& what) {
    return Json(202, records::CJsonLine().Add("accepted", what).Text());
}

}  // namespace

CStationApi::CStationApi(CStationBoard& board, CEventHub& hub, CStationControl& control,
                         std::string token, RecordSource records)
    : m_board(board),
      m_hub(hub),
      m_control(control),
      m_token(std::move(token)),
      m_records(std::move(records)) {}

HttpResponse CStationApi::Handle(const HttpRequest& request) {
    const bool read = request.method == "GET" || request.method == "HEAD";
    if (IsRead(request.path)) {
        return read ? Read(request) : MethodNotAllowed("GET, HEAD");
    }
    if (IsControl(request.path)) {
        return request.method == "POST" ? Control(request) : MethodNotAllowed("POST");
    }
    return Text(404, "Not found.");
}

HttpResponse CStationApi::Read(const HttpRequest& request) {
    const std::string& path = request.path;
    if (const Asset* asset = FindAsset(path)) {
        HttpResponse r;
        r.contentType = asset->contentType;
        r.body = std::string(asset->body);
        r.cacheControl = "no-cache";
        return r;
    }
    if (path == "/api/slots") {
        return Json(200, m_board.RowsJson());
    }
    if (path == "/api/events") {
        HttpResponse r;
        r.contentType = "text/event-stream";
        r.stream = m_hub.Subscribe();
        r.headers.emplace_back("X-Accel-Buffering", "no");
        return r;
    }
    if (path == "/api/records") {
        std::string json, error;
        if (!RecordsJson(m_records, request.query, json, error)) {
            return Text(400, "Bad query: " + error + ".");
        }
        return Json(200, json);
    }
    if (path == "/api/records.csv") {
        HttpResponse r;
        r.contentType = "text/csv; charset=utf-8";
        r.body = TodayCsv(m_records);
        r.headers.emplace_back("Content-Disposition",
                               "attachment; filename=\"records-" + m_board.Today() + ".csv\"");
        return r;
    }
    return Today();
}

HttpResponse CStationApi::Today() {
    records::CJsonLine line;
    line.Add("day", m_board.Today());
    for (const auto& [outcome, count] : TodayTally(m_records)) {
        line.Add(outcome, count);
    }
    line.Add("unanswered", m_board.Unanswered());
    line.AddRaw("paused", m_paused ? "true" : "false");
    return Json(200, line.Text());
}

HttpResponse CStationApi::Control(const HttpRequest& request) {
    if (!Bearer(request.authorization, m_token)) {
        HttpResponse r = Text(401,
                              "A control request needs Authorization: Bearer TOKEN "
                              "(corvane-cli station --show-token).");
        r.headers.emplace_back("WWW-Authenticate", "Bearer realm=\"corvane station\"");
        return r;
    }
    const std::string& path = request.path;
    using Kind = ControlRequest::Kind;
    if (path == "/api/stop") {
        m_control.Post({Kind::StopAll, -1});
        return Accepted("stop");
    }
    if (path == "/api/pause" || path == "/api/resume") {
        const bool pause = path == "/api/pause";
        m_control.Post({pause ? Kind::Pause : Kind::Resume, -1});
        return Accepted(pause ? "pause" : "resume");
    }
    const std::string name =
        path.substr(kSlotsPrefix.size(), path.size() - kSlotsPrefix.size() - kStopSuffix.size());
    const auto slot = m_board.SlotOf(name);
    if (!slot) {
        return Text(404, "No such slot.");
    }
    m_control.Post({Kind::StopSlot, *slot});
    return Accepted("stop slot");
}

}  // namespace station
