// The source list: adding files (dialog, drag and drop, folders), removing, clearing, selecting.
// Rows and Sources stay index for index; every file keeps the path it was added by.

#include "app/workbench/source_list.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "app/workbench/workbench.h"
#include "app/workbench/workbench_texts.h"
#include "engine/options/value_parsing.h"
#include "media/ff_functions.h"
#include "media/media_info.h"
#include "media/video_stream.h"
#include "platform/file_utils.h"
#include "platform/program_folder.h"
#include "platform/text_utils.h"

namespace ok {

namespace {

namespace fs = std::filesystem;

std::string UpperAscii(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
  return text;
}

// The path made absolute against the current folder, spelt as given otherwise.
std::string AbsolutePath(const std::string& path) {
  std::error_code ec;
  fs::path absolute = fs::absolute(fs::path(path), ec);
  if (ec) return path;
  return absolute.lexically_normal().string();
}

// Why `path` cannot be a source, "" when it can: it must be a readable regular file or block
// device (a named pipe would block the probe for ever).
std::string SourceRefusal(const std::string& path) {
  auto systemError = [](int error) -> std::string {
    if (error == ENOENT || error == ENOTDIR) return NoSuchFileText;
    if (error == EACCES || error == EPERM) return NoReadPermissionText;
    return CannotReadText(std::strerror(error));
  };
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return systemError(errno);
  if (!S_ISREG(st.st_mode) && !S_ISBLK(st.st_mode)) return NotRegularFileText;
  if (::access(path.c_str(), R_OK) != 0) return systemError(errno);
  return "";
}

// Why the probe refuses `path`, "" when it takes it as a source: it must open and hold video.
std::string ProbeRefusal(TAVProbe& probe, const std::string& path) {
  std::string reason;
  try {
    if (!probe.LoadFile(path)) {
      reason = probe.ErrorMessage();
      // The probe's message may name the file again.
      if (reason.rfind(path + ": ", 0) == 0) reason.erase(0, path.size() + 2);
      return UnrecognisedFileText(reason);
    }
  } catch (const std::exception& e) {
    return UnrecognisedFileText(e.what());
  }
  return probe.VideoStreamCount() > 0 ? std::string() : std::string(NoVideoStreamText);
}

// Who a file is: its path with links and ".." resolved, and its device and inode (hard links,
// bind mounts). Names differing only in letter case are different files here.
void IdentifyFile(const std::string& path, std::string& resolved, uint64_t& device, uint64_t& inode) {
  std::error_code ec;
  const fs::path canonical = fs::weakly_canonical(path, ec);
  resolved = ec ? std::string() : canonical.string();
  struct stat st {};
  const bool known = ::stat(path.c_str(), &st) == 0;
  device = known ? uint64_t(st.st_dev) : 0;
  inode = known ? uint64_t(st.st_ino) : 0;
}

// The row holds the file the identity names: equal resolved paths, or the same device and inode
// still (a freed inode may have gone to another file since the row was added).
bool SameFile(const TSourceRow& row, const std::string& resolved, uint64_t device, uint64_t inode) {
  if (!resolved.empty() && row.ResolvedPath == resolved) return true;
  if (inode == 0 || row.Inode != inode || row.Device != device) return false;
  struct stat st {};
  return ::stat(row.Path.c_str(), &st) == 0 && uint64_t(st.st_dev) == device && uint64_t(st.st_ino) == inode;
}

// A folder's video files in name order; any other path as it is.
std::vector<std::string> ExpandFolders(const std::vector<std::string>& paths) {
  std::vector<std::string> files;
  for (const std::string& path : paths) {
    if (!DirectoryExists(path)) {
      files.push_back(path);
      continue;
    }
    std::vector<std::string> inside;
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(path, ec)) {
      const std::string name = entry.path().string();
      if (IsVideoFileName(name) && !DirectoryExists(name)) inside.push_back(name);
    }
    std::sort(inside.begin(), inside.end(), FileNameLess);
    files.insert(files.end(), inside.begin(), inside.end());
  }
  return files;
}

}  // namespace

const std::vector<std::string>& VideoFileExtensions() {
  static const std::vector<std::string> extensions = [] {
    std::vector<std::string> list;
    // The first entry's patterns: "Video Files|*.AVI;...;*.3G2|...".
    std::string patterns = VideoFileFilter;
    patterns = patterns.substr(patterns.find('|') + 1);
    patterns = patterns.substr(0, patterns.find('|'));
    size_t start = 0;
    while (start <= patterns.size()) {
      size_t end = patterns.find(';', start);
      if (end == std::string::npos) end = patterns.size();
      list.push_back(patterns.substr(start + 1, end - start - 1));  // "*.AVI" -> ".AVI"
      start = end + 1;
    }
    return list;
  }();
  return extensions;
}

