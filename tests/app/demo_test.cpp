// Demo recording and playback against a test platform and the fake clock: the exact bits
// of a small recorded session and its file, a whole run recorded and replayed, the
// reader's messages, damaged and ended streams, detached answers, playback keys and the
// time left.
#include "app/DemoFile.h"
#include "app/support/AppTestEnv.h"
#include "common/MTRand.h"
#include "common/Registry.h"
#include "widgets/Widget.h"
#include "widgets/WidgetManager.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <thread>

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
    void Add(const std::string& what, std::initializer_list<int> args = {})
    {
        std::string line = std::to_string(gVaxoAppBase->mUpdateCount) + ":" + what;
        for (int arg : args)
            line += " " + std::to_string(arg);
        mLog->push_back(line);
    }
    using Widget::MouseDown;
    using Widget::MouseUp;
    void MouseMove(int x, int y) override { Add("Move", {x, y}); }
    void MouseDrag(int x, int y) override { Add("Drag", {x, y}); }
    void MouseDown(int x, int y, int code) override { Add("Down", {x, y, code}); }
    void MouseUp(int x, int y, int code) override { Add("Up", {x, y, code}); }
    void MouseLeave() override { Add("Leave"); }
    void MouseWheel(int delta) override { Add("Wheel", {delta}); }
    void KeyDown(KeyCode key) override { Add("KeyDown", {key}); }
    void KeyUp(KeyCode key) override { Add("KeyUp", {key}); }
    void KeyChar(char c) override { Add("Char", {c}); }

private:
    std::vector<std::string>* mLog;
};

// A clipboard, and scripted window events handed in when their update comes.
class DemoPlatform : public TestPlatform
{
public:
    struct Event
    {
        int32_t update;
        WinEventType type;
        int param, x, y;
    };
    std::string mClipboard;
    std::vector<Event> mScript;

    using TestPlatform::TestPlatform;
    std::string GetClipboard() override { return mClipboard; }
    void DoMessageLoop() override
    {
        while (!mScript.empty() && mScript.front().update <= mApp->mUpdateCount)
        {
            const Event e = mScript.front();
            mScript.erase(mScript.begin());
            mApp->HandleWinEvent(e.type, e.param, e.x, e.y, nullptr);
        }
    }
};

class DemoApp : public VaxoAppBase
{
public:
    std::vector<std::string> mLog;
    std::unique_ptr<LogWidget> mWidget;
    std::function<void()> mOnUpdate;
    std::function<void()> mLoading;

    DemoApp() : mWidget(new LogWidget(&mLog))
    {
        mRegKey = "Maker\\Demo";
        mWidgetManager->AddWidget(mWidget.get());
    }
    ~DemoApp() override { mWidgetManager->RemoveWidget(mWidget.get()); }
    DemoPlatform* Platform() { return static_cast<DemoPlatform*>(mPlatform.get()); }
    void UpdateFrames() override
    {
        VaxoAppBase::UpdateFrames();
        if (mOnUpdate)
            mOnUpdate();
        if (mUpdateCount > 1000) // a replay out of step ends instead of hanging
            Shutdown();
    }
    void LoadingThreadProc() override
    {
        if (mLoading)
            mLoading();
    }
    void LoadingThreadCompleted() override { mWidget->Add("loaded"); }
};

class Demo : public ::testing::Test
{
protected:
    Demo()
    {
        SetPlatformFactory([](VaxoAppBase* app) { return new DemoPlatform(app); });
    }
    std::vector<uint8_t> FileBytes(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
    }
    void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes)
    {
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    }
    // A playing application over the given stream, as Init leaves it.
    std::unique_ptr<DemoApp> Player(const Buffer& stream)
    {
        std::unique_ptr<DemoApp> app(new DemoApp());
        app->mPlayingDemo = true;
        app->mDemoBuffer.SetData(stream.GetDataPtr(), stream.GetDataLen());
        return app;
    }

    AppTestEnv mEnv; // restores the platform factory at the end
};

