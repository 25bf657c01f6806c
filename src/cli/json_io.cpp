#include "cli/json_io.h"

#include <cstdio>

#include "cli/notebook_loader.h"
#include "document/cp1251.h"
#include "document/format.h"

namespace lark::cli {

using nlohmann::json;
using nlohmann::ordered_json;

ordered_json NotebookToJson(const LoadedNotebook& nb) {
    const Document& doc = nb.doc;
    ordered_json j = ordered_json::object();
    j["envelope"] = nb.enveloped ? "zipped" : "none";
    j["kind"] = nb.plainText() ? "plain-text" : "notebook";
    ordered_json info = ordered_json::array();
    for (const auto& line : doc.FFileInfo) info.push_back(cp1251::toUtf8(line));
    j["info"] = std::move(info);
    if (const Section* sel = doc.selected()) j["selected"] = doc.tree().indexOf(sel);
    else j["selected"] = nullptr;
    ordered_json sections = ordered_json::array();
    doc.tree().forEach([&](Section& s, int depth) {
        ordered_json entry = ordered_json::object();
        entry["depth"] = depth;
        entry["name"] = cp1251::toUtf8(s.name());
        entry["text"] = cp1251::toUtf8(s.text());
        sections.push_back(std::move(entry));
        return true;
    });
    j["sections"] = std::move(sections);
    ordered_json warnings = ordered_json::array();
    for (const auto& w : nb.ui.errors) warnings.push_back(w);
    j["warnings"] = std::move(warnings);
    if (nb.error) j["error"] = *nb.error;
    else j["error"] = nullptr;
    return j;
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

std::optional<NotebookSpec> NotebookFromJson(const json& j, std::string& why) {
    if (!j.is_object()) {
        why = "the JSON must be an object";
        return std::nullopt;
    }
    NotebookSpec spec;

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
            spec.info.push_back(std::move(bytes));
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
                         : what + " has depth " + std::to_string(depth) + ", more than one below the section before it (" +
                               std::to_string(previousDepth) + ")";
            return std::nullopt;
        }
        previousDepth = static_cast<int>(depth);

        std::string name, text;
        if (!getString(s, "name", true, name, what, why) || !getString(s, "text", false, text, what, why))
            return std::nullopt;
        NotebookSpec::Entry entry;
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
        spec.sections.push_back(std::move(entry));
    }

    if (const auto it = j.find("selected"); it != j.end() && !it->is_null()) {
        if (!it->is_number_integer()) {
            why = "\"selected\" must be an integer or null";
            return std::nullopt;
        }
        const long long sel = it->get<long long>();
        if (sel < 0 || sel >= static_cast<long long>(spec.sections.size())) {
            why = "\"selected\" is " + std::to_string(sel) + ", but there are " + std::to_string(spec.sections.size()) +
                  " sections";
            return std::nullopt;
        }
        spec.selected = static_cast<int>(sel);
    }
    return spec;
}

}  // namespace lark::cli
