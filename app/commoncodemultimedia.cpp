#include "commoncodemultimedia.h"

#include <QAudioDevice>
#include <QAudioOutput>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QMediaDevices>
#include <QMediaPlayer>
#include <QSoundEffect>
#include <QUrl>
#include <map>

#include "CommonCodeLite.h"

namespace {

// The extension from the last "." of the file-name part, in lower case: ".wav".
std::string LowerExtension(const std::string& fileName) {
  const std::size_t dot = fileName.find_last_of('.');
  const std::size_t slash = fileName.find_last_of('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
    return "";
  }
  std::string ext = fileName.substr(dot);
  for (char& c : ext) {
    if (c >= 'A' && c <= 'Z') {
      c = static_cast<char>(c - 'A' + 'a');
    }
  }
  return ext;
}

QString ReadableFile(const std::string& fileName) {
  const QFileInfo info(QString::fromStdString(fileName));
  return info.isFile() && info.isReadable() ? info.absoluteFilePath() : QString();
}

bool HaveAudioOutput() {
  return !QMediaDevices::audioOutputs().isEmpty();
}

}  // namespace

bool PlaySoundFile(MediaServices& media, const std::string& FileName, bool UseExternalPlayer,
                   const std::string& PlayerCommand, bool Suppress) {
  if (Suppress) {
    return true;
  }
  bool played = false;
  if (UseExternalPlayer) {
    played = media.Launch(VIDodadaZadoVove::qsStringReplace(PlayerCommand, "%1", FileName, false));
  } else if (LowerExtension(FileName) == ".wav") {
    played = media.PlayWave(FileName);
  }
  if (!played) {
    // The named player: whatever played under the name before is closed first.
    media.CloseAll();
    const bool opened = media.Open(FileName, kMusicAlias);
    const bool playing = media.Play(kMusicAlias);
    played = opened && playing;
    if (!played) {
      played = media.OpenWithDesktop(FileName);
    }
  }
  return played;
}

bool PlaySoundFile(const std::string& FileName, bool UseExternalPlayer,
                   const std::string& PlayerCommand, bool Suppress) {
  return PlaySoundFile(DefaultMediaServices(), FileName, UseExternalPlayer, PlayerCommand,
                       Suppress);
}

void StopAllSounds(MediaServices& media) {
  media.CloseAll();
  media.PurgeWaves();
}

// ---- Qt Multimedia

struct QtMediaServices::Players {
  std::unique_ptr<QSoundEffect> wave;
  struct Named {
    std::unique_ptr<QAudioOutput> output;
    std::unique_ptr<QMediaPlayer> player;
  };
  std::map<std::string, Named> named;
};

QtMediaServices::QtMediaServices() : players_(std::make_unique<Players>()) {}

QtMediaServices::~QtMediaServices() {
  CloseAll();
  PurgeWaves();
}

bool QtMediaServices::PlayWave(const std::string& fileName) {
  const QString path = ReadableFile(fileName);
  if (path.isEmpty() || !HaveAudioOutput()) {
    return false;
  }
  // One wave sound at a time, as the wave player has it: a new one replaces the last.
  players_->wave = std::make_unique<QSoundEffect>();
  players_->wave->setSource(QUrl::fromLocalFile(path));
  players_->wave->play();
  return true;
}

void QtMediaServices::PurgeWaves() {
  if (players_->wave) {
    players_->wave->stop();
    players_->wave.reset();
  }
}

void QtMediaServices::CloseAll() {
  for (auto& [alias, named] : players_->named) {
    named.player->stop();
  }
  players_->named.clear();
}

bool QtMediaServices::Open(const std::string& fileName, const std::string& alias) {
  const QString path = ReadableFile(fileName);
  if (path.isEmpty() || alias.empty() || players_->named.count(alias) != 0 || !HaveAudioOutput()) {
    return false;
  }
  Players::Named named;
  named.output = std::make_unique<QAudioOutput>();
  named.player = std::make_unique<QMediaPlayer>();
  named.player->setAudioOutput(named.output.get());
  named.player->setSource(QUrl::fromLocalFile(path));
  if (named.player->error() != QMediaPlayer::NoError) {
    return false;
  }
  players_->named.emplace(alias, std::move(named));
  return true;
}

bool QtMediaServices::Play(const std::string& alias) {
  const auto found = players_->named.find(alias);
  if (found == players_->named.end()) {
    return false;
  }
  found->second.player->play();
  return found->second.player->error() == QMediaPlayer::NoError;
}

bool QtMediaServices::OpenWithDesktop(const std::string& fileName) {
  const QString path = ReadableFile(fileName);
  return !path.isEmpty() && QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

bool QtMediaServices::Launch(const std::string& commandLine) {
  return VIDodadaZadoVove::LaunchApplication(commandLine, 0, false, nullptr, false);
}

namespace {
QtMediaServices* defaultMedia = nullptr;
}  // namespace

MediaServices& DefaultMediaServices() {
  if (defaultMedia == nullptr) {
    defaultMedia = new QtMediaServices;
    // The players go while the application object still exists.
    qAddPostRoutine([] {
      delete defaultMedia;
      defaultMedia = nullptr;
    });
  }
  return *defaultMedia;
}
