// Settings files in the Windows INI format: "[Section]" headers over "key=value" lines, UTF-8 text.
// Sections and keys compare without regard to case; their case, order and comment lines survive a rewrite.
#pragma once

#include <memory>
#include <string>

#include "platform/objects.h"
#include "platform/sysutils.h"

namespace zv {

class TStrings;
class IniDocument;

// Raised by TIniFile when the file cannot be written: "Unable to write to %s".
class EIniFileException : public Exception {
public:
  using Exception::Exception;
};

// What every INI file offers. A missing or unreadable file reads as empty; a value that is absent or
// cannot be converted yields the default. Keys are read from the first line that names them.
class TCustomIniFile : public TObject {
public:
  explicit TCustomIniFile(const std::string& AFileName) : FFileName(AFileName) {}
  TCustomIniFile(const TCustomIniFile&) = delete;
  TCustomIniFile& operator=(const TCustomIniFile&) = delete;

  const std::string& FileName() const { return FFileName; }

  virtual std::string ReadString(const std::string& Section, const std::string& Ident,
                                 const std::string& Default) = 0;
  virtual void WriteString(const std::string& Section, const std::string& Ident, const std::string& Value) = 0;
  // Decimal, "$1F" or "0x1F".
  int32_t ReadInteger(const std::string& Section, const std::string& Ident, int32_t Default);
  void WriteInteger(const std::string& Section, const std::string& Ident, int32_t Value);
  // Any number other than 0 is true; written as "1" or "0".
  bool ReadBool(const std::string& Section, const std::string& Ident, bool Default);
  void WriteBool(const std::string& Section, const std::string& Ident, bool Value);
  // '.' is the decimal separator, whatever the locale.
  double ReadFloat(const std::string& Section, const std::string& Ident, double Default);
  void WriteFloat(const std::string& Section, const std::string& Ident, double Value);

  // The section's keys, in file order.
  virtual void ReadSection(const std::string& Section, TStrings* Strings) = 0;
  virtual void ReadSections(TStrings* Strings) = 0;
  // One "key=value" line for each key of the section, in file order.
  virtual void ReadSectionValues(const std::string& Section, TStrings* Strings) = 0;
  virtual void EraseSection(const std::string& Section) = 0;
  // Removes every line of that key in the section.
  virtual void DeleteKey(const std::string& Section, const std::string& Ident) = 0;
  virtual void UpdateFile() = 0;

  // True when the section holds at least one key.
  bool SectionExists(const std::string& Section);
  bool ValueExists(const std::string& Section, const std::string& Ident);

private:
  std::string FFileName;
};

// An INI file kept in memory from its construction; changes reach the file only through UpdateFile,
// which raises EFCreateError (or EWriteError) when the file cannot be written.
class TMemIniFile : public TCustomIniFile {
public:
  explicit TMemIniFile(const std::string& AFileName);
  ~TMemIniFile() override;

  std::string ReadString(const std::string& Section, const std::string& Ident,
                         const std::string& Default) override;
  void WriteString(const std::string& Section, const std::string& Ident, const std::string& Value) override;
  void ReadSection(const std::string& Section, TStrings* Strings) override;
  void ReadSections(TStrings* Strings) override;
  void ReadSectionValues(const std::string& Section, TStrings* Strings) override;
  void EraseSection(const std::string& Section) override;
  void DeleteKey(const std::string& Section, const std::string& Ident) override;
  void UpdateFile() override;

private:
  std::unique_ptr<IniDocument> FDocument;
};

// An INI file read and written in place: every read sees the file as it is now, and every change
// is written to the file at once (raising EIniFileException when that fails).
class TIniFile : public TCustomIniFile {
public:
  explicit TIniFile(const std::string& AFileName);
  ~TIniFile() override;

  std::string ReadString(const std::string& Section, const std::string& Ident,
                         const std::string& Default) override;
  void WriteString(const std::string& Section, const std::string& Ident, const std::string& Value) override;
  void ReadSection(const std::string& Section, TStrings* Strings) override;
  void ReadSections(TStrings* Strings) override;
  void ReadSectionValues(const std::string& Section, TStrings* Strings) override;
  void EraseSection(const std::string& Section) override;
  void DeleteKey(const std::string& Section, const std::string& Ident) override;
  // Changes are already in the file; nothing is left to write.
  void UpdateFile() override;

private:
  // Reloads the document when the file changed since it was last read or written.
  IniDocument& Current();
  void Save();

  std::unique_ptr<IniDocument> FDocument;
  // Identity of the file as last read or written (device, inode, size, modification time); empty when unknown.
  std::string FStamp;
  bool FLoaded = false;
};

}  // namespace zv
