#pragma once
// Owner of a stdio stream, so that every exit of a codec operation closes
// the file it opened.

#include <cstdio>

namespace Tellvar {

// A stdio stream, closed when the owner goes out of scope. A writer calls
// close() itself to learn whether the buffered data reached the file.
class FileHandle {
public:
    explicit FileHandle(std::FILE* file) : file_(file) {}
    ~FileHandle() {
        if (file_ != nullptr) std::fclose(file_);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    FileHandle(FileHandle&& other) noexcept : file_(other.file_) { other.file_ = nullptr; }
    FileHandle& operator=(FileHandle&&) = delete;

    std::FILE* get() const { return file_; }
    explicit operator bool() const { return file_ != nullptr; }

    // Closes the stream; false when flushing or closing failed (errno says why).
    bool close() {
        if (file_ == nullptr) return false;
        std::FILE* file = file_;
        file_ = nullptr;
        return std::fclose(file) == 0;
    }

private:
    std::FILE* file_;
};

}  // namespace Tellvar
