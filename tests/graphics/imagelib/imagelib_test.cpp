// ImageLib core: the naming rules of GetImage, alpha merging, the TGA reader and writer,
// and the image fuzz targets' seeds (each reader's size cap is checked with the reader).
#include "graphics/imagelib/ImageLib.h"

#include "common/support/TestFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

using namespace Vaxo::ImageLib;
using Bytes = std::vector<uint8_t>;
using Names = std::vector<std::string>;
using Words = std::vector<uint32_t>;

namespace
{

// A recording decoder: logs every path it is asked for and "finds" the
// paths of gPresent, each with its pixels (width given, one row or more).
struct FakeFile
{
    int32_t width;
    int32_t height;
    Words pixels;
};
Names gTried;
std::map<std::string, FakeFile> gPresent;

Image* RecordingDecoder(const std::string& path)
{
    gTried.push_back(path);
    auto it = gPresent.find(path);
    if (it == gPresent.end())
        return nullptr;
    Image* image = AllocateImage(it->second.width, it->second.height);
    std::copy(it->second.pixels.begin(), it->second.pixels.end(), image->mBits);
    return image;
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
        for (auto* d : {&gTGADecoder, &gJPGDecoder, &gPNGDecoder, &gGIFDecoder, &gJP2Decoder})
            *d = RecordingDecoder;
    }
};

Words Pixels(const Image& image)
{
    return Words(image.GetBits(), image.GetBits() + size_t(image.GetWidth()) * image.GetHeight());
}

// The pixels GetImage gives, or {} for null.
Words Load(const std::string& name, bool lookForAlpha)
{
    std::unique_ptr<Image> image(GetImage(name, lookForAlpha));
    return image ? Pixels(*image) : Words();
}

// The names tried for `base` without an extension, in order.
Names AllExtensions(const std::string& base)
{
    Names v;
    for (const char* e : {".tga", ".jpg", ".png", ".gif", ".j2k", ".jp2"})
        v.push_back(base + e);
    return v;
}

Names Concat(std::initializer_list<Names> parts)
{
    Names v;
    for (auto& p : parts)
        v.insert(v.end(), p.begin(), p.end());
    return v;
}

// The names tried for `name` (no extension) with its alpha companions.
Names WithAlpha(const std::string& folder, const std::string& name)
{
    return Concat({AllExtensions(folder + name), AllExtensions(folder + "_" + name),
                   AllExtensions(folder + name + "_")});
}

Bytes ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

} // namespace

// ---- registry and naming rules ----

struct NameCase
{
    const char* name;
    bool lookForAlpha;
    Names tried;
};

TEST_F(ImageLibTest, GetImageTriesCandidatesInOrder)
{
    const NameCase cases[] = {
        {"images/foo", false, AllExtensions("images/foo")},
        {"images/foo", true, WithAlpha("images/", "foo")},
        {"images/foo.png", true,
         Concat({{"images/foo.png", "images/_foo.png"}, AllExtensions("images/foo_")})},
        // Known extensions are tried in lower case.
        {"images/Foo.PNG", false, {"images/Foo.png"}},
        {"a/foo.J2K", false, {"a/foo.j2k"}},
        // An extension of no decoder tries nothing, but its "name_" companion is searched.
        {"a/foo.bmp", false, {}},
        {"a/foo.bmp", true, AllExtensions("a/foo_")},
        // A dot in a folder name is not an extension; the later of '/' and '\' separates the folder.
        {"dir.v2/foo", false, AllExtensions("dir.v2/foo")},
        {"dir.v2\\foo", true, WithAlpha("dir.v2\\", "foo")},
        {"a/b.c\\d/foo.gif", true,
         Concat({{"a/b.c\\d/foo.gif", "a/b.c\\d/_foo.gif"}, AllExtensions("a/b.c\\d/foo_")})},
        {"foo.png", true, Concat({{"foo.png", "_foo.png"}, AllExtensions("foo_")})},
    };
    RecordAll();
    for (const NameCase& c : cases)
    {
        gTried.clear();
        EXPECT_EQ(Load(c.name, c.lookForAlpha), Words());
        EXPECT_EQ(gTried, c.tried) << c.name << (c.lookForAlpha ? " with alpha" : "");
    }
}

