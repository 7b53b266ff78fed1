// The main loop: fixed updates of mFrameTime milliseconds from a time accumulator capped
// at 200 ms, drawing of the dirty widgets when no update is due, sleeping otherwise; the
// frame-rate overlay; presenting with display recovery. Re-entrant: modal waits call
// UpdateApp themselves, and Shutdown makes every nested call return.
#include "app/AppOverlay.h"
#include "app/DemoFile.h"
#include "app/MusicInterface.h"
#include "app/SoundManager.h"
#include "app/VaxoAppBase.h"
#include "common/Clock.h"
#include "common/MTRand.h"
#include "graphics/Color.h"
#include "graphics/Font.h"
#include "graphics/Graphics.h"
#include "graphics/MemoryImage.h"
#include "graphics/NativeDisplay.h"
#include "widgets/WidgetManager.h"

#include <algorithm>
#include <cmath>

namespace Vaxo
{

Font* gFPSFont = nullptr;
MemoryImage* gFPSImage = nullptr;
PerfTimer gFPSTimer;
int32_t gFrameCount = 0;
int32_t gFPSDisplay = 0;
bool gForceDisplay = false;
bool gIsFailing = false;
MemoryImage* gDemoTimeLeftImage = nullptr;

namespace
{
// The most real time the accumulator holds (20 updates at normal speed).
constexpr double kMaxTimeAcc = 200.0;
// The longest the main thread sleeps per step to leave time to the loading thread.
constexpr int32_t kMaxLoadingYieldMs = 250;

// Sleeps until the millisecond clock reaches a deadline, waking just after its turn.
// A sleep of whole milliseconds ends as far into a millisecond as it began, so an update
// after one would start up to a millisecond late, by whatever the drawing before it cost.
// The waiter learns where in a millisecond of the finer profiler counter the clock turns
// (from the naps that see a turn) and sleeps in one go to the deadline's turn, napping
// after it only when the turn has not come. SDL's clock reads one millisecond ahead for
// part of every second (it truncates a negative nanosecond difference towards zero), so
// its turns there come a millisecond early: waking on the grid of the earlier wakes,
// whole milliseconds on, keeps the updates evenly spaced through both odd ticks. The clock
// and the counter are read through the time source, so tests' fake clock drives it.
class TickWaiter
{
public:
    void SleepUntil(uint32_t deadline)
    {
        TimeSource& clock = GetTimeSource();
        bool aimed = false;
        int64_t aim = -1;      // profiler count the sleep was aimed at; -1 none
        int64_t napStart = -1; // profiler count when the last sleep, a nap, began; -1 none
        for (;;)
        {
            const int64_t now = int64_t(clock.PerfCounter());
            const int32_t left = int32_t(deadline - clock.AccurateTime());
            if (left <= 0)
            {
                // A turn seen by a nap came no more than a nap ago, unless the nap
                // overslept (then it tells little).
                if (napStart >= 0 && now - napStart <= 3 * kNapCounts)
                {
                    mTurnPhase = int32_t(now % kCountsPerMs);
                    aim = now;
                }
                if (aim >= 0)
                {
                    mHaveGrid = true;
                    mGrid = aim;
                    mGridTick = deadline;
                }
                return;
            }
            if (!aimed && mTurnPhase >= 0)
            {
                aimed = true;
                aim = TurnOf(deadline, now, left);
                if (aim > now)
                {
                    napStart = -1;
                    clock.SleepMicros(uint32_t((aim - now) * kMicrosPerCount));
                    continue;
                }
            }
            aim = -1;
            if (left > 1)
            {
                napStart = -1;
                clock.Sleep(uint32_t(left - 1));
                continue;
            }
            napStart = now;
            clock.SleepMicros(uint32_t(kNapCounts * kMicrosPerCount));
        }
    }

private:
    static constexpr int64_t kCountsPerMs = int64_t(kPerfCounterRate / 1000);
    static constexpr int64_t kMicrosPerCount = int64_t(1000000 / kPerfCounterRate);
    // A nap: 100 microseconds.
    static constexpr int64_t kNapCounts = 100 / kMicrosPerCount;

