#include "imaging/core/pdf_objects.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

#include "platform/sysutils.h"

using namespace zv;

namespace {

std::string Text(TMemoryStream& S) { return std::string(static_cast<const char*>(S.Memory()), size_t(S.Size())); }

std::string Written(TIEPDFObject& Object) {
  TMemoryStream S;
  Object.WriteToStream(&S);
  return Text(S);
}

TEST(PdfObjects, ValuesAreWrittenAsPdfText) {
  struct Case {
    const char* What;
    std::function<TIEPDFObject*()> Make;
    std::string Expected;
  };
  const Case Cases[] = {
      {"string with parentheses", [] { return new TIEPDFStringObject("a(b)c\\"); }, "(a\\(b\\)c\\\\)"},
      {"string with controls", [] { return new TIEPDFStringObject("x\ry\tz\b\f\n"); }, "(x\\ry\\tz\\b\\f\\n)"},
      {"name with blank and #", [] { return new TIEPDFNameObject("A B#"); }, "/A#20B#23"},
      {"name with a high byte", [] { return new TIEPDFNameObject("caf\xE9"); }, "/caf#E9"},
      {"name with delimiters", [] { return new TIEPDFNameObject("a/b(c)<d>[e]{f}%"); },
       "/a#2Fb#28c#29#3Cd#3E#5Be#5D#7Bf#7D#25"},
      {"whole number", [] { return new TIEPDFNumericObject(595); }, "595"},
      {"half", [] { return new TIEPDFNumericObject(0.5); }, "0.5"},
      {"small, no exponent", [] { return new TIEPDFNumericObject(1E-5); }, "0.00001"},
      {"large, no exponent", [] { return new TIEPDFNumericObject(1E20); }, "100000000000000000000"},
      {"negative", [] { return new TIEPDFNumericObject(-3.25); }, "-3.25"},
      {"15 significant digits", [] { return new TIEPDFNumericObject(1.0 / 3); }, "0.333333333333333"},
      {"rounded to 15 digits", [] { return new TIEPDFNumericObject(123456789012345678.0); }, "123456789012346000"},
      {"zero", [] { return new TIEPDFNumericObject(-0.0); }, "0"},
      {"reference", [] { return new TIEPDFRefObject(5, 0); }, "5 0 R"},
      {"true", [] { return new TIEPDFBooleanObject(true); }, "true"},
      {"false", [] { return new TIEPDFBooleanObject(false); }, "false"},
      {"empty array", [] { return new TIEPDFArrayObject; }, "[]"},
      {"array of numbers",
       [] {
         auto* A = new TIEPDFArrayObject;
         A->Add(new TIEPDFNumericObject(1));
         A->Add(new TIEPDFNumericObject(2.5));
         return A;
       },
       "[1 2.5 ]"},
      {"empty dictionary", [] { return new TIEPDFDictionaryObject; }, "<< >>"},
      {"dictionary, key escaped, duplicates kept",
       [] {
         auto* D = new TIEPDFDictionaryObject;
         D->Add("A B#", new TIEPDFNumericObject(1));
         D->Add("Type", new TIEPDFNameObject("X"));
         D->Add("Type", new TIEPDFNameObject("Y"));
         return D;
       },
       "<< /A#20B#23 1\n/Type /X\n/Type /Y\n>>"},
  };
  for (const Case& C : Cases) {
    std::unique_ptr<TIEPDFObject> Object(C.Make());
    EXPECT_EQ(Written(*Object), C.Expected) << C.What;
  }
}

TEST(PdfObjects, NumbersIgnoreTheLocale) {
  const char DecimalSeparator = FormatSettings.DecimalSeparator;
  FormatSettings.DecimalSeparator = ',';
  std::string CLocale = std::setlocale(LC_NUMERIC, nullptr);
  for (const char* Name : {"de_DE.UTF-8", "fr_FR.UTF-8", "pl_PL.UTF-8"})
    if (std::setlocale(LC_NUMERIC, Name) != nullptr) break;
  TIEPDFNumericObject Half(0.5);
  EXPECT_EQ(Written(Half), "0.5");
  EXPECT_EQ(PdfNumberText(-1234.5678), "-1234.5678");
  std::setlocale(LC_NUMERIC, CLocale.c_str());
  FormatSettings.DecimalSeparator = DecimalSeparator;
}

TEST(PdfObjects, StreamObjectWritesItsLength) {
  const char Data[10] = {'0', '1', '2', '3', '4', '5', '6', '7', '8', '9'};
  std::unique_ptr<TIEPDFStreamObject> Object(TIEPDFStreamObject::CreateFromData(Data, 10));
  EXPECT_EQ(Written(*Object), "<< /Length 10\n>>\nstream\n0123456789\nendstream");
  // A length beyond the data held writes only the data held.
  Object->DataLength = 1000;
  EXPECT_EQ(Written(*Object), "<< /Length 10\n>>\nstream\n0123456789\nendstream");
  TIEPDFStreamObject Empty;
  EXPECT_EQ(Written(Empty), "<< /Length 0\n>>\nstream\n\nendstream");
}

TEST(PdfObjects, SharedObjectOutlivesItsArrayAndDictionary) {
  auto Kept = std::make_unique<TIEPDFNumericObject>(7);
  Kept->Shared = true;
  {
    TIEPDFArrayObject Array;
    Array.Add(Kept.get());
    Array.Add(new TIEPDFNumericObject(8));
    TIEPDFDictionaryObject Dictionary;
    Dictionary.Add("K", Kept.get());
  }
  EXPECT_EQ(Written(*Kept), "7");  // the sanitizer run reports a use after free here
}

TEST(PdfObjects, DictionaryKeysLookedUpWithoutCase) {
  TIEPDFDictionaryObject D;
  D.Add("Type", new TIEPDFNameObject("Page"));
  D.Add("MediaBox", new TIEPDFArrayObject);
  EXPECT_EQ(D.IndexOf("mediabox"), 1);
  EXPECT_EQ(D.IndexOf("TYPE"), 0);
  EXPECT_EQ(D.IndexOf("Contents"), -1);
  EXPECT_EQ(PdfPadLeft("42", 5, '0'), "00042");
  EXPECT_EQ(PdfPadLeft("123456", 5, '0'), "123456");
}

// A one-page document: catalog 1, info 2, resources 3, contents 4, page 5, page tree 6.
struct TDocument {
  TIEPDFObjectList Objects, Pages;
  TIEPDFDictionaryObject* Info = nullptr;
  TDocument() {
    PdfCreateCatalog(Objects);
    Info = new TIEPDFDictionaryObject;
    Info->Add("Producer", new TIEPDFStringObject("Zonvark (test)"));
    Info->Add("Odd Key(1)", new TIEPDFNameObject("A B#/%\xE9"));
    Info->Add("Note", new TIEPDFStringObject("a(b)c\\\r\t"));
    Info->Add("Tiny", new TIEPDFNumericObject(1E-5));
    PdfAddObject(Objects, Info);
    auto* Resources = new TIEPDFDictionaryObject;
    auto* ProcSet = new TIEPDFArrayObject;
    ProcSet->Add(new TIEPDFNameObject("PDF"));
    Resources->Add("ProcSet", ProcSet);
    PdfAddObject(Objects, Resources);
    const std::string Content = "0 0 1 rg 10 10 100 50 re f\n";
    PdfAddObject(Objects, TIEPDFStreamObject::CreateFromData(Content.data(), int32_t(Content.size())));
    auto* MediaBox = new TIEPDFArrayObject;
    for (double V : {0.0, 0.0, 595.0, 842.0}) MediaBox->Add(new TIEPDFNumericObject(V));
    PdfCreatePage(Objects, Pages, Resources, MediaBox, 4);
  }
  ~TDocument() {
    for (TIEPDFObject* O : Objects) delete O;
  }
};

TEST(PdfObjects, PageDictionaryLayout) {
  TIEPDFObjectList Objects, Pages;
  PdfCreateCatalog(Objects);
  PdfAddObject(Objects, new TIEPDFDictionaryObject);
  auto* MediaBox = new TIEPDFArrayObject;
  for (double V : {0.0, 0.0, 595.0, 842.0}) MediaBox->Add(new TIEPDFNumericObject(V));
  TIEPDFDictionaryObject* Page = PdfCreatePage(Objects, Pages, nullptr, MediaBox, 4);
  EXPECT_EQ(Page->ObjectNumber, 3);
  TMemoryStream S;
  TIEPDFObjectList Only{Page};
  PdfWriteObjects(&S, Only);
  EXPECT_EQ(Text(S), "3 0 obj\n<< /Type /Page\n/MediaBox [0 0 595 842 ]\n/Contents 4 0 R\n>>\nendobj\n");
  for (TIEPDFObject* O : Objects) delete O;
}

TEST(PdfObjects, CrossReferenceAndTrailer) {
  TIEPDFObjectList Objects;
  PdfCreateCatalog(Objects);
  PdfAddObject(Objects, new TIEPDFNumericObject(1));
  auto* Info = new TIEPDFDictionaryObject;
  PdfAddObject(Objects, Info);
  TMemoryStream S;
  PdfWriteHeader(&S);
  PdfWriteObjects(&S, Objects);
  const int64_t X = S.Position();
  PdfWriteXrefAndTrailer(&S, Objects, Info);
  const std::string All = Text(S);
  EXPECT_EQ(All.substr(0, 15), "%PDF-1.4\n%\xC8\xD2\xF0\xFE\n");
  const std::string Xref = All.substr(size_t(X));
  ASSERT_EQ(Xref.substr(0, 9), "xref\n0 4\n");
  const std::string Entries = Xref.substr(9, 80);
  EXPECT_EQ(Entries.substr(0, 20), "0000000000 65535 f \n");
  for (int i = 0; i < 3; ++i) {
    const std::string Entry = Entries.substr(size_t(20 * (i + 1)), 20);
    const int64_t P = Objects[size_t(i)]->Position;
    EXPECT_EQ(Entry, PdfPadLeft(std::to_string(P), 10, '0') + " 00000 n \n");
    EXPECT_EQ(All.substr(size_t(P), 8), std::to_string(i + 1) + " 0 obj\n");
  }
  EXPECT_EQ(Xref.substr(89), "trailer\n<< /Size 4\n/Root 1 0 R\n/Info 3 0 R\n>>\nstartxref\n" + std::to_string(X) +
                                 "\n%%EOF\n");
  for (TIEPDFObject* O : Objects) delete O;
}

TEST(PdfObjects, DocumentPassesQpdfCheck) {
  TDocument Doc;
  TIEPDFDictionaryObject* Tree = PdfCreatePages(Doc.Objects, Doc.Pages);
  EXPECT_EQ(Tree->ObjectNumber, 6);
  auto* Page = static_cast<TIEPDFDictionaryObject*>(Doc.Pages[0]);
  EXPECT_EQ(Page->Items.back().first, "Parent");
  TMemoryStream S;
  PdfWriteHeader(&S);
  PdfWriteObjects(&S, Doc.Objects);
  PdfWriteXrefAndTrailer(&S, Doc.Objects, Doc.Info);
  std::filesystem::create_directories(ZV_TEST_TMP);
  const std::string Path = std::string(ZV_TEST_TMP) + "/pdf_objects_check.pdf";
  S.SaveToFile(Path);
  std::string Out;
  FILE* P = popen(("qpdf --check '" + Path + "' 2>&1").c_str(), "r");
  ASSERT_NE(P, nullptr);
  char Buffer[4096];
  size_t N;
  while ((N = fread(Buffer, 1, sizeof Buffer, P)) > 0) Out.append(Buffer, N);
  const int Status = pclose(P);
  EXPECT_EQ(Status, 0) << Out;
  EXPECT_NE(Out.find("No syntax or stream encoding errors found"), std::string::npos) << Out;
  EXPECT_EQ(Out.find("WARNING"), std::string::npos) << Out;
  // qpdf reads the escaped key, name and string back as they were given.
  Out.clear();
  P = popen(("qpdf --show-object=2 '" + Path + "' 2>&1").c_str(), "r");
  ASSERT_NE(P, nullptr);
  while ((N = fread(Buffer, 1, sizeof Buffer, P)) > 0) Out.append(Buffer, N);
  pclose(P);
  // (qpdf shows the "#" it read as a bare "#".)
  EXPECT_NE(Out.find("/Odd#20Key#281#29 /A#20B##2f#25#e9"), std::string::npos) << Out;
  EXPECT_NE(Out.find("/Note (a\\(b\\)c\\\\\\r\\t)"), std::string::npos) << Out;
  EXPECT_NE(Out.find("/Tiny 0.00001"), std::string::npos) << Out;
}

}  // namespace
