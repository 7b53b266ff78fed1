// The game's manifest, generated from the binding's own id list (ResourceIds.inc): the
// nine groups with every id, and a small file for each resource. Images cycle through
// PNG, JPEG with an alpha companion, TGA, GIF, and animated sprite sheets with an alpha
// grid; fonts are descriptor fonts and one "!ref:" copy; sounds are WAVs and, when given,
// one OGG. Tests and benchmarks share it.
#pragma once

#include "resources/ResourceTestFiles.h"

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
        std::vector<GameResourceEntry> result;
        const char* group = nullptr;
        auto add = [&](char kind, const char* name) { result.push_back({group, kind, name}); };
#define VAXO_RESOURCE_GROUP(name, ...) (void)(group = #name, __VA_ARGS__ 0);
#define VAXO_IMAGE(name) add('I', #name),
#define VAXO_FONT(name) add('F', #name),
#define VAXO_SOUND(name) add('S', #name),
#include "../../../game/res/ResourceIds.inc"
#undef VAXO_RESOURCE_GROUP
#undef VAXO_IMAGE
#undef VAXO_FONT
#undef VAXO_SOUND
        return result;
    }();
    return list;
}

// Kinds the images cycle through, by their index among the images.
enum GameImageKind
{
    kGamePng,
    kGameJpegWithAlpha,
    kGameTga,
    kGameGif,
    kGameAnimSheet, // 4 x 2 cels with an alpha grid, looping
    kGameImageKinds
};

struct GameManifestOptions
{
    // Side of a plain image and of a sheet's cel, in pixels.
    int mImageSide = 4;
    // Frames of each WAV (22050 Hz).
    int mWavFrames = 64;
    // Path attribute per id, replacing the generated one ("!empty", a missing file).
    std::map<std::string, std::string> mPathOverrides;
    // An OGG file copied for the second sound; empty: every sound is a WAV.
    std::string mOggSource;
};

// Writes the manifest and every file into the folder; answers the manifest's path.
inline std::string WriteGameManifest(const TempFolder& folder, const GameManifestOptions& options = {})
{
    const std::string dir = folder.Dir();
    const int side = options.mImageSide;
    const auto& list = GameResourceList();
    std::string group = list[0].mGroup, firstFont;
    std::string xml =
        "<ResourceManifest><Resources id=\"" + group + "\"><SetDefaults path=\"" + dir + "\"/>\n";
    int images = 0, sounds = 0, fonts = 0;
    for (const auto& entry : list)
    {
        if (entry.mGroup != group)
            xml += "</Resources>\n<Resources id=\"" + (group = entry.mGroup) + "\">\n";
        const bool image = entry.mKind == 'I', sound = entry.mKind == 'S';
        std::string tag = image ? "Image" : sound ? "Sound" : "Font";
        std::string path = std::string(image ? "images/" : sound ? "sounds/" : "fonts/") + entry.mName;
        std::string attrs;
        const uint32_t shade = 0xFF000000u | (uint32_t(images) * 0x010203u & 0x00FFFFFFu);
        if (entry.mKind == 'I')
        {
            switch (GameImageKind(images++ % kGameImageKinds))
            {
            case kGamePng:
                WriteImageFile(dir + path + ".png", side, side, shade);
                break;
            case kGameJpegWithAlpha:
                WriteImageFile(dir + path + ".jpg", side, side, shade);
                WriteImageFile(dir + path + "_.png", side, side, 0xFF000080);
                break;
            case kGameTga:
                WriteImageFile(dir + path + ".tga", side, side, shade & 0x80FFFFFF);
                break;
            case kGameGif:
                folder.Write(path + ".gif", TinyGif());
                break;
            default:
                WriteImageFile(dir + path + ".png", side * 4, side * 2, shade);
                WriteImageFile(dir + path + "_grid.png", side, side, 0xFF000040);
                attrs = " rows=\"2\" cols=\"4\" alphagrid=\"" + path +
                        "_grid.png\" anim=\"loop\" framedelay=\"5\"";
            }
        }
        else if (entry.mKind == 'S')
        {
            if (sounds++ == 1 && !options.mOggSource.empty())
            {
                std::ifstream in(options.mOggSource, std::ios::binary);
                folder.Write(path + ".ogg", std::string(std::istreambuf_iterator<char>(in), {}));
            }
            else
            {
                folder.Write(path + ".wav", TinyWav(options.mWavFrames));
            }
        }
        else if (fonts == 9) // the last font: a copy of the first
        {
            path = "!ref:" + firstFont;
            attrs = " tags=\"outline\"";
        }
        else
        {
            WriteImageFile(dir + path + ".png", 64, 16, 0xFFFFFFFF);
            folder.Write(path + ".txt",
                         "CreateLayer Main;\nLayerSetImage Main '" + entry.mName +
                             ".png';\n"
                             "LayerSetImageMap Main ('a' 'b') ((0 0 4 8) (4 0 6 8));\n"
                             "LayerSetCharWidths Main ('a' 'b') (5 7);\nLayerSetAscent Main 6;\n");
            path += ".txt";
        }
        if (entry.mKind == 'F' && fonts++ == 0)
            firstFont = entry.mName;
        auto over = options.mPathOverrides.find(entry.mName);
        if (over != options.mPathOverrides.end())
            path = over->second;
        xml += "  <" + tag + " id=\"" + entry.mName + "\" path=\"" + path + "\"" + attrs + "/>\n";
    }
    return folder.Write("properties/resources.xml", xml + "</Resources>\n</ResourceManifest>\n");
}

} // namespace Vaxo
