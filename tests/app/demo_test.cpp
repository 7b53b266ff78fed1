// Demo recording and playback against a test platform and the fake clock: the exact bits
// of a small recorded session and its file, a whole run recorded and replayed, the
// reader's messages, damaged and ended streams, detached answers, playback keys, the
// time left, and a demo that cannot be saved.
#include "app/DemoFile.h"
#include "app/support/AppTestEnv.h"
#include "common/Registry.h"
#include "common/support/ChildProcess.h"
#include "common/support/TestFolder.h"
#include "widgets/ProfileMgr.h"
#include "widgets/Widget.h"
#include "widgets/WidgetManager.h"
#include "widgets/support/ProfileDemoSteps.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <thread>
#include <tuple>

using namespace Vaxo;

namespace
{

// Logs each widget-manager call that reaches it with the update it came at.
class LogWidget : public Widget
{
public:
    explicit LogWidget(std::vector<std::string>* log) : mLog(log)
    {
        mWantsFocus = true;
        Resize(0, 0, 800, 600);
    }
    void Add(std::string line, std::initializer_list<int> args = {})
    {
        for (int arg : args)
            line += " " + std::to_string(arg);
        mLog->push_back(std::to_string(gVaxoAppBase->mUpdateCount) + ":" + line);
    }
    using Widget::MouseDown;
    using Widget::MouseUp;
    void MouseMove(int x, int y) override { Add("Move", {x, y}); }
    void MouseDrag(int x, int y) override { Add("Drag", {x, y}); }
    void MouseDown(int x, int y, int code) override { Add("Down", {x, y, code}); }
    void MouseUp(int x, int y, int code) override { Add("Up", {x, y, code}); }
    void MouseWheel(int delta) override { Add("Wheel", {delta}); }
    void KeyDown(KeyCode key) override { Add("KeyDown", {key}); }
    void KeyUp(KeyCode key) override { Add("KeyUp", {key}); }
    void KeyChar(char c) override { Add("Char", {c}); }

private:
    std::vector<std::string>* mLog;
};

struct Event
{
    int32_t update;
    WinEventType type;
    int param, x, y;
};

// A clipboard, and scripted window events handed in when their update comes.
class DemoPlatform : public TestPlatform
{
public:
    std::string mClipboard;
    std::vector<Event> mScript;

    using TestPlatform::TestPlatform;
    std::string GetClipboard() override { return mClipboard; }
    void DoMessageLoop() override
    {
        for (; !mScript.empty() && mScript.front().update <= mApp->mUpdateCount;
             mScript.erase(mScript.begin()))
            mApp->HandleWinEvent(mScript[0].type, mScript[0].param, mScript[0].x, mScript[0].y, nullptr);
    }
};

class DemoApp : public VaxoAppBase
{
public:
    std::vector<std::string> mLog;
    std::unique_ptr<LogWidget> mWidget{new LogWidget(&mLog)};
    std::function<void()> mOnUpdate = [] {};
    std::function<void()> mLoading = [] {};
    std::function<void()> mOnLoaded = [] {};

    DemoApp()
    {
        mRegKey = "Maker\\Demo";
        mWidgetManager->AddWidget(mWidget.get());
    }
    ~DemoApp() override { mWidgetManager->RemoveWidget(mWidget.get()); }
    DemoPlatform* Platform() { return static_cast<DemoPlatform*>(mPlatform.get()); }
    void UpdateFrames() override
    {
        VaxoAppBase::UpdateFrames();
        mOnUpdate();
        if (mUpdateCount > 1000) // a replay out of step ends instead of hanging
            Shutdown();
    }
    void LoadingThreadProc() override { mLoading(); }
    void LoadingThreadCompleted() override
    {
        mOnLoaded();
        mWidget->Add("loaded");
    }
};

class Demo : public ::testing::Test
{
protected:
    Demo()
    {
        SetPlatformFactory([](VaxoAppBase* app) { return new DemoPlatform(app); });
    }
    // A playing application over the stream, as Init leaves it.
    std::unique_ptr<DemoApp> Player(const Buffer& stream)
    {
        std::unique_ptr<DemoApp> app(new DemoApp());
        app->mPlayingDemo = true;
        app->mDemoBuffer.SetData(stream.GetDataPtr(), stream.GetDataLen());
        return app;
    }

