// The sample program end to end, under Xvfb at depth 24 (VAXO_DISPLAY_24; skipped when
// unset) with SDL's dummy audio driver, each run in a child process whose HOME is a fresh
// folder:
// - a run scripted from inside the application (events pushed with SDL_PushEvent) and
//   recorded as a demo makes a player, plays notes, changes the volumes and switches to
//   3D, and quits; the next run finds the player, the options and the settings; the demo
//   replays to the same final state and the same screens; the run's software and 3D
//   screens agree;
// - a damaged users.dat, registry.bin, manifest, params.xml and demo file each give their
//   message and no crash;
// - a run killed while it saves keeps what it had saved.
// Scripts wait for states and count updates, never wall-clock time: a loaded machine makes
// the tests slower, not wrong.
#include "SampleApp.h"
#include "SampleProfile.h"
#include "SampleScreens.h"
#include "app/MusicInterface.h"
#include "common/Registry.h"
#include "common/support/TestFolder.h"
#include "widgets/Checkbox.h"
#include "widgets/DialogButton.h"
#include "widgets/EditWidget.h"
#include "widgets/ListWidget.h"
#include "widgets/ProfileMgr.h"
#include "widgets/ScrollbarWidget.h"
#include "widgets/SimpleOptionsDialog.h"
#include "widgets/WidgetManager.h"

#include <GL/gl.h>
#include <SDL.h>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <functional>
#include <map>
#include <memory>
#include <thread>
#include <vector>

// What SDL and X keep for the life of the process is not ours to report.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libSDL\nleak:libX11\nleak:libxcb\n";
}

using namespace Vaxo;
using namespace std::string_literals;

namespace
{

constexpr int kTimeoutMs = 240000;
typedef std::map<std::string, std::string> Report;

// A child process with HOME in `home` and its output (stdout and stderr) in home/output:
// body, which ends the process (status 99 if it returns).
pid_t StartChild(const TestFolder& home, const std::string& output, const std::function<void()>& body)
{
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid != 0)
        return pid;
    setenv("HOME", home.mPath.c_str(), 1);
    setenv("DISPLAY", std::getenv("VAXO_DISPLAY_24"), 1);
    setenv("SDL_VIDEODRIVER", "x11", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);
    setenv("LSAN_OPTIONS", ("suppressions=" + home.Write("lsan.supp", __lsan_default_suppressions())).c_str(),
           1);
    dup2(fileno(std::fopen((home / output).c_str(), "w")), 1);
    dup2(1, 2);
    body();
    std::_Exit(99);
}

