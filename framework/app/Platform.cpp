#include "app/Platform.h"

#include "app/VaxoAppBase.h"
#include "common/Common.h"
#include "common/Registry.h"
#include "graphics/NativeDisplay.h"

#include <cstdio>
#include <cstdlib>

namespace Vaxo
{

namespace
{
PlatformFactory& InstalledFactory()
{
    static PlatformFactory factory;
    return factory;
}
} // namespace

Platform::Platform(VaxoAppBase* app) : mApp(app) {}

Platform::~Platform() = default;

int Platform::InitDisplay(bool)
{
    return NativeDisplay::RESULT_DD_CREATE_FAIL;
}

bool Platform::Redraw(TRect<int>*)
{
    return true;
}

bool Platform::SetCursorImage(Image*)
{
    return false;
}

// Nobody can answer here; the text still reaches the terminal so a fatal error is seen.
int Platform::MessageBoxA(const char* text, const char* caption, uint32_t, bool)
{
    std::fprintf(stderr, "%s: %s\n", caption != nullptr ? caption : "", text != nullptr ? text : "");
    return MSGBOX_ANSWER_NONE;
}

int Platform::MessageBoxW(const wchar_t* text, const wchar_t* caption, uint32_t type, bool modal)
{
    std::string narrowText = text != nullptr ? WStringToString(text) : std::string();
    std::string narrowCaption = caption != nullptr ? WStringToString(caption) : std::string();
    return MessageBoxA(narrowText.c_str(), narrowCaption.c_str(), type, modal);
}

bool Platform::IsMouseIn(bool)
{
    return true;
}

TPoint<int> Platform::GetMousePos()
{
    return TPoint<int>(0, 0);
}

Font* Platform::CreateFont(const std::string&, int, bool, bool, bool, bool)
{
    return nullptr;
}

std::string Platform::GetProductVersion(const std::string&)
{
    return std::string();
}

HTHREAD_* Platform::BeginThread(uint32_t (*)(void*), void*)
{
    return nullptr;
}

void Platform::SetThreadPriority(HTHREAD_*, int) {}

std::string Platform::DataFolderBelowHome() const
{
    // An empty HOME would make the folder relative to a current folder that changes at start.
    const char* home = std::getenv("HOME");
    std::string folder = AddTrailingSlash(home != nullptr && *home != 0 ? home : "/");
    return folder + "Library/Application Support/" + mApp->mCompanyName + "/" + mApp->mProductName + "/";
}

void Platform::OpenSettingsStore()
{
    SetAppDataFolder(DataFolderBelowHome());
    RegistryFileOpen(GetAppDataFolder() + "registry.bin");
}

PlatformFactory SetPlatformFactory(PlatformFactory factory)
{
    PlatformFactory previous = InstalledFactory();
    InstalledFactory() = std::move(factory);
    return previous;
}

Platform* CreatePlatform(VaxoAppBase* app)
{
    const PlatformFactory& factory = InstalledFactory();
    return factory ? factory(app) : CreateDefaultPlatform(app);
}

} // namespace Vaxo
