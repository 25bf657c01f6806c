#pragma once
// The notebook file format: "LKP", version byte 1, then length-prefixed blocks (info
// lines, outline, one text block per section in pre-order). Lengths are unsigned 32-bit
// little-endian and at most 16,777,215.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "document/info_lines.h"
#include "document/section_tree.h"
#include "document/text_buffer.h"

namespace lark {

struct NotebookSnapshot;

class Document;

inline constexpr std::uint32_t kMaxBlockLength = 16777215;

inline constexpr const char* kVersionError = "LKP format version 1 required!";
inline constexpr const char* kStructureError = "Ошибка в структуре LKP-файла.";
inline constexpr const char* kBlockTooLarge = "Ошибка в структуре LKP-файла.\r\nУказан текстовый блок больше 16 МБ!";
inline constexpr const char* kBlockPastEnd =
    "Ошибка в структуре LKP-файла.\r\nУказанная длина текстового блока превышает длину файла!";
inline constexpr const char* kMoreErrors = "Возможно, это ещё не все ошибки.";
// After the first text block beyond the outline, the others are counted in one box.
inline constexpr const char* kExtraBlocksSummary =
    "Ошибка в структуре LKP-файла.\r\nЕщё текстовых блоков без раздела в оглавлении: ";

// Sequential access to a notebook's content: from memory, or straight from the file.
class ContentSource {
public:
    virtual ~ContentSource() = default;
    virtual std::int64_t size() const = 0;
    // Copies the next `n` bytes into dst; throws LarkError when they cannot be read.
    virtual void read(char* dst, std::size_t n) = 0;
    // The next `n` bytes as a text buffer (a block's text). An empty block gives a null
    // buffer; short blocks share larger heap blocks, so that a notebook of millions of short
    // sections does not pay a heap block and a reference count for each.
    virtual TextBuffer readBlock(std::size_t n);
    // Passes over the next `n` bytes; throws like read() when they are not there.
    virtual void skip(std::size_t n);

private:
    static constexpr std::size_t kShortText = 256;
    static constexpr std::size_t kShortTextsBlock = std::size_t{64} * 1024;
    std::shared_ptr<char[]> shortTexts_;  // the block short texts are read into
    std::size_t shortTextsUsed_ = kShortTextsBlock;
};

class MemorySource final : public ContentSource {
public:
    explicit MemorySource(std::string_view bytes) : bytes_(bytes) {}
    std::int64_t size() const override { return static_cast<std::int64_t>(bytes_.size()); }
    void read(char* dst, std::size_t n) override;

private:
    std::string_view bytes_;
    std::size_t pos_ = 0;
};

// Reads a file through a reusable staging buffer: small blocks are copied out of it,
// large blocks are read straight into their destination. No second copy of the file.
class FileSource final : public ContentSource {
public:
    FileSource(int fd, std::int64_t size, std::size_t chunk = std::size_t{256} * 1024);
    std::int64_t size() const override { return size_; }
    void read(char* dst, std::size_t n) override;
    void skip(std::size_t n) override;

private:
    int fd_;
    std::int64_t size_;
    std::int64_t filePos_ = 0;  // next byte of the file to fetch
    std::unique_ptr<char[]> buf_;
    std::size_t chunk_;
    std::size_t bufPos_ = 0, bufLen_ = 0;
};

// Content already split into its blocks: the bytes between the blocks (header, lengths,
// small blocks, anything unframed) are kept together in a store of fixed-size pieces,
// each large block in the buffer it will end up in. Reads behave exactly as over the
// whole content, once and forward only; reading a stored block whole hands its buffer
// over instead of copying it, and what has been read is freed. Bytes that no reader of
// a notebook ever looks at (past the framing) may be dropped: they count in size() but
// reading them fails.
class BlockSource final : public ContentSource {
public:
    void appendBytes(const char* bytes, std::size_t n);
    void appendBlock(TextBuffer block);
    void appendDropped(std::size_t n);
    // Room for `segments` appends that alternate between kinds.
    void reserve(std::size_t segments) { segments_.reserve(segments); }
    std::int64_t size() const override { return size_; }
    void read(char* dst, std::size_t n) override;
    TextBuffer readBlock(std::size_t n) override;

private:
    enum class Kind : unsigned char { Side, Block, Dropped };
    struct Segment {
        std::size_t sideOffset = 0;  // into the side store, for Side
        std::size_t length = 0;
        Kind kind = Kind::Side;
        TextBuffer block;
    };
    static constexpr std::size_t kPieceBits = 20;
    static constexpr std::size_t kPiece = std::size_t{1} << kPieceBits;
    void copySide(std::size_t offset, char* dst, std::size_t n) const;
    void releaseSideBefore(std::size_t offset);

    std::vector<std::unique_ptr<char[]>> side_;  // pieces of kPiece bytes
    std::size_t sideSize_ = 0;
    std::size_t released_ = 0;  // pieces before this one are freed
    std::vector<Segment> segments_;
    std::int64_t size_ = 0;
    std::size_t seg_ = 0;  // current segment
    std::size_t off_ = 0;  // bytes of it already read
};

// The lines of an outline, one at a time: level (1 + leading TABs) and name. A line ends
// at CR LF, a lone CR or a lone LF; the outline ends at its end or at a NUL.
class OutlineReader {
public:
    explicit OutlineReader(std::string_view text);
    // False after the last line.
    bool next(int& level, std::string_view& name);

private:
    const char* p_;
    const char* end_;
};

// One record per outline line, and the greatest level found (0 without lines).
struct Outline {
    std::vector<std::unique_ptr<TNodeContent>> records;
    int maxLevel = 0;
};
Outline ParseOutline(std::string_view text);

// Reads a notebook into `doc` (which it clears first). Fatal format errors throw
// LarkError(Format); non-fatal ones are shown through the document's UI.
void ParseDocument(Document& doc, ContentSource& source, bool readOnly, const std::string& path);

// The whole content of a notebook file. Refuses (LarkError, Write) what could not be
// read back: a block over the length limit, a name with CR, LF or a leading TAB.
TextBuffer WriteDocument(const SectionTree& tree, const InfoLines& info);
// The size WriteDocument's content would have; refuses what it refuses.
std::size_t MeasureDocument(const SectionTree& tree, const InfoLines& info);
// Hands the bytes of WriteDocument's content to `sink` in order and in pieces, without
// assembling them: small parts gathered, large texts straight from their sections.
// Refuses what WriteDocument refuses, before the first piece.
void StreamDocument(const SectionTree& tree, const InfoLines& info, const std::function<void(std::string_view)>& sink);
// The same for a snapshot of the notebook (its own info lines).
TextBuffer WriteDocument(const NotebookSnapshot& snapshot);
std::size_t MeasureDocument(const NotebookSnapshot& snapshot);
void StreamDocument(const NotebookSnapshot& snapshot, const std::function<void(std::string_view)>& sink);

}  // namespace lark
