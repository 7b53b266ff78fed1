// Player profiles and their files: the exact bytes of users.dat and its round trip, older,
// newer and truncated list files, ids (repeated ones, an exhausted counter), the
// "UserProfile" setting, player files of every version (a newer one never written over),
// damaged lists moved aside, and writes that fail before the rename, reported once. The
// player dialogs: creating, renaming, deleting and picking players with every text,
// placement and focus.
#include "common/AtomicFile.h"
#include "common/Buffer.h"
#include "common/DataSync.h"
#include "common/Registry.h"
#include "common/support/ChildProcess.h"
#include "common/support/ChildSteps.h"
#include "common/support/CopiesGate.h"
#include "common/support/FullDisk.h"
#include "common/support/ScopedBeforeRename.h"
#include "common/support/TestFolder.h"
#include "widgets/ProfileMgr.h"
#include "widgets/ProfileNameDialog.h"
#include "widgets/ProfileUserDialog.h"
#include "widgets/support/ControlTestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <sstream>
#include <thread>
#include <tuple>

using namespace Vaxo;

namespace
{

// A game's player: a score in a details version 3; Reset marks the score -1.
class ScoreProfile : public Profile
{
public:
    int32_t mScore = 0;
    // The stream's version SyncDetails saw.
    int32_t mSeenVersion = 0;

    void Reset() override { mScore = -1; }
    void SyncDetails(DataSync& sync) override
    {
        mSeenVersion = sync.mVersion;
        sync.SyncLong(mScore);
    }
    int32_t GetCurVersion() override { return 3; }
    static Profile* Make() { return new ScoreProfile(); }
};

// A game's manager adding one Long to users.dat.
class HookMgr : public ProfileMgr
{
public:
    int32_t mExtra = 0x0A0B0C0D;
    int mHookCalls = 0;

    explicit HookMgr(VaxoAppBase* app) : ProfileMgr(app, &ScoreProfile::Make) {}
    void SyncStateHook(DataSync& sync) override
    {
        ++mHookCalls;
        sync.SyncLong(mExtra);
    }
};

ScoreProfile* Score(Profile* profile)
{
    return static_cast<ScoreProfile*>(profile);
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

#define BYTES(literal) std::string(literal, sizeof(literal) - 1)

// From now on every open-file-description lock call of this process fails as on a file system
// without a lock service (ENOLCK). False where that cannot be done.
bool FailLockCalls()
{
#if defined(__x86_64__)
    constexpr uint32_t kArch = AUDIT_ARCH_X86_64;
#elif defined(__aarch64__)
    constexpr uint32_t kArch = AUDIT_ARCH_AARCH64;
#else
    return false;
#endif
    // fcntl with a command from F_OFD_GETLK to F_OFD_SETLKW (the command's low word).
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, kArch, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_fcntl, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args[1])),
        BPF_JUMP(BPF_JMP | BPF_JGE | BPF_K, F_OFD_GETLK, 0, 2),
        BPF_JUMP(BPF_JMP | BPF_JGT | BPF_K, F_OFD_SETLKW, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | ENOLCK),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    const sock_fprog program = {static_cast<unsigned short>(std::size(filter)), filter};
    return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
           prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

// Version 2, next id 2, two players, manager version 1, the hook's Long.
const std::string kTwoPlayers = BYTES("\x02\0\0\0"
                                      "\x02\0\0\0"
                                      "\x02\0\0\0"
                                      "\x01\0\0\0\x03\0"
                                      "Amy"
                                      "\x02\0\0\0\x03\0"
                                      "Bob"
                                      "\x01\0\0\0"
                                      "\x0D\x0C\x0B\x0A");

// "id:name" of every listed profile, then the last id given out.
std::string List(ProfileMgr& mgr)
{
    std::string text;
    for (const SmartPtr<Profile>& profile : mgr.mProfiles)
        text += std::to_string(profile->mId) + ":" + profile->mName + " ";
    return text + "next " + std::to_string(mgr.mNextId);
}

class Profiles : public ::testing::Test
{
protected:
    AppTestEnv mEnv;
    VaxoAppBase mApp;
    std::string mDir = mEnv.mHome + "users/";

    void SetUp() override
    {
        Profile::InitProfileDir(mDir, true);
        RegistryFileOpen(mEnv.mHome + "registry.bin");
        mApp.mRegKey = "Maker\\Game";
    }
    void TearDown() override { Profile::mProfileDir.clear(); }

