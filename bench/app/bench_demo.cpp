// One synthetic hour of play (360,000 updates of 10 ms) through the demo stream, against
// SDL's event queue carrying the same events:
//   - Record: every window event of the hour written as its demo command;
//   - Replay: the hour played back update by update (ProcessDemo), each command handed to
//     the widget manager (no widgets, so the manager's own cost stays small);
//   - SDL_PushEvent then SDL_PollEvent of the same events, one update's events at a time
//     (SDL's dummy video driver: the queue needs video, not a display).
// The counter time_per_command is wall time per event (one command each).
#include "app/VaxoAppBase.h"

#include <SDL.h>
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

using namespace Vaxo;

namespace
{

constexpr int32_t kUpdates = 360000;

struct Event
{
    int32_t update;
    WinEventType type;
    int param, x, y;
};

// The mouse wanders by a few pixels every update; a click every half second; a key typed
// every second.
const std::vector<Event>& Hour()
{
    static const std::vector<Event> events = []
    {
        std::vector<Event> list;
        int x = 400, y = 300;
        for (int32_t u = 0; u < kUpdates; u++)
        {
            x += (u % 7) - 3 == 0 ? 1 : (u % 7) - 3;
            y += (u % 5) - 2 == 0 ? -1 : (u % 5) - 2;
            x = 200 + (x - 200 + 400) % 400;
            y = 150 + (y - 150 + 300) % 300;
            list.push_back({u, WINEVENT_MOUSEMOVE, 0, x, y});
            if (u % 50 == 0)
                list.push_back({u, WINEVENT_LBUTTONDOWN, 0, x, y});
            if (u % 50 == 1)
                list.push_back({u, WINEVENT_LBUTTONUP, 0, x, y});
            if (u % 100 == 2)
            {
                list.push_back({u, WINEVENT_KEYDOWN, 65, 0, 0});
                list.push_back({u, WINEVENT_CHAR, 'a', 0, 0});
                list.push_back({u, WINEVENT_KEYUP, 65, 0, 0});
            }
        }
        return list;
    }();
    return events;
}

VaxoAppBase& App()
{
    static VaxoAppBase* app = []
    {
        SetPlatformFactory([](VaxoAppBase* owner) { return new Platform(owner); });
        return new VaxoAppBase();
    }();
    return *app;
}

void Record(VaxoAppBase& app)
{
    app.mRecordingDemo = true;
    app.mPlayingDemo = false;
    app.mDemoBuffer.Clear();
    app.mDemoCommandTime = 0;
    app.mDemoMouseX = app.mDemoMouseY = 0;
    for (const Event& e : Hour())
    {
        app.mUpdateCount = e.update;
        app.DemoRecordWindowMessage(e.type, e.param, e.x, e.y);
    }
}

void SetTimePerCommand(benchmark::State& state)
{
    state.counters["time_per_command"] = benchmark::Counter(
        double(Hour().size()), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_DemoRecordHour(benchmark::State& state)
{
    VaxoAppBase& app = App();
    for (auto _ : state)
    {
        Record(app);
        benchmark::DoNotOptimize(app.mDemoBuffer.GetDataLen());
    }
    state.counters["stream_bytes"] = double(app.mDemoBuffer.GetDataLen());
    SetTimePerCommand(state);
}
BENCHMARK(BM_DemoRecordHour)->Unit(benchmark::kMillisecond);

void BM_DemoReplayHour(benchmark::State& state)
{
    VaxoAppBase& app = App();
    Record(app);
    app.mRecordingDemo = false;
    app.mPlayingDemo = true;
    for (auto _ : state)
    {
        app.mDemoBuffer.SeekFront();
        app.mDemoHeadPending = true;
        app.mDemoCommandTime = 0;
        app.mDemoMouseX = app.mDemoMouseY = 0;
        for (int32_t u = 0; u < kUpdates; u++)
        {
            app.mUpdateCount = u;
            app.ProcessDemo();
        }
        benchmark::DoNotOptimize(app.mDemoMouseX);
    }
    SetTimePerCommand(state);
}
BENCHMARK(BM_DemoReplayHour)->Unit(benchmark::kMillisecond);

SDL_Event ToSDL(const Event& e)
{
    SDL_Event event = {};
    switch (e.type)
    {
    case WINEVENT_MOUSEMOVE:
        event.type = SDL_MOUSEMOTION;
        event.motion.x = Uint16(e.x);
        event.motion.y = Uint16(e.y);
        break;
    case WINEVENT_LBUTTONDOWN:
    case WINEVENT_LBUTTONUP:
        event.type = e.type == WINEVENT_LBUTTONDOWN ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
        event.button.button = SDL_BUTTON_LEFT;
        event.button.x = Uint16(e.x);
        event.button.y = Uint16(e.y);
        break;
    default:
        // SDL types a character as a key press with its Unicode value.
        event.type = e.type == WINEVENT_KEYUP ? SDL_KEYUP : SDL_KEYDOWN;
        event.key.keysym.sym = SDLK_a;
        event.key.keysym.unicode = e.type == WINEVENT_CHAR ? Uint16('a') : 0;
        break;
    }
    return event;
}

void BM_SDLPushPollHour(benchmark::State& state)
{
    setenv("SDL_VIDEODRIVER", "dummy", 0);
    if (SDL_Init(SDL_INIT_VIDEO) != 0)
    {
        state.SkipWithError("SDL_Init failed");
        return;
    }
    std::vector<SDL_Event> events;
    for (const Event& e : Hour())
        events.push_back(ToSDL(e));
    const std::vector<Event>& hour = Hour();
    for (auto _ : state)
    {
        size_t i = 0;
        while (i < events.size())
        {
            const int32_t update = hour[i].update;
            for (; i < events.size() && hour[i].update == update; i++)
                SDL_PushEvent(&events[i]);
            SDL_Event polled;
            while (SDL_PollEvent(&polled))
                benchmark::DoNotOptimize(polled.type);
        }
    }
    SDL_Quit();
    SetTimePerCommand(state);
}
BENCHMARK(BM_SDLPushPollHour)->Unit(benchmark::kMillisecond);

} // namespace
