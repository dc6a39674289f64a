// Paths that name no regular file (a named pipe, a folder, a device) are
// refused by every codec's reading operations at once, without blocking.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <future>
#include <memory>

#include "Brennock/BMP.h"
#include "Brennock/JPEG.h"
#include "Brennock/TIFF.h"
#include "CodecTestHelpers.h"
#include "TestImages.h"

namespace {

std::string notRegular(const std::string& path, const char* kind) {
    return "The image file named below cannot be read.\n\n" + path + "\n\nThis path names a " +
           kind +
           ", not an image file.\n\nPlease note the filename and remove it from your active list "
           "before trying again.";
}

// The operation's message, or a failure if it is still waiting after a few
// seconds; a reader stuck on the pipe is then let go by opening its other end.
std::string refusalWithin(const std::function<std::string()>& operation, const std::string& pipe) {
    auto pending = std::async(std::launch::async, operation);
    if (pending.wait_for(std::chrono::seconds(5)) == std::future_status::ready)
        return pending.get();
    ADD_FAILURE() << "still blocked after 5 seconds";
    const int writer = ::open(pipe.c_str(), O_WRONLY | O_NONBLOCK);
    if (writer >= 0) ::close(writer);
    return pending.get();
}

TEST(NonRegularInput, EveryReaderRefusesItAtOnceNamingTheFile) {
    testsupport::TempDir dir;
    const std::string pipe = dir.file("pipe.jpg");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    ASSERT_EQ(::symlink(pipe.c_str(), dir.file("link.jpg").c_str()), 0);
    ASSERT_EQ(::mkdir(dir.file("folder.jpg").c_str(), 0700), 0);

    struct Input {
        std::string path;
        const char* kind;
    };
    const Input inputs[] = {{pipe, "named pipe"},
                            {dir.file("link.jpg"), "named pipe"},
                            {dir.file("folder.jpg"), "folder"},
                            {"/dev/null", "device"}};
    std::unique_ptr<Tellvar::Brennock> codecs[] = {std::make_unique<Tellvar::BMP>(),
                                                   std::make_unique<Tellvar::JPEG>(),
                                                   std::make_unique<Tellvar::TIF>()};
    for (const Input& input : inputs)
        for (auto& codec : codecs) {
            SCOPED_TRACE(input.path + " through " + typeid(*codec).name());
            EXPECT_EQ(
                refusalWithin([&] { return codectest::readImage(*codec, input.path).error; }, pipe),
                notRegular(input.path, input.kind));
            EXPECT_EQ(
                refusalWithin([&] { return codectest::checkSize(*codec, input.path).error; }, pipe),
                notRegular(input.path, input.kind));
        }
}

}  // namespace
