// Texts of the failures the processor itself detects. Paragraphs are
// separated by a blank line and name the file, like the codecs' messages.

#include "processor/ProcessorMessages.h"

#include "Brennock/MainProcessor.h"

namespace Tellvar {
namespace detail {

namespace {

std::string size(int width, int height) {
    return std::to_string(width) + " x " + std::to_string(height);
}

}  // namespace

std::string cropOutsideReferenceMessage(const std::string& path, int frameWidth, int frameHeight,
                                        int cropWidth, int cropHeight, int cornerX, int cornerY) {
    return "The crop area does not lie inside the reference frame named below.\n\n" + path +
           "\n\nThe reference frame is " + size(frameWidth, frameHeight) +
           " pixels; the crop area is " + size(cropWidth, cropHeight) +
           " pixels with its top-left corner at column " + std::to_string(cornerX) + ", row " +
           std::to_string(cornerY) +
           ".\n\nPlease place the crop area inside the image and submit your images again.";
}

std::string frameSmallerThanCropMessage(const std::string& path, int frameWidth, int frameHeight,
                                        const MainProcessor& processor) {
    return "The image file named below is smaller than the crop area.\n\n" + path +
           "\n\nThe image is " + size(frameWidth, frameHeight) + " pixels; the crop area is " +
           size(processor.cropWidth, processor.cropHeight) +
           " pixels.\n\nAll images of a run must have the size of the reference frame. You can "
           "note the filename and remove it from your active list before trying again.";
}

std::string noMatchMessage(const std::string& path) {
    return "Tellvar could not find the content of the crop area in the image file named "
           "below.\n\n" +
           path +
           "\n\nNo position in this image resembles the reference crop, for instance because "
           "the image is completely black or of one even brightness.\n\nPlease check the "
           "image, or note the filename and remove it from your active list before trying "
           "again.";
}

std::string flatReferenceMessage(const std::string& path, bool coarse) {
    const std::string where =
        coarse ? " at the reduced size at which every image is searched first" : "";
    const std::string advice = coarse ? "make the crop area larger or place it over larger "
                                        "detail, such as bright stars,"
                                      : "place the crop area over stars or other visible detail";
    return "The crop area of the reference frame named below has no detail to search for" + where +
           ".\n\n" + path + "\n\nAll of its pixels" + (coarse ? " at that size" : "") +
           " have the same brightness, so its content cannot be found in the other images. No "
           "image has been cropped.\n\nPlease " +
           advice + " and submit your images again.";
}

std::string noReferenceMessage(const std::string& path) {
    return "The image file named below cannot be registered because no reference frame has "
           "been set for this run.\n\n" +
           path;
}

std::string unexplainedFailureMessage(int index) {
    return "Image " + std::to_string(static_cast<long long>(index) + 1) +
           " of this run could not be processed.\n\nPlease check the image, or remove it from "
           "your active list before trying again.";
}

std::string outOfMemoryMessage(const std::string& path) {
    return "There is not enough memory to process the image file named below.\n\n" + path +
           "\n\nPlease close other programs or use smaller images and try again.";
}

std::string noStackSumMessage() {
    return "No stacked image was written.\n\nThe run produced no stack sum to average, as "
           "happens for images smaller than 320 x 240 pixels, or the stacked image of this run "
           "has already been written.";
}

std::string stackCountMessage(int count) {
    return "No stacked image was written.\n\nThe number of images to average must be at least "
           "1; the run gave " +
           std::to_string(count) + ".";
}

}  // namespace detail
}  // namespace Tellvar
