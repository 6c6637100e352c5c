#pragma once
// The engine tests' one way to the engine's internals: an engine whose inner steps, tables and
// run state are public. It adds nothing else, so it behaves as the engine itself.

#include "engine/custom_ffmpeg.h"

namespace ok {

class TEngineTestAccess : public TCustomFFmpeg {
 public:
  // options/
  using TCustomFFmpeg::ApplyContextOptions;
  using TCustomFFmpeg::ApplyPrivateCodecOptions;
  using TCustomFFmpeg::ApplyPrivateFormatOptions;
  using TCustomFFmpeg::FindCodecByName;
  using TCustomFFmpeg::VerboseSetter;
  // files/
  using TCustomFFmpeg::CheckInputStreamTypes;
  // transcode/
  using TCustomFFmpeg::ApplyAudioVolume;
  using TCustomFFmpeg::DecodedAudioToWorkSamples;
  using TCustomFFmpeg::DoAudioOut;
  using TCustomFFmpeg::DoVideoOut;
  using TCustomFFmpeg::DoVideoStats;
  using TCustomFFmpeg::FlushAudioOut;
  using TCustomFFmpeg::FlushVideoOut;
  using TCustomFFmpeg::FrameHooks;
  using TCustomFFmpeg::HookBuffers;
  using TCustomFFmpeg::HookConverter;
  using TCustomFFmpeg::PreProcessVideoFrame;
  using TCustomFFmpeg::PrintReport;
  using TCustomFFmpeg::ReleaseTranscodeTables;
  using TCustomFFmpeg::ShowPreview;
  using TCustomFFmpeg::Tables;
  using TCustomFFmpeg::TranscodeSetup;
  using TCustomFFmpeg::VideoOutputFiles;
  // run/
  using TCustomFFmpeg::CloseOpenDecoders;
  using TCustomFFmpeg::CloseOpenEncoders;
  using TCustomFFmpeg::OpenDecoders;
  using TCustomFFmpeg::OpenEncoders;
  using TCustomFFmpeg::PauseGate;
  using TCustomFFmpeg::RunTranscode;
  using TCustomFFmpeg::StopAndWait;
  using TCustomFFmpeg::Terminated;
};

}  // namespace ok
