// Records a game scene as the host runs it: every call the host makes on it
// and every counter value it reads inside them. It stands in front of the
// clock while the game is open and changes nothing the game sees.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "replay/ReplayCodec.h"

class CSceenGame;

namespace replay {

class CReplayRecorder : public plat::IClock {
public:
    // Takes the random generator's state now, before the scene starts.
    explicit CReplayRecorder(int nMode);
    ~CReplayRecorder() override;
    CReplayRecorder(const CReplayRecorder&) = delete;
    CReplayRecorder& operator=(const CReplayRecorder&) = delete;

    // One host call on the scene, from its start to its return.
    class CCall {
    public:
        CCall(CReplayRecorder* pRecorder, EEvent kind, unsigned nKey);
        ~CCall();
        CCall(const CCall&) = delete;
        CCall& operator=(const CCall&) = delete;

    private:
        CReplayRecorder* m_pRecorder;
    };

    // Ends the recording with the game as it stands: the replay file, or
    // false with the reason it can't be re-run.
    bool Finish(CSceenGame& game, std::string& file, std::string& strError);

    uint32_t Now() override;
    void Sleep(uint32_t ms) override;

private:
    void Begin(EEvent kind, unsigned nKey);
    void End();
    void Release();

    plat::IClock* m_pInner;
    CReplayWriter m_writer;
    SHeader m_header;
    std::vector<uint32_t> m_arrReads;
    EEvent m_kind = EV_START;
    unsigned m_nKey = 0;
    int m_nDepth = 0;
    bool m_bInstalled = false;
    bool m_bNested = false;
    bool m_bFull = false;
};

}  // namespace replay
