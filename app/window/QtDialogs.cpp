#include <QApplication>
#include <QColorDialog>
#include <QDialog>
#include <QFileDialog>
#include <QFontDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QStringList>

#include "Exceptions.h"
#include "window/Dialogs.h"
#include "window/qtConvert.h"

int QtDialogs::MessageBox(QWidget* owner, const std::string& text, const std::string& caption,
                          unsigned flags) {
  QMessageBox box(owner);
  box.setWindowTitle(ToQ(caption));
  box.setText(ToQ(text));
  switch (flags & 0xF0) {
    case mb::ICONERROR:
      box.setIcon(QMessageBox::Critical);
      break;
    case mb::ICONQUESTION:
      box.setIcon(QMessageBox::Question);
      break;
    case mb::ICONWARNING:
      box.setIcon(QMessageBox::Warning);
      break;
    case mb::ICONINFORMATION:
      box.setIcon(QMessageBox::Information);
      break;
    default:
      break;
  }
  switch (flags & 0xF) {
    case mb::OKCANCEL:
      box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
      break;
    case mb::YESNO:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      break;
    case mb::YESNOCANCEL:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
      break;
    default:
      box.setStandardButtons(QMessageBox::Ok);
      break;
  }
  if (flags & mb::TOPMOST) {
    box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
  }
  if (flags & mb::TASKMODAL) {
    box.setWindowModality(Qt::ApplicationModal);
  }
  switch (box.exec()) {
    case QMessageBox::Ok:
      return mb::IDOK;
    case QMessageBox::Yes:
      return mb::IDYES;
    case QMessageBox::No:
      return mb::IDNO;
    default:
      return mb::IDCANCEL;
  }
}

void QtDialogs::ShowMessage(const std::string& text) {
  QMessageBox box(QApplication::activeWindow());
  box.setWindowTitle(kApplicationTitle);
  box.setText(ToQ(text));
  box.setStandardButtons(QMessageBox::Ok);
  box.exec();
}

bool QtDialogs::InputQuery(const std::string& caption, const std::string& prompt,
                           std::string& value) {
  bool ok = false;
  const QString answer = QInputDialog::getText(QApplication::activeWindow(), ToQ(caption),
                                               ToQ(prompt), QLineEdit::Normal, ToQ(value), &ok);
  if (ok) {
    value = FromQ(answer);
  }
  return ok;
}

bool ChooseFontThenColour(QFont& font, std::uint32_t& colour,
                          const std::function<bool(QFont&)>& fontStep,
                          const std::function<bool(std::uint32_t&)>& colourStep) {
  QFont chosenFont = font;
  if (!fontStep(chosenFont)) {
    return false;
  }
  std::uint32_t chosenColour = colour;
  if (!colourStep(chosenColour)) {
    return false;
  }
  font = chosenFont;
  colour = chosenColour;
  return true;
}

bool QtDialogs::ChooseFont(QWidget* owner, QFont& font, std::uint32_t& colour) {
  // Qt's font dialog has no colour field; the colour dialog follows it so the
  // font's colour is still chosen in the same step.
  return ChooseFontThenColour(
      font, colour,
      [owner](QFont& f) {
        bool ok = false;
        f = QFontDialog::getFont(&ok, f, owner);
        return ok;
      },
      [this, owner](std::uint32_t& c) { return ChooseColor(owner, c); });
}

bool QtDialogs::ChooseColor(QWidget* owner, std::uint32_t& colour) {
  const QColor picked = QColorDialog::getColor(ColorFromWin(colour), owner);
  if (!picked.isValid()) {
    return false;
  }
  colour = ColorToWin(picked);
  return true;
}

bool QtDialogs::OpenFile(QWidget* owner, const FileDialogOptions& options, std::string& fileName) {
  QFileDialog dialog(owner);
  dialog.setNameFilters(NameFilters(options.filter));
  dialog.setFileMode(options.fileMustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
  QString suffix = ToQ(options.defaultExtension);
  suffix.remove("*.");
  dialog.setDefaultSuffix(suffix);
  if (!options.initialFile.empty()) {
    dialog.selectFile(ToQ(options.initialFile));
  }
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
    return false;
  }
  fileName = FromQ(dialog.selectedFiles().first());
  return true;
}

int QtDialogs::RunModal(QDialog& dialog) {
  return dialog.exec() == QDialog::Accepted ? mrOk : mrCancel;
}

void QtDialogs::ShowException(const std::exception& error) {
  if (dynamic_cast<const Platform::EAbort*>(&error) != nullptr) {
    return;
  }
  QString text = QString::fromUtf8(error.what());
  if (!text.isEmpty() && !text.endsWith('.')) {
    text += '.';
  }
  QMessageBox box(QMessageBox::Critical, kApplicationTitle, text, QMessageBox::Ok,
                  QApplication::activeWindow());
  box.exec();
}
