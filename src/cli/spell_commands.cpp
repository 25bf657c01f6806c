// spell.
//
//   lkp spell FILE [--lang ru_RU,en_US] [--thorough]
//       Checks the spelling of every section's text with the Hunspell dictionaries named
//       (by default Russian and American English, dictionary_files.h) and the personal
//       word list, and prints one line per unknown word, in the order of the notebook:
//           INDEX<TAB>OFFSET<TAB>WORD[<TAB>SUGGESTION]...
//       OFFSET counts the bytes of the stored text (Windows-1251) from 0; WORD and up to 3
//       suggestions are UTF-8. Which words are checked: spelling/word_scan.h.
//       Suggestions are the words one edit away that a dictionary knows (near_words.h);
//       with --thorough, Hunspell's whole search, as the editor's menu offers (tens of
//       milliseconds a word). Those of the distinct unknown words are worked out first, by
//       as many threads as there are processors (each with dictionaries of its own), then
//       the lines are written.
//
// Exit codes: 0 ok (unknown words or not), 1 failed (no dictionary, format, I/O), 2 usage,
// 3 not a notebook.
#include <algorithm>
#include <atomic>
#include <memory>
#include <new>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "cli/commands.h"
#include "cli/lkp.h"
#include "cli/notebook_loader.h"
#include "document/cp1251.h"
#include "document/errors.h"
#include "spelling/dictionary_files.h"
#include "spelling/spell_checker.h"

namespace lark::cli {

namespace {

constexpr const char* kSpellUsage = "spell FILE [--lang ru_RU,en_US] [--thorough]";
constexpr std::size_t kSuggestions = 3;

int usageError(std::ostream& err, const std::string& message) {
    err << "lkp: " << message << "\nusage: lkp " << kSpellUsage << "\n";
    return kUsage;
}

// The checker with the dictionaries asked for; nothing (and a message) when one is missing.
std::unique_ptr<spelling::SpellChecker> makeChecker(const std::optional<std::string>& langs, std::ostream& err) {
    using namespace spelling;
    const std::vector<DictionaryFile> found = FindDictionaries(HunspellFolders());
    const std::vector<std::string> wanted = langs ? SplitLanguages(*langs) : DefaultLanguages(found);
    if (found.empty() || wanted.empty()) {
        err << "lkp: no Hunspell dictionary is installed (Debian packages: " << kDictionaryPackages << ")\n";
        return nullptr;
    }
    auto checker = std::make_unique<SpellChecker>();
    std::vector<std::string> missing;
    checker->loadDictionaries(found, wanted, &missing);
    if (!missing.empty()) {
        std::vector<std::string> names;
        for (const DictionaryFile& d : found) names.push_back(d.name);
        err << "lkp: no dictionary " << JoinLanguages(missing) << " (installed: " << JoinLanguages(names) << ")\n";
        return nullptr;
    }
    try {
        checker->usePersonalWords(PersonalWordsPath());
    } catch (const LarkError& e) {
        err << "lkp: the personal word list is left out: " << e.what() << "\n";
    }
    return checker;
}

// "WORD<TAB>SUGGESTION..." (UTF-8) for each of `words`, worked out by several threads.
std::vector<std::string> lineTails(const std::vector<std::string>& words, spelling::SpellChecker& checker,
                                   spelling::SpellChecker::Search search) {
    std::vector<std::string> tails(words.size());
    std::atomic<std::size_t> next{0};
    const auto work = [&](spelling::SpellChecker& c) {
        for (std::size_t i = next++; i < words.size(); i = next++) {
            std::string t = cp1251::toUtf8(words[i]);
            for (const std::string& s : c.suggestions(words[i], kSuggestions, search)) t += "\t" + cp1251::toUtf8(s);
            tails[i] = std::move(t);
        }
    };
    const std::size_t helpers =
        std::min<std::size_t>({std::max(1u, std::thread::hardware_concurrency()), 8, words.size() / 16 + 1}) - 1;
    const std::vector<spelling::DictionaryFile> found = spelling::FindDictionaries(spelling::HunspellFolders());
    const std::vector<std::string> languages = checker.languages();
    std::vector<std::thread> threads;
    for (std::size_t h = 0; h < helpers; ++h)
        threads.emplace_back([&] {
            try {
                spelling::SpellChecker own;
                own.loadDictionaries(found, languages);
                work(own);
            } catch (const std::exception&) {
                // this helper stops; the others and this thread's caller finish the words
            }
        });
    work(checker);
    for (std::thread& t : threads) t.join();
    return tails;
}

}  // namespace

int cmdSpell(const Args& args, std::ostream& out, std::ostream& err) {
    Args positional;
    std::optional<std::string> langs;
    auto search = spelling::SpellChecker::Search::Near;
    bool optionsDone = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool option = !optionsDone && a.size() > 1 && a[0] == '-';
        if (!option) {
            positional.push_back(a);
        } else if (a == "--") {
            optionsDone = true;
        } else if (a == "--help" || a == "-h") {
            out << "usage: lkp " << kSpellUsage << "\n";
            return kOk;
        } else if (a == "--lang") {
            if (i + 1 >= args.size()) return usageError(err, "--lang needs dictionary names such as ru_RU,en_US");
            langs = args[++i];
        } else if (a.starts_with("--lang=")) {
            langs = a.substr(7);
        } else if (a == "--thorough") {
            search = spelling::SpellChecker::Search::Full;
        } else {
            return usageError(err, "unknown option '" + a + "'");
        }
    }
    if (positional.size() != 1) return usageError(err, positional.empty() ? "missing arguments" : "too many arguments");
    if (langs && spelling::SplitLanguages(*langs).empty()) return usageError(err, "--lang names no dictionary");
    const std::string& path = positional[0];
    return WithNotebook(path, out, err, [&](LoadedNotebook& nb, std::string&) {
        const auto checker = makeChecker(langs, err);
        if (!checker) return kFailed;
        const SectionTree& tree = nb.doc.tree();
        const int count = tree.count();
        // The distinct unknown words, in the order they come, then their suggestions.
        std::unordered_map<std::string, std::size_t> known;
        std::vector<std::string> words;
        for (int index = 0; index < count; ++index) {
            const std::string_view text = tree.at(index)->text();
            for (const spelling::WordRun& run : checker->unknownWords(text)) {
                std::string word(text.substr(run.start, run.length));
                if (known.emplace(word, words.size()).second) words.push_back(std::move(word));
            }
        }
        const std::vector<std::string> tails = lineTails(words, *checker, search);
        std::string line;
        for (int index = 0; index < count; ++index) {
            const std::string_view text = tree.at(index)->text();
            for (const spelling::WordRun& run : checker->unknownWords(text)) {
                line.clear();
                line += std::to_string(index);
                line += '\t';
                line += std::to_string(run.start);
                line += '\t';
                line += tails[known.at(std::string(text.substr(run.start, run.length)))];
                line += '\n';
                out << line;
            }
        }
        return kOk;
    });
}

}  // namespace lark::cli
