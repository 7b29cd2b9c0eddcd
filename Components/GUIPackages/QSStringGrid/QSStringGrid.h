// TQSStringGrid: the program's own string grid. On top of TStringGrid it keeps
// header titles, per-column precision, read-only rows and columns with their own
// colours, hidden rows and columns (a height or width of -1), cell-change events
// that can veto a change, a pre-drawing hook, check-box and drop-down columns, its
// own cell drawing with automatic row and column sizing, sorting by a column, and
// saving of column widths in the registry.
//
// Texts are UTF-8 std::string; cell objects plain integers the grid never frees;
// colours 0x00BBGGRR or 0x80000000 plus a system-colour index. A handler vetoes a
// change by leaving its bool& false; the grid then raises Platform::EAbort.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <QPixmap>

#include "CommonCodeLite.h"
#include "StringGrid.h"

class QComboBox;

namespace QSGrid {

// The component palette page the control belongs to.
inline constexpr const char* PalettePage = "Quorvane Software GUI";

struct TComponentRegistration {
  std::string ClassName;
  std::string Page;
};
// Adds TQSStringGrid to the palette once.
void Register();
const std::vector<TComponentRegistration>& RegisteredComponents();

// Sort types and flags of SortGridByColumn.
inline constexpr int SORT_TYPE_TEXT = 1;
inline constexpr int SORT_TYPE_INTEGER = 2;
inline constexpr int SORT_TYPE_FLOAT = 3;
inline constexpr int SORT_TYPE_DATETIME = 4;
inline constexpr int SORT_TYPE_INTEGER2 = 5;
inline constexpr int SORT_FLAG_ASCENDING = 1;
inline constexpr int SORT_FLAG_DATE = 2;
inline constexpr int SORT_FLAG_TIME = 4;
inline constexpr int SORT_FLAG_CASE_SENSITIVE = 8;

// Steps of DrawCell a hook can switch (bits of iOverrideFlags and iOverrideVals).
inline constexpr int DRAW_STEP_FIXED_COLOURS = 1;
inline constexpr int DRAW_STEP_SELECTED_COLOURS = 2;
inline constexpr int DRAW_STEP_NORMAL_COLOURS = 4;
inline constexpr int DRAW_STEP_FILL = 8;
inline constexpr int DRAW_STEP_FIXED_FRAME = 16;
inline constexpr int DRAW_STEP_OWN_TEXT = 32;
inline constexpr int DRAW_STEP_BASE_DRAWING = 64;

}  // namespace QSGrid

class TQSStringGrid : public TStringGrid {
  Q_OBJECT

 public:
  using TCellChangeEvent =
      std::function<void(int ACol, int ARow, const std::string& Value, bool& bAllowChange)>;
  using TAfterCellChangeEvent = std::function<void(int ACol, int ARow, const std::string& Value)>;
  using TBeforeDrawCellEvent = std::function<void(
      int ACol, int ARow, const TRect& ARect, TGridDrawState AState, std::string& asVal,
      int& iOverrideFlags, int& iOverrideVals, TFont& pFont)>;
  using TComboCodeList = std::map<std::string, int>;

  // Stands for every column without an entry of its own (precision and format).
  static constexpr int ALL_COLUMNS_KEY = -10;

  explicit TQSStringGrid(QWidget* AOwner = nullptr);
  ~TQSStringGrid() override;

