// Font: the text face that Graphics draws and measures with.
//
// A face keeps four metrics in pixels and declares measuring and drawing; ImageFont (the
// bitmap fonts of the descriptor files) and SysFont (the platform's placeholder face)
// derive from it. Text layout (colour escapes, justification, word wrap) lives in
// Graphics and only asks the face for widths and single runs of text.
#pragma once

#include "graphics/Color.h"
#include "graphics/Rect.h"

#include <cstdint>
#include <string>

namespace Vaxo
{

class Graphics;

class Font
{
public:
    // Top of a line to the baseline.
    int32_t mAscent;
    // Part of the ascent left out when text is placed: word wrapping puts the first
    // baseline at mAscent - mAscentPadding below the top.
    int32_t mAscentPadding;
    // Full line height.
    int32_t mHeight;
    // Added to mHeight to give the distance between baselines.
    int32_t mLineSpacingOffset;

public:
    Font();
    Font(const Font& other);
    Font& operator=(const Font&) = delete;
    virtual ~Font();

    virtual int GetAscent();
    virtual int GetAscentPadding();
    // mHeight - mAscent.
    virtual int GetDescent();
    virtual int GetHeight();
    virtual int GetLineSpacingOffset();
    // mHeight + mLineSpacingOffset.
    virtual int GetLineSpacing();
    // Width in pixels; 0 here.
    virtual int StringWidth(const std::string& str);
    // StringWidth of the one-character string.
    virtual int CharWidth(char c);
    // Width of c when it follows prev (0 for none); here the kerning is ignored.
    virtual int CharWidthKern(char c, char prev);
    // Draws str with its baseline at y, through g (so g translates and clips). Nothing
    // here.
    virtual void DrawString(Graphics* g, int x, int y, const std::string& str, const Color& color,
                            const TRect<int>& clipRect);
    // A new copy of the same kind; the caller owns it.
    virtual Font* Duplicate() = 0;
};

} // namespace Vaxo
