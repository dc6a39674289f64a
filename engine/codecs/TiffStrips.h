#pragma once
// Reading the rows of an accepted TIFF (8-bit RGB, contiguous,
// uncompressed, in strips) straight into the frame.
//
// The library reads such a file row by row out of a memory map of the
// whole file. Mapping and unmapping every frame of a run costs more than
// reading it: the mapping faults page by page, and unmapping it holds up
// every thread of the process. So the reader opens its files unmapped
// (kTiffReadMode) and reads the strips' bytes itself, with plain reads
// straight into the frame, a run of strips that follow one another in the
// file in one read. Each strip is first checked as the library checks it
// before it decodes a strip of a mapped file, so exactly the files the
// library would read are read, with the same bytes.

#include <tiffio.h>

#include <cstddef>
#include <cstdint>

namespace Tellvar {

// The open mode of the reader: read-only, not memory-mapped.
constexpr const char* kTiffReadMode = "rm";

// Reads rows 0 .. height - 1 (scanline bytes each) of the first directory
// into frame, top row first. False when a strip the rows need is missing,
// holds fewer bytes than its rows, reaches past the end of the file, or
// cannot be read; frame's content is then undefined.
bool readStripsInto(TIFF* tiff, std::uint32_t height, std::size_t scanline, unsigned char* frame);

}  // namespace Tellvar
