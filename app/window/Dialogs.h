// Every dialog the program shows goes through this seam: message boxes, the plain
// message window, the input, font, colour and file dialogs, the date/time dialog's
// modal run and the default exception display. The program installs QtDialogs;
// tests install a scripted one, so no test ever waits on a real modal dialog.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <string>

class QFont;
class QWidget;
class QDialog;

// Message box flags and answers, numbered as on the system the program was designed for.
namespace mb {
inline constexpr unsigned OK = 0x0, OKCANCEL = 0x1, YESNO = 0x4, YESNOCANCEL = 0x3;
inline constexpr unsigned ICONERROR = 0x10, ICONQUESTION = 0x20, ICONWARNING = 0x30,
                          ICONINFORMATION = 0x40;
inline constexpr unsigned TASKMODAL = 0x2000, TOPMOST = 0x40000;
inline constexpr int IDOK = 1, IDCANCEL = 2, IDYES = 6, IDNO = 7;
}  // namespace mb

// Modal results of the program's own dialogs.
inline constexpr int mrNone = 0, mrOk = 1, mrCancel = 2;

struct FileDialogOptions {
  std::string filter;            // "MPeg3 files|*.MP3|Wave files|*.WAV"
  std::string defaultExtension;  // "*.MP3"
  bool fileMustExist = false;
  std::string initialFile;
};

class Dialogs {
 public:
  virtual ~Dialogs() = default;

  // A message box; returns the button pressed (mb::IDOK, ...).
  virtual int MessageBox(QWidget* owner, const std::string& text, const std::string& caption,
                         unsigned flags) = 0;
  // The plain message window: the text, an OK button, the program's title as caption.
  virtual void ShowMessage(const std::string& text) = 0;
  // A one-line input; false when cancelled, value holds the answer otherwise.
  virtual bool InputQuery(const std::string& caption, const std::string& prompt,
                          std::string& value) = 0;
  // Font with its colour (0x00BBGGRR); false when cancelled.
  virtual bool ChooseFont(QWidget* owner, QFont& font, std::uint32_t& colour) = 0;
  // Any colour (0x00BBGGRR), full-open; false when cancelled.
  virtual bool ChooseColor(QWidget* owner, std::uint32_t& colour) = 0;
  // An existing file to open; false when cancelled.
  virtual bool OpenFile(QWidget* owner, const FileDialogOptions& options,
                        std::string& fileName) = 0;
  // Runs one of the program's own dialogs modally and returns its modal result.
  virtual int RunModal(QDialog& dialog) = 0;
  // The default exception display: shows the message; the silent abort shows nothing.
  virtual void ShowException(const std::exception& error) = 0;
};

// Choosing a font with its colour in two steps, the font and then the colour: cancelling
// either step leaves both as they were.
bool ChooseFontThenColour(QFont& font, std::uint32_t& colour,
                          const std::function<bool(QFont&)>& fontStep,
                          const std::function<bool(std::uint32_t&)>& colourStep);

// The real dialogs on Qt.
class QtDialogs : public Dialogs {
 public:
  int MessageBox(QWidget* owner, const std::string& text, const std::string& caption,
                 unsigned flags) override;
  void ShowMessage(const std::string& text) override;
  bool InputQuery(const std::string& caption, const std::string& prompt,
                  std::string& value) override;
  bool ChooseFont(QWidget* owner, QFont& font, std::uint32_t& colour) override;
  bool ChooseColor(QWidget* owner, std::uint32_t& colour) override;
  bool OpenFile(QWidget* owner, const FileDialogOptions& options, std::string& fileName) override;
  int RunModal(QDialog& dialog) override;
  void ShowException(const std::exception& error) override;
};

// The title the program shows in its plain message windows.
inline constexpr const char* kApplicationTitle = "Vazudovu";
