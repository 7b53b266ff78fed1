// Demo recording and playback: the bit-packed command stream, the demo file, the playback
// keys and the time left. Files and synchronised values are in AppFileOps.cpp, the file
// format in DemoFile.cpp.
#include "app/AppOverlay.h"
#include "app/DemoFile.h"
#include "app/KeyCodes.h"
#include "app/VaxoAppBase.h"

#include "common/MTRand.h"
#include "graphics/MemoryImage.h"
#include "graphics/NativeDisplay.h"
#include "widgets/WidgetManager.h"

#include <algorithm>
#include <cerrno>
#include <climits>

namespace Vaxo
{

namespace
{
// A relative move holds -31 to 31 in 6 bits; absolute positions take 12 bits.
constexpr int32_t kMaxMouseDelta = 31;
constexpr int32_t kMaxMousePosition = 4095;
// The time field of a head holds 0 to 15 updates.
constexpr int32_t kMaxHeadGap = (1 << kDemoHeadTimeBits) - 1;

// Playback speeds the "+" and "-" keys stay within. The main loop forces a draw after
// ceil(speed x 10) update decisions: at the slowest that leaves room for an update (below
// 0.1 every decision would draw), and an update (80 ms) still fits in the 200 ms of time the
// loop accumulates; at the fastest the count stays a small whole number.
constexpr double kMinDemoSpeed = 1.0 / 8.0;
constexpr double kMaxDemoSpeed = 256.0;

// What ReportFailedSave names.
const char kDemoSaved[] = "the demo";

int32_t ClampToInt32(int64_t value)
{
    return int32_t(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
}

// The button code of a mouse event, and whether it is a press; 0 for a plain move.
int32_t MouseButtonCode(WinEventType type, bool* down)
{
    *down = type <= WINEVENT_RBUTTONDBLCLK;
    switch (type)
    {
    case WINEVENT_LBUTTONDOWN:
    case WINEVENT_LBUTTONUP:
        return 1;
    case WINEVENT_RBUTTONDOWN:
    case WINEVENT_RBUTTONUP:
        return -1;
    case WINEVENT_MBUTTONDOWN:
    case WINEVENT_MBUTTONUP:
        return 3;
    case WINEVENT_LBUTTONDBLCLK:
        return 2;
    case WINEVENT_RBUTTONDBLCLK:
        return -2;
    default:
        return 0;
    }
}
} // namespace

// ---- Recording ---------------------------------------------------------------------------

void VaxoAppBase::WriteDemoTimingBlock()
{
    while (int64_t(mUpdateCount) - mDemoCommandTime > kMaxHeadGap)
    {
        mDemoBuffer.WriteNumBits(kMaxHeadGap, kDemoHeadTimeBits);
        mDemoBuffer.WriteNumBits(0, 1);
        mDemoBuffer.WriteNumBits(DEMO_FILLER, kDemoCommandIdBits);
        mDemoCommandTime += kMaxHeadGap;
    }
    mDemoBuffer.WriteNumBits(mUpdateCount - mDemoCommandTime, kDemoHeadTimeBits);
    mDemoCommandTime = mUpdateCount;
}

void VaxoAppBase::DemoRecordWindowMessage(WinEventType type, int param, int x, int y)
{
    switch (type)
    {
    case WINEVENT_SIZE:
        BeginDemoCommand(*this, DEMO_SIZE);
        mDemoBuffer.WriteBoolean(param == 0);
        return;
    case WINEVENT_ACTIVATEAPP:
        BeginDemoCommand(*this, DEMO_ACTIVATE);
        mDemoBuffer.WriteNumBits(param != 0 ? 1 : 0, 1);
        return;
    case WINEVENT_KEYDOWN:
    case WINEVENT_SYSKEYDOWN:
    case WINEVENT_KEYUP:
    case WINEVENT_SYSKEYUP:
    {
        bool down = type == WINEVENT_KEYDOWN || type == WINEVENT_SYSKEYDOWN;
        BeginDemoCommand(*this, down ? DEMO_KEY_DOWN : DEMO_KEY_UP);
        mDemoBuffer.WriteNumBits(param, 8);
        return;
    }
    case WINEVENT_CHAR:
        BeginDemoCommand(*this, DEMO_CHAR);
        mDemoBuffer.WriteNumBits(0, 1);
        mDemoBuffer.WriteNumBits(int32_t(int8_t(param)), 8);
        return;
    case WINEVENT_CLOSE:
        BeginDemoCommand(*this, DEMO_CLOSE);
        return;
    case WINEVENT_MOUSEWHEEL:
        BeginDemoCommand(*this, DEMO_MOUSE_WHEEL);
        mDemoBuffer.WriteNumBits(param / kWheelNotch, 8);
        return;
    default:
        break;
    }
    if (type < WINEVENT_LBUTTONDOWN || type > WINEVENT_MOUSEMOVE)
        return;

    const int64_t dx = int64_t(x) - mDemoMouseX;
    const int64_t dy = int64_t(y) - mDemoMouseY;
    if (dx < -kMaxMouseDelta || dx > kMaxMouseDelta || dy < -kMaxMouseDelta || dy > kMaxMouseDelta)
    {
        // 12 bits hold 0 to 4095: a position beyond is kept at the edge, and the demo
        // mouse follows what playback will have, so later relative moves stay exact.
        x = std::clamp(x, 0, kMaxMousePosition);
        y = std::clamp(y, 0, kMaxMousePosition);
        BeginDemoCommand(*this, DEMO_MOUSE_POSITION);
        mDemoBuffer.WriteNumBits(x, 12);
        mDemoBuffer.WriteNumBits(y, 12);
    }
    else if (dx != 0 || dy != 0)
    {
        BeginDemoShortCommand(*this, DEMO_MOUSE_DELTA);
        mDemoBuffer.WriteNumBits(int32_t(dx), 6);
        mDemoBuffer.WriteNumBits(int32_t(dy), 6);
    }
    bool down = false;
    int32_t code = MouseButtonCode(type, &down);
    if (code != 0)
    {
        BeginDemoShortCommand(*this, DEMO_MOUSE_BUTTON);
        mDemoBuffer.WriteNumBits(down ? 1 : 0, 1);
        mDemoBuffer.WriteNumBits(code, 3);
    }
    mDemoMouseX = x;
    mDemoMouseY = y;
}

void VaxoAppBase::DemoAddMarker(const std::string& name)
{
    if (mRecordingDemo)
        mDemoMarkerList.emplace_back(name, mUpdateCount);
    else if (mPlayingDemo)
        mFastForwardToMarker = false;
}

void VaxoAppBase::DemoSyncRefreshRate()
{
    if (mDisplay != nullptr)
        mSyncRefreshRate = int32_t(mDisplay->mRefreshRate);
    if (!mRecordingDemo)
        return;
    BeginDemoCommand(*this, DEMO_REFRESH_SYNC);
    mDemoBuffer.WriteBoolean(mIsWindowed);
    mDemoBuffer.WriteByte(uint8_t(mSyncRefreshRate));
}

void VaxoAppBase::DemoAssertStringEqual(const std::string& text)
{
    if (mRecordingDemo)
    {
        BeginDemoCommand(*this, DEMO_ASSERT_STRING);
        WriteDemoString(mDemoBuffer, text);
    }
    else if (mPlayingDemo && TakeDemoAnswer(*this))
    {
        ReadDemoString(mDemoBuffer);
    }
}

void VaxoAppBase::DemoAssertIntEqual(int value)
{
    if (mRecordingDemo)
    {
        BeginDemoCommand(*this, DEMO_ASSERT_INT);
        mDemoBuffer.WriteLong(value);
    }
    else if (mPlayingDemo && TakeDemoAnswer(*this))
    {
        mDemoBuffer.ReadLong();
    }
}

void CheckDemoFileCanBeSaved(VaxoAppBase& app)
{
    const int folderError = MakeFolderOf(app.mDemoFileName);
    int reason = 0;
    // Reported once: the save at the end, if it fails too, tells nothing new.
    if (!CanSaveWholeFile(app.mDemoFileName, &reason))
        app.ReportFailedSave(kDemoSaved, app.mDemoFileName, folderError != 0 ? folderError : reason);
}

void VaxoAppBase::WriteDemoBuffer()
{
    if (!mRecordingDemo)
        return;
    DemoFile demo;
    demo.mRandSeed = mRandSeed;
    demo.mProductName = mProductName;
    demo.mMarkers = mDemoMarkerList;
    demo.mUpdateTotal = uint32_t(mUpdateCount);
    if (mDemoBuffer.GetDataLen() > 0)
        demo.mStream.assign(mDemoBuffer.GetDataPtr(), mDemoBuffer.GetDataPtr() + mDemoBuffer.GetDataLen());
    std::vector<uint8_t> bytes = BuildDemoFile(demo);
    const int folderError = MakeFolderOf(mDemoFileName);
    if (!WriteFileAtomically(mDemoFileName, bytes.data(), uint32_t(bytes.size())))
        ReportFailedSave(kDemoSaved, mDemoFileName, folderError != 0 ? folderError : errno);
}

// ---- Playback ----------------------------------------------------------------------------

bool VaxoAppBase::ReadDemoBuffer(std::string& error)
{
    std::vector<uint8_t> bytes;
    if (!ReadWholeFile(mDemoFileName, &bytes))
    {
        error = "Demo file not found: " + mDemoFileName;
        return false;
    }
    DemoFile demo;
    bool ok = ParseDemoFile(bytes.data(), bytes.size(), mProductName, &demo, &error);
    mDemoMarkerList.splice(mDemoMarkerList.end(), demo.mMarkers);
    if (!ok)
        return false;
    mRandSeed = demo.mRandSeed;
    SRand(mRandSeed);
    mDemoUpdateTotal = demo.mUpdateTotal;
    mDemoBuffer.Clear();
    mDemoBuffer.SetData(demo.mStream);
    mDemoBuffer.SeekFront();
    return true;
}

bool VaxoAppBase::PrepareDemoCommand(bool)
{
    if (!mDemoHeadPending)
        return mUpdateCount == mDemoCommandTime;
    if (!DemoStreamEnded(*this))
    {
        const int32_t time =
            int32_t(uint32_t(mDemoCommandTime) + uint32_t(mDemoBuffer.ReadNumBits(kDemoHeadTimeBits, false)));
        mDemoShortForm = mDemoBuffer.ReadNumBits(1, false) != 0;
        mDemoCommandId =
            mDemoBuffer.ReadNumBits(mDemoShortForm ? kDemoShortKindBits : kDemoCommandIdBits, false);
        mDemoHeadPending = false;
        if (DemoPayloadInStream(*this))
        {
            mDemoCommandTime = time;
            return mUpdateCount == mDemoCommandTime;
        }
        // A file cut short ends inside this command: it is not played.
        EndDemoEarly(*this);
    }
    // The stream has ended. Nothing will come at any update now, so updates are no longer
    // held for a command, a loading thread that runs is handed over when it finishes, and
    // a run to the next marker stops.
    mDemoCommandTime = mUpdateCount - 1;
    if (mLoadingThreadStarted)
        mDemoLoadDone = true;
    mFastForwardToMarker = false;
    return false;
}

namespace
{
// Applies the long-form command whose head was just read (ids 0 to 9, 21 and 23).
void ApplyLongCommand(VaxoAppBase& app)
{
    const Buffer& stream = app.mDemoBuffer;
    WidgetManager* manager = app.mWidgetManager.get();
    switch (app.mDemoCommandId)
    {
    case DEMO_MOUSE_POSITION:
        app.mDemoMouseX = stream.ReadNumBits(12, false);
        app.mDemoMouseY = stream.ReadNumBits(12, false);
        manager->MouseMove(app.mDemoMouseX, app.mDemoMouseY);
        break;
    case DEMO_ACTIVATE:
        app.mActive = stream.ReadNumBits(1, false) != 0;
        app.RehupFocus();
        if (app.mActive && !app.mIsWindowed)
            manager->MarkAllDirty();
        if (!app.mActive && app.mIsOpeningURL)
            app.URLOpenSucceeded(app.mOpeningURL);
        break;
    case DEMO_SIZE:
        app.SetMinimized(stream.ReadBoolean());
        break;
    case DEMO_KEY_DOWN:
        manager->KeyDown(KeyCode(stream.ReadNumBits(8, false)));
        break;
    case DEMO_KEY_UP:
        manager->KeyUp(KeyCode(stream.ReadNumBits(8, false)));
        break;
    case DEMO_CHAR:
    {
        bool wide = stream.ReadNumBits(1, false) != 0;
        manager->KeyChar(char(stream.ReadNumBits(wide ? 16 : 8, false)));
        break;
    }
    case DEMO_CLOSE:
        app.Shutdown();
        break;
    case DEMO_MOUSE_ENTER:
        app.mMouseIn = true;
        app.EnforceCursor();
        break;
    case DEMO_MOUSE_LEAVE:
        manager->MouseExit(app.mDemoMouseX, app.mDemoMouseY);
        app.mMouseIn = false;
        app.EnforceCursor();
        break;
    case DEMO_LOADING_DONE:
        app.mDemoLoadDone = true;
        break;
    case DEMO_MOUSE_WHEEL:
        manager->MouseWheel(stream.ReadNumBits(8, true));
        break;
    case DEMO_REFRESH_SYNC:
        app.mIsWindowed = stream.ReadBoolean();
        app.mSyncRefreshRate = stream.ReadByte();
        break;
    default:
        // Fillers, and the synchronous commands of a call the replay did not repeat.
        break;
    }
}
} // namespace

void VaxoAppBase::ProcessDemo()
{
    if (!mPlayingDemo)
        return;
    // The live run moved the mouse to every button event's position first; a button
    // command that no position command precedes replays that move.
    bool moved = false;
    // After a played hand-over the commands behind it wait for the hook it runs: they
    // hold what the hook asks the machine.
    while (!mShutdown && mLoaded == mDemoLoadDone && mUpdateCount == mDemoCommandTime &&
           PrepareDemoCommand(false))
    {
        mDemoHeadPending = true;
        if (mDemoShortForm && mDemoCommandId == DEMO_MOUSE_DELTA)
        {
            int32_t dx = mDemoBuffer.ReadNumBits(6, true);
            int32_t dy = mDemoBuffer.ReadNumBits(6, true);
            mDemoMouseX = ClampToInt32(int64_t(mDemoMouseX) + dx);
            mDemoMouseY = ClampToInt32(int64_t(mDemoMouseY) + dy);
            mWidgetManager->MouseMove(mDemoMouseX, mDemoMouseY);
            moved = true;
            continue;
        }
        if (mDemoShortForm)
        {
            bool down = mDemoBuffer.ReadNumBits(1, false) != 0;
            int32_t code = mDemoBuffer.ReadNumBits(3, true);
            if (!moved)
                mWidgetManager->MouseMove(mDemoMouseX, mDemoMouseY);
            if (down)
                mWidgetManager->MouseDown(mDemoMouseX, mDemoMouseY, code);
            else
                mWidgetManager->MouseUp(mDemoMouseX, mDemoMouseY, code);
            moved = false;
            continue;
        }
        moved = mDemoCommandId == DEMO_MOUSE_POSITION;
        ApplyLongCommand(*this);
    }
    // Once the stream has ended no command is asked for again: a loading thread started
    // since is handed over when it finishes, as one running at the end is.
    if (mLoadingThreadStarted && DemoStreamEnded(*this))
        mDemoLoadDone = true;
}

void VaxoAppBase::HandleDemoKeyPress(char key)
{
    // Frame time in milliseconds; the skips below are given in milliseconds.
    const int64_t frameTime = std::max(mFrameTime, 1);
    int64_t skipBeforeEnd = -1;
    switch (key)
    {
    case '+':
        mUpdateMultiplier = std::clamp(mUpdateMultiplier * 1.5, kMinDemoSpeed, kMaxDemoSpeed);
        break;
    case '-':
        mUpdateMultiplier = std::clamp(mUpdateMultiplier / 1.5, kMinDemoSpeed, kMaxDemoSpeed);
        break;
    case '=':
        mUpdateMultiplier = 1.0;
        break;
    case '0':
        skipBeforeEnd = 0;
        break;
    case '4':
        skipBeforeEnd = 120000;
        break;
    case '5':
        skipBeforeEnd = 90000;
        break;
    case '6':
        skipBeforeEnd = 60000;
        break;
    case '7':
        skipBeforeEnd = 30000;
        break;
    case '8':
        skipBeforeEnd = 10000;
        break;
    case '9':
        skipBeforeEnd = 5000;
        break;
    case 'M':
    case 'm':
        // After the end no marker can come to stop the run.
        mFastForwardToMarker = !DemoStreamEnded(*this);
        break;
    case 'N':
    case 'n':
        mFastForwardStep = true;
        mFastForwardToUpdateNum = ClampToInt32(int64_t(mUpdateCount) + 1);
        break;
    case 'P':
    case 'p':
        mPaused = !mPaused;
        mLastTime = GetAccurateTime();
        mTimeAcc = 0.0;
        break;
    case 'S':
    case 's':
        ToggleDemoSoundVolume();
        break;
    default:
        break;
    }
    if (skipBeforeEnd >= 0)
        mFastForwardToUpdateNum = ClampToInt32(int64_t(mDemoUpdateTotal) - skipBeforeEnd / frameTime);
}

void VaxoAppBase::DemoDoRecNum(int count)
{
    DoChangeDir();
    if (count < 1)
        count = 5;
    int number = GetMaxDemoFileNum(mDemoPrefix, count, true) + 1;
    mDemoFileName = mDemoPrefix + StrFormat("%d.dmo", number);
    if (!IsAbsoluteDemoPath(mDemoFileName))
        mDemoFileName = GetAppDataFolder() + mDemoFileName;
    mRecordingDemo = true;
    mPlayingDemo = false;
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
    VaxoAppBase* app = gVaxoAppBase;
    if (app == nullptr || !CreateFPSFont())
        return;
    const uint32_t now = GetTicks();
    if (gDemoTimeLeftImage == nullptr)
        gDemoTimeLeftImage = NewOverlayImage(*app);
    else
    {
        // Once a second of playback time.
        double interval = app->mUpdateMultiplier > 0.0 ? 1000.0 / app->mUpdateMultiplier : 1000.0;
        if (double(now - app->mDemoTimeLeftTick) < interval)
            return;
    }
    app->mDemoTimeLeftTick = now;
    // Past the recorded end the time left stays at zero.
    int64_t updatesLeft = std::max<int64_t>(0, int64_t(app->mDemoUpdateTotal) - app->mUpdateCount);
    int64_t seconds = updatesLeft * std::max(app->mFrameTime, 0) / 1000;
    std::string text =
        StrFormat("%02lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                  static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
    PaintOverlay(gDemoTimeLeftImage, text);
}

} // namespace Vaxo
