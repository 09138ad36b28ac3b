// The common base of the two scenes. The host keeps each scene in its own
// typed pointer and deletes it through this virtual destructor.
#pragma once

class CBaseSceen {
public:
    CBaseSceen() = default;
    virtual ~CBaseSceen() = default;
    CBaseSceen(const CBaseSceen&) = delete;
    CBaseSceen& operator=(const CBaseSceen&) = delete;
};
