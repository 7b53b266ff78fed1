#include "graphics/support/TestApp.h"

#include "graphics/Graphics.h"
#include "graphics/MemoryImage.h"
#include "graphics/NativeDisplay.h"

#include <cctype>

namespace Vaxo
{

namespace
{
std::string ToUpper(const std::string& text)
{
    std::string result = text;
    for (char& c : result)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return result;
}
} // namespace

TestApp::TestApp() = default;

TestApp::~TestApp()
{
    // Entries only borrow served images; drop them before the served images go.
    mSharedImageMap.clear();
}

void TestApp::ServeImage(const std::string& name, std::shared_ptr<MemoryImage> image)
{
    mServed[ToUpper(name)] = std::move(image);
}

void TestApp::CleanSharedImages()
{
    ImageMutexLock lock(this);
    if (!mSharedImagesDirty)
        return;
    for (auto it = mSharedImageMap.begin(); it != mSharedImageMap.end();)
    {
        if (it->second.mRefCount == 0)
            it = mSharedImageMap.erase(it);
        else
            ++it;
    }
    mSharedImagesDirty = false;
}

void TestApp::AddMemoryImage(MemoryImage* image)
{
    ImageMutexLock lock(this);
    mMemoryImageSet.insert(image);
}

void TestApp::RemoveMemoryImage(MemoryImage* image)
{
    ImageMutexLock lock(this);
    mMemoryImageSet.erase(image);
    if (mDisplay != nullptr)
        mDisplay->Remove3DData(image);
}

void TestApp::Remove3DData(MemoryImage* image)
{
    if (mDisplay != nullptr)
        mDisplay->Remove3DData(image);
}

bool TestApp::Is3DAccelerated()
{
    return mDisplay != nullptr && mDisplay->mIs3D;
}

void TestApp::Popup(const std::string& text, bool fatal)
{
    mPopups.emplace_back(text, fatal);
}

SharedImageRef TestApp::GetSharedImage(const std::string& fileName, const std::string& variant, bool* isNew)
{
    std::pair<std::string, std::string> key(ToUpper(fileName), ToUpper(variant));
    SharedImageRef ref;
    bool created = false;
    {
        ImageMutexLock lock(this);
        auto it = mSharedImageMap.find(key);
        if (it == mSharedImageMap.end())
        {
            it = mSharedImageMap
                     .emplace(std::piecewise_construct, std::forward_as_tuple(key), std::forward_as_tuple())
                     .first;
            created = true;
        }
        ref = &it->second;
    }
    if (isNew != nullptr)
        *isNew = created;
    if (created)
    {
        auto served = mServed.find(key.first);
        if (served != mServed.end())
        {
            ref.mSharedImage->mImage = served->second.get();
            ImageMutexLock lock(this); // only to keep the count map whole across threads
            mLoadCount[key.first]++;
        }
    }
    return ref;
}

MemoryImage* TestApp::CopyImage(Image* image)
{
    mCopyImageCalls.push_back(image);
    if (auto* memoryImage = dynamic_cast<MemoryImage*>(image))
        return new MemoryImage(*memoryImage);
    // Any other image: drawn into a new one of its size, as the application does.
    auto* copy = new MemoryImage(this);
    copy->Create(image->GetWidth(), image->GetHeight());
    Graphics g(copy);
    g.DrawImage(image, 0, 0);
    copy->CopyAttributes(image);
    return copy;
}

} // namespace Vaxo
