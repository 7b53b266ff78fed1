// Writes the sample's generated resources into its bundle's Resources folder (the
// argument): two bitmap fonts, the pictures (PNG, TGA, and a JPEG with a separate alpha
// image), two sound effects and a song (16-bit WAV), and the resource manifest
// "properties/resources.xml" that declares them in two groups. Run by the build: nothing
// of the sample is drawn or recorded by hand.
#include "BitmapFont.h"

#include "graphics/imagelib/ImageLib.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

using namespace Vaxo;

namespace
{

std::string gOut; // the Resources folder, ending in "/"

// A picture being painted, in ARGB.
class Canvas
{
public:
    Canvas(int width, int height) : mImage(ImageLib::AllocateImage(width, height)) {}

    void Fill(int x, int y, int width, int height, uint32_t argb)
    {
        for (int row = y; row < y + height; row++)
            for (int col = x; col < x + width; col++)
                mImage->mBits[row * mImage->mWidth + col] = argb;
    }
    // A one-pixel outline, lighter above and left, darker below and right.
    void Bevel(int x, int y, int width, int height, uint32_t light, uint32_t dark)
    {
        Fill(x, y, width, 1, light);
        Fill(x, y, 1, height, light);
        Fill(x, y + height - 1, width, 1, dark);
        Fill(x + width - 1, y, 1, height, dark);
    }
    uint32_t& At(int x, int y) { return mImage->mBits[y * mImage->mWidth + x]; }
    ImageLib::Image* Get() { return mImage.get(); }

private:
    std::unique_ptr<ImageLib::Image> mImage;
};

bool Written(bool ok, const std::string& name)
{
    if (!ok)
        std::fprintf(stderr, "make_assets: cannot write %s%s\n", gOut.c_str(), name.c_str());
    return ok;
}

bool WritePNG(Canvas& canvas, const std::string& name)
{
    return Written(ImageLib::WritePNGImage(gOut + name, canvas.Get()), name);
}

// Dialog buttons: normal, hovered and pressed looks stacked, each drawn as a box (corners
// kept, edges and middle repeated).
bool WriteButton()
{
    const uint32_t faces[3] = {0xFF2C5C94, 0xFF3C78BC, 0xFF1C3C64};
    Canvas canvas(30, 90);
    for (int i = 0; i < 3; i++)
    {
        canvas.Fill(0, 30 * i, 30, 30, 0xFF0C1420);
        canvas.Fill(1, 30 * i + 1, 28, 28, faces[i]);
        canvas.Bevel(2, 30 * i + 2, 26, 26, i == 2 ? 0xFF10243C : 0xFF80B0E0, 0xFF10243C);
    }
    return WritePNG(canvas, "images/button.png");
}

// Check box: the checked look above the unchecked one.
bool WriteCheckbox()
{
    Canvas canvas(20, 40);
    for (int i = 0; i < 2; i++)
    {
        canvas.Fill(0, 20 * i, 20, 20, 0xFF0C1420);
        canvas.Fill(2, 20 * i + 2, 16, 16, 0xFFE8ECF0);
    }
    for (int d = 0; d < 10; d++)
    {
        canvas.Fill(5 + d, 5 + d, 2, 2, 0xFFD04020);
        canvas.Fill(13 - d, 5 + d, 2, 2, 0xFFD04020);
    }
    return WritePNG(canvas, "images/checkbox.png");
}

// Slider: a track of three equal parts (start, middle repeated, end) and a thumb.
bool WriteSlider()
{
    Canvas track(30, 8);
    track.Fill(2, 1, 26, 6, 0xFF0C1420);
    track.Fill(3, 2, 24, 3, 0xFF6088B0);
    Canvas thumb(14, 24);
    thumb.Fill(0, 0, 14, 24, 0xFF0C1420);
    thumb.Fill(1, 1, 12, 22, 0xFFE0A030);
    thumb.Bevel(2, 2, 10, 20, 0xFFFFE0A0, 0xFF805010);
    return WritePNG(track, "images/slider_track.png") && WritePNG(thumb, "images/slider_thumb.png");
}

// Dialog background, drawn as a box: a light frame round a dark, slightly see-through face.
bool WriteDialog()
{
    Canvas canvas(30, 30);
    canvas.Fill(0, 0, 30, 30, 0xFFB0C8E0);
    canvas.Fill(2, 2, 26, 26, 0xE8142030);
    return WritePNG(canvas, "images/dialog.png");
}

// Background tile, as TGA; named without extension in the manifest, which finds ".tga" first.
bool WriteTile()
{
    Canvas canvas(64, 64);
    for (int y = 0; y < 64; y++)
        for (int x = 0; x < 64; x++)
            canvas.At(x, y) = ((x + y) & 31) < 2 ? 0xFF203048 : 0xFF18243A;
    return Written(ImageLib::WriteTGAImage(gOut + "images/tile.tga", canvas.Get()), "images/tile.tga");
}

// Logo: a colour ramp as JPEG, which holds no alpha; its shape (a rounded band) comes
// from a separate alpha image whose blue channel the loader takes as alpha.
bool WriteLogo()
{
    const int width = 360, height = 120, radius = 40;
    Canvas colour(width, height);
    Canvas alpha(width, height);
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++)
        {
            const uint32_t red = uint32_t(240 - 120 * x / width), green = uint32_t(90 + 100 * y / height);
            colour.At(x, y) = 0xFF000000 | red << 16 | green << 8 | 0x30;
            const int cx = x < radius ? radius : (x >= width - radius ? width - radius - 1 : x);
            const int cy = y < radius ? radius : (y >= height - radius ? height - radius - 1 : y);
            const bool inside = (x - cx) * (x - cx) + (y - cy) * (y - cy) <= radius * radius;
            alpha.At(x, y) = inside ? 0xFFFFFFFF : 0xFF000000;
        }
    return Written(ImageLib::WriteJPEGImage(gOut + "images/logo.jpg", colour.Get()), "images/logo.jpg") &&
           WritePNG(alpha, "images/logo_alpha.png");
}

