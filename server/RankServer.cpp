#include "server/RankServer.h"

#include <zlib.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <unordered_map>
#include <utility>

#include "server/HttpFront.h"
#include "server/RankPages.h"
#include "server/RankStore.h"
#include "server/RecordRules.h"

namespace {

constexpr const char* kSetPath = "/game/quibbix/GameSet.asp";
constexpr const char* kResultPath = "/game/quibbix/GameResult.asp";
constexpr const char* kReplayPath = "/game/quibbix/Replay.asp";
constexpr size_t kMaxTrackedAddresses = 4096;
constexpr size_t kMaxCachedPages = 512;
constexpr size_t kMaxCachedBytes = 32 << 20;

using Clock = std::chrono::steady_clock;

// ---- The store's asynchronous submission, done here until the store does it.
// The store will take these with Submit(sub, done), keep the per-address
// limit and the repeat detection in the database, and call done after the
// commit. Until then this block does the same in this process, synchronously.
struct SSubmission {
    SRecord rec;
    std::string strClient;
    std::string strFingerprint;  // client and request target: the same request again
    int nLimitPerMinute;
};
enum class ESubmit { Stored, Repeated, Limited, Failed };
struct SSubmitResult {
    ESubmit eResult;
    SRecord rec;
    bool bReplayTaken;
    int nRank;
    int nTotal;
};

class CSubmitAdapter {
public:
    explicit CSubmitAdapter(CRankStore& store, std::mutex& storeMutex,
                            std::atomic<uint64_t>& generation)
        : m_store(store), m_storeMutex(storeMutex), m_generation(generation) {}

    void Submit(SSubmission sub, const std::function<void(const SSubmitResult&)>& done) {
        SSubmitResult r{ESubmit::Failed, sub.rec, false, 0, 0};
        {
            std::lock_guard<std::mutex> lock(m_storeMutex);
            const auto now = Clock::now();
            while (!m_recent.empty() && now - m_recent.front().first > std::chrono::seconds(1)) {
                m_byFingerprint.erase(m_recent.front().second);
                m_recent.pop_front();
            }
            const auto seen = m_byFingerprint.find(sub.strFingerprint);
            if (seen != m_byFingerprint.end()) {
                r = seen->second;
                r.eResult = ESubmit::Repeated;
            } else if (!AllowSubmit(sub.strClient, sub.nLimitPerMinute, now)) {
                r.eResult = ESubmit::Limited;
            } else if (m_store.Add(sub.rec)) {
                ++m_generation;
                r = {ESubmit::Stored, sub.rec, false, m_store.RankOf(sub.rec),
                     m_store.Count(sub.rec.nLevel)};
                m_byFingerprint.emplace(sub.strFingerprint, r);
                m_recent.emplace_back(now, sub.strFingerprint);
            }
        }
        done(r);
    }

private:
    static void Expire(std::deque<Clock::time_point>& q, Clock::time_point now) {
        while (!q.empty() && now - q.front() > std::chrono::minutes(1))
            q.pop_front();
    }
    bool AllowSubmit(const std::string& client, int limit, Clock::time_point now) {
        if (m_submits.size() >= kMaxTrackedAddresses)  // many addresses sending once
            for (auto it = m_submits.begin(); it != m_submits.end();) {
                Expire(it->second, now);
                it = it->second.empty() ? m_submits.erase(it) : std::next(it);
            }
        auto& q = m_submits[client];
        Expire(q, now);
        if (static_cast<int>(q.size()) >= limit)
            return false;
        q.push_back(now);
        return true;
    }

