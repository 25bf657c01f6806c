// The "ZIPPED!" envelope: what counts as one, the stream inside it, damaged envelopes,
// and memory that follows the data rather than the length a stream claims.
#include <gtest/gtest.h>
#include <zlib.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <new>

#include "document/envelope.h"
#include "fixture.h"

// Largest single allocation while a probe is armed: a damaged envelope must not make
// the program ask for the gigabytes its stream claims.
namespace {
std::atomic<bool> gProbeArmed{false};
std::atomic<std::size_t> gLargestAllocation{0};
void* probedAlloc(std::size_t size) {
    if (gProbeArmed.load(std::memory_order_relaxed)) {
        std::size_t seen = gLargestAllocation.load(std::memory_order_relaxed);
        while (size > seen && !gLargestAllocation.compare_exchange_weak(seen, size)) {}
    }
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
}  // namespace

void* operator new(std::size_t size) { return probedAlloc(size); }
void* operator new[](std::size_t size) { return probedAlloc(size); }
// The nothrow forms too (std::stable_sort's buffer, for one): under the sanitizers they would
// otherwise come from the runtime's own allocator and reach the free() below.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return probedAlloc(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return probedAlloc(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace {

using coretest::le32;
using coretest::sampleBytes;

std::string zlibStream(std::string_view inflated, int level = 9, int windowBits = 15) {
    z_stream zs{};
    EXPECT_EQ(deflateInit2(&zs, level, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY), Z_OK);
    std::string out(deflateBound(&zs, static_cast<uLong>(inflated.size())), '\0');
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(inflated.data()));
    zs.avail_in = static_cast<uInt>(inflated.size());
    zs.next_out = reinterpret_cast<Bytef*>(out.data());
    zs.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&zs, Z_FINISH), Z_STREAM_END);
    out.resize(zs.total_out);
    deflateEnd(&zs);
    return out;
}

std::string withDamagedChecksum(std::string envelope) {
    envelope.back() = static_cast<char>(envelope.back() ^ 0x21);
    return envelope;
}

std::string inflateAll(std::string_view stream) {
    z_stream zs{};
    EXPECT_EQ(inflateInit(&zs), Z_OK);
    std::string out;
    char chunk[4096];
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(stream.data()));
    zs.avail_in = static_cast<uInt>(stream.size());
    int rc;
    do {
        zs.next_out = reinterpret_cast<Bytef*>(chunk);
        zs.avail_out = sizeof chunk;
        rc = inflate(&zs, Z_NO_FLUSH);
        out.append(chunk, sizeof chunk - zs.avail_out);
    } while (rc == Z_OK);
    EXPECT_EQ(rc, Z_STREAM_END);
    inflateEnd(&zs);
    return out;
}

std::string envelopeOf(std::string_view inflated, int level = 9) { return "ZIPPED!" + zlibStream(inflated, level); }

// Unzips a copy of `bytes`; returns the result, or the error's message prefixed with "!".
std::string unzip(std::string_view bytes, lark::InflateWith with = lark::InflateWith::Fastest) {
    lark::TextBuffer buffer = lark::TextBuffer::copyOf(bytes);
    try {
        lark::UnzipBuffer(buffer, with);
        return std::string(buffer.view());
    } catch (const lark::LarkError& e) {
        EXPECT_EQ(buffer.view(), bytes) << "a failed unpack leaves the caller's buffer as it was";
        return "!" + std::string(e.what());
    }
}

TEST(Envelope, SampleStreamHolds66InflatedBytesAndUsesLevel9Header) {
    const lark::TextBuffer env = lark::ZipBuffer(sampleBytes());
    const std::string_view bytes = env.view();
    ASSERT_GT(bytes.size(), 9u);
    EXPECT_EQ(bytes.substr(0, 7), "ZIPPED!");
    EXPECT_EQ(static_cast<unsigned char>(bytes[7]), 0x78);
    EXPECT_EQ(static_cast<unsigned char>(bytes[8]), 0xDA);
    const std::string inflated = inflateAll(bytes.substr(7));
    ASSERT_EQ(inflated.size(), 66u);
    EXPECT_EQ(inflated, std::string("\x3E\x00\x00\x00", 4) + sampleBytes());
}

TEST(Envelope, ZipThenUnzipGivesTheContentBack) {
    std::string large;
    for (int i = 0; i < 200000; ++i) large += "line " + std::to_string(i * 7919 % 100003) + "\r\n";
    for (const std::string& content : {std::string(), sampleBytes(), std::string("\0\x01\xFF", 3), large}) {
        const lark::TextBuffer env = lark::ZipBuffer(content);
        EXPECT_EQ(unzip(env.view()), content);
    }
}

struct UnzipRow {
    std::string label;
    std::string input;
    std::string expected;  // result, or "!" + message
};
CORETEST_PRINTS_LABEL(UnzipRow)

class EnvelopeUnzip : public ::testing::TestWithParam<UnzipRow> {};

// Every row through both ways of inflating: the whole stream at once, and zlib alone.
TEST_P(EnvelopeUnzip, Row) {
    SCOPED_TRACE(GetParam().label);
    EXPECT_EQ(unzip(GetParam().input, lark::InflateWith::Fastest), GetParam().expected) << "inflated whole";
    EXPECT_EQ(unzip(GetParam().input, lark::InflateWith::Zlib), GetParam().expected) << "inflated by zlib";
}

