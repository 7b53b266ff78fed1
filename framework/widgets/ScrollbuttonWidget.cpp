#include "widgets/ScrollbuttonWidget.h"

#include "graphics/Graphics.h"

namespace Vaxo
{

namespace
{
const Color kFace(212, 212, 212);
const Color kShadow(132, 132, 132);
} // namespace

ScrollbuttonWidget::ScrollbuttonWidget(int id, ButtonListener* listener, int arrowType)
    : ButtonWidget(id, listener), mHorizontal(false), mArrowType(arrowType)
{
}

ScrollbuttonWidget::~ScrollbuttonWidget() = default;

void ScrollbuttonWidget::Draw(Graphics* g)
{
    const int w = mWidth;
    const int h = mHeight;
    g->SetColor(kFace);
    g->FillRect(0, 0, w, h);

    int d = 0;
    if (mIsDown && mIsOver && !mDisabled)
    {
        g->SetColor(kShadow);
        g->DrawRect(0, 0, w - 1, h - 1);
        d = 1;
    }
    else
    {
        g->SetColor(Color::White);
        g->FillRect(1, 1, w - 2, 1);
        g->FillRect(1, 1, 1, h - 2);
        g->SetColor(Color::Black);
        g->FillRect(0, h - 1, w, 1);
        g->FillRect(w - 1, 0, 1, h);
        g->SetColor(kShadow);
        g->FillRect(1, h - 2, w - 2, 1);
        g->FillRect(w - 2, 1, 1, h - 2);
    }

    g->SetColor(mDisabled ? kShadow : Color::Black);
    const bool sideways = mHorizontal || mArrowType == 3 || mArrowType == 4;
    // Four spans of 1, 3, 5 and 7 pixels, the shortest at the tip.
    for (int i = 0; i < 4; ++i)
    {
        const int span = 2 * i + 1;
        if (!sideways)
        {
            const bool up = mId == 0 || mArrowType == 1;
            const int y = up ? (h - 4) / 2 + i + d : (h - 4) / 2 - i + d + 3;
            g->FillRect(w / 2 - i + d - 1, y, span, 1);
        }
        else
        {
            const bool left = mId == 0 || mArrowType == 3;
            const int x = left ? (w - 4) / 2 + i + d : (w - 4) / 2 - i + d + 3;
            g->FillRect(x, h / 2 - i + d - 1, 1, span);
        }
    }
}

} // namespace Vaxo
