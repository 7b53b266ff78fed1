// Graphics: the drawing context that every screen, widget and game draw goes through.
//
// A context is bound to one destination Image and carries the drawing state
// (translation, scale, clip rectangle, colour, font, draw mode, flags). Each call turns
// the caller's coordinates into destination coordinates (float translation added, then
// truncated toward zero), clips, picks the colour and calls one virtual operation of the
// destination; only the image classes touch pixels. The state can be saved on a stack
// and a context can be copied, which is how a child is drawn with its own translation
// and clip.
//
// Sections: state; shapes; images; polygon fill (PolyFill.cpp); text (GraphicsText.cpp).
// Main thread only; a context is never shared between threads.
#pragma once

#include "graphics/Color.h"
#include "graphics/Image.h"
#include "graphics/Matrix.h"
#include "graphics/PolyFill.h"
#include "graphics/Rect.h"
#include "graphics/Transform.h"
#include "graphics/TriVertex.h"

#include <cstdint>
#include <list>
#include <string>

namespace Vaxo
{

class Font;

// Draw modes, passed as an int to every image and renderer operation.
enum
{
    DRAWMODE_NORMAL = 0,   // alpha blending
    DRAWMODE_ADDITIVE = 1, // saturating add
};

// Truncates toward zero like a C cast, but saturates at the int range (and maps NaN to
// 0) so that a far-off coordinate cannot make the conversion undefined.
int32_t TruncToInt(double value);

class GraphicsState
{
public:
    // Destination, not owned; never null (a context made on null draws into
    // StaticImage()).
    Image* mDestImage;
    // Added to every coordinate before truncation.
    float mTransX;
    float mTransY;
    // Image scale; honoured only by DrawImage at a point (and what draws through it).
    float mScaleX;
    float mScaleY;
    // Scale origin, in destination coordinates.
    float mScaleOrigX;
    float mScaleOrigY;
    // In destination coordinates; never larger than the destination.
    TRect<int> mClipRect;
    Color mColor;
    // Not owned.
    Font* mFont;
    int32_t mDrawMode;
    // Tint drawn images with mColor (else opaque white).
    bool mColorizeImages;
    // Ask for the nearest-pixel stretch.
    bool mFastStretch;
    // WriteString reads "^RRGGBB^" colour escapes.
    bool mWriteColoredString;
    // Ask for filtered sampling in matrix and triangle blits.
    bool mLinearBlend;
    // The destination is drawn by the 3D renderer.
    bool mIs3D;

public:
    // Zero clip, default colour, no destination (set by Graphics).
    GraphicsState();
    GraphicsState(const GraphicsState& other) = default;
    GraphicsState& operator=(const GraphicsState& other) = default;

    void CopyStateFrom(const GraphicsState* other);

    // The 0 x 0 placeholder destination whose operations all do nothing; made on first
    // use and never destroyed, so contexts in static objects are safe too.
    static Image* StaticImage();
};

class Graphics : public GraphicsState
{
public:
    // Active edges of the polygon being filled; valid only during PolyFill/PolyFillAA.
    Edge* mPFActiveEdgeList;
    int32_t mPFNumActiveEdges;
    int32_t mPFNumVertices;
    // Saved states; the back is the most recent.
    std::list<GraphicsState> mStateStack;

    // Vertices of the polygon being filled (not owned; valid only during a fill).
    static const TPoint<int>* mPFPoints;

public:
    // dest may be null: the context then draws (and measures) into StaticImage().
    explicit Graphics(Image* dest = nullptr);
    // Copies the state; the copy starts with an empty stack.
    Graphics(const Graphics& other);
    Graphics& operator=(const Graphics&) = delete;
    virtual ~Graphics();

    // ---- State -----------------------------------------------------------------------
    // A copy of this context; the caller deletes it.
    Graphics* Create();
    void PushState();
    // Does nothing when the stack is empty.
    void PopState();

    void SetFont(Font* font) { mFont = font; }
    Font* GetFont() { return mFont; }
    void SetColor(const Color& color);
    const Color& GetColor() { return mColor; }
    void SetDrawMode(int drawMode) { mDrawMode = drawMode; }
    int GetDrawMode() { return mDrawMode; }
    void SetColorizeImages(bool colorize) { mColorizeImages = colorize; }
    bool GetColorizeImages() { return mColorizeImages; }
    void SetFastStretch(bool fastStretch) { mFastStretch = fastStretch; }
    bool GetFastStretch() { return mFastStretch; }
    void SetLinearBlend(bool linear) { mLinearBlend = linear; }
    bool GetLinearBlend() { return mLinearBlend; }

