// The sample program end to end, under Xvfb at depth 24 (VAXO_DISPLAY_24; skipped when
// unset) with SDL's dummy audio driver, each run in a child process with a fresh HOME: a
// run scripted from inside the application (events pushed with SDL_PushEvent) and recorded
// as a demo, found again by the next run, replayed to the same state and screens whatever
// the replay's options, its software and 3D screens alike; the wheel on the notes list;
// damaged files; a run killed while it saves. Scripts wait for states and count updates,
// never wall-clock time: a loaded machine makes the tests slower, not wrong.
#include "SampleApp.h"
#include "SampleProfile.h"
#include "SampleScreens.h"
#include "app/MusicInterface.h"
#include "common/Registry.h"
#include "common/support/ChildProcess.h"
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
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <functional>
#include <iterator>
#include <map>
#include <thread>
#include <tuple>
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

typedef std::map<std::string, std::string> Report;
// Screenshots to take: their names by update.
typedef std::map<int32_t, std::string> Shots;

// A child process with HOME in `home` and its output (stdout and stderr) in home/output:
// body, which ends the process (status 99 if it returns).
pid_t StartChild(const TestFolder& home, const std::string& output, const std::function<void()>& body)
{
    return Vaxo::StartChild(
        home / output,
        [&]
        {
            setenv("HOME", home.mPath.c_str(), 1);
            setenv("DISPLAY", std::getenv("VAXO_DISPLAY_24"), 1);
            setenv("SDL_VIDEODRIVER", "x11", 1);
            setenv("SDL_AUDIODRIVER", "dummy", 1);
            setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);
            // Message boxes to the output, answered by default.
            setenv("VAXO_NO_ALERT_PANEL", "1", 1);
            setenv("LSAN_OPTIONS",
                   ("suppressions=" + home.Write("lsan.supp", __lsan_default_suppressions())).c_str(), 1);
            body();
            return 99;
        });
}