bool IsVideoFileName(const std::string& path) {
  const std::string ext = UpperAscii(ExtractFileExt(path));
  const auto& known = VideoFileExtensions();
  return !ext.empty() && std::find(known.begin(), known.end(), ext) != known.end();
}

std::string FormatDuration(int64_t ms) {
  if (ms < 0) ms = 0;
  const int64_t seconds = ms / 1000;
  char text[16];
  std::snprintf(text, sizeof text, " %02d:%02d:%02d", int(seconds / 3600 % 24), int(seconds / 60 % 60),
                int(seconds % 60));
  return text;
}

std::vector<std::string> TWorkbench::SourcePaths() const {
  std::vector<std::string> paths;
  for (const TSourceRow& source : Sources) paths.push_back(source.Path);
  return paths;
}

bool TWorkbench::EnsureLibraries() {
  if (Transcoder.LibrariesLoaded()) return true;
  if (Transcoder.LoadLibraries(ProgramFolder() + "LibAV")) return true;
  view_.ShowMessage(CannotLoadLibrariesText(Transcoder.LastError()), mkError);
  return false;
}

bool TWorkbench::LoadIntoPreview(int row, std::string& error) {
  TAVProbe& probe = Transcoder.Probe();
  bool loaded = false;
  try {
    loaded = probe.LoadFile(Sources[size_t(row)].Path);
    if (!loaded) error = probe.ErrorMessage();
  } catch (const std::exception& e) {
    error = e.what();
  }
  previewRow_ = row;
  OpenPreview(probe);
  ShowRowMarks(row);
  return loaded;
}

void TWorkbench::SelectAndPreview(int row) {
  sourceList.SelectedIndex = row >= 0 && row < int(Sources.size()) ? row : -1;
  view_.Changed(wcList);
  if (sourceList.SelectedIndex < 0) {
    EmptyPreview();
    return;
  }
  std::string error;
  LoadIntoPreview(row, error);  // a file gone since it was added simply shows no frame
}

void TWorkbench::RenderRow(int row) {
  const TSourceRow& source = Sources[size_t(row)];
  TListRow& item = sourceList.Rows[size_t(row)];
  const std::string name = ExtractFileName(source.Path);
  const std::string ext = ExtractFileExt(name);
  item.Caption = name.substr(0, name.size() - ext.size());
  std::string progress;
  item.Percent = -1;
  switch (source.State) {
    case rsWaiting:
      if (!running_) progress = ExpectedSizeText(row);
      break;
    case rsRunning:
      item.Percent = source.Progress;
      if (source.Progress >= 0) progress = std::to_string(source.Progress) + "%";
      break;
    case rsFinished:
      item.Percent = 100;
      progress = "100%";
      break;
    case rsFailed:
      progress = FailedProgress;
      break;
    case rsStopped:
      progress = StoppedProgress;
      break;
  }
  const bool clipped = ClipActive(row);
  item.SubItems = {UpperAscii(ext),
                   std::to_string(source.DisplayWidth) + " X " + std::to_string(source.DisplayHeight),
                   FormatDuration(clipped ? GetClipDurationMs(row) : source.DurationMs), progress};
  item.Hint.clear();
  if (clipped) {
    const int start = GetClipStartMs(row);
    item.Hint = ClipHintText(FormatPosition(int64_t(start) * 1000),
                             FormatPosition((int64_t(start) + GetClipDurationMs(row)) * 1000));
  }
  if (source.State == rsFailed) item.Hint += (item.Hint.empty() ? "" : "\n") + source.FailureText;
  view_.RowChanged(row);
}

void TWorkbench::OnAddFilesClicked() {
  if (running_ || !EnsureLibraries()) return;
  const std::vector<std::string> chosen = view_.OpenFileDialog(VideoFileFilter, true);
  if (chosen.empty()) return;
  AddFiles(chosen);
}

