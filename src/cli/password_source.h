#pragma once
// Where lkp takes the password of sealed notebooks: "--password-file F" anywhere on the
// command line (before a "--"), F's first line, or with F "-" a line of standard input,
// read without echo when it is a terminal. It is read once, when a sealed file first needs
// it, and kept only in locked memory until the command ends.
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "document/seal_key.h"

namespace lark::cli {

class PasswordSource {
public:
    // Takes "--password-file F" out of `args`; false (with a message on `err`) when F is missing.
    bool take(std::vector<std::string>& args, std::ostream& err);
    bool given() const { return file_.has_value(); }
    // The key for a sealed file with `params`. Throws LarkError(NeedsPassword) when no
    // password was given, LarkError(System) when it cannot be read.
    std::shared_ptr<const SealKey> keyFor(const SealParams& params);

private:
    std::optional<std::string> file_;
    std::shared_ptr<std::string> password_;  // wiped when dropped
};

// The source of the command running now (one per lkp run); null outside a run.
PasswordSource* CurrentPasswordSource();

class PasswordScope {
public:
    explicit PasswordScope(PasswordSource& source);
    ~PasswordScope();
    PasswordScope(const PasswordScope&) = delete;
    PasswordScope& operator=(const PasswordScope&) = delete;

private:
    PasswordSource* previous_;
};

}  // namespace lark::cli
