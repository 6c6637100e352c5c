#pragma once
// One engine instance per task: its option state, the option vocabulary of the classic
// command-line transcoder, the generic options handed to the libraries' own option tables, and the
// target presets. Input and output opening and the conversion build on this state.

#include <atomic>
#include <functional>
#include <mutex>
#include <source_location>
#include <string>
#include <thread>
#include <vector>

#include "engine/files/input_file.h"
#include "engine/files/output_file.h"
#include "engine/options/option_contexts.h"
#include "engine/options/option_state.h"
#include "engine/run/engine_threads.h"
#include "engine/transcode/audio_output.h"
#include "engine/transcode/frame_processing.h"
#include "engine/transcode/transcode_state.h"
#include "engine/transcode/video_output.h"
#include "media/frame_hook.h"
#include "media/picture_converter.h"
#include "platform/pause_gate.h"

namespace ok {

// The task's log handler: engine level (-1 quiet, 0 error or warning, 1 information, 2 debug) and
// one line of text.
using TLogHandler = std::function<void(int level, const std::string& text)>;

// The task's handlers, called on the task's thread. An exception of the std::exception family
// thrown by the hook handlers is logged and ends that hook, not the conversion.
using TProgressHandler = std::function<void(int frameNumber, int fps, int currentDuration, float quality,
                                            float bitRate, int64_t currentSize, int totalOutputDuration)>;
using TBeforeHookHandler = std::function<void(int64_t pts, int& hookAction)>;
using TCustomHookHandler =
    std::function<void(TBitmap& bitmap, int frameNumber, int64_t pts, bool& update, bool& stopHook)>;
using TPreviewBitmapHandler = std::function<void(const TBitmap& bitmap, int frameNumber, int64_t pts)>;

// Guards the preview of every task and every change of a task's hook flags.
extern std::mutex PreviewLock;

class TCustomFFmpeg : public TOptionState, public TInputState, public TOutputState {
 public:
  TCustomFFmpeg();
  virtual ~TCustomFFmpeg();
  TCustomFFmpeg(const TCustomFFmpeg&) = delete;
  TCustomFFmpeg& operator=(const TCustomFFmpeg&) = delete;

  // --- options/: the option state (custom_ffmpeg.cpp), the option table (options/option_table.cpp)
  // Releases and re-creates the option state and the option contexts; does nothing while the
  // media libraries are not all loaded. `keepRunState`: for a run's own set-up, whose run flags
  // (running, a stop already asked for) must stay.
  void ResetOptions(bool keepRunState = false);

  // The dispatcher: one option by its exact (case-sensitive) name; names it does not know go to
  // SetGenericOption, whose result is ignored.
  void ApplyOption(const std::string& name, const std::string& value);
  // One "name=value" pair per line. Pass 1 applies only "newvideo", "newaudio" and "newsubtitle";
  // pass 0 everything else.
  void ApplyOptionLines(const std::string& text, int pass);
  // For options that people type, where ApplyOption's quiet rules would hide a mistake: "" when
  // the option would take effect, else why not (a name that neither the dispatcher nor any
  // library option table knows, a value a library option rejects, an unknown pixel or sample
  // format). Library options are set on this engine's option contexts; dispatcher options are
  // only checked, never applied.
  std::string CheckOption(const std::string& name, const std::string& value);

  // --- options/generic_options.cpp: the libraries' own option tables
  // The generic option mechanism over the option contexts; false when no context knows the name or
  // the value is invalid (then logged through the library logger).
  bool SetGenericOption(const std::string& name, const std::string& value);
  bool SetGenericIntOption(const std::string& name, int value);
  // The library option contexts those options are recorded in (the option table reads them back).
  TOptionContexts OptionContexts;

