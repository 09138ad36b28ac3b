// The ranking's tables, the same on both engines, and the move of a file
// written by an earlier server to them.
#pragma once
#include <string>
#include <vector>

#include "server/SqlConn.h"

// Creates what is missing and rebuilds the counters when their layout changed.
// Safe to call from several processes at once.
bool EnsureRankSchema(CSqlConn& conn, std::string& strError);

// Places come from counters kept per score and per bucket of scores, so that
// a rank is a sum over a few rows a bucket width. The widths, narrowest first
// (the widest one's rows sum to the total): on SQLite 100 and 10,000, whose
// hundred rows a bucket lie side by side in the file; on PostgreSQL 10, 100,
// ... 1,000,000, at most nine rows a width (about thirty in all), as each
// row read there is a page of its own: a hundred a bucket made the rank most
// of a submission.
const std::vector<int>& BucketWidths(EEngine eEngine);

// Records of one level and verified state with a score above the given one,
// the three given as SQL expressions (columns or parameters).
std::string SqlHigher(EEngine eEngine, const std::string& strLevel, const std::string& strVerified,
                      const std::string& strScore);
// Records of one level and verified state: bind level, verified.
std::string SqlTotal(EEngine eEngine);
