#include "main/replace_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "editing/text_replace.h"
#include "search/text_search.h"

namespace lark::gui {

namespace {
QString u8(const char* text) { return QString::fromUtf8(text); }
}  // namespace

ReplaceDialog::ReplaceDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("dlgReplace"));
    setWindowTitle(u8(kReplaceCaption));
    setModal(false);
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    find_ = new QLineEdit(this);
    find_->setObjectName(QStringLiteral("edFind"));
    find_->setMaxLength(static_cast<int>(kSearchTextMax));
    replace_ = new QLineEdit(this);
    replace_->setObjectName(QStringLiteral("edReplace"));
    replace_->setMaxLength(static_cast<int>(kSearchTextMax));
    form->addRow(u8("Найти:"), find_);
    form->addRow(u8("Заменить на:"), replace_);
    layout->addLayout(form);
    matchCase_ = new QCheckBox(u8("С учётом регистра"), this);
    matchCase_->setObjectName(QStringLiteral("cbMatchCase"));
    whole_ = new QCheckBox(u8("Во всём блокноте"), this);
    whole_->setObjectName(QStringLiteral("cbWholeNotebook"));
    layout->addWidget(matchCase_);
    layout->addWidget(whole_);
    result_ = new QLabel(this);
    result_->setObjectName(QStringLiteral("lbReplaceResult"));
    layout->addWidget(result_);

    auto* buttons = new QDialogButtonBox(this);
    auto button = [&](const char* name, const char* caption, QDialogButtonBox::ButtonRole role,
                      std::function<void()> ReplaceDialog::*handler) {
        auto* b = buttons->addButton(u8(caption), role);
        b->setObjectName(QLatin1String(name));
        b->setAutoDefault(false);
        if (handler)
            connect(b, &QPushButton::clicked, this, [this, handler] {
                if (this->*handler) (this->*handler)();
            });
        return b;
    };
    button("btFindNext", "Найти далее", QDialogButtonBox::ActionRole, &ReplaceDialog::onFindNext)->setDefault(true);
    button("btReplace", "Заменить", QDialogButtonBox::ActionRole, &ReplaceDialog::onReplace);
    button("btReplaceAll", "Заменить все", QDialogButtonBox::ActionRole, &ReplaceDialog::onReplaceAll);
    QPushButton* close = button("btClose", "Закрыть", QDialogButtonBox::RejectRole, nullptr);
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    buttons->setOrientation(Qt::Vertical);
    layout->addWidget(buttons);
    // A new search or option makes the last outcome stale.
    for (QLineEdit* e : {find_, replace_}) connect(e, &QLineEdit::textEdited, result_, &QLabel::clear);
}

QString ReplaceDialog::findText() const { return find_->text(); }
QString ReplaceDialog::replacement() const { return replace_->text(); }
bool ReplaceDialog::matchCase() const { return matchCase_->isChecked(); }
bool ReplaceDialog::wholeNotebook() const { return whole_->isChecked(); }
void ReplaceDialog::setFindText(const QString& text) { find_->setText(text); }
void ReplaceDialog::showResult(const QString& text) { result_->setText(text); }
QString ReplaceDialog::result() const { return result_->text(); }

}  // namespace lark::gui
