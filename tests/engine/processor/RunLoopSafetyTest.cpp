// What a run refuses before it writes anything (outputs that would be one
// file, or one of its own inputs), frames it cannot trust (damaged JPEG
// data, paths that name no regular file), and the memory bound on frames in
// flight.

#include "Brennock/MainProcessor.h"
#include "Brennock/RunLoop.h"
#include "ProcessorTestSupport.h"
#include "run/FrameBudget.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using proctest::Format;
using Tellvar::MainProcessor;
using Tellvar::RunOutcome;
using testsupport::Picture;

constexpr int kFrameBytes = 320 * 240 * 3;

// A run over files at paths of a test's choosing, relative to a scratch
// folder: shifted copies of one picture, large enough for the coarse path.
struct RunFiles {
    testsupport::TempDir dir;
    Format format = Format::Tiff;
    std::vector<std::string> names, paths;

    std::string at(const std::string& relative) const { return dir.file(relative); }

    void add(const std::string& relative, const Picture& picture) {
        fs::create_directories(fs::path(at(relative)).parent_path());
        proctest::writeInput(at(relative), picture, format);
        paths.push_back(at(relative));
        names.push_back(fs::path(relative).filename().string());
    }
    void addFrames(const std::vector<std::string>& relatives) {
        const Picture picture = testsupport::makeStarField(320, 240, 81);
        for (std::size_t i = 0; i < relatives.size(); ++i)
            add(relatives[i], testsupport::shifted(picture, int(i % 3) - 1, int(i % 2), 1,
                                                   static_cast<std::uint32_t>(i)));
    }

    Tellvar::RunResult run(const std::string& saveFolder, bool stack, int threads = 3,
                           Tellvar::FrameBudget* budget = nullptr) {
        fs::create_directories(at(saveFolder));
        MainProcessor processor(140, 100, 24, 18, names.data(), at(saveFolder),
                                proctest::typeCode(format), stack);
        Tellvar::RunPlan plan;
        plan.filePaths = paths.data();
        plan.imageCount = static_cast<int>(paths.size());
        plan.searchPerimeter = 6;
        plan.threadCount = threads;
        plan.frameBudget = budget;
        return Tellvar::runRegistration(processor, plan, {});
    }

    // Every file under the scratch folder with its bytes.
    std::map<std::string, std::vector<std::uint8_t>> snapshot() const {
        std::map<std::string, std::vector<std::uint8_t>> files;
        for (const auto& entry : fs::recursive_directory_iterator(dir.path()))
            if (entry.is_regular_file() && !entry.is_symlink())
                files[entry.path().string()] = testsupport::readFile(entry.path().string());
        return files;
    }
};

// ---- Output names -------------------------------------------------------------

