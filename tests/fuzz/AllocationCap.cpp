// Linked into every fuzz target. A few bytes can claim a frame of
// gigabytes; allocations above 64 MiB therefore fail (nothrow new and malloc
// give null, so the engine's and the libraries' own out-of-memory paths
// answer) instead of costing the time and memory of the whole frame. Frames
// below it (about 22 million pixels) are decoded in full. A throwing new
// above it still reports, as an unbounded allocation should.
extern "C" const char* __asan_default_options() {
    return "allocator_may_return_null=1:max_allocation_size_mb=64";
}
