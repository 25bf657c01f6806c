#include "main/spelling_control.h"

#include <QAction>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QThreadPool>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>

#include "document/errors.h"
#include "editor/editor.h"
#include "main/background_pool.h"
#include "main/interface_settings.h"
#include "spelling/spell_checker.h"

namespace lark::gui {

namespace {

constexpr const char* kSpellCheckKey = "SpellCheck";
constexpr const char* kSpellLanguagesKey = "SpellLanguages";

// The checker loaded last, kept for the program's life: the next window, or the option
// switched on again, takes it at once (its verdicts and skipped words with it) instead of
// loading the same dictionaries again. Never freed: the program's end need not wait for it.
struct LastLoaded {
    std::string key;  // the dictionaries' files and the word list it was loaded from
    std::shared_ptr<spelling::SpellChecker> checker;
};
// Dictionaries are loaded and freed on a thread of their own: the background pool's threads
// are kept for saves and recovery copies.
QThreadPool& dictionaryThread() {
    static auto* pool = [] {
        auto* p = new QThreadPool;  // lives as long as the process: a load may still end at exit
        p->setMaxThreadCount(1);
        return p;
    }();
    return *pool;
}

LastLoaded& lastLoaded() {
    static auto* last = new LastLoaded;
    return *last;
}

}  // namespace

QString SpellingControl::missingHint() {
    return QStringLiteral("Словари Hunspell не найдены: их ставят пакеты %1")
        .arg(QString::fromUtf8(spelling::kDictionaryPackages.data(),
                               static_cast<qsizetype>(spelling::kDictionaryPackages.size())));
}

SpellingControl::SpellingControl(NoteEditor& editor, QMenu& options, QWidget* window)
    : QObject(window), editor_(editor), window_(window), highlighter_(InstallSpellHighlighter(&editor)) {
    setObjectName(QStringLiteral("spellingControl"));
    chooseDictionaries = [this](const auto& found, const auto& chosen) {
        return ChooseDictionariesDialog(window_, found, chosen);
    };
    found_ = spelling::FindDictionaries(spelling::HunspellFolders());
    options.addSeparator();
    miSpellCheck_ = options.addAction(QStringLiteral("Проверка орфографии"));
    miSpellCheck_->setObjectName(QStringLiteral("miSpellCheck"));
    miSpellCheck_->setCheckable(true);
    miDictionaries_ = options.addAction(QStringLiteral("Словари..."));
    miDictionaries_->setObjectName(QStringLiteral("miDictionaries"));
    if (found_.empty()) {
        miSpellCheck_->setEnabled(false);
        miSpellCheck_->setStatusTip(missingHint());
        miSpellCheck_->setToolTip(missingHint());
        miDictionaries_->setStatusTip(missingHint());
    } else {
        miSpellCheck_->setStatusTip(QStringLiteral("Подчёркивать слова, которых нет в словарях"));
        miDictionaries_->setStatusTip(QStringLiteral("Выбрать словари проверки орфографии"));
    }
    highlighter_->textMenu = [window] { return window->findChild<QMenu*>(QStringLiteral("pmTextMenu")); };
    highlighter_->onWordListError = [this](const QString& text) {
        if (onNotice) onNotice(text);
    };
    connect(miSpellCheck_, &QAction::triggered, this, &SpellingControl::optionClicked);
    connect(miDictionaries_, &QAction::triggered, this, &SpellingControl::dictionariesClicked);
    connect(&watcher_, &QFutureWatcherBase::finished, this, [this] {
        if (watcher_.isCanceled()) return;
        Loaded loaded = watcher_.result();
        if (!loaded.notice.isEmpty() && onNotice) onNotice(loaded.notice);
        // A load overtaken by another choice is dropped.
        if (loaded.checker) lastLoaded() = {watcher_.property("key").toString().toStdString(), loaded.checker};
        if (watcher_.property("generation").toInt() != generation_) return;
        loading_ = false;
        useChecker(std::move(loaded.checker));
    });
    apply();
}

// A load still running goes on and is dropped: it holds nothing of the window.
SpellingControl::~SpellingControl() = default;

bool SpellingControl::checking() const { return miSpellCheck_->isChecked(); }

void SpellingControl::readSettings(const IniFile& ini) {
    wanted_ = ini.readBool(kSettingsSection, kSpellCheckKey, true);
    languages_ = spelling::SplitLanguages(ini.value(kSettingsSection, kSpellLanguagesKey).value_or(""));
    apply();
}

void SpellingControl::writeSettings(IniFile& ini) const {
    ini.writeBool(kSettingsSection, kSpellCheckKey, wanted_);
    ini.setValue(kSettingsSection, kSpellLanguagesKey, spelling::JoinLanguages(languages_));
}

void SpellingControl::optionClicked() {
    wanted_ = miSpellCheck_->isChecked();
    apply();
}

void SpellingControl::dictionariesClicked() {
    if (found_.empty()) {
        if (onNotice) onNotice(missingHint());
        return;
    }
    const std::vector<std::string> chosen = languages_.empty() ? spelling::DefaultLanguages(found_) : languages_;
    const auto answer = chooseDictionaries(found_, chosen);
    if (!answer || *answer == chosen) return;
    // Nothing ticked is the option switched off; the dictionaries stay as they were.
    if (answer->empty()) wanted_ = false;
    else languages_ = *answer;
    apply();
}

// Loads the chosen dictionaries on a worker; the editor keeps its checker until then.
void SpellingControl::apply() {
    const bool on = wanted_ && !found_.empty();
    miSpellCheck_->setChecked(on);
    ++generation_;
    if (!on) {
        loading_ = false;
        useChecker(nullptr);
        return;
    }
    // The chosen dictionaries that are still there; the default ones when none is.
    std::vector<std::string> names;
    for (const std::string& name : languages_)
        if (std::ranges::find(found_, name, &spelling::DictionaryFile::name) != found_.end()) names.push_back(name);
    if (names.empty()) names = spelling::DefaultLanguages(found_);
    const auto found = found_;
    const std::string personal = spelling::PersonalWordsPath();
    std::string key = personal;
    for (const std::string& name : names)
        key += "\n" + std::ranges::find(found_, name, &spelling::DictionaryFile::name)->dicPath;
    if (lastLoaded().checker && lastLoaded().key == key) {
        loading_ = false;
        useChecker(lastLoaded().checker);
        return;
    }
    loading_ = true;
    watcher_.setProperty("generation", generation_);
    watcher_.setProperty("key", QString::fromStdString(key));
    watcher_.setFuture(QtConcurrent::run(&dictionaryThread(), [found, names, personal] {
        RunBelowWindowPriority();
        Loaded loaded;
        auto checker = std::make_shared<spelling::SpellChecker>();
        try {
            checker->loadDictionaries(found, names);
        } catch (const LarkError& e) {
            loaded.notice = QString::fromUtf8(e.what());
        }
        try {
            checker->usePersonalWords(personal);
        } catch (const LarkError& e) {
            loaded.notice = QStringLiteral("Личный словарь не прочитан: ") + QString::fromUtf8(e.what());
        }
        loaded.checker = std::move(checker);
        return loaded;
    }));
}

void SpellingControl::useChecker(std::shared_ptr<spelling::SpellChecker> checker) {
    std::shared_ptr<spelling::SpellChecker> old = std::move(current_);
    current_ = std::move(checker);
    highlighter_->setChecker(current_);
    if (old) {
        dictionaryThread().start([old = std::move(old)]() mutable {
            RunBelowWindowPriority();
            old.reset();
        });
    }
    emit checkerChanged();
}

std::optional<std::vector<std::string>> ChooseDictionariesDialog(QWidget* parent,
                                                                 const std::vector<spelling::DictionaryFile>& found,
                                                                 const std::vector<std::string>& chosen) {
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("dlgDictionaries"));
    dialog.setWindowTitle(QStringLiteral("Словари"));
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(QStringLiteral("Словари проверки орфографии:"), &dialog));
    auto* list = new QListWidget(&dialog);
    list->setObjectName(QStringLiteral("lbDictionaries"));
    for (const spelling::DictionaryFile& d : found) {
        auto* item = new QListWidgetItem(QString::fromStdString(d.name), list);
        item->setToolTip(QString::fromStdString(d.dicPath));
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(std::ranges::find(chosen, d.name) != chosen.end() ? Qt::Checked : Qt::Unchecked);
    }
    layout->addWidget(list);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    std::vector<std::string> names;
    // The ones ticked before keep their order; new ones follow in the list's order.
    for (const std::string& name : chosen)
        for (int i = 0; i < list->count(); ++i)
            if (list->item(i)->text().toStdString() == name && list->item(i)->checkState() == Qt::Checked)
                names.push_back(name);
    for (int i = 0; i < list->count(); ++i) {
        const std::string name = list->item(i)->text().toStdString();
        if (list->item(i)->checkState() == Qt::Checked && std::ranges::find(names, name) == names.end())
            names.push_back(name);
    }
    return names;
}

}  // namespace lark::gui