    // The message boxes shown since the last call, joined by spaces.
    std::string Boxes()
    {
        std::vector<std::string> boxes = mEnv.mPlatform->CallsStartingWith("MessageBoxA");
        std::vector<std::string> fresh(boxes.begin() + std::min(mBoxesSeen, boxes.size()), boxes.end());
        mBoxesSeen = boxes.size();
        return Join(fresh);
    }
    size_t mBoxesSeen = 0;
};

TEST_F(Profiles, UsersFileBytesAndRoundTrip)
{
    HookMgr mgr(&mApp);
    ASSERT_NE(mgr.CreateProfile("Amy"), nullptr);
    Profile* bob = mgr.CreateProfile("Bob");
    ASSERT_NE(bob, nullptr);
    // Taken in any letter case: nothing changes.
    EXPECT_EQ(mgr.CreateProfile("bOB"), nullptr);
    EXPECT_EQ(ReadFile(mDir + "users.dat"), kTwoPlayers);
    EXPECT_FALSE(mgr.mDirty);

    Score(bob)->mScore = 7;
    bob->mDirty = true;
    mgr.SetCurProfile(bob);
    mgr.SetCurProfile(nullptr); // saves the dirty details of the player it leaves
    EXPECT_EQ(ReadFile(mDir + "user2.dat"), BYTES("\x03\0\0\0\x07\0\0\0"));
    EXPECT_FALSE(bob->mDirty);

    // The "UserProfile" setting names the current player in any letter case.
    mApp.RegistryWriteString("UserProfile", "bOB");
    HookMgr loaded(&mApp);
    loaded.mExtra = 0;
    EXPECT_TRUE(loaded.Load());
    EXPECT_EQ(List(loaded), "1:Amy 2:Bob next 2");
    EXPECT_EQ(loaded.mExtra, 0x0A0B0C0D);
    EXPECT_FALSE(loaded.mDirty);
    EXPECT_EQ(Score(loaded.mCurProfile)->mScore, 7);
    loaded.mDirty = true;
    EXPECT_TRUE(loaded.Save());
    EXPECT_EQ(ReadFile(mDir + "users.dat"), kTwoPlayers);
    std::string stored;
    EXPECT_TRUE(mApp.RegistryReadString("UserProfile", &stored));
    EXPECT_EQ(stored, "Bob");

    // An unknown name leaves the choice to the manager (the copy above plays nobody now).
    loaded.SetCurProfile(nullptr);
    mApp.RegistryWriteString("UserProfile", "Nobody");
    HookMgr other(&mApp);
    EXPECT_TRUE(other.Load());
    EXPECT_EQ(other.mCurProfile->mName, "Bob");
}

TEST_F(Profiles, UserProfileSettingRestoresThePlayerInAnyCase)
{
    WriteFile(mDir + "users.dat", kTwoPlayers);
    WriteFile(mDir + "user1.dat", BYTES("\x03\0\0\0\x05\0\0\0"));
    // Setting, current player, its score (-1: no file, reset); a save stores the player
    // chosen, also when nothing else changed.
    const std::tuple<const char*, const char*, int> rows[] = {
        {"aMY", "Amy", 5},
        {"Nobody", "Bob", -1},
        {"", "Bob", -1},
    };
    for (const auto& [setting, current, score] : rows)
    {
        mApp.RegistryWriteString("UserProfile", setting);
        HookMgr mgr(&mApp);
        ASSERT_TRUE(mgr.Load());
        ASSERT_NE(mgr.mCurProfile, nullptr);
        EXPECT_EQ(mgr.mCurProfile->mName, current) << setting;
        EXPECT_EQ(Score(mgr.mCurProfile)->mScore, score) << setting;
        mgr.Save();
        std::string stored;
        EXPECT_TRUE(mApp.RegistryReadString("UserProfile", &stored));
        EXPECT_EQ(stored, current) << setting;
    }

    // Una played here, renamed or deleted by another copy before this one quits: the setting
    // names her as the list does then, or no one, so that the next start plays her on, and
    // never a player who took her old name. The other copy, started while she is played here,
    // plays nobody unless it is given a player: closed last, it leaves the setting as it is, or
    // none once the player it played is gone. What the other copy does, whether it is closed
    // after this one, the setting saved, and the player of the next start with his progress.
    auto rename = [](ProfileMgr& other, const char* from, const char* to)
    {
        other.GetProfile(from, false)->mName = to;
        other.mDirty = true;
        other.Save();
    };
    using Meanwhile = std::function<void(ProfileMgr&)>;
    const std::tuple<const char*, Meanwhile, bool, const char*, const char*, int> others[] = {
        {"renamed", [&](ProfileMgr& other) { rename(other, "Una", "Zed"); }, false, "Zed", "Zed", 5},
        {"renamed, and her name given to another",
         [&](ProfileMgr& other)
         {
             rename(other, "Una", "Zed");
             rename(other, "Bob", "Una");
         },
         false, "Zed", "Zed", 5},
        {"deleted, and her name given to another",
         [&](ProfileMgr& other)
         {
             other.mProfiles.remove(SmartPtr<Profile>(other.GetProfile("Una", false)));
             other.mDirty = true;
             other.Save();
             rename(other, "Bob", "Una");
         },
         false, "", "Cy", 7},
        {"nothing: it asked for a player and is left so", [](ProfileMgr&) {}, true, "Una", "Una", 5},
        {"the game makes Bob current there itself, then lets him go",
         [](ProfileMgr& other)
         {
             other.mCurProfile = other.GetProfile("Bob", false);
             other.SetCurProfile(nullptr);
         },
         true, "", "Cy", 7},
    };
    for (const auto& [what, act, closedLast, setting, next, score] : others)
    {
        SCOPED_TRACE(what);
        std::filesystem::remove_all(mDir);
        {
            HookMgr start(&mApp);
            for (const auto& [name, points] : {std::pair("Una", 5), {"Bob", 6}, {"Cy", 7}})
            {
                Profile* player = start.CreateProfile(name);
                Score(player)->mScore = points;
                player->SaveDetails();
            }
        }
        mApp.RegistryWriteString("UserProfile", "Una");
        {
            HookMgr mgr(&mApp), other(&mApp);
            ASSERT_TRUE(mgr.Load() && other.Load());
            ASSERT_EQ(mgr.mCurProfile->mName, "Una");
            ASSERT_EQ(other.mCurProfile, nullptr);
            act(other);
            // This copy quits.
            mgr.Save();
            if (closedLast)
                other.Save();
        }
        std::string stored;
        EXPECT_TRUE(mApp.RegistryReadString("UserProfile", &stored));
        EXPECT_EQ(stored, setting);
        HookMgr restarted(&mApp);
        ASSERT_TRUE(restarted.Load());
        EXPECT_EQ(restarted.mCurProfile->mName, next);
        EXPECT_EQ(Score(restarted.mCurProfile)->mScore, score);
        while (!mApp.mDialogList.empty())
            mApp.KillDialog(mApp.mDialogList.back());
        mApp.ProcessSafeDeleteList();
    }
}

TEST_F(Profiles, OlderNewerAndDamagedListAndPlayerFiles)
{
    // Players 1 and 2 left files that a new player must never inherit.
    WriteFile(mDir + "user1.dat", BYTES("\x03\0\0\0\x05\0\0\0"));
    WriteFile(mDir + "user2.dat", BYTES("\x03\0\0\0\x06\0\0\0"));
    const std::string newer = BYTES("\x03\0\0\0\x09\0\0\0whatever");
    // The highest version a newer program's list is taken to have; text and random bytes, whose
    // first four bytes read as a version far above it.
    const std::string newest = BYTES("\xFF\xFF\0\0\x09\0\0\0whatever");
    const std::string text = "Amy, Bob and Cy\n";
    const std::string noise = BYTES("\x5E\x91\xC4\x3B\xA7\x02\xFE\x18\x66\xD0\x3C\x81");
    const std::string newerBox =
        "MessageBoxA(16,Players Not Saved,The list of players was written by a newer "
        "version of the program: " +
        mDir + "users.dat\nIt is kept as it is, and players made now will not be saved.)";
    const std::string damagedBox =
        "MessageBoxA(16,Players Not Read,The list of players could not be read: " + mDir +
        "users.dat\nIt was kept as " + mDir + "users.dat.damaged\nA new list of players is started.)";
    // What the next start finds, once a kept list was moved away (as its box advises) and the
    // copy that made a player meanwhile saved again; nothing more is told. Then what the row left
    // goes: the new player's file and the last id given out, which hold his id, and the lists
    // set or moved aside.
    auto nextStart = [&](HookMgr& mgr, bool kept, int32_t made)
    {
        if (kept)
        {
            std::filesystem::rename(mDir + "users.dat", mDir + "users.dat.newer");
            EXPECT_TRUE(mgr.Save());
        }
        HookMgr next(&mApp);
        EXPECT_TRUE(next.Load());
        EXPECT_EQ(Boxes(), "");
        for (const std::string& left : {Profile::GetDetailsPath(made), mDir + "users.last",
                                        mDir + "users.dat.damaged", mDir + "users.dat.newer"})
            std::filesystem::remove(left);
        return List(next);
    };
    // name, file, Load's result, list after loading, hook calls, id of the next player, the box,
    // and the list of the next start: the newer program's list is told once and not written
    // over while it is there, one of a version no later program writes is damaged.
    const std::tuple<const char*, std::string, bool, const char*, int, int, std::string, const char*> rows[] =
        {
            {"version 1", BYTES("\x01\0\0\0\x07\0\0\0\x01\0\0\0\x07\0\0\0\x02\0Cy"), true, "7:Cy next 7", 0,
             8, "", "7:Cy 8:Dee next 8"},
            {"ids above the counter",
             BYTES("\x02\0\0\0\x01\0\0\0\x02\0\0\0\x05\0\0\0\0\0\x03\0\0\0\0\0\x01\0\0\0\0\0\0\0"), true,
             "5: 3: next 5", 1, 6, "", "5: 3: 2 6:Dee next 6"},
            {"newer", newer, true, "next 0", 0, 3, newerBox, "3:Dee next 3"},
            {"newer, at the highest version taken for one", newest, true, "next 0", 0, 3, newerBox,
             "3:Dee next 3"},
            {"a version above it", BYTES("\0\0\x01\0\x09\0\0\0whatever"), false, "next 0", 0, 3, damagedBox,
             "3:Dee next 3"},
            // Read signed, as half of all random bytes do: no layout's, though the rest reads as one.
            {"a negative version", BYTES("\xFE\xFF\xFF\xFF\x07\0\0\0\x01\0\0\0\x07\0\0\0\x02\0Cy"), false,
             "next 0", 0, 3, damagedBox, "3:Dee next 3"},
            {"version 0", BYTES("\0\0\0\0\x07\0\0\0\x01\0\0\0\x07\0\0\0\x02\0Cy"), false, "next 0", 0, 3,
             damagedBox, "3:Dee next 3"},
            {"text", text, false, "next 0", 0, 3, damagedBox, "3:Dee next 3"},
            {"random bytes", noise, false, "next 0", 0, 3, damagedBox, "3:Dee next 3"},
            {"missing", "", false, "next 0", 0, 3, "", "3:Dee next 3"},
        };
    for (const auto& [what, file, loads, list, hookCalls, nextId, box, found] : rows)
    {
        SCOPED_TRACE(what);
        const bool kept = box == newerBox;
        std::filesystem::remove(mDir + "users.dat");
        if (!file.empty())
            WriteFile(mDir + "users.dat", file);
        HookMgr mgr(&mApp);
        EXPECT_EQ(mgr.Load(), loads);
        EXPECT_EQ(List(mgr), list);
        EXPECT_EQ(mgr.mHookCalls, hookCalls);
        Profile* added = mgr.CreateProfile("Dee");
        ASSERT_NE(added, nullptr);
        EXPECT_EQ(added->mId, nextId);
        // The newer program's list is not written over.
        EXPECT_EQ(mgr.Save(), !kept);
        EXPECT_EQ(ReadFile(mDir + "users.dat") == file, kept);
        EXPECT_EQ(Boxes(), box);
        if (box == damagedBox)
        {
            EXPECT_EQ(ReadFile(mDir + "users.dat.damaged"), file);
        }
        EXPECT_EQ(nextStart(mgr, kept, added->mId), found);
    }
    // Written after this one read the list: what is there, whether the save writes the list,
    // and the box. A newer program's list is not written over (its players are not this
    // program's to drop) until it is moved away; a damaged one is set aside. Either way the
    // next start finds Eve, made meanwhile.
    const std::tuple<const char*, std::string, bool, std::string> meanwhile[] = {
        {"newer", newer, false, newerBox},
        {"text", text, true, damagedBox},
        {"random bytes", noise, true, damagedBox},
    };
    for (const auto& [what, file, written, box] : meanwhile)
    {
        SCOPED_TRACE(what);
        WriteFile(mDir + "users.dat", kTwoPlayers);
        HookMgr before(&mApp);
        ASSERT_TRUE(before.Load());
        WriteFile(mDir + "users.dat", file);
        ASSERT_NE(before.CreateProfile("Eve"), nullptr);
        EXPECT_EQ(before.Save(), written);
        EXPECT_EQ(ReadFile(mDir + "users.dat") == file, !written);
        EXPECT_EQ(Boxes(), box);
        EXPECT_EQ(nextStart(before, !written, 3), "1:Amy 2:Bob 3:Eve next 3");
    }

    // Every cut of a good file reads as no list at all, to be written afresh.
    for (size_t length = 0; length < kTwoPlayers.size(); ++length)
    {
        WriteFile(mDir + "users.dat", kTwoPlayers.substr(0, length));
        HookMgr cut(&mApp);
        EXPECT_FALSE(cut.Load()) << length;
        EXPECT_EQ(List(cut), "next 0") << length;
        EXPECT_TRUE(cut.mDirty) << length;
    }

    // Player files: the file, score after loading, version SyncDetails saw.
    const std::tuple<const char*, std::string, int, int> players[] = {
        {"current", BYTES("\x03\0\0\0\x09\0\0\0"), 9, 3},
        {"older", BYTES("\x02\0\0\0\x04\0\0\0"), 4, 2},
        {"newer", BYTES("\x04\0\0\0\x05\0\0\0"), -1, 0},
        {"truncated", BYTES("\x03\0\0\0\x05\0"), -1, 3},
        {"empty", "", -1, 0},
    };
    for (const auto& row : players)
    {
        WriteFile(mDir + "user4.dat", std::get<1>(row));
        ScoreProfile profile;
        profile.mId = 4;
        profile.LoadDetails();
        EXPECT_EQ(profile.mScore, std::get<2>(row)) << std::get<0>(row);
        EXPECT_EQ(profile.mSeenVersion, std::get<3>(row)) << std::get<0>(row);
    }
}

TEST_F(Profiles, AMissingPlayerFileResetsThePlayerAndDeleteFilesRemovesTheFile)
{
    ScoreProfile missing;
    missing.mId = 5;
    missing.LoadDetails();
    EXPECT_EQ(missing.mScore, -1);
    WriteFile(mDir + "user5.dat", "x");
    missing.DeleteFiles();
    EXPECT_FALSE(std::filesystem::exists(mDir + "user5.dat"));
}

TEST_F(Profiles, FailedWritesKeepTheOldFilesAndTheDirtyFlags)
{
    HookMgr mgr(&mApp);
    Profile* amy = mgr.CreateProfile("Amy");
    Score(amy)->mScore = 1;
    ASSERT_TRUE(amy->SaveDetails());
    const std::string oldList = ReadFile(mDir + "users.dat");

    // The new bytes cannot be written: nothing is renamed over the files.
    Score(amy)->mScore = 2;
    amy->mDirty = true;
    {
        ScopedFullDisk full;
        EXPECT_FALSE(amy->SaveIfDirty());
        EXPECT_TRUE(amy->mDirty);
        EXPECT_NE(mgr.CreateProfile("Bob"), nullptr);
        EXPECT_TRUE(mgr.mDirty);
    }
    EXPECT_EQ(ReadFile(mDir + "users.dat"), oldList);
    // The first failure of the run is told, naming the file and the reason.
    EXPECT_EQ(Boxes(), "MessageBoxA(16,Save Failed,Could not save the players to \"" + mDir +
                           "user1.dat\": File too large)");
    EXPECT_EQ(ReadFile(mDir + "user1.dat"), BYTES("\x03\0\0\0\x01\0\0\0"));
    // Unsaved progress is not replaced by the older file.
    EXPECT_EQ(Score(mgr.GetProfile("amy", true))->mScore, 2);

    mgr.mCurProfile = amy;
    EXPECT_TRUE(mgr.Save());
    EXPECT_FALSE(mgr.mDirty);
    EXPECT_FALSE(amy->mDirty);
    EXPECT_EQ(ReadFile(mDir + "user1.dat"), BYTES("\x03\0\0\0\x02\0\0\0"));
    EXPECT_EQ(Boxes(), "");

    // In another run, with a file where the profile folder belongs (playing nobody, whose file
    // would be written first).
    mgr.mCurProfile = nullptr;
    mApp.mReportedSaveFailures.clear();
    std::filesystem::remove_all(mDir);
    WriteFile(RemoveTrailingSlash(mDir), "");
    mgr.mDirty = true;
    EXPECT_FALSE(mgr.Save());
    EXPECT_EQ(Boxes(), "MessageBoxA(16,Save Failed,Could not save the players to \"" + mDir +
                           "users.dat\": Not a directory)");
    std::filesystem::remove(RemoveTrailingSlash(mDir));

    // Without a profile folder nothing is written.
    Profile::mProfileDir.clear();
    mgr.mDirty = true;
    EXPECT_FALSE(mgr.Save());
    SetAppDataFolder(mEnv.mHome + "data");
    Profile::InitProfileDir("players", false);
    EXPECT_EQ(Profile::mProfileDir, GetAppDataFolder() + "players/");
}

TEST_F(Profiles, RepeatedIdsAndAnExhaustedCounterGetFreeIds)
{
    // Amy's file, and one that no listed player holds.
    WriteFile(mDir + "user1.dat", BYTES("\x03\0\0\0\x05\0\0\0"));
    WriteFile(mDir + "user2.dat", BYTES("\x03\0\0\0\x06\0\0\0"));
    // Amy and Bob both with id 1.
    WriteFile(mDir + "users.dat", BYTES("\x02\0\0\0\x01\0\0\0\x02\0\0\0"
                                        "\x01\0\0\0\x03\0Amy\x01\0\0\0\x03\0Bob"
                                        "\x01\0\0\0"));
    ProfileMgr mgr(&mApp, &ScoreProfile::Make);
    EXPECT_TRUE(mgr.Load());
    EXPECT_EQ(List(mgr), "1:Amy 3:Bob next 3");
    EXPECT_TRUE(mgr.mDirty); // the new id is written at the next save
    EXPECT_EQ(Score(mgr.GetProfile("Amy", true))->mScore, 5);
    Profile* bob = mgr.GetProfile("Bob", true);
    EXPECT_EQ(Score(bob)->mScore, -1); // a fresh player's details
    Score(bob)->mScore = 9;
    ASSERT_TRUE(bob->SaveDetails());
    // Deleting Amy leaves Bob's progress.
    mgr.GetProfile("Amy", false)->DeleteFiles();
    EXPECT_EQ(ReadFile(mDir + "user3.dat"), BYTES("\x03\0\0\0\x09\0\0\0"));
    EXPECT_TRUE(mgr.Save());
    ProfileMgr reloaded(&mApp);
    EXPECT_TRUE(reloaded.Load());
    EXPECT_EQ(List(reloaded), "1:Amy 3:Bob next 3");

    // Two players at the last id: the second, and new players, get the lowest ids no
    // player or file holds.
    WriteFile(mDir + "users.dat", BYTES("\x02\0\0\0\xFF\xFF\xFF\x7F\x02\0\0\0"
                                        "\xFF\xFF\xFF\x7F\x03\0Max\xFF\xFF\xFF\x7F\x03\0Mia"
                                        "\x01\0\0\0"));
    ProfileMgr full(&mApp);
    EXPECT_TRUE(full.Load());
    ASSERT_NE(full.CreateProfile("Zoe"), nullptr);
    ASSERT_NE(full.CreateProfile("Ann"), nullptr);
    EXPECT_EQ(List(full), "2147483647:Max 1:Mia 4:Zoe 5:Ann next 2147483647");
}

TEST_F(Profiles, DamagedListsAreMovedAsideAndNewerPlayerFilesKept)
{
    // kTwoPlayers claiming nine players.
    std::string nine = kTwoPlayers;
    nine[8] = 9;
    const std::string opening =
        "MessageBoxA(16,Players Not Read,The list of players could not be read: " + mDir;
    // what users.dat is, the name it is kept under, the box: the reason a file that could
    // not be read at all is told as it is.
    const std::tuple<const char*, const char*, std::string> rows[] = {
        {"nine of two", ".damaged",
         opening + "users.dat\nIt was kept as " + mDir +
             "users.dat.damaged\nA new list of players is started.)"},
        {"a folder", ".unreadable",
         opening + "users.dat: Is a directory\nIt was kept as " + mDir +
             "users.dat.unreadable\nA new list of players is started.)"},
    };
    for (const auto& [what, aside, box] : rows)
    {
        SCOPED_TRACE(what);
        std::filesystem::remove(mDir + "users.dat");
        if (std::string(what) == "a folder")
            ASSERT_TRUE(MkDir(mDir + "users.dat"));
        else
            WriteFile(mDir + "users.dat", nine);
        ProfileMgr mgr(&mApp);
        EXPECT_FALSE(mgr.Load());
        EXPECT_EQ(Boxes(), box);
        EXPECT_FALSE(std::filesystem::exists(mDir + "users.dat"));
        EXPECT_TRUE(std::filesystem::exists(mDir + "users.dat" + aside));
        ASSERT_NE(mgr.CreateProfile("Cy"), nullptr);
        EXPECT_TRUE(std::filesystem::exists(mDir + "users.dat"));
    }
    // Both kept as they were.
    EXPECT_EQ(ReadFile(mDir + "users.dat.damaged"), nine);
    EXPECT_TRUE(std::filesystem::is_directory(mDir + "users.dat.unreadable"));

    // No name left to move it to: it stays, and is never written over.
    for (int i = 2; i <= 100; i++)
        WriteFile(mDir + "users.dat.damaged" + std::to_string(i), "");
    WriteFile(mDir + "users.dat", nine);
    ProfileMgr stuck(&mApp);
    EXPECT_FALSE(stuck.Load());
    EXPECT_EQ(Boxes(), "MessageBoxA(16,Players Not Read,The list of players could not be read: " + mDir +
                           "users.dat\nIt could not be moved aside: no free name\nPlayers made now will "
                           "not be saved.)");
    Profile* cy = stuck.CreateProfile("Cy");
    ASSERT_NE(cy, nullptr);
    EXPECT_FALSE(stuck.Save());
    EXPECT_EQ(ReadFile(mDir + "users.dat"), nine);
    // Looked at again at each save, and not told again while it stays as it is; once it is gone,
    // the list is written with the player made meanwhile.
    EXPECT_FALSE(stuck.Save());
    EXPECT_EQ(Boxes(), "");
    std::filesystem::remove(mDir + "users.dat");
    EXPECT_TRUE(stuck.Save());
    ProfileMgr next(&mApp);
    EXPECT_TRUE(next.Load());
    EXPECT_EQ(List(next), std::to_string(cy->mId) + ":Cy next " + std::to_string(cy->mId));

    // A player file of a newer program is read as a fresh player's and never written over.
    const std::string newer = BYTES("\x04\0\0\0\x05\0\0\0more");
    WriteFile(mDir + "user4.dat", newer);
    ScoreProfile profile;
    profile.mId = 4;
    profile.LoadDetails();
    EXPECT_EQ(profile.mScore, -1);
    profile.mScore = 8;
    profile.mDirty = true;
    EXPECT_FALSE(profile.SaveIfDirty());
    EXPECT_TRUE(profile.mDirty);
    EXPECT_EQ(ReadFile(mDir + "user4.dat"), newer);
    // Written over once it holds this program's version.
    WriteFile(mDir + "user4.dat", BYTES("\x03\0\0\0\x05\0\0\0"));
    profile.LoadDetails();
    profile.mScore = 8;
    EXPECT_TRUE(profile.SaveDetails());
    EXPECT_EQ(ReadFile(mDir + "user4.dat"), BYTES("\x03\0\0\0\x08\0\0\0"));
    EXPECT_EQ(Boxes(), "");
}

// As the player dialog deletes a player: none is current once he was, and the save that writes
// the list without him erases his files.
void Delete(ProfileMgr& mgr, const std::string& name)
{
    SmartPtr<Profile> gone = mgr.GetProfile(name, false);
    if (mgr.mCurProfile == gone)
        mgr.mCurProfile = nullptr;
    mgr.mProfiles.remove(gone);
    mgr.mDirty = true;
    mgr.Save();
}

// Two copies of the program on one data folder, played by hand: each list saved keeps what
// the other saved meanwhile, no two players share an id, and a deletion stays.
TEST_F(Profiles, TwoCopiesOnOneFolderKeepEachOthersChanges)
{
    // Whether Dave's progress was saved before Eve was added in the other copy.
    for (bool daveSaved : {true, false})
    {
        SCOPED_TRACE(daveSaved);
        std::filesystem::remove_all(mDir);
        ProfileMgr first(&mApp, &ScoreProfile::Make);
        first.CreateProfile("Alice");
        first.CreateProfile("Carol");
        ProfileMgr a(&mApp, &ScoreProfile::Make);
        ProfileMgr b(&mApp, &ScoreProfile::Make);
        ASSERT_TRUE(a.Load());
        ASSERT_TRUE(b.Load());
        Profile* dave = b.CreateProfile("Dave");
        Score(dave)->mScore = 7;
        ASSERT_TRUE(!daveSaved || dave->SaveDetails());
        Profile* eve = a.CreateProfile("Eve");
        ASSERT_NE(eve, nullptr);
        EXPECT_EQ(eve->mId, 4);
        EXPECT_EQ(List(a), "1:Alice 2:Carol 3:Dave 4:Eve next 4");
        ProfileMgr later(&mApp, &ScoreProfile::Make);
        ASSERT_TRUE(later.Load());
        EXPECT_EQ(List(later), "1:Alice 2:Carol 3:Dave 4:Eve next 4");
        ASSERT_NE(later.GetProfile("Dave", false), nullptr);
        EXPECT_EQ(Score(later.GetProfile("Eve", true))->mScore, -1);
        EXPECT_EQ(Score(later.GetProfile("Dave", true))->mScore, daveSaved ? 7 : -1);
        if (!daveSaved)
            continue;

        // Carol deleted in one copy, Dave renamed in the other, which never saw Eve listed. Her file
        // read first: a copy writes over no save it has not read.
        ASSERT_NE(b.GetProfile("Carol", true), nullptr);
        Score(b.GetProfile("Carol", false))->mScore = 3;
        ASSERT_TRUE(b.GetProfile("Carol", false)->SaveDetails());
        Delete(a, "Carol");
        b.GetProfile("Dave", false)->mName = "David";
        b.mDirty = true;
        ASSERT_TRUE(b.Save());
        EXPECT_EQ(List(b), "1:Alice 3:David 4:Eve next 4");
        ASSERT_NE(a.CreateProfile("Fay"), nullptr);
        EXPECT_EQ(List(a), "1:Alice 3:David 4:Eve 5:Fay next 5");
        ASSERT_NE(a.GetProfile("David", false), nullptr);
        EXPECT_EQ(Score(a.GetProfile("David", true))->mScore, 7);
        EXPECT_FALSE(std::filesystem::exists(Profile::GetDetailsPath(2)));
    }
}

// One copy reads an empty folder; another makes Ann; a third plays Ann; the second deletes
// her; the first, which never saw Ann, makes Bob; the third saves Ann's progress and its
// list. Bob never gets Ann's id while the counter lasts, and never her progress or the third
// copy's player for her.
TEST_F(Profiles, APlayerDeletedInOneCopyLeavesNeitherIdNorProgressToAnotherCopysNewPlayer)
{
    // The list the copies start from, then Bob's id: past the top of the counter ids are
    // reused, but never one a copy still plays a player under, and a player of one copy is not
    // taken for another's.
    const std::pair<std::string, int32_t> rows[] = {
        {"", 2},
        {BYTES("\x02\0\0\0\xFF\xFF\xFF\x7F\x01\0\0\0\xFF\xFF\xFF\x7F\x03\0Max\x01\0\0\0"), 2},
    };
    for (const auto& [start, bobId] : rows)
    {
        SCOPED_TRACE(bobId);
        std::filesystem::remove_all(mDir);
        std::filesystem::create_directories(mDir);
        if (!start.empty())
            WriteFile(mDir + "users.dat", start);
        ProfileMgr a(&mApp, &ScoreProfile::Make);
        ProfileMgr b(&mApp, &ScoreProfile::Make);
        ProfileMgr c(&mApp, &ScoreProfile::Make);
        EXPECT_EQ(a.Load(), !start.empty());
        b.Load();
        Profile* bAnn = b.CreateProfile("Ann");
        ASSERT_NE(bAnn, nullptr);
        EXPECT_EQ(bAnn->mId, 1);
        ASSERT_TRUE(c.Load());
        Profile* ann = c.GetProfile("Ann", true);
        ASSERT_NE(ann, nullptr);
        c.SetCurProfile(ann);
        Score(ann)->mScore = 8;
        ann->mDirty = true;
        Delete(b, "Ann");
        Profile* bob = a.CreateProfile("Bob");
        ASSERT_NE(bob, nullptr);
        EXPECT_EQ(bob->mId, bobId);
        c.mDirty = true;
        EXPECT_TRUE(c.Save());
        // The third copy's Ann stays Ann, and is not listed as Bob.
        EXPECT_EQ(ann->mName, "Ann");
        EXPECT_NE(c.GetProfile("Bob", false), ann);
        ProfileMgr next(&mApp, &ScoreProfile::Make);
        ASSERT_TRUE(next.Load());
        EXPECT_EQ(List(next), start.empty() ? "2:Bob next 2" : "2147483647:Max 2:Bob next 2147483647");
        if (start.empty())
        {
            EXPECT_EQ(Score(next.GetProfile("Bob", true))->mScore, -1);
        }
        // No list names Ann any more: her progress is written to no file (Bob's least).
        for (int32_t id = 1; id <= 3; id++)
        {
            ScoreProfile file;
            file.mId = id;
            file.LoadDetails();
            EXPECT_NE(file.mScore, 8) << id;
        }
    }
}

// A player whose progress names it: the name it was made with, which its names keep
// before a "~".
class TagProfile : public Profile
{
public:
    std::string mTag;

    void Reset() override { mTag.clear(); }
    void SyncDetails(DataSync& sync) override { sync.SyncString(mTag); }
    static Profile* Make() { return new TagProfile(); }
    // Before a "~", or a number a merge put after the name: one word.
    static std::string TagOf(const std::string& name) { return name.substr(0, name.find_first_of("~ ")); }
};

// A player of the copies' race: his tag, and the save his file holds ("<copy>s<step>" of the step
// that wrote it; empty for a fresh player's).
class RaceProfile : public TagProfile
{
public:
    std::string mStamp;

