// The journal of an atomic update: before an action changes a file, a folder,
// a registry value or key, what is there is saved in the rollback folder and
// one record is written and closed, so that everything can be put back in
// reverse order, also by the next start after a crash.
#pragma once

#include <string>
#include <vector>

#include "platform/registry_store.h"

// "rollback" beside the download folder.
std::string RollbackPathOf(const std::string& appPath);

class Journal {
 public:
  // What one record tells the undo to do.
  enum class Kind : char {
    kCreatedDir = 'd',     // a folder level that did not exist: removed when empty
    kAbsent = 'a',         // nothing was at the path: whatever is there goes
    kSavedFile = 's',      // the file (or tree) is kept aside: put back in place
    kMoved = 'm',          // moved from the first path to the second: moved back
    kRegistryValue = 'v',  // a value's type and data, or that it did not exist
    kRegistryKey = 'k',    // a key that did not exist: deleted when empty
    kRegistryTree = 't',   // a key with its values and sub keys: written back
  };
  struct Record {
    Kind kind = Kind::kAbsent;
    std::vector<std::string> fields;
  };

  explicit Journal(std::string folder);

  // A fresh journal; false when the folder could not be made or a journal is
  // already there.
  bool Begin();
  // The file that will be written over, or made where nothing is.
  bool WillWrite(const std::string& path);
  // The same for a writer that only ever puts a whole new file in place with
  // one rename: the old file keeps its bytes under a second name.
  bool WillReplace(const std::string& path);
  // The missing levels of a folder that will be made.
  bool WillCreateDirs(const std::string& dir);
  // A move that never replaces.
  bool WillMove(const std::string& from, const std::string& to);
  // Removes the file, link or tree at the path by moving it aside, with the
  // rules of a removal: a read-only file (in a tree too) stays and is FALSE.
  bool RemoveAside(const std::string& path);
  // The value that will be written or deleted, and the key levels a write
  // would create.
  bool WillChangeValue(platform::RootKey root, const std::string& subKey, const std::string& name);
  // The key, its values and its sub keys, that will be deleted.
  bool WillDeleteKey(platform::RootKey root, const std::string& subKey);

  // Every record undone, last first, then the journal removed. False when
  // something could not be put back (the journal then stays for the next go).
  bool Undo();
  // The update is complete: the journal goes (false when it could not), then
  // what was kept aside.
  bool Remove();
  // True when a journal is in the folder.
  bool Exists() const;

  // The records of the journal file; a record cut short by a crash is not
  // among them (its change had not begun).
  bool Read(std::vector<Record>* records) const;

 private:
  bool Append(Kind kind, const std::vector<std::string>& fields);
  std::string AsidePath();
  bool InsideAndLinkFree(const std::string& path) const;
  bool Keep(const std::string& path, bool byRename);
  // Whatever is in the folder, and the folder.
  void ClearFolder();

  std::string m_szFolder;
  std::string m_szFile;
  int m_nRecords = 0;
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
                            const std::string& name);
bool JournalWillDeleteKey(platform::RootKey root, const std::string& subKey);
