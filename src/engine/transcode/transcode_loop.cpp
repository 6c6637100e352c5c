// The main loop of Transcode: choose the input whose outputs lag furthest behind, read a packet,
// correct its times, decode it (or copy it) into the outputs; then flush, write the trailers,
// report and close.
//
// This library generation decodes with send/receive: a packet gives any number of frames (each is
// one pass of the old decode body), and the end of input is a null packet that drains the decoder
// before the encoders are flushed. A decoded picture's time is its best-effort timestamp when it
// has one; the old parser change of copied packets (global headers) has no successor and is left
// out; the raw-picture output path is gone with its format flag.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <mutex>
#include <thread>

#include "engine/custom_ffmpeg.h"
#include "engine/ffmpeg_exception.h"
#include "media/ff_loader.h"
#include "media/lib_file_name.h"
#include "platform/text_utils.h"

namespace ok {

namespace {

constexpr AVRational Microseconds{1, AV_TIME_BASE};

double Seconds(AVRational r) { return r.den != 0 ? double(r.num) / r.den : 0.0; }

// The duration of one picture of `ist` in µs, from the decoder's frame rate, else the stream's.
int64_t PictureDuration(const TInputStreamState& ist, int repeatPict) {
  AVRational rate{0, 1};
  if (ist.Decoder && ist.Decoder->framerate.num > 0 && ist.Decoder->framerate.den > 0)
    rate = ist.Decoder->framerate;
  else if (ist.Stream->avg_frame_rate.num > 0 && ist.Stream->avg_frame_rate.den > 0)
    rate = ist.Stream->avg_frame_rate;
  else if (ist.Stream->r_frame_rate.num > 0 && ist.Stream->r_frame_rate.den > 0)
    rate = ist.Stream->r_frame_rate;
  if (rate.num == 0) return 0;
  return int64_t(AV_TIME_BASE) * rate.den * (2 + repeatPict) / (int64_t(rate.num) * 2);
}

// The part of a subtitle shown from `start` for `duration` (µs; 0: until the next one) that falls
// inside the clip [from, to): false when none does. One begun before a cut would otherwise reach
// the muxer with a negative time, and Matroska's muxer moves every stream to make it fit.
bool CutToClip(int64_t& start, int64_t& duration, int64_t from, int64_t to) {
  if ((duration > 0 && start + duration <= from) || start >= to) return false;
  if (start < from) {
    if (duration > 0) duration -= from - start;
    start = from;
  }
  if (duration > 0 && to - start < duration) duration = to - start;
  return true;
}

// The end of a clip of `length` µs from `start` (INT64_MAX: none).
int64_t ClipEnd(int64_t start, int64_t length) { return length == INT64_MAX ? INT64_MAX : start + length; }

// The output position of `ost` in seconds, as the file choice compares it.
double OutputTime(const TOutputStreamState& ost) {
  if (ost.Encoder && ost.Encoder->codec_type == AVMEDIA_TYPE_VIDEO)
    return double(ost.SyncOpts) * Seconds(ost.Encoder->time_base);
  int64_t end = FF.av_stream_get_end_pts(ost.Stream);
  if (end == AV_NOPTS_VALUE || end < 0) end = 0;
  return double(end) * Seconds(ost.Stream->time_base);
}

int64_t WritePosition(const AVFormatContext* oc) {
  return oc && oc->pb ? FF.avio_seek(oc->pb, 0, SEEK_CUR) : 0;
}

}  // namespace

void TCustomFFmpeg::Transcode() {
  TranscodeSetup();
  try {
    TranscodeLoop();
  } catch (...) {
    // The codecs are closed with the tables; the run control finds nothing left open.
    ReleaseTranscodeTables();
    throw;
  }
}

void TCustomFFmpeg::TranscodeLoop() {
  TTranscodeTables& t = Tables;
  TPacketPtr packet(FF.av_packet_alloc());
  if (!packet) throw FFmpegException("av_mallocz fail");
  int64_t lastReport = TimerStart;
  // Subtitles are sparse: a stream whose next cue lies past the recording time would otherwise
  // keep the loop reading (and stream copies copying) to the end of the input.
  const bool subtitlesWait = std::all_of(t.OutputStreams.begin(), t.OutputStreams.end(), [](const auto& ost) {
    return ost->Encoder && ost->Encoder->codec_type == AVMEDIA_TYPE_SUBTITLE;
  });

  while (!StopRequested) {
    PauseGate.Pass();
    if (StopRequested) break;
    // 1: the file to read from.
    double iptsMin = 1e100, optsMin = 1e100;
    int file = -1;
    bool limitReached = false;
    for (const auto& ost : t.OutputStreams) {
      const TInputStreamState& ist = *t.InputStreams[ost->SourceIndex];
      double opts = OutputTime(*ost);
      // An output whose input has passed the recording time gets nothing more (OutputPacket cuts
      // there), so it counts as having reached that time.
      if (RecordingTime != INT64_MAX &&
          (ist.Pts - StartTime >= RecordingTime ||
           (!subtitlesWait && ost->Encoder && ost->Encoder->codec_type == AVMEDIA_TYPE_SUBTITLE)))
        opts = std::max(opts, double(RecordingTime) / 1000000.0);
      const double ipts = double(ist.Pts);
      if (!t.InputFileStates[ist.FileIndex].EofReached) {
        if (ipts < iptsMin) {
          iptsMin = ipts;
          if (InputSync) file = ist.FileIndex;
        }
        if (opts < optsMin) {
          optsMin = opts;
          if (!InputSync) file = ist.FileIndex;
        }
      }
      const int type = ost->Encoder ? ost->Encoder->codec_type : AVMEDIA_TYPE_UNKNOWN;
      if (type >= 0 && type < int(MaxFrames.size()) && MaxFrames[type] <= ost->FrameNumber) {
        limitReached = true;
        break;
      }
    }
    // 2: the end conditions.
    if (file < 0 || limitReached) break;
    if (optsMin >= double(RecordingTime) / 1000000.0) break;
    if (LimitFileSize != 0 && WritePosition(OutputFiles[0].Context.get()) > LimitFileSize) break;

    // 3: read.
    AVFormatContext* ic = InputFiles[file].Context.get();
    int r = FF.av_read_frame(ic, packet.get());
    if (r == AVERROR(EAGAIN)) continue;
    if (r < 0) {
      t.InputFileStates[file].EofReached = 1;
      if (Shortest) break;
      continue;
    }
    // Released on every path below.
    struct TUnref {
      AVPacket* Packet;
      ~TUnref() { FF.av_packet_unref(Packet); }
    } unref{packet.get()};

    const TInputFileState& fs = t.InputFileStates[file];
    if (PktDump)
      FF.av_pkt_dump_log2(nullptr, AV_LOG_DEBUG, packet.get(), HexDump,
                          packet->stream_index < fs.NbStreams ? ic->streams[packet->stream_index] : nullptr);
    // 5: a stream that appeared after the setup, or that no output uses.
    if (packet->stream_index < fs.NbStreams &&
        t.InputStreams[fs.FirstStream + packet->stream_index]->Discard == 0) {
      const int position = fs.FirstStream + packet->stream_index;
      TInputStreamState& ist = *t.InputStreams[position];
      const AVRational tb = ist.Stream->time_base;
      // 6: the input's offset.
      if (packet->dts != AV_NOPTS_VALUE)
        packet->dts += FF.av_rescale_q(InputFilesTsOffset[file], Microseconds, tb);
      if (packet->pts != AV_NOPTS_VALUE)
        packet->pts += FF.av_rescale_q(InputFilesTsOffset[file], Microseconds, tb);
      // 7: the stream's time scale.
      if (packet->stream_index < MaxStreams) {
        const double scale = InputFilesTsScale[file][packet->stream_index];
        if (scale != 0) {
          if (packet->pts != AV_NOPTS_VALUE) packet->pts = int64_t(std::llround(double(packet->pts) * scale));
          if (packet->dts != AV_NOPTS_VALUE) packet->dts = int64_t(std::llround(double(packet->dts) * scale));
        }
      }
      // 8: a timestamp discontinuity of a format that may have them.
      if (packet->dts != AV_NOPTS_VALUE && ist.NextPts != AV_NOPTS_VALUE &&
          (ic->iformat->flags & AVFMT_TS_DISCONT)) {
        const int64_t pktDts = FF.av_rescale_q(packet->dts, tb, Microseconds);
        const int64_t delta = pktDts - ist.NextPts;
        if ((std::llabs(delta) > int64_t(DtsDeltaThreshold * 1000000.0) || pktDts + 1 < ist.Pts) && !CopyTs) {
          InputFilesTsOffset[ist.FileIndex] -= delta;
          if (Verbose > 2 && HasLogHandler())
            Log(1, FormatText("timestamp discontinuity %lld, new offset= %lld", static_cast<long long>(delta),
                              static_cast<long long>(InputFilesTsOffset[ist.FileIndex])));
          packet->dts -= FF.av_rescale_q(delta, Microseconds, tb);
          if (packet->pts != AV_NOPTS_VALUE) packet->pts -= FF.av_rescale_q(delta, Microseconds, tb);
        }
      }
      // 9: decode and output.
      if (OutputPacket(ist, position, packet.get()) < 0) {
        const std::string text = FormatText("Error while decoding stream #%d.%d", ist.FileIndex, ist.Index);
        if (ExitOnError) throw FFmpegException(text);
        if (Verbose >= 0 && HasLogHandler()) Log(1, text);
        continue;
      }
    }
    // 10: the progress report.
    const int64_t now = FF.av_gettime();
    if (now - lastReport > ProgressInterval) {
      lastReport = now;
      PrintReport(false);
    }
  }

  // Shutdown: flush, trailers, the last report, codecs closed.
  for (int i = 0; i < t.NbInputStreams(); ++i)
    if (t.InputStreams[i]->DecodingNeeded) OutputPacket(*t.InputStreams[i], i, nullptr);
  for (int f = 0; f < NbOutputFiles; ++f)
    if (OutputFiles[f].HeaderWritten) {
      OutputFiles[f].HeaderWritten = false;
      const int r = FF.av_write_trailer(OutputFiles[f].Context.get());
      if (r < 0) throw FFmpegException(OpenErrorText("av_write_trailer()", r));
      OutputFiles[f].TrailerWritten = true;
    }
  PrintReport(true);
  // Encoders first, each freeing its pass-2 statistics, then decoders; under the codec lock.
  CloseOpenEncoders();
  CloseOpenDecoders();
  Finished = !StopRequested;
  // A declared video track whose packets are all gone or unreadable would leave a video stream
  // without a picture, reported as converted.
  std::string noPicture;
  for (const auto& ost : t.OutputStreams)
    if (noPicture.empty() && !StopRequested && ost->EncodingNeeded && ost->FrameNumber == 0 &&
        ost->Stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && MaxFrames[MediaVideo] > 0) {
      const TInputStreamState& source = *t.InputStreams[ost->SourceIndex];
      noPicture = FormatText("Input stream #%d.%d gave no video frame: no output was written",
                             source.FileIndex, source.Index);
    }
  ReleaseTranscodeTables();
  if (!noPicture.empty()) {
    Finished = false;
    for (int f = 0; f < NbOutputFiles; ++f) OutputFiles[f].DeleteOnClose = true;
    throw FFmpegException(noPicture);
  }
  // An input of which nothing could be read or decoded (encrypted, cut short before its first
  // packet) would leave files with only their headers, reported as converted.
  // A stop before the first packet leaves the same: a header with nothing to play goes too.
  if (PacketsWritten == 0) {
    for (int f = 0; f < NbOutputFiles; ++f) OutputFiles[f].DeleteOnClose = true;
    if (StopRequested) return;
    Finished = false;
    throw FFmpegException("Nothing could be decoded from the input: no output was written");
  }
}

int TCustomFFmpeg::OutputPacket(TInputStreamState& ist, int inputPosition, const AVPacket* packet) {
  // A copied packet without a decoding time (Matroska stores none, and a seek lands on such
  // packets) takes the one its predecessors predict; the first one is decoded the stream's reorder
  // delay before it is shown. A copy's clock starting at 0 instead would put a clip's first
  // key frame, shown before the cut, after its decoding time.
  const bool copyWithoutDts = packet && !ist.DecodingNeeded && packet->dts == AV_NOPTS_VALUE;
  if (copyWithoutDts && ist.NextPts == AV_NOPTS_VALUE && packet->pts != AV_NOPTS_VALUE)
    ist.Pts = FF.av_rescale_q(packet->pts, ist.Stream->time_base, Microseconds) -
              ist.Stream->codecpar->video_delay * PictureDuration(ist, 0);
  if (ist.NextPts == AV_NOPTS_VALUE) ist.NextPts = ist.Pts;
  if (copyWithoutDts) ist.Pts = ist.NextPts;
  if (packet && packet->dts != AV_NOPTS_VALUE)
    ist.Pts = ist.NextPts = FF.av_rescale_q(packet->dts, ist.Stream->time_base, Microseconds);
  const AVMediaType type = ist.Stream->codecpar->codec_type;

  // The outputs fed by this input.
  auto forEachOutput = [&](auto&& action) {
    for (auto& ost : Tables.OutputStreams)
      if (ost->SourceIndex == inputPosition) action(OutputFiles[ost->FileIndex], *ost);
  };
  auto started = [&] { return StartTime == 0 || ist.Pts >= StartTime; };
  // The input's own start: the seek went to the key frame before it, so decoding began earlier.
  const int64_t inputStart = InputFilesCutTime[ist.FileIndex];
  // The loop ends when the slowest output reaches the recording time; the others would run on by
  // what the input interleaves ahead of it, so nothing past that time is output.
  const bool limited = RecordingTime != INT64_MAX;
  auto beforeEnd = [&] { return !limited || ist.Pts - StartTime < RecordingTime; };
  auto rateEmulation = [&] {
    if (!RateEmu) return;
    const int64_t elapsed = FF.av_gettime() - ist.ReadStartTime;
    if (ist.Pts - elapsed > 1000)
      std::this_thread::sleep_for(std::chrono::milliseconds((ist.Pts - elapsed) / 1000));
  };
  auto videoOut = [&](AVFrame* picture) {
    // A clip that ends before the next picture holds the one showing at its start, from the start.
    if (ist.Pts < inputStart && ist.NextPts > inputStart && limited &&
        ist.NextPts - StartTime >= RecordingTime)
      ist.Pts = inputStart;
    if (!started() || !beforeEnd() || ist.Pts < inputStart) return;
    forEachOutput([&](TOutputFile& os, TOutputStreamState& ost) {
      if (!ost.EncodingNeeded || ost.Encoder->codec_type != AVMEDIA_TYPE_VIDEO) return;
      if (UseVideoFilters && picture->sample_aspect_ratio.num != 0)
        ost.Encoder->sample_aspect_ratio = picture->sample_aspect_ratio;
      int frameSize = 0;
      DoVideoOut(os, ost, ist, picture, frameSize);
      if (!VstatsFileName.empty() && frameSize != 0) DoVideoStats(os, ost, frameSize);
    });
  };
  // Pictures the filter chain hands out; at the end of input the chain is flushed first.
  auto filteredOut = [&](bool flush) {
    TVideoFilterGraph& graph = ist.FilterGraph;
    if (flush) graph.Flush();
    if (!ist.PictureRef) ist.PictureRef.reset(FF.av_frame_alloc());
    int64_t pts = AV_NOPTS_VALUE;
    while (ist.PictureRef && graph.GetFilteredVideoPicture(ist.PictureRef.get(), pts) == 1) {
      if (pts != AV_NOPTS_VALUE) ist.Pts = pts;
      videoOut(ist.PictureRef.get());
      FF.av_frame_unref(ist.PictureRef.get());
    }
  };
  const bool filtered = UseVideoFilters && type == AVMEDIA_TYPE_VIDEO && ist.InputVideoFilter();

  if (ist.DecodingNeeded) {
    AVCodecContext* dec = ist.Decoder;
    if (type == AVMEDIA_TYPE_SUBTITLE) {
      if (!packet) return 0;
      AVSubtitle subtitle{};
      int got = 0;
      AVPacket* data = const_cast<AVPacket*>(packet);
      if (FF.avcodec_decode_subtitle2(dec, &subtitle, &got, data) < 0) return -1;
      if (got) {
        struct TFree {
          AVSubtitle& Subtitle;
          ~TFree() { FF.avsubtitle_free(&Subtitle); }
        } release{subtitle};
        if (started())
          forEachOutput([&](TOutputFile& os, TOutputStreamState& ost) {
            if (ost.EncodingNeeded) DoSubtitleOut(os, ost, ist, &subtitle, packet->pts);
          });
      }
    } else if (type == AVMEDIA_TYPE_AUDIO || type == AVMEDIA_TYPE_VIDEO) {
      int r = FF.avcodec_send_packet(dec, packet);
      if (r < 0 && r != AVERROR_EOF && r != AVERROR(EAGAIN)) return -1;
      AVFrame* frame = ist.Frame.get();
      int frames = 0;
      for (;;) {
        r = FF.avcodec_receive_frame(dec, frame);
        if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) break;
        if (r < 0) return -1;
        struct TUnref {
          AVFrame* Frame;
          ~TUnref() { FF.av_frame_unref(Frame); }
        } unref{frame};
        if (++frames > 1 && packet && Verbose > 0 && HasLogHandler())
          Log(0, FormatText("Multiple frames in a packet from stream %d", packet->stream_index));
        ist.Pts = ist.NextPts;
        if (type == AVMEDIA_TYPE_AUDIO) {
          uint8_t* samples = nullptr;
          int size = 0;
          if (!DecodedAudioToWorkSamples(ist, *frame, samples, size) || size <= 0) continue;
          const int channels = frame->ch_layout.nb_channels;
          const int64_t frameBytes = int64_t(FF.av_get_bytes_per_sample(ist.WorkFormat)) * channels;
          if (frame->sample_rate > 0 && frameBytes > 0)
            ist.NextPts += int64_t(AV_TIME_BASE) * (size / frameBytes) / frame->sample_rate;
          if (ist.Pts < inputStart && frame->sample_rate > 0 && frameBytes > 0) {
            // Cut at the sample; the clock moves to the first one kept, so the output starts with it.
            const int64_t skipped =
                FF.av_rescale_rnd(inputStart - ist.Pts, frame->sample_rate, AV_TIME_BASE, AV_ROUND_UP);
            if (skipped * frameBytes >= size) continue;
            samples += skipped * frameBytes;
            size -= int(skipped * frameBytes);
            ist.Pts += FF.av_rescale(skipped, AV_TIME_BASE, frame->sample_rate);
          }
          if (limited && frame->sample_rate > 0 && frameBytes > 0) {
            const int64_t left = RecordingTime - (ist.Pts - StartTime);
            const int64_t allowed = left <= 0 ? 0 : left * frame->sample_rate / AV_TIME_BASE * frameBytes;
            if (allowed < size) size = int(allowed);
            if (size <= 0) continue;
          }
          if (AudioVolume != 256) ApplyAudioVolume(samples, size, ist.WorkFormat);
          rateEmulation();
          if (started())
            forEachOutput([&](TOutputFile& os, TOutputStreamState& ost) {
              if (ost.EncodingNeeded && ost.Encoder->codec_type == AVMEDIA_TYPE_AUDIO)
                DoAudioOut(os, ost, ist, samples, size);
            });
        } else {
          ist.Quality = float(frame->quality);
          if (frame->best_effort_timestamp != AV_NOPTS_VALUE)
            ist.Pts = FF.av_rescale_q(frame->best_effort_timestamp, ist.Stream->time_base, Microseconds);
          ist.NextPts = ist.Pts + PictureDuration(ist, frame->repeat_pict);
          TurnUpright(ist, frame);
          PreProcessVideoFrame(ist, frame);
          rateEmulation();
          if (filtered) {
            ist.FilterGraph.PushPicture(frame, ist.Pts);
            filteredOut(false);
          } else {
            videoOut(frame);
          }
        }
      }
    } else {
      return -1;
    }
  } else if (packet) {
    // A stream copy: the clock advances by what the packet holds.
    const AVCodecParameters* par = ist.Stream->codecpar;
    if (type == AVMEDIA_TYPE_AUDIO && par->sample_rate > 0) {
      const int64_t samples =
          par->frame_size > 0 ? par->frame_size
          : packet->duration > 0
              ? FF.av_rescale_q(packet->duration, ist.Stream->time_base, AVRational{1, par->sample_rate})
              : 0;
      ist.NextPts += int64_t(AV_TIME_BASE) * samples / par->sample_rate;
    } else if (type == AVMEDIA_TYPE_VIDEO) {
      ist.NextPts += packet->duration > 0
                         ? FF.av_rescale_q(packet->duration, ist.Stream->time_base, Microseconds)
                         : PictureDuration(ist, 0);
    }
    rateEmulation();
  }

