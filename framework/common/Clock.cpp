#include "common/Clock.h"
#include "common/Common.h"

#include <SDL/SDL.h>

#include <chrono>
#include <thread>

namespace Vaxo
{

namespace
{

class SystemTimeSource : public TimeSource
{
public:
    uint32_t Ticks() override { return SDL_GetTicks(); }
    uint32_t AccurateTime() override { return SDL_GetTicks(); }
    void Sleep(uint32_t ms) override { SDL_Delay(ms); }
    void SleepMicros(uint32_t micros) override
    {
        std::this_thread::sleep_for(std::chrono::microseconds(micros));
    }
    uint64_t PerfCounter() override
    {
        using namespace std::chrono;
        auto micros = duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
        return uint64_t(micros) / (1000000 / kPerfCounterRate);
    }
};

// Constant-initialised, so installing a source before main is safe.
std::atomic<TimeSource*> gInstalledSource{nullptr};

TimeSource& SystemSource()
{
    // Never destroyed: clocks are read by code that runs during exit.
    static TimeSource* source = new SystemTimeSource;
    return *source;
}

} // namespace

TimeSource& GetTimeSource()
{
    TimeSource* source = gInstalledSource.load(std::memory_order_acquire);
    return source ? *source : SystemSource();
}

TimeSource* SetTimeSource(TimeSource* source)
{
    return gInstalledSource.exchange(source, std::memory_order_acq_rel);
}

void TimeSource::SleepMicros(uint32_t micros)
{
    Sleep((micros + 999) / 1000);
}

void FakeTimeSource::Sleep(uint32_t ms)
{
    ++mSleepCount;
    mTotalSlept += ms;
    Advance(ms);
}

void FakeTimeSource::SleepMicros(uint32_t micros)
{
    ++mSleepCount;
    AdvanceMicros(micros);
}

uint32_t GetTicks()
{
    return GetTimeSource().Ticks();
}

uint32_t GetAccurateTime()
{
    return GetTimeSource().AccurateTime();
}

void ThreadSleep(uint32_t ms)
{
    GetTimeSource().Sleep(ms);
}

void ThreadSleepMicros(uint32_t micros)
{
    GetTimeSource().SleepMicros(micros);
}

} // namespace Vaxo
