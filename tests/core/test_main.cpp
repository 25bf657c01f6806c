// The core suite's main: GoogleTest with a watch on the running case. A case that runs
// longer than the limit (LARKPAD_CASE_TIMEOUT seconds, 60 unless set) ends the process
// with its name, and a crash names its case before the usual report, so neither leaves
// only "core (SEGFAULT)" or a stalled run behind.
#include <gtest/gtest.h>
#include <unistd.h>
#include <csignal>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#if defined(__SANITIZE_ADDRESS__)
#define LARK_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define LARK_SANITIZED 1
#endif
#endif
#if defined(LARK_SANITIZED)
#include <sanitizer/common_interface_defs.h>
#endif

namespace {

// The running case's name where a signal handler may read it.
char gRunning[512];
volatile sig_atomic_t gHasRunning = 0;

void writeError(const char* text) {
    std::size_t left = std::strlen(text);
    while (left > 0) {
        const ssize_t n = ::write(STDERR_FILENO, text, left);
        if (n <= 0) return;
        text += n;
        left -= static_cast<std::size_t>(n);
    }
}

struct CrashSignal {
    int number;
    struct sigaction previous;
};
CrashSignal gCrashSignals[] = {{SIGSEGV, {}}, {SIGBUS, {}}, {SIGILL, {}}, {SIGFPE, {}}, {SIGABRT, {}}};

// Names the case, then puts back the handler that was there before (the sanitizers'
// report, or the default) and returns: the fault happens again and reaches it.
void onCrash(int number, siginfo_t*, void*) {
    if (gHasRunning) {
        writeError("\n*** crashed in ");
        writeError(gRunning);
        writeError("\n");
    }
    for (CrashSignal& s : gCrashSignals)
        if (s.number == number) ::sigaction(number, &s.previous, nullptr);
}

#if defined(LARK_SANITIZED)
// A sanitizer's report ends the process without a signal.
void onSanitizerDeath() {
    if (!gHasRunning) return;
    writeError("\n*** died in ");
    writeError(gRunning);
    writeError("\n");
}
#endif

void installCrashHandlers() {
#if defined(LARK_SANITIZED)
    __sanitizer_set_death_callback(onSanitizerDeath);
#endif
    for (CrashSignal& s : gCrashSignals) {
        struct sigaction action {};
        action.sa_sigaction = onCrash;
        action.sa_flags = SA_SIGINFO;
        sigemptyset(&action.sa_mask);
        ::sigaction(s.number, &action, &s.previous);
    }
}

class CaseWatch : public ::testing::EmptyTestEventListener {
public:
    explicit CaseWatch(std::chrono::seconds limit) : limit_(limit), thread_([this] { watch(); }) {}
    ~CaseWatch() override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }

    void OnTestStart(const ::testing::TestInfo& info) override {
        const std::string name = std::string(info.test_suite_name()) + "." + info.name();
        gHasRunning = 0;
        std::snprintf(gRunning, sizeof gRunning, "%s", name.c_str());
        gHasRunning = 1;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            name_ = name;
            deadline_ = std::chrono::steady_clock::now() + limit_;
            running_ = true;
            ++started_;
        }
        changed_.notify_all();
    }

    void OnTestEnd(const ::testing::TestInfo&) override {
        gHasRunning = 0;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            running_ = false;
        }
        changed_.notify_all();
    }

private:
    void watch() {
        std::unique_lock<std::mutex> lock(mutex_);
        while (!stop_) {
            if (!running_) {
                changed_.wait(lock);
                continue;
            }
            const unsigned long long started = started_;
            if (changed_.wait_until(lock, deadline_, [&] { return stop_ || !running_ || started_ != started; }))
                continue;
            std::fprintf(stderr, "\n*** %s did not finish within %lld s\n", name_.c_str(),
                         static_cast<long long>(limit_.count()));
            std::fflush(stderr);
            std::fflush(stdout);
            std::_Exit(124);
        }
    }

    const std::chrono::seconds limit_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::string name_;
    std::chrono::steady_clock::time_point deadline_;
    bool running_ = false;
    bool stop_ = false;
    unsigned long long started_ = 0;
    std::thread thread_;
};

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    long limit = 60;
    if (const char* text = std::getenv("LARKPAD_CASE_TIMEOUT")) limit = std::strtol(text, nullptr, 10);
    if (limit <= 0) limit = 60;
    installCrashHandlers();
    CaseWatch watch{std::chrono::seconds(limit)};
    ::testing::TestEventListeners& listeners = ::testing::UnitTest::GetInstance()->listeners();
    listeners.Append(&watch);
    const int result = RUN_ALL_TESTS();
    listeners.Release(&watch);
    return result;
}
