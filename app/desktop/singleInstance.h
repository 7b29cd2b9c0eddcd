// One running program per events file. The first program on a file holds a lock file
// beside it and listens on a local socket named after the file, in the user's own runtime
// folder; a second start on the same file asks the first to bring its window forward and
// then ends, so two programs never keep (and save over) one file or notify the same item
// twice. A command on the file (an item added or removed from a script) goes through the
// running program in the same way, with a one-line reply; when none runs, the command
// holds the lock itself for its change, marked so that a start waits for it instead of
// taking it for a running program.
#pragma once

#include <QObject>
#include <functional>
#include <string>

#include "UniqueFd.h"

class QSocketNotifier;

class SingleInstance : public QObject {
  Q_OBJECT

 public:
  // eventsFile: the events file as the program will use it (links are followed). user:
  // the user this program runs as; a lock file of anyone else's is not ours to use.
  explicit SingleInstance(const std::string& eventsFile, QObject* parent = nullptr);
  SingleInstance(const std::string& eventsFile, unsigned user, QObject* parent = nullptr);
  ~SingleInstance() override;

  // True when this program is now the one for the file (or no lock can be kept there,
  // in which case the program runs unguarded). False when another holds it; that one
  // has then been asked to come forward. Also false, with Problem() telling why, when
  // the lock file is another user's (or a link): then nobody is asked anything.
  bool Acquire();
  const std::string& Problem() const { return problem_; }

  // Run in the first program when a later start asked for its window.
  std::function<void()> OnActivate;
  // Run in the first program for a command's request line (without its line end); what
  // it returns is the one-line reply.
  std::function<std::string(const std::string& request)> OnCommand;

  // How a command reached the file: the running program replied (reply), or the lock is
  // now the command's, held by lock (which may be empty where no lock file can be kept,
  // as a start then runs unguarded), or neither within the wait (reply says why).
  struct CommandWay {
    enum class Kind { Replied, Locked, Failed };
    Kind kind = Kind::Failed;
    std::string reply;
    Platform::UniqueFd lock;
  };
  // Sends the request line (no line end) to the running program, or takes the lock when
  // none runs; other commands holding the lock are waited for, within waitMs in all.
  static CommandWay ReachForCommand(const std::string& eventsFile, const std::string& request,
                                    int waitMs);

  // The lock file's path, the local socket's name and the socket's path (the name in
  // xdg::RuntimeFolder(); empty when there is none) for an events file.
  static std::string LockPath(const std::string& eventsFile);
  static QString ServerName(const std::string& eventsFile);
  static std::string SocketPath(const std::string& eventsFile);

 private:
  void Listen();
  void AcceptCallers();
  int LiveCallers() const;

  std::string eventsFile_;
  unsigned user_;
  std::string problem_;
  Platform::UniqueFd lockFd_;  // held while the lock is ours
  Platform::UniqueFd listenFd_;
  std::string socketPath_;  // set while this program listens there
  QSocketNotifier* listener_ = nullptr;
};