  // --- the named setters: custom_ffmpeg.cpp (times, formats, sync, metadata) and
  // options/option_table.cpp (codecs, crop, pad, matrices, maps, bitstream filters)
  // Named setters, also reached through ApplyOption.
  void SetInputFormat(const std::string& name);
  void SetOutputFormat(const std::string& name);
  void SetInputOutputFormat(const std::string& name);
  void SetVerbose(int level);
  void SetStartTime(int64_t value);      // µs, only when > 0
  void SetRecordingTime(int64_t value);  // µs, only when > 0
  void SetRecordingTimeMs(int value);    // ms, only when > 0
  void SetProgramID(int value);          // only when >= 0
  void SetAudioVolume(int value);        // only when >= 0
  void SetAudioSyncMethod(int value);
  void SetVideoSyncMethod(int value);
  void SetMuxDelay(float value);    // seconds, only when > 0
  void SetMuxPreload(float value);  // seconds, only when > 0
  void SetRecTimestamp(int64_t value);
  void AddMetadata(const std::string& key, const std::string& value);
  // Bit 0 preview, bit 1 preview bitmap; changed under the process-wide preview lock.
  void SetHookFlags(uint8_t flags);
  // The ranges sorted by their end; the current range is the first.
  void SetTimeRanges(const std::vector<TTimeRange>& ranges);

  void SetFrameRate(const std::string& value);
  void SetFrameSize(const std::string& value);
  void SetFrameAspectRatio(const std::string& value);
  void SetFramePixFmt(const std::string& value);
  void SetAudioSampleFmt(const std::string& value);
  void SetCropTop(int value);
  void SetCropBottom(int value);
  void SetCropLeft(int value);
  void SetCropRight(int value);
  void SetPadTop(int value);
  void SetPadBottom(int value);
  void SetPadLeft(int value);
  void SetPadRight(int value);
  void SetPadColor(int rgb);  // red in the low byte
  void SetQScale(const std::string& value);
  void SetVideoCodec(const std::string& name);
  void SetAudioCodec(const std::string& name);
  void SetSubtitleCodec(const std::string& name);
  void SetVideoTag(const std::string& tag);
  void SetAudioTag(const std::string& tag);
  void SetPass(const std::string& value);
  void SetVideoHook(const std::string& value);
  void SetIntraMatrix(const std::string& value);
  void SetInterMatrix(const std::string& value);
  void SetStreamMap(const std::string& value);
  void SetMetaDataMap(const std::string& value);
  void SetMetadata(const std::string& value);  // "key=value"
  void SetTsScale(const std::string& value);   // "stream:scale" for the next input file
  // "t", "ss", "itsoffset" (durations) and "timestamp" (a date).
  void SetRecordingTimeOption(const std::string& value);
  void SetStartTimeOption(const std::string& value);
  void SetTsOffsetOption(const std::string& value);
  void SetTimestampOption(const std::string& value);
  // "newvideo", "newaudio", "newsubtitle": a further stream in the last registered output file.
  void NewStreamInLastOutput(AVMediaType mediaType);
  // "absf", "vbsf" or "sbsf" with the filter name (anything after "=" is ignored).
  void SetBitstreamFilter(const std::string& option, const std::string& value);
  void SetVstatsFile(const std::string& fileName);
  void SetVstats();

  // --- options/target_presets.cpp
  // Target presets: Type "vcd", "svcd", "dvd", "dv" or "dv50"; Norm "pal", "ntsc", "film" or
  // anything else for detection, which falls back to DefaultNorm.
  void SetTarget(const std::string& type, const std::string& norm, const std::string& defaultNorm);
  // The "target" option value: "[pal-|ntsc-|film-]type".
  void SetTargetOption(const std::string& value);

  // --- files/: input_file.cpp (opening inputs) and output_file.cpp (outputs and their streams)
  // Opens one input file as the next entry of InputFiles; the per-input options (start time,
  // forced formats, video channel, codec names) are consumed whatever the outcome. Raises
  // FFmpegException on failure.
  void OpenInputFile(const std::string& fileName);
  // Opens an output file with its streams; the number of registered outputs. Raises FFmpegException
  // on failure, with nothing of the file registered and the forced formats consumed.
  int OpenOutput(const std::string& fileName);

