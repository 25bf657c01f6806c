// lkp dump, build, cat, pack and unpack, run in-process.
#include <sys/stat.h>

#include <filesystem>

#include "cli/lkp.h"
#include "document/cp1251.h"
#include "document/document.h"
#include "document/envelope.h"
#include "document/errors.h"
#include "document/file_access.h"
#include "document/format.h"
#include "lkp_test_support.h"

namespace {

using lkptest::block;
using lkptest::kSample;
using lkptest::le32;
using lkptest::readAll;
using nlohmann::json;

const json kSampleJson = {
    {"envelope", "none"},
    {"kind", "notebook"},
    {"info", {"Activate=1"}},
    {"selected", 1},
    {"sections",
     {{{"depth", 0}, {"name", "Notes"}, {"text", "Hi"}},
      {{"depth", 1}, {"name", "Todo"}, {"text", ""}},
      {{"depth", 0}, {"name", "Misc"}, {"text", "x\r\ny"}}}},
    {"warnings", json::array()},
    {"error", nullptr},
};

class LkpDump : public lkptest::ScratchTest {};

TEST_F(LkpDump, SampleGivesEveryFieldInOrder) {
    const auto r = lkp({"dump", file("s.lkp", kSample)});
    EXPECT_EQ(r.code, lark::cli::kOk);
    EXPECT_EQ(r.err, "");
    const auto j = nlohmann::ordered_json::parse(r.out);
    EXPECT_EQ(json(j), kSampleJson);
    std::vector<std::string> keys;
    for (const auto& [k, v] : j.items()) keys.push_back(k);
    EXPECT_EQ(keys,
              (std::vector<std::string>{"envelope", "kind", "info", "selected", "sections", "warnings", "error"}));
}

TEST_F(LkpDump, ZippedSampleReportsTheEnvelopeAndTheSameNotebook) {
    const lark::TextBuffer packed = lark::ZipBuffer(kSample);
    const auto r = lkp({"dump", file("z.lkp", std::string(packed.view()))});
    EXPECT_EQ(r.code, lark::cli::kOk) << r.err;
    json expected = kSampleJson;
    expected["envelope"] = "zipped";
    EXPECT_EQ(json::parse(r.out), expected);
}

struct PlainRow {
    const char* name;
    std::string bytes;
    const char* envelope;
};

TEST_F(LkpDump, FilesThatAreNotNotebooksExitThreeWithThePlainTextKind) {
    const PlainRow rows[] = {
        {"nominal: ordinary text", "Shopping list: milk, bread\r\n", "none"},
        {"robustness: 7 bytes LKP 01", std::string("LKP\x01\x00\x00\x00", 7), "none"},
        {"robustness: 7-byte marker alone", "ZIPPED!", "none"},
        {"robustness: lower-case magic", std::string("lkp\x01\x00\x00\x00\x00", 8), "none"},
        {"robustness: empty file", "", "none"},
        {"robustness: envelope around text", std::string(lark::ZipBuffer("not a notebook at all").view()), "zipped"},
        {"robustness: envelope claiming length 0", std::string(lark::ZipBuffer("").view()), "zipped"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto r = lkp({"dump", file("p.txt", row.bytes)});
        EXPECT_EQ(r.code, lark::cli::kNotNotebook);
        const json j = json::parse(r.out);
        EXPECT_EQ(j["kind"], "plain-text");
        EXPECT_EQ(j["envelope"], row.envelope);
        EXPECT_EQ(j["sections"], json::array());
        EXPECT_EQ(j["info"], json::array());
        EXPECT_EQ(j["selected"], nullptr);
        EXPECT_EQ(j["error"], nullptr);
    }
}

TEST_F(LkpDump, FatalFormatErrorsPrintThePartialNotebookAndExitOne) {
    struct Row {
        const char* name;
        std::string bytes;
        const char* error;
        std::vector<std::string> names;
    };
    const std::string head = kSample.substr(0, 44);  // magic, info, outline
    const Row rows[] = {
        {"nominal: cut inside the last text block", kSample.substr(0, 60), lark::kBlockPastEnd, {"Notes", "Todo"}},
        {"nominal: version 2", std::string("LKP\x02", 4) + block("") + block(""), lark::kVersionError, {}},
        {"robustness: 2^24 length after the first text",
         head + block("Hi") + le32(16777216) + std::string(20, 'x'),
         lark::kBlockTooLarge,
         {"Notes"}},
        {"robustness: info block past the end", std::string("LKP\x01", 4) + le32(100) + "abc", lark::kBlockPastEnd, {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto r = lkp({"dump", file("f.lkp", row.bytes)});
        EXPECT_EQ(r.code, lark::cli::kFailed);
        const json j = json::parse(r.out);
        EXPECT_EQ(j["error"], row.error);
        EXPECT_EQ(j["kind"], "notebook");
        std::vector<std::string> names;
        for (const auto& s : j["sections"]) names.push_back(s["name"]);
        EXPECT_EQ(names, row.names);
        EXPECT_EQ(j["info"], json::array()) << "the info lines are applied only after the last block";
        EXPECT_EQ(j["selected"], nullptr);
    }
}

TEST_F(LkpDump, WarningsComeInTheOrderTheLoaderGivesThem) {
    // One outline line, three text blocks (an empty and a Cyrillic extra one, summed up
    // after the first), a bad Activate.
    const std::string bytes = std::string("LKP\x01", 4) + block("Activate=abc\r\n") + block("Only\r\n") + block("t") +
                              block("") + block("\xcb\xe8\xf8\xed\xe8\xe9") + "\x01\x02";
    const auto r = lkp({"dump", file("w.lkp", bytes)});
    EXPECT_EQ(r.code, lark::cli::kOk);
    const json j = json::parse(r.out);
    EXPECT_EQ(j["warnings"], json({lark::kStructureError, std::string(lark::kExtraBlocksSummary) + "1",
                                   "File Info Error: 'abc' is not a valid integer value"}));
    EXPECT_EQ(j["sections"], json({{{"depth", 0}, {"name", "Only"}, {"text", "t"}}}));
    EXPECT_EQ(j["info"], json({"Activate=abc"}));
    EXPECT_EQ(j["selected"], nullptr);
}

TEST_F(LkpDump, EveryByteComesOutAsValidJsonOfItsCharacter) {
    std::string all;
    for (int b = 1; b < 256; ++b) all.push_back(static_cast<char>(b));
    std::string name = all;  // a name cannot hold CR, LF or a leading TAB
    std::erase_if(name, [](char c) { return c == '\r' || c == '\n'; });
    name.erase(0, name.find_first_not_of('\t'));
    const std::string bytes =
        std::string("LKP\x01", 4) + block("k=" + name + "\r\n") + block(name + "\r\n") + block(all);
    const auto r = lkp({"dump", file("all.lkp", bytes)});
    ASSERT_EQ(r.code, lark::cli::kOk) << r.err;
    const json j = json::parse(r.out);
    EXPECT_EQ(j["info"], json({"k=" + lark::cp1251::toUtf8(name)}));
    EXPECT_EQ(j["sections"][0]["name"], lark::cp1251::toUtf8(name));
    EXPECT_EQ(j["sections"][0]["text"], lark::cp1251::toUtf8(all));
    EXPECT_NE(r.out.find(R"(\u0001\u0002)"), std::string::npos) << "control characters are escaped";
    EXPECT_NE(r.out.find("\xd0\x81"), std::string::npos) << "non-ASCII characters are printed as UTF-8 (0xA8 is Ё)";
}

TEST_F(LkpDump, IoErrorsAndDamagedEnvelopesGoToStderrOnly) {
    auto r = lkp({"dump", path("missing.lkp")});
    EXPECT_EQ(r.code, lark::cli::kFailed);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("No such file or directory"), std::string::npos) << r.err;

    std::string packed(lark::ZipBuffer(kSample).view());
    r = lkp({"dump", file("cut.lkp", packed.substr(0, packed.size() / 2))});
    EXPECT_EQ(r.code, lark::cli::kFailed);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("Stream read error"), std::string::npos) << r.err;

    // A FIFO would block a reader for ever: it is refused at once.
    ASSERT_EQ(::mkfifo(path("pipe.lkp").c_str(), 0644), 0);
    r = lkp({"dump", path("pipe.lkp")});
    EXPECT_EQ(r.code, lark::cli::kFailed);
    EXPECT_NE(r.err.find(lark::kNotRegularText), std::string::npos) << r.err;
}

// ---------------------------------------------------------------------------------------

class LkpBuild : public lkptest::ScratchTest {
protected:
    Result build(const json& j, const std::string& out, bool zip = false) {
        std::vector<std::string> args{"build", file("in.json", j.dump()), out};
        if (zip) args.emplace_back("--zip");
        return lkp(args);
    }
};

TEST_F(LkpBuild, SampleJsonWritesTheDocumentedBytes) {
    const auto r = build(kSampleJson, path("out.lkp"));
    ASSERT_EQ(r.code, lark::cli::kOk) << r.err;
    EXPECT_EQ(readAll(path("out.lkp")), kSample);
}

TEST_F(LkpBuild, CyrillicNotebookRoundTripsThroughDump) {
    const json in = {
        {"info", {"Автор=Иван", "Activate=0", "x=1"}},
        {"selected", 2},
        {"sections",
         {{{"depth", 0}, {"name", "Заметки"}, {"text", "Привет,\r\nмир — «ёлка» №5 €"}},
          {{"depth", 1}, {"name", "Дела\tсегодня"}, {"text", ""}},
          {{"depth", 2}, {"name", ""}, {"text", "глубоко"}},
          {{"depth", 0}, {"name", "Разное"}, {"text", "\xc2\x98"}}}},
    };
    for (const bool zip : {false, true}) {
        SCOPED_TRACE(zip ? "zipped" : "plain");
        const std::string out = path(zip ? "z.lkp" : "p.lkp");
        const auto r = build(in, out, zip);
        ASSERT_EQ(r.code, lark::cli::kOk) << r.err;
        const std::string bytes = readAll(out);
        EXPECT_EQ(bytes.substr(0, 7) == "ZIPPED!", zip);
        if (!zip) {
            EXPECT_NE(bytes.find("\xc7\xe0\xec\xe5\xf2\xea\xe8\r\n\t\xc4\xe5\xeb\xe0\t"), std::string::npos)
                << "names are stored as Windows-1251";
        }
        const auto d = lkp({"dump", out});
        ASSERT_EQ(d.code, lark::cli::kOk) << d.err;
        const json j = json::parse(d.out);
        EXPECT_EQ(j["sections"], in["sections"]);
        EXPECT_EQ(j["info"], json({"Автор=Иван", "Activate=2", "x=1"}));
        EXPECT_EQ(j["selected"], 2);
        EXPECT_EQ(j["envelope"], zip ? "zipped" : "none");
    }
}

TEST_F(LkpBuild, ActivateLineIsRefreshedLikeASave) {
    struct Row {
        const char* name;
        json in;
        std::vector<std::string> info;
        json selected;
    };
    const json one = json::array({{{"depth", 0}, {"name", "A"}}, {{"depth", 0}, {"name", "B"}}});
    const Row rows[] = {
        {"nominal: no info, no selection", {{"sections", one}}, {"Activate=0"}, 0},
        {"nominal: null selection",
         {{"info", {"k=v"}}, {"sections", one}, {"selected", nullptr}},
         {"k=v", "Activate=0"},
         0},
        {"nominal: prefix match replaces the first line",
         {{"info", {"ActivateX=1", "Activate=2"}}, {"sections", one}, {"selected", 1}},
         {"Activate=1", "Activate=2"},
         1},
        {"nominal: case-insensitive match", {{"info", {"ACTIVATE = 7"}}, {"sections", one}}, {"Activate=0"}, 0},
        {"robustness: no sections", {{"sections", json::array()}}, {"Activate=0"}, nullptr},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto r = build(row.in, path("a.lkp"));
        ASSERT_EQ(r.code, lark::cli::kOk) << r.err;
        const json j = json::parse(lkp({"dump", path("a.lkp")}).out);
        EXPECT_EQ(j["info"], json(row.info));
        EXPECT_EQ(j["selected"], row.selected);
    }
    EXPECT_EQ(readAll(path("a.lkp")), std::string("LKP\x01\x0c\x00\x00\x00"
                                                  "Activate=0\r\n\x00\x00\x00\x00",
                                                  24));
}

TEST_F(LkpBuild, RefusesWhatCannotBeStoredAndLeavesOutAbsent) {
    auto sections = [](json list) { return json{{"sections", std::move(list)}}; };
    auto sec = [](int depth, const std::string& name, const std::string& text = "") {
        return json{{"depth", depth}, {"name", name}, {"text", text}};
    };
    struct Row {
        const char* name;
        json in;
    };
    const Row rows[] = {
        {"robustness: depth jump", sections({sec(0, "A"), sec(2, "C")})},
        {"robustness: first section deeper than 0", sections({sec(1, "A")})},
        {"robustness: negative depth", sections({sec(-1, "A")})},
        {"robustness: CR in a name", sections({sec(0, "A\rB")})},
        {"robustness: LF in a name", sections({sec(0, "A\nB")})},
        {"robustness: leading TAB", sections({sec(0, "A"), sec(0, "\tB")})},
        {"robustness: emoji in a text", sections({sec(0, "A", "smile \xf0\x9f\x98\x80")})},
        {"robustness: emoji in a name", sections({sec(0, "\xf0\x9f\x98\x80")})},
        {"robustness: CJK in an info line", {{"info", {"a=\xe4\xb8\xad"}}, {"sections", json::array()}}},
        {"robustness: NUL in a text", sections({sec(0, "A", std::string("a\0b", 3))})},
        {"robustness: line break in an info line", {{"info", {"a=1\r\nb=2"}}, {"sections", json::array()}}},
        {"robustness: selection out of range", {{"sections", {sec(0, "A")}}, {"selected", 1}}},
        {"robustness: no sections key", {{"info", json::array()}}},
        {"robustness: depth not a number", sections({{{"depth", "0"}, {"name", "A"}}})},
        {"robustness: name missing", sections({{{"depth", 0}}})},
        {"robustness: not an object", json::array()},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto r = build(row.in, path("out.lkp"), true);
        EXPECT_EQ(r.code, lark::cli::kUsage);
        EXPECT_FALSE(r.err.empty());
        EXPECT_FALSE(std::filesystem::exists(path("out.lkp")));
    }
    // Malformed JSON is refused the same way.
    const auto r = lkp({"build", file("bad.json", "{\"sections\": ["), path("out.lkp")});
    EXPECT_EQ(r.code, lark::cli::kUsage);
    EXPECT_FALSE(std::filesystem::exists(path("out.lkp")));
    // An existing OUT is left untouched by a refusal.
    lkptest::writeAll(path("out.lkp"), kSample);
    EXPECT_EQ(build(sections({sec(0, "A\nB")}), path("out.lkp")).code, lark::cli::kUsage);
    EXPECT_EQ(readAll(path("out.lkp")), kSample);
}

// OUT is written through a link, and never replaced when it is no regular file or may not
// be written.
TEST_F(LkpBuild, OutputsThatMustNotBeReplaced) {
    const json in{{"sections", {{{"depth", 0}, {"name", "A"}}}}};
    ASSERT_EQ(::symlink("real.lkp", path("dangling.lkp").c_str()), 0);
    EXPECT_EQ(build(in, path("dangling.lkp")).code, lark::cli::kOk);
    EXPECT_TRUE(std::filesystem::is_symlink(path("dangling.lkp")));
    EXPECT_EQ(readAll(path("real.lkp")).substr(0, 4), std::string("LKP\x01", 4));

    ASSERT_EQ(::mkfifo(path("pipe.lkp").c_str(), 0644), 0);
    lkptest::writeAll(path("ro.lkp"), kSample);
    ASSERT_EQ(::chmod(path("ro.lkp").c_str(), 0444), 0);
    const struct {
        const char* target;
        std::string why;
    } refused[] = {{"pipe.lkp", lark::kNotRegularText}, {"ro.lkp", "Permission denied"}};
    for (const auto& row : refused) {
        SCOPED_TRACE(row.target);
        const auto r = build(in, path(row.target));
        EXPECT_EQ(r.code, lark::cli::kFailed);
        EXPECT_NE(r.err.find(row.why), std::string::npos) << r.err;
    }
    EXPECT_TRUE(std::filesystem::is_fifo(path("pipe.lkp")));
    EXPECT_EQ(readAll(path("ro.lkp")), kSample);
}

// ---------------------------------------------------------------------------------------

class LkpCat : public lkptest::ScratchTest {};

TEST_F(LkpCat, PrintsUtf8OrTheStoredBytesWithoutAddingANewline) {
    const std::string text = "\xcf\xf0\xe8\xe2\xe5\xf2\r\n\xec\xe8\xf0";  // Привет CR LF мир
    const std::string nb =
        std::string("LKP\x01", 4) + block("Activate=0\r\n") + block("A\r\n\tB\r\n") + block("") + block(text);
    const std::string f = file("c.lkp", nb);
    auto r = lkp({"cat", f, "1"});
    EXPECT_EQ(r.code, lark::cli::kOk);
    EXPECT_EQ(r.out, "Привет\r\nмир");
    r = lkp({"cat", f, "1", "--raw"});
    EXPECT_EQ(r.code, lark::cli::kOk);
    EXPECT_EQ(r.out, text);
    r = lkp({"cat", "--raw", f, "0"});
    EXPECT_EQ(r.code, lark::cli::kOk);
    EXPECT_EQ(r.out, "");
    // The same through an envelope.
    r = lkp({"cat", file("z.lkp", std::string(lark::ZipBuffer(nb).view())), "1"});
    EXPECT_EQ(r.out, "Привет\r\nмир");
}

TEST_F(LkpCat, RefusesBadIndexesAndFilesItCannotRead) {
    const std::string f = file("s.lkp", kSample);
    for (const char* index : {"3", "99999999999999999999999", "-1", "x", "1.0", ""}) {
        SCOPED_TRACE(index);
        const auto r = lkp({"cat", f, index});
        EXPECT_EQ(r.code, lark::cli::kUsage);
        EXPECT_EQ(r.out, "");
        EXPECT_FALSE(r.err.empty());
    }
    EXPECT_EQ(lkp({"cat", file("t.txt", "just some text"), "0"}).code, lark::cli::kNotNotebook);
    EXPECT_EQ(lkp({"cat", file("cut.lkp", kSample.substr(0, 60)), "0"}).code, lark::cli::kFailed);
    EXPECT_EQ(lkp({"cat", f, "2"}).out, "x\r\ny");
}

// ---------------------------------------------------------------------------------------

class LkpPack : public lkptest::ScratchTest {};

TEST_F(LkpPack, PackThenUnpackGivesTheSameBytes) {
    const std::string in = file("s.lkp", kSample);
    ASSERT_EQ(lkp({"pack", in, path("z.lkp")}).code, lark::cli::kOk);
    const std::string packed = readAll(path("z.lkp"));
    EXPECT_EQ(packed.substr(0, 9), "ZIPPED!\x78\xda");
    lark::TextBuffer inflated = lark::TextBuffer::copyOf(packed);
    lark::UnzipBuffer(inflated);
    EXPECT_EQ(inflated.view(), kSample);

    ASSERT_EQ(lkp({"unpack", path("z.lkp"), path("u.lkp")}).code, lark::cli::kOk);
    EXPECT_EQ(readAll(path("u.lkp")), kSample);
    // Not enveloped: a copy. Doubly enveloped: one layer comes off.
    ASSERT_EQ(lkp({"unpack", in, path("copy.lkp")}).code, lark::cli::kOk);
    EXPECT_EQ(readAll(path("copy.lkp")), kSample);
    ASSERT_EQ(lkp({"pack", path("z.lkp"), path("zz.lkp")}).code, lark::cli::kOk);
    ASSERT_EQ(lkp({"unpack", path("zz.lkp"), path("z1.lkp")}).code, lark::cli::kOk);
    EXPECT_EQ(readAll(path("z1.lkp")), packed);
    EXPECT_EQ(lkp({"dump", path("zz.lkp")}).code, lark::cli::kNotNotebook) << "only one envelope is unpacked";
}

TEST_F(LkpPack, DamagedEnvelopesFailWithTheProgramsMessage) {
    const std::string packed(lark::ZipBuffer(kSample).view());
    struct Row {
        const char* name;
        std::string bytes;
        const char* message;
    };
    const Row rows[] = {
        {"robustness: cut short", packed.substr(0, packed.size() - 10), "Stream read error"},
        {"robustness: not a zlib header", "ZIPPED!" + std::string("\x00\x01\x02\x03\x04\x05", 6), "Error"},
        {"robustness: stream ends inside the length", "ZIPPED!" + std::string(lark::ZipBuffer("").view()).substr(7, 3),
         "Stream read error"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto r = lkp({"unpack", file("bad.lkp", row.bytes), path("out.lkp")});
        EXPECT_EQ(r.code, lark::cli::kFailed);
        EXPECT_NE(r.err.find(std::string(": ") + row.message + "\n"), std::string::npos) << r.err;
        EXPECT_FALSE(std::filesystem::exists(path("out.lkp")));
    }
    EXPECT_EQ(lkp({"pack", path("absent"), path("out.lkp")}).code, lark::cli::kFailed);
    EXPECT_FALSE(std::filesystem::exists(path("out.lkp")));
}

// ---------------------------------------------------------------------------------------

class LkpHeldFile : public lkptest::ScratchTest {};

TEST_F(LkpHeldFile, ReadsANotebookTheWindowHoldsAndNeverChangesIt) {
    const std::string f = file("held.lkp", kSample);
    const std::string t = file("held.txt", "plain words, held open for writing");
    lark::DocumentFile held, heldText;
    lark::OpenDocumentFile(held, f, false);
    lark::OpenDocumentFile(heldText, t, false);
    ASSERT_THROW(lark::ReadFileShared(f), lark::LarkError) << "the write lock is in place";

    auto r = lkp({"dump", f});
    EXPECT_EQ(r.code, lark::cli::kOk) << r.err;
    EXPECT_EQ(json::parse(r.out), kSampleJson);
    EXPECT_EQ(lkp({"cat", f, "0"}).out, "Hi");
    EXPECT_EQ(lkp({"dump", t}).code, lark::cli::kNotNotebook) << "the plain-text probe does not lock either";
    EXPECT_EQ(lkp({"pack", f, path("copy.lkp")}).code, lark::cli::kOk);
    EXPECT_EQ(readAll(f), kSample);
    // A held target cannot be replaced; the message says so and the file stays as it was.
    r = lkp({"build", file("in.json", kSampleJson.dump()), f});
    EXPECT_EQ(r.code, lark::cli::kFailed);
    EXPECT_NE(r.err.find(lark::kInUseText), std::string::npos) << r.err;
    EXPECT_EQ(readAll(f), kSample);
}

// ---------------------------------------------------------------------------------------

TEST(LkpUsage, MissingArgumentsAndUnknownFlagsExitTwo) {
    struct Row {
        std::vector<std::string> args;
        int code;
    };
    const Row rows[] = {
        {{}, lark::cli::kUsage},
        {{"--help"}, lark::cli::kOk},
        {{"frobnicate"}, lark::cli::kUsage},
        {{"dump"}, lark::cli::kUsage},
        {{"dump", "a", "b"}, lark::cli::kUsage},
        {{"dump", "a", "--zip"}, lark::cli::kUsage},
        {{"build", "a.json"}, lark::cli::kUsage},
        {{"build", "a.json", "b.lkp", "--raw"}, lark::cli::kUsage},
        {{"cat", "a.lkp"}, lark::cli::kUsage},
        {{"pack", "a"}, lark::cli::kUsage},
        {{"unpack", "a", "b", "c"}, lark::cli::kUsage},
        {{"cat", "--help"}, lark::cli::kOk},
    };
    for (const auto& row : rows) {
        std::ostringstream out, err;
        std::string joined;
        for (const auto& a : row.args) joined += a + " ";
        SCOPED_TRACE(joined);
        EXPECT_EQ(lark::cli::run(row.args, out, err), row.code);
        EXPECT_FALSE((row.code == lark::cli::kOk ? out : err).str().empty());
    }
}

}  // namespace
