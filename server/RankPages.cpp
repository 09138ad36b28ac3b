#include "server/RankPages.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "ranking/AreaList.h"

namespace {

constexpr int kPageRows = 50;

constexpr int kMaxPage = CRankStore::kMaxOffset / kPageRows;

bool ParseId(const std::string& s, int64_t& out) {
    if (s.empty() || s.size() > 18 ||
        !std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    out = std::stoll(s);
    return out > 0;
}

// Where a page starts: a place after a row ("after"), or a small page number.
struct SPageStart {
    int nPage = 0;
    bool bAfter = false;
    int nAfterScore = 0;
    int64_t nAfterId = 0;
};

// false: a request to refuse. "after" is SCORE.ID, or ID alone when bIdOnly.
bool ReadStart(const QueryLookup& query, bool bIdOnly, SPageStart& start) {
    std::string s;
    if (query("after", s)) {
        start.bAfter = true;
        if (bIdOnly)
            return ParseId(s, start.nAfterId);
        const size_t dot = s.find('.');
        return dot != std::string::npos &&
               ParseInt(s.substr(0, dot), 0, kMaxScore, start.nAfterScore) &&
               ParseId(s.substr(dot + 1), start.nAfterId);
    }
    // Numbered pages stay for old links, but only the first few: deeper ones
    // would make the database count its way down to them.
    return !query("page", s) || ParseInt(s, 0, kMaxPage, start.nPage);
}

std::string Head(const std::string& title) {
    return "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>" +
           HtmlEscape(title) + "</title>\n</head>\n<body>\n<h1>" + HtmlEscape(title) + "</h1>\n";
}

std::string Cell(const std::string& text) {
    return "<td>" + text + "</td>";
}

// A place is 1 + the records of the same state with a strictly higher score,
// the same number the submission's reply gives; an area's page shows it too.
std::string RankedTable(CRankStore& store, const std::vector<SRecord>& rows, bool bReplays,
                        bool bOneArea) {
    std::string t = "<table>\n<tr><th scope=\"col\">" +
                    std::string(bOneArea ? "Place overall" : "Place") +
                    "</th><th scope=\"col\">Name</th>"
                    "<th scope=\"col\">Area</th><th scope=\"col\">Score</th>" +
                    std::string(bReplays ? "<th scope=\"col\">Game</th>" : "") + "</tr>\n";
    // The rows of the whole ranking are consecutive in its order, so every
    // record scored between the first row's score and a later row's is on
    // this page: two look-ups place the whole page. An area's rows have other
    // areas' records between them: its scores are placed by the counters,
    // all in one query of a few index entries each, never a count of rows.
    std::vector<int> scores, places;
    if (bOneArea && !rows.empty()) {
        for (const SRecord& r : rows)
            if (scores.empty() || scores.back() != r.nScore)
                scores.push_back(r.nScore);
        places = store.RanksOf(rows[0].nLevel, rows[0].bVerified, scores);
    }
    int first = 0, aboveRest = 0, place = 0, placeScore = -1;
    size_t nextScore = 0;
    for (size_t i = 0; i < rows.size(); ++i) {
        const SRecord& r = rows[i];
        if (bOneArea) {
            if (r.nScore != placeScore) {
                place = nextScore < places.size() ? places[nextScore] : 0;
                ++nextScore;
            }
        } else if (i == 0) {
            first = store.RankOf(r.nLevel, r.bVerified, r.nScore);
            aboveRest = first - 1 + store.CountAt(r.nLevel, r.bVerified, r.nScore);
            place = first;
        } else if (r.nScore != placeScore) {
            place = aboveRest + 1 +
                    static_cast<int>(
                        std::count_if(rows.begin(), rows.begin() + i, [&](const SRecord& o) {
                            return o.nScore > r.nScore && o.nScore < rows[0].nScore;
                        }));
        }
        placeScore = r.nScore;
        t += "<tr>" + Cell(std::to_string(place)) + Cell(HtmlEscape(r.strName)) +
             Cell(HtmlEscape(r.strAria)) + Cell(std::to_string(r.nScore));
        if (bReplays)
            t += Cell(r.bVerified && !r.strReplay.empty()
                          ? "<a href=\"/game/quibbix/Replay.asp?id=" + std::to_string(r.nId) +
                                "\">Replay</a>"
                          : "");
        t += "</tr>\n";
    }
    return t + "</table>\n";
}

std::string NewestTable(const std::vector<SRecord>& rows) {
    std::string t =
        "<table>\n<tr><th scope=\"col\">Name</th><th scope=\"col\">Area</th>"
        "<th scope=\"col\">Score</th><th scope=\"col\">Mode</th>"
        "<th scope=\"col\">Verified</th></tr>\n";
    for (const SRecord& r : rows)
        t += "<tr>" + Cell(HtmlEscape(r.strName)) + Cell(HtmlEscape(r.strAria)) +
             Cell(std::to_string(r.nScore)) + Cell(r.nLevel == 0 ? "Tutorial" : "Game") +
             Cell(r.bVerified ? "yes" : "no") + "</tr>\n";
    return t + "</table>\n";
}

std::string Link(const std::string& query, const std::string& text) {
    return "<p><a href=\"GameResult.asp?" + query + "\">" + text + "</a></p>\n";
}

std::string NextAfter(const std::string& base, const std::vector<SRecord>& rows) {
    if (rows.size() < static_cast<size_t>(kPageRows))
        return "";
    const SRecord& last = rows.back();
    return Link(base + "&amp;after=" + std::to_string(last.nScore) + "." + std::to_string(last.nId),
                "Next page");
}

std::vector<SRecord> Section(CRankStore& store, bool bVerified, const std::string* pAria,
                             const SPageStart& start) {
    return start.bAfter ? store.Best(bVerified, pAria, start.nAfterScore, start.nAfterId, kPageRows)
                        : store.BestAt(bVerified, pAria, start.nPage * kPageRows, kPageRows);
}

// One ranking (all areas, or one): verified records ranked, the unverified
// below them under their own heading, never mixed.
std::string Ranking(CRankStore& store, const QueryLookup& query, const std::string& strTitle,
                    const std::string* pAria, const std::string& strBase, int& nStatus) {
    SPageStart start;
    std::string v;
    const bool bUnverifiedOnly = query("verified", v) && v == "0";
    if (!ReadStart(query, false, start)) {
        nStatus = 400;
        return "";
    }
    const std::string unverifiedBase = strBase + "&amp;verified=0";
    std::string page = Head(strTitle);
    if (!bUnverifiedOnly) {
        const bool bFirst = !start.bAfter && start.nPage == 0;
        const auto rows = Section(store, true, pAria, start);
        page += RankedTable(store, rows, bFirst, pAria != nullptr) + NextAfter(strBase, rows);
        if (rows.size() == static_cast<size_t>(kPageRows))
            return page + Link(unverifiedBase, "Unverified records");
        start = SPageStart();
    }
    const auto rows = Section(store, false, pAria, start);
    return page + "<h2>Unverified records</h2>\n" +
           RankedTable(store, rows, false, pAria != nullptr) + NextAfter(unverifiedBase, rows);
}

std::string Newest(CRankStore& store, const QueryLookup& query, int& nStatus) {
    SPageStart start;
    if (!ReadStart(query, true, start)) {
        nStatus = 400;
        return "";
    }
    const auto rows = start.bAfter ? store.Newest(start.nAfterId, kPageRows)
                                   : store.NewestAt(start.nPage * kPageRows, kPageRows);
    std::string page = Head("Newest challengers") + NewestTable(rows);
    if (rows.size() == static_cast<size_t>(kPageRows))
        page += Link("data=0&amp;after=" + std::to_string(rows.back().nId), "Next page");
    return page;
}

std::string AreaList(CRankStore& store) {
    std::string t = Head("Ranking by area") +
                    "<table>\n<tr><th scope=\"col\">Area</th><th scope=\"col\">Players</th>"
                    "<th scope=\"col\">Best score</th></tr>\n";
    for (const SAreaRow& a : store.Areas())
        t += "<tr>" + Cell(HtmlEscape(a.strAria)) + Cell(std::to_string(a.nPlayers)) +
             Cell(std::to_string(a.nBest)) + "</tr>\n";
    return t + "</table>\n";
}

std::string UrlEncode(const std::string& s) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (const char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        if (std::isalnum(c) || c == '-' || c == '_' || c == '.') {
            out += ch;
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

const char* const kBadRequest =
    "<p>This page does not exist. Pages past the first few are reached with their "
    "\"Next page\" links.</p>\n";
}  // namespace

bool ParseInt(const std::string& s, int lo, int hi, int& out) {
    if (s.empty() || s.size() > 7 ||
        !std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    out = std::stoi(s);
    return out >= lo && out <= hi;
}

bool KnownArea(const std::string& a) {
    return a.empty() || std::any_of(std::begin(ranking::kAreaList), std::end(ranking::kAreaList),
                                    [&](const char* p) { return a == p; });
}

std::string HtmlEscape(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string SubmissionReply(const std::string& strText) {
    return Head("DoruzorO record") + "<!-- DATA_START -->\n" + strText +
           "\n<!-- DATA_END -->\n</body>\n</html>\n";
}

std::string PageCacheKey(const QueryLookup& query) {
    std::string key, value;
    for (const char* k : {"data", "page", "aria", "after", "verified"})
        if (query(k, value))
            key += std::string(k) + "=" + std::to_string(value.size()) + ":" + value + "&";
    return key;
}

int ResultPage(CRankStore& store, const QueryLookup& query, std::string& strPage) {
    std::string data, aria;
    int n = 0;
    int status = 200;
    if (!query("data", data) || !ParseInt(data, 0, 2, n)) {
        status = 400;
    } else if (n == 0) {
        strPage = Newest(store, query, status);
    } else if (n == 1) {
        strPage = Ranking(store, query, "Ranking", nullptr, "data=1", status);
    } else if (query("aria", aria) && !aria.empty()) {
        if (KnownArea(aria))
            strPage = Ranking(store, query, "Ranking of " + aria, &aria,
                              "data=2&amp;aria=" + UrlEncode(aria), status);
        else
            status = 400;
    } else {
        strPage = AreaList(store);
    }
    if (status != 200)
        strPage = Head("Bad request") + kBadRequest;
    strPage += "</body>\n</html>\n";
    return status;
}
