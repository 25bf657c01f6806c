#pragma once
// What the find-all panel needs of the window it lists matches for: the notebook, the tree
// model whose removals it watches, the way commands run, and the status line. The window
// implements it; the panel knows nothing else of the window.
#include <functional>

class QString;

namespace lark {
class Document;
}

namespace lark::gui {

class SectionModel;

class FindAllHost {
public:
    virtual Document& document() = 0;
    virtual SectionModel* sectionModel() const = 0;
    // Runs `command` as a menu command runs; false when the window could not run it now.
    virtual bool runCommand(const std::function<void()>& command) = 0;
    virtual void setStatusText(const QString& text) = 0;

protected:
    ~FindAllHost() = default;
};

}  // namespace lark::gui
