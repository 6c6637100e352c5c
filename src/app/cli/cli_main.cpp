// ostrelkalvexa-cli: a batch of the workbench from the command line. It drives the workbench model
// as the window does (add the files, choose the page and its boxes, mark the clip, press Start) and
// shows what the window would show on the console.

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "app/cli/choice.h"
#include "app/cli/cli_arguments.h"
#include "app/cli/cli_common.h"
#include "app/cli/cli_console.h"
#include "app/cli/cli_view.h"
#include "app/workbench/workbench.h"
#include "platform/main_thread.h"
#include "platform/translation.h"

namespace fs = std::filesystem;

namespace ok::cli {
namespace {

// Raised for an argument the workbench cannot take; main answers it with the usage exit status.
class EBadArgument : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The captions as shown in the chosen language, or as the catalogue names them.
std::vector<std::string> Captions(const TComboBoxState& box, bool shown = true) {
  std::vector<std::string> captions;
  for (const TComboItem& item : box.Items) captions.push_back(shown ? Tr(item.Caption) : item.Caption);
  return captions;
}

// The caption's part before its "(" ("MP4  (适合手机...)" gives "MP4").
std::string ShortName(const std::string& caption) {
  std::string name = caption.substr(0, caption.find('('));
  while (!name.empty() && name.back() == ' ') name.pop_back();
  return name.empty() ? caption : name;
}

// The position of the item `key` names in `box`; an unknown one lists the nearest.
int Resolve(const TComboBoxState& box, const std::string& what, const std::string& key) {
  const std::vector<std::string> captions = Captions(box);
  // A name as another language shows it is taken too: scripts keep working across locales.
  int index = FindChoice(captions, key);
  if (index < 0) index = FindChoice(Captions(box, false), key);
  if (index >= 0) return index;
  if (captions.empty()) throw EBadArgument("there is no " + what + " to choose from");
  std::string text = "no " + what + " \"" + key + "\" (give a name or a position from 0 to " +
                     std::to_string(captions.size() - 1) + "); the nearest are:";
  for (const std::string& caption : NearestChoices(captions, key)) text += "\n  " + caption;
  throw EBadArgument(text);
}

void SelectPage(TWorkbench& wb, TSettingsPage page) { wb.OnSettingsPageChanged(page); }

// Refuses the chosen entry of `box` when the window shows it disabled, with the window's reason.
void RefuseDisabled(const TComboBoxState& box) {
  if (box.ItemIndex < 0 || size_t(box.ItemIndex) >= box.Items.size()) return;
  const TComboItem& item = box.Items[size_t(box.ItemIndex)];
  if (!item.DisabledReason.empty()) throw EBadArgument(Tr(item.Caption) + ": " + item.DisabledReason);
}

void SetCustomEdit(TWorkbench& wb, int edit, const std::string& text, const std::string& what) {
  if (wb.SetCustomEditText(edit, text)) return;
  const int limit = wb.CustomEdit(edit).MaxLength;
  throw EBadArgument("--custom: the " + what + " \"" + text + "\" is not taken (digits only" +
                     (limit > 0 ? ", at most " + std::to_string(limit) : std::string()) + ")");
}

void ChooseCustom(TWorkbench& wb, const TCustomValues& custom) {
  SelectPage(wb, spCustom);
  wb.OnApplyCustomClicked();
  wb.SelectCustomType(Resolve(wb.customTypeBox, "video type", custom.Type));
  SetCustomEdit(wb, 1, custom.Width, "width");
  SetCustomEdit(wb, 2, custom.Height, "height");
  SetCustomEdit(wb, 3, custom.Bitrate, "bit rate");
  SetCustomEdit(wb, 4, custom.FrameRate, "frame rate");
  static const char* const sides[] = {"top", "bottom", "left", "right"};
  if (custom.Crop) {
    wb.OnCropCheckBoxClicked(true);
    for (int i = 0; i < 4; ++i)
      SetCustomEdit(wb, 5 + i, custom.CropValues[size_t(i)], std::string("crop ") + sides[i]);
  }
  if (custom.Pad) {
    wb.OnPadCheckBoxClicked(true);
    for (int i = 0; i < 4; ++i)
      SetCustomEdit(wb, 9 + i, custom.PadValues[size_t(i)], std::string("pad ") + sides[i]);
  }
  if (custom.Quality) {
    // The window leaves the quality edit disabled for the bit-rate types.
    if (!wb.customQualityEdit.Enabled)
      throw EBadArgument("--custom: " + ShortName(Tr(wb.customTypeBox.Text())) +
                         " is set by its bit rate and takes no quality=");
    SetCustomEdit(wb, 13, custom.QualityValue, "quality");
    // The page's own range check, asked now so a bad value is a bad argument like the others.
    if (const std::string refusal = wb.CustomQualityRefusal(); !refusal.empty())
      throw EBadArgument("--custom: " + refusal);
  }
}

// True when a size label ("视频像素：176X144", in any language) names a picture.
bool LabelShowsPicture(const std::string& caption) {
  const size_t before = caption.find_last_not_of("0123456789X");
  const std::string size = before == std::string::npos ? caption : caption.substr(before + 1);
  const size_t x = size.find('X');
  return x != std::string::npos && std::atoi(size.c_str()) > 0 && std::atoi(size.c_str() + x + 1) > 0;
}

void AnalyseSample(TWorkbench& wb, TCliView& view, TCliConsole& console, const std::string& sample) {
  std::error_code error;
  if (!fs::is_regular_file(sample, error)) throw EBadArgument("--like: " + sample + " is not a file");
  SelectPage(wb, spExisting);
  const size_t errors = console.Count(mkError);
  view.DialogAnswer = fs::absolute(sample).string();
  wb.OnAnalyseClicked();
  view.DialogAnswer.clear();
  if (console.Count(mkError) > errors) throw EBadArgument("--like: " + sample + " cannot be analysed");
  // The size label shows what the analysis found.
  if (!LabelShowsPicture(wb.frameSizeLabel.Caption))
    throw EBadArgument("--like: " + sample + " has no video the analysis can read");
}

// Selects the preset page's type and preset as a user would.
void ChoosePreset(TWorkbench& wb, const std::string& type, const std::string& preset) {
  SelectPage(wb, spPreset);
  wb.SelectFileType(Resolve(wb.fileTypeBox, "file type", type));
  wb.SelectPreset(Resolve(wb.presetBox, "preset of " + ShortName(Tr(wb.fileTypeBox.Text())), preset));
}

// Removes a preset of the user's own as the preset page's button does (the console answers its
// question yes).
int RemoveUserPreset(TWorkbench& wb, TCliConsole& console, const TCliArguments& args) {
  ChoosePreset(wb, args.First, args.Second);
  if (!wb.UserPresetSelected())
    throw EBadArgument("--remove-preset: \"" + Tr(wb.presetBox.Text()) +
                       "\" comes with the program; only presets of your own can be removed");
  const size_t errors = console.Count(mkError);
  wb.OnRemovePresetClicked();
  return console.Count(mkError) > errors ? ExitFailed : ExitFinished;
}

// Chooses the output's settings page and its values as a user would.
void ChooseSettings(TWorkbench& wb, TCliView& view, TCliConsole& console, const TCliArguments& args) {
  switch (args.Choice) {
    case scPreset:
      ChoosePreset(wb, args.First, args.Second);
      RefuseDisabled(wb.presetBox);
      break;
    case scDevice:
      SelectPage(wb, spDevice);
      wb.SelectBrand(Resolve(wb.brandBox, "brand", args.First));
      wb.SelectModel(Resolve(wb.modelBox, "model of " + Tr(wb.brandBox.Text()), args.Second));
      RefuseDisabled(wb.modelBox);
      break;
    case scLike:
      AnalyseSample(wb, view, console, args.Sample);
      break;
    case scCustom:
      ChooseCustom(wb, args.Custom);
      break;
    case scNone:
      break;
  }
}

// Adds the files one by one as the open dialog would; false when one could not be added (the
// workbench names it with its reason).
bool AddSources(TWorkbench& wb, TCliConsole& console, const std::vector<std::string>& files) {
  bool allAdded = true;
  for (const std::string& file : files) {
    const std::string path = fs::absolute(file).lexically_normal().string();
    const size_t rows = wb.sourceList.Rows.size();
    const size_t warnings = console.Count(mkWarning);
    wb.AddFiles({path});
    if (wb.sourceList.Rows.size() > rows) continue;
    std::error_code error;
    if (console.Count(mkWarning) > warnings) {
      allAdded = false;  // the workbench said why
    } else if (fs::is_directory(path, error)) {
      console.Error("error: " + file + " holds no video file");
      allAdded = false;
    } else {
      console.Error("warning: " + file + " is in the list already");
    }
  }
  return allAdded;
}

// The clip through the preview marks of the file the preview holds (the last one added).
void MarkClip(TWorkbench& wb, TCliConsole& console, double startSeconds, double endSeconds) {
  const TTrackBarState& track = wb.previewTrackBar;
  if (!track.SliderVisible || track.Max <= 0)
    throw EBadArgument("--clip: the preview has no time line to mark (a still picture?)");
  auto position = [&](double seconds) {
    const double steps = std::min(seconds * 1e6 / double(wb.previewTimeScale), double(track.Max));
    return int(std::lround(steps));
  };
  const int start = position(startSeconds), end = position(endSeconds);
  if (double(end) * double(wb.previewTimeScale) < endSeconds * 1e6 - double(wb.previewTimeScale))
    console.Error("warning: --clip: END lies past the end of the file; the clip ends with the file");
  if (start >= track.Max) throw EBadArgument("--clip: START lies at or past the end of the file");
  if (start >= end)
    throw EBadArgument("--clip: START and END fall on one step of the preview (" +
                       FormatPosition(wb.previewTimeScale) + " s)");
  wb.OnPreviewTrackBarChanged(start);
  wb.OnMarkStartClicked();
  wb.OnPreviewTrackBarChanged(end);
  wb.OnMarkEndClicked();
  if (!wb.clipCheckBox.Enabled) throw EBadArgument("--clip: the marks give no clip");
  wb.OnClipCheckBoxClicked(true);
}

// One list of each catalogue row, with the table's values.
void PrintCatalogue(TWorkbench& wb, TCliConsole& console) {
  console.Print("page\tpositions\tname\tsize\tbitrate\tfps\tcodec\text");
  auto row = [&](const char* page, int pageIndex, int first, int second, const std::string& name) {
    wb.JobExt.clear();
    wb.JobFrameSize.clear();
    wb.JobVideoCodec.clear();
    wb.JobVideoBitrate = 0;
    wb.JobFrameRate = 0;
    wb.FillPresetParams(pageIndex, first, second);
    std::string line =
        std::string(page) + "\t" + std::to_string(first) + "/" + std::to_string(second) + "\t" + name;
    if (wb.JobExt.empty() && wb.JobFrameSize.empty())
      line += "\t-\t-\t-\t-\t-";
    else
      line += "\t" + wb.JobFrameSize + "\t" + std::to_string(wb.JobVideoBitrate) + "\t" +
              std::to_string(wb.JobFrameRate) + "\t" + wb.JobVideoCodec + "\t" + wb.JobExt;
    console.Print(line);
  };
  // Programmatic selections: they rebuild the lists but store nothing in the settings.
  for (int type = 0; type < int(wb.fileTypeBox.Items.size()); ++type) {
    wb.fileTypeBox.ItemIndex = type;
    wb.OnFileTypeChanged();
    for (int preset = 0; preset < int(wb.presetBox.Items.size()); ++preset)
      row("preset", spPreset, type, preset,
          ShortName(Tr(wb.fileTypeBox.Items[size_t(type)].Caption)) + "/" +
              Tr(wb.presetBox.Items[size_t(preset)].Caption));
  }
  for (int brand = 0; brand < int(wb.brandBox.Items.size()); ++brand) {
    wb.brandBox.ItemIndex = brand;
    wb.OnBrandChanged();
    for (int model = 0; model < int(wb.modelBox.Items.size()); ++model)
      row("device", spDevice, brand, model,
          Tr(wb.brandBox.Items[size_t(brand)].Caption) + "/" + Tr(wb.modelBox.Items[size_t(model)].Caption));
  }
}

TProgressRow ProgressRow(const TWorkbench& wb, size_t index) {
  const TListRow& listRow = wb.sourceList.Rows[index];
  TProgressRow row;
  // The list shows the caption and the type; the console names the file as it was given.
  row.Name =
      index < wb.Sources.size() ? fs::path(wb.Sources[index].Path).filename().string() : listRow.Caption;
  if (listRow.SubItems.size() > 3) row.Progress = listRow.SubItems[3];
  row.Percent = listRow.Percent;
  if (index < wb.Sources.size()) {
    const TRowState state = wb.Sources[index].State;
    row.Ended = state == rsFinished || state == rsFailed || state == rsStopped;
  }
  return row;
}

std::vector<TProgressRow> ProgressRows(const TWorkbench& wb) {
  std::vector<TProgressRow> rows;
  for (size_t index = 0; index < wb.sourceList.Rows.size(); ++index) rows.push_back(ProgressRow(wb, index));
  return rows;
}

struct TBatchResult {
  bool Started = false;
  bool Interrupted = false;
  std::vector<std::string> Outputs;   // row by row
  std::vector<bool> Finished;         // row by row: its task finished
  std::vector<std::string> Failures;  // row by row: why its task failed, "" when it did not
  std::string Report;                 // the end-of-batch report
  TMessageKind ReportKind = mkInformation;
};

// Presses Start and waits for the batch, stopping it on Ctrl-C.
TBatchResult RunBatch(TWorkbench& wb, TCliView& view, TCliConsole& console, TMainThreadLoop& loop) {
  TBatchResult result;
  // Only the rows rendered anew are looked at, at most every tenth of a second: a long list costs
  // no more per event than a short one.
  std::vector<size_t> changed;
  std::vector<bool> marked;
  view.OnRowChanged = [&](int row) {
    if (row < 0) return;
    if (size_t(row) >= marked.size()) marked.resize(size_t(row) + 1, false);
    if (!marked[size_t(row)]) changed.push_back(size_t(row));
    marked[size_t(row)] = true;
  };
  // The message the batch ends with is its report; it is printed after the outputs.
  view.OnMessage = [&](const std::string& text, TMessageKind kind) {
    if (!(result.Started || view.BatchesEnded > 0) || wb.Running()) return false;
    result.Report = text;
    result.ReportKind = kind;
    return true;
  };
  InstallInterruptHandler();
  std::atomic<bool>& interrupted = InterruptFlag();
  wb.OnStartClicked();
  result.Started = wb.Running() || view.BatchesEnded > 0;
  // The tasks stay listed until the end of the batch is handled, which needs the loop pumped.
  // Row by row; a row refused before anything was written has none.
  for (size_t row = 0; result.Started && row < wb.Sources.size(); ++row)
    result.Outputs.push_back(wb.Sources[row].OutputPath);
  std::vector<TProgressRow> rows = ProgressRows(wb);
  auto show = [&](bool all) {
    std::sort(changed.begin(), changed.end());
    for (const size_t row : changed) {
      marked[row] = false;
      if (row < rows.size()) rows[row] = ProgressRow(wb, row);
    }
    if (all) {
      changed.resize(rows.size());
      for (size_t row = 0; row < rows.size(); ++row) changed[row] = row;
    }
    console.ShowProgress(rows, changed);
    changed.clear();
  };
  show(true);
  constexpr auto DrawInterval = std::chrono::milliseconds(100);
  auto nextDraw = std::chrono::steady_clock::now() + DrawInterval;
  while (wb.Running()) {
    loop.RunUntil(
        [&] {
          return !wb.Running() || (interrupted.load() && !result.Interrupted) ||
                 (!changed.empty() && std::chrono::steady_clock::now() >= nextDraw);
        },
        DrawInterval);
    if (interrupted && !result.Interrupted) {
      result.Interrupted = true;
      RestoreDefaultInterrupt();
      console.Error("interrupted: stopping the batch");
      wb.OnStopClicked();
    }
    if (!changed.empty() && std::chrono::steady_clock::now() >= nextDraw) {
      show(false);
      nextDraw = std::chrono::steady_clock::now() + DrawInterval;
    }
  }
  show(false);
  console.EndProgress();
  for (const TSourceRow& source : wb.Sources) {
    result.Finished.push_back(source.State == rsFinished);
    result.Failures.push_back(source.FailureText);
  }
  view.OnRowChanged = nullptr;
  view.OnMessage = nullptr;
  return result;
}

int Run(const TCliArguments& args) {
  TMainThreadLoop& loop = DefaultMainThreadLoop();
  TCliConsole console(isatty(STDERR_FILENO) == 1);
  TCliView view(loop, console);
  TWorkbenchEnvironment environment;
  environment.MainThread = &loop;
  TWorkbench wb(view, environment);
  wb.OnCreate();
  wb.OnShow();
  if (args.List) {
    PrintCatalogue(wb, console);
    return ExitFinished;
  }
  if (args.RemovePreset) return RemoveUserPreset(wb, console, args);
  if (!wb.Transcoder.LibrariesLoaded()) {
    console.Error("error: the media libraries could not be loaded: " + wb.Transcoder.LastError());
    return ExitFailed;
  }
  if (args.Parallel > 0) wb.ParallelTasks = args.Parallel;
  if (args.Threads >= 0) wb.CodecThreads = args.Threads;
  // Start creates the folder, as it does for one typed into the window.
  if (!args.OutputFolder.empty())
    wb.OnOutputFolderEdited(fs::absolute(args.OutputFolder).lexically_normal().string());
  ChooseSettings(wb, view, console, args);
  const bool allAdded = AddSources(wb, console, args.Files);
  if (wb.sourceList.Rows.empty()) {
    console.Error("error: nothing to convert");
    return ExitFailed;
  }
  if (args.Clip) MarkClip(wb, console, args.ClipStart, args.ClipEnd);
  if (!args.MaxSize.empty()) {
    // Set as the window's controls hold it, but not stored: the window's own choice stays.
    wb.sizeLimitCheckBox.Checked = true;
    wb.sizeLimitEdit.Text = args.MaxSize;
    wb.sizeLimitUnitBox.ItemIndex = -1;
    const std::vector<TProgressRow> rows = ProgressRows(wb);
    for (size_t row = 0; row < rows.size(); ++row)
      console.Error("size: " + rows[row].Name + ": " + wb.ExpectedSizeText(int(row)));
  }

  const TBatchResult batch = RunBatch(wb, view, console, loop);
  if (!batch.Started) return ExitFailed;
  for (size_t row = 0; row < batch.Outputs.size(); ++row) {
    // A row refused before anything was written is named by its source.
    const std::string& output = batch.Outputs[row].empty() ? wb.Sources[row].Path : batch.Outputs[row];
    std::error_code error;
    if (!batch.Outputs[row].empty() && fs::is_regular_file(output, error)) console.Print(output);
    if (row < batch.Failures.size() && !batch.Failures[row].empty())
      console.Error("failed: " + output + ": " + batch.Failures[row]);
    else if (row >= batch.Finished.size() || !batch.Finished[row])
      console.Error("not finished: " + output);
  }
  console.Message(batch.Report, batch.ReportKind);
  wb.OnDestroy();
  if (batch.Interrupted) return ExitInterrupted;
  const bool allFinished =
      !batch.Finished.empty() &&
      std::all_of(batch.Finished.begin(), batch.Finished.end(), [](bool f) { return f; });
  return allAdded && allFinished ? ExitFinished : ExitFailed;
}

}  // namespace
}  // namespace ok::cli

int main(int argc, char** argv) {
  using namespace ok::cli;
  ok::SetUpTranslation();
  TCliArguments args;
  std::string problem;
  const TParseResult parsed = ParseCliArguments(argc, argv, args, problem);
  if (parsed != prRun) return AnswerCommandLine(parsed, "ostrelkalvexa-cli", CliUsage(), problem);
  try {
    return Run(args);
  } catch (const EBadArgument& e) {
    std::fprintf(stderr, "ostrelkalvexa-cli: %s\n", e.what());
    return ExitUsage;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "error: %s\n", e.what());
    return ExitFailed;
  }
}
