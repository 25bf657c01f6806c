#include "document/envelope.h"

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <new>
#include <stdexcept>

#include "document/errors.h"
#include "document/file_access.h"

namespace lark {
namespace {

constexpr uInt kMaxChunk = std::numeric_limits<uInt>::max() / 2;
// Texts of sections, and other blocks at least this long, are inflated into a buffer of
// their own, which the parser then takes over; short blocks without a section (a file
// may hold millions) sit with the lengths between the blocks, where a buffer and a record
// each would cost more than the bytes themselves.
constexpr std::size_t kOwnBuffer = std::size_t{16} * 1024;
// Of the bytes past the framing, this many are kept; the rest are checked and dropped.
constexpr std::size_t kKeptTail = 1 << 20;

// The lines of an outline block, read as the parser reads them (up to a NUL).
std::uint64_t countOutlineLines(const TextBuffer& block) {
    std::string_view text = block.view();
    if (const auto nul = text.find('\0'); nul != std::string_view::npos) text = text.substr(0, nul);
    OutlineReader reader(text);
    std::uint64_t lines = 0;
    int level = 0;
    std::string_view name;
    while (reader.next(level, name)) ++lines;
    return lines;
}

[[noreturn]] void envelopeError(const char* text) { throw LarkError(text, ErrorKind::Envelope); }

// Packed bytes (everything after the marker), handed out in pieces.
class PackedInput {
public:
    virtual ~PackedInput() = default;
    // The next piece (at most kMaxChunk bytes); empty once the input is used up.
    virtual std::string_view next() = 0;
};

class MemoryInput final : public PackedInput {
public:
    explicit MemoryInput(std::string_view bytes) : left_(bytes) {}
    std::string_view next() override {
        const std::string_view piece = left_.substr(0, std::min<std::size_t>(left_.size(), kMaxChunk));
        left_.remove_prefix(piece.size());
        return piece;
    }

private:
    std::string_view left_;
};

// The held file from an offset to its end, through a reusable staging buffer.
class FileInput final : public PackedInput {
public:
    FileInput(int fd, std::int64_t size, std::int64_t offset)
        : fd_(fd), size_(size), pos_(offset), buf_(std::make_unique_for_overwrite<char[]>(kPiece)) {}
    std::string_view next() override {
        if (pos_ >= size_) return {};
        const auto n = static_cast<std::size_t>(std::min<std::int64_t>(kPiece, size_ - pos_));
        readExactly(fd_, buf_.get(), n, pos_);
        pos_ += static_cast<std::int64_t>(n);
        return {buf_.get(), n};
    }

private:
    static constexpr std::size_t kPiece = std::size_t{1024} * 1024;
    int fd_;
    std::int64_t size_;
    std::int64_t pos_;
    std::unique_ptr<char[]> buf_;
};

class Inflater {
public:
    explicit Inflater(PackedInput& input) : input_(input) {
        std::memset(&zs_, 0, sizeof zs_);
        if (inflateInit(&zs_) != Z_OK) envelopeError("Out of memory");
    }
    ~Inflater() { inflateEnd(&zs_); }
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;

    // Inflates up to `size` bytes into dst; returns how many came before the stream or
    // the input ended.
    std::size_t read(char* dst, std::size_t size) {
        std::size_t done = 0;
        while (done < size && !ended_) {
            if (zs_.avail_in == 0) {
                const std::string_view piece = exhausted_ ? std::string_view() : input_.next();
                if (piece.empty()) {  // input cut short
                    exhausted_ = true;
                    break;
                }
                zs_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(piece.data()));
                zs_.avail_in = static_cast<uInt>(piece.size());
            }
            const uInt want = static_cast<uInt>(std::min<std::size_t>(size - done, kMaxChunk));
            zs_.next_out = reinterpret_cast<Bytef*>(dst + done);
            zs_.avail_out = want;
            const int rc = inflate(&zs_, Z_NO_FLUSH);
            done += want - zs_.avail_out;
            if (rc == Z_STREAM_END) {
                ended_ = true;
            } else if (rc == Z_MEM_ERROR) {
                envelopeError("Out of memory");
            } else if (rc == Z_BUF_ERROR) {
                if (zs_.avail_in != 0) envelopeError("Error");  // no progress with input and room left
            } else if (rc != Z_OK) {
                envelopeError("Error");
            }
        }
        return done;
    }

private:
    PackedInput& input_;
    z_stream zs_;
    bool ended_ = false;
    bool exhausted_ = false;
};

// Exactly `total` inflated bytes, read in any slices: small ones come out of a staging
// buffer, large ones are inflated in place. Inflating into tiny buffers is slow, and
// every inflate call also copies up to 32 KB into zlib's window, so the stage is large.
// Nothing past `total` is inflated.
class InflatedReader {
public:
    InflatedReader(Inflater& inflater, std::size_t total) : inflater_(inflater), left_(total) {}