    void Reset() override
    {
        TagProfile::Reset();
        mStamp.clear();
    }
    void SyncDetails(DataSync& sync) override
    {
        TagProfile::SyncDetails(sync);
        sync.SyncString(mStamp);
    }
    static Profile* Make() { return new RaceProfile(); }
};

// What befalls users.dat once in a run of the copies' race, at a random step of the first copy.
enum class Mishap
{
    kNone,
    kDeleted,
    kDamaged, // bytes that cannot be read as a list: moved aside by the next copy to save
    kNewer,   // a newer program's list, which no copy writes over
    kEmpty,   // bytes that read as a valid list of no players
    // users.dat and users.last
    kBothDeleted,
    // users.dat and users.last, at two steps
    kBothDeletedTwice,
    // players.lock deleted, or another file put in its place: another copy may take a player
    // played until the copy playing him finds out at its next pass
    kLockDeleted,
    kLockReplaced,
};

// 12 bytes as random as the mishap allows: version, last id given out, player count.
std::string MishapBytes(Mishap mishap, std::mt19937& random)
{
    int32_t words[3] = {int32_t(random()), int32_t(random()), int32_t(random())};
    words[0] = mishap == Mishap::kNewer ? 3 + int32_t(random() % 1000) : 1;
    words[2] = mishap == Mishap::kEmpty ? -int32_t(random() % 1000) : 1 + int32_t(random() % 1000);
    std::string bytes;
    for (int32_t word : words)
    {
        for (int shift = 0; shift < 32; shift += 8)
            bytes += char(uint32_t(word) >> shift);
    }
    return bytes;
}

// How often in the runs of one mishap.
struct RaceFigures
{
    // A player loaded another's progress or became another.
    int mCrossed = 0;
    int mSharedIds = 0;
    int mSharedFiles = 0;
    // A copy played a player another copy played: took him while that copy held him, or played
    // on after a pass that began once another copy had taken him.
    int mPlayedTwice = 0;
    // A copy wrote a player's progress over a save of his that it had not read.
    int mSavedOver = 0;
    // One player listed twice at the end.
    int mListedTwice = 0;
};

// Who plays whom, from the copies' lines in the order they were written: "step <copy>" as a copy
// begins a step (which may let its player go), then "play <copy> <player>" or "none <copy>" once
// it is done, and "quit <copy>" once it has let go of everything. A copy idle in between still
// holds its player's lock.
class PlayLog
{
public:
    // strict: a copy never takes a player another copy held all through its step (no lock file
    // was made anew meanwhile).
    explicit PlayLog(bool strict) : mStrict(strict) {}

