#include "RegistryStore.h"

#include <fcntl.h>
#include <pwd.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <list>
#include <mutex>
#include <optional>
#include <thread>

namespace Platform {

namespace {

// Another process holding the write lock is waited for this long before a write gives up.
constexpr int kBusyTimeoutMs = 5000;
// Idle connections kept open. The program uses two hives; the bound only matters to tests,
// which point the store at a new folder every time.
constexpr std::size_t kMaxIdleConnections = 8;
// The hive root: id 1, no parent, empty name.
constexpr std::int64_t kRootKeyId = 1;

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

[[noreturn]] void Raise(const std::string& message) {
  throw ERegistryException(message);
}
[[noreturn]] void RaiseSqlite(sqlite3* db) {
  Raise(sqlite3_errmsg(db));
}
[[noreturn]] void RaiseGetFailed(const std::string& name) {
  Raise(Format("Failed to get data for '%s'", name.c_str()));
}
[[noreturn]] void RaiseSetFailed(const std::string& name) {
  Raise(Format("Failed to set data for '%s'", name.c_str()));
}
[[noreturn]] void RaiseInvalidType(const std::string& name) {
  Raise(Format("Invalid data type for '%s'", name.c_str()));
}

// Result codes that mean "no access" rather than "something is wrong with the file".
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

bool SameInode(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool SameFile(const struct stat& a, const struct stat& b) {
  return SameInode(a, b) && a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec &&
         a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

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
  Statement findKey, insertKey, childKeys, deleteKey;
  Statement findValue, putValue, valueNames, deleteValue;
  Statement beginRead, begin, commit, rollback;

  Connection() = default;
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;
  // SQLite does not checkpoint when it closes a file that has been moved or deleted, and
  // leaves the WAL under the name the file had: a file put in its place would take that
  // WAL for its own. So the WAL is first emptied into the file it belongs to.
  // close_v2 lets the statements, destroyed after this body, finish the close.
  ~Connection() {
    struct stat now {};
    if (db != nullptr && !readOnly &&
        (stat(path.c_str(), &now) != 0 || !SameInode(now, identity))) {
      sqlite3_wal_checkpoint_v2(db, nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
    }
    sqlite3_close_v2(db);
  }

  void Exec(const char* sql) {
    if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) {
      RaiseSqlite(db);
    }
  }
  void PrepareAll() {
    findKey.Prepare(db, "SELECT id FROM keys WHERE parent = ?1 AND name = ?2");
    insertKey.Prepare(db, "INSERT INTO keys (parent, name) VALUES (?1, ?2)");
    childKeys.Prepare(db, "SELECT name FROM keys WHERE parent = ?1 ORDER BY name");
    deleteKey.Prepare(db, "DELETE FROM keys WHERE id = ?1");
    findValue.Prepare(db, "SELECT type, data FROM vals WHERE key = ?1 AND name = ?2");
    putValue.Prepare(db,
                     "INSERT INTO vals (key, name, type, data) VALUES (?1, ?2, ?3, ?4) "
                     "ON CONFLICT (key, name) DO UPDATE SET type = excluded.type, "
                     "data = excluded.data");
    valueNames.Prepare(db, "SELECT name FROM vals WHERE key = ?1 ORDER BY name");
    deleteValue.Prepare(db, "DELETE FROM vals WHERE key = ?1 AND name = ?2");
    beginRead.Prepare(db, "BEGIN");
    begin.Prepare(db, "BEGIN IMMEDIATE");
    commit.Prepare(db, "COMMIT");
    rollback.Prepare(db, "ROLLBACK");
  }
};

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

// Opens a hive file that exists. Null when the file cannot be opened at all (no rights);
// raises when it is damaged. A damaged file is only ever read: the schema is read first,
// and nothing is written before that has succeeded.
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
  const std::optional<int> tables = countTables();
  if (!tables) {
    return nullptr;
  }
  if (!c->readOnly) {
    SwitchToWal(c->db);
    c->Exec("PRAGMA synchronous = NORMAL");
    // A sync that makes the WAL longer waits for a file-system journal commit, which under
    // load costs milliseconds; one that overwrites WAL space already there does not. A small
    // WAL, checkpointed and restarted early, keeps almost every flush an overwrite.
    c->Exec("PRAGMA wal_autocheckpoint = 128");
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
  c->PrepareAll();  // "no such table" and the like for a foreign database
  return c;
}

// The open hive files of the process, so that a call does not pay for opening SQLite.
// A connection is taken out for the time an accessor uses it and put back afterwards;
// it is reused only for the same path while the file is the same file (device, inode,
// size, time), so a test pointing the store at a new folder, or a file replaced or
// overwritten underneath, gets a fresh connection.
class ConnectionPool {
 public:
  static ConnectionPool& Instance() {
    static ConnectionPool pool;
    return pool;
  }

  // Null when the hive is not there (and create is false) or cannot be opened or created.
  std::unique_ptr<Connection> Acquire(const std::string& path, bool create) {
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
      const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
      if (fd < 0) {
        return nullptr;
      }
      close(fd);
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
    return OpenConnection(path, st);
  }

  void Release(std::unique_ptr<Connection> c) {
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

 private:
  ConnectionPool() = default;
  ~ConnectionPool() {
    if (owner_ != getpid()) {
      ForgetAfterFork();
    }
  }

  // A forked child must not use or close its parent's connections (their locks belong to
  // the parent); it leaves them alone and opens its own.
  void ForgetAfterFork() {
    const pid_t self = getpid();
    if (self != owner_) {
      for (auto& c : idle_) {
        c.release();
      }
      idle_.clear();
      owner_ = self;
    }
  }

  std::mutex mutex_;
  pid_t owner_ = getpid();
  std::list<std::unique_ptr<Connection>> idle_;  // most recently used first
};

std::vector<std::string> SplitPath(const std::string& path) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('\\', start);
    if (end == std::string::npos) {
      end = path.size();
    }
    if (end > start) {
      parts.push_back(path.substr(start, end - start));
    }
    start = end + 1;
  }
  return parts;
}

// Registry texts end at their first zero, as they do on Windows.
std::string CText(const std::string& text) {
  return std::string(text.c_str());
}

void PutLittleEndian(std::uint64_t bits, unsigned char* out) {
  for (int i = 0; i < 8; ++i) {
    out[i] = static_cast<unsigned char>(bits >> (8 * i));
  }
}

std::uint64_t GetLittleEndian(const unsigned char* in) {
  std::uint64_t bits = 0;
  for (int i = 0; i < 8; ++i) {
    bits |= static_cast<std::uint64_t>(in[i]) << (8 * i);
  }
  return bits;
}

}  // namespace

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

// Durability: an accessor's writes, including keys made by OpenKey(create), form one
// transaction, begun with BEGIN IMMEDIATE so that concurrent writers queue on the busy
// timeout instead of failing. CloseKey commits it with synchronous = NORMAL: in WAL mode
// the commit is in the WAL file before COMMIT returns, so it survives the process being
// killed, though not a power cut. FlushKey commits and then syncs the WAL file. SQLite
// refuses to change the synchronous level inside a transaction, and an accessor does not
// know at its first write whether a flush will follow; a sync of the WAL right after a
// commit is exactly what a commit under synchronous = FULL does in WAL mode.
struct TRegistry::Impl {
  std::unique_ptr<Connection> conn;
  std::int64_t key = 0;  // the open key, 0 when none
  enum class Txn { None, Read, Write } txn = Txn::None;

