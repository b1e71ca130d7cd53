// A code page whose lead bytes are 0x81..0xFE, as GBK's are, over the real
// text service: a trail byte may then equal the separator of either platform
// or an ASCII letter. With it the multibyte rules are tested on POSIX too.
#pragma once

#include "platform/env.h"

class GbkLikeText : public platform::Text {
 public:
  explicit GbkLikeText(platform::Text* real = platform::DefaultText()) : m_pReal(real) {}
  bool IsLeadByte(unsigned char c) const override { return c >= 0x81 && c <= 0xFE; }
  bool ExpandEnvironment(const std::string& in, size_t cap, std::string* out) const override {
    return m_pReal->ExpandEnvironment(in, cap, out);
  }
  bool GetVariable(const std::string& name, std::string* value) const override {
    return m_pReal->GetVariable(name, value);
  }
  bool FromUtf8(const std::string& utf8, std::string* text) const override {
    return m_pReal->FromUtf8(utf8, text);
  }

 private:
  platform::Text* m_pReal;
};

// Puts GbkLikeText in place for its own life.
class ScopedGbkText {
 public:
  ScopedGbkText() : m_guard(&platform::Env::SetText, &m_text) {}

 private:
  GbkLikeText m_text;
  platform::ScopedService<platform::Text> m_guard;
};
