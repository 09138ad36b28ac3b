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

// Whom a limit per address counts: an IPv4 address as it is, an IPv6 one by
// its /64, the least a home or a host is given (any address in it is theirs
// to use); an IPv4 address written as IPv6 (::ffff:a.b.c.d) as IPv4.
// Anything that is no address stays as it is.
std::string LimitKey(const std::string& strAddress);

// Checks every key; fills rec, or gives the reason the player will read.
bool ValidateRecord(const QueryLookup& query, SRecord& rec, std::string& strWhy);
