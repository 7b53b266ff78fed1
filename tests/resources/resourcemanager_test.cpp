// The resource manager. The manifest reader: error texts with line and file, defaults and
// prefixes, groups and ids, attributes, animation, re-parsing (parsing needs no application:
// a manager without one counts the display as not accelerated). Loading groups and looking
// resources up, against a headless application: images of every file kind written by the
// framework's own writers, fonts of every kind, sounds through the mixer on its dummy device.
#include "resources/ResourceManager.h"

#include "app/sdl/SDLSoundManager.h"
#include "app/support/AppTestEnv.h"
#include "graphics/ImageFont.h"
#include "graphics/NativeImage.h"
#include "graphics/SysFont.h"
#include "resources/ResourceTestFiles.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <thread>
#include <string>
#include <tuple>
#include <vector>

namespace Vaxo
{
namespace
{

// One group "g" holding the body, which starts on line 2.
std::string Group(const std::string& body)
{
    return "<ResourceManifest><Resources id=\"g\">\n" + body + "\n</Resources></ResourceManifest>";
}

using ImageRes = ResourceManager::ImageRes;
using SoundRes = ResourceManager::SoundRes;
using FontRes = ResourceManager::FontRes;

class ManifestTest : public ::testing::Test
{
protected:
    bool Parse(const std::string& text, bool reparse = false)
    {
        mPath = mFolder.Write(reparse ? "again.xml" : "resources.xml", text);
        return reparse ? mManager.ReparseResourcesFile(mPath) : mManager.ParseResourcesFile(mPath);
    }
    template <typename Res> Res* Find(ResourceManager::ResMap& map, const std::string& id)
    {
        auto it = map.find(id);
        return it == map.end() ? nullptr : static_cast<Res*>(it->second.get());
    }
    ImageRes* Image(const std::string& id) { return Find<ImageRes>(mManager.mImageMap, id); }
    SoundRes* Sound(const std::string& id) { return Find<SoundRes>(mManager.mSoundMap, id); }
    FontRes* Font(const std::string& id) { return Find<FontRes>(mManager.mFontMap, id); }
    std::vector<std::string> GroupIds(const std::string& group)
    {
        std::vector<std::string> ids;
        for (auto* res : mManager.mResGroupMap[group])
            ids.push_back(res->mId);
        return ids;
    }

