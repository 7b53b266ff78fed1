// Internal to framework/app.
// The small text images drawn above the game (the frame rate or mouse position, the
// demo's time left): one line of gFPSFont, white on black.
#pragma once

#include <string>

namespace Vaxo
{

class MemoryImage;
class VaxoAppBase;

// A new overlay image from the platform, sized for one line of gFPSFont (which must exist).
MemoryImage* NewOverlayImage(VaxoAppBase& app);
// Fills the overlay image black and writes the text in white.
void PaintOverlay(MemoryImage* image, const std::string& text);

} // namespace Vaxo
