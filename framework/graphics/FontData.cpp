#include "graphics/FontData.h"

#include "common/Common.h"
#include "graphics/Graphics.h"
#include "graphics/GraphicsApp.h"
#include "graphics/MemoryImage.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>

namespace Vaxo
{

static_assert(sizeof(CharData::mKerningOffsets) == 256, "one signed byte per following character");

namespace
{
const char kTypeError[] = "Invalid Paramater Type";
const char kSizeMismatch[] = "List Size Mismatch";

int32_t Clamp32(int64_t value)
{
    return int32_t(std::max<int64_t>(INT32_MIN, std::min<int64_t>(INT32_MAX, value)));
}

// A single value's text as written (no define lookup, no unquoting).
bool ReadInt(const DataElement* e, int* out)
{
    *out = 0;
    if (e == nullptr || e->mIsList)
        return false;
    return StringToInt(static_cast<const SingleDataElement*>(e)->mString, out);
}

bool ReadName(const DataElement* e, std::string* out)
{
    if (e == nullptr || e->mIsList)
        return false;
    *out = StringToUpper(static_cast<const SingleDataElement*>(e)->mString);
    return true;
}

uint8_t Code(const std::string& oneChar)
{
    return static_cast<uint8_t>(oneChar[0]);
}

// Reads the legacy width file the way whitespace-separated scanning does.
class WidthFileReader
{
public:
    explicit WidthFileReader(FILE* file) : mFile(file) {}

    // The next non-blank character; false at the end of the file.
    bool ReadChar(char* out)
    {
        int c = SkipBlanks();
        if (c == EOF)
            return false;
        *out = static_cast<char>(c);
        return true;
    }

