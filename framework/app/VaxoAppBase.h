// VaxoAppBase: the one application object of the program.
//
// It owns the platform, the display, the widget manager, the resource manager, the sound
// manager and the music interface; it holds the product strings, the window settings,
// the volumes, the property maps, the dialogs, the shared images, the demo record and
// the flags of the run. The game derives its application class from it, sets its product
// strings and window size in its constructor and fills the hooks. Life cycle: construct,
// Init (fixed order), Start (main loop until Shutdown, then EndStart), destroy.
//
// Sections, each with its own source file:
//   construction, start-up and shutdown ..... VaxoAppBase.cpp
//   properties and signed property files .... AppProperties.cpp
//   settings in the settings store ........... AppSettings.cpp
//   command line ............................. AppCmdLine.cpp
//   screen mode, 3D, sound levels, misc ...... AppScreenAndSound.cpp
//   main loop and fixed-step timing .......... AppMainLoop.cpp
//   window events, input and focus ........... AppEvents.cpp
//   loading thread, other threads, cursors ... AppLoading.cpp
//   dialogs, pop-ups and message boxes ....... AppDialogs.cpp
//   shared images and the image registry ..... AppSharedImages.cpp
//   image utilities .......................... AppImageUtil.cpp
//   demo recording and playback .............. AppDemo.cpp
//   demo-aware file operations and value sync  AppFileOps.cpp
//
// Threads: everything runs on the main thread except LoadingThreadProc (the loading
// thread), the cursor thread body, and Shutdown / ShowResourceError / Popup /
// GetSharedImage / the memory-image set, which the loading thread may call. Locks: mMutex
// (inherited, the image mutex) guards mMemoryImageSet and mSharedImageMap; mDeferredMutex
// guards mDeferredPopupText and the waits on mDeferredSignal. No lock is taken while
// another of them is held.
#pragma once

