// ImageLib core: the decoder registry, the naming rules of GetImage, alpha
// merging, the size cap, and the TGA reader and writer.
#include "graphics/imagelib/ImageLib.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <dirent.h>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace Vaxo::ImageLib;

namespace
{

// A recording decoder: logs every path it is asked for and "finds" the
// paths of gPresent.
struct FakeFile
{
    int32_t width;
    int32_t height;
    std::vector<uint32_t> pixels;
};
std::vector<std::string> gTried;
std::map<std::string, FakeFile> gPresent;

Image* MakeImage(const FakeFile& f)
{
    Image* image = AllocateImage(f.width, f.height);
    for (size_t i = 0; i < f.pixels.size(); ++i)
        image->mBits[i] = f.pixels[i];
    return image;
}

Image* RecordingDecoder(const std::string& path)
{
    gTried.push_back(path);
    auto it = gPresent.find(path);
    return it == gPresent.end() ? nullptr : MakeImage(it->second);
}

class ImageLibTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ResetForTesting();
        gTried.clear();
        gPresent.clear();
    }
    void TearDown() override { ResetForTesting(); }

    static void RecordAll()
    {
        gTGADecoder = RecordingDecoder;
        gJPGDecoder = RecordingDecoder;
        gPNGDecoder = RecordingDecoder;
        gGIFDecoder = RecordingDecoder;
        gJP2Decoder = RecordingDecoder;
    }
};

std::vector<std::string> AllExtensions(const std::string& base)
{
    std::vector<std::string> v;
    for (const char* e : {".tga", ".jpg", ".png", ".gif", ".j2k", ".jp2"})
        v.push_back(base + e);
    return v;
}

std::vector<std::string> Concat(std::initializer_list<std::vector<std::string>> parts)
{
    std::vector<std::string> v;
    for (auto& p : parts)
        v.insert(v.end(), p.begin(), p.end());
    return v;
}

std::vector<uint32_t> Pixels(const Image& image)
{
    return std::vector<uint32_t>(image.GetBits(),
                                 image.GetBits() + size_t(image.GetWidth()) * image.GetHeight());
}

// A temporary folder removed with everything in it.
class TempDir
{
public:
    TempDir()
    {
        char pattern[] = "/tmp/imagelib_testXXXXXX";
        char* p = mkdtemp(pattern);
        mPath = p ? p : "";
    }
    ~TempDir() { Remove(mPath); }
    const std::string& Path() const { return mPath; }
    std::string operator/(const std::string& name) const { return mPath + "/" + name; }

private:
    static void Remove(const std::string& path)
    {
        if (DIR* d = opendir(path.c_str()))
        {
            while (dirent* e = readdir(d))
            {
                std::string n = e->d_name;
                if (n != "." && n != "..")
                    Remove(path + "/" + n);
            }
            closedir(d);
            rmdir(path.c_str());
        }
        else
        {
            unlink(path.c_str());
        }
    }
    std::string mPath;
};

std::vector<uint8_t> ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::unique_ptr<Image> SolidImage(int32_t w, int32_t h, uint32_t color)
{
    std::unique_ptr<Image> image(AllocateImage(w, h));
    for (int32_t i = 0; i < w * h; ++i)
        image->mBits[i] = color;
    return image;
}

} // namespace

// ---- registry ----

TEST_F(ImageLibTest, RegistryStartsEmptySoNothingLoads)
{
    EXPECT_EQ(gTGADecoder.load(), nullptr);
    EXPECT_EQ(gJPGDecoder.load(), nullptr);
    EXPECT_EQ(gPNGDecoder.load(), nullptr);
    EXPECT_EQ(gGIFDecoder.load(), nullptr);
    EXPECT_EQ(gJP2Decoder.load(), nullptr);
    EXPECT_EQ(GetImage("anything.png", true), nullptr);
    EXPECT_TRUE(gAutoLoadAlpha.load());
    EXPECT_EQ(gAlphaComposeColor.load(), 0xFFFFFFu);
}

