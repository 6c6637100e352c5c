#include "media/av_probe.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <mutex>

#include "media/ff_functions.h"
#include "media/ff_loader.h"
#include "media/lib_file_name.h"
#include "media/video_stream.h"

namespace ok {

namespace {

// The probe logs at the component's numeric levels 0 (error), 1 (information) and 2 (debug). The
// library levels written here are the ones the component's log callback maps back to those:
// AV_LOG_ERROR -> 0, AV_LOG_INFO -> 1, AV_LOG_DEBUG -> 2.
int LibraryLogLevel(int level) {
  switch (level) {
    case 0:
      return AV_LOG_ERROR;
    case 1:
      return AV_LOG_INFO;
    default:
      return AV_LOG_DEBUG;
  }
}

std::string Tag(AVDictionary* metadata, const char* key) {
  const AVDictionaryEntry* e = FF.av_dict_get(metadata, key, nullptr, 0);
  return e && e->value ? e->value : "";
}

// The number a tag text starts with (after blanks), at most `maxDigits` digits; 0 when none.
int32_t LeadingNumber(const std::string& text, int maxDigits) {
  size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  int64_t value = 0;
  for (int n = 0; i < text.size() && n < maxDigits && std::isdigit(static_cast<unsigned char>(text[i]));
       ++i, ++n)
    value = value * 10 + (text[i] - '0');
  return int32_t(std::min<int64_t>(value, INT32_MAX));
}

std::string Lower(std::string text) {
  for (char& c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

bool IsImage2Format(const std::string& formatName) {
  const std::string name = Lower(formatName);
  static const std::string pipe = "_pipe";
  return name == "image2" ||
         (name.size() > pipe.size() && name.compare(name.size() - pipe.size(), pipe.size(), pipe) == 0);
}

// ---------------------------------------------------------------------------------------------
// TCustomAVProbe

TCustomAVProbe::TCustomAVProbe() = default;

TCustomAVProbe::~TCustomAVProbe() { TCustomAVProbe::CloseFile(); }

void TCustomAVProbe::Log(int level, const std::string& text) {
  if (FF.av_log) FF.av_log(nullptr, LibraryLogLevel(level), "%s", text.c_str());
}

bool TCustomAVProbe::CheckLibraries() {
  if (!FFLoader.IsLoaded(ltAVCodec)) throw EProbeError("LibAVCodec not loaded.");
  if (!FFLoader.IsLoaded(ltAVFormat)) throw EProbeError("LibAVFormat not loaded.");
  if (!FFLoader.IsLoaded(ltAVUtil)) throw EProbeError("LibAVUtil not loaded.");
  if (!FFLoader.IsLoaded(ltSwScale)) throw EProbeError("LibSwScale not loaded.");
  return true;
}

void TCustomAVProbe::CountStreams() {
  streamCount_ = programCount_ = -1;
  audioStreamCount_ = videoStreamCount_ = subtitleStreamCount_ = -1;
  firstAudioStream_ = firstVideoStream_ = firstSubtitleStream_ = -1;
  if (!context_) return;
  streamCount_ = int(context_->nb_streams);
  programCount_ = int(context_->nb_programs);
  audioStreamCount_ = videoStreamCount_ = subtitleStreamCount_ = 0;
  for (int i = 0; i < streamCount_; ++i) {
    const AVStream* st = context_->streams[i];
    if (!st || !st->codecpar) continue;
    switch (st->codecpar->codec_type) {
      case AVMEDIA_TYPE_VIDEO:
        ++videoStreamCount_;
        break;
      case AVMEDIA_TYPE_AUDIO:
        ++audioStreamCount_;
        if (firstAudioStream_ < 0) firstAudioStream_ = i;
        break;
      case AVMEDIA_TYPE_SUBTITLE:
        ++subtitleStreamCount_;
        if (firstSubtitleStream_ < 0) firstSubtitleStream_ = i;
        break;
      default:
        break;
    }
  }
  // The real video, not a still picture (cover art, a one-frame image) before it.
  firstVideoStream_ = MainVideoStream(context_);
}

bool TCustomAVProbe::GetVideoGeometry(TVideoGeometry& geometry, int streamIndex) const {
  geometry = {};
  if (streamIndex < 0) streamIndex = firstVideoStream_;
  if (!context_ || streamIndex < 0 || streamIndex >= int(context_->nb_streams)) return false;
  const AVStream* st = context_->streams[streamIndex];
  if (!st || !st->codecpar || st->codecpar->codec_type != AVMEDIA_TYPE_VIDEO) return false;
  geometry.Width = geometry.DisplayWidth = st->codecpar->width;
  geometry.Height = geometry.DisplayHeight = st->codecpar->height;
  AVRational sar =
      st->sample_aspect_ratio.num > 0 ? st->sample_aspect_ratio : st->codecpar->sample_aspect_ratio;
  if (sar.num > 0 && sar.den > 0 && sar.num != sar.den) {
    // The wider side grows, so that no picture detail is dropped; even, as encoders want it.
    const double ratio = double(sar.num) / sar.den;
    if (ratio > 1)
      geometry.DisplayWidth = int(std::lround(geometry.Width * ratio / 2) * 2);
    else
      geometry.DisplayHeight = int(std::lround(geometry.Height / ratio / 2) * 2);
  }
  const TPictureTurn turn = PictureTurnOf(st);
  geometry.Rotation = turn.Rotation;
  geometry.Mirrored = turn.Mirrored;
  if (turn.SwapsSides()) std::swap(geometry.DisplayWidth, geometry.DisplayHeight);
  return true;
}

bool TCustomAVProbe::LoadFile(const std::string& fileName, const std::string& formatName) {
  CheckLibraries();
  CloseFile();

  const AVInputFormat* format = nullptr;
  if (!formatName.empty()) {
    format = FF.av_find_input_format(formatName.c_str());
    if (!format) {
      errorMessage_ = "Unknown input format: " + formatName;
      return false;
    }
  }

  std::string libName;
  try {
    libName = EncodeLibFileName(fileName);
  } catch (const EFileNameTooLong& e) {
    errorMessage_ = e.what();
    return false;
  }

  // The library allocates the context itself in this generation; OpenInputContext also routes
  // "unicode:utf8:" names through the wide-name byte stream.
  AVFormatContext* ctx = nullptr;
  int ret = CheckLocalInput(fileName);
  if (ret == 0) ret = OpenInputContext(&ctx, libName, format, nullptr);
  if (ret < 0 || !ctx) {
    errorMessage_ = OpenErrorText(fileName, ret < 0 ? ret : AVERROR(EINVAL));
    CloseFile();
    return false;
  }
  ownedContext_.reset(ctx);
  context_ = ctx;
  ownsContext_ = true;

  {
    std::lock_guard<std::mutex> lock(FFLoader.CodecLock);
    ret = FF.avformat_find_stream_info(ctx, nullptr);
  }
  if (ret < 0) {
    errorMessage_ = fileName + ": could not find codec parameters";
    CloseFile();
    return false;
  }

  CountStreams();
  formatName_ = formatName;
  return true;
}

void TCustomAVProbe::AttachContext(AVFormatContext* context) {
  CheckLibraries();
  CloseFile();
  ownsContext_ = false;
  context_ = context;
  CountStreams();
}

void TCustomAVProbe::CloseFile() {
  formatName_.clear();
  context_ = nullptr;
  ownedContext_.reset();  // only a context the probe opened itself is closed
  ownsContext_ = false;
  CountStreams();
}

bool TCustomAVProbe::GetFileStreamInfo(TFileStreamInfo& info) {
  info = TFileStreamInfo{};
  if (!context_) {
    Log(1, "file not loaded.\n");
    errorMessage_ = "file not loaded.";
    return false;
  }
  info.StartTime = context_->start_time == AV_NOPTS_VALUE ? -1 : context_->start_time;
  info.Duration = context_->duration == AV_NOPTS_VALUE ? -1 : context_->duration;
  // 64 bits in this generation; the record keeps 32.
  info.BitRate = int32_t(std::clamp<int64_t>(context_->bit_rate, 0, INT32_MAX));

  AVDictionary* tags = context_->metadata;
  // The context's own timestamp field is gone; its successor is the "creation_time" tag.
  info.Timestamp = 0;
  const std::string created = Tag(tags, "creation_time");
  int64_t parsed = 0;
  if (!created.empty() && FF.av_parse_time(&parsed, created.c_str(), 0) >= 0) info.Timestamp = parsed;

  // Year and track were context fields; they are tags now ("date" or "year", "track" as "3/12").
  std::string year = Tag(tags, "date");
  if (year.empty()) year = Tag(tags, "year");
  info.Year = LeadingNumber(year, 4);
  info.Track = LeadingNumber(Tag(tags, "track"), 9);

  info.Title = Tag(tags, "title");
  // The old "author" key is "artist" in this generation's metadata.
  info.Author = Tag(tags, "author");
  if (info.Author.empty()) info.Author = Tag(tags, "artist");
  info.Copyright = Tag(tags, "copyright");
  info.Comment = Tag(tags, "comment");
  info.Album = Tag(tags, "album");
  info.Genre = Tag(tags, "genre");
  return true;
}

std::string TCustomAVProbe::GetFileName() {
  if (!context_) {
    Log(1, "file not loaded.\n");
    errorMessage_ = "file not loaded.";
    return "";
  }
  return context_->url ? DecodeLibFileName(context_->url) : "";
}

std::string TCustomAVProbe::GetFormatName() {
  if (!context_) {
    Log(1, "file not loaded.\n");
    errorMessage_ = "file not loaded.";
    return "";
  }
  if (!context_->iformat || !context_->iformat->name) return "";
  return IsImage2Format(context_->iformat->name) ? "image2" : context_->iformat->name;
}

bool TCustomAVProbe::ContextIsImage2() const {
  return context_ && context_->iformat && context_->iformat->name && IsImage2Format(context_->iformat->name);
}

}  // namespace ok
