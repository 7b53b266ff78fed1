// Font descriptor bytes into an ImageFont (FontData::Load) whose pictures come from the
// test application (a 64 x 64 glyph sheet named "g.png"); then the active layers at
// several point sizes and scales, and a string from the input measured and drawn.
#include "graphics/Graphics.h"
#include "graphics/ImageFont.h"
#include "graphics/MemoryImage.h"
#include "graphics/support/TestApp.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
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
    std::string dir;
    std::string path;
    MemoryImage dest{nullptr};

    Setup()
    {
        char pattern[] = "/tmp/vaxo_fuzz_font_XXXXXX";
        if (mkdtemp(pattern) == nullptr)
            abort();
        dir = gDir = pattern;
        atexit(RemoveTempFolder);
        path = dir + "/font.txt";
        auto sheet = std::make_shared<MemoryImage>(nullptr);
        sheet->Create(64, 64);
        uint32_t* bits = sheet->GetBits();
        for (int i = 0; i < 64 * 64; ++i)
            bits[i] = (i * 2654435761u) | 0x80000000u;
        sheet->BitsChanged();
        app.ServeImage(dir + "/g.png", sheet);
        dest.Create(160, 80);
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
    s.app.mPopups.clear();

    ImageFont font(&s.app, s.path);
    const std::string text(reinterpret_cast<const char*>(data) + (size > 24 ? size - 24 : 0),
                           size > 24 ? 24 : size);
    Graphics g(&s.dest);
    const int sizes[] = {font.GetDefaultPointSize(), 9, 16};
    const double scales[] = {1.0, 0.6, 1.5};
    for (int pointSize : sizes)
        for (double scale : scales)
        {
            font.SetPointSize(pointSize);
            font.SetScale(scale);
            font.StringWidth(text);
            font.DrawString(&g, 4, 40, text, Color::White, g.mClipRect);
        }
    std::unique_ptr<Font> copy(font.Duplicate());
    copy->StringWidth(text);
    s.app.CleanSharedImages();
    return 0;
}
