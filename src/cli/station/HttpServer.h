// HTTP server: the station's page and API on a listening address, served by
// libmicrohttpd.
//
// Principles of operation
//   This is the one place that touches the library. It runs one internal
//   polling thread (epoll) that serves every connection; a handler answers
//   each request with a whole response, or with an event stream that grows
//   as the bench works (Server-Sent Events).
//
//   Requests are outside input and bounded before the handler sees them:
//     - at most `connections` at once, and `perAddress` from one address;
//       past either, a new connection is closed at once;
//     - a connection idle for `idleSeconds` is closed (a reader that stops
//       taking an event stream included);
//     - the request line and headers must fit in `requestBytes`, else the
//       library answers with an error of its own and closes;
//     - a body larger than `bodyBytes` is refused with 413 before it is
//       read.
//   Every response carries a Content-Security-Policy of 'self', nosniff,
//   X-Frame-Options DENY and its Cache-Control (no-store unless the
//   handler says otherwise).
//
//   An event stream is pulled by the server thread whenever the client's
//   socket can take more. When the stream has nothing, it calls the
//   `suspend` function it is handed, under its own lock, and says Wait: the
//   connection then leaves the poll set until the stream calls the wake
//   function it was attached with, under that same lock. So a connection is
//   never woken before it was put to sleep, and the thread that publishes
//   an event never waits for a client.
//
// Threads: Start and Stop on the owner thread; the handler and the streams'
// Next run on the server thread; a stream's wake may be called from any
// thread while its connection lasts. Stop ends every stream first, so that
// no connection is left asleep, then the server thread.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "cli/station/ListenAddress.h"

namespace station {

struct HttpRequest {
    std::string method;  // "GET", "POST", ...
    std::string path;    // the URL's path, as the library decoded it
    std::map<std::string, std::string> query;
    std::string authorization;  // the Authorization header, "" when none
};

class IEventStream {
public:
    enum class Pull { Data, Wait, End };
    virtual ~IEventStream() = default;
    // Called once before the first Next: the function that puts the
    // connection back into the poll set. Call it under the stream's lock.
    virtual void Attach(std::function<void()> wake) = 0;
    // Appends what is ready to out (Data); or calls suspend under the
    // stream's lock and says Wait; or says End.
    virtual Pull Next(std::string& out, const std::function<void()>& suspend) = 0;
    // From now on Next says End; a waiting connection is woken to hear it.
    virtual void End() = 0;
};

struct HttpResponse {
    int status = 200;
    std::string contentType = "text/plain; charset=utf-8";
    std::string body;
    std::string cacheControl = "no-store";
    std::vector<std::pair<std::string, std::string>> headers;  // more of them
    std::shared_ptr<IEventStream> stream;                      // set: the body grows
};

class IHttpHandler {
public:
    virtual ~IHttpHandler() = default;
    virtual HttpResponse Handle(const HttpRequest& request) = 0;
};

struct ServerLimits {
    unsigned connections = 64;
    unsigned perAddress = 16;
    unsigned idleSeconds = 30;
    std::size_t requestBytes = 16 * 1024;
    std::uint64_t bodyBytes = 1024;
};

class CHttpServer {
public:
    CHttpServer(IHttpHandler& handler, ServerLimits limits = {});
    ~CHttpServer();
    CHttpServer(const CHttpServer&) = delete;
    CHttpServer& operator=(const CHttpServer&) = delete;

    // Listens on address and starts the server thread; false with the
    // reason in error.
    bool Start(const ListenAddress& address, std::string& error);
    // The port listened on (the one chosen when the address asked for 0).
    int Port() const;
    // Ends every stream, then the server thread. Idempotent.
    void Stop();

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace station
