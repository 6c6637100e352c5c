#pragma once
// File names for the media libraries, the "unicode" protocol for names the 8-bit code page cannot
// express, the open-error texts, and two small utilities.

#include <cstdint>
#include <stdexcept>
#include <string>

struct AVFormatContext;
struct AVInputFormat;
struct AVIOContext;
struct AVDictionary;

namespace ok {

// A converted library name holds at most this many bytes.
constexpr size_t LibFileNameMax = 2047;

class EFileNameTooLong : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The message for a negative result of opening `fileName` (8-bit) in the libraries.
std::string OpenErrorText(const std::string& fileName, int code);

// True when `name` must reach the libraries in the "unicode:utf8:" form.
bool NeedsUnicodeName(const std::string& name);
// The library name for a program name: the code-page form, or "unicode:utf8:" + UTF-8.
// Throws EFileNameTooLong when the result exceeds LibFileNameMax bytes.
std::string EncodeLibFileName(const std::string& name);
bool IsUnicodeName(const std::string& libName);
std::string DecodeLibFileName(const std::string& libName);

// Makes the "unicode" protocol known to the openers below; true when this call registered it.
bool RegisterUnicodeProtocol();
bool UnicodeProtocolRegistered();

// The protocol as a custom byte stream over the file a "unicode:utf8:" name denotes.
// `flags` are AVIO_FLAG_READ, AVIO_FLAG_WRITE or AVIO_FLAG_READ_WRITE; write access creates or
// truncates the file. Returns 0 or AVERROR(ENOENT) when the file cannot be opened.
int UnicodeOpen(AVIOContext** pb, const std::string& libName, int flags);
// True when `pb` is a byte stream made by UnicodeOpen.
bool IsUnicodeIO(const AVIOContext* pb);
// Closes a byte stream made by UnicodeOpen and sets *pb to null.
void UnicodeClose(AVIOContext** pb);

// avformat_open_input for a library name in either form; on failure *ctx is null and nothing leaks.
int OpenInputContext(AVFormatContext** ctx, const std::string& libName, const AVInputFormat* format,
                     AVDictionary** options);
// avformat_close_input, also releasing the protocol's byte stream.
void CloseInputContext(AVFormatContext** ctx);
// avio_open2 for a library name in either form, for output files.
int OpenOutputIO(AVIOContext** pb, const std::string& libName, int flags);
void CloseOutputIO(AVIOContext** pb);
// Makes the muxer of `oc` open and close the further files it needs (a second pass over the output
// to move the MP4 index to the front, segments) as the two calls above do, so that names in the
// "unicode" form reach them too.
void OpenFurtherFilesByLibName(AVFormatContext* oc);

// The code of a local input that is neither a regular file nor a block device nor a folder (a named
// pipe, a character device, a socket): reading one may block for ever, so it is never opened.
constexpr int ErrorNotRegularFile =
    -int(unsigned('N') | unsigned('R') << 8 | unsigned('E') << 16 | unsigned('G') << 24);
// The file-system path a media name stands for ("file:" taken off), "" for another protocol's address.
std::string LocalPathOf(const std::string& name);
// 0 for an input name that may be opened (a regular file, a block device, a name that does not
// exist, a folder, a protocol's address), else ErrorNotRegularFile.
int CheckLocalInput(const std::string& fileName);

// The size of an existing file, -1 when `name` is not an existing regular file.
int64_t FileSizeOf(const std::string& name);

// Splits `text` at the first `separator`: head is the part before it; with `remove`, text keeps the
// part after it (or becomes empty when the separator does not occur).
void SplitFirst(std::string& text, const std::string& separator, bool remove, std::string& head);

}  // namespace ok