namespace {

// The streams of an opened file and what quality-based profiles ask of its main video and first
// audio.
void ReadStreamTraits(const AVFormatContext* context, TSourceRow& source) {
  if (!context) return;
  const int video = MainVideoStream(context);
  bool audioSeen = false;
  for (unsigned i = 0; i < context->nb_streams; ++i) {
    const AVStream* stream = context->streams[i];
    const AVCodecParameters* par = stream->codecpar;
    source.Streams.push_back({int(par->codec_type), int(par->codec_id)});
    if (par->codec_type == AVMEDIA_TYPE_AUDIO && !audioSeen) {
      audioSeen = true;
      source.AudioChannels = par->ch_layout.nb_channels;
    }
    if (int(i) != video) continue;
    const AVRational rate = stream->avg_frame_rate.num > 0 ? stream->avg_frame_rate : stream->r_frame_rate;
    if (rate.num > 0 && rate.den > 0) {
      source.FrameRateNum = rate.num;
      source.FrameRateDen = rate.den;
    }
    if (const AVPixFmtDescriptor* d = FF.av_pix_fmt_desc_get(AVPixelFormat(par->format)))
      source.BitDepth = d->comp[0].depth;
    source.Interlaced = par->field_order != AV_FIELD_UNKNOWN && par->field_order != AV_FIELD_PROGRESSIVE;
  }
}

}  // namespace

void TWorkbench::AddFiles(const std::vector<std::string>& paths) {
  if (running_ || paths.empty() || !EnsureLibraries()) return;
  std::vector<std::string> refusals;
  // The preview's probe keeps the previewed file while the others are looked at.
  TAVProbe probe;
  const size_t before = Sources.size();
  for (const std::string& given : ExpandFolders(paths)) {
    const std::string path = AbsolutePath(TrimText(given));
    std::string resolved;
    uint64_t device = 0, inode = 0;
    IdentifyFile(path, resolved, device, inode);
    if (std::any_of(Sources.begin(), Sources.end(),
                    [&](const TSourceRow& added) { return SameFile(added, resolved, device, inode); }))
      continue;
    std::string reason = SourceRefusal(path);
    if (reason.empty()) reason = ProbeRefusal(probe, path);
    if (!reason.empty()) {
      refusals.push_back(path + ": " + reason);
      continue;
    }
    TSourceRow source;
    source.Path = path;
    source.ResolvedPath = resolved;
    source.Device = device;
    source.Inode = inode;
    TVideoGeometry geometry;
    if (probe.GetVideoGeometry(geometry)) {
      source.Width = geometry.Width;
      source.Height = geometry.Height;
      source.DisplayWidth = geometry.DisplayWidth;
      source.DisplayHeight = geometry.DisplayHeight;
      source.Rotation = geometry.Rotation;
    }
    ReadStreamTraits(probe.Context(), source);
    source.DurationMs = TMediaInfoDll(path).GetDuration();
    Sources.push_back(std::move(source));
    sourceList.Rows.emplace_back();
    RenderRow(int(Sources.size()) - 1);
    sourceList.ReadOnly = true;
    view_.Changed(wcList);
    view_.ProcessMessages();
  }
  probe.CloseFile();
  view_.ProcessMessages();
  if (!sourceList.Rows.empty()) {
    addPanel.Visible = false;
    addButton.Visible = removeButton.Visible = clearButton.Visible = true;
  }
  // The last file added is selected and previewed.
  if (Sources.size() > before) SelectAndPreview(int(Sources.size()) - 1);
  view_.Changed(wcList);
  if (!refusals.empty()) {
    std::string text = NotAddedText;
    for (const std::string& refusal : refusals) text += "\n" + refusal;
    view_.ShowMessage(text, mkWarning);
  }
}

void TWorkbench::OnRemoveClicked() {
  if (running_) return;
  const int row = sourceList.SelectedIndex;
  if (row < 0 || row >= int(sourceList.Rows.size())) {
    view_.ShowMessage(SelectFileToRemoveText, mkInformation);
    return;
  }
  Sources.erase(Sources.begin() + row);
  sourceList.Rows.erase(sourceList.Rows.begin() + row);
  Transcoder.ClearTasks();
  ShowAddPanelWhenEmpty();
  // The row that took its place, else the one before it.
  SelectAndPreview(std::min(row, int(Sources.size()) - 1));
}

void TWorkbench::OnClearClicked() {
  if (running_) return;
  sourceList.Rows.clear();
  Sources.clear();
  Transcoder.ClearTasks();
  ShowAddPanelWhenEmpty();
  SelectAndPreview(-1);
}

void TWorkbench::ShowAddPanelWhenEmpty() {
  if (!Sources.empty()) return;
  addPanel.Visible = true;
  addButton.Visible = removeButton.Visible = clearButton.Visible = false;
}

void TWorkbench::OnSourceSelected(int row) {
  if (row < 0 || row >= int(Sources.size())) {
    sourceList.SelectedIndex = -1;
    return;
  }
  sourceList.SelectedIndex = row;
  if (row != previewRow_) SelectAndPreview(row);
}

}  // namespace ok
