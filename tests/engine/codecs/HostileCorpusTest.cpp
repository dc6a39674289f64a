// Every codec faces every hostile file: the generated ones, the fuzzers'
// reproducers kept in tests/corpus, and inputs that are not regular files.
// Each call must either succeed with a consistent result or fail with a
// message; the sanitizer build checks that nothing reads or writes astray
// (the codecs' own libraries included, in their instrumented copies).

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "Brennock/BMP.h"
#include "Brennock/JPEG.h"
#include "Brennock/TIFF.h"
#include "CodecTestHelpers.h"
#include "HostileFiles.h"
#include "TestImages.h"

namespace {

namespace fs = std::filesystem;
using codectest::checkSize;
using codectest::readImage;

struct Codec {
    const char* name;
    std::function<std::unique_ptr<Tellvar::Brennock>()> make;
};
const Codec kCodecs[] = {
    {"BMP", [] { return std::make_unique<Tellvar::BMP>(); }},
    {"JPEG", [] { return std::make_unique<Tellvar::JPEG>(); }},
    {"TIF", [] { return std::make_unique<Tellvar::TIF>(); }},
};

// What one call did, as a failure text; empty when it was sound: a success
// with a usable frame (whose every byte was read) that the size checker
// agrees with, or a failure with a message.
std::string unsoundHandling(Tellvar::Brennock& codec, const std::string& path) {
    const auto size = checkSize(codec, path);
    if (!size.ok && size.error.empty()) return "sizeChecker failed without a message";
    if (size.ok && (size.width <= 0 || size.height <= 0)) return "sizeChecker gave no size";
    const auto read = readImage(codec, path);  // copies every byte of the frame
    if (!read.ok) return read.error.empty() ? "openImage failed without a message" : "";
    if (read.width <= 0 || read.height <= 0) return "openImage gave no size";
    if (!size.ok) return "openImage read a file sizeChecker refuses: " + size.error;
    if (size.width != read.width || size.height != read.height)
        return "sizeChecker and openImage disagree on the size";
    return "";
}

// ---- Files --------------------------------------------------------------------

const testsupport::TempDir& generatedFolder() {
    static const testsupport::TempDir folder;
    return folder;
}

struct CorpusFile {
    std::string path;
    bool kept = false;  // a reproducer from tests/corpus
};
void PrintTo(const CorpusFile& file, std::ostream* out) {
    *out << fs::path(file.path).filename().string();
}

std::vector<CorpusFile> corpus() {
    std::vector<CorpusFile> files;
    for (const std::string& name : testsupport::hostileFileNames())
        files.push_back({generatedFolder().file(name)});
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(HOSTILE_CORPUS_DIR, ignored))
        if (entry.is_regular_file()) files.push_back({entry.path().string(), true});
    return files;
}

class HostileCorpus : public ::testing::TestWithParam<CorpusFile> {
protected:
    void SetUp() override {
        if (!GetParam().kept)
            testsupport::writeHostileFile(generatedFolder().path(),
                                          fs::path(GetParam().path).filename().string());
    }
};

TEST_P(HostileCorpus, EveryCodecSucceedsConsistentlyOrFailsWithAMessage) {
    for (const Codec& codec : kCodecs) {
        SCOPED_TRACE(codec.name);
        EXPECT_EQ(unsoundHandling(*codec.make(), GetParam().path), "");
    }
}

std::string testName(const ::testing::TestParamInfo<CorpusFile>& info) {
    std::string name =
        (info.param.kept ? "kept_" : "") + fs::path(info.param.path).filename().string();
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Files, HostileCorpus, ::testing::ValuesIn(corpus()), testName);

// ---- Inputs that are not regular files ----------------------------------------

// A codec that opens a named pipe waits for a writer that never comes, so
// each call runs in a child process of its own that is killed when it has
// not answered in time.
constexpr auto kAnswerTime = std::chrono::seconds(5);

struct Call {
    std::string what;
    pid_t child = -1;
    int status = 0;
    bool answered = false;
};

Call startCall(const Codec& codec, const std::string& path) {
    Call call{std::string(codec.name)};
    call.child = fork();
    if (call.child == 0) {
        const std::string failure = unsoundHandling(*codec.make(), path);
        if (!failure.empty()) std::fprintf(stderr, "%s: %s\n", codec.name, failure.c_str());
        std::_Exit(failure.empty() ? 0 : 1);
    }
    return call;
}

void awaitCalls(std::vector<Call>& calls) {
    const auto deadline = std::chrono::steady_clock::now() + kAnswerTime;
    for (bool waiting = true; waiting && std::chrono::steady_clock::now() < deadline;) {
        waiting = false;
        for (Call& call : calls)
            if (!call.answered) {
                call.answered = waitpid(call.child, &call.status, WNOHANG) == call.child;
                waiting |= !call.answered;
            }
        if (waiting) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    for (Call& call : calls)
        if (!call.answered) {
            kill(call.child, SIGKILL);
            waitpid(call.child, &call.status, 0);
        }
}

struct Special {
    const char* name;
    std::function<std::string(const testsupport::TempDir&)> make;  // gives the path
};

void PrintTo(const Special& special, std::ostream* out) { *out << special.name; }

class NotARegularFile : public ::testing::TestWithParam<Special> {};

TEST_P(NotARegularFile, EveryCodecAnswersWithoutBlocking) {
    testsupport::TempDir dir;
    const std::string path = GetParam().make(dir);
    ASSERT_TRUE(fs::exists(path));
    std::vector<Call> calls;
    for (const Codec& codec : kCodecs) calls.push_back(startCall(codec, path));
    ASSERT_TRUE(std::all_of(calls.begin(), calls.end(), [](const Call& c) { return c.child > 0; }));
    awaitCalls(calls);

    std::string blocked;
    for (const Call& call : calls) {
        if (!call.answered) {
            blocked += " " + call.what;
            continue;
        }
        EXPECT_TRUE(WIFEXITED(call.status) && WEXITSTATUS(call.status) == 0)
            << call.what << " handled " << path << " unsoundly (status " << call.status << ")";
    }
    // A reader that waits on a fifo or device hangs the caller for good: that is the fault here.
    EXPECT_TRUE(blocked.empty()) << "the call blocks on " << GetParam().name
                                 << " instead of refusing it:" << blocked;
}

const Special kSpecials[] = {
    {"fifo",
     [](const testsupport::TempDir& dir) {
         const std::string path = dir.file("pipe.tif");
         mkfifo(path.c_str(), 0600);
         return path;
     }},
    {"directory",
     [](const testsupport::TempDir& dir) {
         const std::string path = dir.file("folder.jpg");
         fs::create_directory(path);
         return path;
     }},
    {"empty_device", [](const testsupport::TempDir&) { return std::string("/dev/null"); }},
    {"endless_device", [](const testsupport::TempDir&) { return std::string("/dev/zero"); }},
};

INSTANTIATE_TEST_SUITE_P(Inputs, NotARegularFile, ::testing::ValuesIn(kSpecials),
                         [](const ::testing::TestParamInfo<Special>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
