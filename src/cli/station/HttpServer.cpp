#include "cli/station/HttpServer.h"

#include <microhttpd.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <set>

#include "platform/DebugOutput.h"

namespace station {
namespace {

// What the server keeps of one request between the handler's calls.
struct RequestState {
    std::uint64_t bodySeen = 0;
    bool tooLarge = false;
};

struct StreamState;

// The streams whose connections are open, so that Stop can end them.
struct LiveStreams {
    std::mutex lock;
    std::set<StreamState*> streams;
};

// What the server keeps of one event stream: the part of a message the
// client's socket has not taken yet.
struct StreamState {
    std::shared_ptr<IEventStream> stream;
    MHD_Connection* connection = nullptr;
    LiveStreams* live = nullptr;
    std::string pending;
    std::size_t offset = 0;
};

void LogToDebug(void*, const char* format, va_list args) {
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    platform::OutputDebugString(std::string("station http: ") + text);
}

MHD_Result AddQuery(void* cls, MHD_ValueKind, const char* key, const char* value) {
    auto& query = *static_cast<std::map<std::string, std::string>*>(cls);
    query.emplace(key, value != nullptr ? value : "");
    return MHD_YES;
}

void AddCommonHeaders(MHD_Response* response, const HttpResponse& r) {
    MHD_add_response_header(response, "Content-Security-Policy", "default-src 'self'");
    MHD_add_response_header(response, "X-Content-Type-Options", "nosniff");
    MHD_add_response_header(response, "X-Frame-Options", "DENY");
    MHD_add_response_header(response, "Referrer-Policy", "no-referrer");
    MHD_add_response_header(response, "Cache-Control", r.cacheControl.c_str());
    MHD_add_response_header(response, "Content-Type", r.contentType.c_str());
    for (const auto& [name, value] : r.headers) {
        MHD_add_response_header(response, name.c_str(), value.c_str());
    }
}

ssize_t ReadStream(void* cls, std::uint64_t, char* buffer, std::size_t max) {
    auto& s = *static_cast<StreamState*>(cls);
    if (s.offset >= s.pending.size()) {
        s.pending.clear();
        s.offset = 0;
        const auto pull = s.stream->Next(
            s.pending, [connection = s.connection] { MHD_suspend_connection(connection); });
        if (pull == IEventStream::Pull::End) {
            return MHD_CONTENT_READER_END_OF_STREAM;
        }
        if (pull == IEventStream::Pull::Wait || s.pending.empty()) {
            return 0;  // suspended: woken by the stream
        }
    }
    const std::size_t n = std::min(max, s.pending.size() - s.offset);
    std::memcpy(buffer, s.pending.data() + s.offset, n);
    s.offset += n;
    return static_cast<ssize_t>(n);
}

// The stream is let go under the list's lock, so Stop never ends one that
// is being freed.
void FreeStream(void* cls) {
    auto* state = static_cast<StreamState*>(cls);
    std::lock_guard<std::mutex> guard(state->live->lock);
    state->live->streams.erase(state);
    delete state;
}

MHD_Result Queue(MHD_Connection* connection, const HttpResponse& r, LiveStreams& live) {
    MHD_Response* response = nullptr;
    if (r.stream) {
        auto* state = new StreamState{r.stream, connection, &live, {}, 0};
        r.stream->Attach([connection] { MHD_resume_connection(connection); });
        {
            std::lock_guard<std::mutex> guard(live.lock);
            live.streams.insert(state);
        }
        response = MHD_create_response_from_callback(MHD_SIZE_UNKNOWN, 16 * 1024, ReadStream, state,
                                                     FreeStream);
        if (response == nullptr) {
            FreeStream(state);
        }
    } else {
        response = MHD_create_response_from_buffer(r.body.size(), const_cast<char*>(r.body.data()),
                                                   MHD_RESPMEM_MUST_COPY);
    }
    if (response == nullptr) {
        return MHD_NO;
    }
    AddCommonHeaders(response, r);
    const MHD_Result queued =
        MHD_queue_response(connection, static_cast<unsigned>(r.status), response);
    MHD_destroy_response(response);
    return queued;
}

HttpResponse TooLarge() {
    HttpResponse r;
    r.status = MHD_HTTP_CONTENT_TOO_LARGE;
    r.body = "Request too large.\n";
    return r;
}

}  // namespace

struct CHttpServer::Impl {
    Impl(IHttpHandler& h, ServerLimits l) : handler(h), limits(l) {}
    IHttpHandler& handler;
    ServerLimits limits;
    MHD_Daemon* daemon = nullptr;
    int port = 0;
    LiveStreams live;

