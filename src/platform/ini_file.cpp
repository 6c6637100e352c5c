#include "platform/ini_file.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <mutex>
#include <optional>
#include <utility>

#include "platform/code_page.h"
#include "platform/file_utils.h"
#include "platform/text_utils.h"

namespace ok {

namespace {

const char kBom[] = "\xEF\xBB\xBF";

bool SameName(const std::string& a, const std::string& b) { return SameFileNameIgnoringCase(a, b); }

// One line of the file. The original bytes are kept so that lines a write does not touch are
// written back exactly as they were.
struct TLine {
  std::string text;  // decoded (UTF-8), without the line ending
  std::string raw;   // the bytes as read, without the line ending
  std::string eol;   // "\r\n", "\n" or "" (last line without ending)
  bool changed = false;

  // A section header's name, or nullopt.
  std::optional<std::string> SectionName() const {
    const std::string t = TrimBlanks(text);
    if (t.empty() || t[0] != '[') return std::nullopt;
    const size_t close = t.find(']');
    return TrimBlanks(t.substr(1, close == std::string::npos ? std::string::npos : close - 1));
  }
  // A key line's key (and value), or false for headers, comments, blank and other lines.
  bool KeyValue(std::string& key, std::string* value = nullptr) const {
    const std::string t = TrimBlanks(text);
    if (t.empty() || t[0] == ';' || t[0] == '[') return false;
    const size_t eq = t.find('=');
    if (eq == std::string::npos) return false;
    key = TrimBlanks(t.substr(0, eq));
    if (key.empty()) return false;
    if (value) *value = TrimBlanks(t.substr(eq + 1));
    return true;
  }
  bool IsKey(const std::string& name) const {
    std::string key;
    return KeyValue(key) && SameName(key, name);
  }
};

struct TDocument {
  TCodePage encoding = TCodePage::Utf8;
  bool bom = false;
  std::vector<TLine> lines;

  std::string NewLineEnding() const {
    for (const TLine& l : lines)
      if (!l.eol.empty()) return l.eol;
    return "\n";
  }

  // [begin, end) of the lines of a section's first occurrence (header excluded); begin is npos when
  // the section is absent.
  std::pair<size_t, size_t> FindSection(const std::string& section, size_t from = 0) const {
    size_t begin = std::string::npos;
    for (size_t i = from; i < lines.size(); ++i) {
      const auto name = lines[i].SectionName();
      if (!name) continue;
      if (begin != std::string::npos) return {begin, i};
      if (SameName(*name, section)) begin = i + 1;
    }
    return {begin, lines.size()};
  }

  std::optional<std::string> Value(const std::string& section, const std::string& key) const {
    const auto [begin, end] = FindSection(section);
    if (begin == std::string::npos) return std::nullopt;
    for (size_t i = begin; i < end; ++i) {
      std::string k, v;
      if (lines[i].KeyValue(k, &v) && SameName(k, key)) return v;
    }
    return std::nullopt;
  }

  void Insert(size_t pos, const std::string& text) {
    const std::string eol = NewLineEnding();
    // The line before gains an ending if it was the last one and had none.
    if (pos > 0 && lines[pos - 1].eol.empty()) lines[pos - 1].eol = eol;
    TLine line{text, "", eol, true};
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(pos), std::move(line));
  }

