// Writes a series of star-field frames for brennock_run: frame000 is the
// reference, every later frame the same sky moved by a known amount with a
// little noise. The shifts go to shifts.txt beside the frames.
//
//   brennock_make_series --out DIR --count N [--width W] [--height H]
//                        [--format jpeg|bmp|tiff] [--seed S] [--star-scale K]
//
// --star-scale K makes every star K times as wide and K * K times as rare:
// the sky of a frame K times smaller, taken with K times the pixels across.

#include "BenchSupport.h"
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
    int seed = 1;
    float starScale = 1.0f;
    bool numbersRead = true;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string arg = argv[i];
        const char* value = argv[i + 1];
        if (arg == "--out") {
            out = value;
        } else if (arg == "--count") {
            numbersRead &= benchsupport::parseInt(value, &count);
        } else if (arg == "--width") {
            numbersRead &= benchsupport::parseInt(value, &width);
        } else if (arg == "--height") {
            numbersRead &= benchsupport::parseInt(value, &height);
        } else if (arg == "--format") {
            formatName = value;
        } else if (arg == "--star-scale") {
            char* end = nullptr;
            starScale = std::strtof(value, &end);
            numbersRead &= end != value && *end == '\0';
        } else if (arg == "--seed") {
            numbersRead &= benchsupport::parseInt(value, &seed);
        }
    }
    testsupport::Format format = testsupport::Format::Jpeg;
    if (!numbersRead || out.empty() || count < 1 || width < 1 || height < 1 || seed < 0 ||
        !(starScale > 0.0f) || !testsupport::parseFormatName(formatName, &format)) {
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
