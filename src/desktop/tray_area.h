#pragma once
// The notification area ("tray") as the window uses it: icons with an id, an image, a tip
// and an optional pop-up menu, and the clicks on them. SystemTrayArea puts them there with
// QSystemTrayIcon; tests put in a stand-in.
#include <QIcon>
#include <QObject>
#include <QString>
#include <functional>
#include <map>
#include <memory>

class QMenu;
class QSystemTrayIcon;

namespace lark::gui {

enum class TrayClick { Left, Double, Right, Middle };

class TrayArea {
public:
    virtual ~TrayArea() = default;

    // A tray host is running now.
    virtual bool available() const = 0;
    // Shows the icon `id` (replacing one of that id) and returns whether a tray host took
    // it. Without a host the icon is dropped, unless `waitForHost`: then it shows up when
    // a host starts.
    virtual bool add(int id, const QIcon& icon, const QString& tip, QMenu* menu, bool waitForHost) = 0;
    virtual void remove(int id) = 0;
    virtual bool has(int id) const = 0;
    virtual QIcon icon(int id) const = 0;
    virtual QString tip(int id) const = 0;

    // A click on the icon `id`.
    std::function<void(int id, TrayClick click)> onClick;
    // A tray host has come or gone.
    std::function<void()> onHostChanged;
};

class SystemTrayArea : public QObject, public TrayArea {
    Q_OBJECT
public:
    SystemTrayArea();
    ~SystemTrayArea() override;

    bool available() const override;
    bool add(int id, const QIcon& image, const QString& tipText, QMenu* menu, bool waitForHost) override;
    void remove(int id) override;
    bool has(int id) const override { return icons_.contains(id); }
    QIcon icon(int id) const override;
    QString tip(int id) const override;
    // The icon object itself (tests look at where the host put it).
    QSystemTrayIcon* trayIcon(int id) const;

private slots:
    void hostChanged();

private:
    std::map<int, QSystemTrayIcon*> icons_;
};

}  // namespace lark::gui
