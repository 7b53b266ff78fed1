// The command line: splitting into options, skipping the program's name, the framework's
// options with the demo files they choose, and the exit on an unknown option.
#include "app/support/AppTestEnv.h"

#include <gtest/gtest.h>

using namespace Vaxo;

namespace
{

// Writes the options down (split) or acts on them; keeps the current folder either way.
class CmdLineApp : public VaxoAppBase
{
public:
    bool mSplitOnly = false;
    std::string mOptions;
    bool ChangeDirHook(const char*) override { return true; }
    void HandleCmdLineParam(const std::string& name, const std::string& value) override
    {
        mOptions += "[" + name + "|" + value + "]";
        if (!mSplitOnly)
            VaxoAppBase::HandleCmdLineParam(name, value);
    }
};

TEST(CmdLine, SplitsOptionsAsTheExamplesShow)
{
    AppTestEnv env;
    const std::pair<const char*, const char*> rows[] = {
        {"game -changedir=\"C:\\My Games\"", "[-changedir|C:\\My Games]"},
        {"game -demofile=\"a b\"c", "[-demofile|a b][c|]"}, // the closing quote ends the option
        {"game a=b=c", "[a|bc]"},
        {"game -record   -play ", "[-record|][-play|]"},
        {"game \"=x\"y", "[y|]"}, // an option without a name is dropped
        {"\"C:\\Program Files\\game.exe\" -record", "[-record|]"},
        {"game", ""},
        {"\"C:\\game.exe -record", ""},
    };
    for (const auto& row : rows)
    {
        CmdLineApp app;
        app.mSplitOnly = true;
        env.mPlatform->mCmdLine = row.first;
        app.DoParseCmdLine();
        EXPECT_EQ(app.mOptions, row.second) << row.first;
        EXPECT_TRUE(app.mCmdLineParsed);
    }
}

TEST(CmdLine, OptionsChooseTheDemoModeAndFile)
{
    AppTestEnv env;
    SetAppDataFolder("/data/");
    struct Row
    {
        std::string options, prefix, file, mode; // mode: "" none, "r" record, "p" play
    };
    const Row rows[] = {
        {"-record -play", "vaxoapp", "vaxoapp.dmo", "p"},
        {"-play -record", "vaxoapp", "vaxoapp.dmo", "r"},
        {"-demofile=run.dmo", "vaxoapp", "/data/run.dmo", ""},
        {"-demofile=C:run.dmo", "vaxoapp", "C:run.dmo", ""},
        {"-demofile=ab\\run.dmo", "vaxoapp", "ab\\run.dmo", ""},
        {"-demofile=/tmp/run.dmo", "vaxoapp", "/tmp/run.dmo", ""},
        {"-recnum=3", "vaxoapp", "/data/vaxoapp1.dmo", "r"},
        {"-recnum=x", "/tmp/rec", "/tmp/rec1.dmo", "r"},
        {"-playnum=3", "vaxoapp", "vaxoapp-2.dmo", "p"},
        {"-playnum=1", "vaxoapp", "vaxoapp0.dmo", "p"},
        {"-playnum=-5", "vaxoapp", "vaxoapp0.dmo", "p"},
        {"-playnum=abc", "vaxoapp", "vaxoapp0.dmo", "p"},
        {"-playnum=99999999999", "vaxoapp", "vaxoapp-2147483646.dmo", "p"},
        {"-playnum=-99999999999", "vaxoapp", "vaxoapp0.dmo", "p"},
    };
    for (const Row& row : rows)
    {
        CmdLineApp app;
        app.mDemoPrefix = row.prefix;
        app.ParseCmdLine(row.options);
        EXPECT_EQ(app.mDemoFileName, row.file) << row.options;
        EXPECT_EQ(std::string(app.mRecordingDemo ? "r" : "") + (app.mPlayingDemo ? "p" : ""), row.mode)
            << row.options;
        app.mRecordingDemo = false; // no demo file is written
    }
    CmdLineApp app;
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
            CmdLineApp app;
            app.ParseCmdLine("-demofile=\"a b\"c");
        },
        ::testing::ExitedWithCode(1), "Invalid command line parameter: c\n");
}

} // namespace
