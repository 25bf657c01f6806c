#include "merge/text_merge.h"

#include <git2.h>

#include <mutex>
#include <new>

namespace lark::merge {

namespace {

git_merge_file_input input(std::string_view text) {
    git_merge_file_input in{};
    git_merge_file_input_init(&in, GIT_MERGE_FILE_INPUT_VERSION);
    in.ptr = text.data();
    in.size = text.size();
    return in;
}

// Frees libgit2's result however the caller leaves.
struct ResultGuard {
    git_merge_file_result result{};
    ~ResultGuard() { git_merge_file_result_free(&result); }
};

}  // namespace

std::optional<std::string> MergeText(std::string_view base, std::string_view ours, std::string_view theirs) {
    // The library's global state, set up once for the process and kept.
    static std::once_flag once;
    std::call_once(once, [] { git_libgit2_init(); });
    const git_merge_file_input a = input(base), o = input(ours), t = input(theirs);
    git_merge_file_options options{};
    git_merge_file_options_init(&options, GIT_MERGE_FILE_OPTIONS_VERSION);
    ResultGuard guard;
    const int rc = git_merge_file(&guard.result, &a, &o, &t, &options);
    if (rc == GIT_EBUFS || (rc < 0 && git_error_last() && git_error_last()->klass == GIT_ERROR_NOMEMORY))
        throw std::bad_alloc();
    // A merge the library cannot make counts as a conflict: both texts are kept whole.
    if (rc < 0 || !guard.result.automergeable) return std::nullopt;
    return std::string(guard.result.ptr ? guard.result.ptr : "", guard.result.len);
}

}  // namespace lark::merge
