#pragma once
// The JPEG codec's fatal-error hook and the text it records.

#include <cstddef>

struct jpeg_common_struct;

namespace Tellvar {

// Text of the last fatal library error on the calling thread. Each thread
// has its own copy, so failures on several threads at once never garble one
// another's message.
constexpr std::size_t kJpegMessageLength = 200;
extern thread_local char jpegLastErrorMsg[kJpegMessageLength];

// The library's fatal-error hook: records the message and leaves the decode
// in progress. It never returns to the library.
void jpegErrorExit(jpeg_common_struct* cinfo);

}  // namespace Tellvar
