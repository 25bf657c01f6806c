#pragma once
// The personal word list: words the user added to the dictionary, kept in
// $XDG_DATA_HOME/larkpad/dictionary.txt (~/.local/share/... when the variable is unset) as
// UTF-8, one word a line. The file is written whole to a new file renamed over the old, so
// a crash leaves the old list or the new one; it is never opened through a symbolic link,
// and a FIFO or a device in its place neither blocks nor takes the words. Lines this
// program cannot use (not Windows-1251, not UTF-8) are kept as they are.
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace lark::spelling {

// Where the list is kept; empty when neither XDG_DATA_HOME nor HOME gives a place.
std::string PersonalWordsPath();

class PersonalWords {
public:
    explicit PersonalWords(std::string path) : path_(std::move(path)) {}

    // Reads the list. A missing file is an empty list. Throws LarkError when the file
    // cannot be read or is not a regular file; the list then stays empty and add() refuses
    // to write over what is there.
    void load();

    const std::string& path() const { return path_; }
    // The words, in Windows-1251, in the file's order.
    const std::vector<std::string>& words() const { return words_; }
    bool contains(std::string_view word) const { return known_.contains(std::string(word)); }

    // Adds `word` (Windows-1251) and writes the list; a word already there is not added
    // twice. Throws LarkError when the list cannot be written (the word is not added then).
    void add(std::string_view word);

private:
    void write(const std::string& bytes) const;

    std::string path_;
    std::vector<std::string> lines_;  // every line of the file as read (UTF-8 or not)
    std::vector<std::string> words_;
    std::unordered_set<std::string> known_;
    bool writable_ = true;
};

}  // namespace lark::spelling
