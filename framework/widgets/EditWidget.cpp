#include "widgets/EditWidget.h"

#include "app/VaxoAppBase.h"
#include "graphics/Font.h"
#include "graphics/Graphics.h"
#include "graphics/SysFont.h"
#include "widgets/EditListener.h"
#include "widgets/WidgetManager.h"
#include "widgets/WidgetRef.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <utility>

namespace Vaxo
{

int gEditWidgetColors[5][3] = {{255, 255, 255}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {255, 255, 255}};

namespace
{

// Text starts this many pixels in from the left edge and keeps as much free on the right.
const int kTextInset = 4;
// Caret bar width in pixels.
const int kCaretWidth = 2;
// Characters FocusCursor scrolls by for keys.
const int kBigJump = 10;

const char kCopyChar = 3;
const char kPasteChar = 22;
const char kCutChar = 24;
const char kUndoChar = 26;

} // namespace

EditWidget::EditWidget(int id, EditListener* listener)
    : mId(id), mEditListener(listener), mCaretShown(false), mShowSelectionAlways(false),
      mDoubleClicked(false), mCursorPos(0), mHilitePos(-1), mBlinkCount(0), mBlinkDelay(40), mLeftPos(0),
      mMaxChars(-1), mMaxPixels(-1), mPasswordChar(0), mUndoCursor(0), mUndoHilite(0), mLastModifyPos(0)
{
    SetColors(gEditWidgetColors, 5);
}

EditWidget::~EditWidget() = default;

// ---- Fonts, text and measures -----------------------------------------------------------

void EditWidget::SetFont(Font* font, Font* widthCheckFont)
{
    // Duplicated before the old fonts go: either may be one of them.
    std::unique_ptr<Font> check(widthCheckFont != nullptr ? widthCheckFont->Duplicate() : nullptr);
    mFont.reset(font != nullptr ? font->Duplicate() : nullptr);
    ClearWidthCheckFonts();
    if (check != nullptr)
        mWidthChecks.push_back(WidthCheck{std::move(check), -1});
}

void EditWidget::AddWidthCheckFont(Font* font, int maxPixels)
{
    mWidthChecks.push_back(WidthCheck{std::unique_ptr<Font>(font->Duplicate()), maxPixels});
}

void EditWidget::ClearWidthCheckFonts()
{
    mWidthChecks.clear();
}

Font* EditWidget::GetFont()
{
    // The system font measures nothing on this platform, but a field without a font
    // must still measure, hit-test and draw without faulting.
    if (mFont == nullptr)
        mFont = std::make_unique<SysFont>(gVaxoAppBase, "Arial Unicode MS", 10, 0, false, false, false);
    return mFont.get();
}

void EditWidget::SetText(const VaxoString& text, bool leftPosToZero)
{
    mString = text;
    mCursorPos = static_cast<int>(mString.size());
    mHilitePos = 0;
    if (leftPosToZero)
        mLeftPos = 0;
    else
        FocusCursor(true);
    MarkDirty();
}

const VaxoString& EditWidget::GetDisplayString()
{
    if (mPasswordChar == 0)
        return mString;
    // Rebuilt on a new password character too, not only on a new length.
    if (mPasswordDisplay.size() != mString.size() ||
        (!mPasswordDisplay.empty() && mPasswordDisplay[0] != mPasswordChar))
        mPasswordDisplay.assign(mString.size(), mPasswordChar);
    return mPasswordDisplay;
}

void EditWidget::UpdateCaretPos() {}

bool EditWidget::IsPartOfWord(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

int EditWidget::TextWidth(int n)
{
    const VaxoString& text = GetDisplayString();
    n = std::clamp(n, 0, static_cast<int>(text.size()));
    return GetFont()->StringWidth(text.substr(0, n));
}

void EditWidget::TrimToWidth(Font* font, int limit)
{
    while (!mString.empty() && font->StringWidth(mString) > limit)
        mString.pop_back();
}

bool EditWidget::FitsWidths()
{
    if (mWidthChecks.empty())
        return mMaxPixels <= 0 || GetFont()->StringWidth(mString) <= mMaxPixels;
    for (WidthCheck& check : mWidthChecks)
    {
        const int limit = check.mMaxWidth > 0 ? check.mMaxWidth : mMaxPixels;
        if (limit > 0 && check.mCheckFont->StringWidth(mString) > limit)
            return false;
    }
    return true;
}

void EditWidget::DropUnfittingInput(int inserted)
{
    inserted = std::min(inserted, mCursorPos);
    const int length = static_cast<int>(mString.size());
    if (mMaxChars >= 0 && length > mMaxChars)
    {
        const int excess = std::min(inserted, length - mMaxChars);
        mString.erase(mCursorPos - excess, excess);
        mCursorPos -= excess;
        inserted -= excess;
    }
    for (; inserted > 0 && !FitsWidths(); --inserted)
        mString.erase(--mCursorPos, 1);
}

void EditWidget::EnforceMaxPixels()
{
    if (mWidthChecks.empty())
    {
        if (mMaxPixels > 0)
            TrimToWidth(GetFont(), mMaxPixels);
        return;
    }
    for (WidthCheck& check : mWidthChecks)
    {
        const int limit = check.mMaxWidth > 0 ? check.mMaxWidth : mMaxPixels;
        if (limit > 0)
            TrimToWidth(check.mCheckFont.get(), limit);
    }
}

void EditWidget::FocusCursor(bool bigJump)
{
    const int step = bigJump ? kBigJump : 1;
    while (mCursorPos < mLeftPos && mLeftPos > 0)
    {
        mLeftPos = std::max(0, mLeftPos - step);
        MarkDirty();
    }
    if (mFont == nullptr)
        return;
    const int usable = mWidth - 2 * kTextInset;
    // mLeftPos stops at the caret and at the last character: when one character is
    // wider than the field it stays in front of it instead of chasing the caret forever.
    const int last = std::min(mCursorPos, static_cast<int>(mString.size()) - 1);
    const int caretX = TextWidth(mCursorPos);
    while (usable > 0 && mLeftPos < last && caretX - TextWidth(mLeftPos) >= usable)
    {
        mLeftPos = std::min(last, mLeftPos + step);
        MarkDirty();
    }
}

int EditWidget::GetCharAt(int x, int y)
{
    (void)y;
    const VaxoString& text = GetDisplayString();
    Font* font = GetFont();
    const int length = static_cast<int>(text.size());
    const int first = std::clamp(mLeftPos, 0, length);
    // Left of the middle of the first visible character: the start of the text, so that a
    // drag to the left edge scrolls the hidden start back into view.
    int result = 0;
    int lo = 0;
    for (int i = first; i < length; ++i)
    {
        const int hi = font->StringWidth(text.substr(first, i + 1 - first));
        // Past the middle of character i: the caret goes after it. Widths only grow, so
        // the first character whose middle lies right of x ends the search.
        if ((lo + hi) / 2 + 5 > x)
            break;
        result = i + 1;
        lo = hi;
    }
    return result;
}

void EditWidget::HiliteWord()
{
    const VaxoString& text = GetDisplayString();
    const int length = static_cast<int>(text.size());
    if (mCursorPos < 0 || mCursorPos >= length)
        return;
    mHilitePos = mCursorPos;
    while (mHilitePos > 0 && IsPartOfWord(text[mHilitePos - 1]))
        --mHilitePos;
    while (mCursorPos < length - 1 && IsPartOfWord(text[mCursorPos + 1]))
        ++mCursorPos;
    if (mCursorPos < length)
        ++mCursorPos;
}

// ---- Selection helpers --------------------------------------------------------------------

bool EditWidget::HasSelection() const
{
    return mHilitePos != -1 && mHilitePos != mCursorPos;
}

void EditWidget::GetSelection(int* lo, int* hi) const
{
    const int length = static_cast<int>(mString.size());
    *lo = std::clamp(std::min(mCursorPos, mHilitePos), 0, length);
    *hi = std::clamp(std::max(mCursorPos, mHilitePos), 0, length);
}

void EditWidget::DeleteSelection()
{
    int lo, hi;
    GetSelection(&lo, &hi);
    mString.erase(lo, hi - lo);
    mCursorPos = lo;
    mHilitePos = -1;
}

bool EditWidget::IsKeyHeld(KeyCode key)
{
    return mWidgetManager != nullptr && mWidgetManager->mKeyDown[key];
}

bool EditWidget::AcceptsChar(char c)
{
    const int code = static_cast<unsigned char>(c);
    const bool extended = gVaxoAppBase == nullptr || gVaxoAppBase->mAllowExtendedChars;
    // 127 is what SDL sends with the Delete key: a control code, not a character.
    if (code < 32 || code == 127 || (code > 127 && !extended))
        return false;
    return GetFont()->StringWidth(std::string(1, c)) >= 1 && ListenerAllowsChar(c);
}

// ---- Keys -----------------------------------------------------------------------------

void EditWidget::KeyChar(char c)
{
    if (ListenerAllowsRawChar(c))
        ProcessKey(KEYCODE_UNKNOWN, c);
}

void EditWidget::KeyDown(KeyCode key)
{
    if (!ListenerAllowsRawKey(key))
        return;
    // 'A' to 'Y' also arrive as characters ('Z' is left to reach ProcessKey).
    const bool letter = key >= 65 && key <= 89;
    // Return is reported last: its listener may remove and delete this field.
    if (!letter && ListenerAllowsKey(key) && !CallOut(this, [&] { ProcessKey(key, 0); }))
        return;
    Widget::KeyDown(key);
}

void EditWidget::ProcessKey(KeyCode key, char c)
{
    if (key == KEYCODE_SHIFT || key == KEYCODE_CONTROL)
        return;
    const bool shift = IsKeyHeld(KEYCODE_SHIFT);
    const bool control = IsKeyHeld(KEYCODE_CONTROL);
    // Callers may have set the caret or anchor directly.
    const int length = static_cast<int>(mString.size());
    mCursorPos = std::clamp(mCursorPos, 0, length);
    if (mHilitePos != -1)
        mHilitePos = std::clamp(mHilitePos, 0, length);
    if (shift && mHilitePos == -1)
        mHilitePos = mCursorPos;

    const Snapshot before = TakeSnapshot();
    const KeyResult result = ApplyKey(key, c, shift, control);
    FinishKey(before, result, shift);

    if (result.mReturn && mEditListener != nullptr)
        CallOut(this, [&] { mEditListener->EditWidgetText(mId, mString); });
}

EditWidget::Snapshot EditWidget::TakeSnapshot() const
{
    return Snapshot{mString,     mCursorPos,  mHilitePos,  mLeftPos,
                    mUndoString, mUndoCursor, mUndoHilite, mLastModifyPos};
}

void EditWidget::Restore(const Snapshot& snapshot)
{
    mString = snapshot.mString;
    mCursorPos = snapshot.mCursorPos;
    mHilitePos = snapshot.mHilitePos;
    mLeftPos = snapshot.mLeftPos;
    mUndoString = snapshot.mUndoString;
    mUndoCursor = snapshot.mUndoCursor;
    mUndoHilite = snapshot.mUndoHilite;
    mLastModifyPos = snapshot.mLastModifyPos;
}

void EditWidget::FinishKey(const Snapshot& before, const KeyResult& result, bool shift)
{
    // Typing or pasting into a full field keeps the text after the caret: what does not
    // fit of the input goes first.
    DropUnfittingInput(result.mInserted);
    if (mMaxChars >= 0 && static_cast<int>(mString.size()) > mMaxChars)
        mString.resize(mMaxChars);
    EnforceMaxPixels();
    const int length = static_cast<int>(mString.size());
    mCursorPos = std::clamp(mCursorPos, 0, length);
    // A cut text must not leave the anchor past its end.
    if (mHilitePos != -1)
        mHilitePos = std::clamp(mHilitePos, 0, length);
    if (mCursorPos != before.mCursorPos)
    {
        mCaretShown = true;
        mBlinkCount = 0;
    }
    FocusCursor(true);
    // Shift keeps the selection it extends.
    if ((result.mClearAtEnd && !shift) || mHilitePos == mCursorPos)
        mHilitePos = -1;

    // Input dropped whole changed nothing: the last undo point stays.
    const bool undoPoint = result.mUndoPoint && !(result.mInserted > 0 && mString == before.mString);
    // A refused text leaves everything as before the key, the undo point included.
    if (!ListenerAllowsText(mString))
        Restore(before);
    else if (undoPoint)
    {
        mUndoString = before.mString;
        mUndoCursor = before.mCursorPos;
        mUndoHilite = before.mHilitePos;
    }
    MarkDirty();
}

EditWidget::KeyResult EditWidget::ApplyKey(KeyCode key, char c, bool shift, bool control)
{
    if (c == kCopyChar || c == kCutChar)
        return CopyOrCut(c);
    if (c == kPasteChar)
        return Paste();
    if (c == kUndoChar)
        return Undo();
    switch (key)
    {
    case KEYCODE_LEFT:
        return MoveLeft(shift, control);
    case KEYCODE_RIGHT:
        return MoveRight(shift, control);
    case KEYCODE_BACK:
        return Erase(true);
    case KEYCODE_DELETE:
        return Erase(false);
    case KEYCODE_HOME:
        mCursorPos = 0;
        return KeyResult();
    case KEYCODE_END:
        mCursorPos = static_cast<int>(mString.size());
        return KeyResult();
    case KEYCODE_RETURN:
    {
        KeyResult result;
        result.mReturn = true;
        return result;
    }
    default:
        return TypeChar(c);
    }
}

EditWidget::KeyResult EditWidget::CopyOrCut(char c)
{
    KeyResult result;
    result.mClearAtEnd = c != kCopyChar;
    // A password stays in the field: nothing of it reaches the clipboard.
    if (!HasSelection() || mPasswordChar != 0)
        return result;
    int lo, hi;
    GetSelection(&lo, &hi);
    if (gVaxoAppBase != nullptr)
        gVaxoAppBase->CopyToClipboard(VaxoStringToString(mString.substr(lo, hi - lo)));
    if (c == kCutChar)
    {
        DeleteSelection();
        result.mUndoPoint = true;
    }
    return result;
}

EditWidget::KeyResult EditWidget::Paste()
{
    KeyResult result;
    const std::string clip = gVaxoAppBase != nullptr ? gVaxoAppBase->GetClipboard() : std::string();
    if (clip.empty())
        return result;
    VaxoString pasted;
    for (char c : clip)
    {
        if (c == '\r' || c == '\n')
            break;
        // The same test as a typed character: no control codes through the clipboard.
        if (AcceptsChar(c))
            pasted += c;
    }
    int at = mCursorPos;
    if (mHilitePos != -1)
    {
        int hi;
        GetSelection(&at, &hi);
        mString.erase(at, hi - at);
    }
    mString.insert(at, pasted);
    mCursorPos = at + static_cast<int>(pasted.size());
    mHilitePos = -1;
    result.mUndoPoint = true;
    result.mInserted = static_cast<int>(pasted.size());
    return result;
}

EditWidget::KeyResult EditWidget::Undo()
{
    std::swap(mString, mUndoString);
    std::swap(mCursorPos, mUndoCursor);
    std::swap(mHilitePos, mUndoHilite);
    mLastModifyPos = -1;
    KeyResult result;
    result.mClearAtEnd = false;
    return result;
}

EditWidget::KeyResult EditWidget::MoveLeft(bool shift, bool control)
{
    if (control)
    {
        const VaxoString& text = GetDisplayString();
        while (mCursorPos > 0 && !IsPartOfWord(text[mCursorPos - 1]))
            --mCursorPos;
        while (mCursorPos > 0 && IsPartOfWord(text[mCursorPos - 1]))
            --mCursorPos;
    }
    else if (shift || mHilitePos == -1)
        --mCursorPos;
    else
    {
        int hi;
        GetSelection(&mCursorPos, &hi);
    }
    return KeyResult();
}

EditWidget::KeyResult EditWidget::MoveRight(bool shift, bool control)
{
    if (control)
    {
        const VaxoString& text = GetDisplayString();
        const int last = static_cast<int>(text.size()) - 1;
        while (mCursorPos < last && IsPartOfWord(text[mCursorPos + 1]))
            ++mCursorPos;
        while (mCursorPos < last && !IsPartOfWord(text[mCursorPos + 1]))
            ++mCursorPos;
    }
    if (shift || mHilitePos == -1)
        ++mCursorPos;
    else
    {
        int lo;
        GetSelection(&lo, &mCursorPos);
    }
    return KeyResult();
}

EditWidget::KeyResult EditWidget::Erase(bool backward)
{
    KeyResult result;
    if (mString.empty())
        return result;
    if (HasSelection())
    {
        DeleteSelection();
        result.mUndoPoint = true;
        return result;
    }
    // Nothing on that side of the caret: nothing changes, the undo point included.
    const int at = backward ? mCursorPos - 1 : mCursorPos;
    if (at < 0 || at >= static_cast<int>(mString.size()))
        return result;
    mString.erase(at, 1);
    mCursorPos = at;
    mHilitePos = -1;
    result.mUndoPoint = at != mLastModifyPos;
    mLastModifyPos = backward ? at - 1 : at;
    return result;
}

EditWidget::KeyResult EditWidget::TypeChar(char c)
{
    KeyResult result;
    if (!AcceptsChar(c))
    {
        result.mClearAtEnd = false;
        return result;
    }
    if (HasSelection())
    {
        int lo, hi;
        GetSelection(&lo, &hi);
        mString.replace(lo, hi - lo, 1, c);
        mCursorPos = lo + 1;
        result.mUndoPoint = true;
    }
    else
    {
        result.mUndoPoint = mCursorPos != mLastModifyPos + 1;
        mString.insert(mCursorPos, 1, c);
        mLastModifyPos = mCursorPos;
        ++mCursorPos;
    }
    mHilitePos = -1;
    result.mInserted = 1;
    FocusCursor(false);
    return result;
}

// ---- Listener ---------------------------------------------------------------------------

bool EditWidget::ListenerAllowsRawKey(KeyCode key)
{
    return mEditListener == nullptr || mEditListener->AllowRawKey(mId, key);
}

bool EditWidget::ListenerAllowsRawChar(char c)
{
    return mEditListener == nullptr || mEditListener->AllowRawChar(mId, c);
}

bool EditWidget::ListenerAllowsKey(KeyCode key)
{
    return mEditListener == nullptr || mEditListener->AllowKey(mId, key);
}

bool EditWidget::ListenerAllowsChar(char c)
{
    return mEditListener == nullptr || mEditListener->AllowChar(mId, c);
}

bool EditWidget::ListenerAllowsText(const VaxoString& text)
{
    return mEditListener == nullptr || mEditListener->AllowText(mId, text);
}

// ---- Mouse ------------------------------------------------------------------------------

void EditWidget::MouseDown(int x, int y, int button, int count)
{
    (void)button;
    mHilitePos = -1;
    mCursorPos = GetCharAt(x, y);
    if (count > 1)
    {
        mDoubleClicked = true;
        HiliteWord();
    }
    MarkDirty();
    FocusCursor(false);
}

void EditWidget::MouseDrag(int x, int y)
{
    if (mHilitePos == -1)
        mHilitePos = mCursorPos;
    mCursorPos = GetCharAt(x, y);
    MarkDirty();
    FocusCursor(false);
}

void EditWidget::MouseUp(int x, int y, int button, int count)
{
    (void)button;
    (void)count;
    if (mHilitePos == mCursorPos)
        mHilitePos = -1;
    if (mDoubleClicked)
    {
        // The word at the release point is the one selected.
        mHilitePos = -1;
        mCursorPos = GetCharAt(x, y);
        mDoubleClicked = false;
        HiliteWord();
    }
    MarkDirty();
}

void EditWidget::MouseEnter()
{
    if (gVaxoAppBase != nullptr)
        gVaxoAppBase->SetCursor(CURSOR_TEXT);
}

void EditWidget::MouseLeave()
{
    if (gVaxoAppBase != nullptr)
        gVaxoAppBase->SetCursor(CURSOR_POINTER);
}

// ---- Focus, update, placement ------------------------------------------------------------

bool EditWidget::WantsFocus()
{
    return true;
}

void EditWidget::GotFocus()
{
    Widget::GotFocus();
    mCaretShown = true;
    mBlinkCount = 0;
    MarkDirty();
}

void EditWidget::LostFocus()
{
    Widget::LostFocus();
    mCaretShown = false;
    MarkDirty();
}

void EditWidget::Update()
{
    Widget::Update();
    if (!mHasFocus)
        return;
    if (++mBlinkCount > mBlinkDelay)
    {
        MarkDirty();
        mBlinkCount = 0;
        mCaretShown = !mCaretShown;
    }
}

void EditWidget::MarkDirty()
{
    if (GetColor(EDIT_COLOR_BKG).mAlpha == 255)
        WidgetContainer::MarkDirty();
    else
        MarkDirtyFull();
}

void EditWidget::Resize(int x, int y, int width, int height)
{
    Widget::Resize(x, y, width, height);
    FocusCursor(false);
}

// ---- Drawing ----------------------------------------------------------------------------

void EditWidget::Draw(Graphics* g)
{
    Font* font = GetFont();
    g->SetColor(GetColor(EDIT_COLOR_BKG));
    g->FillRect(0, 0, mWidth, mHeight);

    const VaxoString& display = GetDisplayString();
    const VaxoString visible = display.substr(std::clamp(mLeftPos, 0, static_cast<int>(display.size())));
    const int top = (mHeight - font->GetHeight()) / 2;
    const int baseline = top + font->GetAscent();
    const int usable = std::max(0, mWidth - 2 * kTextInset);

    std::unique_ptr<Graphics> text(g->Create());
    text->SetFont(font);
    text->ClipRect(kTextInset, 0, mWidth - 2 * kTextInset, mHeight);
    text->SetColor(GetColor(EDIT_COLOR_TEXT));
    text->DrawString(visible, kTextInset, baseline);
    text.reset();

    // The selection, or the caret as a thin one, in inverted colours.
    const int leftX = TextWidth(mLeftPos);
    int caretX = TextWidth(mCursorPos) - leftX;
    int anchorX = HasSelection() ? TextWidth(mHilitePos) - leftX : caretX + kCaretWidth;
    if (!mCaretShown)
        caretX += kCaretWidth;
    caretX = std::clamp(caretX, 0, usable);
    anchorX = std::clamp(anchorX, 0, usable);
    const int x = kTextInset + std::min(caretX, anchorX);
    const int width = std::abs(caretX - anchorX);
    std::unique_ptr<Graphics> hilite(g->Create());
    hilite->SetFont(font);
    hilite->ClipRect(x, top, width, font->GetHeight());
    if (mHasFocus || mShowSelectionAlways)
    {
        hilite->SetColor(GetColor(EDIT_COLOR_HILITE));
        hilite->FillRect(x, top, width, font->GetHeight());
        hilite->SetColor(GetColor(EDIT_COLOR_HILITE_TEXT));
    }
    else
        hilite->SetColor(GetColor(EDIT_COLOR_TEXT));
    hilite->DrawString(visible, kTextInset, baseline);
    hilite.reset();

    g->SetColor(GetColor(EDIT_COLOR_OUTLINE));
    g->DrawRect(0, 0, mWidth - 1, mHeight - 1);
}

} // namespace Vaxo
