#include "server/RankServer.h"

#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <utility>

#include "server/HttpFront.h"
#include "server/RankPages.h"
#include "server/RankStore.h"
#include "server/RecordRules.h"
#include "server/ReplayCheck.h"
#include "server/VerifiedRanking.h"

namespace {

constexpr const char* kSetPath = "/game/quibbix/GameSet.asp";
constexpr const char* kResultPath = "/game/quibbix/GameResult.asp";
constexpr const char* kReplayPath = "/game/quibbix/Replay.asp";
constexpr size_t kMaxCachedPages = 512;
// Replays waiting for a worker; past it a record is stored unverified at once.
constexpr size_t kMaxQueuedChecks = 64;
constexpr size_t kMaxCachedBytes = 32 << 20;
// Threads that do the database's work for the loops, and the work that may wait.
constexpr int kDbThreads = 8;
constexpr size_t kMaxQueuedDbWork = 4096;

using Clock = std::chrono::steady_clock;

bool Gzip(const std::string& in, std::string& out) {
    z_stream z{};
    if (deflateInit2(&z, 6, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return false;
    out.resize(deflateBound(&z, in.size()));
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    z.avail_in = static_cast<uInt>(in.size());
    z.next_out = reinterpret_cast<Bytef*>(&out[0]);
    z.avail_out = static_cast<uInt>(out.size());
    const int r = deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return r == Z_STREAM_END;
}

bool AcceptsGzip(const SHttpRequest& req) {
    const std::string* h = req.Header("accept-encoding");
    if (!h)
        return false;
    size_t start = 0;
    while (start < h->size()) {
        size_t end = h->find(',', start);
        if (end == std::string::npos)
            end = h->size();
        std::string item;
        for (size_t i = start; i < end; ++i)
            if ((*h)[i] != ' ' && (*h)[i] != '\t')
                item += static_cast<char>(std::tolower(static_cast<unsigned char>((*h)[i])));
        if (item == "gzip" ||
            (item.compare(0, 7, "gzip;q=") == 0 && item.find_first_of("123456789", 7) != item.npos))
            return true;
        start = end + 1;
    }
    return false;
}

// Rendered result pages, good until the store's next write.
class CPageCache {
public:
    struct SEntry {
        uint64_t nGeneration;
        std::string strPlain, strGzip;
    };
    std::shared_ptr<const SEntry> Find(const std::string& key, uint64_t generation) {
        std::lock_guard<std::mutex> lock(m_mutex);
        const auto it = m_entries.find(key);
        if (it == m_entries.end() || it->second->nGeneration != generation)
            return nullptr;
        return it->second;
    }
    void Put(const std::string& key, std::shared_ptr<const SEntry> entry) {
        std::lock_guard<std::mutex> lock(m_mutex);
        const size_t size = entry->strPlain.size() + entry->strGzip.size();
        // Full: start again rather than keep an order; a write empties it soon anyway.
        if (m_entries.size() >= kMaxCachedPages || m_nBytes + size > kMaxCachedBytes) {
            m_entries.clear();
            m_nBytes = 0;
        }
        const auto old = m_entries.find(key);
        if (old != m_entries.end())
            m_nBytes -= old->second->strPlain.size() + old->second->strGzip.size();
        m_entries[key] = std::move(entry);
        m_nBytes += size;
    }

private:
    std::mutex m_mutex;
    std::unordered_map<std::string, std::shared_ptr<const SEntry>> m_entries;
    size_t m_nBytes = 0;
};

// Everything that may wait on the database runs here, never on an event
// loop: one slow statement (a write lock held elsewhere, a database server
// that went away) would stop every connection of its loop.
class CDbWork {
public:
    explicit CDbWork(int nThreads) {
        for (int i = 0; i < nThreads; ++i)
            m_arrThreads.emplace_back([this] { Run(); });
    }
    ~CDbWork() {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_bStop = true;
        }
        m_cv.notify_all();
        for (std::thread& t : m_arrThreads)
            t.join();
    }
    CDbWork(const CDbWork&) = delete;
    CDbWork& operator=(const CDbWork&) = delete;
    // False when too much is waiting already.
    bool Post(std::function<void()> fn) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_bStop || m_queue.size() >= kMaxQueuedDbWork)
                return false;
            m_queue.push_back(std::move(fn));
        }
        m_cv.notify_one();
        return true;
    }