    TempFolder mFolder;
    ResourceManager mManager{nullptr};
    std::string mPath;
};

TEST_F(ManifestTest, ErrorTextsEndWithLineAndFile)
{
    // Text, error, line.
    const std::tuple<std::string, const char*, int> cases[] = {
        {"", "Expecting ResourceManifest tag", 1},
        {"<!-- nothing -->\n<!-- but comments -->\n", "Expecting ResourceManifest tag", 3},
        {"<?xml version=\"1.0\"?>\n<Manifest/>\n", "Expecting ResourceManifest tag", 2},
        {"<ResourceManifest>\n  stray\n</ResourceManifest>", "Element Not Expected 'stray'", 3},
        {"<ResourceManifest>\n<Group id=\"a\"/>\n</ResourceManifest>", "Invalid Section 'Group'", 2},
        {"<ResourceManifest>\n<Resources/>\n</ResourceManifest>", "No id specified.", 2},
        {"<ResourceManifest>\n<Resources id=\"\">\n</Resources></ResourceManifest>", "No id specified.", 2},
        {Group("<Music path=\"m\"/>"), "Invalid Section 'Music'", 2},
        {Group("\n  words"), "Element Not Expected 'words'", 4},
        {Group("<Image path=\"a.png\"><Image path=\"b.png\"/></Image>"), "Unexpected element found.", 2},
        {Group("<Image id=\"A\"/>"), "No path specified.", 2},
        {Group("<Sound path=\"\"/>"), "No path specified.", 2},
        {Group("<Image path=\"a.png\"/>\n<Image path=\"b/a.jpg\"/>"), "Resource already defined.", 3},
        {Group("\n\n\n<Image path=\"a.png\" anim=\"bounce\"/>"), "Invalid animation type.", 5},
        {Group("<Font path=\"!sys:Arial\"/>"), "SysFont needs point size", 2},
        {Group("<Font path=\"!sys:Arial\" size=\"0\"/>"), "SysFont needs point size", 2},
        {Group("<Image path=\"a.png\" rows=\"0\"/>"), "Invalid rows.", 2},
        {Group("<Image path=\"a.png\" cols=\"-1\"/>"), "Invalid cols.", 2},
        {Group("<Image path=\"a.png\" cols=\"x\"/>"), "Invalid cols.", 2},
    };
    for (const auto& [text, error, line] : cases)
    {
        ResourceManager manager(nullptr);
        std::string path = mFolder.Write("case.xml", text);
        EXPECT_FALSE(manager.ParseResourcesFile(path)) << text;
        EXPECT_EQ(manager.GetErrorText(), error + StrFormat(" on Line %d in File '", line) + path + "'");
        EXPECT_EQ(manager.mXMLParser, nullptr);
    }

    // The reader's own error carries the suffix too.
    EXPECT_FALSE(Parse("<ResourceManifest>\n<Resources id=\"a\">\n</Group>\n"));
    EXPECT_NE(mManager.GetErrorText().find(" on Line 3 in File '" + mPath + "'"), std::string::npos);
    // No line or file before the file is open, and the first error stays the only one.
    ResourceManager manager(nullptr);
    EXPECT_FALSE(manager.ParseResourcesFile(mFolder.Dir() + "none.xml"));
    EXPECT_EQ(manager.GetErrorText(), "Resource file not found: " + mFolder.Dir() + "none.xml");

    // What parsed before an error, or before the end of the file, stays.
    EXPECT_FALSE(
        Parse(Group("<Image path=\"a.png\"/><Image path=\"b.png\" anim=\"twirl\"/><Image path=\"c.png\"/>")));
    EXPECT_EQ(GroupIds("g"), (std::vector<std::string>{"a", "b"}));

    // A group cut off by the end of the file, in a file with a byte-order mark.
    ResourceManager cut(nullptr);
    EXPECT_TRUE(cut.ParseResourcesFile(mFolder.Write(
        "cut.xml", "\xEF\xBB\xBF<ResourceManifest>\n<Resources id=\"g\">\n<Image path=\"a.png\"/>\n")))
        << cut.GetErrorText();
    EXPECT_EQ(cut.mResGroupMap["g"].size(), 1u);
}

TEST_F(ManifestTest, DefaultsPrefixesGroupsAndIds)
{
    ASSERT_TRUE(Parse("<ResourceManifest><Resources id=\"Init\">\n"
                      "<Image path=\"top.png\"/>\n"
                      "<SetDefaults path=\"res\\\" idprefix=\"IMAGE_\"/>\n"
                      "<Image path=\"images/a.png\" alphaimage=\"images/_a.png\" alphagrid=\"g.png\"/>\n"
                      "<Image id=\"B\" path=\"!program\"/><Image id=\"C\" path=\"!empty\"/>\n"
                      "<Font id=\"F\" path=\"f.txt\" image=\"fonts/f.png\"/></Resources>\n"
                      "<Resources id=\"INIT\"><Sound id=\"C\" path=\"s\"/><Image id=\"c\" path=\"c\"/>\n"
                      "<SetDefaults path=\"\" idprefix=\"X/\"/><Sound path=\"dir/t.wav\"/></Resources>\n"
                      "</ResourceManifest>"))
        << mManager.GetErrorText();
    // Record, path, program, placeholder.
    const std::tuple<ResourceManager::BaseRes*, const char*, bool, bool> rows[] = {
        {Image("top"), "top.png", false, false},      {Image("IMAGE_a"), "res/images/a.png", false, false},
        {Image("IMAGE_B"), "!program", true, false},  {Image("IMAGE_C"), "!empty", false, true},
        {Font("IMAGE_F"), "res/f.txt", false, false}, {Sound("IMAGE_C"), "res/s", false, false},
        {Image("IMAGE_c"), "res/c", false, false},    {Sound("Xt"), "/dir/t.wav", false, false}};
    for (const auto& [res, path, fromProgram, empty] : rows)
    {
        ASSERT_NE(res, nullptr) << path;
        EXPECT_EQ(res->mPath, path);
        EXPECT_EQ(res->mFromProgram * 10 + res->mEmpty, fromProgram * 10 + empty) << path;
    }
    EXPECT_EQ(Image("IMAGE_a")->mAlphaImage, "res/images/_a.png");
    EXPECT_EQ(Image("IMAGE_a")->mAlphaGridImage, "res/g.png");
    EXPECT_EQ(Font("IMAGE_F")->mImagePath, "fonts/f.png");
    // Groups meet without regard to case; each record keeps its declaration's spelling.
    EXPECT_EQ(GroupIds("init"), (std::vector<std::string>{"top", "IMAGE_a", "IMAGE_B", "IMAGE_C", "IMAGE_F",
                                                          "IMAGE_C", "IMAGE_c", "Xt"}));
    EXPECT_EQ(Image("IMAGE_c")->mResGroup, "INIT");

    // Defaults stay for a later parse.
    ASSERT_TRUE(Parse(Group("<Image path=\"z.gif\"/>")));
    EXPECT_EQ(Image("Xz")->mPath, "/z.gif");
}

TEST_F(ManifestTest, AttributesByPresenceValueAndAnimation)
{
    ASSERT_TRUE(Parse(Group(
        "<Image id=\"PLAIN\" path=\"p.png\"/>\n"
        "<Image id=\"FLAGS\" path=\"f.png\" nobits3d=\"\" variant=\"big\" alphacolor=\"ff8000\" rows=\"2\" "
        "cols=\"3\"/>\n"
        "<Image id=\"NOBITS\" path=\"n.png\" nobits=\"\"/><Image id=\"NOBITS2D\" path=\"m.png\" "
        "nobits2d=\"\"/>\n"
        "<Image id=\"BADCOLOR\" path=\"c.png\" alphacolor=\"zz\"/>\n"
        "<Sound id=\"BAD\" path=\"t\" volume=\"x\" pan=\"y\"/>\n"
        "<Font id=\"SYS\" path=\"!sys:Arial Black\" size=\"12\" bold=\"false\" shadow=\"\" tags=\"a, b\"/>\n"
        "<Font id=\"REF\" path=\"!ref:SYS\" size=\"12\" italic=\"\"/>\n"
        "<Image id=\"PP\" path=\"a.png\" anim=\"PingPong\" cols=\"4\" framedelay=\"10\" begindelay=\"5\" "
        "enddelay=\"7\"/><Image id=\"LOOP\" path=\"b.png\" anim=\"LOOP\" rows=\"3\" "
        "perframedelay=\"1,2,,3\" framemap=\"0,2,1\"/>\n"
        "<Image id=\"ONCE\" path=\"c.png\" anim=\"once\"/><Image id=\"NONE\" path=\"d.png\" anim=\"None\" "
        "framedelay=\"9\"/>")))
        << mManager.GetErrorText();

    // Flags by presence alone (the loading test gives them values); values that do not read
    // leave the defaults.
    auto* plain = Image("PLAIN");
    auto* flags = Image("FLAGS");
    EXPECT_FALSE(plain->mPurgeBits || flags->mPurgeBits); // nobits3d, and no accelerated display
    EXPECT_TRUE(Image("NOBITS")->mPurgeBits && Image("NOBITS2D")->mPurgeBits);
    EXPECT_EQ(plain->mRows * 10 + plain->mCols, 11);
    EXPECT_EQ(flags->mRows * 10 + flags->mCols, 23);
    EXPECT_EQ(flags->mVariant, "big");
    EXPECT_EQ(flags->mAlphaColor, 0xFF8000u);
    EXPECT_EQ(plain->mAlphaColor + Image("BADCOLOR")->mAlphaColor, 2 * 0xFFFFFFu);
    EXPECT_EQ(Sound("BAD")->mVolume * 100 + Sound("BAD")->mPanning, -100);

    auto* sys = Font("SYS");
    EXPECT_TRUE(sys->mSysFont && sys->mBold && sys->mShadow && !sys->mItalic && !sys->mUnderline);
    EXPECT_EQ(sys->mPath + StrFormat(" %d ", sys->mSize) + sys->mTags, "Arial Black 12 a, b");
    // Style attributes belong to system fonts only.
    auto* ref = Font("REF");
    EXPECT_FALSE(ref->mSysFont || ref->mItalic || ref->mSize != 0);

    const AnimInfo& pp = Image("PP")->mAnimInfo;
    EXPECT_EQ(pp.mAnimType, AnimInfo::AnimType_PingPong);
    EXPECT_EQ(pp.mFrameMap, (std::vector<int32_t>{0, 1, 2, 3, 2, 1}));
    EXPECT_EQ(pp.mPerFrameDelay, (std::vector<int32_t>{5, 10, 10, 10, 10, 7}));
    EXPECT_EQ(pp.mTotalAnimTime, 52);
    const AnimInfo& loop = Image("LOOP")->mAnimInfo;
    EXPECT_EQ(loop.mAnimType, AnimInfo::AnimType_Loop);
    EXPECT_EQ(loop.mFrameMap, (std::vector<int32_t>{0, 2, 1}));
    // The empty entry reads as 0, which takes the frame delay (1 by default).
    EXPECT_EQ(loop.mPerFrameDelay, (std::vector<int32_t>{1, 2, 1}));
    EXPECT_EQ(Image("ONCE")->mAnimInfo.mAnimType, AnimInfo::AnimType_Once);
    EXPECT_EQ(Image("NONE")->mAnimInfo.mAnimType, AnimInfo::AnimType_None);
    EXPECT_EQ(Image("NONE")->mAnimInfo.mFrameDelay, 1);
}

TEST(ReadIntVector, AtoiAtStartAndAfterEveryComma)
{
    const std::pair<const char*, std::vector<int>> cases[] = {
        {"1,2,,3", {1, 2, 0, 3}},
        {"", {0}},
        {"7", {7}},
        {" 4, -5,x6,", {4, -5, 0, 0}}, // a trailing comma gives one more entry
    };
    for (const auto& [text, expected] : cases)
    {
        std::vector<int> values{99};
        ReadIntVector(text, values);
        EXPECT_EQ(values, expected) << text;
    }
}

TEST_F(ManifestTest, ReparseUpdatesDeclaredRecords)
{
    ASSERT_TRUE(Parse(
        Group("<Image id=\"A\" path=\"a.png\" variant=\"v\" rows=\"2\"/><Image id=\"B\" path=\"b.png\"/>")));
    ImageRes* a = Image("A");
    MemoryImage* loaded = new MemoryImage(nullptr);
    a->mImage = loaded;
    a->mImage.mOwnsUnshared = true;

    EXPECT_TRUE(Parse(
        "<ResourceManifest><Resources id=\"other\"><Image id=\"A\" path=\"new.png\" a8r8g8b8=\"\"/>"
        "</Resources><Resources id=\"G\"><Image id=\"C\" path=\"c.png\"/><Image id=\"C\" path=\"c2.png\"/>"
        "<Image id=\"B\" path=\"!empty\"/></Resources></ResourceManifest>",
        true))
        << mManager.GetErrorText();
    // Group, place and loaded image stay; path, attributes and flags are the new ones.
    EXPECT_EQ(Image("A"), a);
    EXPECT_EQ(a->mResGroup, "g");
    EXPECT_EQ(static_cast<MemoryImage*>(a->mImage), loaded);
    EXPECT_EQ(a->mPath, "new.png");
    EXPECT_EQ(a->mVariant, "v");
    EXPECT_EQ(a->mRows, 1);
    EXPECT_TRUE(a->mA8R8G8B8);
    EXPECT_EQ(a->mXMLAttributes.count("variant"), 0u);
    EXPECT_TRUE(Image("B")->mEmpty);
    EXPECT_EQ(GroupIds("g"), (std::vector<std::string>{"A", "B", "C"}));
    EXPECT_EQ(Image("C")->mPath, "c2.png");
    EXPECT_TRUE(GroupIds("other").empty());
    EXPECT_FALSE(mManager.mAllowAlreadyDefinedResources);

    // An error recorded before a re-parse survives it.
    mManager.Fail("earlier");
    EXPECT_FALSE(Parse(Group("<Image id=\"A\" path=\"x.png\"/>"), true));
    EXPECT_EQ(mManager.GetErrorText(), "earlier");
    EXPECT_EQ(a->mPath, "x.png");
}

// Records the ids ResourceLoadedHook sees.
class HookedManager : public ResourceManager
{
public:
    using ResourceManager::ResourceManager;
    std::vector<std::string> mLoadedIds;
    void ResourceLoadedHook(BaseRes* res) override { mLoadedIds.push_back(res->mId); }
};

class ResourceLoadTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        mApp.Init();
        setenv("SDL_AUDIODRIVER", "dummy", 0);
        mSounds = new SDLSoundManager(mApp.mTitle);
        mApp.mSoundManager.reset(mSounds);
        mFolder.Write("click.wav", TinyWav(64));
        mFolder.Write("boing.wav", TinyWav(32));