  // Stream copies, with a packet only, up to the recording time.
  if (packet && started() && beforeEnd()) {
    forEachOutput([&](TOutputFile& os, TOutputStreamState& ost) {
      if (ost.EncodingNeeded) return;
      if (ost.FrameNumber == 0 && !(packet->flags & AV_PKT_FLAG_KEY) && !CopyInitialNonKeyframes) return;
      if (type == AVMEDIA_TYPE_AUDIO) AudioSize += packet->size;
      if (type == AVMEDIA_TYPE_VIDEO) {
        VideoSize += packet->size;
        ost.SyncOpts += 1;
      }
      int64_t start = 0, duration = 0;
      if (type == AVMEDIA_TYPE_SUBTITLE && packet->pts != AV_NOPTS_VALUE) {
        start = FF.av_rescale_q(packet->pts, ist.Stream->time_base, Microseconds);
        duration = FF.av_rescale_q(packet->duration, ist.Stream->time_base, Microseconds);
        if (!CutToClip(start, duration, StartTime, ClipEnd(StartTime, RecordingTime))) return;
      }
      if (!ost.EncodedPacket) ost.EncodedPacket.reset(FF.av_packet_alloc());
      AVPacket* out = ost.EncodedPacket.get();
      if (!out || FF.av_packet_ref(out, packet) < 0) throw FFmpegException("av_malloc fail");
      const AVRational otb = ost.Stream->time_base;
      out->stream_index = ost.Index;
      out->pts = packet->pts != AV_NOPTS_VALUE ? FF.av_rescale_q(packet->pts, ist.Stream->time_base, otb)
                                               : AV_NOPTS_VALUE;
      out->dts = packet->dts != AV_NOPTS_VALUE ? FF.av_rescale_q(packet->dts, ist.Stream->time_base, otb)
                                               : FF.av_rescale_q(ist.Pts, Microseconds, otb);
      out->duration = FF.av_rescale_q(packet->duration, ist.Stream->time_base, otb);
      if (type == AVMEDIA_TYPE_SUBTITLE && packet->pts != AV_NOPTS_VALUE) {
        out->pts = out->dts = FF.av_rescale_q(start, Microseconds, otb);
        out->duration = FF.av_rescale_q(duration, Microseconds, otb);
      }
      WriteFrame(os, out, ost.Encoder, ost.Output->BitstreamFilters);
      FF.av_packet_unref(out);
      ost.FrameNumber += 1;
    });
  }

