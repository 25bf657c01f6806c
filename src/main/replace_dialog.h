#pragma once
// "Заменить": the non-modal dialog of find and replace. It holds the strings and options
// and tells the window which button was pressed; the window does the finding and the
// replacing (tframe_replace.cpp).
#include <QDialog>
#include <functional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace lark::gui {

class ReplaceDialog : public QDialog {
    Q_OBJECT
public:
    explicit ReplaceDialog(QWidget* parent);

    QString findText() const;
    QString replacement() const;
    bool matchCase() const;
    bool wholeNotebook() const;
    void setFindText(const QString& text);
    // The outcome line under the fields ("Заменено: N").
    void showResult(const QString& text);
    QString result() const;

    std::function<void()> onFindNext, onReplace, onReplaceAll;

private:
    QLineEdit* find_;
    QLineEdit* replace_;
    QCheckBox* matchCase_;
    QCheckBox* whole_;
    QLabel* result_;
};

}  // namespace lark::gui