    CRankStore& m_store;
    std::mutex& m_storeMutex;
    std::atomic<uint64_t>& m_generation;
    std::map<std::string, std::deque<Clock::time_point>> m_submits;
    std::unordered_map<std::string, SSubmitResult> m_byFingerprint;
    std::deque<std::pair<Clock::time_point, std::string>> m_recent;
};
// ---- End of the store's part.

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

SHttpResponse Page(int status, const std::string& text) {
    SHttpResponse r;
    r.nStatus = status;
    r.strBody = "<!DOCTYPE html><title>" + std::to_string(status) + "</title><p>" +
                HtmlEscape(text) + "</p>\n";
    return r;
}

std::string SubmitText(const SSubmitResult& r) {
    switch (r.eResult) {
        case ESubmit::Stored:
        case ESubmit::Repeated:
            // The game shows this text as it stands, so it echoes nothing typed.
            return "Registered.<P>Score " + std::to_string(r.rec.nScore) + "<P>Rank " +
                   std::to_string(r.nRank) + " of " + std::to_string(r.nTotal);
        case ESubmit::Limited:
            return "Not registered: too many records from your address. Try again in a minute.";
        case ESubmit::Failed:
            break;
    }
    return "Not registered: the ranking cannot store records now.";
}

}  // namespace

struct CRankServer::SImpl {
    SServerOptions opt;
    std::set<std::string> setTrusted;  // canonical addresses
    std::unique_ptr<CRankStore> pStore;
    std::mutex storeMutex;
    std::atomic<uint64_t> nGeneration{0};
    std::unique_ptr<CSubmitAdapter> pSubmit;
    CPageCache cache;
    std::unique_ptr<CHttpFront> pFront;  // last: stopped before anything it calls goes

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
        if (req.strMethod == "POST" && req.strPath == kReplayPath)
            return Page(501, "Replays are not taken by this server.");
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
            return ResultPage(req, query);
        }
        return Page(404, "No such page.");
    }

    static SHttpResponse Reply(const std::string& text) {
        SHttpResponse r;
        r.strBody = SubmissionReply(text);
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
        SSubmission sub{rec, client, client + " " + req.strTarget, opt.nSubmitsPerMinute};
        pSubmit->Submit(std::move(sub), [reply, client](const SSubmitResult& r) {
            SHttpResponse resp = Reply(SubmitText(r));
            resp.strLogClient = client;
            reply->Send(std::move(resp));
        });
        SHttpResponse later;
        later.nStatus = 0;
        return later;
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
                             const std::map<std::string, std::string>& query) {
        std::string key;
        for (const char* k : {"data", "page", "aria"}) {  // all that the pages read
            const auto it = query.find(k);
            if (it != query.end())
                key += std::string(k) + "=" + std::to_string(it->second.size()) + ":" + it->second +
                       "&";
        }
        std::shared_ptr<const CPageCache::SEntry> entry = cache.Find(key, nGeneration.load());
        if (!entry) {
            auto fresh = std::make_shared<CPageCache::SEntry>();
            bool ok;
            {
                std::lock_guard<std::mutex> lock(storeMutex);
                fresh->nGeneration = nGeneration.load();
                ok = ::ResultPage(*pStore, Lookup(query), fresh->strPlain);
            }
            if (!ok)
                return Page(404, "No such page.");
            if (!Gzip(fresh->strPlain, fresh->strGzip))
                fresh->strGzip.clear();
            cache.Put(key, fresh);
            entry = fresh;
        }
        SHttpResponse r;
        r.arrHeaders.emplace_back("Vary", "Accept-Encoding");
        if (!entry->strGzip.empty() && AcceptsGzip(req)) {
            r.arrHeaders.emplace_back("Content-Encoding", "gzip");
            r.strBody = entry->strGzip;
        } else {
            r.strBody = entry->strPlain;
        }
        return r;
    }
};

CRankServer::CRankServer() : m_p(std::make_unique<SImpl>()) {}

CRankServer::~CRankServer() {
    m_p->pFront.reset();
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
    impl.pSubmit =
        std::make_unique<CSubmitAdapter>(*impl.pStore, impl.storeMutex, impl.nGeneration);
    SFrontOptions f;
    f.arrAddresses = opt.arrAddresses;
    f.nPort = opt.nPort;
    f.nThreads = opt.nThreads;
    f.nMaxConnections = opt.nMaxConnections;
    f.nHeadDeadlineMs = opt.nHeadDeadlineMs;
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