        ASSERT_TRUE(WriteImageFile(mDir + "a.png", 4, 2, 0xFF112233));
        ASSERT_TRUE(WriteImageFile(mDir + "j.jpg", 4, 2, 0xFF808080));
        // The JPEG's companion: its blue channel is the JPEG's alpha.
        ASSERT_TRUE(WriteImageFile(mDir + "j_.png", 4, 2, 0xFF000040));
        ASSERT_TRUE(WriteImageFile(mDir + "t.tga", 3, 3, 0x80FF0000));
        mFolder.Write("g.gif", TinyGif());
        // A sheet of 2 x 2 cels of 2 x 2 pixels, and its one-cel alpha grid.
        auto sheet = MakeFileImage(4, 4, [](int x, int y) { return 0xFF000000u | uint32_t(y * 4 + x); });
        ASSERT_TRUE(ImageLib::WritePNGImage(mDir + "sheet.png", sheet.get()));
        auto grid =
            MakeFileImage(2, 2, [](int x, int y) { return 0xFF000000u | uint32_t(0x10 + y * 2 + x); });
        ASSERT_TRUE(ImageLib::WritePNGImage(mDir + "grid.png", grid.get()));
        ASSERT_TRUE(WriteImageFile(mDir + "glyphs.png", 8, 8, 0xFFFFFFFF));
        mFolder.Write("font.txt",
                      "CreateLayer Main;\nLayerSetImage Main 'glyphs.png';\nLayerSetAscent Main 6;\n"
                      "LayerSetImageMap Main ('a' 'b') ((0 0 4 8) (4 0 4 8));\n"
                      "LayerSetCharWidths Main ('a' 'b') (5 6);\n");
        ASSERT_TRUE(WriteImageFile(mDir + "strip.png", 15, 8, 0xFFFFFFFF));
        mFolder.Write("widths.txt", "5 6 a 7 b 8");
    }

