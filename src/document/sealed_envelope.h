#pragma once
// The sealed envelope: a notebook's bytes (plain or inside the "ZIPPED!" envelope)
// encrypted and authenticated under a key derived from a password.
//
//   offset  size  field
//   0       8     marker "LKSEALED"
//   8       1     format version, 1
//   9       1     key derivation: 2 (Argon2id 1.3)
//   10      4     ops limit, unsigned little-endian
//   14      8     memory limit in bytes, unsigned little-endian
//   22      16    salt
//   38      24    crypto_secretstream_xchacha20poly1305 header
//   62      ...   the stream: the content in chunks of 64 KiB, each followed by its 17
//                 bytes of tag and MAC; the last chunk (shorter, maybe empty) is tagged
//                 FINAL, every other one is a plain message. The first chunk
//                 authenticates bytes 0-37 as additional data.
//
// Reading refuses parameters beyond SealParamsAllowed before any derivation, and any
// stream that does not verify chunk by chunk up to a FINAL tag on its very last byte: a
// changed, cut, extended or reordered file, and a wrong key, all give kSealBrokenText
// with nothing handed out.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "document/seal_key.h"
#include "document/text_buffer.h"

namespace lark {

inline constexpr std::string_view kSealMarker = "LKSEALED";
inline constexpr unsigned char kSealVersion = 1;
inline constexpr unsigned char kSealArgon2id = 2;
inline constexpr std::size_t kSealChunk = std::size_t{64} * 1024;
inline constexpr std::size_t kSealChunkOverhead = 17;
inline constexpr std::size_t kSealAuthenticated = 38;  // bytes of the header the first chunk vouches for
inline constexpr std::size_t kSealHeaderSize = 62;

inline constexpr const char* kSealBrokenText = "Неверный пароль или файл повреждён";
inline constexpr const char* kSealNeedsPasswordText = "Notebook is protected by a password";

// True when the bytes start a sealed envelope (the marker alone decides).
bool IsSealed(std::string_view head);

// The parameters stored in a sealed file's first kSealHeaderSize bytes (or fewer: too
// short is damage). Throws LarkError(Sealed, kSealBrokenText) for an unknown version or
// derivation, and for parameters beyond the bounds.
SealParams ReadSealParams(std::string_view head);

// The sealed envelope of `content` under `key`, with a fresh stream header.
TextBuffer SealBytes(std::string_view content, const SealKey& key);

// The content of a sealed envelope held in memory, or of the sealed file open as `fd`
// (`size` bytes, read in chunks). Throws LarkError(Sealed, kSealBrokenText) unless the
// whole stream verifies under `key`.
TextBuffer UnsealBytes(std::string_view sealed, const SealKey& key);
TextBuffer UnsealFile(int fd, std::int64_t size, const SealKey& key);

// Whether `key` opens the sealed file open as `fd`: its header parses and its first chunk
// verifies. Cheap (one chunk); a wrong password fails here.
bool SealKeyOpens(int fd, std::int64_t size, const SealKey& key);

// For the backup of a sealed notebook's previous version (ReplaceOptions::backupBytes):
// nullopt when the file open as `fd` is sealed already, else the whole file sealed under
// `key`, so that a version written in the clear is never kept in the clear.
std::optional<TextBuffer> SealedCopyUnlessSealed(int fd, const SealKey& key);

}  // namespace lark
