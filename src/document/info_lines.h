#pragma once
// The info lines of a notebook (FFileInfo): an ordered list of name=value lines that
// behaves like a vector of strings but keeps all lines in one block, each followed by a
// line feed, with a sparse index. A file may hold millions of empty lines; each then costs
// one byte instead of a string object of its own.
//
// A line never holds a line break: the lines come from splitting the info block at CR and
// LF, and the writer ends each one with CR LF, so a line with a break inside would come
// back as two anyway. Lines given with a break are split the same way here.
#include <cstddef>
#include <initializer_list>
#include <iosfwd>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace lark {

class InfoLines {
public:
    class const_iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = std::string_view;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = std::string_view;

        const_iterator() = default;
        std::string_view operator*() const;
        const_iterator& operator++();
        const_iterator operator++(int) {
            const_iterator old = *this;
            ++*this;
            return old;
        }
        bool operator==(const const_iterator& other) const { return pos_ == other.pos_; }

    private:
        friend class InfoLines;
        const_iterator(const std::string* text, std::size_t pos) : text_(text), pos_(pos) {}
        const std::string* text_ = nullptr;
        std::size_t pos_ = 0;  // start of the line in text_
    };
    using iterator = const_iterator;
    using value_type = std::string_view;

    InfoLines() = default;
    InfoLines(std::initializer_list<std::string_view> lines);
    InfoLines(const std::vector<std::string>& lines);  // NOLINT: converts like a vector would

    // Splits a text at CR LF, a lone CR or a lone LF; the last line needs no line end.
    static InfoLines split(std::string_view text);

    std::size_t size() const { return count_; }
    bool empty() const { return count_ == 0; }
    std::string_view operator[](std::size_t i) const;
    const_iterator begin() const { return {&text_, 0}; }
    const_iterator end() const { return {&text_, text_.size()}; }

    void clear();
    void push_back(std::string_view line);
    // Replaces line i by `line`.
    void set(std::size_t i, std::string_view line);

    // Bytes of all lines with their line ends written as CR LF.
    std::size_t writtenSize() const { return text_.size() + count_; }

    friend bool operator==(const InfoLines& a, const InfoLines& b) { return a.text_ == b.text_; }
    friend bool operator==(const InfoLines& a, const std::vector<std::string>& b);

private:
    static constexpr std::size_t kStride = 256;  // one index entry per this many lines
    std::size_t lineStart(std::size_t i) const;
    void appendLine(std::string_view line);  // no line break inside
    void rebuildIndex();

    std::string text_;  // every line followed by '\n'
    std::size_t count_ = 0;
    std::vector<std::size_t> starts_;  // starts_[k]: start of line k * kStride
};

std::ostream& operator<<(std::ostream& out, const InfoLines& lines);

}  // namespace lark