    static MHD_Result Access(void* cls, MHD_Connection* connection, const char* url,
                             const char* method, const char*, const char*, std::size_t* uploadSize,
                             void** context);
    static void Completed(void*, MHD_Connection*, void** context, MHD_RequestTerminationCode);
};

// Called after the headers (context still empty), once per piece of body,
// and once the request is complete. A body is counted, never kept: no
// request of the station's needs one.
MHD_Result CHttpServer::Impl::Access(void* cls, MHD_Connection* connection, const char* url,
                                     const char* method, const char*, const char*,
                                     std::size_t* uploadSize, void** context) {
    auto& self = *static_cast<Impl*>(cls);
    if (*context == nullptr) {
        const char* length =
            MHD_lookup_connection_value(connection, MHD_HEADER_KIND, "Content-Length");
        if (length != nullptr && std::strtoull(length, nullptr, 10) > self.limits.bodyBytes) {
            return Queue(connection, TooLarge(), self.live);  // before a byte of it is read
        }
        *context = new RequestState;
        return MHD_YES;
    }
    auto& state = *static_cast<RequestState*>(*context);
    if (*uploadSize > 0) {
        state.bodySeen += *uploadSize;
        state.tooLarge = state.tooLarge || state.bodySeen > self.limits.bodyBytes;
        *uploadSize = 0;
        return MHD_YES;
    }
    if (state.tooLarge) {
        return Queue(connection, TooLarge(), self.live);
    }
    HttpRequest request;
    request.method = method;
    request.path = url;
    MHD_get_connection_values(connection, MHD_GET_ARGUMENT_KIND, AddQuery, &request.query);
    const char* authorization =
        MHD_lookup_connection_value(connection, MHD_HEADER_KIND, "Authorization");
    request.authorization = authorization != nullptr ? authorization : "";
    return Queue(connection, self.handler.Handle(request), self.live);
}

void CHttpServer::Impl::Completed(void*, MHD_Connection*, void** context,
                                  MHD_RequestTerminationCode) {
    delete static_cast<RequestState*>(*context);
    *context = nullptr;
}

CHttpServer::CHttpServer(IHttpHandler& handler, ServerLimits limits)
    : m_impl(std::make_unique<Impl>(handler, limits)) {}

CHttpServer::~CHttpServer() {
    Stop();
}

bool CHttpServer::Start(const ListenAddress& address, std::string& error) {
    unsigned flags = MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_EPOLL | MHD_ALLOW_SUSPEND_RESUME |
                     MHD_USE_ERROR_LOG;
    if (address.ipv6) {
        flags |= MHD_USE_IPv6;
    }
    Impl& i = *m_impl;
    // The logger first: what the library says about a later option goes to
    // the debug log too, not to standard error.
    i.daemon = MHD_start_daemon(
        flags, static_cast<std::uint16_t>(address.port), nullptr, nullptr, &Impl::Access, &i,
        MHD_OPTION_EXTERNAL_LOGGER, &LogToDebug, nullptr, MHD_OPTION_SOCK_ADDR, &address.socket,
        MHD_OPTION_CONNECTION_LIMIT, i.limits.connections, MHD_OPTION_PER_IP_CONNECTION_LIMIT,
        i.limits.perAddress, MHD_OPTION_CONNECTION_TIMEOUT, i.limits.idleSeconds,
        MHD_OPTION_CONNECTION_MEMORY_LIMIT, i.limits.requestBytes, MHD_OPTION_NOTIFY_COMPLETED,
        &Impl::Completed, nullptr, MHD_OPTION_END);
    if (i.daemon == nullptr) {
        error = std::string("cannot listen on ") + address.host + ":" +
                std::to_string(address.port) + " (" + std::strerror(errno) + ")";
        return false;
    }
    const MHD_DaemonInfo* info = MHD_get_daemon_info(i.daemon, MHD_DAEMON_INFO_BIND_PORT);
    i.port = info != nullptr ? info->port : address.port;
    return true;
}

int CHttpServer::Port() const {
    return m_impl->port;
}

// The library must not be stopped with a connection asleep: each stream is
// ended, which wakes its connection, before the thread is.
void CHttpServer::Stop() {
    if (m_impl->daemon == nullptr) {
        return;
    }
    {
        std::lock_guard<std::mutex> guard(m_impl->live.lock);
        for (StreamState* state : m_impl->live.streams) {
            state->stream->End();
        }
    }
    MHD_stop_daemon(m_impl->daemon);
    m_impl->daemon = nullptr;
}

}  // namespace station
