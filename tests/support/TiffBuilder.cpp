#include "TiffBuilder.h"

#include <unistd.h>

#include <fstream>
#include <stdexcept>

namespace testsupport {

namespace {

constexpr std::uint16_t kStripOffsets = 273;
constexpr std::uint16_t kStripByteCounts = 279;

void put16(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(v & 0xFF);
    out.push_back((v >> 8) & 0xFF);
}

void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back((v >> (8 * i)) & 0xFF);
}

void patch32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + i] = (v >> (8 * i)) & 0xFF;
}

}  // namespace

TiffBuilder TiffBuilder::rgb8(std::uint32_t width, std::uint32_t height,
                              std::vector<std::uint8_t> pixels) {
    TiffBuilder builder;
    builder.setLong(256, width)
        .setLong(257, height)
        .set(258, Short, {8, 8, 8})
        .setShort(259, 1)
        .setShort(262, 2)
        .setShort(277, 3)
        .setLong(278, height)
        .setShort(284, 1)
        .pixels(std::move(pixels));
    return builder;
}

TiffBuilder& TiffBuilder::set(std::uint16_t tag, Type type, std::vector<std::uint32_t> values) {
    entries_[tag] = {type, std::move(values)};
    return *this;
}

TiffBuilder& TiffBuilder::remove(std::uint16_t tag) {
    entries_.erase(tag);
    return *this;
}

TiffBuilder& TiffBuilder::pixels(std::vector<std::uint8_t> data) {
    pixels_ = std::move(data);
    return *this;
}

std::vector<std::uint8_t> TiffBuilder::layout(std::uint64_t pixelBytes) const {
    auto entries = entries_;
    if (!entries.count(kStripOffsets)) entries[kStripOffsets] = {Long, {0}};
    if (!entries.count(kStripByteCounts))
        entries[kStripByteCounts] = {Long, {static_cast<std::uint32_t>(pixelBytes)}};

    std::vector<std::uint8_t> out = {'I', 'I', 42, 0};
    put32(out, 8);
    const std::size_t directorySize = 2 + entries.size() * 12 + 4;
    std::size_t extraOffset = 8 + directorySize;
    std::vector<std::uint8_t> extra;
    std::size_t stripOffsetField = 0;
    bool autoStripOffset = !entries_.count(kStripOffsets);

    put16(out, static_cast<std::uint32_t>(entries.size()));
    for (const auto& [tag, entry] : entries) {
        const auto& [type, values] = entry;
        const std::size_t width = type == Short ? 2 : 4;
        put16(out, tag);
        put16(out, type);
        put32(out, static_cast<std::uint32_t>(values.size()));
        std::vector<std::uint8_t> data;
        for (std::uint32_t v : values) width == 2 ? put16(data, v) : put32(data, v);
        if (data.size() <= 4) {
            if (tag == kStripOffsets) stripOffsetField = out.size();
            data.resize(4, 0);
            out.insert(out.end(), data.begin(), data.end());
        } else {
            put32(out, static_cast<std::uint32_t>(extraOffset + extra.size()));
            extra.insert(extra.end(), data.begin(), data.end());
            if (extra.size() % 2) extra.push_back(0);
        }
    }
    put32(out, 0);  // no further directory
    out.insert(out.end(), extra.begin(), extra.end());
    if (autoStripOffset) patch32(out, stripOffsetField, static_cast<std::uint32_t>(out.size()));
    return out;
}

std::vector<std::uint8_t> TiffBuilder::bytes() const {
    std::vector<std::uint8_t> out = layout(pixels_.size());
    out.insert(out.end(), pixels_.begin(), pixels_.end());
    return out;
}

void TiffBuilder::write(const std::string& path) const {
    const std::vector<std::uint8_t> out = bytes();
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(out.data()), static_cast<std::streamsize>(out.size()));
    if (!file) throw std::runtime_error("cannot write " + path);
}

void TiffBuilder::writeSparse(const std::string& path, std::uint64_t pixelBytes) const {
    const std::vector<std::uint8_t> head = layout(pixelBytes);
    {
        std::ofstream file(path, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(head.data()),
                   static_cast<std::streamsize>(head.size()));
        if (!file) throw std::runtime_error("cannot write " + path);
    }
    if (truncate(path.c_str(), static_cast<off_t>(head.size() + pixelBytes)) != 0)
        throw std::runtime_error("cannot extend " + path);
}

}  // namespace testsupport
