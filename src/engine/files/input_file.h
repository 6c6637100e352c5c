#pragma once
// files/: the task's input files (here), its output files and their streams (output_file.h) and
// the channel layouts encoders accept.
//
// The run-time state of a task's input files: the opened demuxer contexts, their timestamp
// offsets, the forced decoders and one decoder context per stream, prepared but not opened.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/options/option_state.h"
#include "media/ff_holders.h"
#include "media/video_stream.h"

namespace ok {

struct TInputStream {
  // The decoder named by the codec option for this stream's kind, or none.
  const AVCodec* ForcedDecoder = nullptr;
  // This generation keeps no codec context in the stream: this one is allocated for the forced
  // decoder (else the one registered for the stream's codec id), filled from the stream's
  // parameters and carries the decoding options; the transcode setup opens it. None for data and
  // attachment streams.
  TCodecContextPtr Decoder;
  // How the decoded pictures are turned upright before anything else sees them (the display
  // matrix's turn when "autorotate" was on at opening, else none).
  TPictureTurn Turn;
};

struct TInputFile {
  TInputContextPtr Context;
  std::string FileName;               // as the caller named it (UTF-8)
  std::vector<TInputStream> Streams;  // one per stream of Context, in stream order
};

struct TInputState {
  std::array<TInputFile, MaxFiles> InputFiles;
  int NbInputFiles = 0;
  // µs, added to the timestamps of that input during transcoding.
  std::array<int64_t, MaxFiles> InputFilesTsOffset{};
  // µs on the offset timeline: decoded pictures and samples of that input before it are not encoded,
  // since the start-time seek lands on the key frame before the start. INT64_MIN when none was given.
  std::array<int64_t, MaxFiles> InputFilesCutTime{};
  // One slot per video, audio, subtitle, attachment or untyped input stream in the order met (data
  // streams get none, so a slot's position is not the stream's position among all input streams;
  // TInputFile::Streams is aligned with the streams).
  std::vector<const AVCodec*> InputCodecs;
  // Per opened input file, its streams in order (what target-norm detection looks at).
  std::vector<std::vector<TInputStreamParams>> InputStreamParams;

  int NbInputCodecs() const { return int(InputCodecs.size()); }
  // Closes every input file (CloseInputContext) and forgets the decoder slots.
  void ReleaseInputFiles();
};

// The layout of `mask` when it has `channels` channels, else the default layout of that count.
void MakeChannelLayout(AVChannelLayout& layout, int64_t mask, int channels);

}  // namespace ok
