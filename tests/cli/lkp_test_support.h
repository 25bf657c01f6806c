#pragma once
// Shared helpers of the lkp tests: scratch files, in-process runs, runs of the binary.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/lkp.h"

namespace lkptest {

// The 62-byte sample: Notes (Hi) > Todo (empty), Misc (x CR LF y), Todo selected.
inline const std::string kSample(
    "LKP\x01\x0c\x00\x00\x00"
    "Activate=1\r\n\x14\x00\x00\x00Notes\r\n\tTodo\r\nMisc\r\n"
    "\x02\x00\x00\x00Hi\x00\x00\x00\x00\x04\x00\x00\x00x\r\ny",
    62);

inline std::string le32(std::uint32_t v) {
    return {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16), static_cast<char>(v >> 24)};
}
inline std::string block(const std::string& data) { return le32(static_cast<std::uint32_t>(data.size())) + data; }

inline std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}
inline void writeAll(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

// A scratch directory per test, removed afterwards.
class ScratchTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = std::filesystem::path(::testing::TempDir()) /
               ("lkp_" + std::string(info->test_suite_name()) + "_" + info->name() + "_" + std::to_string(::getpid()));
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::string path(const std::string& name) const { return (dir_ / name).string(); }
    std::string file(const std::string& name, const std::string& bytes) const {
        writeAll(path(name), bytes);
        return path(name);
    }

    struct Result {
        int code;
        std::string out, err;
    };
    static Result lkp(const std::vector<std::string>& args) {
        std::ostringstream out, err;
        const int code = lark::cli::run(args, out, err);
        return {code, out.str(), err.str()};
    }

private:
    std::filesystem::path dir_;
};

}  // namespace lkptest
