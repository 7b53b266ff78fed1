#include "widgets/ListDialog.h"

#include "graphics/Font.h"
#include "graphics/Graphics.h"

namespace Vaxo
{

namespace
{
constexpr int kScrollbarWidth = 16;
} // namespace

ListDialog::ListDialog(int id, bool isModal, const VaxoString& header, const VaxoString& lines,
                       const VaxoString& footer, int buttonMode)
    : SimpleDialog(id, isModal, header, lines, footer, buttonMode), mListBottomMargin(100)
{
    mListWidget.reset(mSkin->CreateListBox(0, this));
    if (mListWidget == nullptr)
        mListWidget.reset(new ListWidget(0, mSkin->mLabelFont, this));
    mScrollbar.reset(new ScrollbarWidget(0, mListWidget.get()));
    mListWidget->mScrollbar = mScrollbar.get();
    if (mSkin->mInnerWindowImage != nullptr)
        mListWidget->mDrawOutline = false;
    mScrollbar->SetInvisIfNoScroll(true);
    mOverlayDraw.reset(new SimpleOverlayDraw(this));
    AddWidget(mListWidget.get());
    AddWidget(mScrollbar.get());
    AddWidget(mOverlayDraw.get());
}

ListDialog::~ListDialog()
{
    RemoveAllWidgets(true);
}

void ListDialog::Resize(int x, int y, int width, int height)
{
    SimpleDialog::Resize(x, y, width, height);
    if (mListWidget == nullptr || mScrollbar == nullptr)
        return;
    EnsureFonts();
    const Insets& content = mContentInsets;
    const int headerBottom = content.mTop + mHeaderFont->GetHeight() + mSpaceAfterHeader;
    const int listLeft = (content.mLeft + content.mRight) / 2 + mListInsets.mLeft;
    const int listTop = headerBottom + mListInsets.mTop;
    const int listHeight = height - mListBottomMargin - headerBottom + mListInsets.mBottom - mListInsets.mTop;
    int listWidth = 0;
    // A new height may show or hide the scroll bar: the list is then laid out again for it.
    for (int pass = 0; pass < 2; pass++)
    {
        const bool withScrollbar = mScrollbar->mVisible;
        listWidth = (width - content.mLeft - content.mRight) - (withScrollbar ? kScrollbarWidth : 0) +
                    mListInsets.mRight - mListInsets.mLeft;
        mListWidget->Resize(listLeft, listTop, listWidth, listHeight);
        if (mScrollbar->mVisible == withScrollbar)
            break;
    }
    if (mScrollbar->mVisible)
        mScrollbar->ResizeScrollbar(listLeft + listWidth, listTop, kScrollbarWidth, listHeight);
}

void ListDialog::Draw(Graphics* g)
{
    SimpleDialog::Draw(g);
}

void ListDialog::DrawOverlay(Graphics* g)
{
    Image* frame = mSkin->mInnerWindowImage;
    if (frame == nullptr || mListWidget == nullptr || mScrollbar == nullptr)
        return;
    TRect<int> rect = mListWidget->GetRect();
    if (mScrollbar->mVisible)
        rect.mWidth = mScrollbar->mX + mScrollbar->mWidth - rect.mX;
    const Insets& insets = mSkin->mInnerWindowInsets;
    rect.mX += insets.mLeft;
    rect.mY += insets.mTop;
    rect.mWidth += insets.mRight - insets.mLeft;
    rect.mHeight += insets.mBottom - insets.mTop;
    g->DrawImageBox(rect, frame);
}

int ListDialog::GetPreferredHeight(int width)
{
    return SimpleDialog::GetPreferredHeight(width);
}

void ListDialog::ListClicked(int id, int index, int clickCount)
{
    (void)id;
    mListWidget->SetSelect(index);
    if (clickCount == 2)
        ButtonDepress(DIALOG_BUTTON_YES);
}

void ListDialog::SetPosition(double position)
{
    mScrollbar->SetValue(position);
}

VaxoString ListDialog::GetSelItem()
{
    const int index = mListWidget->mSelectIdx;
    if (index < 0 || index >= int(mListWidget->mLines.size()))
        return VaxoString();
    return mListWidget->mLines[size_t(index)];
}

bool ListDialog::SetSelect(const VaxoString& name)
{
    const std::vector<std::string>& lines = mListWidget->mLines;
    for (size_t i = 0; i < lines.size(); i++)
    {
        if (stricmp(lines[i].c_str(), name.c_str()) == 0)
        {
            mListWidget->SetSelect(int(i));
            EnsureSelectionVisible();
            return true;
        }
    }
    return false;
}

void ListDialog::EnsureSelectionVisible()
{
    const int selected = mListWidget->mSelectIdx;
    if (selected >= 0)
        mScrollbar->SetValue(selected - 0.5 * mListWidget->mPageSize);
}

void ListDialog::CheckShowScrollbar()
{
    Resize(mX, mY, mWidth, mHeight);
}

} // namespace Vaxo