    // False when the line shows one player played by two copies: taken from a copy that held him
    // all through the step (strict), or played on after a step through which another copy that
    // took him later held him (the step's pass must have found the lock gone).
    bool Line(const std::string& what, const std::string& copy, const std::string& player)
    {
        ++mLine;
        Copy& me = mCopies[copy];
        if (what == "step" || what == "quit")
        {
            me.mStep = mLine;
            me.mStepping = what == "step";
            if (what == "quit")
                me.mPlayer.clear();
            return true;
        }
        const bool on = what == "play" && player == me.mPlayer;
        bool alone = true;
        for (const auto& [name, other] : mCopies)
        {
            const bool heldThrough =
                name != copy && other.mPlayer == player && !other.mStepping && other.mDone < me.mStep;
            if (what == "play" && heldThrough && (on ? other.mTaken > me.mTaken : mStrict))
                alone = false;
        }
        if (what == "play" && !on)
            me.mTaken = mLine;
        me.mPlayer = what == "play" ? player : "";
        me.mStepping = false;
        me.mDone = mLine;
        return alone;
    }

private:
    struct Copy
    {
        std::string mPlayer;
        // Lines: the step begun last, the step done last, the take of the player played.
        size_t mStep = 0;
        size_t mDone = 0;
        size_t mTaken = 0;
        bool mStepping = false;
    };
    bool mStrict;
    size_t mLine = 0;
    std::map<std::string, Copy> mCopies;
};

// Copies on one folder that all read the list, then each add a player at once, then add,
// rename, delete, play and save players at random without reading the list again, and quit,
// while users.dat is lost (with users.last or not), damaged or replaced once, or players.lock is:
// the players added at once are all kept under ids of their own, no id is given to two players
// (once both list files are lost, a deleted player's may be given again), no player file is
// written for two players, no player loads another's progress or becomes another (each copy
// checks its players after every save), no copy saves a player over a save of his it has not
// read, two copies play one player only until the one that played him first makes a pass (where
// the lock file was made anew), and the list holds every player added and not deleted, once
// each, under names the dialogs tell apart. VAXO_PROFILE_RACE_RUNS sets the runs of each mishap,
// and VAXO_PROFILE_RACE_MISHAP (its name as printed, "deleted with users.last") runs that one
// alone.
TEST_F(Profiles, CopiesAddingRenamingAndDeletingAtOnceNeverShareIdsOrProgress)
{
    const char* runsSet = std::getenv("VAXO_PROFILE_RACE_RUNS");
    const int kRuns = runsSet != nullptr ? std::atoi(runsSet) : 2;
    constexpr int kCopies = 4;
    constexpr int kSteps = 100;
    const std::string logPath = mEnv.mHome + "copies.log";
    const std::pair<Mishap, const char*> mishaps[] = {
        {Mishap::kNone, "nothing"},
        {Mishap::kDeleted, "deleted"},
        {Mishap::kDamaged, "damaged"},
        {Mishap::kNewer, "newer"},
        {Mishap::kEmpty, "valid and empty"},
        {Mishap::kBothDeleted, "deleted with users.last"},
        {Mishap::kBothDeletedTwice, "deleted with users.last twice"},
        {Mishap::kLockDeleted, "players.lock deleted"},
        {Mishap::kLockReplaced, "players.lock replaced"}};
    const char* onlySet = std::getenv("VAXO_PROFILE_RACE_MISHAP");
    for (const auto& [mishap, what] : mishaps)
    {
        if (onlySet != nullptr && std::string(onlySet) != what)
            continue;
        SCOPED_TRACE(what);
        RaceFigures figures;
        for (int run = 0; run < kRuns; run++)
        {
            SCOPED_TRACE(run);
            std::filesystem::remove_all(mDir);
            std::filesystem::remove(logPath);
            // What the copies did: "id <id> <player>" for each id given (a new one too),
            // "file <id> <player>" for each player file written, "save <player> <base> <stamp>"
            // for each save of his progress (the save it was made on, "-" for a fresh player's),
            // "gone <player>" for each player deleted, "crossed <player>" for each player that
            // loaded another's progress or became another, and who each copy plays (PlayLog).
            const int log = open(logPath.c_str(), O_WRONLY | O_APPEND | O_CREAT, 0644);
            ASSERT_GE(log, 0);
            auto note = [log](const std::string& line)
            { (void)!write(log, (line + "\n").data(), line.size() + 1); };
            note("id " + std::to_string(ProfileMgr(&mApp, &RaceProfile::Make).CreateProfile("Alice")->mId) +
                 " Alice");
            CopiesGate loaded, added, done;
            std::vector<pid_t> copies;
            for (int copy = 0; copy < kCopies; copy++)
            {
                const pid_t pid = StartChild(
                    [&, copy, mishap = mishap]
                    {
                        std::mt19937 random(uint32_t(run * kCopies + copy) + 1000u * uint32_t(mishap));
                        const int mishapStep =
                            copy == 0 && mishap != Mishap::kNone ? int(random() % kSteps) : -1;
                        const int secondStep =
                            copy == 0 && mishap == Mishap::kBothDeletedTwice ? int(random() % kSteps) : -1;
                        // Goes as the copy quits, and its locks with it.
                        auto copyMgr = std::make_unique<ProfileMgr>(&mApp, &RaceProfile::Make);
                        ProfileMgr& mgr = *copyMgr;
                        // The tag and id each player of this copy had after the last save.
                        std::map<Profile*, std::pair<std::string, int32_t>> seen;
                        std::vector<SmartPtr<Profile>> held;
                        int failed = 0;
                        auto checkPlayers = [&]
                        {
                            for (const SmartPtr<Profile>& profile : mgr.mProfiles)
                            {
                                const std::string tag = TagProfile::TagOf(profile->mName);
                                auto [at, fresh] = seen.try_emplace(profile.get(), tag, profile->mId);
                                if (fresh)
                                    held.push_back(profile);
                                else if (at->second.first != tag)
                                    note("crossed " + at->second.first);
                                else if (at->second.second != profile->mId)
                                    note("id " + std::to_string(profile->mId) + " " + tag);
                                at->second = {tag, profile->mId};
                            }
                        };
                        // A newer program's list is not written over.
                        auto saved = [&](bool ok) { failed += ok || mishap == Mishap::kNewer ? 0 : 1; };
                        auto add = [&](const std::string& name)
                        {
                            Profile* profile = mgr.CreateProfile(name);
                            if (profile != nullptr)
                                note("id " + std::to_string(profile->mId) + " " + name);
                            checkPlayers();
                            return profile != nullptr;
                        };
                        const std::string me = "c" + std::to_string(copy);
                        // Around each step: who this copy plays once it is done.
                        auto played = [&]
                        {
                            if (mgr.mCurProfile != nullptr)
                                note("play " + me + " " + TagProfile::TagOf(mgr.mCurProfile->mName));
                            else
                                note("none " + me);
                        };
                        // Every copy passes every gate, so that none waits for one that failed.
                        bool started = mgr.Load();
                        started = loaded.Pass() && started;
                        started = started && add(me);
                        started = added.Pass() && started;
                        played();
                        for (int step = 0; started && step < kSteps; step++)
                        {
                            const bool lockMishap =
                                mishap == Mishap::kLockDeleted || mishap == Mishap::kLockReplaced;
                            const bool bothLost =
                                mishap == Mishap::kBothDeleted || mishap == Mishap::kBothDeletedTwice;
                            if ((step == mishapStep || step == secondStep) && lockMishap)
                            {
                                std::filesystem::remove(mDir + "players.lock");
                                if (mishap == Mishap::kLockReplaced)
                                    WriteFileAtomically(mDir + "players.lock", "", 0);
                            }
                            else if (step == mishapStep || step == secondStep)
                            {
                                const std::string bytes = MishapBytes(mishap, random);
                                if (mishap == Mishap::kDeleted || bothLost)
                                    std::filesystem::remove(mDir + "users.dat");
                                else
                                    WriteFileAtomically(mDir + "users.dat", bytes.data(),
                                                        uint32_t(bytes.size()));
                                if (bothLost)
                                    std::filesystem::remove(mDir + "users.last");
                            }
                            note("step " + me);
                            const uint32_t what = random() % 5;
                            const std::string stamp = me + "s" + std::to_string(step);
                            if (what == 0 || mgr.mProfiles.empty())
                            {
                                failed += add(stamp) ? 0 : 1;
                                played();
                                continue;
                            }
                            auto at = mgr.mProfiles.begin();
                            std::advance(at, random() % mgr.mProfiles.size());
                            SmartPtr<Profile> player = *at;
                            const std::string tag = TagProfile::TagOf(player->mName);
                            if (what == 1)
                            {
                                player->mName = tag + "~" + stamp;
                                mgr.mDirty = true;
                                saved(mgr.Save());
                            }
                            else if (what == 2)
                            {
                                Delete(mgr, player->mName);
                                note("gone " + tag);
                            }
                            else if (what == 3)
                            {
                                // One of the first players of the list, so that copies often want
                                // one another's; refused when another copy plays him.
                                const SmartPtr<Profile> wanted =
                                    *std::next(mgr.mProfiles.begin(),
                                               random() % std::min<size_t>(mgr.mProfiles.size(), 3));
                                mgr.SetCurProfile(mgr.GetProfile(wanted->mName, true));
                            }
                            else
                            {
                                // The player played is saved as a game saves him: what this copy
                                // holds; another is read first.
                                if (mgr.mCurProfile != player)
                                    mgr.GetProfile(player->mName, true);
                                auto* tagged = static_cast<RaceProfile*>(player.get());
                                if (!tagged->mTag.empty() && tagged->mTag != tag)
                                    note("crossed " + tag);
                                const std::string base = tagged->mStamp.empty() ? "-" : tagged->mStamp;
                                tagged->mTag = tag;
                                tagged->mStamp = stamp;
                                // Not written once another copy deleted the player, or saved him
                                // since this copy read him. The ids the save gave are noted
                                // before the file.
                                const bool written = player->SaveDetails();
                                checkPlayers();
                                if (written)
                                {
                                    note("file " + std::to_string(player->mId) + " " + tag);
                                    note("save " + tag + " " + base + " " + stamp);
                                }
                                // Nor once another copy took him: what was not saved goes.
                                else if (player->mHasDetails)
                                    failed += mgr.GetProfile(player->mName, false) == player ? 1 : 0;
                            }
                            played();
                            checkPlayers();
                            std::this_thread::sleep_for(std::chrono::microseconds(random() % 500));
                        }
                        // As the program saves when it ends, once every copy is done with its steps.
                        if (!done.Pass() || !started)
                            return 1;
                        note("step " + me);
                        saved(mgr.Save());
                        played();
                        checkPlayers();
                        held.clear();
                        copyMgr.reset();
                        note("quit " + me);
                        return failed == 0 ? 0 : 2;
                    });
                ASSERT_GE(pid, 0);
                copies.push_back(pid);
            }
            // All copies have read the list before any adds its player.
            EXPECT_TRUE(loaded.OpenWhenAllHere(kCopies));
            if (added.AllHere(kCopies))
            {
                ProfileMgr first(&mApp);
                ASSERT_TRUE(first.Load());
                std::set<std::string> names, allNames = {"Alice"};
                std::set<int32_t> ids, allIds = {1};
                for (const SmartPtr<Profile>& profile : first.mProfiles)
                {
                    names.insert(profile->mName);
                    ids.insert(profile->mId);
                }
                for (int copy = 0; copy < kCopies; copy++)
                {
                    allNames.insert("c" + std::to_string(copy));
                    allIds.insert(copy + 2);
                }
                EXPECT_EQ(names, allNames) << List(first);
                EXPECT_EQ(ids, allIds) << List(first);
            }
            added.Open();
            EXPECT_TRUE(done.OpenWhenAllHere(kCopies));
            for (pid_t pid : copies)
                EXPECT_EQ(ChildStatus(pid, true), 0);
            close(log);

            // Each id's players in the order they were given it, and the players files were
            // written for under it.
            std::map<int32_t, std::vector<std::string>> given;
            std::map<int32_t, std::set<std::string>> written;
            std::set<std::string> ided, gone;
            std::set<int32_t> sharedIds, sharedFiles;
            // Once both list files are lost, nothing on disk holds the id of a player deleted
            // before: it may be given again, but not while that player lives, and no progress is
            // written under it but the last holder's.
            const bool givenAgain = mishap == Mishap::kBothDeleted || mishap == Mishap::kBothDeletedTwice;
            int crossed = 0;
            // With the lock file made anew, a copy may take a player another copy still plays until
            // that copy's next step.
            PlayLog plays(mishap != Mishap::kLockDeleted && mishap != Mishap::kLockReplaced);
            int playedTwice = 0;
            // Each player's saves: the save each was made on, and each save's stamp. Two saves made
            // on one (a fork), or one made on a save never written, wrote over a save not read.
            std::map<std::string, std::multiset<std::string>> basesOf;
            std::map<std::string, std::set<std::string>> stampsOf;
            std::istringstream lines(ReadFile(logPath));
            for (std::string what, second, third; lines >> what >> second;)
            {
                if (what == "save")
                {
                    std::string base, stamp;
                    lines >> base >> stamp;
                    basesOf[second].insert(base);
                    stampsOf[second].insert(stamp);
                    continue;
                }
                if (what == "step" || what == "none" || what == "play" || what == "quit")
                {
                    third.clear();
                    if (what == "play")
                        lines >> third;
                    playedTwice += plays.Line(what, second, third) ? 0 : 1;
                    continue;
                }
                if (what == "gone" || what == "crossed")
                {
                    if (what == "gone")
                        gone.insert(second);
                    crossed += what == "crossed" ? 1 : 0;
                    continue;
                }
                lines >> third;
                const int32_t id = std::stoi(second);
                std::vector<std::string>& players = given[id];
                if (what == "file")
                {
                    // The copy that made the player notes his id once its pass is done: another
                    // copy may save him under it first.
                    if (players.empty())
                        players.push_back(third);
                    written[id].insert(third);
                    if (players.back() != third || (!givenAgain && written[id].size() > 1))
                        sharedFiles.insert(id);
                    continue;
                }
                // A copy notes an id it saw change after its pass is done: maybe once another copy
                // deleted that player.
                ided.insert(third);
                if (std::find(players.begin(), players.end(), third) != players.end())
                    continue;
                if (!players.empty() && (!givenAgain || gone.count(players.back()) == 0))
                    sharedIds.insert(id);
                players.push_back(third);
            }
            std::set<std::string> kept;
            std::set_difference(ided.begin(), ided.end(), gone.begin(), gone.end(),
                                std::inserter(kept, kept.end()));
            // A deleted player's file is erased. Where the list was lost or cannot be read, one may
            // come back: a copy that cannot tell he was deleted saves the progress it holds, a new
            // line of saves on none that is there.
            const bool mayComeBack = mishap == Mishap::kDeleted || mishap == Mishap::kDamaged ||
                                     mishap == Mishap::kNewer || givenAgain;
            int savedOver = 0;
            for (const auto& [player, bases] : basesOf)
            {
                for (const std::string& base : bases)
                {
                    const bool fork =
                        bases.count(base) > 1 && (gone.count(player) == 0 || (base != "-" && !mayComeBack));
                    if (fork || (base != "-" && stampsOf[player].count(base) == 0))
                        ++savedOver;
                }
            }
            // At rest, each player file holds the progress of the last player given its id.
            for (const auto& [id, players] : given)
            {
                TagProfile file;
                file.mId = id;
                file.LoadDetails();
                crossed += !file.mTag.empty() && file.mTag != players.back() ? 1 : 0;
            }
            ProfileMgr after(&mApp, &TagProfile::Make);
            ASSERT_TRUE(after.Load());
            std::set<std::string> listed;
            int listedTwice = 0;
            for (const SmartPtr<Profile>& profile : after.mProfiles)
            {
                const std::string tag = TagProfile::TagOf(profile->mName);
                listedTwice += listed.insert(tag).second ? 0 : 1;
                // Every listed player can be chosen by name.
                EXPECT_EQ(after.GetProfile(profile->mName, false), profile) << List(after);
                profile->LoadDetails();
                const std::string& found = static_cast<TagProfile*>(profile.get())->mTag;
                crossed += found.empty() || found == tag ? 0 : 1;
            }
            // A newer program's list holds none of these players. Where the list was lost (or set
            // aside), a player deleted just before may come back: the copy playing him had no list
            // that said he was gone.
            const bool listLost = mishap == Mishap::kDeleted || mishap == Mishap::kDamaged || givenAgain;
            if (mishap != Mishap::kNewer && !listLost)
            {
                EXPECT_EQ(listed, kept) << List(after);
            }
            else if (listLost)
            {
                std::set<std::string> keptOrGone = kept;
                keptOrGone.insert(gone.begin(), gone.end());
                EXPECT_TRUE(std::includes(listed.begin(), listed.end(), kept.begin(), kept.end()))
                    << List(after);
                EXPECT_TRUE(std::includes(keptOrGone.begin(), keptOrGone.end(), listed.begin(), listed.end()))
                    << List(after);
            }
            figures.mCrossed += crossed > 0 ? 1 : 0;
            figures.mSharedIds += sharedIds.empty() ? 0 : 1;
            figures.mSharedFiles += sharedFiles.empty() ? 0 : 1;
            figures.mPlayedTwice += playedTwice > 0 ? 1 : 0;
            figures.mSavedOver += savedOver > 0 ? 1 : 0;
            figures.mListedTwice += listedTwice > 0 ? 1 : 0;
        }
        std::printf("%s%s, %d runs: a player crossed in %d, an id given twice in %d, a file written for two "
                    "players in %d, a player played in two copies in %d, saved over a save not read in %d, "
                    "listed twice in %d\n",
                    std::strncmp(what, "players.lock", 12) == 0 ? "" : "users.dat ", what, kRuns,
                    figures.mCrossed, figures.mSharedIds, figures.mSharedFiles, figures.mPlayedTwice,
                    figures.mSavedOver, figures.mListedTwice);
        EXPECT_EQ(figures.mCrossed, 0) << "runs where a player loaded another's progress or became another";
        EXPECT_EQ(figures.mSharedIds, 0) << "runs where an id was given to two players";
        EXPECT_EQ(figures.mSharedFiles, 0) << "runs where a player file was written for two players";
        EXPECT_EQ(figures.mPlayedTwice, 0) << "runs where two copies played one player";
        EXPECT_EQ(figures.mSavedOver, 0) << "runs where a copy saved a player over a save it had not read";
        EXPECT_EQ(figures.mListedTwice, 0) << "runs where one player was listed twice";
    }
}

// The smallest cases of a copy whose list cannot hold its players: made while the disk was
// full, in a list another copy then deleted or damaged, or with a newer program's list on
// disk. Meanwhile another copy makes Cat and Dan (who could get the first copy's ids again),
// plays Dan and deletes Cat; then the first copy saves the progress of Bob. No player
// becomes another or shares an id, and each loads his own progress, written under the id
// he ends with.
TEST_F(Profiles, PlayersOfAListLostReplacedOrNotSavedKeepTheirIdsAndProgress)
{
    const std::string newer = BYTES("\x03\0\0\0\x09\0\0\0whatever");
    const std::string damaged = BYTES("\x02\0\0\0\x02\0\0\0\x09\0\0\0");
    // what befalls users.dat, and when: before the first copy makes its players ("newer"),
    // while it makes them ("full disk"), or after ("deleted", "damaged")
    for (const char* mishap : {"full disk", "deleted", "damaged", "newer"})
    {
        SCOPED_TRACE(mishap);
        const std::string what = mishap;
        std::filesystem::remove_all(mDir);
        std::filesystem::create_directories(mDir);
        if (what == "newer")
            WriteFile(mDir + "users.dat", newer);
        ProfileMgr first(&mApp, &TagProfile::Make);
        first.Load();
        SmartPtr<Profile> ann, bob;
        {
            std::unique_ptr<ScopedFullDisk> full(what == "full disk" ? new ScopedFullDisk() : nullptr);
            ann = first.CreateProfile("Ann");
            bob = first.CreateProfile("Bob");
        }
        ASSERT_TRUE(ann != nullptr && bob != nullptr);
        if (what == "deleted")
            std::filesystem::remove(mDir + "users.dat");
        if (what == "damaged")
            WriteFile(mDir + "users.dat", damaged);
        ProfileMgr second(&mApp, &TagProfile::Make);
        second.Load();
        ASSERT_NE(second.CreateProfile("Cat"), nullptr);
        SmartPtr<Profile> dan = second.CreateProfile("Dan");
        ASSERT_TRUE(dan != nullptr);
        static_cast<TagProfile*>(dan.get())->mTag = "Dan";
        EXPECT_TRUE(dan->SaveDetails());
        Delete(second, "Cat");
        static_cast<TagProfile*>(bob.get())->mTag = "Bob";
        bob->mDirty = true;
        first.SetCurProfile(bob);
        first.Save();

        EXPECT_EQ(ann->mName + " " + bob->mName, "Ann Bob");
        EXPECT_EQ(std::set<int32_t>({ann->mId, bob->mId, dan->mId}).size(), 3u)
            << ann->mId << " " << bob->mId << " " << dan->mId;
        for (const auto& [player, tag] : {std::pair(ann, ""), {bob, "Bob"}, {dan, "Dan"}})
        {
            TagProfile file;
            file.mId = player->mId;
            file.LoadDetails();
            EXPECT_EQ(file.mTag, tag) << player->mName;
        }
    }
}

// The bytes this process has read so far (the kernel's count of every read).
uint64_t BytesRead()
{
    std::ifstream io("/proc/self/io");
    std::string key;
    uint64_t value = 0;
    while (io >> key >> value && key != "rchar:")
    {
    }
    return value;
}

// The counters on disk (users.dat's and users.last, whichever is higher) say whether the list
// was started again since a copy last saw it: only then is a player on disk under an id this
// copy listed not taken for that player, renamed or not. Once both files are lost, the name
// users.last gives the list started anew tells its ids from those of the list a copy saw,
// whatever counter a copy that remembers that list puts back. users.last is read only at a
// size this program (or an older one, the id alone) writes, and new ids go above it wherever
// they are chosen.
TEST_F(Profiles, AnIdOnDiskIsTheSamePlayerUnlessTheCountersShowTheListStartedAgain)
{
    auto tagged = [](Profile* profile, const char* tag)
    {
        static_cast<TagProfile*>(profile)->mTag = tag;
        return profile->SaveDetails();
    };
    auto rename = [](ProfileMgr& mgr, const char* from, const char* to)
    {
        mgr.GetProfile(from, false)->mName = to;
        mgr.mDirty = true;
        return mgr.Save();
    };
    // Each player listed at the end, with the progress his file holds.
    auto listed = [this]
    {
        ProfileMgr later(&mApp, &TagProfile::Make);
        later.Load();
        std::string text;
        for (const SmartPtr<Profile>& profile : later.mProfiles)
        {
            profile->LoadDetails();
            const std::string& tag = static_cast<TagProfile*>(profile.get())->mTag;
            text +=
                std::to_string(profile->mId) + ":" + profile->mName + "=" + (tag.empty() ? "-" : tag) + " ";
        }
        return text + "next " + std::to_string(later.mNextId);
    };
    // Amy made, then Zed, whom copy b never saw; users.dat then lost (or replaced by `list`);
    // b renames Amy, a deletes her.
    auto deletedAndRenamedAfterTheListWasLost = [&](const std::string& list)
    {
        ProfileMgr start(&mApp, &TagProfile::Make);
        start.CreateProfile("Amy");
        ProfileMgr a(&mApp, &TagProfile::Make), b(&mApp, &TagProfile::Make);
        b.Load();
        start.CreateProfile("Zed");
        a.Load();
        std::filesystem::remove(mDir + "users.dat");
        if (!list.empty())
            WriteFile(mDir + "users.dat", list);
        rename(b, "Amy", "Amelia");
        Delete(a, "Amy");
        return std::to_string(std::filesystem::exists(Profile::GetDetailsPath(1))) + " " + listed();
    };
    auto loseBothLists = [this]
    {
        std::filesystem::remove(mDir + "users.dat");
        std::filesystem::remove(mDir + "users.last");
    };
    // Copy a makes Amy, Bob and Cat (users.last then as an older program wrote it: the last id
    // alone, with `oldLast`); copy b plays Bob with progress not saved yet, without his lock;
    // a deletes him; both list files are lost; a new copy makes `newName` (who may get Bob's id),
    // and a writes its list again after that (`restoredFirst` false) or before; then b saves.
    // Bob's name in b, b's current player, whether b was told, and the list.
    auto playedWhileBothListsLost = [&](bool restoredFirst, const char* newName, bool oldLast)
    {
        ProfileMgr a(&mApp, &TagProfile::Make);
        for (const char* name : {"Amy", "Bob", "Cat"})
            a.CreateProfile(name);
        if (oldLast)
            WriteFile(mDir + "users.last", BYTES("\x03\0\0\0"));
        ProfileMgr b(&mApp, &TagProfile::Make);
        b.Load();
        const SmartPtr<Profile> bob = b.GetProfile("Bob", false);
        b.mCurProfile = bob;
        static_cast<TagProfile*>(bob.get())->mTag = "b";
        bob->mDirty = true;
        Delete(a, "Bob");
        loseBothLists();
        auto restore = [&a]
        {
            a.mDirty = true;
            a.Save();
        };
        if (restoredFirst)
            restore();
        ProfileMgr c(&mApp, &TagProfile::Make);
        c.Load();
        tagged(c.CreateProfile(newName), "c");
        if (!restoredFirst)
            restore();
        b.Save();
        return bob->mName + " " + (b.mCurProfile != nullptr ? b.mCurProfile->mName : "none") +
               (mApp.GetDialog(PROFILE_DIALOG_ERROR) != nullptr ? " told " : " ") + listed();
    };
    // A new copy makes `name`; then the progress of `held` (tagged `tag`) is saved in his copy:
    // whether it was written, his name then, and the list.
    auto madeElsewhereThenSaved = [&](const char* name, const SmartPtr<Profile>& held, const char* tag)
    {
        ProfileMgr c(&mApp, &TagProfile::Make);
        c.Load();
        tagged(c.CreateProfile(name), "c");
        const bool saved = tagged(held, tag);
        return std::to_string(saved) + " " + held->mName + " " + listed();
    };
    // Copy a makes Amy and Bob; copy b plays Bob; a deletes him; both list files are lost, or
    // (`backup`) put back as they were before Bob was made; a new copy makes Dan and plays him. Dan's
    // id, the new copy's current player, and the list.
    auto madeWhileAnotherPlays = [&](bool backup)
    {
        ProfileMgr a(&mApp, &TagProfile::Make);
        a.CreateProfile("Amy");
        const std::string list = ReadFile(mDir + "users.dat"), last = ReadFile(mDir + "users.last");
        a.CreateProfile("Bob");
        ProfileMgr b(&mApp, &TagProfile::Make);
        b.Load();
        b.SetCurProfile(b.GetProfile("Bob", false));
        Delete(a, "Bob");
        loseBothLists();
        if (backup)
        {
            WriteFile(mDir + "users.dat", list);
            WriteFile(mDir + "users.last", last);
        }
        ProfileMgr c(&mApp, &TagProfile::Make);
        c.Load();
        Profile* dan = c.CreateProfile("Dan");
        c.SetCurProfile(dan);
        return std::to_string(dan->mId) + " " + (c.mCurProfile != nullptr ? c.mCurProfile->mName : "none") +
               " " + listed();
    };
    // Copies a and b read Amy, Bob and Cat; a renames Amy (unless `renamed` is false) and plays
    // Bob; both list files are lost; a saves alone (the list is written again) and makes Dan;
    // then b saves and makes Eve. a's list, b's with its current player (Cat, the last one)
    // and whether it was told he is gone, and the list with each player's progress.
    auto bothListsLostAndWrittenAgain = [&](bool renamed)
    {
        ProfileMgr start(&mApp, &TagProfile::Make);
        for (const char* name : {"Amy", "Bob", "Cat"})
            start.CreateProfile(name);
        ProfileMgr a(&mApp, &TagProfile::Make), b(&mApp, &TagProfile::Make);
        // b plays Cat (the last player); a, which cannot take him too, Bob.
        b.Load();
        a.Load();
        if (renamed)
            rename(a, "Amy", "Amelia");
        a.SetCurProfile(a.GetProfile("Bob", false));
        static_cast<TagProfile*>(a.mCurProfile.get())->mTag = "a";
        a.mCurProfile->mDirty = true;
        loseBothLists();
        a.Save();
        a.CreateProfile("Dan");
        const std::string first = List(a);
        b.Save();
        b.CreateProfile("Eve");
        return first + " / " + List(b) + " " + (b.mCurProfile != nullptr ? b.mCurProfile->mName : "none") +
               (mApp.GetDialog(PROFILE_DIALOG_ERROR) != nullptr ? " told" : "") + " / " + listed();
    };
    const std::tuple<const char*, std::function<std::string()>, const char*> rows[] = {
        {"a player renamed elsewhere, then a copy killed after users.last and its new player's "
         "file, before the list: he is still the same player, and his progress is written",
         [&]
         {
             ProfileMgr start(&mApp, &TagProfile::Make);
             start.CreateProfile("Amy");
             start.CreateProfile("Bob");
             ProfileMgr a(&mApp, &TagProfile::Make), b(&mApp, &TagProfile::Make);
             a.Load();
             b.Load();
             rename(b, "Amy", "Amelia");
             WriteFile(mDir + "users.last", BYTES("\x03\0\0\0"));
             WriteFile(Profile::GetDetailsPath(3), BYTES("\x01\0\0\0\0\0"));
             // Her file read, as a copy that plays her has: it writes over no save it has not read.
             const SmartPtr<Profile> amy = a.GetProfile("Amy", false);
             amy->LoadDetails();
             const bool saved = tagged(amy, "a");
             return std::to_string(saved) + " " + amy->mName + " " + listed();
         },
         "1 Amelia 1:Amelia=a 2:Bob=- next 3"},
        {"users.dat deleted, users.last kept: a player deleted here and renamed in a copy that "
         "never saw a later player stays deleted",
         [&] { return deletedAndRenamedAfterTheListWasLost(""); }, "0 2:Zed=- next 2"},
        {"the same with users.dat replaced by a valid empty list",
         [&] { return deletedAndRenamedAfterTheListWasLost(BYTES("\x02\0\0\0\0\0\0\0\0\0\0\0\x01\0\0\0")); },
         "0 2:Zed=- next 2"},
        {"a repeated id renumbered at the start goes above users.last",
         [&]
         {
             WriteFile(mDir + "users.dat", BYTES("\x02\0\0\0\x01\0\0\0\x02\0\0\0"
                                                 "\x01\0\0\0\x03\0Amy\x01\0\0\0\x03\0Bob"
                                                 "\x01\0\0\0"));
             WriteFile(mDir + "users.last", BYTES("\x05\0\0\0"));
             ProfileMgr mgr(&mApp, &TagProfile::Make);
             mgr.Load();
             return List(mgr);
         },
         "1:Amy 6:Bob next 6"},
        {"both lists lost after a player below the highest id was deleted: the copy still "
         "playing him does not take the new player under his id for him",
         [&]
         {
             ProfileMgr a(&mApp, &TagProfile::Make);
             a.Load();
             ProfileMgr start(&mApp, &TagProfile::Make);
             start.CreateProfile("Ann");
             start.CreateProfile("Cy");
             ProfileMgr b(&mApp, &TagProfile::Make), c(&mApp, &TagProfile::Make);
             b.Load();
             c.Load();
             Delete(b, "Ann");
             std::filesystem::remove(mDir + "users.dat");
             std::filesystem::remove(mDir + "users.last");
             a.CreateProfile("Bob");
             const SmartPtr<Profile> ann = c.GetProfile("Ann", false);
             const bool saved = tagged(ann, "Ann");
             return std::to_string(saved) + " " + ann->mName + " " + listed();
         },
         "0 Ann 1:Bob=- 2:Cy=- next 2"},
        {"both list files lost after a player was deleted, a new player then made in a new copy and "
         "the list written again by the copy that deleted him: the copy still playing him (without "
         "his lock, as where none can be taken) takes the new player for no player of its own; no "
         "list he was on says he is gone, so he is put back beside him with his progress, told nothing",
         [&] { return playedWhileBothListsLost(false, "Dan", false); },
         "Bob Bob 2:Dan=c 1:Amy=- 3:Cat=- 4:Bob=b next 4"},
        {"the same with the list written again before the new player is made",
         [&] { return playedWhileBothListsLost(true, "Dan", false); },
         "Bob Bob 1:Amy=- 3:Cat=- 4:Dan=c 2:Bob=b next 4"},
        {"the same with the new player given the deleted player's name: the one put back gets a number",
         [&] { return playedWhileBothListsLost(false, "Bob", false); },
         "Bob 2 Bob 2 2:Bob=c 1:Amy=- 3:Cat=- 4:Bob 2=b next 4"},
        {"the same on a list an older program started (users.last holding the last id alone)",
         [&] { return playedWhileBothListsLost(false, "Dan", true); },
         "Bob Bob 2:Dan=c 1:Amy=- 3:Cat=- 4:Bob=b next 4"},
        {"both list files lost after the player with the highest id was deleted, a copy still "
         "playing him: a new copy's player does not get his id, and he is put back with his progress",
         [&]
         {
             ProfileMgr a(&mApp, &TagProfile::Make);
             a.CreateProfile("Amy");
             a.CreateProfile("Bob");
             ProfileMgr b(&mApp, &TagProfile::Make);
             b.Load();
             const SmartPtr<Profile> bob = b.mCurProfile;
             Delete(a, "Bob");
             loseBothLists();
             return madeElsewhereThenSaved("Dan", bob, "b");
         },
         "1 Bob 3:Dan=c 1:Amy=- 2:Bob=b next 3"},
        {"a copy plays Bob, another deletes him, both list files are lost: a new player never gets "
         "Bob's id, whose lock his copy holds, and is played at once",
         [&] { return madeWhileAnotherPlays(false); }, "3 Dan 3:Dan=- next 3"},
        {"the same with the list put back from a backup made before Bob was",
         [&] { return madeWhileAnotherPlays(true); }, "3 Dan 1:Amy=- 3:Dan=- next 3"},
        {"a player made while nothing could be written, then a player of the same name made in "
         "another copy: they stay two players, each with his own progress",
         [&]
         {
             ProfileMgr a(&mApp, &TagProfile::Make);
             a.Load();
             SmartPtr<Profile> bob;
             {
                 ScopedFullDisk full;
                 bob = a.CreateProfile("Bob");
             }
             return madeElsewhereThenSaved("Bob", bob, "a");
         },
         "1 Bob 2 1:Bob=c 2:Bob 2=a next 2"},
        {"both list files lost with one copy running: it writes its list again with the same ids, "
         "and so does a copy that read the same list, a rename in the first one included",
         [&] { return bothListsLostAndWrittenAgain(true); },
         "1:Amelia 2:Bob 3:Cat 4:Dan next 4 / 1:Amelia 2:Bob 3:Cat 4:Dan 5:Eve next 5 Cat / "
         "1:Amelia=- 2:Bob=a 3:Cat=- 4:Dan=- 5:Eve=- next 5"},
        {"a users.last of an older program (the last id alone) is read and kept as it was written",
         [&]
         {
             WriteFile(mDir + "users.dat", BYTES("\x02\0\0\0\x01\0\0\0\x01\0\0\0"
                                                 "\x01\0\0\0\x03\0Amy\x01\0\0\0"));
             WriteFile(mDir + "users.last", BYTES("\x05\0\0\0"));
             ProfileMgr mgr(&mApp, &TagProfile::Make);
             mgr.Load();
             mgr.CreateProfile("Bob");
             return List(mgr) + " " + std::to_string(ReadFile(mDir + "users.last") == BYTES("\x06\0\0\0"));
         },
         "1:Amy 6:Bob next 6 1"},
        {"a users.last of 512 MiB is not read: it counts as missing",
         [&]
         {
             ProfileMgr mgr(&mApp, &TagProfile::Make);
             mgr.CreateProfile("Amy");
             WriteFile(mDir + "users.last", BYTES("\x09\0\0\0"));
             std::filesystem::resize_file(mDir + "users.last", 512u << 20);
             const uint64_t before = BytesRead();
             for (int i = 0; i < 5; i++)
                 mgr.Save();
             mgr.CreateProfile("Bob");
             const uint64_t read = BytesRead() - before;
             return std::to_string(read < (1u << 20)) + " " + List(mgr);
         },
         "1 1:Amy 2:Bob next 2"},
    };
    for (const auto& [what, run, expected] : rows)
    {
        SCOPED_TRACE(what);
        std::filesystem::remove_all(mDir);
        std::filesystem::create_directories(mDir);
        // A copy's start takes the last player, not one a row before remembered.
        mApp.RegistryWriteString("UserProfile", "");
        EXPECT_EQ(run(), expected);
        // The boxes a copy that lost its player opened go with the copy.
        while (!mApp.mDialogList.empty())
            mApp.KillDialog(mApp.mDialogList.back());
        mApp.ProcessSafeDeleteList();
    }
}

// Two copies that name a player alike in any letter case, each without seeing the other's:
// a player made so in the second copy is refused (a name conflict, as in one copy), one
// renamed so gets a number. Every listed player can be chosen by name and loads his own
// progress.
TEST_F(Profiles, ANameTheOtherCopyGaveMeanwhileIsRefusedOrNumbered)
{
    // the first copy's name, the second's, whether they rename Amy and Bob (or make new
    // players), and the list then: each player's name and whose progress he loads
    const std::tuple<const char*, const char*, bool, const char*> rows[] = {
        {"hal", "hal", false, "Amy:- Bob:- hal:first"},
        {"Hal", "hal", false, "Amy:- Bob:- Hal:first"},
        {"Hal", "hal", true, "Hal:first hal 2:second"},
    };
    for (const auto& [firstName, secondName, rename, listed] : rows)
    {
        SCOPED_TRACE(listed);
        std::filesystem::remove_all(mDir);
        ProfileMgr start(&mApp, &TagProfile::Make);
        start.CreateProfile("Amy");
        start.CreateProfile("Bob");
        ProfileMgr first(&mApp, &TagProfile::Make);
        ProfileMgr second(&mApp, &TagProfile::Make);
        ASSERT_TRUE(first.Load() && second.Load());
        auto name = [rename = rename](ProfileMgr& mgr, const char* old, const char* name) -> Profile*
        {
            if (!rename)
                return mgr.CreateProfile(name);
            // Read: his progress is saved below.
            Profile* profile = mgr.GetProfile(old, true);
            profile->mName = name;
            mgr.mDirty = true;
            mgr.Save();
            return profile;
        };
        Profile* mine = name(first, "Amy", firstName);
        Profile* theirs = name(second, "Bob", secondName);
        EXPECT_EQ(theirs != nullptr, rename);
        for (const auto& [player, tag] : {std::pair(mine, "first"), {theirs, "second"}})
        {
            if (player == nullptr)
                continue;
            static_cast<TagProfile*>(player)->mTag = tag;
            EXPECT_TRUE(player->SaveDetails());
        }
        ProfileMgr later(&mApp, &TagProfile::Make);
        ASSERT_TRUE(later.Load());
        std::string found;
        for (const SmartPtr<Profile>& profile : later.mProfiles)
        {
            Profile* chosen = later.GetProfile(profile->mName, true);
            EXPECT_EQ(chosen, profile) << profile->mName;
            const std::string& tag = static_cast<TagProfile*>(profile.get())->mTag;
            found += (found.empty() ? "" : " ") + profile->mName + ":" + (tag.empty() ? "-" : tag);
        }
        EXPECT_EQ(found, listed);
    }
}

// A player file that cannot be read whole is moved aside and told before anything writes
// over it; one that cannot be moved is kept, told once and never written over.
TEST_F(Profiles, APlayerFileThatCannotBeReadWholeIsMovedAsideAndTold)
{
    const std::string path = Profile::GetDetailsPath(1);
    const std::string cut = BYTES("\x03\0\0\0\x05\0");
    const std::string opening =
        "MessageBoxA(16,Player Not Read,The progress of Amy could not be read: " + path;
    ScoreProfile amy;
    amy.mId = 1;
    amy.mName = "Amy";
    WriteFile(path, cut);
    amy.LoadDetails();
    EXPECT_EQ(amy.mScore, -1);
    EXPECT_EQ(Boxes(), opening + "\nIt was kept as " + path + ".damaged\nThe player starts afresh.)");
    amy.mScore = 4;
    ASSERT_TRUE(amy.SaveDetails());
    EXPECT_EQ(ReadFile(path), BYTES("\x03\0\0\0\x04\0\0\0"));
    EXPECT_EQ(ReadFile(path + ".damaged"), cut);

    for (int i = 2; i <= 100; i++)
        WriteFile(path + ".damaged" + std::to_string(i), "");
    WriteFile(path, cut);
    for (const char* box :
         {"\nIt could not be moved aside: no free name\nProgress made now will not be saved.)", ""})
    {
        amy.LoadDetails();
        EXPECT_EQ(Boxes(), *box != 0 ? opening + box : "");
        amy.mScore = 5;
        amy.mDirty = true;
        EXPECT_FALSE(amy.SaveIfDirty());
        EXPECT_EQ(ReadFile(path), cut);
    }
}

// A player file the user may not read: moved aside and told as it is, and the fresh file
// saved in its place is one the user can read; where the folder cannot be changed, the file
// stays and is never written over.
TEST_F(Profiles, APlayerFileWithoutReadPermissionIsMovedAsideAndToldAsItIs)
{
    // Below /tmp: an ordinary user may not enter the test's home folder.
    TestFolder folder;
    Profile::InitProfileDir(folder.mPath, true);
    const std::string path = Profile::GetDetailsPath(1);
    for (const auto& [folderMode, moved] : {std::pair(0777, true), {0555, false}})
    {
        SCOPED_TRACE(folderMode);
        ASSERT_EQ(chmod(folder.mPath.c_str(), 0700), 0);
        std::filesystem::remove(path + ".unreadable");
        std::filesystem::remove(folder / "users.dat");
        // Bea's file and the last id given out in the row before hold her id.
        std::filesystem::remove(Profile::GetDetailsPath(2));
        std::filesystem::remove(folder / "users.last");
        WriteFile(path, BYTES("\x03\0\0\0\x05\0\0\0"));
        ASSERT_EQ(chmod(path.c_str(), 0), 0);
        ASSERT_EQ(chmod(folder.mPath.c_str(), mode_t(folderMode)), 0);
        const std::string box =
            "MessageBoxA(16,Player Not Read,The progress of Amy could not be read: " + path +
            ": Permission denied" +
            (moved ? "\nIt was kept as " + path + ".unreadable\nThe player starts afresh.)"
                   : "\nIt could not be moved aside: Permission denied\nProgress made now "
                     "will not be saved.)");
        const int status = RunAsOrdinaryUser(
            [&, moved = moved]
            {
                ScoreProfile amy;
                amy.mId = 1;
                amy.mName = "Amy";
                amy.LoadDetails();
                const bool told = Boxes() == box;
                amy.LoadDetails();
                const bool once = Boxes().empty();
                amy.mScore = 6;
                const bool saved = amy.SaveDetails();
                // Read back as the next start reads it.
                amy.LoadDetails();
                const bool readBack = amy.mScore == (moved ? 6 : -1);
                // The file is Amy's, readable or not: a new player gets an id of its own.
                const bool ownId = ProfileMgr(&mApp).CreateProfile("Bea")->mId == 2;
                return (told ? 0 : 1) | (once ? 0 : 2) | (saved == moved ? 0 : 4) | (readBack ? 0 : 8) |
                       (ownId ? 0 : 16);
            });
        EXPECT_EQ(status, 0);
        ASSERT_EQ(chmod(folder.mPath.c_str(), 0700), 0);
        const std::string kept = moved ? path + ".unreadable" : path;
        ASSERT_EQ(chmod(kept.c_str(), 0600), 0);
        EXPECT_EQ(ReadFile(kept), BYTES("\x03\0\0\0\x05\0\0\0"));
    }
}

// Saves that a crash cut short leave temporary files beside the player files; the next start
// removes those no running copy can still be writing.
TEST_F(Profiles, LoadRemovesOldTemporaryFilesOfCrashedSaves)
{
    WriteFile(mDir + "users.dat", kTwoPlayers);
    // name, age in seconds, whether it goes
    const std::tuple<const char*, int, bool> rows[] = {
        {"users.dat.vaxo-save-A1b2C3", 7200, true},  {"user12.dat.vaxo-save-Q9w8E7", 7200, true},
        {"user12.dat.vaxo-save-R5t6Y7", 10, false},  {"users.dat.backup", 7200, false},
        {"notes.txt.vaxo-save-A1b2C3", 7200, false}, {"userX.dat.vaxo-save-A1b2C3", 7200, false},
        {"users.last.vaxo-save-K4l5M6", 7200, true},
    };
    for (const auto& [name, age, goes] : rows)
    {
        WriteFile(mDir + name, "x");
        const timeval times[2] = {{time(nullptr) - age, 0}, {time(nullptr) - age, 0}};
        ASSERT_EQ(utimes((mDir + name).c_str(), times), 0);
    }
    HookMgr mgr(&mApp);
    EXPECT_TRUE(mgr.Load());
    for (const auto& [name, age, goes] : rows)
        EXPECT_EQ(std::filesystem::exists(mDir + name), !goes) << name;
}

const char* const kEnterName =
    "Enter Name|Enter your name to create a new player profile for storing saved games.|OK|OK";
const char* const kNameConflict = "Name Conflict|The name you entered is already being used.|OK|OK";

class ProfileDialogs : public SkinnedControlTest
{
protected:
    ProfileMgr mMgr{&mApp, &ScoreProfile::Make};
    // Has the keyboard focus before any dialog opens.
    Widget mScreen;

