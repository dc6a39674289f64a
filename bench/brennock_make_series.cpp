// Writes a series of star-field frames for brennock_run: frame000 is the
// reference, every later frame the same sky moved by a known amount with a
// little noise. The shifts go to shifts.txt beside the frames.
//
//   brennock_make_series --out DIR --count N [--width W] [--height H]
//                        [--format jpeg|bmp|tiff] [--seed S] [--star-scale K]
//
// --star-scale K makes every star K times as wide and K * K times as rare:
// the sky of a frame K times smaller, taken with K times the pixels across.

#include "InputFormats.h"
#include "TestImages.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <random>
#include <string>

int main(int argc, char** argv) {
    std::string out, formatName = "jpeg";
    int count = 0, width = 1600, height = 1200;
    unsigned seed = 1;
    float starScale = 1.0f;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string arg = argv[i];
        if (arg == "--out")
            out = argv[i + 1];
        else if (arg == "--count")
            count = std::atoi(argv[i + 1]);
        else if (arg == "--width")
            width = std::atoi(argv[i + 1]);
        else if (arg == "--height")
            height = std::atoi(argv[i + 1]);
        else if (arg == "--format")
            formatName = argv[i + 1];
        else if (arg == "--star-scale")
            starScale = std::strtof(argv[i + 1], nullptr);
        else if (arg == "--seed")
            seed = static_cast<unsigned>(std::strtoul(argv[i + 1], nullptr, 10));
    }
    testsupport::Format format = testsupport::Format::Jpeg;
    if (out.empty() || count < 1 || width < 1 || height < 1 || !(starScale > 0.0f) ||
        !testsupport::parseFormatName(formatName, &format)) {
        std::fprintf(stderr,
                     "usage: brennock_make_series --out DIR --count N [--width W] [--height H] "
                     "[--format jpeg|bmp|tiff] [--seed S] [--star-scale K]\n");
        return 1;
    }

    try {
        const testsupport::Picture sky = testsupport::makeStarField(width, height, seed, starScale);
        std::mt19937 random(seed);
        std::uniform_int_distribution<int> shift(-8, 8);
        std::ofstream shifts(out + "/shifts.txt");
        for (int index = 0; index < count; ++index) {
            const int dx = index == 0 ? 0 : shift(random);
            const int dy = index == 0 ? 0 : shift(random);
            const testsupport::Picture frame =
                index == 0 ? sky : testsupport::shifted(sky, dx, dy, 2, seed + index);
            char stem[32];
            std::snprintf(stem, sizeof stem, "frame%03d", index);
            const std::string name = testsupport::inputFileName(stem, format);
            testsupport::writeInput(out + "/" + name, frame, format);
            shifts << name << ' ' << dx << ' ' << dy << '\n';
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "brennock_make_series: %s\n", error.what());
        return 1;
    }
    return 0;
}
