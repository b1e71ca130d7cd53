// A fresh temporary folder for one test, removed with everything in it
// afterwards; optionally the current directory for the test's duration.
#pragma once

#include <string>

class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::string& path() const { return m_szPath; }
  // path(), the platform separator, then the name with each "/" written as
  // the platform separator.
  std::string Sub(const std::string& name) const;
  // Makes the folder the current directory until destruction.
  void Enter();

 private:
  std::string m_szPath;
  std::string m_szPreviousCwd;
};

// Whole file as bytes; empty when it cannot be read.
std::string ReadFileBytes(const std::string& path);
bool WriteFileBytes(const std::string& path, const std::string& bytes);
