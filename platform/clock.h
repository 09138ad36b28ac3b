// The millisecond tick counter and the sleep that every timed rule uses.
// Tests put a fake clock in place so a whole game runs in milliseconds.
#pragma once
#include <cstdint>
#include <ctime>

namespace plat {

class IClock {
public:
    virtual ~IClock() = default;
    virtual uint32_t Now() = 0;  // milliseconds, wraps at 2^32
    virtual void Sleep(uint32_t ms) = 0;
};

uint32_t GetTickCount();
void Sleep(uint32_t ms);

// Installs a clock for the calling thread; nullptr restores the real one.
// Other threads keep theirs (the real one until they install another).
void SetClock(IClock* clock);
// The calling thread's clock, so that another one can stand in front of it.
IClock* GetClock();

// The calendar time of when in the local time zone, on any system.
std::tm LocalTime(std::time_t when);

}  // namespace plat
