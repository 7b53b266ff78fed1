// VaxoPerf: development diagnostics.
//
//   - PerfTimer: a stopwatch in milliseconds (the frame-rate display polls one)
//   - VaxoPerf: the process-wide profiler of named, nestable timing sections, toggled by a
//     developer key; EndPerf collates them and GetResults gives the text report
//   - VaxoTrace / VaxoTraceFmt: debug text into "trace1.txt" and "trace2.txt", used in turn
//     so that the last 100,000 or so characters are kept
//   - Ratio: a reduced integer fraction
//
// Times come from the time source of common/Clock.h, so tests drive them with a fake clock.
#pragma once

#include <cstdint>
#include <string>

namespace Vaxo
{

// Counts per second of the profiler's counter (GetCPUSpeedMHz is therefore 0).
int64_t GetCPUSpeed();
int32_t GetCPUSpeedMHz();

// Stopwatch. Not locked: one thread uses a timer.
class PerfTimer
{
public:
    PerfTimer();
    void Start();
    // Fixes the duration; does nothing when not running.
    void Stop();
    // Milliseconds: from Start to Stop, or to now while running.
    double GetDuration();
    // Sets the duration from the start time to now.
    void CalcDuration();

private:
    uint64_t mStartTime; // profiler counter at Start
    double mDuration;    // milliseconds
    bool mRunning;
};

// The profiler. All calls come from the main thread; the section names handed to
// StartTiming/StopTiming must stay valid until the next collation (they are not copied).
class VaxoPerf
{
public:
    // Empties the summaries and starts a run; with measurePerfOverhead true it only resets
    // and leaves profiling off.
    static void BeginPerf(bool measurePerfOverhead = false);
    // Ends the run: collates, switches off and converts the times to milliseconds.
    static void EndPerf();
    static void StartTiming(const char* name);
    static void StopTiming(const char* name);
    // "Total Time: ..." and one line per section name, in name order (ignoring case).
    static std::string GetResults();
    static bool IsPerfOn();

    // Tests only: back to the state at start-up (off, no records, no summaries).
    static void ResetForTest();
};

// Starts a section on construction and stops it on destruction.
class AutoPerf
{
public:
    explicit AutoPerf(const char* name) : mName(name) { VaxoPerf::StartTiming(name); }
    ~AutoPerf() { VaxoPerf::StopTiming(mName); }
    AutoPerf(const AutoPerf&) = delete;
    AutoPerf& operator=(const AutoPerf&) = delete;

private:
    const char* mName;
};

// Writes the text and a line feed to the current trace file.
void VaxoTrace(const char* text);
// Writes the printf-formatted text to the current trace file, adding no line feed.
void VaxoTraceFmt(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Debug output has no destination on this platform: the text is formatted and dropped.
void OutputDebug(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Characters a trace file takes before the next trace starts the other file.
constexpr int64_t kTraceFileLimit = 100000;
// Tests only: closes the trace file; the next trace starts again with "trace1.txt".
void VaxoTraceResetForTest();

// A fraction kept reduced by the greatest common divisor (whose sign follows Euclid's
// algorithm with truncating remainders, so Set(-2, 4) gives 1/-2).
class Ratio
{
public:
    Ratio() : mNumerator(1), mDenominator(1) {}
    Ratio(int32_t numerator, int32_t denominator) { Set(numerator, denominator); }
    // Set(0, 0) keeps 0/0 (there is no divisor to reduce by).
    void Set(int32_t numerator, int32_t denominator);

    bool operator==(const Ratio& other) const
    {
        return mNumerator == other.mNumerator && mDenominator == other.mDenominator;
    }
    bool operator!=(const Ratio& other) const { return !(*this == other); }

    int32_t mNumerator;
    int32_t mDenominator;
};

} // namespace Vaxo
