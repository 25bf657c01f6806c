#include "document/node_pool.h"

#include <algorithm>
#include <array>
#include <mutex>
#include <vector>

namespace lark {

namespace {

// Block sizes are multiples of this. A block is aligned as its size allows (to 16 bytes
// when the size is a multiple of 16): an object's size is a multiple of its alignment.
constexpr std::size_t kGrain = 8;
constexpr std::size_t kLargest = 256;  // larger requests go to the general heap
constexpr std::size_t kSlabBytes = std::size_t{256} * 1024;

struct FreeBlock {
    FreeBlock* next;
};

class Pools {
public:
    void* allocate(std::size_t size) {
        const std::size_t k = classOf(size);
        std::lock_guard lock(mutex_);
        Class& c = classes_[k];
        if (c.free) {
            ++c.live;
            FreeBlock* b = c.free;
            c.free = b->next;
            return b;
        }
        const std::size_t block = (k + 1) * kGrain;
        if (c.left < block) {
            if (c.slabs.size() == c.slabs.capacity())  // may throw: nothing changed yet
                c.slabs.reserve(std::max<std::size_t>(16, 2 * c.slabs.size()));
            c.slab = static_cast<char*>(::operator new(kSlabBytes));
            c.slabs.push_back(c.slab);
            c.left = kSlabBytes;
        }
        ++c.live;
        void* out = c.slab;
        c.slab += block;
        c.left -= block;
        return out;
    }
    void free(void* p, std::size_t size) noexcept {
        const std::size_t k = classOf(size);
        std::lock_guard lock(mutex_);
        Class& c = classes_[k];
        auto* b = static_cast<FreeBlock*>(p);
        b->next = c.free;
        c.free = b;
        // The last record of its size gone (a notebook closed): the slabs go back too, so
        // that a huge notebook once opened does not keep its memory for the program's life.
        if (--c.live == 0) {
            for (char* slab : c.slabs) ::operator delete(slab);
            c.slabs.clear();
            c.free = nullptr;
            c.slab = nullptr;
            c.left = 0;
        }
    }

private:
    static std::size_t classOf(std::size_t size) { return (size == 0 ? 0 : size - 1) / kGrain; }
    struct Class {
        FreeBlock* free = nullptr;
        char* slab = nullptr;
        std::size_t left = 0;
        std::size_t live = 0;
        std::vector<char*> slabs;
    };
    std::mutex mutex_;
    std::array<Class, kLargest / kGrain> classes_{};
};

Pools& pools() {
    static Pools* p = new Pools;  // outlives every static that may still free blocks
    return *p;
}

}  // namespace

// Under AddressSanitizer every block comes from the general heap, so that a use after
// free is still caught.
#if defined(__SANITIZE_ADDRESS__)
#define LARK_POOLS_OFF 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define LARK_POOLS_OFF 1
#endif
#endif
#ifdef LARK_POOLS_OFF
constexpr std::size_t kPooledLimit = 0;
#else
constexpr std::size_t kPooledLimit = kLargest;
#endif

void* PoolAllocate(std::size_t size) {
    if (size > kPooledLimit) return ::operator new(size);
    return pools().allocate(size);
}

void PoolFree(void* block, std::size_t size) noexcept {
    if (!block) return;
    if (size > kPooledLimit) {
        ::operator delete(block);
        return;
    }
    pools().free(block, size);
}

}  // namespace lark
