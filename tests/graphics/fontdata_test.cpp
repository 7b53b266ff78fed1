// Font data: the font commands of a descriptor, their error texts, and the legacy
// width files.
#include "graphics/FontData.h"

#include "common/Common.h"
#include "graphics/MemoryImage.h"
#include "graphics/support/TestApp.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace Vaxo
{
namespace
{

const char kTypeError[] = "Invalid Paramater Type";

// Tables are indexed by unsigned character codes.
constexpr uint8_t U(char c)
{
    return static_cast<uint8_t>(c);
}

std::shared_ptr<MemoryImage> MakeImage(int width, int height, uint32_t fill = 0xFFFFFFFF)
{
    auto image = std::make_shared<MemoryImage>(nullptr);
    image->Create(width, height);
    uint32_t* bits = image->GetBits();
    for (int i = 0; i < width * height; ++i)
        bits[i] = fill;
    image->BitsChanged();
    return image;
}

class FontDataTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/vaxo_fontdata_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        mDir = pattern;
        mPath = mDir + "/font.txt";
        mImage = MakeImage(64, 16);
        mApp.ServeImage(mDir + "/glyphs.png", mImage);
    }
    void TearDown() override
    {
        std::remove(mPath.c_str());
        std::remove((mDir + "/widths.txt").c_str());
        std::remove(mDir.c_str());
    }

    void Write(const std::string& path, const std::string& text)
    {
        FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
    }

    // Loads a descriptor that starts with a layer "Main" drawing from glyphs.png.
    FontData& Load(const std::string& commands, bool withImage = true)
    {
        Write(mPath, std::string("CreateLayer Main;\n") +
                         (withImage ? "LayerSetImage Main 'glyphs.png';\n" : "") + commands);
        mData = std::make_unique<FontData>();
        EXPECT_TRUE(mData->Load(&mApp, mPath));
        return *mData;
    }

    std::vector<std::string> Messages() const
    {
        std::vector<std::string> out;
        for (const auto& popup : mApp.mPopups)
        {
            EXPECT_FALSE(popup.second);
            const std::string& text = popup.first;
            const size_t start = text.find("\r\n");
            const size_t end = text.find(" on Line ");
            out.push_back(
                text.substr(start + 2, end == std::string::npos ? std::string::npos : end - start - 2));
        }
        return out;
    }

    FontLayer& Main() { return *mData->mFontLayerMap.at("MAIN"); }

    TestApp mApp;
    std::string mDir;
    std::string mPath;
    std::shared_ptr<MemoryImage> mImage;
    std::unique_ptr<FontData> mData;
};

// ---- Commands and arguments ---------------------------------------------------------------------

TEST_F(FontDataTest, CommandAndLayerNamesInAnyCase)
{
    FontData& data = Load("layersetascent Main 10;\nLAYERSETASCENT main 11;\nLayerSetAscentPadding MAIN 2;\n"
                          "cReAtElAyEr Second;");
    EXPECT_TRUE(data.mInitialized);
    EXPECT_TRUE(mApp.mPopups.empty());
    EXPECT_EQ(Main().mAscent, 11);
    EXPECT_EQ(Main().mAscentPadding, 2);
    EXPECT_EQ(data.mFontLayerList.size(), 2u);
    EXPECT_EQ(data.mFontLayerMap.count("SECOND"), 1u);
}

TEST_F(FontDataTest, ANewLayerHasTheDocumentedValues)
{
    Load("", false);
    const FontLayer& layer = Main();
    EXPECT_EQ(layer.mColorMult, Color(255, 255, 255, 255));
    EXPECT_EQ(layer.mColorAdd, Color(0, 0, 0, 0));
    EXPECT_EQ(layer.mDrawMode, -1);
    EXPECT_EQ(layer.mMinPointSize, -1);
    EXPECT_EQ(layer.mMaxPointSize, -1);
    EXPECT_EQ(layer.mPointSize, 0);
    EXPECT_EQ(layer.mFontData, mData.get());
    EXPECT_EQ(layer.mCharData[U('x')].mKerningOffsets[U('y')], 0);
    for (int i = 0; i < 256; ++i)
        EXPECT_EQ(mData->mCharMap[i], i);
}

