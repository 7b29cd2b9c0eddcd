#include "ScriptedDialogs.h"

#include <QDialog>

#include "Exceptions.h"

namespace {

template <typename T>
bool Take(std::deque<T>& queue, T& value) {
  if (queue.empty()) {
    return false;
  }
  value = std::move(queue.front());
  queue.pop_front();
  return true;
}

}  // namespace

std::vector<std::string> ScriptedDialogs::Texts(const std::string& kind) const {
  std::vector<std::string> texts;
  for (const Call& call : calls) {
    if (call.kind == kind) {
      texts.push_back(call.text);
    }
  }
  return texts;
}

int ScriptedDialogs::MessageBox(QWidget*, const std::string& text, const std::string& caption,
                                unsigned flags) {
  calls.push_back({"MessageBox", text, caption, flags});
  int answer = mb::IDCANCEL;
  Take(messageBoxAnswers, answer);
  return answer;
}

void ScriptedDialogs::ShowMessage(const std::string& text) {
  calls.push_back({"ShowMessage", text, "", 0});
}

bool ScriptedDialogs::InputQuery(const std::string& caption, const std::string& prompt,
                                 std::string& value) {
  calls.push_back({"InputQuery", prompt, caption, 0});
  return Take(inputAnswers, value);
}

bool ScriptedDialogs::ChooseFont(QWidget*, QFont& font, std::uint32_t& colour) {
  calls.push_back({"ChooseFont", font.family().toStdString(), "", 0});
  offeredFont = font;
  std::pair<QFont, std::uint32_t> answer;
  if (!Take(fontAnswers, answer)) {
    return false;
  }
  font = answer.first;
  colour = answer.second;
  return true;
}

bool ScriptedDialogs::ChooseColor(QWidget*, std::uint32_t& colour) {
  calls.push_back({"ChooseColor", std::to_string(colour), "", 0});
  return Take(colourAnswers, colour);
}

bool ScriptedDialogs::OpenFile(QWidget*, const FileDialogOptions& options, std::string& fileName) {
  calls.push_back({"OpenFile", options.filter, options.defaultExtension, 0});
  return Take(fileAnswers, fileName);
}

int ScriptedDialogs::RunModal(QDialog& dialog) {
  calls.push_back({"RunModal", dialog.windowTitle().toStdString(), "", 0});
  std::function<int(QDialog&)> answer;
  if (!Take(modalAnswers, answer)) {
    return mrCancel;
  }
  return answer(dialog);
}

void ScriptedDialogs::ShowException(const std::exception& error) {
  if (dynamic_cast<const Platform::EAbort*>(&error) != nullptr) {
    return;
  }
  calls.push_back({"ShowException", error.what(), "", 0});
}
