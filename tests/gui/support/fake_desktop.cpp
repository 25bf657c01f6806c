#include "support/fake_desktop.h"

#include <QCoreApplication>

namespace lark::guitest {

namespace {

FakeDesktopState& state() {
    static FakeDesktopState s;
    return s;
}

class FakeTray : public gui::TrayArea {
public:
    FakeTray() {
        state().click = [this](int id, gui::TrayClick click) {
            if (onClick) onClick(id, click);
            QCoreApplication::processEvents();
        };
    }
    ~FakeTray() override { state().click = nullptr; }
    bool available() const override { return state().trayHost; }
    bool add(int id, const QIcon& image, const QString& tip, QMenu*, bool waitForHost) override {
        state().icons.erase(id);
        if (!available() && !waitForHost) return false;
        state().icons[id] = {image, tip};
        return available();
    }
    void remove(int id) override { state().icons.erase(id); }
    bool has(int id) const override { return state().icons.contains(id); }
    QIcon icon(int id) const override { return has(id) ? state().icons.at(id).image : QIcon(); }
    QString tip(int id) const override { return has(id) ? state().icons.at(id).tip : QString(); }
};

class FakeWindows : public gui::WindowSystem {
public:
    FakeWindows() {
        state().destroy = [this](gui::WindowHandle w) {
            state().windows.erase(w);
            if (onWindowGone) onWindowGone(w);
        };
        state().pressHotKey = [this] {
            if (onHotKey) onHotKey();
        };
    }
    ~FakeWindows() override {
        state().destroy = nullptr;
        state().pressHotKey = nullptr;
    }
    HotKey grabHotKey() override { return state().grab; }
    void ungrabHotKey() override {}
    gui::WindowHandle activeWindow() override { return state().active; }
    QIcon windowIcon(gui::WindowHandle w) override { return find(w) ? find(w)->icon : QIcon(); }
    std::string windowTitle(gui::WindowHandle w) override { return find(w) ? find(w)->title : std::string(); }
    bool withdraw(gui::WindowHandle w) override {
        if (!find(w)) return false;
        find(w)->mapped = false;
        return true;
    }
    void restore(gui::WindowHandle w) override {
        if (!find(w)) return;  // gone meanwhile
        find(w)->mapped = true;
        state().restored.push_back(w);
    }

private:
    static FakeDesktopState::Foreign* find(gui::WindowHandle w) {
        const auto it = state().windows.find(w);
        return it == state().windows.end() ? nullptr : &it->second;
    }
};

gui::DesktopShell ForwardingShell() {
    gui::DesktopShell shell;
    shell.openUrl = [](const QUrl& url) { return state().shell.openUrl(url); };
    shell.startProgram = [](const QString& program, const QStringList& arguments) {
        return state().shell.startProgram(program, arguments);
    };
    shell.mountPoints = [] { return state().shell.mountPoints(); };
    return shell;
}

}  // namespace

FakeDesktopState& UseFakeDesktop() {
    state() = FakeDesktopState{};
    gui::SetDesktopFactory([] {
        return gui::Desktop{std::make_unique<FakeTray>(), std::make_unique<FakeWindows>(), ForwardingShell()};
    });
    return state();
}

void UseRealDesktop() {
    gui::SetDesktopFactory(nullptr);
    state().shell = gui::DesktopShell();  // nothing of the last test's stand-ins stays
}

}  // namespace lark::guitest
