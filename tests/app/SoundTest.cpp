// The sound channel's decisions, checked against recording media, and the real media
// on a machine that may have no audio output at all.
#include <gtest/gtest.h>

#include <QAudioDevice>
#include <QLineEdit>
#include <QMediaDevices>
#include <QTest>
#include <fstream>
#include <memory>

#include "RecordingMedia.h"
#include "ScriptedDialogs.h"
#include "TempDir.h"
#include "channels/sound/commoncodemultimedia.h"
#include "window/formMain.h"
#include "window/qtConvert.h"

namespace {

using Calls = std::vector<std::string>;

// How a sound went, as PlaySoundFile tells it; "untold" until it does.
struct Told {
  std::string how = "untold";
  bool played() const { return how == "playing"; }
};

Told Play(MediaServices& media, const std::string& file, bool external = false,
          const std::string& command = "", bool suppress = false) {
  auto told = std::make_shared<Told>();
  PlaySoundFile(media, file, external, command, suppress,
                [told](SoundStart start, const std::string& why) {
                  told->how = start == SoundStart::Playing   ? "playing"
                              : start == SoundStart::Stopped ? "stopped: " + why
                                                             : "failed: " + why;
                });
  return *told;
}

}  // namespace

TEST(Sound, WaveFilesInAnyCaseGoToTheWavePlayerAlone) {
  for (const char* file : {"/s/ding.wav", "/s/DING.WAV", "/s/a b/Ding.Wav"}) {
    RecordingMedia media;
    EXPECT_TRUE(Play(media, file).played());
    EXPECT_EQ(media.calls, Calls{std::string("wave ") + file});
  }
}

TEST(Sound, OtherFilesPlayUnderTheOneNameAfterClosingTheLast) {
  RecordingMedia media;
  EXPECT_TRUE(Play(media, "/My Music/song.mp3").played());
  EXPECT_EQ(media.calls,
            (Calls{"close all", "open /My Music/song.mp3 alias QSCID_music", "play QSCID_music"}));
  // A directory with a dot is no extension.
  RecordingMedia dotted;
  Play(dotted, "/sounds.wav/chime");
  EXPECT_EQ(dotted.calls.at(0), "close all");
}

TEST(Sound, ARefusedWaveOrPlayerFallsBackToTheDesktop) {
  RecordingMedia wave;
  wave.waveAccepts = false;
  wave.opens = false;
  EXPECT_TRUE(Play(wave, "/s/x.wav").played());
  EXPECT_EQ(wave.calls, (Calls{"wave /s/x.wav", "close all", "open /s/x.wav alias QSCID_music",
                               "play QSCID_music", "desktop /s/x.wav"}));

  RecordingMedia nothing;
  nothing.opens = nothing.plays = nothing.desktopOpens = false;
  EXPECT_FALSE(Play(nothing, "/missing.mp3").played());
  EXPECT_EQ(nothing.calls.back(), "desktop /missing.mp3");

  RecordingMedia cannotPlay;
  cannotPlay.plays = false;
  cannotPlay.desktopOpens = false;
  EXPECT_FALSE(Play(cannotPlay, "/x.ogg").played());
}

TEST(Sound, ExternalPlayerAndSuppression) {
  RecordingMedia media;
  EXPECT_TRUE(Play(media, "/s/a.wav", true, "player %1 --once %1").played());
  EXPECT_EQ(media.calls, Calls{"launch player /s/a.wav --once %1"});

  RecordingMedia failing;
  failing.launches = false;
  EXPECT_TRUE(Play(failing, "/s/a.mp3", true, "nope %1").played());
  EXPECT_EQ(failing.calls.at(1), "close all") << "a player that did not start falls back";

  RecordingMedia quiet;
  EXPECT_TRUE(Play(quiet, "/s/a.wav", false, "", true).played());
  EXPECT_TRUE(quiet.calls.empty());
}

TEST(Sound, TheFileDialogOpensOnEveryTypeThePlayerTakesThenEachAlone) {
  testsupport::ScopedRegistryDir registry;
  testsupport::TempDir files;
  ScriptedDialogs dialogs;
  TfrmMain w(dialogs, MainWindowOptions{files.File("QSEvents.C-D")});
  w.sbtnSelectSoundFileClick();  // cancelled
  ASSERT_EQ(dialogs.Texts("OpenFile").size(), 1u);
  EXPECT_EQ(dialogs.Texts("OpenFile")[0],
            "Sound files|*.MP3;*.WAV;*.OGG;*.OPUS;*.FLAC|MPeg3 files|*.MP3|Wave files|*.WAV|"
            "Ogg Vorbis files|*.OGG|Opus files|*.OPUS|FLAC files|*.FLAC|All files|*");
  // As the file dialog gets it: names here keep their letter case, so both forms.
  EXPECT_EQ(NameFilters("Sound files|*.MP3;*.WAV|All files|*"),
            (QStringList{"Sound files (*.MP3 *.mp3 *.WAV *.wav)", "All files (*)"}));
}

