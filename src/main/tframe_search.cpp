// Search commands of the "&Правка" menu: find in the section, global search, search
// again, and the nearest-dates report. They come with the search change; until then
// they do nothing.
#include "main/tframe.h"

namespace lark::gui {

void TFrame::miFindClick() {}
void TFrame::miEntireSearchClick() {}
void TFrame::miSearchAgainClick() {}
void TFrame::miNearestDatesClick() {}

}  // namespace lark::gui
