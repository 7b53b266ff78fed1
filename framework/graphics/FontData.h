// Internal to framework/graphics and framework/resources.
// FontData: the parsed form of one bitmap font, shared by an ImageFont and its copies.
//
// A font is an ordered list of named drawing layers (FontLayer: a glyph sheet, 256
// character records, colours, offsets, the point sizes and tags it is used for), a
// character map and a default point size. It is built from a font descriptor file,
// whose commands FontData carries out as the DescParser subclass, or from an image
// strip and a plain width file (the legacy format). Descriptor errors are shown to the
// user through the application's Popup; fonts load on the loading thread.
//
// Sections: CharData; FontLayer; FontData (loading, commands, conversions).
#pragma once

#include "graphics/Color.h"
#include "graphics/FontDescriptor.h"
#include "graphics/Rect.h"
#include "graphics/SharedImage.h"

#include <atomic>
#include <cstdint>
#include <list>
#include <map>
#include <string>
#include <vector>

namespace Vaxo
{

class FontData;
class GraphicsApp;
class Image;

class CharData
{
public:
    // The glyph's area in the layer image, in pixels.
    TRect<int> mImageRect;
    // Added to the glyph position.
    TPoint<int> mOffset;
    // Indexed by the code of the following character: added to this character's advance
    // when that character follows.
    int8_t mKerningOffsets[256];
    // Advance in pixels.
    int32_t mWidth;
    // Draw order of this character within its layer.
    int32_t mOrder;

public:
    CharData();
};

class FontLayer
{
public:
    // The owner; not owned.
    FontData* mFontData;
    // Upper-case tags that must all be set on the font.
    std::vector<std::string> mRequiredTags;
    // Upper-case tags none of which may be set on the font.
    std::vector<std::string> mExcludedTags;
    // Per character code 0-255.
    CharData mCharData[256];
    // Multiplies the text colour (channel / 255); may lie outside 0-255.
    Color mColorMult;
    // Added after multiplying; may lie outside 0-255.
    Color mColorAdd;
    // The glyph sheet; a copy of the layer shares it.
    SharedImageRef mImage;
    // Graphics draw mode for this layer; -1 keeps the current one.
    int32_t mDrawMode;
    // Added to every glyph position.
    TPoint<int> mOffset;
    // Added to every kerning value.
    int32_t mSpacing;
    // Font point sizes that use the layer; a maximum of -1 means no limit.
    int32_t mMinPointSize;
    int32_t mMaxPointSize;
    // Design size of the glyphs; 0: the layer does not scale with the point size.
    int32_t mPointSize;
    // Pixels above the baseline.
    int32_t mAscent;
    int32_t mAscentPadding;
    // Line height; 0 means mDefaultHeight.
    int32_t mHeight;
    // Line height derived from the glyphs.
    int32_t mDefaultHeight;
    int32_t mLineSpacingOffset;
    // Draw order of the whole layer (a shadow under, an outline over the others).
    int32_t mBaseOrder;

public:
    explicit FontLayer(FontData* fontData);
    FontLayer(const FontLayer& other) = default;
    FontLayer& operator=(const FontLayer&) = delete;
};

class FontData : public DescParser
{
public:
    // Most layers one font may have; each carries 256 character records and kerning
    // tables, so a damaged file must not create them without bound.
    static constexpr int32_t kMaxLayers = 256;

    // True once a descriptor or width file loaded successfully.
    bool mInitialized;
    // ImageFont objects sharing this data (several threads may copy fonts).
    std::atomic<int32_t> mRefCount;
    // Set by Load; used for messages and image loading. Not owned; null for legacy and
    // bare-image fonts.
    GraphicsApp* mApp;
    int32_t mDefaultPointSize;
    // Code of drawn text -> code whose CharData is used; identity at construction.
    uint8_t mCharMap[256];
    // In creation order: the order layers are considered and drawn.
    std::list<FontLayer> mFontLayerList;
    // Upper-case name -> layer in mFontLayerList.
    std::map<std::string, FontLayer*> mFontLayerMap;
    // The descriptor or width file.
    std::string mSourceFile;
    // "Font Descriptor Error in " + path + "\r\n".
    std::string mFontErrorHeader;

public:
    FontData();
    ~FontData() override;

    // Loads a descriptor; false (nothing changed) when already initialised, else true:
    // callers learn from mInitialized whether the font loaded.
    bool Load(GraphicsApp* app, const std::string& path);
    // Loads the legacy format: image (not owned) and a width file.
    bool LoadLegacy(Image* image, const std::string& path);

    void Ref();
    // Deletes the object when the last user is gone.
    void DeRef();

    // Shows the message with file, line and command through the application's Popup;
    // always false. Silent without an application.
    bool Error(const std::string& message) override;
    bool HandleCommand(const ListDataElement& command) override;

    bool DataToLayer(DataElement* e, FontLayer** out);
    bool GetColorFromDataElement(DataElement* e, Color& out);

    // The application that makes images for this font: its own, else the global one.
    GraphicsApp* ImageApp() const;

private:
    // A new layer at the end of the list, unnamed; null (with an error) past kMaxLayers.
    FontLayer* AppendLayer(const FontLayer* copyFrom);
    // Names a new layer; a taken name reports "Layer Already Exists" and keeps the old.
    void NameLayer(const std::string& upperName, FontLayer* layer);

    bool CmdDefine(const ListDataElement& c);
    bool CmdCreateHorzSpanRectList(const ListDataElement& c);
    bool CmdSetDefaultPointSize(const ListDataElement& c);
    bool CmdSetCharMap(const ListDataElement& c);
    bool CmdCreateLayer(const ListDataElement& c);
    bool CmdCreateLayerFrom(const ListDataElement& c);
    bool CmdLayerTags(const ListDataElement& c, bool required);
    bool CmdLayerPointRange(const ListDataElement& c);
    bool CmdLayerInt(const ListDataElement& c, int32_t FontLayer::*field, bool nonNegative);
    bool CmdLayerSetImage(const ListDataElement& c);
    bool CmdLayerSetDrawMode(const ListDataElement& c);
    bool CmdLayerColor(const ListDataElement& c, Color FontLayer::*field);
    bool CmdLayerSetOffset(const ListDataElement& c);
    bool CmdLayerCharInts(const ListDataElement& c, int32_t CharData::*field);
    bool CmdLayerSetImageMap(const ListDataElement& c);
    bool CmdLayerSetCharOffsets(const ListDataElement& c);
    bool CmdLayerSetKerningPairs(const ListDataElement& c);
};

} // namespace Vaxo
