// The sound channel: PlaySoundFile and the media services it decides between. The
// decisions are made here against a small interface, so that tests check them with a
// recording fake; SystemMediaServices is the real one, whose players come from the
// sound module.
#pragma once

#include <memory>
#include <string>

#include "sound/soundPlayers.h"

// The media services a sound can be played with: the players, and two ways out of
// the program that need no player.
class MediaServices : public SoundPlayers {
 public:
  // Opens the file with the desktop's default program; true when one was started.
  virtual bool OpenWithDesktop(const std::string& fileName) = 0;
  // Starts a command line without waiting for it (an external player).
  virtual bool Launch(const std::string& commandLine) = 0;
};

// The one name under which the last non-wave sound plays until the next play or stop.
inline constexpr const char* kMusicAlias = "QSCID_music";

// Plays a sound file and returns true when something was started: ".wav" files (in any
// letter case) through the wave player; everything else, and anything the wave player
// or the external player would not take, through a media player named kMusicAlias after
// closing every earlier one; the desktop's default program when that fails. With
// UseExternalPlayer the first "%1" of PlayerCommand becomes the file name and the
// command is started instead of the wave player. Suppress plays nothing and returns true.
bool PlaySoundFile(MediaServices& media, const std::string& FileName, bool UseExternalPlayer,
                   const std::string& PlayerCommand, bool Suppress);
// The same through this computer's media (DefaultMediaServices()).
bool PlaySoundFile(const std::string& FileName, bool UseExternalPlayer,
                   const std::string& PlayerCommand, bool Suppress);

// Stops every sound: closes the named players, then purges the wave player.
void StopAllSounds(MediaServices& media);

// New players from the sound module, which the first call loads (on the GUI thread) from
// $VAZUDOVU_MODULE_DIR when that is set, else from lib/vazudovu beside the executable's
// folder (bin/../lib/vazudovu). Null when it cannot be loaded; stderr is told why, once.
std::unique_ptr<SoundPlayers> MakeSoundPlayers();

// This computer's media, for the GUI thread. The players are made when a sound first
// plays; without the module or an audio output every play fails quietly and returns
// false, and the desktop's program and the external player still work.
class SystemMediaServices : public MediaServices {
 public:
  bool PlayWave(const std::string& fileName) override;
  void PurgeWaves() override;
  void CloseAll() override;
  bool Open(const std::string& fileName, const std::string& alias) override;
  bool Play(const std::string& alias) override;
  bool OpenWithDesktop(const std::string& fileName) override;
  bool Launch(const std::string& commandLine) override;

 private:
  SoundPlayers* Players();

  std::unique_ptr<SoundPlayers> players_;
  bool loaded_ = false;  // the players were asked for, whether or not they came
};

// The process's SystemMediaServices, made on first use (on the GUI thread).
MediaServices& DefaultMediaServices();
