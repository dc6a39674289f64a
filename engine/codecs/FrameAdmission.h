#pragma once
// How a run bounds the memory of the frames it holds at once. The engine's
// codecs learn a frame's size from its header; they ask an admission for the
// frame's bytes right then, before they allocate the frame or start the
// decoder that fills it, so a run can make a reader wait (or refuse the
// frame) before any of that memory is asked for.

#include "codecs/FrameRows.h"

#include <cstdint>
#include <memory>
#include <string>

namespace Tellvar {

class Brennock;
class BMP;
class JPEG;
class TIF;

namespace detail {

class FrameAdmission {
public:
    // Called at most once per read. True lets the read go on; false ends it
    // with the complete message left in *errorText.
    virtual bool admit(std::uint64_t frameBytes, const std::string& path,
                       std::string* errorText) = 0;

protected:
    ~FrameAdmission() = default;
};

// openImage with the frame admitted first; a null admission admits every
// frame (openImage itself). The arguments and results are openImage's.
// Given rowsOnDemand, the rows of a Bitmap or TIFF are left unread, to be
// read through the FrameRows it is handed (which keeps the file open);
// without it, or for a JPEG, the frame is read whole.
bool openAdmitted(BMP& codec, const std::string& path, unsigned char** buffer, int* width,
                  int* height, int* depth, std::string* errorText, FrameAdmission* admission,
                  std::unique_ptr<FrameRows>* rowsOnDemand = nullptr);
bool openAdmitted(JPEG& codec, const std::string& path, unsigned char** buffer, int* width,
                  int* height, int* depth, std::string* errorText, FrameAdmission* admission);
bool openAdmitted(TIF& codec, const std::string& path, unsigned char** buffer, int* width,
                  int* height, int* depth, std::string* errorText, FrameAdmission* admission,
                  std::unique_ptr<FrameRows>* rowsOnDemand = nullptr);

// The same for any codec. One the engine does not know (a test's wrapper
// around a codec) reads through its openImage, and its frame is admitted
// once it has been read.
bool openAdmitted(Brennock& codec, const std::string& path, unsigned char** buffer, int* width,
                  int* height, int* depth, std::string* errorText, FrameAdmission* admission,
                  std::unique_ptr<FrameRows>* rowsOnDemand = nullptr);

}  // namespace detail
}  // namespace Tellvar
