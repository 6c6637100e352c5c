#pragma once
// The run-time state of a task's output files: the muxer contexts with their byte streams, and per
// output stream its encoder context, stream-copy flag, quality and bitstream-filter chain.

#include <array>
#include <string>
#include <vector>

#include "engine/options/option_contexts.h"
#include "engine/options/option_state.h"
#include "media/ff_holders.h"

namespace ok {

struct TOutputStream {
  AVStream* Stream = nullptr;  // owned by the file's context
  // What the old generation kept in the stream's codec context: allocated for the chosen encoder
  // (or without a codec for a stream copy or an encoder this build lacks), filled from the option
  // state, not opened. UpdateStreamParameters copies it into the stream before the header.
  TCodecContextPtr Encoder;
  const AVCodec* Codec = nullptr;  // the encoder Encoder was allocated for, or none
  bool StreamCopy = false;
  float Quality = 0;  // FF_QP2LAMBDA × qscale with a fixed quality scale, else 0
  TBitstreamFilterChain BitstreamFilters;

  // Writes the encoder context into the stream's codec parameters (and its time base as the
  // muxer's hint); a negative library error code on failure.
  int UpdateStreamParameters();
};

struct TOutputFile {
  TOutputFile() = default;
  ~TOutputFile() { Close(); }
  TOutputFile(TOutputFile&& other) noexcept;
  TOutputFile& operator=(TOutputFile&& other) noexcept;
  TOutputFile(const TOutputFile&) = delete;
  TOutputFile& operator=(const TOutputFile&) = delete;

  TFormatContextPtr Context;
  std::string FileName;  // as the caller named it (UTF-8)
  // The byte stream was opened here (so the file is ours to delete).
  bool FileOpened = false;
  // The header was written, so the file gets a trailer.
  bool HeaderWritten = false;
  // The trailer was written without error: the file is complete.
  bool TrailerWritten = false;
  // A file of ours that holds nothing worth keeping: deleted when closed.
  bool DeleteOnClose = false;
  std::vector<TOutputStream> Streams;  // Streams[i] belongs to Context->streams[i]

  bool Used() const { return Context != nullptr; }
  // Closes the byte stream, frees the encoder contexts and the muxer context, and deletes the file
  // when this object created it and it stayed empty.
  void Close();
};

struct TOutputState {
  std::array<TOutputFile, MaxFiles> OutputFiles;
  int NbOutputFiles = 0;
  // The encoder chosen by name for each output stream in creation order (none when the stream's
  // encoder came from the format's default), one entry per built stream.
  std::vector<const AVCodec*> OutputCodecs;

  int NbOutputCodecs() const { return int(OutputCodecs.size()); }
  void ReleaseOutputFiles();
};

// The filter chain names a filter that changes the frame size: crop, rotate, scale or transpose.
bool HasResizingFilter(const std::string& filters);

// How an input's subtitle stream of codec `source` goes into `format` when the options name no
// subtitle codec: as it is when the container takes it (bitmaps only into a container with a
// subtitle codec of its own: the MP4 family's players show timed text only), converted to the
// container's text codec when it is text, else left out.
struct TSubtitleCarriage {
  enum { Copy, Convert, Leave } How = Leave;
  const AVCodec* Encoder = nullptr;  // for Convert
};
TSubtitleCarriage PlanSubtitleCarriage(const AVOutputFormat* format, AVCodecID source);

}  // namespace ok
