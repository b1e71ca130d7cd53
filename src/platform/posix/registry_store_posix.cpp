// POSIX back-end of RegistryStore: the registry kept in SQLite files.
//
// HKEY_LOCAL_MACHINE, HKEY_CLASSES_ROOT, HKEY_USERS and HKEY_CURRENT_CONFIG live
// in machine.db, HKEY_CURRENT_USER in user.db: both in $VELMAR_REGISTRY_DIR when
// it is set, else /var/lib/velmar/registry/machine.db and
// ${XDG_CONFIG_HOME:-$HOME/.config}/velmar/registry/user.db. The location is
// looked up again by every operation that opens a key.
//
// Every change is one BEGIN IMMEDIATE transaction; a busy time-out lets the
// product, the updater and updater-reg share a hive. A hive file that is not
// one of ours, or is damaged, answers 1009 to everything and is never written.
// Its marker is read by every operation; its integrity, which costs a pass
// over the whole file, is checked once per process for each file: again only
// when another file takes its place or something other than this process's
// own writes changes it. Between BeginChanges and EndChanges each hive file
// written is held in one write transaction, and every operation on it is a
// savepoint inside.
// A hive file without its owner-write bit, or that this process may not write,
// is opened read-only: rights that modify the registry are refused with 5 as
// for a protected key on Windows (the bit is what counts for root, who passes
// every permission check). A missing hive has only its roots, and is created
// with its folders by the first write.
#include <pwd.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

#include "platform/env.h"
#include "platform/posix/errno_map.h"

