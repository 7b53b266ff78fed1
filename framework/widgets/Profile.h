// Profile: one player, with a name, an id and the saved state that the game's derived
// class keeps in the player's own file.
//
// The player file ("user<id>.dat" in the profile folder) holds a 4-byte version (the
// class's GetCurVersion when it was written) followed by what SyncDetails writes. The
// list of players and the current player are ProfileMgr's; profiles are shared through
// SmartPtr. Files go through the application's file operations, so demos replay them.
// Main thread only.
#pragma once

#include "common/SmartPtr.h"

#include <array>
#include <cstdint>
#include <string>

namespace Vaxo
{

class DataSync;
class ProfileMgr;

class Profile : public RefCount
{
public:
    // As typed; compared without regard to letter case everywhere.
    std::string mName;
    // Given by the manager (1, 2, ...), never reused; 0 in a new object. Names the file.
    int32_t mId;
    // The details must be written: the game's setters set it, a successful write clears it.
    bool mDirty;
    // The player file is never written over: a newer program wrote it (read as a fresh
    // player's, so that program keeps this player's progress), or it could be neither read
    // nor moved aside.
    bool mKeepFile;
    // The details in memory are this player's (read from the file, made fresh or written): a
    // player moved to another id takes them along, one without them starts afresh there.
    bool mHasDetails;

    // What failed saves of the player files and of the list are reported as.
    static const char* const kPlayersSaved;
    // The profile folder with a trailing separator; empty until InitProfileDir.
    static std::string mProfileDir;
    // Longest name the name dialog accepts, in characters.
    static int32_t mMaxChars;

public:
    Profile();
    ~Profile() override;

    // Back to a fresh player's state (the game clears its saved state).
    virtual void Reset();
    // The record kept in users.dat: id, then name.
    virtual void SyncSummary(DataSync& sync);
    // The game's saved state; the stream's mVersion is the version the file was written with.
    virtual void SyncDetails(DataSync& sync);
    virtual int32_t GetCurVersion();
    // Deletes the game's further files of this player.
    virtual void DeleteFilesHook();

    // A new base profile (the manager's factory when the game gives none).
    static Profile* Factory();
    // The folder: dir below the application-data folder, or dir itself when absolute;
    // made unless a demo is being played back.
    static void InitProfileDir(const std::string& dir, bool absolute);
    // mProfileDir + "user" + id + ".dat".
    static std::string GetDetailsPath(int32_t id);

    // A missing, empty, damaged, unreadable or newer file resets the profile instead. A
    // damaged or unreadable one is first moved aside (SetFileAside) and the user told, so
    // that the next save writes a fresh file without losing it. The manager's GetProfile and
    // GetAnyProfile merge the list on disk first, so that the id read is the player's.
    void LoadDetails();
    // Replaces the player file; false (still dirty) when it was not written: a file kept
    // (mKeepFile) stays, and a failed write is reported (once a run). A player of a
    // manager's list is written once the list on disk is merged, under the id the player
    // keeps then (another copy may have deleted it, or given its id again).
    bool SaveDetails();
    bool SaveIfDirty();
    void DeleteFiles();

private:
    friend class ProfileMgr;

    // The manager whose list holds (or held) this player, which merges the list on disk
    // before the details are read or written; null: the file is used as it is. Not owned;
    // the manager clears it when it goes.
    ProfileMgr* mMgr;
    // The player file as this copy last read or wrote it (whether it was there, an MD5 of its
    // bytes): another copy's save since is one this copy has not read, and is never written over.
    // mSeen false: none read or written here since his details were made or dropped.
    bool mSeen;
    bool mSeenThere;
    std::array<uint8_t, 16> mSeenDigest;
    // Lost to another copy and told so: not told again until his file is read again.
    bool mTakenElsewhere;

    // The file at mId as against what this copy last read or wrote of it.
    enum class FileSeen
    {
        kNone,    // not there, or it cannot be read: it tells nothing
        kAsSeen,  // as this copy last read or wrote it
        kChanged, // another copy saved it since (one this copy never read counts too)
    };
    FileSeen CheckFile() const;
    // What was seen is a fresh player's file: byte for byte what a player of that name and id made
    // in another copy would have, so it does not tell this player from such a one. Asked only
    // where that can matter: it makes a fresh player to compare.
    bool SeenFresh() const;
    // What was read or written: the file's bytes, or no file.
    void SeeFile(bool there, const void* data, size_t length);
    // The player file's bytes for the details held.
    void WriteFileBytes(DataSync& sync);
    // His details are no longer his file's: what was not saved goes, and the next taker reads it.
    void DropDetails();

    // SaveDetails on the file of the current id, with no list merged. A failed write leaves
    // the reason in *error (0: the file is kept, nothing was tried).
    bool WriteDetails(int* error);
    // The player file at path could not be read (readError, an errno value) or not be
    // understood (0): moved aside, or kept and never written over; the user is told unless
    // it was kept already.
    void KeepUnusableFile(const std::string& path, int readError, bool told);
};

} // namespace Vaxo
