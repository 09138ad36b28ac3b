// What the server takes from a query: its strict reading, and what a record
// and a player's name may hold.
#pragma once
#include <cstddef>
#include <map>
#include <string>

#include "server/RankPages.h"
#include "server/RankStore.h"

constexpr size_t kMaxQueryKeys = 32;
constexpr size_t kMaxNameBytes = 64;

enum class EQuery {
    Ok,
    BadEscape,    // '%' not followed by two hex digits
    TooManyKeys,  // more than kMaxQueryKeys
    RepeatedKey,  // the same key twice: which one would count is not ours to guess
};

// Splits "a=1&b=2" and percent-decodes keys and values; '+' stays a '+'.
EQuery ParseQuery(const std::string& strRaw, std::map<std::string, std::string>& out);

// Why a name cannot be registered, in words the player reads; "" when it can.
std::string NameProblem(const std::string& strName);

// Checks every key; fills rec, or gives the reason the player will read.
bool ValidateRecord(const QueryLookup& query, SRecord& rec, std::string& strWhy);