TEST_F(FontDataTest, SingleIntArgumentsAreTakenAsWritten)
{
    FontData& quoted = Load("LayerSetAscent Main '10';");
    EXPECT_FALSE(quoted.mInitialized);
    EXPECT_EQ(Messages(), (std::vector<std::string>{kTypeError}));

    mApp.mPopups.clear();
    FontData& defined =
        Load("Define W 12;\nLayerSetCharWidths Main ('a' 'b') (W W);\nLayerSetAscent Main W;");
    EXPECT_FALSE(defined.mInitialized);
    EXPECT_EQ(Main().mCharData[U('a')].mWidth, 12);
    EXPECT_EQ(Main().mCharData[U('b')].mWidth, 12);
    EXPECT_EQ(Messages(), (std::vector<std::string>{kTypeError}));
}

TEST_F(FontDataTest, BareWordsInListsAreDefineNames)
{
    FontData& data = Load("LayerSetCharWidths Main (a b) (1 2);");
    EXPECT_FALSE(data.mInitialized);
    EXPECT_EQ(Messages(), (std::vector<std::string>{"Unable to Dereference \"a\"", kTypeError}));
}

struct ErrorCase
{
    const char* commands;
    std::vector<std::string> messages;
};

TEST_F(FontDataTest, ErrorTexts)
{
    const ErrorCase cases[] = {
        {"Frobnicate Main;", {"Unknown Command"}},
        {"LayerSetAscent Main;", {"Invalid Number of Parameters"}},
        {"LayerSetAscent Main 1 2;", {"Invalid Number of Parameters"}},
        {"LayerSetAscent Missing 1;", {"Undefined Layer", kTypeError}},
        {"LayerSetAscent (Main) 1;", {kTypeError}},
        {"LayerSetAscent Main x;", {kTypeError}},
        {"SetCharMap ('a' 'b') ('x');", {"List Size Mismatch"}},
        {"LayerSetDrawMode Main 2;", {kTypeError}},
        {"LayerSetColorMult Main (1 1 1);", {kTypeError}},
        {"LayerSetColorAdd Main (1 1 1 x);", {"Unable to Dereference \"x\"", kTypeError}},
        {"LayerSetOffset Main (1 2 3);", {kTypeError}},
        {"LayerSetImage Main 'missing.png';", {"Failed to Load Image"}},
        {"LayerSetImageMap Main ('a') ((0 0 65 16));", {"Image rectangle out of bounds"}},
        {"LayerSetImageMap Main ('a') ((0 1 64 16));", {"Image rectangle out of bounds"}},
        {"LayerSetImageMap Main ('a') ((-1 0 1 1));", {"Image rectangle out of bounds"}},
        {"LayerSetImageMap Main ('a') ((10 0 -5 16));", {"Image rectangle out of bounds"}},
        {"LayerSetImageMap Main ('a') ((2147483647 0 1 1));", {"Image rectangle out of bounds"}},
        {"LayerSetImageMap Main ('a' 'b') ((0 0 1 1));", {"List Size Mismatch"}},
        {"LayerSetKerningPairs Main ('A') (1);", {kTypeError}},
        {"LayerSetPointSize Main -1;", {kTypeError}},
        {"SetDefaultPointSize -12;", {kTypeError}},
        {"Define 1x 5;", {kTypeError}},
        {"Define (A) 5;", {kTypeError}},
        {"CreateLayerFrom Copy Nowhere;", {"Undefined Layer", kTypeError}},
        {"(Main) 1;", {"Missing Command"}},
        {"LayerSetAscent Main 1 x(;", {"Unexpected List Start"}},
        {"CreateHorzSpanRectList R (2147483000 0 0 1) (1000 1000);", {kTypeError}},
    };
    for (const ErrorCase& c : cases)
    {
        mApp.mPopups.clear();
        FontData& data = Load(c.commands);
        EXPECT_FALSE(data.mInitialized) << c.commands;
        EXPECT_EQ(Messages(), c.messages) << c.commands;
    }
}

TEST_F(FontDataTest, LayerImageMustBeSetBeforeTheMap)
{
    FontData& data = Load("LayerSetImageMap Main ('a') ((0 0 1 1));", false);
    EXPECT_FALSE(data.mInitialized);
    EXPECT_EQ(Messages(), (std::vector<std::string>{"Layer image not set"}));
}

TEST_F(FontDataTest, PopupTextNamesFileLineAndCommand)
{
    Load("\n# comment\n  LayerSetAscent Nowhere\n 5;");
    ASSERT_EQ(mApp.mPopups.size(), 2u);
    const std::string prefix = "Font Descriptor Error in " + mPath + "\r\n";
    EXPECT_EQ(mApp.mPopups[0].first, prefix + "Undefined Layer on Line 5:\r\n\r\nLayerSetAscent Nowhere\n5");
    EXPECT_EQ(mApp.mPopups[1].first,
              prefix + "Invalid Paramater Type on Line 5:\r\n\r\nLayerSetAscent Nowhere\n5");
    EXPECT_FALSE(mApp.mPopups[0].second);
}