// Stream writers: a long-form head and a short-form head.
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
    app.mDemoMouseX = 100;
    app.mDemoMouseY = 100;
    struct Step
    {
        int32_t update;
        WinEventType type;
        int x, y;
    };
    // Gaps of 15, 16 and 31 updates; a move by (31, -31), one by (32, 0), a right double
    // click where the mouse already is.
    const Step steps[] = {{15, WINEVENT_MOUSEMOVE, 131, 69},
                          {31, WINEVENT_MOUSEMOVE, 163, 69},
                          {62, WINEVENT_RBUTTONDBLCLK, 163, 69}};
    for (const Step& step : steps)
    {
        app.mUpdateCount = step.update;
        app.DemoRecordWindowMessage(step.type, 0, step.x, step.y);
    }
    // 15:short move | filler, 1:long 0 (163,69) | filler, filler, 1:short button down -2
    const std::vector<uint8_t> stream = {0xDF, 0x17, 0xBE, 0x1F, 0xC0, 0x28,
                                         0x14, 0xC1, 0xFB, 0xEF, 0xC7, 0x0D};
    EXPECT_EQ(std::vector<uint8_t>(app.mDemoBuffer.GetDataPtr(), app.mDemoBuffer.GetDataPtr() + 12), stream);
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
    EXPECT_EQ(FileBytes(app.mDemoFileName), file);

    // Played back: the same calls at the same updates; the padding bits are no command,
    // and updates go on after the last command.
    std::unique_ptr<DemoApp> player = Player(app.mDemoBuffer);
    player->mDemoMouseX = 100;
    player->mDemoMouseY = 100;
    for (int32_t update = 0; update <= 70; update++)
    {
        player->mUpdateCount = update;
        const bool held = !player->DoUpdateFrames();
        // Held at each command's update, the fillers' (30, 46, 61) included.
        const std::set<int32_t> commandUpdates = {0, 15, 30, 31, 46, 61, 62};
        EXPECT_EQ(held, commandUpdates.count(update) == 1) << update;
        player->mUpdateCount = update;
        player->ProcessDemo();
    }
    EXPECT_EQ(player->mLog,
              (std::vector<std::string>{"15:Move 131 69", "31:Move 163 69", "62:Down 163 69 -2"}));
}

// What the machine answers at update 3, logged as one line.
void AskTheMachine(DemoApp& app, const std::string& dataFile)
{
    Buffer buffer;
    int value = -1;
    std::vector<std::string> keys;
    int ticks = int(GetTicks());
    app.DemoSyncInt(&ticks);
    std::string line = "answers exists=" + std::to_string(app.FileExists(dataFile));
    line += " read=" + std::to_string(app.ReadBufferFromFile(dataFile, &buffer, false)) + ":" +
            std::string(reinterpret_cast<const char*>(buffer.GetDataPtr()), size_t(buffer.GetDataLen()));
    line +=
        " value=" + std::to_string(app.RegistryReadInteger("Value", &value)) + ":" + std::to_string(value);
    line += " keys=" + std::to_string(app.RegistryGetSubKeys("Keys", &keys)) + ":" +
            (keys.empty() ? "" : keys[0]);
    line += " write=" + std::to_string(app.RegistryWriteInteger("Written", 7));
    line +=
        " clip=" + app.GetClipboard() + " ticks=" + std::to_string(ticks) + " rand=" + std::to_string(Rand());
    app.mWidget->Add(line);
}

