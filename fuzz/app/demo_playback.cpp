// Playback of an arbitrary command stream, interleaved with the synchronous operations
// that take their answers from it (file reads, settings reads into small buffers, key
// listings, clipboard, synchronised values). Input: the operations (one byte each), then
// the stream; the last byte says how many operations there are. Nothing a replayed answer
// hands out may be larger than the stream it came from, a settings read never writes past
// its buffer (AddressSanitizer), the stream always runs out, and a stream cut inside a
// command ends the demo there.
#include "app/VaxoAppBase.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

using namespace Vaxo;

namespace
{

class PlaybackApp : public VaxoAppBase
{
public:
    PlaybackApp() { mRegKey = "Fuzz"; }
    // Playback only ends the run; the rest of the shutdown is not under test.
    void Shutdown() override { mShutdown = true; }
};

PlaybackApp* MakeApp()
{
    SetPlatformFactory([](VaxoAppBase* owner) { return new Platform(owner); });
    return new PlaybackApp();
}

// Fails the run when an answer holds more than the stream did.
void Cap(size_t answer, size_t stream)
{
    if (answer > stream)
        std::abort();
}

void SyncOperation(PlaybackApp* app, uint8_t op, size_t streamSize)
{
    Buffer buffer;
    uint8_t small[3];
    uint32_t type = 0, length = sizeof(small);
    std::vector<std::string> keys;
    std::string text;
    int number = 0;
    switch (op % 10)
    {
    case 0:
        app->FileExists("f");
        break;
    case 1:
        app->ReadBufferFromFile("f", &buffer, false);
        Cap(size_t(buffer.GetDataLen()), streamSize);
        break;
    case 2:
        app->RegistryRead("v", &type, small, &length);
        break;
    case 3:
        app->RegistryReadString("s", &text);
        Cap(text.size(), streamSize);
        break;
    case 4:
        app->RegistryGetSubKeys("k", &keys);
        Cap(keys.size(), streamSize);
        break;
    case 5:
        Cap(app->GetClipboard().size(), streamSize);
        break;
    case 6:
        app->DemoSyncInt(&number);
        app->DemoSyncBuffer(&buffer);
        Cap(size_t(buffer.GetDataLen()), streamSize);
        break;
    case 7:
        app->WriteBytesToFile("f", "x", 1);
        app->RegistryWriteInteger("i", 1);
        break;
    case 8:
        app->DemoAssertStringEqual("s");
        app->DemoAssertIntEqual(1);
        break;
    default:
        app->RegistryEraseKey("k");
        break;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static PlaybackApp* app = MakeApp();
    FuzzedDataProvider input(data, size);
    std::vector<uint8_t> ops = input.ConsumeBytes<uint8_t>(input.ConsumeIntegralInRange<size_t>(0, 32));
    std::vector<uint8_t> stream = input.ConsumeRemainingBytes<uint8_t>();

    app->mPlayingDemo = true;
    app->mShutdown = false;
    app->mDemoDetached = false;
    app->mDemoHeadPending = true;
    app->mLoaded = app->mDemoLoadDone = false;
    app->mDemoCommandTime = 0;
    app->mUpdateCount = 0;
    app->mDemoMouseX = app->mDemoMouseY = 0;
    app->mDemoBuffer.Clear();
    app->mDemoBuffer.SetData(stream);

    // The main loop: commands when due, an operation between updates, and updates up to
    // the next command. Each pass reads a head or ends the stream.
    size_t next = 0;
    const size_t passes = stream.size() * 8 / 6 + ops.size() + 2;
    for (size_t pass = 0; pass < passes && !app->mShutdown; pass++)
    {
        // A played hand-over: the loading thread has finished.
        app->mLoaded = app->mDemoLoadDone;
        if (app->mUpdateCount == app->mDemoCommandTime)
            app->ProcessDemo();
        if (next < ops.size())
            SyncOperation(app, ops[next++], stream.size());
        // A demo that ended early keeps nothing that could be read as commands.
        if (app->mDemoDetached && app->mDemoBuffer.GetDataLenBits() != 0)
            std::abort();
        if (app->mDemoCommandTime < app->mUpdateCount)
            return 0; // the stream has ended
        app->mUpdateCount = app->mDemoCommandTime;
    }
    if (!app->mShutdown && next == ops.size())
        std::abort(); // a stream that never ends
    return 0;
}
