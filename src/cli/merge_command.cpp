// merge: three versions of a notebook into one, for git's merge drivers and sync tools'
// conflict copies.
#include <sys/stat.h>

#include <new>
#include <ostream>

#include "cli/commands.h"
#include "cli/lkp.h"
#include "cli/notebook_loader.h"
#include "document/cp1251.h"
#include "document/errors.h"
#include "document/format.h"
#include "document/snapshot.h"
#include "merge/notebook_merge.h"

namespace lark::cli {

namespace {

constexpr const char* kMergeUsage = "merge BASE OURS THEIRS [-o OUT]";

// A notebook read for merging, or the exit code that stops the merge.
std::unique_ptr<LoadedNotebook> ReadSide(const std::string& path, std::ostream& err, int& code) {
    auto nb = LoadNotebook(path);
    if (nb->error) {
        err << "lkp: " << path << ": " << *nb->error << "\n";
        code = kFailed;
        return nullptr;
    }
    if (nb->plainText()) {
        err << "lkp: " << path << ": not a notebook\n";
        code = kNotNotebook;
        return nullptr;
    }
    return nb;
}

// An empty file, or /dev/null: no base. It is never opened.
bool NoBase(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && (S_ISREG(st.st_mode) || S_ISCHR(st.st_mode)) && st.st_size == 0;
}

}  // namespace

int cmdMerge(const Args& args, std::ostream& out, std::ostream& err) {
    Args rest;
    std::string output;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "-o" || args[i] == "--output") {
            if (i + 1 == args.size()) {
                err << "lkp: " << args[i] << " needs a file\nusage: lkp " << kMergeUsage << "\n";
                return kUsage;
            }
            output = args[++i];
        } else if (args[i] == "--help" || args[i] == "-h") {
            out << "usage: lkp " << kMergeUsage << "\n";
            return kOk;
        } else {
            rest.push_back(args[i]);
        }
    }
    if (rest.size() != 3) {
        err << "lkp: " << (rest.size() < 3 ? "missing" : "too many") << " arguments\nusage: lkp " << kMergeUsage
            << "\n";
        return kUsage;
    }
    const std::string& basePath = rest[0];
    const std::string& oursPath = rest[1];
    const std::string& theirsPath = rest[2];
    if (output.empty()) output = oursPath;

    std::string subject = oursPath;
    return Guarded(err, subject, [&]() -> int {
        int code = kOk;
        // git hands an empty file as the base of two files added on both sides.
        const bool noBase = NoBase(basePath);
        subject = basePath;
        const auto base = noBase ? nullptr : ReadSide(basePath, err, code);
        if (code != kOk) return code;
        subject = oursPath;
        const auto ours = ReadSide(oursPath, err, code);
        if (code != kOk) return code;
        subject = theirsPath;
        const auto theirs = ReadSide(theirsPath, err, code);
        if (code != kOk) return code;

        const auto oursSnap = TakeSnapshot(ours->doc);
        const auto theirsSnap = TakeSnapshot(theirs->doc);
        merge::MergeResult result = base ? merge::MergeNotebooks(*TakeSnapshot(base->doc), *oursSnap, *theirsSnap)
                                         : merge::MergeTwoWay(*oursSnap, *theirsSnap);
        for (const auto& c : result.conflicts) {
            out << "conflict: " << cp1251::toUtf8(c.path);
            if (c.kind == merge::MergeConflict::Kind::Text)
                out << ": their text is in \""
                    << cp1251::toUtf8(result.notebook.sections[static_cast<std::size_t>(c.copy)].name()) << "\"\n";
            else out << ": their name is \"" << cp1251::toUtf8(c.theirName) << "\"\n";
        }
        subject = output;
        const TextBuffer bytes = OutputBytes(*ours, WriteDocument(result.notebook));
        WriteOutput(err, output, bytes.view());
        out.flush();
        return result.conflicts.empty() ? kOk : kFailed;
    });
}

}  // namespace lark::cli