    AppTestEnv mEnv; // restores the platform factory at the end
};

// A long-form head.
void Head(Buffer& s, int time, int id)
{
    s.WriteNumBits(time, 4);
    s.WriteNumBits(0, 1);
    s.WriteNumBits(id, 5);
}

TEST_F(Demo, RecordedSessionHasItsExactBitsAndFile)
{
    DemoApp app;
    app.mRecordingDemo = true;
    app.mDemoMouseX = app.mDemoMouseY = 100;
    // Gaps of 15, 16 and 31 updates; a move by (31, -31), one by (32, 0), a right double
    // click where the mouse already is.
    for (const Event& e :
         {Event{15, WINEVENT_MOUSEMOVE, 0, 131, 69}, Event{31, WINEVENT_MOUSEMOVE, 0, 163, 69},
          Event{62, WINEVENT_RBUTTONDBLCLK, 0, 163, 69}})
    {
        app.mUpdateCount = e.update;
        app.DemoRecordWindowMessage(e.type, e.param, e.x, e.y);
    }
    // 15:short move | filler, 1:long 0 (163,69) | filler, filler, 1:short button down -2
    const std::vector<uint8_t> stream = {0xDF, 0x17, 0xBE, 0x1F, 0xC0, 0x28,
                                         0x14, 0xC1, 0xFB, 0xEF, 0xC7, 0x0D};
    EXPECT_EQ(app.mDemoBuffer.GetDataLenBits(), 92);
    app.mUpdateCount = 70;
    app.mRandSeed = 0x01020304;
    app.mProductName = "Demo";
    app.mDemoMarkerList = {{"lvl", 31}};
    app.mDemoFileName = mEnv.mHome + "sub/golden.dmo";
    app.WriteDemoBuffer();
    std::vector<uint8_t> file = {0x42, 0xBE, 0xEF, 0x78, 0,   0,  0, 2, 1,  2, 3, 4, 0,
                                 4,    'D',  'e',  'm',  'o', 0,  0, 0, 13, 1, 0, 0, 0,
                                 3,    0,    'l',  'v',  'l', 31, 0, 0, 0,  0, 0, 0, 70};
    file.insert(file.end(), stream.begin(), stream.end());
    std::vector<uint8_t> written;
    ASSERT_TRUE(ReadWholeFile(app.mDemoFileName, &written));
    EXPECT_EQ(written, file);

    // Played back: the same calls at the same updates. Updates are held at each command's
    // update (the fillers' 30, 46 and 61 too), and no longer after the last: the padding
    // bits are no command.
    std::unique_ptr<DemoApp> player = Player(app.mDemoBuffer);
    player->mDemoMouseX = player->mDemoMouseY = 100;
    const std::set<int32_t> held = {0, 15, 30, 31, 46, 61, 62};
    for (int32_t update = 0; update <= 70; update++)
    {
        player->mUpdateCount = update;
        EXPECT_EQ(!player->DoUpdateFrames(), held.count(update) == 1) << update;
        player->mUpdateCount = update;
        player->ProcessDemo();
    }
    EXPECT_EQ(player->mLog,
              (std::vector<std::string>{"15:Move 131 69", "31:Move 163 69", "62:Down 163 69 -2"}));
    // A position 12 bits cannot hold is kept at the edge, where playback will have it.
    app.DemoRecordWindowMessage(WINEVENT_MOUSEMOVE, 0, -50, 5000);
    EXPECT_EQ(std::make_pair(app.mDemoMouseX, app.mDemoMouseY), std::make_pair(0, 4095));

    // A clipboard text longer than a demo string keeps, recorded, what the demo holds so
    // that the replay sees the same; outside a demo it passes whole.
    app.Platform()->mClipboard = std::string(40000, 'c');
    EXPECT_EQ(app.GetClipboard().size(), 32767u);
    app.mRecordingDemo = false; // no demo file is written
    EXPECT_EQ(app.GetClipboard().size(), 40000u);
}

// What the machine answers at update 3, logged as one line.
void AskTheMachine(DemoApp& app, const std::string& dataFile)
{
    Buffer buffer;
    int value = -1;
    int synced = app.mRecordingDemo ? 7 : 8;
    std::vector<std::string> keys;
    app.DemoSyncInt(&synced);
    // Each answer is taken before what it filled in is read: the operands of one
    // expression may be evaluated in any order.
    std::string line = "exists " + std::to_string(app.FileExists(dataFile));
    const bool read = app.ReadBufferFromFile(dataFile, &buffer, false);
    line += " read " + std::to_string(read) +
            std::string(reinterpret_cast<const char*>(buffer.GetDataPtr()), size_t(buffer.GetDataLen()));
    uint32_t type = 0, size = 0; // a size query reads no data
    const bool sized = app.RegistryRead("Value", &type, nullptr, &size);
    line += " size " + std::to_string(sized) + std::to_string(size);
    const bool valued = app.RegistryReadInteger("Value", &value);
    line += " value " + std::to_string(valued) + std::to_string(value);
    const bool listed = app.RegistryGetSubKeys("Keys", &keys);
    line += " keys " + std::to_string(listed) + (keys.empty() ? "" : keys[0]);
    const bool written = app.RegistryWriteInteger("Written", 7);
    line += " write " + std::to_string(written) + " clip " + app.GetClipboard();
    app.mWidget->Add(line + " synced", {synced});
}

TEST_F(Demo, RecordedRunReplaysTheSameCallsAnswersAndLoadingHandOver)
{
    const std::string demoFile = mEnv.mHome + "run.dmo";
    const std::string dataFile = mEnv.mHome + "data.txt";
    WriteFileAtomically(dataFile, "hi", 2);
    const std::string key = "SOFTWARE\\Maker\\Demo";
    const int32_t stored = 41;
    std::vector<std::string> recorded;
    uint32_t seed = 0;
    {
        DemoApp app;
        app.Platform()->mCmdLine = "game -record -demofile=" + demoFile;
        app.Platform()->mClipboard = "copied";
        app.Platform()->mScript = {{5, WINEVENT_MOUSEMOVE, 0, 100, 100},
                                   {6, WINEVENT_MOUSEMOVE, 0, 110, 95},
                                   {7, WINEVENT_LBUTTONDOWN, 0, 110, 95},
                                   {8, WINEVENT_LBUTTONUP, 0, 110, 95},
                                   {9, WINEVENT_KEYDOWN, 65, 0, 0},
                                   {9, WINEVENT_CHAR, 'a', 0, 0},
                                   {9, WINEVENT_KEYUP, 65, 0, 0},
                                   {10, WINEVENT_MOUSEWHEEL, 240, 0, 0},
                                   {12, WINEVENT_RBUTTONDBLCLK, 0, 300, 200},
                                   {13, WINEVENT_RBUTTONUP, 0, 300, 200},
                                   {40, WINEVENT_CLOSE, 0, 0, 0}};
        std::atomic<bool> go(false);
        app.mLoading = [&go]()
        {
            while (!go)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        };
        app.mOnUpdate = [&]()
        {
            if (app.mUpdateCount == 3)
            {
                VaxoRegistryWrite(key, "Value", REG_DWORD, reinterpret_cast<const uint8_t*>(&stored), 4);
                VaxoRegistryWrite(key + "\\Keys\\One", "x", REG_DWORD,
                                  reinterpret_cast<const uint8_t*>(&stored), 4);
                AskTheMachine(app, dataFile);
            }
            if (app.mUpdateCount == 4)
                app.DemoAddMarker("level");
            // The hand-over is recorded at update 20.
            go = go || app.mUpdateCount == 20;
            while (go && !app.mLoadingThreadCompleted)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        };
        app.Init();
        app.Start();
        recorded = app.mLog;
        seed = app.mRandSeed;
    }
    EXPECT_EQ(recorded,
              (std::vector<std::string>{
                  "3:exists 1 read 1hi size 14 value 141 keys 1One write 1 clip copied synced 7",
                  "5:Move 100 100", "6:Move 110 95", "7:Down 110 95 1", "8:Drag 110 95", "8:Up 110 95 1",
                  "9:KeyDown 65", "9:Char 97", "9:KeyUp 65", "10:Wheel 2", "12:Move 300 200",
                  "12:Down 300 200 -2", "13:Drag 300 200", "13:Up 300 200 -1", "20:loaded"}));

    // The machine changes; the replay must not notice. The real loading thread ends
    // before and after the recorded hand-over.
    FileDelete(dataFile);
    VaxoRegistryEraseKey(key);
    for (int loadingMs : {0, 30})
    {
        DemoApp app;
        app.Platform()->mCmdLine = "game -play -demofile=" + demoFile;
        app.Platform()->mClipboard = "changed";
        app.mLoading = [loadingMs]() { std::this_thread::sleep_for(std::chrono::milliseconds(loadingMs)); };
        app.mOnUpdate = [&]()
        {
            if (app.mUpdateCount == 3)
                AskTheMachine(app, dataFile);
        };
        app.Init();
        app.Start();
        EXPECT_EQ(app.mLog, recorded) << loadingMs;
        EXPECT_EQ(app.mRandSeed, seed);
        EXPECT_EQ(app.mDemoMarkerList, (std::list<std::pair<std::string, int32_t>>{{"level", 4}}));
    }
}

// What a run decides about its players, as one line: meanwhile runs after the list is read.
std::string PlayWithPlayers(DemoApp& app, const std::function<void()>& meanwhile)
{
    ProfileMgr mgr(&app);
    std::string line = "load " + std::to_string(mgr.Load());
    meanwhile();
    if (Profile* amy = mgr.GetProfile("Amy", true))
    {
        amy->mDirty = true;
        line += " kept " + std::to_string(amy->mKeepFile) + " saved " + std::to_string(amy->SaveIfDirty());
    }
    Profile* bea = mgr.CreateProfile("Bea");
    line += " bea " + std::to_string(bea != nullptr ? bea->mId : 0) + " save " + std::to_string(mgr.Save());
    for (const SmartPtr<Profile>& profile : mgr.mProfiles)
        line += " " + std::to_string(profile->mId) + ":" + profile->mName;
    return line;
}

// A run recorded by a user who may not read some player files, where other names are taken
// or another copy changes the list, replayed by one who may: the replay makes the same calls
// and the same decisions (which file is kept, which id is free, which list is written).
TEST_F(Demo, ARunAroundPlayerFilesThatCannotBeUsedReplaysTheSameDecisions)
{
    // Lists of players: Amy (id 1); Amy and Cy (id 2).
    const char amyList[] = "\x02\0\0\0\x01\0\0\0\x01\0\0\0\x01\0\0\0\x03\0Amy\x01\0\0\0";
    const char amyAndCyList[] =
        "\x02\0\0\0\x02\0\0\0\x02\0\0\0\x01\0\0\0\x03\0Amy\x02\0\0\0\x02\0Cy\x01\0\0\0";
    const std::string amy(amyList, sizeof(amyList) - 1);
    const std::string amyAndCy(amyAndCyList, sizeof(amyAndCyList) - 1);
    // users.dat, Amy's user1.dat, an unlisted user2.dat (none when empty; "-" a file nobody
    // may read), the file whose every name to be kept under is taken, whether another copy
    // adds Cy meanwhile, and what the recording decided.
    const std::tuple<std::string, std::string, std::string, const char*, bool, const char*> rows[] = {
        {amy, "-", "", "user1.dat.unreadable", false, "load 1 kept 1 saved 0 bea 2 save 1 1:Amy 2:Bea"},
        {amy, "\x01", "", "user1.dat.damaged", false, "load 1 kept 1 saved 0 bea 2 save 1 1:Amy 2:Bea"},
        {amy, "", "-", "", false, "load 1 kept 0 saved 1 bea 3 save 1 1:Amy 3:Bea"},
        {"-", "", "", "users.dat.unreadable", false, "load 0 bea 1 save 0 1:Bea"},
        {amy, "", "", "", true, "load 1 kept 0 saved 1 bea 3 save 1 1:Amy 2:Cy 3:Bea"},
    };
    for (const auto& [list, amyFile, unlisted, taken, otherCopy, decided] : rows)
    {
        SCOPED_TRACE(decided);
        TestFolder folder;
        ASSERT_EQ(chmod(folder.mPath.c_str(), 0777), 0);
        const std::string dir = folder / "users/";
        ASSERT_TRUE(MkDir(dir));
        ASSERT_EQ(chmod(dir.c_str(), 0777), 0);
        for (const auto& [name, bytes] :
             {std::pair(std::string("users.dat"), list), {"user1.dat", amyFile}, {"user2.dat", unlisted}})
        {
            if (bytes.empty())
                continue;
            folder.Write("users/" + name, bytes == "-" ? "x" : bytes);
            ASSERT_EQ(chmod((dir + name).c_str(), bytes == "-" ? 0 : 0666), 0);
        }
        for (int i = 1; *taken != 0 && i <= 100; i++)
            folder.Write("users/" + std::string(taken) + (i > 1 ? std::to_string(i) : ""), "");
        const int recorded = RunAsOrdinaryUser(
            [&, otherCopy = otherCopy]
            {
                DemoApp app;
                app.mRecordingDemo = true;
                Profile::InitProfileDir(dir, true);
                auto meanwhile = [&]
                {
                    if (otherCopy)
                        WriteFileAtomically(dir + "users.dat", amyAndCy.data(), uint32_t(amyAndCy.size()));
                };
                const std::string line = PlayWithPlayers(app, meanwhile);
                std::ofstream(folder / "stream", std::ios::binary)
                    .write(reinterpret_cast<const char*>(app.mDemoBuffer.GetDataPtr()),
                           app.mDemoBuffer.GetDataLen());
                std::ofstream(folder / "line") << app.mDemoBuffer.GetDataLenBits() << " " << line;
                app.mRecordingDemo = false; // no demo file is written
                return 0;
            });
        ASSERT_EQ(recorded, 0);
        std::vector<uint8_t> bytes;
        ASSERT_TRUE(ReadWholeFile(folder / "stream", &bytes));
        std::ifstream lineFile(folder / "line");
        int32_t bits = 0;
        std::string line;
        lineFile >> bits;
        std::getline(lineFile >> std::ws, line);
        EXPECT_EQ(line, decided);

        // Replayed by one who may read every file.
        Buffer stream;
        stream.SetData(bytes);
        std::unique_ptr<DemoApp> player = Player(stream);
        Profile::InitProfileDir(dir, true);
        EXPECT_EQ(PlayWithPlayers(*player, [] {}), line);
        EXPECT_EQ(player->mDemoBuffer.GetReadBitPos(), bits);
        EXPECT_FALSE(player->mDemoDetached);
        Profile::mProfileDir.clear();
    }

    // A replay cut off from its demo, where every file exists, still gives a new player the
    // first id at once.
    std::unique_ptr<DemoApp> cut = Player(Buffer());
    cut->mDemoDetached = true;
    Profile::InitProfileDir(mEnv.mHome + "users/", true);
    ProfileMgr mgr(cut.get());
    Profile* dee = mgr.CreateProfile("Dee");
    ASSERT_NE(dee, nullptr);
    EXPECT_EQ(dee->mId, 1);

    // One cut off once it gave a list where two players share an id: the second gets a free id
    // at once too, not after a search through every id that the cut-off replay says is taken.
    const char repeatedList[] =
        "\x02\0\0\0\x01\0\0\0\x02\0\0\0\x01\0\0\0\x03\0Amy\x01\0\0\0\x03\0Bob\x01\0\0\0";
    Buffer listOnly;
    Head(listOnly, 0, DEMO_FILE_READ);
    listOnly.WriteNumBits(1, 1);
    WriteDemoBytes(listOnly, reinterpret_cast<const uint8_t*>(repeatedList),
                   int32_t(sizeof(repeatedList) - 1));
    std::unique_ptr<DemoApp> cutAfterList = Player(listOnly);
    ProfileMgr repeated(cutAfterList.get());
    EXPECT_TRUE(repeated.Load());
    EXPECT_TRUE(cutAfterList->mDemoDetached);
    ASSERT_EQ(repeated.mProfiles.size(), 2u);
    EXPECT_NE(repeated.mProfiles.front()->mId, repeated.mProfiles.back()->mId);
    Profile::mProfileDir.clear();
}

// The player fuzz target's seeds, streams recorded around player files and lists that other
// copies changed, played back as the target plays them by the kind of program that recorded
// them: each reaches the end of its stream in step, every pass over the list, file and setting
// taken where the recording made it. A change to what a run records about its players stops
// them short here, before the seeds stop reaching what they were recorded for.
TEST_F(Demo, ThePlayerFuzzTargetsSeedsReplayToTheirLastBit)
{
    // The data folder is tests/app/data; the seeds lie under fuzz/ at the root.
    const std::filesystem::path seeds =
        (std::filesystem::path(VAXO_TEST_DATA_DIR) / "../../../fuzz/widgets/corpus/profile_demo")
            .lexically_normal();
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(seeds))
    {
        SCOPED_TRACE(entry.path().filename().string());
        std::vector<uint8_t> bytes;
        ASSERT_TRUE(ReadWholeFile(entry.path().string(), &bytes));
        Buffer stream;
        stream.SetData(bytes);
        std::unique_ptr<DemoApp> player = Player(stream);
        Profile::InitProfileDir(mEnv.mHome + "users/", true);
        {
            ProfileMgr mgr(player.get());
            PlayProfileDemoSteps(mgr);
        }
        EXPECT_FALSE(player->mDemoDetached);
        EXPECT_LT(player->mDemoBuffer.GetDataLenBits() - player->mDemoBuffer.GetReadBitPos(),
                  kDemoMinCommandBits);
        Profile::mProfileDir.clear();
        ++count;
    }
    EXPECT_GT(count, 0);
}

