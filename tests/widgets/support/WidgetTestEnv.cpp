#include "widgets/support/WidgetTestEnv.h"

#include "app/VaxoAppBase.h"

namespace Vaxo
{

WidgetTestEnv::WidgetTestEnv(VaxoAppBase* app)
    : mOldUnsafeDeleteHandler(SetUnsafeDeleteHandler([](WidgetContainer*) {}))
{
    if (app != nullptr)
        mManager = app->mWidgetManager.get();
    else
    {
        mOwnManager = std::make_unique<WidgetManager>(nullptr);
        mManager = mOwnManager.get();
    }
    mManager->Resize(TRect<int>(0, 0, kWidth, kHeight), TRect<int>(0, 0, kWidth, kHeight));
    mScreen = std::make_unique<MemoryImage>(nullptr);
    mScreen->Create(kWidth, kHeight);
    mManager->mScreenImage = mScreen.get();
}

WidgetTestEnv::~WidgetTestEnv()
{
    for (auto& widget : mWidgets)
    {
        widget->mActions.clear();
        widget->mLog = nullptr;
    }
    for (auto& widget : mWidgets)
    {
        if (widget->mParent != nullptr)
            widget->mParent->RemoveWidget(widget.get());
    }
    while (!mManager->mPreModalInfoList.empty())
        mManager->RemoveBaseModal(mManager->mPreModalInfoList.back().mModalWidget);
    if (mManager->mScreenImage == mScreen.get())
        mManager->mScreenImage = nullptr;
    SetUnsafeDeleteHandler(mOldUnsafeDeleteHandler);
}

RecordingWidget* WidgetTestEnv::Add(const std::string& name, int x, int y, int width, int height,
                                    WidgetContainer* parent, bool attach)
{
    mWidgets.push_back(std::make_unique<RecordingWidget>(name, &mLog, x, y, width, height));
    RecordingWidget* widget = mWidgets.back().get();
    if (attach)
        (parent != nullptr ? parent : mManager)->AddWidget(widget);
    return widget;
}

RecordingWidget* WidgetTestEnv::operator[](const std::string& name) const
{
    for (auto& widget : mWidgets)
    {
        if (widget->mName == name)
            return widget.get();
    }
    return nullptr;
}

void Click(WidgetManager* manager, int x, int y, int clickCount)
{
    manager->MouseMove(x, y);
    manager->MouseDown(x, y, clickCount);
    manager->MouseUp(x, y, clickCount);
}

std::string Join(const std::vector<std::string>& words)
{
    std::string text;
    for (const std::string& word : words)
        text += (text.empty() ? "" : " ") + word;
    return text;
}

std::string WidgetTestEnv::DirtyNames() const
{
    std::string names;
    for (auto& widget : mWidgets)
    {
        if (widget->mDirty)
            names += (names.empty() ? "" : " ") + widget->mName;
    }
    return names;
}

void WidgetTestEnv::CleanAll()
{
    mManager->mDirty = false;
    for (auto& widget : mWidgets)
        widget->mDirty = false;
}

uint32_t WidgetTestEnv::Pixel(int x, int y)
{
    return mScreen->GetBits()[y * kWidth + x];
}

} // namespace Vaxo
