#include "codecs/InputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace Tellvar {

namespace {

const char* kindOf(mode_t mode) {
    if (S_ISREG(mode)) return nullptr;
    if (S_ISDIR(mode)) return "folder";
    if (S_ISFIFO(mode)) return "named pipe";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "device";
    if (S_ISSOCK(mode)) return "socket";
    return "special file";
}

}  // namespace

InputFile::~InputFile() {
    if (fd_ >= 0) ::close(fd_);
}

InputFile::InputFile(InputFile&& other) noexcept
    : fd_(other.fd_), error_(other.error_), kind_(other.kind_) {
    other.fd_ = -1;
}

InputFile InputFile::open(const std::string& path) {
    InputFile file;
    // Opening a device can have effects of its own, so what the path names
    // is looked at first. A path that cannot be looked at is left to the
    // open, which then reports why.
    struct stat named;
    if (::stat(path.c_str(), &named) == 0 && (file.kind_ = kindOf(named.st_mode)) != nullptr)
        return file;

    // O_NONBLOCK keeps the open from waiting for a pipe's writer should the
    // path have been replaced by one since.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        file.error_ = errno;
        return file;
    }
    struct stat opened;
    if (::fstat(fd, &opened) != 0) {
        file.error_ = errno;
        ::close(fd);
        return file;
    }
    if ((file.kind_ = kindOf(opened.st_mode)) != nullptr) {
        ::close(fd);
        return file;
    }
    // Reads of a regular file never wait anyway; the flag is dropped so the
    // descriptor behaves exactly like one of a plain open.
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    file.fd_ = fd;
    return file;
}

int InputFile::release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

std::FILE* InputFile::releaseAsStream() {
    std::FILE* stream = ::fdopen(fd_, "rb");
    if (stream == nullptr) {
        error_ = errno;
        ::close(fd_);
    }
    fd_ = -1;
    return stream;
}

std::string notRegularFileMessage(const std::string& path, const char* kind) {
    return "The image file named below cannot be read.\n\n" + path + "\n\nThis path names a " +
           kind +
           ", not an image file.\n\nPlease note the filename and remove it from your active list "
           "before trying again.";
}

bool refusedAsNotRegular(const InputFile& input, const std::string& path, std::string* errorText) {
    if (input.notRegularKind() == nullptr) return false;
    *errorText = notRegularFileMessage(path, input.notRegularKind());
    return true;
}

std::FILE* openInputStream(const std::string& path,
                           std::string (*openFailed)(const std::string&, int),
                           std::string* errorText) {
    InputFile input = InputFile::open(path);
    if (refusedAsNotRegular(input, path, errorText)) return nullptr;
    std::FILE* stream = input.opened() ? input.releaseAsStream() : nullptr;
    if (stream == nullptr) *errorText = openFailed(path, input.error());
    return stream;
}

bool readFileAt(int fd, unsigned char* out, std::uint64_t count, std::uint64_t offset) {
    // A read of more than this may come back short on some systems anyway.
    constexpr std::uint64_t kMostPerRead = 1u << 30;
    while (count > 0) {
        const ssize_t got =
            ::pread(fd, out, static_cast<std::size_t>(std::min(count, kMostPerRead)),
                    static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        out += got;
        offset += static_cast<std::uint64_t>(got);
        count -= static_cast<std::uint64_t>(got);
    }
    return true;
}

}  // namespace Tellvar
