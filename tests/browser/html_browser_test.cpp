// The exported HTML page as a browser reads it: headless Chromium loads the file and
// prints the document it built, which must hold every section, working in-page links and
// the texts as text. Skipped, with a message, where chromium is not installed.
#include <gtest/gtest.h>

#include <unistd.h>
#include <cstdlib>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "document/snapshot.h"
#include "files/html_export.h"

namespace {

std::string findChromium() {
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    for (std::size_t start = 0; start <= dirs.size();) {
        std::size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        const std::string dir = dirs.substr(start, end - start);
        for (const char* name : {"chromium", "chromium-browser"}) {
            std::string candidate = dir + "/" + name;
            if (!dir.empty() && ::access(candidate.c_str(), X_OK) == 0) return candidate;
        }
        start = end + 1;
    }
    return {};
}

// The page's document as Chromium serialises it after loading it.
std::string dumpDom(const std::string& chromium, const std::string& page, const std::string& profile) {
    const std::string command = "'" + chromium +
                                "' --headless --no-sandbox --disable-gpu --no-first-run "
                                "--user-data-dir='" +
                                profile + "' --dump-dom 'file://" + page + "' 2>/dev/null";
    std::string dom;
    if (FILE* p = ::popen(command.c_str(), "r")) {
        char buf[65536];
        for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) dom.append(buf, n);
        ::pclose(p);
    }
    return dom;
}

std::size_t occurrences(const std::string& text, const std::string& what) {
    std::size_t count = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
    return count;
}

lark::NotebookSnapshot sampleNotebook() {
    const std::vector<std::tuple<int, std::string, std::string>> sections = {
        // Заметки: "see file://@Twin, file://@Nowhere and www.example.org"
        {0, "\xC7\xE0\xEC\xE5\xF2\xEA\xE8", "see file://@Twin, file://@Nowhere and www.example.org\r\nline two"},
        {1, "Twin", "the first twin, file:///etc/hosts and ftp://host/f"},
        {2, "Deep", "\r\nsecond line"},
        {0, "Twin", "the second twin: a link goes here"},
        {0, "<b>markup</b>", "<script>document.body.innerHTML='gone'</script> & </pre> \"q\""},
        {0, "", "a section without a name"},
    };
    lark::NotebookSnapshot s;
    for (const auto& [depth, name, text] : sections) {
        auto& section = s.addSection(depth, name);
        section.text_ = lark::TextBuffer::copyOf(text);
    }
    return s;
}

TEST(HtmlInBrowser, ChromiumBuildsEverySectionWithItsLinksAndTexts) {
    const std::string chromium = findChromium();
    if (chromium.empty())
        GTEST_SKIP() << "chromium is not installed here (scripts/install-deps.sh installs it): "
                        "the HTML page was not checked in a browser";
    std::string dir = ::testing::TempDir() + "larkbrowser.XXXXXX";
    ASSERT_NE(::mkdtemp(dir.data()), nullptr);
    const std::string page = dir + "/notebook.html";
    {
        std::ofstream out(page, std::ios::binary);
        out << lark::files::NotebookHtml(sampleNotebook(), "Мой блокнот");
    }
    const std::string dom = dumpDom(chromium, page, dir + "/profile");
    std::system(("rm -rf '" + dir + "'").c_str());
    ASSERT_NE(dom.find("</html>"), std::string::npos) << "chromium printed no document:\n" << dom;

    EXPECT_EQ(occurrences(dom, "<section id="), 6u) << dom;
    for (int i = 0; i < 6; ++i) EXPECT_EQ(occurrences(dom, "id=\"s" + std::to_string(i) + "\""), 1u) << i;
    EXPECT_NE(dom.find("<title>Мой блокнот</title>"), std::string::npos) << "read as UTF-8";
    EXPECT_NE(dom.find("<h2>Заметки</h2>"), std::string::npos);
    // The section link goes to the later of the two sections named Twin, as a click would.
    EXPECT_NE(dom.find("see <a href=\"#s3\">file://@Twin</a>,"), std::string::npos) << dom;
    EXPECT_NE(dom.find("<span class=\"missing\""), std::string::npos);
    EXPECT_EQ(occurrences(dom, ">file://@Nowhere</span>"), 1u);
    EXPECT_NE(dom.find("<a href=\"http://www.example.org\">www.example.org</a>"), std::string::npos);
    // Addresses on this machine or another network are text, not links.
    EXPECT_NE(dom.find("file:///etc/hosts and ftp://host/f"), std::string::npos) << dom;
    EXPECT_EQ(dom.find("href=\"file:"), std::string::npos);
    EXPECT_EQ(dom.find("href=\"ftp:"), std::string::npos);
    // Markup in names and texts stays text: no script ran, no element came of it.
    EXPECT_EQ(dom.find("<script"), std::string::npos);
    EXPECT_EQ(dom.find("gone</"), std::string::npos) << "the script ran";
    EXPECT_NE(dom.find("&lt;script&gt;document.body.innerHTML='gone'&lt;/script&gt; &amp; &lt;/pre&gt; \"q\""),
              std::string::npos)
        << dom;
    EXPECT_NE(dom.find("<h2>&lt;b&gt;markup&lt;/b&gt;</h2>"), std::string::npos);
    // A text starting with a line break keeps it: the parser drops only the page's own.
    EXPECT_NE(dom.find("<pre>\nsecond line</pre>"), std::string::npos);
    // The table of contents nests as the tree does, each level collapsible.
    EXPECT_NE(dom.find("<li><details open=\"\"><summary><a href=\"#s0\">Заметки</a></summary>\n<ul>\n"
                       "<li><details open=\"\"><summary><a href=\"#s1\">Twin</a></summary>\n<ul>\n"
                       "<li><a href=\"#s2\">Deep</a></li>\n</ul></details></li>\n</ul></details></li>\n"
                       "<li><a href=\"#s3\">Twin</a></li>"),
              std::string::npos)
        << dom;
    EXPECT_EQ(occurrences(dom, "<details"), 2u);
}

}  // namespace
