#include "main/text_codec.h"

#include <array>
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

QString TextToEditor(std::string_view bytes) {
    const Tables& t = tables();
    QString out(static_cast<qsizetype>(bytes.size()), Qt::Uninitialized);
    char16_t* const begin = reinterpret_cast<char16_t*>(out.data());
    char16_t* dst = begin;
    const std::size_t n = bytes.size();
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c == '\r') {
            *dst++ = u'\n';
            if (i + 1 < n && bytes[i + 1] == '\n') ++i;
        } else {
            *dst++ = t.toUnicode[c];
        }
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
    return QStringLiteral("Символы, которых нет в кодировке Windows-1251, заменены на «?» (%1): впишите вместо «?» "
                          "буквы или знаки, которые в ней есть")
        .arg(count);
}

}  // namespace lark::gui