// Asks done() every 20 ms until it answers true (true) or four minutes passed (false).
bool WaitUntil(const std::function<bool()>& done)
{
    for (int waited = 0; !done(); waited += 20)
    {
        if (waited > 240000)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

// The child's exit status once it ended (killed after four minutes); -1 after a signal.
int WaitForExit(pid_t pid)
{
    return WaitForChild(pid, 240);
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

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

// The sample run by a script: its next step is asked every 25th update until it answers
// true. Screenshots are taken at the first present after their update (the whole screen is
// marked dirty there), and the state is reported at shutdown, in files named after the run.
class ScriptedSample : public SampleApp
{
public:
    typedef std::vector<std::function<bool(ScriptedSample&)>> Script;

    std::string mFiles;
    Script mScript;
    size_t mStep = 0;
    Shots mShots;
    // The shot whose screen is marked dirty, written at the next present.
    std::string mShooting;
    // What the script saw, reported as "seen".
    std::string mSeen;

    ScriptedSample(const std::string& args, const std::string& files, const Script& script,
                   const Shots& shots)
        : mFiles(files), mScript(script), mShots(shots)
    {
        mChangeDir = VAXO_SAMPLE_RESOURCES;
        ParseCmdLine(args);
        mCmdLineParsed = true;
    }
    void UpdateFrames() override
    {
        SampleApp::UpdateFrames();
        const auto shot = mShots.find(mUpdateCount);
        if (shot != mShots.end())
        {
            mWidgetManager->MarkAllDirty();
            mShooting = shot->second;
        }
        if (mShooting.empty() && mStep < mScript.size() && mUpdateCount % 25 == 0 && mScript[mStep](*this))
            mStep++;
    }
    void Redraw(TRect<int>* rect) override
    {
        if (!mShooting.empty())
            std::ofstream(mFiles + mShooting + ".rgb", std::ios::binary) << Screen();
        mShooting.clear();
        SampleApp::Redraw(rect);
    }
    void ShutdownHook() override
    {
        // A run closed while it asked for a player reports an empty one.
        const SampleProfile none;
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
            << saves << "\nseen" << mSeen << "\n";
        for (const auto& [update, name] : mShots)
            out << "shot_" << name << " " << update << "\n";
        SampleApp::ShutdownHook();
    }

    // With the mouse resting over no control, 25 updates on.
    bool TakeShot(const std::string& name)
    {
        mShots[mUpdateCount + 25] = name;
        return Push(SDL_MOUSEMOTION, 700, 570);
    }

private:
    // The frame as drawn, before it is presented: rows of RGB bytes from the top.
    std::string Screen()
    {
        std::string rgb(size_t(mWidth * mHeight * 3), '\0');
        const size_t row = size_t(mWidth * 3);
        if (Is3DAccelerated())
        {
            glReadBuffer(GL_BACK);
            glPixelStorei(GL_PACK_ALIGNMENT, 1);
            for (int y = 0; y < mHeight; y++)
                glReadPixels(0, mHeight - 1 - y, mWidth, 1, GL_RGB, GL_UNSIGNED_BYTE, &rgb[y * row]);
            return rgb;
        }
        SDL_Surface* screen = SDL_GetVideoSurface();
        SDL_LockSurface(screen);
        const auto* pixels = static_cast<const uint32_t*>(screen->pixels);
        for (size_t i = 0; i < rgb.size(); i++) // channel i % 3 of pixel i / 3
            rgb[i] = char(pixels[i / 3 / mWidth * screen->pitch / 4 + i / 3 % mWidth] >> (16 - i % 3 * 8));
        SDL_UnlockSurface(screen);
        return rgb;
    }
};

// A press and release at a point of the widget given in fractions of its size, the
// release dx pixels further right.
bool Click(Widget* widget, double fx = 0.5, double fy = 0.5, int dx = 0)
{
    const int x = widget->GetAbsPos().mX + int(widget->mWidth * fx);
    const int y = widget->GetAbsPos().mY + int(widget->mHeight * fy);
    return Push(SDL_MOUSEMOTION, x, y) && Push(SDL_MOUSEBUTTONDOWN, x, y) &&
           Push(SDL_MOUSEMOTION, x + dx, y) && Push(SDL_MOUSEBUTTONUP, x + dx, y);
}

// One notch of the mouse wheel, away from the user (up) or towards them.
bool Wheel(bool up)
{
    SDL_Event event{};
    event.button.button = up ? SDL_BUTTON_WHEELUP : SDL_BUTTON_WHEELDOWN;
    event.type = SDL_MOUSEBUTTONDOWN;
    const bool pushed = SDL_PushEvent(&event) == 0;
    event.type = SDL_MOUSEBUTTONUP;
    return pushed && SDL_PushEvent(&event) == 0;
}

// Each character as its key pressed and released: letters, blanks and '\r' (Return).
bool Type(const std::string& text)
{
    for (char c : text)
        for (Uint8 type : {SDL_KEYDOWN, SDL_KEYUP})
        {
            SDL_Event event{};
            event.type = type;
            event.key.keysym.sym = c == '\r' ? SDLK_RETURN : SDLKey(std::tolower(c));
            event.key.keysym.unicode = Uint16(c);
            SDL_PushEvent(&event);
        }
    return true;
}

typedef ScriptedSample::Script Script;

// A ScriptedSample in a child process, its files named after the run.
pid_t StartScripted(const TestFolder& home, const std::string& args, const std::string& run,
                    const Script& script, const Shots& shots = {})
{
    return StartChild(home, run + ".txt",
                      [&]
                      {
                          // Mesa stays loaded, so the leak checker can tell what it keeps.
                          dlopen("libGLX_mesa.so.0", RTLD_NOW | RTLD_NODELETE);
                          dlopen("/usr/lib/x86_64-linux-gnu/dri/swrast_dri.so", RTLD_NOW | RTLD_NODELETE);
                          {
                              ScriptedSample app(args, home / (run + "_"), script, shots);
                              app.Init();
                              app.Start();
                          }
                          std::exit(0);
                      });
}

// The leak checker's own check as a child ends can fail (its tracer crashes, seldom, on
// a busy machine): no finding about the program.
bool LeakCheckerFailed(const std::string& output)
{
    return output.find("LeakSanitizer has encountered a fatal error") != std::string::npos;
}

// Makes the folder hold what from holds, and nothing else.
void CopyOver(const std::string& from, const std::string& folder)
{
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        std::filesystem::remove_all(entry.path());
    std::filesystem::copy(from, folder, std::filesystem::copy_options::recursive);
}

// Runs a ScriptedSample to its end and reads its report ("name value" lines, the value
// being the rest of the line); whether it exited with 0 (its output is shown when not).
// A run whose leak check failed by itself is made again from the files it began with.
bool RunScripted(const TestFolder& home, const std::string& args, const std::string& run,
                 const Script& script, Report* report, const Shots& shots = {})
{
    const TestFolder before;
    CopyOver(home.mPath, before.mPath);
    int status = WaitForExit(StartScripted(home, args, run, script, shots));
    for (int again = 0; again < 2 && status != 0 && LeakCheckerFailed(ReadFile(home / (run + ".txt")));
         ++again)
    {
        CopyOver(before.mPath, home.mPath);
        status = WaitForExit(StartScripted(home, args, run, script, shots));
    }
    EXPECT_EQ(status, 0) << ReadFile(home / (run + ".txt"));
    std::ifstream in(home / (run + "_report.txt"));
    for (std::string line; std::getline(in, line);)
        (*report)[line.substr(0, line.find(' '))] = line.substr(line.find(' ') + 1);
    return status == 0;
}

// The report has the wanted entries, some of them changed.
void ExpectIncludes(Report report, Report wanted, const Report& changed = {})
{
    for (const auto& [name, value] : changed)
        wanted[name] = value;
    for (const auto& [name, value] : wanted)
        EXPECT_EQ(report[name], value) << name;
}

// Closes the window as soon as the main screen is up.
const Script kQuitWhenLoaded = {[](ScriptedSample& app)
                                { return app.mMainScreen != nullptr && Push(SDL_QUIT); }};

// The main screen is up, with a player and no dialog over it.
bool OnMain(ScriptedSample& app)
{
    return app.mMainScreen != nullptr && app.GetDialogCount() == 0 && app.GetPlayer() != nullptr;
}

// The recorded run, as a user would do it, with screenshots "software" before the options
// switch to 3D, "3d" after, and "final" with the quit question up.
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
    [](ScriptedSample& app) { return app.TakeShot("software"); },
    [](ScriptedSample& app) { return Click(app.mMainScreen->mOptionsButton.get()); },
    [](ScriptedSample& app)
    {
        auto* options = dynamic_cast<SimpleOptionsDialog*>(app.GetDialog(SampleApp::kOptionsDialogId));
        return options != nullptr && Click(options->mMusicVolumeSlider.get(), 0.3) &&
               Click(options->mSfxVolumeSlider.get(), 0.6) && Click(options->m3DCheckbox.get(), 0.05) &&
               Click(options->mYesButton.get());
    },
    [](ScriptedSample& app) { return OnMain(app) && app.Is3DAccelerated() && app.TakeShot("3d"); },
    [](ScriptedSample& app) { return Click(app.mMainScreen->mQuitButton.get()); },
    [](ScriptedSample& app)
    { return app.GetDialog(SampleApp::kQuitDialogId) != nullptr && app.TakeShot("final"); },
    [](ScriptedSample& app) { return Click(app.GetDialog(SampleApp::kQuitDialogId)->mYesButton.get()); },
};

// Skipped without a display. Xvfb resets when its last client leaves and refuses connections
// meanwhile, so a connection held from the first test on keeps it up between the runs.
class SampleProgram : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const char* name = std::getenv("VAXO_DISPLAY_24");
        if (name == nullptr)
            GTEST_SKIP() << "VAXO_DISPLAY_24 not set";
        static void* held = nullptr;
        auto open =
            reinterpret_cast<void* (*)(const char*)>(dlsym(dlopen("libX11.so.6", RTLD_NOW), "XOpenDisplay"));
        for (int tries = 0; open != nullptr && held == nullptr && tries < 100; tries++)
            if ((held = open(name)) == nullptr)
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
};

TEST_F(SampleProgram, AScriptedRunIsFoundAgainAndItsDemoReplaysToTheSameStateAndScreens)
{
    TestFolder home;
    Report recorded;
    ASSERT_TRUE(RunScripted(home, "-software -windowed -record -demofile=run.dmo", "record", kRecordedRun,
                            &recorded));
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
    Report next;
    ASSERT_TRUE(RunScripted(home, "-fullscreen", "next", kQuitWhenLoaded, &next));
    ExpectIncludes(next, expected, {{"windowed", "0"}, {"runs", "2"}, {"notes", "0"}});

    // Played with the options it was recorded with, or with others (the recorded ones stand),
    // the demo ends in the same state and shows the same screens at the same updates.
    Shots shots;
    for (const char* shot : {"software", "3d", "final"})
        shots[std::stoi(recorded["shot_"s + shot])] = shot;
    // The options of each replay and the name of its run.
    const std::pair<const char*, const char*> replays[] = {
        {"-software -windowed ", "replay"}, {"-3d -fullscreen ", "other"}, {"", "bare"}};
    for (const auto& [options, run] : replays)
    {
        Report replayed;
        ASSERT_TRUE(RunScripted(home, options + "-play -demofile=run.dmo"s, run, {}, &replayed, shots));
        EXPECT_EQ(replayed, recorded) << options;
        for (const char* shot : {"software", "3d", "final"})
            EXPECT_TRUE(ReadFile(home / (run + "_"s + shot + ".rgb")) ==
                        ReadFile(home / ("record_"s + shot + ".rgb")))
                << options << ": " << shot;
    }

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

TEST_F(SampleProgram, TheWheelScrollsTheNotesListFromTheStartAfterAClickOnItAndAfterTyping)
{
    // The list's first visible line after each turn of the wheel: five lines a notch.
    auto see = [](ScriptedSample& app)
    {
        app.mSeen += " " + std::to_string(std::lround(app.mMainScreen->mNoteList->mPosition));
        return true;
    };
    const Script script = {
        [](ScriptedSample& app)
        { return app.GetDialog(PROFILE_DIALOG_CREATE) != nullptr && Type("Alice\r"); },
        [](ScriptedSample& app) { return OnMain(app) && Wheel(false); },
        see,
        // The greeting takes the focus; a click on a line of the list takes it back.
        [](ScriptedSample& app) { return Click(app.mMainScreen->mGreetingEdit.get(), 0.9); },
        [](ScriptedSample& app)
        { return Click(app.mMainScreen->mNoteList.get(), 0.2, 0.5 / 7) && Wheel(true); },
        see,
        // Clicked again with the pointer still: the note now under it, the first.
        [](ScriptedSample& app) { return Click(app.mMainScreen->mNoteList.get(), 0.2, 0.5 / 7); },
        // Return leaves the greeting.
        [](ScriptedSample& app) { return Click(app.mMainScreen->mGreetingEdit.get(), 0.9) && Type("!\r"); },
        [](ScriptedSample&) { return Wheel(false); },
        see,
        [](ScriptedSample&) { return Push(SDL_QUIT); },
    };
    TestFolder home;
    Report report;
    ASSERT_TRUE(RunScripted(home, "-software -windowed", "wheel", script, &report));
    ExpectIncludes(report, {{"seen", "5 0 5"}, {"greeting", "Hello!"}, {"note", "0"}});
}

TEST_F(SampleProgram, DamagedFilesGiveTheirMessageAndNoCrash)
{
    const std::string data = "Library/Application Support/Vaxo/Sample/";
    // The file (below the data folder, or in a copy of the resources: "res/"; none: ""), its
    // bytes, the arguments (after the environment's changes, "env ..."), the message, the exit
    // status (-1: runs on, and is closed once loaded).
    const std::tuple<std::string, std::string, std::string, std::string, int> cases[] = {
        {"users/users.dat", "\x02\0\0\0\x05\0\0\0\x03\0\0\0"s, "",
         "Players Not Read\nThe list of players could not be read: ", -1},
        {"registry.bin", "not a settings store", "", "Vaxo Sample: run 1\n", -1},
        {"res/properties/resources.xml", "<ResourceManifest>\n<Resources id=\"Init\">\n<Font path=\"\"/>", "",
         "Vaxo Sample: Error\nNo path specified. on Line 3 in File 'properties/resources.xml'", 1},
        {"res/properties/params.xml", "<Properties><Boolean id=\"Cheat\">maybe</Boolean></Properties>", "",
         "Vaxo Sample: Error\nInvalid Boolean Value: 'MAYBE' on Line 1", 1},
        {"bad.dmo", "not a demo file", "-play -demofile=bad.dmo", "Invalid demo file.", 1},
        // A sound or song that does not load is named in a line of the program's, with why: the
        // click's group cannot load without it, the music is not needed.
        {"res/sounds/click.wav", "", "",
         "Vaxo Sample: refused sound file \"sounds/click.wav\": an empty file; the sound is not loaded\n", 1},
        {"res/music/theme.wav", "", "",
         "Vaxo Sample: refused sound file \"music/theme.wav\": an empty file; the song stays silent\n", -1},
        // No sound device (none there, or a busy one): the program runs silent.
        {"", "", "env SDL_AUDIODRIVER=none", "Vaxo Sample: loaded", -1},
    };
    // All at once, each in its own HOME.
    std::vector<TestFolder> homes(std::size(cases));
    std::vector<pid_t> runs;
    for (const auto& [file, bytes, args, message, status] : cases)
    {
        const TestFolder& home = homes[runs.size()];
        const bool resources = file.compare(0, 4, "res/") == 0;
        if (resources)
            std::filesystem::copy(VAXO_SAMPLE_RESOURCES, home / "res",
                                  std::filesystem::copy_options::recursive);
        if (!file.empty())
            home.Write(resources ? file : data + file, bytes);
        const bool environment = args.compare(0, 4, "env ") == 0;
        const std::string command = "exec "s + (environment ? args + " " : "") + VAXO_SAMPLE_EXE +
                                    " -software -windowed " + (environment ? "" : args) +
                                    (resources ? " -changedir=" + home.mPath + "res" : "");
        runs.push_back(
            StartChild(home, "output.txt", [&] { execl("/bin/sh", "sh", "-c", command.c_str(), nullptr); }));
    }
    for (size_t i = 0; i < runs.size(); i++)
    {
        const auto& [file, bytes, args, message, status] = cases[i];
        const std::string output = homes[i] / "output.txt";
        if (status == -1 &&
            WaitUntil([&] { return ReadFile(output).find("Vaxo Sample: loaded") != std::string::npos; }))
            kill(runs[i], SIGTERM);
        EXPECT_EQ(WaitForExit(runs[i]), std::max(status, 0)) << file;
        EXPECT_NE(ReadFile(output).find(message), std::string::npos) << ReadFile(output);
    }
    // The damaged list was kept aside, read as none and written anew: an empty list is 16
    // bytes (version, last id, count, manager version).
    EXPECT_EQ(ReadFile(homes[0] / (data + "users/users.dat.damaged")), "\x02\0\0\0\x05\0\0\0\x03\0\0\0"s);
    EXPECT_EQ(ReadFile(homes[0] / (data + "users/users.dat")).size(), 16u);
}

TEST_F(SampleProgram, TheSoftwareOr3DChoiceOfTheCommandLineIsKeptForLaterRuns)
{
    TestFolder home;
    const std::string store = home / "Library/Application Support/Vaxo/Sample/registry.bin";
    for (const auto& [choice, stored] : {std::pair("-3d", 1u), {"-software", 0u}})
    {
        const std::string output = choice + ".txt"s;
        const char* arg = choice;
        const pid_t run = StartChild(home, output,
                                     [arg]
                                     {
                                         // Mesa's libraries are unloaded at SDL_Quit, before the
                                         // leak checker could tell what they keep.
                                         const char* asan = std::getenv("ASAN_OPTIONS");
                                         const std::string options =
                                             (asan != nullptr ? asan : ""s) + ":detect_leaks=0";
                                         setenv("ASAN_OPTIONS", options.c_str(), 1);
                                         execl(VAXO_SAMPLE_EXE, VAXO_SAMPLE_EXE, arg, "-windowed", nullptr);
                                     });
        if (WaitUntil([&]
                      { return ReadFile(home / output).find("Vaxo Sample: loaded") != std::string::npos; }))
            kill(run, SIGTERM);
        EXPECT_EQ(WaitForExit(run), 0) << ReadFile(home / output);
        // Read here, then forgotten: the scripted runs fork from this process.
        RegistryResetForTest();
        RegistryFileOpen(store);
        uint32_t value = 2, length = 4;
        EXPECT_TRUE(VaxoRegistryRead("SOFTWARE\\Vaxo\\Sample", "Is3D", nullptr,
                                     reinterpret_cast<unsigned char*>(&value), &length))
            << choice;
        EXPECT_EQ(value, stored) << choice;
        RegistryResetForTest();
    }
}

TEST_F(SampleProgram, ARunKilledWhileSavingKeepsWhatItHadSaved)
{
    // Saves the player's file, the player list and the settings over and over, each round
    // reported once all three are written.
    auto saveForever = [](ScriptedSample& app)
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
    };
    TestFolder home;
    const pid_t pid = StartScripted(home, "-software -windowed", "storm", {saveForever});
    ASSERT_TRUE(
        WaitUntil([&] { return ReadFile(home / "storm.txt").find("saved 50\n") != std::string::npos; }));
    kill(pid, SIGKILL);
    EXPECT_EQ(WaitForExit(pid), -1);
    const std::string storm = ReadFile(home / "storm.txt");
    const int saved = std::stoi(storm.substr(storm.rfind("saved ") + 6));

    // The next run finds the player and the settings of the last round reported, or of the
    // round after it, which may have been written whole before the kill.
    Report next;
    ASSERT_TRUE(RunScripted(home, "-software -windowed", "next", kQuitWhenLoaded, &next));
    // The killed run never ended cleanly, and never counted itself.
    ExpectIncludes(next, {{"player", "Bob"}, {"players", "1"}, {"clean", "0"}, {"runs", "1"}});
    const int greeting = std::stoi(next["greeting"].substr(6));
    const int saves = std::stoi(next["saves"]);
    EXPECT_TRUE(greeting >= saved && greeting <= saved + 1 && saves >= saved && saves <= greeting)
        << next["greeting"] << ", setting " << saves << ", last reported " << saved;
}

// Two copies of the sample as a new user starts them: the first left at its New Player dialog,
// the second started later, its music lowered in the options, quit; the first closed after.
// The music stays as the second left it: the first's end, which saves the settings twice,
// changed nothing it had not changed.
TEST_F(SampleProgram, ACopyClosedLaterKeepsTheSettingAnotherCopyChangedAndQuitWith)
{
    TestFolder home;
    const std::string store = home / "Library/Application Support/Vaxo/Sample/registry.bin";
    const std::string otherEnded = home / "other_ended";
    const Script waitingCopy = {
        [](ScriptedSample& app)
        {
            if (app.GetDialog(PROFILE_DIALOG_CREATE) == nullptr)
                return false;
            std::ofstream(app.mFiles + "asking");
            return true;
        },
        [otherEnded](ScriptedSample&) { return access(otherEnded.c_str(), F_OK) == 0 && Push(SDL_QUIT); },
    };
    const pid_t first = StartScripted(home, "-software -windowed", "first", waitingCopy);
    ASSERT_TRUE(WaitUntil([&] { return access((home / "first_asking").c_str(), F_OK) == 0; }));
    const Script lowerTheMusic = {
        [](ScriptedSample& app) { return app.GetDialog(PROFILE_DIALOG_CREATE) != nullptr && Type("Alice\r"); },
        [](ScriptedSample& app) { return OnMain(app) && Click(app.mMainScreen->mOptionsButton.get()); },
        [](ScriptedSample& app)
        {
            auto* options = dynamic_cast<SimpleOptionsDialog*>(app.GetDialog(SampleApp::kOptionsDialogId));
            return options != nullptr && Click(options->mMusicVolumeSlider.get(), 0.3) &&
                   Click(options->mYesButton.get());
        },
        [](ScriptedSample& app) { return OnMain(app) && Push(SDL_QUIT); },
    };
    Report second;
    ASSERT_TRUE(RunScripted(home, "-software -windowed", "second", lowerTheMusic, &second));
    std::ofstream(otherEnded) << "";
    EXPECT_EQ(WaitForExit(first), 0) << ReadFile(home / "first.txt");
    ASSERT_NE(second["musicvolume"], "85");

    RegistryResetForTest();
    RegistryFileOpen(store);
    uint32_t music = 0, length = 4;
    EXPECT_TRUE(VaxoRegistryRead("SOFTWARE\\Vaxo\\Sample", "MusicVolume", nullptr,
                                 reinterpret_cast<unsigned char*>(&music), &length));
    EXPECT_EQ(std::to_string(music), second["musicvolume"]);
    RegistryResetForTest();
}

} // namespace
