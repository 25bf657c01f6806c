#include "document/envelope.h"

#include <libdeflate.h>
#include <sys/mman.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <new>
#include <optional>
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
    explicit PackedInput(std::string_view bytes) : left_(bytes) {}
    // The next piece (at most kMaxChunk bytes); empty once the input is used up.
    std::string_view next() {
        const std::string_view piece = left_.substr(0, std::min<std::size_t>(left_.size(), kMaxChunk));
        left_.remove_prefix(piece.size());
        return piece;
    }

private:
    std::string_view left_;
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

    // The next `n` bytes as a text buffer of their own.
    TextBuffer block(std::size_t n, bool /*section*/) {
        TextBuffer b = TextBuffer::allocate(n);
        read(b.data(), n);
        return b;
    }

    // Moves the next `n` bytes into the side store of `out` (or drops them), through a
    // chunk that grows no larger than needed.
    void copyAcross(BlockSource& out, std::size_t n, bool drop) {
        while (n > 0) {
            const std::size_t piece = std::min<std::size_t>(n, 1 << 20);
            if (chunkSize_ < piece) {
                chunk_ = std::make_unique_for_overwrite<char[]>(piece);
                chunkSize_ = piece;
            }
            read(chunk_.get(), piece);
            if (drop) out.appendDropped(piece);
            else out.appendBytes(chunk_.get(), piece);
            n -= piece;
        }
    }

private:
    static constexpr std::size_t kStage = std::size_t{1024} * 1024;
    Inflater& inflater_;
    std::size_t left_;  // not yet inflated
    std::unique_ptr<char[]> stage_;
    std::size_t pos_ = 0, len_ = 0;
    std::unique_ptr<char[]> chunk_;
    std::size_t chunkSize_ = 0;
};

// ---- the whole stream at once ----

// The most a deflate stream inflates to per packed byte: a 258-byte match takes at least
// two bits (one for its length code, one for its distance code).
constexpr std::size_t kMaxDeflateRatio = 1032;
constexpr std::size_t kPlausibleRatio = 16;

// Anonymous memory, so that stretches nobody keeps can be handed back page by page. Large
// pages where the system offers them: a page fault per 4 KB costs more than the bytes.
// `populate` asks for all of it at once, for memory that is about to be filled whole.
char* mapPages(std::size_t n, bool populate) {
    void* p = mmap(nullptr, n, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) throw std::bad_alloc();
    (void)madvise(p, n, MADV_HUGEPAGE);
    if (populate) (void)madvise(p, n, MADV_POPULATE_WRITE);
    return static_cast<char*>(p);
}

std::shared_ptr<char[]> mapBytes(std::size_t n, bool populate) {
    char* p = mapPages(n, populate);
    return std::shared_ptr<char[]>(p, [n](char* q) { munmap(q, n); });
}

// The inflated stream: the four length bytes, the content, then a NUL.
struct Image {
    std::shared_ptr<char[]> bytes;
    std::size_t size = 0;  // without the NUL
    bool mapped = false;
};

