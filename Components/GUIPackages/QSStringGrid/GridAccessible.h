// What a screen reader sees of the grid: the toolkit's table interface over the
// grid's cells. The grid draws its cells itself, so without this a reader finds
// one blank widget. The table exposes the non-fixed rows and columns that are not
// hidden (height or width -1), the fixed rows' texts as column headers, and every
// cell's text; check-box cells read as "checked" or "not checked". The grid calls
// the hooks below only while a reader listens.
#pragma once

class QAccessibleEvent;
class TStringGrid;

namespace QSGrid::accessibility {

// Registers the grid's interface with the toolkit; the first grid built calls it.
void Install();

namespace detail {
extern bool listening;  // user-interface thread only
}
// Whether a reader (the platform's bridge, or a test standing in for one) listens.
// It follows the toolkit's activation, so a run without one pays one read per hook.
inline bool ReaderListening() {
  return detail::listening;
}

// Where the grid's events go: the toolkit, and through it the platform's bridge, or
// a sink put in its place (the toolkit passes events on only while its platform
// bridge runs, so an in-process listener takes them here). Returns the previous
// sink; null is the toolkit.
using EventSink = void (*)(QAccessibleEvent* event);
EventSink InstallEventSink(EventSink sink);

// A cell's text changed (a header's or a data cell's).
void CellChanged(TStringGrid& grid, int ACol, int ARow);
// A whole row's texts changed.
void RowChanged(TStringGrid& grid, int ARow);
// The grid invalidated the current cell: tells the reader when it moved or the grid
// gained the focus.
void CurrentCellTouched(TStringGrid& grid);
// Rows from AFirst to ALast (grid indexes) were appended.
void RowsAppended(TStringGrid& grid, int AFirst, int ALast);
// The grid row ARow is about to be deleted.
void RowRemoving(TStringGrid& grid, int ARow);
// Rows or columns moved, appeared or disappeared in a way only a full re-read covers.
void Reset(TStringGrid& grid);
// The grid's last update lock was released: one re-read for what changed meanwhile.
void UpdateReleased(TStringGrid& grid);

}  // namespace QSGrid::accessibility
