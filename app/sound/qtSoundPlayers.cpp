// The sound module: the players on Qt Multimedia. The program hands them the absolute
// paths of readable files. Without an audio output every play fails quietly and returns
// false.
#include <QAudioDevice>
#include <QAudioOutput>
#include <QMediaDevices>
#include <QMediaPlayer>
#include <QSoundEffect>
#include <QUrl>
#include <map>
#include <memory>

#include "soundPlayers.h"

namespace {

bool HaveAudioOutput() {
  return !QMediaDevices::audioOutputs().isEmpty();
}

class QtSoundPlayers : public SoundPlayers {
 public:
  ~QtSoundPlayers() override {
    CloseAll();
    PurgeWaves();
  }

  bool PlayWave(const std::string& fileName) override {
    if (!HaveAudioOutput()) {
      return false;
    }
    // One wave sound at a time, as the wave player has it: a new one replaces the last.
    wave_ = std::make_unique<QSoundEffect>();
    wave_->setSource(QUrl::fromLocalFile(QString::fromStdString(fileName)));
    wave_->play();
    return true;
  }

  void PurgeWaves() override {
    if (wave_) {
      wave_->stop();
      wave_.reset();
    }
  }

  void CloseAll() override {
    for (auto& [alias, named] : named_) {
      named.player->stop();
    }
    named_.clear();
  }

  bool Open(const std::string& fileName, const std::string& alias) override {
    if (alias.empty() || named_.count(alias) != 0 || !HaveAudioOutput()) {
      return false;
    }
    Named named;
    named.output = std::make_unique<QAudioOutput>();
    named.player = std::make_unique<QMediaPlayer>();
    named.player->setAudioOutput(named.output.get());
    named.player->setSource(QUrl::fromLocalFile(QString::fromStdString(fileName)));
    if (named.player->error() != QMediaPlayer::NoError) {
      return false;
    }
    named_.emplace(alias, std::move(named));
    return true;
  }

  bool Play(const std::string& alias) override {
    const auto found = named_.find(alias);
    if (found == named_.end()) {
      return false;
    }
    found->second.player->play();
    return found->second.player->error() == QMediaPlayer::NoError;
  }

 private:
  std::unique_ptr<QSoundEffect> wave_;
  struct Named {
    std::unique_ptr<QAudioOutput> output;
    std::unique_ptr<QMediaPlayer> player;
  };
  std::map<std::string, Named> named_;
};

}  // namespace

extern "C" __attribute__((visibility("default"))) SoundPlayers* VazudovuMakeSoundPlayers() {
  return new QtSoundPlayers;
}