TEST_F(FontDataTest, ALoadedFontRefusesASecondLoad)
{
    FontData& data = Load("SetDefaultPointSize 12;");
    EXPECT_TRUE(data.mInitialized);
    EXPECT_FALSE(data.Load(&mApp, mPath));
    EXPECT_EQ(data.mFontLayerList.size(), 1u);
    EXPECT_EQ(data.mDefaultPointSize, 12);
}

TEST_F(FontDataTest, ErrorsWithoutAnApplicationAreSilent)
{
    Write(mPath, "Frobnicate;");
    FontData data;
    EXPECT_TRUE(data.Load(nullptr, mPath));
    EXPECT_FALSE(data.mInitialized);
    EXPECT_TRUE(mApp.mPopups.empty());
}

// ---- Individual commands -------------------------------------------------------------------------

TEST_F(FontDataTest, SetCharMapAppliesTheGoodEntriesBeforeFailing)
{
    FontData& data = Load("SetCharMap ('a' 'bc' 'd') ('x' 'y' 'z');");
    EXPECT_FALSE(data.mInitialized);
    EXPECT_EQ(data.mCharMap[U('a')], 'x');
    EXPECT_EQ(data.mCharMap[U('b')], 'b');
    EXPECT_EQ(data.mCharMap[U('d')], 'z');
    EXPECT_EQ(Messages(), (std::vector<std::string>{kTypeError}));

    mApp.mPopups.clear();
    FontData& mismatch = Load("SetCharMap ('a' 'b') ('x');");
    EXPECT_EQ(mismatch.mCharMap[U('a')], 'a');
    EXPECT_EQ(Messages(), (std::vector<std::string>{"List Size Mismatch"}));
}

TEST_F(FontDataTest, SetCharMapIndexesHighCodesUnsigned)
{
    FontData& data = Load("SetCharMap ('\xE9' 'e') ('\xC9' '\xFF');");
    EXPECT_TRUE(data.mInitialized);
    EXPECT_EQ(data.mCharMap[0xE9], 0xC9);
    EXPECT_EQ(data.mCharMap[U('e')], 0xFF);
}

TEST_F(FontDataTest, Colours)
{
    struct ColourCase
    {
        const char* value;
        Color expected;
    };
    const ColourCase cases[] = {
        {"(1 0.5 0 1)", Color(255, 127, 0, 255)},
        {"0x00FF0000", Color(255, 0, 0, 255)},
        {"0x80102030", Color(0x10, 0x20, 0x30, 0x80)},
        {"(2 -1 0.1 0)", Color(510, -255, 25, 0)},
    };
    for (const ColourCase& c : cases)
    {
        FontData& data = Load(std::string("LayerSetColorMult Main ") + c.value + ";\nLayerSetColorAdd Main " +
                              c.value + ";");
        EXPECT_TRUE(data.mInitialized) << c.value;
        EXPECT_EQ(Main().mColorMult, c.expected) << c.value;
        EXPECT_EQ(Main().mColorAdd, c.expected) << c.value;
    }
}

TEST_F(FontDataTest, KerningKeepsTheLowEightBitsSigned)
{
    FontData& data = Load("LayerSetKerningPairs Main ('AV' 'To' 'xy') (-3 200 0x17F);");
    EXPECT_TRUE(data.mInitialized);
    EXPECT_EQ(Main().mCharData[U('A')].mKerningOffsets[U('V')], -3);
    EXPECT_EQ(Main().mCharData[U('T')].mKerningOffsets[U('o')], -56);
    EXPECT_EQ(Main().mCharData[U('x')].mKerningOffsets[U('y')], 127);
    EXPECT_EQ(Main().mCharData[U('V')].mKerningOffsets[U('A')], 0);
}

TEST_F(FontDataTest, ImageMapSetsRectanglesAndTheDefaultHeight)
{
    FontData& data = Load("LayerSetCharOffsets Main ('b') ((0 3));\n"
                          "LayerSetImageMap Main ('a' 'b') ((0 0 10 12) (10 2 54 14));\n"
                          "LayerSetCharOffsets Main ('a') ((1 -2));");
    EXPECT_TRUE(data.mInitialized);
    EXPECT_EQ(Main().mCharData[U('a')].mImageRect, TRect<int>(0, 0, 10, 12));
    EXPECT_EQ(Main().mCharData[U('b')].mImageRect, TRect<int>(10, 2, 54, 14));
    EXPECT_EQ(Main().mDefaultHeight, 17); // 14 + offset 3
    EXPECT_EQ(Main().mCharData[U('a')].mOffset, TPoint<int>(1, -2));
}

