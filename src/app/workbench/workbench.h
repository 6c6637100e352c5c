#pragma once
// The main window's logic without widgets: everything the window shows and decides, and its
// handlers under their own names. The Qt window, the command-line front end and the tests drive
// it; what needs a person or the desktop goes through TWorkbenchView. Every handler runs on the
// main thread; the component's events arrive on worker threads and are posted to it.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/workbench/size_limit.h"
#include "app/workbench/workbench_controls.h"
#include "app/workbench/workbench_view.h"
#include "component/transcoder.h"
#include "media/bitmap.h"

namespace ok {

struct TText;
class TIniFile;

class TSystemShutdown;
class TMainThread;

// A profile file of the catalogues (and "extfile.ini"), fields in the file's order.
struct profile_rec {
  std::string Type;
  std::string Extension;  // the job's suffix, with its dot
  std::string VideoCodec;
  std::string Encoder;  // the job's video encoder
  int32_t VideoBitrate = 0;
  int32_t Width = 0;
  int32_t Height = 0;
  double FPS = 0;
  double AspectRatio = 0;
  std::string AudioCodec;
  int32_t AudioBitrate = 0;
  int32_t SampleRate = 0;
  int32_t Channel = 0;
  int32_t Volume = 0;
  // The keys of quality-based profiles; their defaults leave a job as the keys above make it.
  double Quality = -1;         // CRF-style quality (0 counts); when set it replaces VideoBitrate
  int32_t MaxRate = 0;         // bit/s, 0: no cap
  int32_t BufSize = 0;         // bit/s
  std::string Speed;           // the encoder's preset ("veryfast", "8")
  std::string Fit;             // "box": Width x Height is a box the picture fits in, never enlarged
  double FPSCap = 0;           // the source's rate is kept up to this, 0: no cap
  bool Deinterlace = false;    // interlaced pictures are deinterlaced
  std::string PixelFormat;     // "yuv420p", or "keep10": 10 bits when the source has more than 8
  std::string Tag;             // the video stream's tag ("hvc1")
  std::string Profile, Level;  // the encoder's profile and level ("baseline", "3.0")
  int32_t MaxChannels = 0;     // more source channels are mixed down to this many, 0: no limit
  std::string Remux;           // "auto", "mp4", "mkv": every stream copied into that container
  // The crop off the source and the pads around the picture (even pixels), as the custom page
  // sets them; -1: none.
  int32_t CropTop = -1, CropBottom = -1, CropLeft = -1, CropRight = -1;
  int32_t PadTop = -1, PadBottom = -1, PadLeft = -1, PadRight = -1;
};

// What the model uses of the machine; a null member means the real one.
struct TWorkbenchEnvironment {
  TSystemShutdown* Shutdown = nullptr;
  TMainThread* MainThread = nullptr;                   // null: CurrentMainThread()
  const std::vector<std::string>* Encoders = nullptr;  // null: the loaded libraries' encoders
};

// One row of the source list: what the probe found and what the batch made of it. The list's
// texts are rendered from it; nothing reads a displayed text back.
enum TRowState { rsWaiting, rsRunning, rsFinished, rsFailed, rsStopped };

// One stream of a source file, as a copy into another container sees it.
struct TSourceStream {
  int MediaType = -1;  // AVMediaType
  int CodecId = 0;     // AVCodecID
};

struct TSourceRow {
  std::string Path;                         // as added, made absolute
  int Width = 0, Height = 0;                // the stored frame size, 0 when unknown
  int DisplayWidth = 0, DisplayHeight = 0;  // upright and at the display aspect: what a player shows
  int Rotation = 0;                         // degrees clockwise the picture turns for display
  // What quality-based profiles look at, from the probe (0 or empty when unknown).
  int FrameRateNum = 0, FrameRateDen = 0;  // the main video's frame rate
  int BitDepth = 0;                        // bits per sample of the main video's pixels
  bool Interlaced = false;                 // the main video's field order says interlaced
  int AudioChannels = 0;                   // of the first audio stream, 0 without audio
  std::vector<TSourceStream> Streams;      // every stream, in file order
  int64_t DurationMs = -1;                 // -1 when unknown
  int ClipStartMs = -1, ClipEndMs = -1;    // the row's own clip marks, -1 when unset
  bool ClipChecked = false;                // its "是否裁剪"
  TRowState State = rsWaiting;
  int Progress = -1;        // per cent of the running or last run, -1 before any
  std::string FailureText;  // why the last run failed
  std::string OutputPath;   // the output reserved for the last batch, "" before any
  std::string PartPath;     // what its running task writes until it ends, "" when settled
  // The file as it was added (links and ".." resolved; device and inode, 0 when unknown), so that
  // adding to a long list compares with the rows instead of asking the file system again.
  std::string ResolvedPath;
  uint64_t Device = 0, Inode = 0;
};

// What one task of a batch does for its row: the row's only encode, the analysis pass of a
// two-pass encode, the encode fitted to the size limit, or that encode again at a lower rate.
enum TEncodeStage { esNone, esOnly, esAnalysis, esFitted, esRetry };

// A row's job in a batch and how it meets the size limit (size_fitting.cpp).
struct TRowEncode {
  TInputOptions Input;
  TOutputOptions Output;  // without the pass lines
  bool Limited = false;   // the limit is on: the output is measured against it
  TSizeLimit Limit;
  TSizePlan Plan;
  std::string VideoCodec;  // the encoder's name for the floors
  double FrameRate = 25;
  bool TwoPass = false;
  int64_t FixedBytes = 0;      // the container's and the audio's share, for a second try
  std::string RetryPath;       // where the second try is written
  TEncodeStage Next = esNone;  // what follows once the current phase has ended
  std::string Refusal;         // why the row is not converted at all
};

// One task of the batch's current phase.
struct TBatchTask {
  int Row = -1;
  TEncodeStage Stage = esNone;
};

// The settings pages.
enum TSettingsPage { spPreset = 0, spDevice = 1, spExisting = 2, spCustom = 3 };

class TWorkbench {
 public:
  explicit TWorkbench(TWorkbenchView& view, TWorkbenchEnvironment environment = {});
  ~TWorkbench();
  TWorkbench(const TWorkbench&) = delete;
  TWorkbench& operator=(const TWorkbench&) = delete;

