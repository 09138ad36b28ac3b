// What a replay needs of the game scene: its state in one number, the sizes
// that shaped it, and the host's calls made again from recorded events.
#pragma once
#include <cstdint>
#include <string>

#include "replay/ReplayCodec.h"

class CSceenGame;

namespace replay {

// The program version a replay is recorded with and re-run by.
const char* ProgramVersion();

// A 64-bit hash of everything that decides the game's further course.
uint64_t GameStateHash(const CSceenGame& game);
SSummary Summarize(const CSceenGame& game);

// The client size the objects were attached with and the picture sizes.
SGeometry GeometryOf(CSceenGame& game);
// The sizes the program itself plays with: its window, and the pictures below
// strDataDir. False with the reason when a picture can't be read.
bool OfficialGeometry(const std::string& strDataDir, SGeometry& out, std::string& strError);
// "client 732x570" or "Fighter.kpg 40x50 (the game's is 40x30)": the first difference.
std::string GeometryDifference(const SGeometry& recorded, const SGeometry& official);

// Makes one recorded call on the scene. A Draw that does not paint runs only
// the rule it keeps.
void Deliver(CSceenGame& game, EEvent kind, unsigned nKey, bool bPaint);

}  // namespace replay
