// TestApp: the one stand-in for the application object in graphics tests.
//
// It records Popup texts, serves GetSharedImage from images the test puts in by name
// (looked up by the upper-cased name, as the application's cache keys them), keeps the
// set of live memory images, and holds the real recursive image mutex of GraphicsApp.
// Constructing one makes it gGraphicsApp; destroying it clears that.
#pragma once

#include "graphics/GraphicsApp.h"
#include "graphics/SharedImage.h"

#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace Vaxo
{

class TestApp : public GraphicsApp
{
public:
    // Every Popup text, in order, with its fatal flag.
    std::vector<std::pair<std::string, bool>> mPopups;
    // Live memory images (what AddMemoryImage/RemoveMemoryImage maintain).
    std::set<MemoryImage*> mMemoryImageSet;
    // The shared-image cache: (upper file name, upper variant) to entry.
    std::map<std::pair<std::string, std::string>, SharedImage> mSharedImageMap;
    // How often each upper-cased name was "loaded" from the served images.
    std::map<std::string, int> mLoadCount;
    // Every CopyImage call: a memory image is copied whole, any other image is drawn
    // into a new memory image.
    std::vector<Image*> mCopyImageCalls;

public:
    TestApp();
    ~TestApp() override;

    // Serves image under name (any case) to GetSharedImage. The test keeps the image
    // alive through the shared pointer; cache entries only borrow it, so clean-up
    // never deletes a served image.
    void ServeImage(const std::string& name, std::shared_ptr<MemoryImage> image);

    // Removes the entries whose count is 0 when the dirty flag is set; clears the flag.
    void CleanSharedImages();

    void AddMemoryImage(MemoryImage* image) override;
    void RemoveMemoryImage(MemoryImage* image) override;
    void Remove3DData(MemoryImage* image) override;
    bool Is3DAccelerated() override;
    void Popup(const std::string& text, bool fatal) override;
    SharedImageRef GetSharedImage(const std::string& fileName, const std::string& variant,
                                  bool* isNew) override;
    MemoryImage* CopyImage(Image* image) override;

private:
    std::map<std::string, std::shared_ptr<MemoryImage>> mServed;
};

} // namespace Vaxo
