// Image fonts on several threads: text drawn on two threads at once (the glyph queue is
// process-wide, so every draw runs under the font drawing lock) while a third thread
// loads fonts, as the loading thread does, from the shared glyph sheet.
#include "common/support/TestFolder.h"
#include "graphics/FontData.h"
#include "graphics/Graphics.h"
#include "graphics/ImageFont.h"
#include "graphics/MemoryImage.h"
#include "graphics/support/TestApp.h"

#include <gtest/gtest.h>

#include <atomic>
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
    TestFolder folder;
    const std::string path = folder.Write("font.txt", kDescriptor);
    auto sheet = std::make_shared<MemoryImage>(nullptr);
    std::vector<uint32_t> bits(8 * 6, 0xFFFFFFFFu);
    bits[0] = bits[20] = 0;
    sheet->SetBits(bits.data(), 8, 6);
    app.ServeImage(folder / "glyphs.png", sheet);
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
}

} // namespace
} // namespace Vaxo