private:
    void Run() {
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            m_cv.wait(lock, [this] { return m_bStop || !m_queue.empty(); });
            if (m_queue.empty())
                return;  // stopping, and everything done
            std::function<void()> fn = std::move(m_queue.front());
            m_queue.pop_front();
            lock.unlock();
            fn();
            fn = nullptr;  // what it holds goes here, not under the lock
            lock.lock();
        }
    }
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::deque<std::function<void()>> m_queue;
    bool m_bStop = false;
    std::vector<std::thread> m_arrThreads;
};

SHttpResponse Page(int status, const std::string& text) {
    SHttpResponse r;
    r.nStatus = status;
    r.strBody = "<!DOCTYPE html><title>" + std::to_string(status) + "</title><p>" +
                HtmlEscape(text) + "</p>\n";
    return r;
}

}  // namespace

struct CRankServer::SImpl {
    SServerOptions opt;
    std::set<std::string> setTrusted;  // canonical addresses
    std::unique_ptr<CRankStore> pStore;
    std::unique_ptr<CVerifiedRanking> pVerified;
    std::unique_ptr<CReplayChecker> pChecker;  // its queued checks end in pVerified
    CPageCache cache;
    // Requests for a page that is being rendered wait for that rendering
    // rather than each read the database again: a write empties the cache
    // for every reader at once.
    struct SWaiter {
        std::shared_ptr<CHttpReply> reply;
        std::string strClient;
        bool bGzip;
    };
    struct SRender {
        uint64_t nGeneration = 0;
        std::vector<SWaiter> arrWaiters;
    };
    std::mutex renderMutex;
    std::unordered_map<std::string, std::shared_ptr<SRender>> renders;
    std::unique_ptr<CDbWork> pDb;        // ends its work before the store goes
    std::unique_ptr<CHttpFront> pFront;  // last: stopped before anything it calls goes

    Clock::time_point Deadline() const {
        return opt.nAnswerDeadlineMs > 0
                   ? Clock::now() + std::chrono::milliseconds(opt.nAnswerDeadlineMs)
                   : Clock::time_point::max();
    }
    // Runs fn on a database thread; its answer goes to the reply from there.
    // Work that would start past its request's deadline is not begun.
    SHttpResponse Later(const std::shared_ptr<CHttpReply>& reply, const std::string& client,
                        std::function<SHttpResponse()> fn) {
        const bool bPosted = pDb->Post([reply, client, deadline = Deadline(), fn = std::move(fn)] {
            SHttpResponse resp = Clock::now() < deadline ? fn() : Busy();
            resp.strLogClient = client;
            reply->Send(std::move(resp));
        });
        return bPosted ? Deferred() : Busy();
    }
    // Answered later, by whoever does the work.
    static SHttpResponse Deferred() {
        SHttpResponse later;
        later.nStatus = 0;
        return later;
    }
    static SHttpResponse Busy() {
        SHttpResponse r = Page(503, "The ranking cannot be read now. Try again in a moment.");
        r.arrHeaders.emplace_back("Retry-After", "5");
        return r;
    }

    // The proxy's word is taken only from a configured proxy, and only when it is an address.
    std::string ClientAddress(const SHttpRequest& req) const {
        if (!setTrusted.count(req.strPeer))
            return req.strPeer;
        const std::string* real = req.Header("x-real-ip");
        const std::string claimed = real ? CanonicalAddress(*real) : "";
        return claimed.empty() || real->find('[') != std::string::npos ? req.strPeer : claimed;
    }

    void Handle(SHttpRequest&& req, const std::shared_ptr<CHttpReply>& reply) {
        const std::string client = ClientAddress(req);
        SHttpResponse resp = Answer(req, client, reply);
        if (resp.nStatus == 0)
            return;  // answered by the submission's callback
        resp.strLogClient = client;
        reply->Send(std::move(resp));
    }

