#pragma once
// Classic INI files with the semantics of the Windows profile API: "[section]" lines, "key=value"
// lines, ';' comment lines, section and key names compared without regard to ASCII case, blanks
// around names and values ignored. The first occurrence of a section or key is the one that counts.
//
// Every operation opens the file, reads or writes it and closes it again; nothing is cached, so
// several objects (and programs) may use one file. A missing file or section reads as the defaults.
//
// Encoding: a file that is valid UTF-8 (or starts with a UTF-8 byte-order mark) is UTF-8, anything
// else CP936, the encoding of the files the Windows generation wrote. Text goes in and out as UTF-8.
// A write keeps the file's encoding, its mark, its line endings and every line it does not change;
// new files are UTF-8 with "\n". Only when a CP936 file would have to take a character that GBK
// cannot express is the whole file rewritten in UTF-8, so the value is not lost.
//
// Writes replace the file atomically and keep its permissions; the folder is never created.
// Write operations return false when the file cannot be written (or the names cannot be stored).

#include <string>
#include <vector>

namespace ok {

class TIniFile {
 public:
  explicit TIniFile(std::string fileName);

  const std::string& FileName() const { return fileName_; }

  std::string ReadString(const std::string& section, const std::string& key, const std::string& def) const;
  // Decimal with an optional sign; a value that does not read whole as a 32-bit number gives `def`.
  int ReadInteger(const std::string& section, const std::string& key, int def) const;
  // Decimal with "." as separator (an exponent is accepted); anything else gives `def`.
  double ReadFloat(const std::string& section, const std::string& key, double def) const;

  // A value with blanks at its ends, or one enclosed in quotes, is stored inside double quotes so
  // that it reads back unchanged. Values holding a line break cannot be stored.
  bool WriteString(const std::string& section, const std::string& key, const std::string& value);
  bool WriteInteger(const std::string& section, const std::string& key, int value);
  // Shortest decimal form that reads back as the same number ("29.97", "25").
  bool WriteFloat(const std::string& section, const std::string& key, double value);

  bool SectionExists(const std::string& section) const;
  bool ValueExists(const std::string& section, const std::string& key) const;
  // Section names in file order, each once.
  std::vector<std::string> ReadSections() const;
  // Key names of the section in file order, each once.
  std::vector<std::string> ReadSection(const std::string& section) const;

  // Remove every occurrence of the section with its lines / every occurrence of the key in the
  // section. True also when there was nothing to remove.
  bool EraseSection(const std::string& section);
  bool DeleteKey(const std::string& section, const std::string& key);

 private:
  std::string fileName_;
};

}  // namespace ok
