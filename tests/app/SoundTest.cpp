// The sound channel's decisions, checked against recording media, and the real media
// on a machine that may have no audio output at all.
#include <gtest/gtest.h>

#include <QAudioDevice>
#include <QMediaDevices>
#include <fstream>

#include "RecordingMedia.h"
#include "ScriptedDialogs.h"
#include "TempDir.h"
#include "commoncodemultimedia.h"
#include "formMain.h"

namespace {

using Calls = std::vector<std::string>;

}  // namespace

TEST(Sound, WaveFilesInAnyCaseGoToTheWavePlayerAlone) {
  for (const char* file : {"/s/ding.wav", "/s/DING.WAV", "/s/a b/Ding.Wav"}) {
    RecordingMedia media;
    EXPECT_TRUE(PlaySoundFile(media, file, false, "", false));
    EXPECT_EQ(media.calls, Calls{std::string("wave ") + file});
  }
}

TEST(Sound, OtherFilesPlayUnderTheOneNameAfterClosingTheLast) {
  RecordingMedia media;
  EXPECT_TRUE(PlaySoundFile(media, "/My Music/song.mp3", false, "", false));
  EXPECT_EQ(media.calls,
            (Calls{"close all", "open /My Music/song.mp3 alias QSCID_music", "play QSCID_music"}));
  // A directory with a dot is no extension.
  RecordingMedia dotted;
  PlaySoundFile(dotted, "/sounds.wav/chime", false, "", false);
  EXPECT_EQ(dotted.calls.at(0), "close all");
}

TEST(Sound, ARefusedWaveOrPlayerFallsBackToTheDesktop) {
  RecordingMedia wave;
  wave.waveAccepts = false;
  wave.opens = false;
  EXPECT_TRUE(PlaySoundFile(wave, "/s/x.wav", false, "", false));
  EXPECT_EQ(wave.calls, (Calls{"wave /s/x.wav", "close all", "open /s/x.wav alias QSCID_music",
                               "play QSCID_music", "desktop /s/x.wav"}));

  RecordingMedia nothing;
  nothing.opens = nothing.plays = nothing.desktopOpens = false;
  EXPECT_FALSE(PlaySoundFile(nothing, "/missing.mp3", false, "", false));
  EXPECT_EQ(nothing.calls.back(), "desktop /missing.mp3");

  RecordingMedia cannotPlay;
  cannotPlay.plays = false;
  cannotPlay.desktopOpens = false;
  EXPECT_FALSE(PlaySoundFile(cannotPlay, "/x.ogg", false, "", false));
}

TEST(Sound, ExternalPlayerAndSuppression) {
  RecordingMedia media;
  EXPECT_TRUE(PlaySoundFile(media, "/s/a.wav", true, "player %1 --once %1", false));
  EXPECT_EQ(media.calls, Calls{"launch player /s/a.wav --once %1"});

  RecordingMedia failing;
  failing.launches = false;
  EXPECT_TRUE(PlaySoundFile(failing, "/s/a.mp3", true, "nope %1", false));
  EXPECT_EQ(failing.calls.at(1), "close all") << "a player that did not start falls back";

  RecordingMedia quiet;
  EXPECT_TRUE(PlaySoundFile(quiet, "/s/a.wav", false, "", true));
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
}

TEST(Sound, StopClosesThePlayersThenPurgesWaves) {
  RecordingMedia media;
  StopAllSounds(media);
  EXPECT_EQ(media.calls, (Calls{"close all", "purge"}));
}

TEST(Sound, TheRealMediaFailQuietlyWithoutAFileOrADevice) {
  testsupport::TempDir dir;
  MediaServices& media = DefaultMediaServices();
  EXPECT_FALSE(PlaySoundFile(media, dir.File("missing.mp3"), false, "", false));
  EXPECT_FALSE(PlaySoundFile(media, dir.File("missing.wav"), false, "", false));
  // A file that exists: plays where there is an output, and fails quietly where there
  // is none and no desktop program to open it.
  const std::string file = dir.File("tone.wav");
  std::ofstream(file, std::ios::binary) << std::string(64, '\0');
  // The wave player takes a file that is there exactly when there is an output to play on.
  const bool output = !QMediaDevices::audioOutputs().isEmpty();
  EXPECT_EQ(media.PlayWave(file), output);
  EXPECT_NE(MakeSoundPlayers(), nullptr) << "the sound module loads from the build";
  EXPECT_EQ(media.PlayWave(dir.File("tone.wav")), output) << "a second one replaces the first";
  EXPECT_FALSE(media.PlayWave(dir.File("missing.wav")));
  StopAllSounds(media);
  StopAllSounds(media);
}
