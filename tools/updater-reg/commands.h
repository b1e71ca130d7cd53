// The operations of updater-reg. Each takes the arguments after the operation
// name and returns the process's exit code: 0 on success, 1 on failure.
#pragma once

#include <string>
#include <vector>

using Arguments = std::vector<std::string>;

int RunAdd(const Arguments& args);
int RunQuery(const Arguments& args);
int RunDelete(const Arguments& args);
int RunExport(const Arguments& args);
int RunImport(const Arguments& args);
