#include "app/sdl/AlertPanelWindow.h"

#include <algorithm>
#include <limits>

namespace Vaxo
{

namespace
{
constexpr int32_t kMargin = 16;
// The text column's width before wrapping: at least this, so that a short message does not
// make a narrow panel, and at most that, so that long lines wrap.
constexpr int32_t kMinTextWidth = 260;
constexpr int32_t kMaxTextWidth = 440;
constexpr int32_t kButtonMinWidth = 72;
constexpr int32_t kButtonPadding = 12;
constexpr int32_t kButtonGap = 10;
constexpr int32_t kButtonExtraHeight = 10;
const char* const kEllipsis = "...";

// The longest prefix of text from start that fits in width, at least one character.
size_t FittingPrefix(const std::string& text, size_t start, int32_t width, const AlertTextWidth& textWidth)
{
    size_t count = 1;
    while (start + count < text.size() && textWidth(text.substr(start, count + 1)) <= width)
        count++;
    return count;
}

void WrapParagraph(const std::string& paragraph, int32_t width, const AlertTextWidth& textWidth,
                   std::vector<std::string>* lines)
{
    std::string line;
    bool started = false;
    size_t pos = 0;
    while (pos <= paragraph.size())
    {
        size_t end = paragraph.find(' ', pos);
        if (end == std::string::npos)
            end = paragraph.size();
        const std::string word = paragraph.substr(pos, end - pos);
        pos = end + 1;
        if (started)
        {
            std::string candidate = line + " " + word;
            if (textWidth(candidate) <= width)
            {
                line.swap(candidate);
                continue;
            }
            lines->push_back(line);
        }
        // The word starts a line; a word wider than the line is cut.
        size_t start = 0;
        while (start < word.size())
        {
            const size_t count = FittingPrefix(word, start, width, textWidth);
            if (start + count == word.size())
                break;
            lines->push_back(word.substr(start, count));
            start += count;
        }
        line = word.substr(start);
        started = true;
    }
    lines->push_back(line);
}

// The line shortened until it fits with "..." after it.
std::string WithEllipsis(std::string line, int32_t width, const AlertTextWidth& textWidth)
{
    while (!line.empty() && textWidth(line + kEllipsis) > width)
        line.pop_back();
    return line + kEllipsis;
}

int32_t WidestLine(const std::string& text, const AlertTextWidth& textWidth)
{
    int32_t widest = 0;
    for (const std::string& line : WrapAlertText(text, std::numeric_limits<int32_t>::max(), textWidth))
        widest = std::max(widest, textWidth(line));
    return widest;
}
} // namespace

std::vector<std::string> WrapAlertText(const std::string& text, int32_t width,
                                       const AlertTextWidth& textWidth)
{
    std::vector<std::string> lines;
    std::string paragraph;
    size_t end = text.find_last_not_of("\r\n");
    end = end == std::string::npos ? 0 : end + 1;
    for (size_t i = 0; i < end; ++i)
    {
        const char c = text[i];
        if (c == '\r' || c == '\n')
        {
            if (c == '\r' && text[i + 1] == '\n')
                ++i;
            WrapParagraph(paragraph, width, textWidth, &lines);
            paragraph.clear();
        }
        else if (c == '\t')
            paragraph += "    ";
        else
            paragraph += c;
    }
    if (end > 0)
        WrapParagraph(paragraph, width, textWidth, &lines);
    return lines;
}

AlertPanelLayout LayOutAlertPanel(const AlertPanelRequest& request, const AlertPanelFont& font,
                                  int32_t maxHeight)
{
    AlertPanelLayout layout;
    layout.mLineHeight = std::max(1, font.mAscent + font.mDescent);
    const int32_t lineHeight = layout.mLineHeight;

    // The buttons' titles and widths; the row they need.
    const std::pair<std::string, int> titles[] = {
        {request.mDefaultButton.empty() ? "OK" : request.mDefaultButton, kAlertDefaultReturn},
        {request.mAlternateButton, kAlertAlternateReturn},
        {request.mOtherButton, kAlertOtherReturn},
    };
    int32_t rowWidth = 0;
    for (const auto& [title, answer] : titles)
    {
        if (title.empty())
            continue;
        const int32_t width = std::max(kButtonMinWidth, font.mTextWidth(title) + 2 * kButtonPadding);
        rowWidth += (layout.mButtons.empty() ? 0 : kButtonGap) + width;
        layout.mButtons.push_back(
            {title, answer, TRect<int32_t>(0, 0, width, lineHeight + kButtonExtraHeight)});
    }
    if (layout.mButtons.size() == 3)
        rowWidth += 2 * kButtonGap; // the other button stands apart

    const int32_t natural =
        std::max(WidestLine(request.mTitle, font.mTextWidth), WidestLine(request.mMessage, font.mTextWidth));
    const int32_t textWidth = std::max(std::clamp(natural, kMinTextWidth, kMaxTextWidth), rowWidth);
    layout.mTextX = kMargin;
    layout.mWidth = textWidth + 2 * kMargin;
    layout.mTitleLines = WrapAlertText(request.mTitle, textWidth, font.mTextWidth);
    layout.mMessageLines = WrapAlertText(request.mMessage, textWidth, font.mTextWidth);

    // Message lines that would make the panel higher than allowed are cut.
    const int32_t buttonHeight = layout.mButtons.front().mRect.mHeight;
    const int32_t gap = !layout.mTitleLines.empty() && !layout.mMessageLines.empty() ? lineHeight / 2 : 0;
    const int32_t fixedHeight =
        3 * kMargin + int32_t(layout.mTitleLines.size()) * lineHeight + gap + buttonHeight;
    const size_t fitting = size_t(std::max(1, (maxHeight - fixedHeight) / lineHeight));
    if (layout.mMessageLines.size() > fitting)
    {
        layout.mMessageLines.resize(fitting);
        layout.mMessageLines.back() = WithEllipsis(layout.mMessageLines.back(), textWidth, font.mTextWidth);
    }

    layout.mTitleTop = kMargin;
    layout.mMessageTop = layout.mTitleTop + int32_t(layout.mTitleLines.size()) * lineHeight + gap;
    const int32_t buttonTop =
        layout.mMessageTop + int32_t(layout.mMessageLines.size()) * lineHeight + kMargin;
    layout.mHeight = buttonTop + buttonHeight + kMargin;

    // Right to left: default, alternate; the other button at the left edge.
    int32_t right = kMargin + textWidth;
    for (AlertPanelButton& button : layout.mButtons)
    {
        button.mRect.mY = buttonTop;
        if (button.mAnswer == kAlertOtherReturn)
            button.mRect.mX = kMargin;
        else
        {
            button.mRect.mX = right - button.mRect.mWidth;
            right = button.mRect.mX - kButtonGap;
        }
    }
    for (size_t i = 0; i < layout.mButtons.size(); ++i)
        if (layout.mButtons[i].mTitle == "Cancel")
            layout.mCancelButton = int32_t(i);
    if (layout.mButtons.size() == 1)
        layout.mCancelButton = 0;
    return layout;
}

} // namespace Vaxo
