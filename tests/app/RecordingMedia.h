// Media services that play nothing: each call is recorded, and the answers and a hook
// run inside each call are set by the test. A sound's report is told at once, unless
// hold is set: then it waits in held for the test to tell it.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "channels/sound/commoncodemultimedia.h"

class RecordingMedia : public MediaServices {
 public:
  std::vector<std::string> calls;
  bool waveAccepts = true, opens = true, plays = true, desktopOpens = true, launches = true;
  // The reason a refusal gives.
  std::string why = "refused";
  bool hold = false;
  std::vector<SoundReport> held;
  // Runs inside every call, after it is recorded.
  std::function<void()> during;

  void PlayWave(const std::string& f, SoundReport report) override {
    Report(Log("wave " + f, waveAccepts), std::move(report));
  }
  void PurgeWaves() override { Log("purge", true); }
  void CloseAll() override { Log("close all", true); }
  bool Open(const std::string& f, const std::string& alias, std::string& reason) override {
    reason = opens ? "" : why;
    return Log("open " + f + " alias " + alias, opens);
  }
  void Play(const std::string& alias, SoundReport report) override {
    Report(Log("play " + alias, plays), std::move(report));
  }
  void OpenWithDesktop(const std::string& f, SoundReport report) override {
    Report(Log("desktop " + f, desktopOpens), std::move(report));
  }
  bool Launch(const std::string& c) override { return Log("launch " + c, launches); }

 private:
  bool Log(const std::string& call, bool result) {
    calls.push_back(call);
    if (during) {
      during();
    }
    return result;
  }
  void Report(bool ok, SoundReport report) {
    if (hold) {
      held.push_back(std::move(report));
    } else {
      report(ok ? SoundStart::Playing : SoundStart::Failed, ok ? "" : why);
    }
  }
};