  struct Stored {
    bool found = false;
    int type = 0;
    std::int64_t integer = 0;
    std::string bytes;
  };

  std::optional<std::int64_t> FindChild(std::int64_t parent, const std::string& name) {
    Query q(conn->findKey);
    q.Bind(1, parent).Bind(2, name);
    const int rc = q.Step();
    if (rc == SQLITE_ROW) {
      return sqlite3_column_int64(q.get(), 0);
    }
    if (rc != SQLITE_DONE) {
      Fail();
    }
    return std::nullopt;
  }

  std::optional<std::int64_t> FindPath(const std::vector<std::string>& parts) {
    std::int64_t id = kRootKeyId;
    for (const auto& part : parts) {
      const auto child = FindChild(id, part);
      if (!child) {
        return std::nullopt;
      }
      id = *child;
    }
    return id;
  }

  // Lets the lookups of an accessor share one snapshot and one lock instead of taking
  // them per statement.
  void BeginRead() {
    if (txn != Txn::None) {
      return;
    }
    Query q(conn->beginRead);
    if (q.Step() != SQLITE_DONE) {
      Fail();
    }
    txn = Txn::Read;
  }

  // Starts the write transaction if none is open. False when the hive may not be written.
  bool BeginWrite() {
    if (txn == Txn::Write) {
      return true;
    }
    if (conn->readOnly) {
      return false;
    }
    // A read snapshot cannot wait its way into a write once another process has written
    // since; it ends here and the write queues for the lock on the newest state.
    Commit();
    Query q(conn->begin);
    const int rc = q.Step();
    if (rc == SQLITE_DONE) {
      txn = Txn::Write;
      return true;
    }
    if (IsNoAccess(rc)) {
      return false;
    }
    Fail();
  }

