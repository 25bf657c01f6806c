#include "document/seal_key.h"

#include <sodium.h>
#include <sys/prctl.h>

#include "document/errors.h"

namespace lark {

static_assert(kSealKeyBytes == crypto_secretstream_xchacha20poly1305_KEYBYTES);
static_assert(kSealSaltBytes == crypto_pwhash_SALTBYTES);

void EnsureSodium() {
    static const bool ready = sodium_init() >= 0;
    if (!ready) throw LarkError("Out of memory");
}

bool SealParamsAllowed(std::uint32_t opsLimit, std::uint64_t memLimit) {
    if (opsLimit < kMinSealOps || opsLimit > kMaxSealOps) return false;
    if (memLimit < kMinSealMemory || memLimit > kMaxSealMemory) return false;
    return opsLimit * memLimit <= kMaxSealWork;
}

SealParams FreshSealParams(std::uint32_t opsLimit, std::uint64_t memLimit) {
    EnsureSodium();
    SealParams p;
    randombytes_buf(p.salt.data(), p.salt.size());
    p.opsLimit = opsLimit;
    p.memLimit = memLimit;
    return p;
}

SealKey::SealKey(const SealParams& params) : params_(params) {
    EnsureSodium();
    // The process soon holds the text the key opens: from now on it leaves no core dump
    // (which a crash handler such as systemd-coredump keeps on disk) and no debugger of the
    // same user may read its memory.
    ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
    // Locked, between guard pages, wiped by sodium_free.
    key_ = static_cast<unsigned char*>(sodium_malloc(kSealKeyBytes));
    if (!key_) throw LarkError("Out of memory");
}

SealKey::~SealKey() { sodium_free(key_); }

std::shared_ptr<const SealKey> SealKey::derive(std::string_view password, const SealParams& params) {
    std::shared_ptr<SealKey> key(new SealKey(params));
    if (crypto_pwhash(key->key_, kSealKeyBytes, password.data(), password.size(), params.salt.data(), params.opsLimit,
                      static_cast<std::size_t>(params.memLimit), crypto_pwhash_ALG_ARGON2ID13) != 0)
        throw LarkError("Out of memory");
    sodium_mprotect_readonly(key->key_);
    return key;
}

std::shared_ptr<const SealKey> SealKey::fromBytes(const std::array<unsigned char, kSealKeyBytes>& bytes,
                                                  const SealParams& params) {
    std::shared_ptr<SealKey> key(new SealKey(params));
    std::copy(bytes.begin(), bytes.end(), key->key_);
    sodium_mprotect_readonly(key->key_);
    return key;
}

bool SamePassword(const SealKey& key, std::string_view password) {
    const auto other = SealKey::derive(password, key.params());
    return sodium_memcmp(other->bytes(), key.bytes(), kSealKeyBytes) == 0;
}

}  // namespace lark