    SHttpResponse Answer(const SHttpRequest& req, const std::string& client,
                         const std::shared_ptr<CHttpReply>& reply) {
        if (req.strPath == kReplayPath)
            return ReplayRoute(req, client, reply);
        if (req.strMethod != "GET" && req.strMethod != "HEAD") {
            SHttpResponse r = Page(405, "Only GET is served.");
            r.arrHeaders.emplace_back("Allow", "GET, HEAD");
            return r;
        }
        std::map<std::string, std::string> query;
        const EQuery e = ParseQuery(req.strQuery, query);
        if (e == EQuery::TooManyKeys)
            return Page(414, "The address holds too many keys.");
        if (req.strPath == kSetPath) {
            if (e == EQuery::BadEscape)
                return Reply("Not registered: the request holds a broken %-escape.");
            if (e == EQuery::RepeatedKey)
                return Reply("Not registered: the request names a key twice.");
            return Submit(req, query, client, reply);
        }
        if (req.strPath == kResultPath) {
            if (e != EQuery::Ok)
                return Page(400, "The address is not understood.");
            return ResultPage(req, query, client, reply);
        }
        return Page(404, "No such page.");
    }

    // POST: the game's upload of its replay. GET ?id=N: the replay of a verified record.
    SHttpResponse ReplayRoute(const SHttpRequest& req, const std::string& client,
                              const std::shared_ptr<CHttpReply>& reply) {
        if (req.strMethod == "POST") {
            auto body = std::make_shared<std::string>(req.strBody);
            return Later(reply, client, [this, body, client] {
                SHttpResponse r;
                std::string text;
                r.nStatus = pVerified->Upload(*body, client, opt.nSubmitsPerMinute, text);
                r.strContentType = "text/plain; charset=utf-8";
                r.strBody = text + "\n";
                return r;
            });
        }
        if (req.strMethod != "GET" && req.strMethod != "HEAD") {
            SHttpResponse r = Page(405, "Only GET and POST are served here.");
            r.arrHeaders.emplace_back("Allow", "GET, HEAD, POST");
            return r;
        }
        std::map<std::string, std::string> query;
        if (ParseQuery(req.strQuery, query) != EQuery::Ok || query.size() != 1 ||
            !query.count("id"))
            return Page(400, "Name a replay with id=.");
        const std::string id = query["id"];
        if (id.empty() || id.size() > 18 || id.find_first_not_of("0123456789") != std::string::npos)
            return Page(404, "No replay is offered for this record.");
        return Later(reply, client, [this, id] { return ReplayDownload(id); });
    }

    // A read that failed is tried once more on a fresh connection.
    SHttpResponse ReplayDownload(const std::string& id) {
        std::string body;
        bool bFound = false;
        for (int attempt = 0; attempt < 2; ++attempt) {
            const int failures = CRankStore::ReadFailuresOnThisThread();
            bFound = pStore->ReplayOfRecord(std::stoll(id), body);
            if (CRankStore::ReadFailuresOnThisThread() == failures)
                break;
            if (attempt == 1)
                return Busy();
        }
        if (!bFound)
            return Page(404, "No replay is offered for this record.");
        SHttpResponse r;
        r.strContentType = "application/octet-stream";
        r.arrHeaders.emplace_back("Content-Disposition",
                                  "attachment; filename=\"doruzoro-" + id + ".dzr\"");
        r.strBody = std::move(body);
        return r;
    }

    static SHttpResponse Reply(const std::string& text) {
        SHttpResponse r;
        r.strBody = SubmissionReply(text);
        // An answer to one record: no cache may keep it for another request.
        r.arrHeaders.emplace_back("Cache-Control", "no-store");
        return r;
    }

