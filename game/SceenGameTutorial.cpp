// The tutorial: thirteen timed steps of text and speech while one UFO flies.
#include <mutex>

#include "game/SceenGame.h"
#include "platform/clock.h"

namespace {

constexpr uint32_t kTutorialStepMs = 6000;
constexpr int kTutorialSteps = 13;
constexpr int kStepSpawn = 1;
constexpr int kStepUfoBack = 8;
constexpr int kStepMissile = 9;
constexpr int kUfoBackY = 50;

struct STutorialText {
    const char* a;
    const char* b;
    const char* c;
};

// Every blank, comma and full stop belongs to the text.
constexpr STutorialText kSteps[kTutorialSteps] = {
    {"You control [The fighter]", " and shoot down a UFO.", ""},
    {"The UFO appears from the left.", "", ""},
    {"When the UFO arrives at the right-side end,",
     "the UFO go to the left,And the UFO approaches.", ""},
    {"When there is a UFO to the left than a fighter,", " You hear a sound from the left speaker.",
     ""},
    {"When there is a UFO to the right than a fighter,", " You hear a sound from a right speaker.",
     ""},
    {"When You are in right above,", " You push the space key, ",
     " and please shoot it down with a laser."},
    {"[The fighter] moves with right and left key.", "", ""},
    {"The UFO may appear from the right", "Plural UFO may appear.", ""},
    {"When a UFO goes down to the bottom,", " [The fighter] is destroyed.", ""},
    {"The UFO shoots a missile.", " When [The fighter] crashes into a missile,",
     "it is destroyed."},
    {"[The fighter] is three planes..", "", ""},
    {"You can make a barrier for two seconds,", "when You push the Z key.", ""},
    {"The barrier can prevent a missile.", "", ""},
};

}  // namespace

void CSceenGame::TutorialStep() {
    // The difference, not the raw counter values, so that the wait still
    // holds when the counter crosses 2^31 or wraps.
    const uint32_t dwNow = plat::GetTickCount();
    if (static_cast<int32_t>(m_dwNextTutorialStep - dwNow) > 0) {
        return;
    }
    if (m_nTutorialStep >= kTutorialSteps) {
        m_nResult = 0;
        return;
    }
    const int nStep = m_nTutorialStep;
    {
        const std::lock_guard<CCriticalSection> lock(m_lock);
        CUfo* pFirst = m_arrUfos.empty() ? nullptr : m_arrUfos.front().get();
        const STutorialText& text = kSteps[nStep];
        SetTextLines(text.a, text.b, text.c);
        if (nStep == kStepSpawn) {
            TrySpawn();  // the tutorial's one UFO; timed spawns stay off
        } else if (nStep == kStepUfoBack && pFirst) {
            pFirst->y = kUfoBackY;
        } else if (nStep == kStepMissile && pFirst) {
            FireMissile(pFirst->x, pFirst->y);
        }
    }
    m_sound.Play(m_idText[nStep], 0);
    ++m_nTutorialStep;
    m_dwNextTutorialStep = plat::GetTickCount() + kTutorialStepMs;
}