TEST_F(Demo, WhatTheLoadingHookAsksTheMachineReplaysAndLaterInputStaysInStep)
{
    // The hook that takes over from the loading thread reads a file and a synchronised
    // value; input follows it.
    const std::string demoFile = mEnv.mHome + "hook.dmo";
    const std::string dataFile = mEnv.mHome + "hook.txt";
    WriteFileAtomically(dataFile, "hi", 2);
    auto hook = [&dataFile](DemoApp& app)
    {
        int synced = app.mRecordingDemo ? 7 : 8;
        app.DemoSyncInt(&synced);
        const bool exists = app.FileExists(dataFile);
        app.mWidget->Add("hook", {synced, exists});
    };
    std::vector<std::string> recorded;
    {
        DemoApp app;
        app.Platform()->mCmdLine = "game -record -demofile=" + demoFile;
        app.Platform()->mScript = {{15, WINEVENT_MOUSEMOVE, 0, 100, 100}, {20, WINEVENT_CLOSE, 0, 0, 0}};
        std::atomic<bool> go(false);
        app.mLoading = [&go]()
        {
            while (!go)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        };
        app.mOnLoaded = [&] { hook(app); };
        app.mOnUpdate = [&]()
        {
            go = go || app.mUpdateCount == 10;
            while (go && !app.mLoadingThreadCompleted)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        };
        app.Init();
        app.Start();
        recorded = app.mLog;
    }
    ASSERT_EQ(recorded, (std::vector<std::string>{"10:hook 7 1", "10:loaded", "15:Move 100 100"}));

    FileDelete(dataFile);
    for (int loadingMs : {0, 30})
    {
        DemoApp app;
        app.Platform()->mCmdLine = "game -play -demofile=" + demoFile;
        app.mLoading = [loadingMs]() { std::this_thread::sleep_for(std::chrono::milliseconds(loadingMs)); };
        app.mOnLoaded = [&] { hook(app); };
        app.Init();
        app.Start();
        EXPECT_EQ(app.mLog, recorded) << loadingMs;
        EXPECT_LE(app.mUpdateCount, 21) << loadingMs; // ended by the recorded close
    }
}

