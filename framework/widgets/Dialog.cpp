#include "widgets/Dialog.h"

#include "app/VaxoAppBase.h"
#include "graphics/Font.h"
#include "graphics/Graphics.h"
#include "graphics/Image.h"
#include "graphics/SysFont.h"
#include "widgets/WidgetManager.h"
#include "widgets/WidgetRef.h"

#include <algorithm>

namespace Vaxo
{

VaxoString DIALOG_YES_STRING = "YES";
VaxoString DIALOG_NO_STRING = "NO";
VaxoString DIALOG_OK_STRING = "OK";
VaxoString DIALOG_CANCEL_STRING = "CANCEL";

int gDialogColors[7][3] = {
    {255, 255, 255}, {255, 255, 0}, {255, 255, 255}, {255, 255, 255},
    {255, 255, 255}, {80, 80, 80},  {255, 255, 255},
};

namespace
{
// How far a dragged dialog may leave the screen, and how close to its edges it is held.
constexpr int kDragMargin = 8;
// Gap above the footer and above the button row.
constexpr int kRowGap = 8;

bool IsDialogButtonId(int id)
{
    return id >= DIALOG_BUTTON_YES && id <= DIALOG_BUTTON_THIRD;
}
} // namespace

Dialog::Dialog(Image* componentImage, Image* buttonComponentImage, int id, bool isModal,
               const VaxoString& header, const VaxoString& lines, const VaxoString& footer, int buttonMode)
    : mDialogListener(gVaxoAppBase), mKeyForwardWidget(nullptr), mComponentImage(componentImage),
      mDialogHeader(header), mDialogFooter(footer), mDialogLines(lines), mButtonMode(buttonMode),
      mTextAlign(0), mLineSpacingOffset(0),
      mButtonHeight(buttonComponentImage != nullptr ? buttonComponentImage->GetHeight() : 24),
      mContentInsets(24, 24, 24, 24), mSpaceAfterHeader(10), mDragging(false), mDragMouseX(0), mDragMouseY(0),
      mId(id), mIsModal(isModal), mResult(kNoResult), mTextBottom(0), mButtonHorzSpacing(8),
      mButtonSidePadding(0)
{
    mTranslucent = true;
    mPriority = 1;
    mHasTransparentParts = true;

    if (buttonMode >= 1 && buttonMode <= 3)
    {
        mYesButton.reset(new DialogButton(buttonComponentImage, DIALOG_BUTTON_YES, this));
        if (buttonMode == 3)
            mYesButton->mLabel = footer;
        else
        {
            mNoButton.reset(new DialogButton(buttonComponentImage, DIALOG_BUTTON_NO, this));
            mYesButton->mLabel = buttonMode == 1 ? DIALOG_YES_STRING : DIALOG_OK_STRING;
            mNoButton->mLabel = buttonMode == 1 ? DIALOG_NO_STRING : DIALOG_CANCEL_STRING;
        }
    }
    // After the buttons: slots 3 and 4 pass on to them.
    SetColors(gDialogColors, 7);
    if (buttonComponentImage == nullptr)
    {
        // The drawn button face is light grey: dark labels.
        SetColor(3, Color::Black);
        SetColor(4, Color::Black);
    }
}

Dialog::~Dialog()
{
    if (mFinalResult != nullptr)
        *mFinalResult = mResult;
    // The buttons leave the manager and go with their handles.
}

template <typename F> void Dialog::ForEachButton(F f)
{
    if (mYesButton != nullptr)
        f(mYesButton.get());
    if (mNoButton != nullptr)
        f(mNoButton.get());
}

void Dialog::SetButtonFont(Font* font)
{
    ForEachButton([font](DialogButton* button) { button->SetFont(font); });
}

void Dialog::SetHeaderFont(Font* font)
{
    mHeaderFont.reset(font != nullptr ? font->Duplicate() : nullptr);
}

void Dialog::SetLinesFont(Font* font)
{
    mLinesFont.reset(font != nullptr ? font->Duplicate() : nullptr);
}

bool Dialog::IsModal()
{
    return mIsModal;
}

void Dialog::EnsureFonts()
{
    if (mHeaderFont == nullptr)
        mHeaderFont = std::make_unique<SysFont>(gVaxoAppBase, "Arial Unicode MS", 14, 0, false, false, false);
    if (mLinesFont == nullptr)
        mLinesFont = std::make_unique<SysFont>(gVaxoAppBase, "Arial Unicode MS", 12, 0, false, false, false);
}

void Dialog::SetColor(int index, const Color& color)
{
    Widget::SetColor(index, color);
    if (index == 3)
        ForEachButton([&color](DialogButton* button) { button->SetColor(0, color); });
    else if (index == 4)
        ForEachButton([&color](DialogButton* button) { button->SetColor(1, color); });
}

void Dialog::KeyChar(char c)
{
    if (Widget* target = mKeyForwardWidget)
        CallOut(target, [&] { target->KeyChar(c); });
}

// ---- Geometry and drawing --------------------------------------------------------------

int Dialog::GetPreferredHeight(int width)
{
    EnsureFonts();
    int height =
        mContentInsets.mTop + mContentInsets.mBottom + mBackgroundInsets.mTop + mBackgroundInsets.mBottom;
    bool any = false;
    if (!mDialogHeader.empty())
    {
        height += mHeaderFont->GetHeight() - mHeaderFont->GetAscentPadding();
        any = true;
    }
    if (!mDialogLines.empty())
    {
        if (any)
            height += mSpaceAfterHeader;
        Graphics measure;
        measure.SetFont(mLinesFont.get());
        const int textWidth = width - mContentInsets.mLeft - mContentInsets.mRight - mBackgroundInsets.mLeft -
                              mBackgroundInsets.mRight - 4;
        height += GetWordWrappedHeight(&measure, textWidth, mDialogLines,
                                       mLinesFont->GetLineSpacing() + mLineSpacingOffset);
        any = true;
    }
    if (!mDialogFooter.empty() && mButtonMode != 3)
    {
        if (any)
            height += kRowGap;
        height += mHeaderFont->GetLineSpacing();
        any = true;
    }
    if (mYesButton != nullptr)
    {
        if (any)
            height += kRowGap;
        height += mButtonHeight + kRowGap;
    }
    return height;
}

void Dialog::Draw(Graphics* g)
{
    EnsureFonts();
    const Insets& bg = mBackgroundInsets;
    const Insets& content = mContentInsets;
    if (mComponentImage != nullptr)
    {
        g->DrawImageBox(
            TRect<int>(bg.mLeft, bg.mTop, mWidth - bg.mLeft - bg.mRight, mHeight - bg.mTop - bg.mBottom),
            mComponentImage);
    }
    else
    {
        g->SetColor(GetColor(6, Color(gDialogColors[6])));
        g->DrawRect(12, 12, mWidth - 25, mHeight - 25);
        g->SetColor(GetColor(5, Color(gDialogColors[5])));
        g->FillRect(13, 13, mWidth - 26, mHeight - 26);
        // Drop shadow.
        g->SetColor(Color(0, 0, 0, 128));
        g->FillRect(mWidth - 12, 24, 12, mHeight - 36);
        g->FillRect(24, mHeight - 12, mWidth - 24, 12);
    }

    int y = content.mTop + bg.mTop;
    if (!mDialogHeader.empty())
    {
        const int baseline = y + mHeaderFont->GetAscent() - mHeaderFont->GetAscentPadding();
        g->SetFont(mHeaderFont.get());
        g->SetColor(GetColor(0));
        WriteCenteredLine(g, baseline, mDialogHeader);
        y = baseline + mHeaderFont->GetHeight() - mHeaderFont->GetAscent() + mSpaceAfterHeader;
    }

    g->SetFont(mLinesFont.get());
    g->SetColor(GetColor(1));
    const TRect<int> body(bg.mLeft + content.mLeft + 2, y,
                          mWidth - content.mLeft - content.mRight - bg.mLeft - bg.mRight - 4, 0);
    y += WriteWordWrapped(g, body, mDialogLines, mLinesFont->GetLineSpacing() + mLineSpacingOffset,
                          mTextAlign);

    if (!mDialogFooter.empty() && mButtonMode != 3)
    {
        y += kRowGap + mHeaderFont->GetLineSpacing();
        g->SetFont(mHeaderFont.get());
        g->SetColor(GetColor(2));
        WriteCenteredLine(g, y, mDialogFooter);
    }
    mTextBottom = y;
}

void Dialog::Resize(int x, int y, int width, int height)
{
    Widget::Resize(x, y, width, height);
    if (mYesButton == nullptr)
        return;
    const Insets& bg = mBackgroundInsets;
    const Insets& content = mContentInsets;
    const int rowWidth = width - content.mLeft - content.mRight - bg.mLeft - bg.mRight;
    const int top = y + height - content.mBottom - bg.mBottom - mButtonHeight;
    const int left = x + bg.mLeft + content.mLeft;
    if (mNoButton == nullptr)
    {
        mYesButton->Resize(left, top, rowWidth, mButtonHeight);
        return;
    }
    const int buttonWidth = (rowWidth - 2 * mButtonSidePadding - mButtonHorzSpacing) / 2;
    mYesButton->Resize(left + mButtonSidePadding, top, buttonWidth, mButtonHeight);
    mNoButton->Resize(mYesButton->mX + buttonWidth + mButtonHorzSpacing, top, buttonWidth, mButtonHeight);
}

void Dialog::Update()
{
    Widget::Update();
}

// ---- The buttons in the manager ------------------------------------------------------------

void Dialog::AddedToManager(WidgetManager* manager)
{
    // Its children's hooks may delete this widget.
    if (!CallOut(this, [&] { Widget::AddedToManager(manager); }))
        return;
    ForEachButton([manager](DialogButton* button) { manager->AddWidget(button); });
}

void Dialog::RemovedFromManager(WidgetManager* manager)
{
    // Its children's hooks may delete this widget.
    if (!CallOut(this, [&] { Widget::RemovedFromManager(manager); }))
        return;
    ForEachButton([manager](DialogButton* button) { manager->RemoveWidget(button); });
}

void Dialog::OrderInManagerChanged()
{
    Widget::OrderInManagerChanged();
    WidgetManager* manager = mWidgetManager;
    if (manager != nullptr)
        ForEachButton([manager, this](DialogButton* button) { manager->PutInfront(button, this); });
}

// ---- Answers -----------------------------------------------------------------------------

void Dialog::ButtonPress(int id)
{
    if (IsDialogButtonId(id) && mDialogListener != nullptr)
        CallOut(this, [&] { mDialogListener->DialogButtonPress(mId, id); });
}

void Dialog::ButtonDepress(int id)
{
    if (!IsDialogButtonId(id))
        return;
    mResult = id;
    if (mDialogListener != nullptr)
        CallOut(this, [&] { mDialogListener->DialogButtonDepress(mId, id); });
}

void Dialog::ButtonDownTick(int id)
{
    (void)id;
}

int Dialog::WaitForResult(bool autoKill)
{
    VaxoAppBase* app = gVaxoAppBase;
    if (app == nullptr)
        return mResult;
    const int id = mId;
    // A dialog of the application's table is over once it leaves the table; it may be
    // deleted soon after (or at once), so the dialog is read only while it still exists.
    const bool registered = app->GetDialog(id) == this;
    if (mFinalResult == nullptr)
        mFinalResult = std::make_shared<int32_t>(kNoResult);
    const std::shared_ptr<const int32_t> finalResult = mFinalResult;
    const WidgetRef<Dialog> self(this);
    auto waiting = [&]()
    {
        if (self.Gone() || (registered && app->GetDialog(id) != this))
            return false;
        return mWidgetManager != nullptr && mResult == kNoResult;
    };
    while (waiting() && app->UpdateAppStep(nullptr))
    {
    }
    // Killing a dialog that already left the table could kill another of the same id.
    if (autoKill && !self.Gone() && app->GetDialog(id) == this)
        app->KillDialog(id);
    return self.Gone() ? *finalResult : mResult;
}

// ---- Dragging ----------------------------------------------------------------------------

void Dialog::MouseDown(int x, int y, int button, int clickCount)
{
    // A single left click anywhere on the dialog starts a drag.
    if (button == 0 && clickCount == 1)
    {
        if (gVaxoAppBase != nullptr)
            gVaxoAppBase->SetCursor(CURSOR_DRAGGING);
        mDragging = true;
        mDragMouseX = x;
        mDragMouseY = y;
    }
    Widget::MouseDown(x, y, button, clickCount);
}

void Dialog::MouseDrag(int x, int y)
{
    if (!mDragging || mWidgetManager == nullptr)
        return;
    const int screenWidth = mWidgetManager->mWidth;
    const int screenHeight = mWidgetManager->mHeight;
    const int absX = x + mX;
    const int absY = y + mY;
    int newX = absX - mDragMouseX;
    int newY = absY - mDragMouseY;
    if (newX < -kDragMargin)
        newX = -kDragMargin;
    else if (newX + mWidth > screenWidth + kDragMargin)
        newX = screenWidth - mWidth + kDragMargin;
    if (newY < -kDragMargin)
        newY = -kDragMargin;
    else if (newY + mHeight > screenHeight + kDragMargin)
        newY = screenHeight - mHeight + kDragMargin;

    // The held point stays at least 8 pixels inside the dialog.
    mDragMouseX = std::min(std::max(absX - newX, kDragMargin), mWidth - kDragMargin - 1);
    mDragMouseY = std::min(std::max(absY - newY, kDragMargin), mHeight - kDragMargin - 1);
    Move(newX, newY);
}

void Dialog::MouseUp(int x, int y, int button, int clickCount)
{
    if (mDragging)
    {
        if (gVaxoAppBase != nullptr)
            gVaxoAppBase->SetCursor(CURSOR_POINTER);
        mDragging = false;
    }
    Widget::MouseUp(x, y, button, clickCount);
}

} // namespace Vaxo
