// TStringGrid: the string grid the control builds on. A scrolling table of texts
// with one integer object per cell, fixed rows and columns that stay in view, a
// current cell (Col, Row), column widths and row heights where -1 hides the column
// or row, an in-place text editor, and a canvas each cell is drawn on through the
// virtual DrawCell. The data lives in a plain TGridData; this class lays it out,
// paints it and turns mouse and keyboard input into cell moves and edits.
#pragma once

#include <QAbstractScrollArea>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "GridCanvas.h"
#include "GridData.h"
#include "GridTypes.h"

class QLineEdit;

// The record of the erase-background request a paint starts with.
struct TWMEraseBkgnd {
  int Result = 0;  // 1: the background counts as erased, nothing is filled
};

class TStringGrid : public QAbstractScrollArea {
  Q_OBJECT

 public:
  using TColor = QSGrid::TColor;
  using TRect = QSGrid::TRect;
  using TGridCoord = QSGrid::TGridCoord;
  using TGridDrawState = QSGrid::TGridDrawState;
  using TGridOptions = QSGrid::TGridOptions;
  using TShiftState = QSGrid::TShiftState;
  using TFont = QSGrid::TFont;
  using TCanvas = QSGrid::TCanvas;
  using TGridRowStrings = QSGrid::TGridRowStrings;

  using TNotifyEvent = std::function<void(QObject* Sender)>;
  using TSelectCellEvent =
      std::function<void(QObject* Sender, int ACol, int ARow, bool& CanSelect)>;
  using TDrawCellEvent = std::function<void(QObject* Sender, int ACol, int ARow, const TRect& Rect,
                                            TGridDrawState State)>;

  explicit TStringGrid(QWidget* AOwner = nullptr);
  ~TStringGrid() override;

  // ---- size and layout ----
  int ColCount() const;
  void SetColCount(int Value);
  int RowCount() const;
  void SetRowCount(int Value);
  int FixedCols() const { return fixedCols_; }
  void SetFixedCols(int Value);
  int FixedRows() const { return fixedRows_; }
  void SetFixedRows(int Value);
  int DefaultColWidth() const;
  void SetDefaultColWidth(int Value);  // resets every column's width
  int DefaultRowHeight() const;
  void SetDefaultRowHeight(int Value);  // resets every row's height
  int ColWidths(int ACol) const;
  void SetColWidths(int ACol, int Value);
  int RowHeights(int ARow) const;
  void SetRowHeights(int ARow, int Value);
  int GridLineWidth() const { return gridLineWidth_; }
  void SetGridLineWidth(int Value);

  // ---- current cell and scrolling ----
  int Col() const { return col_; }
  void SetCol(int Value);
  int Row() const { return row_; }
  void SetRow(int Value);
  int TopRow() const { return topRow_; }
  void SetTopRow(int Value);
  int LeftCol() const { return leftCol_; }
  void SetLeftCol(int Value);
  // Non-fixed columns and rows fully in view from LeftCol and TopRow.
  int VisibleColCount() const;
  int VisibleRowCount() const;

  // ---- looks and behaviour ----
  TGridOptions Options() const { return options_; }
  void SetOptions(TGridOptions Value);
  bool DefaultDrawing() const { return defaultDrawing_; }
  void SetDefaultDrawing(bool Value);
  TColor Color() const { return color_; }
  void SetColor(TColor Value);
  TColor FixedColor() const { return fixedColor_; }
  void SetFixedColor(TColor Value);
  const TFont& Font() const { return font_; }
  void SetFont(const TFont& Value);
  TCanvas& Canvas() { return canvas_; }
  bool TabStops(int ACol) const;
  void SetTabStops(int ACol, bool Value);

  // ---- cells ----
  std::string GetCells(int ACol, int ARow) const;
  void SetCells(int ACol, int ARow, std::string_view Value);
  std::intptr_t GetObjects(int ACol, int ARow) const;
  void SetObjects(int ACol, int ARow, std::intptr_t Value);
  TGridRowStrings GetRows(int ARow) const;
  void SetRows(int ARow, const TGridRowStrings& Value);
  TGridRowStrings GetCols(int ACol) const;
  // Empties every text and object of the row.
  void ClearRow(int ARow);
  const QSGrid::TGridData& Data() const { return data_; }

