#pragma once
// Shared by the engine tests: an engine over the really loaded media libraries, with its log
// handler and the library log captured.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/custom_ffmpeg.h"
#include "engine/ffmpeg_exception.h"
#include "engine_test_access.h"

namespace ok::test {

struct TLogLine {
  int Level;
  std::string Text;
};

// Captures what the libraries log through av_log while it lives (one at a time).
class TLibraryLogCapture {
 public:
  TLibraryLogCapture();
  ~TLibraryLogCapture();
  TLibraryLogCapture(const TLibraryLogCapture&) = delete;
  TLibraryLogCapture& operator=(const TLibraryLogCapture&) = delete;
  const std::vector<TLogLine>& Lines() const;
  bool Contains(const std::string& text) const;
};

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override;
  // Installs a log handler that records every line.
  void CaptureLog();
  bool Logged(const std::string& text) const;
  int LoggedCount(const std::string& prefix) const;
  int64_t CodecInt(int mediaType, const char* option) const;
  int64_t FormatInt(const char* option) const;

  std::unique_ptr<TEngineTestAccess> engine;
  std::vector<TLogLine> log;
};

// The text of the FFmpegException that `action` raises; "(nothing raised)" when it raises none.
template <typename TAction>
std::string EngineFailure(TAction&& action) {
  try {
    action();
  } catch (const FFmpegException& e) {
    return e.what();
  }
  return "(nothing raised)";
}

// "first,first+1,..." with `count` numbers: the text of a matrix option.
inline std::string Numbers(int count, int first = 1) {
  std::string text;
  for (int i = 0; i < count; ++i) text += (i ? "," : "") + std::to_string(first + i);
  return text;
}

}  // namespace ok::test
