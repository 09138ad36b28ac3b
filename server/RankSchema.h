// The ranking's tables, the same on both engines, and the move of a file
// written by an earlier server to them.
#pragma once
#include <string>

#include "server/SqlConn.h"

// Creates what is missing and rebuilds the counters when their layout changed.
// Safe to call from several processes at once.
bool EnsureRankSchema(CSqlConn& conn, std::string& strError);

// Places come from counters kept per score and per score/100 and score/10000
// bucket, so a rank is a sum over at most about three hundred rows.
constexpr int kFineBucket = 100;
constexpr int kCoarseBucket = 10000;

// Records of one level and verified state with a score above the given one:
// bind level, verified, score, FineEnd, level, verified, FineBucket,
// CoarseEnd, level, verified, CoarseBucket (see RankArgs in the store).
extern const char* const kSqlHigher;