    // A decimal integer (saturating at the int range); false, leaving the next
    // character unread, when there is none.
    bool ReadInt(int32_t* out)
    {
        *out = 0;
        int c = SkipBlanks();
        bool negative = false;
        if (c == '-' || c == '+')
        {
            negative = c == '-';
            c = std::getc(mFile);
        }
        if (c < '0' || c > '9')
        {
            if (c != EOF)
                std::ungetc(c, mFile);
            return false;
        }
        int64_t value = 0;
        while (c >= '0' && c <= '9')
        {
            value = std::min<int64_t>(value * 10 + (c - '0'), int64_t(1) << 32);
            c = std::getc(mFile);
        }
        if (c != EOF)
            std::ungetc(c, mFile);
        *out = Clamp32(negative ? -value : value);
        return true;
    }

private:
    int SkipBlanks()
    {
        int c;
        do
            c = std::getc(mFile);
        while (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f');
        return c;
    }

    FILE* mFile;
};
} // namespace

// ---- CharData and FontLayer -----------------------------------------------------------------

CharData::CharData() : mImageRect(), mOffset(), mWidth(0), mOrder(0)
{
    std::memset(mKerningOffsets, 0, sizeof(mKerningOffsets));
}

FontLayer::FontLayer(FontData* fontData)
    : mFontData(fontData), mColorMult(255, 255, 255, 255), mColorAdd(0, 0, 0, 0), mDrawMode(-1), mOffset(),
      mSpacing(0), mMinPointSize(-1), mMaxPointSize(-1), mPointSize(0), mAscent(0), mAscentPadding(0),
      mHeight(0), mDefaultHeight(0), mLineSpacingOffset(0), mBaseOrder(0)
{
}

// ---- FontData ------------------------------------------------------------------------------

FontData::FontData() : mInitialized(false), mRefCount(0), mApp(nullptr), mDefaultPointSize(0)
{
    for (int i = 0; i < 256; ++i)
        mCharMap[i] = static_cast<uint8_t>(i);
}

FontData::~FontData() = default;

void FontData::Ref()
{
    ++mRefCount;
}

void FontData::DeRef()
{
    if (--mRefCount <= 0)
        delete this;
}

GraphicsApp* FontData::ImageApp() const
{
    return mApp != nullptr ? mApp : gGraphicsApp;
}

bool FontData::Load(GraphicsApp* app, const std::string& path)
{
    if (mInitialized)
        return false;
    mApp = app;
    mCurrentLine.clear();
    mFontErrorHeader = "Font Descriptor Error in " + path + "\r\n";
    mSourceFile = path;
    mInitialized = LoadDescriptor(path);
    return true;
}

bool FontData::LoadLegacy(Image* image, const std::string& path)
{
    if (mInitialized)
        return false;
    FontLayer* layer = AppendLayer(nullptr);
    if (layer == nullptr)
        return false;
    mFontLayerMap.emplace(std::string(), layer);
    layer->mImage = dynamic_cast<MemoryImage*>(image);
    const int32_t imageWidth = image != nullptr ? std::max(0, image->GetWidth()) : 0;
    const int32_t imageHeight = image != nullptr ? std::max(0, image->GetHeight()) : 0;
    layer->mDefaultHeight = imageHeight;
    layer->mAscent = imageHeight;

    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return false;
    mSourceFile = path;
    WidthFileReader reader(file);

    int32_t spaceWidth = 0;
    int32_t ascent = 0;
    reader.ReadInt(&spaceWidth);
    reader.ReadInt(&ascent);
    bool ok = spaceWidth >= 0;
    layer->mCharData[uint8_t(' ')].mWidth = spaceWidth;
    layer->mAscent = ascent;

    int64_t x = 0;
    char c;
    while (ok && reader.ReadChar(&c))
    {
        int32_t width = 0;
        reader.ReadInt(&width);
        if (width < 0)
        {
            ok = false;
            break;
        }
        // The glyphs are meant to fill the strip; a file that claims more than the
        // image holds gets its rectangles cut at the image's edge.
        CharData& cd = layer->mCharData[static_cast<uint8_t>(c)];
        const int32_t left = int32_t(std::min<int64_t>(x, imageWidth));
        const int32_t visible = int32_t(std::min<int64_t>(width, imageWidth - left));
        cd.mImageRect = TRect<int>(left, 0, visible, imageHeight);
        cd.mWidth = width;
        x += width;
    }
    std::fclose(file);
    if (!ok)
    {
        // No popup: a width-file font has no application; the reason stays in mError.
        DescParser::Error("Negative Character Width");
        return false;
    }

    for (int upper = 'A'; upper <= 'Z'; ++upper)
    {
        const int lower = upper - 'A' + 'a';
        if (layer->mCharData[upper].mWidth == 0 && layer->mCharData[lower].mWidth != 0)
            mCharMap[upper] = static_cast<uint8_t>(lower);
    }
    for (int upper = 'A'; upper <= 'Z'; ++upper)
    {
        const int lower = upper - 'A' + 'a';
        if (layer->mCharData[lower].mWidth == 0 && layer->mCharData[upper].mWidth != 0)
            mCharMap[lower] = static_cast<uint8_t>(upper);
    }
    mInitialized = true;
    return true;
}

bool FontData::Error(const std::string& message)
{
    if (mApp == nullptr)
        return false;
    std::string text = mFontErrorHeader + message;
    if (!mCurrentLine.empty())
        text += " on Line " + StrFormat("%d:\r\n\r\n", mCurrentLineNum) + mCurrentLine;
    mApp->Popup(text, false);
    return false;
}

bool FontData::DataToLayer(DataElement* e, FontLayer** out)
{
    *out = nullptr;
    std::string name;
    if (!ReadName(e, &name))
        return false;
    auto it = mFontLayerMap.find(name);
    if (it == mFontLayerMap.end())
        return Error("Undefined Layer");
    *out = it->second;
    return true;
}

bool FontData::GetColorFromDataElement(DataElement* e, Color& out)
{
    if (e == nullptr)
        return false;
    if (e->mIsList)
    {
        std::vector<double> factors;
        if (!DataToDoubleVector(e, &factors) || factors.size() != 4)
            return false;
        // Saturating: a factor may be any size in a hand-edited file.
        out = Color(TruncToInt(factors[0] * 255), TruncToInt(factors[1] * 255), TruncToInt(factors[2] * 255),
                    TruncToInt(factors[3] * 255));
        return true;
    }
    int packed;
    if (!ReadInt(e, &packed))
        return false;
    out = Color(packed);
    return true;
}

FontLayer* FontData::AppendLayer(const FontLayer* copyFrom)
{
    if (int32_t(mFontLayerList.size()) >= kMaxLayers)
    {
        Error("Too Many Layers");
        return nullptr;
    }
    if (copyFrom != nullptr)
        mFontLayerList.push_back(*copyFrom);
    else
        mFontLayerList.emplace_back(this);
    return &mFontLayerList.back();
}

void FontData::NameLayer(const std::string& upperName, FontLayer* layer)
{
    if (!mFontLayerMap.emplace(upperName, layer).second)
        Error("Layer Already Exists");
}

bool FontData::HandleCommand(const ListDataElement& command)
{
    using Handler = bool (*)(FontData*, const ListDataElement&);
    struct Entry
    {
        const char* name;
        size_t count;
        Handler handler;
    };
    static const Entry kCommands[] = {
        {"Define", 3, [](FontData* d, const ListDataElement& c) { return d->CmdDefine(c); }},
        {"CreateHorzSpanRectList", 4,
         [](FontData* d, const ListDataElement& c) { return d->CmdCreateHorzSpanRectList(c); }},
        {"SetDefaultPointSize", 2,
         [](FontData* d, const ListDataElement& c) { return d->CmdSetDefaultPointSize(c); }},
        {"SetCharMap", 3, [](FontData* d, const ListDataElement& c) { return d->CmdSetCharMap(c); }},
        {"CreateLayer", 2, [](FontData* d, const ListDataElement& c) { return d->CmdCreateLayer(c); }},
        {"CreateLayerFrom", 3,
         [](FontData* d, const ListDataElement& c) { return d->CmdCreateLayerFrom(c); }},
        {"LayerRequireTags", 3,
         [](FontData* d, const ListDataElement& c) { return d->CmdLayerTags(c, true); }},
        {"LayerExcludeTags", 3,
         [](FontData* d, const ListDataElement& c) { return d->CmdLayerTags(c, false); }},
        {"LayerPointRange", 4,
         [](FontData* d, const ListDataElement& c) { return d->CmdLayerPointRange(c); }},
        {"LayerSetPointSize", 3,
         [](FontData* d, const ListDataElement& c)
         { return d->CmdLayerInt(c, &FontLayer::mPointSize, true); }},
        {"LayerSetHeight", 3,
         [](FontData* d, const ListDataElement& c) { return d->CmdLayerInt(c, &FontLayer::mHeight, false); }},
        {"LayerSetImage", 3, [](FontData* d, const ListDataElement& c) { return d->CmdLayerSetImage(c); }},
        {"LayerSetDrawMode", 3,
         [](FontData* d, const ListDataElement& c) { return d->CmdLayerSetDrawMode(c); }},
        {"LayerSetColorMult", 3,
         [](FontData* d, const ListDataElement& c) { return d->CmdLayerColor(c, &FontLayer::mColorMult); }},
        {"LayerSetColorAdd", 3,
         [](FontData* d, const ListDataElement& c) { return d->CmdLayerColor(c, &FontLayer::mColorAdd); }},
        {"LayerSetAscent", 3,
         [](FontData* d, const ListDataElement& c) { return d->CmdLayerInt(c, &FontLayer::mAscent, false); }},
        {"LayerSetAscentPadding", 3,
         [](FontData* d, const ListDataElement& c)
         { return d->CmdLayerInt(c, &FontLayer::mAscentPadding, false); }},
        {"LayerSetLineSpacingOffset", 3,
         [](FontData* d, const ListDataElement& c)
         { return d->CmdLayerInt(c, &FontLayer::mLineSpacingOffset, false); }},
        {"LayerSetOffset", 3, [](FontData* d, const ListDataElement& c) { return d->CmdLayerSetOffset(c); }},
        {"LayerSetCharWidths", 4,
         [](FontData* d, const ListDataElement& c) { return d->CmdLayerCharInts(c, &CharData::mWidth); }},
        {"LayerSetSpacing", 3,
         [](FontData* d, const ListDataElement& c)
         { return d->CmdLayerInt(c, &FontLayer::mSpacing, false); }},
        {"LayerSetImageMap", 4,
         [](FontData* d, const ListDataElement& c) { return d->CmdLayerSetImageMap(c); }},
        {"LayerSetCharOffsets", 4,
         [](FontData* d, const ListDataElement& c) { return d->CmdLayerSetCharOffsets(c); }},
        {"LayerSetKerningPairs", 4,
         [](FontData* d, const ListDataElement& c) { return d->CmdLayerSetKerningPairs(c); }},
        {"LayerSetBaseOrder", 3,
         [](FontData* d, const ListDataElement& c)
         { return d->CmdLayerInt(c, &FontLayer::mBaseOrder, false); }},
        {"LayerSetCharOrders", 4,
         [](FontData* d, const ListDataElement& c) { return d->CmdLayerCharInts(c, &CharData::mOrder); }},
    };

    if (command.mElementVector.empty() || command.mElementVector[0]->mIsList)
        return Error("Unknown Command");
    const std::string& name = static_cast<const SingleDataElement*>(command.mElementVector[0])->mString;
    for (const Entry& entry : kCommands)
    {
        if (stricmp(name.c_str(), entry.name) != 0)
            continue;
        if (command.mElementVector.size() != entry.count)
            return Error("Invalid Number of Parameters");
        return entry.handler(this, command);
    }
    return Error("Unknown Command");
}

// ---- Commands (element 0 is the command name; the counts are checked) ----------------------

bool FontData::CmdDefine(const ListDataElement& c)
{
    DataElement* nameElement = c.mElementVector[1];
    DataElement* valueElement = c.mElementVector[2];
    std::string name;
    if (!ReadName(nameElement, &name) || IsImmediate(name))
        return Error(kTypeError);
    // Taken out before the value is resolved, so the value can never copy (or point
    // into) the define it replaces.
    RemoveDefine(name);
    DataElement* value = nullptr;
    if (valueElement->mIsList)
    {
        ListDataElement* list = new ListDataElement();
        if (!GetValues(static_cast<ListDataElement*>(valueElement), list))
        {
            delete list;
            return false;
        }
        value = list;
    }
    else
    {
        DataElement* define = Dereference(static_cast<SingleDataElement*>(valueElement)->mString);
        value = define != nullptr ? define->Duplicate() : valueElement->Duplicate();
    }
    return SetDefine(name, value);
}

bool FontData::CmdCreateHorzSpanRectList(const ListDataElement& c)
{
    std::string name;
    std::vector<int> rect;
    std::vector<int> widths;
    if (!ReadName(c.mElementVector[1], &name) || !DataToIntVector(c.mElementVector[2], &rect) ||
        rect.size() != 4 || !DataToIntVector(c.mElementVector[3], &widths))
        return Error(kTypeError);
    ListDataElement* list = new ListDataElement();
    int64_t x = rect[0];
    for (int width : widths)
    {
        if (x < INT32_MIN || x > INT32_MAX)
        {
            delete list;
            return Error(kTypeError);
        }
        ListDataElement* span = new ListDataElement();
        list->mElementVector.push_back(span);
        for (int64_t v : {x, int64_t(rect[1]), int64_t(width), int64_t(rect[3])})
            span->mElementVector.push_back(
                new SingleDataElement(StrFormat("%lld", static_cast<long long>(v))));
        x += width;
    }
    return SetDefine(name, list);
}

bool FontData::CmdSetDefaultPointSize(const ListDataElement& c)
{
    int size;
    if (!ReadInt(c.mElementVector[1], &size) || size < 0)
        return Error(kTypeError);
    mDefaultPointSize = size;
    return true;
}

bool FontData::CmdSetCharMap(const ListDataElement& c)
{
    std::vector<std::string> from;
    std::vector<std::string> to;
    if (!DataToStringVector(c.mElementVector[1], &from) || !DataToStringVector(c.mElementVector[2], &to))
        return Error(kTypeError);
    if (from.size() != to.size())
        return Error(kSizeMismatch);
    bool malformed = false;
    for (size_t i = 0; i < from.size(); ++i)
    {
        if (from[i].size() != 1 || to[i].size() != 1)
        {
            malformed = true;
            continue;
        }
        mCharMap[Code(from[i])] = Code(to[i]);
    }
    return malformed ? Error(kTypeError) : true;
}

bool FontData::CmdCreateLayer(const ListDataElement& c)
{
    std::string name;
    if (!ReadName(c.mElementVector[1], &name))
        return Error(kTypeError);
    FontLayer* layer = AppendLayer(nullptr);
    if (layer == nullptr)
        return false;
    NameLayer(name, layer);
    return true;
}

bool FontData::CmdCreateLayerFrom(const ListDataElement& c)
{
    std::string name;
    FontLayer* source;
    if (!ReadName(c.mElementVector[1], &name) || !DataToLayer(c.mElementVector[2], &source))
        return Error(kTypeError);
    FontLayer* layer = AppendLayer(source);
    if (layer == nullptr)
        return false;
    NameLayer(name, layer);
    return true;
}

bool FontData::CmdLayerTags(const ListDataElement& c, bool required)
{
    FontLayer* layer;
    std::vector<std::string> tags;
    if (!DataToLayer(c.mElementVector[1], &layer) || !DataToStringVector(c.mElementVector[2], &tags))
        return Error(kTypeError);
    std::vector<std::string>& target = required ? layer->mRequiredTags : layer->mExcludedTags;
    for (const std::string& tag : tags)
        target.push_back(StringToUpper(tag));
    return true;
}

bool FontData::CmdLayerPointRange(const ListDataElement& c)
{
    FontLayer* layer;
    int minSize;
    int maxSize;
    if (!DataToLayer(c.mElementVector[1], &layer) || !ReadInt(c.mElementVector[2], &minSize) ||
        !ReadInt(c.mElementVector[3], &maxSize))
        return Error(kTypeError);
    layer->mMinPointSize = minSize;
    layer->mMaxPointSize = maxSize;
    return true;
}

bool FontData::CmdLayerInt(const ListDataElement& c, int32_t FontLayer::*field, bool nonNegative)
{
    FontLayer* layer;
    int value;
    if (!DataToLayer(c.mElementVector[1], &layer) || !ReadInt(c.mElementVector[2], &value) ||
        (nonNegative && value < 0))
        return Error(kTypeError);
    layer->*field = value;
    return true;
}

bool FontData::CmdLayerSetImage(const ListDataElement& c)
{
    FontLayer* layer;
    std::string file;
    if (!DataToLayer(c.mElementVector[1], &layer) || !DataToString(c.mElementVector[2], &file))
        return Error(kTypeError);
    if (mApp == nullptr)
        return Error("Failed to Load Image");
    const std::string path = GetPathFrom(file, GetFileDir(mSourceFile, false));
    bool isNew = false;
    SharedImageRef image = mApp->GetSharedImage(path, "", &isNew);
    MemoryImage* memoryImage = image;
    if (memoryImage == nullptr)
        return Error("Failed to Load Image");
    if (isNew)
        memoryImage->Palletize();
    layer->mImage = image;
    return true;
}

bool FontData::CmdLayerSetDrawMode(const ListDataElement& c)
{
    FontLayer* layer;
    int mode;
    if (!DataToLayer(c.mElementVector[1], &layer) || !ReadInt(c.mElementVector[2], &mode) ||
        (mode != DRAWMODE_NORMAL && mode != DRAWMODE_ADDITIVE))
        return Error(kTypeError);
    layer->mDrawMode = mode;
    return true;
}

bool FontData::CmdLayerColor(const ListDataElement& c, Color FontLayer::*field)
{
    FontLayer* layer;
    Color color;
    if (!DataToLayer(c.mElementVector[1], &layer) || !GetColorFromDataElement(c.mElementVector[2], color))
        return Error(kTypeError);
    layer->*field = color;
    return true;
}

bool FontData::CmdLayerSetOffset(const ListDataElement& c)
{
    FontLayer* layer;
    std::vector<int> offset;
    if (!DataToLayer(c.mElementVector[1], &layer) || !DataToIntVector(c.mElementVector[2], &offset) ||
        offset.size() != 2)
        return Error(kTypeError);
    layer->mOffset = TPoint<int>(offset[0], offset[1]);
    return true;
}

bool FontData::CmdLayerCharInts(const ListDataElement& c, int32_t CharData::*field)
{
    FontLayer* layer;
    std::vector<std::string> chars;
    std::vector<int> values;
    if (!DataToLayer(c.mElementVector[1], &layer) || !DataToStringVector(c.mElementVector[2], &chars) ||
        !DataToIntVector(c.mElementVector[3], &values))
        return Error(kTypeError);
    if (chars.size() != values.size())
        return Error(kSizeMismatch);
    bool malformed = false;
    for (size_t i = 0; i < chars.size(); ++i)
    {
        if (chars[i].size() != 1)
        {
            malformed = true;
            continue;
        }
        layer->mCharData[Code(chars[i])].*field = values[i];
    }
    return malformed ? Error(kTypeError) : true;
}

bool FontData::CmdLayerSetImageMap(const ListDataElement& c)
{
    FontLayer* layer;
    std::vector<std::string> chars;
    ListDataElement rects;
    if (!DataToLayer(c.mElementVector[1], &layer) || !DataToStringVector(c.mElementVector[2], &chars) ||
        !DataToList(c.mElementVector[3], &rects))
        return Error(kTypeError);
    if (chars.size() != rects.mElementVector.size())
        return Error(kSizeMismatch);
    Image* image = layer->mImage;
    if (image == nullptr)
        return Error("Layer image not set");
    const int64_t imageWidth = image->GetWidth();
    const int64_t imageHeight = image->GetHeight();
    bool malformed = false;
    for (size_t i = 0; i < chars.size(); ++i)
    {
        std::vector<int> r;
        if (chars[i].size() != 1 || !DataToIntVector(rects.mElementVector[i], &r) || r.size() != 4)
        {
            malformed = true;
            continue;
        }
        // 64-bit: x + w of two large ints must not wrap back inside the image.
        const int64_t x = r[0], y = r[1], w = r[2], h = r[3];
        if (x < 0 || y < 0 || w < 0 || h < 0 || x + w > imageWidth || y + h > imageHeight)
            return Error("Image rectangle out of bounds");
        layer->mCharData[Code(chars[i])].mImageRect = TRect<int>(r[0], r[1], r[2], r[3]);
    }
    int64_t tallest = 0;
    for (const CharData& cd : layer->mCharData)
        tallest = std::max<int64_t>(tallest, int64_t(cd.mImageRect.mHeight) + cd.mOffset.mY);
    layer->mDefaultHeight = Clamp32(tallest);
    return malformed ? Error(kTypeError) : true;
}

bool FontData::CmdLayerSetCharOffsets(const ListDataElement& c)
{
    FontLayer* layer;
    std::vector<std::string> chars;
    ListDataElement offsets;
    if (!DataToLayer(c.mElementVector[1], &layer) || !DataToStringVector(c.mElementVector[2], &chars) ||
        !DataToList(c.mElementVector[3], &offsets))
        return Error(kTypeError);
    if (chars.size() != offsets.mElementVector.size())
        return Error(kSizeMismatch);
    bool malformed = false;
    for (size_t i = 0; i < chars.size(); ++i)
    {
        std::vector<int> offset;
        if (chars[i].size() != 1 || !DataToIntVector(offsets.mElementVector[i], &offset) ||
            offset.size() != 2)
        {
            malformed = true;
            continue;
        }
        layer->mCharData[Code(chars[i])].mOffset = TPoint<int>(offset[0], offset[1]);
    }
    return malformed ? Error(kTypeError) : true;
}

bool FontData::CmdLayerSetKerningPairs(const ListDataElement& c)
{
    FontLayer* layer;
    std::vector<std::string> pairs;
    std::vector<int> values;
    if (!DataToLayer(c.mElementVector[1], &layer) || !DataToStringVector(c.mElementVector[2], &pairs) ||
        !DataToIntVector(c.mElementVector[3], &values))
        return Error(kTypeError);
    if (pairs.size() != values.size())
        return Error(kSizeMismatch);
    bool malformed = false;
    for (size_t i = 0; i < pairs.size(); ++i)
    {
        if (pairs[i].size() != 2)
        {
            malformed = true;
            continue;
        }
        // Kept as the low 8 bits, signed, as the tables have always stored them.
        layer->mCharData[Code(pairs[i])].mKerningOffsets[static_cast<uint8_t>(pairs[i][1])] =
            static_cast<int8_t>(static_cast<uint8_t>(values[i] & 0xFF));
    }
    return malformed ? Error(kTypeError) : true;
}

} // namespace Vaxo
