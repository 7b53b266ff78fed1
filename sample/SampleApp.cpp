#include "SampleApp.h"

#include "SampleFont.h"
#include "graphics/Graphics.h"
#include "graphics/ImageFont.h"
#include "graphics/FontData.h"
#include "widgets/WidgetManager.h"

#include <cstdio>

namespace Vaxo
{

namespace
{
constexpr int kBackground = 0x1E2A3A;
constexpr int kText = 0xFFFFFF;
constexpr int kBarFrame = 0x808890;
constexpr int kBarFill = 0x40C040;
constexpr int kTileCount = 8;
constexpr int kTileSize = 64;

// One picture of the loading work: a gradient of its own hue.
MemoryImage* MakeTile(VaxoAppBase* app, int index)
{
    MemoryImage* tile = new MemoryImage(app);
    tile->Create(kTileSize, kTileSize);
    uint32_t* bits = tile->GetBits();
    const uint32_t red = uint32_t(index * 255 / (kTileCount - 1));
    for (int y = 0; y < kTileSize; y++)
        for (int x = 0; x < kTileSize; x++)
            bits[y * kTileSize + x] = 0xFF000000 | red << 16 | uint32_t(x * 4) << 8 | uint32_t(y * 4);
    tile->BitsChanged();
    return tile;
}
} // namespace

const int SampleScreen::kAreaColors[3] = {0xF08020, 0x2080F0, 0xC040C0};

SampleScreen::SampleScreen(SampleApp* app) : mApp(app), mAreaColor(0), mShownSeconds(-1), mShownProgress(-1)
{
    Resize(0, 0, app->mWidth, app->mHeight);
}

TRect<int> SampleScreen::AreaRect()
{
    return TRect<int>(80, 80, 640, 200);
}

TRect<int> SampleScreen::BarRect()
{
    return TRect<int>(80, 340, 640, 30);
}

void SampleScreen::Update()
{
    Widget::Update();
    const int32_t seconds = mApp->mUpdateCount / 100;
    const int32_t progress = int32_t(mApp->GetLoadingThreadProgress() * 100.0);
    if (seconds != mShownSeconds || progress != mShownProgress)
        MarkDirty();
}

void SampleScreen::Draw(Graphics* g)
{
    mShownSeconds = mApp->mUpdateCount / 100;
    mShownProgress = int32_t(mApp->GetLoadingThreadProgress() * 100.0);

    g->SetColor(Color(kBackground));
    g->FillRect(0, 0, mWidth, mHeight);
    const TRect<int> area = AreaRect();
    g->SetColor(Color(kAreaColors[mAreaColor]));
    g->FillRect(area);

    g->SetFont(mApp->mFont.get());
    g->SetColor(Color(kText));
    g->DrawString("VAXO SAMPLE", area.mX + 20, area.mY + 20 + kSampleFontAscent);
    g->DrawString("Run " + std::to_string(mApp->mRunCount) + " - " + std::to_string(mShownSeconds) + " s",
                  area.mX + 20, area.mY + 60 + kSampleFontAscent);
    g->DrawString("Click here to change the colour.", area.mX + 20, area.mY + 150 + kSampleFontAscent);

    const TRect<int> bar = BarRect();
    g->SetColor(Color(kBarFrame));
    g->FillRect(bar);
    g->SetColor(Color(kBackground));
    g->FillRect(bar.mX + 2, bar.mY + 2, bar.mWidth - 4, bar.mHeight - 4);
    g->SetColor(Color(kBarFill));
    g->FillRect(bar.mX + 2, bar.mY + 2, (bar.mWidth - 4) * mShownProgress / 100, bar.mHeight - 4);
    g->SetColor(Color(kText));
    g->DrawString(mApp->mLoaded ? "Loaded" : "Loading " + std::to_string(mShownProgress) + "%", bar.mX,
                  bar.mY + bar.mHeight + 10 + kSampleFontAscent);

    if (mApp->mLoaded)
    {
        for (size_t i = 0; i < mApp->mTiles.size(); i++)
            g->DrawImage(mApp->mTiles[i].get(), bar.mX + int(i) * (kTileSize + 16), 440);
    }
}

void SampleScreen::MouseDown(int x, int y, int clickCount)
{
    Widget::MouseDown(x, y, clickCount);
    if (AreaRect().Contains(x, y))
    {
        mAreaColor = (mAreaColor + 1) % 3;
        MarkDirty();
    }
}

SampleApp::SampleApp()
    : mRunCount(0), mWant3D(-1), mWantWindowed(-1), mStartTick(0), mFirstUpdateTick(0), mFirstUpdateCount(-1)
{
    mCompanyName = "Vaxo";
    mProductName = "Sample";
    mTitle = "Vaxo Sample";
    mRegKey = "Vaxo\\Sample";
    mWidth = 800;
    mHeight = 600;
}

SampleApp::~SampleApp()
{
    // This class's members go before the base waits for the loading thread: wait now.
    WaitForLoadingThread();
    // A widget leaves the manager before it goes.
    if (mScreen != nullptr)
        mWidgetManager->RemoveWidget(mScreen.get());
}

void SampleApp::HandleCmdLineParam(const std::string& name, const std::string& value)
{
    if (name == "-3d" || name == "-software")
        mWant3D = name == "-3d" ? 1 : 0;
    else if (name == "-windowed" || name == "-fullscreen")
        mWantWindowed = name == "-windowed" ? 1 : 0;
    else
        VaxoAppBase::HandleCmdLineParam(name, value);
}

void SampleApp::ReadFromRegistry()
{
    VaxoAppBase::ReadFromRegistry();
    RegistryReadInteger("Runs", &mRunCount);
    mRunCount++;
    if (mWantWindowed >= 0)
        mIsWindowed = mWantWindowed == 1;
    // The display reads the acceleration choice from the settings when it is made.
    if (mWant3D >= 0)
        RegistryWriteBoolean("Is3D", mWant3D == 1);
}

void SampleApp::WriteToRegistry()
{
    VaxoAppBase::WriteToRegistry();
    RegistryWriteInteger("Runs", mRunCount);
}

void SampleApp::InitHook()
{
    mFont.reset(new ImageFont(this, "fonts/sample.txt"));
    if (!mFont->mFontData->mInitialized)
        Popup("The sample's font fonts/sample.txt could not be loaded.", true);
    mScreen.reset(new SampleScreen(this));
    mWidgetManager->AddWidget(mScreen.get());
    mStartTick = GetTicks();
}

void SampleApp::ShutdownHook()
{
    mWidgetManager->RemoveWidget(mScreen.get());
    const uint32_t seconds = GetTicks() - mFirstUpdateTick;
    if (mFirstUpdateCount >= 0 && seconds > 0)
        std::printf("Vaxo sample: %d updates in %.2f s\n", mUpdateCount - mFirstUpdateCount,
                    seconds / 1000.0);
    std::fflush(stdout);
}

void SampleApp::LoadingThreadProc()
{
    mNumLoadingThreadTasks = kTileCount;
    for (int i = 0; i < kTileCount; i++)
    {
        mTiles.emplace_back(MakeTile(this, i));
        // Stands for a file being read.
        ThreadSleep(40);
        mCompletedLoadingThreadTasks++;
    }
}

void SampleApp::LoadingThreadCompleted()
{
    std::printf("Vaxo sample: loaded in %.2f s\n", (GetTicks() - mStartTick) / 1000.0);
    std::fflush(stdout);
    mFirstUpdateTick = GetTicks();
    mFirstUpdateCount = mUpdateCount;
    mScreen->MarkDirty();
}

} // namespace Vaxo