  // ---- Start-up, settings, output folder (workbench.cpp) ----
  void OnCreate();
  void OnShow();
  void OnDestroy();
  void OnBrowseOutputFolder();
  // The output-folder edit typed into by hand.
  void OnOutputFolderEdited(const std::string& text);
  // The user left the output-folder edit: its text becomes the output folder and is remembered.
  void OnOutputFolderEditLeft();
  // The window is asked to close: true when it may go. During a batch the user is asked whether
  // to stop it; yes stops it and waits for its tasks to end.
  bool CloseRequested();
  void OnOpenOutputFolderClicked();
  // The output folder until one is chosen: a sub-folder of the user's Videos folder (the home
  // folder when the XDG user dirs name none). Not stored, and made only when a batch needs it.
  std::string DefaultOutputFolder() const;
  // "config.ini" in the settings folder.
  std::string ConfigFileName() const;
  // Creates OutputFolder with its parents when it is missing; on failure shows "未能创建 " + folder +
  // " 目录！" and returns false.
  bool EnsureOutputFolder();

  // ---- Source list (source_list.cpp) ----
  // The open dialog, then AddFiles with what was chosen.
  void OnAddFilesClicked();
  // Adds files (dialog and drag and drop alike); a folder adds the video files inside it.
  void AddFiles(const std::vector<std::string>& paths);
  void OnRemoveClicked();
  void OnClearClicked();
  // The user selected row `row` (-1: none); the preview shows that row's file and marks.
  void OnSourceSelected(int row);
  // The list row whose file the preview shows, -1 when none.
  int PreviewRow() const { return previewRow_; }