    void Translate(int x, int y);
    void TranslateF(float x, float y);
    // The origin is given in caller coordinates and stored in destination coordinates.
    void SetScale(float scaleX, float scaleY, float origX, float origY);
    // The translated rectangle, limited to the destination.
    void SetClipRect(int x, int y, int width, int height);
    void SetClipRect(const TRect<int>& rect);
    // Shrinks the clip to its overlap with the translated rectangle.
    void ClipRect(int x, int y, int width, int height);
    void ClipRect(const TRect<int>& rect);
    void ClearClipRect();

    // ---- Shapes (caller coordinates) ----------------------------------------------------
    // Nothing when the colour's alpha is 0.
    void FillRect(int x, int y, int width, int height);
    void FillRect(const TRect<int>& rect);
    // Outline of (width + 1) x (height + 1) pixels; nothing for alpha 0 or a negative size.
    void DrawRect(int x, int y, int width, int height);
    void DrawRect(const TRect<int>& rect);
    // Sets the rectangle to transparent black, whatever the colour.
    void ClearRect(int x, int y, int width, int height);
    void ClearRect(const TRect<int>& rect);
    void DrawLine(int startX, int startY, int endX, int endY);
    void DrawLineAA(int startX, int startY, int endX, int endY);
    // Clips a segment (destination coordinates) to mClipRect in place; true when a part
    // is visible. The points stay on the segment and inside the clip.
    bool DrawLineClipHelper(double* startX, double* startY, double* endX, double* endY);

    // ---- Images -------------------------------------------------------------------------
    // Source rectangles that reach outside the image are clipped to it (or, for
    // DrawImage at a point and its mirrored form, draw nothing), so no draw reads
    // outside an image.
    void DrawImage(Image* image, int x, int y);
    void DrawImage(Image* image, int x, int y, const TRect<int>& srcRect);
    void DrawImage(Image* image, int x, int y, int stretchedWidth, int stretchedHeight);
    void DrawImage(Image* image, const TRect<int>& destRect, const TRect<int>& srcRect);
    void DrawImageF(Image* image, float x, float y);
    void DrawImageF(Image* image, float x, float y, const TRect<int>& srcRect);
    void DrawImageMirror(Image* image, int x, int y, bool mirror = true);
    void DrawImageMirror(Image* image, int x, int y, const TRect<int>& srcRect, bool mirror = true);
    void DrawImageMirror(Image* image, const TRect<int>& destRect, const TRect<int>& srcRect,
                         bool mirror = true);
    // angle in radians; (rotCenterX, rotCenterY) relative to the image's top-left corner,
    // not translated. A null srcRect means the whole image.
    void DrawImageRotatedF(Image* image, float x, float y, double angle, float rotCenterX, float rotCenterY,
                           const TRect<int>* srcRect = nullptr);
    // Rotates about the centre of the source.
    void DrawImageRotatedF(Image* image, float x, float y, double angle, const TRect<int>* srcRect = nullptr);
    void DrawImageRotated(Image* image, int x, int y, double angle, int rotCenterX, int rotCenterY,
                          const TRect<int>* srcRect = nullptr);
    void DrawImageRotated(Image* image, int x, int y, double angle, const TRect<int>* srcRect = nullptr);
    void DrawImageMatrix(Image* image, const VaxoMatrix3& matrix, float x = 0, float y = 0);
    void DrawImageMatrix(Image* image, const VaxoMatrix3& matrix, const TRect<int>& srcRect, float x,
                         float y);
    void DrawTriangleTex(Image* texture, const TriVertex& v1, const TriVertex& v2, const TriVertex& v3);
    void DrawTrianglesTex(Image* texture, const TriVertex (*triangles)[3], int numTriangles);
    // Cels outside the image's grid draw nothing.
    void DrawImageCel(Image* image, int x, int y, int cel);
    void DrawImageCel(Image* image, int x, int y, int column, int row);
    void DrawImageCel(Image* image, const TRect<int>& destRect, int cel);
    void DrawImageCel(Image* image, const TRect<int>& destRect, int column, int row);
    // The cel the image's animation shows at a time.
    void DrawImageAnim(Image* image, int x, int y, int time);
    // Nine-slice: corners once, edges and centre tiled and clipped to the box.
    void DrawImageBox(const TRect<int>& srcRect, const TRect<int>& destRect, Image* image);
    void DrawImageBox(const TRect<int>& destRect, Image* image);
    // The image centred on (x, y) under the transform; integer positions.
    void DrawImageTransform(Image* image, const Transform& transform, float x, float y);
    void DrawImageTransform(Image* image, const Transform& transform, const TRect<int>& srcRect, float x,
                            float y);
    // As above with sub-pixel positions.
    void DrawImageTransformF(Image* image, const Transform& transform, float x, float y);
    void DrawImageTransformF(Image* image, const Transform& transform, const TRect<int>& srcRect, float x,
                             float y);
    // Picks the cheapest blit the transform allows (plain, mirrored, stretched, rotated)
    // and falls back to the matrix.
    void DrawImageTransformHelper(Image* image, const Transform& transform, const TRect<int>& srcRect,
                                  float x, float y, bool useFloats);

