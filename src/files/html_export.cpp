#include "files/html_export.h"

#include <algorithm>
#include <unordered_map>

#include "document/cp1251.h"
#include "files/exchange_text.h"
#include "search/section_links.h"

namespace lark::files {

namespace {

constexpr std::string_view kStyle =
    "body{font-family:sans-serif;margin:0 auto;max-width:60em;padding:1em}"
    "nav ul{list-style:none;padding-left:1.2em;margin:0}"
    "nav>ul{padding-left:0}"
    "summary{cursor:pointer}"
    "section{border-top:1px solid #ccc;margin-top:1.5em}"
    "pre{white-space:pre-wrap;overflow-wrap:anywhere;font-family:monospace}"
    ".noname{color:#888}"
    ".missing{color:#a00;text-decoration:underline dotted}";

// Escapes UTF-8 text for element content and for attribute values in double quotes.
void appendEscaped(std::string& out, std::string_view utf8) {
    for (char c : utf8) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default: out += c;
        }
    }
}

void appendText(std::string& out, std::string_view cp1251Text) { appendEscaped(out, cp1251::toUtf8(cp1251Text)); }

void appendName(std::string& out, std::string_view name) {
    if (name.empty()) out += "<span class=\"noname\">&#8212;</span>";
    else appendText(out, name);
}

enum class LinkKind { Web, Bare, Other };

// Web and mail links are clickable in the page ("www." ones as http), nothing else is.
LinkKind kindOf(std::string_view link) {
    const std::string lower = cp1251::toLower(link.substr(0, std::min<std::size_t>(link.size(), 8)));
    if (lower.starts_with("www.")) return LinkKind::Bare;
    for (std::string_view scheme : {"http://", "https://", "mailto:"})
        if (lower.starts_with(scheme)) return LinkKind::Web;
    return LinkKind::Other;
}

class PageWriter {
public:
    PageWriter(const NotebookSnapshot& notebook, std::string& out) : notebook_(notebook), out_(out) {}

    void tableOfContents() {
        const auto& sections = notebook_.sections;
        out_ += "<nav id=\"toc\">\n<ul>\n";
        int open = 0;  // levels of <details> opened and not yet closed
        for (std::size_t i = 0; i < sections.size(); ++i) {
            const int depth = sections[i].depth;
            for (; open > depth; --open) out_ += "</ul></details></li>\n";
            const bool parent = i + 1 < sections.size() && sections[i + 1].depth > depth;
            out_ += parent ? "<li><details open><summary>" : "<li>";
            out_ += "<a href=\"#s" + std::to_string(i) + "\">";
            appendName(out_, sections[i].name());
            out_ += "</a>";
            if (parent) {
                out_ += "</summary>\n<ul>\n";
                ++open;
            } else {
                out_ += "</li>\n";
            }
        }
        for (; open > 0; --open) out_ += "</ul></details></li>\n";
        out_ += "</ul>\n</nav>\n";
    }

    void sections() {
        out_ += "<main>\n";
        for (std::size_t i = 0; i < notebook_.sections.size(); ++i) {
            const SnapshotSection& s = notebook_.sections[i];
            const std::string h = "h" + std::to_string(std::min(s.depth + 2, 6));
            out_ += "<section id=\"s" + std::to_string(i) + "\" data-depth=\"" + std::to_string(s.depth) + "\">";
            out_ += "<" + h + ">";
            appendName(out_, s.name());
            // The parser drops a line break right after <pre>: this one, never the text's own.
            out_ += "</" + h + "><pre>\n";
            body(s.text());
            out_ += "</pre></section>\n";
        }
        out_ += "</main>\n";
    }

private:
    int target(std::string_view name) {
        const std::string key(name);
        if (const auto it = targets_.find(key); it != targets_.end()) return it->second;
        const auto& sections = notebook_.sections;
        auto nameAt = [&](int i) -> std::optional<std::string_view> {
            if (i < static_cast<int>(sections.size())) return sections[static_cast<std::size_t>(i)].name();
            return std::nullopt;
        };
        const int t = SectionLinkTarget(nameAt, name);
        targets_.emplace(key, t);
        return t;
    }

    void body(std::string_view text) {
        std::size_t pos = 0;
        for (const LinkRun& run : FindLinks(text)) {
            plain(text.substr(pos, run.start - pos));
            const std::string_view link = text.substr(run.start, run.length);
            if (link.starts_with(kSectionLinkPrefix)) {
                const std::string_view name = link.substr(kSectionLinkPrefix.size());
                const int t = target(name);
                if (t >= 0) {
                    out_ += "<a href=\"#s" + std::to_string(t) + "\">";
                } else {
                    out_ += R"(<span class="missing" title=")";
                    appendEscaped(out_, SectionNotFoundText(name));
                    out_ += "\">";
                }
                plain(link);
                out_ += t >= 0 ? "</a>" : "</span>";
            } else if (const LinkKind kind = kindOf(link); kind == LinkKind::Other) {
                // file: and ftp: addresses name places on the reader's machine or network,
                // not on the web: the page shows them as text.
                plain(link);
            } else {
                const bool bare = kind == LinkKind::Bare;
                out_ += "<a href=\"";
                if (bare) out_ += "http://";
                appendText(out_, link);
                out_ += "\">";
                plain(link);
                out_ += "</a>";
            }
            pos = run.start + run.length;
        }
        plain(text.substr(pos));
    }

    // Text without links; CR LF becomes one line break.
    void plain(std::string_view text) {
        std::string utf8 = cp1251::toUtf8(text);
        DropCrBeforeLf(utf8);
        appendEscaped(out_, utf8);
    }

    const NotebookSnapshot& notebook_;
    std::string& out_;
    std::unordered_map<std::string, int> targets_;
};

}  // namespace

std::string NotebookHtml(const NotebookSnapshot& notebook, std::string_view title) {
    std::string out;
    out.reserve(4096 + notebook.sections.size() * 160);
    out +=
        "<!DOCTYPE html>\n<html lang=\"ru\">\n<head>\n<meta charset=\"utf-8\">\n"
        "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<title>";
    appendEscaped(out, title);
    out += "</title>\n<style>";
    out += kStyle;
    out += "</style>\n</head>\n<body>\n<h1>";
    appendEscaped(out, title);
    out += "</h1>\n";
    PageWriter page(notebook, out);
    page.tableOfContents();
    page.sections();
    out += "</body>\n</html>\n";
    return out;
}

}  // namespace lark::files
