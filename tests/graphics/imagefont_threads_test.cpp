// Image fonts on several threads: text drawn on two threads at once (the glyph queue is
// process-wide, so every draw runs under the font drawing lock) while a third thread
// loads fonts, as the loading thread does, from the shared glyph sheet.
#include "graphics/FontData.h"
#include "graphics/Graphics.h"
#include "graphics/ImageFont.h"
#include "graphics/MemoryImage.h"
#include "graphics/support/TestApp.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace Vaxo
{
namespace
{

const char kDescriptor[] =
    "CreateLayer Main; LayerSetImage Main 'glyphs.png'; LayerSetPointSize Main 10;\n"
    "LayerSetImageMap Main ('a' 'b') ((0 0 4 6) (4 0 4 6));\n"
    "LayerSetCharWidths Main ('a' 'b') (5 5); LayerSetAscent Main 6;\n"
    "CreateLayerFrom Shadow Main; LayerSetBaseOrder Shadow -1; LayerSetOffset Shadow (1 1);\n"
    "LayerSetColorMult Shadow (0 0 0 0.5); SetDefaultPointSize 10;";

TEST(ImageFontThreads, TwoThreadsDrawWhileAThirdLoads)
{
    TestApp app;
    char pattern[] = "/tmp/vaxo_fontthreads_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string dir = pattern;
    const std::string path = dir + "/font.txt";
    std::ofstream(path) << kDescriptor;
    auto sheet = std::make_shared<MemoryImage>(nullptr);
    sheet->Create(8, 6);
    uint32_t* bits = sheet->GetBits();
    for (int i = 0; i < 8 * 6; ++i)
        bits[i] = i % 3 == 0 ? 0 : 0xFFFFFFFFu;
    sheet->BitsChanged();
    app.ServeImage(dir + "/glyphs.png", sheet);
    ImageFont original(&app, path);
    ASSERT_TRUE(original.mFontData->mInitialized);
    const int expectedWidth = original.StringWidth("abab");
    std::atomic<int> failures(0);
    auto draw = [&](int pointSize)
    {
        std::unique_ptr<Font> copy(original.Duplicate());
        ImageFont& font = static_cast<ImageFont&>(*copy);
        MemoryImage dest(nullptr);
        dest.Create(64, 32);
        Graphics g(&dest);
        g.SetColor(Color::White);
        for (int i = 0; i < 200; ++i)
        {
            // Changing the size makes each draw rebuild the scaled sheets inside the lock.
            font.SetPointSize(i % 2 == 0 ? 10 : pointSize);
            int width = 0;
            font.DrawStringEx(&g, 2, 20, "abab", Color::White, nullptr, nullptr, &width);
            if (i % 2 == 0 && width != expectedWidth)
                ++failures;
        }
    };
    auto load = [&]()
    {
        for (int i = 0; i < 20; ++i)
        {
            ImageFont font(&app, path);
            if (!font.mFontData->mInitialized || font.StringWidth("abab") != expectedWidth)
                ++failures;
        }
    };
    std::thread first(draw, 15);
    std::thread second(draw, 20);
    std::thread loader(load);
    first.join();
    second.join();
    loader.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_TRUE(app.mPopups.empty());
    std::filesystem::remove_all(dir);
}

} // namespace
} // namespace Vaxo
