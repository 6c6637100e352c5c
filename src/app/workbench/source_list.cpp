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
#include "engine/value_parsing.h"
#include "media/media_info.h"
#include "platform/file_utils.h"
#include "platform/program_folder.h"

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
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return errno == ENOENT ? "文件不存在" : std::strerror(errno);
  if (!S_ISREG(st.st_mode) && !S_ISBLK(st.st_mode)) return "不是普通文件";
  if (::access(path.c_str(), R_OK) != 0) return std::strerror(errno);
  return "";
}

// The same file: equal after resolving links, or the same device and inode (hard links, bind
// mounts). Names differing only in letter case are different files here.
bool SameFile(const std::string& a, const std::string& b) {
  std::error_code ec;
  const fs::path ca = fs::weakly_canonical(a, ec);
  if (!ec) {
    const fs::path cb = fs::weakly_canonical(b, ec);
    if (!ec && ca == cb) return true;
  }
  struct stat sa {
  }, sb{};
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
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
    std::string patterns = VideoFileFilter;
    patterns = patterns.substr(patterns.find('|') + 1);
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
  if (Transcoder1.LibrariesLoaded()) return true;
  if (Transcoder1.LoadLibraries(ProgramFolder() + "LibAV")) return true;
  view_.ShowMessage(Transcoder1.LastError(), mkError);
  return false;
}

bool TWorkbench::LoadIntoPreview(const std::string& path, std::string& error) {
  TAVProbe& probe = Transcoder1.Probe();
  bool loaded = false;
  try {
    loaded = probe.LoadFile(path);
    if (!loaded) error = probe.ErrorMessage();
  } catch (const std::exception& e) {
    error = path + ": " + e.what();
  }
  previewFile_ = loaded ? path : "";
  OpenPreview(probe);
  return loaded;
}

void TWorkbench::sSpeedButton7Click() {
  if (running_ || !EnsureLibraries()) return;
  const std::vector<std::string> chosen = view_.OpenFileDialog(VideoFileFilter, true);
  if (chosen.empty()) return;
  AddFiles(chosen);
}

void TWorkbench::AddFiles(const std::vector<std::string>& paths) {
  if (running_ || paths.empty() || !EnsureLibraries()) return;
  std::vector<std::string> failures;
  bool previewLost = false;
  for (const std::string& given : ExpandFolders(paths)) {
    const std::string path = AbsolutePath(TrimText(given));
    if (std::any_of(Sources.begin(), Sources.end(),
                    [&](const TSourceRow& added) { return SameFile(added.Path, path); }))
      continue;
    std::string error = SourceRefusal(path);
    if (!error.empty()) {
      failures.push_back(path + ": " + error);
      continue;
    }
    if (!LoadIntoPreview(path, error)) {
      failures.push_back(error);
      previewLost = !Sources.empty();
      continue;
    }
    previewLost = false;
    const TMediaInfoDll info(path);
    TListRow row;
    const std::string name = ExtractFileName(path);
    const std::string ext = ExtractFileExt(name);
    row.Caption = name.substr(0, name.size() - ext.size());
    row.SubItems = {UpperAscii(ext),
                    std::to_string(info.GetWidth()) + " X " + std::to_string(info.GetHeight()),
                    FormatDuration(info.GetDuration()), ""};
    sListView1.Rows.push_back(std::move(row));
    sListView1.ReadOnly = true;
    TSourceRow source;
    source.Path = path;
    TVideoGeometry geometry;
    if (Transcoder1.Probe().GetVideoGeometry(geometry)) {
      source.Width = geometry.Width;
      source.Height = geometry.Height;
      source.DisplayWidth = geometry.DisplayWidth;
      source.DisplayHeight = geometry.DisplayHeight;
      source.Rotation = geometry.Rotation;
    }
    source.DurationMs = info.GetDuration();
    Sources.push_back(std::move(source));
    view_.Changed(wcList);
    view_.ProcessMessages();
  }
  // A file that failed after others were added took the preview's file away: show the last one.
  if (previewLost) {
    std::string error;
    LoadIntoPreview(Sources.back().Path, error);
  }
  view_.ProcessMessages();
  if (!sListView1.Rows.empty()) {
    sPanel1.Visible = false;
    sSpeedButton1.Visible = sSpeedButton2.Visible = sSpeedButton3.Visible = true;
  }
  view_.Changed(wcList);
  if (!failures.empty()) {
    std::string text = "以下文件无法打开：";
    for (const std::string& failure : failures) text += "\n" + failure;
    view_.ShowMessage(text, mkWarning);
  }
}

void TWorkbench::sSpeedButton2Click() {
  if (running_) return;
  const int row = sListView1.SelectedIndex;
  if (row < 0 || row >= int(sListView1.Rows.size())) {
    view_.ShowMessage("请先选择一个视频文件进行删除！", mkInformation);
    return;
  }
  Sources.erase(Sources.begin() + row);
  sListView1.Rows.erase(sListView1.Rows.begin() + row);
  sListView1.SelectedIndex = -1;
  ClearPreviewImage();
  Transcoder1.ClearTasks();
  view_.Changed(wcList);
}

void TWorkbench::sSpeedButton3Click() {
  if (running_) return;
  sListView1.Rows.clear();
  sListView1.SelectedIndex = -1;
  Sources.clear();
  ClearPreviewImage();
  Transcoder1.ClearTasks();
  view_.Changed(wcList);
}

void TWorkbench::sListView1Change(int row) {
  const int previous = sListView1.SelectedIndex;
  sListView1.SelectedIndex = row >= 0 && row < int(sListView1.Rows.size()) ? row : -1;
  if (sListView1.Rows.size() < 2 || sListView1.SelectedIndex < 0) return;
  const std::string& path = Sources[size_t(row)].Path;
  if (row == previous && path == previewFile_) return;
  std::string error;
  LoadIntoPreview(path, error);  // a file gone since it was added simply shows no frame
}

}  // namespace ok
