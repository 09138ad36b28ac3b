// The game scene's life: construction, start, stop and its small helpers.
#include "game/SceenGame.h"
#include "platform/audio.h"

#include <cstdio>
#include <mutex>

#include "platform/window.h"

CSceenGame::CSceenGame()
    : m_pFontSmall(std::make_unique<plat::CFont>()), m_pFontLarge(std::make_unique<plat::CFont>()) {
    m_sound.m_nDeviceKind = 1;
    m_pFontSmall->CreatePointFont(200, "Arial");
    m_pFontLarge->CreatePointFont(500, "Arial");
}

CSceenGame::~CSceenGame() {
    m_pFontSmall.reset();
    m_pFontLarge.reset();
    CSceenGame::Stop();
}

namespace {

std::string Numbered(const char* pattern, int n) {
    char name[64];
    std::snprintf(name, sizeof name, pattern, n);
    return name;
}

}  // namespace

void CSceenGame::Start(plat::CWnd* pHost, const std::string& strBasePath) {
    m_pHost = pHost;
    m_strBasePath = strBasePath;
    LoadPictures();

    m_sound.m_nDeviceKind = 1;
    m_sound.CreateDevice(m_pHost);
    RegisterSceneSounds();

    m_laser.Attach(m_pHost, m_strBasePath);
    m_barrier.Attach(m_pHost, m_strBasePath);
    m_fighter.Attach(m_pHost, m_strBasePath);
    m_laser.idLazer1 = m_laser.AddSound("\\sound\\Lazer1");
    m_laser.idLazer2 = m_laser.AddSound("\\sound\\Lazer2");
    m_laser.idLazerNone = m_laser.AddSound("\\sound\\LazerNone");
    m_barrier.idBaria = m_barrier.AddSound("\\sound\\baria");
    m_barrier.idBariaNone = m_barrier.AddSound("\\sound\\barianon");

    if (m_nMode == 1)
        m_nState = GS_TUTORIAL;
    StageTransition(0);

    m_brBlack.CreateSolidBrush(plat::RGB(0, 0, 0));
    m_brWhite.CreateSolidBrush(plat::RGB(255, 255, 255));
    m_brBlue.CreateSolidBrush(plat::RGB(128, 128, 255));
    m_brRed.CreateSolidBrush(plat::RGB(255, 128, 128));
    m_brYellow.CreateSolidBrush(plat::RGB(255, 255, 0));
    m_brPink.CreateSolidBrush(plat::RGB(255, 200, 200));
}

const char* const kPictureFiles[kPictures] = {"\\image\\UFO.kpg", "\\image\\Fighter.kpg",
                                              "\\image\\misile.kpg", "\\image\\Explosion.kpg"};

plat::CImage& CSceenGame::Picture(int i) {
    plat::CImage* const images[kPictures] = {&m_imgUfo[0], &m_imgFighter, &m_imgMissile,
                                             &m_imgExplosion};
    return *images[i];
}

void CSceenGame::LoadPictures() {
    // A picture that can't be read stays empty: its objects are 0 x 0.
    for (int i = 0; i < kPictures; ++i)
        Picture(i).Load(m_strBasePath + kPictureFiles[i]);
}

// Ids are the registration order: 0 to 9 single voices, 10 to 19 the
// stages, 20 to 32 the tutorial texts, 33 to 332 the numbers 1 to 300.
void CSceenGame::RegisterSceneSounds() {
    m_idWinner = AddSound("\\sound\\winner");
    m_idGameOver = AddSound("\\sound\\voice\\GameOver");
    m_idYouLose = AddSound("\\sound\\youlose");
    m_idClear = AddSound("\\sound\\clear");
    m_idGetWideLazer = AddSound("\\sound\\voice\\GetWideLazer");
    m_idPlayerOneUp = AddSound("\\sound\\voice\\PlayerOneUp");
    m_idBariaRecovery = AddSound("\\sound\\voice\\BariaRecovery");
    m_idCongratulations = AddSound("\\sound\\voice\\Congratulations");
    m_idScore = AddSound("\\sound\\voice\\Score");
    m_idTutorial = AddSound("\\sound\\menu\\tutorial");
    for (int i = 0; i < kStageVoices; ++i)
        m_idStage[i] = AddSound(Numbered("\\sound\\stage\\%d", i + 1));
    for (int i = 0; i < kTextVoices; ++i)
        m_idText[i] = AddSound(Numbered("\\sound\\text\\%d", i + 1));
    for (int i = 0; i < kNumberVoices; ++i)
        m_idNumber[i] = AddSound(Numbered("\\sound\\no\\%d", i + 1));
}

void CSceenGame::Stop() {
    StopAllSounds();
    std::lock_guard<CCriticalSection> guard(m_lock);
    // Each removed object stops its own sounds and releases its player.
    m_arrUfos.clear();
    m_arrMissiles.clear();
}

void CSceenGame::SetTextLines(const std::string& a, const std::string& b, const std::string& c) {
    m_arrTextLines.clear();
    for (const std::string* s : {&a, &b, &c}) {
        if (!s->empty())
            m_arrTextLines.push_back(*s);
    }
}

int CSceenGame::AddSound(const std::string& strName) {
    const int id = m_nSoundCount;
    if (!plat::AudioSilent())  // a silent thread never loads it
        m_sound.AddFile(m_strBasePath + strName + ".kwv", static_cast<unsigned int>(id));
    ++m_nSoundCount;
    return id;
}

void CSceenGame::RequestRepaint() {
    if (m_pHost)
        m_pHost->PostPaint();
}
