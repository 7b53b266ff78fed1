// Text drawing of Graphics: plain runs, runs with "^RRGGBB^" colour escapes and
// justification, and word wrapping into a rectangle. Measuring runs the same code on a
// scratch context over the placeholder image, so measuring and drawing always agree.
#include "common/Helpers.h"
#include "graphics/Font.h"
#include "graphics/Graphics.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace Vaxo
{

namespace
{
int32_t Saturate(int64_t value)
{
    if (value > std::numeric_limits<int32_t>::max())
        return std::numeric_limits<int32_t>::max();
    if (value < std::numeric_limits<int32_t>::min())
        return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}

// The colour of the escape whose "^" is at i (eight characters are known to be there);
// malformed escapes never fail.
int EscapeColor(const std::string& str, size_t i, int oldColor)
{
    if (str[i + 1] == 'o')
        return str.compare(i + 1, 6, "oldclr") == 0 ? oldColor : 0;
    int value = 0;
    for (size_t k = 1; k <= 6; k++)
        value = (value << 4) | HexDigitValue(str[i + k]);
    return value;
}
} // namespace

void Graphics::DrawString(const std::string& str, int x, int y)
{
    if (mFont != nullptr)
        mFont->DrawString(this, x, y, str, mColor, mClipRect);
}

int Graphics::StringWidth(const std::string& str)
{
    return mFont != nullptr ? mFont->StringWidth(str) : 0;
}

int Graphics::WriteString(const std::string& str, int x, int y, int width, int justification, bool draw,
                          int offset, int length, int oldColor)
{
    if (oldColor == -1)
        oldColor = mColor.ToInt();
    if (draw && (justification == 0 || justification == 1))
    {
        int64_t measured = WriteString(str, x, y, width, -1, false, offset, length, oldColor);
        int64_t shift = justification == 0 ? (int64_t(width) - measured) / 2 : int64_t(width) - measured;
        x = Saturate(x + shift);
    }

    const int64_t size = static_cast<int64_t>(str.size());
    const int64_t start = std::min<int64_t>(std::max(offset, 0), size);
    const int64_t end = length < 0 ? size : std::min<int64_t>(start + length, size);

    std::string pending;
    int64_t xOffset = 0;
    auto pendingWidth = [&]() -> int64_t { return mFont != nullptr ? mFont->StringWidth(pending) : 0; };
    auto flush = [&]()
    {
        if (draw && mFont != nullptr)
            mFont->DrawString(this, Saturate(x + xOffset), y, pending, mColor, mClipRect);
    };

    int64_t i = start;
    while (i < end)
    {
        char c = str[size_t(i)];
        if (c != '^' || !mWriteColoredString)
        {
            pending += c;
            i++;
            continue;
        }
        if (i + 1 < end && str[size_t(i) + 1] == '^')
        {
            pending += '^';
            i += 2;
            continue;
        }
        // Too short for "^RRGGBB^": the rest of the range is neither drawn nor measured.
        if (i > end - 8)
            break;
        int value = EscapeColor(str, size_t(i), oldColor);
        if (draw)
        {
            flush();
            mColor = Color((value >> 16) & 0xFF, (value >> 8) & 0xFF, value & 0xFF, mColor.mAlpha);
        }
        xOffset += pendingWidth();
        pending.clear();
        i += 8;
    }
    flush();
    return Saturate(xOffset + pendingWidth());
}

int Graphics::DrawStringColor(const std::string& str, int x, int y, int oldColor)
{
    Color saved = mColor;
    int width = WriteString(str, x, y, -1, -1, true, 0, -1, oldColor);
    mColor = saved;
    return width;
}

int Graphics::GetColorStringWidth(const std::string& str)
{
    Graphics scratch(nullptr);
    scratch.SetFont(mFont);
    scratch.mWriteColoredString = mWriteColoredString;
    return scratch.DrawStringColor(str, 0, 0, -1);
}

int WriteWordWrappedHelper(Graphics* g, const std::string& str, int x, int y, int width, int justification,
                           bool draw, int offset, int length, int oldColor, int maxChars)
{
    if (int64_t(offset) + length > maxChars)
    {
        length = Saturate(int64_t(maxChars) - offset);
        if (length < 1)
            return -1;
    }
    return g->WriteString(str, x, y, width, justification, draw, offset, length, oldColor);
}

int Graphics::WriteWordWrapped(const TRect<int>& rect, const std::string& str, int lineSpacing,
                               int justification, int* maxWidth, int maxChars, int* lastWidth)
{
    // Layout needs metrics; without a face there is nothing to lay out.
    if (mFont == nullptr)
    {
        if (maxWidth != nullptr)
            *maxWidth = 0;
        return 0;
    }
    Color saved = mColor;
    int oldColor = mColor.ToInt();
    // An opaque colour passes as 0xRRGGBB so that opaque white is not taken for -1.
    if ((static_cast<uint32_t>(oldColor) >> 24) == 0xFF)
        oldColor &= 0xFFFFFF;

    const int64_t size = static_cast<int64_t>(str.size());
    const int sizeInt = Saturate(size);
    if (maxChars < 0)
        maxChars = sizeInt;
    if (lineSpacing == -1)
        lineSpacing = mFont->GetLineSpacing();

    int64_t yOffset = int64_t(mFont->GetAscent()) - mFont->GetAscentPadding();
    int64_t curWidth = lastWidth != nullptr ? *lastWidth : 0;
    int64_t xOffset = curWidth;
    int64_t lineStart = 0;
    int64_t spacePos = -1;
    char prevChar = 0;
    int64_t widest = 0;
    char lastExamined = 0;

    auto drawLine = [&](int64_t from, int64_t count)
    {
        return WriteWordWrappedHelper(this, str, Saturate(rect.mX + xOffset), Saturate(rect.mY + yOffset),
                                      rect.mWidth, justification, true, Saturate(from), Saturate(count),
                                      oldColor, maxChars);
    };

    int64_t curPos = 0;
    while (curPos < size)
    {
        char c = str[size_t(curPos)];
        // Where the first caret of a "^^" pair stands while its second is measured.
        int64_t pairStart = -1;
        if (c == '^' && mWriteColoredString && curPos + 1 < size)
        {
            if (str[size_t(curPos) + 1] != '^')
            {
                // An escape takes no room on the line.
                curPos += 8;
                continue;
            }
            pairStart = curPos;
            curPos++;
        }
        lastExamined = c;
        bool forced = false;
        if (c == ' ')
            spacePos = curPos;
        else if (c == '\n')
        {
            spacePos = curPos;
            forced = true;
            curPos++;
        }
        curWidth += mFont->CharWidthKern(c, prevChar);
        if (curWidth <= rect.mWidth && !forced)
        {
            prevChar = c;
            curPos++;
            continue;
        }

        int64_t w;
        if (spacePos == -1)
        {
            // A line takes at least one character, even one wider than the rectangle. A
            // "^^" pair goes whole to one line: split, its second caret would start an
            // escape.
            if (pairStart >= 0)
                curPos = pairStart > lineStart ? pairStart : pairStart + 2;
            else if (curPos < lineStart + 1)
                curPos++;
            w = drawLine(lineStart, curPos - lineStart);
            if (w < 0)
                break;
            if (lastWidth != nullptr)
                *lastWidth = Saturate(w);
        }
        else
        {
            int64_t lineTop = TruncToInt(static_cast<float>(Saturate(rect.mY + yOffset)) + mTransY);
            if (lineTop >= mClipRect.mY && lineTop < int64_t(mClipRect.mY) + mClipRect.mHeight + lineSpacing)
                drawLine(lineStart, spacePos - lineStart);
            w = xOffset + curWidth;
            if (w < 0)
                break;
            bool newline = str[size_t(spacePos)] == '\n';
            curPos = spacePos + 1;
            if (!newline)
                while (curPos < size && str[size_t(curPos)] == ' ')
                    curPos++;
        }
        widest = std::max(widest, w);
        curWidth = 0;
        xOffset = 0;
        yOffset += lineSpacing;
        lineStart = curPos;
        prevChar = 0;
        spacePos = -1;
    }

    if (lineStart < size)
    {
        int w = drawLine(lineStart, size - lineStart);
        if (w >= 0)
        {
            widest = std::max<int64_t>(widest, w);
            if (lastWidth != nullptr)
                *lastWidth = w;
            yOffset += lineSpacing;
        }
    }
    else if (lastExamined == '\n')
    {
        yOffset += lineSpacing;
        if (lastWidth != nullptr)
            *lastWidth = 0;
    }

    mColor = saved;
    if (maxWidth != nullptr)
        *maxWidth = Saturate(widest);
    return Saturate(yOffset + mFont->GetDescent() - lineSpacing);
}

int Graphics::GetWordWrappedHeight(int width, const std::string& str, int lineSpacing, int* maxWidth)
{
    Graphics scratch(nullptr);
    scratch.SetFont(mFont);
    scratch.mWriteColoredString = mWriteColoredString;
    return scratch.WriteWordWrapped(TRect<int>(0, 0, width, 0), str, lineSpacing, -1, maxWidth, -1, nullptr);
}

int Graphics::DrawStringWordWrapped(const std::string& str, int x, int y, int wrapWidth, int lineSpacing,
                                    int justification, int* maxWidth)
{
    if (mFont == nullptr)
        return WriteWordWrapped(TRect<int>(x, y, wrapWidth, 0), str, lineSpacing, justification, maxWidth);
    int top = Saturate(int64_t(y) + mFont->GetAscentPadding() - mFont->GetAscent());
    return WriteWordWrapped(TRect<int>(x, top, wrapWidth, 0), str, lineSpacing, justification, maxWidth, -1,
                            nullptr);
}

void DrawStringWithShadow(Graphics* g, const std::string& str, int x, int y, int shadowColor, int offsetX,
                          int offsetY)
{
    Color saved = g->GetColor();
    g->SetColor(Color(shadowColor));
    g->DrawString(str, Saturate(int64_t(x) + offsetX), Saturate(int64_t(y) + offsetY));
    g->SetColor(saved);
    g->DrawString(str, x, y);
}

} // namespace Vaxo
