#pragma once
// Messages of the processor's own failures; the codecs word the others.

#include <string>

namespace Tellvar {

class MainProcessor;

namespace detail {

// The corner counted from 0, as the caller gave it.
std::string cropOutsideReferenceMessage(const std::string& path, int frameWidth, int frameHeight,
                                        int cropWidth, int cropHeight, int cornerX, int cornerY);
std::string frameSmallerThanCropMessage(const std::string& path, int frameWidth, int frameHeight,
                                        const MainProcessor& processor);
std::string noMatchMessage(const std::string& path);
// coarse: the crop area varies, but not on the reduced copy.
std::string flatReferenceMessage(const std::string& path, bool coarse);
std::string noReferenceMessage(const std::string& path);
std::string unexplainedFailureMessage(int index);
std::string outOfMemoryMessage(const std::string& path);
std::string noStackSumMessage();
std::string stackCountMessage(int count);

}  // namespace detail
}  // namespace Tellvar