TEST_F(ImageLibTest, FirstImageFoundEndsTheSearchUnderscoreBeforeNameFirst)
{
    EXPECT_EQ(Load("d/foo.jpg", true), Words()); // the registry starts empty
    RecordAll();
    gPresent["d/foo.jpg"] = {1, 1, {0xFF010203}};
    gPresent["d/foo.png"] = {1, 1, {0xFF040506}};
    EXPECT_EQ(Load("d/foo", false), Words({0xFF010203}));
    EXPECT_EQ(gTried, Names({"d/foo.tga", "d/foo.jpg"}));
    ResetForTesting();
    gPNGDecoder = RecordingDecoder;
    gTried.clear();
    EXPECT_EQ(Load("d/foo", false), Words({0xFF040506}));
    EXPECT_EQ(gTried, Names({"d/foo.png"}));
    // An underscore before the name is preferred to one after it.
    RecordAll();
    gTried.clear();
    gPresent["d/foo.png"] = {1, 1, {0xFF102030}};
    gPresent["d/_foo.png"] = {1, 1, {0x00000011}};
    gPresent["d/foo_.png"] = {1, 1, {0x00000022}};
    EXPECT_EQ(Load("d/foo.png", true), Words({0x11102030}));
    EXPECT_EQ(gTried, Names({"d/foo.png", "d/_foo.png"}));
    // Automatic alpha loading off: no companion is looked for.
    gAutoLoadAlpha = false;
    gTried.clear();
    EXPECT_EQ(Load("d/foo.png", true), Words({0xFF102030}));
    EXPECT_EQ(gTried, Names({"d/foo.png"}));
}

// ---- alpha merging ----

TEST_F(ImageLibTest, AlphaImagesBlueChannelBecomesAlphaWhenTheSizesMatch)
{
    RecordAll();
    gPresent["d/foo.png"] = {2, 2, {0xFF102030, 0x00405060, 0x80708090, 0x12A0B0C0}};
    gPresent["d/foo_.gif"] = {2, 2, {0xFFFFFF00, 0x000000FF, 0x12345678, 0xAB0000CD}};
    EXPECT_EQ(Load("d/foo.png", true), Words({0x00102030, 0xFF405060, 0x78708090, 0xCDA0B0C0}));
    RecordAll();
    gPresent["d/foo.png"] = {2, 1, {0xFF102030, 0x80405060}};
    gPresent["d/_foo.png"] = {1, 2, {0x00, 0x00}};
    EXPECT_EQ(Load("d/foo.png", true), Words({0xFF102030, 0x80405060}));
    gPresent.clear();
    gPresent["_foo.tga"] = {1, 1, {0x00000040}};
    EXPECT_EQ(Load("foo", true), Words({0x40FFFFFF})); // white by default
    EXPECT_EQ(Load("foo", false), Words());
    gAlphaComposeColor = 0xAA336699; // only the low 24 bits count
    gPresent["d/foo_.png"] = {3, 1, {0xFFFFFF00, 0x00000080, 0x123456FF}};
    EXPECT_EQ(Load("d/foo", true), Words({0x00336699, 0x80336699, 0xFF336699}));
}

// ---- TGA ----

namespace
{

// Offsets of header fields.
constexpr int kIdLength = 0, kMapType = 1, kType = 2, kMapLength = 5, kMapBits = 7, kDepth = 16,
              kDescriptor = 17;

// The 18-byte header of a top-down 32-bit true-colour image with some fields
// changed, then `extra` (ID field, colour map), then two pixels as blue,
// green, red, alpha: opaque, then half transparent.
Bytes Tga(int width, int height, std::map<int, int> changed = {}, const Bytes& extra = {})
{
    Bytes v = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 32, 0x28};
    for (int i = 0; i < 2; ++i)
    {
        v[size_t(12 + i)] = uint8_t(width >> 8 * i);
        v[size_t(14 + i)] = uint8_t(height >> 8 * i);
    }
    for (auto& field : changed)
        v[size_t(field.first)] = uint8_t(field.second);
    v.insert(v.end(), extra.begin(), extra.end());
    v.insert(v.end(), {0x30, 0x20, 0x10, 0xFF, 0xC0, 0xB0, 0xA0, 0x80});
    return v;
}
const Words kTwoPixelsArgb = {0xFF102030, 0x80A0B0C0};

std::unique_ptr<Image> DecodeTga(const Bytes& bytes)
{
    return std::unique_ptr<Image>(GetTGAImageFromMemory(bytes.data(), bytes.size()));
}

} // namespace

TEST(TgaReader, ReadsTopDown32BitPixelsAfterIdFieldAndColourMapTruncatedOnesZero)
{
    struct
    {
        const char* name;
        Bytes file;
        int32_t width, height;
    } const cases[] = {
        // 3 ID bytes and a colour map of 2 entries of 24 bits (6 bytes) are skipped.
        {"idAndMap",
         Tga(1, 2, {{kIdLength, 3}, {kMapType, 1}, {kMapLength, 2}, {kMapBits, 24}},
             {'a', 'b', 'c', 1, 2, 3, 4, 5, 6}),
         1, 2},
        // Without a map its length and depth mean nothing.
        {"mapFieldsWithoutMap", Tga(2, 1, {{kMapLength, 7}, {kMapBits, 24}}), 2, 1},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        auto image = DecodeTga(c.file);
        ASSERT_TRUE(image);
        EXPECT_EQ(image->GetWidth(), c.width);
        EXPECT_EQ(image->GetHeight(), c.height);
        EXPECT_EQ(Pixels(*image), kTwoPixelsArgb);
    }
    Bytes bytes = Tga(2, 2);
    bytes.push_back(0x11); // a partial third pixel
    auto image = DecodeTga(bytes);
    ASSERT_TRUE(image);
    EXPECT_EQ(Pixels(*image), Words({0xFF102030, 0x80A0B0C0, 0, 0}));
}

