#include "main/icons.h"

#include <QFile>
#include <cstring>

static void initLarkpadResources() { Q_INIT_RESOURCE(larkpad); }

namespace lark::gui {

namespace {
struct ThemeName {
    const char* bundled;
    const char* theme;
};
constexpr ThemeName kThemeNames[] = {
    {"open", "document-open"}, {"save", "document-save"},   {"new-node", "document-new"}, {"delete", "edit-delete"},
    {"move-up", "go-up"},      {"move-down", "go-down"},    {"to-top", "go-top"},         {"to-bottom", "go-bottom"},
    {"find", "edit-find"},     {"print", "document-print"}, {"folder", "folder"},         {"note", "text-x-generic"},
};
}  // namespace

void InitIconResources() {
    static bool done = false;
    if (!done) {
        initLarkpadResources();
        done = true;
    }
}

QIcon AppIcon(const char* name) {
    InitIconResources();
    QIcon bundled(QStringLiteral(":/icons/%1.svg").arg(QLatin1String(name)));
    for (const auto& t : kThemeNames)
        if (std::strcmp(t.bundled, name) == 0) return QIcon::fromTheme(QLatin1String(t.theme), bundled);
    return bundled;
}

QIcon ProgramIcon() {
    InitIconResources();
    return QIcon(QStringLiteral(":/icons/larkpad.svg"));
}

}  // namespace lark::gui
