#include "document/format.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "document/cp1251.h"
#include "document/document.h"
#include "document/errors.h"
#include "document/file_access.h"
#include "document/snapshot.h"

namespace lark {
namespace {

std::uint32_t readLE32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

char* putLE32(char* p, std::uint32_t v) {
    p[0] = static_cast<char>(v);
    p[1] = static_cast<char>(v >> 8);
    p[2] = static_cast<char>(v >> 16);
    p[3] = static_cast<char>(v >> 24);
    return p + 4;
}

[[noreturn]] void formatError(const char* text) { throw LarkError(text, ErrorKind::Format); }

std::string quotedName(std::string_view name) { return "\"" + cp1251::toUtf8(name) + "\""; }

}  // namespace

void ContentSource::skip(std::size_t n) {
    char scratch[16 * 1024];
    while (n > 0) {
        const std::size_t take = std::min(n, sizeof scratch);
        read(scratch, take);
        n -= take;
    }
}

TextBuffer ContentSource::readBlock(std::size_t n) {
    if (n == 0) return {};
    if (n > kShortText) {
        TextBuffer block = TextBuffer::allocate(n);
        read(block.data(), n);
        return block;
    }
    if (kShortTextsBlock - shortTextsUsed_ < n + 1) {
        shortTexts_ = std::make_shared_for_overwrite<char[]>(kShortTextsBlock);
        shortTextsUsed_ = 0;
    }
    char* text = shortTexts_.get() + shortTextsUsed_;
    read(text, n);
    text[n] = '\0';
    shortTextsUsed_ += n + 1;
    return TextBuffer::within(shortTexts_, text, n);
}

void FileSource::skip(std::size_t n) {
    const std::size_t buffered = std::min(n, bufLen_ - bufPos_);
    bufPos_ += buffered;
    n -= buffered;
    if (n == 0) return;
    if (filePos_ + static_cast<std::int64_t>(n) > size_) throw LarkError(kShortReadText, ErrorKind::System);
    filePos_ += static_cast<std::int64_t>(n);
}

void MemorySource::read(char* dst, std::size_t n) {
    if (n > bytes_.size() - pos_) throw LarkError(kShortReadText, ErrorKind::System);
    if (n) std::memcpy(dst, bytes_.data() + pos_, n);
    pos_ += n;
}

FileSource::FileSource(int fd, std::int64_t size, std::size_t chunk)
    : fd_(fd), size_(size), buf_(std::make_unique_for_overwrite<char[]>(chunk)), chunk_(chunk) {}

void FileSource::read(char* dst, std::size_t n) {
    while (n > 0) {
        if (bufPos_ < bufLen_) {
            const std::size_t take = std::min(n, bufLen_ - bufPos_);
            std::memcpy(dst, buf_.get() + bufPos_, take);
            bufPos_ += take;
            dst += take;
            n -= take;
            continue;
        }
        if (filePos_ + static_cast<std::int64_t>(n) > size_) throw LarkError(kShortReadText, ErrorKind::System);
        if (n >= chunk_) {  // large block: straight into its destination
            readExactly(fd_, dst, n, filePos_);
            filePos_ += static_cast<std::int64_t>(n);
            return;
        }
        const std::size_t fill =
            static_cast<std::size_t>(std::min<std::int64_t>(static_cast<std::int64_t>(chunk_), size_ - filePos_));
        readExactly(fd_, buf_.get(), fill, filePos_);
        filePos_ += static_cast<std::int64_t>(fill);
        bufPos_ = 0;
        bufLen_ = fill;
    }
}

void BlockSource::appendBytes(const char* bytes, std::size_t n) {
    if (n == 0) return;
    if (!segments_.empty() && segments_.back().kind == Kind::Side) {
        segments_.back().length += n;
    } else {
        Segment s;
        s.sideOffset = sideSize_;
        s.length = n;
        segments_.push_back(std::move(s));
    }
    size_ += static_cast<std::int64_t>(n);
    while (n > 0) {
        const std::size_t within = sideSize_ & (kPiece - 1);
        if (within == 0) side_.push_back(std::make_unique_for_overwrite<char[]>(kPiece));
        const std::size_t take = std::min(n, kPiece - within);
        std::memcpy(side_.back().get() + within, bytes, take);
        bytes += take;
        n -= take;
        sideSize_ += take;
    }
}

void BlockSource::appendBlock(TextBuffer block) {
    Segment s;
    s.length = block.size();
    s.kind = Kind::Block;
    s.block = std::move(block);
    size_ += static_cast<std::int64_t>(s.length);
    segments_.push_back(std::move(s));
}

void BlockSource::appendDropped(std::size_t n) {
    if (n == 0) return;
    size_ += static_cast<std::int64_t>(n);
    if (!segments_.empty() && segments_.back().kind == Kind::Dropped) {
        segments_.back().length += n;
        return;
    }
    Segment s;
    s.length = n;
    s.kind = Kind::Dropped;
    segments_.push_back(std::move(s));
}

void BlockSource::copySide(std::size_t offset, char* dst, std::size_t n) const {
    while (n > 0) {
        const std::size_t within = offset & (kPiece - 1);
        const std::size_t take = std::min(n, kPiece - within);
        std::memcpy(dst, side_[offset >> kPieceBits].get() + within, take);
        offset += take;
        dst += take;
        n -= take;
    }
}

void BlockSource::read(char* dst, std::size_t n) {
    while (n > 0) {
        if (seg_ >= segments_.size()) throw LarkError(kShortReadText, ErrorKind::System);
        Segment& s = segments_[seg_];
        if (s.kind == Kind::Dropped) throw LarkError(kShortReadText, ErrorKind::System);
        const std::size_t take = std::min(n, s.length - off_);
        if (take) {
            if (s.kind == Kind::Block) std::memcpy(dst, s.block.data() + off_, take);
            else copySide(s.sideOffset + off_, dst, take);
        }
        dst += take;
        n -= take;
        off_ += take;
        if (s.kind == Kind::Side) releaseSideBefore(s.sideOffset + off_);
        if (off_ == s.length) {
            s.block.reset();  // copied out whole: never read again
            ++seg_;
            off_ = 0;
        }
    }
}

void BlockSource::releaseSideBefore(std::size_t offset) {
    // Reading goes forward only: pieces wholly behind it are done with, and the sections
    // that took their bytes hold them from now on.
    const std::size_t done = offset >> kPieceBits;
    for (; released_ < done; ++released_) side_[released_].reset();
}

TextBuffer BlockSource::readBlock(std::size_t n) {
    if (seg_ < segments_.size() && off_ == 0 && segments_[seg_].kind == Kind::Block && segments_[seg_].length == n) {
        TextBuffer block = std::move(segments_[seg_].block);
        ++seg_;
        return block;
    }
    return ContentSource::readBlock(n);
}

OutlineReader::OutlineReader(std::string_view text) : p_(text.data()), end_(text.data() + text.size()) {}

bool OutlineReader::next(int& level, std::string_view& name) {
    const char* p = p_;
    if (p >= end_ || *p == '\0') return false;
    level = 1;
    while (p < end_ && *p == '\t') {
        ++level;
        ++p;
    }
    const char* nameStart = p;
    while (p < end_ && *p != '\0' && *p != '\n' && *p != '\r') ++p;
    name = std::string_view(nameStart, static_cast<std::size_t>(p - nameStart));
    if (p < end_ && *p == '\r') ++p;
    if (p < end_ && *p == '\n') ++p;
    p_ = p;
    return true;
}

Outline ParseOutline(std::string_view text) {
    Outline out;
    OutlineReader reader(text);
    int level = 0;
    std::string_view name;
    while (reader.next(level, name)) {
        auto record = std::make_unique<TNodeContent>();
        record->Level = level;
        record->Name = std::make_unique_for_overwrite<char[]>(name.size() + 1);
        std::copy(name.begin(), name.end(), record->Name.get());
        record->Name[name.size()] = '\0';
        out.records.push_back(std::move(record));
        out.maxLevel = std::max(out.maxLevel, level);
    }
    return out;
}

namespace {

// The last section read at each level. Levels are as deep as an outline line has TABs, so
// a single line of 16 million TABs must not cost a table of 16 million entries: shallow
// levels sit in a table, deep ones in a map (a file holds few distinct deep levels, as
// each of them needs a line of that many TABs).
class ParentTable {
public:
    Section* at(int level) const {
        if (level < static_cast<int>(shallow_.size())) return shallow_[static_cast<std::size_t>(level)];
        if (level < kShallow) return nullptr;
        const auto it = deep_.find(level);
        return it == deep_.end() ? nullptr : it->second;
    }
    void set(int level, Section* section) {
        if (level < kShallow) {
            if (level >= static_cast<int>(shallow_.size()))
                shallow_.resize(static_cast<std::size_t>(level) + 1, nullptr);
            shallow_[static_cast<std::size_t>(level)] = section;
        } else {
            deep_[level] = section;
        }
    }

private:
    static constexpr int kShallow = 1 << 16;
    std::vector<Section*> shallow_;
    std::unordered_map<int, Section*> deep_;
};

}  // namespace

void ParseDocument(Document& doc, ContentSource& source, bool readOnly, const std::string& path) {
    doc.ClearDocument();
    const std::int64_t n = source.size();
    auto finish = [&] {
        doc.editor().setReadOnly(readOnly);
        doc.view().setTreeReadOnly(readOnly);
    };
    if (n < 8) {
        doc.view().setTreeVisible(false);
        doc.ShowPlainText(path);
        finish();
        return;
    }
    unsigned char header[8];
    source.read(reinterpret_cast<char*>(header), 8);
    if (std::memcmp(header, "LKP", 3) != 0) {
        doc.ShowPlainText(path);
        finish();
        return;
    }
    if (header[3] != 0x01) formatError(kVersionError);
    doc.view().setTreeVisible(true);

    SectionTree& tree = doc.tree();
    TextBuffer infoText;
    // The outline stays as read; its lines become sections one by one as their texts come.
    TextBuffer outlineText;
    OutlineReader outline({});
    bool outlineLeft = true;
    ParentTable parents;
    // Text blocks beyond the outline: the first is shown at once, the rest are counted and
    // summed up in one more box, so that a file cannot raise a box per block.
    long long extraBlocks = 0;
    auto showExtraSummary = [&] {
        if (extraBlocks > 1) doc.ui().showError(kExtraBlocksSummary + std::to_string(extraBlocks - 1));
        extraBlocks = 0;
    };
    try {
        std::int64_t p = 4;
        long long b = -2;
        unsigned char lenBytes[4];
        std::memcpy(lenBytes, header + 4, 4);  // the first length came with the header
        bool haveLen = true;
        while (n >= p + 4) {
            if (!haveLen) source.read(reinterpret_cast<char*>(lenBytes), 4);
            haveLen = false;
            const std::uint32_t len = readLE32(lenBytes);
            if (len > kMaxBlockLength) formatError(kBlockTooLarge);
            if (p + 4 + static_cast<std::int64_t>(len) > n) formatError(kBlockPastEnd);

            int level = 0;
            std::string_view name;
            if (b >= 0 && outlineLeft) outlineLeft = outline.next(level, name);
            if (b >= 0 && !outlineLeft && extraBlocks > 0) {
                source.skip(len);  // summed up: its text is never shown
                ++extraBlocks;
            } else {
                TextBuffer block = source.readBlock(len);
                block.cutAtNul();
                if (b == -2) {
                    infoText = std::move(block);
                } else if (b == -1) {
                    outlineText = std::move(block);
                    outline = OutlineReader(outlineText.view());
                } else if (outlineLeft) {
                    auto record = std::make_unique<TNodeContent>();
                    record->Level = level;
                    record->Text = std::move(block);
                    Section* item = tree.appendChild(parents.at(level - 1), name, std::move(record));
                    doc.tvNodesAddition();
                    parents.set(level, item);
                } else {
                    ++extraBlocks;
                    if (block.empty()) {
                        doc.ui().showError(kStructureError);
                    } else {
                        doc.ui().showError(std::string(kStructureError) + "\r\n" + cp1251::toUtf8(block.view()) +
                                           "\r\n" + kMoreErrors);
                    }
                }
            }
            if (b >= 0 && b % 256 == 0) doc.ui().processEvents();
            p += 4 + static_cast<std::int64_t>(len);
            ++b;
        }
    } catch (...) {
        showExtraSummary();
        throw;
    }
    showExtraSummary();
    outlineText.reset();
    doc.ApplyFileInfo(infoText.view());
    finish();
}

namespace {

struct ContentSizes {
    std::size_t info = 0, outline = 0, texts = 0;
    std::size_t total() const { return 4 + 4 + info + 4 + outline + texts; }
};

// Checks that the notebook can be written and read back; the sizes of its parts.
// `Outline` is the section tree or a snapshot of it: forEach visits each section (with
// name() and text()) and its depth in absolute order.
template <class Outline>
ContentSizes measureDocument(const Outline& tree, const InfoLines& info) {
    auto refuse = [](const std::string& text) { throw LarkError(text, ErrorKind::Write); };

    ContentSizes sizes;
    std::size_t& infoSize = sizes.info;
    for (const auto& line : info) infoSize += line.size() + 2;
    if (infoSize > kMaxBlockLength) refuse("Служебные строки файла длиннее 16 777 215 байт: сохранить файл нельзя");

    std::size_t& outlineSize = sizes.outline;
    std::size_t& textsSize = sizes.texts;
    tree.forEach([&](const auto& s, int depth) {
        const std::string_view name = s.name();
        if (name.find_first_of("\r\n") != std::string_view::npos || (!name.empty() && name.front() == '\t'))
            refuse("Имя раздела " + quotedName(name) +
                   " содержит перевод строки или начинается с табуляции: такой раздел не прочитать обратно");
        if (name.find('\0') != std::string_view::npos) {  // the outline would end at it, losing every later section
            std::string shown(name);
            for (char& c : shown)
                if (c == '\0') c = ' ';
            refuse("Имя раздела " + quotedName(shown) + " содержит нулевой символ: такой раздел не прочитать обратно");
        }
        if (s.text().size() > kMaxBlockLength)
            refuse("Текст раздела " + quotedName(name) + " длиннее 16 777 215 байт: сохранить его нельзя");
        outlineSize += static_cast<std::size_t>(depth) + name.size() + 2;
        textsSize += 4 + s.text().size();
        return true;
    });
    if (outlineSize > kMaxBlockLength) refuse("Оглавление файла длиннее 16 777 215 байт: сохранить файл нельзя");
    return sizes;
}

template <class Outline>
TextBuffer writeDocument(const Outline& tree, const InfoLines& info) {
    const ContentSizes sizes = measureDocument(tree, info);
    const std::size_t infoSize = sizes.info, outlineSize = sizes.outline;
    TextBuffer out = TextBuffer::allocate(sizes.total());
    char* w = out.data();
    w = std::copy_n("LKP\x01", 4, w);  // the signature, no terminator
    w = putLE32(w, static_cast<std::uint32_t>(infoSize));
    for (const auto& line : info) {
        if (!line.empty()) std::memcpy(w, line.data(), line.size());
        w += line.size();
        *w++ = '\r';
        *w++ = '\n';
    }
    w = putLE32(w, static_cast<std::uint32_t>(outlineSize));
    tree.forEach([&](const auto& s, int depth) {
        std::memset(w, '\t', static_cast<std::size_t>(depth));
        w += depth;
        const std::string_view name = s.name();
        if (!name.empty()) std::memcpy(w, name.data(), name.size());  // an empty view may hold no pointer
        w += name.size();
        *w++ = '\r';
        *w++ = '\n';
        return true;
    });
    tree.forEach([&](const auto& s, int) {
        const std::string_view text = s.text();
        w = putLE32(w, static_cast<std::uint32_t>(text.size()));
        if (!text.empty()) std::memcpy(w, text.data(), text.size());
        w += text.size();
        return true;
    });
    return out;
}

template <class Outline>
void streamDocument(const Outline& tree, const InfoLines& info, const std::function<void(std::string_view)>& sink) {
    const ContentSizes sizes = measureDocument(tree, info);
    // Header, info and outline in one piece; then small texts gathered with their
    // lengths, large texts handed over where they lie.
    constexpr std::size_t kGather = std::size_t{256} * 1024;
    std::string piece;
    piece.reserve(std::max(kGather, 12 + sizes.info + sizes.outline));
    char len[4];
    piece.append("LKP\x01", 4);
    putLE32(len, static_cast<std::uint32_t>(sizes.info));
    piece.append(len, 4);
    for (const auto& line : info) piece.append(line).append("\r\n");
    putLE32(len, static_cast<std::uint32_t>(sizes.outline));
    piece.append(len, 4);
    tree.forEach([&](const auto& s, int depth) {
        piece.append(static_cast<std::size_t>(depth), '\t').append(s.name()).append("\r\n");
        return true;
    });
    tree.forEach([&](const auto& s, int) {
        const std::string_view text = s.text();
        putLE32(len, static_cast<std::uint32_t>(text.size()));
        piece.append(len, 4);
        if (text.size() >= kGather) {
            sink(piece);
            piece.clear();
            sink(text);
            return true;
        }
        piece.append(text);
        if (piece.size() >= kGather) {
            sink(piece);
            piece.clear();
        }
        return true;
    });
    if (!piece.empty()) sink(piece);
}

}  // namespace

TextBuffer WriteDocument(const SectionTree& tree, const InfoLines& info) { return writeDocument(tree, info); }
TextBuffer WriteDocument(const NotebookSnapshot& snapshot) { return writeDocument(snapshot, snapshot.info); }

std::size_t MeasureDocument(const SectionTree& tree, const InfoLines& info) {
    return measureDocument(tree, info).total();
}
std::size_t MeasureDocument(const NotebookSnapshot& snapshot) {
    return measureDocument(snapshot, snapshot.info).total();
}

void StreamDocument(const SectionTree& tree, const InfoLines& info, const std::function<void(std::string_view)>& sink) {
    streamDocument(tree, info, sink);
}
void StreamDocument(const NotebookSnapshot& snapshot, const std::function<void(std::string_view)>& sink) {
    streamDocument(snapshot, snapshot.info, sink);
}

}  // namespace lark
