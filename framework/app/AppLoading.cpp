// The loading thread (the game's LoadingThreadProc, handed over to the main thread at an
// update), the cursor and timer threads, and the cursor choice.
#include "app/VaxoAppBase.h"

namespace Vaxo
{

void VaxoAppBase::StartLoadingThread()
{
    if (mLoadingThreadStarted)
        return;
    WaitForLoadingThread();
    mYieldMainThread = true;
    mPlatform->SetThreadPriority(nullptr, 3);
    mLoadingThreadStarted = true;
    mLoadingThread = mPlatform->BeginThread(LoadingThreadProcStub, this);
    // A platform without threads: the work runs here, so that loading still completes
    // and the main loop stops yielding to a thread that does not exist.
    if (mLoadingThread == nullptr)
        LoadingThreadProcStub(this);
}

uint32_t VaxoAppBase::LoadingThreadProcStub(void* app)
{
    VaxoAppBase* self = static_cast<VaxoAppBase*>(app);
    self->LoadingThreadProc();
    std::lock_guard<std::mutex> lock(self->mDeferredMutex);
    // Release: whatever the work made is visible to the main thread that sees the flag.
    self->mLoadingThreadCompleted.store(true, std::memory_order_release);
    self->mDeferredSignal.notify_all();
    return 0;
}

void VaxoAppBase::WaitForLoadingThread()
{
    if (mLoadingThread == nullptr)
        return;
    {
        // A thread that handed a fatal error over waits for the exit, and the loading
        // thread may be that one: the exit cannot wait for it.
        std::unique_lock<std::mutex> lock(mDeferredMutex);
        mDeferredSignal.wait(lock, [this] { return mLoadingThreadCompleted || mDeferredExit; });
    }
    if (mDeferredExit)
        ProcessDeferredErrors();
    mPlatform->WaitForThread(mLoadingThread);
    mLoadingThread = nullptr;
}

double VaxoAppBase::GetLoadingThreadProgress()
{
    if (mLoaded)
        return 1.0;
    const int32_t total = mNumLoadingThreadTasks.load(std::memory_order_acquire);
    const int32_t completed = mCompletedLoadingThreadTasks.load(std::memory_order_acquire);
    if (!mLoadingThreadStarted || total <= 0 || completed <= 0)
        return 0.0;
    return completed < total ? double(completed) / total : 1.0;
}

void VaxoAppBase::LoadingThreadProc() {}
void VaxoAppBase::LoadingThreadCompleted() {}

void VaxoAppBase::StartCursorThread()
{
    if (mCursorThread == nullptr)
        mCursorThread = mPlatform->BeginThread(CursorThreadProcStub, this);
}

uint32_t VaxoAppBase::CursorThreadProcStub(void* app)
{
    static_cast<VaxoAppBase*>(app)->mPlatform->CursorThreadProc();
    return 0;
}

uint32_t VaxoAppBase::TimerThread(void* app)
{
    static_cast<VaxoAppBase*>(app)->mPlatform->TimerThreadProc();
    return 0;
}

void VaxoAppBase::SetCursor(int cursorNum)
{
    mCursorNum = cursorNum;
    EnforceCursor();
}

int VaxoAppBase::GetCursor()
{
    return mCursorNum;
}

void VaxoAppBase::SetCursorImage(int cursorNum, Image* image)
{
    if (cursorNum < 0 || cursorNum >= kNumCursors)
        return;
    mCursorImages[cursorNum] = image;
    EnforceCursor();
}

void VaxoAppBase::EnableCustomCursors(bool enabled)
{
    mCustomCursorsEnabled = enabled;
    EnforceCursor();
}

void VaxoAppBase::EnforceCursor()
{
    if (mDisplay == nullptr)
        return;
    bool changed = false;
    if (mSEHOccured || !mMouseIn)
    {
        mPlatform->SetCursor(CURSOR_NONE);
        changed = mPlatform->SetCursorImage(nullptr);
    }
    else
    {
        Image* image = mCursorNum >= 0 && mCursorNum < kNumCursors ? mCursorImages[mCursorNum] : nullptr;
        bool useImage =
            image != nullptr && (mPlayingDemo || mCustomCursorsEnabled || mCursorNum == CURSOR_CUSTOM);
        if (useImage)
        {
            changed = mPlatform->SetCursorImage(image);
            mPlatform->SetCursor(mPlayingDemo
                                     ? (mPlatform->IsMouseIn(false) ? CURSOR_NO_ENTRY : CURSOR_POINTER)
                                     : CURSOR_INVISIBLE);
        }
        else
        {
            mPlatform->SetCursor(mCursorNum);
            changed = mPlatform->SetCursorImage(nullptr);
        }
    }
    if (changed)
        mCustomCursorDirty = true;
}

} // namespace Vaxo
