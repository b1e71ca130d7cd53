#include "support/short_write_fs.h"

namespace {

class ShortFile : public platform::WritableFile {
 public:
  ShortFile(std::unique_ptr<platform::WritableFile> real, const std::set<int>* shortBlocks)
      : m_pReal(std::move(real)), m_pShortBlocks(shortBlocks) {}

  bool Write(const void* data, size_t n, size_t* written) override {
    bool full = m_pShortBlocks->count(++m_nBlock) > 0;
    if (full) n /= 2;
    return m_pReal->Write(data, n, written) && !full;
  }
  bool Sync() override { return m_pReal->Sync(); }
  bool Close() override { return m_pReal->Close(); }

 private:
  std::unique_ptr<platform::WritableFile> m_pReal;
  const std::set<int>* m_pShortBlocks;
  int m_nBlock = 0;
};

}  // namespace

ShortWriteFs::ShortWriteFs(std::set<int> shortBlocks)
    : FsWrapper(&platform::Env::Get().fs()), m_shortBlocks(std::move(shortBlocks)) {
  m_pPrevious = platform::Env::Get().SetFs(this);
}

ShortWriteFs::~ShortWriteFs() { platform::Env::Get().SetFs(m_pPrevious); }

platform::Error ShortWriteFs::OpenForWrite(const std::string& path, platform::WriteMode mode,
                                           std::unique_ptr<platform::WritableFile>* file) {
  std::unique_ptr<platform::WritableFile> real;
  platform::Error err = target()->OpenForWrite(path, mode, &real);
  if (err != platform::kErrorSuccess) return err;
  if (path.find("updater.log") != std::string::npos) {
    *file = std::move(real);
  } else {
    *file = std::make_unique<ShortFile>(std::move(real), &m_shortBlocks);
  }
  return err;
}
