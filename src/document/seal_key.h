#pragma once
// The key of a notebook sealed with a password. It is derived from the password with
// Argon2id under the parameters stored in the file (salt, ops and memory limits) and lives
// in memory of its own, locked against swapping and guarded by inaccessible pages; that
// memory is wiped when the last holder lets go. The password itself is never kept. Once a
// key is made, the process is no longer dumpable.
#include <array>
#include <cstdint>
#include <memory>
#include <string_view>

namespace lark {

inline constexpr std::size_t kSealSaltBytes = 16;
inline constexpr std::size_t kSealKeyBytes = 32;

// The key-derivation parameters a sealed file stores.
struct SealParams {
    std::array<unsigned char, kSealSaltBytes> salt{};
    std::uint32_t opsLimit = 0;
    std::uint64_t memLimit = 0;  // bytes
    bool operator==(const SealParams&) const = default;
};

// What a new password is derived with: about half a second here, well within a second.
inline constexpr std::uint32_t kDefaultSealOps = 3;
inline constexpr std::uint64_t kDefaultSealMemory = std::uint64_t{128} << 20;
// What a file may ask for: no more than 1 GiB of memory, at most 8 passes, and no more
// than 4 GiB of memory work in all (a few seconds at the worst).
inline constexpr std::uint32_t kMinSealOps = 1;
inline constexpr std::uint32_t kMaxSealOps = 8;
inline constexpr std::uint64_t kMinSealMemory = 8192;
inline constexpr std::uint64_t kMaxSealMemory = std::uint64_t{1} << 30;
inline constexpr std::uint64_t kMaxSealWork = std::uint64_t{4} << 30;

// True when a file may ask for these parameters.
bool SealParamsAllowed(std::uint32_t opsLimit, std::uint64_t memLimit);

// Parameters with a fresh random salt.
SealParams FreshSealParams(std::uint32_t opsLimit = kDefaultSealOps, std::uint64_t memLimit = kDefaultSealMemory);

class SealKey {
public:
    // Derives the key of `password` (UTF-8 as typed) under `params`. Throws
    // LarkError("Out of memory") when the derivation or the locked memory cannot be had.
    static std::shared_ptr<const SealKey> derive(std::string_view password, const SealParams& params);
    // A key given as its bytes (tests and the fuzz target, which avoid the derivation).
    static std::shared_ptr<const SealKey> fromBytes(const std::array<unsigned char, kSealKeyBytes>& bytes,
                                                    const SealParams& params);

    ~SealKey();
    SealKey(const SealKey&) = delete;
    SealKey& operator=(const SealKey&) = delete;

    const SealParams& params() const { return params_; }
    const unsigned char* bytes() const { return key_; }

private:
    explicit SealKey(const SealParams& params);
    unsigned char* key_ = nullptr;  // sodium_malloc'ed, locked
    SealParams params_;
};

// True when `password` derives `key` under the key's own parameters (compared in constant time).
bool SamePassword(const SealKey& key, std::string_view password);

// Initialises libsodium once; throws LarkError when it cannot run.
void EnsureSodium();

}  // namespace lark
