// Font data: the font commands of a descriptor, their error texts, and the legacy
// width files.
#include "graphics/FontData.h"

#include "common/Common.h"
#include "common/support/TestFolder.h"
#include "graphics/support/MemoryImageTestUtil.h"
#include "graphics/support/TestApp.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace Vaxo
{
namespace
{

using Strings = std::vector<std::string>;
const char kTypeError[] = "Invalid Paramater Type";

// Tables are indexed by unsigned character codes.
constexpr uint8_t U(char c)
{
    return static_cast<uint8_t>(c);
}

class FontDataTest : public ::testing::Test
{
protected:
    void SetUp() override { mApp.ServeImage(mDir / "glyphs.png", mImage); }

    // Loads a descriptor that starts with a layer "Main" drawing from glyphs.png.
    FontData& Load(const std::string& commands)
    {
        mApp.mPopups.clear();
        mDir.Write("font.txt", "CreateLayer Main;\nLayerSetImage Main 'glyphs.png';\n" + commands);
        mData = std::make_unique<FontData>();
        EXPECT_TRUE(mData->Load(&mApp, mPath));
        return *mData;
    }

    // The message part of each pop-up.
    Strings Messages() const
    {
        Strings out;
        for (const auto& popup : mApp.mPopups)
        {
            EXPECT_FALSE(popup.second);
            const size_t start = popup.first.find("\r\n") + 2;
            out.push_back(popup.first.substr(start, popup.first.find(" on Line ") - start));
        }
        return out;
    }

    FontLayer& Main() { return *mData->mFontLayerMap.at("MAIN"); }
    const CharData& Char(char c) { return Main().mCharData[U(c)]; }

    TestApp mApp;
    TestFolder mDir;
    const std::string mPath = mDir / "font.txt";
    std::shared_ptr<MemoryImage> mImage = FilledImage(64, 16, 0xFFFFFFFFu);
    std::unique_ptr<FontData> mData;
};

// ---- Commands and arguments ---------------------------------------------------------------------

TEST_F(FontDataTest, NamesInAnyCaseArgumentsAsWrittenAndOneLoadOnly)
{
    FontData& data = Load("layersetascent Main 10;\nLAYERSETASCENT main 11;\nLayerSetAscentPadding MAIN 2;\n"
                          "cReAtElAyEr Second;");
    EXPECT_TRUE(data.mInitialized);
    EXPECT_TRUE(mApp.mPopups.empty());
    EXPECT_EQ(Main().mAscent, 11);
    EXPECT_EQ(Main().mAscentPadding, 2);
    EXPECT_EQ(data.mFontLayerList.size(), 2u);
    EXPECT_EQ(data.mFontLayerMap.count("SECOND"), 1u);
    FontData& data2 = Load("Define W 12;\nLayerSetCharWidths Main ('a' 'b') (W W);\nLayerSetAscent Main W;");
    EXPECT_FALSE(data2.mInitialized);
    EXPECT_EQ(Char('a').mWidth, 12);
    EXPECT_EQ(Char('b').mWidth, 12);
    EXPECT_EQ(Messages(), Strings{kTypeError});
    FontData& data22 = Load("SetDefaultPointSize 12;");
    EXPECT_TRUE(data22.mInitialized);
    EXPECT_FALSE(data22.Load(&mApp, mPath));
    EXPECT_EQ(data22.mFontLayerList.size(), 1u);
}

TEST_F(FontDataTest, ErrorTexts)
{
    const std::pair<const char*, Strings> cases[] = {
        {"Frobnicate Main;", {"Unknown Command"}},
        {"LayerSetAscent Main;", {"Invalid Number of Parameters"}},
        {"LayerSetAscent Missing 1;", {"Undefined Layer", kTypeError}},
        {"LayerSetAscent (Main) 1;", {kTypeError}},
        {"LayerSetAscent Main x;", {kTypeError}},
        {"LayerSetCharWidths Main (a b) (1 2);", {"Unable to Dereference \"a\"", kTypeError}},
        {"SetCharMap ('a' 'b') ('x');", {"List Size Mismatch"}},
        {"LayerSetDrawMode Main 2;", {kTypeError}},
        {"LayerSetColorMult Main (1 1 1);", {kTypeError}},
        {"LayerSetColorAdd Main (1 1 1 x);", {"Unable to Dereference \"x\"", kTypeError}},
        {"LayerSetOffset Main (1 2 3);", {kTypeError}},
        {"LayerSetImage Main 'missing.png';", {"Failed to Load Image"}},
        {"LayerSetImageMap Main ('a') ((0 0 65 16));", {"Image rectangle out of bounds"}},
        {"LayerSetImageMap Main ('a') ((10 0 -5 16));", {"Image rectangle out of bounds"}},
        {"LayerSetImageMap Main ('a') ((2147483647 0 1 1));", {"Image rectangle out of bounds"}},
        {"LayerSetImageMap Main ('a' 'b') ((0 0 1 1));", {"List Size Mismatch"}},
        {"CreateLayer New; LayerSetImageMap New ('a') ((0 0 1 1));", {"Layer image not set"}},
        {"LayerSetKerningPairs Main ('A') (1);", {kTypeError}},
        {"LayerSetPointSize Main -1;", {kTypeError}},
        {"SetDefaultPointSize -12;", {kTypeError}},
        {"Define 1x 5;", {kTypeError}},
        {"Define (A) 5;", {kTypeError}},
        {"CreateLayerFrom Copy Nowhere;", {"Undefined Layer", kTypeError}},
        {"CreateHorzSpanRectList R (2147483000 0 0 1) (1000 1000);", {kTypeError}},
    };
    for (const auto& c : cases)
    {
        FontData& data = Load(c.first);
        EXPECT_FALSE(data.mInitialized) << c.first;
        EXPECT_EQ(Messages(), c.second) << c.first;
    }
}

TEST_F(FontDataTest, PopupTextNamesFileLineAndCommandOnlyWithAnApplication)
{
    Load("\n# comment\n  LayerSetAscent Nowhere\n 5;");
    const std::string prefix = "Font Descriptor Error in " + mPath + "\r\n";
    const std::vector<std::pair<std::string, bool>> expected = {
        {prefix + "Undefined Layer on Line 5:\r\n\r\nLayerSetAscent Nowhere\n5", false},
        {prefix + "Invalid Paramater Type on Line 5:\r\n\r\nLayerSetAscent Nowhere\n5", false}};
    EXPECT_EQ(mApp.mPopups, expected);
    // Without an application the errors are silent.
    mDir.Write("font.txt", "Frobnicate;");
    FontData data;
    EXPECT_TRUE(data.Load(nullptr, mPath));
    EXPECT_FALSE(data.mInitialized);
    EXPECT_EQ(mApp.mPopups.size(), expected.size());
}

// ---- Individual commands -------------------------------------------------------------------------

TEST_F(FontDataTest, CharMapColoursAndKerning)
{
    FontData& data = Load("SetCharMap ('a' 'bc' 'd') ('x' 'y' 'z');");
    EXPECT_FALSE(data.mInitialized);
    EXPECT_EQ(data.mCharMap[U('a')], 'x');
    EXPECT_EQ(data.mCharMap[U('b')], 'b');
    EXPECT_EQ(data.mCharMap[U('d')], 'z');
    EXPECT_EQ(Messages(), Strings{kTypeError});
    EXPECT_EQ(Load("SetCharMap ('a' 'b') ('x');").mCharMap[U('a')], 'a'); // size mismatch: nothing applied
    FontData& high = Load("SetCharMap ('\xE9' 'e') ('\xC9' '\xFF');");
    EXPECT_TRUE(high.mInitialized);
    EXPECT_EQ(high.mCharMap[0xE9], 0xC9);
    EXPECT_EQ(high.mCharMap[U('e')], 0xFF);
    const std::pair<const char*, Color> cases[] = {
        {"(1 0.5 0 1)", Color(255, 127, 0, 255)},
        {"0x00FF0000", Color(255, 0, 0, 255)},
        {"0x80102030", Color(0x10, 0x20, 0x30, 0x80)},
        {"(2 -1 0.1 0)", Color(510, -255, 25, 0)},
    };
    for (const auto& c : cases)
    {
        const std::string value = c.first;
        EXPECT_TRUE(
            Load("LayerSetColorMult Main " + value + ";\nLayerSetColorAdd Main " + value + ";").mInitialized)
            << value;
        EXPECT_EQ(Main().mColorMult, c.second) << value;
        EXPECT_EQ(Main().mColorAdd, c.second) << value;
    }
    EXPECT_TRUE(Load("LayerSetKerningPairs Main ('AV' 'To' 'xy') (-3 200 0x17F);").mInitialized);
    EXPECT_EQ(Char('A').mKerningOffsets[U('V')], -3);
    EXPECT_EQ(Char('T').mKerningOffsets[U('o')], -56);
    EXPECT_EQ(Char('x').mKerningOffsets[U('y')], 127);
    EXPECT_EQ(Char('V').mKerningOffsets[U('A')], 0);
}

TEST_F(FontDataTest, ImageMapsAndSpanLists)
{
    EXPECT_TRUE(Load("LayerSetCharOffsets Main ('b') ((0 3));\n"
                     "LayerSetImageMap Main ('a' 'b') ((0 0 10 12) (10 2 54 14));\n"
                     "LayerSetCharOffsets Main ('a') ((1 -2));")
                    .mInitialized);
    EXPECT_EQ(Char('a').mImageRect, TRect<int>(0, 0, 10, 12));
    EXPECT_EQ(Char('b').mImageRect, TRect<int>(10, 2, 54, 14));
    EXPECT_EQ(Main().mDefaultHeight, 17); // 14 + offset 3
    EXPECT_EQ(Char('a').mOffset, TPoint<int>(1, -2));
    EXPECT_FALSE(Load("LayerSetImageMap Main ('a' 'b' 'c') ((0 0 4 4) (60 0 5 16) (4 0 4 4));").mInitialized);
    EXPECT_EQ(Char('a').mImageRect, TRect<int>(0, 0, 4, 4));
    EXPECT_EQ(Char('c').mImageRect, TRect<int>());
    EXPECT_FALSE(Load("LayerSetImageMap Main ('a' 'bb' 'c') ((0 0 4 4) (4 0 4 4) (8 0 4));").mInitialized);
    EXPECT_EQ(Char('a').mImageRect, TRect<int>(0, 0, 4, 4));
    EXPECT_EQ(Main().mDefaultHeight, 4);
    EXPECT_EQ(Messages(), Strings{kTypeError});
    FontData& data = Load("CreateHorzSpanRectList Spans (10 1 0 15) (3 4 5);\n"
                          "LayerSetImageMap Main ('a' 'b' 'c') spans;");
    EXPECT_TRUE(data.mInitialized);
    EXPECT_EQ(DescParser::DataElementToString(data.Dereference("SPANS")),
              "((10, 1, 3, 15), (13, 1, 4, 15), (17, 1, 5, 15))");
    EXPECT_EQ(Char('c').mImageRect, TRect<int>(17, 1, 5, 15));
}

TEST_F(FontDataTest, DefinesOfThemselvesOrEachOtherStop)
{
    FontData& data = Load("Define A (1 2);\nDefine A (A);");
    EXPECT_FALSE(data.mInitialized);
    EXPECT_EQ(Messages(), Strings{"Unable to Dereference \"A\""});
    EXPECT_EQ(data.Dereference("A"), nullptr);
    FontData& chain = Load("Define A 5;\nDefine B A;\nDefine A A;\nDefine C 'q';");
    EXPECT_TRUE(chain.mInitialized);
    EXPECT_EQ(DescParser::DataElementToString(chain.Dereference("b")), "5");
    EXPECT_EQ(DescParser::DataElementToString(chain.Dereference("a")), "A");
    EXPECT_EQ(DescParser::DataElementToString(chain.Dereference("c")), "'q'");
}

TEST_F(FontDataTest, ExistingLayerNamesAndTooManyLayers)
{
    FontData& data = Load("LayerSetAscent Main 4;\nCreateLayer MAIN;\nCreateLayerFrom Copy Main;\n"
                          "CreateLayerFrom main Main;\nLayerSetAscent Copy 9;");
    EXPECT_TRUE(data.mInitialized);
    EXPECT_EQ(Messages(), (Strings{"Layer Already Exists", "Layer Already Exists"}));
    EXPECT_EQ(data.mFontLayerList.size(), 4u);
    EXPECT_EQ(Main().mAscent, 4);
    FontLayer& copy = *data.mFontLayerMap.at("COPY");
    EXPECT_EQ(copy.mAscent, 9);
    EXPECT_EQ(static_cast<Image*>(copy.mImage), mImage.get());
    std::string text;
    for (int i = 0; i < FontData::kMaxLayers + 5; ++i)
        text += "CreateLayer L" + std::to_string(i) + ";";
    FontData& data3 = Load(text);
    EXPECT_FALSE(data3.mInitialized);
    EXPECT_EQ(int(data3.mFontLayerList.size()), FontData::kMaxLayers);
    EXPECT_EQ(Messages(), Strings{"Too Many Layers"});
}

TEST_F(FontDataTest, ImageIsSharedAndPalletizedOnFirstLoad)
{
    FontData& data = Load("CreateLayer Second;\nLayerSetImage Second 'GLYPHS.PNG';");
    EXPECT_TRUE(data.mInitialized);
    EXPECT_EQ(static_cast<Image*>(Main().mImage), mImage.get());
    EXPECT_EQ(static_cast<Image*>(data.mFontLayerMap.at("SECOND")->mImage), mImage.get());
    EXPECT_EQ(mApp.mLoadCount[StringToUpper(mDir / "glyphs.png")], 1);
    // One colour (white): the palette form holds it.
    EXPECT_NE(mImage->mPalette, nullptr);
    EXPECT_EQ(mImage->mPaletteCount, 1);
}

// ---- Legacy width files ---------------------------------------------------------------------------

class LegacyTest : public FontDataTest
{
protected:
    const FontLayer& LoadWidths(const std::string& text, int imageWidth, int imageHeight = 4)
    {
        mStrip = FilledImage(imageWidth, imageHeight, 0xFFFFFFFFu);
        mData = std::make_unique<FontData>();
        mResult = mData->LoadLegacy(mStrip.get(), mDir.Write("widths.txt", text));
        EXPECT_EQ(mData->mInitialized, mResult);
        return *mData->mFontLayerMap.at("");
    }
    const CharData& Char(char c) { return mData->mFontLayerMap.at("")->mCharData[U(c)]; }
    std::shared_ptr<MemoryImage> mStrip;
    bool mResult = false;
};

TEST_F(LegacyTest, WidthsLieSideBySide)
{
    const FontLayer& layer = LoadWidths("5 20 a 7 b 8", 15, 10);
    // Widths, ascent and the capitals' letters are measured in imagefont_test.
    EXPECT_TRUE(mResult);
    EXPECT_EQ(Char(' ').mImageRect, TRect<int>());
    EXPECT_EQ(Char('a').mImageRect, TRect<int>(0, 0, 7, 10));
    EXPECT_EQ(Char('b').mImageRect, TRect<int>(7, 0, 8, 10));
    EXPECT_EQ(static_cast<Image*>(layer.mImage), mStrip.get());
    // Only small letters listed: capitals draw them.
    const std::string from = "ABCa", to = "abCa";
    for (size_t i = 0; i < from.size(); ++i)
        EXPECT_EQ(mData->mCharMap[U(from[i])], U(to[i])) << from[i];
    LoadWidths("3 4\nQ 5\n\tR\n6\nr 2\n", 20);
    EXPECT_TRUE(mResult);
    // A listed capital draws its small letter unless that is listed too.
    const std::string from2 = "qrR", to2 = "QrR";
    for (size_t i = 0; i < from2.size(); ++i)
        EXPECT_EQ(mData->mCharMap[U(from2[i])], U(to2[i])) << from2[i];
    EXPECT_EQ(Char('r').mImageRect, TRect<int>(11, 0, 2, 4));
}

TEST_F(LegacyTest, UnreadableOrNegativeWidthsAndGlyphsInsideTheImage)
{
    LoadWidths("3 4 a b 6 c", 20);
    EXPECT_TRUE(mResult);
    EXPECT_EQ(Char('a').mWidth, 0);
    EXPECT_EQ(Char('b').mImageRect, TRect<int>(0, 0, 6, 4));
    EXPECT_EQ(Char('c').mWidth, 0);
    LoadWidths("3 4 a 5 b -2 c 3", 20);
    EXPECT_FALSE(mResult);
    EXPECT_EQ(mData->mError, "Negative Character Width");
    LoadWidths("-3 4 a 5", 20);
    EXPECT_FALSE(mResult);
    LoadWidths("3 4 a 6 b 6 c 2147483647 d 9", 10);
    EXPECT_TRUE(mResult);
    EXPECT_EQ(Char('a').mImageRect, TRect<int>(0, 0, 6, 4));
    EXPECT_EQ(Char('b').mImageRect, TRect<int>(6, 0, 4, 4));
    EXPECT_EQ(Char('b').mWidth, 6);
    EXPECT_EQ(Char('c').mImageRect, TRect<int>(10, 0, 0, 4));
    EXPECT_EQ(Char('d').mImageRect, TRect<int>(10, 0, 0, 4));
    FontData data;
    EXPECT_FALSE(data.LoadLegacy(mImage.get(), mDir / "none.txt"));
    EXPECT_FALSE(data.mInitialized);
    EXPECT_EQ(data.mFontLayerList.size(), 1u);
}

} // namespace
} // namespace Vaxo
