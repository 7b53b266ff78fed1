#include "common/VaxoPerf.h"

#include "common/Clock.h"
#include "common/Common.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <vector>

namespace Vaxo
{

namespace
{

struct PerfRecord
{
    const char* mName; // not owned
    uint64_t mCounter; // profiler counter when made
    bool mStart;       // opens (true) or closes (false) a section
};

struct PerfSummary
{
    uint64_t mStartTime = 0;         // counter at which the outermost open section began
    uint64_t mDuration = 0;          // counts
    double mMillisecondDuration = 0; // set by EndPerf
    double mLongestCall = 0;         // counts until EndPerf converts it to milliseconds
    int32_t mStartCount = 0;         // nesting depth
    int32_t mCallCount = 0;
};

struct PerfState
{
    std::vector<PerfRecord> mRecords; // keeps its size between collations
    size_t mRecordTop = 0;            // records in use
    int32_t mOpenCount = 0;           // open sections over all names
    std::map<std::string, PerfSummary, StringLessNoCase> mSummaries;
    uint64_t mStartTime = 0;        // counter at BeginPerf
    uint64_t mCollateTime = 0;      // counts spent collating
    double mTotalTime = 0;          // milliseconds, set by EndPerf
    std::atomic<bool> mIsOn{false}; // read by anyone who wants to know
};

PerfState& Perf()
{
    // Never destroyed: profiling may run in static destructors.
    static PerfState* state = new PerfState;
    return *state;
}

uint64_t Counter()
{
    return GetTimeSource().PerfCounter();
}

double CountsToMs(double counts)
{
    return counts * 1000.0 / double(kPerfCounterRate);
}

void AddRecord(PerfState& perf, const char* name, bool start)
{
    const PerfRecord record{name, Counter(), start};
    if (perf.mRecordTop < perf.mRecords.size())
        perf.mRecords[perf.mRecordTop] = record;
    else
        perf.mRecords.push_back(record);
    ++perf.mRecordTop;
}

void CollatePerfRecords(PerfState& perf)
{
    const uint64_t collateStart = Counter();
    for (size_t i = 0; i < perf.mRecordTop; ++i)
    {
        const PerfRecord& record = perf.mRecords[i];
        if (record.mStart)
        {
            PerfSummary& summary = perf.mSummaries[record.mName];
            ++summary.mCallCount;
            if (++summary.mStartCount == 1)
                summary.mStartTime = record.mCounter;
        }
        else
        {
            auto found = perf.mSummaries.find(record.mName);
            if (found == perf.mSummaries.end())
                continue;
            PerfSummary& summary = found->second;
            if (--summary.mStartCount == 0)
            {
                const uint64_t length = record.mCounter - summary.mStartTime;
                summary.mDuration += length;
                if (double(length) > summary.mLongestCall)
                    summary.mLongestCall = double(length);
            }
        }
    }
    perf.mRecordTop = 0;
    perf.mCollateTime += Counter() - collateStart;
}

struct TraceState
{
    std::mutex mMutex; // the loading thread may trace too
    FILE* mFile = nullptr;
    int32_t mFileNumber = 0; // 1 or 2 once a file was opened
    int64_t mWritten = 0;    // characters written to the current file
};

TraceState& Trace()
{
    static TraceState* state = new TraceState; // never destroyed, like the profiler
    return *state;
}

void TraceWrite(const char* text, size_t length, bool addLineFeed)
{
    TraceState& trace = Trace();
    std::lock_guard<std::mutex> lock(trace.mMutex);
    if (trace.mFile == nullptr)
    {
        trace.mFileNumber = trace.mFileNumber == 1 ? 2 : 1;
        trace.mFile = fopen(StrFormat("trace%d.txt", trace.mFileNumber).c_str(), "w");
        if (trace.mFile == nullptr)
            return;
    }
    fwrite(text, 1, length, trace.mFile);
    if (addLineFeed)
        fputc('\n', trace.mFile);
    fflush(trace.mFile);
    trace.mWritten += int64_t(length);
    if (trace.mWritten > kTraceFileLimit)
    {
        fclose(trace.mFile);
        trace.mFile = nullptr;
        trace.mWritten = 0;
    }
}

} // namespace

int64_t GetCPUSpeed()
{
    return int64_t(kPerfCounterRate);
}

int32_t GetCPUSpeedMHz()
{
    return int32_t(GetCPUSpeed() / 1000000);
}

// ---- PerfTimer -------------------------------------------------------------------------

PerfTimer::PerfTimer() : mStartTime(0), mDuration(0), mRunning(false) {}

void PerfTimer::Start()
{
    mStartTime = Counter();
    mRunning = true;
}

void PerfTimer::Stop()
{
    if (!mRunning)
        return;
    CalcDuration();
    mRunning = false;
}

double PerfTimer::GetDuration()
{
    if (mRunning)
        CalcDuration();
    return mDuration;
}

void PerfTimer::CalcDuration()
{
    mDuration = CountsToMs(double(Counter() - mStartTime));
}

// ---- VaxoPerf --------------------------------------------------------------------------

void VaxoPerf::BeginPerf(bool measurePerfOverhead)
{
    PerfState& perf = Perf();
    perf.mSummaries.clear();
    perf.mOpenCount = 0;
    perf.mCollateTime = 0;
    perf.mRecordTop = 0;
    perf.mStartTime = Counter();
    if (!measurePerfOverhead)
        perf.mIsOn = true;
}

void VaxoPerf::EndPerf()
{
    PerfState& perf = Perf();
    CollatePerfRecords(perf);
    perf.mIsOn = false;
    perf.mTotalTime = CountsToMs(double(Counter() - perf.mStartTime - perf.mCollateTime));
    for (auto& entry : perf.mSummaries)
    {
        PerfSummary& summary = entry.second;
        summary.mMillisecondDuration = CountsToMs(double(summary.mDuration));
        summary.mLongestCall = CountsToMs(summary.mLongestCall);
    }
}

void VaxoPerf::StartTiming(const char* name)
{
    PerfState& perf = Perf();
    if (!perf.mIsOn)
        return;
    ++perf.mOpenCount;
    AddRecord(perf, name, true);
}

void VaxoPerf::StopTiming(const char* name)
{
    PerfState& perf = Perf();
    if (!perf.mIsOn)
        return;
    AddRecord(perf, name, false);
    if (--perf.mOpenCount == 0)
        CollatePerfRecords(perf);
}

std::string VaxoPerf::GetResults()
{
    const PerfState& perf = Perf();
    // StrFormat grows to fit, so a long section name is printed whole.
    std::string result = StrFormat("Total Time: %.2f\n", perf.mTotalTime);
    for (const auto& entry : perf.mSummaries)
    {
        const PerfSummary& summary = entry.second;
        const double percent =
            perf.mTotalTime > 0 ? summary.mMillisecondDuration * 100.0 / perf.mTotalTime : 0.0;
        result += StrFormat("%s (%d calls, %%%.2f time): %.2f (%.2f avg, %.2f longest)\n",
                            entry.first.c_str(), summary.mCallCount, percent, summary.mMillisecondDuration,
                            summary.mMillisecondDuration / summary.mCallCount, summary.mLongestCall);
    }
    return result;
}

bool VaxoPerf::IsPerfOn()
{
    return Perf().mIsOn;
}

void VaxoPerf::ResetForTest()
{
    PerfState& perf = Perf();
    BeginPerf(true);
    perf.mIsOn = false;
    perf.mRecords.clear();
    perf.mTotalTime = 0;
}

// ---- Trace -----------------------------------------------------------------------------

void VaxoTrace(const char* text)
{
    TraceWrite(text, strlen(text), true);
}

void VaxoTraceFmt(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    const std::string text = vformat(format, args);
    va_end(args);
    TraceWrite(text.data(), text.size(), false);
}

void OutputDebug(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    vformat(format, args);
    va_end(args);
}

void VaxoTraceResetForTest()
{
    TraceState& trace = Trace();
    std::lock_guard<std::mutex> lock(trace.mMutex);
    if (trace.mFile != nullptr)
        fclose(trace.mFile);
    trace.mFile = nullptr;
    trace.mFileNumber = 0;
    trace.mWritten = 0;
}

// ---- Ratio -----------------------------------------------------------------------------

void Ratio::Set(int32_t numerator, int32_t denominator)
{
    // 64-bit so that INT32_MIN with -1 neither traps in % nor overflows in /.
    int64_t a = numerator;
    int64_t b = denominator;
    while (b != 0)
    {
        const int64_t rest = a % b;
        a = b;
        b = rest;
    }
    const int64_t divisor = a == 0 ? 1 : a; // only for 0/0
    mNumerator = int32_t(uint32_t(int64_t(numerator) / divisor));
    mDenominator = int32_t(uint32_t(int64_t(denominator) / divisor));
}

} // namespace Vaxo
