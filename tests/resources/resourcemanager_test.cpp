// Loading groups and looking resources up, against a headless application: images of
// every file kind written by the framework's own writers, fonts of every kind, sounds
// through a sound manager that knows which files exist.
#include "resources/ResourceManager.h"

#include "app/SoundManager.h"
#include "app/support/AppTestEnv.h"
#include "graphics/FontData.h"
#include "graphics/ImageFont.h"
#include "graphics/NativeImage.h"
#include "graphics/SysFont.h"
#include "resources/ResourceTestFiles.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace Vaxo
{
namespace
{

// Sounds load when their file name is in mFiles; ids are handed out from 0 up to mMaxIds.
class FileSetSoundManager : public SoundManager
{
public:
    std::set<std::string> mFiles;
    int mMaxIds = 256;
    std::map<unsigned int, std::string> mLoaded;
    std::vector<std::string> mCalls;

    bool LoadSound(unsigned int id, const std::string& file) override
    {
        mCalls.push_back(StrFormat("LoadSound(%u,%s)", id, file.c_str()));
        if (mFiles.count(file) == 0)
            return false;
        mLoaded[id] = file;
        return true;
    }
    void ReleaseSound(unsigned int id) override
    {
        mCalls.push_back(StrFormat("ReleaseSound(%u)", id));
        mLoaded.erase(id);
    }
    bool SetBaseVolume(unsigned int id, double volume) override
    {
        mCalls.push_back(StrFormat("SetBaseVolume(%u,%.2f)", id, volume));
        return true;
    }
    bool SetBasePan(unsigned int id, int pan) override
    {
        mCalls.push_back(StrFormat("SetBasePan(%u,%d)", id, pan));
        return true;
    }
    int GetFreeSoundId() override
    {
        for (int id = 0; id < mMaxIds; ++id)
            if (mLoaded.count(id) == 0)
                return id;
        return -1;
    }
};

// Records the ids ResourceLoadedHook sees.
class HookedManager : public ResourceManager
{
public:
    using ResourceManager::ResourceManager;
    std::vector<std::string> mLoadedIds;
    void ResourceLoadedHook(BaseRes* res) override { mLoadedIds.push_back(res->mId); }
};

const char kDescriptor[] = "CreateLayer Main;\n"
                           "LayerSetImage Main 'glyphs.png';\n"
                           "LayerSetImageMap Main ('a' 'b') ((0 0 4 8) (4 0 4 8));\n"
                           "LayerSetCharWidths Main ('a' 'b') (5 6);\n"
                           "LayerSetAscent Main 6;\n";

class ResourceLoadTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        mApp.Init();
        mSounds = new FileSetSoundManager();
        mApp.mSoundManager.reset(mSounds);
        mSounds->mFiles = {mDir + "click", mDir + "boing"};

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
        mFolder.Write("font.txt", kDescriptor);
        ASSERT_TRUE(WriteImageFile(mDir + "strip.png", 15, 8, 0xFFFFFFFF));
        mFolder.Write("widths.txt", "5 6 a 7 b 8");
    }

    // Parses a manifest whose paths are below the test folder.
    void Declare(const std::string& groups)
    {
        std::string path = mFolder.Write("resources.xml", "<ResourceManifest>\n<Resources id=\"Defaults\">"
                                                          "<SetDefaults path=\"" +
                                                              mDir + "\"/></Resources>\n" + groups +
                                                              "</ResourceManifest>\n");
        ASSERT_TRUE(mManager.ParseResourcesFile(path)) << mManager.GetErrorText();
    }
    MemoryImage* Img(const std::string& id) { return mManager.GetImage(id); }
    ResourceManager::ImageRes* ImageRecord(const std::string& id)
    {
        return static_cast<ResourceManager::ImageRes*>(mManager.mImageMap.at(id).get());
    }

    AppTestEnv mEnv;
    RecordingApp mApp;
    TempFolder mFolder;
    const std::string mDir = mFolder.Dir();
    FileSetSoundManager* mSounds = nullptr;
    HookedManager mManager{&mApp};
};

