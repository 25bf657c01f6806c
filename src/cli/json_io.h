#pragma once
// The JSON face of a notebook: what `lkp dump` prints and what `lkp build` reads.
// Strings are UTF-8 in JSON and Windows-1251 in the notebook.
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace lark::cli {

struct LoadedNotebook;

// Prints {"envelope", "kind", "info", "selected", "sections", "warnings", "error"}, in this
// order, indented by two blanks, with a final newline. Streams section by section, so a
// large notebook is never held a second time as a JSON tree.
void WriteNotebookJson(const LoadedNotebook& nb, std::ostream& out);

// A notebook described in JSON, already checked and converted to Windows-1251.
struct NotebookData {
    struct Entry {
        int depth = 0;
        std::string name;
        std::string text;
    };
    std::vector<std::string> info;
    std::vector<Entry> sections;
    std::optional<int> selected;  // absolute index; none when null or absent
};

// Checks a parsed JSON value of the dump shape. On refusal returns nothing and sets
// `why` to a message naming the offending item.
std::optional<NotebookData> NotebookFromJson(const nlohmann::json& j, std::string& why);

}  // namespace lark::cli