TEST_F(ImageLibTest, EnableAllDecodersSetsEveryReader)
{
    EnableAllDecoders();
    EXPECT_EQ(gTGADecoder.load(), &GetTGAImage);
    EXPECT_EQ(gJPGDecoder.load(), &GetJPEGImage);
    EXPECT_EQ(gPNGDecoder.load(), &GetPNGImage);
    EXPECT_EQ(gGIFDecoder.load(), &GetGIFImage);
    EXPECT_EQ(gJP2Decoder.load(), &GetJPEG2000Image);
    EnableJPGSmallDecoder();
    EXPECT_EQ(gJPGDecoder.load(), &GetJPEGImage_Small);
}

TEST_F(ImageLibTest, StubsDecodeAndWriteNothing)
{
    TempDir dir;
    std::unique_ptr<Image> image = SolidImage(2, 2, 0xFF000000);
    EXPECT_EQ(GetJPEGImage_Small(dir / "x.jpg"), nullptr);
    EXPECT_EQ(GetJPEG2000Image(dir / "x.jp2"), nullptr);
    EXPECT_FALSE(WriteBMPImage(dir / "x.bmp", image.get()));
    EXPECT_TRUE(ReadBytes(dir / "x.bmp").empty());
    InitJPEG2000();
    CloseJPEG2000();
}

// ---- naming rules ----

struct NameCase
{
    const char* name;
    bool lookForAlpha;
    std::vector<std::string> tried;
};

class GetImageNames : public ImageLibTest, public testing::WithParamInterface<NameCase>
{
};

TEST_P(GetImageNames, TriesCandidatesInOrder)
{
    RecordAll();
    const NameCase& c = GetParam();
    std::unique_ptr<Image> image(GetImage(c.name, c.lookForAlpha));
    EXPECT_EQ(image, nullptr);
    EXPECT_EQ(gTried, c.tried);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GetImageNames,
    testing::Values(
        NameCase{"images/foo", false, AllExtensions("images/foo")},
        NameCase{"images/foo", true,
                 Concat({AllExtensions("images/foo"), AllExtensions("images/_foo"),
                         AllExtensions("images/foo_")})},
        NameCase{"images/foo.png", true,
                 Concat({{"images/foo.png", "images/_foo.png"}, AllExtensions("images/foo_")})},
        NameCase{"images/Foo.PNG", false, {"images/Foo.png"}},
        NameCase{"images/foo.JPG", false, {"images/foo.jpg"}}, NameCase{"a/foo.Gif", false, {"a/foo.gif"}},
        NameCase{"a/foo.tga", false, {"a/foo.tga"}}, NameCase{"a/foo.J2K", false, {"a/foo.j2k"}},
        NameCase{"a/foo.jp2", false, {"a/foo.jp2"}},
        // An extension of no decoder tries nothing, but its "name_" companion is searched.
        NameCase{"a/foo.bmp", false, {}}, NameCase{"a/foo.bmp", true, AllExtensions("a/foo_")},
        // A dot in a folder name is not an extension.
        NameCase{"dir.v2/foo", false, AllExtensions("dir.v2/foo")},
        NameCase{"dir.v2\\foo", true,
                 Concat({AllExtensions("dir.v2\\foo"), AllExtensions("dir.v2\\_foo"),
                         AllExtensions("dir.v2\\foo_")})},
        // The later of '/' and '\' separates the folder.
        NameCase{"a\\b/c.d\\foo", true,
                 Concat({AllExtensions("a\\b/c.d\\foo"), AllExtensions("a\\b/c.d\\_foo"),
                         AllExtensions("a\\b/c.d\\foo_")})},
        NameCase{"a/b.c\\d/foo.gif", true,
                 Concat({{"a/b.c\\d/foo.gif", "a/b.c\\d/_foo.gif"}, AllExtensions("a/b.c\\d/foo_")})},
        NameCase{"foo", true, Concat({AllExtensions("foo"), AllExtensions("_foo"), AllExtensions("foo_")})},
        NameCase{"foo.png", true, Concat({{"foo.png", "_foo.png"}, AllExtensions("foo_")})}));

TEST_F(ImageLibTest, FirstImageFoundEndsTheSearch)
{
    RecordAll();
    gPresent["d/foo.jpg"] = {1, 1, {0xFF010203}};
    gPresent["d/foo.png"] = {1, 1, {0xFF040506}};
    std::unique_ptr<Image> image(GetImage("d/foo", false));
    ASSERT_TRUE(image);
    EXPECT_EQ(Pixels(*image), std::vector<uint32_t>({0xFF010203}));
    EXPECT_EQ(gTried, std::vector<std::string>({"d/foo.tga", "d/foo.jpg"}));
}

