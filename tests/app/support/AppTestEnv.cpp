#include "app/support/AppTestEnv.h"

#include "common/Common.h"
#include "common/Registry.h"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace Vaxo
{

AppTestEnv::AppTestEnv(uint32_t startMs) : mClock(startMs), mScopedClock(mClock)
{
    const char* home = std::getenv("HOME");
    mHadHome = home != nullptr;
    mOldHome = mHadHome ? home : "";
    std::string base = AddTrailingSlash(mHadHome && *home != 0 ? home : "/tmp");
    std::filesystem::create_directories(base);
    std::string pattern = base + "apptest.XXXXXX";
    if (mkdtemp(&pattern[0]) == nullptr)
        throw std::runtime_error("cannot make a temporary HOME below " + base);
    mHome = pattern + "/";
    setenv("HOME", mHome.c_str(), 1);

    mOldAppDataFolder = gAppDataFolder;
    RegistryResetForTest();
    mOldFactory = SetPlatformFactory(
        [this](VaxoAppBase* app)
        {
            mPlatform = new TestPlatform(app);
            mPlatform->mFinalCalls = &mFinalCalls;
            return mPlatform;
        });
}

AppTestEnv::~AppTestEnv()
{
    SetPlatformFactory(mOldFactory);
    RegistryResetForTest();
    gAppDataFolder = mOldAppDataFolder;
    if (mHadHome)
        setenv("HOME", mOldHome.c_str(), 1);
    else
        unsetenv("HOME");
    std::error_code ignored;
    std::filesystem::remove_all(mHome, ignored);
}

void RecordingApp::ReadFromRegistry()
{
    Platform()->Log("ReadFromRegistry");
    VaxoAppBase::ReadFromRegistry();
}

void RecordingApp::WriteToRegistry()
{
    Platform()->Log("WriteToRegistry");
    VaxoAppBase::WriteToRegistry();
}

void RecordingApp::LoadingThreadProc()
{
    if (mLoadingWork)
        mLoadingWork();
}

void RecordingApp::LoadingThreadCompleted()
{
    Platform()->Log("LoadingThreadCompleted");
    mCompletedOnThreads.push_back(mPlatform->GetCurrentThreadId());
}

} // namespace Vaxo