// Asks done() every 20 ms until it answers true (true) or the timeout passed (false).
bool WaitUntil(const std::function<bool()>& done)
{
    for (int waited = 0; !done(); waited += 20)
    {
        if (waited > kTimeoutMs)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

// The child's exit status once it ended (killed after the timeout); -1 after a signal.
int WaitForExit(pid_t pid)
{
    int status = 0;
    if (!WaitUntil([&] { return waitpid(pid, &status, WNOHANG) != 0; }))
    {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool WaitForText(const std::string& path, const std::string& text)
{
    return WaitUntil([&] { return ReadFile(path).find(text) != std::string::npos; });
}

// "name value" lines, the value being the rest of the line.
Report ReadReport(const std::string& path)
{
    Report report;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);)
        report[line.substr(0, line.find(' '))] = line.substr(line.find(' ') + 1);
    return report;
}

// The sample run by a script: its next step is asked once per update, at least 25 updates
// after the step before, until it answers true. Screenshots are taken at the first present
// after their update (the whole screen is marked dirty there), and the state is reported at
// shutdown, both into files named after the run.
class ScriptedSample : public SampleApp
{
public:
    struct Shot
    {
        std::string mName;
        int32_t mUpdate;
        int mState; // 0 waiting, 1 screen marked dirty, 2 taken
    };

    std::string mArgs;
    std::string mFiles;
    std::vector<std::function<bool(ScriptedSample&)>> mScript;
    size_t mStep = 0;
    int32_t mLastStepUpdate = 0;
    std::vector<Shot> mShots;

    ScriptedSample(const std::string& args, const std::string& files) : mArgs(args), mFiles(files)
    {
        mChangeDir = VAXO_SAMPLE_RESOURCES;
    }
    void DoParseCmdLine() override
    {
        ParseCmdLine(mArgs);
        mCmdLineParsed = true;
    }
    void UpdateFrames() override
    {
        SampleApp::UpdateFrames();
        bool shooting = false;
        for (Shot& shot : mShots)
        {
            if (shot.mState == 0 && mUpdateCount >= shot.mUpdate)
            {
                mWidgetManager->MarkAllDirty();
                shot.mState = 1;
            }
            shooting |= shot.mState == 1;
        }
        if (!shooting && mStep < mScript.size() && mUpdateCount - mLastStepUpdate >= 25 &&
            mScript[mStep](*this))
        {
            mStep++;
            mLastStepUpdate = mUpdateCount;
        }
    }
    void Redraw(TRect<int>* rect) override
    {
        for (Shot& shot : mShots)
        {
            if (shot.mState != 1)
                continue;
            std::ofstream(mFiles + shot.mName + ".rgb", std::ios::binary) << Screen();
            shot.mState = 2;
        }
        SampleApp::Redraw(rect);
    }
    void ShutdownHook() override
    {
        SampleProfile none;
        const SampleProfile& player = GetPlayer() != nullptr ? *GetPlayer() : none;
        int saves = 0;
        RegistryReadInteger("Saves", &saves);
        std::ofstream out(mFiles + "report.txt");
        out << "player " << player.mName << "\nplayers " << mProfileMgr->mProfiles.size() << "\nnote "
            << player.mNote << "\npitch " << player.mPitch << "\nmusic " << player.mMusicOn << "\ngreeting "
            << player.mGreeting << "\nplaying " << mMusicInterface->IsPlaying(kThemeSong) << "\nmusicvolume "
            << std::lround(mMusicVolume * 100) << "\nsfxvolume " << std::lround(mSfxVolume * 100) << "\n3d "
            << Is3DAccelerated() << "\nwindowed " << mIsPhysWindowed << "\nruns " << mRunCount << "\nclean "
            << mLastShutdownClean << "\nnotes " << mNotesPlayed << "\nupdates " << mUpdateCount << "\nsaves "
            << saves << "\n";
        for (const Shot& shot : mShots)
            out << "shot_" << shot.mName << " " << shot.mUpdate << "\n";
        SampleApp::ShutdownHook();
    }

    bool TakeShot(const std::string& name)
    {
        mShots.push_back({name, mUpdateCount + 1, 0});
        return true;
    }

private:
    // The frame as drawn, before it is presented: rows of RGB bytes from the top.
    std::string Screen()
    {
        std::string rgb(size_t(mWidth * mHeight * 3), '\0');
        const size_t row = size_t(mWidth * 3);
        if (Is3DAccelerated())
        {
            std::string rows(rgb.size(), '\0');
            glFinish();
            glReadBuffer(GL_BACK);
            glPixelStorei(GL_PACK_ALIGNMENT, 1);
            glReadPixels(0, 0, mWidth, mHeight, GL_RGB, GL_UNSIGNED_BYTE, &rows[0]);
            for (int y = 0; y < mHeight; y++)
                rows.copy(&rgb[y * row], row, (mHeight - 1 - y) * row);
            return rgb;
        }
        SDL_Surface* screen = SDL_GetVideoSurface();
        SDL_LockSurface(screen);
        for (int i = 0; i < mWidth * mHeight; i++)
        {
            const uint32_t pixel =
                static_cast<const uint32_t*>(screen->pixels)[i / mWidth * screen->pitch / 4 + i % mWidth];
            for (int c = 0; c < 3; c++)
                rgb[size_t(i * 3 + c)] = char(pixel >> (16 - 8 * c));
        }
        SDL_UnlockSurface(screen);
        return rgb;
    }
};

// Input pushed into SDL's queue; true, so that a step can end with it.
bool Push(Uint8 type, int x = 0, int y = 0)
{
    SDL_Event event{};
    event.type = type;
    event.button.button = SDL_BUTTON_LEFT;
    (type == SDL_MOUSEMOTION ? event.motion.x : event.button.x) = Uint16(x);
    (type == SDL_MOUSEMOTION ? event.motion.y : event.button.y) = Uint16(y);
    return SDL_PushEvent(&event) == 0;
}

// A press and release at a point of the widget given in fractions of its size, the
// release dx pixels further right.
bool Click(Widget* widget, double fx = 0.5, double fy = 0.5, int dx = 0)
{
    const int x = widget->GetAbsPos().mX + int(widget->mWidth * fx);
    const int y = widget->GetAbsPos().mY + int(widget->mHeight * fy);
    return Push(SDL_MOUSEMOTION, x, y) && Push(SDL_MOUSEBUTTONDOWN, x, y) &&
           Push(SDL_MOUSEMOTION, x + dx, y) && Push(SDL_MOUSEBUTTONUP, x + dx, y);
}

// Each character as its key pressed and released: letters, blanks and '\r' (Return).
bool Type(const std::string& text)
{
    for (char c : text)
    {
        SDL_Event event{};
        event.type = SDL_KEYDOWN;
        event.key.keysym.sym = c == '\r' ? SDLK_RETURN : SDLKey(std::tolower(c));
        event.key.keysym.unicode = Uint16(c);
        SDL_PushEvent(&event);
        event.type = SDL_KEYUP;
        SDL_PushEvent(&event);
    }
    return true;
}

typedef std::vector<std::function<bool(ScriptedSample&)>> Script;

// A ScriptedSample in a child process, its files named after the run.
pid_t StartScripted(const TestFolder& home, const std::string& args, const std::string& run,
                    const Script& script, const std::vector<ScriptedSample::Shot>& shots = {})
{
    return StartChild(home, run + ".txt",
                      [&]
                      {
                          // Mesa stays loaded, so the leak checker can tell what it keeps.
                          dlopen("libGLX_mesa.so.0", RTLD_NOW | RTLD_NODELETE);
                          dlopen("/usr/lib/x86_64-linux-gnu/dri/swrast_dri.so", RTLD_NOW | RTLD_NODELETE);
                          {
                              ScriptedSample app(args, home / (run + "_"));
                              app.mScript = script;
                              app.mShots = shots;
                              app.Init();
                              app.Start();
                          }
                          std::exit(0);
                      });
}

void ExpectIncludes(Report report, const Report& wanted)
{
    for (const auto& entry : wanted)
        EXPECT_EQ(report[entry.first], entry.second) << entry.first;
}

// Closes the window as soon as the main screen is up.
const Script kQuitWhenLoaded = {[](ScriptedSample& app)
                                { return app.mMainScreen != nullptr && Push(SDL_QUIT); }};

// The main screen is up, with a player and no dialog over it.
bool OnMain(ScriptedSample& app)
{
    return app.mMainScreen != nullptr && app.GetDialogCount() == 0 && app.GetPlayer() != nullptr;
}

bool SetOptions(SimpleOptionsDialog* options)
{
    return options != nullptr && Click(options->mMusicVolumeSlider.get(), 0.3) &&
           Click(options->mSfxVolumeSlider.get(), 0.6) && Click(options->m3DCheckbox.get(), 0.05) &&
           Click(options->mYesButton.get());
}

// The recorded run, as a user would do it, with screenshots "software" before the options
// switch to 3D, "3d" after, and "final" with the quit question up. The mouse rests over no
// control (700, 570) before each screenshot.
const Script kRecordedRun = {
    [](ScriptedSample& app) { return app.GetDialog(PROFILE_DIALOG_CREATE) != nullptr && Type("Alice\r"); },
    // Three lines down, then line 9 ("E 2", 16 semitones up) on the list's 7th row of 7.
    [](ScriptedSample& app)
    {
        Widget* down = OnMain(app) ? app.mMainScreen->mNoteScrollbar->mDownButton.get() : nullptr;
        return down != nullptr && Click(down) && Click(down) && Click(down);
    },
    [](ScriptedSample& app) { return Click(app.mMainScreen->mNoteList.get(), 0.2, 6.5 / 7); },
    // The pitch thumb, dragged 45 pixels right from the middle: +5 semitones.
    [](ScriptedSample& app) { return Click(app.mMainScreen->mPitchSlider.get(), 0.5, 0.5, 45); },
    [](ScriptedSample& app) { return Click(app.mMainScreen->mMusicCheckbox.get(), 0.05); },
    // The caret goes to the end of the greeting, clicked right of it.
    [](ScriptedSample& app) { return Click(app.mMainScreen->mGreetingEdit.get(), 0.9) && Type(" world\r"); },
    [](ScriptedSample& app) { return Click(app.mMainScreen->mPlayButton.get()); },
    [](ScriptedSample&) { return Push(SDL_MOUSEMOTION, 700, 570); },
    [](ScriptedSample& app) { return app.TakeShot("software"); },
    [](ScriptedSample& app) { return Click(app.mMainScreen->mOptionsButton.get()); },
    [](ScriptedSample& app)
    { return SetOptions(dynamic_cast<SimpleOptionsDialog*>(app.GetDialog(SampleApp::kOptionsDialogId))); },
    [](ScriptedSample& app)
    { return OnMain(app) && app.Is3DAccelerated() && Push(SDL_MOUSEMOTION, 700, 570); },
    [](ScriptedSample& app) { return app.TakeShot("3d"); },
    [](ScriptedSample& app) { return Click(app.mMainScreen->mQuitButton.get()); },
    [](ScriptedSample& app)
    { return app.GetDialog(SampleApp::kQuitDialogId) != nullptr && Push(SDL_MOUSEMOTION, 700, 570); },
    [](ScriptedSample& app) { return app.TakeShot("final"); },
    [](ScriptedSample& app) { return Click(app.GetDialog(SampleApp::kQuitDialogId)->mYesButton.get()); },
};

// True without a display. Xvfb resets when its last client leaves and refuses connections
// meanwhile, so a connection held from here on keeps it up between the runs.
bool Skipped()
{
    const char* name = std::getenv("VAXO_DISPLAY_24");
    static void* held = nullptr;
    auto open =
        reinterpret_cast<void* (*)(const char*)>(dlsym(dlopen("libX11.so.6", RTLD_NOW), "XOpenDisplay"));
    for (int tries = 0; name != nullptr && open != nullptr && held == nullptr && tries < 100; tries++)
        if ((held = open(name)) == nullptr)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return name == nullptr;
}

TEST(SampleProgram, AScriptedRunIsFoundAgainAndItsDemoReplaysToTheSameStateAndScreens)
{
    if (Skipped())
        GTEST_SKIP() << "VAXO_DISPLAY_24 not set";
    TestFolder home;
    ASSERT_EQ(WaitForExit(StartScripted(home, "-software -windowed -record -demofile=run.dmo", "record",
                                        kRecordedRun)),
              0)
        << ReadFile(home / "record.txt");
    Report recorded = ReadReport(home / "record_report.txt");
    // A new player who chose a note, a pitch, the music and a greeting and played two notes;
    // the volumes and 3D set in the options.
    const Report expected = {
        {"player", "Alice"}, {"players", "1"},      {"note", "9"},
        {"pitch", "5"},      {"music", "1"},        {"greeting", "Hello world"},
        {"playing", "1"},    {"musicvolume", "30"}, {"sfxvolume", "60"},
        {"3d", "1"},         {"windowed", "1"},     {"runs", "1"},
        {"clean", "1"},      {"notes", "2"},
    };
    ExpectIncludes(recorded, expected);

    // The next run finds the player, the options and the settings; full screen this time.
    ASSERT_EQ(WaitForExit(StartScripted(home, "-fullscreen", "next", kQuitWhenLoaded)), 0)
        << ReadFile(home / "next.txt");
    Report next = expected;
    next["windowed"] = "0";
    next["runs"] = "2";
    next["notes"] = "0";
    ExpectIncludes(ReadReport(home / "next_report.txt"), next);

    // Played with the options it was recorded with, the demo ends in the same state and
    // shows the same screens at the same updates.
    std::vector<ScriptedSample::Shot> shots;
    for (const char* shot : {"software", "3d", "final"})
        shots.push_back({shot, std::stoi(recorded["shot_"s + shot]), 0});
    ASSERT_EQ(
        WaitForExit(StartScripted(home, "-software -windowed -play -demofile=run.dmo", "replay", {}, shots)),
        0)
        << ReadFile(home / "replay.txt");
    EXPECT_EQ(ReadReport(home / "replay_report.txt"), recorded);
    for (const char* shot : {"software", "3d", "final"})
        EXPECT_TRUE(ReadFile(home / ("replay_"s + shot + ".rgb")) ==
                    ReadFile(home / ("record_"s + shot + ".rgb")))
            << shot;

    // One screen drawn in software and by OpenGL: channels within 2 of each other (the
    // software path stores opaque fills scaled by 255/256).
    const std::string soft = ReadFile(home / "record_software.rgb");
    const std::string gl = ReadFile(home / "record_3d.rgb");
    ASSERT_EQ(soft.size(), size_t(800 * 600 * 3));
    ASSERT_EQ(gl.size(), soft.size());
    int worst = 0;
    for (size_t i = 0; i < soft.size(); i++)
        worst = std::max(worst, std::abs(int(uint8_t(soft[i])) - int(uint8_t(gl[i]))));
    EXPECT_LE(worst, 2);
}

TEST(SampleProgram, DamagedFilesGiveTheirMessageAndNoCrash)
{
    if (Skipped())
        GTEST_SKIP() << "VAXO_DISPLAY_24 not set";
    const std::string data = "Library/Application Support/Vaxo/Sample/";
    struct Case
    {
        std::string mFile; // below the data folder, or in a copy of the resources ("res/")
        std::string mBytes;
        std::string mArgs;
        std::string mMessage;
        int mStatus; // -1: the program runs on, and is closed once loaded
    };
    const Case cases[] = {
        {"users/users.dat", "\x02\0\0\0\x05\0\0\0\x03\0\0\0"s, "",
         "The player list users.dat could not be read", -1},
        {"registry.bin", "not a settings store", "", "Vaxo sample: run 1\n", -1},
        {"res/properties/resources.xml", "<ResourceManifest>\n<Resources id=\"Init\">\n<Font path=\"\"/>", "",
         "Vaxo Sample: Error\nNo path specified. on Line 3 in File 'properties/resources.xml'", 1},
        {"res/properties/params.xml", "<Properties><Boolean id=\"Cheat\">maybe</Boolean></Properties>", "",
         "FATAL ERROR\nInvalid Boolean Value: 'MAYBE' on Line 1", 1},
        {"bad.dmo", "not a demo file", "-play -demofile=bad.dmo", "Invalid demo file.", 1},
    };
    // All at once, each in its own HOME.
    std::vector<std::unique_ptr<TestFolder>> homes;
    std::vector<pid_t> runs;
    for (const Case& c : cases)
    {
        homes.push_back(std::make_unique<TestFolder>());
        const TestFolder& home = *homes.back();
        const bool resources = c.mFile.compare(0, 4, "res/") == 0;
        if (resources)
            std::filesystem::copy(VAXO_SAMPLE_RESOURCES, home / "res",
                                  std::filesystem::copy_options::recursive);
        home.Write(resources ? c.mFile : data + c.mFile, c.mBytes);
        const std::string command = "exec "s + VAXO_SAMPLE_EXE + " -software -windowed " + c.mArgs +
                                    (resources ? " -changedir=" + home.mPath + "res" : "");
        runs.push_back(
            StartChild(home, "output.txt", [&] { execl("/bin/sh", "sh", "-c", command.c_str(), nullptr); }));
    }
    for (size_t i = 0; i < runs.size(); i++)
    {
        const std::string output = *homes[i] / "output.txt";
        if (cases[i].mStatus == -1 && WaitForText(output, "Vaxo sample: loaded"))
            kill(runs[i], SIGTERM);
        EXPECT_EQ(WaitForExit(runs[i]), std::max(cases[i].mStatus, 0)) << cases[i].mFile;
        EXPECT_NE(ReadFile(output).find(cases[i].mMessage), std::string::npos) << ReadFile(output);
    }
    // The damaged list was read as none and written anew: an empty list is 16 bytes
    // (version, last id, count, manager version).
    EXPECT_EQ(ReadFile(*homes[0] / (data + "users/users.dat")).size(), 16u);
}

// Saves the player's file, the player list and the settings over and over, each round
// reported once all three are written.
bool SaveForever(ScriptedSample& app)
{
    if (app.mMainScreen == nullptr)
        return false;
    app.KillDialog(PROFILE_DIALOG_CREATE);
    app.mProfileMgr->SetCurProfile(app.mProfileMgr->CreateProfile("Bob"));
    for (int round = 1;; round++)
    {
        app.GetPlayer()->mGreeting = "Round " + std::to_string(round);
        app.GetPlayer()->mDirty = true;
        app.mProfileMgr->mDirty = true;
        app.mProfileMgr->Save();
        app.RegistryWriteInteger("Saves", round);
        RegistryFileClose();
        std::printf("saved %d\n", round);
        std::fflush(stdout);
    }
}

TEST(SampleProgram, ARunKilledWhileSavingKeepsWhatItHadSaved)
{
    if (Skipped())
        GTEST_SKIP() << "VAXO_DISPLAY_24 not set";
    TestFolder home;
    const pid_t pid = StartScripted(home, "-software -windowed", "storm", {SaveForever});
    ASSERT_TRUE(WaitForText(home / "storm.txt", "saved 50\n"));
    kill(pid, SIGKILL);
    EXPECT_EQ(WaitForExit(pid), -1);
    const std::string storm = ReadFile(home / "storm.txt");
    const int saved = std::stoi(storm.substr(storm.rfind("saved ") + 6));

    // The next run finds the player and the settings of the last round reported, or of the
    // round after it, which may have been written whole before the kill.
    ASSERT_EQ(WaitForExit(StartScripted(home, "-software -windowed", "next", kQuitWhenLoaded)), 0)
        << ReadFile(home / "next.txt");
    Report next = ReadReport(home / "next_report.txt");
    // The killed run never ended cleanly, and never counted itself.
    ExpectIncludes(next, {{"player", "Bob"}, {"players", "1"}, {"clean", "0"}, {"runs", "1"}});
    const int greeting = std::stoi(next["greeting"].substr(6));
    const int saves = std::stoi(next["saves"]);
    EXPECT_TRUE(greeting >= saved && greeting <= saved + 1 && saves >= saved && saves <= greeting)
        << next["greeting"] << ", setting " << saves << ", last reported " << saved;
}

} // namespace
