#include "document/sealed_envelope.h"

#include <sodium.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <limits>
#include <new>
#include <vector>

#include "document/errors.h"
#include "document/file_access.h"

namespace lark {
namespace {

using State = crypto_secretstream_xchacha20poly1305_state;

static_assert(kSealChunkOverhead == crypto_secretstream_xchacha20poly1305_ABYTES);
static_assert(kSealHeaderSize == kSealAuthenticated + crypto_secretstream_xchacha20poly1305_HEADERBYTES);
static_assert(kSealArgon2id == crypto_pwhash_ALG_ARGON2ID13);

constexpr std::size_t kSealedChunk = kSealChunk + kSealChunkOverhead;

[[noreturn]] void broken() { throw LarkError(kSealBrokenText, ErrorKind::Sealed); }

std::uint64_t getLE(const unsigned char* p, int n) {
    std::uint64_t v = 0;
    for (int i = n - 1; i >= 0; --i) v = v << 8 | p[i];
    return v;
}

void putLE(unsigned char* p, std::uint64_t v, int n) {
    for (int i = 0; i < n; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

// The state of the sealed stream behind a file's header, wiped on destruction.
struct WipedState {
    State s;
    ~WipedState() { sodium_memzero(&s, sizeof s); }
};

// Reads `n` bytes at `offset` of the sealed bytes.
using ReadAt = std::function<void(unsigned char* dst, std::size_t n, std::uint64_t offset)>;

// How many content bytes a sealed stream of `streamBytes` holds; refuses a length no
// sealing gives (no final chunk, or a last chunk shorter than its tag).
std::uint64_t contentSize(std::uint64_t streamBytes) {
    const std::uint64_t full = streamBytes / kSealedChunk;
    const std::uint64_t rest = streamBytes % kSealedChunk;
    // A stream whose length is a whole number of full chunks ends on a full final chunk;
    // otherwise the rest is the final chunk and holds at least its tag.
    if (streamBytes == 0) broken();
    if (rest == 0) return full * kSealChunk;
    if (rest < kSealChunkOverhead) broken();
    return full * kSealChunk + (rest - kSealChunkOverhead);
}

// Opens the stream: header, parameters, key check against the stored ones.
void openStream(WipedState& state, const unsigned char* head, const SealKey& key) {
    const SealParams stored = ReadSealParams(std::string_view(reinterpret_cast<const char*>(head), kSealHeaderSize));
    if (!(stored == key.params())) broken();  // the key was derived for another file
    if (crypto_secretstream_xchacha20poly1305_init_pull(&state.s, head + kSealAuthenticated, key.bytes()) != 0)
        broken();
}

// Decrypts one chunk of `len` sealed bytes; `last` says whether it ends the stream.
void pullChunk(WipedState& state, unsigned char* out, const unsigned char* in, std::size_t len, bool last,
               const unsigned char* ad, std::size_t adLen) {
    unsigned char tag = 0;
    unsigned long long got = 0;
    if (crypto_secretstream_xchacha20poly1305_pull(&state.s, out, &got, &tag, in, len, ad, adLen) != 0) broken();
    const bool final = tag == crypto_secretstream_xchacha20poly1305_TAG_FINAL;
    if (final != last || (!final && tag != crypto_secretstream_xchacha20poly1305_TAG_MESSAGE)) broken();
}

TextBuffer unseal(std::uint64_t size, const ReadAt& read, const SealKey& key) {
    EnsureSodium();
    if (size < kSealHeaderSize) broken();
    unsigned char head[kSealHeaderSize];
    read(head, kSealHeaderSize, 0);
    WipedState state;
    openStream(state, head, key);
    const std::uint64_t stream = size - kSealHeaderSize;
    const std::uint64_t total = contentSize(stream);
    if (total > std::numeric_limits<std::size_t>::max() / 2) broken();
    TextBuffer out;
    try {
        out = TextBuffer::allocate(static_cast<std::size_t>(total));
    } catch (const std::bad_alloc&) {
        throw LarkError("Out of memory", ErrorKind::Sealed);
    }
    std::vector<unsigned char> chunk(kSealedChunk);
    std::uint64_t at = 0;   // in the stream
    std::uint64_t put = 0;  // in the content
    bool first = true;
    try {
        do {
            const std::size_t len = static_cast<std::size_t>(std::min<std::uint64_t>(stream - at, kSealedChunk));
            read(chunk.data(), len, kSealHeaderSize + at);
            at += len;
            pullChunk(state, reinterpret_cast<unsigned char*>(out.data()) + put, chunk.data(), len, at == stream,
                      first ? head : nullptr, first ? kSealAuthenticated : 0);
            put += len - kSealChunkOverhead;
            first = false;
        } while (at < stream);
    } catch (...) {
        // What was decrypted before the damage goes nowhere, not even to freed memory.
        sodium_memzero(out.data(), put);
        throw;
    }
    return out;
}

ReadAt fileReader(int fd) {
    return [fd](unsigned char* dst, std::size_t n, std::uint64_t offset) {
        readExactly(fd, reinterpret_cast<char*>(dst), n, static_cast<std::int64_t>(offset));
    };
}

}  // namespace

bool IsSealed(std::string_view head) { return head.substr(0, kSealMarker.size()) == kSealMarker; }

SealParams ReadSealParams(std::string_view head) {
    if (head.size() < kSealAuthenticated || !IsSealed(head)) broken();
    const auto* p = reinterpret_cast<const unsigned char*>(head.data());
    if (p[8] != kSealVersion || p[9] != kSealArgon2id) broken();
    SealParams params;
    params.opsLimit = static_cast<std::uint32_t>(getLE(p + 10, 4));
    params.memLimit = getLE(p + 14, 8);
    std::memcpy(params.salt.data(), p + 22, kSealSaltBytes);
    if (!SealParamsAllowed(params.opsLimit, params.memLimit)) broken();
    return params;
}

TextBuffer SealBytes(std::string_view content, const SealKey& key) {
    EnsureSodium();
    const std::size_t chunks = content.size() / kSealChunk + (content.size() % kSealChunk != 0 || content.empty());
    TextBuffer out;
    try {
        out = TextBuffer::allocate(kSealHeaderSize + content.size() + chunks * kSealChunkOverhead);
    } catch (const std::bad_alloc&) {
        throw LarkError("Out of memory");
    }
    auto* o = reinterpret_cast<unsigned char*>(out.data());
    std::memcpy(o, kSealMarker.data(), kSealMarker.size());
    o[8] = kSealVersion;
    o[9] = kSealArgon2id;
    const SealParams& params = key.params();
    putLE(o + 10, params.opsLimit, 4);
    putLE(o + 14, params.memLimit, 8);
    std::memcpy(o + 22, params.salt.data(), kSealSaltBytes);
    WipedState state;
    crypto_secretstream_xchacha20poly1305_init_push(&state.s, o + kSealAuthenticated, key.bytes());
    const auto* in = reinterpret_cast<const unsigned char*>(content.data());
    std::size_t done = 0;
    unsigned char* dst = o + kSealHeaderSize;
    for (std::size_t c = 0; c < chunks; ++c) {
        const std::size_t len = std::min(kSealChunk, content.size() - done);
        const bool last = c + 1 == chunks;
        unsigned long long written = 0;
        crypto_secretstream_xchacha20poly1305_push(
            &state.s, dst, &written, in + done, len, c == 0 ? o : nullptr, c == 0 ? kSealAuthenticated : 0,
            last ? crypto_secretstream_xchacha20poly1305_TAG_FINAL : crypto_secretstream_xchacha20poly1305_TAG_MESSAGE);
        dst += written;
        done += len;
    }
    return out;
}

TextBuffer UnsealBytes(std::string_view sealed, const SealKey& key) {
    return unseal(
        sealed.size(),
        [sealed](unsigned char* dst, std::size_t n, std::uint64_t offset) {
            std::memcpy(dst, sealed.data() + offset, n);
        },
        key);
}

TextBuffer UnsealFile(int fd, std::int64_t size, const SealKey& key) {
    return unseal(static_cast<std::uint64_t>(std::max<std::int64_t>(size, 0)), fileReader(fd), key);
}

bool SealKeyOpens(int fd, std::int64_t size, const SealKey& key) {
    try {
        EnsureSodium();
        const auto bytes = static_cast<std::uint64_t>(std::max<std::int64_t>(size, 0));
        if (bytes < kSealHeaderSize) return false;
        unsigned char head[kSealHeaderSize];
        readExactly(fd, reinterpret_cast<char*>(head), kSealHeaderSize, 0);
        WipedState state;
        openStream(state, head, key);
        const std::uint64_t stream = bytes - kSealHeaderSize;
        (void)contentSize(stream);
        const std::size_t len = static_cast<std::size_t>(std::min<std::uint64_t>(stream, kSealedChunk));
        std::vector<unsigned char> in(len), out(len);
        readExactly(fd, reinterpret_cast<char*>(in.data()), len, kSealHeaderSize);
        pullChunk(state, out.data(), in.data(), len, len == stream, head, kSealAuthenticated);
        sodium_memzero(out.data(), out.size());
        return true;
    } catch (const LarkError&) {
        return false;
    }
}

std::optional<TextBuffer> SealedCopyUnlessSealed(int fd, const SealKey& key) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) throw LarkError(systemErrorText(errno), ErrorKind::System, errno);
    const auto size = static_cast<std::size_t>(st.st_size);
    char head[8] = {};
    if (size >= kSealMarker.size()) {
        readExactly(fd, head, kSealMarker.size(), 0);
        if (IsSealed(std::string_view(head, kSealMarker.size()))) return std::nullopt;
    }
    TextBuffer plain = TextBuffer::allocate(size);
    if (size > 0) readExactly(fd, plain.data(), size, 0);
    TextBuffer sealed = SealBytes(plain.view(), key);
    sodium_memzero(plain.data(), plain.size());
    return sealed;
}

}  // namespace lark
