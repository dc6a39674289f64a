#pragma once
// Rewriting a small file whole, so that a write that fails part way (a full
// disk) never leaves it cut short.

#include <sys/types.h>

#include <cstddef>
#include <functional>
#include <string>

// The write(2) call the bytes go through; tests put a failing one here.
using WriteCall = std::function<ssize_t(int fd, const void* data, std::size_t size)>;

// Makes the file at path hold exactly content. The bytes go into a new file
// in the same folder, which is flushed to the disk and renamed over the old
// one only when complete, so the file holds either all of its old content
// or all of the new. A symbolic link is followed and stays in place, and the
// old file's permissions are kept. A path that names no regular file (a
// device, a named pipe, a dangling link) is written in place, as before: it
// holds no content that could be kept.
//
// Returns 0, or the errno of the step that failed; the old file is then as
// it was and no new file is left behind.
int replaceFileContent(const std::string& path, const std::string& content,
                       const WriteCall& write = {});
