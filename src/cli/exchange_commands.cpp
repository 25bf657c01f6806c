// export, import.
//
//   lkp export FILE DIR        the notebook as a folder of UTF-8 text files
//   lkp export FILE OUT.html   the notebook as one HTML page (OUT ends in .html or .htm)
//   lkp import DIR OUT [--zip] a folder of text files (an export or any other) as a
//                              notebook, compressed with --zip
//
// Exit codes: 0 ok, 1 failed (I/O, format, text Windows-1251 cannot hold: nothing is
// written then), 2 usage, 3 FILE is not a notebook.
#include <new>
#include <ostream>
#include <string>

#include "cli/commands.h"
#include "cli/lkp.h"
#include "cli/notebook_loader.h"
#include "document/envelope.h"
#include "document/errors.h"
#include "document/file_replace.h"
#include "document/format.h"
#include "document/snapshot.h"
#include "files/html_export.h"
#include "files/notebook_export.h"
#include "files/notebook_import.h"

namespace lark::cli {

namespace {

constexpr const char* kExportUsage = "export FILE DIR | export FILE OUT.html";
constexpr const char* kImportUsage = "import DIR OUT [--zip]";

// Positionals and flags; an exit code when the command stops here (help, usage error).
std::optional<int> splitArgs(const Args& args, const char* usage, bool zipAllowed, Args& positional, bool& zip,
                             std::ostream& out, std::ostream& err) {
    bool flagsDone = false;
    for (const auto& a : args) {
        if (!flagsDone && a == "--") {
            flagsDone = true;
        } else if (!flagsDone && (a == "--help" || a == "-h")) {
            out << "usage: lkp " << usage << "\n";
            return kOk;
        } else if (!flagsDone && zipAllowed && a == "--zip") {
            zip = true;
        } else if (!flagsDone && a.size() > 1 && a[0] == '-') {
            err << "lkp: unknown option '" << a << "'\nusage: lkp " << usage << "\n";
            return kUsage;
        } else {
            positional.push_back(a);
        }
    }
    if (positional.size() != 2) {
        err << "lkp: " << (positional.size() < 2 ? "missing" : "too many") << " arguments\nusage: lkp " << usage
            << "\n";
        return kUsage;
    }
    return std::nullopt;
}

bool isHtmlTarget(const std::string& path) {
    std::string lower;
    for (char c : path.substr(path.size() > 5 ? path.size() - 5 : 0)) lower += static_cast<char>(std::tolower(c));
    return lower.ends_with(".html") || lower.ends_with(".htm");
}

std::string baseName(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

int cmdExport(const Args& args, std::ostream& out, std::ostream& err) {
    Args positional;
    bool zip = false;
    if (auto code = splitArgs(args, kExportUsage, false, positional, zip, out, err)) return *code;
    const std::string& path = positional[0];
    const std::string& target = positional[1];
    std::unique_ptr<NotebookSnapshot> notebook;
    std::optional<int> selected;
    if (int code = Guarded(err, path, [&] {
            const auto nb = LoadNotebook(path);
            if (nb->error) throw LarkError(*nb->error);
            if (nb->plainText()) {
                err << "lkp: " << path << ": not a notebook\n";
                return static_cast<int>(kNotNotebook);
            }
            notebook = TakeSnapshot(nb->doc);
            notebook->info = nb->doc.FFileInfo;  // as the file holds them, not as a save would
            if (const Section* s = nb->doc.selected()) selected = nb->doc.tree().indexOf(s);
            return static_cast<int>(kOk);
        }))
        return code;
    return Guarded(err, target, [&] {
        if (isHtmlTarget(target)) WriteOutput(err, target, files::NotebookHtml(*notebook, baseName(path)));
        else files::ExportFolder(*notebook, selected, target);
        return kOk;
    });
}

int cmdImport(const Args& args, std::ostream& out, std::ostream& err) {
    Args positional;
    bool zip = false;
    if (auto code = splitArgs(args, kImportUsage, true, positional, zip, out, err)) return *code;
    const std::string& dir = positional[0];
    const std::string& target = positional[1];
    files::ImportedNotebook imported;
    TextBuffer content;
    if (int code = Guarded(err, dir, [&] {
            imported = files::ImportFolder(dir);
            content = WriteDocument(imported.notebook);
            return kOk;
        }))
        return code;
    for (const std::string& skipped : imported.skipped)
        err << "lkp: " << dir << ": left out " << skipped << " (not a .txt or .md file)\n";
    for (const std::string& link : imported.links)
        err << "lkp: " << dir << ": left out " << link << " (a symbolic link, not followed)\n";
    return Guarded(err, target, [&] {
        if (zip) content = ZipBuffer(content.view());
        WriteOutput(err, target, content.view());
        return kOk;
    });
}

}  // namespace lark::cli