    // Parses a manifest whose paths are below the test folder ("@" stands for the folder).
    void Declare(const std::string& groups) { Declare(mManager, groups); }
    void Declare(ResourceManager& manager, const std::string& groups)
    {
        std::string text =
            "<ResourceManifest><Resources id=\"Defaults\"><SetDefaults path=\"@\"/></Resources>" + groups +
            "</ResourceManifest>\n";
        for (size_t at = 0; (at = text.find('@', at)) != std::string::npos; at += mDir.size())
            text.replace(at, 1, mDir);
        ASSERT_TRUE(manager.ParseResourcesFile(mFolder.Write("resources.xml", text)))
            << manager.GetErrorText();
    }
    MemoryImage* Img(const std::string& id) { return mManager.GetImage(id); }

    AppTestEnv mEnv;
    RecordingApp mApp;
    TempFolder mFolder;
    const std::string mDir = mFolder.Dir();
    SDLSoundManager* mSounds = nullptr;
    HookedManager mManager{&mApp};
};

const char kEveryKind[] =
    "<Resources id=\"All\"><Image id=\"PNG\" path=\"a.png\"/><Image id=\"JPEG\" path=\"j\" nopal=\"false\" "
    "a4r4g4b4=\"0\" minsubdivide=\"no\"/>\n"
    "<Image id=\"TGA\" path=\"t.tga\" nopal=\"\" ddsurface=\"\" nobits3d=\"\"/>\n"
    "<Image id=\"GIF\" path=\"g\" ddsurface=\"no\" a8r8g8b8=\"0\"/>\n"
    "<Image id=\"SHEET\" path=\"sheet.png\" rows=\"2\" cols=\"2\" alphagrid=\"grid.png\" anim=\"loop\" "
    "framedelay=\"3\"/>\n"
    "<Image id=\"ALPHA\" path=\"a.png\" variant=\"alpha\" alphaimage=\"j_.png\"/>\n"
    "<Image id=\"EMPTY\" path=\"!empty\"/><Image id=\"PROGRAM\" path=\"!program\"/>\n"
    "<Sound id=\"CLICK\" path=\"click\" volume=\"0.5\" pan=\"-20\"/><Sound id=\"HUSH\" path=\"!empty\"/>\n"
    "<Font id=\"DESC\" path=\"font.txt\" tags=\"big,\tbold\"/><Font id=\"LEGACY\" path=\"widths.txt\" "
    "image=\"@strip.png\"/>\n"
    "<Font id=\"SYS\" path=\"!sys:Sans\" size=\"12\" bold=\"\"/><Font id=\"REF\" "
    "path=\"!ref:DESC\"/></Resources>\n";

