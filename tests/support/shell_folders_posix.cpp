// For POSIX: HOME and the XDG variables of the sandbox name the folders.
#include "support/shell_folders.h"

ScopedShellFolders::ScopedShellFolders(const std::string&, const std::string&, const std::string&,
                                       const std::string&) {}

ScopedShellFolders::~ScopedShellFolders() = default;
