#include "document/info_lines.h"

#include <cstring>
#include <ostream>

namespace lark {

namespace {

// Appends the lines of `text` to `out`, each followed by '\n' (the split rule of the info
// block); returns how many.
std::size_t appendSplit(std::string& out, std::string_view text) {
    std::size_t lines = 0, i = 0;
    while (i < text.size()) {
        std::size_t j = i;
        while (j < text.size() && text[j] != '\r' && text[j] != '\n') ++j;
        out.append(text.substr(i, j - i)).push_back('\n');
        ++lines;
        if (j < text.size() && text[j] == '\r') {
            ++j;
            if (j < text.size() && text[j] == '\n') ++j;
        } else if (j < text.size()) {
            ++j;
        }
        i = j;
    }
    return lines;
}

// One given line, split like a line of the file would be (an empty one stays one line).
std::size_t appendGiven(std::string& out, std::string_view line) {
    if (line.empty()) {
        out.push_back('\n');
        return 1;
    }
    return appendSplit(out, line);
}

}  // namespace

std::string_view InfoLines::const_iterator::operator*() const {
    const std::size_t end = text_->find('\n', pos_);
    return std::string_view(*text_).substr(pos_, end - pos_);
}

InfoLines::const_iterator& InfoLines::const_iterator::operator++() {
    pos_ = text_->find('\n', pos_) + 1;
    return *this;
}

InfoLines::InfoLines(std::initializer_list<std::string_view> lines) {
    for (const auto line : lines) count_ += appendGiven(text_, line);
    rebuildIndex();
}

InfoLines::InfoLines(const std::vector<std::string>& lines) {
    for (const auto& line : lines) count_ += appendGiven(text_, line);
    rebuildIndex();
}

InfoLines InfoLines::split(std::string_view text) {
    InfoLines out;
    out.text_.reserve(text.size() + 1);
    out.count_ = appendSplit(out.text_, text);
    out.rebuildIndex();
    return out;
}

void InfoLines::rebuildIndex() {
    starts_.clear();
    starts_.reserve(count_ / kStride + 1);
    std::size_t pos = 0;
    for (std::size_t i = 0; i < count_; ++i) {
        if (i % kStride == 0) starts_.push_back(pos);
        pos = text_.find('\n', pos) + 1;
    }
}

std::size_t InfoLines::lineStart(std::size_t i) const {
    std::size_t pos = starts_[i / kStride];
    for (std::size_t k = i % kStride; k > 0; --k) {
        // NOLINTNEXTLINE(bugprone-not-null-terminated-result): a search, nothing is copied
        const void* nl = std::memchr(text_.data() + pos, '\n', text_.size() - pos);
        pos = static_cast<std::size_t>(static_cast<const char*>(nl) - text_.data()) + 1;
    }
    return pos;
}

std::string_view InfoLines::operator[](std::size_t i) const { return *const_iterator(&text_, lineStart(i)); }

void InfoLines::clear() {
    std::string().swap(text_);
    std::vector<std::size_t>().swap(starts_);
    count_ = 0;
}

void InfoLines::push_back(std::string_view line) {
    if (line.find_first_of("\r\n") != std::string_view::npos) {
        count_ += appendGiven(text_, line);
        rebuildIndex();
        return;
    }
    if (count_ % kStride == 0) starts_.push_back(text_.size());
    text_.append(line).push_back('\n');
    ++count_;
}

void InfoLines::set(std::size_t i, std::string_view line) {
    const std::size_t start = lineStart(i);
    const std::size_t end = text_.find('\n', start) + 1;
    std::string replacement;
    const std::size_t pieces = appendGiven(replacement, line);
    text_.replace(start, end - start, replacement);
    if (pieces == 1) {  // the later lines only move
        const auto delta = static_cast<std::ptrdiff_t>(replacement.size()) - static_cast<std::ptrdiff_t>(end - start);
        for (std::size_t k = i / kStride + 1; k < starts_.size(); ++k)
            starts_[k] = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(starts_[k]) + delta);
        return;
    }
    count_ += pieces - 1;
    rebuildIndex();
}

bool operator==(const InfoLines& a, const std::vector<std::string>& b) {
    if (a.size() != b.size()) return false;
    std::size_t k = 0;
    for (const std::string_view line : a)
        if (line != b[k++]) return false;
    return true;
}

std::ostream& operator<<(std::ostream& out, const InfoLines& lines) {
    out << '{';
    bool first = true;
    for (const std::string_view line : lines) {
        out << (first ? " \"" : ", \"") << line << '"';
        first = false;
    }
    return out << " }";
}

}  // namespace lark
