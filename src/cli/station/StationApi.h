// Station API: what the station's HTTP server answers.
//
// Principles of operation
//   Reading needs no token: the page (/, /station.js, /station.css), the
//   slots (/api/slots), their events (/api/events, Server-Sent Events),
//   the records (/api/records, /api/records.csv) and the day's tally
//   (/api/today). Control does: POST /api/slots/<slot>/stop, /api/stop,
//   /api/pause and /api/resume each need "Authorization: Bearer TOKEN";
//   without it, or with another token, the answer is 401 and nothing is
//   done. No cookie is ever read or set, so another site's page cannot
//   borrow a browser's standing to send a control request.
//
//   A control request is posted to the bench's owner thread and answered
//   202 (accepted); a slot that does not exist is 404. Any other path is
//   404, a known path with another method 405 (with Allow), and answers
//   are short texts or JSON, never an echo of the request.
//
// Threads: Handle runs on the server thread.
#pragma once

#include <atomic>
#include <string>

#include "cli/station/EventHub.h"
#include "cli/station/HttpServer.h"
#include "cli/station/StationBoard.h"
#include "cli/station/StationControl.h"
#include "cli/station/StationRecords.h"

namespace station {

class CStationApi : public IHttpHandler {
public:
    CStationApi(CStationBoard& board, CEventHub& hub, CStationControl& control, std::string token,
                RecordSource records);

    HttpResponse Handle(const HttpRequest& request) override;

    // Set by the owner as the station pauses and resumes.
    void SetPaused(bool paused) { m_paused = paused; }

private:
    HttpResponse Read(const HttpRequest& request);
    HttpResponse Control(const HttpRequest& request);
    HttpResponse Today();

    CStationBoard& m_board;
    CEventHub& m_hub;
    CStationControl& m_control;
    std::string m_token;
    RecordSource m_records;
    std::atomic<bool> m_paused{false};
};

}  // namespace station
