// What the server answers: the submission reply and the result pages.
#pragma once
#include <functional>
#include <string>

#include "server/RankStore.h"

// Looks up one decoded query value; false when the key is absent.
using QueryLookup = std::function<bool(const char* key, std::string& value)>;

std::string HtmlEscape(const std::string& text);
// A decimal of at most seven digits, nothing else, within [lo, hi].
bool ParseInt(const std::string& s, int lo, int hi, int& out);
// One of the game's areas, or none (the empty text).
bool KnownArea(const std::string& a);
// The reply the game reads: the text between the markers, lines joined by <P>.
std::string SubmissionReply(const std::string& strText);
// data 0 newest, 1 the overall ranking, 2 by area (with aria= one area's
// ranking). Deeper pages by "after=" from their "Next page" links; "page=" up
// to 20. Gives the HTTP status: 200, or 400 with a page saying why.
int ResultPage(CRankStore& store, const QueryLookup& query, std::string& strPage);
// What tells two result pages apart: every key ResultPage reads, with its
// value, so that a page cached for one query is never served for another.
std::string PageCacheKey(const QueryLookup& query);
