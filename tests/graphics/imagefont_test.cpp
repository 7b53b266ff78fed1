// Image fonts: choosing the active layers, metrics, measuring, and the order and colour of
// drawn glyphs (their pixels are compared with the blitter's in memoryimage_fastpath_test).
#include "graphics/ImageFont.h"

#include "graphics/FontData.h"
#include "graphics/Graphics.h"
#include "common/support/TestFolder.h"
#include "graphics/support/MemoryImageTestUtil.h"
#include "graphics/support/RecordingImage.h"
#include "graphics/support/TestApp.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace Vaxo
{
namespace
{

using Strings = std::vector<std::string>;

constexpr uint8_t U(char c)
{
    return static_cast<uint8_t>(c);
}

// Three glyphs on a 64 x 16 sheet: a (0,0,4,8) b (4,0,6,8) c (10,0,5,8).
const char kMainLayer[] = "CreateLayer Main;\n"
                          "LayerSetImage Main 'glyphs.png';\n"
                          "LayerSetImageMap Main ('a' 'b' 'c') ((0 0 4 8) (4 0 6 8) (10 0 5 8));\n"
                          "LayerSetCharWidths Main ('a' 'b' 'c') (5 7 6);\n"
                          "LayerSetAscent Main 6;\n";

class ImageFontTest : public ::testing::Test
{
protected:
    void SetUp() override { mApp.ServeImage(mDir / "glyphs.png", FilledImage(64, 16, 0xFFFFFFFF)); }

    std::unique_ptr<ImageFont> Make(const std::string& descriptor)
    {
        auto font = std::make_unique<ImageFont>(&mApp, mDir.Write("font.txt", descriptor));
        EXPECT_TRUE(font->mFontData->mInitialized) << descriptor;
        EXPECT_TRUE(mApp.mPopups.empty()) << (mApp.mPopups.empty() ? "" : mApp.mPopups[0].first);
        return font;
    }

    // Names of the active layers' base layers, in order.
    static std::vector<std::string> Active(ImageFont& font)
    {
        font.Prepare();
        std::vector<std::string> names;
        for (const ActiveFontLayer& active : font.mActiveLayerList)
            for (const auto& entry : font.mFontData->mFontLayerMap)
                if (entry.second == active.mBaseFontLayer)
                    names.push_back(entry.first);
        return names;
    }

    // The Blt calls of drawing str at (x, y) into a recording image.
    static std::vector<std::string> DrawCalls(ImageFont& font, const std::string& str, int x, int y,
                                              const Color& color = Color::White, int* width = nullptr,
                                              std::list<TRect<int>>* areas = nullptr)
    {
        RecordingImage dest("dest", 800, 600);
        Graphics g(&dest);
        font.DrawStringEx(&g, x, y, str, color, nullptr, areas, width);
        return dest.TakeCalls();
    }

    TestApp mApp;
    TestFolder mDir;
};

// ---- Layers -------------------------------------------------------------------------------------

TEST_F(ImageFontTest, LayersAreChosenByPointRangeAndTags)
{
    auto font = Make("CreateLayer Small; LayerPointRange Small 0 11;\n"
                     "CreateLayer Big; LayerPointRange Big 12 -1;\n"
                     "CreateLayer Mid; LayerPointRange Mid 10 14;\n"
                     "CreateLayer Any;\n"
                     "SetDefaultPointSize 12;");
    EXPECT_EQ(font->GetPointSize(), 12);
    const std::pair<int, std::vector<std::string>> cases[] = {
        {12, {"BIG", "MID", "ANY"}}, {8, {"SMALL", "ANY"}}, {11, {"SMALL", "MID", "ANY"}},
        {100, {"BIG", "ANY"}},       {-1, {"ANY"}},         {-2, {}},
    };
    for (const auto& c : cases)
    {
        font->SetPointSize(c.first);
        EXPECT_EQ(Active(*font), c.second) << c.first;
    }
    font = Make("CreateLayer Plain; LayerExcludeTags Plain ('glow');\n"
                "CreateLayer Glow; LayerRequireTags Glow ('glow');\n"
                "CreateLayer Both; LayerRequireTags Both ('glow' 'big');\n"
                "CreateLayer Always;");
    EXPECT_EQ(Active(*font), (Strings{"PLAIN", "ALWAYS"}));
    EXPECT_TRUE(font->AddTag("glow"));
    EXPECT_FALSE(font->AddTag("GLOW"));
    EXPECT_TRUE(font->HasTag("GLOW"));
    EXPECT_FALSE(font->HasTag("glow"));
    EXPECT_EQ(Active(*font), (Strings{"GLOW", "ALWAYS"}));
    EXPECT_TRUE(font->AddTag("Big"));
    EXPECT_EQ(Active(*font), (Strings{"GLOW", "BOTH", "ALWAYS"}));
    EXPECT_TRUE(font->RemoveTag("glow"));
    EXPECT_FALSE(font->RemoveTag("glow"));
    EXPECT_EQ(Active(*font), (Strings{"PLAIN", "ALWAYS"}));
}

TEST_F(ImageFontTest, MetricsTakeTheLargestAscentAndHeightAndTheSmallestPadding)
{
    auto font =
        Make("CreateLayer One; LayerSetAscent One 10; LayerSetHeight One 12;\n"
             "LayerSetAscentPadding One 2; LayerSetLineSpacingOffset One 1;\n"
             "CreateLayer Two; LayerSetImage Two 'glyphs.png'; LayerSetImageMap Two ('a') ((0 0 1 14));\n"
             "LayerSetAscent Two 8; LayerSetAscentPadding Two 1; LayerSetLineSpacingOffset Two 3;\n"
             "CreateLayer Three; LayerSetAscentPadding Three 5; LayerSetLineSpacingOffset Three -4;");
    EXPECT_EQ(font->GetAscent(), 10);
    EXPECT_EQ(font->GetHeight(), 14); // Two's height is its default height from the map
    EXPECT_EQ(font->GetAscentPadding(), 1);
    EXPECT_EQ(font->GetLineSpacingOffset(), 3);
    EXPECT_EQ(font->GetLineSpacing(), 17);
    EXPECT_EQ(font->GetDescent(), 4);
    // A font made on a bare image has one empty layer of the image's height.
    auto image = FilledImage(30, 12, 0xFFFFFFFF);
    ImageFont bare(image.get());
    EXPECT_EQ(bare.GetPointSize(), 0);
    EXPECT_EQ(bare.StringWidth("abc"), 0);
    EXPECT_EQ(bare.GetAscent(), 12);
    EXPECT_EQ(bare.GetHeight(), 12);
    ASSERT_EQ(bare.mActiveLayerList.size(), 1u);
    EXPECT_EQ(bare.mActiveLayerList.front().mScaledImage, image.get());
}

TEST_F(ImageFontTest, FontWithoutAUsableLayerMeasuresAndDrawsNothing)
{
    auto outOfRange = Make(std::string(kMainLayer) + "LayerPointRange Main 10 20;");
    outOfRange->SetPointSize(30);
    EXPECT_EQ(outOfRange->GetAscent(), 0);
    EXPECT_EQ(outOfRange->GetHeight(), 0);
    ImageFont failed(&mApp, mDir.Write("bad.txt", "Frobnicate;"));
    EXPECT_FALSE(failed.mFontData->mInitialized);
    EXPECT_EQ(mApp.mPopups.size(), 1u);
    for (ImageFont* font : {outOfRange.get(), &failed})
    {
        EXPECT_EQ(font->StringWidth("abc"), 0);
        int width = -1;
        std::list<TRect<int>> areas = {TRect<int>(1, 1, 1, 1)};
        EXPECT_TRUE(DrawCalls(*font, "abc", 5, 5, Color::White, &width, &areas).empty());
        EXPECT_EQ(width, 0);
        EXPECT_TRUE(areas.empty());
    }
}

// ---- Measuring and scaling ----------------------------------------------------------------------

TEST_F(ImageFontTest, ScaledLayersMeasureAsTheyDraw)
{
    auto font = Make(std::string(kMainLayer) + "LayerSetPointSize Main 12;\nSetDefaultPointSize 12;");
    EXPECT_EQ(font->StringWidth("abc"), 18);
    font->SetPointSize(18);
    // Widths 5, 7, 6 times 1.5, truncated: 7, 10, 9.
    EXPECT_EQ(font->CharWidth('a'), 7);
    EXPECT_EQ(font->StringWidth("abc"), 26);
    EXPECT_EQ(font->GetAscent(), 9);
    int width = 0;
    DrawCalls(*font, "abc", 0, 0, Color::White, &width);
    EXPECT_EQ(width, 26);
    ASSERT_EQ(font->mActiveLayerList.size(), 1u);
    const ActiveFontLayer& active = font->mActiveLayerList.front();
    ASSERT_TRUE(active.mOwnsImage);
    // Glyphs 4x8, 6x8, 5x8 scaled: 6x12, 9x12, 7x12, side by side.
    EXPECT_EQ(active.mScaledImage->GetWidth(), 22);
    EXPECT_EQ(active.mScaledImage->GetHeight(), 12);
    EXPECT_EQ(active.mScaledCharImageRects[U('a')], TRect<int>(0, 0, 6, 12));
    EXPECT_EQ(active.mScaledCharImageRects[U('b')], TRect<int>(6, 0, 9, 12));
    EXPECT_EQ(active.mScaledCharImageRects[U('c')], TRect<int>(15, 0, 7, 12));
    EXPECT_EQ(mApp.mMemoryImageSet.count(dynamic_cast<MemoryImage*>(active.mScaledImage)), 1u);
    font = Make("CreateLayer Main; LayerSetPointSize Main 100; LayerSetCharWidths Main ('a') (100);");
    font->SetPointSize(29);
    EXPECT_EQ(font->StringWidth("a"), 29);
    DrawCalls(*font, "a", 0, 0, Color::White, &width);
    EXPECT_EQ(width, 29);
}

// The metrics used to be read as they were before a size, scale or tag change until
// something measured: a word-wrapped height then mixed the old line spacing with the new
// descent.
TEST_F(ImageFontTest, MetricsFollowASizeScaleOrTagChangeAtOnce)
{
    auto font = Make(std::string(kMainLayer) +
                     "LayerSetPointSize Main 12; SetDefaultPointSize 12;\n"
                     "CreateLayerFrom Tall Main; LayerRequireTags Tall ('tall'); LayerSetHeight Tall 30;");
    const std::string text = "a b c a b c";
    struct Metrics
    {
        int ascent, padding, descent, height, offset, spacing, wrapped;
        bool operator==(const Metrics& o) const
        {
            return std::tie(ascent, padding, descent, height, offset, spacing, wrapped) ==
                   std::tie(o.ascent, o.padding, o.descent, o.height, o.offset, o.spacing, o.wrapped);
        }
    };
    auto metrics = [&]()
    {
        Graphics g(nullptr);
        g.SetFont(font.get());
        const int wrapped = g.GetWordWrappedHeight(12, text, -1, nullptr);
        return Metrics{font->GetAscent(),
                       font->GetAscentPadding(),
                       font->GetDescent(),
                       font->GetHeight(),
                       font->GetLineSpacingOffset(),
                       font->GetLineSpacing(),
                       wrapped};
    };
    const std::function<void()> changes[] = {
        [&] { font->SetPointSize(24); },
        [&] { font->SetScale(0.5); },
        [&] { font->AddTag("tall"); },
        [&] { font->RemoveTag("tall"); },
    };
    for (const auto& change : changes)
    {
        change();
        const Metrics first = metrics();
        font->Prepare();
        EXPECT_EQ(first, metrics()) << "ascent " << first.ascent << " height " << first.height;
    }
    font->SetPointSize(24);
    font->SetScale(1);
    EXPECT_EQ(font->GetAscent(), 12);
    EXPECT_EQ(font->GetHeight(), 16);
}

TEST_F(ImageFontTest, StringWidthEqualsTheDrawnWidthAtEveryScale)
{
    auto font = Make(std::string(kMainLayer) +
                     "LayerSetPointSize Main 12; SetDefaultPointSize 12; LayerSetSpacing Main 1;\n"
                     "LayerSetKerningPairs Main ('ab' 'bc' 'ca' 'cc') (-1 2 -3 4);");
    const std::string texts[] = {"", "a", "abc", "cabbcca", "ccccc", "a b\xE9zc"};
    const double scales[] = {1.0, 0.5, 0.77, 1.3, 2.0, 3.14159};
    const int sizes[] = {12, 9, 29, 18};
    for (double scale : scales)
        for (int size : sizes)
            for (const std::string& text : texts)
            {
                font->SetScale(scale);
                font->SetPointSize(size);
                int width = -1;
                DrawCalls(*font, text, 3, 40, Color::White, &width);
                EXPECT_EQ(font->StringWidth(text), width) << scale << " " << size << " " << text;
            }
}

TEST_F(ImageFontTest, KerningSpacingAndCodesFromEighty)
{
    auto font =
        Make(std::string(kMainLayer) + "LayerSetSpacing Main 1; LayerSetKerningPairs Main ('ab') (-3);");
    EXPECT_EQ(font->CharWidthKern('b', 'a'), 7 - 3 + 1);
    EXPECT_EQ(font->CharWidthKern('b', 'c'), 7 + 1);
    EXPECT_EQ(font->CharWidthKern('b', 0), 7);
    EXPECT_EQ(font->StringWidth("ab"), 5 + 5);
    const Strings expected = {
        "Blt(?,10,14,(0,0,4,8),(255,255,255,255),0)",
        "Blt(?,13,14,(4,0,6,8),(255,255,255,255),0)",
    };
    EXPECT_EQ(DrawCalls(*font, "ab", 10, 20), expected);
    font = Make(std::string(kMainLayer) + "LayerSetImageMap Main ('\xE9' '\xFF') ((20 0 3 8) (30 0 2 8));\n"
                                          "LayerSetCharWidths Main ('\xE9' '\xFF' '\x80') (4 9 11);\n"
                                          "SetCharMap ('\x81') ('\xFF');");
    EXPECT_EQ(font->StringWidth("\xE9\xFF\x80\x81"), 4 + 9 + 11 + 9);
    // \x80 has a width but no rectangle: its draw is an empty source, which draws nothing.
    EXPECT_EQ(
        DrawCalls(*font, "\xE9\xFF\x80\x81", 0, 10),
        (Strings{"Blt(?,0,4,(20,0,3,8),(255,255,255,255),0)", "Blt(?,4,4,(30,0,2,8),(255,255,255,255),0)",
                 "Blt(?,24,4,(30,0,2,8),(255,255,255,255),0)"}));
}

// ---- Drawing order and colour --------------------------------------------------------------------

TEST_F(ImageFontTest, OrderBucketsClampAndTheGraphicsStateIsRestored)
{
    auto font =
        Make(std::string(kMainLayer) +
             "CreateLayerFrom Low Main; LayerSetBaseOrder Low -100; LayerSetCharOrders Low ('a' 'b') "
             "(-100 0); LayerSetDrawMode Low 1; LayerSetOffset Low (1 1);\n"
             "CreateLayerFrom High Main; LayerSetBaseOrder High 100; LayerSetCharOrders High ('a' 'b') "
             "(100 0);\nCreateLayer Unused; LayerRequireTags Unused ('x');");
    // Queue: a Main(128) Low(0) High(255), b Main(128) Low(28) High(228), a again.
    // Draw mode 1 and the offset (1, 1) mark Low, the x position the character.
    const Strings expected = {
        "Blt(?,1,5,(0,0,4,8),(255,255,255,255),1)",  "Blt(?,13,5,(0,0,4,8),(255,255,255,255),1)",
        "Blt(?,6,5,(4,0,6,8),(255,255,255,255),1)",  "Blt(?,0,4,(0,0,4,8),(255,255,255,255),0)",
        "Blt(?,5,4,(4,0,6,8),(255,255,255,255),0)",  "Blt(?,12,4,(0,0,4,8),(255,255,255,255),0)",
        "Blt(?,5,4,(4,0,6,8),(255,255,255,255),0)",  "Blt(?,0,4,(0,0,4,8),(255,255,255,255),0)",
        "Blt(?,12,4,(0,0,4,8),(255,255,255,255),0)",
    };
    std::list<TRect<int>> areas;
    EXPECT_EQ(DrawCalls(*font, "aba", 0, 10, Color::White, nullptr, &areas), expected);
    // The areas come in queue order: character by character, layer by layer.
    const std::list<TRect<int>> queued = {
        {0, 4, 4, 8}, {1, 5, 4, 8},  {0, 4, 4, 8},  {5, 4, 6, 8},  {6, 5, 6, 8},
        {5, 4, 6, 8}, {12, 4, 4, 8}, {13, 5, 4, 8}, {12, 4, 4, 8},
    };
    EXPECT_EQ(areas, queued);
    // The context's colour, draw mode and colorize flag are restored after drawing.
    font = Make(std::string(kMainLayer) + "LayerSetDrawMode Main 0; LayerSetColorMult Main (0 1 1 1);");
    RecordingImage dest("dest", 800, 600);
    Graphics g(&dest);
    g.SetColor(Color(1, 2, 3, 4));
    g.SetDrawMode(DRAWMODE_ADDITIVE);
    g.SetColorizeImages(false);
    g.SetFont(font.get());
    g.DrawString("abc", 10, 10);
    EXPECT_EQ(dest.TakeCalls().size(), 3u);
    EXPECT_EQ(g.GetColor(), Color(1, 2, 3, 4));
    EXPECT_EQ(g.GetDrawMode(), DRAWMODE_ADDITIVE);
    EXPECT_FALSE(g.GetColorizeImages());
}

TEST_F(ImageFontTest, ColourArithmeticIsClamped)
{
    // The text colour times the layer's multiplier plus its addition, each channel held to 0-255.
    const struct
    {
        const char* mult;
        const char* add;
        Color text;
        Color expected;
    } cases[] = {
        {"(1 0 0 1)", "(0 0 0 0)", Color(255, 255, 255, 128), Color(255, 0, 0, 128)},
        {"(1 1 1 1)", "(0.4 0 0 0)", Color(200, 10, 0, 255), Color(255, 10, 0, 255)},
        {"(0.5 1 1 1)", "(0 0 0 0)", Color(200, 10, 0, 255), Color(99, 10, 0, 255)},
        {"(-1 2 1 1)", "(0 0 0 -0.5)", Color(200, 200, 7, 255), Color(0, 255, 7, 128)},
        {"(1 1 1 1)", "(0 0 0 0)", Color(300, -5, 7, 999), Color(255, 0, 7, 255)},
    };
    for (const auto& c : cases)
    {
        auto font = Make(std::string(kMainLayer) + "LayerSetColorMult Main " + c.mult +
                         ";LayerSetColorAdd Main " + c.add + ";");
        const Strings calls = DrawCalls(*font, "a", 0, 10, c.text);
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_EQ(calls[0], "Blt(?,0,4,(0,0,4,8)," + ColorText(c.expected) + ",0)") << c.mult << " " << c.add;
    }
}

// ---- Glyph sheets and copies ---------------------------------------------------------------------

TEST_F(ImageFontTest, CopiesDuplicateOwnedSheetsOnce)
{
    auto font = Make(std::string(kMainLayer) + "LayerSetPointSize Main 12; SetDefaultPointSize 12;");
    font->SetPointSize(24);
    font->Prepare();
    const size_t images = mApp.mMemoryImageSet.size();
    {
        std::unique_ptr<Font> copy(font->Duplicate());
        auto* imageFont = static_cast<ImageFont*>(copy.get());
        ASSERT_EQ(imageFont->mActiveLayerList.size(), 1u);
        const ActiveFontLayer& copied = imageFont->mActiveLayerList.front();
        EXPECT_TRUE(copied.mOwnsImage);
        EXPECT_NE(copied.mScaledImage, font->mActiveLayerList.front().mScaledImage);
        EXPECT_EQ(mApp.mCopyImageCalls.size(), 1u);
        EXPECT_EQ(mApp.mMemoryImageSet.size(), images + 1);
        EXPECT_EQ(imageFont->mFontData, font->mFontData);
        EXPECT_EQ(font->mFontData->mRefCount.load(), 2);
        ActiveFontLayer moved(std::move(imageFont->mActiveLayerList.front()));
        EXPECT_EQ(mApp.mMemoryImageSet.size(), images + 1);
        EXPECT_EQ(imageFont->mActiveLayerList.front().mScaledImage, nullptr);
        ActiveFontLayer assigned;
        assigned = moved;
        EXPECT_EQ(mApp.mMemoryImageSet.size(), images + 2);
        assigned = std::move(moved);
        EXPECT_EQ(mApp.mMemoryImageSet.size(), images + 1);
    }
    EXPECT_EQ(mApp.mMemoryImageSet.size(), images);
    EXPECT_EQ(font->mFontData->mRefCount.load(), 1);
}

TEST_F(ImageFontTest, OversizedOrEmptySheetsAreNotMadeAndShareAPixelBudget)
{
    auto font = Make(std::string(kMainLayer) + "CreateLayer Empty; LayerSetCharWidths Empty ('a') (3);");
    const size_t images = mApp.mMemoryImageSet.size();
    font->SetScale(2000);
    font->Prepare();
    ASSERT_EQ(font->mActiveLayerList.size(), 2u);
    for (const ActiveFontLayer& active : font->mActiveLayerList)
        EXPECT_EQ(active.mScaledImage, nullptr);
    EXPECT_EQ(mApp.mMemoryImageSet.size(), images);
    EXPECT_EQ(font->StringWidth("ab"), 2000 * 5 + 2000 * 7);
    int width = 0;
    EXPECT_TRUE(DrawCalls(*font, "ab", 0, 0, Color::White, &width).empty());
    EXPECT_EQ(width, 2000 * 12);
    font->SetScale(2);
    font->Prepare();
    EXPECT_NE(font->mActiveLayerList.front().mScaledImage, nullptr);
    EXPECT_EQ(font->mActiveLayerList.back().mScaledImage, nullptr); // no glyph rectangles
    // Each layer's sheet at scale 64 is 4096 x 1024 pixels; four fit in 1 << 24.
    std::string text =
        "CreateLayer L0; LayerSetImage L0 'glyphs.png'; LayerSetImageMap L0 ('a') ((0 0 64 16));\n";
    for (int i = 1; i < 5; ++i)
        text += "CreateLayerFrom L" + std::to_string(i) + " L0;\n";
    font = Make(text);
    font->SetScale(64);
    font->Prepare();
    std::vector<bool> made;
    for (const ActiveFontLayer& active : font->mActiveLayerList)
        made.push_back(active.mScaledImage != nullptr);
    EXPECT_EQ(made, (std::vector<bool>{true, true, true, true, false}));
}

TEST_F(ImageFontTest, LegacyFontScalesThroughTheGlobalApplication)
{
    auto strip = FilledImage(15, 10, 0xFFFFFFFF);
    ImageFont font(strip.get(), mDir.Write("widths.txt", "5 20 a 7 b 8"));
    ASSERT_TRUE(font.mFontData->mInitialized);
    EXPECT_EQ(font.mFontData->mApp, nullptr);
    EXPECT_EQ(font.StringWidth("AB b"), 7 + 8 + 5 + 8);
    EXPECT_EQ(font.GetAscent(), 20);
    EXPECT_EQ(font.GetHeight(), 10);
    const size_t images = mApp.mMemoryImageSet.size();
    font.SetScale(1.5);
    font.Prepare();
    EXPECT_EQ(mApp.mMemoryImageSet.size(), images + 1);
    EXPECT_EQ(font.StringWidth("ab"), 10 + 12);
    std::unique_ptr<Font> copy(font.Duplicate());
    EXPECT_EQ(mApp.mCopyImageCalls.size(), 1u);
    EXPECT_EQ(mApp.mMemoryImageSet.size(), images + 2);
}

} // namespace
} // namespace Vaxo