TEST_F(Demo, RecordedRunReplaysTheSameCallsAnswersAndLoadingHandOver)
{
    const std::string demoFile = mEnv.mHome + "run.dmo";
    const std::string dataFile = mEnv.mHome + "data.txt";
    WriteBytes(dataFile, {'h', 'i'});
    const std::string key = "SOFTWARE\\Maker\\Demo";
    const int32_t stored = 41;
    const uint8_t* storedBytes = reinterpret_cast<const uint8_t*>(&stored);
    std::vector<std::string> recorded;
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
                VaxoRegistryWrite(key, "Value", REG_DWORD, storedBytes, 4);
                VaxoRegistryWrite(key + "\\Keys\\One", "x", REG_DWORD, storedBytes, 4);
                AskTheMachine(app, dataFile);
            }
            if (app.mUpdateCount == 4)
                app.DemoAddMarker("level");
            if (app.mUpdateCount == 20)
            {
                // The hand-over is recorded at this update.
                go = true;
                while (!app.mLoadingThreadCompleted)
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        };
        app.Init();
        app.Start();
        recorded = app.mLog;
    }
    const std::vector<std::string> expected = {
        "3:answers exists=1 read=1:hi value=1:41 keys=1:One write=1 clip=copied",
        "5:Move 100 100",
        "6:Move 110 95",
        "7:Down 110 95 1",
        "8:Drag 110 95",
        "8:Up 110 95 1",
        "9:KeyDown 65",
        "9:Char 97",
        "9:KeyUp 65",
        "10:Wheel 2",
        "12:Move 300 200",
        "12:Down 300 200 -2",
        "13:Drag 300 200",
        "13:Up 300 200 -1",
        "20:loaded"};
    ASSERT_EQ(recorded.size(), expected.size());
    for (size_t i = 0; i < expected.size(); i++)
        EXPECT_EQ(recorded[i].substr(0, expected[i].size()), expected[i]);

    // The machine changes; the replay must not notice.
    FileDelete(dataFile);
    VaxoRegistryEraseKey(key);
    for (bool slowLoading : {false, true})
    {
        SCOPED_TRACE(slowLoading ? "slow loading thread" : "fast loading thread");
        DemoApp app;
        app.Platform()->mCmdLine = "game -play -demofile=" + demoFile;
        app.Platform()->mClipboard = "changed";
        app.mLoading = [slowLoading]()
        {
            if (slowLoading)
                std::this_thread::sleep_for(std::chrono::milliseconds(30));
        };
        app.mOnUpdate = [&]()
        {
            if (app.mUpdateCount == 3)
                AskTheMachine(app, dataFile);
        };
        app.Init();
        app.Start();
        EXPECT_EQ(app.mLog, recorded);
        EXPECT_EQ(app.mDemoMarkerList, (std::list<std::pair<std::string, int32_t>>{{"level", 4}}));
        EXPECT_TRUE(app.mShutdown);
    }
}

TEST_F(Demo, ReaderMessagesAndVersions)
{
    DemoFile good;
    good.mRandSeed = 77;
    good.mProductName = "Product";
    good.mMarkers = {{"a", 5}, {"b", 9}};
    good.mUpdateTotal = 1234;
    good.mStream = {0xAB, 0xCD};
    const std::vector<uint8_t> bytes = BuildDemoFile(good);
    // Offsets: name at 14, marker block length at 21, count at 25, demo length at 43.
    auto with = [&bytes](size_t at, std::vector<uint8_t> patch, size_t keep = SIZE_MAX)
    {
        std::vector<uint8_t> changed(bytes.begin(), bytes.begin() + ptrdiff_t(std::min(keep, bytes.size())));
        std::copy(patch.begin(), patch.end(), changed.begin() + ptrdiff_t(at));
        return changed;
    };
    std::vector<uint8_t> version1 = {0x42, 0xBE, 0xEF, 0x78, 0,   0,   0,   1,   0, 0, 0, 77, 0,
                                     7,    'P',  'r',  'o',  'd', 'u', 'c', 't', 0, 0, 0, 9,  0xEE};
    std::vector<uint8_t> longName = {0x42, 0xBE, 0xEF, 0x78, 0, 0, 0, 2, 0, 0, 0, 1, 0x01, 0x2C};
    longName.resize(longName.size() + 300, 'x');
    longName.resize(longName.size() + 12, 1);
    const std::string invalid = "Invalid demo file.";
    struct Row
    {
        std::vector<uint8_t> file;
        std::string product, error;
        size_t markers;
    };
    const Row rows[] = {
        {bytes, "Product", "", 2},
        {version1, "Product", "", 0},
        {with(0, {0x42, 0xBE, 0xEF, 0x79}), "Product", invalid, 0},
        {bytes, "Other", "This demo file appears to be for 'Product'", 0},
        {longName, std::string(300, 'x'), "This demo file appears to be for '" + std::string(255, 'x') + "'",
         0},
        {with(21, {0xFF, 0xFF, 0xFF, 0xF0}), "Product", invalid, 0}, // reads as -16 when signed
        {with(25, {0xFF, 0xFF, 0xFF, 0xFF}), "Product", invalid, 0}, // negative count
        {with(25, {3}), "Product", invalid, 2},                      // block ends before the third
        {with(0, {}, 47), "Product", invalid, 2},                    // no command stream
        {with(0, {}, 10), "Product", invalid, 0},                    // no seed
    };
    const std::string path = mEnv.mHome + "read.dmo";
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.product.substr(0, 10) + " " + row.error);
        WriteBytes(path, row.file);
        DemoApp app;
        app.mDemoFileName = path;
        app.mProductName = row.product;
        std::string error;
        EXPECT_EQ(app.ReadDemoBuffer(error), row.error.empty());
        EXPECT_EQ(error, row.error);
        EXPECT_EQ(app.mDemoMarkerList.size(), row.markers);
    }
    DemoApp app;
    app.mDemoFileName = path;
    WriteBytes(path, version1);
    std::string error;
    ASSERT_TRUE(app.ReadDemoBuffer(error));
    EXPECT_EQ(app.mRandSeed, 77u);
    EXPECT_EQ(app.mDemoUpdateTotal, 9u);
    EXPECT_EQ(app.mDemoBuffer.GetDataLen(), 1);
    app.mDemoFileName = mEnv.mHome + "missing.dmo";
    EXPECT_FALSE(app.ReadDemoBuffer(error));
    EXPECT_EQ(error, "Demo file not found: " + app.mDemoFileName);
}

