#include "platform/file_utils.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <set>
#include <utility>

#include "platform/text_utils.h"

namespace ok {

namespace {

char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// Position of the extension's dot in `path`, or npos.
size_t ExtensionDot(const std::string& path) {
  const size_t slash = path.rfind('/');
  const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  const size_t firstNonDot = path.find_first_not_of('.', nameStart);
  if (firstNonDot == std::string::npos) return std::string::npos;  // "", ".", ".."
  const size_t dot = path.rfind('.');
  return dot != std::string::npos && dot > firstNonDot ? dot : std::string::npos;
}

struct DirCloser {
  void operator()(DIR* d) const { ::closedir(d); }
};
using DirPtr = std::unique_ptr<DIR, DirCloser>;

class TFd {
 public:
  explicit TFd(int fd = -1) : fd_(fd) {}
  ~TFd() { Close(); }
  TFd(const TFd&) = delete;
  TFd& operator=(const TFd&) = delete;
  int Get() const { return fd_; }
  bool IsOpen() const { return fd_ >= 0; }
  void Reset(int fd) {
    Close();
    fd_ = fd;
  }
  // Closes now and reports the result: a delayed write error may only show up here.
  bool Close() {
    if (fd_ < 0) return true;
    const int r = ::close(fd_);
    fd_ = -1;
    return r == 0;
  }

 private:
  int fd_;
};

struct TEntry {
  std::string name;
  bool isDir = false;
  bool isFile = false;
};

// The entries of a folder other than "." and "..", in name order; a link counts as what it points to.
std::vector<TEntry> SortedEntries(const std::string& folder) {
  std::vector<TEntry> entries;
  DirPtr dir(::opendir(folder.c_str()));
  if (!dir) return entries;
  while (dirent* e = ::readdir(dir.get())) {
    const std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    TEntry entry{name};
    struct stat st;
    if (::stat((folder + name).c_str(), &st) == 0) {
      entry.isDir = S_ISDIR(st.st_mode);
      entry.isFile = S_ISREG(st.st_mode);
    }
    entries.push_back(std::move(entry));
  }
  std::sort(entries.begin(), entries.end(),
            [](const TEntry& a, const TEntry& b) { return FileNameLess(a.name, b.name); });
  return entries;
}

void CollectFiles(const std::string& folder, const std::string& ext, std::set<std::pair<dev_t, ino_t>>& seen,
                  std::vector<std::string>& out) {
  struct stat st;
  if (::stat(folder.c_str(), &st) != 0 || !seen.emplace(st.st_dev, st.st_ino).second) return;
  std::vector<std::string> own;
  for (const TEntry& e : SortedEntries(folder)) {
    if (e.isDir)
      CollectFiles(folder + e.name + "/", ext, seen, out);
    else if (e.isFile && SameFileNameIgnoringCase(ExtractFileExt(e.name), ext))
      own.push_back(folder + e.name);
  }
  out.insert(out.end(), own.begin(), own.end());
}

bool WriteAll(int fd, const std::string& data) {
  size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

std::atomic<unsigned> g_tempCounter{0};

}  // namespace

bool FileExists(const std::string& path) {
  struct stat st;
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
  struct stat st;
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool ForceDirectories(const std::string& path) {
  const std::string target = ExcludeTrailingPathDelimiter(path);
  if (target.empty()) return false;
  if (DirectoryExists(target)) return true;
  for (size_t pos = target.find('/', 1); pos != std::string::npos; pos = target.find('/', pos + 1)) {
    const std::string part = target.substr(0, pos);
    if (part.back() == '/' || DirectoryExists(part)) continue;
    if (::mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) return false;
  }
  if (::mkdir(target.c_str(), 0777) != 0 && errno != EEXIST) return false;
  return DirectoryExists(target);
}

std::string ExtractFilePath(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

std::string ExtractFileName(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ExtractFileExt(const std::string& path) {
  const size_t dot = ExtensionDot(path);
  return dot == std::string::npos ? "" : path.substr(dot);
}

std::string ChangeFileExt(const std::string& path, const std::string& ext) {
  const size_t dot = ExtensionDot(path);
  return (dot == std::string::npos ? path : path.substr(0, dot)) + ext;
}

std::string IncludeTrailingPathDelimiter(const std::string& path) {
  return path.empty() || path.back() == '/' ? path : path + "/";
}

std::string ExcludeTrailingPathDelimiter(const std::string& path) {
  const size_t last = path.find_last_not_of('/');
  if (last == std::string::npos) return path.empty() ? path : "/";
  return path.substr(0, last + 1);
}

bool SameFileNameIgnoringCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
  return true;
}

bool FileNameLess(const std::string& a, const std::string& b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const auto ca = static_cast<unsigned char>(AsciiUpper(a[i]));
    const auto cb = static_cast<unsigned char>(AsciiUpper(b[i]));
    if (ca != cb) return ca < cb;
  }
  if (a.size() != b.size()) return a.size() < b.size();
  return a < b;
}

bool DeleteFile(const std::string& path) {
  struct stat st;
  if (path.empty() || ::lstat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
  return ::unlink(path.c_str()) == 0;
}

int64_t FileSize64(const std::string& path) {
  struct stat st;
  if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  return static_cast<int64_t>(st.st_size);
}

bool CreateFileExclusive(const std::string& path, int* error) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) {
    if (error) *error = errno;
    return false;
  }
  ::close(fd);
  return true;
}

size_t MaxFileNameBytes(const std::string& folder) {
  const long max = ::pathconf(folder.empty() ? "." : folder.c_str(), _PC_NAME_MAX);
  return max > 0 ? size_t(max) : 255;
}

bool ProcessExists(int pid) { return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM); }

std::string CutUtf8(const std::string& text, size_t bytes) {
  if (text.size() <= bytes) return text;
  size_t end = bytes;
  // Back over continuation bytes (10xxxxxx) to the start of the character that does not fit.
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return text.substr(0, end);
}

std::vector<std::string> ListFilesRecursive(const std::string& folder, const std::string& extension) {
  std::vector<std::string> out;
  const std::string root = IncludeTrailingPathDelimiter(TrimBlanks(folder));
  if (!DirectoryExists(root)) return out;
  const std::string ext = extension.empty() || extension[0] == '.' ? extension : "." + extension;
  std::set<std::pair<dev_t, ino_t>> seen;
  CollectFiles(root, ext, seen, out);
  return out;
}

std::vector<std::string> ListSubFolders(const std::string& folder) {
  std::vector<std::string> out;
  const std::string root = IncludeTrailingPathDelimiter(TrimBlanks(folder));
  if (!DirectoryExists(root)) return out;
  for (const TEntry& e : SortedEntries(root))
    if (e.isDir) out.push_back(e.name);
  return out;
}

bool ReadFileBytes(const std::string& path, std::string& content, int* error) {
  content.clear();
  const auto fail = [&](int err) {
    if (error) *error = err;
    content.clear();
    return false;
  };
  TFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.IsOpen()) return fail(errno);
  struct stat st;
  if (::fstat(fd.Get(), &st) != 0) return fail(errno);
  if (S_ISDIR(st.st_mode)) return fail(EISDIR);
  char buffer[16384];
  for (;;) {
    const ssize_t n = ::read(fd.Get(), buffer, sizeof buffer);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      return fail(errno);
    }
    content.append(buffer, static_cast<size_t>(n));
  }
  if (error) *error = 0;
  return true;
}

