#pragma once
// The processor fuzzer's input: the geometry and frames of one automatic
// run, as fixed little-endian fields (missing bytes read as 0), so that the
// seeds can be written as plainly as the target reads them.
//
// Sizes fold into small frames (at most 80 x 60) or, with the large flag,
// frames just above the coarse search's 320 x 240 (at most 400 x 300). A
// geometry value (corner, size, perimeter) folds, by its mode, into 0 to
// twice the frame's dimension, into 0 to 80 (so that a run over large frames
// stays quick), or is the raw 32-bit number, which reaches INT_MAX, INT_MIN
// and everything between.

#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <vector>

namespace runfuzz {

struct Value {
    std::uint8_t mode = 0;  // % 4: 1 the frame's range, 3 raw, else the short range
    std::int32_t raw = 0;
    bool isRaw() const { return mode % 4 == 3; }
    // The value for a frame dimension of `frame` pixels.
    int fold(int frame) const {
        if (isRaw()) return raw;
        const std::uint32_t range = 2u * static_cast<std::uint32_t>(mode % 4 == 1 ? frame : 40);
        return static_cast<int>(static_cast<std::uint32_t>(raw) % (range + 1u));
    }
};

enum FrameKind : std::uint8_t { Shifted, Flat, Resized, CutShort, FrameKinds };

struct Frame {
    std::uint8_t kind = Shifted;  // % FrameKinds
    std::int8_t dx = 0, dy = 0;   // shift, or size change of a resized frame
    std::uint8_t value = 0;       // noise, grey level, or the share of the file kept
};

enum Flags : std::uint8_t {
    LargeFrames = 1,
    Stacking = 2,
    ContrarySmallImage = 4,  // the small-image switch the other way round
    FlatReference = 8,
};

constexpr int kMaxFrames = 5;

struct RunInput {
    std::uint8_t format = 0;  // % 3: BMP, TIFF, JPEG
    std::uint8_t flags = 0;
    std::uint8_t frameCount = 0;  // 1 + % kMaxFrames, reference included
    std::uint8_t threads = 0;     // % 5; 0 counts as 1
    std::uint16_t width = 0, height = 0;
    Value cropX, cropY, cropWidth, cropHeight, perimeter;
    std::uint32_t seed = 0;
    Frame frames[kMaxFrames - 1];  // images 1 ..

    int frameWidth() const { return flags & LargeFrames ? 320 + width % 81 : 1 + width % 80; }
    int frameHeight() const { return flags & LargeFrames ? 240 + height % 61 : 1 + height % 60; }
    int imageCount() const { return 1 + frameCount % kMaxFrames; }
};

// Field by field, in declaration order.
template <typename Visit>
void visitFields(RunInput& input, Visit&& visit) {
    visit(input.format), visit(input.flags), visit(input.frameCount), visit(input.threads);
    visit(input.width), visit(input.height);
    for (Value* v :
         {&input.cropX, &input.cropY, &input.cropWidth, &input.cropHeight, &input.perimeter})
        visit(v->mode), visit(v->raw);
    visit(input.seed);
    for (Frame& frame : input.frames)
        visit(frame.kind), visit(frame.dx), visit(frame.dy), visit(frame.value);
}

inline RunInput parse(const std::uint8_t* data, std::size_t size) {
    RunInput input;
    std::size_t at = 0;
    visitFields(input, [&](auto& field) {
        std::uint64_t bits = 0;
        for (std::size_t i = 0; i < sizeof field; ++i, ++at)
            if (at < size) bits |= static_cast<std::uint64_t>(data[at]) << (8 * i);
        field = static_cast<std::remove_reference_t<decltype(field)>>(bits);
    });
    return input;
}

inline std::vector<std::uint8_t> serialise(RunInput input) {
    std::vector<std::uint8_t> bytes;
    visitFields(input, [&](auto& field) {
        const auto bits = static_cast<std::uint64_t>(field);
        for (std::size_t i = 0; i < sizeof field; ++i)
            bytes.push_back(static_cast<std::uint8_t>(bits >> (8 * i)));
    });
    return bytes;
}

}  // namespace runfuzz
