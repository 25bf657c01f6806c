#include "cli/password_source.h"

#include <sodium.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <iostream>

#include "document/errors.h"
#include "document/file_access.h"

namespace lark::cli {

namespace {

PasswordSource* current = nullptr;

// A string that is wiped before its memory goes back.
std::shared_ptr<std::string> wipedString() {
    return std::shared_ptr<std::string>(new std::string(), [](std::string* s) {
        sodium_memzero(s->data(), s->size());
        delete s;
    });
}

void dropLineEnd(std::string& line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
}

// One line of standard input; the terminal does not echo it.
void readStandardInput(std::string& line) {
    const bool terminal = ::isatty(STDIN_FILENO) != 0;
    termios saved{};
    if (terminal && ::tcgetattr(STDIN_FILENO, &saved) == 0) {
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        std::cerr << "Password: " << std::flush;
        (void)::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
        std::getline(std::cin, line);
        (void)::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
        std::cerr << "\n";
    } else {
        std::getline(std::cin, line);
    }
}

}  // namespace

bool PasswordSource::take(std::vector<std::string>& args, std::ostream& err) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--") break;
        if (args[i] != "--password-file") continue;
        if (i + 1 >= args.size()) {
            err << "lkp: --password-file needs a file name (or - for standard input)\n";
            return false;
        }
        file_ = args[i + 1];
        args.erase(args.begin() + static_cast<std::ptrdiff_t>(i), args.begin() + static_cast<std::ptrdiff_t>(i) + 2);
        --i;
    }
    return true;
}

std::shared_ptr<const SealKey> PasswordSource::keyFor(const SealParams& params) {
    if (!file_)
        throw LarkError("the notebook is sealed with a password; give it with --password-file F",
                        ErrorKind::NeedsPassword);
    if (!password_) {
        auto line = wipedString();
        if (*file_ == "-") {
            readStandardInput(*line);
        } else {
            const TextBuffer bytes = ReadFileUnlocked(*file_);
            const std::string_view text = bytes.view();
            line->assign(text.substr(0, text.find('\n')));
            sodium_memzero(const_cast<char*>(bytes.data()), bytes.size());
        }
        dropLineEnd(*line);
        password_ = std::move(line);
    }
    return SealKey::derive(*password_, params);
}

PasswordSource* CurrentPasswordSource() { return current; }

PasswordScope::PasswordScope(PasswordSource& source) : previous_(current) { current = &source; }
PasswordScope::~PasswordScope() { current = previous_; }

}  // namespace lark::cli
