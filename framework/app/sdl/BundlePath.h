// Internal to framework/app/sdl.
// BundlePath: stand-in for the system service that names the running program's
// application bundle, on a system that has none. A program counts as bundled when it lies
// below a folder "<name>.app/Contents/MacOS/"; the bundle is then "<...>/<name>.app".
#pragma once

#include <string>

namespace Vaxo
{

// The bundle folder of the program at programPath (no trailing slash), or an empty string
// when the program is not inside a bundle.
std::string BundlePathOf(const std::string& programPath);

// The bundle folder of the running program, or an empty string.
std::string MainBundlePath();

} // namespace Vaxo