  void Commit() {
    if (txn == Txn::None) {
      return;
    }
    txn = Txn::None;
    int rc;
    {
      Query q(conn->commit);
      rc = q.Step();
    }
    if (rc != SQLITE_DONE) {
      const std::string message = sqlite3_errmsg(conn->db);
      if (!sqlite3_get_autocommit(conn->db)) {
        Query rollback(conn->rollback);
        rollback.Step();
      }
      conn->broken = true;
      Raise(message);
    }
  }

  void SyncWal() {
    sqlite3_file* wal = nullptr;
    if (sqlite3_file_control(conn->db, "main", SQLITE_FCNTL_JOURNAL_POINTER, &wal) != SQLITE_OK ||
        wal == nullptr || wal->pMethods == nullptr) {
      return;  // no WAL open on this connection: nothing of ours is waiting in it
    }
    const int rc = wal->pMethods->xSync(wal, SQLITE_SYNC_NORMAL);
    if (rc != SQLITE_OK) {
      conn->broken = true;
      Raise(sqlite3_errstr(rc));
    }
  }

  // Puts the connection back, committing what was written.
  void Release() {
    if (!conn) {
      return;
    }
    key = 0;
    try {
      Commit();
    } catch (...) {
      ConnectionPool::Instance().Release(std::move(conn));
      throw;
    }
    ConnectionPool::Instance().Release(std::move(conn));
  }

  // Gives up on the connection after an error: the transaction is rolled back and the
  // connection is not reused.
  void Abandon() {
    if (!conn) {
      return;
    }
    if (!sqlite3_get_autocommit(conn->db)) {
      Query q(conn->rollback);
      q.Step();
    }
    txn = Txn::None;
    key = 0;
    conn.reset();
  }

  [[noreturn]] void Fail() {
    conn->broken = true;
    RaiseSqlite(conn->db);
  }

  Stored Fetch(const std::string& name) {
    Stored s;
    if (key == 0) {
      return s;
    }
    Query q(conn->findValue);
    q.Bind(1, key).Bind(2, name);
    const int rc = q.Step();
    if (rc == SQLITE_DONE) {
      return s;
    }
    if (rc != SQLITE_ROW) {
      conn->broken = true;
      RaiseGetFailed(name);
    }
    s.found = true;
    s.type = sqlite3_column_int(q.get(), 0);
    if (s.type == static_cast<int>(RegDataType::DWord)) {
      s.integer = sqlite3_column_int64(q.get(), 1);
    } else {
      const void* data = sqlite3_column_blob(q.get(), 1);
      const int size = sqlite3_column_bytes(q.get(), 1);
      if (data != nullptr && size > 0) {
        s.bytes.assign(static_cast<const char*>(data), static_cast<std::size_t>(size));
      }
    }
    return s;
  }

  template <typename BindData>
  void Put(const std::string& name, RegDataType type, BindData bindData) {
    if (key == 0 || !BeginWrite()) {
      RaiseSetFailed(name);
    }
    Query q(conn->putValue);
    q.Bind(1, key).Bind(2, name).Bind(3, static_cast<std::int64_t>(type));
    bindData(q);
    if (q.Step() != SQLITE_DONE) {
      RaiseSetFailed(name);
    }
  }

  std::vector<std::string> Names(const Statement& statement) {
    std::vector<std::string> names;
    if (key == 0) {
      return names;
    }
    Query q(statement);
    q.Bind(1, key);
    int rc;
    while ((rc = q.Step()) == SQLITE_ROW) {
      const auto* text = sqlite3_column_text(q.get(), 0);
      names.emplace_back(text != nullptr ? reinterpret_cast<const char*>(text) : "",
                         static_cast<std::size_t>(sqlite3_column_bytes(q.get(), 0)));
    }
    if (rc != SQLITE_DONE) {
      Fail();
    }
    return names;
  }