namespace platform {
namespace {

using posix::ErrorFromErrno;

constexpr int kBusyTimeoutMs = 10000;
// "VREG" in the database header marks a file as a hive of this store.
constexpr int64_t kApplicationId = 0x56524547;
constexpr int64_t kSchemaVersion = 1;

// A root is a row with parent 0, named by its long name; every other key is a
// row below its parent. Names compare with SQLite's NOCASE, which folds ASCII
// letters only.
const char kSchema[] =
    "CREATE TABLE keys(id INTEGER PRIMARY KEY AUTOINCREMENT, parent INTEGER NOT NULL,"
    " name TEXT NOT NULL COLLATE NOCASE, UNIQUE(parent, name));"
    "CREATE TABLE vals(key INTEGER NOT NULL, name TEXT NOT NULL COLLATE NOCASE,"
    " type INTEGER NOT NULL, data BLOB NOT NULL, UNIQUE(key, name));";

const char* RootName(RootKey root) {
  switch (root) {
    case kHkeyClassesRoot:
      return "HKEY_CLASSES_ROOT";
    case kHkeyCurrentUser:
      return "HKEY_CURRENT_USER";
    case kHkeyLocalMachine:
      return "HKEY_LOCAL_MACHINE";
    case kHkeyUsers:
      return "HKEY_USERS";
    case kHkeyCurrentConfig:
      return "HKEY_CURRENT_CONFIG";
    default:
      return nullptr;
  }
}

std::string HomeFolder() {
  const char* home = getenv("HOME");
  if (home && *home) return home;
  struct passwd* pw = getpwuid(getuid());
  return pw && pw->pw_dir ? pw->pw_dir : "";
}

// Empty when no location can be made out.
std::string HivePath(RootKey root) {
  bool user = root == kHkeyCurrentUser;
  const char* file = user ? "user.db" : "machine.db";
  const char* dir = getenv("VELMAR_REGISTRY_DIR");
  if (dir && *dir) return std::string(dir) + "/" + file;
  if (!user) return "/var/lib/velmar/registry/machine.db";
  std::string config;
  const char* xdg = getenv("XDG_CONFIG_HOME");
  if (xdg && xdg[0] == '/') {
    config = xdg;
  } else {
    std::string home = HomeFolder();
    if (home.empty()) return std::string();
    config = home + "/.config";
  }
  return config + "/velmar/registry/user.db";
}

std::string FolderOf(const std::string& path) {
  size_t p = path.rfind('/');
  if (p == std::string::npos) return ".";
  return p == 0 ? "/" : path.substr(0, p);
}

// mkdir -p.
Error MakeFolders(const std::string& dir) {
  struct stat st;
  if (stat(dir.c_str(), &st) == 0) return S_ISDIR(st.st_mode) ? kErrorSuccess : kErrorPathNotFound;
  if (errno != ENOENT) return ErrorFromErrno(errno);
  std::string parent = FolderOf(dir);
  if (parent != dir) {
    Error err = MakeFolders(parent);
    if (err != kErrorSuccess) return err;
  }
  if (mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST) return ErrorFromErrno(errno);
  return kErrorSuccess;
}

Error FromSqlite(int rc) {
  switch (rc & 0xFF) {
    case SQLITE_OK:
    case SQLITE_ROW:
    case SQLITE_DONE:
      return kErrorSuccess;
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
    case SQLITE_FORMAT:
      return kErrorBadDatabase;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
    case SQLITE_CANTOPEN:
      return kErrorAccessDenied;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return kErrorBusy;
    case SQLITE_NOMEM:
      return kErrorNotEnoughMemory;
    case SQLITE_FULL:
      return kErrorDiskFull;
    case SQLITE_TOOBIG:
      return kErrorInvalidParameter;
    default:
      return kErrorGenFailure;
  }
}

class Statement {
 public:
  Statement(sqlite3* db, const char* sql) : m_rc(sqlite3_prepare_v2(db, sql, -1, &m_p, nullptr)) {}
  ~Statement() { sqlite3_finalize(m_p); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  void Bind(int i, int64_t v) {
    if (m_p) sqlite3_bind_int64(m_p, i, v);
  }
  void Bind(int i, const std::string& text) {
    if (m_p) sqlite3_bind_text64(m_p, i, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
  }
  void BindBlob(int i, const void* data, size_t size) {
    if (!m_p) return;
    // A null pointer would bind NULL rather than an empty blob.
    if (size == 0)
      sqlite3_bind_zeroblob(m_p, i, 0);
    else
      sqlite3_bind_blob64(m_p, i, data, size, SQLITE_TRANSIENT);
  }
  // SQLITE_ROW, SQLITE_DONE or the error (also a failed prepare).
  int Step() { return m_rc == SQLITE_OK ? sqlite3_step(m_p) : m_rc; }
  int64_t Int(int col) { return sqlite3_column_int64(m_p, col); }
  std::string Text(int col) {
    const void* p = sqlite3_column_blob(m_p, col);
    int n = sqlite3_column_bytes(m_p, col);
    return p ? std::string(static_cast<const char*>(p), static_cast<size_t>(n)) : std::string();
  }

 private:
  sqlite3_stmt* m_p = nullptr;
  int m_rc;
};

// What a hive file was when it was found sound: the same file (device and
// inode) unchanged since (size, modification and change times).
struct FileStamp {
  dev_t dev = 0;
  ino_t ino = 0;
  off_t size = 0;
  timespec mtime = {};
  timespec ctime = {};
  bool operator==(const FileStamp& o) const {
    return dev == o.dev && ino == o.ino && size == o.size && mtime.tv_sec == o.mtime.tv_sec &&
           mtime.tv_nsec == o.mtime.tv_nsec && ctime.tv_sec == o.ctime.tv_sec &&
           ctime.tv_nsec == o.ctime.tv_nsec;
  }
};

// The stamp of the file at the path, when that is the file the connection
// has open: a file the connection holds open keeps its inode, so no other
// file can have it meanwhile.
bool StampOfOpenFile(sqlite3* db, const std::string& path, FileStamp* stamp) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return false;
  int moved = 1;
  if (sqlite3_file_control(db, "main", SQLITE_FCNTL_HAS_MOVED, &moved) != SQLITE_OK || moved)
    return false;
  stamp->dev = st.st_dev;
  stamp->ino = st.st_ino;
  stamp->size = st.st_size;
  stamp->mtime = st.st_mtim;
  stamp->ctime = st.st_ctim;
  return true;
}

// The hive files this process found sound, by path, with their stamps then.
class SoundHives {
 public:
  bool Holds(const std::string& path, const FileStamp& stamp) {
    std::lock_guard<std::mutex> hold(m_lock);
    auto it = m_files.find(path);
    return it != m_files.end() && it->second == stamp;
  }
  void Remember(const std::string& path, const FileStamp& stamp) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_files[path] = stamp;
  }
  void Forget(const std::string& path) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_files.erase(path);
  }

