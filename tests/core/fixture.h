#pragma once
// Shared helpers for the core tests: a document wired to the in-memory view, editor and
// UI; a scratch directory; byte builders for notebook files; a compact description of a
// tree that two notebooks can be compared by.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "document/document.h"
#include "document/errors.h"
#include "document/file_access.h"
#include "document/file_replace.h"
#include "document/memory_view.h"
#include "document/section_tree.h"

// Lets a parameterised test print its row by label.
#define CORETEST_PRINTS_LABEL(Row) \
    [[maybe_unused]] void PrintTo(const Row& row, std::ostream* os) { *os << row.label; }

namespace coretest {

// A fresh directory, removed with everything in it at the end of the test.
class ScratchDir {
public:
    ScratchDir() {
        std::string pattern = ::testing::TempDir() + "larkcore.XXXXXX";
        if (!::mkdtemp(pattern.data())) ADD_FAILURE() << "mkdtemp failed";
        path_ = pattern;
    }
    ~ScratchDir() { removeTree(path_); }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::string& path() const { return path_; }
    std::string file(std::string_view name) const { return path_ + "/" + std::string(name); }
    // Names of the directory's entries (without "." and "..").
    std::vector<std::string> entries() const {
        std::vector<std::string> names;
        if (DIR* d = ::opendir(path_.c_str())) {
            while (dirent* e = ::readdir(d)) {
                const std::string n = e->d_name;
                if (n != "." && n != "..") names.push_back(n);
            }
            ::closedir(d);
        }
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    static void removeTree(const std::string& path) {
        ::chmod(path.c_str(), 0700);
        if (DIR* d = ::opendir(path.c_str())) {
            while (dirent* e = ::readdir(d)) {
                const std::string n = e->d_name;
                if (n == "." || n == "..") continue;
                const std::string child = path + "/" + n;
                struct stat st {};
                if (::lstat(child.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) removeTree(child);
                else ::unlink(child.c_str());
            }
            ::closedir(d);
        }
        ::rmdir(path.c_str());
    }
    std::string path_;
};

// The whole file in one read (a character at a time costs seconds on large files in the
// sanitizer builds).
inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) return {};
    std::string out(static_cast<std::size_t>(in.tellg()), '\0');
    in.seekg(0);
    in.read(out.data(), static_cast<std::streamsize>(out.size()));
    out.resize(static_cast<std::size_t>(in.gcount()));
    return out;
}

inline void writeFile(const std::string& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string le32(std::uint32_t v) {
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i) s[static_cast<std::size_t>(i)] = static_cast<char>(v >> (8 * i));
    return s;
}

// One length-prefixed block.
inline std::string block(std::string_view data) {
    return le32(static_cast<std::uint32_t>(data.size())) + std::string(data);
}

// "LKP", version 1, the info block, the outline block and one block per text.
inline std::string notebook(std::string_view info, std::string_view outline, const std::vector<std::string>& texts) {
    std::string out("LKP\x01", 4);
    out += block(info);
    out += block(outline);
    for (const auto& t : texts) out += block(t);
    return out;
}

// The documented 62-byte sample: Notes (Hi) > Todo (empty), Misc (x CR LF y), Todo selected.
inline std::string sampleBytes() {
    return std::string(
        "LKP\x01\x0c\x00\x00\x00"
        "Activate=1\r\n"
        "\x14\x00\x00\x00"
        "Notes\r\n\tTodo\r\nMisc\r\n"
        "\x02\x00\x00\x00"
        "Hi"
        "\x00\x00\x00\x00"
        "\x04\x00\x00\x00"
        "x\r\ny",
        62);
}

// The tree in pre-order, one "<dots for depth><name>=<text>" entry per section, joined by "|".
inline std::string describe(const lark::SectionTree& tree) {
    std::string out;
    tree.forEach([&](lark::Section& s, int depth) {
        if (!out.empty()) out += '|';
        out.append(static_cast<std::size_t>(depth), '.');
        out += s.name();
        out += '=';
        out += s.text();
        return true;
    });
    return out;
}

inline lark::Section* addSection(lark::SectionTree& tree, lark::Section* parent, std::string_view name,
                                 std::string_view text = {}) {
    auto content = std::make_unique<lark::TNodeContent>();
    if (!text.empty()) content->Text = lark::TextBuffer::copyOf(text);
    return tree.appendChild(parent, name, std::move(content));
}

// A document on the in-memory view, editor and UI.
struct Desk {
    lark::MemoryTreeView view;
    lark::MemoryEditor editor;
    lark::MemoryUi ui;
    lark::Document doc{view, editor, ui};

    lark::Section* add(lark::Section* parent, std::string_view name, std::string_view text = {}) {
        return addSection(doc.tree(), parent, name, text);
    }
    // The sample notebook built in memory (Todo not selected).
    void buildSample() {
        lark::Section* notes = add(nullptr, "Notes", "Hi");
        add(notes, "Todo");
        add(nullptr, "Misc", "x\r\ny");
    }
    std::string lastError() const { return ui.errors.empty() ? std::string() : ui.errors.back(); }
};

// True when another opener could not take a write lock on the file now, that is when
// somebody holds it.
inline bool heldBySomeone(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct flock fl {};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    const bool held = ::fcntl(fd, F_OFD_GETLK, &fl) == 0 && fl.l_type != F_UNLCK;
    ::close(fd);
    return held;
}

// A test name made of a row's label ("nominal: a thing" -> "nominal_a_thing").
inline std::string rowName(std::string_view label) {
    std::string out;
    for (char c : label) {
        const bool alnum = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (alnum) out += c;
        else if (!out.empty() && out.back() != '_') out += '_';
    }
    while (!out.empty() && out.back() == '_') out.pop_back();
    return out;
}
// Name generator for parameterised suites whose rows have a `label`.
struct ByLabel {
    template <class P>
    std::string operator()(const ::testing::TestParamInfo<P>& rowInfo) const {
        return rowName(rowInfo.param.label) + "_" + std::to_string(rowInfo.index);
    }
};

// The message a refused second opening carries.
inline std::string cannotOpen(const std::string& path, const std::string& why) {
    return "Cannot open file \"" + path + "\". " + why;
}
inline std::string cannotCreate(const std::string& path, const std::string& why) {
    return "Cannot create file \"" + path + "\". " + why;
}

}  // namespace coretest
