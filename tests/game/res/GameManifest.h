// The game's manifest, generated from the binding's own id list (ResourceIds.inc): the
// nine groups with every id, and small files for each resource. Images cycle through
// the kinds the game uses (PNG, JPEG with an alpha companion, TGA, GIF, sprite sheets
// with an alpha grid, animations, separate alpha files); fonts are descriptor fonts
// with glyph pictures, one legacy width-file font, one system font and one "!ref:"
// copy; sounds are WAVs and one OGG. Tests and benchmarks share it.
#pragma once

#include "resources/ResourceTestFiles.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace Vaxo
{

struct GameResourceEntry
{
    std::string mGroup;
    char mKind; // 'I'mage, 'S'ound, 'F'ont
    std::string mName;
};

// Every resource in id order.
inline const std::vector<GameResourceEntry>& GameResourceList()
{
    static const std::vector<GameResourceEntry> list = []
    {
        struct Group
        {
            const char* name;
            std::vector<std::pair<char, const char*>> entries;
        };
        const Group groups[] = {
#define VAXO_RESOURCE_GROUP(group, ...) {#group, {__VA_ARGS__}},
#define VAXO_IMAGE(name) {'I', #name},
#define VAXO_FONT(name) {'F', #name},
#define VAXO_SOUND(name) {'S', #name},
#include "../../../game/res/ResourceIds.inc"
#undef VAXO_RESOURCE_GROUP
#undef VAXO_IMAGE
#undef VAXO_FONT
#undef VAXO_SOUND
        };
        std::vector<GameResourceEntry> result;
        for (const Group& group : groups)
            for (const auto& entry : group.entries)
                result.push_back({group.name, entry.first, entry.second});
        return result;
    }();
    return list;
}

// Image kinds of the generated files, in the order images cycle through them.
enum GameImageKind
{
    kGamePng,
    kGameJpegWithAlpha,
    kGameTga,
    kGameGif,
    kGameSheet,
    kGameAnim,
    kGameAlphaImage,
    kGameImageKinds
};

struct GameManifestOptions
{
    // Side of a plain image in pixels (a multiple of 4); sheets are 4 cels wide, 2 high.
    int mImageSide = 4;
    // Frames of each WAV (22050 Hz).
    int mWavFrames = 64;
    // Path attribute per id, replacing the generated one ("!empty", a missing file).
    std::map<std::string, std::string> mPathOverrides;
    // An OGG file to copy for the one OGG sound; empty: every sound is a WAV.
    std::string mOggSource;
};

// The game's images' kind by index among the images.
inline GameImageKind GameImageKindOf(int imageIndex)
{
    return GameImageKind(imageIndex % kGameImageKinds);
}

namespace detail
{

inline std::string XmlAttr(const char* name, const std::string& value)
{
    return std::string(" ") + name + "=\"" + value + "\"";
}

inline uint32_t Shade(int index)
{
    return 0xFF000000u | (uint32_t(index) * 0x010203u & 0x00FFFFFFu);
}

// The declaration of one image, its files written.
inline std::string GameImage(const TempFolder& folder, const GameResourceEntry& entry, int index,
                             const GameManifestOptions& options)
{
    const std::string dir = folder.Dir();
    const std::string base = "images/" + entry.mName;
    const int side = options.mImageSide;
    std::string attrs;
    switch (GameImageKindOf(index))
    {
    case kGamePng:
        WriteImageFile(dir + base + ".png", side, side, Shade(index));
        break;
    case kGameJpegWithAlpha:
        WriteImageFile(dir + base + ".jpg", side, side, Shade(index));
        WriteImageFile(dir + base + "_.png", side, side, 0xFF000080);
        break;
    case kGameTga:
        WriteImageFile(dir + base + ".tga", side, side, Shade(index) & 0x80FFFFFF);
        break;
    case kGameGif:
        folder.Write(base + ".gif", TinyGif());
        break;
    case kGameSheet:
    {
        auto sheet =
            MakeFileImage(side * 4, side * 2, [index](int x, int y) { return Shade(index + x + y); });
        ImageLib::WritePNGImage(dir + base + ".png", sheet.get());
        auto grid =
            MakeFileImage(side, side, [](int x, int y) { return 0xFF000000u | uint32_t(x * 16 + y); });
        ImageLib::WritePNGImage(dir + base + "_grid.png", grid.get());
        attrs = XmlAttr("rows", "2") + XmlAttr("cols", "4") + XmlAttr("alphagrid", base + "_grid.png");
        break;
    }
    case kGameAnim:
        WriteImageFile(dir + base + ".png", side * 4, side, Shade(index));
        attrs = XmlAttr("cols", "4") + XmlAttr("anim", "loop") + XmlAttr("framedelay", "5");
        break;
    case kGameAlphaImage:
        WriteImageFile(dir + base + ".png", side, side, Shade(index));
        WriteImageFile(dir + base + "_a.png", side, side, 0xFF000040);
        attrs = XmlAttr("alphaimage", base + "_a.png") + XmlAttr("nopal", "");
        break;
    default:
        break;
    }
    return "<Image" + XmlAttr("id", entry.mName) + XmlAttr("path", base) + attrs + "/>";
}

inline std::string GameFont(const TempFolder& folder, const GameResourceEntry& entry, int index,
                            const std::string& firstFont)
{
    const std::string dir = folder.Dir();
    const std::string base = "fonts/" + entry.mName;
    switch (index)
    {
    case 4:
        return "<Font" + XmlAttr("id", entry.mName) + XmlAttr("path", "!sys:Sans") + XmlAttr("size", "10") +
               "/>";
    case 6:
        WriteImageFile(dir + base + ".png", 30, 12, 0xFFFFFFFF);
        folder.Write(base + ".txt", "4 10 0 3 1 3 2 3 3 3 4 3 5 3 6 3 7 3 8 3 9 3");
        return "<Font" + XmlAttr("id", entry.mName) + XmlAttr("path", base + ".txt") +
               XmlAttr("image", dir + base + ".png") + "/>";
    case 9:
        return "<Font" + XmlAttr("id", entry.mName) + XmlAttr("path", "!ref:" + firstFont) +
               XmlAttr("tags", "outline") + "/>";
    default:
        WriteImageFile(dir + base + ".png", 64, 16, 0xFFFFFFFF);
        folder.Write(base + ".txt",
                     "CreateLayer Main;\n"
                     "LayerSetImage Main '" +
                         entry.mName +
                         ".png';\n"
                         "LayerSetImageMap Main ('a' 'b' 'c') ((0 0 4 8) (4 0 6 8) (10 0 5 8));\n"
                         "LayerSetCharWidths Main ('a' 'b' 'c') (5 7 6);\n"
                         "LayerSetAscent Main 6;\n");
        return "<Font" + XmlAttr("id", entry.mName) + XmlAttr("path", base + ".txt") + "/>";
    }
}

inline std::string GameSound(const TempFolder& folder, const GameResourceEntry& entry, int index,
                             const GameManifestOptions& options)
{
    const std::string base = "sounds/" + entry.mName;
    if (index == 1 && !options.mOggSource.empty())
    {
        std::ifstream in(options.mOggSource, std::ios::binary);
        folder.Write(base + ".ogg", std::string(std::istreambuf_iterator<char>(in), {}));
    }
    else
    {
        folder.Write(base + ".wav", TinyWav(options.mWavFrames));
    }
    return "<Sound" + XmlAttr("id", entry.mName) + XmlAttr("path", base) +
           (index % 3 == 0 ? XmlAttr("volume", "0.8") : "") + "/>";
}

} // namespace detail

// Writes the manifest and every file into the folder; answers the manifest's path.
inline std::string WriteGameManifest(const TempFolder& folder, const GameManifestOptions& options = {})
{
    const auto& list = GameResourceList();
    std::string firstFont;
    for (const auto& entry : list)
        if (entry.mKind == 'F' && firstFont.empty())
            firstFont = entry.mName;

    std::string xml = "<?xml version=\"1.0\"?>\n<ResourceManifest>\n";
    int images = 0, sounds = 0, fonts = 0;
    std::string group;
    for (const auto& entry : list)
    {
        if (entry.mGroup != group)
        {
            xml += (group.empty() ? "" : "</Resources>\n") + std::string("<Resources id=\"") + entry.mGroup +
                   "\">\n";
            if (group.empty())
                xml += "<SetDefaults" + detail::XmlAttr("path", folder.Dir()) + "/>\n";
            group = entry.mGroup;
        }
        std::string line;
        if (entry.mKind == 'I')
            line = detail::GameImage(folder, entry, images++, options);
        else if (entry.mKind == 'F')
            line = detail::GameFont(folder, entry, fonts++, firstFont);
        else
            line = detail::GameSound(folder, entry, sounds++, options);
        auto over = options.mPathOverrides.find(entry.mName);
        if (over != options.mPathOverrides.end())
        {
            size_t at = line.find(" path=\"") + 7;
            line.replace(at, line.find('"', at) - at, over->second);
        }
        xml += "  " + line + "\n";
    }
    xml += "</Resources>\n</ResourceManifest>\n";
    return folder.Write("properties/resources.xml", xml);
}

} // namespace Vaxo