 private:
  std::mutex m_lock;
  std::map<std::string, FileStamp> m_files;
};

SoundHives& CheckedHives() {
  static SoundHives hives;
  return hives;
}

class Hive {
 public:
  ~Hive() { sqlite3_close_v2(m_db); }
  sqlite3* m_db = nullptr;
  bool m_bWritable = false;
  std::string m_szPath;
  // Found sound in the current transaction; in a series of changes, that is
  // the whole series, under its write lock.
  bool m_bSound = false;
  std::chrono::steady_clock::time_point m_busySince;
  std::minstd_rand m_jitter{static_cast<unsigned>(getpid())};
};

// Waits for a lock held by another connection. SQLite's own time-out backs off
// to 100 ms between tries, so a process could lose every race against writers
// that keep the hive busy; short, jittered waits give each a fair chance.
int WaitWhileBusy(void* context, int count) {
  Hive* hive = static_cast<Hive*>(context);
  auto now = std::chrono::steady_clock::now();
  if (count == 0) hive->m_busySince = now;
  if (now - hive->m_busySince > std::chrono::milliseconds(kBusyTimeoutMs)) return 0;
  std::this_thread::sleep_for(std::chrono::microseconds(200 + hive->m_jitter() % 1000));
  return 1;
}

int Exec(sqlite3* db, const char* sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr); }

// Between BeginChanges and EndChanges: the hive files written meanwhile, by
// path, each held open in one write transaction.
struct PendingChanges {
  bool m_bOn = false;
  std::map<std::string, std::shared_ptr<Hive>> m_hives;
};

PendingChanges& Pending() {
  static PendingChanges pending;
  return pending;
}

// After a commit of this process: a hive found sound stays so with its new stamp.
void KeepSound(Hive* hive) {
  FileStamp now;
  if (hive->m_bSound && StampOfOpenFile(hive->m_db, hive->m_szPath, &now))
    CheckedHives().Remember(hive->m_szPath, now);
}

// Opens the hive file that holds root. A missing file gives 0 and a null hive,
// unless create is set: then the file and its folders are made.
Error OpenHive(RootKey root, bool create, std::shared_ptr<Hive>* hive) {
  hive->reset();
  std::string path = HivePath(root);
  if (path.empty()) return kErrorPathNotFound;
  PendingChanges& pending = Pending();
  auto held = pending.m_hives.find(path);
  if (held != pending.m_hives.end()) {
    *hive = held->second;
    return kErrorSuccess;
  }
  int flags = SQLITE_OPEN_READWRITE;
  bool writable = true;
  struct stat st;
  if (stat(path.c_str(), &st) != 0) {
    if (errno != ENOENT) return ErrorFromErrno(errno);
    if (!create) return kErrorSuccess;
    Error err = MakeFolders(FolderOf(path));
    if (err != kErrorSuccess) return err;
    flags |= SQLITE_OPEN_CREATE;
  } else {
    if (!S_ISREG(st.st_mode)) return kErrorBadDatabase;
    writable = (st.st_mode & S_IWUSR) && access(path.c_str(), W_OK) == 0 &&
               access(FolderOf(path).c_str(), W_OK) == 0;
    if (!writable) flags = SQLITE_OPEN_READONLY;
  }
  auto opened = std::make_shared<Hive>();
  int rc = sqlite3_open_v2(path.c_str(), &opened->m_db, flags, nullptr);
  if (rc != SQLITE_OK) return FromSqlite(rc);
  sqlite3_busy_handler(opened->m_db, WaitWhileBusy, opened.get());
  opened->m_bWritable = writable;
  opened->m_szPath = path;
  if (pending.m_bOn && writable) {
    rc = Exec(opened->m_db, "BEGIN IMMEDIATE");
    if (rc != SQLITE_OK) return FromSqlite(rc);
    pending.m_hives[path] = opened;
  }
  *hive = std::move(opened);
  return kErrorSuccess;
}