  // --- transcode/transcode_setup.cpp and transcode_loop.cpp
  // Transcode: the setup over the opened files, the main loop and the shutdown. Raises
  // FFmpegException (or another std::runtime_error) on failure, the tables then released.
  void Transcode();

  // --- logging (custom_ffmpeg.cpp)
  // Writes one line to the log handler; nothing without one.
  void Log(int level, const std::string& text) const;
  bool HasLogHandler() const { return bool(OnLog); }

  // The log handler the component installs (level, text).
  TLogHandler OnLog;
  TProgressHandler OnProgress;
  TBeforeHookHandler OnBeforeHook;
  TCustomHookHandler OnCustomHook;
  TPreviewBitmapHandler OnPreviewBitmap;

  // --- run/task_run.cpp: the run control
  // Run control. Start runs the conversion on the calling thread (none returned) or creates the
  // worker suspended and returns it (the caller resumes it); it does nothing and returns none for
  // a task that runs, has terminated or is being terminated. Every task terminates once: its
  // termination handler runs on the thread that ends it.
  TFFmpegThread* Start(bool async, TThreadPriority priority);
  // Stops a running task; a task that never started is terminated by a short-lived thread.
  void Stop();
  // The worker waits at the pause gate between packets; a task without a worker is left alone.
  void Pause();
  void Resume();
  // Releases everything the task holds; output files that stayed empty are deleted.
  void ReleaseState();
  // The stop request, then the wait for the worker (ten polls of 100 ms, then on without bound,
  // logged) and for the terminating thread: the task's threads are gone after it. Destructors of
  // derived classes call it first; the component calls it once a task's end is reported.
  void StopAndWait();
  TFFmpegThread* WorkerThread() const { return workerThread_.load(); }

  // The run's outcome, and a stop asked for (also from a hook handler, on the task's thread).
  std::atomic<bool> StopRequested{false};
  bool Finished = false;
  bool ExceptionRaised = false;
  std::string ExceptionMessage;
  std::function<void()> OnTerminate;
  // Opens the task's files when its run begins, on the thread that runs it; a failure becomes the
  // task's termination. Without it, the files must be open before Start.
  std::function<void()> OnSetUp;

 protected:
  // Builds a stream of `mediaType` in the last registered output file.
  virtual void NewOutputStream(AVMediaType mediaType);

 private:
  // The thread classes run the run's body and its termination, and the audio room's encoding
  // helper uses the work buffers; the engine tests reach the rest through their access class
  // (tests/engine/engine_test_access.h).
  friend class TFFmpegThread;
  friend class TDoTerminateThread;
  friend class TEngineTestAccess;
  friend void EncodeSamples(TCustomFFmpeg& engine, TOutputFile& os, TOutputStreamState& ost,
                            const uint8_t* samples, int count);

  // --- options/generic_options.cpp: library option contexts, codec lookup
  // Some option context, renamed option, encoder or muxer knows the name.
  bool KnowsGenericOption(const std::string& name) const;
  // Copies every recorded generic option whose flags contain all of `flags` from `source` to
  // `destination` (both option-enabled library objects).
  void ApplyContextOptions(void* destination, void* source, int flags);
  // Applies the recorded private options of encoders of `mediaType` that `encoder` (allocated for
  // its codec, not yet opened) has; an invalid value is logged and skipped.
  void ApplyPrivateCodecOptions(AVCodecContext* encoder, int mediaType);
  // The same with the recorded muxer options for an output context made for its format.
  void ApplyPrivateFormatOptions(AVFormatContext* output);

  // The codec of that name (or of its successor name) for encoding or decoding; no name: none.
  // Raises FFmpegException "Unknown %s '%s'" or "Invalid %s type '%s'".
  void FindCodecByName(const std::string& name, AVMediaType mediaType, bool encoder, AVCodecID& codecId,
                       const AVCodec** codec = nullptr);

