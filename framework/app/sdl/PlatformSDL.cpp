// PlatformSDL: construction and teardown, AppInit with the folders and the settings
// store, the window and display, the factories and the command line.
#include "app/sdl/PlatformSDL.h"

#include "app/VaxoAppBase.h"
#include "app/sdl/BundlePath.h"
#include "app/sdl/SDLMusicInterface.h"
#include "app/sdl/SDLSoundManager.h"
#include "common/Common.h"
#include "common/Registry.h"
#include "graphics/SDLDisplay.h"
#include "graphics/SDLImage.h"
#include "graphics/SysFont.h"
#include "widgets/WidgetManager.h"

#include <SDL.h>
#include <SDL_mixer.h>

#include <fstream>
#include <iterator>

namespace Vaxo
{

Platform* CreateDefaultPlatform(VaxoAppBase* app)
{
    return new PlatformSDL(app);
}

PlatformSDL::PlatformSDL(VaxoAppBase* app)
    : Platform(app), mDisplay(nullptr), mCursors(), mCurrentCursor(nullptr), mCursorShown(true),
      mDoubleClickTime(300), mMovedSinceDown(false), mLastDownTick(0), mLastTimerTick(0),
      mTimerStarted(false), mLeftDownAsRight(false)
{
    // Without video (no display) the application still runs, windowless.
    SDL_Init(SDL_INIT_VIDEO);
    SDL_EnableUNICODE(1);
    SDL_EnableKeyRepeat(500, 30);
    InitCursors();
    SDL_SetCursor(mCursors[CURSOR_POINTER]);
}

PlatformSDL::~PlatformSDL()
{
    for (SDL_Cursor*& cursor : mCursors)
    {
        if (cursor != nullptr)
            SDL_FreeCursor(cursor);
        cursor = nullptr;
    }
    CloseAudioDevice();
    SDL_Quit();
    RegistryFileClose();
}

void PlatformSDL::CloseAudioDevice()
{
    // The mixer counts its openings; a device left open would be found stale by the next
    // application object of this process.
    int frequency = 0;
    int channels = 0;
    Uint16 format = 0;
    while (Mix_QuerySpec(&frequency, &format, &channels) != 0)
        Mix_CloseAudio();
}

void PlatformSDL::AppInit()
{
    SDL_WM_SetCaption(mApp->mTitle.c_str(), "");
    mApp->mHasFocus = true;
    mApp->mActive = true;
    mApp->mWidgetManager->mAppHasFocus = true;
    ApplePathInit();
    RegistryFileOpen(GetAppDataFolder() + "registry.bin");
}

void PlatformSDL::ApplePathInit()
{
    SetAppDataFolder(DataFolderBelowHome());
    std::string bundle = MainBundlePath();
    if (!bundle.empty())
        mApp->mChangeDir = AddTrailingSlash(bundle) + "Contents/Resources";
}

int PlatformSDL::InitDisplay(bool)
{
    SDL_WM_SetCaption(mApp->mTitle.c_str(), "");
    mCurrentCursor = nullptr;
    mApp->mFullRedraw = false;

    bool firstDisplay = false;
    if (mApp->mDisplay == nullptr)
    {
        mDisplay = new SDLDisplay(mApp);
        mApp->mDisplay = mDisplay;
        bool is3D = mApp->mAutoEnable3D;
        mApp->RegistryReadBoolean("Is3D", &is3D);
        mDisplay->mIs3D = is3D;
        firstDisplay = true;
    }
    mApp->mIsPhysWindowed = mApp->mIsWindowed;
    mApp->PreDDInterfaceInitHook();
    mApp->DeleteNativeImageData();

    // Video that did not come up at construction gets one more try; without it SDL's
    // OpenGL set-up would crash, so the display reports SDL's error instead.
    int result = NativeDisplay::RESULT_DD_CREATE_FAIL;
    if (SDL_WasInit(SDL_INIT_VIDEO) != 0 || SDL_InitSubSystem(SDL_INIT_VIDEO) == 0)
    {
        if (mCursors[0] == nullptr)
            InitCursors();
        result = mDisplay->Init();
    }
    else
        mDisplay->mErrorString = SDL_GetError();
    mApp->DemoSyncRefreshRate();
    if (result != NativeDisplay::RESULT_OK)
        return result;

    mApp->ReInitImages();
    mApp->mWidgetManager->mScreenImage = static_cast<MemoryImage*>(mDisplay->GetScreenImage());
    mApp->mWidgetManager->MarkAllDirty();
    mApp->PostDDInterfaceInitHook();
    // The first switch into full screen takes the monitor a moment.
    if (firstDisplay && !mApp->mIsPhysWindowed)
        ThreadSleep(1000);
    return NativeDisplay::RESULT_OK;
}

void PlatformSDL::DestroyDisplay()
{
    delete mApp->mDisplay;
    mApp->mDisplay = nullptr;
    mDisplay = nullptr;
}

void PlatformSDL::HandlePrematureExit()
{
    CloseAudioDevice();
    SDL_Quit();
}

bool PlatformSDL::Redraw(TRect<int>* rect)
{
    if (mDisplay != nullptr)
        mDisplay->Redraw(rect);
    return true;
}

NativeImage* PlatformSDL::CreateNativeImage()
{
    return new SDLImage(mDisplay);
}

Font* PlatformSDL::CreateFont(const std::string& face, int pointSize, bool bold, bool italic, bool underline,
                              bool)
{
    SysFont* sysFont = new SysFont(face, pointSize, bold, italic, underline);
    Font* imageFont = sysFont->CreateImageFont();
    if (imageFont == nullptr)
        return sysFont;
    delete sysFont;
    return imageFont;
}

MusicInterface* PlatformSDL::CreateMusicInterface()
{
    return new SDLMusicInterface();
}

SoundManager* PlatformSDL::CreateSoundManager()
{
    return new SDLSoundManager();
}

std::string PlatformSDL::GetCmdLine()
{
    // The arguments as the system started the program, separated by NULs.
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::string> args;
    size_t start = 0;
    while (start < all.size())
    {
        size_t end = all.find('\0', start);
        if (end == std::string::npos)
            end = all.size();
        args.push_back(all.substr(start, end - start));
        start = end + 1;
    }
    return JoinCommandLine(args);
}

std::string JoinCommandLine(const std::vector<std::string>& args)
{
    std::string line;
    for (size_t i = 0; i < args.size(); ++i)
    {
        const std::string& arg = args[i];
        if (i > 0)
            line += ' ';
        if (arg.find(' ') != std::string::npos)
            line += '"' + arg + '"';
        else
            line += arg;
    }
    return line;
}

} // namespace Vaxo