// One transaction, or a savepoint in the one that holds a series of changes;
// rolled back unless committed.
class Transaction {
 public:
  Transaction(Hive* hive, bool write)
      : m_hive(hive),
        m_bNested(!sqlite3_get_autocommit(hive->m_db)),
        m_rc(Exec(hive->m_db, m_bNested ? "SAVEPOINT change"
                              : write   ? "BEGIN IMMEDIATE"
                                        : "BEGIN")),
        m_bOpen(m_rc == SQLITE_OK),
        m_bWrite(write) {
    if (!m_bNested) m_hive->m_bSound = false;
  }
  ~Transaction() {
    if (m_bOpen) Exec(m_hive->m_db, m_bNested ? "ROLLBACK TO change; RELEASE change" : "ROLLBACK");
  }
  Error Started() const { return FromSqlite(m_rc); }
  Error Commit() {
    int rc = Exec(m_hive->m_db, m_bNested ? "RELEASE change" : "COMMIT");
    if (rc != SQLITE_OK) return FromSqlite(rc);
    m_bOpen = false;
    if (m_bWrite && !m_bNested) KeepSound(m_hive);
    return kErrorSuccess;
  }

 private:
  Hive* m_hive;
  bool m_bNested;
  int m_rc;
  bool m_bOpen;
  bool m_bWrite;
};

Error ReadPragma(sqlite3* db, const char* sql, int64_t* value) {
  Statement s(db, sql);
  int rc = s.Step();
  if (rc != SQLITE_ROW) return rc == SQLITE_DONE ? kErrorBadDatabase : FromSqlite(rc);
  *value = s.Int(0);
  return kErrorSuccess;
}

// Inside a transaction: is the file a sound hive of ours? *fresh when it is an
// empty database (a file made but never written); on a write transaction the
// tables are made then.
Error CheckHive(Hive* hive, bool write, bool* fresh) {
  sqlite3* db = hive->m_db;
  *fresh = false;
  int64_t id = 0;
  Error err = ReadPragma(db, "PRAGMA application_id", &id);
  if (err != kErrorSuccess) return err;
  if (id == 0) {
    int64_t objects = 0;
    err = ReadPragma(db, "SELECT count(*) FROM sqlite_master", &objects);
    if (err != kErrorSuccess) return err;
    if (objects != 0) return kErrorBadDatabase;
    *fresh = true;
    if (!write) return kErrorSuccess;
    std::string make = std::string(kSchema) +
                       "PRAGMA application_id = " + std::to_string(kApplicationId) +
                       "; PRAGMA user_version = " + std::to_string(kSchemaVersion) + ";";
    err = FromSqlite(Exec(db, make.c_str()));
    hive->m_bSound = err == kErrorSuccess;
    return err;
  }
  int64_t version = 0;
  if (id != kApplicationId) return kErrorBadDatabase;
  err = ReadPragma(db, "PRAGMA user_version", &version);
  if (err != kErrorSuccess) return err;
  if (version != kSchemaVersion) return kErrorBadDatabase;
  if (hive->m_bSound) return kErrorSuccess;
  // Read under the transaction's lock, so no other writer changes it meanwhile.
  FileStamp now;
  bool same = StampOfOpenFile(db, hive->m_szPath, &now);
  if (!same || !CheckedHives().Holds(hive->m_szPath, now)) {
    Statement check(db, "PRAGMA quick_check(1)");
    int rc = check.Step();
    if (rc != SQLITE_ROW) return rc == SQLITE_DONE ? kErrorBadDatabase : FromSqlite(rc);
    if (check.Text(0) != "ok") {
      CheckedHives().Forget(hive->m_szPath);
      return kErrorBadDatabase;
    }
    if (same) CheckedHives().Remember(hive->m_szPath, now);
  }
  hive->m_bSound = true;
  return kErrorSuccess;
}

