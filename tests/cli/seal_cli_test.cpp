// lkp on sealed notebooks: every reading command with --password-file, seal and unseal.
#include <string>
#include <vector>

#include "document/seal_key.h"
#include "document/sealed_envelope.h"
#include "lkp_test_support.h"

namespace {

using lkptest::kSample;

struct SealCli : lkptest::ScratchTest {
    // The sample sealed under the smallest derivation (the command reads the parameters).
    std::string sealedSample(const std::string& password) {
        const auto key = lark::SealKey::derive(password, lark::FreshSealParams(1, 8192));
        return file("s.lkp", std::string(lark::SealBytes(kSample, *key).view()));
    }
};

std::string withoutSealedLine(std::string json) {
    const std::string line = "\n  \"sealed\": true,";
    if (const auto at = json.find(line); at != std::string::npos) json.erase(at, line.size());
    return json;
}

TEST_F(SealCli, EveryReadingCommandOpensASealedNotebookWithItsPasswordOnly) {
    const std::string plain = file("p.lkp", kSample);
    const std::string sealed = sealedSample("пароль");
    const std::string right = file("right", "пароль\nnot this line\n");
    const std::string wrong = file("wrong", "парол\n");
    struct Row {
        std::vector<std::string> args;  // the file goes after the command name
    };
    const Row rows[] = {{{"dump"}}, {{"cat", "0"}}, {{"search", "x"}}, {{"dates"}}, {{"export", "OUT"}}};
    int n = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args[0]);
        auto args = [&](const std::string& nb, const std::vector<std::string>& extra) {
            std::vector<std::string> a = {row.args[0], nb};
            for (std::size_t i = 1; i < row.args.size(); ++i)
                a.push_back(row.args[i] == "OUT" ? path("out" + std::to_string(n++)) : row.args[i]);
            a.insert(a.end(), extra.begin(), extra.end());
            return a;
        };
        const auto expected = lkp(args(plain, {}));
        auto r = lkp(args(sealed, {}));
        EXPECT_EQ(r.code, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find("--password-file"), std::string::npos) << r.err;
        r = lkp(args(sealed, {"--password-file", wrong}));
        EXPECT_EQ(r.code, 1);
        EXPECT_EQ(r.err, "lkp: " + sealed + ": " + lark::kSealBrokenText + "\n");
        r = lkp(args(sealed, {"--password-file", right}));
        EXPECT_EQ(r.code, expected.code) << r.err;
        EXPECT_EQ(withoutSealedLine(r.out), expected.out);
    }
}

// The built binary, the password coming through standard input (not a terminal: no prompt).
TEST_F(SealCli, APasswordFromStandardInputOpensTheNotebook) {
    const std::string sealed = sealedSample("пароль");
    const std::string cmd = std::string("'") + LKP_BINARY + "' cat '" + sealed + "' 0 --password-file - < '" +
                            file("in", "пароль\n") + "' > '" + path("out") + "' 2>&1";
    EXPECT_EQ(std::system(cmd.c_str()), 0);
    EXPECT_EQ(lkptest::readAll(path("out")), "Hi");
}

TEST_F(SealCli, SealAndUnsealRoundTripAndRefuseWhatTheyCannotDo) {
    const std::string plain = file("p.lkp", kSample);
    const std::string pw = file("pw", "секрет\r\n");
    ASSERT_EQ(lkp({"seal", plain, path("s.lkp"), "--password-file", pw}).code, 0);
    const std::string sealed = lkptest::readAll(path("s.lkp"));
    EXPECT_TRUE(lark::IsSealed(sealed));
    EXPECT_EQ(sealed.find("Notes"), std::string::npos);
    // Users get the default derivation.
    EXPECT_EQ(lark::ReadSealParams(sealed).memLimit, lark::kDefaultSealMemory);
    EXPECT_EQ(lark::ReadSealParams(sealed).opsLimit, lark::kDefaultSealOps);
    ASSERT_EQ(lkp({"unseal", "--password-file", pw, path("s.lkp"), path("u.lkp")}).code, 0);
    EXPECT_EQ(lkptest::readAll(path("u.lkp")), kSample);

    const std::string wrong = file("wrong", "секрет2\n");
    EXPECT_EQ(lkp({"unseal", path("s.lkp"), path("x"), "--password-file", wrong}).code, 1);
    EXPECT_EQ(lkp({"seal", path("s.lkp"), path("x"), "--password-file", pw}).code, 1) << "sealed twice";
    EXPECT_EQ(lkp({"unseal", plain, path("x"), "--password-file", pw}).code, 1) << "not sealed";
    EXPECT_FALSE(std::filesystem::exists(path("x")));
    EXPECT_EQ(lkp({"seal", plain, path("x")}).code, 2) << "no password";
    EXPECT_EQ(lkp({"seal", plain, path("x"), "--password-file"}).code, 2) << "no password file";
}

// Commands that write a notebook read from a sealed one write it sealed again, under the
// same password: the same bytes inside as from the plain file, never a readable one.
TEST_F(SealCli, ReplaceAndMergeOfASealedNotebookWriteItSealed) {
    const std::string plain = file("p.lkp", kSample);
    const std::string pw = file("pw", "пароль\n");
    const std::string sealed = sealedSample("пароль");
    const std::vector<std::vector<std::string>> rows = {
        {"replace", "IN", "Hi", "Hello", "OUT"},
        {"merge", plain, "IN", plain, "-o", "OUT"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row[0]);
        auto args = [&](const std::string& in, const std::string& out) {
            std::vector<std::string> a;
            for (const auto& v : row) a.push_back(v == "IN" ? in : v == "OUT" ? out : v);
            return a;
        };
        ASSERT_EQ(lkp(args(plain, path("plain-out"))).code, 0);
        EXPECT_EQ(lkp(args(sealed, path("sealed-out"))).code, 1) << "no password";
        auto withPassword = args(sealed, path("sealed-out"));
        withPassword.insert(withPassword.end(), {"--password-file", pw});
        ASSERT_EQ(lkp(withPassword).code, 0);
        const std::string written = lkptest::readAll(path("sealed-out"));
        EXPECT_TRUE(lark::IsSealed(written));
        EXPECT_EQ(written.find("Notes"), std::string::npos);
        ASSERT_EQ(lkp({"unseal", path("sealed-out"), path("u.lkp"), "--password-file", pw}).code, 0);
        EXPECT_EQ(lkptest::readAll(path("u.lkp")), lkptest::readAll(path("plain-out")));
    }
}

}  // namespace
