#pragma once
// Helpers the engine and desktop tests share: a scratch folder that removes
// itself, synthetic pictures with structure a correlation search can lock
// onto, and writers for test inputs in every format the engine reads.

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

// A fresh folder under the system's temp directory, removed with its
// contents when the object goes out of scope.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Top-down RGB picture, 3 bytes per pixel.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;

    std::uint8_t* pixel(int x, int y) {
        return &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
    }
    const std::uint8_t* pixel(int x, int y) const {
        return &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
    }
};

// A star field: dark, slightly noisy sky with Gaussian stars of several sizes
// and a faint nebula, deterministic for a given seed. starScale widens every
// star and thins them out by its square: the same sky taken with that many
// times the pixels across (a larger sensor behind the same optics).
Picture makeStarField(int width, int height, std::uint32_t seed, float starScale = 1.0f);

// The picture moved by (dx, dy): output pixel (x, y) is source (x - dx, y - dy);
// uncovered pixels take the sky value. noiseAmplitude adds +/- noise per byte.
Picture shifted(const Picture& source, int dx, int dy, int noiseAmplitude, std::uint32_t seed);

// The picture resampled to width x height by bilinear interpolation: the
// same sky seen at a finer pixel scale, its stars spread over more pixels.
Picture magnified(const Picture& source, int width, int height);

// Pixels of the rectangle at 0-based top-left (x, y), top-down RGB.
std::vector<std::uint8_t> cropRgb(const Picture& picture, int x, int y, int width, int height);

// The same rectangle converted to the bottom-up blue-green-red layout of BMP buffers.
std::vector<std::uint8_t> cropBgrBottomUp(const Picture& picture, int x, int y, int width,
                                          int height);

// Writers for test inputs. Each throws std::runtime_error on failure.
void writeBmp24(const std::string& path, const Picture& picture);
void writeTiffRgb8(const std::string& path, const Picture& picture);
// components 3 writes colour, 1 writes the picture's first byte as grayscale.
void writeJpeg(const std::string& path, const Picture& picture, int quality, int components = 3,
               bool progressive = false);
// A 16 x 8 file of one flat colour: components samples per pixel given in the
// colour space `input`, stored as `stored` (J_COLOR_SPACE values: CMYK, YCCK ...).
void writeJpegInColourSpace(const std::string& path, int components, int input, int stored);

std::vector<std::uint8_t> readFile(const std::string& path);
void writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes);

}  // namespace testsupport
