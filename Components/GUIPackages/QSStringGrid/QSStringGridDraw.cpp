// TQSStringGrid: cell drawing with the pre-drawing hook and its seven switchable
// steps, automatic growing of rows and columns, and the check-box images.
#include <QPainter>
#include <QStyle>
#include <QStyleOptionButton>

#include "QSStringGrid.h"

using namespace QSGrid;

void TQSStringGrid::MakeCheckBoxImages() {
  QStyle* st = style();
  const int width = st->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, this);
  const int height = st->pixelMetric(QStyle::PM_IndicatorHeight, nullptr, this);
  auto paint = [&](QStyle::State checkState) {
    auto image = std::make_unique<QPixmap>(width, height);
    image->fill(Qt::transparent);
    QStyleOptionButton option;
    option.initFrom(this);
    option.rect = QRect(0, 0, width, height);
    option.state = QStyle::State_Enabled | checkState;
    QPainter painter(image.get());
    st->drawPrimitive(QStyle::PE_IndicatorCheckBox, &option, &painter, this);
    return image;
  };
  pUncheckedImage_m = paint(QStyle::State_Off);
  pCheckedImage_m = paint(QStyle::State_On);

  const int arrow = st->pixelMetric(QStyle::PM_MenuButtonIndicator, nullptr, this);
  pDropDownImage_m = std::make_unique<QPixmap>(arrow, arrow);
  pDropDownImage_m->fill(Qt::transparent);
  QStyleOption option;
  option.initFrom(this);
  option.rect = QRect(0, 0, arrow, arrow);
  option.state = QStyle::State_Enabled;
  QPainter painter(pDropDownImage_m.get());
  st->drawPrimitive(QStyle::PE_IndicatorArrowDown, &option, &painter, this);
}

void TQSStringGrid::WMEraseBkgnd(TWMEraseBkgnd& Message) {
  Message.Result = 1;
}

// Steps 0 to 2 (colour set-ups) run unless overridden with a set value; steps 3 to 6
// run unless overridden with a clear value.
bool TQSStringGrid::DrawStepRuns(int step, int iOverrideFlags, int iOverrideVals) const {
  const int bit = 1 << step;
  if (!(iOverrideFlags & bit)) {
    return true;
  }
  const bool value = (iOverrideVals & bit) != 0;
  return step <= 2 ? !value : value;
}

void TQSStringGrid::AutoSizeCheck(int ACol, int ARow, const TRect& M, unsigned fmt) {
  if (bAutoSizeCols_m && ColWidths(ACol) < M.Right - M.Left && !(fmt & DT_WORDBREAK)) {
    SetColWidths(ACol, (M.Right - M.Left) + 2 * iWidthMargin_m);
  }
  if (bAutoSizeRows_m && RowHeights(ARow) < M.Bottom - M.Top) {
    SetRowHeights(ARow, (M.Bottom - M.Top) + 2 * iHeightMargin_m);
  }
}

// Hidden or zero-size cells switch the grid lines off and are not drawn; any other cell
// switches back on the kinds that were on at construction. False when the cell is not drawn.
bool TQSStringGrid::SwitchGridLines(int ACol, int ARow) {
  TGridOptions options = Options();
  if (RowHeights(ARow) < 1 || ColWidths(ACol) < 1) {
    if (bSavedVertLine_m && (options & goVertLine)) {
      options &= ~goVertLine;
    }
    if (bSavedHorzLine_m && (options & goHorzLine)) {
      options &= ~goHorzLine;
    }
    SetOptions(options);
    return false;
  }
  if (bSavedVertLine_m && !(options & goVertLine)) {
    options |= goVertLine;
  }
  if (bSavedHorzLine_m && !(options & goHorzLine)) {
    options |= goHorzLine;
  }
  SetOptions(options);
  return true;
}

// Fixed cells take the hook's font on the fixed colour, the selected cell the highlight;
// an ordinary cell takes a read-only column's colours, else a read-only row's, else the
// grid's background and the font's colour.
void TQSStringGrid::SetCellColours(int ACol, int ARow, TGridDrawState AState,
                                   const TFont& scratchFont) {
  TCanvas& canvas = Canvas();
  if (AState & gdFixed) {
    canvas.Font = scratchFont;
    canvas.Brush.Color = FixedColor();
    canvas.Font.Color = clWindowText;
    return;
  }
  if (AState & gdSelected) {
    canvas.Brush.Color = clHighlight;
    canvas.Font.Color = clHighlightText;
    return;
  }
  if (auto back = mapColReadOnlyBack_m.find(ACol); back != mapColReadOnlyBack_m.end()) {
    canvas.Brush.Color = back->second;
  } else if (auto rowBack = mapRowReadOnlyBack_m.find(ARow);
             rowBack != mapRowReadOnlyBack_m.end()) {
    canvas.Brush.Color = rowBack->second;
  } else {
    canvas.Brush.Color = Color();
  }
  if (auto font = mapColReadOnlyFont_m.find(ACol); font != mapColReadOnlyFont_m.end()) {
    canvas.Font.Color = font->second;
  } else if (auto rowFont = mapRowReadOnlyFont_m.find(ARow);
             rowFont != mapRowReadOnlyFont_m.end()) {
    canvas.Font.Color = rowFont->second;
  } else {
    canvas.Font.Color = scratchFont.Color;
  }
}

