#include "platform/inifiles.h"

#include "platform/lists.h"
#include "platform/streams.h"

#include <charconv>
#include <cmath>
#include <sys/stat.h>
#include <vector>

namespace zv {

namespace {

std::string TrimBlanks(const std::string& S) {
  const size_t first = S.find_first_not_of(" \t");
  if (first == std::string::npos) return std::string();
  const size_t last = S.find_last_not_of(" \t");
  return S.substr(first, last - first + 1);
}

bool SameName(const std::string& A, const std::string& B) {
  if (A.size() != B.size()) return false;
  for (size_t i = 0; i < A.size(); ++i) {
    unsigned char a = static_cast<unsigned char>(A[i]);
    unsigned char b = static_cast<unsigned char>(B[i]);
    if (a >= 'A' && a <= 'Z') a = static_cast<unsigned char>(a + 32);
    if (b >= 'A' && b <= 'Z') b = static_cast<unsigned char>(b + 32);
    if (a != b) return false;
  }
  return true;
}

// Decimal, "$hex" or "0xhex" with an optional sign; hex takes up to 32 bits, as a bit pattern.
bool ParseInteger(const std::string& Text, int32_t& Value) {
  size_t p = 0;
  bool negative = false;
  if (p < Text.size() && (Text[p] == '+' || Text[p] == '-')) negative = Text[p++] == '-';
  int base = 10;
  if (p < Text.size() && Text[p] == '$') {
    base = 16;
    ++p;
  } else if (p + 1 < Text.size() && Text[p] == '0' && (Text[p + 1] == 'x' || Text[p + 1] == 'X')) {
    base = 16;
    p += 2;
  }
  if (p >= Text.size() || Text[p] == '+' || Text[p] == '-') return false;
  uint64_t magnitude = 0;
  const char* end = Text.data() + Text.size();
  const auto [ptr, ec] = std::from_chars(Text.data() + p, end, magnitude, base);
  if (ec != std::errc() || ptr != end) return false;
  if (base == 16) {
    if (magnitude > 0xFFFFFFFFu) return false;
    const auto bits = static_cast<uint32_t>(negative ? 0u - static_cast<uint32_t>(magnitude) : magnitude);
    Value = static_cast<int32_t>(bits);
    return true;
  }
  if (magnitude > (negative ? 2147483648u : 2147483647u)) return false;
  Value = negative ? static_cast<int32_t>(-static_cast<int64_t>(magnitude)) : static_cast<int32_t>(magnitude);
  return true;
}

bool ParseFloat(const std::string& Text, double& Value) {
  // from_chars takes no '+'; a sign after the '+' is no number either.
  const size_t p = (!Text.empty() && Text[0] == '+') ? 1 : 0;
  if (p >= Text.size() || (p == 1 && Text[p] == '-')) return false;
  const char* end = Text.data() + Text.size();
  double result = 0;
  const auto [ptr, ec] = std::from_chars(Text.data() + p, end, result);
  if (ec != std::errc() || ptr != end || !std::isfinite(result)) return false;
  Value = result;
  return true;
}

// Fills Strings from Lines inside one update, so that a listener sees one change.
void FillStrings(TStrings* Strings, const std::vector<std::string>& Lines) {
  Strings->BeginUpdate();
  try {
    Strings->Clear();
    for (const std::string& line : Lines) Strings->Add(line);
  } catch (...) {
    Strings->EndUpdate();
    throw;
  }
  Strings->EndUpdate();
}

}  // namespace

// The lines of an INI file with what each one means. Lines keep their original text until they are
// changed, so comments, blank lines and spacing survive a rewrite. A section may appear more than once;
// its blocks read as one, and the first line of a key is the one that counts.
class IniDocument {
public:
  void Parse(const std::string& Content);
  std::string Serialize() const;

  const std::string* Find(const std::string& Section, const std::string& Key) const;
  void Set(const std::string& Section, const std::string& Key, const std::string& Value);
  // Keys of the section (first line of each), with their values.
  std::vector<std::pair<std::string, std::string>> Entries(const std::string& Section) const;
  std::vector<std::string> Sections() const;
  // Both return whether any line went.
  bool EraseSection(const std::string& Section);
  bool DeleteKey(const std::string& Section, const std::string& Key);

private:
  enum Kind { kOther, kSection, kEntry };
  struct Line {
    Kind kind = kOther;
    std::string text;
    std::string name;   // section name or key, trimmed
    std::string value;  // value of a key, trimmed
  };

