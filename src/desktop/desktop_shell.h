#pragma once
// What the window asks of the desktop around it: open an address, start a program, list
// the mounted file systems. Tests bring their own to see what the window asks.
#include <QDesktopServices>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "finder/mount_list.h"

namespace lark::gui {

struct DesktopShell {
    // Opens `url` in the program the desktop has for it; false when none could be started.
    std::function<bool(const QUrl& url)> openUrl = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    // Starts `program` with `arguments` and does not wait for it.
    std::function<bool(const QString& program, const QStringList& arguments)> startProgram =
        [](const QString& program, const QStringList& arguments) {
            return QProcess::startDetached(program, arguments);
        };
    // The mount points the open-all scan searches; nothing when they cannot be listed.
    std::function<std::optional<std::vector<std::string>>()> mountPoints = [] { return finder::ReadMountPoints(); };
};

}  // namespace lark::gui
