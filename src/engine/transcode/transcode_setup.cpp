// The setup half of Transcode: numbering the input and output streams, mapping each output stream
// to the input stream that feeds it, deriving codec parameters, opening the codecs, mapping
// metadata and writing the headers.
//
// This library generation keeps the codec context out of the stream: each side's context belongs
// to its file record (TInputFile, TOutputFile) and reaches the stream's codec parameters before
// the header is written. The old codec-close call is freeing that context, under the codec lock.

#include <strings.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <mutex>

#include "engine/custom_ffmpeg.h"
#include "engine/ffmpeg_exception.h"
#include "media/ff_loader.h"
#include "media/lib_file_name.h"
#include "media/video_stream.h"
#include "platform/text_utils.h"

namespace ok {

namespace {

AVMediaType TypeOf(const TInputStreamState& ist) { return ist.Stream->codecpar->codec_type; }

bool StillPicture(const TInputStreamState& ist) { return IsStillPicture(ist.Stream); }

int64_t Pixels(const TInputStreamState& ist) {
  return int64_t(ist.Stream->codecpar->width) * ist.Stream->codecpar->height;
}

bool FullRangeFormat(AVPixelFormat format) {
  return format == AV_PIX_FMT_YUVJ420P || format == AV_PIX_FMT_YUVJ422P || format == AV_PIX_FMT_YUVJ444P ||
         format == AV_PIX_FMT_YUVJ440P || format == AV_PIX_FMT_YUVJ411P;
}

// The scaler turns the full-range formats into the limited range of their ordinary successors.
bool ScalerNarrowsRange(AVPixelFormat from, AVPixelFormat to) {
  const AVPixFmtDescriptor* target = FF.av_pix_fmt_desc_get(to);
  return FullRangeFormat(from) && !FullRangeFormat(to) && target && !(target->flags & AV_PIX_FMT_FLAG_RGB);
}

double Seconds(AVRational r) { return r.den != 0 ? double(r.num) / r.den : 0.0; }

void DumpOutput(TOutputFile& file, int index) {
  FF.av_dump_format(file.Context.get(), index, file.Context->url, 1);
}

// The codec tag a stream copy keeps: the input's, unless the output format's tag table gives that
// tag to another codec or has its own tag for the codec.
uint32_t CopiedCodecTag(const AVOutputFormat* format, const AVCodecParameters& in) {
  if (!format->codec_tag) return in.codec_tag;
  if (FF.av_codec_get_id(format->codec_tag, in.codec_tag) == in.codec_id) return in.codec_tag;
  if (FF.av_codec_get_tag(format->codec_tag, in.codec_id) == 0) return in.codec_tag;
  return 0;
}

// A frame with its own buffer in the encoder's format and size.
TFramePtr AllocatePicture(AVPixelFormat format, int width, int height) {
  TFramePtr frame(FF.av_frame_alloc());
  if (!frame) return nullptr;
  frame->format = format;
  frame->width = width;
  frame->height = height;
  if (FF.av_frame_get_buffer(frame.get(), 0) < 0) return nullptr;
  return frame;
}

// Tags about the source file's own container and writer, which the output's muxer writes anew.
bool SourceFileTag(const char* key) {
  for (const char* own : {"encoder", "major_brand", "minor_version", "compatible_brands"})
    if (strcasecmp(key, own) == 0) return true;
  return false;
}

// An input's global tags (title, creation_time, ...) under the output's own: a tag the options
// set stays.
void CopyGlobalMetadata(const AVDictionary* from, AVDictionary** to) {
  const AVDictionaryEntry* tag = nullptr;
  while ((tag = FF.av_dict_get(from, "", tag, AV_DICT_IGNORE_SUFFIX)))
    if (!SourceFileTag(tag->key)) FF.av_dict_set(to, tag->key, tag->value, AV_DICT_DONT_OVERWRITE);
}

// The chapters of `in` on the output's timeline, where the input's time t (µs) lands at t + shift:
// cut to [0, length) and left out when nothing of them is in it. The output context frees them.
void CopyChapters(const AVFormatContext& in, AVFormatContext& out, int64_t shift, int64_t length) {
  for (unsigned i = 0; i < in.nb_chapters; ++i) {
    const AVChapter& chapter = *in.chapters[i];
    const int64_t moved = FF.av_rescale_q(shift, AVRational{1, AV_TIME_BASE}, chapter.time_base);
    const int64_t last = length == INT64_MAX
                             ? INT64_MAX
                             : FF.av_rescale_q(length, AVRational{1, AV_TIME_BASE}, chapter.time_base);
    const int64_t start = std::max<int64_t>(0, chapter.start + moved);
    const int64_t end = std::min(last, chapter.end + moved);
    if (end <= start) continue;
    auto* copy = static_cast<AVChapter*>(FF.av_mallocz(sizeof(AVChapter)));
    if (!copy) throw FFmpegException("av_mallocz fail");
    copy->id = chapter.id;
    copy->time_base = chapter.time_base;
    copy->start = start;
    copy->end = end;
    // On failure the chapters already copied stay the context's.
    void* grown = nullptr;
    if (FF.av_dict_copy(&copy->metadata, chapter.metadata, 0) < 0 ||
        !(grown = FF.av_realloc(out.chapters, (out.nb_chapters + 1) * sizeof(AVChapter*)))) {
      FF.av_dict_free(&copy->metadata);
      FF.av_free(copy);
      throw FFmpegException("av_mallocz fail");
    }
    out.chapters = static_cast<AVChapter**>(grown);
    out.chapters[out.nb_chapters++] = copy;
  }
}

}  // namespace

int TCustomFFmpeg::FindProgramStream(AVMediaType type) const {
  for (int f = 0; f < NbInputFiles; ++f) {
    const AVFormatContext* ic = InputFiles[f].Context.get();
    for (unsigned p = 0; p < ic->nb_programs; ++p) {
      const AVProgram* program = ic->programs[p];
      if (program->id != ProgramID) continue;
      for (unsigned k = 0; k < program->nb_stream_indexes; ++k) {
        const int position = Tables.InputFileStates[f].FirstStream + int(program->stream_index[k]);
        if (position >= Tables.NbInputStreams()) continue;
        const TInputStreamState& ist = *Tables.InputStreams[position];
        if (ist.Discard != 0 && TypeOf(ist) == type) return position;
      }
    }
  }
  return -1;
}

void TCustomFFmpeg::ReleaseTranscodeTables() {
  CloseOpenEncoders();
  CloseOpenDecoders();
  for (auto& ost : Tables.OutputStreams)
    if (ost->Encoder) ost->Encoder->stats_in = nullptr;
  Tables = TTranscodeTables{};
}

void TCustomFFmpeg::TranscodeSetup() {
  try {
    // 1, 2: the input files and their streams.
    Tables = TTranscodeTables{};
    Tables.InputFileStates.resize(size_t(NbInputFiles));
    for (int f = 0; f < NbInputFiles; ++f) {
      TInputFileState& fs = Tables.InputFileStates[f];
      fs.FirstStream = Tables.NbInputStreams();
      fs.NbStreams = int(InputFiles[f].Context->nb_streams);
      for (int s = 0; s < fs.NbStreams; ++s) {
        auto ist = std::make_unique<TInputStreamState>();
        ist->FileIndex = f;
        ist->Index = s;
        ist->Stream = InputFiles[f].Context->streams[s];
        ist->Input = &InputFiles[f].Streams[s];
        ist->Decoder = ist->Input->Decoder.get();
        ist->Discard = 1;
        if (RateEmu) ist->ReadStartTime = FF.av_gettime();
        Tables.InputStreams.push_back(std::move(ist));
      }
    }

    // 3, 4, 5: the output streams and the maps.
    int nbOutputStreams = 0;
    for (int f = 0; f < NbOutputFiles; ++f) {
      if (OutputFiles[f].Context->nb_streams == 0) {
        DumpOutput(OutputFiles[f], f);
        throw FFmpegException(FormatText("Output file #%d does not contain any stream", f));
      }
      nbOutputStreams += int(OutputFiles[f].Context->nb_streams);
    }
    auto validStream = [&](int file, int stream) {
      return file >= 0 && file < NbInputFiles && stream >= 0 &&
             stream < Tables.InputFileStates[file].NbStreams;
    };
    // A map that names no stream is the cause to report, before how many maps there are.
    for (int i = 0; i < NbStreamMaps; ++i) {
      const TStreamMap& m = StreamMaps[i];
      if (!validStream(m.FileIndex, m.StreamIndex))
        throw FFmpegException(FormatText("Could not find input stream #%d.%d", m.FileIndex, m.StreamIndex));
      if (!validStream(m.SyncFileIndex, m.SyncStreamIndex))
        throw FFmpegException(
            FormatText("Could not find sync stream #%d.%d", m.SyncFileIndex, m.SyncStreamIndex));
    }
    if (NbStreamMaps > 0 && NbStreamMaps != nbOutputStreams)
      throw FFmpegException("Number of stream maps must match number of output streams");

    // 6: each output stream's source.
    for (int f = 0, n = 0; f < NbOutputFiles; ++f) {
      TOutputFile& file = OutputFiles[f];
      for (unsigned s = 0; s < file.Context->nb_streams; ++s, ++n) {
        auto ost = std::make_unique<TOutputStreamState>();
        ost->FileIndex = f;
        ost->Index = int(s);
        ost->Stream = file.Context->streams[s];
        ost->Output = &file.Streams[s];
        ost->Encoder = ost->Output->Encoder.get();
        const AVMediaType type = ost->Encoder->codec_type;
        int source = -1;
        if (NbStreamMaps > 0) {
          const TStreamMap& m = StreamMaps[n];
          source = Tables.InputFileStates[m.FileIndex].FirstStream + m.StreamIndex;
          if (TypeOf(*Tables.InputStreams[source]) != type) {
            DumpOutput(file, f);
            throw FFmpegException(FormatText("Codec type mismatch for mapping #%d.%d -> #%d.%d", m.FileIndex,
                                             m.StreamIndex, f, ost->Index));
          }
        } else if (ProgramID != 0) {
          source = FindProgramStream(type);
        } else {
          // A still picture (cover art, a one-frame image) only when no other stream of the type
          // is left, and then the one with the most pixels.
          for (int j = 0; j < Tables.NbInputStreams() && source < 0; ++j)
            if (Tables.InputStreams[j]->Discard != 0 && TypeOf(*Tables.InputStreams[j]) == type &&
                !StillPicture(*Tables.InputStreams[j]))
              source = j;
          if (source < 0)
            for (int j = 0; j < Tables.NbInputStreams(); ++j)
              if (Tables.InputStreams[j]->Discard != 0 && TypeOf(*Tables.InputStreams[j]) == type &&
                  (source < 0 || Pixels(*Tables.InputStreams[j]) > Pixels(*Tables.InputStreams[source])))
                source = j;
          // Every stream of that type is taken: the last one feeds this output too.
          if (source < 0)
            for (int j = Tables.NbInputStreams() - 1; j >= 0 && source < 0; --j)
              if (TypeOf(*Tables.InputStreams[j]) == type) source = j;
        }
        if (source < 0) {
          DumpOutput(file, f);
          throw FFmpegException(
              FormatText("Could not find input stream matching output stream #%d.%d", f, ost->Index));
        }
        ost->SourceIndex = source;
        Tables.InputStreams[source]->Discard = 0;
        if (NbStreamMaps > 0) {
          const TStreamMap& m = StreamMaps[n];
          ost->SyncInput =
              Tables.InputStreams[Tables.InputFileStates[m.SyncFileIndex].FirstStream + m.SyncStreamIndex]
                  .get();
        } else {
          ost->SyncInput = Tables.InputStreams[source].get();
        }
        Tables.OutputStreams.push_back(std::move(ost));
      }
    }

    // 7: codec parameters.
    for (int n = 0; n < Tables.NbOutputStreams(); ++n) SetupCodecParameters(n);

    // 9, 10: the files and the mapping.
    for (int f = 0; f < NbOutputFiles; ++f) DumpOutput(OutputFiles[f], f);
    if (Verbose >= 0 && HasLogHandler()) {
      Log(1, "Stream mapping:");
      for (const auto& ost : Tables.OutputStreams) {
        const TInputStreamState& src = *Tables.InputStreams[ost->SourceIndex];
        Log(1, FormatText("  Stream #%d.%d -> #%d.%d", src.FileIndex, src.Index, ost->FileIndex, ost->Index));
        if (ost->SyncInput != &src)
          Log(1, FormatText(" [sync #%d.%d]", ost->SyncInput->FileIndex, ost->SyncInput->Index));
      }
    }

    // 11, 12: encoders and decoders. A text subtitle encoder starts from the style header its
    // decoder makes when it opens, so those decoders open first.
    auto openDecoder = [&](TInputStreamState& ist) {
      const AVCodec* codec = ist.Input->ForcedDecoder;
      if (!codec && ist.Decoder) codec = ist.Decoder->codec;
      if (!codec) codec = FF.avcodec_find_decoder(ist.Stream->codecpar->codec_id);
      if (!codec || !ist.Decoder)
        throw FFmpegException(FormatText("Unsupported codec (id=%d) for input stream #%d.%d",
                                         int(ist.Stream->codecpar->codec_id), ist.FileIndex, ist.Index));
      // This generation's decoders conceal damage quietly; stopping at the first error needs
      // them to report it.
      if (ExitOnError) ist.Decoder->err_recognition |= AV_EF_EXPLODE;
      // The count as it stands when the task starts: output options may set it after the input was opened.
      ist.Decoder->thread_count = ThreadCount;
      int r;
      {
        std::lock_guard<std::mutex> lock(FFLoader.CodecLock);
        r = FF.avcodec_open2(ist.Decoder, codec, nullptr);
      }
      if (r < 0)
        throw FFmpegException(
            FormatText("Error while opening codec for input stream #%d.%d", ist.FileIndex, ist.Index));
      OpenDecoders.Add(&ist);
      ist.Frame.reset(FF.av_frame_alloc());
      if (!ist.Frame) throw FFmpegException("av_mallocz fail");
    };
    for (auto& ist : Tables.InputStreams)
      if (ist->DecodingNeeded && TypeOf(*ist) == AVMEDIA_TYPE_SUBTITLE) openDecoder(*ist);
    for (int n = 0; n < Tables.NbOutputStreams(); ++n) OpenOutputStreamCodec(n);
    for (auto& ist : Tables.InputStreams)
      if (ist->DecodingNeeded && TypeOf(*ist) != AVMEDIA_TYPE_SUBTITLE) openDecoder(*ist);

    // 13: initial times.
    for (auto& ist : Tables.InputStreams) {
      ist->Pts = 0;
      ist->NextPts = AV_NOPTS_VALUE;
      ist->IsStart = 1;
    }

    // 14: metadata maps. The old key conversion tables are gone: the muxers map the generic keys.
    for (int i = 0; i < NbMetaDataMaps; ++i) {
      const TMetaDataMap& m = MetaDataMaps[i];
      if (m.OutFile < 0 || m.OutFile >= NbOutputFiles)
        throw FFmpegException(
            FormatText("Invalid output file index %d map_meta_data(%d,%d)", m.OutFile, m.OutFile, m.InFile));
      if (m.InFile < 0 || m.InFile >= NbInputFiles)
        throw FFmpegException(
            FormatText("Invalid input file index %d map_meta_data(%d,%d)", m.InFile, m.OutFile, m.InFile));
      AVFormatContext* out = OutputFiles[m.OutFile].Context.get();
      const AVFormatContext* in = InputFiles[m.InFile].Context.get();
      const AVDictionaryEntry* tag = nullptr;
      while ((tag = FF.av_dict_get(in->metadata, "", tag, AV_DICT_IGNORE_SUFFIX)))
        FF.av_dict_set(&out->metadata, tag->key, tag->value, 0);
    }
    if (NbMetaDataMaps == 0 && CopyInputMetadata && NbInputFiles > 0)
      for (int f = 0; f < NbOutputFiles; ++f)
        CopyGlobalMetadata(InputFiles[0].Context->metadata, &OutputFiles[f].Context->metadata);
    int chapters = ChapterInput;
    if (chapters == FirstInputWithChapters) {
      chapters = -1;
      for (int f = 0; f < NbInputFiles && chapters < 0; ++f)
        if (InputFiles[f].Context->nb_chapters > 0) chapters = f;
    } else if (chapters >= NbInputFiles) {
      throw FFmpegException(FormatText("Invalid input file index %d map_chapters", chapters));
    }
    // The cut the input was opened with is in its offset; the output's own start comes off too.
    for (int f = 0; chapters >= 0 && f < NbOutputFiles; ++f)
      CopyChapters(*InputFiles[chapters].Context, *OutputFiles[f].Context,
                   InputFilesTsOffset[chapters] - StartTime, RecordingTime);

    // 15, 16: headers and the session description.
    bool allRtp = NbOutputFiles > 0;
    for (int f = 0; f < NbOutputFiles; ++f) {
      AVFormatContext* oc = OutputFiles[f].Context.get();
      if (const int r = FF.avformat_write_header(oc, nullptr); r < 0) {
        // A full disk is no codec parameter problem: the system's words then.
        if (r == AVERROR(ENOSPC) || r == AVERROR(EDQUOT) || r == AVERROR(EFBIG))
          throw FFmpegException(OpenErrorText(OutputFiles[f].FileName, r));
        throw FFmpegException(
            FormatText("Could not write header for output file #%d (incorrect codec parameters ?)", f));
      }
      OutputFiles[f].HeaderWritten = true;
      if (std::strcmp(oc->oformat->name, "rtp") != 0) allRtp = false;
    }
    if (allRtp && HasLogHandler()) {
      std::vector<AVFormatContext*> contexts;
      for (int f = 0; f < NbOutputFiles; ++f) contexts.push_back(OutputFiles[f].Context.get());
      char sdp[2048] = "";
      FF.av_sdp_create(contexts.data(), int(contexts.size()), sdp, sizeof sdp);
      std::string text = sdp;
      const char* blanks = " \t\r\n";
      text.erase(0, text.find_first_not_of(blanks));
      text.erase(text.find_last_not_of(blanks) + 1);
      Log(1, "SDP: " + text);
    }

    // 17.
    TimerStart = FF.av_gettime();
  } catch (...) {
    ReleaseTranscodeTables();
    throw;
  }
}

void TCustomFFmpeg::SetupCodecParameters(int n) {
  TOutputStreamState& ost = *Tables.OutputStreams[n];
  TInputStreamState& ist = *Tables.InputStreams[ost.SourceIndex];
  AVCodecContext* codec = ost.Encoder;
  const AVCodecParameters& icodec = *ist.Stream->codecpar;
  AVStream* st = ost.Stream;

  if (const AVDictionaryEntry* lang = FF.av_dict_get(ist.Stream->metadata, "language", nullptr, 0);
      lang && !FF.av_dict_get(st->metadata, "language", nullptr, 0))
    FF.av_dict_set(&st->metadata, "language", lang->value, 0);
  st->disposition = ist.Stream->disposition;

  if (ost.Output->StreamCopy) {
    const uint32_t ownTag = codec->codec_tag;
    const AVRational streamTimeBase = ist.Stream->time_base;
    // Everything the stream carries: codec, bit rate, extradata (copied: each context frees its
    // own), sizes, formats, channels, frame size, block align, the B-frame delay.
    if (FF.avcodec_parameters_to_context(codec, &icodec) < 0) throw FFmpegException("av_mallocz fail");
    codec->codec_tag =
        ownTag != 0 ? ownTag : CopiedCodecTag(OutputFiles[ost.FileIndex].Context->oformat, icodec);
    // The old codec time base is the stream's frame rate; the finer stream time base wins unless
    // it is below a millisecond and coarser than one frame.
    AVRational frameTime = ist.Stream->avg_frame_rate.num > 0
                               ? AVRational{ist.Stream->avg_frame_rate.den, ist.Stream->avg_frame_rate.num}
                               : AVRational{0, 1};
    const int ticks = ist.Decoder ? std::max(1, ist.Decoder->ticks_per_frame) : 1;
    codec->time_base = streamTimeBase;
    if (Seconds(frameTime) * ticks > Seconds(streamTimeBase) && Seconds(streamTimeBase) < 0.001)
      codec->time_base = AVRational{frameTime.num * ticks, frameTime.den};
    switch (codec->codec_type) {
      case AVMEDIA_TYPE_AUDIO:
        if (AudioVolume != 256)
          throw FFmpegException("-acodec copy and -vol are incompatible (frames are not decoded)");
        if ((codec->block_align == 1 && codec->codec_id == AV_CODEC_ID_MP3) ||
            codec->codec_id == AV_CODEC_ID_AC3)
          codec->block_align = 0;
        break;
      case AVMEDIA_TYPE_VIDEO:
        if (OnCustomHook)
          throw FFmpegException("-vcodec copy and CustomHook are incompatible (frames are not decoded)");
        if (UsingVhook)
          throw FFmpegException("-vcodec copy and -vhook are incompatible (frames are not decoded)");
        if (HookFlags != 0)
          throw FFmpegException("-vcodec copy and PostHooks are incompatible (frames are not decoded)");
        st->sample_aspect_ratio = ist.Stream->sample_aspect_ratio;
        st->avg_frame_rate = ist.Stream->avg_frame_rate;
        // The pictures stay as stored, so the turn that shows them upright goes with them.
        if (size_t size = 0; const uint8_t* matrix =
                                 FF.av_stream_get_side_data(ist.Stream, AV_PKT_DATA_DISPLAYMATRIX, &size)) {
          uint8_t* copy = FF.av_stream_new_side_data(st, AV_PKT_DATA_DISPLAYMATRIX, size);
          if (!copy) throw FFmpegException("av_mallocz fail");
          std::memcpy(copy, matrix, size);
        }
        break;
      case AVMEDIA_TYPE_SUBTITLE:
        break;
      default:
        throw FFmpegException("invalid codec_type of output stream");
    }
  } else {
    AVCodecContext* dec = ist.Decoder;
    switch (codec->codec_type) {
      case AVMEDIA_TYPE_AUDIO:
        ost.Fifo.reset(FF.av_fifo_alloc2(1024, 1, 0));
        if (!ost.Fifo) throw FFmpegException("av_fifo_init fail");
        ost.ReformatPair = -6;
        // The decoder's channel request became a down-mix in the resampler, which a channel-count
        // difference switches on with the first block.
        ost.AudioResample = codec->sample_rate != icodec.sample_rate || AudioSyncMethod > 1;
        ost.EncodingNeeded = 1;
        ist.DecodingNeeded = 1;
        break;
      case AVMEDIA_TYPE_VIDEO: {
        if (!dec) throw FFmpegException("invalid codec_type of output stream");
        // The scaler keeps the colour matrix and range, so the pictures keep the source's colour
        // description; without it players guess from the size and shift HD colours scaled to SD.
        if (codec->color_range == AVCOL_RANGE_UNSPECIFIED)
          codec->color_range =
              ScalerNarrowsRange(dec->pix_fmt, codec->pix_fmt) ? AVCOL_RANGE_MPEG : dec->color_range;
        if (codec->colorspace == AVCOL_SPC_UNSPECIFIED) codec->colorspace = dec->colorspace;
        if (codec->color_primaries == AVCOL_PRI_UNSPECIFIED) codec->color_primaries = dec->color_primaries;
        if (codec->color_trc == AVCOL_TRC_UNSPECIFIED) codec->color_trc = dec->color_trc;
        // Crop, scale and pad work on the upright picture.
        const TVideoFilterInput upright = DecodedPictures(dec, ist.Input->Turn);
        ost.VideoCrop = CropTop + CropBottom + CropLeft + CropRight != 0;
        ost.VideoPad = PadTop + PadBottom + PadLeft + PadRight != 0;
        ost.VideoResample = codec->width != upright.Width - (CropLeft + CropRight) + (PadLeft + PadRight) ||
                            codec->height != upright.Height - (CropTop + CropBottom) + (PadTop + PadBottom) ||
                            codec->pix_fmt != dec->pix_fmt;
        if (ost.VideoCrop) {
          ost.TopBand = CropTop;
          ost.LeftBand = CropLeft;
        }
        if (ost.VideoPad) {
          ost.PadTop = PadTop;
          ost.PadBottom = PadBottom;
          ost.PadLeft = PadLeft;
          ost.PadRight = PadRight;
          if (!ost.VideoResample) {
            ost.PictTmp = AllocatePicture(codec->pix_fmt, codec->width, codec->height);
            if (!ost.PictTmp) throw FFmpegException("avpicture_alloc fail");
          }
        }
        if (ost.VideoResample) {
          ost.PictTmp = AllocatePicture(codec->pix_fmt, codec->width, codec->height);
          if (!ost.PictTmp) throw FFmpegException("Cannot allocate temp picture, check pix fmt");
          int64_t flags = 0;
          if (SwsContext* scaler = OptionContexts.ScalerOptions.get();
              scaler && FF.av_opt_get_int(scaler, "sws_flags", 0, &flags) >= 0)
            SwsFlags = int(flags);
          ost.ImgResampleCtx.reset(FF.sws_getContext(
              upright.Width - CropLeft - CropRight, upright.Height - CropTop - CropBottom, dec->pix_fmt,
              codec->width - PadLeft - PadRight, codec->height - PadTop - PadBottom, codec->pix_fmt, SwsFlags,
              nullptr, nullptr, nullptr));
          if (!ost.ImgResampleCtx) throw FFmpegException("Cannot get resampling context");
          ost.ResampleHeight = UseVideoFilters ? upright.Height : upright.Height - CropTop - CropBottom;
        }
        st->avg_frame_rate = codec->framerate;
        ost.EncodingNeeded = 1;
        ist.DecodingNeeded = 1;
        if (UseVideoFilters) ConfigureFilters(*this, ist.FilterGraph, dec, codec, ist.Input->Turn);
        break;
      }
      case AVMEDIA_TYPE_SUBTITLE:
        ost.EncodingNeeded = 1;
        ist.DecodingNeeded = 1;
        break;
      default:
        throw FFmpegException("invalid codec_type of output stream");
    }
  }

  if (ost.EncodingNeeded && (codec->flags & (AV_CODEC_FLAG_PASS1 | AV_CODEC_FLAG_PASS2))) {
    std::string name = (PassLogFileName.empty() ? std::string("ffmpeg2pass") : PassLogFileName) + "-" +
                       std::to_string(n) + ".log";
    if (name.size() >= 1024) name.resize(1023);
    if (codec->flags & AV_CODEC_FLAG_PASS1) {
      ost.LogFile.reset(FF.my_fopen(name.c_str(), "w"));
      if (!ost.LogFile)
        throw FFmpegException(FormatText("Cannot write log file %s for pass-1 encoding", name.c_str()));
    } else {
      TFilePtr file(FF.my_fopen(name.c_str(), "r"));
      if (!file)
        throw FFmpegException(FormatText("Cannot read log file %s for pass-2 encoding", name.c_str()));
      FF.my_fseek(file.get(), 0, SEEK_END);
      const long size = std::max(0L, FF.my_ftell(file.get()));
      FF.my_fseek(file.get(), 0, SEEK_SET);
      ost.StatsIn.reset(static_cast<char*>(FF.av_malloc(size_t(size) + 1)));
      if (!ost.StatsIn) throw FFmpegException("Could not allocate log buffer");
      const size_t read = FF.my_fread(ost.StatsIn.get(), 1, size_t(size), file.get());
      ost.StatsIn.get()[read] = 0;
      codec->stats_in = ost.StatsIn.get();
    }
  }

  if (codec->codec_type == AVMEDIA_TYPE_VIDEO)
    BitBufferSize = int(std::max<int64_t>(BitBufferSize, 6LL * codec->width * codec->height + 200));
}

void TCustomFFmpeg::OpenOutputStreamCodec(int n) {
  TOutputStreamState& ost = *Tables.OutputStreams[n];
  AVCodecContext* codec = ost.Encoder;
  if (ost.EncodingNeeded) {
    const AVCodec* encoder = n < NbOutputCodecs() && OutputCodecs[n] ? OutputCodecs[n] : ost.Output->Codec;
    if (!encoder) encoder = FF.avcodec_find_encoder(codec->codec_id);
    if (!encoder)
      throw FFmpegException(
          FormatText("Unsupported codec for output stream #%d.%d", ost.FileIndex, ost.Index));
    const AVCodecContext* decoder = Tables.InputStreams[ost.SourceIndex]->Decoder;
    if (codec->codec_type == AVMEDIA_TYPE_SUBTITLE && decoder && decoder->subtitle_header) {
      // Freed with the encoder context.
      codec->subtitle_header =
          static_cast<uint8_t*>(FF.av_mallocz(size_t(decoder->subtitle_header_size) + 1));
      if (!codec->subtitle_header) throw FFmpegException("av_mallocz fail");
      std::memcpy(codec->subtitle_header, decoder->subtitle_header, size_t(decoder->subtitle_header_size));
      codec->subtitle_header_size = decoder->subtitle_header_size;
    }
    int r;
    {
      std::lock_guard<std::mutex> lock(FFLoader.CodecLock);
      r = FF.avcodec_open2(codec, encoder, nullptr);
    }
    if (r < 0)
      throw FFmpegException(
          FormatText("Error while opening codec for output stream #%d.%d - maybe incorrect "
                     "parameters such as bit_rate, rate, width or height",
                     ost.FileIndex, ost.Index));
    OpenEncoders.Add(&ost);
    ExtraSize += codec->extradata_size;
  }
  if (ost.Output->UpdateStreamParameters() < 0) throw FFmpegException("av_mallocz fail");

  // The bitstream filters see what the stream carries; the last one's output is what the muxer
  // gets.
  const AVCodecParameters* parameters = ost.Stream->codecpar;
  AVRational timeBase =
      ost.EncodingNeeded ? codec->time_base : Tables.InputStreams[ost.SourceIndex]->Stream->time_base;
  for (TBsfContextPtr& bsf : ost.Output->BitstreamFilters) {
    if (FF.avcodec_parameters_copy(bsf->par_in, parameters) < 0) throw FFmpegException("av_mallocz fail");
    bsf->time_base_in = timeBase;
    if (FF.av_bsf_init(bsf.get()) < 0)
      throw FFmpegException(FormatText("Error initializing bitstream filter: %s", bsf->filter->name));
    parameters = bsf->par_out;
    timeBase = bsf->time_base_out;
  }
  if (parameters != ost.Stream->codecpar && FF.avcodec_parameters_copy(ost.Stream->codecpar, parameters) < 0)
    throw FFmpegException("av_mallocz fail");
}

}  // namespace ok
