// Arbitrary bytes through WriteString and WriteWordWrapped with random widths, ranges,
// maxChars and font widths (0 included): every call must end and stay in bounds.
#include "graphics/Graphics.h"
#include "graphics/support/FixedFont.h"
#include "graphics/support/RecordingImage.h"

#include <cstdint>
#include <string>

using namespace Vaxo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 8)
        return 0;
    const int8_t* p = reinterpret_cast<const int8_t*>(data);
    std::string text(reinterpret_cast<const char*>(data) + 8, size - 8);

    RecordingImage dest("dest", 200, 100);
    FixedFont font(data[0] % 17, p[1], p[2], p[3] % 5, p[4] % 5);
    Graphics g(&dest);
    g.SetFont(&font);
    g.mWriteColoredString = (data[5] & 1) != 0;
    g.TranslateF(p[6] / 4.0f, p[7] / 4.0f);

    int width = p[1] * 8;
    g.WriteString(text, 3, 4, width, p[2] % 3, true, p[3], p[4]);
    g.GetColorStringWidth(text);
    int maxWidth = 0;
    int lastWidth = p[5];
    g.WriteWordWrapped(TRect<int>(p[6], p[7], width, 0), text, p[0] % 2 == 0 ? -1 : p[2], p[3] % 3, &maxWidth,
                       p[4], &lastWidth);
    g.GetWordWrappedHeight(width, text, -1, &maxWidth);
    return 0;
}
