// A main window that only counts what the logic reports, standing in for the
// dialog so that progress and status calls cost what the calls themselves cost.
#pragma once

#include <string>

#include "env/main_window.h"

class CountingWindow : public MainWindow {
 public:
  void ShowStatus(const std::string&) override { ++m_nStatus; }
  void SetFileProgress(int position, int range) override {
    ++m_nProgressCalls;
    m_nPosition = position;
    if (range > 0) m_nRange = range;
  }
  void SetTotalProgress(int, int) override {}
  void ShowLatestVersion(const std::string&) override {}
  int MessageBox(const std::string&, unsigned) override { return kIdOk; }
  void PumpMessage() override { ++m_nPumped; }
  platform::WindowId GetWindowId() const override { return 0; }

  long m_nStatus = 0;
  long m_nProgressCalls = 0;
  long m_nPumped = 0;
  int m_nPosition = 0;
  int m_nRange = 0;
};
