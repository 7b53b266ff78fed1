// Command line: the platform's command line split into options "name" or "name=value",
// each handed to HandleCmdLineParam; the framework knows seven, the game adds its own.
#include "app/VaxoAppBase.h"

#include <algorithm>
#include <cstdlib>

namespace Vaxo
{

namespace
{
// A demo file name used as it stands: a drive ("C:"), a share-style "X:\" path, or a
// path from the root of this system's file tree.
bool IsAbsoluteDemoPath(const std::string& path)
{
    if (!path.empty() && path[0] == '/')
        return true;
    return path.size() > 1 && (path[1] == ':' || (path.size() > 2 && path[2] == '\\'));
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
        DemoDoRecNum(std::atoi(value.c_str()));
    }
    else if (name == "-playnum")
    {
        DoChangeDir();
        int skip = std::max(std::atoi(value.c_str()) - 1, 0);
        int number = GetMaxDemoFileNum(mDemoPrefix, skip, false) - skip;
        mDemoFileName = mDemoPrefix + StrFormat("%d.dmo", number);
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