std::vector<std::string> SplitKeyPath(const std::string& path) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('\\', start);
    if (end == std::string::npos) end = path.size();
    if (end > start) parts.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

// 0 with the row's id, 2 when there is none, or the database's error.
Error FindChild(sqlite3* db, int64_t parent, const std::string& name, int64_t* id) {
  Statement s(db, "SELECT id FROM keys WHERE parent = ? AND name = ?");
  s.Bind(1, parent);
  s.Bind(2, name);
  int rc = s.Step();
  if (rc == SQLITE_ROW) {
    *id = s.Int(0);
    return kErrorSuccess;
  }
  return rc == SQLITE_DONE ? kErrorFileNotFound : FromSqlite(rc);
}

// The id of the key; 0 for a root that was never written to.
Error FindKey(sqlite3* db, RootKey root, const std::vector<std::string>& parts, int64_t* id) {
  int64_t current = 0;
  Error err = FindChild(db, 0, RootName(root), &current);
  if (err == kErrorFileNotFound && parts.empty()) {
    *id = 0;
    return kErrorSuccess;
  }
  for (size_t i = 0; err == kErrorSuccess && i < parts.size(); ++i) {
    err = FindChild(db, current, parts[i], &current);
  }
  if (err == kErrorSuccess) *id = current;
  return err;
}

// Inside a write transaction: the key's id, every missing key on the path made.
Error MakeKey(sqlite3* db, RootKey root, const std::vector<std::string>& parts, int64_t* id) {
  int64_t current = 0;
  std::vector<std::string> path;
  path.push_back(RootName(root));
  path.insert(path.end(), parts.begin(), parts.end());
  for (const std::string& name : path) {
    int64_t child = 0;
    Error err = FindChild(db, current, name, &child);
    if (err == kErrorFileNotFound) {
      Statement insert(db, "INSERT INTO keys(parent, name) VALUES(?, ?)");
      insert.Bind(1, current);
      insert.Bind(2, name);
      int rc = insert.Step();
      if (rc != SQLITE_DONE) return FromSqlite(rc);
      child = sqlite3_last_insert_rowid(db);
    } else if (err != kErrorSuccess) {
      return err;
    }
    current = child;
  }
  *id = current;
  return kErrorSuccess;
}

// Looks a key up in a read transaction: 0 with its id (0 for an unwritten
// root), 2 when it does not exist.
Error LookUp(Hive* hive, RootKey root, const std::vector<std::string>& parts, int64_t* id) {
  Transaction t(hive, false);
  if (t.Started() != kErrorSuccess) return t.Started();
  bool fresh = false;
  Error err = CheckHive(hive, false, &fresh);
  if (err != kErrorSuccess) return err;
  if (fresh) {
    *id = 0;
    return parts.empty() ? kErrorSuccess : kErrorFileNotFound;
  }
  err = FindKey(hive->m_db, root, parts, id);
  if (err != kErrorSuccess) return err;
  return t.Commit();
}

bool KeyRowExists(sqlite3* db, int64_t id, Error* err) {
  Statement s(db, "SELECT 1 FROM keys WHERE id = ?");
  s.Bind(1, id);
  int rc = s.Step();
  *err = rc == SQLITE_ROW || rc == SQLITE_DONE ? kErrorSuccess : FromSqlite(rc);
  return rc == SQLITE_ROW;
}

class SqliteKey : public RegistryHandle {
 public:
  SqliteKey(RootKey root, uint32_t access, std::shared_ptr<Hive> hive, int64_t id)
      : m_root(root), m_access(access), m_hive(std::move(hive)), m_id(id) {}