    void SetUp() override
    {
        SkinnedControlTest::SetUp();
        Profile::InitProfileDir(mAppEnv.mHome + "users/", true);
        Profile::mMaxChars = 30; // as the game sets it
        mManager->AddWidget(&mScreen);
        mManager->SetFocus(&mScreen);
    }
    void TearDown() override
    {
        while (!mApp.mDialogList.empty())
            mApp.KillDialog(mApp.mDialogList.back());
        mApp.ProcessSafeDeleteList();
        mManager->RemoveWidget(&mScreen);
        SkinnedControlTest::TearDown();
        Profile::mProfileDir.clear();
        Profile::mMaxChars = 12;
    }
    std::string Texts(int id) { return DialogTexts(mApp.GetDialog(id)); }
    // A fresh folder with these players, none current here.
    void NewList(std::initializer_list<const char*> names)
    {
        std::filesystem::remove_all(Profile::mProfileDir);
        mMgr.mCurProfile = nullptr;
        mMgr.mSelProfile = nullptr;
        ASSERT_TRUE(mMgr.Load() || mMgr.mProfiles.empty());
        for (const char* name : names)
            mMgr.CreateProfile(name);
    }
    // Every dialog gone, and the focus back on the screen.
    void CloseDialogs()
    {
        mApp.mOnKillDialog = nullptr;
        while (!mApp.mDialogList.empty())
            mApp.KillDialog(mApp.mDialogList.back());
        mApp.ProcessSafeDeleteList();
        mManager->SetFocus(&mScreen);
    }
    // Types the name into the name dialog's field and presses Enter where the focus is.
    void Enter(int id, const std::string& name)
    {
        dynamic_cast<ProfileNameDialog&>(*mApp.GetDialog(id)).mEditWidget->SetText(name);
        mManager->KeyDown(KEYCODE_RETURN);
    }
    ProfileUserDialog* Users() { return dynamic_cast<ProfileUserDialog*>(mApp.GetDialog(0)); }
    // The player list's lines, then the selected name.
    std::string Lines() { return Join(Users()->mListWidget->mLines) + " / " + Users()->GetName(); }
    std::string Current() { return mMgr.mCurProfile != nullptr ? mMgr.mCurProfile->mName : "none"; }
    // Where the focus belongs: the newest dialog's list or name field, or the dialog itself;
    // the screen once none is open.
    Widget* FocusTarget()
    {
        if (mApp.mDialogList.empty())
            return &mScreen;
        Dialog* newest = mApp.mDialogList.back();
        if (auto* users = dynamic_cast<ProfileUserDialog*>(newest))
            return users->mListWidget.get();
        if (auto* name = dynamic_cast<ProfileNameDialog*>(newest))
            return name->mEditWidget.get();
        return newest;
    }
    // The boxes shown one after another as each is closed by its button, joined by " + ": each
    // over every other dialog, and the focus where it belongs once it is closed.
    std::string Boxes()
    {
        std::vector<std::string> seen;
        for (Dialog* box; seen.size() < 5 && (box = mApp.GetDialog(PROFILE_DIALOG_ERROR)) != nullptr;)
        {
            seen.push_back(Texts(PROFILE_DIALOG_ERROR));
            EXPECT_EQ(mApp.mDialogList.back(), box) << seen.back();
            box->ButtonDepress(DIALOG_BUTTON_YES);
            EXPECT_EQ(mManager->mFocusWidget, FocusTarget()) << seen.back();
        }
        std::string joined;
        for (const std::string& text : seen)
            joined += (joined.empty() ? "" : " + ") + text;
        return joined;
    }
};

TEST_F(ProfileDialogs, NewPlayerNamesErrorsAndAFocusHandBackThatSkipsRemovedWidgetsAndOtherDialogs)
{
    // typed name (null: Cancel), then the error shown
    const std::pair<const char*, const char*> rows[] = {
        {nullptr, kEnterName}, // no player exists yet: the dialog stays
        {"  \t ", kEnterName}, {"  Bob   Smith  ", ""}, {"bob SMITH", kNameConflict}, {nullptr, ""},
    };
    for (const auto& row : rows)
    {
        if (mApp.GetDialog(1) == nullptr)
        {
            mMgr.DoCreateProfileDialog(false, nullptr);
            EXPECT_EQ(Texts(1), "New Player|Please enter your name.||OK CANCEL");
            // Centred at 100; the field 16 above the button row at 302, as wide as it.
            EXPECT_EQ(mApp.GetDialog(1)->GetRect(), TRect<int>(145, 100, 350, 250));
            EditWidget* edit = dynamic_cast<ProfileNameDialog&>(*mApp.GetDialog(1)).mEditWidget.get();
            EXPECT_EQ(edit->GetRect(), TRect<int>(24, 170, 302, 16));
            EXPECT_EQ(edit->mMaxChars, 30);
            EXPECT_EQ(mManager->mFocusWidget, edit);
        }
        EditWidget* edit = dynamic_cast<ProfileNameDialog&>(*mApp.GetDialog(1)).mEditWidget.get();
        if (row.first != nullptr)
            Enter(1, row.first);
        else
            mApp.GetDialog(1)->ButtonDepress(1001);
        EXPECT_EQ(Texts(4), row.second) << (row.first != nullptr ? row.first : "Cancel");
        if (Dialog* error = mApp.GetDialog(4))
        {
            EXPECT_EQ(error->GetAbsPos(), TPoint<int>(160, 140));
            error->ButtonDepress(1000);
            EXPECT_EQ(mManager->mFocusWidget, edit);
        }
    }
    EXPECT_EQ(mApp.GetDialogCount(), 0);
    EXPECT_EQ(mManager->mFocusWidget, &mScreen);
    ASSERT_EQ(mMgr.mProfiles.size(), 1u);
    EXPECT_EQ(Current(), "Bob Smith");
    EXPECT_EQ(mMgr.mCurProfile->mId, 1);

    // The widget that had the focus is removed and deleted while the list is open.
    auto* gone = new Widget();
    mManager->AddWidget(gone);
    mManager->SetFocus(gone);
    mMgr.DoProfileDialog();
    mManager->RemoveWidget(gone);
    delete gone;
    Users()->ButtonDepress(1001);
    EXPECT_EQ(mManager->mFocusWidget, nullptr);
    EXPECT_EQ(mMgr.mOldFocus, nullptr);

    // The game's own dialogs under the player dialogs' ids are not taken for them.
    Dialog* game = mApp.DoDialog(2, true, "Game", "", "", 2);
    game->mDialogListener = &mMgr;
    mMgr.DoNameConflictError();
    mApp.GetDialog(4)->ButtonDepress(1000);
    EXPECT_EQ(mManager->mFocusWidget, game);
    game->ButtonDepress(1000);
    mApp.DoDialog(0, true, "Game", "", "", 2)->mDialogListener = &mMgr;
    mApp.GetDialog(0)->ButtonDepress(1000);
    EXPECT_EQ(mApp.GetDialogCount(), 2);
}

TEST_F(ProfileDialogs, AfterAPlayerAtTheLastIdOnlyATakenNameConflicts)
{
    Profile* max = mMgr.CreateProfile("Max");
    max->mId = INT32_MAX;
    mMgr.mNextId = INT32_MAX;
    // His file, made with him, goes with him.
    std::error_code none;
    std::filesystem::rename(Profile::GetDetailsPath(1), Profile::GetDetailsPath(INT32_MAX), none);
    mMgr.DoCreateProfileDialog(false, nullptr);
    Enter(1, "MAX");
    EXPECT_EQ(Texts(4), kNameConflict);
    mApp.GetDialog(4)->ButtonDepress(1000);
    Enter(1, "Zoe");
    EXPECT_EQ(Texts(4), "");
    EXPECT_EQ(mApp.GetDialog(1), nullptr);
    ASSERT_EQ(Current(), "Zoe");
    EXPECT_EQ(mMgr.mCurProfile->mId, 1);
}

TEST_F(ProfileDialogs, PlayerListPlacementRenameAndSelection)
{
    for (const char* name : {"zed", "Amy", "bob"})
        mMgr.CreateProfile(name);
    Profile* bob = mMgr.GetProfile("bob", false);
    mMgr.mCurProfile = bob;
    mMgr.DoProfileDialog();
    ProfileUserDialog* users = Users();
    EXPECT_EQ(Texts(0), "Select Player|||Ok Cancel");
    EXPECT_EQ(Lines(), "Amy bob zed / bob");
    EXPECT_EQ(mManager->mFocusWidget, users->mListWidget.get());
    // 350 high on a 640-wide application is not less than 320: top 20, sliding in from -350.
    EXPECT_EQ(users->GetRect(), TRect<int>(145, -350, 350, 350));
    EXPECT_EQ(users->mScrollTargetY, 20);
    EXPECT_EQ(ButtonsText({users->mRenameButton.get(), users->mDeleteButton.get(), users->mNewButton.get()}),
              "0 Rename (24,268,147,24) 1 Delete (179,268,147,24) 2 Create New Player (24,234,302,24)");

    // A case-only rename keeps the unsaved progress; users.dat is written at once.
    Score(bob)->mScore = 9;
    bob->mDirty = true;
    users->ButtonDepress(0);
    EXPECT_EQ(Texts(2), "Rename Player|Please enter your name.||OK CANCEL");
    EditWidget* edit = dynamic_cast<ProfileNameDialog&>(*mApp.GetDialog(2)).mEditWidget.get();
    EXPECT_EQ(edit->mString + " " + std::to_string(edit->mCursorPos) + " " + std::to_string(edit->mHilitePos),
              "bob 0 3");
    const std::pair<const char*, const char*> renames[] = {
        {"AMY", kNameConflict}, {" ", kEnterName}, {"BOB", ""}};
    for (const auto& row : renames)
    {
        Enter(2, row.first);
        EXPECT_EQ(Texts(4), row.second) << row.first;
        if (mApp.GetDialog(4) != nullptr)
            mApp.GetDialog(4)->ButtonDepress(1000);
    }
    EXPECT_EQ(Lines(), "Amy BOB zed / BOB");
    EXPECT_EQ(Score(bob)->mScore, 9);
    ProfileMgr reloaded(&mApp);
    reloaded.Load();
    EXPECT_EQ(reloaded.mProfiles.back()->mName, "BOB");

    // Ok picks the selected player, saving the one it leaves; without a selection the
    // current player stays.
    Score(bob)->mScore = 10;
    bob->mDirty = true;
    users->SetSelect("ZED");
    users->ButtonDepress(1000);
    EXPECT_EQ(Current(), "zed");
    EXPECT_EQ(ReadFile(Profile::GetDetailsPath(3)), BYTES("\x03\0\0\0\x0A\0\0\0"));
    EXPECT_EQ(mManager->mFocusWidget, &mScreen);
    mMgr.DoProfileDialog();
    Users()->mListWidget->SetSelect(-1);
    Users()->ButtonDepress(1000);
    EXPECT_EQ(Current(), "zed");

    // A game's list 300 high starts at 100.
    class ShortListMgr : public ProfileMgr
    {
    public:
        using ProfileMgr::ProfileMgr;
        ProfileUserDialog* CreateUserDialog() override
        {
            ProfileUserDialog* d = ProfileMgr::CreateUserDialog();
            d->Resize(0, 0, 350, 300);
            return d;
        }
    } shortList(&mApp);
    shortList.DoProfileDialog();
    EXPECT_EQ(Users()->mScrollTargetY, 100);
}

// Another copy on the folder renames, deletes and makes players: the player list shows them
// as they stand on disk when it opens, and a name that copy took meanwhile is a name conflict.
TEST_F(ProfileDialogs, ThePlayerListOpensOnTheListAsAnotherCopyLeftIt)
{
    for (const char* name : {"Amy", "bob", "zed"})
        mMgr.CreateProfile(name);
    mMgr.mCurProfile = mMgr.GetProfile("Amy", false);
    ProfileMgr other(&mApp);
    ASSERT_TRUE(other.Load());
    other.GetProfile("bob", false)->mName = "Rob";
    other.mDirty = true;
    ASSERT_TRUE(other.Save());
    Delete(other, "zed");
    ASSERT_NE(other.CreateProfile("Eve"), nullptr);
    mMgr.DoProfileDialog();
    EXPECT_EQ(Lines(), "Amy Eve Rob / Amy");
    ASSERT_NE(other.CreateProfile("Hal"), nullptr);
    Users()->ButtonDepress(2);
    Enter(1, "hal");
    EXPECT_EQ(Texts(4), kNameConflict);
}

// Another copy on the folder deletes or renames players while this one's dialogs are open or
// its player is played: no player is freed under a dialog or taken for another, and the user
// is told what happened instead of a choice or a save doing nothing. Every box is seen, one
// after another over the dialogs; a dialog asking for a player leads to the players there are,
// and the open list shows them as every pass leaves them.
TEST_F(ProfileDialogs, AnotherCopysDeleteOrRenameMeanwhileIsToldAndNoPlayerIsFreedOrCrossed)
{
    const std::string deletedBob =
        "Player Deleted|The player Bob was deleted in another window. What was not saved is lost.|OK|OK";
    const std::string danGone =
        "Player Not Found|The player Dan is no longer there: another window deleted it.|OK|OK";
    auto rename = [](ProfileMgr& other, const char* from, const char* to)
    {
        other.GetProfile(from, false)->mName = to;
        other.mDirty = true;
        other.Save();
    };
    // The player list open, the other copy deletes players, then a button is pressed on a line.
    auto fromList =
        [&](ProfileMgr& other, std::initializer_list<const char*> gone, const char* line, int button)
    {
        mMgr.DoProfileDialog();
        for (const char* name : gone)
            Delete(other, name);
        Users()->SetSelect(line);
        Users()->ButtonDepress(button);
    };
    // A bit of users.last flipped where it holds a list's name.
    auto flipLastByte = [](size_t at)
    {
        std::string last = ReadFile(Profile::mProfileDir + "users.last");
        ASSERT_GT(last.size(), at);
        last[at] ^= 0x10;
        WriteFile(Profile::mProfileDir + "users.last", last);
    };
    // Bob is still played here under his id, listed (the list here as given), his progress in his
    // file.
    auto playedOn = [&](const char* list)
    {
        EXPECT_EQ(List(mMgr), list);
        ProfileMgr later(&mApp, &ScoreProfile::Make);
        later.Load();
        const Profile* bob = later.GetProfile("Bob", true);
        ASSERT_NE(bob, nullptr);
        EXPECT_EQ(bob->mId, 2);
        EXPECT_EQ(Score(const_cast<Profile*>(bob))->mScore, 7);
    };
    // The other copy deletes every player; this copy's save loses Bob and asks for a new one.
    auto deleteAll = [&](ProfileMgr& other)
    {
        for (const char* name : {"Amy", "Bob", "Dan"})
            Delete(other, name);
        mMgr.SaveCurProfileIfDirty();
        ASSERT_NE(mApp.GetDialog(PROFILE_DIALOG_CREATE), nullptr);
    };
    // A third copy, started now as a process of its own, deletes the player.
    auto deleteInThirdCopy = [&](const char* name)
    {
        EXPECT_EQ(RunInChild(
                      [&]
                      {
                          ProfileMgr third(&mApp, &ScoreProfile::Make);
                          third.Load();
                          Delete(third, name);
                          return third.GetProfile(name, false) == nullptr ? 0 : 1;
                      }),
                  0);
    };
    // Dan, deleted elsewhere, is still what the game's pointer says (not freed by this copy's
    // save); a save through it writes nothing, and brings him back neither to the list nor to a
    // file.
    auto danKeptAndNotSaved = [&](Profile* dan)
    {
        mMgr.Save();
        EXPECT_EQ(dan->mName + " " + std::to_string(dan->mId), "Dan 3");
        Score(dan)->mScore = 5;
        dan->mDirty = true;
        EXPECT_FALSE(dan->SaveDetails());
        mMgr.Save();
        EXPECT_EQ(mMgr.GetProfile("Dan", false), nullptr);
        EXPECT_FALSE(std::filesystem::exists(Profile::GetDetailsPath(3)));
        ProfileMgr later(&mApp, &ScoreProfile::Make);
        later.Load();
        EXPECT_EQ(List(later), "1:Amy 2:Bob next 3");
    };
    // The players' folder deleted while Bob is played here (his lock held, his file a fresh
    // player's, 11 not saved); a copy started afterwards (a process) makes Amy and Bob, whose id
    // is 2 too, saves 77 on its Bob (otherSaves) or nothing (both Bobs fresh), and plays `plays`
    // ("" for nobody); then this copy saves. Its Bob is put back under a new id with his 11, told
    // nothing, and the other copy's Bob stays as he is, its own, free to be played.
    auto folderLostAndANewBob = [&](bool otherSaves, const std::string& plays)
    {
        Profile* bob = mMgr.mCurProfile.get();
        // His 7 never saved; the pass takes his lock, as a copy playing him holds it.
        bob->mDirty = false;
        mMgr.Save();
        Score(bob)->mScore = 11;
        bob->mDirty = true;
        std::filesystem::remove_all(Profile::mProfileDir);
        std::unique_ptr<ProfileMgr> copy;
        auto told = [&] { return mApp.GetDialog(PROFILE_DIALOG_ERROR) != nullptr; };
        ChildSteps started({[&]
                            {
                                copy = std::make_unique<ProfileMgr>(&mApp, &ScoreProfile::Make);
                                copy->Load();
                                Profile* amy = copy->CreateProfile("Amy");
                                Profile* itsBob = copy->CreateProfile("Bob");
                                if (amy == nullptr || itsBob == nullptr || itsBob->mId != 2)
                                    return false;
                                Score(itsBob)->mScore = 77;
                                itsBob->mDirty = otherSaves;
                                if (!itsBob->SaveIfDirty())
                                    return false;
                                copy->SetCurProfile(plays.empty() ? nullptr : copy->GetProfile(plays, false));
                                return (copy->mCurProfile != nullptr ? copy->mCurProfile->mName : "") ==
                                       plays;
                            },
                            [&]
                            {
                                copy->Save();
                                Profile* itsBob = copy->GetProfile("Bob", true);
                                const bool kept = itsBob != nullptr && itsBob->mId == 2 &&
                                                  Score(itsBob)->mScore == (otherSaves ? 77 : -1) && !told();
                                copy->SetCurProfile(itsBob);
                                return kept && copy->mCurProfile == itsBob && !told();
                            }});
        ASSERT_TRUE(started.Next());
        mMgr.SaveCurProfileIfDirty();
        EXPECT_EQ(List(mMgr), "1:Amy 2:Bob 4:Bob 2 next 4");
        EXPECT_TRUE(started.Next());
        EXPECT_EQ(started.Quit(), 0);
        ProfileMgr later(&mApp, &ScoreProfile::Make);
        later.Load();
        EXPECT_EQ(List(later), "1:Amy 2:Bob 4:Bob 2 next 4");
        EXPECT_EQ(Score(later.GetProfile("Bob", true))->mScore, otherSaves ? 77 : -1);
        EXPECT_EQ(Score(later.GetProfile("Bob 2", true))->mScore, 11);
    };
    // What this copy does while the other copy (loaded with Amy, Bob and Dan listed) does its
    // part; then the boxes shown (Boxes), the player list ("none" when closed), the current
    // player.
    const std::tuple<const char*, std::function<void(ProfileMgr&)>, std::string, const char*, const char*>
        rows[] = {
            {"the new player deleted as the new-player dialog closes",
             [&](ProfileMgr& other)
             {
                 mMgr.DoCreateProfileDialog(false, nullptr);
                 mApp.mOnKillDialog = [&](int id)
                 {
                     mApp.mOnKillDialog = nullptr;
                     if (id == PROFILE_DIALOG_CREATE && other.Load())
                         Delete(other, "Zed");
                 };
                 Enter(PROFILE_DIALOG_CREATE, "Zed");
             },
             "Player Deleted|The player Zed was deleted in another window. What was not saved is lost.|OK|OK",
             "Amy Bob Dan / ", "none"},
            {"none played, the new player taken by another copy as the new-player dialog closes: told, "
             "and the list asks",
             [&](ProfileMgr& other)
             {
                 mMgr.SetCurProfile(nullptr);
                 mMgr.DoCreateProfileDialog(false, nullptr);
                 mApp.mOnKillDialog = [&](int id)
                 {
                     mApp.mOnKillDialog = nullptr;
                     if (id == PROFILE_DIALOG_CREATE && other.Load())
                         other.SetCurProfile(other.GetProfile("Zed", false));
                 };
                 Enter(PROFILE_DIALOG_CREATE, "Zed");
             },
             "Player In Use|The player Zed is being played in another window.|OK|OK", "Amy Bob Dan Zed / ",
             "none"},
            {"the current player deleted while played",
             [&](ProfileMgr& other)
             {
                 // The game's pointer to him stays good after the save that loses him.
                 Profile* played = mMgr.mCurProfile.get();
                 Delete(other, "Bob");
                 mMgr.SaveCurProfileIfDirty();
                 EXPECT_EQ(played->mName, "Bob");
                 // Over the list where it comes to rest, while it still slides in.
                 ASSERT_TRUE(Users() != nullptr && Users()->IsScrolling());
                 EXPECT_EQ(mApp.GetDialog(PROFILE_DIALOG_ERROR)->mY, Users()->mScrollTargetY + 40);
             },
             deletedBob, "Amy Dan / ", "none"},
            {"the current player deleted with the list open: the list shows it and asks for a player",
             [&](ProfileMgr& other)
             {
                 mMgr.DoProfileDialog();
                 Delete(other, "Bob");
                 mMgr.SaveCurProfileIfDirty();
                 ASSERT_NE(mApp.GetDialog(PROFILE_DIALOG_ERROR), nullptr);
                 mApp.GetDialog(PROFILE_DIALOG_ERROR)->ButtonDepress(DIALOG_BUTTON_YES);
                 Users()->ButtonDepress(DIALOG_BUTTON_NO);
             },
             "", "Amy Dan / ", "none"},
            {"every player deleted: the new-player dialog",
             [&](ProfileMgr& other)
             {
                 for (const char* name : {"Amy", "Bob", "Dan"})
                     Delete(other, name);
                 mMgr.Save();
                 EXPECT_EQ(Texts(PROFILE_DIALOG_CREATE), "New Player|Please enter your name.||OK CANCEL");
             },
             deletedBob, "none", "none"},
            {"a player chosen in the list after the other copy deleted him",
             [&](ProfileMgr& other)
             {
                 mMgr.DoProfileDialog();
                 Delete(other, "Dan");
                 Users()->SetSelect("DAN");
                 Users()->ButtonDepress(DIALOG_BUTTON_YES);
             },
             "Player Not Found|The player Dan is no longer there: another window deleted it.|OK|OK",
             "Amy Bob / Bob", "Bob"},
            {"a player chosen in the list after the other copy renamed him",
             [&](ProfileMgr& other)
             {
                 mMgr.DoProfileDialog();
                 rename(other, "Dan", "Dave");
                 Users()->SetSelect("Dan");
                 Users()->ButtonDepress(DIALOG_BUTTON_YES);
             },
             "", "none", "Dave"},
            {"a rename to a name the other copy gave meanwhile",
             [&](ProfileMgr& other)
             {
                 mMgr.DoProfileDialog();
                 rename(other, "Dan", "Eve");
                 Users()->SetSelect("Amy");
                 Users()->ButtonDepress(0);
                 Enter(PROFILE_DIALOG_RENAME, "eve");
                 EXPECT_NE(mApp.GetDialog(PROFILE_DIALOG_RENAME), nullptr);
             },
             kNameConflict, "Amy Bob Eve / Amy", "Bob"},
            {"a rename of a player the other copy deleted",
             [&](ProfileMgr& other)
             {
                 mMgr.DoProfileDialog();
                 Delete(other, "Dan");
                 Users()->SetSelect("Dan");
                 Users()->ButtonDepress(0);
                 Enter(PROFILE_DIALOG_RENAME, "Don");
                 EXPECT_EQ(mApp.GetDialog(PROFILE_DIALOG_RENAME), nullptr);
             },
             "Player Not Found|The player Dan is no longer there: another window deleted it.|OK|OK",
             "Amy Bob / Bob", "Bob"},
            {"the list asks; Create New Player, then Cancel goes back to it",
             [&](ProfileMgr& other)
             {
                 Delete(other, "Bob");
                 mMgr.SaveCurProfileIfDirty();
                 ASSERT_NE(Users(), nullptr);
                 Users()->ButtonDepress(2);
                 mApp.GetDialog(PROFILE_DIALOG_CREATE)->ButtonDepress(DIALOG_BUTTON_NO);
                 EXPECT_EQ(mApp.GetDialog(PROFILE_DIALOG_CREATE), nullptr);
             },
             deletedBob, "Amy Dan / ", "none"},
            {"every player deleted; another copy makes Quinn: Cancel leads to the list, he is chosen",
             [&](ProfileMgr& other)
             {
                 deleteAll(other);
                 ASSERT_NE(other.CreateProfile("Quinn"), nullptr);
                 mApp.GetDialog(PROFILE_DIALOG_CREATE)->ButtonDepress(DIALOG_BUTTON_NO);
                 EXPECT_EQ(mApp.GetDialog(PROFILE_DIALOG_CREATE), nullptr);
                 ASSERT_NE(Users(), nullptr);
                 EXPECT_EQ(Lines(), "Quinn / ");
                 // The box still open stays over the list.
                 EXPECT_EQ(mApp.mDialogList.back(), mApp.GetDialog(PROFILE_DIALOG_ERROR));
                 Users()->SetSelect("Quinn");
                 Users()->ButtonDepress(DIALOG_BUTTON_YES);
             },
             deletedBob, "none", "Quinn"},
            {"every player deleted; another copy makes Quinn: his name typed leads to the list",
             [&](ProfileMgr& other)
             {
                 deleteAll(other);
                 ASSERT_NE(other.CreateProfile("Quinn"), nullptr);
                 // Typed under the box still open.
                 auto& create = dynamic_cast<ProfileNameDialog&>(*mApp.GetDialog(PROFILE_DIALOG_CREATE));
                 create.mEditWidget->SetText("quinn");
                 create.ButtonDepress(DIALOG_BUTTON_YES);
                 EXPECT_EQ(mApp.GetDialog(PROFILE_DIALOG_CREATE), nullptr);
             },
             deletedBob + " + " + kNameConflict, "Quinn / Quinn", "none"},
            {"the list asks; the game makes Amy current: the list closes",
             [&](ProfileMgr& other)
             {
                 Delete(other, "Bob");
                 mMgr.SaveCurProfileIfDirty();
                 ASSERT_NE(Users(), nullptr);
                 mMgr.SetCurProfile(mMgr.GetProfile("Amy", false));
             },
             deletedBob, "none", "Amy"},
            {"Ok on a player deleted meanwhile, as the same pass loses Bob",
             [&](ProfileMgr& other) {
                 fromList(other, {"Bob", "Dan"}, "Dan", DIALOG_BUTTON_YES);
             },
             deletedBob + " + " + danGone, "Amy / ", "none"},
            {"a new player's name another copy took, as the same pass loses Bob",
             [&](ProfileMgr& other)
             {
                 mMgr.DoProfileDialog();
                 Delete(other, "Bob");
                 ASSERT_NE(other.CreateProfile("Eve"), nullptr);
                 Users()->ButtonDepress(2);
                 Enter(PROFILE_DIALOG_CREATE, "eve");
                 EXPECT_NE(mApp.GetDialog(PROFILE_DIALOG_CREATE), nullptr);
             },
             deletedBob + " + " + kNameConflict, "Amy Dan Eve / ", "none"},
            {"a rename to a name another copy gave, as the same pass loses Bob",
             [&](ProfileMgr& other)
             {
                 mMgr.DoProfileDialog();
                 Delete(other, "Bob");
                 rename(other, "Dan", "Eve");
                 Users()->SetSelect("Amy");
                 Users()->ButtonDepress(0);
                 Enter(PROFILE_DIALOG_RENAME, "eve");
             },
             deletedBob + " + " + kNameConflict, "Amy Eve / Amy", "none"},
            {"a rename of a player deleted meanwhile, as the same pass loses Bob",
             [&](ProfileMgr& other)
             {
                 fromList(other, {"Bob", "Dan"}, "Dan", 0);
                 Enter(PROFILE_DIALOG_RENAME, "Don");
             },
             deletedBob + " + " + danGone, "Amy / ", "none"},
            {"the Players button's own pass loses Bob: one list, the box over it",
             [&](ProfileMgr& other)
             {
                 Delete(other, "Bob");
                 mMgr.DoProfileDialog();
                 EXPECT_EQ(mApp.GetDialogCount(), 2);
             },
             deletedBob, "Amy Dan / ", "none"},
            {"the Players button's pass finds none left: the new-player dialog, the box over it",
             [&](ProfileMgr& other)
             {
                 for (const char* name : {"Amy", "Bob", "Dan"})
                     Delete(other, name);
                 mMgr.DoProfileDialog();
                 EXPECT_EQ(mApp.GetDialogCount(), 2);
                 EXPECT_NE(mApp.GetDialog(PROFILE_DIALOG_CREATE), nullptr);
             },
             deletedBob, "none", "none"},
            {"a box open as none is found left: the new-player dialog opens under it",
             [&](ProfileMgr& other)
             {
                 fromList(other, {"Dan"}, "Dan", DIALOG_BUTTON_YES);
                 Delete(other, "Amy");
                 Delete(other, "Bob");
                 mMgr.Save();
                 EXPECT_NE(mApp.GetDialog(PROFILE_DIALOG_CREATE), nullptr);
             },
             danGone + " + " + deletedBob, " / ", "none"},
            {"a box the application kills: the next one shows at the manager's next step",
             [&](ProfileMgr& other)
             {
                 fromList(other, {"Bob", "Dan"}, "Dan", DIALOG_BUTTON_YES);
                 mApp.KillDialog(PROFILE_DIALOG_ERROR);
                 mMgr.Save();
             },
             danGone, "Amy / ", "none"},
            {"a box's close runs on into a pass that loses Bob (a kill hook): the next box",
             [&](ProfileMgr& other)
             {
                 fromList(other, {"Dan"}, "Dan", DIALOG_BUTTON_YES);
                 mApp.mOnKillDialog = [&](int id)
                 {
                     mApp.mOnKillDialog = nullptr;
                     if (id == PROFILE_DIALOG_ERROR)
                     {
                         Delete(other, "Bob");
                         mMgr.Save();
                     }
                 };
             },
             danGone + " + " + deletedBob, "Amy / ", "none"},
            {"the list open as Amy is deleted here and Dan renamed Dave elsewhere: Dave is chosen",
             [&](ProfileMgr& other)
             {
                 mMgr.DoProfileDialog();
                 rename(other, "Dan", "Dave");
                 Users()->SetSelect("Amy");
                 Users()->ButtonDepress(1);
                 mApp.GetDialog(PROFILE_DIALOG_CONFIRM_DELETE)->ButtonDepress(DIALOG_BUTTON_YES);
                 EXPECT_EQ(Lines(), "Bob Dave / Bob");
                 Users()->SetSelect("Dave");
                 Users()->ButtonDepress(DIALOG_BUTTON_YES);
             },
             "", "none", "Dave"},
            {"the game's save while the list is open: Dan stays selected as Dave",
             [&](ProfileMgr& other)
             {
                 mMgr.DoProfileDialog();
                 Users()->SetSelect("Dan");
                 // A save that changes nothing leaves the list as it is (the mouse over Amy).
                 Users()->mListWidget->mHiliteIdx = 0;
                 mMgr.Save();
                 EXPECT_EQ(Users()->mListWidget->mHiliteIdx, 0);
                 rename(other, "Dan", "Dave");
                 mMgr.Save();
             },
             "", "Amy Bob Dave / Dave", "Bob"},
            {"SetCurProfile(Dan) with Bob and Dan deleted: both lost, both told, neither freed",
             [&](ProfileMgr& other)
             {
                 Profile* bob = mMgr.mCurProfile.get();
                 Profile* dan = mMgr.GetProfile("Dan", false);
                 Delete(other, "Bob");
                 Delete(other, "Dan");
                 mMgr.SetCurProfile(dan);
                 EXPECT_EQ(bob->mName + " " + std::to_string(Score(bob)->mScore), "Bob 7");
                 EXPECT_EQ(dan->mName, "Dan");
             },
             deletedBob + " + Player Deleted|The player Dan was deleted in another window. What was not "
                          "saved is lost.|OK|OK",
             "Amy / ", "none"},
            {"a player's own save after another copy deleted him: he is not freed",
             [&](ProfileMgr& other)
             {
                 Profile* dan = mMgr.GetProfile("Dan", false);
                 Delete(other, "Dan");
                 dan->mDirty = true;
                 EXPECT_FALSE(dan->SaveDetails());
                 EXPECT_EQ(dan->mName, "Dan");
             },
             "", "none", "Bob"},
            {"Dan only read here; a third copy deletes him: this copy's save does not free him",
             [&](ProfileMgr&)
             {
                 Profile* dan = mMgr.GetProfile("Dan", true);
                 deleteInThirdCopy("Dan");
                 danKeptAndNotSaved(dan);
             },
             "", "none", "Bob"},
            {"Dan saved here through the game's pointer; a third copy deletes him: the same",
             [&](ProfileMgr&)
             {
                 Profile* dan = mMgr.GetProfile("Dan", true);
                 Score(dan)->mScore = 4;
                 dan->mDirty = true;
                 ASSERT_TRUE(dan->SaveDetails());
                 deleteInThirdCopy("Dan");
                 danKeptAndNotSaved(dan);
             },
             "", "none", "Bob"},
            {"Dan played here, then Bob again; a third copy deletes Dan: the same",
             [&](ProfileMgr&)
             {
                 Profile* dan = mMgr.GetProfile("Dan", true);
                 mMgr.SetCurProfile(dan);
                 Score(dan)->mScore = 4;
                 dan->mDirty = true;
                 mMgr.SetCurProfile(mMgr.GetProfile("Bob", true));
                 deleteInThirdCopy("Dan");
                 danKeptAndNotSaved(dan);
             },
             "", "none", "Bob"},
            {"the players' folder deleted while Bob is played; a copy started afterwards makes its own "
             "Bob, saves him and plays its Amy: neither Bob is taken for the other",
             [&](ProfileMgr&) { folderLostAndANewBob(true, "Amy"); }, "", "none", "Bob 2"},
            {"the same, the other copy playing nobody", [&](ProfileMgr&) { folderLostAndANewBob(true, ""); },
             "", "none", "Bob 2"},
            {"the players' folder deleted while Bob is played; a copy started afterwards makes its own "
             "Bob and plays him, neither Bob ever saved (their files the same bytes): never one player",
             [&](ProfileMgr&) { folderLostAndANewBob(false, "Bob"); }, "", "none", "Bob 2"},
            {"both fresh, the other copy playing its Amy",
             [&](ProfileMgr&) { folderLostAndANewBob(false, "Amy"); }, "", "none", "Bob 2"},
            {"both fresh, the other copy playing nobody",
             [&](ProfileMgr&) { folderLostAndANewBob(false, ""); }, "", "none", "Bob 2"},
            {"the players' folder deleted while Bob is played: no list says he was deleted, he is put "
             "back with his progress, and nothing is told",
             [&](ProfileMgr&)
             {
                 std::filesystem::remove_all(Profile::mProfileDir);
                 mMgr.SaveCurProfileIfDirty();
                 // The others' files went with the folder: nobody plays them here.
                 playedOn("2:Bob next 3");
             },
             "", "none", "Bob"},
            {"the players' folder deleted while Bob is played, then a copy started afterwards gives his "
             "id to Yan and plays him: that lock is not Bob's, who is put back under a new id with his "
             "progress, nothing told",
             [&](ProfileMgr&)
             {
                 // Bob's lock held, his progress saved, then more of it.
                 mMgr.SaveCurProfileIfDirty();
                 Score(mMgr.mCurProfile)->mScore = 8;
                 mMgr.mCurProfile->mDirty = true;
                 std::filesystem::remove_all(Profile::mProfileDir);
                 ProfileMgr fresh(&mApp, &ScoreProfile::Make);
                 fresh.Load();
                 ASSERT_NE(fresh.CreateProfile("Zed"), nullptr);
                 Profile* yan = fresh.CreateProfile("Yan");
                 ASSERT_EQ(yan->mId, 2);
                 fresh.SetCurProfile(yan);
                 mMgr.SaveCurProfileIfDirty();
                 EXPECT_EQ(List(mMgr), "1:Zed 2:Yan 4:Bob next 4");
                 ProfileMgr later(&mApp, &ScoreProfile::Make);
                 later.Load();
                 Profile* bob = later.GetProfile("Bob", true);
                 ASSERT_NE(bob, nullptr);
                 EXPECT_EQ(Score(bob)->mScore, 8);
             },
             "", "none", "Bob"},
            {"users.last naming another list (a CRC that matches) while Bob is played: the list names "
             "him by his id and name, so he plays on under them, not put back beside himself",
             [&](ProfileMgr&)
             {
                 std::string last = ReadFile(Profile::mProfileDir + "users.last");
                 ASSERT_GE(last.size(), 20u);
                 last[4] ^= 0x10;
                 const uint32_t crc = Crc32(reinterpret_cast<const uint8_t*>(last.data()), last.size() - 4);
                 for (size_t i = 0; i < 4; i++)
                     last[last.size() - 4 + i] = char(crc >> (8 * i));
                 WriteFile(Profile::mProfileDir + "users.last", last);
                 mMgr.SaveCurProfileIfDirty();
                 playedOn("1:Amy 2:Bob 3:Dan next 3");
             },
             "", "none", "Bob"},
            {"users.last's list name damaged while Bob is played: read as users.last lost, not as "
             "another list's, and Bob plays on",
             [&](ProfileMgr&)
             {
                 flipLastByte(4);
                 mMgr.SaveCurProfileIfDirty();
                 playedOn("1:Amy 2:Bob 3:Dan next 3");
             },
             "", "none", "Bob"},
            {"the list name users.last gives Bob damaged (after both list files were lost and the "
             "other copy put the players back): the same",
             [&](ProfileMgr& other)
             {
                 std::filesystem::remove(Profile::mProfileDir + "users.dat");
                 std::filesystem::remove(Profile::mProfileDir + "users.last");
                 other.mDirty = true;
                 other.Save();
                 // Amy's entry, then Bob's: his id, then the name of the list that gave it.
                 flipLastByte(16 + 12 + 4);
                 mMgr.SaveCurProfileIfDirty();
                 playedOn("1:Amy 2:Bob 3:Dan next 3");
             },
             "", "none", "Bob"},
            {"the window closed as Bob is found deleted: the save at shutdown opens nothing",
             [&](ProfileMgr& other)
             {
                 Delete(other, "Bob");
                 mApp.mShutdown = true;
                 mMgr.Save();
                 mApp.mShutdown = false;
                 EXPECT_EQ(mApp.GetDialogCount(), 0);
             },
             "", "none", "none"},
        };
    for (const auto& [what, act, boxes, lines, current] : rows)
    {
        SCOPED_TRACE(what);
        NewList({"Amy", "Bob", "Dan"});
        ProfileMgr other(&mApp, &ScoreProfile::Make);
        ASSERT_TRUE(other.Load());
        // The other copy plays nobody: its players can be chosen here.
        other.SetCurProfile(nullptr);
        // Bob is played, with progress not saved yet.
        mMgr.mCurProfile = mMgr.GetProfile("Bob", false);
        Score(mMgr.mCurProfile)->mScore = 7;
        mMgr.mCurProfile->mDirty = true;
        act(other);
        EXPECT_EQ(Boxes(), boxes);
        EXPECT_EQ(Users() != nullptr ? Lines() : "none", lines);
        EXPECT_EQ(Current(), current);
        // Nothing is written for Bob once deleted elsewhere.
        ProfileMgr later(&mApp);
        later.Load();
        EXPECT_EQ(std::filesystem::exists(Profile::GetDetailsPath(2)),
                  later.GetProfile("Bob", false) != nullptr);
        CloseDialogs();
    }
}

// A player is played in one copy at a time: another copy does not take him at start, from its
// list or through SetCurProfile, and says why when he is chosen; he is free again once the
// copy playing him plays another, quits or dies.
TEST_F(ProfileDialogs, APlayerPlayedInAnotherCopyIsNotTakenUntilThatCopyLetsHimGo)
{
    const std::string inUse = "Player In Use|The player Victor is being played in another window.|OK|OK";
    std::unique_ptr<ProfileMgr> other;
    auto choose = [&]
    {
        mMgr.DoProfileDialog();
        Users()->SetSelect("Victor");
        Users()->ButtonDepress(DIALOG_BUTTON_YES);
    };
    auto setVictor = [&] { mMgr.SetCurProfile(mMgr.GetProfile("Victor", false)); };
    // players.lock deleted, or another file put in its place (replaced), while the other copy
    // plays Victor with progress not saved yet; Victor taken here; the other copy saves.
    auto lockFileMadeAnew = [&](bool replaced)
    {
        const std::string lockFile = Profile::mProfileDir + "players.lock";
        std::filesystem::remove(lockFile);
        if (replaced)
        {
            WriteFile(lockFile + ".new", "");
            std::filesystem::rename(lockFile + ".new", lockFile);
        }
        setVictor();
        Score(other->mCurProfile)->mScore = 99;
        other->mCurProfile->mDirty = true;
        other->Save();
        EXPECT_EQ(other->mCurProfile, nullptr);
        EXPECT_NE(ReadFile(Profile::GetDetailsPath(3)), BYTES("\x03\0\0\0\x63\0\0\0"));
    };
    // Victor's file holds this progress.
    auto victorHolds = [](int32_t score)
    {
        DataSync sync;
        sync.OpenWriter(8);
        int32_t version = 3;
        sync.SyncLong(version);
        sync.SyncLong(score);
        return ReadFile(Profile::GetDetailsPath(3)) ==
               std::string(sync.GetWriter()->GetDataPtr(), size_t(sync.GetWriter()->GetDataLen()));
    };
    // The other copy holds progress of Victor's not saved yet (11) while his lock file is made
    // anew (`mishap`) and `taker` takes him, saves `saved` and `after` runs; then the other copy
    // saves. It writes nothing over that save: Victor is lost to it, and told once.
    auto savedElsewhere = [&](const std::function<void()>& mishap, ProfileMgr& taker,
                              const std::function<void()>& after, int32_t saved = 222)
    {
        Profile* victor = other->mCurProfile.get();
        Score(victor)->mScore = 11;
        victor->mDirty = true;
        mishap();
        taker.SetCurProfile(taker.GetProfile("Victor", false));
        ASSERT_EQ(taker.mCurProfile->mName, "Victor");
        Score(taker.mCurProfile)->mScore = saved;
        taker.mCurProfile->mDirty = true;
        taker.SaveCurProfileIfDirty();
        after();
        other->Save();
        EXPECT_EQ(other->mCurProfile, nullptr);
        EXPECT_TRUE(victorHolds(saved));
        // What it had not saved is gone: a save through the pointer the game kept writes nothing.
        victor->mDirty = true;
        EXPECT_FALSE(victor->SaveIfDirty());
        EXPECT_TRUE(victorHolds(saved));
    };
    auto deleteLockFile = [] { std::filesystem::remove(Profile::mProfileDir + "players.lock"); };
    auto replaceLockFile = [] { WriteFileAtomically(Profile::mProfileDir + "players.lock", "", 0); };
    // No copy gets a lock on a folder.
    auto lockFileAFolder = [&]
    {
        deleteLockFile();
        std::filesystem::create_directory(Profile::mProfileDir + "players.lock");
    };
    // players.lock deleted while the other copy holds progress of Victor's not saved yet (11), and
    // Victor taken here and played on: the other copy's Victor.
    auto takenHereAndPlayedOn = [&]
    {
        Profile* victor = other->mCurProfile.get();
        Score(victor)->mScore = 11;
        victor->mDirty = true;
        deleteLockFile();
        setVictor();
        return victor;
    };
    // The failed saves told since the last call, and why, joined by " + ".
    size_t failedSeen = 0;
    auto failedSaves = [&]
    {
        mApp.mReportedSaveFailures.clear();
        std::vector<std::string> boxes = mAppEnv.mPlatform->CallsStartingWith("MessageBoxA");
        std::string told;
        for (size_t i = std::min(failedSeen, boxes.size()); i < boxes.size(); i++)
        {
            // "MessageBoxA(<type>,<title>,<text>)", the text ending in the reason.
            const size_t reason = boxes[i].find("\": ");
            if (boxes[i].find("Could not save the players") != std::string::npos &&
                reason != std::string::npos)
                told +=
                    (told.empty() ? "" : " + ") + boxes[i].substr(reason + 3, boxes[i].size() - reason - 4);
        }
        failedSeen = boxes.size();
        return told;
    };
    // What this copy does while the other copy plays Victor; then the boxes, the player list
    // ("none" when closed) and the current player.
    const std::tuple<const char*, std::function<void()>, std::string, const char*, const char*> rows[] = {
        {"at start, the player remembered: none is current, and the game's question leads to the list",
         [&]
         {
             mApp.RegistryWriteString("UserProfile", "Victor");
             mMgr.Load();
             EXPECT_EQ(Current(), "none");
             mMgr.DoCreateProfileDialog(false, nullptr);
             mApp.GetDialog(PROFILE_DIALOG_CREATE)->ButtonDepress(DIALOG_BUTTON_NO);
         },
         "", "Amy Bob Victor / ", "none"},
        {"chosen in the list: told, and the list stays", choose, inUse, "Amy Bob Victor / Victor", "Amy"},
        {"SetCurProfile: told, and the current player stays", setVictor, inUse, "none", "Amy"},
        {"free once the other copy plays another player",
         [&]
         {
             other->SetCurProfile(other->GetProfile("Bob", false));
             choose();
         },
         "", "none", "Victor"},
        {"free once the other copy quits",
         [&]
         {
             other.reset();
             setVictor();
         },
         "", "none", "Victor"},
        {"free once a copy that plays him dies",
         [&]
         {
             other->SetCurProfile(nullptr);
             int ready[2];
             ASSERT_EQ(pipe(ready), 0);
             const pid_t child = StartChild(
                 [&]
                 {
                     ProfileMgr copy(&mApp, &ScoreProfile::Make);
                     copy.Load();
                     copy.SetCurProfile(copy.GetProfile("Victor", false));
                     (void)!write(ready[1], "x", 1);
                     pause();
                     return 0;
                 });
             char byte;
             ASSERT_EQ(read(ready[0], &byte, 1), 1);
             setVictor();
             EXPECT_EQ(Boxes(), inUse);
             kill(child, SIGKILL);
             EXPECT_EQ(ChildStatus(child, true), -1);
             close(ready[0]);
             close(ready[1]);
             setVictor();
         },
         "", "none", "Victor"},
        {"players.lock deleted: Victor is taken here; the other copy loses him at its next pass, told "
         "as a refused choice is, and writes nothing for him (its list then asks)",
         [&] { lockFileMadeAnew(false); }, inUse, "Amy Bob Victor / ", "Victor"},
        {"players.lock replaced by another file: the same", [&] { lockFileMadeAnew(true); }, inUse,
         "Amy Bob Victor / ", "Victor"},
        {"players.lock deleted; a third copy takes Victor, saves him and quits: the other copy's next "
         "save finds a save of him it has not read, writes nothing over it and loses him",
         [&]
         {
             auto third = std::make_unique<ProfileMgr>(&mApp, &ScoreProfile::Make);
             third->Load();
             savedElsewhere(deleteLockFile, *third, [&] { third.reset(); });
         },
         inUse, "Amy Bob Victor / ", "Amy"},
        {"players.lock replaced; Victor taken here, saved, then let go for Amy: the same, and chosen "
         "again in the other copy's list he holds what this copy saved",
         [&]
         {
             savedElsewhere(replaceLockFile, mMgr,
                            [&] { mMgr.SetCurProfile(mMgr.GetProfile("Amy", false)); });
             Profile* victor = other->GetProfile("Victor", false);
             ASSERT_NE(Users(), nullptr);
             Users()->SetSelect("Victor");
             Users()->ButtonDepress(DIALOG_BUTTON_YES);
             EXPECT_EQ(other->mCurProfile, victor);
             EXPECT_EQ(Score(victor)->mScore, 222);
         },
         inUse, "none", "Amy"},
        {"players.lock deleted; Victor taken here and played on: the other copy choosing him again "
         "(SetCurProfile) loses him at that choice's pass, told once",
         [&]
         {
             Profile* victor = takenHereAndPlayedOn();
             other->SetCurProfile(victor);
             EXPECT_EQ(other->mCurProfile, nullptr);
         },
         inUse, "Amy Bob Victor / ", "Victor"},
        {"the same, chosen again in the other copy's list: lost at the pass of its Ok, told once, and the "
         "list stays",
         [&]
         {
             other->DoProfileDialog();
             takenHereAndPlayedOn();
             Users()->SetSelect("Victor");
             Users()->ButtonDepress(DIALOG_BUTTON_YES);
             EXPECT_EQ(other->mCurProfile, nullptr);
         },
         inUse, "Amy Bob Victor / Victor", "Victor"},
        {"players.lock replaced twice over: lost to this copy, taken again in the other copy's list (his "
         "file read again), and lost again the same way: told again",
         [&]
         {
             for (int round = 0; round < 2; round++)
             {
                 SCOPED_TRACE(round);
                 // Each round's save bytes of its own: the other copy read the last round's.
                 savedElsewhere(
                     replaceLockFile, mMgr, [&] { mMgr.SetCurProfile(mMgr.GetProfile("Amy", false)); },
                     222 + round);
                 ASSERT_NE(Users(), nullptr);
                 Users()->SetSelect("Victor");
                 Users()->ButtonDepress(DIALOG_BUTTON_YES);
                 ASSERT_NE(other->mCurProfile, nullptr);
                 EXPECT_EQ(other->mCurProfile->mName, "Victor");
             }
         },
         inUse + " + " + inUse, "none", "Amy"},
        {"Victor read here; the other copy saves him and lets him go: chosen here, he holds what it saved, "
         "and his next save here is no save over one not read",
         [&]
         {
             Profile* victor = mMgr.GetProfile("Victor", true);
             Score(other->mCurProfile)->mScore = 222;
             other->mCurProfile->mDirty = true;
             other->SaveCurProfileIfDirty();
             other->SetCurProfile(other->GetProfile("Bob", false));
             choose();
             ASSERT_EQ(mMgr.mCurProfile, victor);
             EXPECT_EQ(Score(victor)->mScore, 222);
             Score(victor)->mScore = 223;
             victor->mDirty = true;
             mMgr.SaveCurProfileIfDirty();
             EXPECT_TRUE(victorHolds(223));
         },
         "", "none", "Victor"},
        {"players.lock a folder, so that no copy gets a lock: Victor taken here too and saved; the "
         "other copy's save writes nothing over it and loses him",
         [&] { savedElsewhere(lockFileAFolder, mMgr, [] {}); }, inUse, "Amy Bob Victor / ", "Victor"},
        {"the same with users.dat of a newer program, kept as it is: with neither a list nor a lock to "
         "ask, the other copy's save still writes nothing over this copy's and loses him",
         [&]
         {
             savedElsewhere(
                 [&]
                 {
                     WriteFile(Profile::mProfileDir + "users.dat", BYTES("\x03\0\0\0\x09\0\0\0whatever"));
                     lockFileAFolder();
                 },
                 mMgr, [] {});
         },
         inUse, "Amy Bob Victor / ", "Victor"},
        {"the copy playing Victor (a process) stalls in its save of him before the rename, holding the "
         "list: this copy's save of Victor, which the game read before, waits, fails and is told, and "
         "writes nothing over that save, then or later",
         [&]
         {
             other.reset();
             Profile* victor = mMgr.GetProfile("Victor", true);
             failedSaves();
             // The copy waits there, in its save, until the test lets it go on.
             CopiesGate stalled;
             const pid_t copy = StartChild(
                 [&]
                 {
                     ProfileMgr playing(&mApp, &ScoreProfile::Make);
                     playing.Load();
                     playing.SetCurProfile(playing.GetProfile("Victor", false));
                     if (playing.mCurProfile == nullptr)
                         return 2;
                     Score(playing.mCurProfile)->mScore = 11;
                     playing.mCurProfile->mDirty = true;
                     ScopedBeforeRename stall(
                         [&](const std::string& temp)
                         {
                             if (temp.find("user3.dat") != std::string::npos)
                                 stalled.Pass();
                             return true;
                         });
                     return playing.mCurProfile->SaveDetails() ? 0 : 1;
                 });
             ASSERT_TRUE(stalled.AllHere(1));
             // A copy starting meanwhile reads the list without waiting for it.
             {
                 ProfileMgr starting(&mApp, &ScoreProfile::Make);
                 const auto start = std::chrono::steady_clock::now();
                 EXPECT_TRUE(starting.Load());
                 EXPECT_LT(std::chrono::steady_clock::now() - start, kTurnLockWait / 5);
                 EXPECT_EQ(List(starting), "1:Amy 2:Bob 3:Victor next 3");
             }
             // Nor does it move a list found damaged meanwhile aside: that is left to a pass that
             // has the lock.
             {
                 const std::string list = ReadFile(Profile::mProfileDir + "users.dat");
                 WriteFile(Profile::mProfileDir + "users.dat", "damaged");
                 ProfileMgr starting(&mApp, &ScoreProfile::Make);
                 EXPECT_FALSE(starting.Load());
                 EXPECT_EQ(ReadFile(Profile::mProfileDir + "users.dat"), "damaged");
                 WriteFile(Profile::mProfileDir + "users.dat", list);
             }
             Score(victor)->mScore = 222;
             victor->mDirty = true;
             const auto start = std::chrono::steady_clock::now();
             EXPECT_FALSE(victor->SaveDetails());
             EXPECT_GE(std::chrono::steady_clock::now() - start, kTurnLockWait);
             EXPECT_EQ(failedSaves(), "another copy of the program kept it locked too long");
             // A pass kept waiting as long with nothing to save says nothing.
             EXPECT_NE(mMgr.GetProfile("Bob", true), nullptr);
             EXPECT_EQ(failedSaves(), "");
             // A name typed meanwhile is the player's at once, no conflict, the failed save told; the
             // list holds it from the next pass on.
             mMgr.DoRenameProfileDialog("Bob");
             Enter(PROFILE_DIALOG_RENAME, "Bert");
             EXPECT_EQ(mApp.GetDialog(PROFILE_DIALOG_RENAME), nullptr);
             EXPECT_EQ(mApp.GetDialog(PROFILE_DIALOG_ERROR), nullptr);
             EXPECT_EQ(failedSaves(), "another copy of the program kept it locked too long");
             stalled.Open();
             EXPECT_EQ(ChildStatus(copy, true), 0);
             EXPECT_TRUE(victorHolds(11));
             EXPECT_FALSE(victor->SaveIfDirty());
             EXPECT_TRUE(victorHolds(11));
             ProfileMgr later(&mApp, &ScoreProfile::Make);
             later.Load();
             EXPECT_EQ(List(later), "1:Amy 2:Bert 3:Victor next 3");
         },
         inUse, "none", "Amy"},
        {"the players' folder deleted and made again while this copy's save holds its lock (before a "
         "rename), and a copy started then (a process) saves its list there at once: this copy writes "
         "nothing into that folder, says so, and its next save puts Amy back with her progress",
         [&]
         {
             failedSaves();
             Score(mMgr.mCurProfile)->mScore = 5;
             mMgr.mCurProfile->mDirty = true;
             mMgr.mDirty = true;
             {
                 bool once = true;
                 ScopedBeforeRename folderLost(
                     [&](const std::string&)
                     {
                         if (std::exchange(once, false))
                         {
                             std::filesystem::remove_all(Profile::mProfileDir);
                             std::filesystem::create_directory(Profile::mProfileDir);
                             EXPECT_EQ(RunInChild(
                                           [&]
                                           {
                                               ProfileMgr started(&mApp, &ScoreProfile::Make);
                                               started.Load();
                                               return started.CreateProfile("Zed") != nullptr ? 0 : 1;
                                           }),
                                       0);
                         }
                         return true;
                     });
                 mMgr.Save();
             }
             EXPECT_EQ(failedSaves(), "its lock was deleted or replaced while it was saved");
             ProfileMgr later(&mApp, &ScoreProfile::Make);
             later.Load();
             EXPECT_EQ(List(later), "1:Zed next 1");
             mMgr.Save();
             later.Load();
             EXPECT_EQ(List(later), "1:Zed 4:Amy next 4");
             EXPECT_EQ(Score(later.GetProfile("Amy", true))->mScore, 5);
         },
         "", "none", "Amy"},
        {"lock calls that fail for want of a lock service: nobody is refused, a new player neither; "
         "Victor saved here is not saved over by the other copy, which loses him",
         [&]
         {
             const int status = RunInChild(
                 [&]
                 {
                     if (!FailLockCalls())
                         return 64;
                     setVictor();
                     const bool victor = Current() == "Victor";
                     // Saved here while the other copy still plays him: its save writes nothing
                     // over this one.
                     Score(mMgr.mCurProfile)->mScore = 222;
                     mMgr.mCurProfile->mDirty = true;
                     mMgr.SaveCurProfileIfDirty();
                     mMgr.DoCreateProfileDialog(false, nullptr);
                     Enter(PROFILE_DIALOG_CREATE, "Cy");
                     const bool cy = Current() == "Cy" && mApp.GetDialogCount() == 0;
                     Score(other->mCurProfile)->mScore = 11;
                     other->mCurProfile->mDirty = true;
                     other->Save();
                     return (victor ? 0 : 1) | (cy ? 0 : 2) |
                            (other->mCurProfile == nullptr && victorHolds(222) ? 0 : 4);
                 });
             if (status == 64)
                 GTEST_SKIP() << "no seccomp filter here";
             EXPECT_EQ(status, 0);
         },
         "", "none", "Amy"},
    };
    for (const auto& [what, act, boxes, lines, current] : rows)
    {
        SCOPED_TRACE(what);
        NewList({"Amy", "Bob", "Victor"});
        mMgr.SetCurProfile(mMgr.GetProfile("Amy", false));
        other = std::make_unique<ProfileMgr>(&mApp, &ScoreProfile::Make);
        ASSERT_TRUE(other->Load());
        other->SetCurProfile(other->GetProfile("Victor", false));
        ASSERT_EQ(other->mCurProfile->mName, "Victor");
        act();
        EXPECT_EQ(Boxes(), boxes);
        EXPECT_EQ(Users() != nullptr ? Lines() : "none", lines);
        EXPECT_EQ(Current(), current);
        other.reset();
        CloseDialogs();
    }
}

TEST_F(ProfileDialogs, DeleteSelectsANeighbourAndTheLastOpensTheNewPlayerDialog)
{
    for (const char* name : {"Amy", "bob", "zed"})
        mMgr.CreateProfile(name);
    mMgr.mCurProfile = mMgr.GetProfile("bob", false);
    ASSERT_TRUE(mMgr.mCurProfile->SaveDetails());
    mMgr.DoProfileDialog();
    while (Users()->IsScrolling())
        mManager->UpdateFrame();
    // player deleted, confirmed, list afterwards, current player
    const std::tuple<const char*, bool, const char*, const char*> rows[] = {
        {"bob", false, "Amy bob zed / bob", "bob"},
        {"bob", true, "Amy zed / zed", "zed"}, // the next line
        {"zed", true, "Amy / Amy", "Amy"},     // the previous one after the last line
        {"Amy", true, " / ", "none"},
    };
    for (const auto& row : rows)
    {
        Users()->SetSelect(std::get<0>(row));
        Users()->ButtonDepress(1);
        EXPECT_EQ(Texts(3), "Delete Player?|Are you sure that you want to delete " +
                                std::string(std::get<0>(row)) + "?||Delete Cancel");
        EXPECT_EQ(mApp.GetDialog(3)->GetAbsPos(), TPoint<int>(160, 60));
        mApp.GetDialog(3)->ButtonDepress(std::get<1>(row) ? 1000 : 1001);
        EXPECT_EQ(Lines(), std::get<2>(row));
        EXPECT_EQ(Current(), std::get<3>(row));
    }
    // Written at once, the player files gone; a player must be created now.
    ProfileMgr reloaded(&mApp);
    EXPECT_TRUE(reloaded.Load());
    EXPECT_EQ(reloaded.mProfiles.size(), 0u);
    EXPECT_EQ(reloaded.mNextId, 3);
    EXPECT_FALSE(std::filesystem::exists(Profile::GetDetailsPath(2)));
    EXPECT_EQ(Texts(1), "New Player|Please enter your name.||OK CANCEL");
    EXPECT_EQ(mManager->mFocusWidget, dynamic_cast<ProfileNameDialog&>(*mApp.GetDialog(1)).mEditWidget.get());
    Enter(1, "Cy");
    EXPECT_EQ(mMgr.mCurProfile->mId, 4); // never a deleted player's id
    EXPECT_EQ(mApp.GetDialogCount(), 0);
    EXPECT_EQ(mManager->mFocusWidget, &mScreen);
}

} // namespace