    void read(char* dst, std::size_t n) {
        while (n > 0) {
            if (pos_ < len_) {
                const std::size_t take = std::min(n, len_ - pos_);
                std::memcpy(dst, stage_.get() + pos_, take);
                pos_ += take;
                dst += take;
                n -= take;
                continue;
            }
            if (n > left_) envelopeError("Stream read error");  // cannot happen: callers stay within total
            if (n >= kStage) {
                if (inflater_.read(dst, n) != n) envelopeError("Stream read error");
                left_ -= n;
                return;
            }
            const std::size_t fill = std::min(kStage, left_);
            if (!stage_) stage_ = std::make_unique_for_overwrite<char[]>(fill);  // later fills are no larger
            if (inflater_.read(stage_.get(), fill) != fill) envelopeError("Stream read error");
            left_ -= fill;
            pos_ = 0;
            len_ = fill;
        }
    }

private:
    static constexpr std::size_t kStage = std::size_t{1024} * 1024;
    Inflater& inflater_;
    std::size_t left_;  // not yet inflated
    std::unique_ptr<char[]> stage_;
    std::size_t pos_ = 0, len_ = 0;
};

std::uint32_t getLE32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// Unpacks everything after the marker into blocks, following the notebook's framing as
// far as it is sound (the parser repeats every check; anything it would reject is kept
// as plain bytes). Every failure is raised before the caller parses anything.
BlockSource unzipToBlocks(PackedInput& input) {
    try {
        Inflater inflater(input);
        unsigned char len[4];
        if (inflater.read(reinterpret_cast<char*>(len), 4) != 4) envelopeError("Stream read error");
        const auto m = static_cast<std::int32_t>(getLE32(len));
        BlockSource out;
        if (m <= 0) return out;
        const auto total = static_cast<std::size_t>(m);
        InflatedReader reader(inflater, total);
        std::size_t taken = 0;
        auto bytes = [&](unsigned char* dst, std::size_t n) {
            reader.read(reinterpret_cast<char*>(dst), n);
            out.appendBytes(reinterpret_cast<const char*>(dst), n);
            taken += n;
        };
        // Moves `n` inflated bytes into the side store (or drops them), through a chunk
        // that grows no larger than needed.
        std::unique_ptr<char[]> chunk;
        std::size_t chunkSize = 0;
        auto copyAcross = [&](std::size_t n, bool drop) {
            while (n > 0) {
                const std::size_t piece = std::min<std::size_t>(n, 1 << 20);
                if (chunkSize < piece) {
                    chunk = std::make_unique_for_overwrite<char[]>(piece);
                    chunkSize = piece;
                }
                reader.read(chunk.get(), piece);
                if (drop) out.appendDropped(piece);
                else out.appendBytes(chunk.get(), piece);
                taken += piece;
                n -= piece;
            }
        };
        if (total >= 8) {
            unsigned char head[8];
            bytes(head, 8);
            if (std::memcmp(head, "LKP\x01", 4) == 0) {
                std::uint32_t blockLen = getLE32(head + 4);
                bool haveLen = true;
                long long b = -2;                  // as the parser counts: info, outline, texts
                std::uint64_t sectionBlocks = 0;  // outline lines
                std::size_t p = 4;  // offset of the current block's length
                while (total >= p + 4) {
                    if (!haveLen) {
                        unsigned char lenBytes[4];
                        bytes(lenBytes, 4);
                        blockLen = getLE32(lenBytes);
                    }
                    haveLen = false;
                    if (blockLen > kMaxBlockLength || p + 4 + blockLen > total) break;
                    // A text that will become a section gets the buffer the section keeps;
                    // the outline tells how many will (the parser reads it the same way).
                    const bool section = b >= 0 && static_cast<std::uint64_t>(b) < sectionBlocks;
                    if (b == -1 || (blockLen > 0 && (section || blockLen >= kOwnBuffer))) {
                        TextBuffer block = TextBuffer::allocate(blockLen);
                        reader.read(block.data(), blockLen);
                        taken += blockLen;
                        if (b == -1) sectionBlocks = countOutlineLines(block);
                        if (b == -1 && blockLen < kOwnBuffer) out.appendBytes(block.data(), blockLen);
                        else out.appendBlock(std::move(block));
                    } else {
                        copyAcross(blockLen, false);
                    }
                    p += 4 + blockLen;
                    ++b;
                }
            }
        }
        // The rest lies past the framing, where the parser never reads: a first stretch is
        // kept, the remainder is only inflated (it must still be sound and long enough)
        // and dropped. A stream claiming a huge content costs nothing beyond its checks.
        const std::size_t keep = std::min(total - taken, kKeptTail);
        copyAcross(keep, false);
        copyAcross(total - taken, true);
        return out;
    } catch (const std::bad_alloc&) {
        envelopeError("Out of memory");
    } catch (const std::length_error&) {
        envelopeError("Out of memory");
    }
}

void putLE32(unsigned char* p, std::uint32_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
    p[2] = static_cast<unsigned char>(v >> 16);
    p[3] = static_cast<unsigned char>(v >> 24);
}

}  // namespace

bool IsEnveloped(std::string_view bytes) {
    return bytes.size() >= 8 && bytes.substr(0, kZipMarker.size()) == kZipMarker;
}

