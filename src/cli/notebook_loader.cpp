#include "cli/notebook_loader.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

#include "cli/password_source.h"
#include "document/envelope.h"
#include "document/errors.h"
#include "document/file_access.h"
#include "document/file_replace.h"
#include "document/load_bytes.h"
#include "document/sealed_envelope.h"
#include "document/unique_fd.h"

namespace lark::cli {

std::unique_ptr<LoadedNotebook> LoadNotebook(const std::string& path) {
    auto nb = std::make_unique<LoadedNotebook>();
    // Read in pieces, as the window reads its file: never the whole file and its
    // sections at once.
    const UniqueFd fd(OpenRegularFile(path, O_RDONLY));
    struct stat st {};
    if (fstat(fd.get(), &st) != 0) throw LarkError(systemErrorText(errno), ErrorKind::System, errno);
    try {
        // A sealed file opens with the password of the command line, under its own parameters.
        std::shared_ptr<const SealKey> key;
        char head[kSealHeaderSize];
        if (st.st_size >= static_cast<off_t>(kSealMarker.size())) {
            readExactly(fd.get(), head, kSealMarker.size(), 0);
            if (IsSealed(std::string_view(head, kSealMarker.size()))) {
                if (st.st_size < static_cast<off_t>(kSealHeaderSize))
                    throw LarkError(kSealBrokenText, ErrorKind::Sealed);
                readExactly(fd.get(), head, kSealHeaderSize, 0);
                PasswordSource none;
                PasswordSource* source = CurrentPasswordSource() ? CurrentPasswordSource() : &none;
                key = source->keyFor(ReadSealParams(std::string_view(head, kSealHeaderSize)));
            }
        }
        LoadFromFile(nb->doc, fd.get(), static_cast<std::int64_t>(st.st_size), true, path, &nb->enveloped, key,
                     &nb->sealed);
        if (nb->sealed) nb->key = std::move(key);
    } catch (const LarkError& e) {
        if (e.kind() != ErrorKind::Format) throw;
        nb->error = e.what();
    }
    return nb;
}

TextBuffer OutputBytes(const LoadedNotebook& source, TextBuffer content) {
    if (source.enveloped) content = ZipBuffer(content.view());
    if (source.sealed) {
        if (!source.key) throw LarkError(kSealBrokenText, ErrorKind::Sealed);
        content = SealBytes(content.view(), *source.key);
    }
    return content;
}

void WriteOutput(std::ostream& err, const std::string& path, std::string_view data) {
    const std::string warning = ReplaceFileContents(path, data);
    if (!warning.empty()) err << "lkp: " << path << ": warning: " << warning << "\n";
}

}  // namespace lark::cli
