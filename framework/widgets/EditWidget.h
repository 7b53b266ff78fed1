// EditWidget: the one-line text field of the toolkit (the player-name field of the
// profile dialogs, made by the dialog skin).
//
// It keeps a text with a caret and a selection, scrolls the text sideways to keep the
// caret in view, blinks the caret while it has the focus, selects by dragging and by
// double-clicking a word, edits by keys with a one-step undo (a second undo redoes),
// copies, cuts and pastes through the application's clipboard, limits the text by
// character count and by pixel width, can show a password character instead of the
// text, and asks its EditListener before every key, character and resulting text.
// Caret, anchor and mLeftPos are character indexes into the text. Main thread only.
#pragma once

#include "app/KeyCodes.h"
#include "common/Common.h"
#include "widgets/Widget.h"

#include <list>
#include <memory>

namespace Vaxo
{

class EditListener;
class Font;

// Indexes of the colour table.
enum
{
    EDIT_COLOR_BKG = 0,
    EDIT_COLOR_OUTLINE = 1,
    EDIT_COLOR_TEXT = 2,
    EDIT_COLOR_HILITE = 3,      // selection and caret fill
    EDIT_COLOR_HILITE_TEXT = 4, // selected text
};

// Default colour rows (r, g, b) the constructor sets.
extern int gEditWidgetColors[5][3];

class EditWidget : public Widget
{
public:
    // An extra width limit measured with a font of its own.
    struct WidthCheck
    {
        std::unique_ptr<Font> mCheckFont;
        // In pixels; 0 or less: use mMaxPixels.
        int mMaxWidth;
    };

    // Passed to every listener call.
    int mId;
    VaxoString mString;
    // What is shown while mPasswordChar is set (GetDisplayString keeps it current).
    VaxoString mPasswordDisplay;
    // Measures and draws the text; null until SetFont or the first measurement, which
    // makes the system font.
    std::unique_ptr<Font> mFont;
    std::list<WidthCheck> mWidthChecks;
    // Not owned; null accepts everything.
    EditListener* mEditListener;
    // The caret is in its visible blink phase.
    bool mCaretShown;
    // Caret and selection drawn without the focus too.
    bool mShowSelectionAlways;
    // The press under way was a double click.
    bool mDoubleClicked;
    // Caret, 0 to the text length.
    int mCursorPos;
    // Selection anchor; -1 or equal to the caret: no selection.
    int mHilitePos;
    // Update ticks since the caret last toggled; it toggles when the count passes
    // mBlinkDelay.
    int mBlinkCount;
    int mBlinkDelay;
    // First visible character.
    int mLeftPos;
    // Longest text in characters; negative: no limit.
    int mMaxChars;
    // Widest text in pixels; 0 or less: no limit.
    int mMaxPixels;
    // Shown once per character instead of the text; 0 shows the text.
    char mPasswordChar;
    // The undo point: text, caret and anchor.
    VaxoString mUndoString;
    int mUndoCursor;
    int mUndoHilite;
    // Where the last one-character edit happened; typing, backspaces and deletes that
    // continue it join its undo step.
    int mLastModifyPos;

public:
    EditWidget(int id, EditListener* listener);
    ~EditWidget() override;

    // key 0 for a character, c 0 for a key.
    virtual void ProcessKey(KeyCode key, char c);
    // Selects the word around the caret in the display string.
    virtual void HiliteWord();
    // Keeps duplicates; the caller keeps its fonts.
    virtual void SetFont(Font* font, Font* widthCheckFont = nullptr);
    // Selects the whole text with the caret at its end; no listener is asked.
    virtual void SetText(const VaxoString& text, bool leftPosToZero = true);
    // Letters, digits and '_'.
    virtual bool IsPartOfWord(char c);
    // The caret position nearest to x (widget coordinates); left of the middle of the first
    // visible character, the start of the text. y is ignored.
    virtual int GetCharAt(int x, int y);
    // Scrolls until the caret is visible: keys by 10 characters, typing and mouse by 1.
    virtual void FocusCursor(bool bigJump);

    using WidgetContainer::MarkDirty;
    // With a see-through background what lies below is redrawn too.
    void MarkDirty() override;
    // Blinks the caret while focused.
    void Update() override;
    void Draw(Graphics* g) override;
    using Widget::Resize;
    void Resize(int x, int y, int width, int height) override;
    bool WantsFocus() override;
    void GotFocus() override;
    void LostFocus() override;
    void KeyChar(char c) override;
    void KeyDown(KeyCode key) override;
    // The I-beam while the mouse is over the field.
    void MouseEnter() override;
    void MouseLeave() override;
    using Widget::MouseDown;
    using Widget::MouseUp;
    void MouseDown(int x, int y, int button, int count) override;
    void MouseUp(int x, int y, int button, int count) override;
    void MouseDrag(int x, int y) override;

    // Keeps a duplicate of font; maxPixels 0 or less means mMaxPixels.
    void AddWidthCheckFont(Font* font, int maxPixels = -1);
    void ClearWidthCheckFonts();
    // Drops trailing characters until every width limit holds.
    void EnforceMaxPixels();
    const VaxoString& GetDisplayString();
    void UpdateCaretPos();

private:
    // What one key did, for the steps every key ends with.
    struct KeyResult
    {
        bool mUndoPoint = false;
        // The selection ends with the key unless shift is held.
        bool mClearAtEnd = true;
        bool mReturn = false;
        // Characters the key put in just before the caret.
        int mInserted = 0;
    };

    // What a refused text puts back.
    struct Snapshot
    {
        VaxoString mString;
        int mCursorPos, mHilitePos, mLeftPos;
        VaxoString mUndoString;
        int mUndoCursor, mUndoHilite, mLastModifyPos;
    };

    // mFont, made first when there is none.
    Font* GetFont();
    // Width of the first n characters of the display string.
    int TextWidth(int n);
    bool IsKeyHeld(KeyCode key);
    bool HasSelection() const;
    // Smaller and larger of caret and anchor, inside the text.
    void GetSelection(int* lo, int* hi) const;
    void DeleteSelection();
    // Range, width and listener test of a typed or pasted character.
    bool AcceptsChar(char c);

    Snapshot TakeSnapshot() const;
    void Restore(const Snapshot& snapshot);
    KeyResult ApplyKey(KeyCode key, char c, bool shift, bool control);
    // The steps every key ends with: limits, caret, scrolling, selection, AllowText.
    void FinishKey(const Snapshot& before, const KeyResult& result, bool shift);
    KeyResult CopyOrCut(char c);
    KeyResult Paste();
    KeyResult Undo();
    KeyResult MoveLeft(bool shift, bool control);
    KeyResult MoveRight(bool shift, bool control);
    // Backspace (backward) and Delete: a selection goes as one undo step, else one
    // character that joins the undo step of the edit next to it.
    KeyResult Erase(bool backward);
    KeyResult TypeChar(char c);
    // Width limit of one font: drops trailing characters while it measures more.
    void TrimToWidth(Font* font, int limit);
    bool FitsWidths();
    // Drops what does not fit of the inserted characters, the last first.
    void DropUnfittingInput(int inserted);

    bool ListenerAllowsRawKey(KeyCode key);
    bool ListenerAllowsRawChar(char c);
    bool ListenerAllowsKey(KeyCode key);
    bool ListenerAllowsChar(char c);
    bool ListenerAllowsText(const VaxoString& text);
};

} // namespace Vaxo