TEST_F(ImageLibTest, NullDecoderIsSkipped)
{
    gPNGDecoder = RecordingDecoder;
    std::unique_ptr<Image> image(GetImage("d/foo", false));
    EXPECT_EQ(gTried, std::vector<std::string>({"d/foo.png"}));
}

TEST_F(ImageLibTest, UnderscoreBeforeNameIsPreferredToAfter)
{
    RecordAll();
    gPresent["d/foo.png"] = {1, 1, {0xFF102030}};
    gPresent["d/_foo.png"] = {1, 1, {0x00000011}};
    gPresent["d/foo_.png"] = {1, 1, {0x00000022}};
    std::unique_ptr<Image> image(GetImage("d/foo.png", true));
    ASSERT_TRUE(image);
    EXPECT_EQ(Pixels(*image), std::vector<uint32_t>({0x11102030}));
    EXPECT_EQ(gTried, std::vector<std::string>({"d/foo.png", "d/_foo.png"}));
}

TEST_F(ImageLibTest, AutoLoadAlphaOffDisablesTheSearch)
{
    RecordAll();
    gAutoLoadAlpha = false;
    gPresent["d/foo.png"] = {1, 1, {0xFF102030}};
    gPresent["d/_foo.png"] = {1, 1, {0x00000011}};
    std::unique_ptr<Image> image(GetImage("d/foo.png", true));
    ASSERT_TRUE(image);
    EXPECT_EQ(Pixels(*image), std::vector<uint32_t>({0xFF102030}));
    EXPECT_EQ(gTried, std::vector<std::string>({"d/foo.png"}));
}

// ---- alpha merging ----

TEST_F(ImageLibTest, AlphaImageBlueChannelBecomesAlpha)
{
    RecordAll();
    gPresent["d/foo.png"] = {2, 2, {0xFF102030, 0x00405060, 0x80708090, 0x12A0B0C0}};
    gPresent["d/foo_.gif"] = {2, 2, {0xFFFFFF00, 0x000000FF, 0x12345678, 0xAB0000CD}};
    std::unique_ptr<Image> image(GetImage("d/foo.png", true));
    ASSERT_TRUE(image);
    EXPECT_EQ(Pixels(*image), std::vector<uint32_t>({0x00102030, 0xFF405060, 0x78708090, 0xCDA0B0C0}));
}

TEST_F(ImageLibTest, AlphaImageOfOtherSizeLeavesImageUnchanged)
{
    RecordAll();
    gPresent["d/foo.png"] = {2, 1, {0xFF102030, 0x80405060}};
    gPresent["d/_foo.png"] = {1, 2, {0x00, 0x00}};
    std::unique_ptr<Image> image(GetImage("d/foo.png", true));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->GetWidth(), 2);
    EXPECT_EQ(Pixels(*image), std::vector<uint32_t>({0xFF102030, 0x80405060}));
}

TEST_F(ImageLibTest, AlphaOnlyImageTakesComposeColor)
{
    RecordAll();
    gAlphaComposeColor = 0xAA336699; // only the low 24 bits count
    gPresent["d/foo_.png"] = {3, 1, {0xFFFFFF00, 0x00000080, 0x123456FF}};
    std::unique_ptr<Image> image(GetImage("d/foo", true));
    ASSERT_TRUE(image);
    EXPECT_EQ(Pixels(*image), std::vector<uint32_t>({0x00336699, 0x80336699, 0xFF336699}));
}

TEST_F(ImageLibTest, AlphaOnlyImageDefaultComposeColorIsWhite)
{
    RecordAll();
    gPresent["_foo.tga"] = {1, 1, {0x00000040}};
    std::unique_ptr<Image> image(GetImage("foo", true));
    ASSERT_TRUE(image);
    EXPECT_EQ(Pixels(*image), std::vector<uint32_t>({0x40FFFFFF}));
}

