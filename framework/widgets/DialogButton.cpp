#include "widgets/DialogButton.h"

#include "graphics/Font.h"
#include "graphics/Graphics.h"

namespace Vaxo
{

int gDialogButtonColors[6][3] = {
    {255, 255, 255}, {255, 255, 255}, {0, 0, 0}, {255, 255, 255}, {132, 132, 132}, {212, 212, 212},
};

DialogButton::DialogButton(Image* componentImage, int id, ButtonListener* listener)
    : ButtonWidget(id, listener), mComponentImage(componentImage), mTranslateX(1), mTranslateY(1),
      mLabelOffsetX(0), mLabelOffsetY(0)
{
    mShowsFinger = true;
    SetColors(gDialogButtonColors, 6);
}

DialogButton::~DialogButton() = default;

void DialogButton::DrawBox(Graphics* g, const TRect<int>& src, const TRect<int>& dest)
{
    g->DrawImageBox(src, dest, mComponentImage);
}

void DialogButton::Draw(Graphics* g)
{
    if (mNoDraw)
        return;
    if (mComponentImage == nullptr)
    {
        ButtonWidget::Draw(g);
        return;
    }
    if (!mLabel.empty())
        EnsureFont(12, 1);

    const bool down = IsButtonDown();
    const TRect<int> dest = mBoxRect.mWidth != 0 ? mBoxRect : TRect<int>(0, 0, mWidth, mHeight);
    if (mNormalRect.mWidth == 0)
    {
        // The whole image moves with the press.
        if (down)
            g->Translate(mTranslateX, mTranslateY);
        g->DrawImageBox(dest, mComponentImage);
    }
    else
    {
        if (mDisabled && mDisabledRect.mWidth > 0 && mDisabledRect.mHeight > 0)
            DrawBox(g, mDisabledRect, dest);
        else if (down)
            DrawBox(g, mDownRect, dest);
        else if (mHoverAlpha > 0.0)
        {
            if (mHoverAlpha < 1.0)
                DrawBox(g, mNormalRect, dest);
            g->SetColorizeImages(true);
            g->SetColor(Color(255, 255, 255, int(mHoverAlpha * 255.0)));
            DrawBox(g, mOverRect, dest);
            g->SetColorizeImages(false);
        }
        else
            DrawBox(g, mIsOver ? mOverRect : mNormalRect, dest);
        // Only the label moves with the press.
        if (down)
            g->Translate(mTranslateX, mTranslateY);
    }

    if (mFont != nullptr)
    {
        g->SetFont(mFont.get());
        g->SetColor(GetColor(mIsOver ? 1 : 0));
        const int ascent = mFont->GetAscent();
        const int x = (mWidth - mFont->StringWidth(mLabel)) / 2 + mLabelOffsetX;
        const int y = (mHeight + ascent - mFont->GetAscentPadding() - ascent / 6 - 1) / 2 + mLabelOffsetY;
        g->DrawString(mLabel, x, y);
    }
    if (down)
        g->Translate(-mTranslateX, -mTranslateY);
}

} // namespace Vaxo
