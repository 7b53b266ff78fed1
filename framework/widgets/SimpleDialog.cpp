#include "widgets/SimpleDialog.h"

#include "graphics/Font.h"
#include "graphics/Graphics.h"
#include "graphics/Image.h"
#include "widgets/WidgetManager.h"
#include "widgets/WidgetRef.h"

#include <algorithm>

namespace Vaxo
{

namespace
{
// Pixels the slide-in moves per update.
constexpr int kScrollStep = 20;
// Gap between the third button's row and the base buttons' row.
constexpr int kThirdButtonGap = 10;
// Side of the drawn check box.
constexpr int kDrawnBoxSize = 17;
} // namespace

// ---- SimpleDialog ------------------------------------------------------------------------

SimpleDialog::SimpleDialog(int id, bool isModal, const VaxoString& header, const VaxoString& lines,
                           const VaxoString& footer, int buttonMode)
    : Dialog(nullptr, nullptr, id, isModal, header, lines, footer, 0), mSkin(DialogSkin::mDefSkin),
      mScrollTargetY(0), mScrollState(0), mSwapThirdButton(false)
{
    if (mSkin == nullptr)
    {
        // Built before any skin was installed: the built-in look rather than a crash.
        mSkin = new DialogSkin();
        mSkin->DefInit();
    }
    mButtonMode = buttonMode;
    mComponentImage = mSkin->mDialogImage;
    SetupBaseButtons();
    if (mSkin->mDialogButtonImage != nullptr)
        mButtonHeight = mSkin->mDialogButtonImage->GetHeight() / 3;
    SetHeaderFont(mSkin->mHeaderFont);
    SetLinesFont(mSkin->mLinesFont);
    mContentInsets = Insets(24, 10, 24, 24);
    mSpaceAfterHeader = 20;
    SetColor(4, Color::Black);
    mSkin->DialogInit(this);
}

SimpleDialog::~SimpleDialog() = default;

void SimpleDialog::SetupBaseButtons()
{
    ButtonListener* listener = this;
    if (mButtonMode == 1 || mButtonMode == 2)
    {
        mYesButton.reset(mSkin->CreateDialogButton(DIALOG_BUTTON_YES, listener, nullptr));
        mNoButton.reset(mSkin->CreateDialogButton(DIALOG_BUTTON_NO, listener, nullptr));
        mYesButton->mLabel = mButtonMode == 1 ? DIALOG_YES_STRING : DIALOG_OK_STRING;
        mNoButton->mLabel = mButtonMode == 1 ? DIALOG_NO_STRING : DIALOG_CANCEL_STRING;
    }
    else if (mButtonMode == 3)
    {
        mYesButton.reset(mSkin->CreateDialogButton(DIALOG_BUTTON_YES, listener, nullptr));
        mYesButton->mLabel = mDialogFooter;
    }
}

void SimpleDialog::StaticInit()
{
    DialogSkin::StaticInit();
}

void SimpleDialog::StaticDestroy()
{
    DialogSkin::StaticDestroy();
}

void SimpleDialog::DoThirdButton(const VaxoString& label, bool swap)
{
    if (mYesButton == nullptr || mNoButton == nullptr || mThirdButton != nullptr)
        return;
    mThirdButton.reset(mSkin->CreateDialogButton(DIALOG_BUTTON_THIRD, this, label.c_str()));
    mSwapThirdButton = swap;
    if (mWidgetManager != nullptr)
        mWidgetManager->AddWidget(mThirdButton.get());
}

void SimpleDialog::Resize(int x, int y, int width, int height)
{
    Dialog::Resize(x, y, width, height);
    if (mThirdButton == nullptr || mYesButton == nullptr || mNoButton == nullptr)
        return;
    mThirdButton->Layout(LAYOUT_ALIGN_LEFT | LAYOUT_ABOVE | LAYOUT_SAME_HEIGHT, mYesButton.get(), 0,
                         -kThirdButtonGap, 0, 0);
    mThirdButton->Layout(LAYOUT_GROW_RIGHT, mNoButton.get(), 0, 0, 0, 0);
    if (mSwapThirdButton)
    {
        const int baseTop = mYesButton->mY;
        const int thirdTop = mThirdButton->mY;
        mThirdButton->mY = baseTop;
        mYesButton->mY = thirdTop;
        mNoButton->mY = thirdTop;
    }
}

int SimpleDialog::GetPreferredHeight(int width)
{
    const int height = Dialog::GetPreferredHeight(width);
    return mThirdButton != nullptr ? height + mButtonHeight + 16 : height;
}

void SimpleDialog::AddedToManager(WidgetManager* manager)
{
    if (!CallOut(this, [&] { Dialog::AddedToManager(manager); }))
        return;
    if (mThirdButton != nullptr)
        manager->AddWidget(mThirdButton.get());
}

void SimpleDialog::RemovedFromManager(WidgetManager* manager)
{
    if (!CallOut(this, [&] { Dialog::RemovedFromManager(manager); }))
        return;
    if (mThirdButton != nullptr)
        manager->RemoveWidget(mThirdButton.get());
}

void SimpleDialog::OrderInManagerChanged()
{
    Dialog::OrderInManagerChanged();
    if (mThirdButton != nullptr && mWidgetManager != nullptr)
        mWidgetManager->PutInfront(mThirdButton.get(), this);
}

void SimpleDialog::ScrollOn()
{
    // Started again while sliding: the place it slides to stays.
    if (mScrollState != 1)
        mScrollTargetY = mY;
    mScrollState = 1;
    Move(mX, -mHeight);
}

bool SimpleDialog::IsScrolling()
{
    return mScrollState != 0;
}

void SimpleDialog::Update()
{
    Dialog::Update();
    if (mSkinInst != nullptr && !CallOut(this, [&] { mSkinInst->Update(); }))
        return;
    if (mScrollState != 1)
        return;
    int top = mY + kScrollStep;
    if (top > mScrollTargetY)
    {
        top = mScrollTargetY;
        mScrollState = 0;
    }
    Move(mX, top);
}

void SimpleDialog::Draw(Graphics* g)
{
    Dialog::Draw(g);
    if (mSkinInst != nullptr)
        CallOut(this, [&] { mSkinInst->Draw(g); });
}

// ---- SimpleLabel -------------------------------------------------------------------------

SimpleLabel::SimpleLabel(Font* font, const VaxoString& text) : mFont(nullptr), mColor(Color::White)
{
    mMouseVisible = false;
    Init(text, font);
    mClipToBounds = false;
}

SimpleLabel::~SimpleLabel() = default;

void SimpleLabel::Init(const VaxoString& text, Font* font)
{
    if (font != nullptr)
        mFont = font;
    mLabel = text;
    mWidth = mFont != nullptr ? mFont->StringWidth(text) : 0;
    mHeight = mFont != nullptr ? mFont->GetHeight() : 0;
}

void SimpleLabel::Draw(Graphics* g)
{
    if (mFont == nullptr)
        return;
    g->SetFont(mFont);
    g->SetColor(mColor);
    g->DrawString(mLabel, 0, mFont->GetAscent());
}

// ---- SimpleCheckbox ----------------------------------------------------------------------

SimpleCheckbox::SimpleCheckbox(const VaxoString& label, int id, CheckboxListener* listener, Image* image)
    : Checkbox(image, nullptr, id, listener), mFont(nullptr), mLabel(label), mBoxWidth(kDrawnBoxSize),
      mBoxHeight(kDrawnBoxSize), mLabelGap(5), mLabelColor(Color::White)
{
    if (image != nullptr)
    {
        mBoxWidth = image->GetWidth();
        mBoxHeight = image->GetHeight() / 2;
        mCheckedRect = TRect<int>(0, 0, mBoxWidth, mBoxHeight);
        mUncheckedRect = TRect<int>(0, mBoxHeight, mBoxWidth, mBoxHeight);
    }
    if (DialogSkin::mDefSkin != nullptr)
        mFont = DialogSkin::mDefSkin->mLabelFont;
    const int labelWidth = mFont != nullptr ? mFont->StringWidth(label) : 0;
    const int fontHeight = mFont != nullptr ? mFont->GetHeight() : 0;
    Resize(mX, mY, mBoxWidth + mLabelGap + labelWidth, std::max(mBoxHeight, fontHeight));
}

SimpleCheckbox::~SimpleCheckbox() = default;

void SimpleCheckbox::Draw(Graphics* g)
{
    if (mUncheckedImage != nullptr)
        g->DrawImage(mUncheckedImage, 0, 0, mChecked ? mCheckedRect : mUncheckedRect);
    else
    {
        const int shift = (mHeight - mBoxHeight) / 2;
        g->Translate(0, shift);
        g->SetColor(mOutlineColor);
        g->FillRect(0, 0, mBoxWidth, mBoxHeight);
        g->SetColor(mBackgroundColor);
        g->FillRect(1, 1, mBoxWidth - 2, mBoxHeight - 2);
        if (mChecked)
        {
            g->SetColor(mCheckColor);
            g->DrawLine(1, 1, mBoxWidth - 2, mBoxHeight - 2);
            g->DrawLine(mBoxWidth - 2, 1, 1, mBoxHeight - 2);
        }
        g->Translate(0, -shift);
    }
    if (mFont == nullptr)
        return;
    g->SetColor(mLabelColor);
    g->SetFont(mFont);
    g->DrawString(mLabel, mLabelGap + mBoxWidth, (mHeight - mFont->GetHeight()) / 2 + mFont->GetAscent());
}

// ---- SimpleOverlayDraw -------------------------------------------------------------------

SimpleOverlayDraw::SimpleOverlayDraw(Widget* target) : mTarget(target)
{
    mClipToBounds = false;
}

SimpleOverlayDraw::~SimpleOverlayDraw() = default;

void SimpleOverlayDraw::Draw(Graphics* g)
{
    // Read first: the target's hook may delete this widget.
    const int x = mX;
    const int y = mY;
    g->Translate(-x, -y);
    if (Widget* target = mTarget)
        CallOut(target, [&] { target->DrawOverlay(g); });
    g->Translate(x, y);
}

} // namespace Vaxo
