// The SQLite side of the settings store: prepared statements, open hive files and the
// process-wide pool that keeps them. Used by TRegistry only; not part of the interface.
#pragma once

#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace Platform::store {

[[noreturn]] void Raise(const std::string& message);  // an ERegistryException
[[noreturn]] void RaiseSqlite(sqlite3* db);           // with SQLite's last message
// Result codes that mean "no access" rather than "something is wrong with the file".
bool IsNoAccess(int rc);

class Statement {
 public:
  Statement() = default;
  ~Statement() { sqlite3_finalize(stmt_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  void Prepare(sqlite3* db, const char* sql) {
    if (sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt_, nullptr) != SQLITE_OK) {
      RaiseSqlite(db);
    }
  }
  sqlite3_stmt* get() const { return stmt_; }

 private:
  sqlite3_stmt* stmt_ = nullptr;
};

// One use of a prepared statement; resets it and drops its bindings when done, so the
// bound texts need only live as long as this object.
class Query {
 public:
  explicit Query(const Statement& statement) : stmt_(statement.get()) {}
  ~Query() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
  }
  Query(const Query&) = delete;
  Query& operator=(const Query&) = delete;

  Query& Bind(int index, std::int64_t value) {
    sqlite3_bind_int64(stmt_, index, value);
    return *this;
  }
  Query& Bind(int index, const std::string& text) {
    sqlite3_bind_text64(stmt_, index, text.data(), text.size(), SQLITE_STATIC, SQLITE_UTF8);
    return *this;
  }
  Query& BindBlob(int index, const void* data, std::size_t size) {
    if (size == 0) {
      sqlite3_bind_zeroblob(stmt_, index, 0);  // a null pointer would bind NULL, not an empty blob
    } else {
      sqlite3_bind_blob64(stmt_, index, data, size, SQLITE_STATIC);
    }
    return *this;
  }
  // SQLITE_ROW, SQLITE_DONE or an error code.
  int Step() { return sqlite3_step(stmt_); }
  sqlite3_stmt* get() const { return stmt_; }

 private:
  sqlite3_stmt* stmt_;
};

// An open hive file with its prepared statements. Used by one accessor at a time.
struct Connection {
  sqlite3* db = nullptr;
  std::string path;
  struct stat identity {};  // the file as it was when the connection was last put back
  bool readOnly = false;
  bool broken = false;  // an unexpected error happened: do not reuse
  Statement findKey, insertKey, childKeys, deleteKey, subtreeDeepestFirst;
  Statement findValue, putValue, valueNames, deleteValue, deleteValuesOf;
  Statement beginRead, begin, commit, rollback;

  Connection() = default;
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;
  ~Connection();

  void Exec(const char* sql);
  void PrepareAll();
};

// The open hive files of the process, so that a call does not pay for opening SQLite.
// A connection is taken out for the time an accessor uses it and put back afterwards;
// it is reused only for the same path while the file is the same file (device, inode,
// size, time), so a test pointing the store at a new folder, or a file replaced or
// overwritten underneath, gets a fresh connection.
class ConnectionPool {
 public:
  static ConnectionPool& Instance();

  // Null when the hive is not there (and create is false) or cannot be opened or created;
  // raises EHiveUnusable when the file is damaged or not a settings file.
  std::unique_ptr<Connection> Acquire(const std::string& path, bool create);
  // Puts a connection back for reuse, or closes it when it may not be reused.
  void Release(std::unique_ptr<Connection> c);

 private:
  ConnectionPool();
  ~ConnectionPool();
  void ForgetAfterFork();

  std::mutex mutex_;
  pid_t owner_;
  std::list<std::unique_ptr<Connection>> idle_;  // most recently used first
  // Files found unusable, as they were then, with why: not opened again while unchanged.
  std::map<std::string, std::pair<struct stat, std::string>> unusable_;
};

}  // namespace Platform::store