TEST_F(ImageLibTest, NoAlphaWhenNotAsked)
{
    RecordAll();
    gPresent["d/foo_.png"] = {1, 1, {0x40}};
    EXPECT_EQ(GetImage("d/foo", false), nullptr);
}

// ---- real files in a temporary folder ----

TEST_F(ImageLibTest, UpperCaseExtensionOpensLowerCaseFile)
{
    EnableAllDecoders();
    TempDir dir;
    mkdir((dir / "images").c_str(), 0700);
    std::unique_ptr<Image> src = SolidImage(3, 2, 0xFF336699);
    ASSERT_TRUE(WritePNGImage(dir / "images/Foo.png", src.get()));
    std::unique_ptr<Image> image(GetImage(dir / "images/Foo.PNG", true));
    ASSERT_TRUE(image);
    EXPECT_EQ(Pixels(*image), Pixels(*src));
}

TEST_F(ImageLibTest, NameWithoutExtensionPrefersTgaOverPng)
{
    EnableAllDecoders();
    TempDir dir;
    mkdir((dir / "dir.v2").c_str(), 0700);
    std::unique_ptr<Image> tga = SolidImage(1, 1, 0xFF000001);
    std::unique_ptr<Image> png = SolidImage(1, 1, 0xFF000002);
    ASSERT_TRUE(WriteTGAImage(dir / "dir.v2/foo.tga", tga.get()));
    ASSERT_TRUE(WritePNGImage(dir / "dir.v2/foo.png", png.get()));
    std::unique_ptr<Image> image(GetImage(dir / "dir.v2/foo", true));
    ASSERT_TRUE(image);
    EXPECT_EQ(Pixels(*image), Pixels(*tga));
    unlink((dir / "dir.v2/foo.tga").c_str());
    image.reset(GetImage(dir / "dir.v2/foo", true));
    ASSERT_TRUE(image);
    EXPECT_EQ(Pixels(*image), Pixels(*png));
}

TEST_F(ImageLibTest, AlphaCompanionFileMergedFromDisk)
{
    EnableAllDecoders();
    TempDir dir;
    std::unique_ptr<Image> color = SolidImage(2, 1, 0xFF102030);
    std::unique_ptr<Image> alpha = SolidImage(2, 1, 0xFF000000);
    alpha->mBits[0] = 0xFF000055;
    alpha->mBits[1] = 0xFF0000AA;
    ASSERT_TRUE(WriteTGAImage(dir / "foo.tga", color.get()));
    ASSERT_TRUE(WritePNGImage(dir / "foo_.png", alpha.get()));
    std::unique_ptr<Image> image(GetImage(dir / "foo.tga", true));
    ASSERT_TRUE(image);
    EXPECT_EQ(Pixels(*image), std::vector<uint32_t>({0x55102030, 0xAA102030}));
}

// ---- size cap ----

struct SizeCase
{
    int64_t width;
    int64_t height;
    bool accepted;
};

class AcceptedSize : public testing::TestWithParam<SizeCase>
{
};

TEST_P(AcceptedSize, CapOnSidesAndPixels)
{
    const SizeCase& c = GetParam();
    EXPECT_EQ(IsAcceptedSize(c.width, c.height), c.accepted);
}

INSTANTIATE_TEST_SUITE_P(Cases, AcceptedSize,
                         testing::Values(SizeCase{1, 1, true}, SizeCase{0, 1, false}, SizeCase{1, 0, false},
                                         SizeCase{-1, 5, false}, SizeCase{16384, 4096, true},
                                         SizeCase{16384, 4097, false}, SizeCase{16385, 1, false},
                                         SizeCase{1, 16385, false}, SizeCase{8192, 8192, true},
                                         SizeCase{65535, 65535, false}));

TEST(ImageAllocation, RefusedSizeGivesNullAndAcceptedSizeIsZeroed)
{
    EXPECT_EQ(AllocateImage(16385, 1), nullptr);
    EXPECT_EQ(AllocateImage(0, 0), nullptr);
    std::unique_ptr<Image> image(AllocateImage(3, 2));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->GetWidth(), 3);
    EXPECT_EQ(image->GetHeight(), 2);
    EXPECT_EQ(Pixels(*image), std::vector<uint32_t>(6, 0));
    Image empty;
    EXPECT_EQ(empty.GetWidth(), 0);
    EXPECT_EQ(empty.GetHeight(), 0);
    EXPECT_EQ(empty.GetBits(), nullptr);
}

