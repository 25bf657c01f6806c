#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "document/cp1251.h"
#include "document/document.h"
#include "document/memory_view.h"
#include "search/section_links.h"

namespace {

using lark::LinkAction;
using lark::Section;

std::string cp(const char* utf8) { return *lark::cp1251::fromUtf8(utf8); }

struct Links : ::testing::Test {
    lark::MemoryTreeView view;
    lark::MemoryEditor editor;
    lark::MemoryUi ui;
    lark::Document doc{view, editor, ui};
    Section* add(Section* parent, const std::string& name, const std::string& text) {
        auto c = std::make_unique<lark::TNodeContent>();
        c->Text = lark::TextBuffer::copyOf(text);
        return doc.tree().appendChild(parent, name, std::move(c));
    }
};

TEST_F(Links, SectionLinksSelectByExactName) {
    Section* home = add(nullptr, cp("Дом"), "see file://@Notes");
    Section* notes1 = add(home, "Notes", "first");
    Section* notes2 = add(nullptr, "Notes", "second");
    add(nullptr, "", "empty name");

    doc.SelectSection(home);
    editor.type("see file://@Notes (typed just now)");
    EXPECT_EQ(lark::EditorLinkClick(doc, "file://@Notes"), LinkAction::SectionSelected);
    EXPECT_EQ(doc.selected(), notes2) << "the later of equal names wins";
    EXPECT_EQ(editor.text(), "second");
    EXPECT_EQ(home->text(), "see file://@Notes (typed just now)") << "the edited text was stored first";
    EXPECT_EQ(notes1->text(), "first");

    EXPECT_EQ(lark::EditorLinkClick(doc, "file://@"), LinkAction::SectionSelected);
    EXPECT_EQ(doc.selected()->name(), "") << "nothing after the prefix names the empty name";

    EXPECT_EQ(lark::EditorLinkClick(doc, "file://@" + cp("Дом")), LinkAction::SectionSelected);
    EXPECT_EQ(doc.selected(), home);
    editor.type("modified");
    EXPECT_EQ(lark::EditorLinkClick(doc, "file://@" + cp("Дом")), LinkAction::SectionSelected);
    EXPECT_EQ(editor.text(), "modified") << "a link to the shown section leaves everything as it was";
    EXPECT_TRUE(editor.modified());
    EXPECT_TRUE(ui.errors.empty());
}

TEST_F(Links, MissingNamesAndOtherLinks) {
    Section* a = add(nullptr, "Notes", "x");
    doc.SelectSection(a);
    struct Row {
        const char* name;
        std::string link;
        LinkAction action;
        std::string error;  // UTF-8
    };
    const Row rows[] = {
        {"nominal: letter case differs", "file://@notes", LinkAction::SectionNotFound,
         "Раздел \"notes\" не найден\r\n(поиск с учётом регистра)"},
        {"nominal: Cyrillic name in the message", "file://@" + cp("Итоги"), LinkAction::SectionNotFound,
         "Раздел \"Итоги\" не найден\r\n(поиск с учётом регистра)"},
        {"nominal: trailing blank is part of the name", "file://@Notes ", LinkAction::SectionNotFound,
         "Раздел \"Notes \" не найден\r\n(поиск с учётом регистра)"},
        {"nominal: prefix in capitals goes to the desktop", "FILE://@Notes", LinkAction::OpenExternally, ""},
        {"nominal: web address", "http://example.org", LinkAction::OpenExternally, ""},
        {"nominal: plain file URL", "file:///tmp/x", LinkAction::OpenExternally, ""},
        {"robustness: shorter than the prefix", "file://", LinkAction::OpenExternally, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ui.errors.clear();
        EXPECT_EQ(lark::EditorLinkClick(doc, row.link), row.action);
        if (row.error.empty()) {
            EXPECT_TRUE(ui.errors.empty());
        } else {
            ASSERT_EQ(ui.errors.size(), 1u);
            EXPECT_EQ(ui.errors[0], row.error);
        }
        EXPECT_EQ(doc.selected(), a);
    }
    // No section at all.
    EXPECT_EQ(lark::EditorLinkClick(doc, "file://@"), LinkAction::SectionNotFound);
    EXPECT_EQ(ui.errors.back(), "Раздел \"\" не найден\r\n(поиск с учётом регистра)");
}

// The link runs of a text as strings.
std::vector<std::string> links(const std::string& text) {
    std::vector<std::string> out;
    for (const auto& run : lark::FindLinks(text)) out.push_back(text.substr(run.start, run.length));
    return out;
}

TEST(LinkDetection, Rows) {
    using V = std::vector<std::string>;
    struct Row {
        const char* name;
        std::string text;
        V expected;
    };
    const Row rows[] = {
        {"nominal: schemes",
         "a http://x.org b https://y.ru/p?q=1 ftp://f mailto:me@x.org www.z.com",
         {"http://x.org", "https://y.ru/p?q=1", "ftp://f", "mailto:me@x.org", "www.z.com"}},
        {"nominal: section link up to a blank", "see file://@Notes here", {"file://@Notes"}},
        {"nominal: Cyrillic section name", cp("см. file://@Итоги_года."), {"file://@" + cp("Итоги_года")}},
        {"nominal: empty section name", "file://@", {"file://@"}},
        {"nominal: empty name before a full stop", "file://@.", {"file://@"}},
        {"nominal: capital scheme", "FILE://@Notes HTTP://X", {"FILE://@Notes", "HTTP://X"}},
        {"nominal: trailing punctuation dropped",
         "(see http://x.org/a), or http://y.org!",
         {"http://x.org/a", "http://y.org"}},
        {"nominal: bracket pairs kept", "http://w.org/A_(b) end", {"http://w.org/A_(b)"}},
        {"nominal: ends at quotes and angle brackets", "<http://a.b>\"http://c.d\"", {"http://a.b", "http://c.d"}},
        {"nominal: ends at a line break", "file://@A\r\nfile://@B", {"file://@A", "file://@B"}},
        {"robustness: scheme alone", "http:// and www. and mailto:", {}},
        {"robustness: inside a word", "xhttp://a.b " + cp("яwww.a.b"), {}},
        {"robustness: nothing", "plain text", {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(links(row.text), row.expected);
    }
    // Positions are byte (character) positions.
    const auto runs = lark::FindLinks(cp("Ссылка: file://@Дом"));
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0], (lark::LinkRun{8, 11}));
}

}  // namespace