namespace {

// Deflates content of `n` bytes, which `emit` hands over piece by piece, into an envelope.
// The stream does not depend on how the content is cut into pieces.
TextBuffer zipContent(std::size_t n, const std::function<void(const std::function<void(std::string_view)>&)>& emit) {
    z_stream zs;
    std::memset(&zs, 0, sizeof zs);
    if (deflateInit2(&zs, 9, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY) != Z_OK) throw LarkError("Out of memory");
    struct End {
        z_stream& z;
        ~End() { deflateEnd(&z); }
    } end{zs};

    unsigned char header[4];
    putLE32(header, static_cast<std::uint32_t>(n));
    const std::size_t bound = deflateBound(&zs, static_cast<uLong>(n + 4)) + 64;
    TextBuffer out;
    try {
        out = TextBuffer::allocate(kZipMarker.size() + bound);
    } catch (const std::bad_alloc&) {
        throw LarkError("Out of memory");
    }
    std::memcpy(out.data(), kZipMarker.data(), kZipMarker.size());

    std::size_t produced = 0;
    auto pump = [&](const char* in, std::size_t size, int flush) {
        std::size_t fed = 0;
        for (;;) {
            const uInt take = static_cast<uInt>(std::min<std::size_t>(size - fed, kMaxChunk));
            zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in + fed));
            zs.avail_in = take;
            const bool last = fed + take == size;
            const uInt room = static_cast<uInt>(std::min<std::size_t>(bound - produced, kMaxChunk));
            zs.next_out = reinterpret_cast<Bytef*>(out.data() + kZipMarker.size() + produced);
            zs.avail_out = room;
            const int rc = deflate(&zs, last ? flush : Z_NO_FLUSH);
            produced += room - zs.avail_out;
            fed += take - zs.avail_in;
            if (rc == Z_STREAM_END) return;
            if (rc != Z_OK && rc != Z_BUF_ERROR) throw LarkError("Error");
            if (last && zs.avail_in == 0 && flush == Z_NO_FLUSH) return;
        }
    };
    pump(reinterpret_cast<const char*>(header), sizeof header, Z_NO_FLUSH);
    emit([&](std::string_view piece) {
        if (!piece.empty()) pump(piece.data(), piece.size(), Z_NO_FLUSH);
    });
    pump(nullptr, 0, Z_FINISH);
    out.truncate(kZipMarker.size() + produced);
    return out;
}

}  // namespace

TextBuffer ZipBuffer(std::string_view content) {
    return zipContent(content.size(), [&](const auto& put) { put(content); });
}

TextBuffer ZipDocument(const SectionTree& tree, const InfoLines& info) {
    const std::size_t n = MeasureDocument(tree, info);
    return zipContent(n, [&](const auto& put) { StreamDocument(tree, info, put); });
}

TextBuffer ZipDocument(const NotebookSnapshot& snapshot) {
    const std::size_t n = MeasureDocument(snapshot);
    return zipContent(n, [&](const auto& put) { StreamDocument(snapshot, put); });
}


void UnzipBuffer(TextBuffer& buffer) {
    if (!IsEnveloped(buffer.view())) return;
    const std::string_view packed = buffer.view().substr(kZipMarker.size());
    try {
        MemoryInput input(packed);
        Inflater inflater(input);
        unsigned char len[4];
        if (inflater.read(reinterpret_cast<char*>(len), 4) != 4) envelopeError("Stream read error");
        const std::int32_t m = static_cast<std::int32_t>(
            static_cast<std::uint32_t>(len[0]) | static_cast<std::uint32_t>(len[1]) << 8 |
            static_cast<std::uint32_t>(len[2]) << 16 | static_cast<std::uint32_t>(len[3]) << 24);
        if (m <= 0) {
            buffer = TextBuffer::allocate(0);
            return;
        }
        const auto total = static_cast<std::size_t>(m);
        // A damaged stream may claim any length: room is given only as fast as the data
        // actually inflates, starting from a few times the packed size and doubling.
        std::size_t cap = std::min(total, std::max<std::size_t>(packed.size() * 8, std::size_t{1} << 20));
        TextBuffer out = TextBuffer::allocate(cap);
        std::size_t have = 0;
        for (;;) {
            have += inflater.read(out.data() + have, cap - have);
            if (have == total) break;
            if (have < cap) envelopeError("Stream read error");
            const std::size_t bigger = std::min(total, cap * 2);
            TextBuffer grown = TextBuffer::allocate(bigger);
            std::memcpy(grown.data(), out.data(), have);
            out = std::move(grown);
            cap = bigger;
        }
        buffer = std::move(out);
    } catch (const std::bad_alloc&) {
        envelopeError("Out of memory");
    }
}

BlockSource UnzipToBlocks(std::string_view envelope) {
    MemoryInput input(envelope.substr(kZipMarker.size()));
    return unzipToBlocks(input);
}

BlockSource UnzipFileToBlocks(int fd, std::int64_t size) {
    FileInput input(fd, size, static_cast<std::int64_t>(kZipMarker.size()));
    return unzipToBlocks(input);
}

}  // namespace lark
