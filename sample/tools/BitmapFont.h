// BitmapFont: the sample's bitmap fonts, made by its build with the framework's own PNG
// writer: a glyph sheet "<name>.png" (white glyphs on transparency, 5 x 7 pixel capitals,
// digits and punctuation drawn `scale` times as large; lower-case letters share the
// capitals) and its descriptor "<name>.txt" in the font language ImageFont reads.
#pragma once

#include <string>

namespace Vaxo
{

// Writes "<name>.png" and "<name>.txt" into the folder (which must exist); false when a
// file cannot be written. The font's ascent is 7 * scale pixels, its line height
// 9 * scale and every advance 6 * scale.
bool WriteBitmapFont(const std::string& folder, const std::string& name, int scale);

} // namespace Vaxo
