// A small object model of PDF 1.4 values (numbers, strings, names, arrays, dictionaries, streams,
// references) and the routines that lay a PDF file out from them: header, numbered indirect objects,
// cross-reference table and trailer, catalog and page tree. It only writes; nothing is read back.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/objects.h"
#include "platform/streams.h"

namespace zv {

// The base of every PDF value. An array or dictionary owns what it holds unless the value is Shared.
class TIEPDFObject : public TObject {
public:
  TIEPDFObject() = default;
  TIEPDFObject(const TIEPDFObject&) = delete;
  TIEPDFObject& operator=(const TIEPDFObject&) = delete;

  // Records the stream position in Position and writes the value's text.
  virtual void WriteToStream(TStream* Stream) = 0;

  int32_t ObjectNumber = 0;  // given by PdfAddObject; 0 for a direct object inside another
  int64_t Position = 0;      // where the object was last written (an indirect one: its "n 0 obj" line)
  bool Shared = false;       // the array or dictionary holding it does not free it
};

// "5 0 R"
class TIEPDFRefObject : public TIEPDFObject {
public:
  TIEPDFRefObject(int32_t ATarget, int32_t AGeneration) : Target(ATarget), Generation(AGeneration) {}
  void WriteToStream(TStream* Stream) override;
  int32_t Target;
  int32_t Generation;
};

class TIEPDFBooleanObject : public TIEPDFObject {
public:
  explicit TIEPDFBooleanObject(bool AValue) : Value(AValue) {}
  void WriteToStream(TStream* Stream) override;
  bool Value;
};

// Written with up to 15 significant digits, "." as the decimal point whatever the locale, never in
// exponent form (PDF has none); whole numbers without a point.
class TIEPDFNumericObject : public TIEPDFObject {
public:
  explicit TIEPDFNumericObject(double AValue) : Value(AValue) {}
  void WriteToStream(TStream* Stream) override;
  double Value;
};

// "(text)" with \b \t \n \f \r \( \) \\ escapes.
class TIEPDFStringObject : public TIEPDFObject {
public:
  explicit TIEPDFStringObject(std::string AValue) : Value(std::move(AValue)) {}
  void WriteToStream(TStream* Stream) override;
  std::string Value;
};

// "/Name"; Value is without the slash.
class TIEPDFNameObject : public TIEPDFObject {
public:
  explicit TIEPDFNameObject(std::string AValue) : Value(std::move(AValue)) {}
  void WriteToStream(TStream* Stream) override;
  std::string Value;
};

// "[a b ]": each element followed by one space.
class TIEPDFArrayObject : public TIEPDFObject {
public:
  TIEPDFArrayObject() = default;
  ~TIEPDFArrayObject() override;
  void WriteToStream(TStream* Stream) override;
  // Takes ownership of Item (unless it is Shared).
  void Add(TIEPDFObject* Item) { Items.push_back(Item); }
  std::vector<TIEPDFObject*> Items;
};

// "<< /Key value\n... >>": keys in insertion order (a key added twice is written twice), looked up
// without regard to case.
class TIEPDFDictionaryObject : public TIEPDFObject {
public:
  TIEPDFDictionaryObject() = default;
  ~TIEPDFDictionaryObject() override;
  void WriteToStream(TStream* Stream) override;
  // Takes ownership of Value (unless it is Shared).
  void Add(const std::string& Key, TIEPDFObject* Value) { Items.emplace_back(Key, Value); }
  // The index of the first key equal to Key in any case, -1 when none.
  int32_t IndexOf(const std::string& Key) const;
  std::vector<std::pair<std::string, TIEPDFObject*>> Items;
};

// Its dictionary, then "stream", the data and "endstream"; the dictionary's Length follows DataLength.
class TIEPDFStreamObject : public TIEPDFObject {
public:
  TIEPDFStreamObject();
  static TIEPDFStreamObject* CreateFromData(const void* Data, int32_t Length);
  ~TIEPDFStreamObject() override;
  void WriteToStream(TStream* Stream) override;
  TIEPDFDictionaryObject* Dictionary;  // owned; always holds "Length"
  std::vector<uint8_t> Data;
  int32_t DataLength = 0;
};

// The indirect objects of a document in number order, and its page dictionaries; the caller owns and
// frees the objects in both.
using TIEPDFObjectList = std::vector<TIEPDFObject*>;

// Text output; every line break is a single LF.
void PdfWriteString(TStream* Stream, const std::string& Text);
void PdfWriteLine(TStream* Stream, const std::string& Text);
// Text with Fill added in front up to Width characters (longer texts unchanged).
std::string PdfPadLeft(const std::string& Text, int32_t Width, char Fill);
// The text of a number as TIEPDFNumericObject writes it.
std::string PdfNumberText(double Value);

// Appends Object and numbers it with the new count (the first object is 1).
void PdfAddObject(TIEPDFObjectList& Objects, TIEPDFObject* Object);
// The catalog, added as object 1 (the trailer names object 1 as the root).
TIEPDFDictionaryObject* PdfCreateCatalog(TIEPDFObjectList& Objects);
// A page (Type, Resources when given, MediaBox, which the page takes, Contents), added and listed in Pages.
TIEPDFDictionaryObject* PdfCreatePage(TIEPDFObjectList& Objects, TIEPDFObjectList& Pages, TIEPDFObject* Resources,
                                      TIEPDFArrayObject* MediaBox, int32_t ContentsNumber);
// The page tree over Pages, each page given its Parent and the catalog its Pages.
TIEPDFDictionaryObject* PdfCreatePages(TIEPDFObjectList& Objects, TIEPDFObjectList& Pages);

void PdfWriteHeader(TStream* Stream);
// Each object as "n 0 obj", its text, "endobj"; its Position is the start of its first line.
void PdfWriteObjects(TStream* Stream, TIEPDFObjectList& Objects);
// The cross-reference table of Objects and the trailer (Root 1 0 R, Info when given).
void PdfWriteXrefAndTrailer(TStream* Stream, const TIEPDFObjectList& Objects, const TIEPDFObject* Info);

}  // namespace zv
