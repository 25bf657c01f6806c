#pragma once
// Notebook files for window tests, written with the core's writer.
#include <QString>
#include <string>
#include <vector>

namespace lark::guitest {

struct SectionRow {
    int depth;
    std::string name;  // Windows-1251 bytes (ASCII, or built with Cp1251)
    std::string text;
};

// Writes a notebook; `active` becomes the "Activate" info line when >= 0.
void WriteNotebook(const QString& path, const std::vector<SectionRow>& sections, int active = -1);
// UTF-8 source text to notebook bytes.
std::string Cp1251(const char* utf8);
// The whole file.
std::string ReadAll(const QString& path);
void WriteAll(const QString& path, const std::string& bytes);

}  // namespace lark::guitest
