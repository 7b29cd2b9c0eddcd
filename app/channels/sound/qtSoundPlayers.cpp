// The sound module: the players on Qt Multimedia. The program hands them the absolute
// paths of readable files. Each sound tells whether it got to playing on an audio
// output: without one it fails at once, and an unplayable file fails when the player
// finds out.
#include <QAudioDevice>
#include <QAudioOutput>
#include <QMediaDevices>
#include <QMediaPlayer>
#include <QSoundEffect>
#include <QTimer>
#include <QUrl>
#include <map>
#include <memory>

#include "channels/sound/soundPlayers.h"

namespace {

// How long a player may take to begin playing before the sound counts as failed.
constexpr int kStartBoundMs = 10000;

bool HaveAudioOutput() {
  return !QMediaDevices::audioOutputs().isEmpty();
}

// The report of one sound, told once: playing, an error or the bound, whichever comes
// first. A player that goes before any of them was stopped.
class Once {
 public:
  explicit Once(SoundReport report) : report_(std::move(report)) {}
  ~Once() { Tell(SoundStart::Stopped, "stopped before it played"); }
  Once(const Once&) = delete;
  Once& operator=(const Once&) = delete;
  void Tell(SoundStart start, const std::string& why) {
    if (report_) {
      const SoundReport report = std::move(report_);
      report_ = nullptr;
      report(start, why);
    }
  }

 private:
  SoundReport report_;
};

// The bound, on a timer that goes with the player.
void Bound(QObject* player, const std::shared_ptr<Once>& once) {
  auto* timer = new QTimer(player);
  timer->setSingleShot(true);
  QObject::connect(timer, &QTimer::timeout, player, [once] {
    once->Tell(SoundStart::Failed, "it did not begin to play within 10 seconds");
  });
  timer->start(kStartBoundMs);
}

std::string Why(const QString& text) {
  return text.isEmpty() ? kNotPlayable
                        : std::string(kNotPlayable) + " (" + text.toStdString() + ")";
}

class QtSoundPlayers : public SoundPlayers {
 public:
  ~QtSoundPlayers() override {
    CloseAll();
    PurgeWaves();
  }

  void PlayWave(const std::string& fileName, SoundReport report) override {
    if (!HaveAudioOutput()) {
      report(SoundStart::Failed, kNoAudioOutput);
      return;
    }
    // One wave sound at a time, as the wave player has it: a new one replaces the last.
    wave_ = std::make_unique<QSoundEffect>();
    QSoundEffect* effect = wave_.get();
    const auto once = std::make_shared<Once>(std::move(report));
    QObject::connect(effect, &QSoundEffect::playingChanged, effect, [effect, once] {
      if (effect->isPlaying()) {
        once->Tell(SoundStart::Playing, "");
      }
    });
    QObject::connect(effect, &QSoundEffect::statusChanged, effect, [effect, once] {
      if (effect->status() == QSoundEffect::Error) {
        once->Tell(SoundStart::Failed, kNotPlayable);
      }
    });
    Bound(effect, once);
    effect->setSource(QUrl::fromLocalFile(QString::fromStdString(fileName)));
    effect->play();
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

  bool Open(const std::string& fileName, const std::string& alias, std::string& why) override {
    if (alias.empty() || named_.count(alias) != 0) {
      why = "the player \"" + alias + "\" is in use";
      return false;
    }
    if (!HaveAudioOutput()) {
      why = kNoAudioOutput;
      return false;
    }
    Named named;
    named.output = std::make_unique<QAudioOutput>();
    named.player = std::make_unique<QMediaPlayer>();
    named.player->setAudioOutput(named.output.get());
    named.player->setSource(QUrl::fromLocalFile(QString::fromStdString(fileName)));
    if (named.player->error() != QMediaPlayer::NoError) {
      why = Why(named.player->errorString());
      return false;
    }
    named_.emplace(alias, std::move(named));
    return true;
  }

  void Play(const std::string& alias, SoundReport report) override {
    const auto found = named_.find(alias);
    if (found == named_.end()) {
      report(SoundStart::Failed, "the player \"" + alias + "\" is not open");
      return;
    }
    QMediaPlayer* player = found->second.player.get();
    const auto once = std::make_shared<Once>(std::move(report));
    const auto playing = [player, once] {
      const auto status = player->mediaStatus();
      if (player->playbackState() == QMediaPlayer::PlayingState &&
          (status == QMediaPlayer::BufferedMedia || player->position() > 0)) {
        once->Tell(SoundStart::Playing, "");
      } else if (status == QMediaPlayer::InvalidMedia) {
        once->Tell(SoundStart::Failed, Why(player->errorString()));
      }
    };
    QObject::connect(player, &QMediaPlayer::mediaStatusChanged, player, playing);
    QObject::connect(player, &QMediaPlayer::positionChanged, player, playing);
    QObject::connect(player, &QMediaPlayer::errorOccurred, player,
                     [once](QMediaPlayer::Error, const QString& text) {
                       once->Tell(SoundStart::Failed, Why(text));
                     });
    Bound(player, once);
    player->play();
    if (player->error() != QMediaPlayer::NoError) {
      once->Tell(SoundStart::Failed, Why(player->errorString()));
    }
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
