#include "run/FrameStacks.h"

#include <sys/mman.h>
#include <unistd.h>
#include <cstdint>
#include <limits>

namespace Tellvar {
namespace detail {

FrameStacks::FrameStacks(int count, std::size_t stackBytes) {
    const long page = sysconf(_SC_PAGESIZE);
    if (count < 1 || page <= 0) return;
    const std::size_t pageBytes = static_cast<std::size_t>(page);
    const std::size_t each = (stackBytes + pageBytes - 1) / pageBytes * pageBytes;
    const std::size_t slot = pageBytes + each;
    if (each == 0 ||
        static_cast<std::size_t>(count) > std::numeric_limits<std::size_t>::max() / slot)
        return;
    const std::size_t bytes = slot * static_cast<std::size_t>(count);
    // Reserved, not committed: only the pages a thread touches are ever
    // backed, as with the library's own stacks.
    void* mapping = mmap(nullptr, bytes, PROT_READ | PROT_WRITE,
                         MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_STACK, -1, 0);
    if (mapping == MAP_FAILED) return;
    // Stacks grow down: each one's guard is the page below it.
    for (int i = 0; i < count; ++i) {
        if (mprotect(static_cast<unsigned char*>(mapping) + slot * static_cast<std::size_t>(i),
                     pageBytes, PROT_NONE) != 0) {
            munmap(mapping, bytes);
            return;
        }
    }
    mapping_ = mapping;
    mappingBytes_ = bytes;
    guardBytes_ = pageBytes;
    stackBytes_ = each;
    count_ = count;
}

FrameStacks::~FrameStacks() {
    if (mapping_ != nullptr) munmap(mapping_, mappingBytes_);
}

void* FrameStacks::stack(int slot) const {
    if (mapping_ == nullptr || slot < 0 || slot >= count_) return nullptr;
    return static_cast<unsigned char*>(mapping_) +
           (guardBytes_ + stackBytes_) * static_cast<std::size_t>(slot) + guardBytes_;
}

}  // namespace detail
}  // namespace Tellvar