// Inflates the whole stream in one call with libdeflate (about twice as fast as zlib's
// streaming inflate) into room for exactly 4 + `total` bytes. This is only done where
// zlib, reading the stream piece by piece, would give the same bytes without complaint:
// the header names zlib's own window, libdeflate finds the stream sound up to its
// checksum, and it inflates to exactly the stated length. Otherwise (a damaged, short or
// overlong stream, a length the packed bytes cannot hold, no memory for the whole) the
// answer is nullopt and the caller goes on with zlib, which fails where and how it always
// did. The room asked for is bounded by what the packed bytes can inflate to.
std::optional<Image> inflateWhole(std::string_view packed, std::size_t total, bool mapped) {
    if (packed.size() < 2 || static_cast<unsigned char>(packed[0]) != 0x78) return std::nullopt;
    const std::size_t size = 4 + total;
    if (size > kMaxDeflateRatio * packed.size()) return std::nullopt;
    Image image;
    try {
        // A content of a plausible ratio (text packs to a fifth or so) is asked for at once.
        image.bytes = mapped ? mapBytes(size + 1, size / kPlausibleRatio <= packed.size())
                             : std::make_shared_for_overwrite<char[]>(size + 1);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
    image.size = size;
    image.mapped = mapped;
    libdeflate_decompressor* d = libdeflate_alloc_decompressor();
    if (!d) return std::nullopt;
    std::size_t got = 0;
    const libdeflate_result rc =
        libdeflate_zlib_decompress(d, packed.data(), packed.size(), image.bytes.get(), size, &got);
    libdeflate_free_decompressor(d);
    if (rc != LIBDEFLATE_SUCCESS || got != size) return std::nullopt;
    image.bytes[size] = '\0';
    return image;
}

// Reads the content of an image forward, the way InflatedReader reads the stream. Texts
// of sections stay where they are, each handed out as a part of the image: its NUL is
// written over the byte after it, which is kept aside until it is read. What is copied
// out or dropped is handed back to the system as soon as whole pages of it are passed.
class ImageReader {
public:
    explicit ImageReader(Image image) : image_(std::move(image)) {}

    void read(char* dst, std::size_t n) {
        need(n);
        pass(n, [&](const char* src, std::size_t k) {
            std::memcpy(dst, src, k);
            dst += k;
        });
    }

    TextBuffer block(std::size_t n, bool section) {
        need(n);
        if (!section || patched(n + 1)) {
            TextBuffer b = TextBuffer::allocate(n);
            read(b.data(), n);
            return b;
        }
        handBack(true);
        char* text = image_.bytes.get() + pos_;
        pos_ += n;
        backFrom_ = pos_;
        patch_ = pos_;
        saved_ = image_.bytes[patch_];
        image_.bytes[patch_] = '\0';
        return TextBuffer::within(image_.bytes, text, n);
    }

    void copyAcross(BlockSource& out, std::size_t n, bool drop) {
        need(n);
        if (drop) {
            out.appendDropped(n);
            pos_ += n;
            handBack(true);
            return;
        }
        pass(n, [&](const char* src, std::size_t k) { out.appendBytes(src, k); });
    }

private:
    void need(std::size_t n) const {
        if (n > image_.size - pos_) envelopeError("Stream read error");  // cannot happen: callers stay within
    }
    // Hands the next `n` bytes to fn (as they were before any NUL was written) a piece at
    // a time, and the pages of each piece back once it is passed: copying a large block,
    // or lengths and short blocks by the million, out of the image never holds them twice.
    template <class Fn>
    void pass(std::size_t n, Fn&& fn) {
        while (n > 0) {
            const std::size_t k = std::min(n, kPassPiece);
            const char* src = image_.bytes.get() + pos_;
            if (patched(k)) {
                const std::size_t before = patch_ - pos_;
                fn(src, before);
                fn(&saved_, 1);
                fn(src + before + 1, k - before - 1);
            } else {
                fn(src, k);
            }
            pos_ += k;
            n -= k;
            handBack(false);
        }
    }
    static constexpr std::size_t kPassPiece = 4 << 20;
    // Whether the next `n` bytes hold the byte a NUL stands in for.
    bool patched(std::size_t n) const { return patch_ >= pos_ && patch_ - pos_ < n; }
    // The bytes from backFrom_ to pos_ are passed and kept nowhere in the image: their
    // whole pages go back to the system, a run of them at a time (or all there are, with
    // `now`). A page given back reads as zeros, so a NUL written at backFrom_ stays one.
    void handBack(bool now) {
        if (!image_.mapped) return;
        static const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
        const std::size_t first = (backFrom_ + page - 1) / page * page;
        const std::size_t last = pos_ / page * page;
        if (last <= first || (!now && last - first < kHandBackRun)) return;
        (void)madvise(image_.bytes.get() + first, last - first, MADV_DONTNEED);
        backFrom_ = last;
    }
    static constexpr std::size_t kHandBackRun = 1 << 20;

    Image image_;
    std::size_t pos_ = 4;  // past the stored length
    std::size_t backFrom_ = 0;
    std::size_t patch_ = std::numeric_limits<std::size_t>::max();
    char saved_ = 0;
};

std::uint32_t getLE32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// Splits `total` inflated bytes into blocks, following the notebook's framing as far as it
// is sound (the parser repeats every check; anything it would reject is kept as plain
// bytes).
template <class Reader>
BlockSource walkBlocks(Reader& reader, std::size_t total) {
    BlockSource out;
    std::size_t taken = 0;
    auto bytes = [&](unsigned char* dst, std::size_t n) {
        reader.read(reinterpret_cast<char*>(dst), n);
        out.appendBytes(reinterpret_cast<const char*>(dst), n);
        taken += n;
    };
    auto copyAcross = [&](std::size_t n, bool drop) {
        reader.copyAcross(out, n, drop);
        taken += n;
    };
    if (total >= 8) {
        unsigned char head[8];
        bytes(head, 8);
        if (std::memcmp(head, "LKP\x01", 4) == 0) {
            std::uint32_t blockLen = getLE32(head + 4);
            bool haveLen = true;
            long long b = -2;                 // as the parser counts: info, outline, texts
            std::uint64_t sectionBlocks = 0;  // outline lines
            std::size_t p = 4;                // offset of the current block's length
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
                    TextBuffer block = reader.block(blockLen, section);
                    taken += blockLen;
                    if (b == -1) {
                        sectionBlocks = countOutlineLines(block);
                        // A length and a text per section, as far as the bytes left can hold.
                        out.reserve(
                            2 * static_cast<std::size_t>(std::min<std::uint64_t>(sectionBlocks, (total - p) / 4)) + 4);
                    }
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
    // kept, the remainder is only inflated (it must still be sound and long enough) and
    // dropped. A stream claiming a huge content costs nothing beyond its checks.
    const std::size_t keep = std::min(total - taken, kKeptTail);
    copyAcross(keep, false);
    copyAcross(total - taken, true);
    return out;
}

// Unpacks everything after the marker into blocks. Every failure is raised before the
// caller parses anything.
BlockSource unzipToBlocks(std::string_view packed, InflateWith with) {
    try {
        PackedInput input(packed);
        Inflater inflater(input);
        unsigned char len[4];
        if (inflater.read(reinterpret_cast<char*>(len), 4) != 4) envelopeError("Stream read error");
        const auto m = static_cast<std::int32_t>(getLE32(len));
        if (m <= 0) return BlockSource();
        const auto total = static_cast<std::size_t>(m);
        if (with == InflateWith::Fastest) {
            if (std::optional<Image> image = inflateWhole(packed, total, true)) {
                ImageReader reader(std::move(*image));
                return walkBlocks(reader, total);
            }
        }
        InflatedReader reader(inflater, total);
        return walkBlocks(reader, total);
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

void UnzipBuffer(TextBuffer& buffer, InflateWith with) {
    if (!IsEnveloped(buffer.view())) return;
    const std::string_view packed = buffer.view().substr(kZipMarker.size());
    try {
        PackedInput input(packed);
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
        if (with == InflateWith::Fastest) {
            if (std::optional<Image> image = inflateWhole(packed, total, false)) {
                buffer = TextBuffer::within(image->bytes, image->bytes.get() + 4, total);
                return;
            }
        }
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

BlockSource UnzipToBlocks(std::string_view envelope, InflateWith with) {
    return unzipToBlocks(envelope.substr(kZipMarker.size()), with);
}

BlockSource UnzipFileToBlocks(int fd, std::int64_t size, InflateWith with) {
    const auto skip = static_cast<std::int64_t>(kZipMarker.size());
    const auto n = static_cast<std::size_t>(std::max<std::int64_t>(size - skip, 0));
    if (n == 0) return unzipToBlocks({}, with);
    struct Pages {
        Pages(char* pages, std::size_t size) : p(pages), n(size) {}
        Pages(const Pages&) = delete;
        Pages& operator=(const Pages&) = delete;
        ~Pages() { munmap(p, n); }
        char* p;
        std::size_t n;
    };
    std::optional<Pages> packed;
    try {
        packed.emplace(mapPages(n, true), n);
    } catch (const std::bad_alloc&) {
        envelopeError("Out of memory");
    }
    readExactly(fd, packed->p, n, skip);
    return unzipToBlocks(std::string_view(packed->p, n), with);
}

}  // namespace lark