// Measures the text into R (which keeps its left and top), grows the row or column to it
// when asked to, and writes it 2 pixels in from the cell's corner.
void TQSStringGrid::DrawOwnText(int ACol, int ARow, const std::string& asVal, TRect& R) {
  TCanvas& canvas = Canvas();
  const unsigned fmt = GetColFmt(ACol);
  canvas.DrawText(asVal, R, fmt | DT_CALCRECT);
  AutoSizeCheck(ACol, ARow, R, fmt);
  R.Offset(2, 2);
  canvas.DrawText(asVal, R, fmt);
}

// The check-box image follows the stored text, not the hook's; a drop-down cell shows its
// arrow, so that its list can be found with the mouse.
void TQSStringGrid::DrawCellImages(int ACol, int ARow, const TRect& ARect, const TRect& R) {
  if (ARow < FixedRows() || ACol < FixedCols()) {
    return;
  }
  TCanvas& canvas = Canvas();
  if (mapCheckBoxTexts_m.count(ACol) != 0) {
    const QPixmap& image = CellCheckedState(ACol, ARow) ? *pCheckedImage_m : *pUncheckedImage_m;
    const int x = R.Left + ColWidths(ACol) / 2 - image.width() / 2;
    const int y = (R.Bottom + R.Top - image.height()) / 2;
    canvas.Draw(x, y, image);
  }
  if (mapComboLists_m.count(ACol) != 0 || mapComboCodeLists_m.count(ACol) != 0) {
    const QPixmap& arrow = *pDropDownImage_m;
    canvas.Draw(ARect.Right - arrow.width() - 2, (ARect.Bottom + ARect.Top - arrow.height()) / 2,
                arrow);
  }
}

void TQSStringGrid::DrawCell(int ACol, int ARow, const TRect& ARect, TGridDrawState AState) {
  if (!SwitchGridLines(ACol, ARow)) {
    return;
  }

  // The hook sees the text about to be drawn and a scratch copy of the font.
  TFont scratchFont = Font();
  std::string asVal = GetCells(ACol, ARow);
  int iOverrideFlags = 0;
  int iOverrideVals = 0;
  if (OnBeforeDrawCell) {
    OnBeforeDrawCell(ACol, ARow, ARect, AState, asVal, iOverrideFlags, iOverrideVals, scratchFont);
  }
  auto runs = [&](int step) { return DrawStepRuns(step, iOverrideFlags, iOverrideVals); };

  // Colours, unless the hook has set them itself for this kind of cell.
  const bool fixed = (AState & gdFixed) != 0;
  const bool selected = !fixed && (AState & gdSelected) != 0;
  const int colourStep = fixed ? 0 : selected ? 1 : 2;
  if (runs(colourStep)) {
    SetCellColours(ACol, ARow, AState, scratchFont);
  }
  const bool fullPaint = !bMaxFlickerFree_m || (bAlwaysDrawHeaders_m && ARow == 0);
  const bool fill = fixed || selected || fullPaint;

  // No text is written under a check-box image.
  const bool dataCell = ARow >= FixedRows() && ACol >= FixedCols();
  const bool checkBoxColumn = mapCheckBoxTexts_m.count(ACol) != 0;
  const bool ownText = fullPaint && !(dataCell && checkBoxColumn);

  TRect R = ARect;
  if (fill && runs(3)) {
    Canvas().FillRect(R);
  }
  if (fixed && runs(4)) {
    Canvas().Frame3D(ARect, clBtnHighlight, clBtnShadow);
  }
  if (ownText && runs(5)) {
    DrawOwnText(ACol, ARow, asVal, R);
  }

  // The base drawing, and the sizing check once more.
  if (runs(6)) {
    TStringGrid::DrawCell(ACol, ARow, ARect, AState);
    if (bAutoSizeCols_m || bAutoSizeRows_m) {
      const unsigned fmt = GetColFmt(ACol);
      Canvas().DrawText(asVal, R, fmt | DT_CALCRECT);
      AutoSizeCheck(ACol, ARow, R, fmt);
    }
  }

  DrawCellImages(ACol, ARow, ARect, R);
}
