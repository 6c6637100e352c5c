#pragma once
// Sets the process's 8-bit code page for a test's scope and restores the previous one.

#include "platform/code_page.h"

namespace ok::test {

class CodePageScope {
 public:
  explicit CodePageScope(TCodePage page) : saved_(CurrentCodePage()) { SetCodePage(page); }
  ~CodePageScope() { SetCodePage(saved_); }
  CodePageScope(const CodePageScope&) = delete;
  CodePageScope& operator=(const CodePageScope&) = delete;

 private:
  TCodePage saved_;
};

}  // namespace ok::test