TEST_F(Demo, ReaderMessagesAndVersions)
{
    DemoFile good;
    good.mProductName = "Product";
    good.mMarkers = {{"a", 5}, {"b", 9}};
    good.mStream = {0xAB, 0xCD};
    const std::vector<uint8_t> bytes = BuildDemoFile(good);
    // Offsets: marker block length at 21, count at 25, demo length at 43, 49 bytes in all.
    auto with = [&bytes](size_t at, std::vector<uint8_t> patch, size_t keep = 49)
    {
        std::vector<uint8_t> changed(bytes.begin(), bytes.begin() + ptrdiff_t(keep));
        std::copy(patch.begin(), patch.end(), changed.begin() + ptrdiff_t(at));
        return changed;
    };
    // Version 1: no marker block; seed 77, demo length 9, one byte of stream.
    const std::vector<uint8_t> version1 = {0x42, 0xBE, 0xEF, 0x78, 0,   0,   0,   1,   0, 0, 0, 77, 0,
                                           7,    'P',  'r',  'o',  'd', 'u', 'c', 't', 0, 0, 0, 9,  0xEE};
    std::vector<uint8_t> longName = with(4, {0, 0, 0, 2, 0, 0, 0, 1, 0x01, 0x2C}, 14); // 300 bytes
    longName.resize(longName.size() + 312, 'x');
    const std::string invalid = "Invalid demo file.", other = "This demo file appears to be for '";
    // File (empty: none), product name, then the error and the markers read.
    const std::tuple<std::vector<uint8_t>, std::string, std::string, size_t> rows[] = {
        {bytes, "Product", "", 2},
        {version1, "Product", "", 0},
        {{}, "Product", "Demo file not found: " + mEnv.mHome + "read.dmo", 0},
        {with(0, {0x42, 0xBE, 0xEF, 0x79}), "Product", invalid, 0},
        {bytes, "Other", other + "Product'", 0},
        {longName, std::string(300, 'x'), other + std::string(255, 'x') + "'", 0},
        {with(21, {0xFF, 0xFF, 0xFF, 0xF0}), "Product", invalid, 0}, // -16 if read signed
        {with(25, {0xFF, 0xFF, 0xFF, 0xFF}), "Product", invalid, 0}, // negative count
        {with(25, {3}), "Product", invalid, 2},                      // block ends before the third
        {with(0, {}, 47), "Product", invalid, 2},                    // no command stream
        {with(0, {}, 10), "Product", invalid, 0},                    // no seed
    };
    for (const auto& [file, product, expected, markers] : rows)
    {
        DemoApp app;
        app.mDemoFileName = mEnv.mHome + "read.dmo";
        FileDelete(app.mDemoFileName);
        if (!file.empty())
            WriteFileAtomically(app.mDemoFileName, file.data(), uint32_t(file.size()));
        app.mProductName = product;
        std::string error;
        EXPECT_EQ(app.ReadDemoBuffer(error), expected.empty()) << expected;
        EXPECT_EQ(error, expected);
        EXPECT_EQ(app.mDemoMarkerList.size(), markers) << expected;
        if (file == version1)
        {
            EXPECT_EQ(
                std::vector<int64_t>({app.mRandSeed, app.mDemoUpdateTotal, app.mDemoBuffer.GetDataLen()}),
                std::vector<int64_t>({77, 9, 1}));
        }
    }
}

