// AppTestEnv and RecordingApp: a headless application for tests.
//
// AppTestEnv installs, for its lifetime, the fake clock (starting at 1000 ms), a
// temporary HOME below the test home (removed with its contents at the end), an empty
// settings store, and a platform factory that gives each new application a TestPlatform
// (mPlatform points at the last one; the application owns it). Declare it before the
// application so that it outlives it:
//
//   AppTestEnv env;
//   RecordingApp app;          // or any VaxoAppBase subclass
//   app.Init();                // AppInit, properties, settings, window, sound, InitHook
//   env.mClock.Advance(10);    // time moves only when told (or when the loop sleeps)
//   app.UpdateAppStep(nullptr);
//
// RecordingApp writes its hooks into the platform's call list ("InitHook", ...), so
// the order of hooks and platform calls can be checked in one list; its loading work is
// a settable function.
#pragma once

#include "app/Platform.h"
#include "app/VaxoAppBase.h"
#include "app/support/TestPlatform.h"
#include "common/Clock.h"

#include <cstdint>
#include <functional>
#include <string>

namespace Vaxo
{

class AppTestEnv
{
public:
    explicit AppTestEnv(uint32_t startMs = 1000);
    ~AppTestEnv();
    AppTestEnv(const AppTestEnv&) = delete;
    AppTestEnv& operator=(const AppTestEnv&) = delete;

    FakeTimeSource mClock;
    // The temporary HOME, ending in "/".
    std::string mHome;
    // The platform of the application made last.
    TestPlatform* mPlatform = nullptr;
    // Its calls, once it was destroyed with its application.
    std::vector<std::string> mFinalCalls;

private:
    ScopedTimeSource mScopedClock;
    std::string mOldHome;
    bool mHadHome;
    std::string mOldAppDataFolder;
    PlatformFactory mOldFactory;
};

class RecordingApp : public VaxoAppBase
{
public:
    // Runs on the loading thread as LoadingThreadProc.
    std::function<void()> mLoadingWork;
    // Platform thread ids LoadingThreadCompleted ran on.
    std::vector<uint32_t> mCompletedOnThreads;

    TestPlatform* Platform() { return static_cast<TestPlatform*>(mPlatform.get()); }

    void InitPropertiesHook() override { Platform()->Log("InitPropertiesHook"); }
    void AutoDemoHook() override { Platform()->Log("AutoDemoHook"); }
    void PreDisplayHook() override { Platform()->Log("PreDisplayHook"); }
    void PreDDInterfaceInitHook() override { Platform()->Log("PreDDInterfaceInitHook"); }
    void PostDDInterfaceInitHook() override { Platform()->Log("PostDDInterfaceInitHook"); }
    void InitHook() override { Platform()->Log("InitHook"); }
    void ShutdownHook() override { Platform()->Log("ShutdownHook"); }
    void PreTerminate() override { Platform()->Log("PreTerminate"); }
    void ReadFromRegistry() override;
    void WriteToRegistry() override;
    void LoadingThreadProc() override;
    void LoadingThreadCompleted() override;
};

} // namespace Vaxo