  // ---- published properties ----
  bool MaxFlickerFree() const { return bMaxFlickerFree_m; }
  void SetMaxFlickerFree(bool Value) { bMaxFlickerFree_m = Value; }
  bool AlwaysDrawHeaders() const { return bAlwaysDrawHeaders_m; }
  void SetAlwaysDrawHeaders(bool Value) { bAlwaysDrawHeaders_m = Value; }
  const std::vector<std::string>& GetHeaderTitles() const { return *pHeaderTitles; }
  void SetHeaderTitles(const std::vector<std::string>& Value);
  bool AutoSizeRows() const { return bAutoSizeRows_m; }
  void SetAutoSizeRows(bool Value);
  bool AutoSizeCols() const { return bAutoSizeCols_m; }
  void SetAutoSizeCols(bool Value);
  int HeightMargin() const { return iHeightMargin_m; }
  void SetHeightMargin(int Value) { iHeightMargin_m = Value; }
  int WidthMargin() const { return iWidthMargin_m; }
  void SetWidthMargin(int Value) { iWidthMargin_m = Value; }
  // Rows, the fixed ones included, that are not hidden.
  int VisibleRowCount() const { return GetVisibleRowCount(); }

  TCellChangeEvent OnCellChange;
  TAfterCellChangeEvent AfterCellChange;
  TBeforeDrawCellEvent OnBeforeDrawCell;
  // OnSelectCell (the final word on selecting a cell) is TStringGrid's.

  // ---- set-up ----
  // After the owner has set the properties: writes the header titles into row 0.
  virtual void Loaded();
  void RefreshTitles();

  // ---- cell access ----
  std::string GetCells(int ACol, int ARow) const { return TStringGrid::GetCells(ACol, ARow); }
  void SetCells(int ACol, int ARow, const std::string& Value);
  void SetEditText(int ACol, int ARow, const std::string& Value) override;
  TGridRowStrings GetRows(int ARow);
  void SetRows(int ARow, const TGridRowStrings& Value);

  // ---- per-column settings ----
  void SetColumnPrecision(int ACol, int Precision);
  int GetColPrecision(int ACol) const;
  unsigned GetColFmt(int ACol) const;
  // The DT_* flags a column's text is drawn with (ALL_COLUMNS_KEY for every column
  // without its own); 0 unless set.
  void SetColumnFormat(int ACol, unsigned Format);
  void SetColumnReadOnlyFlag(int ACol, bool bReadOnly, TColor FontColour, int BackColour);
  void SetRowReadOnlyFlag(int ARow, bool bReadOnly, TColor FontColour, int BackColour);

  // ---- selection ----
  bool SelectCell(int ACol, int ARow) override;

  // ---- rows and columns ----
  void InsertRow(int ARow);
  void InsertColumn(int ACol);
  void RemoveRow(int ARow);
  void HideRow(int ARow);
  void UnHideRow(int ARow);
  bool IsRowHidden(int ARow) const;
  void HideCol(int ACol);
  void UnHideCol(int ACol);
  bool IsColHidden(int ACol) const;
  int GetVisibleRowCount() const;

  // ---- search ----
  int FindRow(int ACol, const std::string& Value, bool bIgnoreCase, int StartRow) const;
  int FindRowByObject(int ACol, std::intptr_t Object, int StartRow) const;

  // ---- repainting ----
  void ForceRowRepaint(int ARow);
  void ForceColRepaint(int ACol);

  // ---- batch updates ----
  void BeginUpdate();
  void EndUpdate();

  // ---- check-box and drop-down columns ----
  void SetColumnAsCheckBox(int ACol, const std::string& CheckedText,
                           const std::string& UncheckedText);
  bool GetColumnCheckedState(int ACol, int ARow) const;
  bool IsCheckBoxColumn(int ACol) const { return mapCheckBoxTexts_m.count(ACol) != 0; }
  void SetColumnCheckedState(int ACol, int ARow, bool bChecked);
  void SetColumnAsComboBox(int ACol, const std::vector<std::string>& Items);
  void SetColumnAsComboBox(int ACol, const TComboCodeList& Items);
  void Click() override;
  bool MoveEditor(QComboBox* Box);
  bool MoveInlineEditor(QObject* Editor);
  void ChangeComboBox(QObject* Sender);
  void ExitComboBox(QObject* Sender);
  void ComboKeyDown(QObject* Sender, std::uint16_t& Key, TShiftState Shift);
  void ComboKeyPress(QObject* Sender, char16_t& Key);
  void HideCustomEditors();
  void TopLeftChanged() override;
  void ColWidthsChanged() override;
  void RowHeightsChanged() override;
  // The column's drop-down list box, or null before its first use.
  QComboBox* ComboBoxOf(int ACol) const;