  // --- files/
  // Whether the opened inputs hold a video, an audio and a subtitle stream.
  void CheckInputStreamTypes(bool& hasVideo, bool& hasAudio, bool& hasSubtitle) const;
  // Build one stream in `file` from the option state; raise FFmpegException on failure.
  void NewVideoStream(TOutputFile& file);
  void NewAudioStream(TOutputFile& file);
  void NewSubtitleStream(TOutputFile& file);
  // Without an asked channel count: the layout of `c` becomes one that `encoder` takes, logged.
  void UseAcceptedChannelLayout(AVCodecContext& c, const AVCodec* encoder);

  // --- transcode/: transcode_setup.cpp, transcode_loop.cpp (also subtitles), audio_output.cpp,
  // video_output.cpp, progress_report.cpp, frame_processing.cpp and packet_writer.cpp
  // The setup alone (tables, mapping, codecs, headers); the tables stay for the main loop.
  void TranscodeSetup();
  // The main loop and the shutdown over the tables of the setup.
  void TranscodeLoop();
  // Closes the codecs still registered, then frees the tables.
  void ReleaseTranscodeTables();
  // The position in the input stream table of the first still-unused stream of `type` listed in a
  // program whose id is ProgramID; -1 when there is none.
  int FindProgramStream(AVMediaType type) const;

  // One packet of `ist` (none: the end of its input) decoded and fed to the outputs; 0 or -1.
  int OutputPacket(TInputStreamState& ist, int inputPosition, const AVPacket* packet);
  void DoSubtitleOut(TOutputFile& os, TOutputStreamState& ost, TInputStreamState& ist, AVSubtitle* subtitle,
                     int64_t pts);

  // Audio output. Decoded audio becomes interleaved work samples (16-bit or float, see
  // TInputStreamState::WorkFormat) in AudioBuffers.Samples first
  // (false: nothing to output); the volume works on those samples.
  bool DecodedAudioToWorkSamples(TInputStreamState& ist, const AVFrame& frame, uint8_t*& data, int& size);
  void ApplyAudioVolume(uint8_t* samples, int size, AVSampleFormat format = AV_SAMPLE_FMT_S16) const;
  void DoAudioOut(TOutputFile& os, TOutputStreamState& ost, TInputStreamState& ist, const uint8_t* buffer,
                  int size);
  // At the end of input: the samples left in the FIFO, then the encoder drained.
  void FlushAudioOut(TOutputFile& os, TOutputStreamState& ost);

  // Video output; `frameSize` is the size of the last packet written, 0 when none.
  void DoVideoOut(TOutputFile& os, TOutputStreamState& ost, TInputStreamState& ist, AVFrame* picture,
                  int& frameSize);
  void DoVideoStats(TOutputFile& os, TOutputStreamState& ost, int frameSize);
  // At the end of input: the encoder drained.
  void FlushVideoOut(TOutputFile& os, TOutputStreamState& ost);

  // The progress values to the progress handler, or the status line to the log.
  void PrintReport(bool isLast);

  // Deinterlacing, the custom hook and the frame hooks on a decoded picture; may point the
  // picture's planes at a processed copy in the hook buffer.
  void PreProcessVideoFrame(TInputStreamState& ist, AVFrame* picture);
  // Turns a decoded picture upright in place as its stream's turn says (nothing to do without
  // one); raises FFmpegException when the turn cannot be made.
  void TurnUpright(TInputStreamState& ist, AVFrame* picture);
  void ApplyCustomHook(TPicture& work, const AVCodecContext* decoder, int64_t pts);
  // A bitmap of an encoded picture to the preview-bitmap handler or the preview window, at most
  // once per PreviewInterval. `pts` in µs.
  void ShowPreview(const TPicture& picture, const AVCodecContext* encoder, int64_t pts);