  // Calls Visit(index) for every entry line inside the named section, in file order.
  template <typename F>
  void ForEachEntry(const std::string& Section, F Visit) const {
    bool inside = false;
    for (size_t i = 0; i < FLines.size(); ++i) {
      if (FLines[i].kind == kSection)
        inside = SameName(FLines[i].name, Section);
      else if (inside && FLines[i].kind == kEntry)
        Visit(i);
    }
  }

  std::vector<Line> FLines;
  bool FCrLf = false;
  bool FByteOrderMark = false;
};

void IniDocument::Parse(const std::string& Content) {
  FLines.clear();
  FCrLf = false;
  size_t start = 0;
  FByteOrderMark = Content.compare(0, 3, "\xEF\xBB\xBF") == 0;
  if (FByteOrderMark) start = 3;
  bool firstBreak = true;
  while (start < Content.size()) {
    size_t end = Content.find_first_of("\r\n", start);
    if (end == std::string::npos) end = Content.size();
    Line line;
    line.text = Content.substr(start, end - start);
    const std::string trimmed = TrimBlanks(line.text);
    if (!trimmed.empty() && trimmed[0] == '[') {
      line.kind = kSection;
      const size_t close = trimmed.find(']');
      line.name = TrimBlanks(trimmed.substr(1, close == std::string::npos ? std::string::npos : close - 1));
    } else if (!trimmed.empty() && trimmed[0] != ';' && trimmed[0] != '#') {
      const size_t equals = trimmed.find('=');
      if (equals != std::string::npos) {
        line.kind = kEntry;
        line.name = TrimBlanks(trimmed.substr(0, equals));
        line.value = TrimBlanks(trimmed.substr(equals + 1));
      }
    }
    FLines.push_back(std::move(line));
    if (end < Content.size() && Content[end] == '\r' && end + 1 < Content.size() && Content[end + 1] == '\n') {
      if (firstBreak) FCrLf = true;
      end += 2;
    } else if (end < Content.size()) {
      ++end;
    }
    firstBreak = false;
    start = end;
  }
}

std::string IniDocument::Serialize() const {
  const char* lineBreak = FCrLf ? "\r\n" : "\n";
  std::string result = FByteOrderMark ? "\xEF\xBB\xBF" : "";
  for (const Line& line : FLines) {
    result += line.text;
    result += lineBreak;
  }
  return result;
}

const std::string* IniDocument::Find(const std::string& Section, const std::string& Key) const {
  const std::string* found = nullptr;
  ForEachEntry(Section, [&](size_t i) {
    if (found == nullptr && SameName(FLines[i].name, Key)) found = &FLines[i].value;
  });
  return found;
}

void IniDocument::Set(const std::string& Section, const std::string& Key, const std::string& Value) {
  const std::string value = TrimBlanks(Value);
  Line* existing = nullptr;
  ForEachEntry(Section, [&](size_t i) {
    if (existing == nullptr && SameName(FLines[i].name, Key)) existing = &FLines[i];
  });
  if (existing != nullptr) {
    // The key keeps the spelling the file gave it.
    existing->value = value;
    existing->text = existing->name + "=" + value;
    return;
  }
  Line entry{kEntry, TrimBlanks(Key) + "=" + value, TrimBlanks(Key), value};

  // A new key goes after the last key of the section's first block, or right under its header.
  size_t header = FLines.size();
  for (size_t i = 0; i < FLines.size(); ++i)
    if (FLines[i].kind == kSection && SameName(FLines[i].name, Section)) {
      header = i;
      break;
    }
  if (header < FLines.size()) {
    size_t insertAt = header + 1;
    for (size_t i = header + 1; i < FLines.size() && FLines[i].kind != kSection; ++i)
      if (FLines[i].kind == kEntry) insertAt = i + 1;
    FLines.insert(FLines.begin() + static_cast<std::ptrdiff_t>(insertAt), std::move(entry));
    return;
  }
  if (!FLines.empty() && !TrimBlanks(FLines.back().text).empty()) FLines.push_back(Line{});
  const std::string name = TrimBlanks(Section);
  FLines.push_back(Line{kSection, "[" + name + "]", name, std::string()});
  FLines.push_back(std::move(entry));
}

std::vector<std::pair<std::string, std::string>> IniDocument::Entries(const std::string& Section) const {
  std::vector<std::pair<std::string, std::string>> result;
  ForEachEntry(Section, [&](size_t i) {
    for (const auto& [name, value] : result)
      if (SameName(name, FLines[i].name)) return;
    result.emplace_back(FLines[i].name, FLines[i].value);
  });
  return result;
}

std::vector<std::string> IniDocument::Sections() const {
  std::vector<std::string> result;
  for (const Line& line : FLines) {
    if (line.kind != kSection) continue;
    bool seen = false;
    for (const std::string& name : result) seen = seen || SameName(name, line.name);
    if (!seen) result.push_back(line.name);
  }
  return result;
}

bool IniDocument::EraseSection(const std::string& Section) {
  std::vector<Line> kept;
  bool inside = false;
  for (Line& line : FLines) {
    if (line.kind == kSection) inside = SameName(line.name, Section);
    if (!inside) kept.push_back(std::move(line));
  }
  const bool changed = kept.size() != FLines.size();
  FLines.swap(kept);
  return changed;
}

bool IniDocument::DeleteKey(const std::string& Section, const std::string& Key) {
  std::vector<size_t> doomed;
  ForEachEntry(Section, [&](size_t i) {
    if (SameName(FLines[i].name, Key)) doomed.push_back(i);
  });
  for (auto it = doomed.rbegin(); it != doomed.rend(); ++it)
    FLines.erase(FLines.begin() + static_cast<std::ptrdiff_t>(*it));
  return !doomed.empty();
}

namespace {

// The whole file, or nothing when it is missing or cannot be read.
std::string ReadWholeFile(const std::string& FileName) {
  try {
    TStringStream content;
    content.LoadFromFile(FileName);
    return content.DataString();
  } catch (const Exception&) {
    return std::string();
  }
}

std::string FileStamp(const std::string& FileName) {
  struct stat info;
  if (::stat(FileName.c_str(), &info) != 0) return "missing";
  return std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino) + ":" + std::to_string(info.st_size) +
         ":" + std::to_string(info.st_mtim.tv_sec) + "." + std::to_string(info.st_mtim.tv_nsec);
}

}  // namespace

