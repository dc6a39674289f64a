#pragma once
// Opening an image file for reading. A named pipe without a writer, a
// terminal or a folder would block or mislead every reader, so anything but
// a regular file is refused before a byte of it is read, and the open itself
// never waits: the path is looked at first (a device is not even opened), and
// the object actually opened is checked again, in case the path was swapped
// in between.

#include <cstdint>
#include <cstdio>
#include <string>

namespace Tellvar {

// An open file descriptor, closed when the owner goes out of scope.
class InputFile {
public:
    InputFile() = default;
    ~InputFile();
    InputFile(InputFile&& other) noexcept;
    InputFile& operator=(InputFile&&) = delete;
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // Opens path read-only. Afterwards exactly one of three holds: the file
    // is open (opened()), it is not a regular file (notRegularKind() names
    // what it is), or the open failed (error() is the errno of that call).
    static InputFile open(const std::string& path);

    bool opened() const { return fd_ >= 0; }
    int error() const { return error_; }
    const char* notRegularKind() const { return kind_; }

    // Hands the descriptor over to the caller, who closes it from then on.
    int release();
    // Turns the descriptor into a stdio stream for binary reading; null (with
    // error() set) when that fails, in which case the descriptor is closed.
    std::FILE* releaseAsStream();

private:
    int fd_ = -1;
    int error_ = 0;
    const char* kind_ = nullptr;
};

// The refusal of a path that names a folder, a pipe, a device or a socket.
std::string notRegularFileMessage(const std::string& path, const char* kind);

// True, with that refusal in *errorText, when input is not a regular file.
bool refusedAsNotRegular(const InputFile& input, const std::string& path, std::string* errorText);

// Opens path as a stdio stream for binary reading; null with the failure in
// *errorText: the refusal of a file that is not regular, or openFailed's
// words (each reader words a failed open its own way) with the errno.
std::FILE* openInputStream(const std::string& path,
                           std::string (*openFailed)(const std::string&, int),
                           std::string* errorText);

// Reads count bytes at offset of the open file fd into out, in as many
// reads as it takes; false when the file ends first or a read fails.
bool readFileAt(int fd, unsigned char* out, std::uint64_t count, std::uint64_t offset);

}  // namespace Tellvar
