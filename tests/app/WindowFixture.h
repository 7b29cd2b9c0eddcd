// A main window on a fresh settings store, with scripted dialogs and the utility
// library's "Problem Detected" boxes recorded instead of shown.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "CommonCodeLite.h"
#include "ScriptedDialogs.h"
#include "TempDir.h"
#include "settings/settingsKeys.h"
#include "window/formMain.h"

class WindowFixture : public ::testing::Test {
 protected:
  WindowFixture() {
    previousHandler_ = VIDodadaZadoVove::SetMessageBoxHandler(
        [this](const std::string& text, const std::string& caption) {
          boxes_.emplace_back(caption, text);
        });
  }
  ~WindowFixture() override { VIDodadaZadoVove::SetMessageBoxHandler(previousHandler_); }

  // A window as the program opens it; with tray, the desktop is taken to show tray icons.
  std::unique_ptr<TfrmMain> Open(bool tray = false) {
    MainWindowOptions options;
    options.eventsFilePath = files_.File("QSEvents.C-D");
    if (tray) {
      options.trayAvailable = [] { return true; };
    }
    return std::make_unique<TfrmMain>(dialogs_, std::move(options));
  }

  // A stored value as start-up reads it: flags and integers through code 3, texts 256.
  static std::optional<std::string> Stored(const std::string& name, int code = 256) {
    const VIDodadaZadoVove::Variant value = VIDodadaZadoVove::ReadFromRegistry(
        VIDodadaZadoVove::HKEY_CURRENT_USER, kSettingsKey, name, code, true, "");
    if (value.IsNull()) {
      return std::nullopt;
    }
    return code == 256 ? value.AsString() : std::to_string(value.AsInt());
  }
  static void Store(const std::string& name, const VIDodadaZadoVove::Variant& value) {
    VIDodadaZadoVove::WriteToRegistry(VIDodadaZadoVove::HKEY_CURRENT_USER, kSettingsKey, name,
                                      value, true, "");
  }

  testsupport::ScopedRegistryDir registry_;
  testsupport::TempDir files_;
  ScriptedDialogs dialogs_;
  std::vector<std::pair<std::string, std::string>> boxes_;  // caption, text

 private:
  VIDodadaZadoVove::MessageBoxHandler previousHandler_;
};
