// The players of sound files, which Qt Multimedia provides. They live in a module of
// their own (libvazudovu-sound.so), loaded when the first sound plays, so that the
// program starts without Qt Multimedia and the audio libraries it brings.
#pragma once

#include <functional>
#include <string>

// How far a sound got: playing on an audio output, failed (and why), or stopped by a
// new sound or the stop button before it played.
enum class SoundStart { Playing, Failed, Stopped };
// Told once per sound, on the GUI thread, possibly before the call that started it returns.
using SoundReport = std::function<void(SoundStart start, const std::string& why)>;

// Why a player could not play, in the words the log and the messages use.
inline constexpr const char* kNoAudioOutput = "no audio output device";
inline constexpr const char* kNotPlayable = "the file cannot be played";

class SoundPlayers {
 public:
  virtual ~SoundPlayers() = default;
  // The wave-file player: starts the file without waiting, replacing an earlier wave
  // sound; report is told whether it got to playing.
  virtual void PlayWave(const std::string& fileName, SoundReport report) = 0;
  // Stops every wave sound.
  virtual void PurgeWaves() = 0;
  // Stops and closes every named media player.
  virtual void CloseAll() = 0;
  // Opens the file in a media player under the name; false and why when it cannot.
  virtual bool Open(const std::string& fileName, const std::string& alias, std::string& why) = 0;
  // Starts the named player; report is told whether it got to playing.
  virtual void Play(const std::string& alias, SoundReport report) = 0;
};

// The module's one entry: SoundPlayers* VazudovuMakeSoundPlayers(), a new set of players
// for the GUI thread, which the caller owns.
inline constexpr const char* kSoundPlayersEntry = "VazudovuMakeSoundPlayers";