const char kEveryKind[] =
    "<Resources id=\"All\">\n"
    "<Image id=\"PNG\" path=\"a.png\"/>\n"
    "<Image id=\"JPEG\" path=\"j\"/>\n"
    "<Image id=\"TGA\" path=\"t.tga\" nopal=\"\"/>\n"
    "<Image id=\"GIF\" path=\"g\"/>\n"
    "<Image id=\"SHEET\" path=\"sheet.png\" rows=\"2\" cols=\"2\" alphagrid=\"grid.png\""
    " anim=\"loop\" framedelay=\"3\"/>\n"
    "<Image id=\"ALPHA\" path=\"a.png\" variant=\"alpha\" alphaimage=\"j_.png\"/>\n"
    "<Image id=\"EMPTY\" path=\"!empty\"/>\n"
    "<Image id=\"PROGRAM\" path=\"!program\"/>\n"
    "<Sound id=\"CLICK\" path=\"click\" volume=\"0.5\" pan=\"-20\"/>\n"
    "<Sound id=\"HUSH\" path=\"!empty\"/>\n"
    "<Font id=\"DESC\" path=\"font.txt\" tags=\"big,\tbold\"/>\n"
    "<Font id=\"LEGACY\" path=\"widths.txt\" image=\"@strip.png\"/>\n"
    "<Font id=\"SYS\" path=\"!sys:Sans\" size=\"12\" bold=\"\"/>\n"
    "<Font id=\"REF\" path=\"!ref:DESC\"/>\n"
    "</Resources>\n";

std::string EveryKind(const std::string& dir)
{
    std::string text = kEveryKind;
    text.replace(text.find('@'), 1, dir); // the legacy font's picture takes no default path
    return text;
}

TEST_F(ResourceLoadTest, GroupLoadsOneResourcePerStepInDeclarationOrder)
{
    Declare(EveryKind(mDir));
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
    EXPECT_EQ(Img("EMPTY")->GetWidth(), 1);
    EXPECT_EQ(Img("EMPTY")->GetHeight(), 1);
    EXPECT_FALSE(mManager.GetImage("PROGRAM"));
    // The alpha file replaces the alpha of a copy loaded under its own variant only.
    EXPECT_EQ(Img("ALPHA")->GetBits()[0], 0x40112233u);
    EXPECT_NE(Img("ALPHA"), Img("PNG"));

    MemoryImage* sheet = Img("SHEET");
    EXPECT_EQ(sheet->mNumRows, 2);
    EXPECT_EQ(sheet->mNumCols, 2);
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
    EXPECT_EQ(mSounds->mCalls, (std::vector<std::string>{"LoadSound(0," + mDir + "click)",
                                                         "SetBaseVolume(0,0.50)", "SetBasePan(0,-20)"}));

    auto* desc = dynamic_cast<ImageFont*>(mManager.GetFont("DESC"));
    ASSERT_NE(desc, nullptr);
    EXPECT_EQ(desc->mTagVector, (std::vector<std::string>{"BIG", "BOLD"}));
    EXPECT_EQ(desc->StringWidth("ab"), 11);
    auto* legacy = dynamic_cast<ImageFont*>(mManager.GetFont("LEGACY"));
    ASSERT_NE(legacy, nullptr);
    EXPECT_EQ(legacy->StringWidth("ab"), 15);
    EXPECT_NE(dynamic_cast<SysFont*>(mManager.GetFont("SYS")), nullptr);
    auto* ref = dynamic_cast<ImageFont*>(mManager.GetFont("REF"));
    ASSERT_NE(ref, nullptr);
    EXPECT_NE(ref, desc);
    EXPECT_EQ(ref->StringWidth("ab"), 11);
}

