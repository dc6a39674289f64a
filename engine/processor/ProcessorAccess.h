#pragma once
// The processor's engine-internal side: reading frames into owned buffers,
// the two halves of a per-frame registration that the run loop drives, the
// bookkeeping of a run (failures, window size, stack) and the choice of
// scan. None of it is part of the library's interface; the run loop, the
// tests and the search benchmark reach it through the engine's objects.

#include "codecs/FrameRows.h"
#include "registration/Correlation.h"
#include "registration/PositionScan.h"

#include <memory>
#include <string>

namespace Tellvar {

class Brennock;
class MainProcessor;

namespace detail {

// A frame as the codec delivered it.
struct FrameBuffer {
    std::unique_ptr<unsigned char[]> pixels;
    int width = 0;
    int height = 0;
    int depth = 0;
};

// openImage into an owned buffer; false with the codec's message on failure.
bool readFrame(Brennock& codec, const std::string& path, FrameBuffer* frame,
               std::string* errorText);

// A frame read for registration: the frame, or the codec's message. Where
// rows is set, the frame's rows are read as the registration needs them.
struct FrameRead {
    FrameBuffer frame;
    bool ok = false;
    std::string message;
    std::unique_ptr<FrameRows> rows;
};

// Reads path with the processor's codec (which serves concurrent calls).
FrameRead readFrameFor(MainProcessor& processor, const std::string& path);

// A frame taken as far as its crop, the frame itself released: what is left
// of its registration is writing the crop and adding it to the stack. On a
// failure crop is null and failure holds the frame's message.
struct PreparedFrame {
    unsigned char* crop = nullptr;  // in ownedCrop, or in a buffer of the caller's
    std::unique_ptr<unsigned char[]> ownedCrop;
    int depth = 0;  // as the codec reported it, for the crop's file
    std::string failure;
};

// The reference patches of a processor with their statistics.
PatchStats fullReference(const MainProcessor& processor);
PatchStats scaledReference(const MainProcessor& processor);

struct ProcessorAccess {
    // The scan a processor's registrations use: the fast one on the
    // process's kernels unless told otherwise. Set it before the
    // processor's first per-frame call.
    static void setSearchMethod(MainProcessor& processor, SearchMethod method);
    // The fast scan on the kernels of one level (the scalar ones where the
    // level is not supported).
    static void setKernelLevel(MainProcessor& processor, SimdLevel level);
    static ScanChoice scanChoice(const MainProcessor& processor);

    // setReferenceFrame, or with withCoarse false setReferenceFrameSmallImage.
    static bool registerReference(MainProcessor& processor, const std::string& path,
                                  std::string* errorText, bool withCoarse);

    // setPhaseOne, or with smallImage processSmallImages.
    static void registerFrame(MainProcessor& processor, const std::string& path, int index,
                              int searchPerimeter, bool smallImage, bool* okFlag,
                              std::string* errorText);
    // The same in two parts, for an image that has already been read:
    // prepareFrame does all that needs the whole frame (the checks, the
    // search, the cut), finishFrame the rest (the crop's file, the stack,
    // the run's flag and message).
    // Together they give the same results and failures as the single call.
    // cropBuffer (cropWidth x cropHeight x 3 bytes) receives the crop; when
    // null, a buffer of the prepared frame's own does.
    static PreparedFrame prepareFrame(MainProcessor& processor, FrameRead read,
                                      const std::string& path, int searchPerimeter, bool smallImage,
                                      unsigned char* cropBuffer);
    static void finishFrame(MainProcessor& processor, PreparedFrame prepared, int index,
                            bool smallImage, bool* okFlag, std::string* errorText);

    // A failed image: okFlag false, and its message in the run message
    // (that of the lowest failed index stays).
    static void recordFailure(MainProcessor& processor, int index, const std::string& message,
                              bool* okFlag, std::string* errorText);
    static void recordWindowSize(MainProcessor& processor, int width, int height);
    static void addToStack(MainProcessor& processor, const unsigned char* crop);
};

}  // namespace detail
}  // namespace Tellvar
