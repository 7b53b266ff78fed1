// Construction, start-up (Init, Start, EndStart), shutdown, teardown, the window, and the
// empty hooks of the application object.
#include "app/VaxoAppBase.h"

#include "app/DemoFile.h"
#include "app/MusicInterface.h"
#include "app/SoundManager.h"
#include "common/MTRand.h"
#include "graphics/Font.h"
#include "graphics/MemoryImage.h"
#include "graphics/NativeDisplay.h"
#include "graphics/imagelib/ImageLib.h"
#include "resources/ResourceManager.h"
#include "widgets/WidgetManager.h"

#include <cstdlib>

namespace Vaxo
{

VaxoAppBase* gVaxoAppBase = nullptr;

VaxoAppBase::VaxoAppBase()
    : mRandSeed(0), mProductName("Product"), mTitle("VaxoApp"), mChangedDir(false), mTimeAccHoldMs(0),
      mPreferredX(-1), mPreferredY(-1), mMusicVolume(0.85), mSfxVolume(0.85), mDemoMusicVolume(0.0),
      mDemoSfxVolume(0.0), mNoSoundNeeded(false), mNoMusic(false), mCmdLineParsed(false),
      mTimerThread(nullptr), mLoadingThread(nullptr), mCursorThread(nullptr), mOnlyAllowOneCopy(true),
      mAllowExtendedChars(true), mPrimaryThreadId(0), mSEHOccured(false), mStarted(false), mShutdown(false),
      mExitToTop(false), mIsPhysWindowed(true), mForceFullscreen(false), mForceWindowed(false),
      mInitialized(false), mTimeLoaded(0), mIsScreenSaver(false), mReadFromRegistry(false), mCursorImages(),
      mIsOpeningURL(false), mShutdownOnURLOpen(false), mLastURLOpenTime(0), mMuteCount(0), mAutoMuteCount(0),
      mHasFocus(true), mFrameTime(10), mTimeAcc(0.0), mLastTime(0), mUpdateMultiplier(1.0), mUpdateCount(0),
      mCursorNum(CURSOR_POINTER), mAutoStartLoadingThread(true), mDeferredShutdown(false),
      mDeferredExit(false), mCustomCursorsEnabled(false), mLastShutdownClean(true), mRecordingDemo(false),
      mPlayingDemo(false), mSyncRefreshRate(100), mWaitForVSync(false), mChanged3D(false),
      mUpdateAppState(UPDATE_EVENTS), mUpdateAppDepth(0), mNonDrawCount(0), mHasPendingDraw(true),
      mDrawing(false), mLastDrawTick(0), mNextDrawTick(0), mCustomCursorDirty(false), mShowFPS(false),
      mShowFPSMode(0), mPaused(false), mFastForwardToUpdateNum(0), mFastForwardToMarker(false),
      mFastForwardStep(false), mFastForwardMuted(false), mFastForwardRedrawTick(0), mScreenSaverInfoTick(0),
      mRedrawRetryTick(0), mActive(false), mMouseIn(false), mCtrlDown(false), mAltDown(false),
      mDebugKeysEnabled(false), mMuteOnLostFocus(true), mIsPopupOpen(false), mRunning(false),
      mCloseRequested(false), mLastTimerTick(0), mTimerRunStart(0), mLoadingThreadStarted(false),
      mLoadingThreadCompleted(false), mLoaded(false), mYieldMainThread(false), mNumLoadingThreadTasks(0),
      mCompletedLoadingThreadTasks(0), mAutoEnable3D(false), mDemoDetached(false), mDemoUpdateTotal(0),
      mDemoMouseX(0), mDemoMouseY(0), mDemoCommandTime(0), mDemoHeadPending(true), mDemoShortForm(false),
      mDemoCommandId(0), mDemoLoadDone(false), mDemoTimeLeftTick(0)
{
    mPlatform.reset(CreatePlatform(this));
    gVaxoAppBase = this;

    ImageLib::InitJPEG2000();
    ImageLib::EnableAllDecoders();

    const std::string& exePath = mPlatform->GetExePath();
    mProductVersion = mPlatform->GetProductVersion(exePath);
    mChangeDir = GetFileDir(exePath, false);

    mTimeLoaded = GetTicks();
    mLastDrawTick = GetAccurateTime();
    mNextDrawTick = GetAccurateTime();
    mAspect.Set(4, 3);
    // Stray state of an earlier application object (tests make several).
    gIsFailing = false;

    SetString("DIALOG_BUTTON_OK", L"OK");
    SetString("DIALOG_BUTTON_CANCEL", L"CANCEL");

    mDemoPrefix = "vaxoapp";
    mDemoFileName = mDemoPrefix + ".dmo";

    mWidgetManager.reset(new WidgetManager(this));
    mResourceManager.reset(new ResourceManager(this));
}

namespace
{
// Keeps the storage of a shared-image entry that outlives its application.
struct OrphanedEntry : SharedImage::Orphan
{
    explicit OrphanedEntry(VaxoAppBase::SharedImageMap::node_type node) : mNode(std::move(node)) {}
    VaxoAppBase::SharedImageMap::node_type mNode;
};
} // namespace

VaxoAppBase::~VaxoAppBase()
{
    Shutdown();
    // Before anything the loading thread may still use is deleted.
    WaitForLoadingThread();

    if (mChanged3D && mDisplay != nullptr)
    {
        int stored = 0;
        if (RegistryReadInteger("Is3D", &stored) || Is3DAccelerationRecommended())
        {
            RegistryWriteInteger("Is3D", mDisplay->mIs3D ? 1 : 0);
        }
        else if (mDisplay->mIs3D)
        {
            std::string text =
                GetString("HARDWARE_ACCEL_SWITCHED_ON",
                          "Hardware Acceleration was switched on during this session.\r\n"
                          "If this resulted in slower performance, it should be switched off.\r\n"
                          "Would you like to keep Hardware Acceleration switched on?");
            std::string caption =
                mCaptionPrefix + " " +
                GetString("HARDWARE_ACCEL_CONFIRMATION", "Hardware Acceleration Confirmation");
            bool keep =
                mPlatform->MessageBoxA(text.c_str(), caption.c_str(), MSGBOX_YES_NO | MSGBOX_ICON_QUESTION,
                                       true) == MSGBOX_ANSWER_YES;
            mDisplay->mIs3D = keep;
            if (keep)
                RegistryWriteInteger("Is3D", 1);
        }
    }
    if (mDisplay != nullptr && mDisplay->mIs3D)
        mPlatform->Handle3DProblems();

    DeleteAllDialogs();
    mWidgetManager.reset();
    mResourceManager.reset();

    delete gFPSImage;
    gFPSImage = nullptr;
    delete gDemoTimeLeftImage;
    gDemoTimeLeftImage = nullptr;
    delete gFPSFont;
    gFPSFont = nullptr;

    {
        ImageMutexLock lock(this);
        // Images first: deleting one may let references to other entries go.
        for (auto& entry : mSharedImageMap)
        {
            delete entry.second.mImage;
            entry.second.mImage = nullptr;
        }
        // Entries still referenced (globals, objects deleted after the application) stay
        // where they are, empty, until their last reference deletes them.
        for (auto it = mSharedImageMap.begin(); it != mSharedImageMap.end();)
        {
            auto next = std::next(it);
            if (it->second.mRefCount != 0)
            {
                SharedImage& entry = it->second;
                entry.mOrphan = new OrphanedEntry(mSharedImageMap.extract(it));
            }
            it = next;
        }
        mSharedImageMap.clear();
    }

    mMusicInterface.reset();
    mSoundManager.reset();

    mPlatform->DestroyDisplay();
    // The application owns the display; a platform that left it behind has it deleted here.
    delete mDisplay;
    mDisplay = nullptr;

    gVaxoAppBase = nullptr;
    WriteDemoBuffer();
    mPlatform.reset();

    // Images that outlive the application (owned by a reference kept past it) must not
    // leave it when they go.
    ImageMutexLock lock(this);
    for (MemoryImage* image : mMemoryImageSet)
        image->mApp = nullptr;
    mMemoryImageSet.clear();
}

bool VaxoAppBase::OnMainThread()
{
    return mPrimaryThreadId == 0 || mPlatform->GetCurrentThreadId() == mPrimaryThreadId;
}

void VaxoAppBase::Init()
{
    mPrimaryThreadId = mPlatform->GetCurrentThreadId();
    if (mShutdown)
        return;
    mPlatform->AppInit();
    if (!mCmdLineParsed)
        DoParseCmdLine();
    if (mIsScreenSaver)
        mOnlyAllowOneCopy = false;
    DoChangeDir();
    if (mPlatform->IsAlreadyRunning())
        HandleGameAlreadyRunning();

    mRandSeed = GetTicks();
    SRand(mRandSeed);
    AutoDemoHook();
    if (mPlayingDemo)
    {
        std::string error;
        if (!ReadDemoBuffer(error))
        {
            mPlayingDemo = false;
            Popup(error, false);
            DoExit(1);
        }
    }
    if (mRecordingDemo)
        CheckDemoFileCanBeSaved(*this);

    InitPropertiesHook();
    ReadFromRegistry();
    std::srand(GetTicks());
    PreDisplayHook();

    TRect<int> area(0, 0, mWidth, mHeight);
    mWidgetManager->Resize(area, area);
    MakeWindow();

    if (mPlayingDemo)
    {
        PrepareDemoCommand(true);
        mDemoHeadPending = true;
        mIsWindowed = mDemoBuffer.ReadBoolean();
        mSyncRefreshRate = mDemoBuffer.ReadByte();
    }

    if (mSoundManager == nullptr)
    {
        if (!mNoSoundNeeded)
            mSoundManager.reset(mPlatform->CreateSoundManager());
        // A platform without sound gets the silent manager too, so callers never see null.
        if (mSoundManager == nullptr)
            mSoundManager.reset(new SoundManager());
    }
    SetSfxVolume(mSfxVolume);
    mMusicInterface.reset(CreateMusicInterface());
    SetMusicVolume(mMusicVolume);

    if (mIsScreenSaver)
    {
        mCursorNum = CURSOR_INVISIBLE;
        EnforceCursor();
    }
    InitHook();
    mInitialized = true;
}

void VaxoAppBase::Start()
{
    if (mShutdown)
        return;
    mStarted = true;
    StartCursorThread();
    if (mAutoStartLoadingThread)
        StartLoadingThread();
    mPlatform->ShowWindow(1);
    mRunning = true;
    mLastTimerTick = GetAccurateTime();
    mTimerRunStart = GetAccurateTime();
    DoMainLoop();
    EndStart();
}

void VaxoAppBase::EndStart()
{
    if (!mStarted)
        return;
    mStarted = false;
    ProcessSafeDeleteList();
    mRunning = false;
    WaitForLoadingThread();
    PreTerminate();
    WriteToRegistry();
}

void VaxoAppBase::Shutdown()
{
    if (!OnMainThread())
    {
        mDeferredShutdown = true;
        return;
    }
    if (mShutdown)
        return;
    mShutdown = true;
    mExitToTop = true;
    ShutdownHook();

    if (mPlayingDemo)
    {
        SetMusicVolume(mDemoMusicVolume);
        SetSfxVolume(mDemoSfxVolume);
    }
    if (mCursorThread != nullptr)
    {
        mPlatform->WaitForThread(mCursorThread);
        mCursorThread = nullptr;
    }
    if (mMusicInterface != nullptr)
        mMusicInterface->StopAllMusic();
    mPlatform->RestoreScreenResolution();
    if (mReadFromRegistry)
        WriteToRegistry();
    ImageLib::CloseJPEG2000();
    if (mTimerThread != nullptr)
    {
        mPlatform->WaitForThread(mTimerThread);
        mTimerThread = nullptr;
    }
}

void VaxoAppBase::DoExit(int status)
{
    if (mPlatform != nullptr)
        mPlatform->HandlePrematureExit();
    std::exit(status);
}

void VaxoAppBase::MakeWindow()
{
    mDeferredMessages.clear();
    int result = mPlatform->InitDisplay(true);
    bool is3D = mDisplay != nullptr && mDisplay->mIs3D;

    if (mIsWindowed && result == NativeDisplay::RESULT_INVALID_COLORDEPTH)
    {
        if (mForceWindowed)
        {
            Popup(GetString("PLEASE_SET_COLOR_DEPTH", "Please set your desktop color depth to 16 bit."),
                  true);
            return;
        }
        mForceFullscreen = true;
        SwitchScreenMode(false);
        return;
    }
    if (!mIsWindowed &&
        (result == NativeDisplay::RESULT_EXCLUSIVE_FAIL || result == NativeDisplay::RESULT_DISPCHANGE_FAIL))
    {
        mForceWindowed = true;
        SwitchScreenMode(true);
        return;
    }
    if (result == NativeDisplay::RESULT_3D_FAIL)
    {
        Set3DAcclerated(false, true);
        return;
    }
    if (result == NativeDisplay::RESULT_OK)
    {
        SetMinimized(false);
        RehupFocus();
        mPlatform->FinishInitWindow();
        return;
    }
    DisplayFailed(result, is3D);
}

void VaxoAppBase::DisplayFailed(int result, bool was3D)
{
    if (was3D)
    {
        Set3DAcclerated(false, true);
        return;
    }
    std::string error = mDisplay != nullptr ? mDisplay->mErrorString : std::string();
    Popup(GetString("FAILED_INIT_DIRECTDRAW", "Failed to initialize DirectDraw: ") +
              NativeDisplay::ResultToString(result) + " " + error,
          true);
}

bool VaxoAppBase::LoadResourceManifest()
{
    if (mResourceManager->ParseResourcesFile("properties/resources.xml"))
        return true;
    ShowResourceError(true);
    return false;
}

void VaxoAppBase::ShowResourceError(bool doExit)
{
    std::string text = mResourceManager->GetErrorText();
    if (!OnMainThread())
    {
        // A box or an exit from the loading thread would race the main thread: the main
        // loop shows the text and ends the program.
        std::lock_guard<std::mutex> lock(mDeferredMutex);
        mDeferredPopupText = text;
        if (doExit)
            mDeferredExit = true;
        return;
    }
    Popup(text, false);
    if (doExit)
        DoExit(1);
}

void VaxoAppBase::ProcessDeferredErrors()
{
    std::string text;
    bool doExit = false;
    {
        std::lock_guard<std::mutex> lock(mDeferredMutex);
        text.swap(mDeferredPopupText);
        doExit = mDeferredExit;
    }
    if (!text.empty())
        Popup(text, false);
    if (doExit)
        DoExit(1);
}

Font* VaxoAppBase::CreateFont(const std::string& face, int pointSize, bool bold, bool italic, bool underline,
                              bool fourthFlag)
{
    return mPlatform->CreateFont(face, pointSize, bold, italic, underline, fourthFlag);
}

Font* VaxoAppBase::CreateSysFont(const std::string& face, int pointSize, bool bold, bool italic,
                                 bool underline)
{
    return CreateFont(face, pointSize, bold, italic, underline, true);
}

void VaxoAppBase::DoChangeDir()
{
    if (mChangedDir)
        return;
    mChangedDir = true;
    if (ChangeDirHook(mChangeDir.c_str()))
        return;
    ChangeDir(mChangeDir);
}

// ---- Hooks: empty in the base ------------------------------------------------------------

void VaxoAppBase::InitHook() {}
void VaxoAppBase::ShutdownHook() {}
void VaxoAppBase::PreTerminate() {}
void VaxoAppBase::PreDisplayHook() {}
void VaxoAppBase::AutoDemoHook() {}
void VaxoAppBase::InitPropertiesHook() {}
void VaxoAppBase::PreDDInterfaceInitHook() {}
void VaxoAppBase::PostDDInterfaceInitHook() {}
void VaxoAppBase::Done3dTesting() {}

bool VaxoAppBase::ChangeDirHook(const char*)
{
    return false;
}

} // namespace Vaxo
