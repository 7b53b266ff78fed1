// SampleApp: the smallest program on the framework, written as the model for a new one.
//
// The application class sets its product strings and window size in its constructor,
// loads what the first screen needs in InitHook (here the bitmap font the build made
// into the bundle's Resources folder), puts its screen into the widget manager, and does
// the rest of its loading on the loading thread (LoadingThreadProc, which reports its
// progress through the two task counters). The framework runs the main loop; the window's
// close button ends it. Settings live in the store below HOME (here the number of runs).
//
// Command-line options: -3d or -software (stored, like the options dialog would),
// -windowed or -fullscreen (this run only).
#pragma once

#include "app/VaxoAppBase.h"
#include "graphics/MemoryImage.h"
#include "widgets/Widget.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace Vaxo
{

class ImageFont;
class SampleApp;

// The one screen: a coloured area with the title (a click changes its colour), the run
// and the seconds running, the loading progress, and the pictures the loading thread made.
class SampleScreen : public Widget
{
public:
    explicit SampleScreen(SampleApp* app);

    void Update() override;
    void Draw(Graphics* g) override;
    void MouseDown(int x, int y, int clickCount) override;

    // Where the coloured area and the progress bar lie, in window pixels.
    static TRect<int> AreaRect();
    static TRect<int> BarRect();
    // Colours of the area, chosen in turn by clicks.
    static const int kAreaColors[3];

    SampleApp* mApp;
    int32_t mAreaColor;
    // What the last draw showed, so that the screen is drawn again only when it changes.
    int32_t mShownSeconds;
    int32_t mShownProgress;
};

class SampleApp : public VaxoAppBase
{
public:
    SampleApp();
    ~SampleApp() override;

    void InitHook() override;
    void ShutdownHook() override;
    void LoadingThreadProc() override;
    void LoadingThreadCompleted() override;
    void HandleCmdLineParam(const std::string& name, const std::string& value) override;
    void ReadFromRegistry() override;
    void WriteToRegistry() override;

    std::unique_ptr<ImageFont> mFont;
    std::unique_ptr<SampleScreen> mScreen;
    // Made by the loading thread; read by the main thread only once loading is handed over.
    std::vector<std::unique_ptr<MemoryImage>> mTiles;
    // Runs of the program so far, this one included (setting "Runs").
    int32_t mRunCount;
    // Command-line choices: 1 on, 0 off, -1 not given.
    int32_t mWant3D;
    int32_t mWantWindowed;
    // GetTicks when the loading thread started and at the first update, for the report.
    uint32_t mStartTick;
    uint32_t mFirstUpdateTick;
    int32_t mFirstUpdateCount;
};

} // namespace Vaxo