    // The profiler count at which the clock, reading `left` short of the deadline at
    // `now`, turns to it: the next turn, then whole milliseconds; or the grid's point
    // when that lies up to a millisecond later.
    int64_t TurnOf(uint32_t deadline, int64_t now, int32_t left) const
    {
        const int64_t turn =
            now + kCountsPerMs - (now - mTurnPhase) % kCountsPerMs + int64_t(left - 1) * kCountsPerMs;
        if (!mHaveGrid)
            return turn;
        const int64_t grid = mGrid + int64_t(int32_t(deadline - mGridTick)) * kCountsPerMs;
        return grid > turn && grid - turn <= kCountsPerMs + kNapCounts ? grid : turn;
    }

    // Profiler counts into a millisecond at which the clock turns; -1 until seen.
    int32_t mTurnPhase = -1;
    // The last wake's aim and the deadline it served.
    bool mHaveGrid = false;
    int64_t mGrid = 0;
    uint32_t mGridTick = 0;
};

// Main thread only; the clock's phase is the same for every application.
TickWaiter gTickWaiter;

// Random numbers are refused for the lifetime of the guard (drawing must not consume
// them, or demos would replay differently).
class NoRandGuard
{
public:
    NoRandGuard() { MTRand::SetRandAllowed(false); }
    ~NoRandGuard() { MTRand::SetRandAllowed(true); }
    NoRandGuard(const NoRandGuard&) = delete;
    NoRandGuard& operator=(const NoRandGuard&) = delete;
};

} // namespace

MemoryImage* NewOverlayImage(VaxoAppBase& app)
{
    MemoryImage* image = app.CreateNativeImage();
    image->Create(50, gFPSFont->GetHeight() + 4);
    image->SetImageMode(false, false);
    image->SetVolatile(true);
    image->PurgeBits();
    return image;
}

void PaintOverlay(MemoryImage* image, const std::string& text)
{
    Graphics g(image);
    g.SetColor(Color(0));
    g.FillRect(0, 0, image->GetWidth(), image->GetHeight());
    g.SetColor(Color(0xFFFFFF));
    g.SetFont(gFPSFont);
    g.DrawString(text, 2, gFPSFont->GetAscent());
    image->BitsChanged();
}

bool CreateFPSFont()
{
    if (gFPSFont == nullptr && gVaxoAppBase != nullptr)
        gFPSFont = gVaxoAppBase->CreateFont("Tahoma", 8, false, false, false, true);
    return gFPSFont != nullptr;
}

void VaxoAppBase::DoMainLoop()
{
    while (!mShutdown)
    {
        mExitToTop = false;
        UpdateApp();
    }
}

bool VaxoAppBase::UpdateApp()
{
    for (;;)
    {
        bool updated = false;
        if (!UpdateAppStep(&updated))
            return false;
        if (updated)
            return true;
    }
}

bool VaxoAppBase::UpdateAppStep(bool* updated)
{
    if (updated != nullptr)
        *updated = false;
    if (mExitToTop)
        return false;
    if (mUpdateAppState == UPDATE_FINISHED)
        mUpdateAppState = UPDATE_EVENTS;

    mUpdateAppDepth++;
    if (mUpdateAppState == UPDATE_EVENTS)
    {
        mPlatform->DoMessageLoop();
        ProcessDemo();
        if (!ProcessDeferredMessages(true))
            mUpdateAppState = UPDATE_DECIDE;
    }
    else
    {
        int32_t countBefore = mUpdateCount;
        Process(true);
        if (updated != nullptr)
            *updated = mUpdateCount != countBefore;
    }
    mUpdateAppDepth--;
    return true;
}

std::optional<bool> VaxoAppBase::FastForwardDemo(bool allowSleep)
{
    if (!mPlayingDemo)
        return std::nullopt;
    auto targetAhead = [this] { return mUpdateCount < mFastForwardToUpdateNum || mFastForwardToMarker; };
    if (targetAhead())
    {
        if (!mFastForwardMuted && !mFastForwardStep)
        {
            mFastForwardMuted = true;
            Mute(true);
        }
        // No update runs after Shutdown, however far the run was to go.
        while (!mShutdown && targetAhead())
        {
            mLastTime = GetAccurateTime();
            mTimeAcc = 0.0;
            int32_t countBefore = mUpdateCount;
            if (DoUpdateFrames())
            {
                ProcessSafeDeleteList();
                DoUpdateFramesF(1.0f);
                ProcessSafeDeleteList();
            }
            if (GetTicks() - mFastForwardRedrawTick > 999 || mFastForwardStep)
            {
                mFastForwardStep = false;
                mFastForwardRedrawTick = GetTicks();
                DrawDirtyStuff();
                mUpdateAppState = UPDATE_FINISHED;
                return true;
            }
            if (mUpdateCount == countBefore)
            {
                mUpdateAppState = UPDATE_FINISHED;
                // Held for the real loading thread: a frame's sleep instead of a spin.
                if (mLoaded != mDemoLoadDone)
                {
                    if (!allowSleep)
                        return false;
                    ThreadSleep(uint32_t(mFrameTime));
                }
                return true;
            }
        }
    }
    if (mFastForwardMuted)
    {
        mFastForwardMuted = false;
        if (mSoundManager != nullptr)
            mSoundManager->StopAllSounds();
        Unmute(true);
    }
    return std::nullopt;
}

bool VaxoAppBase::Process(bool allowSleep)
{
    ProcessDeferredErrors();
    if (mDeferredShutdown.exchange(false))
        Shutdown();
    if (const std::optional<bool> stepEnded = FastForwardDemo(allowSleep))
        return *stepEnded;

    if (mPaused || mUpdateMultiplier <= 0.0)
    {
        // Nothing to update: back to the window events at the next step, and sleep a
        // frame instead of spinning.
        mUpdateAppState = UPDATE_FINISHED;
        if (!allowSleep)
            return false;
        ThreadSleep(uint32_t(mFrameTime));
        ProcessSafeDeleteList();
        return true;
    }

    const double updateLength = mFrameTime / mUpdateMultiplier;
    uint32_t now = GetAccurateTime();
    UpdateFTimeAcc();

    bool draw = false;
    int32_t slept = 0;
    if (mUpdateAppState == UPDATE_DECIDE)
    {
        mNonDrawCount++;
        if (mNonDrawCount >= int32_t(std::ceil(mUpdateMultiplier * 10.0)) && mLoaded)
        {
            draw = true;
        }
        else if (mTimeAcc >= updateLength)
        {
            if (DoUpdateFrames())
            {
                mUpdateAppState = UPDATE_RAN;
            }
            else
            {
                // Updates are held (demo playback waits): the events first.
                mUpdateAppState = UPDATE_FINISHED;
                // Only the real loading thread ends this wait: a frame's sleep, as when paused.
                if (mPlayingDemo && mLoaded != mDemoLoadDone)
                {
                    if (!allowSleep)
                        return false;
                    ThreadSleep(uint32_t(mFrameTime));
                    slept = mFrameTime;
                }
            }
            mHasPendingDraw = true;
        }
        else
        {
            draw = true;
        }
    }
    else if (mUpdateAppState == UPDATE_RAN)
    {
        mUpdateAppState = UPDATE_FINISHED;
        ProcessSafeDeleteList();
        DoUpdateFramesF(1.0f);
        ProcessSafeDeleteList();
        mTimeAcc -= updateLength;
        if (mTimeAccHoldMs > 0)
            mTimeAcc = 0.0;
    }
    else
    {
        draw = true;
    }

    if (draw)
    {
        mUpdateAppState = UPDATE_FINISHED;
        mNonDrawCount = 0;
        if (mHasPendingDraw)
        {
            DrawDirtyStuff();
        }
        else
        {
            // Whole milliseconds until the accumulator holds an update (rounded up: the
            // clock counts whole ones, so a shorter wait would only spin).
            int32_t wait = int32_t(std::ceil(updateLength - mTimeAcc));
            if (wait >= 1)
            {
                if (!allowSleep)
                    return false;
                gTickWaiter.SleepUntil(mLastTime + uint32_t(wait));
                slept = wait;
            }
        }
    }

    if (mYieldMainThread)
    {
        // About twice the time the main thread used itself, for the loading thread.
        int32_t yield = 2 * int32_t(GetAccurateTime() - now) - 3 * slept;
        if (yield > kMaxLoadingYieldMs)
            yield = kMaxLoadingYieldMs;
        if (yield >= 0)
        {
            if (!allowSleep)
                return false;
            ThreadSleep(uint32_t(yield));
        }
    }

    ProcessSafeDeleteList();
    return true;
}

void VaxoAppBase::UpdateFTimeAcc()
{
    uint32_t now = GetAccurateTime();
    if (mLastTime != 0)
    {
        int32_t elapsed = int32_t(now - mLastTime);
        mTimeAcc = std::min(mTimeAcc + elapsed, kMaxTimeAcc);
        if (mTimeAccHoldMs > 0)
            mTimeAccHoldMs = std::max(0, mTimeAccHoldMs - elapsed);
    }
    mLastTime = now;
}

void VaxoAppBase::ClearUpdateBacklog(bool holdOff)
{
    mLastTime = GetAccurateTime();
    mTimeAcc = 0.0;
    if (holdOff)
        mTimeAccHoldMs = 1000;
}

void VaxoAppBase::HandleLoadingCompleted()
{
    mPlatform->SetThreadPriority(nullptr, 2);
    mYieldMainThread = false;
    mLoaded = true;
    LoadingThreadCompleted();
}

bool VaxoAppBase::DoUpdateFrames()
{
    if (mPlayingDemo)
    {
        if (mLoadingThreadCompleted && !mLoaded && mDemoLoadDone)
            HandleLoadingCompleted();
        // Updates wait for the real loading thread, and for the due demo command.
        if (mLoaded != mDemoLoadDone)
            return false;
        if (mUpdateCount == mDemoCommandTime)
            return false;
    }
    else if (mLoadingThreadCompleted && !mLoaded)
    {
        // The hand-over goes in the demo before what the hook records (files it reads, values
        // it synchronises): playback runs the hook once it has played the hand-over.
        if (mRecordingDemo)
            BeginDemoCommand(*this, DEMO_LOADING_DONE);
        HandleLoadingCompleted();
    }
    UpdateFrames();
    return true;
}

void VaxoAppBase::UpdateFrames()
{
    mUpdateCount++;
    if (!mMinimized)
        mWidgetManager->UpdateFrame();
    if (mMusicInterface != nullptr)
        mMusicInterface->Update();
    CleanSharedImages();
}

void VaxoAppBase::DoUpdateFramesF(float) {}

bool VaxoAppBase::DrawDirtyStuff()
{
    if (mDrawing)
        return false;
    NoRandGuard noRand;

    if (gIsFailing)
    {
        Redraw(nullptr);
        mHasPendingDraw = false;
        return false;
    }

    if (mShowFPS)
    {
        if (mShowFPSMode == 0 && CreateFPSFont())
        {
            gFrameCount++;
            if (gFPSImage == nullptr)
                gFPSImage = NewOverlayImage(*this);
            if (gFPSTimer.GetDuration() >= 1000.0 || gForceDisplay)
            {
                gFPSTimer.Stop();
                if (gForceDisplay)
                {
                    gForceDisplay = false;
                    gFPSDisplay = 0;
                }
                else
                {
                    gFPSDisplay = int32_t(gFrameCount * 1000 / gFPSTimer.GetDuration() + 0.5);
                }
                gFPSTimer.Start();
                gFrameCount = 0;
                PaintOverlay(gFPSImage, StrFormat("FPS: %d", gFPSDisplay));
            }
        }
        else if (mShowFPSMode == 1 && mWidgetManager != nullptr && CreateFPSFont())
        {
            if (gFPSImage == nullptr)
                gFPSImage = NewOverlayImage(*this);
            PaintOverlay(gFPSImage,
                         StrFormat("%d,%d", mWidgetManager->mLastMouseX, mWidgetManager->mLastMouseY));
        }
        if (mPlayingDemo)
            CalculateDemoTimeLeft();
    }

    uint32_t now = GetAccurateTime();
    if (now - mScreenSaverInfoTick > 1000)
    {
        mScreenSaverInfoTick = now;
        mPlatform->UpdateScreenSaverInfo(now);
    }

    mDrawing = true;
    bool drawn = mWidgetManager->DrawScreen();
    mDrawing = false;

    bool due = drawn || now - mLastDrawTick > 999 || mCustomCursorDirty;
    if (!due || int32_t(now - mNextDrawTick) < 0)
    {
        mHasPendingDraw = false;
        return false;
    }

    if (mShowFPS && gFPSImage != nullptr && mDisplay != nullptr && mDisplay->GetScreenImage() != nullptr)
    {
        Graphics g(mDisplay->GetScreenImage());
        int32_t fpsY = mHeight - gFPSImage->GetHeight() - 10;
        g.DrawImage(gFPSImage, mWidth - gFPSImage->GetWidth() - 10, fpsY);
        if (mPlayingDemo && gDemoTimeLeftImage != nullptr)
            g.DrawImage(gDemoTimeLeftImage, mWidth - gDemoTimeLeftImage->GetWidth() - 10,
                        fpsY - gDemoTimeLeftImage->GetHeight() - 5);
    }
    if (mWaitForVSync && mIsPhysWindowed && mDisplay != nullptr && mDisplay->mMillisecondsPerFrame > 0)
    {
        uint32_t sinceLast = GetAccurateTime() - mLastDrawTick;
        if (sinceLast < mDisplay->mMillisecondsPerFrame)
            ThreadSleep(mDisplay->mMillisecondsPerFrame - sinceLast);
    }
    mLastDrawTick = GetAccurateTime();
    Redraw(nullptr);
    UpdateFTimeAcc();
    uint32_t t = GetAccurateTime();
    if (mLoadingThreadStarted && !mLoadingThreadCompleted)
    {
        // While loading, presents are spaced by the draw time (at least 15 ms) plus 35.
        mNextDrawTick += std::max<uint32_t>(15, t - now) + 35;
        if (int32_t(t - mNextDrawTick) >= 0)
            mNextDrawTick = t;
    }
    else
    {
        mNextDrawTick = t;
    }
    mCustomCursorDirty = false;
    mHasPendingDraw = false;
    return true;
}

void VaxoAppBase::Redraw(TRect<int>* rect)
{
    if (mDrawing || mShutdown)
        return;
    if (mPlatform->Redraw(rect))
    {
        if (gIsFailing)
        {
            gIsFailing = false;
            mRedrawRetryTick = 0;
        }
        return;
    }
    gIsFailing = true;
    uint32_t t = GetTicks();
    // At most one recovery a second, active or not: re-making the display every frame
    // would stall the program.
    if (t - mRedrawRetryTick <= 1000)
        return;
    if (!mActive && !mIsPhysWindowed)
        return;
    if (mPlatform->IsMinimized() || mMinimized)
        return;
    mRedrawRetryTick = t;
    mWidgetManager->mScreenImage = nullptr;
    int result = mPlatform->InitDisplay(false);
    if (result == NativeDisplay::RESULT_INVALID_COLORDEPTH && mIsWindowed)
    {
        if (mActive && !mForceWindowed)
        {
            SwitchScreenMode(false);
            mForceFullscreen = true;
        }
    }
    else if (result == NativeDisplay::RESULT_3D_FAIL)
    {
        Set3DAcclerated(false, true);
    }
}

} // namespace Vaxo
