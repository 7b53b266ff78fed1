// The sample program end to end under Xvfb at depth 24 (VAXO_DISPLAY_24; skipped when
// unset), each run in a child process with its own HOME and the dummy audio driver:
// - the built program, closed through SDL's quit event (SDL posts it on SIGTERM), ends with
//   status 0, runs near 100 updates a second, and a second run reads the settings the
//   first one wrote;
// - the application class driven by events pushed with SDL_PushEvent draws what it should,
//   read back from the screen in software and in 3D.
// Waits are long: a loaded machine makes the tests slower, not wrong.
#include "SampleApp.h"
#include "common/Registry.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <dlfcn.h>
#include <signal.h>
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

using namespace Vaxo;

namespace
{

constexpr int kTimeoutSeconds = 180;

// A fresh HOME for the runs of one test, removed afterwards.
struct TempHome
{
    TempHome()
    {
        std::string pattern = std::filesystem::temp_directory_path().string() + "/vaxo_sample.XXXXXX";
        mPath = mkdtemp(&pattern[0]) != nullptr ? pattern + "/" : "";
    }
    ~TempHome()
    {
        std::error_code ignored;
        std::filesystem::remove_all(mPath, ignored);
    }
    std::string mPath;
};

// In a new child process: the environment of a run, then body (which must not return).
template <typename Body> pid_t StartChild(const std::string& home, Body body)
{
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid != 0)
        return pid;
    setenv("HOME", home.c_str(), 1);
    setenv("DISPLAY", std::getenv("VAXO_DISPLAY_24"), 1);
    setenv("SDL_VIDEODRIVER", "x11", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);
    body();
    std::_Exit(99);
}