bool WriteFileAtomic(const std::string& path, const std::string& content) {
  if (path.empty() || path.back() == '/') return false;
  std::string target = path;
  struct stat st;
  if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    // Renaming over the link would replace it with a plain file; write where it points instead.
    if (char* real = ::realpath(path.c_str(), nullptr)) {
      target = real;
      std::free(real);
    }
  }
  const bool existed = ::stat(target.c_str(), &st) == 0;
  if (existed && !S_ISREG(st.st_mode)) return false;
  // The rename would get past a read-only file; it stays read-only as it would for a plain write.
  if (existed && ::access(target.c_str(), W_OK) != 0) return false;

  const std::string folder = ExtractFilePath(target);
  const std::string name = ExtractFileName(target);
  std::string temp;
  TFd fd;
  for (int attempt = 0; attempt < 100 && !fd.IsOpen(); ++attempt) {
    temp = folder + "." + name + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(g_tempCounter++);
    // 0666 lets the umask decide a new file's permissions, as for any file the program creates.
    fd.Reset(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (!fd.IsOpen() && errno != EEXIST) return false;
  }
  if (!fd.IsOpen()) return false;

  bool ok = WriteAll(fd.Get(), content);
  if (ok && existed) {
    if (st.st_uid != ::geteuid() || st.st_gid != ::getegid()) {
      // Only a privileged process may give the file back to its owner; others keep their own.
      [[maybe_unused]] const int ignored = ::fchown(fd.Get(), st.st_uid, st.st_gid);
    }
    ok = ::fchmod(fd.Get(), st.st_mode & 07777) == 0;
  }
  ok = ok && ::fsync(fd.Get()) == 0;
  ok = fd.Close() && ok;
  ok = ok && ::rename(temp.c_str(), target.c_str()) == 0;
  if (!ok) {
    ::unlink(temp.c_str());
    return false;
  }
  // Make the rename itself durable; the data is already safe, so a failure here is not reported.
  TFd dir(::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.IsOpen()) {
    [[maybe_unused]] const int ignored = ::fsync(dir.Get());
  }
  return true;
}

std::string CreatePrivateTempFolder(const std::string& prefix) {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = IncludeTrailingPathDelimiter(tmp && *tmp ? tmp : "/tmp") + prefix + "XXXXXX";
  if (!::mkdtemp(pattern.data())) return "";  // mode 0700
  return pattern;
}

bool RemoveFolderTree(const std::string& path) {
  std::error_code error;
  std::filesystem::remove_all(path, error);
  return !error && !std::filesystem::exists(std::filesystem::symlink_status(path, error));
}

}  // namespace ok
