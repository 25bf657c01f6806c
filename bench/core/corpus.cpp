// Corpus generation: `larkpad_bench generate DIR` writes the plain and the compressed
// notebook with the program's own writer, then a stamp naming the generator version.
#include "corpus.h"

#include <sys/stat.h>

#include <array>
#include <cstring>
#include <fstream>
#include <vector>

#include "../bench_util.h"

namespace lark::bench {
namespace {

constexpr int kSections = 100000;
constexpr int kMaxDepth = 6;
constexpr std::size_t kVocabulary = 4000;

// Words: half Cyrillic (Windows-1251 letters), half Latin.
std::vector<std::string> makeVocabulary(Rng& rng) {
    std::vector<std::string> words;
    words.reserve(kVocabulary);
    for (std::size_t i = 0; i < kVocabulary; ++i) {
        const bool cyrillic = i % 2 == 0;
        const std::size_t len = rng.range(2, 11);
        std::string w;
        for (std::size_t k = 0; k < len; ++k) {
            if (cyrillic) w += static_cast<char>(0xE0 + rng.range(0, 31));  // а..я
            else w += static_cast<char>('a' + rng.range(0, 25));
        }
        if (rng.range(0, 9) == 0)
            w[0] =
                cyrillic ? static_cast<char>(static_cast<unsigned char>(w[0]) - 0x20) : static_cast<char>(w[0] - 0x20);
        words.push_back(std::move(w));
    }
    return words;
}

class TextMaker {
public:
    TextMaker(Rng& rng, const std::vector<std::string>& words) : rng_(rng), words_(words) {}

    // Skewed towards the first words, as natural text is.
    const std::string& word() {
        const double u = rng_.unit();
        return words_[static_cast<std::size_t>(u * u * u * static_cast<double>(words_.size()))];
    }

    void date(std::string& out) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "%02d.%02d.%02d", static_cast<int>(rng_.range(1, 28)),
                      static_cast<int>(rng_.range(1, 12)), static_cast<int>(rng_.range(0, 99)));
        out += buf;
    }

    // `size` bytes of CR LF lines of words, with a date now and then.
    void text(char* dst, std::size_t size) {
        line_.clear();
        std::size_t done = 0;
        while (done < size) {
            line_.clear();
            const std::size_t n = rng_.range(3, 16);
            for (std::size_t i = 0; i < n; ++i) {
                if (i) line_ += ' ';
                if (rng_.range(0, 39) == 0) date(line_);
                else line_ += word();
            }
            if (rng_.range(0, 3) == 0) line_ += '.';
            line_ += "\r\n";
            const std::size_t take = std::min(line_.size(), size - done);
            std::memcpy(dst + done, line_.data(), take);
            done += take;
        }
        if (size && dst[size - 1] == '\r') dst[size - 1] = '.';
    }

    std::string name() {
        std::string n;
        const std::size_t words = rng_.range(1, 3);
        for (std::size_t i = 0; i < words; ++i) {
            if (i) n += ' ';
            n += word();
        }
        if (rng_.range(0, 19) == 0) {
            n += ' ';
            date(n);
        }
        return n;
    }

private:
    Rng& rng_;
    const std::vector<std::string>& words_;
    std::string line_;
};

// Text sizes: a dozen large texts (0.5 to 5 MB), a hundred of tens of kilobytes, the
// rest small. About 100 MB in all.
std::vector<std::size_t> makeSizes(Rng& rng) {
    std::vector<std::size_t> sizes(kSections);
    for (auto& s : sizes) {
        const auto pick = rng.range(0, 999);
        if (pick < 850) s = rng.range(0, 800);
        else if (pick < 999) s = rng.range(1000, 3000);
        else s = rng.range(10000, 130000);
    }
    static constexpr std::array<std::size_t, 12> large = {5000000, 4500000, 4000000, 3500000, 3000000, 2500000,
                                                          2000000, 2000000, 1500000, 1000000, 1000000, 500000};
    for (const std::size_t s : large) sizes[rng.range(0, kSections - 1)] = s;
    return sizes;
}

}  // namespace

void BuildCorpus(Document& doc) {
    Rng rng(20261207);
    const auto words = makeVocabulary(rng);
    const auto sizes = makeSizes(rng);
    TextMaker maker(rng, words);
    SectionTree& tree = doc.tree();
    std::vector<Section*> parents(kMaxDepth + 2, nullptr);
    int depth = 0;
    for (int i = 0; i < kSections; ++i) {
        if (i > 0) {
            const auto step = rng.range(0, 9);
            if (step < 3 && depth < kMaxDepth) ++depth;  // a child of the previous section
            else if (step >= 8) depth = static_cast<int>(rng.range(0, static_cast<std::uint64_t>(depth)));  // back up
        }
        auto content = std::make_unique<TNodeContent>();
        content->Text = TextBuffer::allocate(sizes[static_cast<std::size_t>(i)]);
        maker.text(content->Text.data(), content->Text.size());
        Section* s = tree.appendChild(depth ? parents[static_cast<std::size_t>(depth - 1)] : nullptr, maker.name(),
                                      std::move(content));
        parents[static_cast<std::size_t>(depth)] = s;
    }
    doc.FFileInfo = {"Author=larkpad bench", "Activate=0"};
    doc.setSelectedQuietly(tree.at(12345));
}

namespace {

int generate(const std::vector<std::string>& args) {
    if (args.size() != 1) throw std::runtime_error("usage: generate DIR");
    const std::string& dir = args[0];
    mkdir(dir.c_str(), 0777);
    const std::string stamp = dir + "/corpus.stamp";
    std::remove(stamp.c_str());
    BenchDocument bd;
    BuildCorpus(bd.doc);
    for (const bool zip : {false, true}) {
        bd.doc.UseZip = zip;
        const std::string path = dir + "/" + (zip ? kZippedCorpus : kPlainCorpus);
        if (!bd.doc.SaveDocument(path)) throw std::runtime_error("saving " + path + " failed: " + bd.ui.errors.back());
        CloseDocumentFile(bd.doc.FFileHandle);
        struct stat st {};
        stat(path.c_str(), &st);
        note(path + ": " + std::to_string(st.st_size) + " bytes");
    }
    std::ofstream(stamp) << kCorpusVersion << "\n";
    return 0;
}

int corpusVersion(const std::vector<std::string>&) {
    std::printf("%s\n", kCorpusVersion);
    return 0;
}

LARK_BENCH_COMMAND("generate", generate);
LARK_BENCH_COMMAND("corpus-version", corpusVersion);

}  // namespace
}  // namespace lark::bench
