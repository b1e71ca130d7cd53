// A file system whose file writes fall short for chosen blocks, as on a disk
// that fills up: the block's first half is written, the rest is refused. The
// log file is left alone.
#pragma once

#include <memory>
#include <set>
#include <string>

#include "platform/env.h"

class ShortWriteFs : public platform::FsWrapper {
 public:
  // Block numbers count the Write calls on each opened file, from 1.
  explicit ShortWriteFs(std::set<int> shortBlocks);
  ~ShortWriteFs() override;

  platform::Error OpenForWrite(const std::string& path, platform::WriteMode mode,
                               std::unique_ptr<platform::WritableFile>* file) override;

 private:
  std::set<int> m_shortBlocks;
  platform::Fs* m_pPrevious;
};
