// Legacy font width-file bytes with a 64 x 16 glyph strip into an ImageFont, then
// SetScale(1.5), a measure and a draw.
#include "graphics/Graphics.h"
#include "graphics/ImageFont.h"
#include "graphics/MemoryImage.h"
#include "graphics/support/TestApp.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

using namespace Vaxo;

namespace
{
std::string gDir;

void RemoveTempFolder()
{
    std::error_code error;
    std::filesystem::remove_all(gDir, error);
}

struct Setup
{
    TestApp app;
    std::string path;
    MemoryImage strip{nullptr};
    MemoryImage dest{nullptr};

    Setup()
    {
        char pattern[] = "/tmp/vaxo_fuzz_widths_XXXXXX";
        if (mkdtemp(pattern) == nullptr)
            abort();
        gDir = pattern;
        atexit(RemoveTempFolder);
        path = gDir + "/widths.txt";
        strip.Create(64, 16);
        uint32_t* bits = strip.GetBits();
        for (int i = 0; i < 64 * 16; ++i)
            bits[i] = (i % 7 == 0) ? 0 : 0xFFFFFFFFu - uint32_t(i);
        strip.BitsChanged();
        dest.Create(160, 40);
    }
};

Setup& Get()
{
    static Setup* setup = new Setup(); // kept for the whole run
    return *setup;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Setup& s = Get();
    FILE* f = std::fopen(s.path.c_str(), "wb");
    if (f == nullptr)
        abort();
    std::fwrite(data, 1, size, f);
    std::fclose(f);

    ImageFont font(&s.strip, s.path);
    const std::string text = "The quick brown fox; AZaz09 \x80\xFF";
    font.SetScale(1.5);
    font.StringWidth(text);
    Graphics g(&s.dest);
    font.DrawString(&g, 2, 30, text, Color(200, 100, 50, 255), g.mClipRect);
    return 0;
}
