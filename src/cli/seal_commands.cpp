// seal, unseal: a notebook file put under a password, or taken out from under it.
#include <new>
#include <ostream>

#include "cli/commands.h"
#include "cli/lkp.h"
#include "cli/notebook_loader.h"
#include "cli/password_source.h"
#include "document/errors.h"
#include "document/file_access.h"
#include "document/sealed_envelope.h"

namespace lark::cli {

namespace {

// IN and OUT, or an exit code (help, usage error).
std::optional<int> inAndOut(const Args& args, const char* usage, std::ostream& out, std::ostream& err) {
    for (const auto& a : args) {
        if (a == "--help" || a == "-h") {
            out << "usage: lkp " << usage << "\n";
            return kOk;
        }
    }
    if (args.size() != 2) {
        err << "lkp: " << (args.size() < 2 ? "missing" : "too many") << " arguments\nusage: lkp " << usage << "\n";
        return kUsage;
    }
    if (!CurrentPasswordSource() || !CurrentPasswordSource()->given()) {
        err << "lkp: a password is needed: --password-file F\nusage: lkp " << usage << "\n";
        return kUsage;
    }
    return std::nullopt;
}

// Reads IN, turns it into the bytes of OUT and writes them; the core's errors end it with 1.
template <class Turn>
int convert(const std::string& in, const std::string& target, std::ostream& err, Turn turn) {
    std::string subject = in;
    try {
        const TextBuffer bytes = ReadFileUnlocked(in);
        const TextBuffer result = turn(bytes);
        subject = target;
        WriteOutput(err, target, result.view());
        return kOk;
    } catch (const LarkError& e) {
        err << "lkp: " << subject << ": " << e.what() << "\n";
    } catch (const std::bad_alloc&) {
        err << "lkp: " << subject << ": Out of memory\n";
    }
    return kFailed;
}

}  // namespace

int cmdSeal(const Args& args, std::ostream& out, std::ostream& err) {
    if (auto code = inAndOut(args, "seal IN OUT --password-file F", out, err)) return *code;
    return convert(args[0], args[1], err, [](const TextBuffer& bytes) {
        if (IsSealed(bytes.view())) throw LarkError("already sealed");
        const auto key = CurrentPasswordSource()->keyFor(FreshSealParams());
        return SealBytes(bytes.view(), *key);
    });
}

int cmdUnseal(const Args& args, std::ostream& out, std::ostream& err) {
    if (auto code = inAndOut(args, "unseal IN OUT --password-file F", out, err)) return *code;
    return convert(args[0], args[1], err, [](const TextBuffer& bytes) {
        if (!IsSealed(bytes.view())) throw LarkError("not sealed");
        const auto key = CurrentPasswordSource()->keyFor(ReadSealParams(bytes.view()));
        return UnsealBytes(bytes.view(), *key);
    });
}

}  // namespace lark::cli
