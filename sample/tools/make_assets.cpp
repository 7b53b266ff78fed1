// Writes the sample's generated files into its resource folder (the argument): the
// bitmap font. Run by the build.
#include "SampleFont.h"

#include <cstdio>
#include <filesystem>

int main(int argc, char** argv)
{
    if (argc != 2)
    {
        std::fprintf(stderr, "usage: %s <resource folder>\n", argv[0]);
        return 2;
    }
    const std::string fonts = std::string(argv[1]) + "/fonts";
    std::error_code error;
    std::filesystem::create_directories(fonts, error);
    if (!Vaxo::WriteSampleFont(fonts))
    {
        std::fprintf(stderr, "cannot write the font into %s\n", fonts.c_str());
        return 1;
    }
    return 0;
}
