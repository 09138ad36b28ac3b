#include "server/RankServer.h"

#include <arpa/inet.h>
#include <microhttpd.h>

#include <chrono>
#include <cstdio>
#include <cstring>

#include "server/RankPages.h"

namespace {

constexpr size_t kMaxUri = 8192;

std::string PeerAddress(MHD_Connection* c) {
    const MHD_ConnectionInfo* info = MHD_get_connection_info(c, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
    char buf[INET6_ADDRSTRLEN] = "?";
    if (info && info->client_addr && info->client_addr->sa_family == AF_INET)
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(info->client_addr)->sin_addr, buf,
                  sizeof buf);
    return buf;
}

// The proxy's word is taken only from the loopback and only when it is an address.
std::string ClientAddress(MHD_Connection* c, bool bBehindProxy) {
    std::string peer = PeerAddress(c);
    if (!bBehindProxy || peer.compare(0, 4, "127.") != 0)
        return peer;
    const char* real = MHD_lookup_connection_value(c, MHD_HEADER_KIND, "X-Real-IP");
    unsigned char bin[sizeof(in6_addr)];
    if (real && (inet_pton(AF_INET, real, bin) == 1 || inet_pton(AF_INET6, real, bin) == 1))
        return real;
    return peer;
}

// One log line a request, whatever bytes the request carried.
std::string Printable(const char* text) {
    std::string out;
    for (const char* p = text; *p; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        if (c < 0x20 || c == 0x7F || c == '\\') {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

MHD_Result Send(MHD_Connection* c, unsigned status, const std::string& body, const char* type) {
    MHD_Response* r = MHD_create_response_from_buffer(body.size(), const_cast<char*>(body.data()),
                                                      MHD_RESPMEM_MUST_COPY);
    MHD_add_response_header(r, "Content-Type", type);
    MHD_add_response_header(r, "X-Content-Type-Options", "nosniff");
    const MHD_Result ret = MHD_queue_response(c, status, r);
    MHD_destroy_response(r);
    return ret;
}

}  // namespace

struct CRankServer::SImpl {
    std::unique_ptr<CRankStore> pStore;
    int nSubmitsPerMinute = 10;
    bool bBehindProxy = false;
    std::string Submit(MHD_Connection* c, const QueryLookup& query) {
        SRecord rec;
        std::string why;
        if (!ValidateRecord(query, rec, why))
            return "Not registered: " + why;
        SSubmission sub;
        sub.rec = rec;
        sub.strClient = ClientAddress(c, bBehindProxy);
        sub.nLimitPerMinute = nSubmitsPerMinute;
        const SSubmitResult r = pStore->SubmitAndWait(std::move(sub));
        if (r.eResult == ESubmit::Limited)
            return "Not registered: too many records from your address. Try again in a minute.";
        if (r.eResult == ESubmit::Failed)
            return "Not registered: the ranking cannot store records now.";
        // The game shows this text as it stands, so it echoes nothing typed.
        return "Registered.<P>Score " + std::to_string(r.rec.nScore) + "<P>Rank " +
               std::to_string(r.nRank) + " of " + std::to_string(r.nTotal);
    }

    unsigned Handle(MHD_Connection* c, const std::string& url, const std::string& method,
                    std::string& body, const char*& type) {
        type = "text/html; charset=utf-8";
        if (method != "GET" && method != "HEAD") {
            body = "<!DOCTYPE html><title>405</title><p>Only GET is served.</p>\n";
            return MHD_HTTP_METHOD_NOT_ALLOWED;
        }
        const QueryLookup query = [c](const char* key, std::string& value) {
            const char* v = MHD_lookup_connection_value(c, MHD_GET_ARGUMENT_KIND, key);
            if (!v)
                return false;
            value = v;
            return true;
        };
        if (url == "/game/quibbix/GameSet.asp") {
            body = SubmissionReply(Submit(c, query));
            return MHD_HTTP_OK;
        }
        if (url == "/game/quibbix/GameResult.asp")
            return static_cast<unsigned>(ResultPage(*pStore, query, body));
        body = "<!DOCTYPE html><title>404</title><p>No such page.</p>\n";
        return MHD_HTTP_NOT_FOUND;
    }
};

namespace {

size_t UriLength(MHD_Connection* c, const char* url) {
    size_t n = std::strlen(url);
    MHD_get_connection_values(
        c, MHD_GET_ARGUMENT_KIND,
        [](void* cls, MHD_ValueKind, const char* k, const char* v) -> MHD_Result {
            *static_cast<size_t*>(cls) += std::strlen(k) + (v ? std::strlen(v) : 0) + 2;
            return MHD_YES;
        },
        &n);
    return n;
}

MHD_Result OnRequest(void* cls, MHD_Connection* c, const char* url, const char* method, const char*,
                     const char*, size_t* uploadSize, void** state) {
    if (*state == nullptr) {  // headers only so far; answer once any body is in
        *state = c;
        return MHD_YES;
    }
    if (*uploadSize != 0) {
        *uploadSize = 0;  // a body is never wanted: drop it
        return MHD_YES;
    }
    auto* impl = static_cast<CRankServer::SImpl*>(cls);
    std::string body;
    const char* type = "text/html; charset=utf-8";
    unsigned status;
    if (UriLength(c, url) > kMaxUri) {
        status = MHD_HTTP_URI_TOO_LONG;
        body = "<!DOCTYPE html><title>414</title><p>The address is too long.</p>\n";
    } else {
        status = impl->Handle(c, url, method, body, type);
    }
    std::fprintf(stderr, "%s %s %s %u\n", ClientAddress(c, impl->bBehindProxy).c_str(),
                 Printable(method).c_str(), Printable(url).c_str(), status);
    return Send(c, status, body, type);
}

}  // namespace

CRankServer::CRankServer() : m_p(std::make_unique<SImpl>()) {}

CRankServer::~CRankServer() {
    if (m_pDaemon)
        MHD_stop_daemon(m_pDaemon);
}

std::unique_ptr<CRankServer> CRankServer::Start(const SServerOptions& opt, std::string& strError) {
    std::unique_ptr<CRankServer> s(new CRankServer);
    s->m_p->pStore = CRankStore::Open(opt.strDb, strError);
    if (!s->m_p->pStore)
        return nullptr;
    s->m_p->nSubmitsPerMinute = opt.nSubmitsPerMinute;
    s->m_p->bBehindProxy = opt.bBehindProxy;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(opt.nPort);
    if (inet_pton(AF_INET, opt.strAddress.c_str(), &addr.sin_addr) != 1) {
        strError = "not an IPv4 address: " + opt.strAddress;
        return nullptr;
    }
    // The read buffer bounds the request head; past it the library answers
    // 414 or 431 on its own.
    s->m_pDaemon = MHD_start_daemon(
        MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_EPOLL, opt.nPort, nullptr, nullptr, &OnRequest,
        s->m_p.get(), MHD_OPTION_SOCK_ADDR, &addr, MHD_OPTION_CONNECTION_LIMIT, 512u,
        MHD_OPTION_PER_IP_CONNECTION_LIMIT, opt.bBehindProxy ? 0u : 16u,
        MHD_OPTION_CONNECTION_TIMEOUT, 10u, MHD_OPTION_CONNECTION_MEMORY_LIMIT,
        static_cast<size_t>(32 * 1024), MHD_OPTION_END);
    if (!s->m_pDaemon) {
        strError = "cannot listen on " + opt.strAddress + ":" + std::to_string(opt.nPort);
        return nullptr;
    }
    const MHD_DaemonInfo* info = MHD_get_daemon_info(s->m_pDaemon, MHD_DAEMON_INFO_BIND_PORT);
    s->m_nPort = info ? info->port : opt.nPort;
    return s;
}
