// Internal to framework/app.
// The demo file (".dmo") and the pieces of its command stream that the recorder, the
// playback and the demo-aware operations of VaxoAppBase share (AppDemo.cpp,
// AppFileOps.cpp, AppSettings.cpp).
//
// File: a big-endian header (magic 0x42BEEF78, version, random seed, product name,
// marker block, demo length in updates), then the bit-packed command stream up to the end
// of the file. The marker block and the stream use Buffer's encoding (bits least
// significant first, little-endian numbers). Demo files are untrusted: the parser and
// the stream readers below take every length and count as at most what is really there.
//
// Stream: every command is a head (4 bits of updates since the previous command, 1 bit
// short form, then a 1-bit kind or a 5-bit id) and its payload. The shortest command is
// 10 bits, so fewer bits left are the zero padding of the last byte, not a command.
#pragma once

#include "common/AtomicFile.h"
#include "common/Buffer.h"

#include <cstddef>
#include <cstdint>
#include <list>
#include <string>
#include <utility>
#include <vector>

namespace Vaxo
{

class VaxoAppBase;

// Short-form kinds.
enum DemoShortKind : int32_t
{
    DEMO_MOUSE_DELTA = 0,
    DEMO_MOUSE_BUTTON = 1
};

// Long-form command ids.
enum DemoCommandId : int32_t
{
    DEMO_MOUSE_POSITION = 0,
    DEMO_ACTIVATE = 1,
    DEMO_SIZE = 2,
    DEMO_KEY_DOWN = 3,
    DEMO_KEY_UP = 4,
    DEMO_CHAR = 5,
    DEMO_CLOSE = 6,
    DEMO_MOUSE_ENTER = 7,
    DEMO_MOUSE_LEAVE = 8,
    DEMO_LOADING_DONE = 9,
    DEMO_REGISTRY_SUBKEYS = 10,
    DEMO_REGISTRY_READ = 11,
    DEMO_REGISTRY_WRITE = 12,
    DEMO_REGISTRY_ERASE_KEY = 13,
    DEMO_FILE_EXISTS = 14,
    DEMO_FILE_READ = 15,
    DEMO_FILE_WRITE = 16,
    DEMO_SYNC_BUFFER = 18,
    DEMO_ASSERT_STRING = 19,
    DEMO_ASSERT_INT = 20,
    DEMO_MOUSE_WHEEL = 21,
    DEMO_REFRESH_SYNC = 23,
    DEMO_FILLER = 31
};

// Bits of a command head's fields: the updates since the previous command, the short-form
// flag, then the kind (short form) or the id (long form).
constexpr int32_t kDemoHeadTimeBits = 4;
constexpr int32_t kDemoShortKindBits = 1;
constexpr int32_t kDemoCommandIdBits = 5;

constexpr uint32_t kDemoMagic = 0x42BEEF78;
constexpr uint32_t kDemoVersion = 2;
// Bits of the shortest command: a long-form head with nothing behind it (a mouse button's
// short form is as long).
constexpr int32_t kDemoMinCommandBits = kDemoHeadTimeBits + 1 + kDemoCommandIdBits;

struct DemoFile
{
    uint32_t mVersion = kDemoVersion;
    uint32_t mRandSeed = 0;
    std::string mProductName;
    // (name, update count) in recording order.
    std::list<std::pair<std::string, int32_t>> mMarkers;
    // Update count when the recording ended.
    uint32_t mUpdateTotal = 0;
    // The command stream's bytes.
    std::vector<uint8_t> mStream;
};

// Reads a demo file's bytes for the program named productName. False with the message
// "Invalid demo file." or "This demo file appears to be for '<name>'"; markers read
// before a damaged marker block was found stay in demo->mMarkers.
bool ParseDemoFile(const uint8_t* data, size_t size, const std::string& productName, DemoFile* demo,
                   std::string* error);
// The file's bytes (written as version 2).
std::vector<uint8_t> BuildDemoFile(const DemoFile& demo);

// A demo file name used as it stands: a drive ("C:..."), "XY\..." as the other platform
// writes absolute paths, or a path from the root of this system's file tree.
bool IsAbsoluteDemoPath(const std::string& path);

// ---- The command stream ------------------------------------------------------------------
// Whole bytes left behind the read position.
int32_t DemoBytesLeft(const Buffer& stream);
// A 32-bit length and that many bytes. The length read is capped by the bytes left (a
// negative one counts as 0).
std::vector<uint8_t> ReadDemoBytes(const Buffer& stream);
void WriteDemoBytes(Buffer& stream, const uint8_t* bytes, int32_t count);
// A string whose length is capped by the bytes left.
std::string ReadDemoString(const Buffer& stream);
// At most 32767 bytes of the text, so that its 16-bit length reads back as written.
void WriteDemoString(Buffer& stream, const std::string& text);

// Recording: the head of a long-form command (a DemoCommandId) at the current update.
void BeginDemoCommand(VaxoAppBase& app, int32_t id);
// Recording: the head of a short-form command (a DemoShortKind) at the current update.
void BeginDemoShortCommand(VaxoAppBase& app, int32_t kind);
// Playing: whether a synchronous operation takes its answer from the stream (a demo plays,
// no live close detached it, and the stream holds the answer). If so, the operation's head
// has been taken and its payload follows.
bool TakeDemoAnswer(VaxoAppBase& app);
// Playing: only the zero bits padding the last byte are left, and no command head waits
// to be played.
bool DemoStreamEnded(const VaxoAppBase& app);
// Playing: whether the whole payload of the command whose head was just read is in the
// stream (a file cut short ends inside one).
bool DemoPayloadInStream(const VaxoAppBase& app);
// Playing: the demo file ends before what was recorded has been replayed. The user is told
// (once, naming the file), the rest of the stream is dropped and the demo detached: the
// program goes on without input, its demo-aware operations answering as after a live close.
void EndDemoEarly(VaxoAppBase& app);
// Recording: tells the user at once, rather than when the run ends, that the demo file
// cannot be saved. The demo is still recorded, and saving it is tried again at the end.
void CheckDemoFileCanBeSaved(VaxoAppBase& app);

// Whole-file helpers of the file operations and the demo writer; the writer is
// WriteFileAtomically (common/AtomicFile.h).
// The whole regular file; false for folders, files larger than a Buffer holds (256 MB),
// and reads that come up short.
bool ReadWholeFile(const std::string& fileName, std::vector<uint8_t>* bytes);
// Whether WriteFileAtomically could save fileName now: a temporary file can be made beside
// it and the target is no folder. False with the reason (an errno value) in *error. The
// folder must exist.
bool CanSaveWholeFile(const std::string& fileName, int* error);

} // namespace Vaxo
