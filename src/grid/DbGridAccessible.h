#pragma once

// The answer grid as assistive technology sees it: a table of the records in view, with the
// column titles as headers, the current cell, and each cell's text.

namespace tessel {

class TDbCustomGrid;

// Registers the grid's interface with Qt's accessibility (once; the grid calls it).
void InstallDbGridAccessibility();
// Tells assistive technology that the current cell or the records in view changed.
void NotifyDbGridCurrentCellChanged(TDbCustomGrid& grid);
void NotifyDbGridContentChanged(TDbCustomGrid& grid);

}  // namespace tessel
