#pragma once
// Message texts and error-number text shared by more than one codec.

#include <cstdint>
#include <string>

namespace Tellvar {

// The runtime library's text for an error number; safe to call from several
// threads at once.
std::string systemErrorText(int errorNumber);

// errno after a failed call, or EIO when the call failed without setting it
// (a message must never read "Success").
int failureErrno();

// Why a reader could not load a frame: its memory could not be had (BMP
// and JPEG readers, after their own first paragraph).
extern const char kFrameMemoryReason[];

// A written file could not be created or completed (BMP and TIFF writers).
std::string writeFailureMessage(const std::string& path, int errorNumber);

// A frame to be written whose size is not positive or exceeds the frame limit.
std::string invalidOutputSizeMessage(const std::string& path, int width, int height);

// A file whose frame would exceed the frame limit.
std::string frameTooLargeMessage(const std::string& path, std::uint64_t width,
                                 std::uint64_t height);

}  // namespace Tellvar