    SHttpResponse Submit(const SHttpRequest& req, const std::map<std::string, std::string>& query,
                         const std::string& client, const std::shared_ptr<CHttpReply>& reply) {
        SRecord rec;
        std::string why;
        if (!ValidateRecord(Lookup(query), rec, why))
            return Reply("Not registered: " + why);
        if (req.IsHead())  // the headers of the answer, never a record
            return Reply("");
        SSubmission sub;
        sub.rec = rec;
        sub.strClient = client;
        sub.strFingerprint = client + " " + req.strTarget;
        sub.nLimitPerMinute = opt.nSubmitsPerMinute;
        const auto key = query.find("replay");
        const std::string strKey = key == query.end() ? "" : key->second;
        auto done = [reply, client](const std::string& text) {
            SHttpResponse resp = Reply(text);
            resp.strLogClient = client;
            reply->Send(std::move(resp));
        };
        // Without a replay nothing is read first: the record goes straight to
        // the writer's queue. A replay is read from the database first.
        if (strKey.empty()) {
            pVerified->Submit(std::move(sub), strKey, std::move(done));
            return Deferred();
        }
        auto pending = std::make_shared<SSubmission>(std::move(sub));
        if (!pDb->Post([this, pending, strKey, done, reply, deadline = Deadline()] {
                if (Clock::now() < deadline)
                    pVerified->Submit(std::move(*pending), strKey, done);
                else
                    reply->Send(Busy());
            }))
            return Reply("Not registered: the ranking cannot store records now.");
        return Deferred();
    }

    static QueryLookup Lookup(const std::map<std::string, std::string>& query) {
        return [&query](const char* key, std::string& value) {
            const auto it = query.find(key);
            if (it == query.end())
                return false;
            value = it->second;
            return true;
        };
    }

    SHttpResponse ResultPage(const SHttpRequest& req,
                             const std::map<std::string, std::string>& query,
                             const std::string& client, const std::shared_ptr<CHttpReply>& reply) {
        const std::string key = PageCacheKey(Lookup(query));
        const uint64_t generation = pStore->Generation();
        std::shared_ptr<const CPageCache::SEntry> entry = cache.Find(key, generation);
        if (entry)
            return Cached(AcceptsGzip(req), *entry);
        SWaiter waiter{reply, client, AcceptsGzip(req)};
        std::shared_ptr<SRender> render;
        {
            std::lock_guard<std::mutex> lock(renderMutex);
            std::shared_ptr<SRender>& pending = renders[key];
            if (pending && pending->nGeneration >= generation) {
                pending->arrWaiters.push_back(std::move(waiter));
                return Deferred();
            }
            pending = std::make_shared<SRender>();  // an older one keeps its own waiters
            pending->nGeneration = generation;
            pending->arrWaiters.push_back(std::move(waiter));
            render = pending;
        }
        if (!pDb->Post([this, key, query, render, deadline = Deadline()] {
                SHttpResponse error = Busy();
                auto fresh = Clock::now() < deadline ? RenderPage(query, render->nGeneration, error)
                                                     : nullptr;
                if (fresh)
                    cache.Put(key, fresh);
                FinishRender(key, render, fresh, error);
            }))
            FinishRender(key, render, nullptr, Busy());
        return Deferred();
    }

    // Every request that waited for the page gets it (or the error).
    void FinishRender(const std::string& key, const std::shared_ptr<SRender>& render,
                      const std::shared_ptr<const CPageCache::SEntry>& entry,
                      const SHttpResponse& error) {
        std::vector<SWaiter> waiters;
        {
            std::lock_guard<std::mutex> lock(renderMutex);
            waiters.swap(render->arrWaiters);
            const auto it = renders.find(key);
            if (it != renders.end() && it->second == render)
                renders.erase(it);
        }
        for (SWaiter& w : waiters) {
            SHttpResponse resp = entry ? Cached(w.bGzip, *entry) : error;
            resp.strLogClient = w.strClient;
            w.reply->Send(std::move(resp));
        }
    }