  // ---- structure ----
  // Room for this many rows, for a caller about to add them one at a time.
  void ReserveRows(int count) { data_.ReserveRows(count); }
  void MoveRow(int FromIndex, int ToIndex);
  void MoveColumn(int FromIndex, int ToIndex);
  void DeleteRow(int ARow);
  void DeleteColumn(int ACol);

  // ---- geometry (client coordinates of the viewport) ----
  // The cell's box without its grid lines; empty when the cell is not in view.
  TRect CellRect(int ACol, int ARow) const;
  void MouseToCell(int X, int Y, int& ACol, int& ARow) const;
  TGridCoord MouseCoord(int X, int Y) const;  // -1, -1 on no cell

  // ---- repainting ----
  void InvalidateCell(int ACol, int ARow);
  void InvalidateCol(int ACol);
  void InvalidateRow(int ARow);
  void InvalidateGrid();
  // While the count is above zero, cell changes request no repaint; the last
  // release repaints the whole grid.
  void SetUpdateState(bool Updating);
  bool IsUpdating() const { return updateLock_ > 0; }

  // ---- in-place editor ----
  void SetEditorMode(bool Value);
  void ShowEditor();
  void HideEditor();
  QLineEdit* InplaceEditor() const { return editor_; }
  bool IsEditorShowing() const;
  // When a key last changed the editor's text (ms since the epoch), 0 before any.
  qint64 LastEditAt() const { return lastEditAt_; }
  // Moves the keyboard focus to the next (or previous) control of the window after the grid.
  void LeaveGrid(bool Forward);
  // Opens the grid's own context menu at the current cell, as the menu key does.
  void PopupMenuAtCell();

  // ---- virtual operations ----
  virtual void DrawCell(int ACol, int ARow, const TRect& ARect, TGridDrawState AState);
  virtual bool SelectCell(int ACol, int ARow);
  virtual void Click();
  virtual void DblClick();
  virtual void TopLeftChanged();
  virtual void ColWidthsChanged();
  virtual void RowHeightsChanged();
  virtual void SetEditText(int ACol, int ARow, const std::string& Value);
  virtual std::string GetEditText(int ACol, int ARow);
  virtual void WMEraseBkgnd(TWMEraseBkgnd& Message);
  virtual bool CanEditShow() const;
  // The grid's key handling with virtual-key codes: cell moves, tab, editor keys.
  virtual void KeyDown(std::uint16_t& Key, TShiftState Shift);
  // Makes the cell current as a keyboard or mouse move does: asks SelectCell, moves,
  // updates the editor, and fires the click notification.
  void FocusCell(int ACol, int ARow, bool MoveAnchor = true);
  // Ends any mouse selection or line dragging the grid is tracking.
  void CancelMode();
  // Whether the grid or its in-place editor has the keyboard focus.
  bool GridHasFocus() const;

  // ---- events ----
  TNotifyEvent OnClick;
  TNotifyEvent OnDblClick;
  TNotifyEvent OnTopLeftChanged;
  TSelectCellEvent OnSelectCell;
  TDrawCellEvent OnDrawCell;

 protected:
  // The draw state a paint gives the cell.
  TGridDrawState PaintState(int ACol, int ARow) const;
  // Resets the canvas to the grid's font and the cell's base brush before a cell.
  void PrepareCanvas(TGridDrawState AState);
  // Runs f; the silent abort is dropped, anything else goes to the exception display.
  template <typename F>
  void Guarded(F&& f);
  bool IsPainting() const { return painting_; }
  // Moves the current cell if SelectCell agrees; true when it moved or stayed.
  bool MoveCurrent(int ACol, int ARow, bool Show);
  void UpdateEdit();
  void ClampInView();
  // Puts the current cell at (ACol, ARow), clamped to the grid, without asking
  // SelectCell and without the click notification.
  void SetCurrentCell(int ACol, int ARow);
  void UpdateScrollBars();
  static TShiftState ShiftFromModifiers(Qt::KeyboardModifiers modifiers);
  // Ctrl+Tab and Ctrl+Shift+Tab leave the grid; the menu key and Shift+F10 open its menu.
  // True when the key was one of them and has been handled.
  bool LeaveOrMenuKey(const QKeyEvent* e);

