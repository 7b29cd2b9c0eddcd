#include "commoncodemultimedia.h"

#include <dlfcn.h>

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>
#include <cstdio>
#include <filesystem>

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

// ---- The sound module

namespace {

using MakePlayers = SoundPlayers* (*)();

std::string SoundModulePath() {
  const QByteArray dir = qgetenv("VAZUDOVU_MODULE_DIR");
  if (!dir.isEmpty()) {
    return (std::filesystem::path(dir.toStdString()) / VAZUDOVU_SOUND_MODULE).string();
  }
  std::error_code ec;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  return (exe.parent_path() / VAZUDOVU_MODULE_DIR / VAZUDOVU_SOUND_MODULE).string();
}

// The module's entry, or null. It is loaded once and never closed: the players' code and
// Qt Multimedia's stay for the life of the process.
MakePlayers SoundModule() {
  static const MakePlayers make = []() -> MakePlayers {
    const std::string path = SoundModulePath();
    void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    const auto entry = module != nullptr
                           ? reinterpret_cast<MakePlayers>(::dlsym(module, kSoundPlayersEntry))
                           : nullptr;
    if (entry == nullptr) {
      const char* why = ::dlerror();
      std::fprintf(stderr, "vazudovu: sound module not loaded: %s\n",
                   why != nullptr ? why : path.c_str());
    }
    return entry;
  }();
  return make;
}

}  // namespace

std::unique_ptr<SoundPlayers> MakeSoundPlayers() {
  const MakePlayers make = SoundModule();
  return std::unique_ptr<SoundPlayers>(make != nullptr ? make() : nullptr);
}

// ---- This computer's media

SoundPlayers* SystemMediaServices::Players() {
  if (!loaded_) {
    loaded_ = true;
    players_ = MakeSoundPlayers();
  }
  return players_.get();
}

bool SystemMediaServices::PlayWave(const std::string& fileName) {
  const QString path = ReadableFile(fileName);
  return !path.isEmpty() && Players() != nullptr && players_->PlayWave(path.toStdString());
}

// Stopping needs no player that was never made.
void SystemMediaServices::PurgeWaves() {
  if (players_) {
    players_->PurgeWaves();
  }
}

void SystemMediaServices::CloseAll() {
  if (players_) {
    players_->CloseAll();
  }
}

bool SystemMediaServices::Open(const std::string& fileName, const std::string& alias) {
  const QString path = ReadableFile(fileName);
  return !path.isEmpty() && Players() != nullptr && players_->Open(path.toStdString(), alias);
}

bool SystemMediaServices::Play(const std::string& alias) {
  return players_ && players_->Play(alias);
}

bool SystemMediaServices::OpenWithDesktop(const std::string& fileName) {
  const QString path = ReadableFile(fileName);
  return !path.isEmpty() && QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

bool SystemMediaServices::Launch(const std::string& commandLine) {
  return VIDodadaZadoVove::LaunchApplication(commandLine, 0, false, nullptr, false);
}

namespace {
SystemMediaServices* defaultMedia = nullptr;
}  // namespace

MediaServices& DefaultMediaServices() {
  if (defaultMedia == nullptr) {
    defaultMedia = new SystemMediaServices;
    // The players go while the application object still exists.
    qAddPostRoutine([] {
      delete defaultMedia;
      defaultMedia = nullptr;
    });
  }
  return *defaultMedia;
}
