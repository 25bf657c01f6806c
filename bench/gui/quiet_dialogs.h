#pragma once
// Dialogs for the window benchmarks: they must never wait for a click, so errors go to
// stderr and every question is answered at once.
#include <cstdio>

#include "main/dialogs.h"

namespace lark::bench {

class QuietDialogs : public gui::Dialogs {
public:
    void errorBox(QWidget*, const QString& text) override {
        std::fprintf(stderr, "error: %s\n", text.toLocal8Bit().constData());
    }
    void message(QWidget*, const QString&) override {}
    bool confirm(QWidget*, const QString&) override { return false; }
    Answer askSaveChanges(QWidget*) override { return Answer::No; }
};

}  // namespace lark::bench