  // ---- Profile catalogues (profile_catalogue.cpp) ----
  void OnFileTypeChanged();
  void OnPresetChanged();
  void OnBrandChanged();
  void OnModelChanged();
  void OnFileTypeClicked();
  void OnPresetClicked();
  void OnBrandClicked();
  void OnModelClicked();
  void OnSettingsPageShown(int page);
  // The user made `page` the active page.
  void OnSettingsPageChanged(int page);
  // The user picked item `index` of a box: selects it, runs its click and change handling.
  void SelectFileType(int index);
  void SelectPreset(int index);
  void SelectBrand(int index);
  void SelectModel(int index);
  void SelectCustomType(int index);
  // The user's own presets follow the shipped ones in the preset box, marked as theirs.
  // Whether the preset box's selected item is one of them.
  bool UserPresetSelected() const;
  // Asks, then removes the selected user preset's file and lists the type again.
  void OnRemovePresetClicked();
  // Lists the preset box's type again (a preset was saved), the chosen entry kept when still there.
  void RelistPresets();

  // ---- Preset tables (preset_tables.cpp), custom page (custom_page.cpp), analysis ----
  void FillPresetParams(int page, int first, int second);
  void OnApplyCustomClicked();
  // Key filter of customWidthEdit..padRightEdit and customQualityEdit (`edit` 1 to 13): true when
  // the key is taken.
  bool OnCustomEditKeyPress(int edit, char key);
  // Text typed or pasted into customWidthEdit..padRightEdit: kept only when every character passes the filter
  // and it fits the edit's length (else a beep and no change). True when taken.
  bool SetCustomEditText(int edit, const std::string& text);
  void OnCropCheckBoxClicked(bool checked);
  void OnPadCheckBoxClicked(bool checked);
  // Types after the classic ones are quality-based: their job is the type's first shipped preset
  // with the values typed here.
  static bool IsModernCustomType(int type);
  // Why the quality typed cannot be used by the chosen type ("" when it can, or none is typed).
  std::string CustomQualityRefusal() const;
  // "保存为预置方案": asks a name and writes the custom page's job as a profile file under the
  // user's settings folder (custom_preset.cpp).
  void OnSaveCustomPresetClicked();
  // The profile the custom page's job is, for custom type `type`; raises when the page lacks a
  // value or the type's shipped preset cannot be read.
  profile_rec CustomProfile(int type) const;
  void OnAnalyseClicked();
  // "extfile.ini" in the settings folder.
  std::string ExtFileName() const;
  // The custom page's crop and pad values (step 12 of the output options): the checked groups'
  // edits, each truncated to an even number; the pads replace those of the picture fitting.
  void ApplyCustomCropPad(TOutputOptions& options) const;
  // Whether the active settings page holds the values of a job; else shows why (once) and false.
  bool CheckSettingsPage();
  // What the active settings page still lacks for a job (the text CheckSettingsPage shows), or null.
  const TText* SettingsPageMissing() const;
  // "extfile.ini" holds an analysed sample.
  bool SampleAnalysed() const;

  // ---- Preview and clip (preview_pane.cpp) ----
  void OpenPreview(TAVProbe& probe);
  void ShowPreviewFrame();
  void OnPreviewTrackBarChanged(int position);
  void OnMarkStartClicked();
  void OnMarkEndClicked();
  // "是否裁剪" of the previewed row.
  void OnClipCheckBoxClicked(bool checked);
  // Row `row`'s clip: its marks are set, make a clip and its box is checked.
  bool ClipActive(int row) const;
  int GetClipStartMs(int row) const;
  int GetClipDurationMs(int row) const;

