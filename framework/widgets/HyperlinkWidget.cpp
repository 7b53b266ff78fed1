#include "widgets/HyperlinkWidget.h"

#include "graphics/Font.h"
#include "graphics/Graphics.h"

namespace Vaxo
{

HyperlinkWidget::HyperlinkWidget(int id, ButtonListener* listener)
    : ButtonWidget(id, listener), mLinkColor(255, 255, 255), mLinkOverColor(255, 255, 255),
      mUnderlineThickness(1), mUnderlineOffset(3)
{
    mShowsFinger = true;
}

HyperlinkWidget::~HyperlinkWidget() = default;

void HyperlinkWidget::Draw(Graphics* g)
{
    // A link always has a font, label or not.
    EnsureFont(10, 0);
    const int width = mFont->StringWidth(mLabel);
    const int x = (mWidth - width) / 2;
    const int y = (mHeight + mFont->GetAscent()) / 2 - 1;
    g->SetColor(mIsOver ? mLinkOverColor : mLinkColor);
    g->SetFont(mFont.get());
    g->DrawString(mLabel, x, y);
    for (int i = 0; i < mUnderlineThickness; ++i)
        g->FillRect(x, y + mUnderlineOffset + i, width, 1);
}

// The whole link is redrawn: its colour changes with the hover. Marked before the
// base class tells the listener, which may delete the link.
void HyperlinkWidget::MouseEnter()
{
    MarkDirtyFull();
    ButtonWidget::MouseEnter();
}

void HyperlinkWidget::MouseLeave()
{
    MarkDirtyFull();
    ButtonWidget::MouseLeave();
}

} // namespace Vaxo
