// The progress report: the values of the first video output and of the first output file to the
// progress handler, or a status line to the log; at the end a summary of the written sizes.

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <filesystem>

#include "engine/custom_ffmpeg.h"
#include "engine/ffmpeg_exception.h"
#include "platform/text_utils.h"

namespace ok {

namespace {

// How many pictures were coded at each quantiser, over every task of the process.
std::array<std::atomic<int>, 52> QpCounts{};

constexpr double NoTimeYet = 1e10;

// The status line: printf-style pieces appended as far as they fit in 1024 bytes.
class TStatusLine {
 public:
  template <typename... TArgs>
  void Append(const char* format, TArgs... args) {
    const size_t room = sizeof text_ - length_;
    if (room <= 1) return;
    const int n = FF.my_snprintf(text_ + length_, room, format, args...);
    if (n > 0) length_ = std::min(sizeof text_ - 1, length_ + size_t(n));
  }
  std::string Text() const { return std::string(text_, length_); }

 private:
  char text_[1024] = {};
  size_t length_ = 0;
};

// The bytes written to the output so far: the byte stream's size, else its position.
int64_t CurrentOutputSize(const TOutputFile& file) {
  AVIOContext* pb = file.Context ? file.Context->pb : nullptr;
  if (!pb) {
    // The byte stream is already closed: the file itself tells.
    std::error_code error;
    const auto size = std::filesystem::file_size(file.FileName, error);
    return error ? 0 : int64_t(size);
  }
  int64_t size = FF.avio_size(pb);
  if (size < 0) size = FF.avio_seek(pb, 0, SEEK_CUR);
  return std::max<int64_t>(size, 0);
}

float CodedQualityOf(const TOutputStreamState& ost) {
  if (ost.Output && ost.Output->StreamCopy) return -1.0f;
  return float(ost.CodedQuality) / float(FF_QP2LAMBDA);
}

int ToIntClamped(double value) { return int(std::clamp(value, double(INT32_MIN), double(INT32_MAX))); }

}  // namespace

void TCustomFFmpeg::PrintReport(bool isLast) {
  int frameNumber = -1;
  int fps = -1;
  float quality = -1.0f;
  const int64_t currentSize = CurrentOutputSize(OutputFiles[0]);
  TStatusLine line;
  double ti1 = NoTimeYet;
  bool seenVideo = false;

  for (const auto& entry : Tables.OutputStreams) {
    const TOutputStreamState& ost = *entry;
    const AVCodecContext* enc = ost.Encoder;
    if (enc && enc->codec_type == AVMEDIA_TYPE_VIDEO) {
      if (seenVideo) {
        line.Append("q=%2.1f ", double(CodedQualityOf(ost)));
      } else {
        const double t = double(FF.av_gettime() - TimerStart) / 1000000.0;
        frameNumber = ost.FrameNumber;
        if (frameNumber < 1) return;
        fps = t > 1.0 ? ToIntClamped(frameNumber / t + 0.5) : 0;
        quality = CodedQualityOf(ost);
        line.Append("frame=%5d fps=%3d q=%3.1f ", frameNumber, fps, double(quality));
        if (isLast) line.Append("L");
        if (QpHistogram) {
          const long qp = std::lrint(double(ost.CodedQuality) / FF_QP2LAMBDA);
          if (qp >= 0 && qp < long(QpCounts.size()))
            QpCounts[size_t(qp)].fetch_add(1, std::memory_order_relaxed);
          for (size_t j = 0; j < 32; ++j)
            line.Append("%X", int(std::lrint(std::log2(QpCounts[j].load(std::memory_order_relaxed) + 1))));
        }
        if (enc->flags & AV_CODEC_FLAG_PSNR) {
          static constexpr char Planes[3] = {'Y', 'U', 'V'};
          double errorSum = 0, scaleSum = 0;
          line.Append("PSNR=");
          for (int j = 0; j < 3; ++j) {
            double error, scale = double(enc->width) * enc->height * 255.0 * 255.0;
            if (isLast) {
              error = double(enc->error[j]);
              scale *= frameNumber;
            } else {
              error = double(ost.CodedError[j]);
            }
            if (j > 0) scale /= 4.0;
            errorSum += error;
            scaleSum += scale;
            line.Append("%c:%2.2f ", Planes[j], -10.0 * std::log10(error / scale));
          }
          line.Append("*:%2.2f ", -10.0 * std::log10(errorSum / scaleSum));
        }
        seenVideo = true;
      }
    }
    if (ost.Stream) {
      const int64_t end = FF.av_stream_get_end_pts(ost.Stream);
      const double pts = end == AV_NOPTS_VALUE ? 0.0 : double(end) * av_q2d(ost.Stream->time_base);
      if (pts > 0 && pts < ti1) ti1 = pts;
    }
  }
  // Nothing muxed yet counts as no time at all, not as the 10^10 s start value.
  if (ti1 == NoTimeYet) ti1 = 0;
  ti1 = std::max(ti1, 0.01);

  if (OnProgress || Verbose > 0 || isLast) {
    const float bitRate = float(double(currentSize) * 8.0 / ti1 / 1000.0);
    line.Append("size=%8.0fkB time=%0.2f bitrate=%6.1fkbits/s", double(currentSize) / 1024.0, ti1,
                double(bitRate));
    if (Verbose > 1) line.Append(" dup=%d drop=%d", NbFramesDup, NbFramesDrop);
    if (OnProgress)
      OnProgress(frameNumber, fps, ToIntClamped(ti1 * 1000.0), quality, bitRate, currentSize,
                 RecordingTimeMs);
    else if (Verbose >= 0 && HasLogHandler())
      Log(1, line.Text());
  }

  if (isLast && Verbose >= 0 && HasLogHandler()) {
    const int64_t raw = VideoSize + AudioSize + ExtraSize;
    std::string summary =
        FormatText("video:%1.0fkB audio:%1.0fkB global headers:%1.0fkB", double(VideoSize) / 1024.0,
                   double(AudioSize) / 1024.0, double(ExtraSize) / 1024.0);
    // Without anything written the overhead has no meaning (it would divide by zero).
    if (raw != 0)
      summary += FormatText(" muxing overhead %.2f%%", 100.0 * double(currentSize - raw) / double(raw));
    Log(1, summary + "\r\n");
  }
}

}  // namespace ok
