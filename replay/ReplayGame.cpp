#include "replay/ReplayGame.h"

#include <cstdio>

#include "game/ClientSize.h"
#include "game/SceenGame.h"
#include "platform/gfx.h"
#include "platform/random.h"

namespace replay {
namespace {

// FNV-1a over the values, each as eight little-endian bytes.
class CHasher {
public:
    CHasher& operator<<(int64_t v) {
        for (int i = 0; i < 8; ++i) {
            m_qw ^= static_cast<uint8_t>(static_cast<uint64_t>(v) >> (8 * i));
            m_qw *= 0x100000001b3ull;
        }
        return *this;
    }
    CHasher& operator<<(const std::string& s) {
        *this << static_cast<int64_t>(s.size());
        for (const char c : s) {
            m_qw ^= static_cast<uint8_t>(c);
            m_qw *= 0x100000001b3ull;
        }
        return *this;
    }
    uint64_t Value() const { return m_qw; }

private:
    uint64_t m_qw = 0xcbf29ce484222325ull;
};

void HashObject(CHasher& h, const CGameObject& o) {
    h << o.x << o.y << o.cx << o.cy << o.nState << o.nFrame << o.nSpeed << o.bLeftward << o.nImage
      << o.cxClient << o.cyClient;
}

void HashScene(CHasher& h, const CSceenGame& g) {
    h << g.m_nMode << g.m_nState << g.m_nStage << g.m_nScore << g.m_nLives << g.m_nBarrierCharges
      << g.m_nUfoQuota << g.m_nUfoSpawned << g.m_bAllSpawned << g.m_nTutorialStep
      << g.m_bKeysAccepted << g.m_dwSpawnInterval << g.m_dwNextSpawn << g.m_dwIntroEnd
      << g.m_dwWaitEnd << g.m_dwAnnounceEnd << g.m_dwNextTutorialStep;
    h << g.m_strBanner << g.m_strBonus << static_cast<int64_t>(g.m_arrTextLines.size());
    for (const std::string& line : g.m_arrTextLines)
        h << line;
}

}  // namespace

const char* ProgramVersion() {
    return DORUZORO_VERSION;
}

uint64_t GameStateHash(const CSceenGame& g) {
    CHasher h;
    HashScene(h, g);
    HashObject(h, g.m_fighter);
    HashObject(h, g.m_laser);
    h << g.m_laser.bWide << g.m_laser.dwFireTime << g.m_laser.dwDuration;
    HashObject(h, g.m_barrier);
    h << g.m_barrier.dwStartTime << g.m_barrier.dwDuration;
    h << static_cast<int64_t>(g.m_arrUfos.size());
    for (const auto& ufo : g.m_arrUfos) {
        HashObject(h, *ufo);
        h << ufo->dwLastShot;
    }
    h << static_cast<int64_t>(g.m_arrMissiles.size());
    for (const auto& missile : g.m_arrMissiles)
        HashObject(h, *missile);
    h << plat::RandState();
    return h.Value();
}

SSummary Summarize(const CSceenGame& game) {
    SSummary s;
    s.nStage = game.m_nStage;
    s.nScore = game.m_nScore;
    s.nLives = game.m_nLives;
    s.qwHash = GameStateHash(game);
    return s;
}

SGeometry GeometryOf(CSceenGame& game) {
    SGeometry g;
    g.client = {game.m_fighter.cxClient, game.m_fighter.cyClient};
    for (int i = 0; i < kGeometryPictures && i < kPictures; ++i)
        g.pictures[i] = {game.Picture(i).GetWidth(), game.Picture(i).GetHeight()};
    return g;
}

bool OfficialGeometry(const std::string& strDataDir, SGeometry& out, std::string& strError) {
    out.client = {kMainClientWidth, kMainClientHeight};
    for (int i = 0; i < kGeometryPictures && i < kPictures; ++i) {
        plat::CImage img;
        if (img.Load(strDataDir + kPictureFiles[i]) != 0) {
            strError =
                std::string("cannot read the game's picture ") + strDataDir + kPictureFiles[i];
            return false;
        }
        out.pictures[i] = {img.GetWidth(), img.GetHeight()};
    }
    return true;
}

std::string GeometryDifference(const SGeometry& recorded, const SGeometry& official) {
    char text[160];
    if (recorded.client != official.client) {
        std::snprintf(text, sizeof text, "client size %dx%d (the game's is %dx%d)",
                      recorded.client.cx, recorded.client.cy, official.client.cx,
                      official.client.cy);
        return text;
    }
    for (int i = 0; i < kGeometryPictures && i < kPictures; ++i) {
        const SSize& r = recorded.pictures[i];
        const SSize& o = official.pictures[i];
        if (r != o) {
            // The file name without the folder.
            const char* name = kPictureFiles[i] + sizeof("\\image\\") - 1;
            std::snprintf(text, sizeof text, "%s %dx%d (the game's is %dx%d)", name, r.cx, r.cy,
                          o.cx, o.cy);
            return text;
        }
    }
    return std::string();
}

void Deliver(CSceenGame& game, EEvent kind, unsigned nKey, bool bPaint) {
    switch (kind) {
        case EV_TICK:
            game.Tick();
            break;
        case EV_DRAW:
            if (bPaint)
                game.Draw();
            else if (game.m_pHost)
                game.EndSpentEffects();
            break;
        case EV_KEYDOWN:
            game.OnKeyDown(nKey);
            break;
        case EV_KEYUP:
            game.OnKeyUp(nKey);
            break;
        case EV_PRETRANSLATE:
            game.PreTranslateKey(nKey);
            break;
        default:
            break;  // Start and the end are not calls of this kind
    }
}

}  // namespace replay
