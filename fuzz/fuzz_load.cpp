// Feeds arbitrary bytes through the unwrap + parse path of a load. Compressed input is
// also unpacked the way the load pipeline does it (straight into blocks), and both
// routes must end in the same tree, texts, messages and failure; inflating a stream whole
// must give what zlib's streaming inflate gives. The sealed path runs under a fixed test key
// (no password derivation per input): a sealed input either unseals or is refused as
// damage, and every input sealed with that key comes back byte for byte and loads into
// what the plain bytes give.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "document/document.h"
#include "document/envelope.h"
#include "document/errors.h"
#include "document/format.h"
#include "document/load_bytes.h"
#include "document/memory_view.h"
#include "document/seal_key.h"
#include "document/sealed_envelope.h"

namespace {

struct Desk {
    lark::MemoryTreeView view;
    lark::MemoryEditor editor;
    lark::MemoryUi ui;
    lark::Document doc{view, editor, ui};
    Desk() { editor.lockOnLoad = false; }

    std::string parse(lark::ContentSource& source) {
        std::string out;
        doc.FUpdating = true;
        try {
            lark::ParseDocument(doc, source, true, "/nonexistent/fuzz-input");
        } catch (const lark::LarkError& e) {
            out = std::string("fatal:") + e.what() + "\n";
        }
        return out + describe();
    }
    // The load pipeline on sealed bytes.
    std::string loadSealed(std::string_view sealed, const std::shared_ptr<const lark::SealKey>& key) {
        std::string out;
        try {
            lark::LoadFromBytes(doc, lark::TextBuffer::copyOf(sealed), true, "/nonexistent/fuzz-input", key);
        } catch (const lark::LarkError& e) {
            if (e.kind() == lark::ErrorKind::Envelope) return std::string("unzip:") + e.what();
            out = std::string("fatal:") + e.what() + "\n";
        }
        return out + describe();
    }
    std::string describe() {
        std::string out;
        doc.tree().forEach([&](lark::Section& s, int depth) {
            out += std::to_string(depth) + "|" + std::string(s.name()) + "|" + std::string(s.text()) + "\n";
            return true;
        });
        for (const auto& e : ui.errors) out += "error:" + e + "\n";
        for (const auto line : doc.FFileInfo) out += "info:" + std::string(line) + "\n";
        out += "selected:" + std::to_string(doc.tree().indexOf(doc.selected()));
        return out;
    }
};

// The fixed test key and its parameters; the seeds sealed-*.lkp are sealed with them.
const std::shared_ptr<const lark::SealKey>& testKey() {
    static const std::shared_ptr<const lark::SealKey> key = [] {
        std::array<unsigned char, lark::kSealKeyBytes> bytes{};
        for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<unsigned char>(i * 7 + 1);
        lark::SealParams params;
        params.salt.fill(0x5a);
        params.opsLimit = 1;
        params.memLimit = 8192;
        return lark::SealKey::fromBytes(bytes, params);
    }();
    return key;
}

[[noreturn]] void differs(const char* what, const std::string& a, const std::string& b) {
    std::fprintf(stderr, "%s:\n--- expected\n%s\n--- got\n%s\n", what, a.c_str(), b.c_str());
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto& key = testKey();
    if (lark::IsSealed(bytes)) {
        // Unsealed or refused as damage, nothing else; what unseals loads as its content does.
        try {
            const lark::TextBuffer content = lark::UnsealBytes(bytes, *key);
            Desk a, b;
            const std::string plain = a.loadSealed(lark::SealBytes(content.view(), *key).view(), key);
            const std::string direct = b.loadSealed(bytes, key);
            if (plain != direct)
                differs("a sealed input loads differently from its content sealed again", plain, direct);
        } catch (const lark::LarkError& e) {
            if (e.kind() != lark::ErrorKind::Sealed) differs("unsealing failed otherwise", "Sealed", e.what());
        }
    }
    std::string viaBuffer;
    {
        Desk d;
        lark::TextBuffer buffer = lark::TextBuffer::copyOf(bytes);
        try {
            lark::UnzipBuffer(buffer);
            lark::MemorySource source(buffer.view());
            viaBuffer = d.parse(source);
        } catch (const lark::LarkError& e) {
            viaBuffer = std::string("unzip:") + e.what();
        }
    }
    if (lark::IsEnveloped(bytes)) {
        // Inflating the whole stream at once must give what zlib gives, bytes and failures.
        std::string whole, byZlib;
        for (auto [with, result] :
             {std::pair{lark::InflateWith::Fastest, &whole}, std::pair{lark::InflateWith::Zlib, &byZlib}}) {
            lark::TextBuffer buffer = lark::TextBuffer::copyOf(bytes);
            try {
                lark::UnzipBuffer(buffer, with);
                *result = std::string(buffer.view());
            } catch (const lark::LarkError& e) {
                *result = std::string("unzip:") + e.what();
            }
        }
        if (whole != byZlib) {
            std::fprintf(stderr, "inflating whole differs from zlib:\n--- zlib\n%s\n--- whole\n%s\n", byZlib.c_str(),
                         whole.c_str());
            std::abort();
        }
    }
    {
        // Sealed with the test key, every input comes back whole and loads as it does plain.
        const lark::TextBuffer sealed = lark::SealBytes(bytes, *key);
        if (lark::UnsealBytes(sealed.view(), *key).view() != bytes) differs("seal and unseal", "same bytes", "other");
        if (!lark::IsSealed(bytes)) {
            Desk d;
            const std::string viaSealed = d.loadSealed(sealed.view(), key);
            if (viaSealed != viaBuffer) differs("loading sealed bytes differs", viaBuffer, viaSealed);
        }
    }
    if (lark::IsEnveloped(bytes)) {
        Desk d;
        std::string viaBlocks;
        try {
            lark::BlockSource source = lark::UnzipToBlocks(bytes);
            viaBlocks = d.parse(source);
        } catch (const lark::LarkError& e) {
            viaBlocks = std::string("unzip:") + e.what();
        }
        if (viaBlocks != viaBuffer) {
            std::fprintf(stderr, "unpacking into blocks differs:\n--- buffer\n%s\n--- blocks\n%s\n", viaBuffer.c_str(),
                         viaBlocks.c_str());
            std::abort();
        }
    }
    return 0;
}
