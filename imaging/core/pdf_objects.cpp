#include "imaging/core/pdf_objects.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace zv {

namespace {

std::string IntText(int64_t Value) {
  char Buffer[24];
  const auto Result = std::to_chars(Buffer, Buffer + sizeof Buffer, Value);
  return std::string(Buffer, Result.ptr);
}

char HexDigit(unsigned V) { return "0123456789ABCDEF"[V & 15]; }

// A name's bytes: anything outside "!".."~", the "#" escape character itself and PDF's delimiters go as
// #xx, so the name reads back as it was given.
std::string EscapeName(const std::string& Name) {
  std::string Out;
  for (const char C : Name) {
    const auto B = static_cast<unsigned char>(C);
    if (B < 33 || B > 126 || std::strchr("#()<>[]{}/%", B) != nullptr) {
      Out += '#';
      Out += HexDigit(B >> 4);
      Out += HexDigit(B);
    } else {
      Out += C;
    }
  }
  return Out;
}

void FreeOwned(TIEPDFObject* Object) {
  if (Object != nullptr && !Object->Shared) delete Object;
}

}  // namespace

// ---- Text ----------------------------------------------------------------------------------------------

void PdfWriteString(TStream* Stream, const std::string& Text) {
  if (!Text.empty()) Stream->WriteBuffer(Text.data(), int64_t(Text.size()));
}

void PdfWriteLine(TStream* Stream, const std::string& Text) { PdfWriteString(Stream, Text + "\n"); }

std::string PdfPadLeft(const std::string& Text, int32_t Width, char Fill) {
  if (int64_t(Text.size()) >= Width) return Text;
  return std::string(size_t(Width) - Text.size(), Fill) + Text;
}

std::string PdfNumberText(double Value) {
  if (!std::isfinite(Value) || Value == 0) return "0";
  // Round to 15 significant digits, then lay the digits out around the point without an exponent.
  char Buffer[40];
  const auto Result = std::to_chars(Buffer, Buffer + sizeof Buffer, Value, std::chars_format::scientific, 14);
  const std::string Sci(Buffer, Result.ptr);  // [-]d.ddddddddddddddde[+-]xx
  const size_t E = Sci.find('e');
  const bool Negative = Sci[0] == '-';
  std::string Digits;
  for (size_t i = Negative ? 1 : 0; i < E; ++i)
    if (Sci[i] != '.') Digits += Sci[i];
  const int Exponent = std::atoi(Sci.c_str() + E + 1);
  while (Digits.size() > 1 && Digits.back() == '0') Digits.pop_back();
  std::string Out = Negative ? "-" : "";
  const int Point = Exponent + 1;  // digits before the decimal point
  if (Point <= 0) {
    Out += "0." + std::string(size_t(-Point), '0') + Digits;
  } else if (size_t(Point) >= Digits.size()) {
    Out += Digits + std::string(size_t(Point) - Digits.size(), '0');
  } else {
    Out += Digits.substr(0, size_t(Point)) + "." + Digits.substr(size_t(Point));
  }
  return Out;
}

// ---- Values --------------------------------------------------------------------------------------------

void TIEPDFRefObject::WriteToStream(TStream* Stream) {
  Position = Stream->Position();
  PdfWriteString(Stream, IntText(Target) + " " + IntText(Generation) + " R");
}

void TIEPDFBooleanObject::WriteToStream(TStream* Stream) {
  Position = Stream->Position();
  PdfWriteString(Stream, Value ? "true" : "false");
}

void TIEPDFNumericObject::WriteToStream(TStream* Stream) {
  Position = Stream->Position();
  PdfWriteString(Stream, PdfNumberText(Value));
}

void TIEPDFStringObject::WriteToStream(TStream* Stream) {
  Position = Stream->Position();
  std::string Out = "(";
  for (const char C : Value) {
    switch (C) {
      case 8: Out += "\\b"; break;
      case 9: Out += "\\t"; break;
      case 10: Out += "\\n"; break;
      case 12: Out += "\\f"; break;
      case 13: Out += "\\r"; break;
      case '(': Out += "\\("; break;
      case ')': Out += "\\)"; break;
      case '\\': Out += "\\\\"; break;
      default: Out += C;
    }
  }
  PdfWriteString(Stream, Out + ")");
}

