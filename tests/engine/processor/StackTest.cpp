// The stacked frame: the byte-wise average of every crop of a run.

#include "Brennock/MainProcessor.h"
#include "Brennock/TypeCodes.h"
#include "ProcessorTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

using proctest::Format;
using proctest::Series;
using Tellvar::MainProcessor;
using testsupport::Picture;

constexpr int kCropX = 100, kCropY = 80, kCropWidth = 24, kCropHeight = 18;

// The star field in the first byte of every pixel, which alone decides the
// search, and fixed values in the other two, which the stack averages.
Picture withFixedBytes(const Picture& field, std::uint8_t second, std::uint8_t third) {
    Picture out = field;
    for (std::size_t i = 0; i < out.rgb.size(); i += 3) {
        out.rgb[i + 1] = second;
        out.rgb[i + 2] = third;
    }
    return out;
}

// Registers every picture of the series (reference first) with stacking on.
std::unique_ptr<MainProcessor> runSeries(Series& series, const std::vector<Picture>& pictures) {
    for (const Picture& picture : pictures) series.add(picture);
    auto processor = std::make_unique<MainProcessor>(kCropX, kCropY, kCropWidth, kCropHeight,
                                                     series.names.data(), series.outputFolder,
                                                     proctest::typeCode(series.format), true);
    std::string error;
    EXPECT_TRUE(processor->setReferenceFrame(series.paths[0], &error)) << error;
    bool ok = true;
    for (int index = 1; index < static_cast<int>(pictures.size()); ++index)
        processor->setPhaseOne(series.paths[index], index, 4, &ok, &error);
    EXPECT_TRUE(ok) << error;
    return processor;
}

class Stacking : public ::testing::Test {
protected:
    const Picture* field = &proctest::sharedStarField(320, 240, 51);
};

TEST_F(Stacking, AveragesByIntegerDivision) {
    Series three(Format::Tiff);
    auto processor =
        runSeries(three, {withFixedBytes(*field, 10, 200), withFixedBytes(*field, 11, 201),
                          withFixedBytes(*field, 13, 201)});
    std::string error;
    ASSERT_TRUE(processor->StackImages(3, &error)) << error;
    EXPECT_EQ(processor->stackSum, nullptr);
    const Picture stack = proctest::decode(three.stackPath(), Format::Tiff);
    const Picture reference = proctest::decode(three.outputPath(0), Format::Tiff);
    ASSERT_EQ(stack.width, kCropWidth);
    ASSERT_EQ(stack.height, kCropHeight);
    for (std::size_t i = 0; i < stack.rgb.size(); i += 3) {
        ASSERT_EQ(stack.rgb[i], reference.rgb[i]) << i;
        ASSERT_EQ(stack.rgb[i + 1], 11) << i;   // 34 / 3
        ASSERT_EQ(stack.rgb[i + 2], 200) << i;  // 602 / 3
    }

    Series two(Format::Tiff);
    processor = runSeries(two, {withFixedBytes(*field, 10, 200), withFixedBytes(*field, 11, 201)});
    ASSERT_TRUE(processor->StackImages(2, &error)) << error;
    const Picture pair = proctest::decode(two.stackPath(), Format::Tiff);
    for (std::size_t i = 0; i < pair.rgb.size(); i += 3) {
        ASSERT_EQ(pair.rgb[i + 1], 10) << i;
        ASSERT_EQ(pair.rgb[i + 2], 200) << i;
    }
}

TEST_F(Stacking, IdenticalImagesStackToTheReferenceCrop) {
    for (Format format : {Format::Bmp, Format::Tiff}) {
        Series series(format);
        auto processor = runSeries(series, {*field, *field, *field, *field});
        std::string error;
        ASSERT_TRUE(processor->StackImages(4, &error)) << error;
        const std::string expectedName =
            series.outputFolder + (format == Format::Bmp ? "/STACK.bmp" : "/STACK.tif");
        ASSERT_TRUE(std::filesystem::exists(expectedName));
        EXPECT_TRUE(proctest::samePixels(proctest::decode(expectedName, format),
                                         proctest::decode(series.outputPath(0), format)));
        EXPECT_TRUE(proctest::samePixels(
            proctest::decode(expectedName, format),
            proctest::cropPicture(*field, kCropX, kCropY, kCropWidth, kCropHeight)));
    }
}

TEST_F(Stacking, WithoutAStackSumNothingIsWritten) {
    // A small-image run with stacking on makes no stack sum.
    Series small(Format::Tiff);
    small.add(*field);
    MainProcessor processor(kCropX, kCropY, kCropWidth, kCropHeight, small.names.data(),
                            small.outputFolder, Tellvar::kTypeCodeTiff, true);
    std::string error;
    ASSERT_TRUE(processor.setReferenceFrameSmallImage(small.paths[0], &error)) << error;
    error.clear();
    EXPECT_FALSE(processor.StackImages(1, &error));
    EXPECT_NE(error.find("No stacked image was written"), std::string::npos) << error;
    EXPECT_FALSE(std::filesystem::exists(small.stackPath()));

    // A second call after a successful one finds the sum released.
    Series series(Format::Tiff);
    auto stacked = runSeries(series, {*field, *field});
    ASSERT_TRUE(stacked->StackImages(2, &error)) << error;
    std::filesystem::remove(series.stackPath());
    error.clear();
    EXPECT_FALSE(stacked->StackImages(2, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(std::filesystem::exists(series.stackPath()));
}

TEST_F(Stacking, CountBelowOneIsRefusedAndTheSumKept) {
    Series series(Format::Tiff);
    auto processor = runSeries(series, {*field, *field});
    for (int count : {0, -3}) {
        std::string error;
        EXPECT_FALSE(processor->StackImages(count, &error));
        EXPECT_NE(error.find("at least 1"), std::string::npos) << error;
        EXPECT_NE(processor->stackSum, nullptr);
    }
    EXPECT_FALSE(std::filesystem::exists(series.stackPath()));
    std::string error;
    EXPECT_TRUE(processor->StackImages(2, &error)) << error;
}

TEST_F(Stacking, FailedSaveKeepsTheSum) {
    Series series(Format::Bmp);
    auto processor = runSeries(series, {*field, *field});
    std::filesystem::remove_all(series.outputFolder);
    std::string error;
    EXPECT_FALSE(processor->StackImages(2, &error));
    EXPECT_NE(error.find(series.outputFolder + "/STACK.bmp"), std::string::npos) << error;
    ASSERT_NE(processor->stackSum, nullptr);

    std::filesystem::create_directory(series.outputFolder);
    EXPECT_TRUE(processor->StackImages(2, &error)) << error;
    EXPECT_TRUE(std::filesystem::exists(series.stackPath()));
}

TEST_F(Stacking, StackingOffMakesNoSum) {
    Series series(Format::Tiff);
    series.add(*field);
    series.add(*field);
    MainProcessor processor(kCropX, kCropY, kCropWidth, kCropHeight, series.names.data(),
                            series.outputFolder, Tellvar::kTypeCodeTiff, false);
    std::string error;
    ASSERT_TRUE(processor.setReferenceFrame(series.paths[0], &error)) << error;
    bool ok = true;
    processor.setPhaseOne(series.paths[1], 1, 4, &ok, &error);
    ASSERT_TRUE(ok) << error;
    EXPECT_EQ(processor.stackSum, nullptr);
}

}  // namespace
