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

#include "codecs/FrameRows.h"
#include "codecs/TiffHandle.h"

#include <tiffio.h>

#include <cstddef>
#include <cstdint>
#include <memory>

namespace Tellvar {

// The open mode of the reader: read-only, not memory-mapped.
constexpr const char* kTiffReadMode = "rm";

// The rows (scanline bytes each) of the first directory, top row first:
// checkStripRows checks every strip first, as the library checks it, so
// exactly the files it would read are taken; it is false when a strip is
// missing, holds fewer bytes than its rows or reaches past the end of the
// file. Then readStripRows reads any rows [first, first + count) of the
// checked strips into frame; false when a read fails (frame's content is
// then undefined).
struct StripRows {
    TIFF* tiff = nullptr;
    int fd = -1;
    std::uint32_t height = 0;
    std::size_t scanline = 0;
    std::uint32_t rowsPerStrip = 1;
    bool lowBitFirst = false;
};
bool checkStripRows(TIFF* tiff, std::uint32_t height, std::size_t scanline, StripRows* rows);
bool readStripRows(const StripRows& rows, std::uint32_t first, std::uint32_t count,
                   unsigned char* frame);

// Checked rows read into frame as they are asked for, the file open until
// then; a failed read is worded failure. Null when there is no memory for
// it.
std::unique_ptr<detail::FrameRows> stripRowsOnDemand(TiffHandle tiff, const StripRows& rows,
                                                     unsigned char* frame, const char* failure);

}  // namespace Tellvar
