// Input file opening: one demuxer context per input, its streams' parameters copied back into the
// option state as the defaults of the output side.
//
// This library generation has no format-parameters record: what the old record carried becomes
// demuxer options (only the demuxers that cannot probe a value have an option for it), and the
// forced codec ids become the context's forced codecs.

#include "engine/files/input_file.h"

#include <climits>
#include <cmath>
#include <mutex>
#include <utility>

#include "engine/custom_ffmpeg.h"
#include "engine/ffmpeg_exception.h"
#include "media/ff_loader.h"
#include "media/lib_file_name.h"
#include "platform/text_utils.h"

namespace ok {

namespace {

// An AVDictionary handed to a library call that consumes the entries it knows.
struct TOptionDictionary {
  AVDictionary* Dict = nullptr;
  ~TOptionDictionary() {
    if (Dict && FF.av_dict_free) FF.av_dict_free(&Dict);
  }
  void Set(const char* key, const std::string& value) { FF.av_dict_set(&Dict, key, value.c_str(), 0); }
};

double Ratio(int num, int den) { return den != 0 ? double(num) / den : 0.0; }

// avformat_open_input into the context the caller prepared (options applied, codecs forced). A
// "unicode:utf8:" name is read through the protocol's byte stream. On failure the library has
// freed the context and `ctx` is null; the byte stream is ours to close.
int OpenPreparedInput(AVFormatContext*& ctx, const std::string& libName, const AVInputFormat* format,
                      AVDictionary** options) {
  AVIOContext* pb = nullptr;
  if (IsUnicodeName(libName)) {
    int r = UnicodeOpen(&pb, libName, AVIO_FLAG_READ);
    if (r < 0) {
      FF.avformat_free_context(ctx);
      ctx = nullptr;
      return r;
    }
    ctx->pb = pb;
    ctx->flags |= AVFMT_FLAG_CUSTOM_IO;
  }
  int r = FF.avformat_open_input(&ctx, libName.c_str(), format, options);
  if (r < 0 && pb) UnicodeClose(&pb);
  return r;
}

}  // namespace

void MakeChannelLayout(AVChannelLayout& layout, int64_t mask, int channels) {
  if (mask != 0 && __builtin_popcountll(uint64_t(mask)) == channels)
    FF.av_channel_layout_from_mask(&layout, uint64_t(mask));
  else
    FF.av_channel_layout_default(&layout, channels);
}

void TInputState::ReleaseInputFiles() {
  for (TInputFile& file : InputFiles) {
    // Decoder contexts refer to nothing of the demuxer, but go first all the same.
    file.Streams.clear();
    file.Context.reset();
    file.FileName.clear();
  }
  NbInputFiles = 0;
  InputCodecs.clear();
  InputStreamParams.clear();
}

void TCustomFFmpeg::ConsumeInputOptions() {
  StartTime = 0;
  ForcedInputFormat = nullptr;
  ForcedOutputFormat = nullptr;
  VideoChannel = 0;
  VideoCodecName.clear();
  AudioCodecName.clear();
  SubtitleCodecName.clear();
}

void TCustomFFmpeg::CheckInputStreamTypes(bool& hasVideo, bool& hasAudio, bool& hasSubtitle) const {
  hasVideo = hasAudio = hasSubtitle = false;
  for (int f = 0; f < NbInputFiles; ++f) {
    const AVFormatContext* ctx = InputFiles[f].Context.get();
    for (unsigned i = 0; ctx && i < ctx->nb_streams; ++i) {
      switch (ctx->streams[i]->codecpar->codec_type) {
        case AVMEDIA_TYPE_VIDEO:
          hasVideo = true;
          break;
        case AVMEDIA_TYPE_AUDIO:
          hasAudio = true;
          break;
        case AVMEDIA_TYPE_SUBTITLE:
          hasSubtitle = true;
          break;
        case AVMEDIA_TYPE_UNKNOWN:
        case AVMEDIA_TYPE_DATA:
        case AVMEDIA_TYPE_ATTACHMENT:
          break;
        default:
          throw FFmpegException("invalid codec_type of input file");
      }
    }
  }
}

// The old codec context's time base, which the frame-rate message and norm detection compare with
// the container's real frame rate, has no successor in the stream: the nearest is the inverse of
// the stream's average frame rate (of the real frame rate when that is unknown).
void TCustomFFmpeg::FillStateFromVideoStream(int index, const AVStream* stream, AVCodecContext* decoder,
                                             const TPictureTurn& turn) {
  const AVCodecParameters* par = stream->codecpar;
  FrameHeight = par->height;
  FrameWidth = par->width;
  AVRational sar =
      stream->sample_aspect_ratio.num != 0 ? stream->sample_aspect_ratio : par->sample_aspect_ratio;
  float aspect = sar.den != 0 ? float(double(sar.num) / sar.den) : 0.0f;  // 0/0 counts as none
  if (std::isnan(aspect)) aspect = 0;
  if (int64_t(FrameWidth) * FrameHeight != 0)
    aspect = aspect != 0 ? float(double(FrameWidth) * aspect / FrameHeight)
                         : float(double(FrameWidth) / FrameHeight);
  else if (aspect == 0)
    aspect = 4.0f / 3.0f;
  // The output's defaults describe the picture as it is shown: upright.
  if (turn.SwapsSides()) {
    std::swap(FrameWidth, FrameHeight);
    if (aspect != 0) aspect = 1.0f / aspect;
  }
  FrameAspectRatio = aspect;

  int pixFmt = par->format;
  if (pixFmt == -1) {
    pixFmt = 0;
    if (decoder) decoder->pix_fmt = AVPixelFormat(0);
  }
  FramePixFmt = pixFmt;

  const AVRational rfps = stream->r_frame_rate;
  // The old edge-emulation flag for low-resolution decoding has no successor: decoders handle
  // edges themselves now. The motion-vector debug flag that me_threshold wanted is the exported
  // motion-vector side data.
  if (MeThreshold != 0 && decoder) decoder->export_side_data |= AV_CODEC_EXPORT_DATA_MVS;
  AVRational avg = stream->avg_frame_rate;
  AVRational codecTimeBase =
      avg.num > 0 && avg.den > 0 ? AVRational{avg.den, avg.num} : AVRational{rfps.den, rfps.num};
  if ((codecTimeBase.den != rfps.num || codecTimeBase.num != rfps.den) && Verbose > 0 && HasLogHandler())
    Log(1, FormatText("Seems stream %d codec frame rate differs from container frame rate: %2.2f (%d/%d) -> "
                      "%2.2f (%d/%d)",
                      index, Ratio(codecTimeBase.den, codecTimeBase.num), codecTimeBase.den,
                      codecTimeBase.num, Ratio(rfps.num, rfps.den), rfps.num, rfps.den));
  FrameRate = rfps;
  InputStreamParams.back().push_back({AVMEDIA_TYPE_VIDEO, codecTimeBase});
}

void TCustomFFmpeg::FillStateFromAudioStream(const AVStream* stream) {
  const AVCodecParameters* par = stream->codecpar;
  AudioChannelLayout = par->ch_layout.order == AV_CHANNEL_ORDER_NATIVE ? int64_t(par->ch_layout.u.mask) : 0;
  AudioChannels = par->ch_layout.nb_channels;
  AudioChannelsGiven = false;
  AudioSampleRate = par->sample_rate;
  AudioSampleFmt = par->format;
  InputStreamParams.back().push_back({AVMEDIA_TYPE_AUDIO, AVRational{1, par->sample_rate}});
}

void TCustomFFmpeg::OpenInputFile(const std::string& fileName) {
  struct TConsume {
    TCustomFFmpeg& Engine;
    ~TConsume() { Engine.ConsumeInputOptions(); }
  } consume{*this};

  if (NbInputFiles >= MaxFiles)
    throw FFmpegException(FormatText("Too many input files: at most %d are allowed", MaxFiles));
  std::string libName;
  try {
    libName = EncodeLibFileName(fileName);
  } catch (const EFileNameTooLong& e) {
    throw FFmpegException(e.what());
  }

  AVCodecID videoId, audioId, subtitleId;
  const AVCodec *videoDecoder, *audioDecoder, *subtitleDecoder;
  FindCodecByName(VideoCodecName, AVMEDIA_TYPE_VIDEO, false, videoId, &videoDecoder);
  FindCodecByName(AudioCodecName, AVMEDIA_TYPE_AUDIO, false, audioId, &audioDecoder);
  FindCodecByName(SubtitleCodecName, AVMEDIA_TYPE_SUBTITLE, false, subtitleId, &subtitleDecoder);

  // The old parameters record. The video values only when they are set; the audio values always,
  // as the record always carried them (only raw audio demuxers read them).
  TOptionDictionary options;
  const int width = FrameWidth + PadLeft + PadRight;
  const int height = FrameHeight + PadTop + PadBottom;
  if (width > 0 && height > 0)
    options.Set("video_size", std::to_string(width) + "x" + std::to_string(height));
  if (FramePixFmt >= 0)
    if (const char* name = FF.av_get_pix_fmt_name(AVPixelFormat(FramePixFmt)))
      options.Set("pixel_format", name);
  if (FrameRate.num > 0 && FrameRate.den > 0)
    options.Set("framerate", std::to_string(FrameRate.num) + "/" + std::to_string(FrameRate.den));
  if (AudioSampleRate > 0) options.Set("sample_rate", std::to_string(AudioSampleRate));
  if (AudioChannels > 0) {
    AVChannelLayout layout{};
    MakeChannelLayout(layout, AudioChannelLayout, AudioChannels);
    char text[128] = "";
    if (FF.av_channel_layout_describe(&layout, text, sizeof text) > 0) options.Set("ch_layout", text);
    FF.av_channel_layout_uninit(&layout);
  }
  if (VideoChannel != 0) options.Set("channel", std::to_string(VideoChannel));
  if (!VideoStandard.empty()) options.Set("standard", VideoStandard);
  // The context's loop-input setting lives on in the image demuxers' "loop" option.
  if (LoopInput) options.Set("loop", "1");

  TFormatContextPtr prepared(FF.avformat_alloc_context());
  if (!prepared) throw FFmpegException(OpenErrorText(fileName, AVERROR(ENOMEM)));
  ApplyContextOptions(prepared.get(), OptionContexts.FormatOptions.get(), AV_OPT_FLAG_DECODING_PARAM);
  prepared->video_codec_id =
      videoId != AV_CODEC_ID_NONE || !PgmyuvCompatibility ? videoId : AV_CODEC_ID_PGMYUV;
  prepared->audio_codec_id = audioId;
  prepared->subtitle_codec_id = subtitleId;
  prepared->video_codec = videoDecoder;
  prepared->audio_codec = audioDecoder;
  prepared->subtitle_codec = subtitleDecoder;

  int r = CheckLocalInput(fileName);
  if (r < 0) throw FFmpegException(OpenErrorText(fileName, r));
  AVFormatContext* opened = prepared.release();
  r = OpenPreparedInput(opened, libName, ForcedInputFormat, &options.Dict);
  if (r < 0) throw FFmpegException(OpenErrorText(fileName, r));
  TInputContextPtr context(opened);
  AVFormatContext* ic = context.get();

  if (ProgramID != 0)
    for (unsigned i = 0; i < ic->nb_programs; ++i)
      if (ic->programs[i]->id != ProgramID) ic->programs[i]->discard = AVDISCARD_ALL;

  {
    std::lock_guard<std::mutex> lock(FFLoader.CodecLock);
    r = FF.avformat_find_stream_info(ic, nullptr);
  }
  if (r < 0 && Verbose >= 0)
    throw FFmpegException(FormatText("%s: could not find codec parameters", fileName.c_str()));

  int64_t timestamp = StartTime;
  if (ic->start_time != AV_NOPTS_VALUE) timestamp += ic->start_time;
  // A failed seek is no reason to refuse the file: decoding simply starts earlier.
  if (StartTime != 0) FF.av_seek_frame(ic, -1, timestamp, AVSEEK_FLAG_BACKWARD);
  // Under copyts the input's own times stay and the recording time counts from their zero: no cut.
  const bool cut = StartTime != 0 && !CopyTs;
  StartTime = 0;

  TInputFile file;
  file.FileName = fileName;
  std::vector<const AVCodec*> slots;
  InputStreamParams.emplace_back();
  try {
    for (unsigned i = 0; i < ic->nb_streams; ++i) {
      AVStream* st = ic->streams[i];
      const AVMediaType type = st->codecpar->codec_type;
      if (type < AVMEDIA_TYPE_UNKNOWN || type > AVMEDIA_TYPE_ATTACHMENT)
        throw FFmpegException("invalid codec_type");
      TInputStream in;
      const AVCodec* forced = type == AVMEDIA_TYPE_VIDEO      ? videoDecoder
                              : type == AVMEDIA_TYPE_AUDIO    ? audioDecoder
                              : type == AVMEDIA_TYPE_SUBTITLE ? subtitleDecoder
                                                              : nullptr;
      in.ForcedDecoder = forced;
      if (type == AVMEDIA_TYPE_VIDEO || type == AVMEDIA_TYPE_AUDIO || type == AVMEDIA_TYPE_SUBTITLE) {
        const AVCodec* codec = forced ? forced : FF.avcodec_find_decoder(st->codecpar->codec_id);
        in.Decoder.reset(FF.avcodec_alloc_context3(codec));
        if (!in.Decoder || FF.avcodec_parameters_to_context(in.Decoder.get(), st->codecpar) < 0)
          throw FFmpegException(
              FormatText("Could not allocate a decoder context for input stream #%d.%u", NbInputFiles, i));
        in.Decoder->pkt_timebase = st->time_base;
        // avcodec_thread_init is gone: the thread count is a field of the context.
        in.Decoder->thread_count = ThreadCount;
      }
      switch (type) {
        case AVMEDIA_TYPE_VIDEO:
          ApplyContextOptions(in.Decoder.get(), OptionContexts.CodecOptions[MediaVideo].get(),
                              AV_OPT_FLAG_DECODING_PARAM | AV_OPT_FLAG_VIDEO_PARAM);
          if (AutoRotate) in.Turn = PictureTurnOf(st);
          // A still picture (cover art, a one-frame image) does not describe the file's video.
          if (StillBesideVideo(ic, int(i)))
            InputStreamParams.back().push_back(
                {type, AVRational{st->r_frame_rate.den, st->r_frame_rate.num}});
          else
            FillStateFromVideoStream(int(i), st, in.Decoder.get(), in.Turn);
          slots.push_back(forced);
          if (VideoDisable)
            st->discard = AVDISCARD_ALL;
          else if (VideoDiscard != 0)
            st->discard = AVDiscard(VideoDiscard);
          break;
        case AVMEDIA_TYPE_AUDIO:
          ApplyContextOptions(in.Decoder.get(), OptionContexts.CodecOptions[MediaAudio].get(),
                              AV_OPT_FLAG_DECODING_PARAM | AV_OPT_FLAG_AUDIO_PARAM);
          FillStateFromAudioStream(st);
          slots.push_back(forced);
          if (AudioDisable) st->discard = AVDISCARD_ALL;
          break;
        case AVMEDIA_TYPE_SUBTITLE:
          InputStreamParams.back().push_back({type, AVRational{0, 1}});
          slots.push_back(forced);
          if (SubtitleDisable) st->discard = AVDISCARD_ALL;
          break;
        case AVMEDIA_TYPE_DATA:
          InputStreamParams.back().push_back({type, AVRational{0, 1}});
          break;
        default:  // none and attachment: an empty slot
          InputStreamParams.back().push_back({type, AVRational{0, 1}});
          slots.push_back(nullptr);
          break;
      }
      file.Streams.push_back(std::move(in));
    }
  } catch (...) {
    InputStreamParams.pop_back();
    throw;
  }

  if (ic->duration != AV_NOPTS_VALUE) {
    int64_t d = ic->duration / 1000;
    if (RecordingTimeMs < d) RecordingTimeMs = int(std::min<int64_t>(d, INT_MAX));
  }

  const int index = NbInputFiles;
  InputFilesTsOffset[index] = CopyTs ? TsOffset : TsOffset - timestamp;
  // Fixed here: later discontinuity corrections move the offset together with the timestamps.
  InputFilesCutTime[index] = cut ? timestamp + InputFilesTsOffset[index] : INT64_MIN;
  if (Verbose >= 0) FF.av_dump_format(ic, index, libName.c_str(), 0);
  file.Context = std::move(context);
  InputFiles[index] = std::move(file);
  InputCodecs.insert(InputCodecs.end(), slots.begin(), slots.end());
  ++NbInputFiles;
}

}  // namespace ok
