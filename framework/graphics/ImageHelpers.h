#pragma once
// Colour and image helpers: the hue/saturation/lightness shift the game uses to
// recolour pictures, integer and float ramps for fades, exact 8-bit palette
// extraction (behind MemoryImage::Palletize), a power-of-two exponent lookup,
// an outlined rectangle and reading one pixel of a software image.

#include <cstdint>

namespace Vaxo
{

class Image;
class Graphics;
class MemoryImage;

// Shifts hue (256 steps round the circle; any value is taken modulo 256),
// saturation and lightness (0-255 scale) of count ARGB words. Alpha is kept.
// src and dst may be the same array.
void HSLShift(const uint32_t* src, uint32_t* dst, int32_t count, int32_t hueShift, int32_t satShift,
              int32_t lightShift);

// A new image, owned by the caller, holding the shifted pixels of img (its
// palette form stays a palette form). Null when img is not a MemoryImage.
MemoryImage* HSLShiftImage(Image* img, int32_t hueShift, int32_t satShift, int32_t lightShift);

// a at t < 0, b at t >= n, the integer line between them otherwise.
int32_t LinearCombine(int32_t t, int32_t a, int32_t b, int32_t n);
// a -> b over n1 steps, then b -> c over n2 steps.
int32_t LinearRamp(int32_t t, int32_t a, int32_t b, int32_t c, int32_t n1, int32_t n2);
float LinearRampF(int32_t t, float a, float b, float c, int32_t n1, int32_t n2);

// Exact palette extraction: one index byte per pixel and the palette in order of
// first appearance (entries beyond the colour count are left unwritten). False
// as soon as a 257th colour is met (the outputs are then partly written).
// colorCount, when given, receives the number of palette entries in use.
bool Quantize8Bit(const uint32_t* src, int32_t width, int32_t height, uint8_t* indices, uint32_t* palette,
                  int32_t* colorCount = nullptr);

// k when n is 2^k (k 1 to 30), 31 for the most negative value, else 0.
int32_t GetPow2Index(int32_t n);

// g's FillRect in its colour, then a DrawRect outline in outlineColor (ARGB; a
// top byte of 0 means opaque). g's colour is restored afterwards.
void FillRectWithOutline(Graphics* g, int32_t x, int32_t y, int32_t width, int32_t height,
                         int32_t outlineColor);

// The ARGB pixel at (x, y) of a MemoryImage; 0 outside it or for other images.
uint32_t GetPixelFromImage(Image* img, int32_t x, int32_t y);

} // namespace Vaxo
