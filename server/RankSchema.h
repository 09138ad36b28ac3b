// The ranking's tables, the same on both engines, and the move of a file
// written by an earlier server to them.
#pragma once
#include <string>

#include "server/SqlConn.h"

// Creates what is missing and rebuilds the counters when their layout changed.
// Safe to call from several processes at once.
bool EnsureRankSchema(CSqlConn& conn, std::string& strError);

// Places come from counters kept per score and per bucket of 10, 100, ...
// 1,000,000 scores, so a rank is a sum over at most nine rows a width (about
// thirty on average) and a total over two. On PostgreSQL each row read is a
// page of its own: a hundred a bucket made the rank most of a submission.
constexpr int kBucketWidths[] = {10, 100, 1000, 10000, 100000, 1000000};

// Records of one level and verified state with a score above the given one,
// the three given as SQL expressions (columns or parameters).
std::string SqlHigher(const std::string& strLevel, const std::string& strVerified,
                      const std::string& strScore);
// Records of one level and verified state: bind level, verified.
extern const char* const kSqlTotal;
