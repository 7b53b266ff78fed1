// Clock: the time source behind GetTicks, GetAccurateTime, ThreadSleep, ThreadSleepMicros
// and the profiler's counter. Production code reads SDL's tick counter; tests install a FakeTimeSource, whose
// clock moves only when the test advances it or when code sleeps, so main-loop pacing,
// double clicks, timeouts and profiler reports are tested without waiting.
#pragma once

#include <atomic>
#include <cstdint>

namespace Vaxo
{

// What a clock must supply. Implementations are called from any thread.
class TimeSource
{
public:
    virtual ~TimeSource() = default;
    // Milliseconds since the platform library started (wraps at 2^32).
    virtual uint32_t Ticks() = 0;
    // Milliseconds from the most precise clock available.
    virtual uint32_t AccurateTime() = 0;
    // Blocks the calling thread for ms milliseconds.
    virtual void Sleep(uint32_t ms) = 0;
    // Blocks the calling thread for about micros microseconds: waits shorter than the
    // millisecond clock can tell. A source without finer sleeps rounds up to milliseconds.
    virtual void SleepMicros(uint32_t micros);
    // Profiler counter, kPerfCounterRate counts per second.
    virtual uint64_t PerfCounter() = 0;
};

// Counts per second of TimeSource::PerfCounter.
constexpr uint64_t kPerfCounterRate = 100000;

// The source in use: the installed one, or the system clock when none is.
TimeSource& GetTimeSource();
// Installs source (null restores the system clock); returns the one it replaces (null when
// that was the system clock). The caller keeps ownership and must outlive the installation.
TimeSource* SetTimeSource(TimeSource* source);

// A clock for tests: starts at the given millisecond reading and moves only through
// Advance/Set or a Sleep, which returns at once after advancing it.
class FakeTimeSource : public TimeSource
{
public:
    explicit FakeTimeSource(uint32_t startMs = 0) : mNowMicros(uint64_t(startMs) * 1000) {}

    uint32_t Ticks() override { return uint32_t(mNowMicros.load() / 1000); }
    uint32_t AccurateTime() override { return Ticks(); }
    void Sleep(uint32_t ms) override;
    void SleepMicros(uint32_t micros) override;
    uint64_t PerfCounter() override { return mNowMicros.load() / (1000000 / kPerfCounterRate); }

    void Advance(uint32_t ms) { mNowMicros += uint64_t(ms) * 1000; }
    void AdvanceMicros(uint64_t micros) { mNowMicros += micros; }
    // Sets the millisecond reading (the sub-millisecond part is cleared).
    void Set(uint32_t ms) { mNowMicros = uint64_t(ms) * 1000; }

    // Number of Sleep and SleepMicros calls, and the total milliseconds of the Sleep calls,
    // since construction.
    int32_t GetSleepCount() const { return mSleepCount.load(); }
    uint64_t GetTotalSlept() const { return mTotalSlept.load(); }

private:
    std::atomic<uint64_t> mNowMicros; // 64-bit so the tick reading can wrap like the real one
    std::atomic<int32_t> mSleepCount{0};
    std::atomic<uint64_t> mTotalSlept{0};
};

// Installs a source for the lifetime of the object, then restores the previous one.
class ScopedTimeSource
{
public:
    explicit ScopedTimeSource(TimeSource& source) : mPrevious(SetTimeSource(&source)) {}
    ~ScopedTimeSource() { SetTimeSource(mPrevious); }
    ScopedTimeSource(const ScopedTimeSource&) = delete;
    ScopedTimeSource& operator=(const ScopedTimeSource&) = delete;

private:
    TimeSource* mPrevious;
};

// Blocks the calling thread for about micros microseconds, through the installed source.
void ThreadSleepMicros(uint32_t micros);

} // namespace Vaxo
