// FixedFont: a fixed-width test face. Every character is mCharWidth pixels wide (0 is
// allowed), no kerning; DrawString draws nothing but writes down each call as
// DrawString(x,y,"text",(r,g,b,a)).
#pragma once

#include "graphics/Font.h"

#include <string>
#include <vector>

namespace Vaxo
{

class FixedFont : public Font
{
public:
    int mCharWidth;
    std::vector<std::string> mCalls;

public:
    // Metrics in pixels; the line spacing is height + lineSpacingOffset.
    FixedFont(int charWidth, int ascent = 8, int height = 12, int ascentPadding = 0,
              int lineSpacingOffset = 0);

    std::vector<std::string> TakeCalls();

    int StringWidth(const std::string& str) override;
    int CharWidth(char c) override;
    void DrawString(Graphics* g, int x, int y, const std::string& str, const Color& color,
                    const TRect<int>& clipRect) override;
    Font* Duplicate() override;
};

} // namespace Vaxo
