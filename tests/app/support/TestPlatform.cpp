#include "app/support/TestPlatform.h"

#include "app/VaxoAppBase.h"
#include "common/Common.h"
#include "widgets/WidgetManager.h"

#include <cstdio>
#include <functional>
#include <thread>

namespace Vaxo
{

TestFont::TestFont()
{
    mAscent = 8;
    mHeight = 12;
}

void TestFont::DrawString(Graphics*, int, int, const std::string& str, const Color&, const TRect<int>&)
{
    mDrawn.push_back(str);
}

TestPlatformDisplay::TestPlatformDisplay(GraphicsApp* app) : NativeDisplay(app)
{
    mRefreshRate = 100;
    mMillisecondsPerFrame = 10;
}

Image* TestPlatformDisplay::GetScreenImage()
{
    if (mScreen == nullptr)
    {
        mScreen.reset(new MemoryImage(mApp));
        mScreen->Create(mApp->mWidth, mApp->mHeight);
    }
    return mScreen.get();
}

TestPlatform::TestPlatform(VaxoAppBase* app) : Platform(app) {}

TestPlatform::~TestPlatform()
{
    if (mFinalCalls != nullptr)
        *mFinalCalls = mCalls;
}

void TestPlatform::Log(const std::string& call)
{
    std::lock_guard<std::mutex> lock(mLogMutex);
    mCalls.push_back(call);
}

std::vector<std::string> TestPlatform::CallsStartingWith(const std::string& prefix) const
{
    std::lock_guard<std::mutex> lock(mLogMutex);
    std::vector<std::string> found;
    for (const std::string& call : mCalls)
    {
        if (call.compare(0, prefix.size(), prefix) == 0)
            found.push_back(call);
    }
    return found;
}

void TestPlatform::AppInit()
{
    Log("AppInit");
    mApp->mHasFocus = true;
    mApp->mActive = true;
    mApp->mWidgetManager->mAppHasFocus = true;
    OpenSettingsStore();
}

bool TestPlatform::IsAlreadyRunning()
{
    Log("IsAlreadyRunning");
    return mAlreadyRunning;
}

int TestPlatform::InitDisplay(bool)
{
    Log("InitDisplay");
    if (mApp->mDisplay == nullptr)
    {
        mApp->mDisplay = new TestPlatformDisplay(mApp);
        mApp->mDisplay->mIs3D = m3DOnFirstDisplay;
    }
    mApp->mIsPhysWindowed = mApp->mIsWindowed;
    mApp->PreDDInterfaceInitHook();
    mApp->DeleteNativeImageData();
    int result = 0;
    if (!mInitDisplayResults.empty())
    {
        result = mInitDisplayResults.front();
        mInitDisplayResults.pop_front();
    }
    mApp->DemoSyncRefreshRate();
    if (result != 0)
    {
        mApp->mDisplay->mErrorString = mDisplayError;
        return result;
    }
    mApp->ReInitImages();
    mApp->mWidgetManager->mScreenImage = static_cast<MemoryImage*>(mApp->mDisplay->GetScreenImage());
    mApp->mWidgetManager->MarkAllDirty();
    mApp->PostDDInterfaceInitHook();
    return 0;
}

void TestPlatform::DestroyDisplay()
{
    Log("DestroyDisplay");
    delete mApp->mDisplay;
    mApp->mDisplay = nullptr;
}

bool TestPlatform::Handle3DProblems()
{
    Log("Handle3DProblems");
    return false;
}

bool TestPlatform::Redraw(TRect<int>*)
{
    mPresentTimes.push_back(GetAccurateTime());
    return mRedrawResult;
}

void TestPlatform::SetCursor(int cursor)
{
    Log("SetCursor(" + std::to_string(cursor) + ")");
}

void TestPlatform::ShowWindow(int showCommand)
{
    Log("ShowWindow(" + std::to_string(showCommand) + ")");
}

int TestPlatform::MessageBoxA(const char* text, const char* caption, uint32_t type, bool)
{
    Log("MessageBoxA(" + std::to_string(type) + "," + caption + "," + text + ")");
    std::fprintf(stderr, "%s: %s\n", caption, text);
    if (mMessageBoxAnswers.empty())
        return mDefaultAnswer;
    int answer = mMessageBoxAnswers.front();
    mMessageBoxAnswers.pop_front();
    return answer;
}

int TestPlatform::MessageBoxW(const wchar_t* text, const wchar_t* caption, uint32_t type, bool modal)
{
    return MessageBoxA(WStringToString(text).c_str(), WStringToString(caption).c_str(), type, modal);
}

void TestPlatform::DoMessageLoop()
{
    if (mOnMessageLoop)
        mOnMessageLoop();
}

NativeImage* TestPlatform::CreateNativeImage()
{
    mNativeImagesMade++;
    return new TestNativeImage(mApp->mDisplay);
}

Font* TestPlatform::CreateFont(const std::string&, int, bool, bool, bool, bool)
{
    mFontsMade++;
    return new TestFont();
}

uint32_t TestPlatform::GetCurrentThreadId()
{
    // Never 0, which means "not known".
    return uint32_t(std::hash<std::thread::id>()(std::this_thread::get_id())) | 1u;
}

HTHREAD_* TestPlatform::BeginThread(uint32_t (*proc)(void*), void* arg)
{
    Log("BeginThread");
    return reinterpret_cast<HTHREAD_*>(new std::thread(proc, arg));
}

void TestPlatform::WaitForThread(HTHREAD_* thread)
{
    Log("WaitForThread");
    std::thread* running = reinterpret_cast<std::thread*>(thread);
    running->join();
    delete running;
}

void TestPlatform::SetThreadPriority(HTHREAD_*, int priority)
{
    Log("SetThreadPriority(" + std::to_string(priority) + ")");
}

} // namespace Vaxo
