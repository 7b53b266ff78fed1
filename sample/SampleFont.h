// SampleFont: the sample's bitmap font, made by the program's build with the framework's
// own image writer: a glyph sheet "sample.png" (white glyphs on transparency, 5 x 7 pixel
// letters drawn twice as large) and its descriptor "sample.txt" for ImageFont.
#pragma once

#include <string>

namespace Vaxo
{

// The font's pixels: glyph height above the baseline, line height, pen advance.
constexpr int kSampleFontAscent = 14;
constexpr int kSampleFontHeight = 18;
constexpr int kSampleFontAdvance = 12;

// Writes "sample.png" and "sample.txt" into the folder (which must exist); false when a
// file cannot be written.
bool WriteSampleFont(const std::string& folder);

} // namespace Vaxo
