// The objects on the field and the small rules they share.
#include <cstdint>

#include "game/SceenGame.h"
#include "platform/audio.h"
#include "platform/random.h"
#include "platform/window.h"

int UfoStep(int nSpeed) {
    const int a = nSpeed;
    int step = 2 * a + 8;
    if (a > 4)
        step += a / 2;
    if (a > 6)
        step += a;
    if (a > 8)
        step += a;
    return step;
}

uint32_t SpawnIntervalForStage(int nStage) {
    if (nStage <= 2)
        return 8000;
    if (nStage >= 9)
        return 1000;
    return static_cast<uint32_t>(1000 * (10 - nStage));
}

int RandRange(int n) {
    const int r = plat::Rand();
    return static_cast<int>(r * static_cast<double>(n) / 32767.0);
}

bool RectsTouch(int l1, int t1, int r1, int b1, int l2, int t2, int r2, int b2) {
    return r1 >= l2 && r2 >= l1 && b1 >= t2 && b2 >= t1;
}

CGameObject::CGameObject() = default;

CGameObject::~CGameObject() {
    StopSounds();
}

void CGameObject::Clear() {
    nFrame = nImage = nSpeed = y = x = bLeftward = nState = nSoundCount = 0;
    cxClient = cyClient = cx = cy = 0;
}

void CGameObject::Attach(plat::CWnd* pHost, const std::string& strBase) {
    strBasePath = strBase;
    pWnd = pHost;
    if (pHost) {
        const plat::RECT rc = pHost->GetClientRect();
        cxClient = rc.right - rc.left;
        cyClient = rc.bottom - rc.top;
    }
    sound.m_nDeviceKind = 1;
    sound.CreateDevice(pHost);
}

int CGameObject::AddSound(const std::string& strName) {
    const int id = nSoundCount;
    // A silent thread never loads a sound, so it keeps no names either.
    if (!plat::AudioSilent())
        sound.AddFile(strBasePath + strName + ".kwv", static_cast<unsigned int>(id));
    ++nSoundCount;
    return id;
}

bool CGameObject::HitTest(int left, int top, int right, int bottom) const {
    return RectsTouch(x, y, Right(), Bottom(), left, top, right, bottom);
}

bool CGameObject::Touches(const CGameObject& other) const {
    return HitTest(other.x, other.y, other.Right(), other.Bottom());
}

void CGameObject::StopSounds() {
    for (int id = 0; id < nSoundCount && id < kSoundIds; ++id)
        sound.Stop(id);
}
