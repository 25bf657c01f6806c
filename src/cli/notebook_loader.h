#pragma once
// How lkp reads a notebook: the whole file without taking a lock (the window may hold it),
// then the program's own load steps into an in-memory document. The input is never
// modified.
#include <memory>
#include <new>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "cli/lkp.h"
#include "document/document.h"
#include "document/errors.h"
#include "document/memory_view.h"
#include "document/seal_key.h"
#include "document/text_buffer.h"

namespace lark::cli {

struct LoadedNotebook {
    MemoryTreeView view;
    ProbeEditor editor;
    MemoryUi ui;  // ui.errors: the non-fatal messages, in order
    Document doc{view, editor, ui};
    bool enveloped = false;              // the content started with the "ZIPPED!" envelope
    bool sealed = false;                 // the file is sealed with a password
    std::shared_ptr<const SealKey> key;  // its key, for writing it back sealed
    std::optional<std::string> error;    // the fatal format error, when the parse stopped

    bool plainText() const { return editor.shownAsPlainText; }
};

// Reads and parses `path`. A fatal format error is kept in `error` (the sections read
// before it stay); I/O errors and a damaged envelope throw LarkError.
std::unique_ptr<LoadedNotebook> LoadNotebook(const std::string& path);

// The bytes of a notebook written from `source`: in the envelope when it had one, and
// sealed under its key when it was sealed, so a command never writes a sealed notebook's
// text in the clear.
TextBuffer OutputBytes(const LoadedNotebook& source, TextBuffer content);

// Runs `body` (which returns an exit code); the core's errors end it with
// "lkp: SUBJECT: message" and 1. `subject` is read when an error is reported, so a body may
// point it at its own output once it gets there.
template <class Body>
int Guarded(std::ostream& err, const std::string& subject, Body body) {
    try {
        return body();
    } catch (const LarkError& e) {
        err << "lkp: " << subject << ": " << e.what() << "\n";
    } catch (const std::bad_alloc&) {
        err << "lkp: " << subject << ": Out of memory\n";
    }
    return kFailed;
}

// Loads `path` and runs `body(notebook, subject)`, which returns an exit code, under
// Guarded with the file as the subject. A format error and a file that is not a notebook
// end it with their exit codes. What was printed is flushed and checked.
template <class Body>
int WithNotebook(const std::string& path, std::ostream& out, std::ostream& err, Body body) {
    std::string subject = path;
    const int code = Guarded(err, subject, [&]() -> int {
        const auto nb = LoadNotebook(path);
        if (nb->error) {
            err << "lkp: " << path << ": " << *nb->error << "\n";
            return kFailed;
        }
        if (nb->plainText()) {
            err << "lkp: " << path << ": not a notebook\n";
            return kNotNotebook;
        }
        return body(*nb, subject);
    });
    if (code != kOk) return code;
    out.flush();
    if (!out) {
        err << "lkp: cannot write the output\n";
        return kFailed;
    }
    return kOk;
}

// Replaces `path` with `data` (a temporary file renamed over it). The output is written
// once the rename is done; a failure to flush the folder after it is a warning on `err`.
void WriteOutput(std::ostream& err, const std::string& path, std::string_view data);

}  // namespace lark::cli