TEST(RunLoopOutputs, ASetWhoseOutputsClashIsRefusedBeforeAnythingIsWritten) {
    struct Case {
        const char* name;
        std::vector<std::string> inputs;
        std::string saveFolder;
        bool stack;
        std::vector<std::string> named;  // files the refusal must name
        void (*prepare)(const RunFiles&);
    };
    const auto linkSaveFolder = [](const RunFiles& run) {
        fs::create_directory_symlink(run.at("in"), run.at("linked"));
    };
    const auto hardLinkOutput = [](const RunFiles& run) {
        fs::create_directories(run.at("out"));
        fs::create_hard_link(run.at("in/g.tif"), run.at("out/crop_f1.tif"));
    };
    // Enough files for their lookups to be shared out between threads, the
    // clash between the first part and the second.
    std::vector<std::string> manyInputs;
    for (int i = 0; i < 63; ++i) manyInputs.push_back("in/f" + std::to_string(i) + ".tif");
    manyInputs.push_back("in/crop_f3.tif");
    const Case cases[] = {
        {"many files, one crop of them named like the last",
         manyInputs,
         "in",
         false,
         {"in/f3.tif", "in/crop_f3.tif"},
         nullptr},
        {"one name in two folders",
         {"a/m42.tif", "b/m42.tif"},
         "out",
         false,
         {"a/m42.tif", "b/m42.tif", "out/crop_m42.tif"},
         nullptr},
        {"names that differ only in case",
         {"a/M42.tif", "a/m42.tif"},
         "out",
         false,
         {"a/M42.tif", "a/m42.tif", "out/crop_M42.tif", "out/crop_m42.tif"},
         nullptr},
        {"names of four characters",
         {"a/abcd", "a/wxyz"},
         "out",
         false,
         {"a/abcd", "a/wxyz", "out/crop_.tif"},
         nullptr},
        {"a later frame named like the reference",
         {"a/ref.tif", "a/f1.tif", "b/ref.tif"},
         "out",
         false,
         {"a/ref.tif", "b/ref.tif"},
         nullptr},
        {"an input named like another input's crop",
         {"in/f0.tif", "in/crop_f0.tif"},
         "in",
         false,
         {"in/f0.tif", "in/crop_f0.tif"},
         nullptr},
        {"an input named like the stack",
         {"in/f0.tif", "in/STACK.tif"},
         "in",
         true,
         {"in/STACK.tif"},
         nullptr},
        {"a save folder linked to the input folder",
         {"in/f0.tif", "in/crop_f0.tif"},
         "linked",
         false,
         {"in/f0.tif", "in/crop_f0.tif", "linked/crop_f0.tif"},
         linkSaveFolder},
        {"a crop hard-linked to an input",
         {"in/f1.tif", "in/g.tif"},
         "out",
         false,
         {"in/f1.tif", "in/g.tif", "out/crop_f1.tif"},
         hardLinkOutput},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RunFiles run;
        run.addFrames(c.inputs);
        if (c.prepare != nullptr) c.prepare(run);
        fs::create_directories(run.at(c.saveFolder));
        const auto before = run.snapshot();

        const auto result = run.run(c.saveFolder, c.stack);
        EXPECT_EQ(result.outcome, RunOutcome::ReferenceFailed);
        for (const std::string& file : c.named)
            EXPECT_NE(result.message.find(run.at(file)), std::string::npos) << file << " in:\n"
                                                                            << result.message;
        EXPECT_NE(result.message.find("Nothing has been saved."), std::string::npos);
        EXPECT_EQ(run.snapshot(), before);
    }
}

TEST(RunLoopOutputs, FilesLeftByEarlierRunsAreReplacedAndAStackNameOnlyCountsWhenStacking) {
    RunFiles run;
    run.addFrames({"in/f0.tif", "in/f1.tif", "in/STACK.tif"});
    fs::create_directories(run.at("out"));
    testsupport::writeFile(run.at("out/crop_f0.tif"), {1, 2, 3});
    EXPECT_EQ(run.run("out", true).outcome, RunOutcome::Completed);
    EXPECT_GT(testsupport::readFile(run.at("out/crop_f0.tif")).size(), 3u);
    // Without stacking the input named STACK.tif is no output's.
    EXPECT_EQ(run.run("in", false).outcome, RunOutcome::Completed);
}

// ---- Frames that cannot be trusted -------------------------------------------

TEST(RunLoopInputs, DamagedOrNonRegularFramesFailLikeUnreadableOnes) {
    struct Case {
        const char* name;
        int damagedIndex;
        void (*damage)(const std::string& path);
        const char* expectedText;  // in the run's message, after the path
    };
    const auto truncate = [](const std::string& path) {
        auto bytes = testsupport::readFile(path);
        bytes.resize(bytes.size() * 2 / 3);
        testsupport::writeFile(path, bytes);
    };
    const auto makePipe = [](const std::string& path) {
        fs::remove(path);
        EXPECT_EQ(::mkfifo(path.c_str(), 0600), 0);
    };
    for (const Case& c :
         {Case{"a frame cut short", 2, truncate, "Error: Premature end of JPEG file"},
          Case{"a named pipe", 2, makePipe, "This path names a named pipe"},
          Case{"a named pipe as the reference", 0, makePipe, "This path names a named pipe"}}) {
        SCOPED_TRACE(c.name);
        RunFiles run;
        run.format = Format::Jpeg;
        run.addFrames({"f0.jpg", "f1.jpg", "f2.jpg", "f3.jpg"});
        c.damage(run.paths[c.damagedIndex]);

        const auto result = run.run("out", true);
        EXPECT_EQ(result.outcome,
                  c.damagedIndex == 0 ? RunOutcome::ReferenceFailed : RunOutcome::FrameFailed);
        if (c.damagedIndex > 0) {
            EXPECT_EQ(result.failedImages, std::vector<int>{c.damagedIndex});
        }
        const std::size_t named = result.message.find(run.paths[c.damagedIndex]);
        EXPECT_NE(named, std::string::npos) << result.message;
        EXPECT_NE(result.message.find(c.expectedText, named), std::string::npos) << result.message;
        EXPECT_FALSE(fs::exists(run.at("out/crop_f" + std::to_string(c.damagedIndex) + ".tif")));
    }
}