  // ---- drawing ----
  void DrawCell(int ACol, int ARow, const TRect& ARect, TGridDrawState AState) override;
  void WMEraseBkgnd(TWMEraseBkgnd& Message) override;
  const QPixmap& CheckedImage() const { return *pCheckedImage_m; }
  const QPixmap& UncheckedImage() const { return *pUncheckedImage_m; }
  // The arrow a drop-down column's cells show at their right edge.
  const QPixmap& DropDownImage() const { return *pDropDownImage_m; }

  // ---- sorting ----
  void SortGridByColumn(int ACol, int SortType, int SortFlags);
  int GetColumnSortState(int ACol) const;

  // ---- column layout persistence ----
  void SaveColumnsToRegistry(VIDodadaZadoVove::HKEY RootKey, const std::string& Key);
  void ReadColumnsFromRegistry(VIDodadaZadoVove::HKEY RootKey, const std::string& Key);

 protected:
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  struct TMyCheckBox {
    bool bChecked = false;
  };

  void ResyncCodes(int ARow);
  std::intptr_t CodeFor(int ACol, const std::string& Text);
  std::string FormatForColumn(int ACol, const std::string& Value) const;
  QComboBox* EnsureComboBox(int ACol);
  void OpenComboBox(QComboBox* Box, int ACol, int ARow);
  void CommitComboBox(QComboBox* Box);
  void CloseComboBox(QComboBox* Box);
  bool CellCheckedState(int ACol, int ARow);
  void AutoSizeCheck(int ACol, int ARow, const TRect& M, unsigned fmt);
  void MakeCheckBoxImages();
  bool DrawStepRuns(int step, int iOverrideFlags, int iOverrideVals) const;
  bool SwitchGridLines(int ACol, int ARow);
  void SetCellColours(int ACol, int ARow, TGridDrawState AState, const TFont& scratchFont);
  void DrawOwnText(int ACol, int ARow, const std::string& asVal, TRect& R);
  void DrawCellImages(int ACol, int ARow, const TRect& ARect, const TRect& R);
  void ForceRepaintCell(int ACol, int ARow);

  // Published state.
  bool bMaxFlickerFree_m = false;
  bool bAlwaysDrawHeaders_m = false;
  bool bAutoSizeRows_m = false;
  bool bAutoSizeCols_m = false;
  int iHeightMargin_m = 2;
  int iWidthMargin_m = 2;

  // Tables keyed by column or row index.
  std::map<int, int> mapColSortState_m;
  std::map<int, TColor> mapColReadOnlyFont_m;
  std::map<int, TColor> mapColReadOnlyBack_m;
  std::map<int, TColor> mapRowReadOnlyFont_m;
  std::map<int, TColor> mapRowReadOnlyBack_m;
  std::map<int, unsigned> mapColFormat_m;
  std::map<int, int> mapColPrecision_m;
  std::map<int, std::vector<std::string>> mapComboLists_m;
  std::map<int, TComboCodeList> mapComboCodeLists_m;
  std::map<int, QComboBox*> mapComboBoxes_m;
  std::map<int, std::vector<std::string>> mapCheckBoxTexts_m;
  std::map<int, std::unique_ptr<TMyCheckBox>> mapCheckBoxes_m;
  std::unique_ptr<std::vector<std::string>> pHeaderTitles;
  bool bSavedVertLine_m = true;
  bool bSavedHorzLine_m = true;
  std::unique_ptr<QPixmap> pCheckedImage_m;
  std::unique_ptr<QPixmap> pUncheckedImage_m;
  std::unique_ptr<QPixmap> pDropDownImage_m;

  std::vector<int> vecUpdateDepths_m;  // rows counted by each BeginUpdate
  bool bHidingEditors_m = false;
};