    // On a database thread. A page whose reads failed is never cached: it is
    // tried once more on a fresh connection, then answered 503. nullptr with
    // the answer in error when there is no page to keep.
    std::shared_ptr<const CPageCache::SEntry> RenderPage(
        const std::map<std::string, std::string>& query, uint64_t generation,
        SHttpResponse& error) {
        auto fresh = std::make_shared<CPageCache::SEntry>();
        fresh->nGeneration = generation;
        int status = 0;
        for (int attempt = 0; attempt < 2; ++attempt) {
            const int failures = CRankStore::ReadFailuresOnThisThread();
            fresh->strPlain.clear();
            status = ::ResultPage(*pStore, Lookup(query), fresh->strPlain);
            if (CRankStore::ReadFailuresOnThisThread() == failures)
                break;
            if (attempt == 1)
                return nullptr;  // error stays Busy()
        }
        if (status != 200) {
            error.nStatus = status;
            error.arrHeaders.clear();
            error.strBody = std::move(fresh->strPlain);
            return nullptr;
        }
        if (!Gzip(fresh->strPlain, fresh->strGzip))
            fresh->strGzip.clear();
        return fresh;
    }

    static SHttpResponse Cached(bool bGzip, const CPageCache::SEntry& entry) {
        SHttpResponse r;
        r.arrHeaders.emplace_back("Vary", "Accept-Encoding");
        if (!entry.strGzip.empty() && bGzip) {
            r.arrHeaders.emplace_back("Content-Encoding", "gzip");
            r.strBody = entry.strGzip;
        } else {
            r.strBody = entry.strPlain;
        }
        return r;
    }
};

CRankServer::CRankServer() : m_p(std::make_unique<SImpl>()) {}

CRankServer::~CRankServer() {
    m_p->pFront.reset();
    // Checks reserved from here on are answered as when shutting down.
    if (m_p->pVerified)
        m_p->pVerified->StopChecks();
    m_p->pDb.reset();
}

uint16_t CRankServer::Port() const {
    return m_p->pFront->Port();
}

const std::vector<std::string>& CRankServer::Endpoints() const {
    return m_p->pFront->Endpoints();
}

std::unique_ptr<CRankServer> CRankServer::Start(const SServerOptions& opt, std::string& strError) {
    std::unique_ptr<CRankServer> s(new CRankServer);
    SImpl& impl = *s->m_p;
    impl.opt = opt;
    // Every address is looked at before anything is created on disk.
    if (opt.arrAddresses.empty()) {
        strError = "no address to listen on";
        return nullptr;
    }
    for (const std::string& a : opt.arrAddresses)
        if (CanonicalAddress(a).empty()) {
            strError = "not an IPv4 or IPv6 address: " + a;
            return nullptr;
        }
    for (const std::string& a : opt.setTrustedProxies) {
        const std::string c = CanonicalAddress(a);
        if (c.empty()) {
            strError = "not a proxy address: " + a;
            return nullptr;
        }
        impl.setTrusted.insert(c);
    }
    impl.pStore = CRankStore::Open(opt.strDb, strError);
    if (!impl.pStore)
        return nullptr;
    if (!opt.strData.empty()) {
        const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
        impl.pChecker = CReplayChecker::Create(opt.strData, static_cast<int>(std::min(cores, 16u)),
                                               kMaxQueuedChecks, strError);
        if (!impl.pChecker)
            return nullptr;
    }
    impl.pVerified = std::make_unique<CVerifiedRanking>(*impl.pStore, impl.pChecker.get());
    impl.pDb = std::make_unique<CDbWork>(kDbThreads);
    SFrontOptions f;
    f.arrAddresses = opt.arrAddresses;
    f.nPort = opt.nPort;
    f.nThreads = opt.nThreads;
    f.nMaxConnections = opt.nMaxConnections;
    f.nHeadDeadlineMs = opt.nHeadDeadlineMs;
    f.nAnswerDeadlineMs = opt.nAnswerDeadlineMs;
    const size_t upload = opt.nMaxUploadBytes;
    f.fnBodyLimit = [upload](const SHttpRequest& req) {
        return req.strMethod == "POST" && req.strPath == kReplayPath ? upload : 0;
    };
    SImpl* p = s->m_p.get();
    impl.pFront = CHttpFront::Start(
        f,
        [p](SHttpRequest&& req, std::shared_ptr<CHttpReply> reply) {
            p->Handle(std::move(req), reply);
        },
        strError);
    if (!impl.pFront)
        return nullptr;
    return s;
}