  bool event(QEvent* e) override;
  bool viewportEvent(QEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;
  void paintEvent(QPaintEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void mouseDoubleClickEvent(QMouseEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void wheelEvent(QWheelEvent* e) override;
  void focusInEvent(QFocusEvent* e) override;
  void focusOutEvent(QFocusEvent* e) override;
  void scrollContentsBy(int dx, int dy) override;

 private:
  struct Layout;
  int ColumnX(int ACol) const;  // left edge in client coordinates, or INT_MIN when out of view
  int RowY(int ARow) const;
  int ExtentOf(int size) const;  // pixels a row or column takes with its grid line
  void SizesChanged(bool cols);
  void AfterStructureChange();
  void PaintCells(QPainter& painter, const QRect& area);
  // A shown column or row: its index, where it starts and its size, without the grid line.
  struct Band {
    int index;
    int start;
    int size;
  };
  // The columns (or rows) shown before the viewport's edge at limit: the fixed ones, then
  // those from the first scrolled-in one.
  std::vector<Band> ShownBands(bool cols, int limit) const;
  // Where the last band with an index below the given one ends with its grid line; 0 if none.
  int EndOfBands(const std::vector<Band>& bands, int below) const;
  void PaintGridLines(QPainter& painter);
  void StartSizing(int x, int y);
  bool SizingHit(int x, int y, bool& cols, int& index) const;
  void HandleTextKey(QKeyEvent* e);
  // Enter ends the typing: the text stays, the editor closes.
  void ConfirmEditor();
  // Escape puts back the text the cell had when the editor opened on it, and closes it.
  void RevertEditor();
  void EditorTextEdited(const QString& text);
  int MaxTopRow() const;
  int MaxLeftCol() const;

  QSGrid::TGridData data_;
  int fixedCols_ = 1;
  int fixedRows_ = 1;
  int gridLineWidth_ = 1;
  int col_ = 1;
  int row_ = 1;
  int topRow_ = 1;
  int leftCol_ = 1;
  TGridOptions options_ = QSGrid::DefaultGridOptions;
  bool defaultDrawing_ = true;
  TColor color_ = QSGrid::clWindow;
  TColor fixedColor_ = QSGrid::clBtnFace;
  TFont font_;
  TCanvas canvas_;
  std::vector<bool> tabStops_;
  int updateLock_ = 0;
  bool editorMode_ = false;
  QLineEdit* editor_ = nullptr;
  int editorCol_ = -1;
  int editorRow_ = -1;
  bool loadingEditor_ = false;
  std::string editorOriginal_;  // the cell's text when the editor was loaded or confirmed
  qint64 lastEditAt_ = 0;
  bool painting_ = false;
  bool pendingColsChanged_ = false;
  bool pendingRowsChanged_ = false;
  bool selecting_ = false;  // a mouse selection waits for its release
  // Column or row sizing by dragging a line in the fixed area.
  int sizingIndex_ = -1;
  bool sizingCols_ = false;
  int sizingStart_ = 0;
  int sizingOrigSize_ = 0;
  bool scrollGuard_ = false;
  bool structurePending_ = false;  // a structure change waits for the update lock's release
  qint64 editorShownAt_ = 0;       // when a mouse press last showed the editor (ms)
};

// Holds a grid's update state for a scope: a caller filling many rows gets one repaint,
// one scroll-bar layout and one editor reload at the end instead of one per row.
class TGridUpdateBatch {
 public:
  explicit TGridUpdateBatch(TStringGrid& grid) : grid_(grid) { grid_.SetUpdateState(true); }
  ~TGridUpdateBatch() {
    try {
      grid_.SetUpdateState(false);
    } catch (...) {
      // Only the editor's reload can fail here; the grid is repainted all the same.
    }
  }
  TGridUpdateBatch(const TGridUpdateBatch&) = delete;
  TGridUpdateBatch& operator=(const TGridUpdateBatch&) = delete;

 private:
  TStringGrid& grid_;
};

template <typename F>
void TStringGrid::Guarded(F&& f) {
  try {
    f();
  } catch (const Platform::EAbort&) {
  } catch (const std::exception& e) {
    QSGrid::HandleApplicationException(e);
  }
}
