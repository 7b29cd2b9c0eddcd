// The players of sound files, which Qt Multimedia provides. They live in a module of
// their own (libvazudovu-sound.so), loaded when the first sound plays, so that the
// program starts without Qt Multimedia and the audio libraries it brings.
#pragma once

#include <string>

class SoundPlayers {
 public:
  virtual ~SoundPlayers() = default;
  // The wave-file player: starts the file without waiting, replacing an earlier wave
  // sound; true when the player accepted the file.
  virtual bool PlayWave(const std::string& fileName) = 0;
  // Stops every wave sound.
  virtual void PurgeWaves() = 0;
  // Stops and closes every named media player.
  virtual void CloseAll() = 0;
  // Opens the file in a media player under the name; false when it cannot be opened.
  virtual bool Open(const std::string& fileName, const std::string& alias) = 0;
  // Starts the named player; false when there is none or it cannot play.
  virtual bool Play(const std::string& alias) = 0;
};

// The module's one entry: SoundPlayers* VazudovuMakeSoundPlayers(), a new set of players
// for the GUI thread, which the caller owns.
inline constexpr const char* kSoundPlayersEntry = "VazudovuMakeSoundPlayers";