std::vector<UnzipRow> unzipRows() {
    const std::string sample = sampleBytes();
    const std::string good = envelopeOf(le32(62) + sample);
    return {
        {"nominal: a level-9 envelope", good, sample},
        {"nominal: any zlib level is accepted", envelopeOf(le32(62) + sample, 1), sample},
        {"nominal: a stored (level 0) stream is accepted", envelopeOf(le32(62) + sample, 0), sample},
        {"nominal: the 7-byte file ZIPPED! is not an envelope", "ZIPPED!", "ZIPPED!"},
        {"nominal: the marker in lower case is not an envelope", "zipped!" + zlibStream(le32(3) + "abc"),
         "zipped!" + zlibStream(le32(3) + "abc")},
        {"nominal: a marker differing in one letter is not an envelope", "ZIPPEDx" + zlibStream(le32(3) + "abc"),
         "ZIPPEDx" + zlibStream(le32(3) + "abc")},
        {"nominal: a marker not at the start is not an envelope", " ZIPPED!xxxxxxx", " ZIPPED!xxxxxxx"},
        {"nominal: only one envelope is unpacked", envelopeOf(le32(static_cast<std::uint32_t>(good.size())) + good),
         good},
        {"nominal: a length of 0 gives empty content", envelopeOf(le32(0)), ""},
        {"nominal: a negative length gives empty content", envelopeOf(le32(0xFFFFFFF0u) + "abc"), ""},
        {"nominal: a short length gives short content", envelopeOf(le32(5) + std::string("LKP\x01\x00", 5)),
         std::string("LKP\x01\x00", 5)},
        {"nominal: bytes after the stated length are not read", envelopeOf(le32(3) + "abcdef"), "abc"},
        {"nominal: a stream cut inside its checksum still gives the content", good.substr(0, good.size() - 2), sample},
        {"nominal: a damaged checksum after bytes past the stated length is never reached",
         withDamagedChecksum(envelopeOf(le32(3) + "abcdef")), "abc"},
        {"nominal: a stream followed by other bytes", good + "trailing bytes", sample},
        {"nominal: a stream with a smaller window", "ZIPPED!" + zlibStream(le32(62) + sample, 9, 9), sample},
        {"robustness: a damaged checksum", withDamagedChecksum(good), "!Error"},
        {"robustness: a stream longer than its packed bytes can hold",
         "ZIPPED!" + zlibStream(le32(0x7FFFFFF0u) + "abc"), "!Stream read error"},
        {"robustness: packed data cut short", good.substr(0, good.size() / 2), "!Stream read error"},
        {"robustness: packed data cut inside the length", envelopeOf("\x10\x00"), "!Stream read error"},
        {"robustness: packed data of one byte", std::string("ZIPPED!") + '\x78', "!Stream read error"},
        {"robustness: a stream shorter than its stated length", envelopeOf(le32(100) + "abc"), "!Stream read error"},
        {"robustness: bytes after the marker are not a zlib stream", "ZIPPED!" + sample, "!Error"},
        {"robustness: a wrong zlib header", std::string("ZIPPED!\x78\x00", 9) + zlibStream(le32(3) + "abc").substr(2),
         "!Error"},
        {"robustness: a reserved deflate block type", std::string("ZIPPED!\x78\xDA\x07\x00\x00\x00\x00", 12), "!Error"},
    };
}

INSTANTIATE_TEST_SUITE_P(Rows, EnvelopeUnzip, ::testing::ValuesIn(unzipRows()), coretest::ByLabel());

TEST(Envelope, IsEnvelopedNeedsEightBytesAndTheExactMarker) {
    EXPECT_FALSE(lark::IsEnveloped("ZIPPED!"));
    EXPECT_TRUE(lark::IsEnveloped("ZIPPED!x"));
    EXPECT_FALSE(lark::IsEnveloped("ZIPPEd!x"));
    EXPECT_FALSE(lark::IsEnveloped(std::string("ZIPPED\0x", 8)));
}

// A small damaged file claiming a huge content must fail fast without asking for the
// memory it claims; growth follows the bytes that actually inflate.
TEST(Envelope, AHugeClaimedLengthWithLittleDataFailsQuicklyWithoutHugeAllocation) {
    struct Case {
        std::uint32_t claimed;
        std::string data;
    };
    std::string noise(1 << 20, '\0');  // hardly compresses
    std::uint32_t seed = 12345;
    for (char& ch : noise) ch = static_cast<char>((seed = seed * 1103515245u + 12345u) >> 23);
    for (const Case& c : {Case{0x7FFFFFFFu, "tiny"}, Case{0x7FFFFFFFu, std::string(3 << 20, 'a')},
                          Case{0x40000000u, std::string(100000, '\x01')}, Case{0x7FFFFFFFu, noise}}) {
        const std::string env = envelopeOf(le32(c.claimed) + c.data);
        gLargestAllocation = 0;
        gProbeArmed = true;
        const std::string result = unzip(env);
        gProbeArmed = false;
        EXPECT_EQ(result, "!Stream read error");
        EXPECT_LT(gLargestAllocation.load(), std::max<std::size_t>(64u << 20, c.data.size() * 4))
            << "claimed " << c.claimed << " with " << c.data.size() << " bytes of data";
    }
}

TEST(Envelope, ALargeGenuineContentUnpacksWhateverItsCompressionRatio) {
    const std::string zeros(40u << 20, '\0');  // compresses about 1000:1
    const lark::TextBuffer env = lark::ZipBuffer(zeros);
    EXPECT_LT(env.size(), 100000u);
    lark::TextBuffer buffer = lark::TextBuffer::copyOf(env.view());
    lark::UnzipBuffer(buffer);
    EXPECT_EQ(buffer.size(), zeros.size());
    EXPECT_TRUE(buffer.view() == zeros);
}

}  // namespace