void TIEPDFNameObject::WriteToStream(TStream* Stream) {
  Position = Stream->Position();
  std::string Name = "/";
  Name += EscapeName(Value);
  PdfWriteString(Stream, Name);
}

TIEPDFArrayObject::~TIEPDFArrayObject() {
  for (size_t i = Items.size(); i-- > 0;) FreeOwned(Items[i]);
}

void TIEPDFArrayObject::WriteToStream(TStream* Stream) {
  Position = Stream->Position();
  PdfWriteString(Stream, "[");
  for (TIEPDFObject* Item : Items) {
    Item->WriteToStream(Stream);
    PdfWriteString(Stream, " ");
  }
  PdfWriteString(Stream, "]");
}

TIEPDFDictionaryObject::~TIEPDFDictionaryObject() {
  for (size_t i = Items.size(); i-- > 0;) FreeOwned(Items[i].second);
}

int32_t TIEPDFDictionaryObject::IndexOf(const std::string& Key) const {
  for (size_t i = 0; i < Items.size(); ++i) {
    const std::string& K = Items[i].first;
    if (K.size() == Key.size() &&
        std::equal(K.begin(), K.end(), Key.begin(), [](char A, char B) {
          return (A >= 'A' && A <= 'Z' ? A + 32 : A) == (B >= 'A' && B <= 'Z' ? B + 32 : B);
        }))
      return int32_t(i);
  }
  return -1;
}

void TIEPDFDictionaryObject::WriteToStream(TStream* Stream) {
  Position = Stream->Position();
  PdfWriteString(Stream, "<< ");
  for (auto& [Key, Value] : Items) {
    std::string Entry = "/";
    Entry += EscapeName(Key);
    Entry += ' ';
    PdfWriteString(Stream, Entry);
    Value->WriteToStream(Stream);
    PdfWriteString(Stream, "\n");
  }
  PdfWriteString(Stream, ">>");
}

TIEPDFStreamObject::TIEPDFStreamObject() : Dictionary(new TIEPDFDictionaryObject) {
  Dictionary->Add("Length", new TIEPDFNumericObject(0));
}

TIEPDFStreamObject* TIEPDFStreamObject::CreateFromData(const void* Data, int32_t Length) {
  auto* Result = new TIEPDFStreamObject;
  if (Length > 0) {
    const auto* Bytes = static_cast<const uint8_t*>(Data);
    Result->Data.assign(Bytes, Bytes + Length);
    Result->DataLength = Length;
  }
  return Result;
}

TIEPDFStreamObject::~TIEPDFStreamObject() { delete Dictionary; }

void TIEPDFStreamObject::WriteToStream(TStream* Stream) {
  Position = Stream->Position();
  // The data written is what the stream holds, whatever DataLength says.
  const int64_t Length = std::min<int64_t>(std::max(DataLength, 0), int64_t(Data.size()));
  const int32_t At = Dictionary->IndexOf("Length");
  if (At >= 0) {
    FreeOwned(Dictionary->Items[size_t(At)].second);
    Dictionary->Items[size_t(At)].second = new TIEPDFNumericObject(double(Length));
  } else {
    Dictionary->Add("Length", new TIEPDFNumericObject(double(Length)));
  }
  Dictionary->WriteToStream(Stream);
  PdfWriteString(Stream, "\nstream\n");
  if (Length > 0) Stream->WriteBuffer(Data.data(), Length);
  PdfWriteString(Stream, "\nendstream");
}

// ---- The document --------------------------------------------------------------------------------------

void PdfAddObject(TIEPDFObjectList& Objects, TIEPDFObject* Object) {
  Objects.push_back(Object);
  Object->ObjectNumber = int32_t(Objects.size());
}