TEST_F(FontDataTest, ImageMapStopsAtTheFirstRectangleOutside)
{
    FontData& data = Load("LayerSetImageMap Main ('a' 'b' 'c') ((0 0 4 4) (60 0 5 16) (4 0 4 4));");
    EXPECT_FALSE(data.mInitialized);
    EXPECT_EQ(Main().mCharData[U('a')].mImageRect, TRect<int>(0, 0, 4, 4));
    EXPECT_EQ(Main().mCharData[U('c')].mImageRect, TRect<int>());
}

TEST_F(FontDataTest, ImageMapSkipsMalformedEntriesAndThenFails)
{
    FontData& data = Load("LayerSetImageMap Main ('a' 'bb' 'c') ((0 0 4 4) (4 0 4 4) (8 0 4));");
    EXPECT_FALSE(data.mInitialized);
    EXPECT_EQ(Main().mCharData[U('a')].mImageRect, TRect<int>(0, 0, 4, 4));
    EXPECT_EQ(Main().mDefaultHeight, 4);
    EXPECT_EQ(Messages(), (std::vector<std::string>{kTypeError}));
}

TEST_F(FontDataTest, HorizontalSpanRectListFeedsTheImageMap)
{
    FontData& data = Load("CreateHorzSpanRectList Spans (10 1 0 15) (3 4 5);\n"
                          "LayerSetImageMap Main ('a' 'b' 'c') spans;");
    EXPECT_TRUE(data.mInitialized);
    EXPECT_EQ(DescParser::DataElementToString(data.Dereference("SPANS")),
              "((10, 1, 3, 15), (13, 1, 4, 15), (17, 1, 5, 15))");
    EXPECT_EQ(Main().mCharData[U('c')].mImageRect, TRect<int>(17, 1, 5, 15));
}

TEST_F(FontDataTest, DefineOfItselfCannotReachTheOldValue)
{
    FontData& data = Load("Define A (1 2);\nDefine A (A);");
    EXPECT_FALSE(data.mInitialized);
    EXPECT_EQ(Messages(), (std::vector<std::string>{"Unable to Dereference \"A\""}));
    EXPECT_EQ(data.Dereference("A"), nullptr);

    mApp.mPopups.clear();
    FontData& chain = Load("Define A 5;\nDefine B A;\nDefine A A;\nDefine C 'q';");
    EXPECT_TRUE(chain.mInitialized);
    EXPECT_EQ(DescParser::DataElementToString(chain.Dereference("b")), "5");
    EXPECT_EQ(DescParser::DataElementToString(chain.Dereference("a")), "A");
    EXPECT_EQ(DescParser::DataElementToString(chain.Dereference("c")), "'q'");
}

TEST_F(FontDataTest, DefinesNestingThroughEachOtherStopAtTheCap)
{
    std::string text = "Define A (1);\n";
    for (int i = 0; i < 200; ++i)
        text += "Define B (A);\nDefine A (B);\n";
    FontData& data = Load(text);
    EXPECT_FALSE(data.mInitialized);
    EXPECT_EQ(Messages(), (std::vector<std::string>{"List Nesting Too Deep"}));
}

TEST_F(FontDataTest, ExistingLayerNameIsReportedAndLoadingGoesOn)
{
    FontData& data = Load("LayerSetAscent Main 4;\nCreateLayer MAIN;\nCreateLayerFrom Copy Main;\n"
                          "CreateLayerFrom main Main;\nLayerSetAscent Copy 9;");
    EXPECT_TRUE(data.mInitialized);
    EXPECT_EQ(Messages(), (std::vector<std::string>{"Layer Already Exists", "Layer Already Exists"}));
    EXPECT_EQ(data.mFontLayerList.size(), 4u);
    EXPECT_EQ(Main().mAscent, 4);
    FontLayer& copy = *data.mFontLayerMap.at("COPY");
    EXPECT_EQ(copy.mAscent, 9);
    EXPECT_EQ(static_cast<Image*>(copy.mImage), mImage.get());
}

