#include "graphics/support/FixedFont.h"

namespace Vaxo
{

FixedFont::FixedFont(int charWidth, int ascent, int height, int ascentPadding, int lineSpacingOffset)
    : mCharWidth(charWidth)
{
    mAscent = ascent;
    mHeight = height;
    mAscentPadding = ascentPadding;
    mLineSpacingOffset = lineSpacingOffset;
}

std::vector<std::string> FixedFont::TakeCalls()
{
    std::vector<std::string> calls;
    calls.swap(mCalls);
    return calls;
}

int FixedFont::StringWidth(const std::string& str)
{
    return static_cast<int>(str.size()) * mCharWidth;
}

int FixedFont::CharWidth(char)
{
    return mCharWidth;
}

void FixedFont::DrawString(Graphics*, int x, int y, const std::string& str, const Color& color,
                           const TRect<int>&)
{
    mCalls.push_back("DrawString(" + std::to_string(x) + "," + std::to_string(y) + ",\"" + str + "\",(" +
                     std::to_string(color.mRed) + "," + std::to_string(color.mGreen) + "," +
                     std::to_string(color.mBlue) + "," + std::to_string(color.mAlpha) + "))");
}

Font* FixedFont::Duplicate()
{
    return new FixedFont(*this);
}

} // namespace Vaxo
