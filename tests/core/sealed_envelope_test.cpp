// The sealed envelope: round trips over the chunk boundaries, every kind of damage refused
// with nothing loaded, wrong passwords, and no readable byte of a sealed notebook in any
// file a save or a recovery copy writes.
#include <gtest/gtest.h>
#include <sys/prctl.h>

#include <random>

#include "document/envelope.h"
#include "document/file_ops.h"
#include "document/format.h"
#include "document/recovery.h"
#include "document/seal_key.h"
#include "document/sealed_envelope.h"
#include "document/snapshot.h"
#include "fixture.h"

namespace {

using coretest::Desk;
using coretest::readFile;
using coretest::ScratchDir;
using coretest::writeFile;
using lark::kSealChunk;

constexpr std::size_t kSealed = kSealChunk + lark::kSealChunkOverhead;
const std::string kMarker = "PLAINTEXT-MARKER-7731";

// The smallest derivation: tests derive keys by the dozen.
std::shared_ptr<const lark::SealKey> testKey(std::string_view password = "секрет") {
    static const lark::SealParams params = lark::FreshSealParams(1, 8192);
    return lark::SealKey::derive(password, params);
}

std::string random(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (char& c : s) c = static_cast<char>(rng());
    return s;
}

std::string sealed(std::string_view content, const lark::SealKey& key) {
    return std::string(lark::SealBytes(content, key).view());
}

// Refused as damage, with the message the user sees.
void expectBroken(const std::string& bytes, const lark::SealKey& key) {
    try {
        (void)lark::UnsealBytes(bytes, key);
        ADD_FAILURE() << "unsealed";
    } catch (const lark::LarkError& e) {
        EXPECT_EQ(e.kind(), lark::ErrorKind::Sealed);
        EXPECT_STREQ(e.what(), lark::kSealBrokenText);
    }
}

TEST(SealedEnvelope, RoundTripsEverySizeAroundTheChunkBoundaries) {
    const auto key = testKey();
    std::vector<std::size_t> sizes = {0, 1, 17, 1000};
    for (std::size_t k = 1; k <= 3; ++k)
        for (std::size_t n : {k * kSealChunk - 1, k * kSealChunk, k * kSealChunk + 1}) sizes.push_back(n);
    std::mt19937 rng(5);
    for (int i = 0; i < 6; ++i) sizes.push_back(rng() % (5 * kSealChunk));
    ScratchDir dir;
    for (const std::size_t n : sizes) {
        SCOPED_TRACE(n);
        const std::string content = random(n, static_cast<unsigned>(n));
        const std::string s = sealed(content, *key);
        const std::size_t chunks = std::max<std::size_t>(1, (n + kSealChunk - 1) / kSealChunk);
        EXPECT_EQ(s.size(), lark::kSealHeaderSize + n + chunks * lark::kSealChunkOverhead);
        EXPECT_TRUE(lark::IsSealed(s));
        EXPECT_EQ(lark::UnsealBytes(s, *key).view(), content);
        writeFile(dir.file("s"), s);
        const lark::UniqueFd fd(::open(dir.file("s").c_str(), O_RDONLY));
        EXPECT_EQ(lark::UnsealFile(fd.get(), static_cast<std::int64_t>(s.size()), *key).view(), content);
        EXPECT_TRUE(lark::SealKeyOpens(fd.get(), static_cast<std::int64_t>(s.size()), *key));
        // Each seal has a stream header of its own.
        EXPECT_NE(sealed(content, *key).substr(lark::kSealAuthenticated), s.substr(lark::kSealAuthenticated));
    }
}

void flip(std::string& s, std::size_t at) { s[at] = static_cast<char>(s[at] ^ 0x10); }
void setLE(std::string& s, std::size_t at, std::uint64_t v, int n) {
    for (int i = 0; i < n; ++i) s[at + static_cast<std::size_t>(i)] = static_cast<char>(v >> (8 * i));
}

// A sealed file of three chunks (two full, one short) changed in every region: each change
// is refused as damage, and a load of it leaves the notebook on screen as it was.
TEST(SealedEnvelope, EveryTamperingIsRefusedAndLoadsNothing) {
    const auto key = testKey();
    const std::string good = sealed(coretest::notebook("", "A\r\n", {kMarker + random(2 * kSealChunk, 1)}), *key);
    constexpr std::size_t h = lark::kSealHeaderSize;
    const std::size_t n = good.size();
    std::vector<std::pair<std::string, std::string>> rows;  // label, bytes
    auto add = [&](const std::string& label, const std::function<void(std::string&)>& change) {
        std::string bad = good;
        change(bad);
        rows.emplace_back(label, bad);
    };
    const std::pair<const char*, std::size_t> flips[] = {
        {"marker", 3},
        {"version", 8},
        {"derivation", 9},
        {"ops limit", 10},
        {"memory limit", 15},
        {"salt first", 22},
        {"salt last", 37},
        {"stream header first", 38},
        {"stream header last", 61},
        {"first chunk tag", h},
        {"first chunk text", h + 100},
        {"first chunk mac", h + kSealed - 1},
        {"second chunk", h + kSealed + 5},
        {"last chunk", h + 2 * kSealed + 20},
        {"last byte", n - 1},
    };
    for (const auto& [label, at] : flips)
        add(std::string("flipped: ") + label, [at = at](std::string& s) { flip(s, at); });
    const std::pair<const char*, std::size_t> cuts[] = {
        {"inside the header", 40},
        {"after the header", h},
        {"after one chunk", h + kSealed},
        {"after two chunks", h + 2 * kSealed},
        {"one byte", n - 1},
        {"the last tag", n - 16},
    };
    for (const auto& [label, size] : cuts)
        add(std::string("cut: ") + label, [size = size](std::string& s) { s.resize(size); });
    const std::tuple<const char*, std::size_t, std::uint64_t, int> params[] = {
        {"ops limit zero", 10, 0, 4},
        {"ops limit over the bound", 10, lark::kMaxSealOps + 1, 4},
        {"memory over 1 GiB", 14, lark::kMaxSealMemory + 1024, 8},
        {"memory under the least", 14, 4096, 8},
    };
    for (const auto& [label, at, v, w] : params)
        add(label, [at = at, v = v, w = w](std::string& s) { setLE(s, at, v, w); });
    add("one byte appended", [](std::string& s) { s += 'x'; });
    add("a tag's worth appended", [](std::string& s) { s += std::string(17, '\0'); });
    add("first chunk appended again", [](std::string& s) { s += s.substr(h, kSealed); });
    add("second chunk dropped", [](std::string& s) { s.erase(h + kSealed, kSealed); });
    add("chunks swapped", [](std::string& s) {
        s = s.substr(0, h) + s.substr(h + kSealed, kSealed) + s.substr(h, kSealed) + s.substr(h + 2 * kSealed);
    });

    ScratchDir dir;
    Desk d;
    d.buildSample();
    const std::string before = coretest::describe(d.doc.tree());
    for (const auto& [label, bad] : rows) {
        SCOPED_TRACE(label);
        ASSERT_NE(bad, good);
        expectBroken(bad, *key);
        // Without its marker the file is no sealed notebook at all (shown as plain text).
        if (label == "flipped: marker") continue;
        writeFile(dir.file("t.lkp"), bad);
        d.ui.errors.clear();
        EXPECT_FALSE(d.doc.LoadDocument(dir.file("t.lkp"), false, key));
        EXPECT_EQ(d.lastError(), lark::kSealBrokenText);
        EXPECT_EQ(coretest::describe(d.doc.tree()), before) << "something was loaded";
        EXPECT_EQ(d.doc.sealKey, nullptr);
    }
    // The untouched file opens.
    writeFile(dir.file("t.lkp"), good);
    EXPECT_TRUE(d.doc.LoadDocument(dir.file("t.lkp"), false, key)) << d.lastError();
    EXPECT_EQ(d.doc.tree().count(), 1);
}

TEST(SealedEnvelope, StoredParametersAreBounded) {
    const std::uint64_t GiB = std::uint64_t{1} << 30;
    const std::tuple<std::uint32_t, std::uint64_t, bool> rows[] = {
        // ops, memory, allowed
        {1, 8192, true},      {0, 8192, false}, {1, 8191, false}, {8, 512 << 20, true}, {9, 8192, false},
        {4, GiB, true},       {5, GiB, false},  {1, GiB, true},   {1, GiB + 1, false},  {8, (GiB / 2) + 1, false},
        {3, 128 << 20, true},
    };
    const auto key = testKey();
    std::string s = sealed("x", *key);
    for (const auto& [ops, mem, allowed] : rows) {
        SCOPED_TRACE(std::to_string(ops) + " " + std::to_string(mem));
        EXPECT_EQ(lark::SealParamsAllowed(ops, mem), allowed);
        setLE(s, 10, ops, 4);
        setLE(s, 14, mem, 8);
        if (allowed) EXPECT_EQ(lark::ReadSealParams(s).memLimit, mem);
        else EXPECT_THROW((void)lark::ReadSealParams(s), lark::LarkError);
    }
}

TEST(SealedEnvelope, OnlyTheRightPasswordOpens) {
    const auto right = testKey("пароль");
    const std::string s = sealed("text", *right);
    ScratchDir dir;
    writeFile(dir.file("s"), s);
    const lark::UniqueFd fd(::open(dir.file("s").c_str(), O_RDONLY));
    const auto size = static_cast<std::int64_t>(s.size());
    EXPECT_TRUE(lark::SealKeyOpens(fd.get(), size, *lark::SealKey::derive("пароль", lark::ReadSealParams(s))));
    for (const char* wrong : {"Пароль", "пароль ", "", "парол"}) {
        SCOPED_TRACE(wrong);
        const auto key = lark::SealKey::derive(wrong, lark::ReadSealParams(s));
        EXPECT_FALSE(lark::SealKeyOpens(fd.get(), size, *key));
        expectBroken(s, *key);
    }
    // The right key bytes under other parameters (another file's salt) do not open it.
    std::array<unsigned char, lark::kSealKeyBytes> bytes{};
    std::copy(right->bytes(), right->bytes() + bytes.size(), bytes.begin());
    expectBroken(s, *lark::SealKey::fromBytes(bytes, lark::FreshSealParams(1, 8192)));
    EXPECT_EQ(lark::UnsealBytes(s, *lark::SealKey::fromBytes(bytes, right->params())).view(), "text");
    // A process holding a key leaves no core dump of the text it opens.
    EXPECT_EQ(::prctl(PR_GET_DUMPABLE), 0);
}

// Every byte a save writes (temporary, backup, notebook), through the file layer.
struct WriteRecorder : lark::FileOps {
    std::string written;
    ssize_t write(int fd, const void* data, size_t size) override {
        written.append(static_cast<const char*>(data), size);
        return lark::FileOps::write(fd, data, size);
    }
};

TEST(SealedEnvelope, SavesWriteNoPlainByteAndReadBackWithTheKeyOnly) {
    for (const bool zip : {false, true}) {
        SCOPED_TRACE(zip ? "zipped" : "plain");
        ScratchDir dir;
        const std::string path = dir.file("n.lkp"), backup = dir.file("n.bak");
        Desk d;
        lark::Section* top = d.add(nullptr, "Дневник", kMarker + " \xe0\xe1\xe2");
        d.add(top, "Вложенный", std::string(kSealChunk + 1, 'q') + kMarker);
        d.doc.UseZip = zip;
        ASSERT_TRUE(d.doc.SaveDocument(path)) << d.lastError();

        const auto key = testKey();
        d.doc.sealKey = key;
        d.editor.setText(kMarker + "2");
        d.editor.setModified(true);
        d.doc.SelectSection(top);
        WriteRecorder recorder;
        {
            lark::ScopedFileOps scoped(recorder);
            ASSERT_TRUE(d.doc.SaveDocument(path, backup)) << d.lastError();
            ASSERT_TRUE(d.doc.SaveDocument(path, backup)) << d.lastError();
        }
        const std::string want = coretest::describe(d.doc.tree());
        // Neither the text nor the framing of a plain or compressed notebook went to disk.
        for (const std::string_view plain :
             {std::string_view(kMarker), std::string_view("ZIPPED!"), std::string_view("LKP\x01", 4)})
            EXPECT_EQ(recorder.written.find(plain), std::string::npos) << "written in the clear: " << plain;
        for (const std::string& f : {path, backup}) {
            const std::string bytes = readFile(f);
            EXPECT_TRUE(lark::IsSealed(bytes)) << f;
            EXPECT_EQ(bytes.find(kMarker), std::string::npos) << f;
        }
        // The backup of the file that was not sealed yet is that file, sealed.
        lark::TextBuffer first = lark::UnsealBytes(readFile(backup), *key);
        lark::UnzipBuffer(first);
        EXPECT_NE(first.view().find(kMarker), std::string::npos);
        lark::CloseDocumentFile(d.doc.FFileHandle);

        Desk e;
        EXPECT_FALSE(e.doc.LoadDocument(path, false));
        EXPECT_EQ(e.lastError(), lark::kSealNeedsPasswordText);
        EXPECT_EQ(e.doc.tree().count(), 0);
        ASSERT_TRUE(e.doc.LoadDocument(path, false, key)) << e.lastError();
        EXPECT_EQ(coretest::describe(e.doc.tree()), want);
        EXPECT_EQ(e.doc.sealKey, key);
        // Closing the notebook lets go of its key.
        e.doc.ClearDocument();
        EXPECT_EQ(e.doc.sealKey, nullptr);
    }
}

TEST(SealedEnvelope, RecoveryCopyIsSealedAndRestoresWithTheKey) {
    ScratchDir dir;
    const std::string copy = dir.file("rec/c.lkp");
    Desk d;
    d.add(nullptr, "Тайна", kMarker);
    const auto key = testKey();
    d.doc.sealKey = key;
    lark::WriteRecoveryCopy(*lark::TakeSnapshot(d.doc), copy, dir.file("n.lkp"), key.get());
    EXPECT_EQ(readFile(copy).find(kMarker), std::string::npos);
    ASSERT_TRUE(lark::RecoveryCopySealParams(copy).has_value());
    EXPECT_EQ(*lark::RecoveryCopySealParams(copy), key->params());

    Desk e;
    e.add(nullptr, "kept");
    try {
        lark::RestoreRecoveryCopy(e.doc, copy, "n.lkp");
        ADD_FAILURE() << "restored without a key";
    } catch (const lark::LarkError& err) {
        EXPECT_EQ(err.kind(), lark::ErrorKind::NeedsPassword);
    }
    EXPECT_THROW(lark::RestoreRecoveryCopy(e.doc, copy, "n.lkp", testKey("wrong")), lark::LarkError);
    EXPECT_EQ(coretest::describe(e.doc.tree()), "kept=");
    lark::RestoreRecoveryCopy(e.doc, copy, "n.lkp", key);
    EXPECT_EQ(coretest::describe(e.doc.tree()), "Тайна=" + kMarker);
    EXPECT_EQ(e.doc.sealKey, key);
    // A copy of a plain notebook stays plain.
    lark::WriteRecoveryCopy(*lark::TakeSnapshot(e.doc), copy);
    EXPECT_FALSE(lark::RecoveryCopySealParams(copy).has_value());
}

}  // namespace
