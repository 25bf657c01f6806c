#include "document/envelope.h"

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>

#include "document/errors.h"

namespace lark {
namespace {

constexpr uInt kMaxChunk = std::numeric_limits<uInt>::max() / 2;

[[noreturn]] void envelopeError(const char* text) { throw LarkError(text, ErrorKind::Envelope); }

class Inflater {
public:
    explicit Inflater(std::string_view packed) {
        std::memset(&zs_, 0, sizeof zs_);
        if (inflateInit(&zs_) != Z_OK) envelopeError("Out of memory");
        next_ = reinterpret_cast<const Bytef*>(packed.data());
        left_ = packed.size();
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
                if (left_ == 0) break;  // input cut short
                const uInt take = static_cast<uInt>(std::min<std::size_t>(left_, kMaxChunk));
                zs_.next_in = const_cast<Bytef*>(next_);
                zs_.avail_in = take;
                next_ += take;
                left_ -= take;
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
                if (zs_.avail_in == 0 && left_ == 0) break;
            } else if (rc != Z_OK) {
                envelopeError("Error");
            }
        }
        return done;
    }

private:
    z_stream zs_;
    const Bytef* next_ = nullptr;
    std::size_t left_ = 0;
    bool ended_ = false;
};

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

TextBuffer ZipBuffer(std::string_view content) {
    z_stream zs;
    std::memset(&zs, 0, sizeof zs);
    if (deflateInit2(&zs, 9, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY) != Z_OK) throw LarkError("Out of memory");
    struct End {
        z_stream& z;
        ~End() { deflateEnd(&z); }
    } end{zs};

    unsigned char header[4];
    putLE32(header, static_cast<std::uint32_t>(content.size()));
    const std::size_t bound = deflateBound(&zs, static_cast<uLong>(content.size() + 4)) + 64;
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
    pump(content.data(), content.size(), Z_FINISH);
    out.truncate(kZipMarker.size() + produced);
    return out;
}

void UnzipBuffer(TextBuffer& buffer) {
    if (!IsEnveloped(buffer.view())) return;
    const std::string_view packed = buffer.view().substr(kZipMarker.size());
    try {
        Inflater inflater(packed);
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

}  // namespace lark
