#include "cli/json_io.h"

#include <cstdio>

#include "cli/notebook_loader.h"
#include "document/cp1251.h"
#include "document/format.h"

namespace lark::cli {

using nlohmann::json;

namespace {

// JSON string bodies for each Windows-1251 byte: escapes for the control characters, quote
// and backslash, the UTF-8 of the byte's character otherwise.
class ByteEscapes {
public:
    ByteEscapes() {
        for (int b = 0; b < 256; ++b) {
            std::string& e = table_[static_cast<std::size_t>(b)];
            switch (b) {
            case '"': e = "\\\""; break;
            case '\\': e = "\\\\"; break;
            case '\b': e = "\\b"; break;
            case '\f': e = "\\f"; break;
            case '\n': e = "\\n"; break;
            case '\r': e = "\\r"; break;
            case '\t': e = "\\t"; break;
            default:
                if (b < 0x20) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", b);
                    e = buf;
                } else {
                    e = cp1251::toUtf8(std::string_view(reinterpret_cast<const char*>(&b), 1));
                }
            }
        }
    }
    const std::string& operator[](unsigned char b) const { return table_[b]; }

private:
    std::string table_[256];
};

class JsonWriter {
public:
    explicit JsonWriter(std::ostream& out) : out_(out) { buf_.reserve(kFlushAt + 64); }
    ~JsonWriter() { flush(); }

    void raw(std::string_view s) {
        buf_.append(s);
        if (buf_.size() >= kFlushAt) flush();
    }
    // A Windows-1251 string as a quoted JSON string.
    void notebookString(std::string_view bytes) {
        static const ByteEscapes escapes;
        buf_.push_back('"');
        for (const char c : bytes) {
            buf_.append(escapes[static_cast<unsigned char>(c)]);
            if (buf_.size() >= kFlushAt) flush();
        }
        buf_.push_back('"');
    }
    // A UTF-8 string (a message of the program) as a quoted JSON string.
    void utf8String(const std::string& s) { raw(json(s).dump(-1, ' ', false, json::error_handler_t::replace)); }
    void flush() {
        out_.write(buf_.data(), static_cast<std::streamsize>(buf_.size()));
        buf_.clear();
    }

private:
    static constexpr std::size_t kFlushAt = 1 << 16;
    std::ostream& out_;
    std::string buf_;
};

}  // namespace

void WriteNotebookJson(const LoadedNotebook& nb, std::ostream& out) {
    const Document& doc = nb.doc;
    JsonWriter w(out);
    w.raw("{\n  \"envelope\": ");
    w.raw(nb.enveloped ? "\"zipped\"" : "\"none\"");
    if (nb.sealed) w.raw(",\n  \"sealed\": true");
    w.raw(",\n  \"kind\": ");
    w.raw(nb.plainText() ? "\"plain-text\"" : "\"notebook\"");
    w.raw(",\n  \"info\": [");
    for (std::size_t i = 0; i < doc.FFileInfo.size(); ++i) {
        w.raw(i ? ",\n    " : "\n    ");
        w.notebookString(doc.FFileInfo[i]);
    }
    w.raw(doc.FFileInfo.empty() ? "]" : "\n  ]");
    w.raw(",\n  \"selected\": ");
    w.raw(doc.selected() ? std::to_string(doc.tree().indexOf(doc.selected())) : "null");
    w.raw(",\n  \"sections\": [");
    bool first = true;
    doc.tree().forEach([&](Section& s, int depth) {
        w.raw(first ? "\n    {\n      \"depth\": " : ",\n    {\n      \"depth\": ");
        first = false;
        w.raw(std::to_string(depth));
        w.raw(",\n      \"name\": ");
        w.notebookString(s.name());
        w.raw(",\n      \"text\": ");
        w.notebookString(s.text());
        w.raw("\n    }");
        return true;
    });
    w.raw(first ? "]" : "\n  ]");
    w.raw(",\n  \"warnings\": [");
    for (std::size_t i = 0; i < nb.ui.errors.size(); ++i) {
        w.raw(i ? ",\n    " : "\n    ");
        w.utf8String(nb.ui.errors[i]);
    }
    w.raw(nb.ui.errors.empty() ? "]" : "\n  ]");
    w.raw(",\n  \"error\": ");
    if (nb.error) w.utf8String(*nb.error);
    else w.raw("null");
    w.raw("\n}\n");
}

namespace {

// Code point of the UTF-8 sequence at s[i] (already valid: it came out of the JSON parser).
char32_t nextCodePoint(const std::string& s, std::size_t& i) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    int extra = b0 < 0x80 ? 0 : b0 < 0xE0 ? 1 : b0 < 0xF0 ? 2 : 3;
    char32_t cp = extra == 0 ? b0 : extra == 1 ? (b0 & 0x1F) : extra == 2 ? (b0 & 0x0F) : (b0 & 0x07);
    ++i;
    for (; extra > 0 && i < s.size(); --extra, ++i) cp = (cp << 6) | (static_cast<unsigned char>(s[i]) & 0x3F);
    return cp;
}

