// The built lkp binary, end to end: exit codes, stdout and stderr as a shell sees them.
#include <filesystem>

#include "document/file_access.h"
#include "lkp_test_support.h"

namespace {

using lkptest::kSample;
using lkptest::readAll;

class LkpBinary : public lkptest::ScratchTest {
protected:
    // Runs lkp with the arguments (single-quoted for the shell), optionally feeding stdin.
    Result shell(const std::vector<std::string>& args, const std::string& stdinFile = "") {
        std::string cmd = std::string("'") + LKP_BINARY + "'";
        for (const auto& a : args) cmd += " '" + a + "'";
        if (!stdinFile.empty()) cmd += " < '" + stdinFile + "'";
        cmd += " > '" + path("stdout") + "' 2> '" + path("stderr") + "'";
        const int status = std::system(cmd.c_str());
        EXPECT_TRUE(WIFEXITED(status)) << cmd;
        return {WEXITSTATUS(status), readAll(path("stdout")), readAll(path("stderr"))};
    }
};

TEST_F(LkpBinary, ExitCodesAndStreamsFollowTheContract) {
    const std::string sample = file("s.lkp", kSample);
    auto r = shell({"dump", sample});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(nlohmann::json::parse(r.out)["sections"].size(), 3u);

    r = shell({"dump", file("t.txt", "Dear diary,\r\ntoday nothing happened.")});
    EXPECT_EQ(r.code, 3);
    EXPECT_EQ(nlohmann::json::parse(r.out)["kind"], "plain-text");

    r = shell({"dump", file("cut.lkp", kSample.substr(0, 59))});
    EXPECT_EQ(r.code, 1);
    EXPECT_FALSE(nlohmann::json::parse(r.out)["error"].is_null());

    r = shell({"--help"});
    EXPECT_EQ(r.code, 0);
    EXPECT_NE(r.out.find("dump FILE"), std::string::npos);
    EXPECT_EQ(shell({}).code, 2);
    EXPECT_EQ(shell({"cat", sample}).code, 2);
    EXPECT_EQ(shell({"cat", sample, "7"}).code, 2);
    r = shell({"unpack", file("bad.lkp", "ZIPPED!garbage"), path("out")});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("Error"), std::string::npos);
}

TEST_F(LkpBinary, DumpPipesIntoBuildAndCatPrintsUtf8) {
    const std::string sample = file("s.lkp", kSample);
    ASSERT_EQ(shell({"dump", sample}).code, 0);
    std::filesystem::rename(path("stdout"), path("dump.json"));
    auto r = shell({"build", "-", path("copy.lkp")}, path("dump.json"));
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(readAll(path("copy.lkp")), kSample);

    const std::string json = R"({"sections":[{"depth":0,"name":"Имя","text":"Текст\r\n"}],"selected":0})";
    r = shell({"build", file("c.json", json), path("c.lkp"), "--zip"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(shell({"cat", path("c.lkp"), "0"}).out, "Текст\r\n");
    EXPECT_EQ(shell({"cat", path("c.lkp"), "0", "--raw"}).out, "\xd2\xe5\xea\xf1\xf2\r\n");
}

TEST_F(LkpBinary, ReadsAFileAnotherOpenerHoldsWithAWriteLock) {
    const std::string sample = file("s.lkp", kSample);
    lark::DocumentFile held;
    lark::OpenDocumentFile(held, sample, false);
    const auto r = shell({"dump", sample});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(nlohmann::json::parse(r.out)["selected"], 1);
    EXPECT_EQ(shell({"cat", sample, "2"}).out, "x\r\ny");
    EXPECT_EQ(readAll(sample), kSample);
}

}  // namespace

namespace {

// Past the file size limit the write fails and is reported; the signal that would
// otherwise kill lkp without a word is ignored. The old output stays.
TEST_F(LkpBinary, AFileSizeLimitIsReportedNotFatal) {
    const std::string big = file("big.bin", std::string(256 << 10, 'x'));
    const std::string out = file("out.lkp", kSample);
    const std::string cmd = "ulimit -f 64; '" + std::string(LKP_BINARY) + "' unpack '" + big + "' '" + out + "' 2> '" +
                            path("stderr") + "'";
    const int status = std::system(("sh -c \"" + cmd + "\"").c_str());
    ASSERT_TRUE(WIFEXITED(status)) << "lkp was killed by a signal";
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_NE(readAll(path("stderr")).find("File too large"), std::string::npos) << readAll(path("stderr"));
    EXPECT_EQ(readAll(out), kSample);
}

}  // namespace
