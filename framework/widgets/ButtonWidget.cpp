#include "widgets/ButtonWidget.h"

#include "app/VaxoAppBase.h"
#include "graphics/Font.h"
#include "graphics/Graphics.h"
#include "graphics/Image.h"
#include "graphics/SysFont.h"
#include "widgets/WidgetManager.h"
#include "widgets/WidgetRef.h"

#include <algorithm>
#include <memory>

namespace Vaxo
{

int gButtonWidgetColors[6][3] = {
    {0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {255, 255, 255}, {132, 132, 132}, {212, 212, 212},
};

ButtonWidget::ButtonWidget(int id, ButtonListener* listener)
    : mId(id), mLabelJustify(0), mButtonImage(nullptr), mOverImage(nullptr), mDownImage(nullptr),
      mDisabledImage(nullptr), mInverted(false), mNoDraw(false), mNoFrame(false), mListener(listener),
      mClickSoundId(-1), mHoverAlpha(0.0), mHoverFadeOutSpeed(0.0), mHoverFadeInSpeed(0.0)
{
    mTranslucent = true;
    SetColors(gButtonWidgetColors, 6);
}

ButtonWidget::~ButtonWidget() = default;

bool ButtonWidget::HaveButtonImage(Image* image, const TRect<int>& rect)
{
    return image != nullptr || rect.mWidth != 0;
}

bool ButtonWidget::HoverChangesLook()
{
    return mIsDown || HaveButtonImage(mOverImage, mOverRect) || GetColor(1) != GetColor(0);
}

void ButtonWidget::SetButtonTextColor(Graphics* g)
{
    if (!mIsOver)
        g->SetColor(GetColor(0));
    else if (mIsDown && mColors.size() > 6)
        g->SetColor(GetColor(6));
    else
        g->SetColor(GetColor(1));
}

void ButtonWidget::SetFont(Font* font)
{
    mFont.reset(font != nullptr ? font->Duplicate() : nullptr);
}

bool ButtonWidget::IsButtonDown()
{
    return mIsDown && mIsOver && !mDisabled;
}

void ButtonWidget::SetDisabled(bool disabled)
{
    // Enabling re-checks the hover, and the enter hook's listener may delete the button.
    if (CallOut(this, [&] { Widget::SetDisabled(disabled); }) &&
        HaveButtonImage(mDisabledImage, mDisabledRect))
        MarkDirty();
}

void ButtonWidget::EnsureFont(int pointSize, int script)
{
    if (mFont != nullptr)
        return;
    VaxoAppBase* app = mWidgetManager != nullptr ? mWidgetManager->mApp : nullptr;
    mFont = std::make_unique<SysFont>(app, "Arial Unicode MS", pointSize, script, false, false, false);
}

// ---- Mouse and updates: the listener is told last ------------------------------------

void ButtonWidget::MouseDown(int x, int y, int clickCount)
{
    Widget::MouseDown(x, y, clickCount);
}

void ButtonWidget::MouseDown(int x, int y, int button, int clickCount)
{
    Widget::MouseDown(x, y, button, clickCount);
    if (mClickSoundId >= 0 && gVaxoAppBase != nullptr)
        gVaxoAppBase->PlaySample(mClickSoundId);
    MarkDirty();
    CallOut(this, [&] { mListener->ButtonPress(mId, clickCount); });
}

void ButtonWidget::MouseUp(int x, int y)
{
    Widget::MouseUp(x, y);
}

void ButtonWidget::MouseUp(int x, int y, int clickCount)
{
    Widget::MouseUp(x, y, clickCount);
}

void ButtonWidget::MouseUp(int x, int y, int button, int clickCount)
{
    Widget::MouseUp(x, y, button, clickCount);
    // A release away from the button, or while the window has no focus, cancels the click.
    const bool depress = mIsOver && mWidgetManager != nullptr && mWidgetManager->mAppHasFocus;
    MarkDirty();
    if (depress)
        CallOut(this, [&] { mListener->ButtonDepress(mId); });
}

void ButtonWidget::MouseMove(int x, int y)
{
    Widget::MouseMove(x, y);
    CallOut(this, [&] { mListener->ButtonMouseMove(mId, x, y); });
}

void ButtonWidget::MouseEnter()
{
    Widget::MouseEnter();
    if (mHoverFadeInSpeed == 0.0 && mHoverAlpha > 0.0)
        mHoverAlpha = 0.0;
    if (HoverChangesLook())
        MarkDirty();
    CallOut(this, [&] { mListener->ButtonMouseEnter(mId); });
}

void ButtonWidget::MouseLeave()
{
    Widget::MouseLeave();
    if (mHoverFadeOutSpeed == 0.0 && mHoverAlpha > 0.0)
        mHoverAlpha = 0.0;
    else if (mHoverFadeOutSpeed > 0.0 && mHoverAlpha == 0.0)
        mHoverAlpha = 1.0; // the fade-out starts from full even without a fade-in
    if (HoverChangesLook())
        MarkDirty();
    CallOut(this, [&] { mListener->ButtonMouseLeave(mId); });
}

void ButtonWidget::Update()
{
    Widget::Update();
    const bool tick = mIsDown && mIsOver;
    if (!mIsDown && !mIsOver)
    {
        if (mHoverAlpha > 0.0)
        {
            mHoverAlpha = mHoverFadeOutSpeed > 0.0 ? std::max(mHoverAlpha - mHoverFadeOutSpeed, 0.0) : 0.0;
            MarkDirty();
        }
    }
    else if (mIsOver && mHoverFadeInSpeed > 0.0 && mHoverAlpha < 1.0)
    {
        mHoverAlpha = std::min(mHoverAlpha + mHoverFadeInSpeed, 1.0);
        MarkDirty();
    }
    // Ticks only while the mouse stays on the held button.
    if (tick)
        CallOut(this, [&] { mListener->ButtonDownTick(mId); });
}

// ---- Drawing -------------------------------------------------------------------------

void ButtonWidget::DrawButtonImage(Graphics* g, Image* image, const TRect<int>& rect, int x, int y)
{
    if (rect.mWidth == 0)
    {
        if (image != nullptr)
            g->DrawImage(image, x, y);
    }
    else if (mButtonImage != nullptr)
        g->DrawImage(mButtonImage, x, y, rect);
}

void ButtonWidget::Draw(Graphics* g)
{
    if (mNoDraw)
        return;
    if (!mLabel.empty())
        EnsureFont(10, 0);
    const bool pressed = (mIsDown && mIsOver && !mDisabled) != mInverted;

    int labelX = 0;
    int labelY = 0;
    if (mFont != nullptr)
    {
        const int width = mFont->StringWidth(mLabel);
        if (mLabelJustify == 0)
            labelX = (mWidth - width) / 2;
        else if (mLabelJustify == 1)
            labelX = mWidth - width;
        const int ascent = mFont->GetAscent();
        labelY = (mHeight + ascent - ascent / 6 - 1) / 2;
    }
    g->SetFont(mFont.get());

    if (mButtonImage == nullptr && mDownImage == nullptr)
    {
        if (!mNoFrame)
        {
            // Light edges top left and dark bottom right at rest; swapped while pressed.
            const Color& topLeft = GetColor(pressed ? 2 : 3);
            const Color& bottomRight = GetColor(pressed ? 3 : 2);
            g->SetColor(GetColor(5));
            g->FillRect(0, 0, mWidth, mHeight);
            g->SetColor(topLeft);
            g->FillRect(0, 0, mWidth - 1, 1);
            g->FillRect(0, 0, 1, mHeight - 1);
            g->SetColor(bottomRight);
            g->FillRect(0, mHeight - 1, mWidth, 1);
            g->FillRect(mWidth - 1, 0, 1, mHeight);
            g->SetColor(GetColor(4));
            if (pressed)
            {
                g->FillRect(1, 1, mWidth - 3, 1);
                g->FillRect(1, 1, 1, mHeight - 3);
            }
            else
            {
                g->FillRect(1, mHeight - 2, mWidth - 2, 1);
                g->FillRect(mWidth - 2, 1, 1, mHeight - 2);
            }
        }
    }
    else if (pressed)
    {
        if (HaveButtonImage(mDownImage, mDownRect))
            DrawButtonImage(g, mDownImage, mDownRect, 0, 0);
        else if (HaveButtonImage(mOverImage, mOverRect))
            DrawButtonImage(g, mOverImage, mOverRect, 1, 1);
        else if (HaveButtonImage(mButtonImage, mNormalRect))
            DrawButtonImage(g, mButtonImage, mNormalRect, 1, 1);
    }
    else if (mDisabled && HaveButtonImage(mDisabledImage, mDisabledRect))
        DrawButtonImage(g, mDisabledImage, mDisabledRect, 0, 0);
    else if (mHoverAlpha > 0.0 && HaveButtonImage(mOverImage, mOverRect))
    {
        if (mHoverAlpha < 1.0 && HaveButtonImage(mButtonImage, mNormalRect))
            DrawButtonImage(g, mButtonImage, mNormalRect, 0, 0);
        g->SetColorizeImages(true);
        g->SetColor(Color(255, 255, 255, int(mHoverAlpha * 255.0)));
        DrawButtonImage(g, mOverImage, mOverRect, 0, 0);
        g->SetColorizeImages(false);
    }
    else if ((mIsOver || mIsDown) && HaveButtonImage(mOverImage, mOverRect))
        DrawButtonImage(g, mOverImage, mOverRect, 0, 0);
    else if (HaveButtonImage(mButtonImage, mNormalRect))
        DrawButtonImage(g, mButtonImage, mNormalRect, 0, 0);

    const int shift = pressed ? 1 : 0;
    SetButtonTextColor(g);
    g->DrawString(mLabel, labelX + shift, labelY + shift);
}

} // namespace Vaxo
