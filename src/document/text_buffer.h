#pragma once
// The section text buffer: a heap block of size + 1 bytes, the text followed by a NUL.
// A default-constructed buffer is "null" (no block), which stands for an empty text.
// A block is filled once, when it is made; after that it is only read, so share() can
// hand the same block to a snapshot that a worker thread writes out while the section
// gets new texts (each a new block).
#include <cstddef>
#include <cstring>
#include <memory>
#include <string_view>

#include "document/node_pool.h"

namespace lark {

class TextBuffer {
public:
    TextBuffer() = default;
    TextBuffer(TextBuffer&&) noexcept = default;
    TextBuffer& operator=(TextBuffer&&) noexcept = default;
    TextBuffer(const TextBuffer&) = delete;
    TextBuffer& operator=(const TextBuffer&) = delete;

    // Another handle on the same block (no copy of the text).
    TextBuffer share() const {
        TextBuffer b;
        b.data_ = data_;
        b.size_ = size_;
        return b;
    }

    // A block of `size` bytes whose contents the caller fills; the NUL is already set.
    static TextBuffer allocate(std::size_t size) {
        TextBuffer b;
        // The reference count lives in the pools, beside the other per-section records:
        // a snapshot that shares every text touches them, not the texts.
        b.data_ = std::shared_ptr<char[]>(new char[size + 1], std::default_delete<char[]>(), PoolAllocator<char>());
        b.data_[size] = '\0';
        b.size_ = size;
        return b;
    }
    // `size` bytes at `text`, inside a block that `owner` keeps alive; text[size] must be
    // a NUL and the bytes must not change any more.
    // NOLINTNEXTLINE(readability-non-const-parameter): the aliasing pointer is the buffer's own, writable as data() is
    static TextBuffer within(const std::shared_ptr<char[]>& owner, char* text, std::size_t size) {
        TextBuffer b;
        b.data_ = std::shared_ptr<char[]>(owner, text);
        b.size_ = size;
        return b;
    }
    static TextBuffer copyOf(std::string_view text) {
        TextBuffer b = allocate(text.size());
        if (!text.empty()) std::memcpy(b.data_.get(), text.data(), text.size());
        return b;
    }

    bool isNull() const { return !data_; }
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    char* data() { return data_.get(); }
    const char* data() const { return data_.get(); }
    std::string_view view() const { return data_ ? std::string_view(data_.get(), size_) : std::string_view(); }

    // Cuts the text at its first NUL byte, so that it never holds one.
    void cutAtNul() {
        if (!data_) return;
        if (const void* nul = std::memchr(data_.get(), '\0', size_)) {
            size_ = static_cast<std::size_t>(static_cast<const char*>(nul) - data_.get());
        }
    }
    // Shortens the text to its first `n` bytes (n <= size()).
    void truncate(std::size_t n) {
        if (!data_ || n >= size_) return;
        size_ = n;
        data_[n] = '\0';
    }
    void reset() {
        data_.reset();
        size_ = 0;
    }

private:
    std::shared_ptr<char[]> data_;
    std::size_t size_ = 0;
};

}  // namespace lark