TEST_F(Demo, DamagedStreamsStayInBoundsAndEndedStreamsHoldNothing)
{
    Buffer s;
    Head(s, 0, DEMO_REGISTRY_READ); // a value of 8 bytes for a 4-byte buffer
    s.WriteNumBits(1, 1);
    s.WriteLong(REG_DWORD);
    s.WriteLong(8);
    for (uint8_t b = 1; b <= 8; b++)
        s.WriteByte(b);
    Head(s, 0, DEMO_FILE_EXISTS);
    s.WriteNumBits(1, 1);
    Head(s, 0, DEMO_FILE_READ); // claims far more bytes than follow
    s.WriteNumBits(1, 1);
    s.WriteLong(0x7FFFFFFF);
    s.WriteBytes(reinterpret_cast<const uint8_t*>("abc"), 3);
    std::unique_ptr<DemoApp> app = Player(s);
    uint8_t value[6] = {0, 0, 0, 0, 0xEE, 0xEE};
    uint32_t type = 0, length = 4;
    EXPECT_FALSE(app->RegistryRead("V", &type, value, &length));
    EXPECT_EQ(std::vector<uint8_t>(value, value + 6), (std::vector<uint8_t>{1, 2, 3, 4, 0xEE, 0xEE}));
    EXPECT_EQ(length, 8u);
    EXPECT_TRUE(app->FileExists(mEnv.mHome + "nothing"));
    Buffer read;
    EXPECT_TRUE(app->ReadBufferFromFile("x", &read, false));
    EXPECT_EQ(read.GetDataLen(), 3);
    // Not from the demo: a bypassed read, and erasing.
    const std::string real = mEnv.mHome + "real.txt";
    WriteBytes(real, {'r'});
    EXPECT_TRUE(app->ReadBufferFromFile(real, &read, true));
    EXPECT_EQ(read.GetDataLen(), 1);
    EXPECT_TRUE(app->EraseFile(real));
    EXPECT_TRUE(FileExists(real));

    // A close whose head was read with the command before it is still played when its
    // update comes, though nothing is left behind it.
    Buffer c;
    Head(c, 15, DEMO_FILLER);
    Head(c, 15, DEMO_FILLER);
    Head(c, 0, DEMO_MOUSE_ENTER);
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
    EXPECT_TRUE(app->mDemoDetached);
    Buffer buffer;
    uint8_t data[4];
    uint32_t type = 0, length = 4;
    std::vector<std::string> keys;
    int synced = 5;
    const std::string answers =
        std::to_string(app->FileExists("x")) + std::to_string(app->WriteBytesToFile("x", "", 0)) +
        std::to_string(app->ReadBufferFromFile("x", &buffer, false)) +
        std::to_string(app->RegistryRead("V", &type, data, &length)) +
        std::to_string(app->RegistryWriteInteger("V", 1)) + std::to_string(app->RegistryEraseKey("K")) +
        std::to_string(app->RegistryGetSubKeys("K", &keys));
    app->DemoSyncInt(&synced);
    EXPECT_EQ(answers, "1100111");
    EXPECT_TRUE(keys.empty());
    EXPECT_EQ(synced, 5);
    EXPECT_EQ(app->GetClipboard(), "");
    EXPECT_EQ(app->mDemoBuffer.GetReadBitPos(), 0);
}

