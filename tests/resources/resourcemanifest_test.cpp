// The manifest reader: error texts with line and file, defaults and prefixes, groups and
// ids, attributes, animation, re-parsing. Parsing needs no application (a manager
// without one counts the display as not accelerated).
#include "resources/ResourceManager.h"

#include "graphics/MemoryImage.h"
#include "resources/ResourceTestFiles.h"

#include <gtest/gtest.h>

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
    struct Case
    {
        std::string text;
        const char* error;
        int line;
    };
    const Case cases[] = {
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
    for (const Case& c : cases)
    {
        ResourceManager manager(nullptr);
        std::string path = mFolder.Write("case.xml", c.text);
        EXPECT_FALSE(manager.ParseResourcesFile(path)) << c.text;
        EXPECT_EQ(manager.GetErrorText(), c.error + StrFormat(" on Line %d in File '", c.line) + path + "'");
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
    EXPECT_EQ(Image("IMAGE_a")->mXMLAttributes.at("ALPHAGRID"), "g.png");
    EXPECT_EQ(Font("IMAGE_F")->mImagePath, "fonts/f.png");
    // Groups meet without regard to case; each record keeps its declaration's spelling.
    EXPECT_EQ(GroupIds("init"), (std::vector<std::string>{"top", "IMAGE_a", "IMAGE_B", "IMAGE_C", "IMAGE_F",
                                                          "IMAGE_C", "IMAGE_c", "Xt"}));
    EXPECT_EQ(Image("IMAGE_c")->mResGroup, "INIT");

    // Defaults stay for a later parse.
    ASSERT_TRUE(Parse(Group("<Image path=\"z.gif\"/>")));
    EXPECT_EQ(Image("Xz")->mPath, "/z.gif");
}

TEST_F(ManifestTest, AttributesByPresenceAndValue)
{
    ASSERT_TRUE(Parse(Group(
        "<Image id=\"PLAIN\" path=\"p.png\"/>\n"
        "<Image id=\"FLAGS\" path=\"f.png\" nopal=\"false\" a4r4g4b4=\"\" a8r8g8b8=\"0\" ddsurface=\"no\""
        " minsubdivide=\"0\" nobits3d=\"\" variant=\"big\" alphacolor=\"ff8000\" rows=\"2\" cols=\"3\"/>\n"
        "<Image id=\"NOBITS\" path=\"n.png\" nobits=\"\"/><Image id=\"NOBITS2D\" path=\"m.png\" "
        "nobits2d=\"\"/>\n"
        "<Image id=\"BADCOLOR\" path=\"c.png\" alphacolor=\"zz\"/>\n"
        "<Sound id=\"S\" path=\"s\" volume=\"0.5\" pan=\"-20\"/><Sound id=\"BAD\" path=\"t\" volume=\"x\" "
        "pan=\"y\"/>\n"
        "<Font id=\"SYS\" path=\"!sys:Arial Black\" size=\"12\" bold=\"false\" shadow=\"\" tags=\"a, b\"/>\n"
        "<Font id=\"REF\" path=\"!ref:SYS\" size=\"12\" italic=\"\"/>")))
        << mManager.GetErrorText();

    // Flags by presence alone; values that do not read leave the defaults.
    auto* plain = Image("PLAIN");
    auto* flags = Image("FLAGS");
    EXPECT_TRUE(plain->mPalletize && !flags->mPalletize);
    EXPECT_FALSE(plain->mA4R4G4B4 || plain->mA8R8G8B8 || plain->mDDSurface || plain->mMinimizeSubdivisions ||
                 plain->mPurgeBits);
    EXPECT_TRUE(flags->mA4R4G4B4 && flags->mA8R8G8B8 && flags->mDDSurface && flags->mMinimizeSubdivisions);
    EXPECT_FALSE(flags->mPurgeBits); // nobits3d, and no accelerated display
    EXPECT_TRUE(Image("NOBITS")->mPurgeBits && Image("NOBITS2D")->mPurgeBits);
    EXPECT_EQ(plain->mRows * 10 + plain->mCols, 11);
    EXPECT_EQ(flags->mRows * 10 + flags->mCols, 23);
    EXPECT_EQ(flags->mVariant, "big");
    EXPECT_EQ(flags->mAlphaColor, 0xFF8000u);
    EXPECT_EQ(plain->mAlphaColor + Image("BADCOLOR")->mAlphaColor, 2 * 0xFFFFFFu);
    EXPECT_EQ(Sound("S")->mVolume * 100 + Sound("S")->mPanning, 50 - 20);
    EXPECT_EQ(Sound("BAD")->mVolume * 100 + Sound("BAD")->mPanning, -100);

    auto* sys = Font("SYS");
    EXPECT_TRUE(sys->mSysFont && sys->mBold && sys->mShadow && !sys->mItalic && !sys->mUnderline);
    EXPECT_EQ(sys->mPath + StrFormat(" %d ", sys->mSize) + sys->mTags, "Arial Black 12 a, b");
    // Style attributes belong to system fonts only.
    auto* ref = Font("REF");
    EXPECT_FALSE(ref->mSysFont || ref->mItalic || ref->mSize != 0);
}

TEST_F(ManifestTest, AnimationAttributes)
{
    ASSERT_TRUE(Parse(Group("<Image id=\"PP\" path=\"a.png\" anim=\"PingPong\" cols=\"4\" framedelay=\"10\" "
                            "begindelay=\"5\" enddelay=\"7\"/>"
                            "<Image id=\"LOOP\" path=\"b.png\" anim=\"LOOP\" rows=\"3\" "
                            "perframedelay=\"1,2,,3\" framemap=\"0,2,1\"/>"
                            "<Image id=\"ONCE\" path=\"c.png\" anim=\"once\"/><Image id=\"NONE\" "
                            "path=\"d.png\" anim=\"None\" framedelay=\"9\"/>")))
        << mManager.GetErrorText();
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

} // namespace
} // namespace Vaxo
