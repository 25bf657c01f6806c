// dump, build, cat, pack, unpack.
#include <climits>
#include <cstdint>
#include <iostream>
#include <istream>
#include <iterator>
#include <new>
#include <ostream>
#include <set>
#include <string_view>

#include <nlohmann/json.hpp>

#include "cli/commands.h"
#include "cli/json_io.h"
#include "cli/lkp.h"
#include "cli/notebook_loader.h"
#include "document/cp1251.h"
#include "document/envelope.h"
#include "document/errors.h"
#include "document/file_access.h"
#include "document/file_replace.h"
#include "document/format.h"

namespace lark::cli {

namespace {

struct CommandLine {
    std::vector<std::string> positional;
    std::set<std::string> flags;
};

// Splits the arguments into positionals and "--flags" ("--" ends the flags). Returns an
// exit code when the command should stop here (help, usage error), else nothing.
std::optional<int> parseCommandLine(const Args& args, std::size_t positionals,
                                    std::initializer_list<std::string_view> allowed, std::string_view usage,
                                    CommandLine& cl, std::ostream& out, std::ostream& err) {
    bool flagsDone = false;
    for (const auto& a : args) {
        if (!flagsDone && a == "--") {
            flagsDone = true;
        } else if (!flagsDone && a.size() > 1 && a[0] == '-' && !(a.size() > 1 && a[1] >= '0' && a[1] <= '9')) {
            if (a == "--help" || a == "-h") {
                out << "usage: lkp " << usage << "\n";
                return kOk;
            }
            bool known = false;
            for (auto f : allowed) known = known || a == f;
            if (!known) {
                err << "lkp: unknown option '" << a << "'\nusage: lkp " << usage << "\n";
                return kUsage;
            }
            cl.flags.insert(a);
        } else {
            cl.positional.push_back(a);
        }
    }
    if (cl.positional.size() != positionals) {
        err << "lkp: " << (cl.positional.size() < positionals ? "missing" : "too many") << " arguments\nusage: lkp "
            << usage << "\n";
        return kUsage;
    }
    return std::nullopt;
}

int failed(std::ostream& err, const std::string& subject, const std::string& message) {
    err << "lkp: " << subject << ": " << message << "\n";
    return kFailed;
}

// Writing to stdout can fail too (a closed pipe, a full disk).
int finishOutput(std::ostream& out, std::ostream& err, int code) {
    out.flush();
    if (!out) {
        err << "lkp: cannot write the output\n";
        return kFailed;
    }
    return code;
}

// Runs a command body, turning the core's errors into messages and exit code 1.
template <class Body>
int guarded(std::ostream& err, const std::string& subject, Body body) {
    try {
        return body();
    } catch (const LarkError& e) {
        return failed(err, subject, e.what());
    } catch (const std::bad_alloc&) {
        return failed(err, subject, "Out of memory");
    }
}

}  // namespace

int cmdDump(const Args& args, std::ostream& out, std::ostream& err) {
    CommandLine cl;
    if (auto code = parseCommandLine(args, 1, {}, "dump FILE", cl, out, err)) return *code;
    const std::string& path = cl.positional[0];
    return guarded(err, path, [&] {
        const auto nb = LoadNotebook(path);
        WriteNotebookJson(*nb, out);
        const int code = nb->error ? kFailed : nb->plainText() ? kNotNotebook : kOk;
        return finishOutput(out, err, code);
    });
}

int cmdBuild(const Args& args, std::ostream& out, std::ostream& err) {
    CommandLine cl;
    if (auto code =
            parseCommandLine(args, 2, {"--zip"}, "build JSON OUT [--zip]   (JSON may be - for stdin)", cl, out, err))
        return *code;
    const std::string& input = cl.positional[0];
    const std::string& target = cl.positional[1];

    // The JSON, checked and converted; the parsed tree is dropped as soon as it is read.
    std::optional<NotebookData> data;
    try {
        nlohmann::json j;
        try {
            if (input == "-") {
                j = nlohmann::json::parse(std::cin);
            } else {
                const TextBuffer text = ReadFileUnlocked(input);
                j = nlohmann::json::parse(text.view());
            }
        } catch (const nlohmann::json::exception& e) {
            err << "lkp: " << input << ": not valid JSON: " << e.what() << "\n";
            return kUsage;
        }
        std::string why;
        data = NotebookFromJson(j, why);
        if (!data) {
            err << "lkp: " << input << ": " << why << "\n";
            return kUsage;
        }
    } catch (const LarkError& e) {
        return failed(err, input, e.what());
    } catch (const std::bad_alloc&) {
        return failed(err, input, "Out of memory");
    }

    // Assemble the notebook in memory exactly as the program holds it, then save it the
    // program's way: refreshed "Activate" line, writer, optional envelope.
    MemoryTreeView view;
    MemoryEditor editor;
    MemoryUi ui;
    Document doc(view, editor, ui);
    TextBuffer content;
    try {
        doc.FFileInfo = data->info;
        std::vector<Section*> parents;  // parents[d]: the last section placed at depth d
        for (auto& e : data->sections) {
            auto record = std::make_unique<TNodeContent>();
            if (!e.text.empty()) record->Text = TextBuffer::copyOf(e.text);
            std::string().swap(e.text);  // one copy of each text at a time
            Section* parent = e.depth > 0 ? parents[static_cast<std::size_t>(e.depth - 1)] : nullptr;
            Section* s = doc.tree().appendChild(parent, e.name, std::move(record));
            parents.resize(static_cast<std::size_t>(e.depth) + 1);
            parents[static_cast<std::size_t>(e.depth)] = s;
        }
        if (data->selected) doc.setSelectedQuietly(doc.tree().at(*data->selected));
        data.reset();
        doc.StoreActiveSection();
        content = WriteDocument(doc.tree(), doc.FFileInfo);
    } catch (const LarkError& e) {  // the writer refuses what could not be read back
        err << "lkp: " << input << ": " << e.what() << "\n";
        return kUsage;
    } catch (const std::bad_alloc&) {
        return failed(err, input, "Out of memory");
    }
    doc.tree().clear();
    return guarded(err, target, [&] {
        if (cl.flags.contains("--zip")) content = ZipBuffer(content.view());
        WriteOutput(err, target, content.view());
        return kOk;
    });
}

int cmdCat(const Args& args, std::ostream& out, std::ostream& err) {
    CommandLine cl;
    if (auto code = parseCommandLine(args, 2, {"--raw"}, "cat FILE INDEX [--raw]", cl, out, err)) return *code;
    const std::string& path = cl.positional[0];
    const std::string& indexText = cl.positional[1];
    const bool digits = !indexText.empty() && indexText.find_first_not_of("0123456789") == std::string::npos;
    if (!digits) {
        err << "lkp: INDEX must be a section's absolute index (0, 1, 2, ...), not '" << indexText << "'\n";
        return kUsage;
    }
    // Too many digits for any notebook: simply out of range.
    const long long index = indexText.size() > 18 ? LLONG_MAX : std::stoll(indexText);
    return guarded(err, path, [&] {
        const auto nb = LoadNotebook(path);
        if (nb->error) return failed(err, path, *nb->error);
        if (nb->plainText()) {
            err << "lkp: " << path << ": not a notebook\n";
            return static_cast<int>(kNotNotebook);
        }
        const int count = nb->doc.tree().count();
        if (index < 0 || index >= count) {
            err << "lkp: " << path << ": no section " << indexText << " (the notebook has " << count << " sections)\n";
            return static_cast<int>(kUsage);
        }
        const std::string_view text = nb->doc.tree().at(static_cast<int>(index))->text();
        if (cl.flags.contains("--raw")) out.write(text.data(), static_cast<std::streamsize>(text.size()));
        else out << cp1251::toUtf8(text);
        return finishOutput(out, err, kOk);
    });
}

int cmdPack(const Args& args, std::ostream& out, std::ostream& err) {
    CommandLine cl;
    if (auto code = parseCommandLine(args, 2, {}, "pack IN OUT", cl, out, err)) return *code;
    const std::string& in = cl.positional[0];
    const std::string& target = cl.positional[1];
    TextBuffer bytes;
    if (int code = guarded(err, in, [&] {
            bytes = ReadFileUnlocked(in);
            return kOk;
        }))
        return code;
    // The envelope stores the length as a signed 32-bit number.
    if (bytes.size() > static_cast<std::size_t>(INT32_MAX)) {
        err << "lkp: " << in << ": too large for the envelope (at most 2,147,483,647 bytes)\n";
        return kUsage;
    }
    return guarded(err, target, [&] {
        const TextBuffer packed = ZipBuffer(bytes.view());
        WriteOutput(err, target, packed.view());
        return kOk;
    });
}

int cmdUnpack(const Args& args, std::ostream& out, std::ostream& err) {
    CommandLine cl;
    if (auto code = parseCommandLine(args, 2, {}, "unpack IN OUT", cl, out, err)) return *code;
    const std::string& in = cl.positional[0];
    const std::string& target = cl.positional[1];
    TextBuffer bytes;
    if (int code = guarded(err, in, [&] {
            bytes = ReadFileUnlocked(in);
            UnzipBuffer(bytes);
            return kOk;
        }))
        return code;
    return guarded(err, target, [&] {
        WriteOutput(err, target, bytes.view());
        return kOk;
    });
}

}  // namespace lark::cli