TEST_F(Demo, DamagedStreamsStayInBoundsAndEndedStreamsHoldNothing)
{
    Buffer s;
    Head(s, 0, DEMO_REGISTRY_READ); // a value of 8 bytes for a 4-byte buffer
    s.WriteNumBits(1, 1);
    s.WriteLong(REG_DWORD);
    s.WriteLong(8);
    s.WriteBytes(reinterpret_cast<const uint8_t*>("12345678"), 8);
    Head(s, 0, DEMO_FILE_EXISTS);
    s.WriteNumBits(1, 1);
    Head(s, 0, DEMO_FILE_READ); // claims far more bytes than follow: the file was cut
    s.WriteNumBits(1, 1);
    s.WriteLong(0x7FFFFFFF);
    s.WriteBytes(reinterpret_cast<const uint8_t*>("abc"), 3);
    std::unique_ptr<DemoApp> app = Player(s);
    char value[6] = "....";
    uint32_t type = 0, length = 4;
    EXPECT_FALSE(app->RegistryRead("V", &type, reinterpret_cast<uint8_t*>(value), &length));
    EXPECT_EQ(std::string(value, 6), std::string("1234\0\0", 6));
    EXPECT_EQ(length, 8u);
    EXPECT_TRUE(app->FileExists(mEnv.mHome + "nothing"));
    Buffer read;
    read.WriteByte('k');
    EXPECT_FALSE(app->ReadBufferFromFile("x", &read, false));
    EXPECT_EQ(read.GetDataLen(), 1);
    // Not from the demo: a bypassed read, and erasing.
    const std::string real = mEnv.mHome + "real.txt";
    WriteFileAtomically(real, "r", 1);
    EXPECT_TRUE(app->ReadBufferFromFile(real, &read, true));
    EXPECT_EQ(read.GetDataLen(), 1);
    EXPECT_TRUE(app->EraseFile(real));
    EXPECT_TRUE(FileExists(real));

    // A close whose head was read with the command before it is still played at its
    // update, though nothing is left behind it.
    Buffer c;
    for (int id : {DEMO_FILLER, DEMO_FILLER, DEMO_MOUSE_ENTER})
        Head(c, id == DEMO_FILLER ? 15 : 0, id);
    Head(c, 5, DEMO_CLOSE);
    ASSERT_EQ(c.GetDataLenBits(), 40);
    app = Player(c);
    for (app->mUpdateCount = 0; app->mUpdateCount <= 36 && !app->mShutdown; app->mUpdateCount++)
    {
        app->ProcessDemo();
        EXPECT_EQ(app->mShutdown, app->mUpdateCount == 35);
    }
}