TEST_F(FontDataTest, TooManyLayersAreRefused)
{
    std::string text;
    for (int i = 0; i < FontData::kMaxLayers + 5; ++i)
        text += "CreateLayer L" + std::to_string(i) + ";";
    FontData& data = Load(text, false);
    EXPECT_FALSE(data.mInitialized);
    EXPECT_EQ(int(data.mFontLayerList.size()), FontData::kMaxLayers);
    EXPECT_EQ(Messages(), (std::vector<std::string>{"Too Many Layers"}));
}

TEST_F(FontDataTest, LayerSettings)
{
    FontData& data =
        Load("LayerRequireTags Main ('bold' Glow);\nLayerExcludeTags Main ('small');\n"
             "Define Glow 'shiny';\nLayerPointRange Main 10 -1;\nLayerSetPointSize Main 12;\n"
             "LayerSetHeight Main 15;\nLayerSetDrawMode Main 1;\nLayerSetLineSpacingOffset Main -2;\n"
             "LayerSetOffset Main (3 -4);\nLayerSetSpacing Main 1;\nLayerSetBaseOrder Main -1;\n"
             "LayerSetCharOrders Main ('a') (5);\nSetDefaultPointSize 12;",
             true);
    // The require list refers to Glow before it is defined.
    EXPECT_FALSE(data.mInitialized);
    EXPECT_EQ(Messages(), (std::vector<std::string>{"Unable to Dereference \"Glow\"", kTypeError}));

    mApp.mPopups.clear();
    FontData& good = Load("Define Glow 'shiny';\nLayerRequireTags Main ('bold' Glow);\n"
                          "LayerExcludeTags Main ('small');\nLayerPointRange Main 10 -1;\n"
                          "LayerSetPointSize Main 12;\nLayerSetHeight Main 15;\nLayerSetDrawMode Main 1;\n"
                          "LayerSetLineSpacingOffset Main -2;\nLayerSetOffset Main (3 -4);\n"
                          "LayerSetSpacing Main 1;\nLayerSetBaseOrder Main -1;\n"
                          "LayerSetCharOrders Main ('a') (5);\nSetDefaultPointSize 12;");
    EXPECT_TRUE(good.mInitialized);
    const FontLayer& layer = Main();
    EXPECT_EQ(layer.mRequiredTags, (std::vector<std::string>{"BOLD", "'SHINY'"}));
    EXPECT_EQ(layer.mExcludedTags, (std::vector<std::string>{"SMALL"}));
    EXPECT_EQ(layer.mMinPointSize, 10);
    EXPECT_EQ(layer.mMaxPointSize, -1);
    EXPECT_EQ(layer.mPointSize, 12);
    EXPECT_EQ(layer.mHeight, 15);
    EXPECT_EQ(layer.mDrawMode, 1);
    EXPECT_EQ(layer.mLineSpacingOffset, -2);
    EXPECT_EQ(layer.mOffset, TPoint<int>(3, -4));
    EXPECT_EQ(layer.mSpacing, 1);
    EXPECT_EQ(layer.mBaseOrder, -1);
    EXPECT_EQ(layer.mCharData[U('a')].mOrder, 5);
    EXPECT_EQ(good.mDefaultPointSize, 12);
}

TEST_F(FontDataTest, ImageIsSharedAndPalletizedOnFirstLoad)
{
    FontData& data = Load("CreateLayer Second;\nLayerSetImage Second 'GLYPHS.PNG';");
    EXPECT_TRUE(data.mInitialized);
    EXPECT_EQ(static_cast<Image*>(Main().mImage), mImage.get());
    EXPECT_EQ(static_cast<Image*>(data.mFontLayerMap.at("SECOND")->mImage), mImage.get());
    EXPECT_EQ(mApp.mLoadCount[StringToUpper(mDir + "/glyphs.png")], 1);
    // One colour (white): the palette form holds it.
    EXPECT_NE(mImage->mPalette, nullptr);
    EXPECT_EQ(mImage->mPaletteCount, 1);
}

// ---- Legacy width files ---------------------------------------------------------------------------

class LegacyTest : public FontDataTest
{
protected:
    FontData& LoadWidths(const std::string& text, Image* image)
    {
        Write(mDir + "/widths.txt", text);
        mData = std::make_unique<FontData>();
        mResult = mData->LoadLegacy(image, mDir + "/widths.txt");
        return *mData;
    }
    bool mResult = false;
};

