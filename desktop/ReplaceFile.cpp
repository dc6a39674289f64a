#include "ReplaceFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>

namespace {

int writeAll(int fd, const std::string& content, const WriteCall& write) {
    std::size_t done = 0;
    while (done < content.size()) {
        const ssize_t written = write ? write(fd, content.data() + done, content.size() - done)
                                      : ::write(fd, content.data() + done, content.size() - done);
        if (written < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        done += static_cast<std::size_t>(written);
    }
    return 0;
}

// The old way, for what is no regular file. Without a reader a named pipe
// fails at once instead of blocking.
int writeInPlace(const std::string& path, const std::string& content, const WriteCall& write) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0) return errno;
    const int error = writeAll(fd, content, write);
    if (close(fd) != 0 && error == 0) return errno;
    return error;
}

// The regular file that path names, links followed; path itself when
// nothing is there yet.
std::string resolvedTarget(const std::string& path) {
    std::unique_ptr<char, decltype(&std::free)> resolved(realpath(path.c_str(), nullptr),
                                                         &std::free);
    return resolved ? std::string(resolved.get()) : path;
}

// A new, empty file beside target; its name is returned in name. The
// permissions are those of the old file, or what a new file would get.
int createBeside(const std::string& target, const struct stat* old, std::string& name, int& fd) {
    for (int attempt = 0;; ++attempt) {
        name = target + "." + std::to_string(getpid()) + "-" + std::to_string(attempt) + ".new";
        fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) break;
        if (errno != EEXIST || attempt >= 100) return errno;
    }
    if (old && fchmod(fd, old->st_mode & 07777) != 0) {
        const int error = errno;
        close(fd);
        unlink(name.c_str());
        return error;
    }
    return 0;
}

// Makes the rename itself last; a failure here loses nothing that was
// written, so it is not reported.
void syncFolderOf(const std::string& file) {
    const std::string::size_type slash = file.rfind('/');
    const std::string folder =
        slash == std::string::npos ? "." : (slash == 0 ? "/" : file.substr(0, slash));
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);
    close(fd);
}

}  // namespace

int replaceFileContent(const std::string& path, const std::string& content,
                       const WriteCall& write) {
    struct stat link {};
    struct stat file {};
    const bool present = lstat(path.c_str(), &link) == 0;
    const bool regular = present && stat(path.c_str(), &file) == 0 && S_ISREG(file.st_mode);
    if (present && !regular) return writeInPlace(path, content, write);

    const std::string target = regular ? resolvedTarget(path) : path;
    std::string fresh;
    int fd = -1;
    if (const int error = createBeside(target, regular ? &file : nullptr, fresh, fd)) return error;

    int error = writeAll(fd, content, write);
    if (error == 0 && fsync(fd) != 0) error = errno;
    if (close(fd) != 0 && error == 0) error = errno;
    if (error == 0 && rename(fresh.c_str(), target.c_str()) != 0) error = errno;
    if (error != 0) {
        unlink(fresh.c_str());
        return error;
    }
    syncFolderOf(target);
    return 0;
}
