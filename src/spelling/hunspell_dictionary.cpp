#include "spelling/hunspell_dictionary.h"

#include <hunspell.hxx>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

#include "document/cp1251.h"
#include "document/errors.h"
#include "document/unique_fd.h"
#include "spelling/word_scan.h"

namespace lark::spelling {

namespace {

// NOLINTNEXTLINE(performance-no-int-to-ptr): iconv_open reports a failure so
const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

std::string upper(std::string_view s) {
    std::string out(s);
    std::ranges::transform(out, out.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return out;
}

// Runs `cd` over `in`; nothing when a character cannot be converted.
std::optional<std::string> convert(iconv_t cd, std::string_view in) {
    ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
    std::string out(in.size() * 4 + 8, '\0');
    char* src = const_cast<char*>(in.data());
    std::size_t srcLeft = in.size();
    char* dst = out.data();
    std::size_t dstLeft = out.size();
    if (::iconv(cd, &src, &srcLeft, &dst, &dstLeft) == static_cast<std::size_t>(-1)) return std::nullopt;
    if (::iconv(cd, nullptr, nullptr, &dst, &dstLeft) == static_cast<std::size_t>(-1)) return std::nullopt;
    out.resize(out.size() - dstLeft);
    return out;
}

// A regular file that can be read; opened without waiting, so a FIFO cannot block.
void checkReadable(const std::string& path) {
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat st {};
    if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0) {
        const int err = errno;
        throw LarkError(path + ": " + std::strerror(err), ErrorKind::System, err);
    }
    if (!S_ISREG(st.st_mode)) throw LarkError(path + ": not a regular file", ErrorKind::System);
}

constexpr unsigned kLatin = 1;
constexpr unsigned kCyrillic = 2;

unsigned scriptsOf(std::string_view cp1251Text) {
    unsigned scripts = 0;
    for (const char ch : cp1251Text) {
        const auto c = static_cast<unsigned char>(ch);
        if (!IsWordLetter(c)) continue;
        scripts |= c < 0x80 ? kLatin : kCyrillic;
    }
    return scripts;
}

// The TRY line of an .aff file, as it stands (the dictionary's encoding); empty for none.
std::string tryLine(const std::string& affPath) {
    const UniqueFd fd(::open(affPath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0) return {};
    std::string head(1u << 18, '\0');
    std::size_t got = 0;
    while (got < head.size()) {
        const ssize_t n = ::read(fd.get(), head.data() + got, head.size() - got);
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    head.resize(got);
    for (std::size_t from = 0; from < head.size();) {
        std::size_t end = head.find('\n', from);
        if (end == std::string::npos) end = head.size();
        const std::string_view line = std::string_view(head).substr(from, end - from);
        if (line.starts_with("TRY ") || line.starts_with("TRY\t")) return std::string(line.substr(4));
        from = end + 1;
    }
    return {};
}

}  // namespace

HunspellDictionary::HunspellDictionary(const DictionaryFile& file) : name_(file.name) {
    // Hunspell tells of a file it cannot read only on stderr: both are checked first.
    for (const std::string* path : {&file.affPath, &file.dicPath}) checkReadable(*path);
    hunspell_ = std::make_unique<Hunspell>(file.affPath.c_str(), file.dicPath.c_str());
    encoding_ = hunspell_->get_dict_encoding();
    const std::string enc = upper(encoding_);
    if (enc == "UTF-8" || enc == "UTF8") {
        kind_ = Kind::Utf8;
    } else if (enc.find("1251") != std::string::npos) {
        kind_ = Kind::Cp1251;
    } else {
        const iconv_t to = ::iconv_open(encoding_.c_str(), "UTF-8");
        const iconv_t from = ::iconv_open("UTF-8", encoding_.c_str());
        if (to == kNoConverter || from == kNoConverter) {
            const int err = errno;
            if (to != kNoConverter) ::iconv_close(to);
            if (from != kNoConverter) ::iconv_close(from);
            throw LarkError("The dictionary " + name_ + " is in an encoding this system cannot convert: " + encoding_,
                            ErrorKind::Encoding, err);
        }
        kind_ = Kind::Other;
        toDict_ = to;
        fromDict_ = from;
    }
    const std::string tried = tryLine(file.affPath);
    std::string tryText;
    if (kind_ == Kind::Cp1251) tryText = tried;
    else if (kind_ == Kind::Utf8) tryText = cp1251::fromUtf8Lossy(tried, ' ');
    else if (const auto utf8 = convert(fromDict_, tried)) tryText = cp1251::fromUtf8Lossy(*utf8, ' ');
    scripts_ = scriptsOf(tryText);
    for (const char c : tryText) {
        const auto u = static_cast<unsigned char>(c);
        if (IsWordLetter(u) && cp1251::toLower(u) == u && letters_.find(c) == std::string::npos) letters_ += c;
    }
}

HunspellDictionary::~HunspellDictionary() {
    if (kind_ != Kind::Other) return;
    ::iconv_close(toDict_);
    ::iconv_close(fromDict_);
}

std::optional<std::string> HunspellDictionary::toDictionary(std::string_view word) {
    switch (kind_) {
    case Kind::Cp1251: return std::string(word);
    case Kind::Utf8: return cp1251::toUtf8(word);
    case Kind::Other: return convert(toDict_, cp1251::toUtf8(word));
    }
    return std::nullopt;
}

std::optional<std::string> HunspellDictionary::fromDictionary(const std::string& word) {
    switch (kind_) {
    case Kind::Cp1251: return word;
    case Kind::Utf8: return cp1251::fromUtf8(word);
    case Kind::Other: {
        const std::optional<std::string> utf8 = convert(fromDict_, word);
        if (!utf8) return std::nullopt;
        return cp1251::fromUtf8(*utf8);
    }
    }
    return std::nullopt;
}

bool HunspellDictionary::fits(std::string_view word) const {
    return scripts_ == 0 || (scriptsOf(word) & ~scripts_) == 0;
}

bool HunspellDictionary::knows(std::string_view word) {
    if (!fits(word)) return false;
    const std::optional<std::string> w = toDictionary(word);
    return w && hunspell_->spell(*w);
}

std::vector<std::string> HunspellDictionary::suggest(std::string_view word) {
    std::vector<std::string> out;
    if (!fits(word)) return out;
    const std::optional<std::string> w = toDictionary(word);
    if (!w) return out;
    for (const std::string& s : hunspell_->suggest(*w)) {
        std::optional<std::string> held = fromDictionary(s);
        if (held && !held->empty()) out.push_back(std::move(*held));
    }
    return out;
}

void HunspellDictionary::add(std::string_view word) {
    if (const std::optional<std::string> w = toDictionary(word)) hunspell_->add(*w);
}

}  // namespace lark::spelling