    // ---- Polygon fill (PolyFill.cpp) ------------------------------------------------------
    // Fills by the pixel-centre and even-odd rules with mColor and mDrawMode. convex lets
    // a 3D destination take the whole polygon.
    void PolyFill(const TPoint<int>* vertices, int numVertices, bool convex = false);
    void PolyFillAA(const TPoint<int>* vertices, int numVertices, bool convex = false);
    // qsort comparators: vertex indices by the y of mPFPoints, edges by mX. They return
    // -1 for equal keys (never 0), so they suit qsort only; the fills sort with strict
    // orderings instead.
    static int PFCompareInd(const void* a, const void* b);
    static int PFCompareActive(const void* a, const void* b);
    // Appends the edge from vertex i to vertex i + 1 for scan line y.
    void PFInsert(int i, int y);
    // Removes the active edge of vertex i, keeping the order of the others.
    void PFDelete(int i);

    // ---- Text (GraphicsText.cpp); all need a font except DrawString -----------------------
    // y is the baseline. Nothing without a font.
    void DrawString(const std::string& str, int x, int y);
    int StringWidth(const std::string& str);
    // Draws (or, with draw false, only measures) characters offset .. offset + length - 1
    // (length -1: to the end) with "^RRGGBB^" colour escapes; justification 0 centres and
    // 1 right-aligns within width, others left-align. oldColor (ARGB, -1: the current
    // colour) is what "^oldclr^" returns to. Returns the width processed, in pixels.
    // Leaves mColor at the last escape's colour.
    int WriteString(const std::string& str, int x, int y, int width = -1, int justification = 0,
                    bool draw = true, int offset = 0, int length = -1, int oldColor = -1);
    // WriteString with the colour restored afterwards; returns the width.
    int DrawStringColor(const std::string& str, int x, int y, int oldColor = -1);
    // What DrawStringColor would return, drawing nothing.
    int GetColorStringWidth(const std::string& str);
    // Word-wraps str into rect.mWidth from the top of rect; returns the height used.
    // lineSpacing -1: the font's. maxWidth receives the widest line. maxChars -1: all,
    // else only the first maxChars characters are drawn. lastWidth is the width already
    // used on the first line on input and the last line's width on output.
    int WriteWordWrapped(const TRect<int>& rect, const std::string& str, int lineSpacing = -1,
                         int justification = -1, int* maxWidth = nullptr, int maxChars = -1,
                         int* lastWidth = nullptr);
    // Height WriteWordWrapped would use at this width, drawing nothing.
    int GetWordWrappedHeight(int width, const std::string& str, int lineSpacing = -1,
                             int* maxWidth = nullptr);
    // y is the first line's baseline.
    int DrawStringWordWrapped(const std::string& str, int x, int y, int wrapWidth, int lineSpacing = -1,
                              int justification = -1, int* maxWidth = nullptr);

private:
    // The colour images are drawn with: mColor when colorizing, else opaque white.
    Color Tint() const;
    // (x, y) plus the translation, truncated toward zero.
    int32_t TransX(int x) const;
    int32_t TransY(int y) const;
    // The translated rectangle (caller coordinates in), not clipped.
    TRect<int> Translated(int x, int y, int width, int height) const;
    // The part of the destination-rectangle the clip lets through.
    TRect<int> Clipped(const TRect<int>& rect) const { return rect.Intersection(mClipRect); }
    // Where a translated position lands under the scale (about the scale origin).
    int32_t ScaledX(int32_t tx) const;
    int32_t ScaledY(int32_t ty) const;
    // The destination span [lo, hi) of the caller span [a, b) on one axis, placed as the
    // image-box tiles drawn in it are placed.
    void BoxSpan(bool yAxis, int64_t a, int64_t b, int64_t& lo, int64_t& hi) const;
    // The caller span whose drawing can reach the clip on one axis, a little wide.
    void VisibleSpan(bool yAxis, int64_t& lo, int64_t& hi) const;
    template <bool AntiAlias> void PolyFillImpl(const TPoint<int>* vertices, int numVertices, bool convex);
};

// Draws str[offset .. offset + length) through g.WriteString, but no further than the
// first maxChars characters; -1 (nothing drawn) when none of the range is left.
int WriteWordWrappedHelper(Graphics* g, const std::string& str, int x, int y, int width, int justification,
                           bool draw, int offset, int length, int oldColor, int maxChars);

// str in shadowColor (ARGB; a top byte of 0 means opaque) at an offset, then str in g's
// colour on top; g's colour is unchanged afterwards.
void DrawStringWithShadow(Graphics* g, const std::string& str, int x, int y, int shadowColor, int offsetX = 1,
                          int offsetY = 1);

} // namespace Vaxo