// A mono 16-bit PCM WAV file at 22,050 Hz, the samples given from -1 to 1.
constexpr int kRate = 22050;
bool WriteWav(const std::string& name, const std::vector<double>& samples)
{
    std::vector<int16_t> pcm;
    for (double s : samples)
        pcm.push_back(int16_t(std::lround(std::fmax(-1.0, std::fmin(1.0, s)) * 30000)));
    const uint32_t bytes = uint32_t(pcm.size() * 2);
    // RIFF size, "fmt " size, PCM and mono, rate, byte rate, frame bytes and bits, data size:
    // little-endian, as this machine writes them.
    const uint32_t fields[] = {36 + bytes, 16, 1 | 1 << 16, kRate, kRate * 2, 2 | 16 << 16, bytes};
    std::ofstream out(gOut + name, std::ios::binary);
    out.write("RIFF", 4).write(reinterpret_cast<const char*>(fields), 4).write("WAVEfmt ", 8);
    out.write(reinterpret_cast<const char*>(fields + 1), 20).write("data", 4);
    out.write(reinterpret_cast<const char*>(fields + 6), 4);
    out.write(reinterpret_cast<const char*>(pcm.data()), bytes);
    out.close();
    return Written(out.good(), name);
}

// A bell-like tone: a few harmonics dying away over `seconds`.
void AddTone(std::vector<double>& samples, size_t at, double frequency, double seconds, double level)
{
    const size_t count = size_t(seconds * kRate);
    if (samples.size() < at + count)
        samples.resize(at + count);
    for (size_t i = 0; i < count; i++)
    {
        const double t = double(i) / kRate;
        const double wave = std::sin(2 * M_PI * frequency * t) + 0.3 * std::sin(4 * M_PI * frequency * t);
        samples[at + i] += level * wave * std::exp(-5.0 * t / seconds);
    }
}

bool WriteSounds()
{
    std::vector<double> click, chime, song;
    AddTone(click, 0, 2000.0, 0.03, 0.5);
    // Middle C: the notes of the sample are this sound played at other pitches.
    AddTone(chime, 0, 261.63, 0.6, 0.6);
    // The song: a rising and falling arpeggio, eight notes a second, twice.
    const double notes[] = {261.63, 329.63, 392.00, 523.25, 392.00, 329.63, 293.66, 349.23,
                            440.00, 587.33, 440.00, 349.23, 246.94, 293.66, 392.00, 493.88};
    for (int i = 0; i < 32; i++)
        AddTone(song, size_t(i) * kRate / 8, notes[i % 16], 0.3, 0.25);
    song.resize(size_t(4) * kRate);
    return WriteWav("sounds/click.wav", click) && WriteWav("sounds/chime.wav", chime) &&
           WriteWav("music/theme.wav", song);
}

// The manifest: "Init" is loaded before the window shows (what the loading screen
// draws with), "Game" on the loading thread behind it.
bool WriteManifest()
{
    std::ofstream out(gOut + "properties/resources.xml");
    out << "<?xml version=\"1.0\"?>\n"
           "<ResourceManifest>\n"
           "  <Resources id=\"Init\">\n"
           "    <Font id=\"FONT_LABEL\" path=\"fonts/label.txt\"/>\n"
           "    <Font id=\"FONT_TITLE\" path=\"fonts/title.txt\"/>\n"
           "    <Image id=\"IMAGE_LOGO\" path=\"images/logo.jpg\" alphaimage=\"images/logo_alpha.png\"/>\n"
           "    <Image id=\"IMAGE_TILE\" path=\"images/tile\"/>\n"
           "  </Resources>\n"
           "  <Resources id=\"Game\">\n"
           "    <SetDefaults path=\"images\" idprefix=\"IMAGE_\"/>\n"
           "    <Image id=\"BUTTON\" path=\"button.png\"/>\n"
           "    <Image id=\"CHECKBOX\" path=\"checkbox.png\"/>\n"
           "    <Image id=\"SLIDER_TRACK\" path=\"slider_track.png\"/>\n"
           "    <Image id=\"SLIDER_THUMB\" path=\"slider_thumb.png\"/>\n"
           "    <Image id=\"DIALOG\" path=\"dialog.png\"/>\n"
           "    <SetDefaults path=\"sounds\" idprefix=\"SOUND_\"/>\n"
           "    <Sound id=\"CLICK\" path=\"click\" volume=\"0.5\"/>\n"
           "    <Sound id=\"CHIME\" path=\"chime\"/>\n"
           "  </Resources>\n"
           "</ResourceManifest>\n";
    out.close();
    return Written(out.good(), "properties/resources.xml");
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2)
    {
        std::fprintf(stderr, "usage: %s <resource folder>\n", argv[0]);
        return 2;
    }
    gOut = std::string(argv[1]) + "/";
    std::error_code error;
    for (const char* folder : {"fonts", "images", "sounds", "music", "properties"})
        std::filesystem::create_directories(gOut + folder, error);
    const bool fonts = Written(WriteBitmapFont(gOut + "fonts", "label", 2), "fonts/label") &&
                       Written(WriteBitmapFont(gOut + "fonts", "title", 3), "fonts/title");
    // The manifest last: the build takes it as the sign that everything is there.
    const bool ok = fonts && WriteButton() && WriteCheckbox() && WriteSlider() && WriteDialog() &&
                    WriteTile() && WriteLogo() && WriteSounds() && WriteManifest();
    return ok ? 0 : 1;
}
