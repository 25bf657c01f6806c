// Password protection of the notebook: protect, change the password, remove the
// protection; the password asked for when a sealed notebook or recovery copy opens; the
// caption that shows the protection; the question before an export in the clear.
#include <fcntl.h>
#include <sys/stat.h>

#include <QAction>
#include <QApplication>
#include <QFileInfo>

#include "document/errors.h"
#include "document/file_access.h"
#include "document/sealed_envelope.h"
#include "document/unique_fd.h"
#include "main/dialogs.h"
#include "main/recovery_keeper.h"
#include "main/tframe.h"
#include "main/window_ui.h"

namespace lark::gui {

namespace {

constexpr const char* kNewPasswordText = "Новый пароль:";
constexpr const char* kRepeatPasswordText = "Повторите пароль:";
constexpr const char* kCurrentPasswordText = "Текущий пароль:";
constexpr const char* kEmptyPasswordText = "Пароль не может быть пустым";
constexpr const char* kMismatchText = "Пароли не совпадают";
constexpr const char* kWrongPasswordText = "Неверный пароль";
constexpr const char* kUnprotectText = "Снять защиту паролем? Блокнот будет сохраняться без шифрования.";
constexpr const char* kExportPlainText = "Экспорт сохранит текст без шифрования. Продолжить?";
constexpr const char* kProtectedCaption = " (защищён паролем)";

QString u8(const char* text) { return QString::fromUtf8(text); }

// The password as UTF-8, its copies overwritten as soon as they are used.
struct TypedPassword {
    QString text;
    ~TypedPassword() { text.fill(QChar(u'\0')); }
};

// The derivation takes a moment (Argon2 on purpose).
std::shared_ptr<const SealKey> derive(const QString& password, const SealParams& params) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    struct Restore {
        ~Restore() { QApplication::restoreOverrideCursor(); }
    } restore;
    QByteArray utf8 = password.toUtf8();
    struct Wipe {
        QByteArray& b;
        ~Wipe() { b.fill('\0'); }
    } wipe{utf8};
    return SealKey::derive(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())), params);
}

}  // namespace

std::shared_ptr<const SealKey> TFrame::askKeyFor(
    const SealParams& params, const QString& prompt,
    const std::function<bool(const std::shared_ptr<const SealKey>&)>& opens) {
    for (;;) {
        TypedPassword password;
        if (!dialogs_.askPassword(this, prompt, password.text)) return nullptr;
        std::shared_ptr<const SealKey> key = derive(password.text, params);
        if (opens(key)) return key;
        ShowErrorBox(u8(kSealBrokenText));
    }
}

bool TFrame::askFileKey(const std::string& path, std::shared_ptr<const SealKey>& key) {
    key.reset();
    UniqueFd fd;
    struct stat st {};
    try {
        fd = UniqueFd(OpenRegularFile(path, O_RDONLY | O_CLOEXEC));
    } catch (const LarkError&) {
        return true;  // the load reports why it cannot be read
    }
    char head[kSealHeaderSize];
    if (::fstat(fd.get(), &st) != 0 || st.st_size < static_cast<off_t>(kSealMarker.size())) return true;
    try {
        readExactly(fd.get(), head, kSealMarker.size(), 0);
        if (!IsSealed(std::string_view(head, kSealMarker.size()))) return true;
        if (st.st_size < static_cast<off_t>(kSealHeaderSize)) throw LarkError(kSealBrokenText, ErrorKind::Sealed);
        readExactly(fd.get(), head, kSealHeaderSize, 0);
        const SealParams params = ReadSealParams(std::string_view(head, kSealHeaderSize));
        const QString name = QFileInfo(QString::fromStdString(path)).fileName();
        key =
            askKeyFor(params, QStringLiteral("Пароль блокнота «%1»:").arg(name),
                      [&](const std::shared_ptr<const SealKey>& k) { return SealKeyOpens(fd.get(), st.st_size, *k); });
    } catch (const LarkError& e) {
        ShowErrorBox(QString::fromUtf8(e.what()));
        return false;
    }
    return key != nullptr;
}

std::shared_ptr<const SealKey> TFrame::askNewKey() {
    for (;;) {
        TypedPassword first, second;
        if (!dialogs_.askPassword(this, u8(kNewPasswordText), first.text)) return nullptr;
        if (first.text.isEmpty()) {
            dialogs_.message(this, u8(kEmptyPasswordText));
            continue;
        }
        if (!dialogs_.askPassword(this, u8(kRepeatPasswordText), second.text)) return nullptr;
        if (first.text != second.text) {
            dialogs_.message(this, u8(kMismatchText));
            continue;
        }
        // A fresh salt for every new password.
        return derive(first.text, FreshSealParams());
    }
}

void TFrame::sealChanged(const QString& status) {
    // The notebook is written again at once when it has a file: what is on disk follows the
    // protection now, not at some later save.
    doc_->setTreeModified(true);
    recovery_->noteChange();
    if (!doc_->FFileName.empty()) miSaveClick();
    ui_->setStatusText(status);
}

void TFrame::miProtectClick() {
    if (doc_->sealKey) return;
    std::shared_ptr<const SealKey> key = askNewKey();
    if (!key) return;
    doc_->sealKey = std::move(key);
    sealChanged(QStringLiteral("Блокнот защищён паролем"));
}

void TFrame::miChangePasswordClick() {
    if (!doc_->sealKey) return;
    {
        TypedPassword current;
        if (!dialogs_.askPassword(this, u8(kCurrentPasswordText), current.text)) return;
        const QByteArray utf8 = current.text.toUtf8();
        QApplication::setOverrideCursor(Qt::WaitCursor);
        const bool same =
            SamePassword(*doc_->sealKey, std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())));
        QApplication::restoreOverrideCursor();
        if (!same) {
            ShowErrorBox(u8(kWrongPasswordText));
            return;
        }
    }
    std::shared_ptr<const SealKey> key = askNewKey();
    if (!key) return;
    doc_->sealKey = std::move(key);
    sealChanged(QStringLiteral("Пароль изменён"));
}

void TFrame::miUnprotectClick() {
    if (!doc_->sealKey) return;
    if (!dialogs_.confirm(this, u8(kUnprotectText))) return;
    doc_->sealKey.reset();
    sealChanged(QStringLiteral("Защита паролем снята"));
}

QString TFrame::sealCaption(const QString& title) {
    const bool sealed = doc_->sealKey != nullptr;
    if (miProtect) {
        miProtect->setEnabled(!sealed);
        miChangePassword->setEnabled(sealed);
        miUnprotect->setEnabled(sealed);
    }
    if (!sealed) return title;
    const QString dash = QStringLiteral(" — ");
    const qsizetype at = title.lastIndexOf(dash);
    return at < 0 ? title.trimmed() + u8(kProtectedCaption) : title.left(at) + u8(kProtectedCaption) + title.mid(at);
}

bool TFrame::confirmPlainExport() { return !doc_->sealKey || dialogs_.confirm(this, u8(kExportPlainText)); }

}  // namespace lark::gui
