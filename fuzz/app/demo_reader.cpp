// The demo file reader over arbitrary bytes: it must end, accept only files whose stream
// it holds, and never hand out more than the file held.
#include "app/DemoFile.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Vaxo::DemoFile demo;
    std::string error;
    bool read = Vaxo::ParseDemoFile(data, size, "Product", &demo, &error);
    size_t held = demo.mStream.size();
    for (const auto& marker : demo.mMarkers)
        held += marker.first.size() + 6;
    if (held > size || read != error.empty() || (read && demo.mStream.empty()))
        std::abort();
    return 0;
}
