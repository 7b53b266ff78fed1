#include "app/sdl/BundlePath.h"

#include <unistd.h>

#include <vector>

namespace Vaxo
{

namespace
{
const char kBundleSuffix[] = ".app";
const char kExecutableFolder[] = "/Contents/MacOS";

bool EndsWith(const std::string& text, const std::string& tail)
{
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}
} // namespace

std::string BundlePathOf(const std::string& programPath)
{
    // The nearest ancestor folder ".../<name>.app/Contents/MacOS" wins.
    std::string folder = programPath;
    for (;;)
    {
        size_t slash = folder.find_last_of('/');
        if (slash == std::string::npos || slash == 0)
            return std::string();
        folder.resize(slash);
        if (!EndsWith(folder, kExecutableFolder))
            continue;
        std::string bundle = folder.substr(0, folder.size() - (sizeof(kExecutableFolder) - 1));
        size_t nameStart = bundle.find_last_of('/') + 1; // npos + 1 == 0
        if (EndsWith(bundle, kBundleSuffix) && bundle.size() - nameStart > sizeof(kBundleSuffix) - 1)
            return bundle;
    }
}

std::string MainBundlePath()
{
    std::vector<char> buffer(4096);
    ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length <= 0 || size_t(length) >= buffer.size())
        return std::string();
    return BundlePathOf(std::string(buffer.data(), size_t(length)));
}

} // namespace Vaxo
