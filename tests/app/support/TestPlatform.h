// TestPlatform: the platform stand-in of application tests; runs the application
// headless against the fake clock.
//
// It writes down the calls the application makes of it (and whatever the test's own
// application logs through Log) in one ordered list, answers message boxes from a
// script without blocking (printing them to stderr, so death tests can match the text),
// and takes the results of InitDisplay and Redraw from the test. InitDisplay makes a
// TestPlatformDisplay, whose screen is a software image of the application's size, and
// binds it as the platform of this system does. Threads are real std::threads.
#pragma once

#include "app/Platform.h"
#include "graphics/Font.h"
#include "graphics/MemoryImage.h"
#include "graphics/NativeDisplay.h"
#include "graphics/NativeImage.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace Vaxo
{

// A display-format image without a surface: everything stays in its software pixels.
class TestNativeImage : public NativeImage
{
public:
    explicit TestNativeImage(NativeDisplay* display) : NativeImage(display) {}
    bool CreateSurface() override { return false; }
    bool LockSurfaceInternal() override { return false; }
    bool UnlockSurfaceInternal() override { return false; }
    bool HasSurface() override { return false; }
    void ReleaseSurface() override {}
    void SurfaceBlt(NativeImage*, const TRect<int>&, const TRect<int>&) override {}
};

// The font TestPlatform makes: ascent 8, height 12, 6 pixels a character; draws nothing
// but keeps every drawn text.
class TestFont : public Font
{
public:
    std::vector<std::string> mDrawn;

    TestFont();
    int StringWidth(const std::string& str) override { return 6 * int(str.size()); }
    void DrawString(Graphics* g, int x, int y, const std::string& str, const Color& color,
                    const TRect<int>& clipRect) override;
    Font* Duplicate() override { return new TestFont(*this); }
};

// The display of TestPlatform: 100 Hz, a software screen made on first use.
class TestPlatformDisplay : public NativeDisplay
{
public:
    explicit TestPlatformDisplay(GraphicsApp* app);
    Image* GetScreenImage() override;

    std::unique_ptr<MemoryImage> mScreen;
    // What Is3DSupported and Is3DRecommended answer.
    bool mRecommend3D = false;
    bool Is3DSupported() override { return true; }
    bool Is3DRecommended() override { return mRecommend3D; }
};

class TestPlatform : public Platform
{
public:
    // Every recorded call, in order: the name, with its arguments in parentheses for
    // MessageBoxA "(type,caption,text)", ShowWindow, SetCursor and SetThreadPriority.
    std::vector<std::string> mCalls;
    // Answers of the next message boxes; mDefaultAnswer once they are used up.
    std::deque<int> mMessageBoxAnswers;
    int mDefaultAnswer = 1;
    // Results of the next InitDisplay calls (0 once used up), and the display's error
    // text on failure.
    std::deque<int> mInitDisplayResults;
    std::string mDisplayError = "test display error";
    // 3D flag of the display InitDisplay makes the first time.
    bool m3DOnFirstDisplay = false;
    // What Redraw answers; every present's GetAccurateTime.
    bool mRedrawResult = true;
    std::vector<uint32_t> mPresentTimes;
    // Runs inside DoMessageLoop (to feed window events through mApp->HandleWinEvent).
    std::function<void()> mOnMessageLoop;
    std::string mCmdLine;
    bool mAlreadyRunning = false;
    bool mMinimized = false;
    // Images and fonts handed out.
    int32_t mNativeImagesMade = 0;
    int32_t mFontsMade = 0;
    // Receives mCalls when the platform is destroyed (with its application), if set.
    std::vector<std::string>* mFinalCalls = nullptr;

public:
    explicit TestPlatform(VaxoAppBase* app);
    ~TestPlatform() override;

    // Appends to mCalls (any thread).
    void Log(const std::string& call);
    // The calls whose name starts with prefix.
    std::vector<std::string> CallsStartingWith(const std::string& prefix) const;

    void AppInit() override;
    bool IsAlreadyRunning() override;
    void NotifyGameCopy() override { Log("NotifyGameCopy"); }
    int InitDisplay(bool firstTime) override;
    void DestroyDisplay() override;
    void RestoreScreenResolution() override { Log("RestoreScreenResolution"); }
    void HandlePrematureExit() override { Log("HandlePrematureExit"); }
    bool Handle3DProblems() override;
    bool Redraw(TRect<int>* rect) override;
    void SetCursor(int cursor) override;
    void ShowWindow(int showCommand) override;
    int MessageBoxA(const char* text, const char* caption, uint32_t type, bool modal) override;
    int MessageBoxW(const wchar_t* text, const wchar_t* caption, uint32_t type, bool modal) override;
    void BeginPopup() override { Log("BeginPopup"); }
    void EndPopup() override { Log("EndPopup"); }
    bool IsMinimized() override { return mMinimized; }
    void BringToFront() override { Log("BringToFront"); }
    void FinishInitWindow() override { Log("FinishInitWindow"); }
    void DoMessageLoop() override;
    NativeImage* CreateNativeImage() override;
    Font* CreateFont(const std::string& face, int pointSize, bool bold, bool italic, bool underline,
                     bool fourthFlag) override;
    std::string GetCmdLine() override { return mCmdLine; }
    uint32_t GetCurrentThreadId() override;
    HTHREAD_* BeginThread(uint32_t (*proc)(void*), void* arg) override;
    void WaitForThread(HTHREAD_* thread) override;
    void SetThreadPriority(HTHREAD_* thread, int priority) override;

private:
    mutable std::mutex mLogMutex;
};

} // namespace Vaxo