TEST_F(ResourceLoadTest, ImageFlagsReachTheImage)
{
    mApp.mDisplay->mIs3D = true;
    Declare("<Resources id=\"g\">\n"
            "<Image id=\"PAL\" path=\"a.png\" variant=\"1\"/>\n"
            "<Image id=\"NOPAL\" path=\"a.png\" variant=\"2\" nopal=\"\" a4r4g4b4=\"\" minsubdivide=\"\"/>\n"
            "<Image id=\"SURFACE\" path=\"a.png\" variant=\"3\" ddsurface=\"\" a8r8g8b8=\"\"/>\n"
            "<Image id=\"TRANSLUCENT\" path=\"t.tga\" ddsurface=\"\" nopal=\"\" nobits3d=\"\"/>\n"
            "</Resources>\n");
    ASSERT_TRUE(mManager.LoadResources("g")) << mManager.GetErrorText();

    struct Row
    {
        const char* id;
        bool wantPalette;
        bool wantSurface;
        bool purgeBits;
        uint32_t textureFlags;
    };
    const Row rows[] = {
        {"PAL", true, false, false, 0},
        {"NOPAL", false, false, false, 4 | 1},
        {"SURFACE", true, true, true, 8},
        {"TRANSLUCENT", false, false, true, 0},
    };
    for (const Row& row : rows)
    {
        MemoryImage* image = Img(row.id);
        ASSERT_NE(image, nullptr) << row.id;
        EXPECT_EQ(image->mWantPalette, row.wantPalette) << row.id;
        EXPECT_EQ(dynamic_cast<NativeImage*>(image)->mWantDDSurface, row.wantSurface) << row.id;
        EXPECT_EQ(image->mPurgeBits, row.purgeBits) << row.id;
        EXPECT_EQ(image->m3DFlags, row.textureFlags) << row.id;
    }
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
        std::string path =
            mFolder.Write("case.xml", "<ResourceManifest><Resources id=\"g\"><SetDefaults path=\"" + mDir +
                                          "\"/><Image id=\"FIRST\" path=\"a.png\"/>" + c.declaration +
                                          "</Resources></ResourceManifest>");
        ASSERT_TRUE(manager.ParseResourcesFile(path)) << manager.GetErrorText();
        EXPECT_FALSE(manager.LoadResources("g"));
        EXPECT_EQ(manager.GetErrorText(), c.error);
        EXPECT_FALSE(manager.IsGroupLoaded("g"));
        EXPECT_TRUE(manager.GetImage("FIRST"));
        EXPECT_FALSE(manager.GetImage("X"));
        EXPECT_EQ(manager.GetSound("X"), -1);
        EXPECT_EQ(manager.GetFont("X"), nullptr);
        EXPECT_FALSE(manager.LoadNextResource()); // until the next start
    }

    mSounds->mMaxIds = 0;
    Declare("<Resources id=\"s\"><Sound id=\"CLICK\" path=\"click\"/></Resources>");
    EXPECT_FALSE(mManager.LoadResources("s"));
    EXPECT_EQ(mManager.GetErrorText(), "Out of free sound ids");
}

TEST_F(ResourceLoadTest, SecondLoadKeepsEveryImageTheBindingMayHold)
{
    Declare(
        "<Resources id=\"g\"><Image id=\"A\" path=\"a.png\"/><Image id=\"B\" path=\"t.tga\"/>"
        "<Image id=\"E\" path=\"!empty\"/><Sound id=\"S\" path=\"click\"/><Font id=\"F\" path=\"font.txt\"/>"
        "</Resources>\n");
    ASSERT_TRUE(mManager.LoadResources("g")) << mManager.GetErrorText();
    EXPECT_TRUE(mManager.IsGroupLoaded("G"));
    MemoryImage* empty = Img("E");
    MemoryImage* replacement = new MemoryImage();
    EXPECT_TRUE(mManager.ReplaceImage("B", replacement));
    mManager.mLoadedIds.clear();

    ASSERT_TRUE(mManager.LoadResources("G"));
    EXPECT_TRUE(mManager.mLoadedIds.empty());
    EXPECT_EQ(Img("E"), empty);
    EXPECT_EQ(Img("B"), replacement);

    // Freed resources load again; names differing in case free nothing.
    mManager.DeleteResources("G");
    EXPECT_FALSE(mManager.IsGroupLoaded("g"));
    EXPECT_TRUE(mManager.GetImage("A"));
    mManager.DeleteResources("g");
    EXPECT_FALSE(mManager.GetImage("A"));
    EXPECT_FALSE(mManager.GetImage("B"));
    EXPECT_EQ(mManager.GetSound("S"), -1);
    EXPECT_EQ(mManager.GetFont("F"), nullptr);
    EXPECT_EQ(mSounds->mCalls.back(), "ReleaseSound(0)");
    ASSERT_TRUE(mManager.LoadResources("g"));
    EXPECT_EQ(mManager.mLoadedIds, (std::vector<std::string>{"A", "B", "E", "S", "F"}));
    EXPECT_EQ(Img("B")->GetWidth(), 3);

    // An undeclared group loads nothing and counts as loaded.
    EXPECT_TRUE(mManager.LoadResources("Nowhere"));
    EXPECT_TRUE(mManager.IsGroupLoaded("nowhere"));
}