TIEPDFDictionaryObject* PdfCreateCatalog(TIEPDFObjectList& Objects) {
  auto* Catalog = new TIEPDFDictionaryObject;
  Catalog->Add("Type", new TIEPDFNameObject("Catalog"));
  PdfAddObject(Objects, Catalog);
  return Catalog;
}

TIEPDFDictionaryObject* PdfCreatePage(TIEPDFObjectList& Objects, TIEPDFObjectList& Pages, TIEPDFObject* Resources,
                                      TIEPDFArrayObject* MediaBox, int32_t ContentsNumber) {
  auto* Page = new TIEPDFDictionaryObject;
  Page->Add("Type", new TIEPDFNameObject("Page"));
  if (Resources != nullptr) Page->Add("Resources", new TIEPDFRefObject(Resources->ObjectNumber, 0));
  Page->Add("MediaBox", MediaBox);
  Page->Add("Contents", new TIEPDFRefObject(ContentsNumber, 0));
  PdfAddObject(Objects, Page);
  Pages.push_back(Page);
  return Page;
}

TIEPDFDictionaryObject* PdfCreatePages(TIEPDFObjectList& Objects, TIEPDFObjectList& Pages) {
  auto* Tree = new TIEPDFDictionaryObject;
  PdfAddObject(Objects, Tree);
  Tree->Add("Type", new TIEPDFNameObject("Pages"));
  auto* Kids = new TIEPDFArrayObject;
  for (TIEPDFObject* Page : Pages) {
    Kids->Add(new TIEPDFRefObject(Page->ObjectNumber, 0));
    if (auto* Dictionary = dynamic_cast<TIEPDFDictionaryObject*>(Page))
      Dictionary->Add("Parent", new TIEPDFRefObject(Tree->ObjectNumber, 0));
  }
  Tree->Add("Kids", Kids);
  Tree->Add("Count", new TIEPDFNumericObject(double(Pages.size())));
  if (auto* Catalog = dynamic_cast<TIEPDFDictionaryObject*>(Objects.front()))
    Catalog->Add("Pages", new TIEPDFRefObject(Tree->ObjectNumber, 0));
  return Tree;
}

void PdfWriteHeader(TStream* Stream) {
  PdfWriteLine(Stream, "%PDF-1.4");
  PdfWriteLine(Stream, "%\xC8\xD2\xF0\xFE");
}

void PdfWriteObjects(TStream* Stream, TIEPDFObjectList& Objects) {
  for (TIEPDFObject* Object : Objects) {
    const int64_t P = Stream->Position();
    PdfWriteLine(Stream, IntText(Object->ObjectNumber) + " 0 obj");
    Object->WriteToStream(Stream);
    PdfWriteLine(Stream, "");
    PdfWriteLine(Stream, "endobj");
    Object->Position = P;
  }
}

void PdfWriteXrefAndTrailer(TStream* Stream, const TIEPDFObjectList& Objects, const TIEPDFObject* Info) {
  const int64_t X = Stream->Position();
  const std::string Size = IntText(int64_t(Objects.size()) + 1);
  PdfWriteLine(Stream, "xref");
  PdfWriteLine(Stream, "0 " + Size);
  PdfWriteLine(Stream, "0000000000 65535 f ");
  for (const TIEPDFObject* Object : Objects)
    PdfWriteLine(Stream, PdfPadLeft(IntText(Object->Position), 10, '0') + " 00000 n ");
  PdfWriteLine(Stream, "trailer");
  PdfWriteLine(Stream, "<< /Size " + Size);
  PdfWriteLine(Stream, "/Root 1 0 R");
  if (Info != nullptr) PdfWriteLine(Stream, "/Info " + IntText(Info->ObjectNumber) + " 0 R");
  PdfWriteLine(Stream, ">>");
  PdfWriteLine(Stream, "startxref");
  PdfWriteLine(Stream, IntText(X));
  PdfWriteLine(Stream, "%%EOF");
}

}  // namespace zv
