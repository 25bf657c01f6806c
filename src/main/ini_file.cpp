#include "main/ini_file.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>

#include "document/document.h"
#include "document/file_replace.h"

namespace lark {
namespace {

constexpr std::string_view kBlanks = " \t";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

std::string_view trim(std::string_view s) {
    const auto first = s.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    const auto last = s.find_last_not_of(kBlanks);
    return s.substr(first, last - first + 1);
}

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

}  // namespace

IniFile::Line IniFile::classify(std::string raw) {
    Line line;
    std::string_view body = raw;
    if (body.substr(0, kUtf8Bom.size()) == kUtf8Bom) body.remove_prefix(kUtf8Bom.size());
    body = trim(body);
    if (!body.empty() && body.front() == '[') {
        const auto close = body.find(']');
        if (close != std::string_view::npos) {
            line.kind = Line::Header;
            line.section = std::string(trim(body.substr(1, close - 1)));
        }
    } else if (!body.empty() && body.front() != ';' && body.front() != '#') {
        const auto eq = body.find('=');
        if (eq != std::string_view::npos && !trim(body.substr(0, eq)).empty()) {
            line.kind = Line::Key;
            line.key = std::string(trim(body.substr(0, eq)));
        }
    }
    line.raw = std::move(raw);
    return line;
}

IniFile IniFile::parse(std::string_view text) {
    IniFile ini;
    bool first = true;
    while (!text.empty()) {
        const auto nl = text.find('\n');
        std::string_view piece = text.substr(0, nl);
        text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
        const bool crlf = !piece.empty() && piece.back() == '\r';
        if (crlf) piece.remove_suffix(1);
        if (first && nl != std::string_view::npos) ini.eol_ = crlf ? "\r\n" : "\n";
        first = false;
        ini.lines_.push_back(classify(std::string(piece)));
    }
    return ini;
}

IniFile IniFile::load(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    std::ostringstream content;
    content << in.rdbuf();
    if (in.bad()) return {};
    return parse(content.str());
}

std::string IniFile::text() const {
    std::string out;
    for (const Line& line : lines_) {
        out += line.raw;
        out += eol_;
    }
    return out;
}

void IniFile::save(const std::string& path) const { ReplaceFileContents(path, text()); }

bool IniFile::hasSection(std::string_view section) const {
    return std::ranges::any_of(
        lines_, [&](const Line& line) { return line.kind == Line::Header && sameName(line.section, section); });
}

int IniFile::findKey(std::string_view section, std::string_view key) const {
    bool inside = false;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const Line& line = lines_[i];
        if (line.kind == Line::Header) inside = sameName(line.section, section);
        else if (inside && line.kind == Line::Key && sameName(line.key, key)) return static_cast<int>(i);
    }
    return -1;
}

std::optional<std::string> IniFile::value(std::string_view section, std::string_view key) const {
    const int i = findKey(section, key);
    if (i < 0) return std::nullopt;
    const std::string& raw = lines_[static_cast<std::size_t>(i)].raw;
    return std::string(trim(std::string_view(raw).substr(raw.find('=') + 1)));
}

void IniFile::setValue(std::string_view section, std::string_view key, std::string_view value) {
    if (const int i = findKey(section, key); i >= 0) {
        std::string& raw = lines_[static_cast<std::size_t>(i)].raw;
        raw = raw.substr(0, raw.find('=') + 1) + std::string(value);
        return;
    }
    // Insert after the section's last key line, or right after its header.
    std::size_t insertAt = lines_.size();
    bool found = false, inside = false;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const Line& line = lines_[i];
        if (line.kind == Line::Header) {
            if (found && inside) break;
            inside = sameName(line.section, section);
            if (inside && !found) {
                found = true;
                insertAt = i + 1;
            }
        } else if (inside && line.kind == Line::Key) {
            insertAt = i + 1;
        }
    }
    if (!found) {
        if (!lines_.empty() && !trim(lines_.back().raw).empty()) lines_.push_back(classify(""));
        lines_.push_back(classify("[" + std::string(section) + "]"));
        insertAt = lines_.size();
    }
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insertAt),
                  classify(std::string(key) + "=" + std::string(value)));
}

int IniFile::readInteger(std::string_view section, std::string_view key, int defaultValue) const {
    const auto text = value(section, key);
    int parsed = 0;
    if (!text || !ParseInteger(*text, parsed)) return defaultValue;
    return parsed;
}

bool IniFile::readBool(std::string_view section, std::string_view key, bool defaultValue) const {
    return readInteger(section, key, defaultValue ? 1 : 0) != 0;
}

void IniFile::writeInteger(std::string_view section, std::string_view key, int value) {
    setValue(section, key, std::to_string(value));
}

void IniFile::writeBool(std::string_view section, std::string_view key, bool value) {
    setValue(section, key, value ? "1" : "0");
}

}  // namespace lark