TEST_F(LegacyTest, WidthsLieSideBySide)
{
    auto image = MakeImage(15, 10);
    FontData& data = LoadWidths("5 20 a 7 b 8", image.get());
    EXPECT_TRUE(mResult);
    EXPECT_TRUE(data.mInitialized);
    ASSERT_EQ(data.mFontLayerMap.count(""), 1u);
    const FontLayer& layer = *data.mFontLayerMap.at("");
    EXPECT_EQ(layer.mCharData[U(' ')].mWidth, 5);
    EXPECT_EQ(layer.mCharData[U(' ')].mImageRect, TRect<int>());
    EXPECT_EQ(layer.mAscent, 20);
    EXPECT_EQ(layer.mDefaultHeight, 10);
    EXPECT_EQ(layer.mCharData[U('a')].mImageRect, TRect<int>(0, 0, 7, 10));
    EXPECT_EQ(layer.mCharData[U('a')].mWidth, 7);
    EXPECT_EQ(layer.mCharData[U('b')].mImageRect, TRect<int>(7, 0, 8, 10));
    EXPECT_EQ(layer.mCharData[U('b')].mWidth, 8);
    EXPECT_EQ(static_cast<Image*>(layer.mImage), image.get());
    // Only small letters listed: capitals draw them.
    EXPECT_EQ(data.mCharMap[U('A')], 'a');
    EXPECT_EQ(data.mCharMap[U('B')], 'b');
    EXPECT_EQ(data.mCharMap[U('C')], 'C');
    EXPECT_EQ(data.mCharMap[U('a')], 'a');
}

TEST_F(LegacyTest, CapitalsOnlyMapTheSmallLetters)
{
    auto image = MakeImage(20, 4);
    FontData& data = LoadWidths("3 4\nQ 5\n\tR\n6\nr 2\n", image.get());
    EXPECT_TRUE(mResult);
    EXPECT_EQ(data.mCharMap[U('q')], 'Q');
    EXPECT_EQ(data.mCharMap[U('r')], 'r');
    EXPECT_EQ(data.mCharMap[U('R')], 'R');
    EXPECT_EQ(data.mFontLayerMap.at("")->mCharData[U('r')].mImageRect, TRect<int>(11, 0, 2, 4));
}

TEST_F(LegacyTest, UnreadableWidthCountsAsZero)
{
    auto image = MakeImage(20, 4);
    FontData& data = LoadWidths("3 4 a b 6 c", image.get());
    EXPECT_TRUE(mResult);
    const FontLayer& layer = *data.mFontLayerMap.at("");
    EXPECT_EQ(layer.mCharData[U('a')].mWidth, 0);
    EXPECT_EQ(layer.mCharData[U('b')].mImageRect, TRect<int>(0, 0, 6, 4));
    EXPECT_EQ(layer.mCharData[U('c')].mWidth, 0);
}

TEST_F(LegacyTest, NegativeWidthIsRefused)
{
    auto image = MakeImage(20, 4);
    FontData& data = LoadWidths("3 4 a 5 b -2 c 3", image.get());
    EXPECT_FALSE(mResult);
    EXPECT_FALSE(data.mInitialized);
    EXPECT_EQ(data.mError, "Negative Character Width");

    FontData& space = LoadWidths("-3 4 a 5", image.get());
    EXPECT_FALSE(mResult);
    EXPECT_FALSE(space.mInitialized);
}

TEST_F(LegacyTest, GlyphRectanglesStayInsideTheImage)
{
    auto image = MakeImage(10, 4);
    FontData& data = LoadWidths("3 4 a 6 b 6 c 2147483647 d 9", image.get());
    EXPECT_TRUE(mResult);
    const FontLayer& layer = *data.mFontLayerMap.at("");
    EXPECT_EQ(layer.mCharData[U('a')].mImageRect, TRect<int>(0, 0, 6, 4));
    EXPECT_EQ(layer.mCharData[U('b')].mImageRect, TRect<int>(6, 0, 4, 4));
    EXPECT_EQ(layer.mCharData[U('b')].mWidth, 6);
    EXPECT_EQ(layer.mCharData[U('c')].mImageRect, TRect<int>(10, 0, 0, 4));
    EXPECT_EQ(layer.mCharData[U('d')].mImageRect, TRect<int>(10, 0, 0, 4));
}

TEST_F(LegacyTest, MissingFileLeavesTheLayerButNotInitialised)
{
    auto image = MakeImage(10, 4);
    FontData data;
    EXPECT_FALSE(data.LoadLegacy(image.get(), mDir + "/none.txt"));
    EXPECT_FALSE(data.mInitialized);
    EXPECT_EQ(data.mFontLayerList.size(), 1u);
}

} // namespace
} // namespace Vaxo