  // ---- Job building (job_building.cpp) ----
  // Both build the job of list row `row` (its own file, from Sources).
  TOutputOptions BuildOutputOptions(int row);
  TInputOptions BuildInputOptions(int row);
  // The task index, or -1 (the component's LastError says why).
  int AddConversionTask(TInputOptions& input, TOutputOptions& output);
  // Whether the loaded libraries (or the environment's list) have the encoder `name`.
  bool HasEncoder(const std::string& name) const;
  // The video encoder of the job's profile: the first of its Encoder list that is present.
  std::string JobEncoder() const;
  std::string FitFrameSize(int row, const std::string& target);
  // FitFrameSize for a picture shown at `width` x `height` (0: unknown, it takes the whole target).
  std::string FitPicture(int64_t width, int64_t height, const std::string& target);

  // ---- Run control (run_control.cpp) ----
  void OnStartClicked();
  void OnPauseClicked();
  void OnResumeClicked();
  void OnStopClicked();
  void OnPowerOffCheckBoxClicked(bool checked);
  // True while a batch runs (from Start until its final termination has been handled).
  bool Running() const { return running_; }
  // The component's events as the main thread receives them (the bound handlers post these).
  void OnTranscoderProgress(int index, int currentDuration, int totalOutputDuration);
  void OnTranscoderTerminate(int index, bool finished, bool exception, const std::string& message);

  // ---- Size limit (size_fitting.cpp) ----
  void OnSizeLimitCheckBoxClicked(bool checked);
  void OnSizeLimitEdited(const std::string& text);
  void OnSizeLimitUnitChanged(int index);
  // The limit every row's output must fit; false when it is off or its number is not a size.
  bool ActiveSizeLimit(TSizeLimit& limit) const;
  // The list's text for row `row` before Start: the size its output is expected to reach (with
  // the limit, the size aimed at), or the least the limit would need; "" when it cannot be told.
  std::string ExpectedSizeText(int row);
  // What a batch of the row's job does under the limit; raises when the job cannot be built.
  TRowEncode PlanRowEncode(int row);

  // ---- Window-wide state ----
  std::string OutputFolder;
  std::vector<std::string> PresetFiles;
  size_t ShippedPresetCount = 0;  // PresetFiles' shipped entries; the user's follow them
  std::vector<std::string> DeviceFiles;
  std::vector<TSourceRow> Sources;  // index for index with sourceList.Rows
  std::vector<std::string> SourcePaths() const;
  TAVProbe* previewProbe = nullptr;
  bool trackResetting = false;
  TBitmap previewFrame;
  int64_t previewTimeScale = 1;
  int previewVideoStream = -1;
  std::string SkinName = "Topaz";
  std::string Caption;  // the window's caption, set at every show
  // The page the five summary labels are drawn on (OnSettingsPageShown).
  int SummaryLabelsPage = 0;

  profile_rec PresetProfile;
  profile_rec DeviceProfile;

  // Job values, kept between jobs.
  std::string JobExt;
  std::string JobFrameSize;
  std::string JobVideoCodec;
  int JobVideoBitrate = 0;
  int JobFrameRate = 0;
  std::string JobAudioCodec;
  profile_rec JobProfile;  // the catalogue profile of the job, empty on the other pages
  bool PadVertically = false;
  // The inner picture size of the last FitFrameSize, "W" "X" "H".
  std::string FittedSize;

  // Our own settings ("config.ini", section "convert").
  int ParallelTasks = 1;
  int CodecThreads = 0;
  // The tasks a phase of a batch holds at most: the rows after them wait as records, holding no
  // engine, so that a long list costs no more memory than a short one.
  int TasksAtOnce() const;

  TTranscoder Transcoder;

