// The resource manager beside other threads: the alpha-compose colour of one image load
// never reaches a load running on another thread at the same time.
#include "resources/ResourceManager.h"

#include "app/support/AppTestEnv.h"
#include "graphics/MemoryImage.h"
#include "resources/ResourceTestFiles.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>

namespace Vaxo
{
namespace
{

// While the manager's load reads its file, another thread loads an image of its own.
class OtherLoadApp : public RecordingApp
{
public:
    std::string mOtherFile;
    uint32_t mOtherPixel = 0;

    MemoryImage* GetImage(const std::string& fileName, bool commitBits) override
    {
        std::thread other(
            [this]
            {
                std::unique_ptr<ImageLib::Image> image(ImageLib::GetImage(mOtherFile, true));
                mOtherPixel = image ? image->GetBits()[0] : 0;
            });
        other.join();
        return RecordingApp::GetImage(fileName, commitBits);
    }
};

TEST(ResourceManagerThreads, AlphaComposeColourStaysWithItsLoad)
{
    AppTestEnv env;
    OtherLoadApp app;
    app.Init();
    TempFolder folder;
    // Two images of an alpha file alone.
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
    EXPECT_EQ(ImageLib::gAlphaComposeColor.load(), 0xFFFFFFu);
}

} // namespace
} // namespace Vaxo