TEST_F(ResourceLoadTest, GroupLoadsOneResourcePerStepInDeclarationOrder)
{
    mApp.mDisplay->mIs3D = true;
    Declare(kEveryKind);
    EXPECT_EQ(mManager.GetNumResources("All"), 13);
    EXPECT_EQ(mManager.GetNumImages("all"), 0); // counts compare the group exactly
    EXPECT_EQ(mManager.GetNumResources(""), 14);

    mManager.StartLoadResources("all");
    int steps = 0;
    while (mManager.LoadNextResource())
        ++steps;
    EXPECT_FALSE(mManager.HadError()) << mManager.GetErrorText();
    EXPECT_EQ(steps, 13);
    EXPECT_EQ(mManager.mLoadedIds,
              (std::vector<std::string>{"PNG", "JPEG", "TGA", "GIF", "SHEET", "ALPHA", "EMPTY", "CLICK",
                                        "DESC", "LEGACY", "SYS", "REF"}));
    EXPECT_FALSE(mManager.IsGroupLoaded("All")); // only LoadResources marks a group

    EXPECT_EQ(Img("PNG")->GetBits()[0], 0xFF112233u);
    EXPECT_EQ(Img("JPEG")->GetBits()[5] >> 24, 0x40u);
    EXPECT_EQ(Img("TGA")->GetBits()[4], 0x80FF0000u);
    EXPECT_EQ(Img("GIF")->GetBits()[0], 0xFFFF0000u);
    EXPECT_EQ(Img("EMPTY")->GetWidth() * Img("EMPTY")->GetHeight(), 1);
    EXPECT_FALSE(mManager.GetImage("PROGRAM"));
    // The alpha file replaces the alpha of a copy loaded under its own variant only.
    EXPECT_EQ(Img("ALPHA")->GetBits()[0], 0x40112233u);

    // Flags: palette wanted (now or with the surface), surface wanted, bits purged, textures.
    const std::tuple<const char*, bool, bool, bool, uint32_t> flags[] = {{"PNG", true, false, false, 0},
                                                                         {"JPEG", false, false, false, 4 | 1},
                                                                         {"GIF", true, true, true, 8},
                                                                         {"TGA", false, false, true, 0}};
    for (const auto& [id, wantPalette, wantSurface, purgeBits, textureFlags] : flags)
    {
        EXPECT_EQ(Img(id)->mWantPalette, wantPalette) << id;
        EXPECT_EQ(dynamic_cast<NativeImage*>(Img(id))->mWantDDSurface, wantSurface) << id;
        EXPECT_EQ(Img(id)->mPurgeBits, purgeBits) << id;
        EXPECT_EQ(Img(id)->m3DFlags, textureFlags) << id;
    }

    MemoryImage* sheet = Img("SHEET");
    EXPECT_EQ(sheet->mNumRows * 10 + sheet->mNumCols, 22);
    ASSERT_NE(sheet->mAnimInfo, nullptr);
    EXPECT_EQ(sheet->mAnimInfo->mAnimType, AnimInfo::AnimType_Loop);
    EXPECT_EQ(sheet->mAnimInfo->mFrameDelay, 3);
    // Every cel takes the grid's alpha at the same place within the cel.
    const uint32_t* bits = sheet->GetBits();
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(bits[y * 4 + x], uint32_t(0x10 + (y % 2) * 2 + x % 2) << 24 | uint32_t(y * 4 + x))
                << x << "," << y;

    EXPECT_EQ(mManager.GetSound("CLICK"), 0);
    EXPECT_EQ(mManager.GetSound("HUSH"), -2);
    EXPECT_EQ(mSounds->mBaseVolumes[0], 0.5);
    EXPECT_EQ(mSounds->mBasePans[0], -20);

    auto* desc = dynamic_cast<ImageFont*>(mManager.GetFont("DESC"));
    auto* legacy = dynamic_cast<ImageFont*>(mManager.GetFont("LEGACY"));
    auto* ref = dynamic_cast<ImageFont*>(mManager.GetFont("REF"));
    ASSERT_TRUE(desc && legacy && ref && ref != desc);
    EXPECT_EQ(desc->mTagVector, (std::vector<std::string>{"BIG", "BOLD"}));
    EXPECT_EQ(desc->StringWidth("ab"), 11);
    EXPECT_EQ(ref->StringWidth("ab"), 11);
    EXPECT_EQ(legacy->StringWidth("ab"), 15);
    EXPECT_NE(dynamic_cast<SysFont*>(mManager.GetFont("SYS")), nullptr);
}

