// Output file and stream creation: the muxer context, one encoder context per stream filled from
// the option state, the file's metadata and its byte stream.
//
// This library generation keeps no codec context in the stream: each stream's encoder context is
// allocated for the chosen encoder and reaches the stream's codec parameters through
// UpdateStreamParameters. A builder creates its stream only once everything that can fail has
// succeeded, so a failed builder leaves no half-built stream behind.

#include "engine/files/output_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

#include "engine/custom_ffmpeg.h"
#include "engine/ffmpeg_exception.h"
#include "engine/files/channel_layouts.h"
#include "media/lib_file_name.h"
#include "platform/text_utils.h"

namespace ok {

namespace {

template <typename T, typename U>
bool Listed(const T* list, T end, U value) {
  for (; *list != end; ++list)
    if (*list == T(value)) return true;
  return false;
}

// The sample rate of `list` (0-terminated) nearest to `rate`.
int NearestSampleRate(const int* list, int rate) {
  int best = list[0];
  for (; *list != 0; ++list)
    if (std::abs(int64_t(*list) - rate) < std::abs(int64_t(best) - rate)) best = *list;
  return best;
}

// The sample aspect ratio that gives a frame of width × height the display ratio `aspect`; the
// old 4:3 rule when the size is unknown.
AVRational SampleAspectRatio(int width, int height, float aspect) {
  double ratio = int64_t(width) * height != 0 ? double(height) * aspect / width : double(aspect) * 3 / 4;
  return FF.av_d2q(ratio, 255);
}

bool HasOption(void* object, const char* name) {
  return object && FF.av_opt_find(object, name, nullptr, 0, 0) != nullptr;
}

// The encoder context for `ost.Codec`, or a codec-less one of `type` and `id`.
AVCodecContext* AllocateEncoder(TOutputStream& ost, AVMediaType type, AVCodecID id) {
  ost.Encoder.reset(FF.avcodec_alloc_context3(ost.Codec));
  if (!ost.Encoder) throw FFmpegException("Could not alloc stream");
  AVCodecContext* c = ost.Encoder.get();
  if (!ost.Codec) {
    c->codec_type = type;
    c->codec_id = id;
  }
  return c;
}

// The stream in `oc` for a built `ost`; nothing after it may fail, so that Streams stays aligned
// with the context's streams.
void CreateStream(AVFormatContext* oc, TOutputStream& ost) {
  AVStream* st = FF.avformat_new_stream(oc, nullptr);
  if (!st) throw FFmpegException("Could not alloc stream");
  ost.Stream = st;
  st->sample_aspect_ratio = ost.Encoder->sample_aspect_ratio;
  // Written again before the header; an allocation failure here only leaves them empty now.
  ost.UpdateStreamParameters();
}

void CheckStreamRoom(const AVFormatContext* oc) {
  if (oc->nb_streams >= unsigned(MaxStreams)) throw FFmpegException("Could not alloc stream");
}

// The text codec a container's subtitles are written in: its own default, else the timed text of
// the MP4 family, whose muxers take it without naming a default.
AVCodecID TextSubtitleCodec(const AVOutputFormat* format) {
  if (format->subtitle_codec != AV_CODEC_ID_NONE) return format->subtitle_codec;
  return FF.avformat_query_codec(format, AV_CODEC_ID_MOV_TEXT, FF_COMPLIANCE_NORMAL) == 1
             ? AV_CODEC_ID_MOV_TEXT
             : AV_CODEC_ID_NONE;
}

}  // namespace

TSubtitleCarriage PlanSubtitleCarriage(const AVOutputFormat* format, AVCodecID source) {
  const AVCodecID text = TextSubtitleCodec(format);
  const AVCodecDescriptor* descriptor = FF.avcodec_descriptor_get(source);
  const bool isText = descriptor && (descriptor->props & AV_CODEC_PROP_TEXT_SUB);
  if (text == AV_CODEC_ID_NONE) return {};
  if ((isText || format->subtitle_codec != AV_CODEC_ID_NONE) &&
      FF.avformat_query_codec(format, source, FF_COMPLIANCE_NORMAL) == 1)
    return {TSubtitleCarriage::Copy, nullptr};
  if (!isText || !FF.avcodec_find_decoder(source)) return {};
  // The encoder of the codec's own name first: "ssa" would write the same codec under its old name.
  const AVCodec* encoder = FF.avcodec_find_encoder_by_name(FF.avcodec_get_name(text));
  if (!encoder) encoder = FF.avcodec_find_encoder(text);
  if (encoder) return {TSubtitleCarriage::Convert, encoder};
  return {};
}

int TOutputStream::UpdateStreamParameters() {
  if (!Stream || !Encoder) return AVERROR(EINVAL);
  int r = FF.avcodec_parameters_from_context(Stream->codecpar, Encoder.get());
  if (r >= 0 && Encoder->time_base.num > 0 && Encoder->time_base.den > 0)
    Stream->time_base = Encoder->time_base;
  return r;
}

TOutputFile::TOutputFile(TOutputFile&& other) noexcept
    : Context(std::move(other.Context)),
      FileName(std::move(other.FileName)),
      FileOpened(other.FileOpened),
      HeaderWritten(other.HeaderWritten),
      TrailerWritten(other.TrailerWritten),
      DeleteOnClose(other.DeleteOnClose),
      Streams(std::move(other.Streams)) {
  other.FileOpened = false;
}

TOutputFile& TOutputFile::operator=(TOutputFile&& other) noexcept {
  if (this != &other) {
    Close();
    Context = std::move(other.Context);
    FileName = std::move(other.FileName);
    FileOpened = other.FileOpened;
    HeaderWritten = other.HeaderWritten;
    TrailerWritten = other.TrailerWritten;
    DeleteOnClose = other.DeleteOnClose;
    Streams = std::move(other.Streams);
    other.FileOpened = false;
  }
  return *this;
}

void TOutputFile::Close() {
  if (Context) {
    if (FileOpened && FF.avio_closep) CloseOutputIO(&Context->pb);
    Streams.clear();
    Context.reset();
    // Only a file this engine created is deleted: an empty file that was there before stays, and
    // so does anything but a regular file (a device or pipe named as the output).
    const int64_t size = FileSizeOf(FileName);
    if (FileOpened && size >= 0 && (DeleteOnClose || size == 0)) ::unlink(FileName.c_str());
  }
  Streams.clear();
  FileName.clear();
  FileOpened = false;
  HeaderWritten = false;
  TrailerWritten = false;
  DeleteOnClose = false;
}

void TOutputState::ReleaseOutputFiles() {
  for (TOutputFile& file : OutputFiles) file.Close();
  NbOutputFiles = 0;
  OutputCodecs.clear();
}

bool HasResizingFilter(const std::string& filters) {
  std::string lower = filters;
  for (char& ch : lower) ch = char(std::tolower(static_cast<unsigned char>(ch)));
  static const std::string resizing = ",crop,rotate,scale,transpose,";
  size_t start = 0;
  for (;;) {
    size_t comma = lower.find(',', start);
    std::string part = lower.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    std::string name = part.substr(0, part.find('='));
    if (resizing.find("," + name + ",") != std::string::npos) return true;
    if (comma == std::string::npos) return false;
    start = comma + 1;
  }
}

AVCodecContext* TCustomFFmpeg::BeginOutputStream(TOutputStream& ost, const AVFormatContext* oc,
                                                 AVMediaType type, const std::string& codecName,
                                                 TBitstreamFilterChain& filters, bool streamCopy,
                                                 const AVCodec*& named) {
  ost.BitstreamFilters = std::move(filters);
  filters.clear();
  ost.StreamCopy = streamCopy;
  named = nullptr;
  AVCodecID id = AV_CODEC_ID_NONE;
  if (!ost.StreamCopy) {
    if (!codecName.empty()) {
      FindCodecByName(codecName, type, true, id, &named);
      ost.Codec = named;
    } else {
      id = FF.av_guess_codec(oc->oformat, nullptr, oc->url, nullptr, type);
      ost.Codec = FF.avcodec_find_encoder(id);
    }
  }
  return AllocateEncoder(ost, type, id);
}

void TCustomFFmpeg::NewVideoStream(TOutputFile& file) {
  struct TConsume {
    std::string& Name;
    ~TConsume() { Name.clear(); }
  } consume{VideoCodecName};
  AVFormatContext* oc = file.Context.get();
  CheckStreamRoom(oc);

  TOutputStream ost;
  const AVCodec* named = nullptr;
  AVCodecContext* c = BeginOutputStream(ost, oc, AVMEDIA_TYPE_VIDEO, VideoCodecName, VideoBitstreamFilters,
                                        VideoStreamCopy, named);
  // avcodec_thread_init is gone: the thread count is a field of the context.
  if (ThreadCount > 1) c->thread_count = ThreadCount;
  if (VideoCodecTag != 0) c->codec_tag = VideoCodecTag;
  // Set on the option holder too: copying a generic "flags" option must keep them.
  AVCodecContext* holder = OptionContexts.CodecOptions[MediaVideo].get();
  if ((VideoGlobalHeader & 1) || (VideoGlobalHeader == 0 && (oc->oformat->flags & AVFMT_GLOBALHEADER))) {
    c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    holder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  }
  if (VideoGlobalHeader & 2) {
    c->flags2 |= AV_CODEC_FLAG2_LOCAL_HEADER;
    holder->flags2 |= AV_CODEC_FLAG2_LOCAL_HEADER;
  }

  if (ost.StreamCopy) {
    c->sample_aspect_ratio = SampleAspectRatio(FrameWidth, FrameHeight, FrameAspectRatio);
  } else {
    AVRational fps = FrameRate.num != 0 ? FrameRate : AVRational{25, 1};
    ApplyContextOptions(c, holder, AV_OPT_FLAG_ENCODING_PARAM | AV_OPT_FLAG_VIDEO_PARAM);
    ApplyPrivateCodecOptions(c, MediaVideo);
    if (ost.Codec && ost.Codec->supported_framerates && !ForceFps)
      fps = ost.Codec->supported_framerates[FF.av_find_nearest_q_idx(fps, ost.Codec->supported_framerates)];
    c->time_base = AVRational{fps.den, fps.num};
    c->framerate = fps;
    c->width = FrameWidth + PadRight + PadLeft;
    c->height = FrameHeight + PadTop + PadBottom;
    c->sample_aspect_ratio = SampleAspectRatio(c->width, c->height, FrameAspectRatio);
    c->pix_fmt = AVPixelFormat(FramePixFmt);
    if (ost.Codec && ost.Codec->pix_fmts && !Listed(ost.Codec->pix_fmts, AV_PIX_FMT_NONE, FramePixFmt))
      c->pix_fmt = ost.Codec->pix_fmts[0];
    if (IntraOnly) c->gop_size = 0;
    if (VideoQScale != 0 || SameQuality) {
      c->flags |= AV_CODEC_FLAG_QSCALE;
      ost.Quality = float(FF_QP2LAMBDA) * VideoQScale;
      c->global_quality = int(ost.Quality);
    }
    for (auto [matrix, target] :
         {std::pair{IntraMatrix.get(), &c->intra_matrix}, {InterMatrix.get(), &c->inter_matrix}}) {
      if (!matrix) continue;
      // Freed with the context.
      *target = static_cast<uint16_t*>(FF.av_malloc(sizeof(TQuantMatrix)));
      if (!*target) throw FFmpegException("Could not allocate a quantiser matrix");
      std::memcpy(*target, matrix->data(), sizeof(TQuantMatrix));
    }
    c->thread_count = ThreadCount;
    ApplyRcOverride(c);
    // Some encoders mark "unset" as -1 (libx264) where the old generation had 0.
    if (c->rc_initial_buffer_occupancy <= 0) c->rc_initial_buffer_occupancy = c->rc_buffer_size * 3 / 4;
    // The encoders' motion-estimation threshold has no successor in this generation.
    c->intra_dc_precision = IntraDcPrecision - 8;
    if (DoPsnr) c->flags |= AV_CODEC_FLAG_PSNR;
    if (DoPass == 1)
      c->flags |= AV_CODEC_FLAG_PASS1;
    else if (DoPass != 0)
      c->flags |= AV_CODEC_FLAG_PASS2;
  }

  CreateStream(oc, ost);
  file.Streams.push_back(std::move(ost));
  OutputCodecs.push_back(named);
  VideoDisable = false;
  VideoStreamCopy = false;
}

void TCustomFFmpeg::NewAudioStream(TOutputFile& file) {
  struct TConsume {
    TCustomFFmpeg& Engine;
    ~TConsume() {
      Engine.AudioCodecName.clear();
      Engine.AudioLanguage.clear();
    }
  } consume{*this};
  AVFormatContext* oc = file.Context.get();
  CheckStreamRoom(oc);

  TOutputStream ost;
  const AVCodec* named = nullptr;
  AVCodecContext* c = BeginOutputStream(ost, oc, AVMEDIA_TYPE_AUDIO, AudioCodecName, AudioBitstreamFilters,
                                        AudioStreamCopy, named);
  if (ThreadCount > 1) c->thread_count = ThreadCount;
  if (AudioCodecTag != 0) c->codec_tag = AudioCodecTag;
  if (oc->oformat->flags & AVFMT_GLOBALHEADER) {
    c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    OptionContexts.CodecOptions[MediaAudio]->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  }

  int sampleRate = AudioSampleRate;
  if (ost.StreamCopy) {
    FF.av_channel_layout_uninit(&c->ch_layout);
    FF.av_channel_layout_default(&c->ch_layout, AudioChannels);
  } else {
    ApplyContextOptions(c, OptionContexts.CodecOptions[MediaAudio].get(),
                        AV_OPT_FLAG_ENCODING_PARAM | AV_OPT_FLAG_AUDIO_PARAM);
    ApplyPrivateCodecOptions(c, MediaAudio);
    if (AudioQScale > -99999.0f) {
      c->flags |= AV_CODEC_FLAG_QSCALE;
      ost.Quality = float(FF_QP2LAMBDA) * AudioQScale;
      c->global_quality = int(ost.Quality);
    }
    c->thread_count = ThreadCount;
    FF.av_channel_layout_uninit(&c->ch_layout);
    MakeChannelLayout(c->ch_layout, AudioChannelLayout, AudioChannels);
    if (!AudioChannelsGiven) UseAcceptedChannelLayout(*c, ost.Codec);
    c->sample_fmt = AVSampleFormat(AudioSampleFmt);
    if (ost.Codec && ost.Codec->sample_fmts &&
        !Listed(ost.Codec->sample_fmts, AV_SAMPLE_FMT_NONE, AudioSampleFmt))
      c->sample_fmt = ost.Codec->sample_fmts[0];
    // An encoder cannot be opened with a rate it does not take: the nearest one it takes. A rate
    // asked of an encoder that lists none would only fail when it opens, so it is refused here.
    if (const int* rates = AcceptedSampleRates(ost.Codec); rates && !Listed(rates, 0, sampleRate)) {
      if (AudioSampleRateGiven && !ost.Codec->supported_samplerates)
        throw FFmpegException(
            FormatText("Encoder %s does not take a sample rate of %d Hz", ost.Codec->name, sampleRate));
      sampleRate = NearestSampleRate(rates, sampleRate);
    }
  }
  c->sample_rate = sampleRate;
  c->time_base = AVRational{1, sampleRate};

  CreateStream(oc, ost);
  if (!AudioLanguage.empty()) FF.av_dict_set(&ost.Stream->metadata, "language", AudioLanguage.c_str(), 0);
  file.Streams.push_back(std::move(ost));
  OutputCodecs.push_back(named);
  AudioDisable = false;
  AudioStreamCopy = false;
}

void TCustomFFmpeg::UseAcceptedChannelLayout(AVCodecContext& c, const AVCodec* encoder) {
  AVChannelLayout accepted{};
  if (!NearestAcceptedLayout(encoder, c.ch_layout, accepted)) return;
  char from[64] = "", to[64] = "";
  FF.av_channel_layout_describe(&c.ch_layout, from, sizeof from);
  FF.av_channel_layout_describe(&accepted, to, sizeof to);
  Log(1, FormatText("Encoder %s does not take %s audio: converting it to %s", encoder->name, from, to));
  FF.av_channel_layout_uninit(&c.ch_layout);
  c.ch_layout = accepted;
}

void TCustomFFmpeg::NewSubtitleStream(TOutputFile& file) {
  struct TConsume {
    TCustomFFmpeg& Engine;
    ~TConsume() {
      Engine.SubtitleCodecName.clear();
      Engine.SubtitleLanguage.clear();
    }
  } consume{*this};
  AVFormatContext* oc = file.Context.get();
  CheckStreamRoom(oc);

  TOutputStream ost;
  ost.BitstreamFilters = std::move(SubtitleBitstreamFilters);
  SubtitleBitstreamFilters.clear();
  ost.StreamCopy = SubtitleStreamCopy;
  const AVCodec* named = nullptr;
  AVCodecID id = AV_CODEC_ID_NONE;
  // Without a name the stream has no codec: the format's default subtitle codec is not taken.
  if (!ost.StreamCopy) FindCodecByName(SubtitleCodecName, AVMEDIA_TYPE_SUBTITLE, true, id, &named);
  ost.Codec = named;
  AVCodecContext* c = AllocateEncoder(ost, AVMEDIA_TYPE_SUBTITLE, id);
  if (!ost.StreamCopy) {
    // Subtitle times are milliseconds; the encoders refuse to open without a time base.
    c->time_base = AVRational{1, 1000};
    ApplyContextOptions(c, OptionContexts.CodecOptions[MediaSubtitle].get(),
                        AV_OPT_FLAG_ENCODING_PARAM | AV_OPT_FLAG_SUBTITLE_PARAM);
    ApplyPrivateCodecOptions(c, MediaSubtitle);
  }

  CreateStream(oc, ost);
  if (!SubtitleLanguage.empty())
    FF.av_dict_set(&ost.Stream->metadata, "language", SubtitleLanguage.c_str(), 0);
  file.Streams.push_back(std::move(ost));
  OutputCodecs.push_back(named);
  SubtitleDisable = false;
  SubtitleStreamCopy = false;
}

void TCustomFFmpeg::NewOutputStream(AVMediaType mediaType) {
  TOutputFile& file = OutputFiles[NbOutputFiles - 1];
  switch (mediaType) {
    case AVMEDIA_TYPE_VIDEO:
      NewVideoStream(file);
      break;
    case AVMEDIA_TYPE_AUDIO:
      NewAudioStream(file);
      break;
    case AVMEDIA_TYPE_SUBTITLE:
      NewSubtitleStream(file);
      break;
    default:
      throw FFmpegException("invalid codec_type of output stream");
  }
}

void TCustomFFmpeg::RefuseSourceAsOutput(const TOutputFile& file) {
  struct stat out;
  if (::stat(file.FileName.c_str(), &out) != 0) return;
  for (int i = 0; i < NbInputFiles; ++i) {
    struct stat in;
    if (::stat(InputFiles[i].FileName.c_str(), &in) == 0 && in.st_dev == out.st_dev &&
        in.st_ino == out.st_ino)
      throw FFmpegException(FormatText("Output file '%s' is input file #%d; an input is never overwritten",
                                       file.FileName.c_str(), i));
  }
}

int TCustomFFmpeg::OpenOutput(const std::string& fileName) {
  TOutputFile file;  // released on every failure, with whatever was built in it
  // The forced formats are consumed whatever the outcome; a failure forgets the codecs of the
  // streams built in `file`.
  struct TConsume {
    TCustomFFmpeg& Engine;
    const size_t CodecsBefore;
    bool Registered = false;
    ~TConsume() {
      if (!Registered) Engine.OutputCodecs.resize(CodecsBefore);
      Engine.ForcedOutputFormat = nullptr;
      Engine.ForcedInputFormat = nullptr;
    }
  } consume{*this, OutputCodecs.size()};

  if (!VideoFilters.empty() && CropTop + CropBottom + CropLeft + CropRight != 0)
    throw FFmpegException("Cannot enable crop options and filters at the same time.");
  if (PadTop + PadBottom + PadLeft + PadRight != 0 && HasResizingFilter(VideoFilters))
    throw FFmpegException(
        "Cannot enable pad options and the filters which resize frame at the same time. (crop, rotate, "
        "scale, "
        "transpose, etc.)");
  UseVideoFilters = !VideoFilters.empty();
  if (NbOutputFiles >= MaxFiles)
    throw FFmpegException(FormatText("Too many output files: at most %d are allowed", MaxFiles));

  std::string libName;
  try {
    libName = EncodeLibFileName(fileName);
  } catch (const EFileNameTooLong& e) {
    throw FFmpegException(e.what());
  }
  if (!ForcedOutputFormat) {
    ForcedOutputFormat = FF.av_guess_format(nullptr, fileName.c_str(), nullptr);
    if (!ForcedOutputFormat)
      throw FFmpegException(FormatText("Unable to find a suitable output format for '%s'", fileName.c_str()));
  }
  AVFormatContext* allocated = nullptr;
  if (FF.avformat_alloc_output_context2(&allocated, ForcedOutputFormat, nullptr, libName.c_str()) < 0 ||
      !allocated)
    throw FFmpegException(OpenErrorText(fileName, AVERROR(ENOMEM)));
  file.Context.reset(allocated);
  file.FileName = fileName;
  AVFormatContext* oc = allocated;
  const AVOutputFormat* format = oc->oformat;
  // The "ffm" feed output of the old generation is gone with its muxer: no format of this name.

  bool useVideo = VideoStreamCopy || format->video_codec != AV_CODEC_ID_NONE || !VideoCodecName.empty();
  bool useAudio = AudioStreamCopy || format->audio_codec != AV_CODEC_ID_NONE || !AudioCodecName.empty();
  const bool subtitleNamed = SubtitleStreamCopy || !SubtitleCodecName.empty();
  bool useSubtitle = subtitleNamed || TextSubtitleCodec(format) != AV_CODEC_ID_NONE;
  if (NbInputFiles > 0) {
    bool hasVideo, hasAudio, hasSubtitle;
    try {
      CheckInputStreamTypes(hasVideo, hasAudio, hasSubtitle);
    } catch (const std::exception& e) {
      throw FFmpegException(FormatText("check_audio_video_sub_inputs fail: %s", e.what()));
    }
    useVideo = useVideo && hasVideo;
    useAudio = useAudio && hasAudio;
    useSubtitle = useSubtitle && hasSubtitle;
  }
  if (AudioDisable) useAudio = false;
  if (SubtitleDisable) useSubtitle = false;
  if (useSubtitle && !subtitleNamed) {
    // The stream the setup will feed it from (the first subtitle stream, or the first one mapped)
    // decides how subtitles go in, if at all.
    auto mapped = [&](int f, int s) {
      if (NbStreamMaps == 0) return true;
      for (int m = 0; m < NbStreamMaps; ++m)
        if (StreamMaps[m].FileIndex == f && StreamMaps[m].StreamIndex == s) return true;
      return false;
    };
    int sourceFile = -1, sourceStream = -1;
    for (int f = 0; f < NbInputFiles && sourceFile < 0; ++f)
      for (unsigned i = 0; i < InputFiles[f].Context->nb_streams && sourceFile < 0; ++i)
        if (InputFiles[f].Context->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_SUBTITLE &&
            mapped(f, int(i))) {
          sourceFile = f;
          sourceStream = int(i);
        }
    useSubtitle = false;
    if (sourceFile >= 0) {
      const AVCodecID id = InputFiles[sourceFile].Context->streams[sourceStream]->codecpar->codec_id;
      const TSubtitleCarriage plan = PlanSubtitleCarriage(format, id);
      useSubtitle = plan.How != TSubtitleCarriage::Leave;
      if (plan.How == TSubtitleCarriage::Copy) SubtitleStreamCopy = true;
      if (plan.How == TSubtitleCarriage::Convert) SubtitleCodecName = plan.Encoder->name;
      if (!useSubtitle)
        Log(0, FormatText("Subtitle stream #%d.%d (%s) cannot go into %s: it is left out", sourceFile,
                          sourceStream, FF.avcodec_get_name(id), format->name));
    }
  }

  if (!VideoDisable && useVideo) {
    try {
      NewVideoStream(file);
    } catch (const std::exception& e) {
      throw FFmpegException(FormatText("new_video_stream fail: %s", e.what()));
    }
  }
  if (useAudio) {
    try {
      NewAudioStream(file);
    } catch (const std::exception& e) {
      throw FFmpegException(FormatText("new_audio_stream fail: %s", e.what()));
    }
  }
  if (useSubtitle) {
    try {
      NewSubtitleStream(file);
    } catch (const std::exception& e) {
      throw FFmpegException(FormatText("new_subtitle_stream fail: %s", e.what()));
    }
  }

  // The context's timestamp became the "creation_time" tag; the muxers read it.
  if (RecTimestamp != 0) {
    time_t t = time_t(RecTimestamp);
    struct tm utc;
    char text[64];
    if (gmtime_r(&t, &utc) && std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S.000000Z", &utc))
      FF.av_dict_set(&oc->metadata, "creation_time", text, 0);
  }
  // The last added pair first. The old generation's key conversion table is gone: the muxers map
  // the generic keys themselves.
  for (auto it = Metadata.rbegin(); it != Metadata.rend(); ++it)
    FF.av_dict_set(&oc->metadata, it->Key.c_str(), it->Value.c_str(), 0);
  Metadata.clear();

  if ((format->flags & AVFMT_NEEDNUMBER) && !FF.av_filename_number_test(oc->url))
    throw FFmpegException(OpenErrorText(DecodeLibFileName(oc->url), AVERROR(EDOM)));

  if (!(format->flags & AVFMT_NOFILE)) {
    RefuseSourceAsOutput(file);
    // No descriptor left is said as such: it is the process's limit, not the file's fault.
    if (const int r = OpenOutputIO(&oc->pb, libName, AVIO_FLAG_WRITE); r < 0)
      throw FFmpegException(r == AVERROR(EMFILE) || r == AVERROR(ENFILE)
                                ? OpenErrorText(fileName, r)
                                : FormatText("Could not open '%s'", fileName.c_str()));
    file.FileOpened = true;
  }
  OpenFurtherFilesByLibName(oc);
  // The old output-parameters call has no successor: the muxer checks its streams when the header
  // is written.

  // Preload and loop count moved into the muxers that use them.
  oc->max_delay = int(MuxMaxDelay * 1000000);
  if (HasOption(oc->priv_data, "preload"))
    FF.av_opt_set_int(oc->priv_data, "preload", int64_t(MuxPreload * 1000000), 0);
  if (HasOption(oc->priv_data, "loop")) FF.av_opt_set_int(oc->priv_data, "loop", LoopOutput, 0);
  ApplyContextOptions(oc, OptionContexts.FormatOptions.get(), AV_OPT_FLAG_ENCODING_PARAM);
  ApplyPrivateFormatOptions(oc);

  OutputFiles[NbOutputFiles] = std::move(file);
  consume.Registered = true;
  return ++NbOutputFiles;
}

}  // namespace ok
