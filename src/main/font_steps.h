#pragma once
// The temporary font sizes of the editor and the tree. The font commands step a size by
// one point with no bound in either direction. Qt accepts only positive point sizes, so
// the size kept here is the logical one (it goes on to 0, -1, ...) and the widget's font
// gets max(1, size) points: at and below one point the text stays at one point.
class QWidget;

namespace lark::gui {

class SteppedFontSize {
public:
    // Starts from the widget's font: its point size, or its pixel size converted to
    // points at the widget's resolution (13 pixels at 96 dpi: 10 points).
    void reset(const QWidget& widget);
    bool initialized() const { return initialized_; }
    int points() const { return points_; }
    // Adds delta to the size (taking the widget's size first when not yet initialised)
    // and gives the widget its font at the new size.
    void step(QWidget& widget, int delta);

private:
    int points_ = 0;
    bool initialized_ = false;
};

}  // namespace lark::gui