TEST_F(ResourceLoadTest, FailuresNameTheFileAndLeaveEarlierLoads)
{
    ASSERT_TRUE(WriteImageFile(mDir + "narrow.png", 3, 2, 0xFF0000FF));
    struct Case
    {
        std::string declaration;
        std::string error;
    };
    const Case cases[] = {
        {"<Image id=\"X\" path=\"missing.png\"/>", "Failed to load image: " + mDir + "missing.png"},
        {"<Image id=\"X\" path=\"a.png\" variant=\"n\" alphaimage=\"narrow.png\"/>",
         "AlphaImage size mismatch between " + mDir + "a.png and " + mDir + "narrow.png"},
        {"<Image id=\"X\" path=\"a.png\" variant=\"m\" alphaimage=\"nothing.png\"/>",
         "Failed to load image: " + mDir + "nothing.png"},
        {"<Image id=\"X\" path=\"sheet.png\" cols=\"4\" alphagrid=\"grid.png\"/>",
         "GridAlphaImage size mismatch between " + mDir + "sheet.png and " + mDir + "grid.png"},
        {"<Image id=\"X\" path=\"sheet.png\" variant=\"g\" alphagrid=\"none.png\"/>",
         "Failed to load image: " + mDir + "none.png"},
        {"<Sound id=\"X\" path=\"silence\"/>", "Failed to load sound: " + mDir + "silence"},
        {"<Font id=\"X\" path=\"!ref:LATER\"/><Font id=\"LATER\" path=\"font.txt\"/>",
         "Ref font not found: LATER"},
        {"<Font id=\"X\" path=\"widths.txt\" image=\"" + mDir + "nostrip.png\"/>",
         "Failed to load image: " + mDir + "nostrip.png"},
        {"<Font id=\"X\" path=\"absent.txt\"/>", "Failed to load font: " + mDir + "absent.txt"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.declaration);
        HookedManager manager(&mApp);
        Declare(manager,
                "<Resources id=\"g\"><Image id=\"FIRST\" path=\"a.png\"/>" + c.declaration + "</Resources>");
        EXPECT_FALSE(manager.LoadResources("g"));
        EXPECT_EQ(manager.GetErrorText(), c.error);
        EXPECT_FALSE(manager.IsGroupLoaded("g"));
        EXPECT_TRUE(manager.GetImage("FIRST"));
        EXPECT_FALSE(manager.GetImage("X") || manager.GetFont("X") || manager.GetSound("X") != -1);
        EXPECT_FALSE(manager.LoadNextResource()); // until the next start
    }

    for (unsigned int id = 0; id < 256; ++id)
        mSounds->LoadSound(id, mDir + "boing");
    Declare("<Resources id=\"s\"><Sound id=\"CLICK\" path=\"click\"/></Resources>");
    EXPECT_FALSE(mManager.LoadResources("s"));
    EXPECT_EQ(mManager.GetErrorText(), "Out of free sound ids");
}

// With no audio device (none on the machine, or one busy) the program runs silent: a sound,
// even one whose file would not load, gets an id that plays nothing, and its group loads.
TEST_F(ResourceLoadTest, WithoutAnAudioDeviceSoundsLoadAsSilence)
{
    mSounds->mInitialized = false; // as when the device did not open
    Declare("<Resources id=\"g\"><Sound id=\"CLICK\" path=\"click\"/><Sound id=\"X\" "
            "path=\"silence\"/><Image id=\"A\" path=\"a.png\"/></Resources>");
    ASSERT_TRUE(mManager.LoadResources("g")) << mManager.GetErrorText();
    EXPECT_TRUE(mManager.IsGroupLoaded("g"));
    EXPECT_TRUE(mManager.GetImage("A"));
    for (const char* id : {"CLICK", "X"})
    {
        EXPECT_GE(mManager.GetSoundThrow(id), 0) << id;
        EXPECT_EQ(mSounds->GetSoundInstance(unsigned(mManager.GetSound(id))), nullptr) << id;
    }
    EXPECT_EQ(mSounds->GetNumSounds(), 0);
}