  // ---- Controls ----
  TListViewState sourceList;
  TControlState addPanel;        // the large add-button panel
  TControlState addFilesButton;  // "添加待转视频文件"
  TControlState addButton, removeButton, clearButton;
  TPageControlState settingsPages;
  TEditState outputFolderEdit;
  TControlState outputFolderBrowseButton;  // its button: hint only
  TControlState openOutputFolderButton;
  TControlState startButton, pauseButton, resumeButton, stopButton;
  TCheckBoxState powerOffCheckBox;
  TBitmap previewImage;  // 220 x 145
  TTrackBarState previewTrackBar;
  TControlState previewTimeLabel;
  TControlState markStartButton, markEndButton;
  TEditState clipStartEdit, clipEndEdit;
  TCheckBoxState clipCheckBox;
  TComboBoxState fileTypeBox, presetBox, brandBox, modelBox, customTypeBox;
  // "删除预置方案": shown when the type has presets of the user's, enabled when one is selected.
  TControlState removePresetButton;
  // The summary labels: size, video codec, video bitrate, frame rate, audio codec.
  TControlState frameSizeLabel, videoCodecLabel, videoBitrateLabel, frameRateLabel, audioCodecLabel;
  TControlState applyCustomButton, customValuesPanel, cropPadGroup, analyseButton;
  TEditState customWidthEdit, customHeightEdit, customBitrateEdit, customFrameRateEdit, cropTopEdit,
      cropBottomEdit, cropLeftEdit, cropRightEdit, padTopEdit, padBottomEdit, padLeftEdit, padRightEdit;
  TCheckBoxState cropCheckBox, padCheckBox;
  // The quality of a quality-based custom type ("" keeps its preset's), and "保存为预置方案".
  TEditState customQualityEdit;
  TControlState customQualityLabel, saveCustomPresetButton;
  // "限制文件大小", its number and its unit ("KB", "MB", "GB").
  TCheckBoxState sizeLimitCheckBox;
  TEditState sizeLimitEdit;
  TComboBoxState sizeLimitUnitBox;
  // customWidthEdit..padRightEdit by number, then customQualityEdit as 13.
  static constexpr int CustomEditCount = 13;
  // What the size, bit rate and frame rate edits hold after a reset.
  static constexpr const char* CustomDefaults[4] = {"220", "176", "38400", "15"};
  TEditState& CustomEdit(int edit);
  const TEditState& CustomEdit(int edit) const { return const_cast<TWorkbench*>(this)->CustomEdit(edit); }

 private:
  // The labels from a profile; `device` gives the device page's frame-rate caption.
  void ShowProfile(const profile_rec& profile, bool device);
  void SetTabImages();
  // The custom page's reset, without notifying the view (the constructor runs it too).
  void ResetCustomPage();
  // The crop and pad check boxes and the edits they enable.
  void SetCropPad(bool crop, bool pad);
  void FillExistingVideoParams();
  // The summary labels from what a job of the analysis page does.
  void ShowSampleJob();
  void FillCustomParams(int type);
  // After the custom type changed: the quality edit and the bit rate's length follow the type;
  // a change between the classic and the quality-based types fills the edits with the new type's
  // own values.
  void ShowCustomType(int previous);
  void WriteSelection(const char* firstKey, int first, const char* secondKey, int second);
  // The preset page's choice: positions, and a user preset by its name too (its position moves
  // as the user's presets come and go).
  void WritePresetSelection(int preset);
  // The preset to select at the first show: the stored user preset by its name, a stored shipped
  // one by its position; the type's first when the stored one is gone.
  int StoredPresetIndex(const TIniFile& config, bool firstStart) const;

  // After a write of the settings: the first one that failed is told, once per model (a full
  // disk or a read-only folder must not pass silently, nor bring up a box at every click).
  void SettingsSaved(bool saved);

  TWorkbenchView& view_;
  bool settingsWarned_ = false;
  TWorkbenchEnvironment environment_;
  bool running_ = false;
  bool shown_ = false;  // the first show has run