TEST(ImageMemory, EmptyBufferGivesNull)
{
    uint8_t byte = 0;
    EXPECT_EQ(GetTGAImageFromMemory(&byte, 0), nullptr);
    EXPECT_EQ(GetGIFImageFromMemory(nullptr, 0), nullptr);
    EXPECT_EQ(GetPNGImageFromMemory(&byte, 1), nullptr);
    EXPECT_EQ(GetJPEGImageFromMemory(&byte, 1), nullptr);
}

// ---- TGA ----

namespace
{

std::vector<uint8_t> TgaHeader(uint8_t idLength, uint8_t mapType, uint8_t type, uint16_t mapLength,
                               uint8_t mapBits, uint16_t width, uint16_t height, uint8_t depth,
                               uint8_t descriptor)
{
    return {idLength,
            mapType,
            type,
            0,
            0,
            uint8_t(mapLength),
            uint8_t(mapLength >> 8),
            mapBits,
            0,
            0,
            0,
            0,
            uint8_t(width),
            uint8_t(width >> 8),
            uint8_t(height),
            uint8_t(height >> 8),
            depth,
            descriptor};
}

// Two pixels: opaque red-ish, half-transparent blue-ish, as blue, green, red, alpha.
const std::vector<uint8_t> kTwoPixels = {0x30, 0x20, 0x10, 0xFF, 0xC0, 0xB0, 0xA0, 0x80};
const std::vector<uint32_t> kTwoPixelsArgb = {0xFF102030, 0x80A0B0C0};

std::unique_ptr<Image> DecodeTga(const std::vector<uint8_t>& bytes)
{
    return std::unique_ptr<Image>(GetTGAImageFromMemory(bytes.data(), bytes.size()));
}

std::vector<uint8_t> Join(std::vector<uint8_t> a, const std::vector<uint8_t>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

} // namespace

TEST(TgaReader, ReadsTopDown32BitPixels)
{
    auto image = DecodeTga(Join(TgaHeader(0, 0, 2, 0, 0, 2, 1, 32, 0x28), kTwoPixels));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->GetWidth(), 2);
    EXPECT_EQ(image->GetHeight(), 1);
    EXPECT_EQ(Pixels(*image), kTwoPixelsArgb);
}

TEST(TgaReader, SkipsIdFieldAndColourMap)
{
    // 3 ID bytes and a colour map of 2 entries of 24 bits (6 bytes).
    std::vector<uint8_t> extra = {'a', 'b', 'c', 1, 2, 3, 4, 5, 6};
    auto image = DecodeTga(Join(Join(TgaHeader(3, 1, 2, 2, 24, 1, 2, 32, 0x28), extra), kTwoPixels));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->GetWidth(), 1);
    EXPECT_EQ(image->GetHeight(), 2);
    EXPECT_EQ(Pixels(*image), kTwoPixelsArgb);
}

TEST(TgaReader, ColourMapFieldsIgnoredWithoutMap)
{
    auto image = DecodeTga(Join(TgaHeader(0, 0, 2, 7, 24, 2, 1, 32, 0x28), kTwoPixels));
    ASSERT_TRUE(image);
    EXPECT_EQ(Pixels(*image), kTwoPixelsArgb);
}

struct TgaRefusal
{
    const char* name;
    std::vector<uint8_t> header;
};

class TgaRefused : public testing::TestWithParam<TgaRefusal>
{
};

TEST_P(TgaRefused, GivesNull)
{
    EXPECT_FALSE(DecodeTga(Join(GetParam().header, kTwoPixels)));
}