TEST(Sound, StopClosesThePlayersThenPurgesWaves) {
  RecordingMedia media;
  StopAllSounds(media);
  EXPECT_EQ(media.calls, (Calls{"close all", "purge"}));
}

TEST(Sound, TheRealMediaFailQuietlyWithoutAFileOrADevice) {
  testsupport::TempDir dir;
  MediaServices& media = DefaultMediaServices();
  EXPECT_EQ(Play(media, dir.File("missing.mp3")).how, std::string("failed: ") + kSoundFileMissing);
  EXPECT_FALSE(Play(media, dir.File("missing.wav")).played());
  // A file that exists: plays where there is an output, and fails quietly where there
  // is none and no desktop program to open it.
  const std::string file = dir.File("tone.wav");
  std::ofstream(file, std::ios::binary) << std::string(64, '\0');
  // Without an output the wave player says so at once; with one it has tried the file.
  const bool output = !QMediaDevices::audioOutputs().isEmpty();
  auto wave = std::make_shared<std::string>("untold");
  media.PlayWave(file, [wave](SoundStart, const std::string& why) { *wave = why; });
  if (output) {
    EXPECT_NE(*wave, kNoAudioOutput);
  } else {
    EXPECT_EQ(*wave, kNoAudioOutput);
  }
  EXPECT_NE(MakeSoundPlayers(), nullptr) << "the sound module loads from the build";
  auto missing = std::make_shared<std::string>();
  media.PlayWave(dir.File("missing.wav"),
                 [missing](SoundStart, const std::string& why) { *missing = why; });
  EXPECT_EQ(*missing, kSoundFileMissing);
  StopAllSounds(media);
  StopAllSounds(media);
}

TEST(Sound, ThePlayersFailuresLeadOnToTheDesktopAndAreToldWithEveryReason) {
  RecordingMedia media;
  media.hold = true;
  auto told = std::make_shared<std::string>("untold");
  PlaySoundFile(media, "/s/x.wav", false, "", false,
                [told](SoundStart start, const std::string& why) {
                  *told = (start == SoundStart::Playing ? "playing" : "failed: ") + why;
                });
  media.held.at(0)(SoundStart::Failed, kNoAudioOutput);
  media.held.at(1)(SoundStart::Failed, kNoAudioOutput);
  EXPECT_EQ(media.calls.back(), "desktop /s/x.wav");
  EXPECT_EQ(*told, "untold") << "the desktop's program has not told yet";
  media.held.at(2)(SoundStart::Failed, "it failed");
  EXPECT_EQ(*told, "failed: no audio output device; it failed");

  // A sound stopped before it played is not played again elsewhere.
  RecordingMedia stopped;
  stopped.hold = true;
  Play(stopped, "/s/x.mp3");
  stopped.held.at(0)(SoundStart::Stopped, "stopped before it played");
  EXPECT_EQ(stopped.calls.back(), "play QSCID_music");
}

TEST(Sound, TheDesktopsProgramCountsOnlyWhenItExitsWithSuccess) {
  testsupport::TempDir dir;
  const std::string file = dir.File("tone.mp3");
  std::ofstream(file) << "x";
  SystemMediaServices media;
  const auto open = [&](std::vector<std::string> opener) {
    media.desktopOpener = std::move(opener);
    auto told = std::make_shared<std::string>();
    media.OpenWithDesktop(file, [told](SoundStart start, const std::string& why) {
      *told = start == SoundStart::Playing ? "playing" : why;
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return !told->empty(); }, 5000));
    return *told;
  };
  EXPECT_EQ(open({"sh", "-c", "exit 1", "sh"}),
            "the desktop's default program failed: sh exited with status 1");
  EXPECT_EQ(open({"sh", "-c", "test -f \"$1\"", "sh"}), "playing");
  EXPECT_EQ(open({dir.File("no-such-opener")}),
            "the desktop's default program failed: " + dir.File("no-such-opener") +
                " could not be started");
}

TEST(Sound, PlaySoundSaysWhenTheFileCannotBePlayed) {
  testsupport::ScopedRegistryDir registry;
  testsupport::TempDir files;
  ScriptedDialogs dialogs;
  TfrmMain w(dialogs, MainWindowOptions{files.File("QSEvents.C-D")});
  SystemMediaServices media;
  w.media_ = &media;
  w.edtSoundFile->setText(QString::fromStdString(files.File("missing.mp3")));
  w.sbtnTestSoundClick();
  EXPECT_EQ(dialogs.Texts("ShowMessage"),
            std::vector<std::string>{"The sound file " + files.File("missing.mp3") +
                                     " could not be played: " + kSoundFileMissing});
}
