#include "widgets/Checkbox.h"

#include "graphics/Graphics.h"
#include "widgets/WidgetRef.h"

namespace Vaxo
{

Checkbox::Checkbox(Image* uncheckedImage, Image* checkedImage, int id, CheckboxListener* listener)
    : mListener(listener), mId(id), mChecked(false), mUncheckedImage(uncheckedImage),
      mCheckedImage(checkedImage), mOutlineColor(Color::White), mBackgroundColor(80, 80, 80),
      mCheckColor(255, 255, 0)
{
    mShowsFinger = true;
}

Checkbox::~Checkbox() = default;

void Checkbox::SetChecked(bool checked, bool tell)
{
    mChecked = checked;
    MarkDirty();
    if (tell && mListener != nullptr)
        CallOut(this, [&] { mListener->CheckboxChecked(mId, checked); });
}

bool Checkbox::IsChecked()
{
    return mChecked;
}

void Checkbox::MouseDown(int x, int y, int clickCount)
{
    Widget::MouseDown(x, y, clickCount);
}

void Checkbox::MouseDown(int x, int y, int button, int clickCount)
{
    Widget::MouseDown(x, y, button, clickCount);
    mChecked = !mChecked;
    MarkDirty();
    if (mListener != nullptr)
        CallOut(this, [&] { mListener->CheckboxChecked(mId, mChecked); });
}

void Checkbox::Draw(Graphics* g)
{
    Widget::Draw(g);
    bool drawnLook = false;
    if (mCheckedRect.mWidth == 0)
    {
        if (mUncheckedImage != nullptr && mCheckedImage != nullptr)
            g->DrawImage(mChecked ? mCheckedImage : mUncheckedImage, 0, 0);
        else
            drawnLook = mUncheckedImage == nullptr && mCheckedImage == nullptr;
    }
    else if (mUncheckedImage != nullptr)
        g->DrawImage(mUncheckedImage, 0, 0, mChecked ? mCheckedRect : mUncheckedRect);
    else
        drawnLook = mCheckedImage == nullptr;
    if (!drawnLook)
        return;

    g->SetColor(mOutlineColor);
    g->FillRect(0, 0, mWidth, mHeight);
    g->SetColor(mBackgroundColor);
    g->FillRect(1, 1, mWidth - 2, mHeight - 2);
    if (mChecked)
    {
        g->SetColor(mCheckColor);
        g->DrawLine(1, 1, mWidth - 2, mHeight - 2);
        g->DrawLine(mWidth - 1, 1, 1, mHeight - 2);
    }
}

} // namespace Vaxo
