#pragma once
// Fixed-size blocks for the small records a notebook holds one of per section (the
// sections, their content records, the shared texts' reference counts). Carved from large
// slabs in the order they are made, a loaded notebook's records lie side by side instead
// of between its texts, so a walk over the outline (a save's snapshot, a search) reads
// memory in sequence. Freed blocks are reused; a size's slabs are released when its last
// block is freed. Any thread may allocate and free.
#include <cstddef>
#include <memory>
#include <new>

namespace lark {

void* PoolAllocate(std::size_t size);
void PoolFree(void* block, std::size_t size) noexcept;

// Gives a class pooled `new` and `delete`.
#define LARK_POOLED_CLASS(Class)                                                       \
    static void* operator new(std::size_t size) { return ::lark::PoolAllocate(size); } \
    static void operator delete(void* block, std::size_t size) noexcept { ::lark::PoolFree(block, size); }

// A standard allocator over the pools (for shared_ptr's control blocks).
template <class T>
struct PoolAllocator {
    using value_type = T;
    PoolAllocator() = default;
    template <class U>
    PoolAllocator(const PoolAllocator<U>&) noexcept {}
    T* allocate(std::size_t n) {
        if (n != 1) return static_cast<T*>(::operator new(n * sizeof(T)));
        return static_cast<T*>(PoolAllocate(sizeof(T)));
    }
    void deallocate(T* p, std::size_t n) noexcept {
        if (n != 1) ::operator delete(p);
        else PoolFree(p, sizeof(T));
    }
    template <class U>
    bool operator==(const PoolAllocator<U>&) const noexcept {
        return true;
    }
};

}  // namespace lark