// Waits for the child to end (killing it after the timeout); its exit status, -1 when it
// did not exit by itself.
int WaitForExit(pid_t pid)
{
    int status = 0;
    for (int waited = 0; waitpid(pid, &status, WNOHANG) == 0; waited += 50)
    {
        if (waited > kTimeoutSeconds * 1000)
            kill(pid, SIGKILL);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The first line of the file that starts with prefix, once there is one (empty after the
// timeout).
std::string WaitForLine(const std::string& file, const std::string& prefix)
{
    for (int waited = 0; waited < kTimeoutSeconds * 1000; waited += 50)
    {
        std::ifstream in(file);
        for (std::string line; std::getline(in, line);)
            if (line.compare(0, prefix.size(), prefix) == 0 && !in.eof())
                return line;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return std::string();
}

int32_t ReadSetting(const std::string& storeFile, const std::string& name)
{
    RegistryResetForTest();
    RegistryFileOpen(storeFile);
    int32_t value = -1;
    uint32_t type = 0;
    uint32_t length = sizeof(value);
    const bool found = VaxoRegistryRead("SOFTWARE\\Vaxo\\Sample", name, &type,
                                        reinterpret_cast<unsigned char*>(&value), &length);
    RegistryResetForTest();
    return found ? value : -1;
}

TEST(SampleProgram, EndsWithStatusZeroAtAWindowCloseAndKeepsItsSettingsForTheNextRun)
{
    if (std::getenv("VAXO_DISPLAY_24") == nullptr)
        GTEST_SKIP() << "VAXO_DISPLAY_24 not set";
    TempHome home;
    const std::string store = home.mPath + "Library/Application Support/Vaxo/Sample/registry.bin";
    for (int run = 1; run <= 2; run++)
    {
        const bool is3D = run == 2;
        const std::string output = home.mPath + "output" + std::to_string(run) + ".txt";
        const pid_t pid = StartChild(home.mPath,
                                     [&]
                                     {
                                         freopen(output.c_str(), "w", stdout);
                                         // Mesa's libraries are unloaded at SDL_Quit, before
                                         // the leak checker could tell what they keep from
                                         // what the program leaks.
                                         if (is3D)
                                             setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
                                         execl(VAXO_SAMPLE_EXE, VAXO_SAMPLE_EXE, is3D ? "-3d" : "-software",
                                               "-windowed", nullptr);
                                     });
        ASSERT_NE(WaitForLine(output, "Vaxo sample: loaded"), "") << "run " << run;
        std::this_thread::sleep_for(std::chrono::seconds(3));
        kill(pid, SIGTERM);
        EXPECT_EQ(WaitForExit(pid), 0) << "run " << run;
        int updates = 0;
        double seconds = 0;
        std::ifstream in(output);
        for (std::string line; std::getline(in, line);)
            std::sscanf(line.c_str(), "Vaxo sample: %d updates in %lf s", &updates, &seconds);
        // Fixed updates of 10 ms: about 100 a second, whatever the drawing costs.
        EXPECT_TRUE(seconds > 2.5 && updates / seconds > 60.0 && updates / seconds < 110.0)
            << updates << " updates in " << seconds << " s";
        EXPECT_EQ(ReadSetting(store, "Runs"), run);
        EXPECT_EQ(ReadSetting(store, "Is3D"), is3D ? 1 : 0);
        EXPECT_EQ(ReadSetting(store, "InProgress"), 0);
    }
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
        mCmdLineParsed = true; // the test program's own arguments are not the sample's
        mWant3D = is3D ? 1 : 0;
        mWantWindowed = 1;
    }

    void Redraw(TRect<int>* rect) override
    {
        const TRect<int> area = SampleScreen::AreaRect();
        const TRect<int> bar = SampleScreen::BarRect();
        const int areaX = area.mX + area.mWidth - 10;
        const int areaY = area.mY + area.mHeight - 10;
        if (mStep == 0 && mLoaded && Pixel(90, 450) == "002828")
        {
            // The title's top rows at its left: 'V' has pixels at its two ends, none between.
            mOut << "background " << Pixel(5, 5) << "\narea " << Pixel(areaX, areaY) << "\ntitleLeft "
                 << Pixel(area.mX + 20, area.mY + 20) << "\ntitleMiddle " << Pixel(area.mX + 24, area.mY + 20)
                 << "\ntitleRight " << Pixel(area.mX + 28, area.mY + 21) << "\nbarStart "
                 << Pixel(bar.mX + 3, bar.mY + 15) << "\nbarEnd "
                 << Pixel(bar.mX + bar.mWidth - 3, bar.mY + 15) << "\ntile " << Pixel(90, 450) << "\n";
            Push(SDL_MOUSEBUTTONDOWN, area.mX + 300, area.mY + 100);
            Push(SDL_MOUSEBUTTONUP, area.mX + 300, area.mY + 100);
            mStep = 1;
        }
        else if (mStep == 1 && mScreen->mAreaColor == 1)
        {
            mOut << "clickedArea " << Pixel(areaX, areaY) << "\n";
            std::ofstream(mReport) << mOut.str();
            Push(SDL_QUIT, 0, 0);
            mStep = 2;
        }
        SampleApp::Redraw(rect);
    }

private:
    static void Push(Uint8 type, int x, int y)
    {
        SDL_Event event{};
        event.type = type;
        event.button.button = SDL_BUTTON_LEFT;
        event.button.x = Uint16(x);
        event.button.y = Uint16(y);
        SDL_PushEvent(&event);
    }

    // The frame as drawn, before it is presented, as "rrggbb".
    std::string Pixel(int x, int y)
    {
        uint32_t rgb = 0;
        if (mIs3D)
        {
            uint8_t rgba[4] = {0, 0, 0, 0};
            glFinish();
            glReadBuffer(GL_BACK);
            glReadPixels(x, mHeight - 1 - y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
            rgb = uint32_t(rgba[0]) << 16 | uint32_t(rgba[1]) << 8 | rgba[2];
        }
        else
        {
            SDL_Surface* screen = SDL_GetVideoSurface();
            SDL_LockSurface(screen);
            rgb = static_cast<const uint32_t*>(screen->pixels)[y * screen->pitch / 4 + x] & 0xFFFFFF;
            SDL_UnlockSurface(screen);
        }
        char text[8];
        std::snprintf(text, sizeof(text), "%06x", rgb);
        return text;
    }

    bool mIs3D;
    std::string mReport;
    int mStep = 0;
    std::ostringstream mOut;
};

class SampleScreenTest : public ::testing::TestWithParam<bool>
{
};

TEST_P(SampleScreenTest, ThePushedClickAndCloseDriveTheScreenDrawnAsExpected)
{
    if (std::getenv("VAXO_DISPLAY_24") == nullptr)
        GTEST_SKIP() << "VAXO_DISPLAY_24 not set";
    const bool is3D = GetParam();
    TempHome home;
    const std::string report = home.mPath + "report.txt";
    const pid_t pid =
        StartChild(home.mPath,
                   [&]
                   {
                       // Mesa's libraries stay loaded, so the leak checker
                       // can tell what they keep.
                       dlopen("libGLX_mesa.so.0", RTLD_NOW | RTLD_NODELETE);
                       dlopen("/usr/lib/x86_64-linux-gnu/dri/swrast_dri.so", RTLD_NOW | RTLD_NODELETE);
                       {
                           ScriptedSample app(is3D, report);
                           app.Init();
                           app.Start();
                       }
                       std::exit(0);
                   });
    EXPECT_EQ(WaitForExit(pid), 0);
    std::map<std::string, std::string> read;
    std::ifstream in(report);
    for (std::string name, value; in >> name >> value;)
        read[name] = value;

    // Worked out from the sample's colours and its font: white text on the orange area,
    // the bar full, the first picture's pixel (10, 10) green 40 and blue 40. The software
    // screen stores an opaque fill of channel value c as (255 c) >> 8; glyphs, pictures and
    // the OpenGL renderer keep the colours as they are.
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
