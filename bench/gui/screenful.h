#pragma once
// The editor benchmarks' baseline: one screenful of text laid out with QTextLayout, and
// letting the editor's queued work run.
#include <QApplication>
#include <QFontMetricsF>
#include <QString>
#include <QTextLayout>

#include "bench_util.h"
#include "editor/note_editor.h"

namespace lark::bench {

// A screenful on the bench machine (the absolute targets are ratios to it), and how many are
// timed for one figure.
inline constexpr double kBaselineOnBenchMachine = 0.00055;
inline constexpr int kScreenfulRuns = 15;

// One screenful of `text` laid out the way the editor shows it.
inline double screenful(const QString& text, const gui::NoteEditor& editor) {
    const QFontMetricsF fm(editor.font());
    const int rows = static_cast<int>(editor.viewport()->height() / fm.lineSpacing()) + 1;
    const qreal width = editor.viewport()->width();
    const qsizetype columns = static_cast<qsizetype>(width / fm.averageCharWidth()) + 1;
    return timeIt([&] {
        for (int r = 0; r < rows; ++r) {
            QTextLayout layout(text.mid(r * columns, columns), editor.font());
            layout.beginLayout();
            QTextLine line = layout.createLine();
            if (line.isValid()) line.setLineWidth(width);
            layout.endLayout();
        }
    });
}

inline void settle() {
    for (int i = 0; i < 3; ++i) QApplication::processEvents();
}

}  // namespace lark::bench