INSTANTIATE_TEST_SUITE_P(Cases, TgaRefused,
                         testing::Values(TgaRefusal{"depth24", TgaHeader(0, 0, 2, 0, 0, 2, 1, 24, 0x28)},
                                         TgaRefusal{"bottomUp", TgaHeader(0, 0, 2, 0, 0, 2, 1, 32, 0x08)},
                                         TgaRefusal{"rle", TgaHeader(0, 0, 10, 0, 0, 2, 1, 32, 0x28)},
                                         TgaRefusal{"colourMapped", TgaHeader(0, 1, 1, 0, 0, 2, 1, 32, 0x28)},
                                         TgaRefusal{"grey", TgaHeader(0, 0, 3, 0, 0, 2, 1, 32, 0x28)},
                                         TgaRefusal{"zeroByZero", TgaHeader(0, 0, 2, 0, 0, 0, 0, 32, 0x28)},
                                         TgaRefusal{"zeroWidth", TgaHeader(0, 0, 2, 0, 0, 0, 1, 32, 0x28)},
                                         TgaRefusal{"zeroHeight", TgaHeader(0, 0, 2, 0, 0, 1, 0, 32, 0x28)},
                                         TgaRefusal{"tooWide", TgaHeader(0, 0, 2, 0, 0, 16385, 1, 32, 0x28)},
                                         TgaRefusal{"tooManyPixels",
                                                    TgaHeader(0, 0, 2, 0, 0, 16384, 16384, 32, 0x28)},
                                         TgaRefusal{"shortHeader", std::vector<uint8_t>(17, 0)}),
                         [](const testing::TestParamInfo<TgaRefusal>& info)
                         { return std::string(info.param.name); });

TEST(TgaReader, TruncatedPixelsAreZero)
{
    std::vector<uint8_t> bytes = Join(TgaHeader(0, 0, 2, 0, 0, 2, 2, 32, 0x28), kTwoPixels);
    bytes.push_back(0x11); // a partial third pixel
    auto image = DecodeTga(bytes);
    ASSERT_TRUE(image);
    EXPECT_EQ(Pixels(*image), std::vector<uint32_t>({0xFF102030, 0x80A0B0C0, 0, 0}));
}

TEST(TgaReader, MissingFileGivesNull)
{
    EXPECT_EQ(GetTGAImage("/nonexistent/dir/x.tga"), nullptr);
}

TEST(TgaWriter, WritesHeaderAndBgraPixelsByteForByte)
{
    TempDir dir;
    std::unique_ptr<Image> image(AllocateImage(2, 1));
    image->mBits[0] = 0xFF102030;
    image->mBits[1] = 0x80A0B0C0;
    ASSERT_TRUE(WriteTGAImage(dir / "a.tga", image.get()));
    std::vector<uint8_t> expected = {0, 0, 2, 0,  0,    0,    0,    0,    0,    0,    0,    0,    2,
                                     0, 1, 0, 32, 0x28, 0x30, 0x20, 0x10, 0xFF, 0xC0, 0xB0, 0xA0, 0x80};
    EXPECT_EQ(ReadBytes(dir / "a.tga"), expected);
}

TEST(TgaWriter, RoundTripIsExact)
{
    TempDir dir;
    std::unique_ptr<Image> image(AllocateImage(300, 257));
    for (int32_t i = 0; i < 300 * 257; ++i)
        image->mBits[i] = uint32_t(i) * 2654435761u;
    ASSERT_TRUE(WriteTGAImage(dir / "big.tga", image.get()));
    std::unique_ptr<Image> back(GetTGAImage(dir / "big.tga"));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->GetWidth(), 300);
    EXPECT_EQ(back->GetHeight(), 257);
    EXPECT_EQ(Pixels(*back), Pixels(*image));
}

TEST(TgaWriter, UnopenablePathOrEmptyImageGivesFalse)
{
    std::unique_ptr<Image> image = SolidImage(1, 1, 0);
    EXPECT_FALSE(WriteTGAImage("/nonexistent/dir/x.tga", image.get()));
    Image empty;
    TempDir dir;
    EXPECT_FALSE(WriteTGAImage(dir / "e.tga", &empty));
    EXPECT_FALSE(WriteTGAImage(dir / "n.tga", nullptr));
}

TEST(TgaWriter, FullDiskReportsFailure)
{
    if (access("/dev/full", W_OK) != 0)
        GTEST_SKIP() << "no /dev/full";
    std::unique_ptr<Image> image = SolidImage(64, 64, 0xFF123456);
    EXPECT_FALSE(WriteTGAImage("/dev/full", image.get()));
    EXPECT_FALSE(WritePNGImage("/dev/full", image.get()));
    EXPECT_FALSE(WriteJPEGImage("/dev/full", image.get()));
}