TEST_F(ResourceLoadTest, LookUpsPlainLoadingAndThrowing)
{
    Declare(EveryKind(mDir));
    // Nothing loaded yet.
    EXPECT_FALSE(mManager.GetImage("PNG"));
    EXPECT_EQ(mManager.GetSound("CLICK"), -1);
    EXPECT_EQ(mManager.GetFont("DESC"), nullptr);
    EXPECT_EQ(mManager.GetSound("UNDECLARED"), -1);

    // Loading when needed, once.
    SharedImageRef png = mManager.LoadImage("PNG");
    EXPECT_EQ(static_cast<MemoryImage*>(png), Img("PNG"));
    EXPECT_EQ(mManager.LoadFont("DESC"), mManager.GetFont("DESC"));
    EXPECT_EQ(mManager.LoadSound("CLICK"), 0);
    EXPECT_EQ(mManager.LoadSound("CLICK"), 0);
    EXPECT_EQ(mManager.mLoadedIds, (std::vector<std::string>{"PNG", "DESC", "CLICK"}));
    EXPECT_EQ(mManager.LoadSound("UNDECLARED"), 0);
    EXPECT_FALSE(mManager.LoadImage("UNDECLARED"));
    EXPECT_FALSE(mManager.LoadImage("PROGRAM"));
    EXPECT_EQ(mManager.LoadFont("UNDECLARED"), nullptr);

    // Throwing: the first error is the one carried.
    EXPECT_EQ(static_cast<MemoryImage*>(mManager.GetImageThrow("PNG")), Img("PNG"));
    EXPECT_EQ(mManager.GetSoundThrow("CLICK"), 0);
    EXPECT_EQ(mManager.GetFontThrow("DESC"), mManager.GetFont("DESC"));
    struct Throw
    {
        std::function<void()> call;
        const char* error;
    };
    const Throw throws[] = {
        {[&] { mManager.GetImageThrow("TGA"); }, "Image resource not found: TGA"},
        {[&] { mManager.GetSoundThrow("HUSH"); }, "Sound resource not found: HUSH"},
        {[&] { mManager.GetFontThrow("SYS"); }, "Font resource not found: SYS"},
        {[&] { mManager.GetImageThrow("PROGRAM"); }, "Image resource not found: PROGRAM"},
        {[&] { mManager.GetImageThrow("NONE"); }, "Image resource not found: NONE"},
    };
    for (const Throw& t : throws)
    {
        mManager.StartLoadResources("none"); // clears the error
        try
        {
            t.call();
            ADD_FAILURE() << t.error;
        }
        catch (const ResourceManagerException& e)
        {
            EXPECT_EQ(e.mMessage, t.error);
        }
        EXPECT_EQ(mManager.GetErrorText(), t.error);
    }
    EXPECT_THROW(mManager.GetSoundThrow("CLICKS"), ResourceManagerException);
    EXPECT_EQ(mManager.GetErrorText(), "Image resource not found: NONE");

    mManager.SetAllowMissingProgramImages(true);
    EXPECT_FALSE(mManager.GetImageThrow("PROGRAM"));
    EXPECT_EQ(mManager.LoadSound("HUSH"), -2);
    EXPECT_EQ(mManager.GetSoundThrow("HUSH"), -2);
    EXPECT_EQ(mManager.GetImageAttributes("SHEET").at("ROWS"), "2");
    EXPECT_TRUE(mManager.GetImageAttributes("CLICK").empty());
}

