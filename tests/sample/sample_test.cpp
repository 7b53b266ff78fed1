// The sample program end to end under Xvfb at depth 24 (VAXO_DISPLAY_24; skipped when
// unset), with its own HOME and the dummy audio driver:
// - the built program, closed through SDL's quit event (SDL posts it on SIGTERM), ends with
//   status 0, runs near 100 updates a second, and a second run reads the settings the
//   first one wrote;
// - the application class in a child process, driven by events pushed with SDL_PushEvent,
//   draws what it should, read back from the screen in software and in 3D.
// Waits are long: a loaded machine makes the tests slower, not wrong.
#include "SampleApp.h"
#include "SampleFont.h"
#include "common/Registry.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <dlfcn.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

extern char** environ;

using namespace Vaxo;

namespace
{

constexpr int kTimeoutSeconds = 180;

// A fresh HOME for the runs of one test, removed afterwards.
class TempHome
{
public:
    TempHome()
    {
        std::string pattern = std::filesystem::temp_directory_path().string() + "/vaxo_sample.XXXXXX";
        if (mkdtemp(&pattern[0]) != nullptr)
            mPath = pattern + "/";
    }
    ~TempHome()
    {
        std::error_code ignored;
        std::filesystem::remove_all(mPath, ignored);
    }
    std::string DataFolder() const { return mPath + "Library/Application Support/Vaxo/Sample/"; }
    std::string mPath;
};

// The environment of a run of the sample; extra entries override.
std::vector<std::string> RunEnvironment(const std::string& home, const std::vector<std::string>& extra)
{
    std::map<std::string, std::string> vars;
    for (char** e = environ; *e != nullptr; ++e)
    {
        std::string entry = *e;
        size_t equals = entry.find('=');
        vars[entry.substr(0, equals)] = equals == std::string::npos ? "" : entry.substr(equals + 1);
    }
    vars["HOME"] = home;
    vars["DISPLAY"] = std::getenv("VAXO_DISPLAY_24");
    vars["SDL_VIDEODRIVER"] = "x11";
    vars["SDL_AUDIODRIVER"] = "dummy";
    vars["LIBGL_ALWAYS_SOFTWARE"] = "1";
    for (const std::string& entry : extra)
        vars[entry.substr(0, entry.find('='))] = entry.substr(entry.find('=') + 1);
    std::vector<std::string> env;
    for (const auto& var : vars)
        env.push_back(var.first + "=" + var.second);
    return env;
}

// Waits for the child to end (killing it after the timeout); its wait status.
int WaitForExit(pid_t pid)
{
    int status = 0;
    for (int waited = 0; waitpid(pid, &status, WNOHANG) == 0; waited += 50)
    {
        if (waited > kTimeoutSeconds * 1000)
        {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return status;
}

// The built program, its standard output read line by line.
class SampleRun
{
public:
    SampleRun(const std::vector<std::string>& args, const std::vector<std::string>& env)
    {
        int pipeEnds[2];
        if (pipe(pipeEnds) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
        std::vector<char*> argv{const_cast<char*>(VAXO_SAMPLE_EXE)};
        for (const std::string& arg : args)
            argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        std::vector<char*> envp;
        for (const std::string& entry : env)
            envp.push_back(const_cast<char*>(entry.c_str()));
        envp.push_back(nullptr);
        if (posix_spawn(&mPid, VAXO_SAMPLE_EXE, &actions, nullptr, argv.data(), envp.data()) != 0)
            mPid = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(pipeEnds[1]);
        mOut = pipeEnds[0];
    }
    ~SampleRun()
    {
        if (mPid > 0)
        {
            kill(mPid, SIGKILL);
            waitpid(mPid, nullptr, 0);
        }
        if (mOut >= 0)
            close(mOut);
    }

    // Reads output until a line starting with prefix arrives (answered) or the output ends
    // or the time is up (empty).
    std::string WaitForLine(const std::string& prefix)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(kTimeoutSeconds);
        for (;;)
        {
            size_t newline;
            while ((newline = mBuffer.find('\n')) != std::string::npos)
            {
                std::string line = mBuffer.substr(0, newline);
                mBuffer.erase(0, newline + 1);
                if (line.compare(0, prefix.size(), prefix) == 0)
                    return line;
            }
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            pollfd fd{mOut, POLLIN, 0};
            if (left.count() <= 0 || poll(&fd, 1, int(left.count())) <= 0)
                return std::string();
            char chunk[256];
            ssize_t got = read(mOut, chunk, sizeof(chunk));
            if (got <= 0)
                return std::string();
            mBuffer.append(chunk, size_t(got));
        }
    }

    // Closes the window the way the system's quit does, and answers the exit status
    // (-1 when the program did not exit by itself).
    int Close()
    {
        kill(mPid, SIGTERM);
        const int status = WaitForExit(mPid);
        mPid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    pid_t mPid = -1;
    int mOut = -1;
    std::string mBuffer;
};

int32_t ReadSetting(const std::string& storeFile, const std::string& name)
{
    RegistryResetForTest();
    RegistryFileOpen(storeFile);
    int32_t value = -1;
    uint32_t type = 0;
    uint32_t length = sizeof(value);
    if (!VaxoRegistryRead("SOFTWARE\\Vaxo\\Sample", name, &type, reinterpret_cast<unsigned char*>(&value),
                          &length))
        value = -1;
    RegistryResetForTest();
    return value;
}

TEST(SampleProgram, EndsWithStatusZeroAtAWindowCloseAndKeepsItsSettingsForTheNextRun)
{
    if (std::getenv("VAXO_DISPLAY_24") == nullptr)
        GTEST_SKIP() << "VAXO_DISPLAY_24 not set";
    TempHome home;
    ASSERT_FALSE(home.mPath.empty());
    const std::string store = home.DataFolder() + "registry.bin";
    struct Run
    {
        std::vector<std::string> args;
        std::vector<std::string> env;
        int32_t is3D;
    };
    // Mesa's libraries are unloaded at SDL_Quit, before the leak checker could tell what
    // they keep from what the program leaks: it is left out of the 3D run.
    const Run runs[] = {{{"-windowed", "-software"}, {}, 0}, {{"-3d"}, {"ASAN_OPTIONS=detect_leaks=0"}, 1}};
    for (int i = 0; i < 2; i++)
    {
        SampleRun run(runs[i].args, RunEnvironment(home.mPath, runs[i].env));
        ASSERT_GT(run.mPid, 0);
        ASSERT_NE(run.WaitForLine("Vaxo sample: loaded"), "") << "run " << i + 1;
        std::this_thread::sleep_for(std::chrono::seconds(3));
        kill(run.mPid, SIGTERM);
        const std::string report = run.WaitForLine("Vaxo sample: ");
        int updates = 0;
        double seconds = 0;
        ASSERT_EQ(std::sscanf(report.c_str(), "Vaxo sample: %d updates in %lf s", &updates, &seconds), 2)
            << report;
        EXPECT_EQ(run.Close(), 0) << "run " << i + 1;
        // Fixed updates of 10 ms: about 100 a second, whatever the drawing costs.
        EXPECT_GT(seconds, 2.5);
        EXPECT_GT(updates / seconds, 60.0) << updates << " updates in " << seconds << " s";
        EXPECT_LT(updates / seconds, 110.0) << updates << " updates in " << seconds << " s";
        EXPECT_EQ(ReadSetting(store, "Runs"), i + 1);
        EXPECT_EQ(ReadSetting(store, "Is3D"), runs[i].is3D);
        EXPECT_EQ(ReadSetting(store, "InProgress"), 0);
    }
}

// Keeps Mesa's libraries loaded for the life of the process, so that what they allocate
// once is not reported as leaked when SDL unloads them.
void PinMesa()
{
    dlopen("libGLX_mesa.so.0", RTLD_NOW | RTLD_NODELETE);
    dlopen("/usr/lib/x86_64-linux-gnu/dri/swrast_dri.so", RTLD_NOW | RTLD_NODELETE);
}

// The sample driven by pushed events: once the loaded screen is on display it reads the
// screen back, clicks the coloured area, reads it again and closes the window. What it
// read goes to a report file, one "name rrggbb" line each.
class ScriptedSample : public SampleApp
{
public:
    ScriptedSample(bool is3D, const std::string& report) : mIs3D(is3D), mReport(report)
    {
        mChangeDir = VAXO_SAMPLE_RESOURCES;
        // The test program's own arguments are not the sample's.
        mCmdLineParsed = true;
        mWant3D = is3D ? 1 : 0;
        mWantWindowed = 1;
    }

    void Redraw(TRect<int>* rect) override
    {
        if (mStep < 2 && mUpdateCount > 100 * kTimeoutSeconds)
            Push(SDL_QUIT);
        else if (mStep == 0 && mLoaded && Pixel(90, 450) == 0x002828)
            ReadScreen();
        else if (mStep == 1 && mScreen->mAreaColor == 1)
            ReadArea();
        SampleApp::Redraw(rect);
    }

private:
    void ReadScreen()
    {
        const TRect<int> area = SampleScreen::AreaRect();
        const TRect<int> bar = SampleScreen::BarRect();
        // The title's top row at its left: 'V' has pixels at its two ends and none between.
        mOut << "background " << Hex(Pixel(5, 5)) << "\n"
             << "area " << Hex(Pixel(area.mX + area.mWidth - 10, area.mY + area.mHeight - 10)) << "\n"
             << "titleLeft " << Hex(Pixel(area.mX + 20, area.mY + 20)) << "\n"
             << "titleMiddle " << Hex(Pixel(area.mX + 24, area.mY + 20)) << "\n"
             << "titleRight " << Hex(Pixel(area.mX + 28, area.mY + 21)) << "\n"
             << "barStart " << Hex(Pixel(bar.mX + 3, bar.mY + 15)) << "\n"
             << "barEnd " << Hex(Pixel(bar.mX + bar.mWidth - 3, bar.mY + 15)) << "\n"
             << "tile " << Hex(Pixel(90, 450)) << "\n";
        SDL_Event click{};
        click.type = SDL_MOUSEBUTTONDOWN;
        click.button.button = SDL_BUTTON_LEFT;
        click.button.x = Uint16(area.mX + 300);
        click.button.y = Uint16(area.mY + 100);
        SDL_PushEvent(&click);
        click.type = SDL_MOUSEBUTTONUP;
        SDL_PushEvent(&click);
        mStep = 1;
    }

    void ReadArea()
    {
        const TRect<int> area = SampleScreen::AreaRect();
        mOut << "clickedArea " << Hex(Pixel(area.mX + area.mWidth - 10, area.mY + area.mHeight - 10)) << "\n";
        std::ofstream(mReport) << mOut.str();
        Push(SDL_QUIT);
        mStep = 2;
    }

    static void Push(Uint8 type)
    {
        SDL_Event event{};
        event.type = type;
        SDL_PushEvent(&event);
    }

    static std::string Hex(uint32_t rgb)
    {
        char text[8];
        std::snprintf(text, sizeof(text), "%06x", rgb);
        return text;
    }

    // The frame as drawn, before it is presented.
    uint32_t Pixel(int x, int y)
    {
        if (mIs3D)
        {
            uint8_t rgba[4] = {0, 0, 0, 0};
            glFinish();
            glReadBuffer(GL_BACK);
            glReadPixels(x, mHeight - 1 - y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
            return uint32_t(rgba[0]) << 16 | uint32_t(rgba[1]) << 8 | rgba[2];
        }
        SDL_Surface* screen = SDL_GetVideoSurface();
        SDL_LockSurface(screen);
        const uint32_t word = static_cast<const uint32_t*>(screen->pixels)[y * screen->pitch / 4 + x];
        SDL_UnlockSurface(screen);
        return word & 0xFFFFFF;
    }

    bool mIs3D;
    std::string mReport;
    int mStep = 0;
    std::ostringstream mOut;
};

// Runs the scripted sample in a child process; its report, or the exit status on failure.
std::map<std::string, std::string> RunScripted(bool is3D, int* exitStatus)
{
    TempHome home;
    const std::string report = home.mPath + "report.txt";
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0)
    {
        for (const std::string& entry : RunEnvironment(home.mPath, {}))
            setenv(entry.substr(0, entry.find('=')).c_str(), entry.substr(entry.find('=') + 1).c_str(), 1);
        if (is3D)
            PinMesa();
        {
            ScriptedSample app(is3D, report);
            app.Init();
            app.Start();
        }
        std::exit(0);
    }
    const int status = WaitForExit(pid);
    *exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::map<std::string, std::string> values;
    std::ifstream in(report);
    std::string name, value;
    while (in >> name >> value)
        values[name] = value;
    return values;
}

class SampleScreenTest : public ::testing::TestWithParam<bool>
{
};

TEST_P(SampleScreenTest, ThePushedClickAndCloseDriveTheScreenDrawnAsExpected)
{
    if (std::getenv("VAXO_DISPLAY_24") == nullptr)
        GTEST_SKIP() << "VAXO_DISPLAY_24 not set";
    int status = -1;
    std::map<std::string, std::string> read = RunScripted(GetParam(), &status);
    EXPECT_EQ(status, 0);
    // Worked out from the sample's colours and its font: white text on the orange area,
    // the bar full, the first picture's pixel (10, 10) green 40 and blue 40. The software
    // screen stores an opaque fill of channel value c as (255 c) >> 8; glyphs, pictures and
    // the OpenGL renderer keep the colours as they are.
    const bool is3D = GetParam();
    auto fill = [is3D](uint32_t rgb)
    {
        uint32_t stored = 0;
        for (int shift = 0; shift < 24; shift += 8)
            stored |= (is3D ? (rgb >> shift) & 0xFF : (255 * ((rgb >> shift) & 0xFF)) >> 8) << shift;
        char text[8];
        std::snprintf(text, sizeof(text), "%06x", stored);
        return std::string(text);
    };
    const std::map<std::string, std::string> expected = {
        {"background", fill(0x1E2A3A)},  {"area", fill(0xF08020)}, {"titleLeft", "ffffff"},
        {"titleMiddle", fill(0xF08020)}, {"titleRight", "ffffff"}, {"barStart", fill(0x40C040)},
        {"barEnd", fill(0x40C040)},      {"tile", "002828"},       {"clickedArea", fill(0x2080F0)},
    };
    EXPECT_EQ(read, expected);
}

INSTANTIATE_TEST_SUITE_P(SoftwareAnd3D, SampleScreenTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info)
                         { return info.param ? "OpenGL" : "Software"; });

} // namespace
