#pragma once
// Windows-1251 at the window's edge: notebook bytes become QStrings for the widgets and
// come back as bytes. Built on lark::cp1251, the program's one table.
#include <QString>
#include <string>
#include <string_view>

namespace lark::gui {

inline constexpr char16_t kReplacementChar = u'?';

// Bytes to text, unchanged (section names).
QString BytesToQString(std::string_view bytes);
// A section text for the editor: CR LF, and a lone CR or LF, become one line break.
QString TextToEditor(std::string_view bytes);

// True when Windows-1251 has a byte for the character.
bool Representable(char16_t ch);
// Replaces every character Windows-1251 cannot hold (a surrogate pair counts as one)
// with '?'; returns how many were replaced.
qsizetype ReplaceUnrepresentable(QString& text);

// Text to bytes; characters without a byte become '?' (counted in *replaced).
std::string QStringToBytes(const QString& text, qsizetype* replaced = nullptr);
// Editor text to section bytes: line breaks (LF, U+2029, U+2028) become CR LF.
std::string EditorToText(const QString& text, qsizetype* replaced = nullptr);

// The status-bar notice shown when input had characters replaced.
QString ReplacedNotice(qsizetype count);

}  // namespace lark::gui