  // Runs an operation that needs a connection but no open key: on the open key's
  // connection if there is one, else on one taken for the operation and put back after.
  template <typename Operation>
  bool WithConnection(Hive root, Operation operation) {
    if (conn) {
      return operation();
    }
    conn = ConnectionPool::Instance().Acquire(HiveFilePath(root), false);
    if (!conn) {
      return false;
    }
    bool result = false;
    try {
      result = operation();
    } catch (...) {
      Abandon();
      throw;
    }
    Release();
    return result;
  }
};

TRegistry::TRegistry() : impl_(std::make_unique<Impl>()) {}

TRegistry::~TRegistry() {
  try {
    impl_->Release();
  } catch (...) {
    // Nothing can be reported from here; the transaction was rolled back.
  }
}

void TRegistry::SetRootKey(Hive hive) {
  CloseKey();
  root_ = hive;
}

bool TRegistry::OpenKey(const std::string& path, bool create) {
  CloseKey();
  const std::vector<std::string> parts = SplitPath(path);
  Impl& d = *impl_;
  d.conn = ConnectionPool::Instance().Acquire(HiveFilePath(root_), create);
  if (!d.conn) {
    return false;
  }
  try {
    // With create the transaction starts before the path is looked up, so a key another
    // process deletes meanwhile cannot leave us writing below a vanished parent.
    if (!create) {
      d.BeginRead();
    } else if (!d.BeginWrite()) {
      d.Release();
      return false;
    }
    std::int64_t id = kRootKeyId;
    for (const auto& part : parts) {
      std::optional<std::int64_t> child = d.FindChild(id, part);
      if (!child) {
        if (!create) {
          d.Release();
          return false;
        }
        Query q(d.conn->insertKey);
        q.Bind(1, id).Bind(2, part);
        if (q.Step() != SQLITE_DONE) {
          d.Fail();
        }
        child = sqlite3_last_insert_rowid(d.conn->db);
      }
      id = *child;
    }
    d.key = id;
    return true;
  } catch (...) {
    d.Abandon();
    throw;
  }
}

void TRegistry::CloseKey() {
  impl_->Release();
}

bool TRegistry::HasCurrentKey() const {
  return impl_->key != 0;
}

bool TRegistry::ValueExists(const std::string& name) {
  return impl_->Fetch(name).found;
}

int TRegistry::GetDataSize(const std::string& name) {
  const Impl::Stored s = impl_->Fetch(name);
  if (!s.found) {
    return -1;
  }
  switch (static_cast<RegDataType>(s.type)) {
    case RegDataType::String:
    case RegDataType::ExpandString:
      return static_cast<int>(CText(s.bytes).size() + 1);
    case RegDataType::DWord:
      return 4;
    default:
      return static_cast<int>(s.bytes.size());
  }
}

RegDataType TRegistry::GetDataType(const std::string& name) {
  const Impl::Stored s = impl_->Fetch(name);
  return s.found ? static_cast<RegDataType>(s.type) : RegDataType::None;
}

std::int32_t TRegistry::ReadInteger(const std::string& name) {
  const Impl::Stored s = impl_->Fetch(name);
  if (!s.found) {
    RaiseGetFailed(name);
  }
  if (s.type != static_cast<int>(RegDataType::DWord)) {
    RaiseInvalidType(name);
  }
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(s.integer));
}

std::string TRegistry::ReadString(const std::string& name) {
  const Impl::Stored s = impl_->Fetch(name);
  if (!s.found) {
    return "";
  }
  if (s.type != static_cast<int>(RegDataType::String) &&
      s.type != static_cast<int>(RegDataType::ExpandString)) {
    RaiseInvalidType(name);
  }
  return CText(s.bytes);
}

