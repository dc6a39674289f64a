// Per-thread working memory of the position scans.

#include "registration/ScanArena.h"

#include <algorithm>
#include <cstdint>
#include <new>

namespace Tellvar {
namespace detail {

ScanArena& ScanArena::forThisThread() {
    thread_local ScanArena arena;
    return arena;
}

ScanArena::Scope::Scope(ScanArena& arena)
    : arena_(arena), block_(arena.block_), used_(arena.used_) {}

ScanArena::Scope::~Scope() {
    arena_.block_ = block_;
    arena_.used_ = used_;
}

namespace {
constexpr std::size_t kMostBlock = static_cast<std::size_t>(-1) / 4;
}  // namespace

void* ScanArena::takeBytes(std::size_t bytes) {
    for (;; ++block_, used_ = 0) {
        if (block_ == blocks_.size()) {
            // Room for the request and its alignment, and twice as much as
            // the arena already holds: growing stays rare, and the newest
            // and largest block stays mostly spare, which keeps the pages a
            // new thread has to fault in few (half as many per frame in a
            // run at a 1200 x 900 crop). Where that much cannot be had, the
            // request alone will do.
            std::size_t held = 0;
            for (const Block& block : blocks_) held += block.size;
            Block block;
            block.size = std::max(bytes + kAlignment, held > kMostBlock / 2 ? held : 2 * held);
            block.bytes.reset(new (std::nothrow) unsigned char[block.size]);
            if (!block.bytes && block.size > bytes + kAlignment) {
                block.size = bytes + kAlignment;
                block.bytes.reset(new (std::nothrow) unsigned char[block.size]);
            }
            if (!block.bytes) return nullptr;
            blocks_.push_back(std::move(block));
        }
        Block& block = blocks_[block_];
        const std::uintptr_t start = reinterpret_cast<std::uintptr_t>(block.bytes.get());
        const std::size_t offset = static_cast<std::size_t>(
            (start + used_ + kAlignment - 1) / kAlignment * kAlignment - start);
        if (offset <= block.size && block.size - offset >= bytes) {
            used_ = offset + bytes;
            return block.bytes.get() + offset;
        }
    }
}

}  // namespace detail
}  // namespace Tellvar