TEST_F(Demo, LiveCloseDetachesTheDemo)
{
    Buffer s;
    for (int i = 0; i < 20; i++)
        Head(s, 0, DEMO_FILE_EXISTS);
    std::unique_ptr<DemoApp> app = Player(s);
    app->HandleWinEvent(WINEVENT_CLOSE, 0, 0, 0, nullptr);
    app->ProcessDeferredMessages(false);
    ASSERT_TRUE(app->mDemoDetached);
    Buffer buffer;
    uint8_t data[4];
    uint32_t type = 0, length = 4;
    std::vector<std::string> keys;
    int synced = 5;
    app->DemoSyncInt(&synced);
    const bool answers[] = {app->FileExists("x"),
                            app->WriteBytesToFile("x", "", 0),
                            app->ReadBufferFromFile("x", &buffer, false),
                            app->RegistryRead("V", &type, data, &length),
                            app->RegistryWriteInteger("V", 1),
                            app->RegistryEraseKey("K"),
                            app->RegistryGetSubKeys("K", &keys),
                            keys.empty() && synced == 5 && app->GetClipboard().empty()};
    EXPECT_EQ(std::vector<bool>(std::begin(answers), std::end(answers)),
              (std::vector<bool>{true, true, false, false, true, true, true, true}));
    EXPECT_EQ(app->mDemoBuffer.GetReadBitPos(), 0);
}

// The message boxes among a platform's calls.
std::vector<std::string> Boxes(const std::vector<std::string>& calls)
{
    std::vector<std::string> boxes;
    for (const std::string& call : calls)
    {
        if (call.rfind("MessageBoxA", 0) == 0)
            boxes.push_back(call);
    }
    return boxes;
}

