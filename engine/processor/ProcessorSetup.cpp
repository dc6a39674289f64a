// Set-up of a run's processor: the codec that fits the input type, the crop
// corner and the names of the output files.

#include "Brennock/CodecForType.h"
#include "Brennock/MainProcessor.h"
#include "processor/ProcessorAccess.h"

#include <climits>

namespace Tellvar {

namespace {

// Separator between the output folder and an output file name, as the
// platform writes paths.
constexpr char kPathSeparator = '/';

int oneBased(int corner) { return corner == INT_MAX ? INT_MAX : corner + 1; }

}  // namespace

namespace detail {

bool readFrame(Brennock& codec, const std::string& path, FrameBuffer* frame,
               std::string* errorText) {
    unsigned char* pixels = nullptr;
    const bool ok =
        codec.openImage(&pixels, path, &frame->width, &frame->height, &frame->depth, errorText);
    frame->pixels.reset(pixels);
    return ok;
}

}  // namespace detail

MainProcessor::MainProcessor(int cropX, int cropY, int cropWidth, int cropHeight,
                             std::string* fileNames, std::string outputFolder, int typeCode,
                             bool stackEnabled)
    // The window counts the corner from 0; every position in here is 1-based.
    // A corner of INT_MAX, outside every frame, stays INT_MAX rather than
    // wrapping; the corner as given is kept for messages.
    : cropX(oneBased(cropX)),
      cropY(oneBased(cropY)),
      cropWidth(cropWidth),
      cropHeight(cropHeight),
      outputFolder(std::move(outputFolder)),
      fileNames(fileNames),
      bottomUp(typeCode == kTypeCodeBmp),
      stackEnabled(stackEnabled),
      codec(makeCodec(typeCode)),
      givenCropX(cropX),
      givenCropY(cropY) {}

MainProcessor::~MainProcessor() = default;

std::string MainProcessor::getFileName(int index) {
    if (index == -1) return outputFolder + kPathSeparator + "STACK";

    std::string stem;
    if (fileNames != nullptr) {
        stem = fileNames[index];
        // Cut the extension by its usual length; a name too short to have
        // one is kept whole rather than cut to nothing or past its start.
        if (stem.size() >= 4) stem.resize(stem.size() - 4);
    }
    return outputFolder + kPathSeparator + "crop_" + stem;
}

}  // namespace Tellvar
