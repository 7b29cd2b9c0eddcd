// One running program per events file. The first program on a file holds a lock file
// beside it and listens on a local socket named after the file, in the user's own runtime
// folder; a second start on the same file asks the first to bring its window forward and
// then ends, so two programs never keep (and save over) one file or notify the same item
// twice.
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
