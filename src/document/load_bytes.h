#pragma once
// Loading a notebook from bytes already in memory, for readers that do not hold the file
// (lkp and other tools): unwrap one "ZIPPED!" envelope, then parse into the document with
// FUpdating set and the tree in one bulk update, as the load pipeline does.
#include <cstdint>
#include <memory>
#include <string>

#include "document/text_buffer.h"

namespace lark {

class Document;
class SealKey;

// `bytes` are the whole file as read; `path` is used only for the plain-text view.
// A damaged envelope throws LarkError(Envelope) before the document is touched; a fatal
// format error throws LarkError(Format) with the sections read so far left in the tree.
// A sealed file is opened with `key` (refused with NeedsPassword without one, with Sealed
// when it does not verify) before the document is touched; the document keeps the key.
void LoadFromBytes(Document& doc, TextBuffer bytes, bool readOnly, const std::string& path,
                   const std::shared_ptr<const SealKey>& key = {});

// The same from an open file of `size` bytes, read in pieces as the window reads its held
// file: a plain file straight into the sections, an envelope unpacked block by block
// first. Nothing beyond the content and its sections is held at once. `enveloped`, when
// given, learns whether the file is an envelope before anything can fail in the parse.
// `sealed`, when given, learns whether the file is sealed (then `enveloped` tells about the
// content inside).
void LoadFromFile(Document& doc, int fd, std::int64_t size, bool readOnly, const std::string& path,
                  bool* enveloped = nullptr, const std::shared_ptr<const SealKey>& key = {}, bool* sealed = nullptr);

}  // namespace lark
