#include "RegistryStore.h"

#include <cstring>
#include <optional>

#include "RegistryConnection.h"

namespace Platform {

namespace {

using store::Connection;
using store::ConnectionPool;
using store::Query;
using store::Raise;
using store::RaiseSqlite;
using store::Statement;

// The hive root: id 1, no parent, empty name.
constexpr std::int64_t kRootKeyId = 1;

[[noreturn]] void RaiseGetFailed(const std::string& name) {
  Raise(Format("Failed to get data for '%s'", name.c_str()));
}
[[noreturn]] void RaiseSetFailed(const std::string& name) {
  Raise(Format("Failed to set data for '%s'", name.c_str()));
}
[[noreturn]] void RaiseInvalidType(const std::string& name) {
  Raise(Format("Invalid data type for '%s'", name.c_str()));
}

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

bool HoldsZero(const std::string& name) {
  return name.find('\0') != std::string::npos;
}

// A name as a message shows it, its zero bytes written \0.
std::string Shown(const std::string& name) {
  std::string shown;
  for (const char c : name) {
    shown += c == '\0' ? std::string("\\0") : std::string(1, c);
  }
  return shown;
}

// SQLite compares texts only up to a zero byte, so a name holding one would stand for
// another key or value: such names are refused for writing and never found.
[[noreturn]] void RaiseZeroInName(const char* what, const std::string& name) {
  Raise(Format("The %s name '%s' holds a NUL byte; names may not hold one", what,
               Shown(name).c_str()));
}

// The first part of a path that holds a zero byte; nothing when none does.
const std::string* PartHoldingZero(const std::vector<std::string>& parts) {
  for (const auto& part : parts) {
    if (HoldsZero(part)) {
      return &part;
    }
  }
  return nullptr;
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
  bool update = false;      // inside BeginUpdate .. CommitUpdate/RollbackUpdate
  bool updateLost = false;  // an error discarded the update before its commit

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
    if (PartHoldingZero(parts) != nullptr) {
      return std::nullopt;
    }
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
    if (store::IsNoAccess(rc)) {
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

  // Puts the connection back, committing what was written; inside an update only the
  // key is closed.
  void Release() {
    if (!conn) {
      return;
    }
    key = 0;
    if (update) {
      return;
    }
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
    if (update) {
      update = false;
      updateLost = true;
    }
  }

  // After an error discarded an update, nothing more is written through the accessor
  // until the caller has seen it (CommitUpdate raises, RollbackUpdate acknowledges):
  // later changes would otherwise be committed one by one, outside the update.
  void RefuseAfterLostUpdate() const {
    if (updateLost) {
      Raise("the update was discarded after an error");
    }
  }

  [[noreturn]] void Fail() {
    conn->broken = true;
    RaiseSqlite(conn->db);
  }

  // Removes a key with everything below it, deepest keys first and each with its values
  // before it, so that no ON DELETE CASCADE reaches further than one row: a cascade
  // down a deep chain of keys runs into SQLite's limit of trigger recursion.
  void DeleteSubtree(std::int64_t id) {
    std::vector<std::int64_t> ids;
    {
      Query q(conn->subtreeDeepestFirst);
      q.Bind(1, id);
      int rc;
      while ((rc = q.Step()) == SQLITE_ROW) {
        ids.push_back(sqlite3_column_int64(q.get(), 0));
      }
      if (rc != SQLITE_DONE) {
        Fail();
      }
    }
    for (const std::int64_t each : ids) {
      Query values(conn->deleteValuesOf);
      if (values.Bind(1, each).Step() != SQLITE_DONE) {
        Fail();
      }
      Query key(conn->deleteKey);
      if (key.Bind(1, each).Step() != SQLITE_DONE) {
        Fail();
      }
    }
  }

  Stored Fetch(const std::string& name) {
    Stored s;
    if (key == 0 || HoldsZero(name)) {
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
    if (HoldsZero(name)) {
      RaiseZeroInName("value", name);
    }
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
    if (impl_->update) {
      RollbackUpdate();
    }
    impl_->Release();
  } catch (...) {
    // Nothing can be reported from here; the transaction was rolled back.
  }
}

void TRegistry::SetRootKey(Hive hive) {
  if (impl_->update && hive != root_) {
    Raise("the root cannot change during an update");
  }
  CloseKey();
  root_ = hive;
}

bool TRegistry::OpenKey(const std::string& path, bool create) {
  CloseKey();
  const std::vector<std::string> parts = SplitPath(path);
  Impl& d = *impl_;
  d.RefuseAfterLostUpdate();
  if (const std::string* zero = PartHoldingZero(parts)) {
    if (create) {
      RaiseZeroInName("key", *zero);
    }
    return false;
  }
  if (create && parts.size() > kMaxKeyDepth) {
    Raise(Format("Cannot create a key %zu levels deep: keys may be at most %zu levels deep",
                 parts.size(), kMaxKeyDepth));
  }
  if (!d.conn) {
    d.conn = ConnectionPool::Instance().Acquire(HiveFilePath(root_), create);
  }
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
  if (d.key == 0 || HoldsZero(name) || !d.BeginWrite()) {
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
  d.RefuseAfterLostUpdate();
  return d.WithConnection(root_, [&d, &parts]() {
    const std::optional<std::int64_t> id = d.FindPath(parts);
    if (!id || !d.BeginWrite()) {
      return false;
    }
    d.DeleteSubtree(*id);
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
  if (!d.conn || d.update) {
    return;
  }
  d.Commit();
  d.SyncWal();
}

bool TRegistry::BeginUpdate() {
  CloseKey();
  Impl& d = *impl_;
  d.updateLost = false;
  d.conn = ConnectionPool::Instance().Acquire(HiveFilePath(root_), true);
  if (!d.conn) {
    return false;
  }
  try {
    if (!d.BeginWrite()) {
      d.Release();
      return false;
    }
  } catch (...) {
    d.Abandon();
    throw;
  }
  d.update = true;
  return true;
}

void TRegistry::CommitUpdate() {
  Impl& d = *impl_;
  if (!d.update) {
    const bool lost = d.updateLost;
    d.updateLost = false;
    if (lost) {
      Raise("the update was discarded after an error");
    }
    return;
  }
  d.update = false;
  d.key = 0;
  try {
    d.Commit();
    d.SyncWal();
  } catch (...) {
    d.Abandon();
    throw;
  }
  d.Release();
}

void TRegistry::RollbackUpdate() {
  Impl& d = *impl_;
  d.updateLost = false;
  if (!d.update) {
    return;
  }
  d.update = false;
  d.key = 0;
  if (d.conn && !sqlite3_get_autocommit(d.conn->db)) {
    Query q(d.conn->rollback);
    q.Step();
  }
  d.txn = Impl::Txn::None;
  d.Release();
}

}  // namespace Platform
