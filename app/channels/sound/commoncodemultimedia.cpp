#include "channels/sound/commoncodemultimedia.h"

#include <dlfcn.h>

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QTimer>
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

constexpr const char* kNoSoundModule = "the sound module could not be loaded";

QString ReadableFile(const std::string& fileName) {
  const QFileInfo info(QString::fromStdString(fileName));
  return info.isFile() && info.isReadable() ? info.absoluteFilePath() : QString();
}

}  // namespace

namespace {

// Every reason met on the way, each once.
std::string Joined(const std::string& first, const std::string& then) {
  if (first.empty() || first == then) {
    return then;
  }
  return then.empty() ? first : first + "; " + then;
}

// The last resort: the desktop's default program.
void ToDesktop(MediaServices& media, const std::string& file, const std::string& playerWhy,
               const SoundReport& settled) {
  media.OpenWithDesktop(file, [playerWhy, settled](SoundStart start, const std::string& why) {
    settled(start, start == SoundStart::Playing ? "" : Joined(playerWhy, why));
  });
}

// The named player: whatever played under the name before is closed first.
void ToNamedPlayer(MediaServices& media, const std::string& file, const std::string& earlierWhy,
                   const SoundReport& settled) {
  media.CloseAll();
  std::string openWhy;
  const bool opened = media.Open(file, kMusicAlias, openWhy);
  media.Play(kMusicAlias, [&media, file, opened, openWhy, earlierWhy, settled](
                              SoundStart start, const std::string& why) {
    if (opened && start != SoundStart::Failed) {
      settled(start, why);
      return;
    }
    ToDesktop(media, file, Joined(earlierWhy, opened ? why : openWhy), settled);
  });
}

}  // namespace

void PlaySoundFile(MediaServices& media, const std::string& FileName, bool UseExternalPlayer,
                   const std::string& PlayerCommand, bool Suppress, SoundReport settled) {
  if (Suppress) {
    settled(SoundStart::Playing, "");
    return;
  }
  if (UseExternalPlayer) {
    if (media.Launch(VIDodadaZadoVove::qsStringReplace(PlayerCommand, "%1", FileName, false))) {
      settled(SoundStart::Playing, "");
    } else {
      ToNamedPlayer(media, FileName, "the external player could not be started", settled);
    }
  } else if (LowerExtension(FileName) == ".wav") {
    media.PlayWave(FileName, [&media, FileName, settled](SoundStart start, const std::string& why) {
      if (start == SoundStart::Failed) {
        ToNamedPlayer(media, FileName, why, settled);
      } else {
        settled(start, why);
      }
    });
  } else {
    ToNamedPlayer(media, FileName, "", settled);
  }
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

void SystemMediaServices::PlayWave(const std::string& fileName, SoundReport report) {
  const QString path = ReadableFile(fileName);
  if (path.isEmpty()) {
    report(SoundStart::Failed, kSoundFileMissing);
  } else if (Players() == nullptr) {
    report(SoundStart::Failed, kNoSoundModule);
  } else {
    players_->PlayWave(path.toStdString(), std::move(report));
  }
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

bool SystemMediaServices::Open(const std::string& fileName, const std::string& alias,
                               std::string& why) {
  const QString path = ReadableFile(fileName);
  why = path.isEmpty() ? kSoundFileMissing : Players() == nullptr ? kNoSoundModule : "";
  return why.empty() && players_->Open(path.toStdString(), alias, why);
}

void SystemMediaServices::Play(const std::string& alias, SoundReport report) {
  if (players_) {
    players_->Play(alias, std::move(report));
  } else {
    report(SoundStart::Failed, kNoSoundModule);
  }
}

// The program is waited for without blocking the window: its exit, or the bound, tells.
void SystemMediaServices::OpenWithDesktop(const std::string& fileName, SoundReport report) {
  const QString path = ReadableFile(fileName);
  if (path.isEmpty()) {
    report(SoundStart::Failed, kSoundFileMissing);
    return;
  }
  const std::string program = desktopOpener.empty() ? "" : desktopOpener.front();
  QStringList arguments;
  for (std::size_t i = 1; i < desktopOpener.size(); ++i) {
    arguments << QString::fromStdString(desktopOpener[i]);
  }
  arguments << path;
  const std::string failed = "the desktop's default program failed: " + program;
  auto told = std::make_shared<bool>(false);
  const auto tell = [report = std::move(report), told](SoundStart start, const std::string& why) {
    if (!*told) {
      *told = true;
      report(start, why);
    }
  };
  // Not parented and not deleted before it ends: deleting a running process kills it, and
  // one that outlives the bound is playing the sound.
  auto* process = new QProcess;
  QObject::connect(process, &QProcess::finished, process,
                   [process, tell, failed](int code, QProcess::ExitStatus status) {
                     if (status == QProcess::NormalExit && code == 0) {
                       tell(SoundStart::Playing, "");
                     } else {
                       tell(SoundStart::Failed,
                            failed + (status == QProcess::NormalExit
                                          ? " exited with status " + std::to_string(code)
                                          : " crashed"));
                     }
                     process->deleteLater();
                   });
  QObject::connect(process, &QProcess::errorOccurred, process,
                   [process, tell, failed](QProcess::ProcessError error) {
                     if (error == QProcess::FailedToStart) {
                       tell(SoundStart::Failed, failed + " could not be started");
                       process->deleteLater();
                     }
                   });
  QTimer::singleShot(kDesktopWaitSeconds * 1000, process,
                     [tell] { tell(SoundStart::Playing, ""); });
  process->start(QString::fromStdString(program), arguments);
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