  // One packet through the chain's bitstream filters to the muxer of `os`; FFmpegException when
  // the muxer fails.
  void WriteFrame(TOutputFile& os, AVPacket* packet, const AVCodecContext* encoder,
                  TBitstreamFilterChain& chain);
  // Sends `frame` (none: the end) to the stream's encoder and writes every packet it gives, the
  // times converted to the stream's time base; the bytes written. Keeps the coded-picture values
  // and writes pass-1 statistics. Raises `failure` when the encoder refuses the frame.
  int EncodeAndWrite(TOutputFile& os, TOutputStreamState& ost, const AVFrame* frame, const char* failure);
  // The time in seconds the output's synchronisation input has reached, from StartTime.
  double GetSyncIpts(const TOutputStreamState& ost) const;

  // Sets the engine log level; the constructor points it at SetVerbose.
  std::function<void(int)> VerboseSetter;

  TFrameHookChain FrameHooks;
  TPictureConverter HookConverter;
  TPictureConverter PreviewConverter;

  // --- run/task_run.cpp: the tables, the run state
  // The tables of the running transcode and the codecs it has open.
  TTranscodeTables Tables;
  TOpenCodecRegistry<TOutputStreamState> OpenEncoders;
  TOpenCodecRegistry<TInputStreamState> OpenDecoders;
  TAudioBuffers AudioBuffers;
  TVideoOutputFiles VideoOutputFiles;
  THookBuffers HookBuffers;

  void RunTranscode();
  // After a failure: marks the outputs that did not get their trailer for deletion; what to add to
  // the failure's text about them.
  std::string DiscardUnfinishedOutputs();
  void FinishRun();
  // Stops without terminating a task that never started (the destructor's request).
  void RequestStop();
  void CloseOpenEncoders();
  void CloseOpenDecoders();

  // Run state. The worker passes the pause gate between packets and between repeated frames.
  TPauseGate PauseGate;
  bool Running = false;
  bool Terminated = false;

  void ResetRunState();
  bool RunEnded() const;

  // Guards the run flags against Start, Stop and FinishRun on different threads.
  std::mutex runMutex_;
  bool terminationPending_ = false;
  std::atomic<TFFmpegThread*> workerThread_{nullptr};
  std::unique_ptr<TFFmpegThread> ownedWorker_;
  std::unique_ptr<TDoTerminateThread> terminateThread_;
  // The thread of a synchronous run while it runs.
  std::atomic<std::thread::id> syncRunner_{};

  void ReleaseOptionState();
  void SetupCodecParameters(int outputPosition);
  void OpenOutputStreamCodec(int outputPosition);
  void ConsumeInputOptions();
  void FillStateFromVideoStream(int index, const AVStream* stream, AVCodecContext* decoder,
                                const TPictureTurn& turn);
  void FillStateFromAudioStream(const AVStream* stream);
  // Raises FFmpegException when `file` is one of the opened inputs.
  void RefuseSourceAsOutput(const TOutputFile& file);
  void ApplyRcOverride(AVCodecContext* encoder);
  // The stream record's filters and copy flag taken from the option state, and its encoder
  // context: for the named encoder (`named`), else for the format's default of `type`.
  AVCodecContext* BeginOutputStream(TOutputStream& ost, const AVFormatContext* oc, AVMediaType type,
                                    const std::string& codecName, TBitstreamFilterChain& filters,
                                    bool streamCopy, const AVCodec*& named);
  std::string ResolveFormatName(const std::string& name);
  void SetCrop(int& field, int value, const char* side, bool vertical);
  void SetPad(int& field, int value, const char* side);
  void SetCodecName(std::string& field, bool& streamCopy, const std::string& name);
  uint32_t ParseTag(const std::string& tag, const char* kind, std::source_location where);
  void SetMatrix(std::unique_ptr<TQuantMatrix>& matrix, const std::string& value);
  int64_t ParseTimeOption(const std::string& option, const std::string& value, bool duration);
  void LogFormatList(bool pixelFormats);
  bool SetSuccessorOption(const std::string& name, const std::string& value);
  void StorePrivateCodecOption(int types, const std::string& name, const std::string& value, int flags = 0);
  void ApplyPrivateOptions(void* object, const TDictionary& options);
  void ApplyPreset(const std::string& type, int norm);
  void AssumeAspect(const char* aspect);
};

}  // namespace ok