// ---- Memory --------------------------------------------------------------------

// Frames that do not fit the budget together wait for one another; the run
// writes what it writes with room for all, and never holds more than the
// budget, with the readers of the read-ahead (8 images on 3 threads) and with
// the per-frame threads alone (one batch).
TEST(RunLoopMemory, FramesWaitForRoomAndTheFilesStayTheSame) {
    struct Case {
        int images, threads;
        std::uint64_t budget;
    };
    for (const Case& c : {Case{8, 3, kFrameBytes * 5 / 2}, Case{8, 3, kFrameBytes},
                          Case{4, 3, kFrameBytes * 3 / 2}}) {
        SCOPED_TRACE(std::to_string(c.images) + " images, budget " + std::to_string(c.budget));
        std::vector<std::string> relatives;
        for (int i = 0; i < c.images; ++i) relatives.push_back("f" + std::to_string(i) + ".tif");
        RunFiles run;
        run.addFrames(relatives);

        EXPECT_EQ(run.run("roomy", true, c.threads).outcome, RunOutcome::Completed);
        Tellvar::FrameBudget budget(c.budget);
        EXPECT_EQ(run.run("tight", true, c.threads, &budget).outcome, RunOutcome::Completed);
        EXPECT_LE(budget.peakHeld(), c.budget);
        EXPECT_GE(budget.peakHeld(), std::uint64_t{kFrameBytes});
        for (const std::string& relative : relatives) {
            const std::string crop = "crop_" + relative;
            EXPECT_EQ(testsupport::readFile(run.at("tight/" + crop)),
                      testsupport::readFile(run.at("roomy/" + crop)))
                << crop;
        }
    }
}

TEST(RunLoopMemory, AFrameLargerThanTheWholeBudgetFailsWithAMessage) {
    const std::string tail =
        " MB that Tellvar can use for images on this computer.\n\nPlease use smaller images or a "
        "computer with more memory, or note the filename and remove it from your active list "
        "before trying again.";
    const auto expected = [&](const std::string& path, const char* need, const char* have) {
        return "There is not enough memory to process the image file named below.\n\n" + path +
               "\n\nThis image needs " + need + " MB of memory, more than the " + have + tail;
    };

    RunFiles run;
    run.addFrames({"f0.tif", "f1.tif", "f2.tif"});
    // A later frame of 4 MB beside frames of 0.2 MB.
    proctest::writeInput(run.paths[1], testsupport::makeStarField(1280, 1100, 3), run.format);

    Tellvar::FrameBudget small(3u << 20);
    auto result = run.run("out", false, 2, &small);
    EXPECT_EQ(result.outcome, RunOutcome::FrameFailed);
    EXPECT_EQ(result.failedImages, std::vector<int>{1});
    EXPECT_EQ(result.message, expected(run.paths[1], "5", "3"));

    Tellvar::FrameBudget tiny(kFrameBytes - 1);
    result = run.run("out", false, 2, &tiny);
    EXPECT_EQ(result.outcome, RunOutcome::ReferenceFailed);
    EXPECT_EQ(result.message, expected(run.paths[0], "1", "0"));
}

}  // namespace
