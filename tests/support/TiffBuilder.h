#pragma once
// Hand-built classic little-endian TIFF files, for inputs that the TIFF
// library's own writer would not produce: missing or odd tags, huge or zero
// sizes, tiles declared over strip data, and so on.
//
// Layout: header, one directory, out-of-line tag values, then the pixel
// data as one strip. StripOffsets and StripByteCounts are filled in unless
// set explicitly.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace testsupport {

class TiffBuilder {
public:
    enum Type : std::uint16_t { Short = 3, Long = 4 };

    // An 8-bit RGB, contiguous, uncompressed image of the given size whose
    // pixel data is `pixels` (which may be shorter than the image needs).
    static TiffBuilder rgb8(std::uint32_t width, std::uint32_t height,
                            std::vector<std::uint8_t> pixels);

    TiffBuilder& set(std::uint16_t tag, Type type, std::vector<std::uint32_t> values);
    TiffBuilder& setShort(std::uint16_t tag, std::uint32_t value) {
        return set(tag, Short, {value});
    }
    TiffBuilder& setLong(std::uint16_t tag, std::uint32_t value) { return set(tag, Long, {value}); }
    TiffBuilder& remove(std::uint16_t tag);
    TiffBuilder& pixels(std::vector<std::uint8_t> data);

    std::vector<std::uint8_t> bytes() const;
    void write(const std::string& path) const;

    // Writes the file with `pixelBytes` zero bytes of pixel data that the
    // file system stores sparsely, so huge images cost no disk or time.
    void writeSparse(const std::string& path, std::uint64_t pixelBytes) const;

private:
    std::vector<std::uint8_t> layout(std::uint64_t pixelBytes) const;

    std::map<std::uint16_t, std::pair<Type, std::vector<std::uint32_t>>> entries_;
    std::vector<std::uint8_t> pixels_;
};

}  // namespace testsupport