  RootKey m_root;
  uint32_t m_access;
  std::shared_ptr<Hive> m_hive;  // null: the hive file did not exist at open
  int64_t m_id;                  // 0: a root with nothing written yet
};

class PosixRegistryStore : public RegistryStore {
 public:
  Error OpenKey(RootKey root, const std::string& subKey, uint32_t access,
                std::unique_ptr<RegistryHandle>* key) override {
    if (!key) return kErrorInvalidParameter;
    key->reset();
    if (!RootName(root)) return kErrorInvalidHandle;
    std::vector<std::string> parts = SplitKeyPath(subKey);
    std::shared_ptr<Hive> hive;
    Error err = OpenHive(root, false, &hive);
    if (err != kErrorSuccess) return err;
    int64_t id = 0;
    if (!hive) {
      if (!parts.empty()) return kErrorFileNotFound;
    } else {
      err = LookUp(hive.get(), root, parts, &id);
      if (err != kErrorSuccess) return err;
      if ((access & kKeyModifyingRights) && !hive->m_bWritable) return kErrorAccessDenied;
    }
    *key = std::make_unique<SqliteKey>(root, access, std::move(hive), id);
    return kErrorSuccess;
  }

  Error CreateKey(RootKey root, const std::string& subKey, uint32_t access,
                  std::unique_ptr<RegistryHandle>* key) override {
    if (!key) return kErrorInvalidParameter;
    key->reset();
    if (!RootName(root)) return kErrorInvalidHandle;
    std::vector<std::string> parts = SplitKeyPath(subKey);
    std::shared_ptr<Hive> hive;
    Error err = OpenHive(root, true, &hive);
    if (err != kErrorSuccess) return err;
    int64_t id = 0;
    if (!hive->m_bWritable) {
      // An existing key still opens for reading; nothing can be made.
      err = LookUp(hive.get(), root, parts, &id);
      if (err == kErrorFileNotFound || (err == kErrorSuccess && (access & kKeyModifyingRights)))
        return kErrorAccessDenied;
      if (err != kErrorSuccess) return err;
    } else {
      Transaction t(hive.get(), true);
      if (t.Started() != kErrorSuccess) return t.Started();
      bool fresh = false;
      err = CheckHive(hive.get(), true, &fresh);
      if (err == kErrorSuccess) err = MakeKey(hive->m_db, root, parts, &id);
      if (err == kErrorSuccess) err = t.Commit();
      if (err != kErrorSuccess) return err;
    }
    *key = std::make_unique<SqliteKey>(root, access, std::move(hive), id);
    return kErrorSuccess;
  }

  Error QueryValue(RegistryHandle* handle, const std::string& name, uint32_t* type, void* data,
                   uint32_t* size) override {
    SqliteKey* key = dynamic_cast<SqliteKey*>(handle);
    if (!key) return kErrorInvalidHandle;
    if (!(key->m_access & kKeyQueryValue)) return kErrorAccessDenied;
    if (data && !size) return kErrorInvalidParameter;
    if (!key->m_hive || key->m_id == 0) return kErrorFileNotFound;
    Statement s(key->m_hive->m_db, "SELECT type, data FROM vals WHERE key = ? AND name = ?");
    s.Bind(1, key->m_id);
    s.Bind(2, name);
    int rc = s.Step();
    if (rc == SQLITE_DONE) return kErrorFileNotFound;
    if (rc != SQLITE_ROW) return FromSqlite(rc);
    std::string bytes = s.Text(1);
    if (type) *type = static_cast<uint32_t>(s.Int(0));
    if (!size) return kErrorSuccess;
    if (bytes.size() > UINT32_MAX) return kErrorMoreData;
    uint32_t needed = static_cast<uint32_t>(bytes.size());
    if (!data) {
      *size = needed;
      return kErrorSuccess;
    }
    if (*size < needed) {
      *size = needed;
      return kErrorMoreData;
    }
    if (needed) memcpy(data, bytes.data(), needed);
    *size = needed;
    return kErrorSuccess;
  }

