// For Windows: the helper program test_window.exe, built beside the test
// executable, and waiting for what it does.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "env/config.h"
#include "platform/env.h"

inline std::string TestWindowProgram() {
  std::string dir;
  SplitPath(platform::Env::Get().paths().ThisExecutable(), &dir);
  return dir + "\\test_window.exe";
}

// Polls `done` for up to `seconds`.
inline bool WaitFor(const std::function<bool()>& done, int seconds = 20) {
  auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (std::chrono::steady_clock::now() < end) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return done();
}
