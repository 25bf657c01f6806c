#include "main/font_steps.h"

#include <QFont>
#include <QWidget>
#include <algorithm>
#include <cmath>

namespace lark::gui {

void SteppedFontSize::reset(const QWidget& widget) {
    const QFont& font = widget.font();
    if (font.pointSizeF() > 0) {
        points_ = static_cast<int>(std::lround(font.pointSizeF()));
    } else {
        const int dpi = widget.logicalDpiY() > 0 ? widget.logicalDpiY() : 96;
        points_ = static_cast<int>(std::lround(font.pixelSize() * 72.0 / dpi));
    }
    initialized_ = true;
}

void SteppedFontSize::step(QWidget& widget, int delta) {
    if (!initialized_) reset(widget);
    points_ += delta;
    QFont font = widget.font();
    font.setPointSize(std::max(1, points_));
    widget.setFont(font);
}

}  // namespace lark::gui