// ---- TCustomIniFile -----------------------------------------------------------------------------------

int32_t TCustomIniFile::ReadInteger(const std::string& Section, const std::string& Ident, int32_t Default) {
  int32_t value = Default;
  return ParseInteger(ReadString(Section, Ident, std::string()), value) ? value : Default;
}

void TCustomIniFile::WriteInteger(const std::string& Section, const std::string& Ident, int32_t Value) {
  WriteString(Section, Ident, std::to_string(Value));
}

bool TCustomIniFile::ReadBool(const std::string& Section, const std::string& Ident, bool Default) {
  return ReadInteger(Section, Ident, Default ? 1 : 0) != 0;
}

void TCustomIniFile::WriteBool(const std::string& Section, const std::string& Ident, bool Value) {
  WriteString(Section, Ident, Value ? "1" : "0");
}

double TCustomIniFile::ReadFloat(const std::string& Section, const std::string& Ident, double Default) {
  double value = Default;
  return ParseFloat(ReadString(Section, Ident, std::string()), value) ? value : Default;
}

void TCustomIniFile::WriteFloat(const std::string& Section, const std::string& Ident, double Value) {
  // The shortest text that reads back as the same number.
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, Value);
  WriteString(Section, Ident, std::string(buffer, result.ptr));
}

bool TCustomIniFile::SectionExists(const std::string& Section) {
  TStringList keys;
  ReadSection(Section, &keys);
  return keys.Count() > 0;
}

bool TCustomIniFile::ValueExists(const std::string& Section, const std::string& Ident) {
  TStringList keys;
  ReadSection(Section, &keys);
  return keys.IndexOf(Ident) >= 0;
}

// ---- shared between the two kinds ---------------------------------------------------------------------

