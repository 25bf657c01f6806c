#pragma once
// Section names as parts of file names in an exported folder. A file is called
// "NNN Name.txt": the number keeps the sections' order (and equal names apart), the name is
// escaped where the file system forbids it, and a name too long for one file name is cut
// (the folder's notebook.json keeps the whole of it).
#include <cstddef>
#include <string>
#include <string_view>

namespace lark::files {

// The longest file name Linux file systems take, in bytes.
inline constexpr std::size_t kMaxFileNameBytes = 255;
inline constexpr std::string_view kTextSuffix = ".txt";

// A section name (UTF-8) made fit for a file name: "%" becomes "%25", "/" "%2F", each control
// byte (0x00 to 0x1F, 0x7F) "%XX" with its value in hex ("%09" for a TAB), and a leading "."
// "%2E". Everything else stays as it is.
std::string EscapeName(std::string_view name);
// The reverse. A "%" that does not start one of those escapes stays as it is.
std::string UnescapeName(std::string_view escaped);

// Digits of the numbers of `siblings` sections: at least three.
int NumberWidth(int siblings);

// The stem (file name without ".txt", also the name of the folder of its children) of
// the section at `position` (from 1) among its siblings. `cut` tells whether the name had
// to be shortened; it is cut between characters, never inside an escape.
std::string SectionStem(int position, int width, std::string_view name, bool& cut);

// The escaped name of a stem of that form ("007 Name" gives "Name"); the whole stem when
// it does not start with digits and a blank.
std::string_view StemName(std::string_view stem);

}  // namespace lark::files