TEST_F(ResourceLoadTest, DumpAndLookUpsPlainLoadingAndThrowing)
{
    std::string out = "untouched";
    mManager.DumpCurResGroup(out);
    EXPECT_EQ(out, "untouched");

    Declare(kEveryKind);
    // Nothing loaded yet.
    EXPECT_FALSE(mManager.GetImage("PNG") || mManager.GetFont("DESC"));
    EXPECT_EQ(mManager.GetSound("CLICK") + mManager.GetSound("UNDECLARED"), -2);

    // Loading when needed, once.
    SharedImageRef png = mManager.LoadImage("PNG");
    EXPECT_EQ(static_cast<MemoryImage*>(png), Img("PNG"));
    Font* font = mManager.LoadFont("DESC"); // loaded before it is looked up
    EXPECT_EQ(font, mManager.GetFont("DESC"));
    EXPECT_EQ(mManager.LoadSound("CLICK") + mManager.LoadSound("CLICK"), 0);
    EXPECT_EQ(mManager.mLoadedIds, (std::vector<std::string>{"PNG", "DESC", "CLICK"}));
    EXPECT_EQ(mManager.LoadSound("UNDECLARED"), 0);
    EXPECT_FALSE(mManager.LoadImage("UNDECLARED"));
    EXPECT_FALSE(mManager.LoadImage("PROGRAM"));
    EXPECT_EQ(mManager.LoadFont("UNDECLARED"), nullptr);

    // Throwing: the first error is the one carried.
    EXPECT_EQ(static_cast<MemoryImage*>(mManager.GetImageThrow("PNG")), Img("PNG"));
    EXPECT_EQ(mManager.GetSoundThrow("CLICK"), 0);
    EXPECT_EQ(mManager.GetFontThrow("DESC"), mManager.GetFont("DESC"));
    const std::pair<const char*, std::function<void()>> throws[] = {
        {"Image resource not found: TGA", [&] { mManager.GetImageThrow("TGA"); }},
        {"Sound resource not found: HUSH", [&] { mManager.GetSoundThrow("HUSH"); }},
        {"Font resource not found: SYS", [&] { mManager.GetFontThrow("SYS"); }},
        {"Image resource not found: PROGRAM", [&] { mManager.GetImageThrow("PROGRAM"); }},
        {"Image resource not found: NONE", [&] { mManager.GetImageThrow("NONE"); }}};
    for (const auto& [error, call] : throws)
    {
        mManager.StartLoadResources("none"); // clears the error
        EXPECT_THROW(call(), ResourceManagerException) << error;
        EXPECT_EQ(mManager.GetErrorText(), error);
    }
    try
    {
        mManager.GetSoundThrow("CLICKS");
    }
    catch (const ResourceManagerException& e)
    {
        EXPECT_EQ(e.mMessage, "Image resource not found: NONE");
    }
    EXPECT_EQ(mManager.GetErrorText(), "Image resource not found: NONE");

    mManager.SetAllowMissingProgramImages(true);
    EXPECT_FALSE(mManager.GetImageThrow("PROGRAM"));
    EXPECT_EQ(mManager.LoadSound("HUSH"), -2);
    EXPECT_EQ(mManager.GetSoundThrow("HUSH"), -2);
    EXPECT_EQ(mManager.GetImageAttributes("SHEET").at("ROWS"), "2");
    EXPECT_TRUE(mManager.GetImageAttributes("CLICK").empty());

    // The dump of a started group, the load position after its second resource.
    mManager.StartLoadResources("g"); // clears the error, so that the manifest parses
    Declare("<Resources id=\"g\"><Image id=\"A\" path=\"a.png\"/><Image id=\"P\" path=\"!program\"/>"
            "<Sound id=\"S\" path=\"click\"/><Font id=\"F\" path=\"font.txt\"/></Resources>\n");
    mManager.StartLoadResources("g");
    ASSERT_TRUE(mManager.LoadNextResource());
    ASSERT_TRUE(mManager.LoadNextResource());
    mManager.DumpCurResGroup(out);
    const std::string d = mDir;
    EXPECT_EQ(out, "About to dump 4 elements from current res group name g\r\nA: " + d +
                       "a.png\r\n     res is an image\r\nP: !program\r\n     res is from program\r\nS: " + d +
                       "click\r\n     res is a sound\r\niterator has reached mCurResGroupItr\r\nF: " + d +
                       "font.txt\r\n     res is a font\r\nDone dumping resources\r\n");
}