  Error SetValue(RegistryHandle* handle, const std::string& name, uint32_t type, const void* data,
                 size_t size) override {
    SqliteKey* key = dynamic_cast<SqliteKey*>(handle);
    if (!key) return kErrorInvalidHandle;
    if (!(key->m_access & kKeySetValue)) return kErrorAccessDenied;
    if ((size && !data) || size > UINT32_MAX) return kErrorInvalidParameter;
    if (!key->m_hive) {
      // The root of a hive that did not exist when the key was opened.
      Error err = OpenHive(key->m_root, true, &key->m_hive);
      if (err != kErrorSuccess) return err;
    }
    if (!key->m_hive->m_bWritable) return kErrorAccessDenied;
    sqlite3* db = key->m_hive->m_db;
    Transaction t(key->m_hive.get(), true);
    if (t.Started() != kErrorSuccess) return t.Started();
    bool fresh = false;
    Error err = CheckHive(key->m_hive.get(), true, &fresh);
    if (err != kErrorSuccess) return err;
    if (key->m_id == 0) {
      err = MakeKey(db, key->m_root, {}, &key->m_id);
      if (err != kErrorSuccess) return err;
    } else if (!KeyRowExists(db, key->m_id, &err)) {
      return err != kErrorSuccess ? err : kErrorKeyDeleted;
    }
    // The name keeps the case it was first written with.
    Statement s(db,
                "INSERT INTO vals(key, name, type, data) VALUES(?, ?, ?, ?)"
                " ON CONFLICT(key, name) DO UPDATE SET type = excluded.type, data = excluded.data");
    s.Bind(1, key->m_id);
    s.Bind(2, name);
    s.Bind(3, static_cast<int64_t>(type));
    s.BindBlob(4, data, size);
    int rc = s.Step();
    if (rc != SQLITE_DONE) return FromSqlite(rc);
    return t.Commit();
  }

  Error EnumKey(RegistryHandle* handle, uint32_t index, std::string* name) override {
    SqliteKey* key = dynamic_cast<SqliteKey*>(handle);
    if (!key) return kErrorInvalidHandle;
    if (!(key->m_access & kKeyEnumerateSubKeys)) return kErrorAccessDenied;
    if (!name) return kErrorInvalidParameter;
    if (!key->m_hive || key->m_id == 0) return kErrorNoMoreItems;
    Statement s(key->m_hive->m_db,
                "SELECT name FROM keys WHERE parent = ? ORDER BY name LIMIT 1 OFFSET ?");
    s.Bind(1, key->m_id);
    s.Bind(2, static_cast<int64_t>(index));
    int rc = s.Step();
    if (rc == SQLITE_DONE) return kErrorNoMoreItems;
    if (rc != SQLITE_ROW) return FromSqlite(rc);
    *name = s.Text(0);
    return kErrorSuccess;
  }

  Error EnumValue(RegistryHandle* handle, uint32_t index, std::string* name, uint32_t* type,
                  std::string* data) override {
    SqliteKey* key = dynamic_cast<SqliteKey*>(handle);
    if (!key) return kErrorInvalidHandle;
    if (!(key->m_access & kKeyQueryValue)) return kErrorAccessDenied;
    if (!key->m_hive || key->m_id == 0) return kErrorNoMoreItems;
    Statement s(key->m_hive->m_db,
                "SELECT name, type, data FROM vals WHERE key = ? ORDER BY rowid LIMIT 1 OFFSET ?");
    s.Bind(1, key->m_id);
    s.Bind(2, static_cast<int64_t>(index));
    int rc = s.Step();
    if (rc == SQLITE_DONE) return kErrorNoMoreItems;
    if (rc != SQLITE_ROW) return FromSqlite(rc);
    if (name) *name = s.Text(0);
    if (type) *type = static_cast<uint32_t>(s.Int(1));
    if (data) *data = s.Text(2);
    return kErrorSuccess;
  }

