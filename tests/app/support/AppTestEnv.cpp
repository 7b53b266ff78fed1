#include "app/support/AppTestEnv.h"

#include "common/Common.h"
#include "common/Registry.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <stdexcept>

namespace Vaxo
{

namespace
{
// The temporary HOMEs of live environments, with the process that made each. A process
// that leaves through exit() (a death test's child on a fatal path) runs no destructor of
// its stack; the HOMEs it made are removed as it exits all the same. A forked child leaves
// its parent's alone.
class LiveHomes
{
public:
    void Add(const std::string& home)
    {
        std::lock_guard<std::mutex> lock(mMutex);
        mHomes[home] = getpid();
    }
    void Remove(const std::string& home)
    {
        std::lock_guard<std::mutex> lock(mMutex);
        mHomes.erase(home);
    }
    ~LiveHomes()
    {
        std::error_code ignored;
        for (const auto& [home, pid] : mHomes)
            if (pid == getpid())
                std::filesystem::remove_all(home, ignored);
    }

private:
    std::mutex mMutex;
    std::map<std::string, pid_t> mHomes;
};

LiveHomes& Homes()
{
    static LiveHomes homes;
    return homes;
}
} // namespace

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
    Homes().Add(mHome);
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
    Homes().Remove(mHome);
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