TEST_F(Demo, PlaybackKeysAndTimeLeft)
{
    DemoApp app;
    app.mPlayingDemo = true;
    app.mDemoUpdateTotal = 373000;
    app.mUpdateCount = 500;
    struct Row
    {
        char key;
        double multiplier;
        int32_t fastForwardTo;
        bool marker, step, paused;
    };
    const Row rows[] = {
        {'+', 1.5, 0, false, false, false},      {'-', 1.0 / 1.5, 0, false, false, false},
        {'=', 1.0, 0, false, false, false},      {'0', 1.0, 373000, false, false, false},
        {'4', 1.0, 361000, false, false, false}, {'5', 1.0, 364000, false, false, false},
        {'6', 1.0, 367000, false, false, false}, {'7', 1.0, 370000, false, false, false},
        {'8', 1.0, 372000, false, false, false}, {'9', 1.0, 372500, false, false, false},
        {'M', 1.0, 0, true, false, false},       {'n', 1.0, 501, false, true, false},
        {'P', 1.0, 0, false, false, true},       {'x', 1.0, 0, false, false, false},
    };
    for (const Row& row : rows)
    {
        app.mUpdateMultiplier = 1.0;
        app.mFastForwardToUpdateNum = 0;
        app.mFastForwardToMarker = app.mFastForwardStep = app.mPaused = false;
        app.HandleDemoKeyPress(row.key);
        EXPECT_DOUBLE_EQ(app.mUpdateMultiplier, row.multiplier) << row.key;
        EXPECT_EQ(app.mFastForwardToUpdateNum, row.fastForwardTo) << row.key;
        EXPECT_EQ(app.mFastForwardToMarker, row.marker) << row.key;
        EXPECT_EQ(app.mFastForwardStep, row.step) << row.key;
        EXPECT_EQ(app.mPaused, row.paused) << row.key;
    }
    app.mMusicVolume = 0.5;
    app.HandleDemoKeyPress('s');
    EXPECT_EQ(app.mMusicVolume, 0.0);
    app.HandleDemoKeyPress('S');
    EXPECT_EQ(app.mMusicVolume, 0.5);
    app.DemoAddMarker("next");
    EXPECT_FALSE(app.mFastForwardToMarker);

    // (373000 - 500) updates of 10 ms are 3725 s; refreshed once a second of playback.
    CalculateDemoTimeLeft();
    TestFont* font = static_cast<TestFont*>(gFPSFont);
    ASSERT_NE(gDemoTimeLeftImage, nullptr);
    EXPECT_EQ(gDemoTimeLeftImage->GetHeight(), 16);
    EXPECT_EQ(font->mDrawn.back(), "01:02:05");
    app.mUpdateCount = 373100;
    CalculateDemoTimeLeft();
    EXPECT_EQ(font->mDrawn.size(), 1u);
    mEnv.mClock.Advance(1000);
    CalculateDemoTimeLeft();
    EXPECT_EQ(font->mDrawn.back(), "00:00:00");
}

} // namespace
