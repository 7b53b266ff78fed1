#include "graphics/Font.h"

namespace Vaxo
{

Font::Font() : mAscent(0), mAscentPadding(0), mHeight(0), mLineSpacingOffset(0) {}

Font::Font(const Font& other)
    : mAscent(other.mAscent), mAscentPadding(other.mAscentPadding), mHeight(other.mHeight),
      mLineSpacingOffset(other.mLineSpacingOffset)
{
}

Font::~Font() = default;

int Font::GetAscent()
{
    return mAscent;
}

int Font::GetAscentPadding()
{
    return mAscentPadding;
}

int Font::GetDescent()
{
    return mHeight - mAscent;
}

int Font::GetHeight()
{
    return mHeight;
}

int Font::GetLineSpacingOffset()
{
    return mLineSpacingOffset;
}

int Font::GetLineSpacing()
{
    return mHeight + mLineSpacingOffset;
}

int Font::StringWidth(const std::string&)
{
    return 0;
}

int Font::CharWidth(char c)
{
    return StringWidth(std::string(1, c));
}

int Font::CharWidthKern(char c, char)
{
    return CharWidth(c);
}

void Font::DrawString(Graphics*, int, int, const std::string&, const Color&, const TRect<int>&) {}

} // namespace Vaxo
