#pragma once
// A small reader and writer for ini files ("[Section]" headers, "Key=Value" lines).
// The file stays readable and editable by hand: changing a value rewrites only that
// key's line, and every other line (unknown sections and keys, comments, blank lines)
// is kept as it was. Section and key names match without regard to ASCII letter case;
// the first of duplicate keys counts. No Qt here.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lark {

class IniFile {
public:
    IniFile() = default;

    // Parses ini text; never fails (lines that are neither a header nor a key are kept
    // as they are and otherwise ignored).
    static IniFile parse(std::string_view text);
    // Reads a file; a missing or unreadable file gives an empty ini.
    static IniFile load(const std::string& path);

    // The whole file as text, with the line ends the original text used.
    std::string text() const;
    // Replaces the file with text() in one step (temporary file and rename); throws
    // LarkError when the file cannot be written. The folder must exist.
    void save(const std::string& path) const;

    bool hasSection(std::string_view section) const;
    // The value with blanks around it removed; nullopt when the section or key is absent.
    std::optional<std::string> value(std::string_view section, std::string_view key) const;
    // Sets the key's value, adding the key (after the section's last key) and the
    // section (at the end of the file) when they are missing.
    void setValue(std::string_view section, std::string_view key, std::string_view value);

    // An integer: decimal, or hexadecimal with "$" or "0x"; the default when the key is
    // missing or its value is not such an integer.
    int readInteger(std::string_view section, std::string_view key, int defaultValue) const;
    // A boolean read as an integer: non-zero is true.
    bool readBool(std::string_view section, std::string_view key, bool defaultValue) const;
    void writeInteger(std::string_view section, std::string_view key, int value);
    // Written as "1" or "0".
    void writeBool(std::string_view section, std::string_view key, bool value);

private:
    struct Line {
        std::string raw;      // the line as it stands in the file, without its line end
        std::string section;  // for a header: the section name
        std::string key;      // for a key line: the key name
        enum Kind { Other, Header, Key } kind = Other;
    };
    static Line classify(std::string raw);
    // Index of the key's line, or -1.
    int findKey(std::string_view section, std::string_view key) const;

    std::vector<Line> lines_;
    std::string eol_ = "\n";
};

}  // namespace lark