  // Encodes the document; false when `page` cannot express some changed text.
  bool Serialize(TCodePage page, std::string& out) const {
    out.clear();
    if (page == TCodePage::Utf8 && bom) out += kBom;
    for (const TLine& l : lines) {
      if (!l.changed && page == encoding) {
        out += l.raw;
      } else {
        bool lossless = true;
        out += Utf8ToPage(l.text, page, &lossless);
        if (!lossless) return false;
      }
      out += l.eol;
    }
    return true;
  }
};

TDocument Parse(const std::string& bytes) {
  TDocument doc;
  std::string body = bytes;
  if (body.compare(0, 3, kBom) == 0) {
    // An explicit mark decides the encoding; stray bad bytes then read as U+FFFD.
    doc.bom = true;
    body.erase(0, 3);
  } else if (!IsValidUtf8(body)) {
    doc.encoding = TCodePage::Cp936;
  }
  // Splitting before decoding is safe: no GBK trail byte is '\n' or '\r'.
  for (size_t pos = 0; pos < body.size();) {
    const size_t nl = body.find('\n', pos);
    TLine line;
    if (nl == std::string::npos) {
      line.raw = body.substr(pos);
      pos = body.size();
    } else {
      line.raw = body.substr(pos, nl - pos);
      line.eol = "\n";
      pos = nl + 1;
    }
    if (!line.raw.empty() && line.raw.back() == '\r') {
      line.raw.pop_back();
      line.eol = "\r" + line.eol;
    }
    line.text = PageToUtf8(line.raw, doc.encoding);
    doc.lines.push_back(std::move(line));
  }
  return doc;
}

// Reads the file; a missing or unreadable file is an empty document.
TDocument Load(const std::string& fileName) {
  std::string bytes;
  ReadFileBytes(fileName, bytes);
  return Parse(bytes);
}

// Read-modify-write cycles of this process do not overtake each other.
std::mutex& WriteMutex() {
  static std::mutex m;
  return m;
}

// Loads the file, lets `edit` change the document (it returns false to refuse, or sets `dirty`
// when something changed) and stores the result.
template <typename Edit>
bool Modify(const std::string& fileName, Edit edit) {
  std::lock_guard<std::mutex> lock(WriteMutex());
  std::string bytes;
  int error = 0;
  if (!ReadFileBytes(fileName, bytes, &error) && error != ENOENT) return false;  // never clobber
  TDocument doc = Parse(bytes);
  bool dirty = false;
  if (!edit(doc, dirty)) return false;
  if (!dirty) return true;
  std::string out;
  if (!doc.Serialize(doc.encoding, out)) {
    // GBK cannot hold the new text: keep the value and move the whole file to UTF-8.
    doc.bom = false;
    doc.Serialize(TCodePage::Utf8, out);
  }
  return WriteFileAtomic(fileName, out);
}

bool ValidSectionName(const std::string& s) {
  return !s.empty() && s.find_first_of("]\r\n") == std::string::npos;
}

bool ValidKeyName(const std::string& k) {
  return !k.empty() && k[0] != ';' && k[0] != '[' && k.find_first_of("=\r\n") == std::string::npos;
}

bool EnclosedInQuotes(const std::string& v) {
  return v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front();
}

}  // namespace

TIniFile::TIniFile(std::string fileName) : fileName_(std::move(fileName)) {}

std::string TIniFile::ReadString(const std::string& section, const std::string& key,
                                 const std::string& def) const {
  const auto value = Load(fileName_).Value(TrimBlanks(section), TrimBlanks(key));
  if (!value) return def;
  // The profile API drops one pair of enclosing quotes.
  return EnclosedInQuotes(*value) ? value->substr(1, value->size() - 2) : *value;
}

int TIniFile::ReadInteger(const std::string& section, const std::string& key, int def) const {
  std::string text = ReadString(section, key, "");
  if (text.size() > 1 && text[0] == '+' && text[1] != '-') text.erase(0, 1);
  int value = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  return text.empty() || ec != std::errc() || ptr != end ? def : value;
}

double TIniFile::ReadFloat(const std::string& section, const std::string& key, double def) const {
  std::string text = ReadString(section, key, "");
  if (text.size() > 1 && text[0] == '+' && text[1] != '-') text.erase(0, 1);
  double value = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value, std::chars_format::general);
  return text.empty() || ec != std::errc() || ptr != end || !std::isfinite(value) ? def : value;
}