  // ---- Source list, preview, jobs and runs (source_list.cpp ... run_control.cpp) ----
  TMainThread& MainThread() const;
  TSystemShutdown& Shutdown() const;
  // Loads the media libraries when they are not loaded yet; false when that fails.
  bool EnsureLibraries();
  // Opens `path` in the component's probe and shows it in the preview; false with `error` set.
  bool LoadIntoPreview(int row, std::string& error);
  void ClearPreviewImage();
  // The probed duration of the previewed file in microseconds, -1 when unknown.
  int64_t PreviewDuration() const;
  void ResetTrackBar();
  // Row `row`'s list texts, tool tip and progress bar from Sources[row].
  void RenderRow(int row);
  // Selects row `row` and shows its file and marks in the preview; an empty pane without rows.
  void SelectAndPreview(int row);
  // The pane as it is without a file: background, no range, no marks.
  void EmptyPreview();
  // Without rows the large add button covers the list again.
  void ShowAddPanelWhenEmpty();
  // The preview's marks and clip box from row `row`'s.
  void ShowRowMarks(int row);
  // The output of row `row` in the output folder: its source's name + "_(new)" + suffix, or the
  // first free "_(new_N)", the name cut (at a character) to the file system's name length. With
  // `reserve` the file is created empty and exclusively, so that no other batch or process can
  // take it; raises when the folder refuses the file.
  std::string OutputFileName(int row, const std::string& suffix, bool reserve);
  // Removes the reserved outputs that nothing was written to (rows failed or stopped early).
  void ReleaseEmptyOutputs();
  void BindTranscoderEvents();
  // ---- The batch's phases under the size limit (size_fitting.cpp) ----
  void SetUpSizeLimitControls();
  // The waiting rows' expected sizes again, after a change of the job or the limit.
  void RefreshExpectedSizes();
  void ReadSizeLimitSettings();
  void WriteSizeLimitSettings();
  // Queues the row's task for `stage`; its index, or -1 (the component's LastError says why).
  int QueueRowEncode(int row, TEncodeStage stage);
  // The row of task `index` of the current phase, -1 when none.
  int RowOfTask(int index) const;
  // Task `index` ended: false when its row goes on to another encode in the next phase;
  // `failure` says why a finished encode still fails its row (over the limit).
  bool RowEncodeDone(int index, bool finished, std::string& failure);
  // Starts a run over the rows that have another encode to do (at most TasksAtOnce tasks set up
  // at once); false when none does.
  bool StartNextPhase();
  // Task `task` ended: its row's output settled, its state and failure rendered, unless another
  // encode of the row follows.
  void SettleTask(int task, bool finished, bool exception, const std::string& message);
  // As tasks end, the waiting rows' encodes join the run that goes on, so that a slot never
  // waits for the others.
  void TopUpBatch();
  // Queues the waiting rows' encodes, in row order, while fewer than TasksAtOnce tasks are to
  // end; a row that cannot be queued fails alone. True when any was queued.
  bool QueueWaitingEncodes();
  // The two-pass statistics folder of the batch, made on first use; "" when it cannot be made.
  std::string PassFolder();
  void RemovePassFolder();
  void SetIdleButtons();
  void SetRunningButtons();
  void EndBatch();

  std::vector<TRowEncode> rowEncodes_;  // row by row, for the batch that runs
  std::vector<TBatchTask> batchTasks_;  // task by task, for the current run
  int waitingFrom_ = 0;                 // no row before it waits for an encode
  std::string passFolder_;
  bool batchStopped_ = false;

  int previewRow_ = -1;   // the row whose file the probe holds for the preview
  bool closing_ = false;  // the window goes once the batch has ended
  // Posted calls hold it weakly: a call that arrives after the model is gone does nothing.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

// " hh:nn:ss" of a duration in milliseconds (milliseconds dropped, hours wrap at 24).
std::string FormatDuration(int64_t ms);
// "s.mmm" of a time in microseconds.
std::string FormatPosition(int64_t us);

}  // namespace ok
