#include "ProcessorTestSupport.h"

#include "Brennock/BMP.h"
#include "Brennock/JPEG.h"
#include "Brennock/TIFF.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <tuple>

namespace proctest {

using testsupport::Picture;

Picture toPicture(const unsigned char* buffer, int width, int height, bool bottomUpBgr) {
    Picture picture;
    picture.width = width;
    picture.height = height;
    picture.rgb.resize(static_cast<std::size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int bufferRow = bottomUpBgr ? height - 1 - y : y;
            const unsigned char* from =
                buffer + (static_cast<std::size_t>(bufferRow) * width + x) * 3;
            std::uint8_t* to = picture.pixel(x, y);
            to[0] = bottomUpBgr ? from[2] : from[0];
            to[1] = from[1];
            to[2] = bottomUpBgr ? from[0] : from[2];
        }
    return picture;
}

Picture decode(const std::string& path, Format format) {
    std::unique_ptr<Tellvar::Brennock> codec;
    if (format == Format::Bmp)
        codec = std::make_unique<Tellvar::BMP>();
    else if (format == Format::Jpeg && path.size() > 4 && path.substr(path.size() - 4) == ".jpg")
        codec = std::make_unique<Tellvar::JPEG>();
    else
        codec = std::make_unique<Tellvar::TIF>();

    unsigned char* buffer = nullptr;
    int width = 0, height = 0, depth = 0;
    std::string error;
    const bool ok = codec->openImage(&buffer, path, &width, &height, &depth, &error);
    std::unique_ptr<unsigned char[]> owned(buffer);
    EXPECT_TRUE(ok) << error;
    if (!ok) return {};
    return toPicture(owned.get(), width, height, format == Format::Bmp);
}

Series::Series(Format format) : format(format), outputFolder(dir.file("out")) {
    std::filesystem::create_directory(outputFolder);
}

int Series::add(const Picture& picture) {
    const int index = static_cast<int>(names.size());
    names.push_back(inputFileName("frame" + std::to_string(index), format));
    paths.push_back(dir.file(names.back()));
    writeInput(paths.back(), picture, format);
    return index;
}

int Series::addMissing() {
    const int index = static_cast<int>(names.size());
    names.push_back(inputFileName("missing" + std::to_string(index), format));
    paths.push_back(dir.file(names.back()));
    return index;
}

std::string Series::outputPath(int index) const {
    const std::string& name = names[index];
    return outputFolder + "/crop_" + name.substr(0, name.size() - 4) + outputExtension(format);
}

std::string Series::stackPath() const { return outputFolder + "/STACK" + outputExtension(format); }

std::unique_ptr<Tellvar::MainProcessor> makeProcessor(Series& series, Rect rect, bool stack) {
    return std::make_unique<Tellvar::MainProcessor>(rect.x, rect.y, rect.width, rect.height,
                                                    series.names.data(), series.outputFolder,
                                                    typeCode(series.format), stack);
}

void addShiftedFrames(Series& series, int width, int height, int count, std::uint32_t seed,
                      const std::vector<int>& missing) {
    const Picture picture = testsupport::makeStarField(width, height, seed);
    for (int index = 0; index < count; ++index) {
        if (std::find(missing.begin(), missing.end(), index) != missing.end())
            series.addMissing();
        else
            series.add(testsupport::shifted(picture, index % 3 - 1, index % 2, 1,
                                            static_cast<std::uint32_t>(index)));
    }
}

Tellvar::RunPlan planFor(const Series& series, int searchPerimeter, int threadCount,
                         bool smallImage) {
    Tellvar::RunPlan plan;
    plan.filePaths = series.paths.data();
    plan.imageCount = static_cast<int>(series.paths.size());
    plan.searchPerimeter = searchPerimeter;
    plan.threadCount = threadCount;
    plan.smallImage = smallImage;
    return plan;
}

const Picture& sharedStarField(int width, int height, std::uint32_t seed) {
    static std::mutex mutex;
    static std::map<std::tuple<int, int, std::uint32_t>, Picture> fields;
    std::lock_guard<std::mutex> lock(mutex);
    const auto key = std::make_tuple(width, height, seed);
    auto found = fields.find(key);
    if (found == fields.end())
        found = fields.emplace(key, testsupport::makeStarField(width, height, seed)).first;
    return found->second;
}

}  // namespace proctest
