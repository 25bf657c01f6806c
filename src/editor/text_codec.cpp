#include "editor/text_codec.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <memory>

#include "document/cp1251.h"

namespace lark::gui {
namespace {

struct Tables {
    std::array<char16_t, 256> toUnicode{};
    std::unique_ptr<std::int16_t[]> fromUnicode{new std::int16_t[65536]};  // -1: no byte
    Tables() {
        for (int i = 0; i < 65536; ++i) fromUnicode[i] = -1;
        for (int b = 0; b < 256; ++b) {
            const char32_t cp = cp1251::toUnicode(static_cast<unsigned char>(b));
            toUnicode[static_cast<std::size_t>(b)] = static_cast<char16_t>(cp);
            if (cp < 0x10000 && cp != 0xFFFD) fromUnicode[cp] = static_cast<std::int16_t>(b);
        }
    }
};

const Tables& tables() {
    static const Tables t;
    return t;
}

}  // namespace

QString BytesToQString(std::string_view bytes) {
    const Tables& t = tables();
    QString out(static_cast<qsizetype>(bytes.size()), Qt::Uninitialized);
    char16_t* dst = reinterpret_cast<char16_t*>(out.data());
    for (const char c : bytes) *dst++ = t.toUnicode[static_cast<unsigned char>(c)];
    return out;
}

namespace {

// Converts a stretch without CR. Stretches of 32 bytes below 0x80 (nearly all of a Latin
// text, the spaces, digits and punctuation of any) are widened as they are, which the
// compiler does many at a time; the rest go through the table.
char16_t* widen(const unsigned char* p, const unsigned char* end, char16_t* dst, const Tables& t) {
    constexpr std::size_t kStep = 32;
    while (static_cast<std::size_t>(end - p) >= kStep) {
        std::uint64_t w[4];
        std::memcpy(w, p, sizeof w);
        if (((w[0] | w[1] | w[2] | w[3]) & 0x8080808080808080ull) == 0) {
            for (std::size_t i = 0; i < kStep; ++i) dst[i] = p[i];
        } else {
            for (std::size_t i = 0; i < kStep; ++i) dst[i] = t.toUnicode[p[i]];
        }
        p += kStep;
        dst += kStep;
    }
    while (p < end) *dst++ = t.toUnicode[*p++];
    return dst;
}

}  // namespace

QString TextToEditor(std::string_view bytes) {
    const Tables& t = tables();
    QString out(static_cast<qsizetype>(bytes.size()), Qt::Uninitialized);
    char16_t* const begin = reinterpret_cast<char16_t*>(out.data());
    char16_t* dst = begin;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const unsigned char* const end = p + bytes.size();
    while (p < end) {
        const auto* cr = static_cast<const unsigned char*>(std::memchr(p, '\r', static_cast<std::size_t>(end - p)));
        dst = widen(p, cr ? cr : end, dst, t);
        if (!cr) break;
        // CR LF and a lone CR are one line break.
        *dst++ = u'\n';
        p = cr + 1;
        if (p < end && *p == '\n') ++p;
    }
    out.truncate(dst - begin);
    return out;
}

bool Representable(char16_t ch) { return tables().fromUnicode[ch] >= 0; }

qsizetype ReplaceUnrepresentable(QString& text) {
    const Tables& t = tables();
    qsizetype replaced = 0;
    // Fast path: most input is clean.
    bool clean = true;
    for (const QChar ch : std::as_const(text))
        if (t.fromUnicode[ch.unicode()] < 0) {
            clean = false;
            break;
        }
    if (clean) return 0;
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t ch = text.at(i).unicode();
        if (t.fromUnicode[ch] >= 0) {
            out.append(QChar(ch));
            continue;
        }
        if (QChar::isHighSurrogate(ch) && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) ++i;
        out.append(QChar(kReplacementChar));
        ++replaced;
    }
    text = out;
    return replaced;
}

namespace {
std::string toBytes(const QString& text, bool lineBreaks, qsizetype* replaced) {
    const Tables& t = tables();
    std::string out;
    out.reserve(static_cast<std::size_t>(text.size()) + static_cast<std::size_t>(text.size()) / 16);
    qsizetype bad = 0;
    const char16_t* p = reinterpret_cast<const char16_t*>(text.constData());
    const char16_t* const end = p + text.size();
    for (; p < end; ++p) {
        const char16_t ch = *p;
        if (lineBreaks && (ch == u'\n' || ch == 0x2029 || ch == 0x2028)) {
            out.push_back('\r');
            out.push_back('\n');
            continue;
        }
        const std::int16_t b = t.fromUnicode[ch];
        if (b >= 0) {
            out.push_back(static_cast<char>(b));
            continue;
        }
        if (QChar::isHighSurrogate(ch) && p + 1 < end && QChar::isLowSurrogate(p[1])) ++p;
        out.push_back(static_cast<char>(kReplacementChar));
        ++bad;
    }
    if (replaced) *replaced = bad;
    return out;
}
}  // namespace

std::string QStringToBytes(const QString& text, qsizetype* replaced) { return toBytes(text, false, replaced); }
std::string EditorToText(const QString& text, qsizetype* replaced) { return toBytes(text, true, replaced); }

QString ReplacedNotice(qsizetype count) {
    return QStringLiteral(
               "Символы, которых нет в кодировке Windows-1251, заменены на «?» (%1): впишите вместо «?» "
               "буквы или знаки, которые в ней есть")
        .arg(count);
}

}  // namespace lark::gui