int TRegistry::ReadBinaryData(const std::string& name, void* buffer, int bufSize) {
  const Impl::Stored s = impl_->Fetch(name);
  if (!s.found) {
    return 0;
  }
  // Binary, or a type this store does not know, is handed out as raw bytes.
  const bool binary = s.type == static_cast<int>(RegDataType::Binary) ||
                      s.type < static_cast<int>(RegDataType::String) ||
                      s.type > static_cast<int>(RegDataType::DWord);
  if (!binary || bufSize < 0 || s.bytes.size() > static_cast<std::size_t>(bufSize) ||
      (buffer == nullptr && !s.bytes.empty())) {
    RaiseInvalidType(name);
  }
  if (!s.bytes.empty()) {
    std::memcpy(buffer, s.bytes.data(), s.bytes.size());
  }
  return static_cast<int>(s.bytes.size());
}

double TRegistry::ReadFloat(const std::string& name) {
  const Impl::Stored s = impl_->Fetch(name);
  if (!s.found) {
    RaiseGetFailed(name);
  }
  if (s.type != static_cast<int>(RegDataType::Binary) || s.bytes.size() != sizeof(double)) {
    RaiseInvalidType(name);
  }
  const std::uint64_t bits =
      GetLittleEndian(reinterpret_cast<const unsigned char*>(s.bytes.data()));
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

void TRegistry::WriteInteger(const std::string& name, std::int32_t value) {
  // Stored as the unsigned 32-bit number the registry shows.
  impl_->Put(name, RegDataType::DWord, [value](Query& q) {
    q.Bind(4, static_cast<std::int64_t>(static_cast<std::uint32_t>(value)));
  });
}

void TRegistry::WriteString(const std::string& name, const std::string& value) {
  const std::string text = CText(value);
  impl_->Put(name, RegDataType::String, [&text](Query& q) { q.Bind(4, text); });
}

void TRegistry::WriteExpandString(const std::string& name, const std::string& value) {
  const std::string text = CText(value);
  impl_->Put(name, RegDataType::ExpandString, [&text](Query& q) { q.Bind(4, text); });
}

void TRegistry::WriteBinaryData(const std::string& name, const void* buffer, int size) {
  if (size < 0 || (buffer == nullptr && size > 0)) {
    RaiseSetFailed(name);
  }
  impl_->Put(name, RegDataType::Binary,
             [buffer, size](Query& q) { q.BindBlob(4, buffer, static_cast<std::size_t>(size)); });
}

void TRegistry::WriteFloat(const std::string& name, double value) {
  std::uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  unsigned char bytes[8];
  PutLittleEndian(bits, bytes);
  WriteBinaryData(name, bytes, sizeof bytes);
}

std::vector<std::string> TRegistry::GetKeyNames() {
  return impl_->key == 0 ? std::vector<std::string>{} : impl_->Names(impl_->conn->childKeys);
}

std::vector<std::string> TRegistry::GetValueNames() {
  return impl_->key == 0 ? std::vector<std::string>{} : impl_->Names(impl_->conn->valueNames);
}

bool TRegistry::DeleteValue(const std::string& name) {
  Impl& d = *impl_;
  if (d.key == 0 || !d.BeginWrite()) {
    return false;
  }
  Query q(d.conn->deleteValue);
  q.Bind(1, d.key).Bind(2, name);
  if (q.Step() != SQLITE_DONE) {
    d.Fail();
  }
  return sqlite3_changes(d.conn->db) > 0;
}

bool TRegistry::DeleteKey(const std::string& path) {
  const std::vector<std::string> parts = SplitPath(path);
  if (parts.empty()) {
    return false;  // the hive root itself is never removed
  }
  Impl& d = *impl_;
  return d.WithConnection(root_, [&d, &parts]() {
    const std::optional<std::int64_t> id = d.FindPath(parts);
    if (!id || !d.BeginWrite()) {
      return false;
    }
    // Sub-keys and values go with it through the ON DELETE CASCADE references.
    Query q(d.conn->deleteKey);
    q.Bind(1, *id);
    if (q.Step() != SQLITE_DONE) {
      d.Fail();
    }
    if (d.key == *id) {
      d.key = 0;
    }
    return true;
  });
}

bool TRegistry::KeyExists(const std::string& path) {
  const std::vector<std::string> parts = SplitPath(path);
  Impl& d = *impl_;
  return d.WithConnection(root_, [&d, &parts]() { return d.FindPath(parts).has_value(); });
}

void TRegistry::FlushKey() {
  Impl& d = *impl_;
  if (!d.conn) {
    return;
  }
  d.Commit();
  d.SyncWal();
}

}  // namespace Platform