  Error DeleteKey(RootKey root, const std::string& subKey) override {
    if (!RootName(root)) return kErrorInvalidHandle;
    std::vector<std::string> parts = SplitKeyPath(subKey);
    std::shared_ptr<Hive> hive;
    Error err = OpenHive(root, false, &hive);
    if (err != kErrorSuccess) return err;
    if (!hive) return parts.empty() ? kErrorAccessDenied : kErrorFileNotFound;
    int64_t id = 0;
    if (parts.empty() || !hive->m_bWritable) {
      err = LookUp(hive.get(), root, parts, &id);
      return err != kErrorSuccess ? err : kErrorAccessDenied;
    }
    sqlite3* db = hive->m_db;
    Transaction t(hive.get(), true);
    if (t.Started() != kErrorSuccess) return t.Started();
    bool fresh = false;
    err = CheckHive(hive.get(), false, &fresh);
    if (err != kErrorSuccess) return err;
    if (fresh) return kErrorFileNotFound;
    err = FindKey(db, root, parts, &id);
    if (err != kErrorSuccess) return err;
    Statement children(db, "SELECT 1 FROM keys WHERE parent = ? LIMIT 1");
    children.Bind(1, id);
    int rc = children.Step();
    if (rc == SQLITE_ROW) return kErrorAccessDenied;
    if (rc != SQLITE_DONE) return FromSqlite(rc);
    Statement values(db, "DELETE FROM vals WHERE key = ?");
    values.Bind(1, id);
    rc = values.Step();
    if (rc != SQLITE_DONE) return FromSqlite(rc);
    Statement self(db, "DELETE FROM keys WHERE id = ?");
    self.Bind(1, id);
    rc = self.Step();
    if (rc != SQLITE_DONE) return FromSqlite(rc);
    return t.Commit();
  }

  Error DeleteValue(RegistryHandle* handle, const std::string& name) override {
    SqliteKey* key = dynamic_cast<SqliteKey*>(handle);
    if (!key) return kErrorInvalidHandle;
    if (!(key->m_access & kKeySetValue)) return kErrorAccessDenied;
    if (!key->m_hive || key->m_id == 0) return kErrorFileNotFound;
    if (!key->m_hive->m_bWritable) return kErrorAccessDenied;
    sqlite3* db = key->m_hive->m_db;
    Transaction t(key->m_hive.get(), true);
    if (t.Started() != kErrorSuccess) return t.Started();
    bool fresh = false;
    Error err = CheckHive(key->m_hive.get(), false, &fresh);
    if (err != kErrorSuccess) return err;
    if (!KeyRowExists(db, key->m_id, &err)) return err != kErrorSuccess ? err : kErrorKeyDeleted;
    Statement s(db, "DELETE FROM vals WHERE key = ? AND name = ?");
    s.Bind(1, key->m_id);
    s.Bind(2, name);
    int rc = s.Step();
    if (rc != SQLITE_DONE) return FromSqlite(rc);
    if (sqlite3_changes(db) == 0) return kErrorFileNotFound;
    return t.Commit();
  }

  void BeginChanges() override { Pending().m_bOn = true; }

  Error EndChanges() override {
    PendingChanges& pending = Pending();
    Error first = kErrorSuccess;
    for (auto& held : pending.m_hives) {
      Hive* hive = held.second.get();
      Error err = FromSqlite(Exec(hive->m_db, "COMMIT"));
      if (err == kErrorSuccess) {
        KeepSound(hive);
      } else {
        Exec(hive->m_db, "ROLLBACK");
        if (first == kErrorSuccess) first = err;
      }
    }
    pending.m_hives.clear();
    pending.m_bOn = false;
    return first;
  }

  std::string CurrentUser() override { return std::to_string(getuid()); }
};

}  // namespace

RegistryStore* DefaultRegistryStore() {
  static PosixRegistryStore store;
  return &store;
}

}  // namespace platform
