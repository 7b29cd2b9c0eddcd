// Dialogs for tests: every call is recorded, answers come from prepared queues,
// and nothing ever waits on a real modal window.
#pragma once

#include <QFont>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "window/Dialogs.h"

class ScriptedDialogs : public Dialogs {
 public:
  struct Call {
    std::string kind;  // "MessageBox", "ShowMessage", "InputQuery", "ChooseFont", ...
    std::string text;
    std::string caption;
    unsigned flags = 0;
  };

  // Prepared answers, used in order; when a queue is empty the dialog is cancelled
  // (message boxes answer IDCANCEL, modal runs mrCancel).
  std::deque<int> messageBoxAnswers;
  std::deque<std::string> inputAnswers;  // an answer for each InputQuery; none cancels
  std::deque<std::pair<QFont, std::uint32_t>> fontAnswers;
  std::deque<std::uint32_t> colourAnswers;
  std::deque<std::string> fileAnswers;
  // Runs in place of a modal dialog: may set the dialog's fields, returns the modal result.
  std::deque<std::function<int(QDialog&)>> modalAnswers;

  std::vector<Call> calls;
  QFont offeredFont;  // the font the last font dialog opened on

  // The texts of every call of one kind, in order.
  std::vector<std::string> Texts(const std::string& kind) const;

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