bool TIniFile::WriteString(const std::string& section, const std::string& key, const std::string& value) {
  const std::string s = TrimBlanks(section), k = TrimBlanks(key);
  if (!ValidSectionName(s) || !ValidKeyName(k) || value.find_first_of("\r\n") != std::string::npos)
    return false;
  const bool quote = value != TrimBlanks(value) || EnclosedInQuotes(value);
  const std::string stored = quote ? "\"" + value + "\"" : value;
  return Modify(fileName_, [&](TDocument& doc, bool& dirty) {
    const auto [begin, end] = doc.FindSection(s);
    if (begin == std::string::npos) {
      const bool separate = !doc.lines.empty() && !TrimBlanks(doc.lines.back().text).empty();
      if (separate) doc.Insert(doc.lines.size(), "");
      doc.Insert(doc.lines.size(), "[" + s + "]");
      doc.Insert(doc.lines.size(), k + "=" + stored);
      dirty = true;
      return true;
    }
    size_t lastKey = begin - 1;  // the header when the section has no keys yet
    for (size_t i = begin; i < end; ++i) {
      std::string lineKey, lineValue;
      if (!doc.lines[i].KeyValue(lineKey, &lineValue)) continue;
      lastKey = i;
      if (!SameName(lineKey, k)) continue;
      if (lineValue == stored) return true;
      // Keep the key as the file spells it, with its indentation and spacing.
      TLine& line = doc.lines[i];
      const size_t valueStart = line.text.find_first_not_of(" \t", line.text.find('=') + 1);
      line.text =
          line.text.substr(0, valueStart == std::string::npos ? line.text.size() : valueStart) + stored;
      line.changed = true;
      dirty = true;
      return true;
    }
    doc.Insert(lastKey + 1, k + "=" + stored);
    dirty = true;
    return true;
  });
}

bool TIniFile::WriteInteger(const std::string& section, const std::string& key, int value) {
  return WriteString(section, key, std::to_string(value));
}

bool TIniFile::WriteFloat(const std::string& section, const std::string& key, double value) {
  char buffer[64];
  const auto [ptr, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  if (ec != std::errc() || !std::isfinite(value)) return false;
  return WriteString(section, key, std::string(buffer, ptr));
}

bool TIniFile::SectionExists(const std::string& section) const {
  return Load(fileName_).FindSection(TrimBlanks(section)).first != std::string::npos;
}

bool TIniFile::ValueExists(const std::string& section, const std::string& key) const {
  return Load(fileName_).Value(TrimBlanks(section), TrimBlanks(key)).has_value();
}

std::vector<std::string> TIniFile::ReadSections() const {
  std::vector<std::string> names;
  for (const TLine& line : Load(fileName_).lines) {
    const auto name = line.SectionName();
    if (!name) continue;
    bool known = false;
    for (const std::string& n : names) known = known || SameName(n, *name);
    if (!known) names.push_back(*name);
  }
  return names;
}

std::vector<std::string> TIniFile::ReadSection(const std::string& section) const {
  std::vector<std::string> keys;
  const TDocument doc = Load(fileName_);
  const auto [begin, end] = doc.FindSection(TrimBlanks(section));
  if (begin == std::string::npos) return keys;
  for (size_t i = begin; i < end; ++i) {
    std::string key;
    if (!doc.lines[i].KeyValue(key)) continue;
    bool known = false;
    for (const std::string& k : keys) known = known || SameName(k, key);
    if (!known) keys.push_back(key);
  }
  return keys;
}

bool TIniFile::EraseSection(const std::string& section) {
  const std::string s = TrimBlanks(section);
  return Modify(fileName_, [&](TDocument& doc, bool& dirty) {
    for (auto range = doc.FindSection(s); range.first != std::string::npos; range = doc.FindSection(s)) {
      doc.lines.erase(doc.lines.begin() + static_cast<std::ptrdiff_t>(range.first - 1),
                      doc.lines.begin() + static_cast<std::ptrdiff_t>(range.second));
      dirty = true;
    }
    return true;
  });
}

bool TIniFile::DeleteKey(const std::string& section, const std::string& key) {
  const std::string s = TrimBlanks(section), k = TrimBlanks(key);
  return Modify(fileName_, [&](TDocument& doc, bool& dirty) {
    for (auto range = doc.FindSection(s); range.first != std::string::npos;) {
      for (size_t i = range.second; i-- > range.first;) {
        if (!doc.lines[i].IsKey(k)) continue;
        doc.lines.erase(doc.lines.begin() + static_cast<std::ptrdiff_t>(i));
        --range.second;
        dirty = true;
      }
      range = doc.FindSection(s, range.second);
    }
    return true;
  });
}

}  // namespace ok
