// replace.
//
//   lkp replace FILE FIND REPLACEMENT [--case] [--names] OUT
//       Replaces every match of FIND in the stored texts (and with --names in the section
//       names) as the window's "Заменить все" over the whole notebook does: matches left
//       to right, letter case ignored unless --case. FIND and REPLACEMENT are UTF-8; a
//       character Windows-1251 cannot hold is refused before anything is written. Prints
//       the number of matches replaced; writes the notebook to OUT (replaced atomically,
//       in the envelope when FILE had one). Links to renamed sections are left as they are.
//       After "--" every argument is a positional, even one that starts with a dash.
//
// Exit codes: 0 ok, 1 failed (format, I/O, envelope), 2 usage, 3 not a notebook.
#include <new>
#include <optional>
#include <ostream>
#include <string>
#include <utility>

#include "cli/commands.h"
#include "cli/lkp.h"
#include "cli/notebook_loader.h"
#include "document/cp1251.h"
#include "document/errors.h"
#include "document/format.h"
#include "editing/section_commands.h"
#include "editing/text_replace.h"

namespace lark::cli {

namespace {

constexpr const char* kReplaceUsage = "replace FILE FIND REPLACEMENT [--case] [--names] OUT";

int usageError(std::ostream& err, const std::string& message) {
    err << "lkp: " << message << "\nusage: lkp " << kReplaceUsage << "\n";
    return kUsage;
}

}  // namespace

int cmdReplace(const Args& args, std::ostream& out, std::ostream& err) {
    Args positional;
    TextReplaceOptions options;
    options.names = false;
    bool optionsDone = false;
    for (const auto& a : args) {
        if (optionsDone || a.size() < 2 || a[0] != '-') {
            positional.push_back(a);
        } else if (a == "--") {
            optionsDone = true;
        } else if (a == "--help" || a == "-h") {
            out << "usage: lkp " << kReplaceUsage << "\n";
            return kOk;
        } else if (a == "--case") {
            options.matchCase = true;
        } else if (a == "--names") {
            options.names = true;
        } else {
            return usageError(err, "unknown option '" + a + "'");
        }
    }
    if (positional.size() != 4)
        return usageError(err, positional.size() < 4 ? "missing arguments" : "too many arguments");
    const std::string& path = positional[0];
    const std::string& target = positional[3];
    for (const std::size_t i : {1, 2}) {
        if (const std::optional<std::string> c = CharOutsideCp1251(positional[i]))
            return usageError(err, (i == 1 ? "FIND" : "REPLACEMENT") +
                                       std::string(" has a character Windows-1251 cannot hold: ") + *c);
    }
    const std::string find = *cp1251::fromUtf8(positional[1]);
    const std::string replacement = *cp1251::fromUtf8(positional[2]);
    return WithNotebook(path, out, err, [&](LoadedNotebook& nb, std::string& subject) {
        Document& doc = nb.doc;
        SectionHistory history;
        const std::optional<std::size_t> count =
            ReplaceInNotebook(doc, history, find, replacement, options, {}, [&](Section* section, std::string name) {
                CommitRename(doc, section, std::move(name));
                return std::vector<TextChange>{};
            });
        history.clear();
        doc.StoreActiveSection();
        const TextBuffer content = OutputBytes(nb, WriteDocument(doc.tree(), doc.FFileInfo));
        subject = target;
        WriteOutput(err, target, content.view());
        out << count.value_or(0) << "\n";
        return kOk;
    });
}

}  // namespace lark::cli
