// The command line: splitting into options, skipping the program's name, the framework's
// seven options with the demo file names they choose, and the exit on an unknown option.
#include "app/support/AppTestEnv.h"

#include <gtest/gtest.h>

using namespace Vaxo;

namespace
{

// Writes down the options instead of acting on them.
class SplitApp : public VaxoAppBase
{
public:
    std::string mOptions;
    void HandleCmdLineParam(const std::string& name, const std::string& value) override
    {
        mOptions += "[" + name + "|" + value + "]";
    }
};

// Keeps the current folder where the test runs.
class OptionApp : public VaxoAppBase
{
public:
    bool ChangeDirHook(const char*) override { return true; }
};

TEST(CmdLine, SplitsOptionsAsTheExamplesShow)
{
    AppTestEnv env;
    struct Row
    {
        const char* text;
        const char* options;
    };
    const Row parsed[] = {
        {"-changedir=\"C:\\My Games\"", "[-changedir|C:\\My Games]"},
        {"-demofile=\"a b\"c", "[-demofile|a b][c|]"},
        {"a=b=c", "[a|bc]"},
        {"-record   -play ", "[-record|][-play|]"},
        {"\"=x\"y", "[y|]"}, // an option without a name is dropped
        {"", ""},
    };
    for (const Row& row : parsed)
    {
        SplitApp app;
        app.ParseCmdLine(row.text);
        EXPECT_EQ(app.mOptions, row.options) << row.text;
    }
    const Row whole[] = {
        {"\"C:\\Program Files\\game.exe\" -record", "[-record|]"},
        {"game -play -recnum=2", "[-play|][-recnum|2]"},
        {"game", ""},
        {"\"C:\\game.exe -record", ""},
    };
    for (const Row& row : whole)
    {
        SplitApp app;
        env.mPlatform->mCmdLine = row.text;
        app.DoParseCmdLine();
        EXPECT_EQ(app.mOptions, row.options) << row.text;
        EXPECT_TRUE(app.mCmdLineParsed);
    }
}

TEST(CmdLine, OptionsChooseTheDemoModeAndFile)
{
    AppTestEnv env;
    SetAppDataFolder("/data/");
    struct Row
    {
        std::string options, prefix, file;
        bool recording, playing;
    };
    const Row rows[] = {
        {"-record -play", "vaxoapp", "vaxoapp.dmo", false, true},
        {"-play -record", "vaxoapp", "vaxoapp.dmo", true, false},
        {"-demofile=run.dmo", "vaxoapp", "/data/run.dmo", false, false},
        {"-demofile=x", "vaxoapp", "/data/x", false, false},
        {"-demofile=C:run.dmo", "vaxoapp", "C:run.dmo", false, false},
        {"-demofile=ab\\run.dmo", "vaxoapp", "ab\\run.dmo", false, false},
        {"-demofile=/tmp/run.dmo", "vaxoapp", "/tmp/run.dmo", false, false},
        {"-recnum=3", "vaxoapp", "/data/vaxoapp1.dmo", true, false},
        {"-recnum=x", "/tmp/rec", "/tmp/rec1.dmo", true, false},
        {"-playnum=3", "vaxoapp", "vaxoapp-2.dmo", false, true},
        {"-playnum=1", "vaxoapp", "vaxoapp0.dmo", false, true},
        {"-playnum=-5", "vaxoapp", "vaxoapp0.dmo", false, true},
        {"-playnum=abc", "vaxoapp", "vaxoapp0.dmo", false, true},
        {"-playnum=99999999999", "vaxoapp", "vaxoapp-2147483646.dmo", false, true},
        {"-playnum=-99999999999", "vaxoapp", "vaxoapp0.dmo", false, true},
    };
    for (const Row& row : rows)
    {
        OptionApp app;
        app.mDemoPrefix = row.prefix;
        app.ParseCmdLine(row.options);
        EXPECT_EQ(app.mDemoFileName, row.file) << row.options;
        EXPECT_EQ(app.mRecordingDemo, row.recording) << row.options;
        EXPECT_EQ(app.mPlayingDemo, row.playing) << row.options;
    }
    OptionApp app;
    app.ParseCmdLine("-screensaver -changedir=\"/opt/my game\"");
    EXPECT_TRUE(app.mIsScreenSaver);
    EXPECT_EQ(app.mChangeDir, "/opt/my game");
}

TEST(CmdLine, UnknownOptionExitsWithFailure)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            AppTestEnv env;
            OptionApp app;
            app.ParseCmdLine("-demofile=\"a b\"c");
        },
        ::testing::ExitedWithCode(1), "Invalid command line parameter: c\n");
}

} // namespace
