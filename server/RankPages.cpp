#include "server/RankPages.h"

#include <algorithm>
#include <cstring>

#include "ranking/AreaList.h"

namespace {

constexpr int kPageRows = 50;

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

int PageNumber(const QueryLookup& query) {
    std::string s;
    int n = 0;
    return query("page", s) && ParseInt(s, 0, 100000, n) ? n : 0;
}

std::string Head(const std::string& title) {
    return "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>" +
           HtmlEscape(title) + "</title>\n</head>\n<body>\n<h1>" + HtmlEscape(title) + "</h1>\n";
}

std::string RecordTable(const std::vector<SRecord>& rows, int nFirstPlace) {
    std::string t =
        "<table>\n<tr><th scope=\"col\">Place</th><th scope=\"col\">Name</th>"
        "<th scope=\"col\">Area</th><th scope=\"col\">Score</th></tr>\n";
    int place = nFirstPlace;
    for (const SRecord& r : rows)
        t += "<tr><td>" + std::to_string(place++) + "</td><td>" + HtmlEscape(r.strName) +
             "</td><td>" + HtmlEscape(r.strAria) + "</td><td>" + std::to_string(r.nScore) +
             "</td></tr>\n";
    return t + "</table>\n";
}

std::string NextLink(int data, int page, size_t rows, const std::string& extra) {
    if (rows < static_cast<size_t>(kPageRows))
        return "";
    return "<p><a href=\"GameResult.asp?data=" + std::to_string(data) + extra +
           "&amp;page=" + std::to_string(page + 1) + "\">Next page</a></p>\n";
}

std::string AreaPage(CRankStore& store, const QueryLookup& query) {
    std::string aria;
    if (query("aria", aria) && KnownArea(aria) && !aria.empty()) {
        const int page = PageNumber(query);
        const auto rows = store.Best(page * kPageRows, kPageRows, &aria);
        return Head("Ranking of " + aria) + RecordTable(rows, page * kPageRows + 1) +
               NextLink(2, page, rows.size(), "&amp;aria=" + HtmlEscape(aria));
    }
    std::string t = Head("Ranking by area") +
                    "<table>\n<tr><th scope=\"col\">Area</th><th scope=\"col\">Players</th>"
                    "<th scope=\"col\">Best score</th></tr>\n";
    for (const SAreaRow& a : store.Areas())
        t += "<tr><td>" + HtmlEscape(a.strAria) + "</td><td>" + std::to_string(a.nPlayers) +
             "</td><td>" + std::to_string(a.nBest) + "</td></tr>\n";
    return t + "</table>\n";
}

}  // namespace

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

bool ResultPage(CRankStore& store, const QueryLookup& query, std::string& strPage) {
    std::string data;
    int n = 0;
    if (!query("data", data) || !ParseInt(data, 0, 2, n))
        return false;
    const int page = PageNumber(query);
    if (n == 0) {
        const auto rows = store.Newest(page * kPageRows, kPageRows);
        strPage = Head("Newest challengers") + RecordTable(rows, page * kPageRows + 1) +
                  NextLink(0, page, rows.size(), "");
    } else if (n == 1) {
        const auto rows = store.Best(page * kPageRows, kPageRows, nullptr);
        strPage = Head("Ranking") + RecordTable(rows, page * kPageRows + 1) +
                  NextLink(1, page, rows.size(), "");
    } else {
        strPage = AreaPage(store, query);
    }
    strPage += "</body>\n</html>\n";
    return true;
}
