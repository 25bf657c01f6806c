#pragma once
// A section's name in 16 bytes: up to 15 bytes are held in place, a longer name in a heap
// block of its own. A notebook may have millions of sections with short names, and a
// std::string would spend twice the room on each.
#include <cstdint>
#include <cstring>
#include <string_view>

namespace lark {

class SectionName {
public:
    SectionName() noexcept { setShort(0); }
    SectionName(const SectionName&) = delete;
    SectionName& operator=(const SectionName&) = delete;
    ~SectionName() { release(); }

    std::string_view view() const noexcept {
        if (!onHeap()) return {reinterpret_cast<const char*>(bytes_), bytes_[kTag]};
        return {heapText(), heapLength()};
    }
    void assign(std::string_view name);

private:
    static constexpr std::size_t kShortMax = 15;
    static constexpr std::size_t kTag = 15;  // the short length, or kOnHeap
    static constexpr unsigned char kOnHeap = 0xFF;

    bool onHeap() const noexcept { return bytes_[kTag] == kOnHeap; }
    void setShort(std::size_t n) noexcept { bytes_[kTag] = static_cast<unsigned char>(n); }
    const char* heapText() const noexcept {
        const char* p;
        std::memcpy(&p, bytes_, sizeof p);
        return p;
    }
    std::uint32_t heapLength() const noexcept {
        std::uint32_t n;
        std::memcpy(&n, bytes_ + 8, sizeof n);
        return n;
    }
    void release() noexcept {
        if (onHeap()) delete[] heapText();
    }

    // Short: the bytes, then the length in the last byte. On the heap: the pointer, then
    // the length (32 bits), then kOnHeap in the last byte.
    alignas(8) unsigned char bytes_[16];
};

}  // namespace lark
