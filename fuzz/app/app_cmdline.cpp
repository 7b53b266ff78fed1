// The command-line splitter over arbitrary text: it must end and hand on only options
// made of the text's own characters.
#include "app/VaxoAppBase.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace
{

class CmdLineApp : public Vaxo::VaxoAppBase
{
public:
    size_t mOptionBytes = 0;
    void HandleCmdLineParam(const std::string& name, const std::string& value) override
    {
        if (name.empty())
            std::abort();
        mOptionBytes += name.size() + value.size();
    }
};

// The splitter needs no window, input or sound: the bare platform.
CmdLineApp* MakeApp()
{
    Vaxo::SetPlatformFactory([](Vaxo::VaxoAppBase* owner) { return new Vaxo::Platform(owner); });
    return new CmdLineApp();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static CmdLineApp* app = MakeApp();
    app->mOptionBytes = 0;
    app->ParseCmdLine(std::string(reinterpret_cast<const char*>(data), size));
    // Quotes, blanks and equals signs are never part of an option.
    if (app->mOptionBytes > size)
        std::abort();
    return 0;
}