TEST_F(Demo, AFileCutShortIsToldOnceByNameAndNothingMoreIsReplayed)
{
    // At update 0 a read, an existence test, a key listing and a synchronised value; at
    // update 1 a mouse position.
    Buffer s;
    Head(s, 0, DEMO_FILE_READ);
    s.WriteNumBits(1, 1);
    WriteDemoBytes(s, reinterpret_cast<const uint8_t*>("hi"), 2);
    Head(s, 0, DEMO_FILE_EXISTS);
    s.WriteNumBits(0, 1);
    Head(s, 0, DEMO_REGISTRY_SUBKEYS);
    s.WriteNumBits(1, 1);
    s.WriteLong(1);
    WriteDemoString(s, "k");
    Head(s, 0, DEMO_SYNC_BUFFER);
    const uint8_t seven[] = {7, 0, 0, 0};
    WriteDemoBytes(s, seven, 4);
    Head(s, 1, DEMO_MOUSE_POSITION);
    s.WriteNumBits(5, 12);
    s.WriteNumBits(6, 12);
    ASSERT_EQ(s.GetDataLenBits(), 245);
    const std::string file = mEnv.mHome + "cut.dmo";
    const std::string told =
        "MessageBoxA(16,Demo Ends Early,Demo file ends early, nothing more is replayed: " + file + ")";
    // Bytes of the stream kept, then the answers, the calls played and whether the user
    // was told. Once the demo ends early the answers are those of a detached demo.
    const std::tuple<int32_t, std::string, std::vector<std::string>, bool> rows[] = {
        {31, "read 1hi exists 0 keys 1k sync 7", {"1:Move 5 6"}, false}, // whole
        {5, "read 0 exists 1 keys 1 sync -1", {}, true},                 // in the read's bytes
        {8, "read 1hi exists 1 keys 1 sync -1", {}, true},               // before the test's head
        {14, "read 1hi exists 0 keys 1 sync -1", {}, true},              // in the listing's names
        {26, "read 1hi exists 0 keys 1k sync -1", {}, true},             // in the value
        {28, "read 1hi exists 0 keys 1k sync 7", {}, true},              // in the position
        {27, "read 1hi exists 0 keys 1k sync 7", {}, false}, // between commands: nothing lost is asked for
    };
    for (const auto& [kept, answers, played, toldOnce] : rows)
    {
        Buffer cut;
        cut.SetData(s.GetDataPtr(), kept);
        std::unique_ptr<DemoApp> app = Player(cut);
        app->mDemoFileName = file;
        Buffer read;
        const bool wasRead = app->ReadBufferFromFile("f", &read, false);
        std::string line =
            "read " + std::to_string(wasRead) +
            std::string(reinterpret_cast<const char*>(read.GetDataPtr()), size_t(read.GetDataLen()));
        line += " exists " + std::to_string(app->FileExists("f"));
        std::vector<std::string> keys;
        const bool listed = app->RegistryGetSubKeys("K", &keys);
        line += " keys " + std::to_string(listed) + (keys.empty() ? "" : keys[0]);
        int synced = -1;
        app->DemoSyncInt(&synced);
        line += " sync " + std::to_string(synced);
        app->ProcessDemo();
        app->mUpdateCount = 1;
        app->ProcessDemo();
        EXPECT_TRUE(app->DoUpdateFrames()) << kept; // nothing more holds the updates
        EXPECT_EQ(line, answers) << kept;
        EXPECT_EQ(app->mLog, played) << kept;
        EXPECT_EQ(Boxes(app->Platform()->mCalls),
                  toldOnce ? std::vector<std::string>{told} : std::vector<std::string>{})
            << kept;
    }
}

// Stream bytes behind a demo file's header: playback as Init leaves it for a file
// holding them.
std::unique_ptr<DemoApp> PlayFile(const std::string& file, const std::vector<uint8_t>& stream)
{
    std::unique_ptr<DemoApp> app(new DemoApp());
    DemoFile demo;
    demo.mProductName = app->mProductName;
    demo.mStream = stream;
    const std::vector<uint8_t> bytes = BuildDemoFile(demo);
    WriteFileAtomically(file, bytes.data(), uint32_t(bytes.size()));
    app->Platform()->mCmdLine = "game -play -demofile=" + file;
    app->Init();
    return app;
}

TEST_F(Demo, AStreamThatEndsEarlyStillHandsLoadingOverAndKeepsPlaybackGoing)
{
    // A stream that ends before the loading thread starts: one byte, or only the refresh
    // setting Init reads. The thread's completion is handed over when it finishes.
    Buffer refreshOnly;
    Head(refreshOnly, 0, DEMO_REFRESH_SYNC);
    refreshOnly.WriteBoolean(true);
    refreshOnly.WriteByte(60);
    const std::vector<uint8_t> streams[] = {
        {0x00}, {refreshOnly.GetDataPtr(), refreshOnly.GetDataPtr() + refreshOnly.GetDataLen()}};
    for (const std::vector<uint8_t>& stream : streams)
    {
        std::unique_ptr<DemoApp> app = PlayFile(mEnv.mHome + "short.dmo", stream);
        app->mLoading = [] { std::this_thread::sleep_for(std::chrono::milliseconds(20)); };
        DemoApp* player = app.get();
        player->mOnUpdate = [player]
        {
            if (player->mLoaded && player->mUpdateCount >= 3)
                player->Shutdown();
        };
        app->Start();
        ASSERT_EQ(app->mLog.size(), 1u) << stream.size();
        EXPECT_EQ(app->mLog[0].substr(app->mLog[0].find(':')), ":loaded") << stream.size();
    }

    // Past the end: the speed keys, held down, keep the speed within bounds and playback
    // advancing (ceil(speed x 10) used to overflow an int); a marker run has nothing to stop it.
    std::unique_ptr<DemoApp> app = PlayFile(mEnv.mHome + "ended.dmo", {0x00});
    app->mLoaded = app->mDemoLoadDone = true; // as once the game has loaded
    // Speed key, presses, the speed reached, the fake time run and the fewest updates in it.
    const std::tuple<char, int, double, uint32_t, int32_t> rows[] = {
        {'+', 48, 256.0, 10, 100}, {'-', 48, 1.0 / 8.0, 1000, 10}, {'=', 1, 1.0, 100, 9}};
    for (const auto& [key, presses, speed, ms, updates] : rows)
    {
        for (int i = 0; i < presses; i++)
            app->HandleDemoKeyPress(key);
        EXPECT_EQ(app->mUpdateMultiplier, speed) << key;
        const int32_t before = app->mUpdateCount;
        const uint32_t end = mEnv.mClock.AccurateTime() + ms;
        for (int32_t steps = 1; int32_t(mEnv.mClock.AccurateTime() - end) < 0; steps++)
        {
            app->UpdateAppStep(nullptr);
            if (steps % 50 == 0) // real time passes while the loop runs, if it does not sleep
                mEnv.mClock.Advance(1);
        }
        EXPECT_GE(app->mUpdateCount - before, updates) << key;
    }
    app->HandleDemoKeyPress('m');
    EXPECT_FALSE(app->mFastForwardToMarker);
}