TEST_F(ResourceLoadTest, SecondLoadsReplacingDeletingAndFreeing)
{
    Declare(
        "<Resources id=\"g\"><Image id=\"A\" path=\"a.png\"/><Image id=\"B\" path=\"t.tga\"/><Image id=\"E\" "
        "path=\"!empty\"/><Sound id=\"S\" path=\"click\"/><Sound id=\"T\" path=\"boing\"/><Font id=\"F\" "
        "path=\"font.txt\"/></Resources>\n");
    ASSERT_TRUE(mManager.LoadResources("g")) << mManager.GetErrorText();
    EXPECT_TRUE(mManager.IsGroupLoaded("G"));
    EXPECT_FALSE(mManager.ReplaceImage("NONE", nullptr) || mManager.ReplaceSound("NONE", 3) ||
                 mManager.ReplaceFont("NONE", nullptr));

    // The record owns what it is given; giving back what it holds frees nothing.
    MemoryImage* empty = Img("E");
    MemoryImage* image = new MemoryImage();
    ASSERT_TRUE(mManager.ReplaceImage("B", image) && mManager.ReplaceImage("B", image));
    Font* font = mManager.GetFont("F");
    ASSERT_TRUE(mManager.ReplaceFont("F", font));
    EXPECT_EQ(font->StringWidth("a"), 5);
    EXPECT_EQ(mSounds->GetNumSounds(), 2);
    ASSERT_TRUE(mManager.ReplaceSound("S", 0));
    EXPECT_EQ(mSounds->GetNumSounds(), 2); // its own id back: nothing released
    ASSERT_TRUE(mManager.ReplaceSound("S", 7));
    EXPECT_EQ(mManager.GetSound("S"), 7);
    mManager.DeleteSound("T");
    EXPECT_EQ(mSounds->GetNumSounds(), 0); // both ids released

    // A second load keeps every image the binding may point at, and loads what was deleted.
    mManager.mLoadedIds.clear();
    ASSERT_TRUE(mManager.LoadResources("G"));
    EXPECT_EQ(mManager.mLoadedIds, std::vector<std::string>{"T"});
    EXPECT_EQ(Img("E"), empty);
    EXPECT_EQ(Img("B"), image);
    image->Create(2, 2);
    Font* sys = new SysFont("Sans", 10);
    ASSERT_TRUE(mManager.ReplaceFont("F", sys));
    EXPECT_EQ(mManager.GetFontThrow("F"), sys);

    // Freeing: names differing in case free nothing, though the group no longer counts.
    mManager.DeleteResources("G");
    EXPECT_FALSE(mManager.IsGroupLoaded("g"));
    EXPECT_TRUE(mManager.GetImage("A"));
    mManager.DeleteResources("g");
    EXPECT_FALSE(mManager.GetImage("A") || mManager.GetImage("B") || mManager.GetFont("F"));
    EXPECT_EQ(mManager.GetSound("T"), -1);
    EXPECT_EQ(mSounds->GetNumSounds(), 0);
    mManager.mLoadedIds.clear();
    ASSERT_TRUE(mManager.LoadResources("g"));
    EXPECT_EQ(mManager.mLoadedIds, (std::vector<std::string>{"A", "B", "E", "S", "T", "F"}));
    EXPECT_EQ(Img("B")->GetWidth(), 3);

    // An undeclared group loads nothing and counts as loaded.
    EXPECT_TRUE(mManager.LoadResources("Nowhere"));
    EXPECT_TRUE(mManager.IsGroupLoaded("nowhere"));
}

// While the manager's load reads its file, another thread loads an alpha file alone.
class OtherLoadApp : public RecordingApp
{
public:
    std::string mOtherFile;
    uint32_t mOtherPixel = 0;
    MemoryImage* GetImage(const std::string& fileName, bool commitBits) override
    {
        std::thread(
            [this] {
                mOtherPixel =
                    std::unique_ptr<ImageLib::Image>(ImageLib::GetImage(mOtherFile, true))->GetBits()[0];
            })
            .join();
        return RecordingApp::GetImage(fileName, commitBits);
    }
};

TEST(ResourceLoad, AlphaComposeColourStaysWithItsLoad)
{
    AppTestEnv env;
    OtherLoadApp app;
    app.Init();
    TempFolder folder;
    ASSERT_TRUE(WriteImageFile(folder.Dir() + "red_.png", 2, 2, 0xFF000080));
    ASSERT_TRUE(WriteImageFile(folder.Dir() + "plain_.png", 2, 2, 0xFF0000C0));
    app.mOtherFile = folder.Dir() + "plain";
    ResourceManager manager(&app);
    ASSERT_TRUE(manager.ParseResourcesFile(folder.Write(
        "r.xml", "<ResourceManifest><Resources id=\"g\"><Image id=\"RED\" path=\"" + folder.Dir() +
                     "red\" alphacolor=\"FF0000\" nopal=\"\"/></Resources></ResourceManifest>")));
    ASSERT_TRUE(manager.LoadResources("g")) << manager.GetErrorText();
    EXPECT_EQ(static_cast<MemoryImage*>(manager.GetImage("RED"))->GetBits()[0], 0x80FF0000u);
    EXPECT_EQ(app.mOtherPixel, 0xC0FFFFFFu);
}

} // namespace
} // namespace Vaxo