TEST(TgaReader, UnsupportedOrDamagedHeaderRefused)
{
    const std::pair<const char*, Bytes> cases[] = {
        {"depth24", Tga(2, 1, {{kDepth, 24}})},
        {"bottomUp", Tga(2, 1, {{kDescriptor, 0x08}})},
        {"rle", Tga(2, 1, {{kType, 10}})},
        {"colourMapped", Tga(2, 1, {{kMapType, 1}, {kType, 1}})},
        {"zeroHeight", Tga(1, 0)},
        {"tooManyPixels", Tga(16384, 16384)},
        {"shortHeader", Bytes(17, 0)},
    };
    for (const auto& c : cases)
        EXPECT_FALSE(DecodeTga(c.second)) << c.first;
}

TEST(TgaWriter, WritesHeaderAndBgraPixelsAndRoundTripsExactly)
{
    Vaxo::TestFolder dir;
    std::unique_ptr<Image> image(AllocateImage(2, 1));
    image->mBits[0] = 0xFF102030;
    image->mBits[1] = 0x80A0B0C0;
    ASSERT_TRUE(WriteTGAImage(dir / "a.tga", image.get()));
    Bytes expected = {0, 0, 2, 0,  0,    0,    0,    0,    0,    0,    0,    0,    2,
                      0, 1, 0, 32, 0x28, 0x30, 0x20, 0x10, 0xFF, 0xC0, 0xB0, 0xA0, 0x80};
    EXPECT_EQ(ReadBytes(dir / "a.tga"), expected);
    std::unique_ptr<Image> image2(AllocateImage(300, 257));
    for (int32_t i = 0; i < 300 * 257; ++i)
        image2->mBits[i] = uint32_t(i) * 2654435761u;
    ASSERT_TRUE(WriteTGAImage(dir / "big.tga", image2.get()));
    std::unique_ptr<Image> back(GetTGAImage(dir / "big.tga"));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->GetWidth(), 300);
    EXPECT_EQ(back->GetHeight(), 257);
    EXPECT_EQ(Pixels(*back), Pixels(*image2));
}

TEST(ImageWriters, UnwritablePathFullDiskOrNoImageReportFailure)
{
    std::unique_ptr<Image> image(AllocateImage(64, 64));
    for (auto* write : {WriteTGAImage, WritePNGImage, WriteJPEGImage})
    {
        EXPECT_FALSE(write("/nonexistent/dir/x", image.get()));
        EXPECT_FALSE(access("/dev/full", W_OK) == 0 && write("/dev/full", image.get()));
    }
    Image empty;
    Vaxo::TestFolder dir;
    EXPECT_FALSE(WriteBMPImage(dir / "x.bmp", image.get())); // no BMP writer in this build
    EXPECT_FALSE(std::filesystem::exists(dir / "x.bmp"));
    EXPECT_FALSE(WriteTGAImage(dir / "e.tga", &empty));
    EXPECT_FALSE(WriteTGAImage(dir / "n.tga", nullptr));
}

// ---- fuzz seeds ----

// The seed files of the image fuzz targets must each decode (those named "refused_..." must
// be refused), so the fuzzers start from inputs that reach the pixel code.
TEST(FuzzSeeds, CommittedSeedsDecode)
{
    const std::pair<const char*, Image* (*)(const void*, size_t)> targets[] = {
        {"imagelib_tga", GetTGAImageFromMemory},
        {"imagelib_gif", GetGIFImageFromMemory},
        {"imagelib_png", GetPNGImageFromMemory},
        {"imagelib_jpeg", GetJPEGImageFromMemory}};
    // The data folder is tests/graphics/imagelib/data; the corpus lies under fuzz/ at the root.
    std::filesystem::path corpus =
        (std::filesystem::path(VAXO_TEST_DATA_DIR) / "../../../../fuzz/graphics/imagelib/corpus")
            .lexically_normal();
    for (const auto& target : targets)
    {
        int count = 0;
        for (const auto& entry : std::filesystem::directory_iterator(corpus / target.first))
        {
            const Bytes bytes = ReadBytes(entry.path().string());
            // Seeds of the kinds a reader refuses are named so.
            bool refused = entry.path().filename().string().rfind("refused_", 0) == 0;
            EXPECT_EQ(bool(std::unique_ptr<Image>(target.second(bytes.data(), bytes.size()))), !refused)
                << entry.path();
            ++count;
        }
        EXPECT_GT(count, 0) << target.first;
    }
}
