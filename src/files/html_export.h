#pragma once
// A notebook as one self-contained HTML5 page: a collapsible table of contents of the
// tree, then every section as a heading with its text in a <pre>. Section links
// ("file://@Name") become links within the page to the section a click in the window
// would select; other links are clickable; everything else is escaped.
#include <string>
#include <string_view>

#include "document/snapshot.h"

namespace lark::files {

// `title` is UTF-8. Section i of the notebook (absolute order) has the id "s<i>".
std::string NotebookHtml(const NotebookSnapshot& notebook, std::string_view title);

}  // namespace lark::files