TEST_F(ResourceLoadTest, ReplaceAndDelete)
{
    Declare("<Resources id=\"g\"><Image id=\"A\" path=\"a.png\"/><Sound id=\"S\" path=\"click\"/>"
            "<Sound id=\"T\" path=\"boing\"/><Font id=\"F\" path=\"font.txt\"/></Resources>\n");
    ASSERT_TRUE(mManager.LoadResources("g")) << mManager.GetErrorText();
    EXPECT_FALSE(mManager.ReplaceImage("NONE", nullptr));
    EXPECT_FALSE(mManager.ReplaceSound("NONE", 3));
    EXPECT_FALSE(mManager.ReplaceFont("NONE", nullptr));

    // The record owns what it is given; giving it back what it holds frees nothing.
    MemoryImage* image = new MemoryImage();
    ASSERT_TRUE(mManager.ReplaceImage("A", image));
    ASSERT_TRUE(mManager.ReplaceImage("A", image));
    EXPECT_EQ(Img("A"), image);
    image->Create(2, 2);
    Font* font = mManager.GetFont("F");
    ASSERT_TRUE(mManager.ReplaceFont("F", font));
    EXPECT_EQ(font->StringWidth("a"), 5);
    Font* sys = new SysFont("Sans", 10);
    ASSERT_TRUE(mManager.ReplaceFont("F", sys));
    EXPECT_EQ(mManager.GetFontThrow("F"), sys);

    mSounds->mCalls.clear();
    ASSERT_TRUE(mManager.ReplaceSound("S", 0));
    ASSERT_TRUE(mManager.ReplaceSound("S", 7));
    EXPECT_EQ(mManager.GetSound("S"), 7);
    mManager.DeleteSound("T");
    EXPECT_EQ(mSounds->mCalls, (std::vector<std::string>{"ReleaseSound(0)", "ReleaseSound(1)"}));
    EXPECT_EQ(mManager.GetSound("T"), -1);

    mManager.DeleteImage("A");
    mManager.DeleteFont("F");
    EXPECT_FALSE(mManager.GetImage("A"));
    EXPECT_EQ(mManager.GetFont("F"), nullptr);
    mManager.mLoadedIds.clear();
    ASSERT_TRUE(mManager.LoadResources("g"));
    EXPECT_EQ(mManager.mLoadedIds, (std::vector<std::string>{"A", "T", "F"}));
    EXPECT_EQ(Img("A")->GetWidth(), 4);
}

TEST_F(ResourceLoadTest, DumpOfTheGroupBeingLoaded)
{
    std::string out = "untouched";
    mManager.DumpCurResGroup(out);
    EXPECT_EQ(out, "untouched");

    Declare("<Resources id=\"g\"><Image id=\"A\" path=\"a.png\"/><Image id=\"P\" path=\"!program\"/>"
            "<Sound id=\"S\" path=\"click\"/><Font id=\"F\" path=\"font.txt\"/></Resources>\n");
    mManager.StartLoadResources("g");
    ASSERT_TRUE(mManager.LoadNextResource());
    ASSERT_TRUE(mManager.LoadNextResource());
    mManager.DumpCurResGroup(out);
    EXPECT_EQ(out, "About to dump 4 elements from current res group name g\r\n"
                   "A: " +
                       mDir +
                       "a.png\r\n     res is an image\r\n"
                       "P: !program\r\n     res is from program\r\n"
                       "S: " +
                       mDir +
                       "click\r\n     res is a sound\r\niterator has reached mCurResGroupItr\r\n"
                       "F: " +
                       mDir +
                       "font.txt\r\n     res is a font\r\n"
                       "Done dumping resources\r\n");
}

} // namespace
} // namespace Vaxo