  if (!packet) {
    if (filtered) filteredOut(true);
    forEachOutput([&](TOutputFile& os, TOutputStreamState& ost) {
      if (!ost.EncodingNeeded) return;
      if (ost.Encoder->codec_type == AVMEDIA_TYPE_AUDIO) FlushAudioOut(os, ost);
      if (ost.Encoder->codec_type == AVMEDIA_TYPE_VIDEO) FlushVideoOut(os, ost);
    });
  }
  return 0;
}

void TCustomFFmpeg::DoSubtitleOut(TOutputFile& os, TOutputStreamState& ost, TInputStreamState& ist,
                                  AVSubtitle* subtitle, int64_t pts) {
  if (pts == AV_NOPTS_VALUE) {
    if (ExitOnError) throw FFmpegException("Subtitle packets must have a pts");
    if (HasLogHandler()) Log(0, "Subtitle packets must have a pts");
    return;
  }
  // Per engine rather than one buffer for the whole process: tasks run in parallel.
  std::vector<uint8_t>& buffer = Tables.SubtitleOutBuffer;
  if (buffer.empty()) buffer.resize(65536);
  AVCodecContext* enc = ost.Encoder;
  const AVRational otb = ost.Stream->time_base;
  const bool dvb = enc->codec_id == AV_CODEC_ID_DVB_SUBTITLE;
  // This generation's encoders want the display start at 0: the start moves into the packet time.
  AVSubtitle shifted = *subtitle;
  int64_t start =
      FF.av_rescale_q(pts, ist.Stream->time_base, Microseconds) + int64_t(shifted.start_display_time) * 1000;
  int64_t duration = (int64_t(shifted.end_display_time) - shifted.start_display_time) * 1000;
  if (!CutToClip(start, duration, StartTime, ClipEnd(StartTime, RecordingTime))) return;
  shifted.start_display_time = 0;
  shifted.end_display_time = uint32_t(duration / 1000);
  const int64_t base = FF.av_rescale_q(start, Microseconds, otb);
  for (int i = 0; i < (dvb ? 2 : 1); ++i) {
    // The DVB encoder's second packet clears the subtitle at its end.
    if (dvb && i == 1) shifted.num_rects = 0;
    const int size = FF.avcodec_encode_subtitle(enc, buffer.data(), int(buffer.size()), &shifted);
    if (size < 0) throw FFmpegException("Subtitle encoding failed");
    TPacketPtr packet(FF.av_packet_alloc());
    if (!packet) throw FFmpegException("av_malloc fail");
    packet->data = buffer.data();
    packet->size = size;
    packet->stream_index = ost.Index;
    packet->pts = packet->dts =
        base + (dvb && i == 1 ? FF.av_rescale_q(shifted.end_display_time, {1, 1000}, otb) : 0);
    packet->duration = FF.av_rescale_q(shifted.end_display_time, {1, 1000}, otb);
    WriteFrame(os, packet.get(), enc, ost.Output->BitstreamFilters);
    ost.FrameNumber += 1;
  }
}

}  // namespace ok