#include "app/Platform.h"
#include "app/WinEvent.h"
#include "common/Buffer.h"
#include "common/Common.h"
#include "common/PropertiesSink.h"
#include "common/VaxoPerf.h"
#include "graphics/GraphicsApp.h"
#include "graphics/Rect.h"
#include "graphics/SharedImage.h"
#include "widgets/ButtonListener.h"
#include "widgets/DialogListener.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace Vaxo
{

class Color;
class Dialog;
struct FileSetAside;
class Font;
class Image;
class MemoryImage;
class MusicInterface;
class NativeImage;
class ResourceManager;
class SoundManager;
class Widget;
class WidgetManager;

// One queued widget deletion (ProcessSafeDeleteList).
struct WidgetSafeDeleteInfo
{
    // mUpdateAppDepth when the widget was queued; deleted once the loop is back at or
    // above that depth.
    int32_t mUpdateAppDepth;
    // Owned by the list; already out of its parent.
    Widget* mWidget;
};

class VaxoAppBase : public GraphicsApp, public ButtonListener, public DialogListener, public PropertiesSink
{
public:
    typedef std::map<std::pair<std::string, std::string>, SharedImage> SharedImageMap;

    // ---- Owned objects and identity (inherited: mMutex, mDisplay, mAdd8BitMaxTable,
    // mWidth, mHeight, mIsWindowed, mMinimized, mSharedImagesDirty, mFullRedraw) ----------
    std::unique_ptr<Platform> mPlatform;
    // GetTicks at start-up; seeds the random generator and is kept in the demo record.
    uint32_t mRandSeed;
    // Put, with one blank, before the caption of the destructor's hardware-acceleration box.
    std::string mCaptionPrefix;
    std::string mCompanyName;
    std::string mProductName;
    // Window title.
    std::string mTitle;
    // Settings live under "SOFTWARE\" + mRegKey; empty means no settings at all.
    std::string mRegKey;
    // Made the current folder by DoChangeDir (once); "-changedir" replaces it.
    std::string mChangeDir;
    bool mChangedDir;
    // Milliseconds during which every update empties mTimeAcc (ClearUpdateBacklog(true)).
    int32_t mTimeAccHoldMs;
    // Remembered window position in pixels; -1 = none.
    int32_t mPreferredX;
    int32_t mPreferredY;
    // Volumes 0.0 to 1.0 as the player set them (muting does not change them).
    double mMusicVolume;
    double mSfxVolume;
    // Volumes put aside while a demo plays with its sound toggled off.
    double mDemoMusicVolume;
    double mDemoSfxVolume;
    // No sound at all: silent base sound manager and music interface.
    bool mNoSoundNeeded;
    // Silent music only.
    bool mNoMusic;
    bool mCmdLineParsed;
    // Thread handles of the platform, null = none. Main thread only.
    HTHREAD_* mTimerThread;
    HTHREAD_* mLoadingThread;
    HTHREAD_* mCursorThread;
    // A second copy of the program exits (not in screen-saver mode).
    bool mOnlyAllowOneCopy;
    // Edit widgets accept typed characters 128 to 255.
    bool mAllowExtendedChars;
    std::unique_ptr<WidgetManager> mWidgetManager;
    // Open dialogs by id and in the order they were added; not owned here (a killed
    // dialog goes to mSafeDeleteList).
    std::map<int32_t, Dialog*> mDialogMap;
    std::list<Dialog*> mDialogList;
    // Platform thread id of the main thread, taken by Init (0 = not known yet).
    uint32_t mPrimaryThreadId;
    // A crash was reported (SEHOccured).
    bool mSEHOccured;
    // Between Start and EndStart.
    bool mStarted;
    // The run is over; set once by Shutdown.
    bool mShutdown;
    // Makes every nested UpdateApp return so control unwinds to DoMainLoop.
    bool mExitToTop;
    // The display currently runs windowed (mIsWindowed is the preferred mode).
    bool mIsPhysWindowed;
    // A mode failed to open; SwitchScreenMode keeps to the other one.
    bool mForceFullscreen;
    bool mForceWindowed;
    bool mInitialized;
    // GetTicks at construction (the crash report's "Time Loaded").
    uint32_t mTimeLoaded;
    bool mIsScreenSaver;
    // Window events queued for the main loop, first in first out. Main thread only.
    std::list<WinEvent> mDeferredMessages;
    std::unique_ptr<MusicInterface> mMusicInterface;
    // ReadFromRegistry ran; Shutdown saves the settings only then.
    bool mReadFromRegistry;
    // What failed to save in this run and was reported (ReportFailedSave).
    std::set<std::string> mReportedSaveFailures;
    // The settings WriteToRegistry keeps, as the numbers their members gave when this copy
    // read or last stored them: a member that gives another number now was changed here.
    std::map<std::string, int32_t> mSettingsAsKnown;
    std::string mProductVersion;
    // Custom cursor image per cursor number; not owned.
    Image* mCursorImages[kNumCursors];
    // OpenURL state; mLastURLOpenTime in GetTicks milliseconds.
    bool mIsOpeningURL;
    bool mShutdownOnURLOpen;
    std::string mOpeningURL;
    uint32_t mLastURLOpenTime;
    // Nesting counts of Mute; the automatic part comes from focus loss and minimising.
    int32_t mMuteCount;
    int32_t mAutoMuteCount;
    // Last focus state passed on (RehupFocus).
    bool mHasFocus;
    // Every live memory image. Under mMutex.
    std::set<MemoryImage*> mMemoryImageSet;
    // Shared images by (upper-case path, upper-case variant). Under mMutex.
    SharedImageMap mSharedImageMap;
    // Milliseconds per fixed update at normal speed.
    int32_t mFrameTime;
    // Real time not yet consumed by updates, in milliseconds; at most 200.
    double mTimeAcc;
    // GetAccurateTime when mTimeAcc was last advanced; 0 = not started.
    uint32_t mLastTime;
    // Game speed; 0 or less stops updating.
    double mUpdateMultiplier;
    // Fixed updates run since start.
    int32_t mUpdateCount;
    // Requested cursor, a CursorNumber (app/Platform.h).
    int32_t mCursorNum;
    std::unique_ptr<SoundManager> mSoundManager;
    // Widgets waiting for deletion at a safe point of the main loop.
    std::list<WidgetSafeDeleteInfo> mSafeDeleteList;
    // Start starts the loading thread.
    bool mAutoStartLoadingThread;
    // Shutdown was asked for off the main thread; the main loop performs it.
    std::atomic<bool> mDeferredShutdown;
    // ShowResourceError(true) or Popup(text, true) was called off the main thread; the
    // main loop shows the text and exits.
    std::atomic<bool> mDeferredExit;
    bool mCustomCursorsEnabled;
    // The previous run ended cleanly (setting "InProgress" was 0 or missing).
    bool mLastShutdownClean;
    // Error text raised off the main thread, shown by the main loop. Under mDeferredMutex.
    std::string mDeferredPopupText;
    std::mutex mDeferredMutex;
    // Notified when the loading thread has finished its work and when a fatal error is
    // handed over, so that a wait for the loading thread cannot outlast the exit.
    std::condition_variable mDeferredSignal;
    bool mRecordingDemo;
    bool mPlayingDemo;
    // Base name of demo files, and the demo file.
    std::string mDemoPrefix;
    std::string mDemoFileName;
    // The demo command stream (written when recording, read when playing).
    Buffer mDemoBuffer;
    // Demo markers: (name, update count), in recording order.
    std::list<std::pair<std::string, int32_t>> mDemoMarkerList;
    // Display refresh rate in Hz as kept in the demo record.
    int32_t mSyncRefreshRate;
    // Setting "WaitForVSync": windowed presents wait out the refresh period.
    bool mWaitForVSync;
    // Hardware acceleration was switched during this run.
    bool mChanged3D;
    // Aspect ratio of the application area (4:3).
    Ratio mAspect;
    // Properties (ids compared exactly). Main thread; filled before the loading thread runs.
    std::map<std::string, std::wstring> mStringProperties;
    std::map<std::string, bool> mBoolProperties;
    std::map<std::string, int32_t> mIntProperties;
    std::map<std::string, double> mDoubleProperties;
    std::map<std::string, std::vector<std::string>> mStringVectorProperties;
    std::unique_ptr<ResourceManager> mResourceManager;

    // ---- Main loop (AppMainLoop.cpp) ---------------------------------------------------
    // Where a pass of the loop stands; each UpdateAppStep does one state's work.
    enum UpdateAppState : int32_t
    {
        UPDATE_EVENTS = 0,  // the window events, one per step, until none is left
        UPDATE_DECIDE = 1,  // an update, a draw or a sleep (Process)
        UPDATE_RAN = 2,     // an update ran: its fractional part (DoUpdateFramesF) next
        UPDATE_FINISHED = 3 // the pass is done; the next step starts with the events
    };
    UpdateAppState mUpdateAppState;
    // Nesting depth of UpdateAppStep (0 outside any step).
    int32_t mUpdateAppDepth;
    // Update decisions since the last draw decision.
    int32_t mNonDrawCount;
    // An update ran since the last DrawDirtyStuff.
    bool mHasPendingDraw;
    // Inside WidgetManager::DrawScreen; DrawDirtyStuff and Redraw do nothing meanwhile.
    bool mDrawing;
    // GetAccurateTime of the last present; no present before mNextDrawTick.
    uint32_t mLastDrawTick;
    uint32_t mNextDrawTick;
    // A present is wanted although no widget is dirty (a cursor image changed).
    bool mCustomCursorDirty;
    // Frame-rate overlay: mode 0 frames per second, 1 mouse position.
    bool mShowFPS;
    int32_t mShowFPSMode;
    // Demo playback controls.
    bool mPaused;
    int32_t mFastForwardToUpdateNum;
    bool mFastForwardToMarker;
    bool mFastForwardStep;
    // Sound was muted for a fast-forward run.
    bool mFastForwardMuted;
    // GetTicks of the last fast-forward redraw; 0 = not yet.
    uint32_t mFastForwardRedrawTick;
    // GetAccurateTime of the last UpdateScreenSaverInfo.
    uint32_t mScreenSaverInfoTick;
    // GetTicks of the last display recovery attempt.
    uint32_t mRedrawRetryTick;

    // ---- Window events, input and focus (AppEvents.cpp) --------------------------------
    // The window system says the application is active.
    bool mActive;
    bool mMouseIn;
    bool mCtrlDown;
    bool mAltDown;
    // Developer keys (the game's property, or Ctrl+Alt+D).
    bool mDebugKeysEnabled;
    // Losing focus or minimising mutes (automatically).
    bool mMuteOnLostFocus;
    // A system message box is up in full screen; window events are dropped meanwhile.
    bool mIsPopupOpen;
    // Between Start and EndStart: the main loop runs.
    bool mRunning;
    // A close request started the shutdown.
    bool mCloseRequested;
    // GetTicks of the last timer event and of the start of the current run of them.
    uint32_t mLastTimerTick;
    uint32_t mTimerRunStart;

    // ---- Loading thread (AppLoading.cpp) -----------------------------------------------
    bool mLoadingThreadStarted;
    // Set by the loading thread when LoadingThreadProc returned.
    std::atomic<bool> mLoadingThreadCompleted;
    // The main thread has handled the completion (LoadingThreadCompleted ran).
    bool mLoaded;
    // The main loop sleeps to leave time to the loading thread.
    bool mYieldMainThread;
    // Work units of the loading thread: set and raised by LoadingThreadProc.
    std::atomic<int32_t> mNumLoadingThreadTasks;
    std::atomic<int32_t> mCompletedLoadingThreadTasks;
    // InitDisplay's hardware-acceleration choice when "Is3D" is not stored (the game sets it).
    bool mAutoEnable3D;

    // ---- Demo state (AppDemo.cpp) ------------------------------------------------------
    // A live close request started the shutdown during playback, or the demo file ended
    // early: the demo-aware operations no longer read the stream.
    bool mDemoDetached;
    // Update count at which the recording ended.
    uint32_t mDemoUpdateTotal;
    // Demo mouse position in window pixels.
    int32_t mDemoMouseX;
    int32_t mDemoMouseY;
    // Update count of the current command.
    int32_t mDemoCommandTime;
    // A new command head must be read before the next command.
    bool mDemoHeadPending;
    bool mDemoShortForm;
    // Id (long form) or kind (short form) of the current command.
    int32_t mDemoCommandId;
    // Playback reached the loading-thread command.
    bool mDemoLoadDone;
    // GetTicks of the last refresh of the time-left image.
    uint32_t mDemoTimeLeftTick;

    // ---- Shared-image filling (AppSharedImages.cpp) ------------------------------------
    // Wakes requests that found an entry still being filled by another thread.
    std::mutex mSharedImageFillMutex;
    std::condition_variable mSharedImageFilled;

public:
    VaxoAppBase();
    // Teardown in a fixed order; waits for the loading thread first.
    ~VaxoAppBase() override;

    // ======== Table of virtual operations (the ButtonListener ones come first) ========
    // One pass of the main loop's decision; false when it would sleep and may not.
    virtual bool Process(bool allowSleep);
    // One fixed update step (the game adds to it).
    virtual void UpdateFrames();
    // Update step with demo and loading bookkeeping; whether an update ran.
    virtual bool DoUpdateFrames();
    virtual void DoUpdateFramesF(float frac);
    // Opens or re-opens the window and display.
    virtual void MakeWindow();
    virtual void EnforceCursor();
    virtual void ReInitImages();
    virtual void DeleteNativeImageData();
    virtual void DeleteExtraImageData();
    // Hook, main thread, once the loading thread's completion was handled.
    virtual void LoadingThreadCompleted();
    virtual MusicInterface* CreateMusicInterface();
    // Hook at the end of Init (the game loads its manifest and starts its screens).
    virtual void InitHook();
    // Hook at the start of Shutdown.
    virtual void ShutdownHook();
    // Hook when the main loop has ended.
    virtual void PreTerminate();
    // The loading thread's work (loading thread).
    virtual void LoadingThreadProc();
    virtual void WriteToRegistry();
    virtual void ReadFromRegistry();
    virtual Dialog* NewDialog(int dialogId, bool isModal, const VaxoString& header, const VaxoString& lines,
                              const VaxoString& footer, int buttonMode);
    // Hook before the window is made.
    virtual void PreDisplayHook();
    // Hook before the demo file is read.
    virtual void AutoDemoHook();
    virtual void BeginPopup();
    virtual void EndPopup();
    // A message box; the answer 1 OK, 2 Cancel, 3 Abort, 4 Retry, 5 Ignore, 6 Yes, 7 No.
    virtual int MsgBox(const std::string& text, const std::string& title, int flags);
    virtual int MsgBox(const std::wstring& text, const std::wstring& title, int flags);
    // The error box; with doExit the program ends (status 1) after it. Off the main thread
    // a fatal text goes to the main loop, which shows it and exits, and the caller waits
    // for that end; a text that is not fatal is not shown.
    void Popup(const std::string& text, bool doExit) override;
    virtual void Popup(const std::wstring& text, bool doExit);
    // Queues the widget (already out of its parent) for deletion at a safe point.
    virtual void SafeDeleteWidget(Widget* widget);
    virtual void LogScreenSaverError(const std::string& text);
    virtual void URLOpenFailed(const std::string& url);
    virtual void URLOpenSucceeded(const std::string& url);
    virtual bool OpenURL(const std::string& url, bool shutdownOnOpen);
    virtual void SEHOccured();
    virtual std::string GetGameSEHInfo();
    virtual void GetSEHWebParams(std::map<std::string, std::string>* params);
    // Ends the run; any thread, any number of times.
    virtual void Shutdown();
    virtual void DoParseCmdLine();
    virtual void ParseCmdLine(const std::string& cmdLine);
    virtual void HandleCmdLineParam(const std::string& name, const std::string& value);
    virtual void HandleNotifyGameMessage(int type, int data);
    virtual void HandleGameAlreadyRunning();
    // Runs the main loop until it returns, then EndStart.
    virtual void Start();
    // Start-up in a fixed order; a failing step ends the process.
    virtual void Init();
    // Hooks around the making of the display (called by the platform's InitDisplay).
    virtual void PreDDInterfaceInitHook();
    virtual void PostDDInterfaceInitHook();
    // True takes over the change of directory.
    virtual bool ChangeDirHook(const char* dir);
    virtual void PlaySample(int soundId);
    virtual void PlaySample(int soundId, int pan);
    virtual double GetMusicVolume();
    virtual double GetSfxVolume();
    virtual bool IsMuted();
    virtual void SetMusicVolume(double volume);
    virtual void SetSfxVolume(double volume);
    virtual void Mute(bool autoMute);
    virtual void Unmute(bool autoMute);
    // 0.0 to 1.0; 1.0 once the completion was handled.
    virtual double GetLoadingThreadProgress();
    // Loads an image file (with its alpha companion) into a new image the caller owns;
    // null when the file cannot be loaded.
    virtual MemoryImage* GetImage(const std::string& fileName, bool commitBits);
    // A counted reference to the shared image of (file, variant). A request that finds
    // the entry being filled by another thread waits until it is filled.
    SharedImageRef GetSharedImage(const std::string& fileName, const std::string& variant,
                                  bool* isNew) override;
    // Re-creates the window in the current mode.
    virtual void SwitchScreenMode();
    virtual void SwitchScreenMode(bool wantWindowed);
    virtual void SwitchScreenMode(bool wantWindowed, bool is3D, bool force);
    virtual Dialog* DoDialog(int dialogId, bool isModal, const VaxoString& header, const VaxoString& lines,
                             const VaxoString& footer, int buttonMode);
    virtual Dialog* GetDialog(int dialogId);
    virtual void AddDialog(int dialogId, Dialog* dialog);
    virtual void AddDialog(Dialog* dialog);
    virtual bool KillDialog(int dialogId, bool removeWidget, bool deleteWidget);
    virtual bool KillDialog(int dialogId);
    virtual bool KillDialog(Dialog* dialog);
    virtual int GetDialogCount();
    // Hooks when a modal dialog is added or killed.
    virtual void ModalOpen();
    virtual void ModalClose();
    // Yes and No of dialog d reach ButtonPress/ButtonDepress as d + kDialogYesEventOffset
    // and d + kDialogNoEventOffset (widgets/DialogListener.h).
    void DialogButtonPress(int dialogId, int buttonId) override;
    void DialogButtonDepress(int dialogId, int buttonId) override;
    // Hooks on focus changes.
    virtual void GotFocus();
    virtual void LostFocus();
    virtual bool IsAltKeyUsed(int keyCode);
    // Developer keys; true = key consumed.
    virtual bool DebugKeyDown(int keyCode);
    // Asked before a key is queued (inside the platform's message loop); true consumes it.
    virtual bool DebugKeyDownAsync(int keyCode, bool ctrlDown, bool altDown);
    virtual void CloseRequestAsync();
    virtual void Done3dTesting();
    virtual std::string NotifyCrashHook();
    // True when fileName + ".sig" holds exactly the HMAC-MD5 of data.
    virtual bool CheckSignature(const Buffer& data, const std::string& fileName);
    // Draws the dirty widgets and presents; whether the screen was presented.
    virtual bool DrawDirtyStuff();
    // Presents (with display recovery).
    virtual void Redraw(TRect<int>* rect);
    // Hook where the game loads its properties.
    virtual void InitPropertiesHook();
    virtual void DoMainLoop();
    // One loop step; false once the loop must unwind. *updated: an update ran.
    virtual bool UpdateAppStep(bool* updated);
    // Steps until one update ran (true) or the loop must unwind (false).
    virtual bool UpdateApp();
    virtual bool AppCanRestore();

    // ======== Start-up and shutdown (VaxoAppBase.cpp) ========
    // Ends a run started by Start; nothing when none is active.
    void EndStart();
    // Ends the process with the status, through the platform's HandlePrematureExit.
    [[noreturn]] void DoExit(int status);
    // Parses "properties/resources.xml"; failure shows the error and exits.
    bool LoadResourceManifest();
    // Shows the resource manager's error text; off the main thread it is shown by the
    // main loop. With doExit the program ends (status 1) after the text is shown.
    void ShowResourceError(bool doExit);
    // Fonts from the platform; the caller owns them (null when the platform has none).
    Font* CreateFont(const std::string& face, int pointSize, bool bold, bool italic, bool underline,
                     bool fourthFlag);
    Font* CreateSysFont(const std::string& face, int pointSize, bool bold, bool italic, bool underline);
    // Makes mChangeDir the current folder, once.
    void DoChangeDir();

    // ======== Properties (AppProperties.cpp) ========
    VaxoString GetString(const std::string& id, const VaxoString& defaultValue);
    VaxoString GetString(const std::string& id);
    bool GetBoolean(const std::string& id, bool defaultValue);
    bool GetBoolean(const std::string& id);
    int GetInteger(const std::string& id, int defaultValue);
    int GetInteger(const std::string& id);
    double GetDouble(const std::string& id, double defaultValue);
    double GetDouble(const std::string& id);
    std::vector<std::string> GetStringVector(const std::string& id);
    void SetString(const std::string& id, const std::wstring& value) override;
    void SetBoolean(const std::string& id, bool value) override;
    void SetInteger(const std::string& id, int value) override;
    void SetDouble(const std::string& id, double value) override;
    void InsertStringVector(const std::string& id, const std::vector<std::string>& list) override;
    // Reads one properties file into the maps; failures show a pop-up when required.
    bool LoadProperties(const std::string& fileName, bool required, bool checkSig);
    bool LoadProperties();

    // ======== Settings store (AppSettings.cpp) ========
    // Value types: 1 string, 3 bytes, 4 32-bit integer. Value names may hold "\" (the
    // part before the last one extends the key path). All false when mRegKey is empty.
    // Every read and write goes through these two, so an application may keep its
    // settings elsewhere.
    virtual bool RegistryWrite(const std::string& valueName, uint32_t type, const uint8_t* data,
                               uint32_t length);
    bool RegistryWriteString(const std::string& valueName, const std::string& value);
    bool RegistryWriteInteger(const std::string& valueName, int value);
    bool RegistryWriteBoolean(const std::string& valueName, bool value);
    bool RegistryWriteData(const std::string& valueName, const uint8_t* data, uint32_t length);
    // *length: the buffer size on entry, the value's length on return.
    virtual bool RegistryRead(const std::string& valueName, uint32_t* type, uint8_t* data, uint32_t* length);
    // Texts of up to 1023 bytes.
    bool RegistryReadString(const std::string& valueName, std::string* value);
    bool RegistryReadInteger(const std::string& valueName, int* value);
    bool RegistryReadBoolean(const std::string& valueName, bool* value);
    bool RegistryReadData(const std::string& valueName, uint8_t* data, uint32_t* length);
    bool RegistryEraseKey(const std::string& keyName);
    void RegistryEraseValue(const std::string& valueName);
    bool RegistryGetSubKeys(const std::string& keyName, std::vector<std::string>* subKeys);
    // A save that failed: a message box naming the file and the system's reason (an errno
    // value), for the first failure of each thing saved ("the settings", "the players",
    // "the demo") in a run. The caller keeps what it holds for a later save.
    void ReportFailedSave(const std::string& what, const std::string& path, int errorNumber);
    // A stored file that could not be used: a message box with the store's title and its
    // opening ("The settings could not be read: "), the file and why (the system's reason,
    // or nothing for a file that could not be understood), then where it was kept and
    // `fresh`, or why it could not be moved aside and `notSaved`.
    void ReportFileSetAside(const FileSetAside& aside, const std::string& title, const std::string& opening,
                            const std::string& fresh, const std::string& notSaved);

    // ======== Screen mode, acceleration, misc (AppScreenAndSound.cpp) ========
    void Set3DAcclerated(bool is3D, bool reinit);
    bool Is3DAccelerated() override;
    bool Is3DAccelerationSupported();
    bool Is3DAccelerationRecommended();
    bool IsScreenSaver();

    // ======== Main loop (AppMainLoop.cpp) ========
    // Process's first part while a demo plays: a fast-forward runs updates without waiting,
    // drawn about once a second, until the update or marker it aims at. While it runs it
    // ends Process's step, whose answer it returns; none once there is nothing to
    // fast-forward (the sound muted for the run then comes back).
    std::optional<bool> FastForwardDemo(bool allowSleep);
    void UpdateFTimeAcc();
    // Drops the update backlog; with holdOff none builds for the next 1000 ms.
    void ClearUpdateBacklog(bool holdOff);

    // ======== Window events (AppEvents.cpp) ========
    // Called by the platform for every window event (main thread, inside DoMessageLoop);
    // 1 when the system's default handling must not apply.
    int HandleWinEvent(WinEventType type, int param, int x, int y, int* result);
    // Handles one queued event (or all); whether events are still queued.
    bool ProcessDeferredMessages(bool singleMessage);
    void RehupFocus();
    void SetMinimized(bool minimized);
    void ClearKeysDown();

    // ======== Loading thread and cursors (AppLoading.cpp) ========
    void StartLoadingThread();
    static uint32_t LoadingThreadProcStub(void* app);
    // Joins the loading thread; a fatal error handed over meanwhile ends the program here.
    void WaitForLoadingThread();
    void StartCursorThread();
    static uint32_t CursorThreadProcStub(void* app);
    static uint32_t TimerThread(void* app);
    void SetCursor(int cursorNum);
    int GetCursor();
    // Not owned; numbers outside 0 to CURSOR_CUSTOM are ignored.
    void SetCursorImage(int cursorNum, Image* image);
    void EnableCustomCursors(bool enabled);

    // ======== Dialogs and clipboard (AppDialogs.cpp) ========
    void ProcessSafeDeleteList();
    virtual void CopyToClipboard(const std::string& text);
    std::string GetClipboard();

    // ======== Shared images and the image registry (AppSharedImages.cpp) ========
    // At the end of every update: deletes the entries no reference holds.
    void CleanSharedImages();
    void AddMemoryImage(MemoryImage* image) override;
    void RemoveMemoryImage(MemoryImage* image) override;
    void Remove3DData(MemoryImage* image) override;
    // A new empty image of the current display kind (a software image on a platform
    // without one); the caller owns it.
    MemoryImage* CreateNativeImage();
    MemoryImage* CopyImage(Image* image, const TRect<int>& rect);
    MemoryImage* CopyImage(Image* image) override;

    // ======== Image utilities (AppImageUtil.cpp) ========
    void ColorizeImage(Image* image, const Color& color);
    MemoryImage* CreateColorizedImage(Image* image, const Color& color);
    void MirrorImage(Image* image);
    void FlipImage(Image* image);
    void RotateImageHue(MemoryImage* image, int offset);
    // Packed HSL: hue bits 0-7, saturation 8-15, lightness 16-23.
    uint32_t RGBToHSL(int r, int g, int b);
    uint32_t HSLToRGB(int h, int s, int l);
    void RGBToHSL(const uint32_t* source, uint32_t* dest, int count);
    void HSLToRGB(const uint32_t* source, uint32_t* dest, int count);
    MemoryImage* CreateCrossfadeImage(Image* image1, const TRect<int>& rect1, Image* image2,
                                      const TRect<int>& rect2, double fadeFactor);
    void PrecacheAdditive(MemoryImage* image);
    void PrecacheAlpha(MemoryImage* image);
    void PrecacheNative(MemoryImage* image);

    // ======== Demo recording and playback (AppDemo.cpp) ========
    void WriteDemoTimingBlock();
    void DemoRecordWindowMessage(WinEventType type, int param, int x, int y);
    void DemoAddMarker(const std::string& name);
    void DemoSyncRefreshRate();
    void DemoAssertStringEqual(const std::string& text);
    void DemoAssertIntEqual(int value);
    void WriteDemoBuffer();
    // False with a message in error.
    bool ReadDemoBuffer(std::string& error);
    // Reads the next head when one is pending; whether the command is due now.
    bool PrepareDemoCommand(bool required);
    void ProcessDemo();
    void HandleDemoKeyPress(char key);
    void DemoDoRecNum(int count);
    bool ListDemoMarkers();
    bool DemoJumpToTime();
    int GetMaxDemoFileNum(const std::string& prefix, int count, bool forRecording);
    void DemoRegisterHandle(void* handle);
    void DemoWaitForHandle(void* handle);
    bool DemoCheckHandle(void* handle);

    // ======== Demo-aware file operations and value sync (AppFileOps.cpp) ========
    // Replaces the file atomically, making its folder; false when it cannot be written.
    bool WriteBytesToFile(const std::string& fileName, const void* data, uint32_t length);
    bool WriteBufferToFile(const std::string& fileName, const Buffer* buffer);
    // The whole file into buffer; bypass skips demo recording and playback.
    bool ReadBufferFromFile(const std::string& fileName, Buffer* buffer, bool bypass);
    bool FileExists(const std::string& fileName);
    bool EraseFile(const std::string& fileName);
    // Values that must replay identically: recorded, or taken from the demo.
    void DemoSyncBuffer(Buffer* buffer);
    void DemoSyncInt(int* value);
    void DemoSyncBool(bool* value);
    void DemoSyncString(std::string* value);

private:
    // True on the main thread, and before Init has taken its id.
    bool OnMainThread();
    // The settings-store key path and value name of a value name holding backslashes.
    void RegistryKeyAndName(const std::string& valueName, std::string* keyPath, std::string* name) const;
    // Writes the settings store to disk now, making the data folder first, and tells what
    // failed or was set aside. waitForLock false: a start, which never waits for another copy
    // (what it cannot save now goes with the next save, unsaid).
    void FlushSettingsStore(bool waitForLock = true);
    // Tells once what loading or saving the settings store set aside.
    void TellSettingsSetAside();
    // The settings WriteToRegistry keeps, in its order, as the numbers it stores for them.
    std::vector<std::pair<std::string, int32_t>> StoredSettings() const;
    // Writes one of them when this copy changed it since it read or stored it; otherwise the
    // store keeps what it holds (another copy's save), and a demo still sees a write.
    void WriteSetting(const std::string& name, int32_t value);
    // The number the store holds for a setting, read past the demo; false when it holds none,
    // or a demo is played back (which touches no store).
    bool StoredNumber(const std::string& name, int32_t* number);
    // Completes loading on the main thread: priority back, hook.
    void HandleLoadingCompleted();
    // Shows and clears a deferred error text; exits when that was asked for.
    void ProcessDeferredErrors();
    // Removes and deletes the dialogs still open (destructor).
    void DeleteAllDialogs();
    // A display that failed to start: with 3D on it drops to software drawing, else the
    // program ends with the display's error.
    void DisplayFailed(int result, bool was3D);
};

// The one application object, or null.
extern VaxoAppBase* gVaxoAppBase;

// Frame-rate overlay of DrawDirtyStuff (owned here, deleted by the destructor).
extern Font* gFPSFont;
extern MemoryImage* gFPSImage;
extern PerfTimer gFPSTimer;
extern int32_t gFrameCount;
// Last value shown by the overlay; gForceDisplay shows 0 at once.
extern int32_t gFPSDisplay;
extern bool gForceDisplay;
// The last present failed: DrawDirtyStuff only retries Redraw.
extern bool gIsFailing;
// Time left in demo playback, drawn above the overlay.
extern MemoryImage* gDemoTimeLeftImage;

// Makes gFPSFont through the platform when missing; whether a font exists.
bool CreateFPSFont();
// Toggles the demo's sound off and back on (playback key "s").
void ToggleDemoSoundVolume();
// Redraws the demo's time-left image, at most once a second of playback.
void CalculateDemoTimeLeft();

} // namespace Vaxo
