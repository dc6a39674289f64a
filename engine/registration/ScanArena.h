#pragma once
// The working memory of the position scans, kept by each thread from one
// scan to the next.
//
// A run's reader threads search frame after frame with the same sizes:
// memory handed back to the heap after every frame would be returned to the
// system and faulted in again on the next (thousands of page faults a frame
// for a large crop). Each thread therefore keeps one arena, grown as its
// scans have needed (each new block twice what it held), and takes every
// scan's arrays from it; the memory goes when the thread ends, so a run
// holds at most one arena per thread it runs. (A run of a single batch
// searches on its per-image threads, whose arenas go with each image.)
// Scans nest (a scan may first scan halved copies): each takes its arrays
// inside a Scope, which gives them back when it ends.

#include <cstddef>
#include <memory>
#include <vector>

namespace Tellvar {
namespace detail {

class ScanArena {
public:
    // The calling thread's arena.
    static ScanArena& forThisThread();

    // Everything taken from the arena while a Scope lives is given back when
    // it ends. The blocks themselves stay, already in memory, for the next
    // scan, which takes its arrays in the same order and so finds them the
    // same room.
    class Scope {
    public:
        explicit Scope(ScanArena& arena);
        ~Scope();
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        ScanArena& arena_;
        std::size_t block_, used_;
    };

    // count elements of a trivial type, uninitialised, 64-byte aligned; null
    // when the memory cannot be had. Only inside a Scope.
    template <class T>
    T* take(std::size_t count) {
        if (count > static_cast<std::size_t>(-1) / sizeof(T) - kAlignment) return nullptr;
        return static_cast<T*>(takeBytes(count * sizeof(T)));
    }

private:
    static constexpr std::size_t kAlignment = 64;
    struct Block {
        std::unique_ptr<unsigned char[]> bytes;
        std::size_t size = 0;
    };
    void* takeBytes(std::size_t bytes);

    std::vector<Block> blocks_;
    std::size_t block_ = 0;  // the block being filled
    std::size_t used_ = 0;   // bytes of it taken
};

}  // namespace detail
}  // namespace Tellvar
