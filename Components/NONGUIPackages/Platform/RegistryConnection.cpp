#include "RegistryConnection.h"

#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <optional>
#include <thread>

#include "RegistryStore.h"
#include "UniqueFd.h"

namespace Platform {

namespace store {

namespace {

// Another process holding the write lock is waited for this long before a write gives up.
constexpr int kBusyTimeoutMs = 5000;
// Idle connections kept open. The program uses two hives; the bound only matters to tests,
// which point the store at a new folder every time.
constexpr std::size_t kMaxIdleConnections = 8;

const char* const kSchema = R"sql(
CREATE TABLE keys (id INTEGER PRIMARY KEY, parent INTEGER REFERENCES keys(id) ON DELETE CASCADE,
                   name TEXT NOT NULL COLLATE NOCASE, UNIQUE (parent, name));
CREATE TABLE vals (key INTEGER NOT NULL REFERENCES keys(id) ON DELETE CASCADE,
                   name TEXT NOT NULL COLLATE NOCASE,
                   type INTEGER NOT NULL,
                   data,
                   PRIMARY KEY (key, name));
INSERT INTO keys (id, parent, name) VALUES (1, NULL, '');
)sql";

bool SameInode(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool SameFile(const struct stat& a, const struct stat& b) {
  return SameInode(a, b) && a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec &&
         a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

// Creates the missing folders above a file, private to the user.
bool MakeParentFolders(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos || slash == 0) {
    return true;
  }
  for (std::size_t at = path.find('/', 1); at != std::string::npos && at <= slash;
       at = path.find('/', at + 1)) {
    const std::string folder = path.substr(0, at);
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
      return false;
    }
  }
  struct stat st {};
  return stat(path.substr(0, slash).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Processes may meet on a new file. Switching it to WAL turns a read into a write, and there
// SQLite answers "locked" at once rather than wait (waiting could deadlock); so the switch
// is retried, with the same patience as any other write.
void SwitchToWal(sqlite3* db) {
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(kBusyTimeoutMs);
  for (;;) {
    const int rc = sqlite3_exec(db, "PRAGMA journal_mode = WAL", nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK) {
      return;
    }
    if ((rc & 0xff) != SQLITE_BUSY || std::chrono::steady_clock::now() > deadline) {
      RaiseSqlite(db);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

// SQLite's quick integrity check; raises with its first finding.
void QuickCheck(sqlite3* db) {
  sqlite3_stmt* stmt = nullptr;
  int rc = sqlite3_prepare_v2(db, "PRAGMA quick_check(1)", -1, &stmt, nullptr);
  std::string finding;
  if (rc == SQLITE_OK && (rc = sqlite3_step(stmt)) == SQLITE_ROW) {
    const auto* text = sqlite3_column_text(stmt, 0);
    finding = text != nullptr ? reinterpret_cast<const char*>(text) : "";
  }
  sqlite3_finalize(stmt);
  if (rc != SQLITE_ROW) {
    RaiseSqlite(db);
  }
  if (finding != "ok") {
    Raise(finding);
  }
}

// Opens a hive file that exists. Null when the file cannot be opened at all (no rights);
// raises EHiveUnusable when it is damaged or foreign. Such a file is only ever read: the
// schema and a quick integrity check come first, and nothing (not even the journal mode)
// is changed before they have passed.
std::unique_ptr<Connection> OpenConnection(const std::string& path, const struct stat& st) {
  auto c = std::make_unique<Connection>();
  c->path = path;
  c->identity = st;
  // Without SQLITE_OPEN_CREATE: the file was made by us with its mode. SQLite opens a file it
  // may not write read-only by itself.
  if (sqlite3_open_v2(path.c_str(), &c->db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) !=
      SQLITE_OK) {
    return nullptr;
  }
  c->readOnly = sqlite3_db_readonly(c->db, "main") == 1;
  sqlite3_busy_timeout(c->db, kBusyTimeoutMs);
  c->Exec("PRAGMA foreign_keys = ON");

  auto countTables = [&c]() -> std::optional<int> {
    sqlite3_stmt* stmt = nullptr;
    int rc = sqlite3_prepare_v2(c->db, "SELECT count(*) FROM sqlite_master", -1, &stmt, nullptr);
    if (rc == SQLITE_OK) {
      rc = sqlite3_step(stmt);
    }
    const int count = rc == SQLITE_ROW ? sqlite3_column_int(stmt, 0) : 0;
    sqlite3_finalize(stmt);
    if (rc != SQLITE_ROW) {
      if (IsNoAccess(rc)) {
        return std::nullopt;
      }
      RaiseSqlite(c->db);
    }
    return count;
  };
  // A file SQLite cannot read, a foreign database or a damaged one: the hive is unusable.
  const auto unusable = [&path](const std::exception& e) {
    return EHiveUnusable(
        path, "The settings file " + path +
                  " is damaged or not a settings file and is left as it is: " + e.what());
  };
  std::optional<int> tables;
  try {
    tables = countTables();
  } catch (const ERegistryException& e) {
    throw unusable(e);
  }
  if (!tables) {
    return nullptr;
  }
  if (*tables == 0) {
    if (c->readOnly) {
      return nullptr;  // an empty hive we may not fill holds no keys
    }
    // Two processes may meet here with a new file; the second finds the tables made.
    c->Exec("BEGIN IMMEDIATE");
    try {
      if (countTables().value_or(0) == 0) {
        c->Exec(kSchema);
      }
      c->Exec("COMMIT");
    } catch (...) {
      sqlite3_exec(c->db, "ROLLBACK", nullptr, nullptr, nullptr);
      throw;
    }
  }
  // Nothing is changed in a file before it is known to be ours and whole: the statements
  // fail on a foreign database ("no such table" and the like), the check on a damaged one.
  try {
    c->PrepareAll();
    QuickCheck(c->db);
  } catch (const ERegistryException& e) {
    throw unusable(e);
  }
  if (!c->readOnly) {
    SwitchToWal(c->db);
    c->Exec("PRAGMA synchronous = NORMAL");
    // A sync that makes the WAL longer waits for a file-system journal commit, which under
    // load costs milliseconds; one that overwrites WAL space already there does not. A small
    // WAL, checkpointed and restarted early, keeps almost every flush an overwrite.
    c->Exec("PRAGMA wal_autocheckpoint = 128");
  }
  return c;
}

}  // namespace

[[noreturn]] void Raise(const std::string& message) {
  throw ERegistryException(message);
}
[[noreturn]] void RaiseSqlite(sqlite3* db) {
  Raise(sqlite3_errmsg(db));
}

bool IsNoAccess(int rc) {
  switch (rc & 0xff) {
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
    case SQLITE_READONLY:
    case SQLITE_AUTH:
      return true;
    default:
      return false;
  }
}

// SQLite does not checkpoint when it closes a file that has been moved or deleted, and
// leaves the WAL under the name the file had: a file put in its place would take that WAL
// for its own. So the WAL is first emptied into the file it belongs to. close_v2 lets the
// statements, destroyed after this body, finish the close.
Connection::~Connection() {
  struct stat now {};
  if (db != nullptr && !readOnly && (stat(path.c_str(), &now) != 0 || !SameInode(now, identity))) {
    sqlite3_wal_checkpoint_v2(db, nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
  }
  sqlite3_close_v2(db);
}

void Connection::Exec(const char* sql) {
  if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) {
    RaiseSqlite(db);
  }
}

void Connection::PrepareAll() {
  findKey.Prepare(db, "SELECT id FROM keys WHERE parent = ?1 AND name = ?2");
  insertKey.Prepare(db, "INSERT INTO keys (parent, name) VALUES (?1, ?2)");
  childKeys.Prepare(db, "SELECT name FROM keys WHERE parent = ?1 ORDER BY name");
  deleteKey.Prepare(db, "DELETE FROM keys WHERE id = ?1");
  // A recursive common table expression is worked through as a queue, not on the stack.
  subtreeDeepestFirst.Prepare(db,
                              "WITH RECURSIVE sub (id, depth) AS (SELECT ?1, 0 UNION ALL "
                              "SELECT keys.id, sub.depth + 1 FROM keys JOIN sub "
                              "ON keys.parent = sub.id) SELECT id FROM sub ORDER BY depth DESC");
  findValue.Prepare(db, "SELECT type, data FROM vals WHERE key = ?1 AND name = ?2");
  putValue.Prepare(db,
                   "INSERT INTO vals (key, name, type, data) VALUES (?1, ?2, ?3, ?4) "
                   "ON CONFLICT (key, name) DO UPDATE SET type = excluded.type, "
                   "data = excluded.data");
  valueNames.Prepare(db, "SELECT name FROM vals WHERE key = ?1 ORDER BY name");
  deleteValue.Prepare(db, "DELETE FROM vals WHERE key = ?1 AND name = ?2");
  deleteValuesOf.Prepare(db, "DELETE FROM vals WHERE key = ?1");
  beginRead.Prepare(db, "BEGIN");
  begin.Prepare(db, "BEGIN IMMEDIATE");
  commit.Prepare(db, "COMMIT");
  rollback.Prepare(db, "ROLLBACK");
}

ConnectionPool& ConnectionPool::Instance() {
  static ConnectionPool pool;
  return pool;
}

ConnectionPool::ConnectionPool() : owner_(getpid()) {}

ConnectionPool::~ConnectionPool() {
  if (owner_ != getpid()) {
    ForgetAfterFork();
  }
}

std::unique_ptr<Connection> ConnectionPool::Acquire(const std::string& path, bool create) {
  if (path.empty()) {
    return nullptr;
  }
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) {
    if (errno != ENOENT || !create || !MakeParentFolders(path)) {
      return nullptr;
    }
    // Made here rather than by SQLite so that it has its private mode from the first
    // moment; SQLite gives the -wal and -shm files the same mode.
    if (!UniqueFd(open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600))) {
      return nullptr;
    }
    if (stat(path.c_str(), &st) != 0) {
      return nullptr;
    }
  }
  if (!S_ISREG(st.st_mode)) {
    return nullptr;
  }
  std::list<std::unique_ptr<Connection>> stale;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ForgetAfterFork();
    for (auto it = idle_.begin(); it != idle_.end();) {
      if ((*it)->path != path) {
        ++it;
      } else if (SameFile((*it)->identity, st)) {
        std::unique_ptr<Connection> found = std::move(*it);
        idle_.erase(it);
        return found;
      } else {
        stale.splice(stale.end(), idle_, it++);
      }
    }
  }
  // Stale ones close outside the lock and before the new one opens: closing may empty or
  // remove the -wal and -shm files, which the new connection is to use.
  stale.clear();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto known = unusable_.find(path);
    if (known != unusable_.end() && SameFile(known->second.first, st)) {
      throw EHiveUnusable(path, known->second.second);
    }
  }
  try {
    return OpenConnection(path, st);
  } catch (const EHiveUnusable& e) {
    std::lock_guard<std::mutex> lock(mutex_);
    unusable_[path] = {st, e.what()};
    throw;
  }
}

void ConnectionPool::Release(std::unique_ptr<Connection> c) {
  if (!c) {
    return;
  }
  struct stat st {};
  if (c->broken || !sqlite3_get_autocommit(c->db) || stat(c->path.c_str(), &st) != 0 ||
      !SameInode(st, c->identity)) {
    return;
  }
  c->identity = st;  // our own checkpoints change the file's time and size
  std::list<std::unique_ptr<Connection>> evicted;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ForgetAfterFork();
    idle_.push_front(std::move(c));
    while (idle_.size() > kMaxIdleConnections) {
      evicted.splice(evicted.end(), idle_, std::prev(idle_.end()));
    }
  }
}

// A forked child must not use or close its parent's connections (their locks belong to
// the parent); it leaves them alone and opens its own.
void ConnectionPool::ForgetAfterFork() {
  const pid_t self = getpid();
  if (self != owner_) {
    for (auto& c : idle_) {
      c.release();
    }
    idle_.clear();
    owner_ = self;
  }
}

}  // namespace store

std::string HiveFilePath(Hive hive) {
  const char* dir = std::getenv("QS_REGISTRY_DIR");
  if (dir != nullptr && *dir != '\0') {
    return std::string(dir) + (hive == Hive::CurrentUser ? "/user.db" : "/machine.db");
  }
  if (hive == Hive::LocalMachine) {
    return "/var/lib/QSoft/registry.db";
  }
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg != nullptr && xdg[0] == '/') {  // relative values are to be ignored
    return std::string(xdg) + "/QSoft/registry.db";
  }
  const char* home = std::getenv("HOME");
  if (home == nullptr || *home == '\0') {
    const passwd* pw = getpwuid(getuid());
    home = pw != nullptr ? pw->pw_dir : nullptr;
  }
  if (home == nullptr || *home == '\0') {
    return "";  // nowhere to keep the user's settings: the hive is unavailable
  }
  return std::string(home) + "/.config/QSoft/registry.db";
}

}  // namespace Platform
