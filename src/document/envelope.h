#pragma once
// The "ZIPPED!" compression envelope: the marker, then one zlib stream holding the
// content length (signed 32-bit little-endian) and the content.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "document/format.h"
#include "document/text_buffer.h"

namespace lark {

struct NotebookSnapshot;

inline constexpr std::string_view kZipMarker = "ZIPPED!";

// True when the bytes start an envelope (at least 8 bytes, exact marker).
bool IsEnveloped(std::string_view bytes);

// Deflates (level 9, window bits 15, memLevel 8, default strategy) into an envelope.
TextBuffer ZipBuffer(std::string_view content);
// The envelope of WriteDocument's content, deflated straight from the sections without
// assembling the content first; the same bytes as ZipBuffer(WriteDocument(...)).
// Refuses what WriteDocument refuses.
TextBuffer ZipDocument(const SectionTree& tree, const InfoLines& info);
TextBuffer ZipDocument(const NotebookSnapshot& snapshot);

// How a stream is inflated: Fastest inflates the whole stream at once where that gives
// what zlib's streaming inflate gives and falls back on the latter everywhere else; Zlib
// is the streaming inflate alone. Both give the same bytes and fail the same way.
enum class InflateWith { Fastest, Zlib };

// Replaces `buffer` by the unpacked content when it holds an envelope; otherwise leaves
// it alone. On failure throws ("Error", "Stream read error", "Out of memory") and leaves
// `buffer` unchanged. Memory never follows the length the stream claims beyond what its
// packed bytes can inflate to.
void UnzipBuffer(TextBuffer& buffer, InflateWith with = InflateWith::Fastest);

// Unpacks an envelope (IsEnveloped must hold) into a source that the parser reads without
// a second copy of the content: each text of a section is inflated into the memory that
// will hold it (texts inflated whole at once share one block, each holding a part of it).
// Everything is unpacked before this returns, so it fails exactly where UnzipBuffer
// fails, before anything is parsed; read over the whole, the source gives the bytes
// UnzipBuffer would.
BlockSource UnzipToBlocks(std::string_view envelope, InflateWith with = InflateWith::Fastest);
// The same for the held file of `size` bytes.
BlockSource UnzipFileToBlocks(int fd, std::int64_t size, InflateWith with = InflateWith::Fastest);

}  // namespace lark