std::string codePointName(char32_t cp) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "U+%04X", static_cast<unsigned>(cp));
    return buf;
}

// Converts to Windows-1251; refuses characters the code page lacks and NUL, which the
// format cannot carry (the reader cuts texts and outlines at it).
bool toNotebookBytes(const std::string& utf8, const std::string& what, std::string& out, std::string& why) {
    out.clear();
    out.reserve(utf8.size());
    std::size_t i = 0;
    while (i < utf8.size()) {
        const char32_t cp = nextCodePoint(utf8, i);
        if (cp == 0) {
            why = what + " holds a NUL character, which a notebook cannot store";
            return false;
        }
        const auto b = cp1251::fromUnicode(cp);
        if (!b) {
            why = what + " holds the character " + codePointName(cp) + ", which Windows-1251 cannot represent";
            return false;
        }
        out.push_back(static_cast<char>(*b));
    }
    return true;
}

bool getString(const json& obj, const char* key, bool required, std::string& value, const std::string& what,
               std::string& why) {
    const auto it = obj.find(key);
    if (it == obj.end()) {
        if (!required) return true;
        why = what + " has no \"" + key + "\"";
        return false;
    }
    if (!it->is_string()) {
        why = what + ": \"" + key + "\" must be a string";
        return false;
    }
    value = it->get<std::string>();
    return true;
}

}  // namespace

std::optional<NotebookData> NotebookFromJson(const json& j, std::string& why) {
    if (!j.is_object()) {
        why = "the JSON must be an object";
        return std::nullopt;
    }
    NotebookData data;

    if (const auto it = j.find("info"); it != j.end() && !it->is_null()) {
        if (!it->is_array()) {
            why = "\"info\" must be an array of strings";
            return std::nullopt;
        }
        for (std::size_t k = 0; k < it->size(); ++k) {
            const json& line = (*it)[k];
            const std::string what = "info line " + std::to_string(k);
            if (!line.is_string()) {
                why = what + " must be a string";
                return std::nullopt;
            }
            std::string bytes;
            if (!toNotebookBytes(line.get<std::string>(), what, bytes, why)) return std::nullopt;
            if (bytes.find_first_of("\r\n") != std::string::npos) {
                why = what + " holds a line break";
                return std::nullopt;
            }
            data.info.push_back(std::move(bytes));
        }
    }

    const auto secs = j.find("sections");
    if (secs == j.end() || !secs->is_array()) {
        why = "\"sections\" must be an array";
        return std::nullopt;
    }
    int previousDepth = -1;
    for (std::size_t k = 0; k < secs->size(); ++k) {
        const json& s = (*secs)[k];
        const std::string what = "section " + std::to_string(k);
        if (!s.is_object()) {
            why = what + " must be an object";
            return std::nullopt;
        }
        const auto d = s.find("depth");
        if (d == s.end() || !d->is_number_integer() || d->get<long long>() < 0) {
            why = what + ": \"depth\" must be a non-negative integer";
            return std::nullopt;
        }
        const long long depth = d->get<long long>();
        if (depth > previousDepth + 1) {
            why = k == 0 ? what + " has depth " + std::to_string(depth) + "; the first section must have depth 0"
                         : what + " has depth " + std::to_string(depth) +
                               ", more than one below the section before it (" + std::to_string(previousDepth) + ")";
            return std::nullopt;
        }
        previousDepth = static_cast<int>(depth);

        std::string name, text;
        if (!getString(s, "name", true, name, what, why) || !getString(s, "text", false, text, what, why))
            return std::nullopt;
        NotebookData::Entry entry;
        entry.depth = static_cast<int>(depth);
        if (!toNotebookBytes(name, what + " name", entry.name, why)) return std::nullopt;
        if (entry.name.find_first_of("\r\n") != std::string::npos) {
            why = what + " name holds a line break (CR or LF)";
            return std::nullopt;
        }
        if (!entry.name.empty() && entry.name.front() == '\t') {
            why = what + " name begins with a TAB";
            return std::nullopt;
        }
        if (!toNotebookBytes(text, what + " text", entry.text, why)) return std::nullopt;
        if (entry.text.size() > kMaxBlockLength) {
            why = what + " text is longer than 16,777,215 bytes";
            return std::nullopt;
        }
        data.sections.push_back(std::move(entry));
    }

    if (const auto it = j.find("selected"); it != j.end() && !it->is_null()) {
        if (!it->is_number_integer()) {
            why = "\"selected\" must be an integer or null";
            return std::nullopt;
        }
        const long long sel = it->get<long long>();
        if (sel < 0 || sel >= static_cast<long long>(data.sections.size())) {
            why = "\"selected\" is " + std::to_string(sel) + ", but there are " + std::to_string(data.sections.size()) +
                  " sections";
            return std::nullopt;
        }
        data.selected = static_cast<int>(sel);
    }
    return data;
}

}  // namespace lark::cli
