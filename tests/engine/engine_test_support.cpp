#include "engine_test_support.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>

#include "media/ff_functions.h"
#include "media/ff_loader.h"

namespace ok::test {

namespace {

std::mutex captureMutex;
std::vector<TLogLine> captured;

void CaptureCallback(void*, int level, const char* format, va_list args) {
  char text[1024];
  std::vsnprintf(text, sizeof text, format, args);
  std::lock_guard<std::mutex> lock(captureMutex);
  captured.push_back({level, text});
}

}  // namespace

TLibraryLogCapture::TLibraryLogCapture() {
  captured.clear();
  FF.av_log_set_callback(&CaptureCallback);
}

TLibraryLogCapture::~TLibraryLogCapture() { FF.av_log_set_callback(FF.av_log_default_callback); }

const std::vector<TLogLine>& TLibraryLogCapture::Lines() const { return captured; }

bool TLibraryLogCapture::Contains(const std::string& text) const {
  for (const TLogLine& l : captured)
    if (l.Text == text) return true;
  return false;
}

void EngineTest::SetUp() {
  ASSERT_TRUE(FFLoader.LoadLibs(RequiredLibraries)) << FFLoader.GetLastErrMsg();
  engine = std::make_unique<TEngineTestAccess>();
  engine->ResetOptions();
  ASSERT_TRUE(engine->OptionContexts.Created());
}

void EngineTest::CaptureLog() {
  engine->OnLog = [this](int level, const std::string& text) { log.push_back({level, text}); };
}

bool EngineTest::Logged(const std::string& text) const {
  for (const TLogLine& l : log)
    if (l.Text == text) return true;
  return false;
}

int EngineTest::LoggedCount(const std::string& prefix) const {
  int n = 0;
  for (const TLogLine& l : log)
    if (l.Text.compare(0, prefix.size(), prefix) == 0) ++n;
  return n;
}

int64_t EngineTest::CodecInt(int mediaType, const char* option) const {
  int64_t value = 0;
  EXPECT_GE(FF.av_opt_get_int(engine->OptionContexts.CodecOptions[mediaType].get(), option, 0, &value), 0)
      << option;
  return value;
}

int64_t EngineTest::FormatInt(const char* option) const {
  int64_t value = 0;
  EXPECT_GE(FF.av_opt_get_int(engine->OptionContexts.FormatOptions.get(), option, 0, &value), 0) << option;
  return value;
}

}  // namespace ok::test
