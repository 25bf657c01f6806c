// Spell checking of the corpus notebook.
//
//   spell_notebook  `lkp spell` over the whole corpus (load, dictionaries, every section's
//                   words, suggestions for the unknown ones, the output), as words per
//                   second, against a bare Hunspell loop over the same words (each word, as
//                   UTF-8 made beforehand, asked of ru_RU, then of en_US when the first does
//                   not know it): the loop's words per second over lkp's (target 1.3). The
//                   loop runs over every 16th word, enough for a steady rate. Noted beside:
//                   the suggestions of lkp's quick search and of Hunspell's own (--thorough)
//                   for 40 distinct unknown words, milliseconds a word.
#include <hunspell.hxx>

#include <algorithm>
#include <memory>
#include <ostream>
#include <sstream>
#include <stdexcept>
#include <streambuf>

#include "../bench_util.h"
#include "cli/lkp.h"
#include "corpus.h"
#include "document/cp1251.h"
#include "spelling/dictionary_files.h"
#include "spelling/spell_checker.h"
#include "spelling/word_scan.h"

namespace lark::bench {
namespace {

// Counts what is written and keeps none of it.
class CountingBuffer : public std::streambuf {
public:
    std::size_t bytes = 0;

protected:
    int_type overflow(int_type c) override {
        if (c != traits_type::eof()) ++bytes;
        return c;
    }
    std::streamsize xsputn(const char*, std::streamsize n) override {
        bytes += static_cast<std::size_t>(n);
        return n;
    }
};

void spellNotebook(Context& ctx) {
    const std::string path = ctx.path(kPlainCorpus);
    BenchDocument bd;
    if (!bd.doc.LoadDocument(path, true)) throw std::runtime_error("cannot load " + path);
    std::size_t words = 0;
    std::vector<std::string> sample;
    bd.doc.tree().forEach([&](Section& s, int) {
        const std::string_view text = s.text();
        for (const spelling::WordRun& r : spelling::CheckedWords(text))
            if (words++ % 16 == 0) sample.push_back(cp1251::toUtf8(text.substr(r.start, r.length)));
        return true;
    });

    const auto found = spelling::FindDictionaries(spelling::HunspellFolders());
    const auto dictionary = [&](const char* name) {
        for (const auto& d : found)
            if (d.name == name) return std::make_unique<Hunspell>(d.affPath.c_str(), d.dicPath.c_str());
        throw std::runtime_error(std::string("no dictionary ") + name + " (hunspell-ru, hunspell-en-us)");
    };
    const auto ru = dictionary("ru_RU");
    const auto en = dictionary("en_US");
    std::size_t knownInSample = 0;
    const double bare = timeIt([&] {
        for (const std::string& w : sample)
            if (ru->spell(w) || en->spell(w)) ++knownInSample;
    });
    const double bareRate = static_cast<double>(sample.size()) / bare;

    CountingBuffer sink;
    std::ostream out(&sink);
    std::ostringstream err;
    int code = 0;
    const double lkp = timeIt([&] { code = cli::run({"spell", path, "--lang", "ru_RU,en_US"}, out, err); });
    if (code != 0) throw std::runtime_error("lkp spell failed: " + err.str());
    const double lkpRate = static_cast<double>(words) / lkp;
    note("lkp spell " + formatNumber(lkp, "%.1f") + " s for " + std::to_string(words) + " words (" +
         formatNumber(lkpRate, "%.0f") + " words/s, " + std::to_string(sink.bytes) + " bytes out); bare Hunspell " +
         formatNumber(bareRate, "%.0f") + " words/s over " + std::to_string(sample.size()) + " words, " +
         std::to_string(knownInSample) + " known");
    // Suggestions a word, quick and thorough.
    spelling::SpellChecker checker;
    checker.loadDictionaries(found, {"ru_RU", "en_US"});
    std::vector<std::string> unknown;
    for (const std::string& w : sample) {
        const std::string word = *cp1251::fromUtf8(w);
        if (unknown.size() < 40 && !checker.known(word) && std::ranges::find(unknown, word) == unknown.end())
            unknown.push_back(word);
    }
    const auto perWord = [&](spelling::SpellChecker::Search search) {
        const double s = timeIt([&] {
            for (const std::string& w : unknown) checker.suggestions(w, 3, search);
        });
        return formatNumber(s * 1e3 / static_cast<double>(std::max<std::size_t>(1, unknown.size())), "%.2f ms");
    };
    note("suggestions for " + std::to_string(unknown.size()) +
         " unknown words: " + perWord(spelling::SpellChecker::Search::Near) + " a word quick, " +
         perWord(spelling::SpellChecker::Search::Full) + " thorough (--thorough)");
    printFigure("spell_notebook", bareRate / lkpRate, 1.3);
}
LARK_BENCH_CASE(40, "spell_notebook", spellNotebook);

}  // namespace
}  // namespace lark::bench
