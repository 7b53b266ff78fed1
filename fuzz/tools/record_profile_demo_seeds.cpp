// Writes the seed streams of the profile_demo fuzz target: demos recorded while the target's
// own steps run (the list loaded, a player "Fuzz" made, the first player deleted as the dialog
// deletes him, the list saved twice) against a folder that another copy of the program, or a
// mishap, changes between them. What a pass records changes with the code, so the streams are
// recorded again whenever it does (Demo.ThePlayerFuzzTargetsSeedsReplayToTheirLastBit says so).
// Those where both list files are lost differ at each recording: they hold the random name the
// list is started anew under.
//   record_profile_demo_seeds <fuzz/widgets/corpus/profile_demo>   (or the profile_demo_seeds target)
#include "app/support/AppTestEnv.h"
#include "common/AtomicFile.h"
#include "widgets/ProfileMgr.h"
#include "widgets/support/ProfileDemoSteps.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iterator>
#include <string>

using namespace Vaxo;

namespace
{

struct Scene
{
    const char* mName;
    // Before the list is loaded.
    std::function<void(VaxoAppBase&)> mBefore;
    // Between loading the list and making "Fuzz".
    std::function<void(VaxoAppBase&)> mMeanwhile;
};

std::string UsersPath()
{
    return Profile::mProfileDir + "users.dat";
}

void WriteBytes(const std::string& path, const std::string& bytes)
{
    WriteFileAtomically(path, bytes.data(), uint32_t(bytes.size()));
}

// Another copy of the program on the folder: its files are not this recording's.
void OtherCopy(VaxoAppBase& app, const std::function<void(ProfileMgr&)>& act)
{
    app.mRecordingDemo = false;
    {
        ProfileMgr other(&app);
        other.Load();
        act(other);
    }
    app.mRecordingDemo = true;
}

void Delete(ProfileMgr& mgr, const char* name)
{
    mgr.mProfiles.remove(SmartPtr<Profile>(mgr.GetProfile(name, false)));
    mgr.mDirty = true;
    mgr.Save();
}

const std::string kNewerList("\x03\0\0\0\x09\0\0\0whatever", 16);
const std::string kDamagedList("\x02\0\0\0\x02\0\0\0\x09\0\0\0", 12);
// users.last of the list of Amy and Bob: the last id 2, a name, no player put back.
const std::string kNamedLast("\x02\0\0\0\x01\x02\x03\x04\x05\x06\x07\x08\0\0\0\0", 16);

const Scene kScenes[] = {
    {"list_kept",
     [](VaxoAppBase&)
     {
         // Damaged, with every name it could be moved aside to taken: never written over.
         WriteBytes(UsersPath(), kDamagedList);
         for (int i = 1; i <= 100; i++)
             WriteBytes(UsersPath() + ".damaged" + (i > 1 ? std::to_string(i) : ""), "");
     },
     nullptr},
    {"list_damaged", nullptr, [](VaxoAppBase&) { WriteBytes(UsersPath(), kDamagedList); }},
    {"list_deleted", nullptr, [](VaxoAppBase&) { std::remove(UsersPath().c_str()); }},
    {"list_newer", nullptr, [](VaxoAppBase&) { WriteBytes(UsersPath(), kNewerList); }},
    {"name_taken_meanwhile", nullptr,
     [](VaxoAppBase& app) { OtherCopy(app, [](ProfileMgr& other) { other.CreateProfile("fuzz"); }); }},
    {"other_copy_added_a_player", nullptr,
     [](VaxoAppBase& app) { OtherCopy(app, [](ProfileMgr& other) { other.CreateProfile("Cat"); }); }},
    {"other_copy_deleted_the_player", nullptr,
     [](VaxoAppBase& app) { OtherCopy(app, [](ProfileMgr& other) { Delete(other, "Bob"); }); }},
    {"other_copy_saved_the_player", nullptr,
     [](VaxoAppBase&)
     {
         // A save of Bob's this copy has not read: he is lost to it, and nothing is written for him.
         WriteBytes(Profile::GetDetailsPath(2), std::string("\x01\0\0\0saved", 9));
     }},
    {"player_file_kept",
     [](VaxoAppBase&)
     {
         // The current player's file written by a newer program.
         WriteBytes(Profile::GetDetailsPath(2), std::string("\x09\0\0\0more", 8));
     },
     nullptr},
    {"damaged_player_file_kept",
     [](VaxoAppBase&)
     {
         WriteBytes(Profile::GetDetailsPath(2), std::string("\x01\0\0", 3));
         for (int i = 1; i <= 100; i++)
             WriteBytes(Profile::GetDetailsPath(2) + ".damaged" + (i > 1 ? std::to_string(i) : ""), "");
     },
     nullptr},
    {"both_lists_lost", nullptr,
     [](VaxoAppBase&)
     {
         // The list is started anew under a name of its own: this copy's players come back.
         std::remove(UsersPath().c_str());
         std::remove((Profile::mProfileDir + "users.last").c_str());
     }},
    {"both_lists_lost_other_copy_added", nullptr,
     [](VaxoAppBase& app)
     {
         std::remove(UsersPath().c_str());
         std::remove((Profile::mProfileDir + "users.last").c_str());
         OtherCopy(app, [](ProfileMgr& other) { other.CreateProfile("Cat"); });
     }},
    {"users_last_of_older_program",
     [](VaxoAppBase&)
     {
         // The last id alone.
         WriteBytes(Profile::mProfileDir + "users.last", std::string("\x02\0\0\0", 4));
     },
     nullptr},
    {"unlisted_file_unreadable",
     [](VaxoAppBase&)
     {
         // Where the next id's file would be, something that cannot be read.
         std::filesystem::create_directories(Profile::GetDetailsPath(3));
     },
     nullptr},
};

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2)
    {
        std::fprintf(stderr, "usage: record_profile_demo_seeds <corpus folder>\n");
        return 2;
    }
    const std::string out = argv[1];
    std::filesystem::create_directories(out);
    for (const Scene& scene : kScenes)
    {
        AppTestEnv env;
        VaxoAppBase app;
        // As the target's application: a settings key, so that the current player's name is read.
        app.mRegKey = "Vaxo\\ProfileDemo";
        Profile::InitProfileDir(env.mHome + "users", true);
        {
            // Amy and Bob, Bob played last.
            ProfileMgr start(&app);
            start.CreateProfile("Amy");
            start.mCurProfile = start.CreateProfile("Bob");
            start.Save();
        }
        // The list's name made at random, fixed: the streams are the same at every recording but
        // those where the list is started anew.
        WriteBytes(Profile::mProfileDir + "users.last", kNamedLast);
        if (scene.mBefore)
            scene.mBefore(app);
        app.mRecordingDemo = true;
        app.mUpdateCount = 0;
        app.mDemoBuffer.Clear();
        {
            ProfileMgr mgr(&app);
            PlayProfileDemoSteps(mgr,
                                 [&]
                                 {
                                     if (scene.mMeanwhile)
                                         scene.mMeanwhile(app);
                                 });
        }
        app.mRecordingDemo = false;
        const std::string path = out + "/" + scene.mName;
        FILE* file = std::fopen(path.c_str(), "wb");
        const size_t size = size_t(app.mDemoBuffer.GetDataLen());
        if (file == nullptr || std::fwrite(app.mDemoBuffer.GetDataPtr(), 1, size, file) != size ||
            std::fclose(file) != 0)
        {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            return 1;
        }
        Profile::mProfileDir.clear();
    }
    std::printf("%zu streams written to %s\n", std::size(kScenes), out.c_str());
    return 0;
}
