// The sound channel: PlaySoundFile and the media services it decides between. The
// decisions are made here against a small interface, so that tests check them with a
// recording fake; QtMediaServices is the real one on Qt Multimedia.
#pragma once

#include <memory>
#include <string>

// The media services a sound can be played with.
class MediaServices {
 public:
  virtual ~MediaServices() = default;
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

// This computer's media on Qt Multimedia, for the GUI thread. Without an audio output
// every play fails quietly and returns false.
class QtMediaServices : public MediaServices {
 public:
  QtMediaServices();
  ~QtMediaServices() override;
  bool PlayWave(const std::string& fileName) override;
  void PurgeWaves() override;
  void CloseAll() override;
  bool Open(const std::string& fileName, const std::string& alias) override;
  bool Play(const std::string& alias) override;
  bool OpenWithDesktop(const std::string& fileName) override;
  bool Launch(const std::string& commandLine) override;

 private:
  struct Players;
  std::unique_ptr<Players> players_;
};

// The process's QtMediaServices, made on first use (on the GUI thread).
MediaServices& DefaultMediaServices();
