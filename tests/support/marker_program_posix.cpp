// For POSIX: the marker programs are shell scripts.
#include <sys/stat.h>

#include "support/marker_program.h"
#include "support/temp_dir.h"

MarkerCommand MarkerProgram(double seconds, const std::string& marker, const std::string& text) {
  return {"/bin/sh",
          "-c \"sleep " + std::to_string(seconds) + "; echo " + text + " > '" + marker + "'\""};
}

MarkerCommand ExitingProgram(int code) {
  return {"/bin/sh", "-c \"exit " + std::to_string(code) + "\""};
}

std::string WriteMarkerScript(const std::string& folder, double seconds, const std::string& marker,
                              const std::string& text) {
  std::string script = folder + "/start";
  WriteFileBytes(script, "#!/bin/sh\nsleep " + std::to_string(seconds) + "\necho " + text +
                             " \"$@\" > '" + marker + "'\n");
  chmod(script.c_str(), 0755);
  return script;
}

std::string PlantDecoy(const std::string& path) {
  WriteFileBytes(path, "#!/bin/sh\necho decoy > '" + path + ".ran'\n");
  chmod(path.c_str(), 0755);
  return path + ".ran";
}
