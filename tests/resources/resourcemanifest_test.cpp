// The manifest reader: its error texts with line and file, defaults and prefixes, groups
// and ids, attributes, animation, re-parsing. No application is needed to parse (a
// manager without one counts the display as not accelerated).
#include "resources/ResourceManager.h"

#include "graphics/MemoryImage.h"

#include "resources/ResourceTestFiles.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace Vaxo
{
namespace
{

class ManifestTest : public ::testing::Test
{
protected:
    // Writes the manifest and parses it; answers the parse's result.
    bool Parse(const std::string& text, const std::string& name = "resources.xml")
    {
        mPath = mFolder.Write(name, text);
        return mManager.ParseResourcesFile(mPath);
    }
    bool Reparse(const std::string& text)
    {
        mPath = mFolder.Write("again.xml", text);
        return mManager.ReparseResourcesFile(mPath);
    }
    ResourceManager::ImageRes* Image(const std::string& id)
    {
        auto it = mManager.mImageMap.find(id);
        return it == mManager.mImageMap.end() ? nullptr
                                              : static_cast<ResourceManager::ImageRes*>(it->second.get());
    }
    ResourceManager::SoundRes* Sound(const std::string& id)
    {
        auto it = mManager.mSoundMap.find(id);
        return it == mManager.mSoundMap.end() ? nullptr
                                              : static_cast<ResourceManager::SoundRes*>(it->second.get());
    }
    ResourceManager::FontRes* Font(const std::string& id)
    {
        auto it = mManager.mFontMap.find(id);
        return it == mManager.mFontMap.end() ? nullptr
                                             : static_cast<ResourceManager::FontRes*>(it->second.get());
    }
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

std::string Manifest(const std::string& body)
{
    return "<ResourceManifest>\n" + body + "</ResourceManifest>\n";
}

TEST_F(ManifestTest, ErrorTextsEndWithLineAndFile)
{
    struct Case
    {
        const char* text;
        const char* error; // without the suffix
        int line;          // 0: no suffix
    };
    const Case cases[] = {
        {"", "Expecting ResourceManifest tag", 1},
        {"<!-- nothing -->\n<!-- but comments -->\n", "Expecting ResourceManifest tag", 3},
        {"<?xml version=\"1.0\"?>\n<Manifest/>\n", "Expecting ResourceManifest tag", 2},
        {"<ResourceManifest>\n  stray\n</ResourceManifest>", "Element Not Expected 'stray'", 3},
        {"<ResourceManifest>\n<Group id=\"a\"/>\n</ResourceManifest>", "Invalid Section 'Group'", 2},
        {"<ResourceManifest>\n<Resources/>\n</ResourceManifest>", "No id specified.", 2},
        {"<ResourceManifest>\n<Resources id=\"\">\n</Resources></ResourceManifest>", "No id specified.", 2},
        {"<ResourceManifest><Resources id=\"a\">\n<Music path=\"m\"/>\n</Resources></ResourceManifest>",
         "Invalid Section 'Music'", 2},
        {"<ResourceManifest><Resources id=\"a\">\n\n  words</Resources></ResourceManifest>",
         "Element Not Expected 'words'", 3},
        {"<ResourceManifest><Resources id=\"a\">\n<Image path=\"a.png\"><Image path=\"b.png\"/></Image>\n"
         "</Resources></ResourceManifest>",
         "Unexpected element found.", 2},
        {"<ResourceManifest><Resources id=\"a\">\n<Image id=\"A\"/>\n</Resources></ResourceManifest>",
         "No path specified.", 2},
        {"<ResourceManifest><Resources id=\"a\">\n<Sound path=\"\"/>\n</Resources></ResourceManifest>",
         "No path specified.", 2},
        {"<ResourceManifest><Resources id=\"a\">\n<Image path=\"a.png\"/>\n<Image path=\"b/a.jpg\"/>\n"
         "</Resources></ResourceManifest>",
         "Resource already defined.", 3},
        {"<ResourceManifest><Resources id=\"a\">\n\n\n\n<Image path=\"a.png\" anim=\"bounce\"/>\n"
         "</Resources></ResourceManifest>",
         "Invalid animation type.", 5},
        {"<ResourceManifest><Resources id=\"a\">\n<Font "
         "path=\"!sys:Arial\"/>\n</Resources></ResourceManifest>",
         "SysFont needs point size", 2},
        {"<ResourceManifest><Resources id=\"a\">\n<Font path=\"!sys:Arial\" size=\"0\"/>\n"
         "</Resources></ResourceManifest>",
         "SysFont needs point size", 2},
        {"<ResourceManifest><Resources id=\"a\">\n<Image path=\"a.png\" rows=\"0\"/>\n"
         "</Resources></ResourceManifest>",
         "Invalid rows.", 2},
        {"<ResourceManifest><Resources id=\"a\">\n<Image path=\"a.png\" cols=\"-1\"/>\n"
         "</Resources></ResourceManifest>",
         "Invalid cols.", 2},
        {"<ResourceManifest><Resources id=\"a\">\n<Image path=\"a.png\" cols=\"x\"/>\n"
         "</Resources></ResourceManifest>",
         "Invalid cols.", 2},
    };
    for (const Case& c : cases)
    {
        ResourceManager manager(nullptr);
        std::string path = mFolder.Write("case.xml", c.text);
        EXPECT_FALSE(manager.ParseResourcesFile(path)) << c.text;
        EXPECT_EQ(manager.GetErrorText(),
                  std::string(c.error) + " on Line " + std::to_string(c.line) + " in File '" + path + "'")
            << c.text;
        EXPECT_EQ(manager.mXMLParser, nullptr);
    }
}

TEST_F(ManifestTest, ReaderErrorsAndMissingFile)
{
    EXPECT_FALSE(Parse("<ResourceManifest>\n<Resources id=\"a\">\n</Group>\n"));
    EXPECT_NE(mManager.GetErrorText().find(" on Line 3 in File '" + mPath + "'"), std::string::npos)
        << mManager.GetErrorText();

    // No parser line or file yet, and the first error stays the only one.
    ResourceManager manager(nullptr);
    EXPECT_FALSE(manager.ParseResourcesFile(mFolder.Dir() + "none.xml"));
    EXPECT_EQ(manager.GetErrorText(), "Resource file not found: " + mFolder.Dir() + "none.xml");
}

TEST_F(ManifestTest, RecordsBeforeAnErrorStayDeclared)
{
    EXPECT_FALSE(Parse(Manifest("<Resources id=\"g\">\n<Image path=\"a.png\"/>\n"
                                "<Image path=\"b.png\" anim=\"twirl\"/>\n<Image path=\"c.png\"/>\n"
                                "<Font id=\"F\" path=\"!sys:Sans\"/></Resources>\n")));
    EXPECT_EQ(GroupIds("g"), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(Image("c"), nullptr);

    ResourceManager manager(nullptr);
    EXPECT_FALSE(manager.ParseResourcesFile(mFolder.Write(
        "f.xml", Manifest("<Resources id=\"g\"><Font id=\"F\" path=\"!sys:Sans\"/></Resources>"))));
    EXPECT_EQ(manager.mFontMap.count("F"), 1u);
}

TEST_F(ManifestTest, GroupEndingAtEndOfFileParses)
{
    EXPECT_TRUE(Parse("<ResourceManifest>\n<Resources id=\"g\">\n<Image path=\"a.png\"/>\n"))
        << mManager.GetErrorText();
    EXPECT_EQ(GroupIds("g"), std::vector<std::string>{"a"});
}

TEST_F(ManifestTest, ByteOrderMarksAreRead)
{
    const std::string body =
        Manifest("<Resources id=\"g\"><Image id=\"IMAGE_A\" path=\"a.png\"/></Resources>");
    EXPECT_TRUE(Parse("\xEF\xBB\xBF" + body, "utf8.xml")) << mManager.GetErrorText();

    std::string utf16 = "\xFF\xFE";
    for (char c : body)
        utf16 += std::string(1, c) + '\0';
    ResourceManager manager(nullptr);
    EXPECT_TRUE(manager.ParseResourcesFile(mFolder.Write("utf16.xml", utf16))) << manager.GetErrorText();
    EXPECT_EQ(manager.mImageMap.count("IMAGE_A"), 1u);
}

TEST_F(ManifestTest, DefaultsAndPrefixes)
{
    ASSERT_TRUE(
        Parse(Manifest("<Resources id=\"one\">\n"
                       "<Image path=\"top.png\"/>\n"
                       "<SetDefaults path=\"res\\\" idprefix=\"IMAGE_\"/>\n"
                       "<Image path=\"images/a.png\" alphaimage=\"images/_a.png\" alphagrid=\"g.png\"/>\n"
                       "<Image id=\"B\" path=\"!program\"/>\n"
                       "<Image id=\"C\" path=\"!empty\"/>\n"
                       "<Font id=\"F\" path=\"f.txt\" image=\"fonts/f.png\"/>\n"
                       "</Resources>\n"
                       "<Resources id=\"two\"><Sound id=\"S\" path=\"s\"/>\n"
                       "<SetDefaults path=\"\" idprefix=\"X/\"/><Sound path=\"dir/t.wav\"/></Resources>\n")))
        << mManager.GetErrorText();

    struct Row
    {
        ResourceManager::BaseRes* res;
        const char* path;
        bool fromProgram;
        bool empty;
        const char* group;
    };
    const Row rows[] = {
        {Image("top"), "top.png", false, false, "one"},
        {Image("IMAGE_a"), "res/images/a.png", false, false, "one"},
        {Image("IMAGE_B"), "!program", true, false, "one"},
        {Image("IMAGE_C"), "!empty", false, true, "one"},
        {Font("IMAGE_F"), "res/f.txt", false, false, "one"},
        {Sound("IMAGE_S"), "res/s", false, false, "two"},
        {Sound("Xt"), "/dir/t.wav", false, false, "two"},
    };
    for (const Row& row : rows)
    {
        ASSERT_NE(row.res, nullptr) << row.path;
        EXPECT_EQ(row.res->mPath, row.path);
        EXPECT_EQ(row.res->mFromProgram, row.fromProgram) << row.path;
        EXPECT_EQ(row.res->mEmpty, row.empty) << row.path;
        EXPECT_EQ(row.res->mResGroup, row.group) << row.path;
    }
    EXPECT_EQ(Image("IMAGE_a")->mAlphaImage, "res/images/_a.png");
    EXPECT_EQ(Image("IMAGE_a")->mAlphaGridImage, "res/g.png");
    EXPECT_EQ(Font("IMAGE_F")->mImagePath, "fonts/f.png");
    EXPECT_EQ(Image("IMAGE_a")->mXMLAttributes.at("ALPHAGRID"), "g.png");

    // Defaults stay in force for a later parse.
    ASSERT_TRUE(Parse(Manifest("<Resources id=\"three\"><Image path=\"z.gif\"/></Resources>"), "later.xml"));
    ASSERT_NE(Image("Xz"), nullptr);
    EXPECT_EQ(Image("Xz")->mPath, "/z.gif");
}

TEST_F(ManifestTest, GroupsIgnoreCaseIdsDoNot)
{
    ASSERT_TRUE(Parse(Manifest("<Resources id=\"Init\"><Image id=\"IMAGE_A\" path=\"a.png\"/></Resources>\n"
                               "<Resources id=\"mode\"><Image id=\"IMAGE_M\" path=\"m.png\"/></Resources>\n"
                               "<Resources id=\"INIT\"><Image id=\"image_a\" path=\"b.png\"/>\n"
                               "<Sound id=\"IMAGE_A\" path=\"a\"/></Resources>\n")))
        << mManager.GetErrorText();
    EXPECT_EQ(GroupIds("init"), (std::vector<std::string>{"IMAGE_A", "image_a", "IMAGE_A"}));
    EXPECT_EQ(mManager.mResGroupMap.size(), 2u);
    // The record keeps the group as its declaration spelled it.
    EXPECT_EQ(Image("image_a")->mResGroup, "INIT");
    EXPECT_NE(Sound("IMAGE_A"), nullptr);
}

TEST_F(ManifestTest, AttributesByPresenceAndValue)
{
    ASSERT_TRUE(Parse(Manifest(
        "<Resources id=\"g\">\n"
        "<Image id=\"PLAIN\" path=\"p.png\"/>\n"
        "<Image id=\"FLAGS\" path=\"f.png\" nopal=\"false\" a4r4g4b4=\"\" a8r8g8b8=\"0\" ddsurface=\"no\""
        " minsubdivide=\"0\" nobits3d=\"\" variant=\"big\" alphacolor=\"ff8000\" rows=\"2\" cols=\"3\"/>\n"
        "<Image id=\"NOBITS\" path=\"n.png\" nobits=\"\"/>\n"
        "<Image id=\"NOBITS2D\" path=\"n2.png\" nobits2d=\"\"/>\n"
        "<Image id=\"BADCOLOR\" path=\"c.png\" alphacolor=\"zz\"/>\n"
        "<Sound id=\"S\" path=\"s\" volume=\"0.5\" pan=\"-20\"/>\n"
        "<Sound id=\"BADS\" path=\"t\" volume=\"loud\" pan=\"left\"/>\n"
        "<Sound id=\"NOVOL\" path=\"u\" volume=\"-2\"/>\n"
        "<Font id=\"SYS\" path=\"!sys:Arial Black\" size=\"12\" bold=\"false\" shadow=\"\" tags=\"a, b\"/>\n"
        "<Font id=\"REF\" path=\"!ref:SYS\" size=\"12\" italic=\"\"/>\n"
        "</Resources>")))
        << mManager.GetErrorText();

    auto* plain = Image("PLAIN");
    EXPECT_TRUE(plain->mPalletize);
    EXPECT_FALSE(plain->mA4R4G4B4 || plain->mA8R8G8B8 || plain->mDDSurface || plain->mMinimizeSubdivisions ||
                 plain->mPurgeBits);
    EXPECT_EQ(plain->mAlphaColor, 0xFFFFFFu);
    EXPECT_EQ(plain->mRows, 1);
    EXPECT_EQ(plain->mCols, 1);

    auto* flags = Image("FLAGS");
    EXPECT_FALSE(flags->mPalletize);
    EXPECT_TRUE(flags->mA4R4G4B4 && flags->mA8R8G8B8 && flags->mDDSurface && flags->mMinimizeSubdivisions);
    EXPECT_FALSE(flags->mPurgeBits); // nobits3d, and no accelerated display
    EXPECT_EQ(flags->mVariant, "big");
    EXPECT_EQ(flags->mAlphaColor, 0xFF8000u);
    EXPECT_EQ(flags->mRows, 2);
    EXPECT_EQ(flags->mCols, 3);
    EXPECT_TRUE(Image("NOBITS")->mPurgeBits);
    EXPECT_TRUE(Image("NOBITS2D")->mPurgeBits);
    EXPECT_EQ(Image("BADCOLOR")->mAlphaColor, 0xFFFFFFu);

    EXPECT_DOUBLE_EQ(Sound("S")->mVolume, 0.5);
    EXPECT_EQ(Sound("S")->mPanning, -20);
    EXPECT_DOUBLE_EQ(Sound("BADS")->mVolume, -1.0);
    EXPECT_EQ(Sound("BADS")->mPanning, 0);
    EXPECT_DOUBLE_EQ(Sound("NOVOL")->mVolume, -2.0);
    EXPECT_EQ(Sound("NOVOL")->mSoundId, -1);

    auto* sys = Font("SYS");
    EXPECT_TRUE(sys->mSysFont);
    EXPECT_EQ(sys->mPath, "Arial Black");
    EXPECT_EQ(sys->mSize, 12);
    EXPECT_TRUE(sys->mBold && sys->mShadow);
    EXPECT_FALSE(sys->mItalic || sys->mUnderline);
    EXPECT_EQ(sys->mTags, "a, b");
    // Style attributes belong to system fonts only.
    auto* ref = Font("REF");
    EXPECT_FALSE(ref->mSysFont);
    EXPECT_EQ(ref->mPath, "!ref:SYS");
    EXPECT_FALSE(ref->mItalic);
    EXPECT_EQ(ref->mSize, 0);
}

TEST_F(ManifestTest, AnimationAttributes)
{
    ASSERT_TRUE(Parse(Manifest(
        "<Resources id=\"g\">\n"
        "<Image id=\"PP\" path=\"a.png\" anim=\"PingPong\" cols=\"4\" framedelay=\"10\" begindelay=\"5\""
        " enddelay=\"7\"/>\n"
        "<Image id=\"LOOP\" path=\"b.png\" anim=\"LOOP\" rows=\"3\" perframedelay=\"1,2,,3\" "
        "framemap=\"0,2,1\"/>\n"
        "<Image id=\"ONCE\" path=\"c.png\" anim=\"once\"/>\n"
        "<Image id=\"NONE\" path=\"d.png\" anim=\"None\" framedelay=\"9\"/>\n"
        "</Resources>")))
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
    ASSERT_TRUE(
        Parse(Manifest("<Resources id=\"g\"><Image id=\"A\" path=\"a.png\" variant=\"v\" rows=\"2\"/>\n"
                       "<Image id=\"B\" path=\"b.png\"/></Resources>")));
    ResourceManager::ImageRes* a = Image("A");
    MemoryImage* loaded = new MemoryImage(nullptr);
    a->mImage = loaded;
    a->mImage.mOwnsUnshared = true;

    EXPECT_TRUE(Reparse(Manifest("<Resources id=\"other\"><Image id=\"A\" path=\"new.png\" a8r8g8b8=\"\"/>"
                                 "</Resources><Resources id=\"G\"><Image id=\"C\" path=\"c.png\"/>"
                                 "<Image id=\"C\" path=\"c2.png\"/></Resources>")))
        << mManager.GetErrorText();
    EXPECT_EQ(Image("A"), a);
    EXPECT_EQ(a->mResGroup, "g");
    EXPECT_EQ(a->mPath, "new.png");
    EXPECT_EQ(a->mVariant, "v");
    EXPECT_EQ(a->mRows, 1);
    EXPECT_TRUE(a->mA8R8G8B8);
    EXPECT_EQ(a->mXMLAttributes.count("variant"), 0u);
    EXPECT_EQ(static_cast<MemoryImage*>(a->mImage), loaded);
    EXPECT_EQ(GroupIds("g"), (std::vector<std::string>{"A", "B", "C"}));
    EXPECT_EQ(Image("C")->mPath, "c2.png");
    EXPECT_TRUE(GroupIds("other").empty());
    EXPECT_FALSE(mManager.mAllowAlreadyDefinedResources);

    // An error recorded before a re-parse survives it.
    mManager.Fail("earlier");
    EXPECT_FALSE(Reparse(Manifest("<Resources id=\"g\"><Image id=\"A\" path=\"x.png\"/></Resources>")));
    EXPECT_EQ(mManager.GetErrorText(), "earlier");
    EXPECT_EQ(a->mPath, "x.png");

    // A redeclared path is read whole: "!empty" makes a placeholder of the record.
    mManager.mError.clear();
    mManager.mHasFailed = false;
    EXPECT_TRUE(Reparse(Manifest("<Resources id=\"g\"><Image id=\"B\" path=\"!empty\"/></Resources>")));
    EXPECT_TRUE(Image("B")->mEmpty);
}

TEST(ReadIntVector, AtoiAtStartAndAfterEveryComma)
{
    struct Case
    {
        const char* text;
        std::vector<int> values;
    };
    const Case cases[] = {
        {"1,2,,3", {1, 2, 0, 3}},
        {"", {0}},
        {"7", {7}},
        {" 4, -5,x6,", {4, -5, 0, 0}},
    };
    for (const Case& c : cases)
    {
        std::vector<int> values{99};
        ReadIntVector(c.text, values);
        EXPECT_EQ(values, c.values) << c.text;
    }
}

} // namespace
} // namespace Vaxo
