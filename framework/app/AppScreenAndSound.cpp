// Screen mode and hardware acceleration, sound levels and muting, and the small
// remaining operations: a second copy, web pages, crash notices.
#include "app/VaxoAppBase.h"

#include "app/MusicInterface.h"
#include "app/SoundInstance.h"
#include "app/SoundManager.h"
#include "graphics/NativeDisplay.h"

namespace Vaxo
{

// ---- Screen mode and acceleration ------------------------------------------------------

void VaxoAppBase::SwitchScreenMode()
{
    SwitchScreenMode(mIsWindowed, Is3DAccelerated(), true);
}

void VaxoAppBase::SwitchScreenMode(bool wantWindowed)
{
    SwitchScreenMode(wantWindowed, Is3DAccelerated(), false);
}

void VaxoAppBase::SwitchScreenMode(bool wantWindowed, bool is3D, bool force)
{
    bool target = wantWindowed;
    if (mForceFullscreen)
        target = false;
    else if (mForceWindowed)
        target = true;

    if (target == mIsWindowed && !force)
    {
        Set3DAcclerated(is3D, true);
        return;
    }
    Set3DAcclerated(is3D, false);
    mIsWindowed = target;
    MakeWindow();

    if (mIsOpeningURL)
    {
        mPlatform->ShowWindow(4);
    }
    else
    {
        mPlatform->ShowWindow(1);
        mPlatform->BringToFront();
    }
    mPlatform->HandleNewWindowShowing();
}

void VaxoAppBase::Set3DAcclerated(bool is3D, bool reinit)
{
    // No display yet: there is no acceleration state to change.
    if (mDisplay == nullptr || mDisplay->mIs3D == is3D)
        return;
    mChanged3D = true;
    mDisplay->mIs3D = is3D;
    if (!reinit)
        return;
    int result = mPlatform->InitDisplay(false);
    if (result != NativeDisplay::RESULT_OK)
        DisplayFailed(result, is3D);
}

bool VaxoAppBase::Is3DAccelerated()
{
    return mDisplay != nullptr && mDisplay->mIs3D;
}

bool VaxoAppBase::Is3DAccelerationSupported()
{
    return mDisplay != nullptr && mDisplay->Is3DSupported();
}

bool VaxoAppBase::Is3DAccelerationRecommended()
{
    return mDisplay != nullptr && mDisplay->Is3DRecommended();
}

bool VaxoAppBase::IsScreenSaver()
{
    return mIsScreenSaver;
}

// ---- Sound -----------------------------------------------------------------------------

void VaxoAppBase::PlaySample(int soundId)
{
    if (mSoundManager == nullptr)
        return;
    SoundInstance* instance = mSoundManager->GetSoundInstance(static_cast<unsigned int>(soundId));
    if (instance != nullptr)
        instance->Play(false, true);
}

void VaxoAppBase::PlaySample(int soundId, int pan)
{
    if (mSoundManager == nullptr)
        return;
    SoundInstance* instance = mSoundManager->GetSoundInstance(static_cast<unsigned int>(soundId));
    if (instance == nullptr)
        return;
    instance->SetPan(pan);
    instance->Play(false, true);
}

double VaxoAppBase::GetMusicVolume()
{
    return mMusicVolume;
}

double VaxoAppBase::GetSfxVolume()
{
    return mSfxVolume;
}

bool VaxoAppBase::IsMuted()
{
    return mMuteCount > 0;
}

void VaxoAppBase::SetMusicVolume(double volume)
{
    mMusicVolume = volume;
    if (mMusicInterface != nullptr)
        mMusicInterface->SetVolume(IsMuted() ? 0.0 : volume);
}

void VaxoAppBase::SetSfxVolume(double volume)
{
    mSfxVolume = volume;
    if (mSoundManager != nullptr)
        mSoundManager->SetVolume(IsMuted() ? 0.0 : volume);
}

void VaxoAppBase::Mute(bool autoMute)
{
    mMuteCount++;
    if (autoMute)
        mAutoMuteCount++;
    SetMusicVolume(mMusicVolume);
    SetSfxVolume(mSfxVolume);
}

void VaxoAppBase::Unmute(bool autoMute)
{
    if (mMuteCount > 0)
    {
        mMuteCount--;
        // Never below zero: "Muted" is saved as the count minus the automatic count, and a
        // negative automatic count would save an unmuted player as muted.
        if (autoMute && mAutoMuteCount > 0)
            mAutoMuteCount--;
    }
    SetMusicVolume(mMusicVolume);
    SetSfxVolume(mSfxVolume);
}

MusicInterface* VaxoAppBase::CreateMusicInterface()
{
    MusicInterface* music = nullptr;
    if (!mNoSoundNeeded && !mNoMusic)
        music = mPlatform->CreateMusicInterface();
    // A platform without music gets the silent player.
    return music != nullptr ? music : new MusicInterface();
}

// ---- Second copy, web pages, crashes ---------------------------------------------------

void VaxoAppBase::HandleGameAlreadyRunning()
{
    if (!mOnlyAllowOneCopy)
        return;
    mPlatform->NotifyGameCopy();
    DoExit(0);
}

void VaxoAppBase::HandleNotifyGameMessage(int type, int)
{
    if (type != 0)
        return;
    if (mPlatform->IsMinimized())
        mPlatform->ShowWindow(9);
    mPlatform->BringToFront();
}

bool VaxoAppBase::OpenURL(const std::string& url, bool shutdownOnOpen)
{
    if (mIsOpeningURL && url == mOpeningURL)
        return true;
    mShutdownOnURLOpen = shutdownOnOpen;
    mIsOpeningURL = true;
    mOpeningURL = url;
    mLastURLOpenTime = GetTicks();
    if (LaunchWebBrowser(url))
        return true;
    URLOpenFailed(url);
    return false;
}

void VaxoAppBase::URLOpenFailed(const std::string&)
{
    mIsOpeningURL = false;
}

void VaxoAppBase::URLOpenSucceeded(const std::string&)
{
    mIsOpeningURL = false;
    if (mShutdownOnURLOpen)
        Shutdown();
}

void VaxoAppBase::SEHOccured()
{
    SetMusicVolume(0.0);
    mPlatform->ShowWindow(0);
    mSEHOccured = true;
    EnforceCursor();
}

std::string VaxoAppBase::GetGameSEHInfo()
{
    uint32_t seconds = (GetTicks() - mTimeLoaded) / 1000;
    std::string info;
    info += "Product: " + mProductName + "\r\n";
    info += "Version: " + mProductVersion + "\r\n";
    info += StrFormat("Time Loaded: %02d:%02d:%02d\r\n", int(seconds / 3600), int((seconds / 60) % 60),
                      int(seconds % 60));
    info += std::string("Fullscreen: ") + (mIsWindowed ? "No" : "Yes") + "\r\n";
    info += StrFormat("Primary ThreadId: %X\r\n", mPrimaryThreadId);
    return info;
}

void VaxoAppBase::GetSEHWebParams(std::map<std::string, std::string>*) {}

std::string VaxoAppBase::NotifyCrashHook()
{
    return std::string();
}

void VaxoAppBase::LogScreenSaverError(const std::string&) {}

bool VaxoAppBase::AppCanRestore()
{
    return true;
}

} // namespace Vaxo
