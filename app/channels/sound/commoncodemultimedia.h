// The sound channel: PlaySoundFile and the media services it decides between. The
// decisions are made here against a small interface, so that tests check them with a
// recording fake; SystemMediaServices is the real one, whose players come from the
// sound module.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "channels/sound/soundPlayers.h"

// The media services a sound can be played with: the players, and two ways out of
// the program that need no player.
class MediaServices : public SoundPlayers {
 public:
  // Opens the file with the desktop's default program; report is told Playing when that
  // program exited with success or still runs after kDesktopWaitSeconds, else why not.
  virtual void OpenWithDesktop(const std::string& fileName, SoundReport report) = 0;
  // Starts a command line without waiting for it (an external player).
  virtual bool Launch(const std::string& commandLine) = 0;
};

// The one name under which the last non-wave sound plays until the next play or stop.
inline constexpr const char* kMusicAlias = "QSCID_music";

// How long the desktop's default program is waited for; one still running then is
// taken to be playing the sound.
inline constexpr int kDesktopWaitSeconds = 10;

// Plays a sound file without waiting for it, and tells settled, once, how far it got:
// Playing when a player plays it on an audio output or the desktop's default program for
// it exited with success; Failed with every reason met on the way; Stopped when a new
// sound or the stop button ended it first. ".wav" files (in any letter case) go to the
// wave player; everything else, and anything the wave player or the external player
// failed with, to a media player named kMusicAlias after closing every earlier one; the
// desktop's default program when that fails. With UseExternalPlayer the first "%1" of
// PlayerCommand becomes the file name and the command is started (and not waited for)
// instead of the wave player. Suppress plays nothing and tells Playing.
void PlaySoundFile(MediaServices& media, const std::string& FileName, bool UseExternalPlayer,
                   const std::string& PlayerCommand, bool Suppress, SoundReport settled);

// Stops every sound: closes the named players, then purges the wave player.
void StopAllSounds(MediaServices& media);

// New players from the sound module, which the first call loads (on the GUI thread) from
// $VAZUDOVU_MODULE_DIR when that is set, else from lib/vazudovu beside the executable's
// folder (bin/../lib/vazudovu). Null when it cannot be loaded; stderr is told why, once.
std::unique_ptr<SoundPlayers> MakeSoundPlayers();

// Why a file was not played before a player saw it.
inline constexpr const char* kSoundFileMissing = "the file does not exist or cannot be read";

// This computer's media, for the GUI thread. The players are made when a sound first
// plays; without the module or an audio output every play fails with the reason, and
// the desktop's program and the external player still work.
class SystemMediaServices : public MediaServices {
 public:
  void PlayWave(const std::string& fileName, SoundReport report) override;
  void PurgeWaves() override;
  void CloseAll() override;
  bool Open(const std::string& fileName, const std::string& alias, std::string& why) override;
  void Play(const std::string& alias, SoundReport report) override;
  void OpenWithDesktop(const std::string& fileName, SoundReport report) override;
  bool Launch(const std::string& commandLine) override;

  // The program that opens a file with the desktop's default program, and its first
  // arguments; the file's path follows them.
  std::vector<std::string> desktopOpener{"xdg-open"};

 private:
  SoundPlayers* Players();

  std::unique_ptr<SoundPlayers> players_;
  bool loaded_ = false;  // the players were asked for, whether or not they came
};

// The process's SystemMediaServices, made on first use (on the GUI thread).
MediaServices& DefaultMediaServices();