namespace {

std::vector<std::string> KeysOf(const IniDocument& Document, const std::string& Section) {
  std::vector<std::string> keys;
  for (const auto& [name, value] : Document.Entries(Section)) keys.push_back(name);
  return keys;
}

std::vector<std::string> LinesOf(const IniDocument& Document, const std::string& Section) {
  std::vector<std::string> lines;
  for (const auto& [name, value] : Document.Entries(Section)) lines.push_back(name + "=" + value);
  return lines;
}

}  // namespace

// ---- TMemIniFile --------------------------------------------------------------------------------------

TMemIniFile::TMemIniFile(const std::string& AFileName)
    : TCustomIniFile(AFileName), FDocument(std::make_unique<IniDocument>()) {
  FDocument->Parse(ReadWholeFile(AFileName));
}

TMemIniFile::~TMemIniFile() = default;

std::string TMemIniFile::ReadString(const std::string& Section, const std::string& Ident,
                                    const std::string& Default) {
  const std::string* value = FDocument->Find(Section, Ident);
  return value ? *value : Default;
}

void TMemIniFile::WriteString(const std::string& Section, const std::string& Ident, const std::string& Value) {
  FDocument->Set(Section, Ident, Value);
}

void TMemIniFile::ReadSection(const std::string& Section, TStrings* Strings) {
  FillStrings(Strings, KeysOf(*FDocument, Section));
}

void TMemIniFile::ReadSections(TStrings* Strings) { FillStrings(Strings, FDocument->Sections()); }

void TMemIniFile::ReadSectionValues(const std::string& Section, TStrings* Strings) {
  FillStrings(Strings, LinesOf(*FDocument, Section));
}

void TMemIniFile::EraseSection(const std::string& Section) { FDocument->EraseSection(Section); }

void TMemIniFile::DeleteKey(const std::string& Section, const std::string& Ident) {
  FDocument->DeleteKey(Section, Ident);
}

void TMemIniFile::UpdateFile() {
  const std::string content = FDocument->Serialize();
  TFileStream file(FileName(), fmCreate);
  file.WriteBuffer(content.data(), static_cast<int64_t>(content.size()));
}

// ---- TIniFile -----------------------------------------------------------------------------------------

TIniFile::TIniFile(const std::string& AFileName)
    : TCustomIniFile(AFileName), FDocument(std::make_unique<IniDocument>()) {}

TIniFile::~TIniFile() = default;

IniDocument& TIniFile::Current() {
  const std::string stamp = FileStamp(FileName());
  if (!FLoaded || stamp != FStamp) {
    FDocument->Parse(ReadWholeFile(FileName()));
    FStamp = stamp;
    FLoaded = true;
  }
  return *FDocument;
}

void TIniFile::Save() {
  const std::string content = FDocument->Serialize();
  try {
    TFileStream file(FileName(), fmCreate);
    file.WriteBuffer(content.data(), static_cast<int64_t>(content.size()));
  } catch (const Exception&) {
    // What is in memory no longer matches the file; read it again next time.
    FLoaded = false;
    throw EIniFileException("Unable to write to " + FileName());
  }
  FStamp = FileStamp(FileName());
}

std::string TIniFile::ReadString(const std::string& Section, const std::string& Ident,
                                 const std::string& Default) {
  const std::string* value = Current().Find(Section, Ident);
  return value ? *value : Default;
}

void TIniFile::WriteString(const std::string& Section, const std::string& Ident, const std::string& Value) {
  Current().Set(Section, Ident, Value);
  Save();
}

void TIniFile::ReadSection(const std::string& Section, TStrings* Strings) {
  FillStrings(Strings, KeysOf(Current(), Section));
}

void TIniFile::ReadSections(TStrings* Strings) { FillStrings(Strings, Current().Sections()); }

void TIniFile::ReadSectionValues(const std::string& Section, TStrings* Strings) {
  FillStrings(Strings, LinesOf(Current(), Section));
}

void TIniFile::EraseSection(const std::string& Section) {
  if (Current().EraseSection(Section)) Save();
}

void TIniFile::DeleteKey(const std::string& Section, const std::string& Ident) {
  if (Current().DeleteKey(Section, Ident)) Save();
}

void TIniFile::UpdateFile() {}

}  // namespace zv
