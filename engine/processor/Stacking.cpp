// The stacked frame: the byte-wise average of every crop of a run.

#include "Brennock/MainProcessor.h"
#include "processor/ProcessorAccess.h"
#include "processor/ProcessorMessages.h"

#include <new>

namespace Tellvar {

void detail::ProcessorAccess::addToStack(MainProcessor& processor, const unsigned char* crop) {
    std::lock_guard<std::mutex> lock(processor.runMutex);
    if (!processor.stackSum) return;
    std::uint64_t* sum = processor.stackSum.get();
    for (std::size_t k = 0; k < processor.stackElements; ++k) sum[k] += crop[k];
}

bool MainProcessor::StackImages(int count, std::string* errorText) {
    if (!stackSum) {
        *errorText = detail::noStackSumMessage();
        return false;
    }
    if (count < 1) {
        *errorText = detail::stackCountMessage(count);
        return false;
    }

    std::unique_ptr<unsigned char[]> average(new (std::nothrow) unsigned char[stackElements]);
    if (!average) {
        *errorText = detail::outOfMemoryMessage(getFileName(-1));
        return false;
    }
    const std::uint64_t divisor = static_cast<std::uint64_t>(count);
    for (std::size_t k = 0; k < stackElements; ++k)
        average[k] = static_cast<unsigned char>(stackSum[k] / divisor);

    if (!codec->saveImage(average.get(), cropWidth, cropHeight, 24, getFileName(-1), errorText))
        return false;
    stackSum.reset();
    stackElements = 0;
    return true;
}

}  // namespace Tellvar
