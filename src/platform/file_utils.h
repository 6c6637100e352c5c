#pragma once
// File and folder helpers over POSIX. Paths use "/"; names are compared without regard to ASCII
// case where the upper layers need it, but a path is always opened as it is spelt.

#include <cstdint>
#include <string>
#include <vector>

namespace ok {

// A regular file (a symbolic link counts by its target); folders do not count.
bool FileExists(const std::string& path);
bool DirectoryExists(const std::string& path);
// Creates the folder and any missing parents; true when the folder exists afterwards.
bool ForceDirectories(const std::string& path);

// Everything up to and including the last "/", or "" when there is none.
std::string ExtractFilePath(const std::string& path);
// Everything after the last "/".
std::string ExtractFileName(const std::string& path);
// From the last "." of the name part on, the dot included; "" when the name has none. Leading
// dots mark a hidden name, not an extension: ".bashrc" has no extension, ".bashrc.bak" has ".bak".
std::string ExtractFileExt(const std::string& path);
// Replaces the extension (as ExtractFileExt sees it) with `ext`, or appends `ext` when there is none.
std::string ChangeFileExt(const std::string& path, const std::string& ext);
// Appends "/" when missing; "" stays "" (an empty folder means the working folder, not the root).
std::string IncludeTrailingPathDelimiter(const std::string& path);
// Removes trailing "/" characters; the root "/" stays as it is.
std::string ExcludeTrailingPathDelimiter(const std::string& path);

// Equal when the two differ at most in ASCII letter case.
bool SameFileNameIgnoringCase(const std::string& a, const std::string& b);
// Orders names as a case-insensitive file system lists them: ASCII case folded, ties by bytes.
bool FileNameLess(const std::string& a, const std::string& b);

// Removes a file (never a folder); true when it was removed.
bool DeleteFile(const std::string& path);
// Size in bytes of a regular file, -1 when `path` is not one.
int64_t FileSize64(const std::string& path);
// Creates an empty file at `path` only when nothing is there: two processes can never both have it.
// False with `error` set to the errno value otherwise (EEXIST when the name is taken).
bool CreateFileExclusive(const std::string& path, int* error = nullptr);
// The longest file name (bytes of one path component) the file system of `folder` takes.
size_t MaxFileNameBytes(const std::string& folder);
// True while a process with this id exists (one of another user's too): what it holds is in use.
bool ProcessExists(int pid);
// `text` cut to at most `bytes` bytes without splitting a UTF-8 character.
std::string CutUtf8(const std::string& text, size_t bytes);

// Every file below `folder` whose extension equals `extension` without regard to ASCII case
// (".ini"; a missing leading dot is supplied). Hidden entries are included. For every folder, the
// files of its sub-folders come first (depth first, sub-folders in name order), then its own
// files in name order. Blanks around `folder` are ignored; a missing folder gives an empty list.
// Folder links are followed once; a link back into the walk is not entered again.
std::vector<std::string> ListFilesRecursive(const std::string& folder, const std::string& extension);
// Names (not paths) of the immediate sub-folders of `folder`, in name order.
std::vector<std::string> ListSubFolders(const std::string& folder);

// Whole content of a file. False when it cannot be read; `error` then holds the errno value
// (ENOENT for a missing file).
bool ReadFileBytes(const std::string& path, std::string& content, int* error = nullptr);
// Replaces the file's content atomically: the data goes to a temporary file in the same folder,
// which is flushed and renamed over `path`, so a crash leaves either the old or the new content.
// An existing file keeps its permission bits (and owner, where the process may set it); a link is
// replaced at its target. A file the process may not write stays as it is, and the folder is not
// created. False on any failure, the old file untouched.
bool WriteFileAtomic(const std::string& path, const std::string& content);

// A new folder only this user may enter, under $TMPDIR (else /tmp), named `prefix` + six random
// characters; "" when it cannot be made.
std::string CreatePrivateTempFolder(const std::string& prefix);
// Removes a folder with everything in it (links are removed, never followed); true when it is gone.
bool RemoveFolderTree(const std::string& path);

}  // namespace ok
