// Demo recording and playback: the bit-packed command stream, the demo file, the playback
// keys and the time left. Files and synchronised values are in AppFileOps.cpp.
#include "app/VaxoAppBase.h"

#include "graphics/NativeDisplay.h"

namespace Vaxo
{

void VaxoAppBase::WriteDemoTimingBlock()
{
    // PENDING: the 4-bit time field, with fillers (id 31) for gaps of 16 updates or more.
}

void VaxoAppBase::DemoRecordWindowMessage(WinEventType, int, int, int)
{
    // PENDING: record the window event as its demo command.
}

void VaxoAppBase::DemoAddMarker(const std::string&)
{
    // PENDING: append a marker while recording; end a run to a marker while playing.
}

void VaxoAppBase::DemoSyncRefreshRate()
{
    if (mDisplay != nullptr)
        mSyncRefreshRate = int32_t(mDisplay->mRefreshRate);
    // PENDING: record command 23 (mIsWindowed, low byte of the rate) while recording.
}

void VaxoAppBase::DemoAssertStringEqual(const std::string&)
{
    // PENDING: record command 19 / skip it on playback.
}

void VaxoAppBase::DemoAssertIntEqual(int)
{
    // PENDING: record command 20 / skip it on playback.
}

void VaxoAppBase::WriteDemoBuffer()
{
    // PENDING: write the demo file when recording.
}

bool VaxoAppBase::ReadDemoBuffer(std::string& error)
{
    // PENDING: read and check the demo file; until then no demo can be played.
    error = "Demo file not found: " + mDemoFileName;
    return false;
}

bool VaxoAppBase::PrepareDemoCommand(bool)
{
    // PENDING: read the next command head when one is pending.
    return false;
}

void VaxoAppBase::ProcessDemo()
{
    if (!mPlayingDemo)
        return;
    // PENDING: apply the commands due at this update.
}

void VaxoAppBase::HandleDemoKeyPress(char)
{
    // PENDING: the playback keys (speed, pause, skip ahead, marker, step, sound).
}

void VaxoAppBase::DemoDoRecNum(int)
{
    // PENDING: record to the next numbered demo file.
}

bool VaxoAppBase::ListDemoMarkers()
{
    return false;
}

bool VaxoAppBase::DemoJumpToTime()
{
    return false;
}

int VaxoAppBase::GetMaxDemoFileNum(const std::string&, int, bool)
{
    return 0;
}

void VaxoAppBase::DemoRegisterHandle(void*) {}

void VaxoAppBase::DemoWaitForHandle(void*) {}

bool VaxoAppBase::DemoCheckHandle(void*)
{
    return false;
}

void ToggleDemoSoundVolume()
{
    VaxoAppBase* app = gVaxoAppBase;
    if (app == nullptr)
        return;
    if (app->GetMusicVolume() != 0.0)
    {
        app->mDemoMusicVolume = app->mMusicVolume;
        app->SetMusicVolume(0.0);
    }
    else
    {
        app->SetMusicVolume(app->mDemoMusicVolume);
    }
    if (app->GetSfxVolume() != 0.0)
    {
        app->mDemoSfxVolume = app->mSfxVolume;
        app->SetSfxVolume(0.0);
    }
    else
    {
        app->SetSfxVolume(app->mDemoSfxVolume);
    }
}

void CalculateDemoTimeLeft()
{
    // PENDING: refresh gDemoTimeLeftImage with the playback time left, "%02d:%02d:%02d".
}

} // namespace Vaxo