TEST_F(Demo, PlaybackKeysAndTimeLeft)
{
    DemoApp app;
    app.mPlayingDemo = true;
    Head(app.mDemoBuffer, 15, DEMO_FILLER); // a command still to come, for "M" to run to
    app.mDemoUpdateTotal = 373000;
    app.mUpdateCount = 500;
    app.mMusicVolume = 0.5;
    // Key, then speed, the update to run to, and the marker, step, paused flags.
    const std::tuple<char, double, int32_t, const char*> rows[] = {
        {'+', 1.5, 0, "000"},    {'-', 1 / 1.5, 0, "000"}, {'=', 1, 0, "000"},      {'0', 1, 373000, "000"},
        {'4', 1, 361000, "000"}, {'5', 1, 364000, "000"},  {'6', 1, 367000, "000"}, {'7', 1, 370000, "000"},
        {'8', 1, 372000, "000"}, {'9', 1, 372500, "000"},  {'M', 1, 0, "100"},      {'n', 1, 501, "010"},
        {'P', 1, 0, "001"},      {'x', 1, 0, "000"}};
    for (const auto& row : rows)
    {
        app.mUpdateMultiplier = 1.0;
        app.mFastForwardToUpdateNum = 0;
        app.mFastForwardToMarker = app.mFastForwardStep = app.mPaused = false;
        app.HandleDemoKeyPress(std::get<0>(row));
        std::string flags = {"01"[app.mFastForwardToMarker], "01"[app.mFastForwardStep], "01"[app.mPaused]};
        EXPECT_DOUBLE_EQ(app.mUpdateMultiplier, std::get<1>(row)) << std::get<0>(row);
        EXPECT_EQ(app.mFastForwardToUpdateNum, std::get<2>(row)) << std::get<0>(row);
        EXPECT_EQ(flags, std::get<3>(row)) << std::get<0>(row);
    }
    app.mFrameTime = 0; // taken as 1 ms rather than dividing by nothing
    app.HandleDemoKeyPress('9');
    EXPECT_EQ(app.mFastForwardToUpdateNum, 368000);
    app.mFrameTime = 10;
    app.HandleDemoKeyPress('s');
    EXPECT_EQ(app.mMusicVolume, 0.0);
    app.HandleDemoKeyPress('S');
    EXPECT_EQ(app.mMusicVolume, 0.5);

    // (373000 - 500) updates of 10 ms are 3725 s; redrawn once a second of playback.
    CalculateDemoTimeLeft();
    ASSERT_NE(gDemoTimeLeftImage, nullptr);
    EXPECT_EQ(gDemoTimeLeftImage->GetHeight(), 16);
    app.mUpdateCount = 373100;
    CalculateDemoTimeLeft();
    mEnv.mClock.Advance(1000);
    CalculateDemoTimeLeft();
    EXPECT_EQ(static_cast<TestFont*>(gFPSFont)->mDrawn, (std::vector<std::string>{"01:02:05", "00:00:00"}));
}

TEST_F(Demo, ADemoThatCannotBeSavedIsToldAtStartAndSavedAtTheEndIfItCanBeThen)
{
    const std::string blocker = mEnv.mHome + "blocker";
    ASSERT_TRUE(WriteFileAtomically(blocker, "x", 1));
    const std::string folder = mEnv.mHome + "taken.dmo";
    // The demo file, the reason told at start (none: no box), and whether the file can be
    // saved by the time the run ends.
    const std::tuple<std::string, std::string, bool> rows[] = {
        {mEnv.mHome + "fine/run.dmo", "", true},
        {blocker + "/run.dmo", "Not a directory", false}, // no folder can be made below a file
        {folder, "Is a directory", true},                 // the folder is taken away meanwhile
    };
    for (const auto& [file, reason, saved] : rows)
    {
        MkDir(folder);
        std::vector<std::string> calls;
        auto* app = new DemoApp();
        app->Platform()->mFinalCalls = &calls;
        app->Platform()->mCmdLine = "game -record -demofile=" + file;
        app->Init();
        const std::vector<std::string> told =
            reason.empty()
                ? std::vector<std::string>{}
                : std::vector<std::string>{"MessageBoxA(16,Save Failed,Could not save the demo to \"" + file +
                                           "\": " + reason + ")"};
        EXPECT_EQ(Boxes(app->Platform()->mCalls), told) << file;
        ::rmdir(folder.c_str());
        delete app;
        EXPECT_EQ(Boxes(calls), told) << file; // not told again
        std::vector<uint8_t> bytes;
        EXPECT_EQ(ReadWholeFile(file, &bytes), saved) << file;
    }
    // Nothing is left of the check beside the file.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(mEnv.mHome + "fine"),
                            std::filesystem::directory_iterator()),
              1);
}

} // namespace
