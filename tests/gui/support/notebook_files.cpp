#include "support/notebook_files.h"

#include <QFile>
#include <memory>

#include "document/cp1251.h"
#include "document/format.h"
#include "document/section_tree.h"

namespace lark::guitest {

void WriteNotebook(const QString& path, const std::vector<SectionRow>& sections, int active) {
    SectionTree tree;
    std::vector<Section*> parents(64, nullptr);
    for (const auto& s : sections) {
        auto content = std::make_unique<TNodeContent>();
        content->Text = TextBuffer::copyOf(s.text);
        Section* parent = s.depth > 0 ? parents[static_cast<std::size_t>(s.depth - 1)] : nullptr;
        parents[static_cast<std::size_t>(s.depth)] = tree.appendChild(parent, s.name, std::move(content));
    }
    std::vector<std::string> info;
    if (active >= 0) info.push_back("Activate=" + std::to_string(active));
    const TextBuffer bytes = WriteDocument(tree, info);
    WriteAll(path, std::string(bytes.view()));
}

std::string Cp1251(const char* utf8) { return cp1251::fromUtf8(utf8).value(); }

std::string ReadAll(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll().toStdString();
}

void WriteAll(const QString& path, const std::string& bytes) {
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) f.write(bytes.data(), static_cast<qint64>(bytes.size()));
}

}  // namespace lark::guitest
