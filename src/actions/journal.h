// The journal of an atomic update: before an action changes a file, a folder,
// a registry value or key, what is there is saved in the rollback folder and
// one record is on the disk, so that everything can be put back in reverse
// order, also by the next start after a kill or a power cut.
//
// The rollback folder belongs to the updater's user alone and is held open
// while it is used (Fs::OpenOwnFolder); a folder or journal that fails those
// checks is never acted on. A record names only what it undoes, and the undo
// of a path puts back only over what the update itself left there: anything
// else found there is kept aside in the folder ("kept-N") and named in the log.
#pragma once

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/fs.h"
#include "platform/registry_store.h"

// "rollback" beside the download folder.
std::string RollbackPathOf(const std::string& appPath);

class Journal {
 public:
  // What one record tells the undo to do.
  enum class Kind : char {
    kHeader = 'h',         // the installation folder and the version updated from
    kCreatedDir = 'd',     // a folder level that did not exist: removed when empty
    kAbsent = 'a',         // nothing was at the path
    kSavedFile = 's',      // what was at the path (its identity), kept aside under a number
    kMoved = 'm',          // moved from the first path to the second: moved back
    kLeft = 'i',           // what the update left at the path of an earlier record
    kRegistryValue = 'v',  // a value's type and data (or none) before and after
    kRegistryKey = 'k',    // a key that did not exist: deleted when empty
    kRegistryTree = 't',   // a key with its values and sub keys: written back
  };
  struct Record {
    Kind kind = Kind::kAbsent;
    std::vector<std::string> fields;
    // For the records of a path: what the update left there, empty when that
    // was never recorded.
    std::string left;
  };
  enum class Status {
    kOk,
    kNone,       // no rollback folder, or no journal in it
    kUntrusted,  // a link, another user's, or writable by others: not touched
    kBad,        // bad bytes, a record that makes no sense, or another installation
    kFailed,     // something could not be done; the journal stays for a later try
  };

  explicit Journal(std::string folder);
  ~Journal();
  Journal(const Journal&) = delete;
  Journal& operator=(const Journal&) = delete;

  // A fresh journal in a folder of the updater's own (made when missing),
  // naming the installation and the version it is updated from.
  Status Begin(const std::string& appPath, const std::string& fromVersion);
  // The file that will be written over, or made where nothing is.
  bool WillWrite(const std::string& path);
  // The same for a writer that only ever puts a whole new file in place with
  // one rename: the old file keeps its bytes under a second name.
  bool WillReplace(const std::string& path);
  // The missing levels of a folder that will be made.
  bool WillCreateDirs(const std::string& dir);
  // A move that never replaces; false when something is at `to`.
  bool WillMove(const std::string& from, const std::string& to);
  // Removes the file, link or tree at the path by moving it aside, with the
  // rules of a removal: a read-only file (in a tree too) stays and is FALSE.
  bool RemoveAside(const std::string& path);
  // What the update leaves at the path: what is there now, or `from` (the
  // temporary that is renamed there next).
  void Leaves(const std::string& path, const std::string& from = std::string());
  // The value that will be written (`data` of `type`) or deleted (`data`
  // null), and the key levels a write would create.
  bool WillChangeValue(platform::RootKey root, const std::string& subKey, const std::string& name,
                       const std::string* data, uint32_t type);
  // The key, its values and its sub keys, that will be deleted.
  bool WillDeleteKey(platform::RootKey root, const std::string& subKey);

  // Records from BeginBatch to EndBatch reach the disk together at its end
  // (none of their changes may begin before). False when they did not.
  void BeginBatch();
  bool EndBatch();

  // The update is complete: every change is on the disk, then the journal
  // goes (the commit), then what was kept aside. False when the journal
  // could not be removed.
  bool Commit();
  // Every record undone, last first, then the journal removed. Records of
  // another user's HKEY_CURRENT_USER are left, and an undo that fails stops
  // there: the journal is then rewritten with what was not undone (kFailed).
  Status Undo(const std::string& appPath);
  // Opens the folder of a journal left by an earlier run.
  Status Open();
  // The records of the journal file; a record cut short at its end is not
  // among them (its change had not begun).
  Status Read(std::vector<Record>* records);
  // The version the journal's update started from, once read.
  const std::string& FromVersion() const { return m_szFromVersion; }

 private:
  bool Append(Kind kind, const std::vector<std::string>& fields, bool barrier = true);
  // Whether the held folder has a journal; counts what undos kept and, when
  // asked, clears asides nothing names any more.
  bool ScanFolder(bool clearLeftovers);
  bool Barrier();
  std::string NextAside();
  bool InsideAndLinkFree(const std::string& path) const;
  bool Keep(const std::string& path, bool byRename);
  bool Covered(const std::string& path) const { return m_covered.count(path) > 0; }
  // Undo helpers (journal_undo.cpp).
  bool UndoRecord(const Record& r);
  bool UndoFile(const Record& r);
  bool UndoMove(const Record& r);
  bool KeepChanged(const std::string& path);
  bool DropAside(const std::string& aside, const std::string& path);
  bool IsAnotherUsers(const Record& r) const;
  bool Rewrite(const std::vector<Record>& records);
  void Touch(const std::string& path);
  void FlushTouched();
  void RemoveFolderIfEmpty();

  std::string m_szFolder;
  std::unique_ptr<platform::Folder> m_folder;
  std::unique_ptr<platform::WritableFile> m_file;
  std::string m_szFromVersion;
  std::string m_szUser;
  std::set<std::string> m_covered;  // paths already named by a record
  uint64_t m_nBytes = 0;
  int m_nNextAside = 0;
  int m_nNextKept = 0;
  int m_nBatch = 0;
  bool m_bDirty = false;            // records not yet forced to the disk
  bool m_bFolderDirty = false;      // entries of the folder not yet flushed
  std::set<std::string> m_touched;  // folders whose entries the records change
};

// The journal of the atomic update in progress, or null: then the actions do
// what they always did.
extern Journal* g_pJournal;

// Each true without a journal; with one, false when the record could not be
// written (the change must then not be made).
bool JournalWillWrite(const std::string& path);
bool JournalWillReplace(const std::string& path);
bool JournalWillCreateDirs(const std::string& dir);
bool JournalWillMove(const std::string& from, const std::string& to);
bool JournalWillChangeValue(platform::RootKey root, const std::string& subKey,
                            const std::string& name, const std::string* data, uint32_t type);
bool JournalWillDeleteKey(platform::RootKey root, const std::string& subKey);
void JournalLeaves(const std::string& path, const std::string& from = std::string());

// A batch of records for as long as it lives (nothing without a journal).
class JournalBatch {
 public:
  JournalBatch();
  ~JournalBatch();
  JournalBatch(const JournalBatch&) = delete;
  JournalBatch& operator=(const JournalBatch&) = delete;
  // Ends the batch early; false when its records did not reach the disk.
  bool End();

 private:
  bool m_bOpen;
};
