// Command line: the platform's command line split into options "name" or "name=value",
// each handed to HandleCmdLineParam; the framework knows seven, the game adds its own.
#include "app/DemoFile.h"
#include "app/VaxoAppBase.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace Vaxo
{

namespace
{
// A number as the C library's atoi reads it (0 when there is none), but out-of-range
// values stop at the ends of int instead of being undefined.
int ParseNumber(const std::string& text)
{
    long long value = std::strtoll(text.c_str(), nullptr, 10);
    return int(std::clamp<long long>(value, INT32_MIN, INT32_MAX));
}
} // namespace

void VaxoAppBase::DoParseCmdLine()
{
    std::string cmdLine = mPlatform->GetCmdLine();
    size_t start = 0;
    if (!cmdLine.empty() && cmdLine[0] == '"')
    {
        size_t closing = cmdLine.find('"', 1);
        start = closing == std::string::npos ? cmdLine.size() : closing + 1;
    }
    size_t blank = cmdLine.find(' ', start);
    if (blank != std::string::npos)
        ParseCmdLine(cmdLine.substr(blank + 1));
    mCmdLineParsed = true;
}

void VaxoAppBase::ParseCmdLine(const std::string& cmdLine)
{
    bool inQuote = false;
    bool inValue = false;
    std::string name, value;
    auto endOption = [&]()
    {
        if (!name.empty())
            HandleCmdLineParam(name, value);
        name.clear();
        value.clear();
        inValue = false;
    };
    for (char c : cmdLine)
    {
        if (c == '"')
        {
            inQuote = !inQuote;
            if (!inQuote)
                endOption();
        }
        else if (c == ' ' && !inQuote)
        {
            endOption();
        }
        else if (c == '=')
        {
            inValue = true;
        }
        else
        {
            (inValue ? value : name) += c;
        }
    }
    endOption();
}

void VaxoAppBase::HandleCmdLineParam(const std::string& name, const std::string& value)
{
    if (name == "-play")
    {
        mRecordingDemo = false;
        mPlayingDemo = true;
    }
    else if (name == "-recnum")
    {
        DemoDoRecNum(ParseNumber(value));
    }
    else if (name == "-playnum")
    {
        DoChangeDir();
        int skip = int(std::max<int64_t>(int64_t(ParseNumber(value)) - 1, 0));
        int64_t number = int64_t(GetMaxDemoFileNum(mDemoPrefix, skip, false)) - skip;
        mDemoFileName = mDemoPrefix + StrFormat("%lld.dmo", static_cast<long long>(number));
        mRecordingDemo = false;
        mPlayingDemo = true;
    }
    else if (name == "-record")
    {
        mPlayingDemo = false;
        mRecordingDemo = true;
    }
    else if (name == "-demofile")
    {
        mDemoFileName = IsAbsoluteDemoPath(value) ? value : GetAppDataFolder() + value;
    }
    else if (name == "-screensaver")
    {
        mIsScreenSaver = true;
    }
    else if (name == "-changedir")
    {
        mChangeDir = value;
    }
    else
    {
        Popup(GetString("INVALID_COMMANDLINE_PARAM", "Invalid command line parameter: ") + name, false);
        DoExit(1);
    }
}

} // namespace Vaxo
