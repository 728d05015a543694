// Image annotations: the annotation data written and read back (texts with their font heights, lines,
// embedded images), the data's two header sizes, and data that lies about its blocks.
#include "imaging/core/annotations.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "imaging/proc/bitmap_copy.h"

using namespace zv;

namespace {

using Bytes = std::vector<uint8_t>;

// Annotation data built block by block, as a test wants it (lies included).
struct TAnnotData {
  bool Intel = true;
  Bytes B;
  TAnnotData() {
    Int(0);
    Int(1);
  }
  void Int(int32_t V) {
    for (int i = 0; i < 4; ++i) B.push_back(uint8_t(uint32_t(V) >> (8 * i)));
  }
  void Raw(const Bytes& D) { B.insert(B.end(), D.begin(), D.end()); }
  void Attributes(int32_t Type, int32_t FontHeight = 0) {
    Int(5);
    Int(164);
    Bytes A(164, 0);
    std::memcpy(A.data(), &Type, 4);
    std::memcpy(A.data() + 48, &FontHeight, 4);
    A[100] = 0x5A;
    Raw(A);
  }
  void Named(int32_t Type, const char* Name, const Bytes& Data, int32_t Size = -1) {
    Int(Type);
    Int(12);
    char N[8] = {};
    std::memcpy(N, Name, std::strlen(Name));
    B.insert(B.end(), N, N + 8);
    Int(Size >= 0 || Size < -1 ? Size : int32_t(Data.size()));
    if (!Intel) Int(0);
    Raw(Data);
  }
  static Bytes Ints(std::initializer_list<int32_t> Values) {
    TAnnotData D;
    D.B.clear();
    for (int32_t v : Values) D.Int(v);
    return D.B;
  }
  static Bytes TextBlock(const std::string& Text, int32_t Scale) {
    Bytes T = Ints({0, 1000, Scale, int32_t(Text.size())});
    T.insert(T.end(), Text.begin(), Text.end());
    T.push_back(0);
    return T;
  }
};

std::unique_ptr<TIEImagingObject> Mark(int32_t Type) {
  auto M = std::make_unique<TIEImagingObject>();
  M->SetMarkType(Type);
  M->Attributes[163] = 0x77;
  return M;
}

Bytes Save(const TIEImagingAnnot& A) {
  void* Data = reinterpret_cast<void*>(1);
  int32_t Length = -1;
  A.SaveToBuffer(Data, Length);
  Bytes B;
  if (Data != nullptr) B.assign(static_cast<uint8_t*>(Data), static_cast<uint8_t*>(Data) + Length);
  std::free(Data);
  return B;
}

void Load(TIEImagingAnnot& A, const Bytes& B) { A.LoadFromBuffer(B.data(), int32_t(B.size())); }

class AnnotationsTest : public ::testing::Test {
protected:
  void SetUp() override { InstallPixelRoutineHooks(); }
  void TearDown() override { RemovePixelRoutineHooks(); }
};

TEST_F(AnnotationsTest, MarksOfEveryKindRoundTrip) {
  TIEImagingAnnot A;
  EXPECT_TRUE(Save(A).empty());

  auto Text = Mark(7);
  Text->Text = "Approved";
  Text->SetFontHeight(15);
  A.Marks.push_back(std::move(Text));
  auto Line = Mark(3);
  Line->Points = {{1, 2}, {30, -4}, {500, 600}};
  A.Marks.push_back(std::move(Line));
  auto Image = Mark(1);
  Image->Image = std::make_unique<TIEBitmap>(5, 3, ie24RGB);
  Image->Image->Fill(0);
  Image->Image->SetRGB(4, 2, TIERGB24{10, 20, 30});
  A.Marks.push_back(std::move(Image));
  A.Marks.push_back(Mark(2));

  const Bytes Data = Save(A);
  // The line's points: "OiAnoDat" holding 3, 3 and 24 bytes of points.
  const Bytes Points = TAnnotData::Ints({3, 3, 1, 2, 30, -4, 500, 600});
  Bytes Named = {'O', 'i', 'A', 'n', 'o', 'D', 'a', 't', 32, 0, 0, 0};
  Named.insert(Named.end(), Points.begin(), Points.end());
  EXPECT_NE(std::search(Data.begin(), Data.end(), Named.begin(), Named.end()), Data.end());

  TIEImagingAnnot Back;
  Back.Modified = true;
  Load(Back, Data);
  EXPECT_FALSE(Back.Modified);
  ASSERT_EQ(Back.Marks.size(), 4u);
  for (const auto& M : Back.Marks) EXPECT_EQ(M->Attributes[163], 0x77);
  EXPECT_EQ(Back.Marks[0]->Text.value_or("-"), "Approved");
  EXPECT_EQ(Back.Marks[0]->FontHeight(), 15);
  ASSERT_EQ(Back.Marks[1]->PointCount(), 3);
  EXPECT_EQ(Back.Marks[1]->Points[1].X, 30);
  EXPECT_EQ(Back.Marks[1]->Points[1].Y, -4);
  ASSERT_NE(Back.Marks[2]->Image, nullptr);
  EXPECT_EQ(Back.Marks[2]->Image->GetWidth(), 5);
  EXPECT_EQ(Back.Marks[2]->Image->GetHeight(), 3);
  EXPECT_EQ(Back.Marks[2]->Image->GetRGB(4, 2), (TIERGB24{10, 20, 30}));
  EXPECT_EQ(Back.Marks[3]->MarkType(), 2);

  // Assign copies every mark deeply.
  TIEImagingAnnot Copy;
  Copy.Assign(&Back);
  ASSERT_EQ(Copy.Marks.size(), 4u);
  EXPECT_NE(Copy.Marks[2]->Image.get(), Back.Marks[2]->Image.get());
  Back.Marks[2]->Image->SetRGB(4, 2, TIERGB24{0, 0, 0});
  EXPECT_EQ(Copy.Marks[2]->Image->GetRGB(4, 2), (TIERGB24{10, 20, 30}));
  EXPECT_EQ(Save(Copy), Data);  // written again, the copy gives the same data
}

// The height read back is the reading formula's: files written with it rely on it.
TEST_F(AnnotationsTest, FontHeightsFollowTheReadingFormula) {
  struct Case {
    int32_t Height, Scale, Read;
  };
  const Case Cases[] = {{15, 7500, 15}, {12, 7500, 7}, {8, 7500, 7}, {-15, 7500, -15},
                        {30, 0, 30},    {12, 3750, 22}, {2000000000, 1, 2147483647}};
  for (const Case& c : Cases) {
    TAnnotData D;
    D.Attributes(8, c.Height);
    D.Named(6, "OiAnText", TAnnotData::TextBlock("x", c.Scale));
    TIEImagingAnnot A;
    Load(A, D.B);
    ASSERT_EQ(A.Marks.size(), 1u);
    EXPECT_EQ(A.Marks[0]->FontHeight(), c.Read) << c.Height << " at scale " << c.Scale;
  }
}

TEST_F(AnnotationsTest, ReadsBothHeaderSizesAndSkipsWhatItDoesNotKnow) {
  for (bool Intel : {true, false}) {
    TAnnotData D;
    D.Intel = Intel;
    if (!Intel) D.B[4] = 0;
    D.Named(2, "OiGroup", {'7', 0});
    D.Attributes(0);  // type 0: no mark
    D.Attributes(4);
    D.Named(6, "OiAnoDat", TAnnotData::Ints({1, 1, 9, 8}));
    D.Named(6, "OiFilNam", {'a', '.', 't', 'i', 'f', 0});
    D.Named(6, "Unknown", {1, 2, 3});
    D.Int(99);  // a block type no one knows: only its 8 header bytes are passed
    D.Int(0);
    D.Attributes(1);  // an image mark without its image
    D.Int(0);         // four bytes cannot start a block
    TIEImagingAnnot A;
    Load(A, D.B);
    ASSERT_EQ(A.Marks.size(), 2u) << Intel;
    ASSERT_EQ(A.Marks[0]->PointCount(), 1) << Intel;
    EXPECT_EQ(A.Marks[0]->Points[0].X, 9);
    EXPECT_EQ(A.Marks[1]->MarkType(), 1);
    EXPECT_EQ(A.Marks[1]->Image, nullptr);
  }
  TAnnotData One;
  One.Attributes(9);  // one attribute block and nothing else: a mark of attributes only
  TIEImagingAnnot A;
  Load(A, One.B);
  ASSERT_EQ(A.Marks.size(), 1u);
  EXPECT_FALSE(A.Marks[0]->Text.has_value());
  Load(A, One.B);  // marks are appended
  EXPECT_EQ(A.Marks.size(), 2u);
}

// Each bad element ends the parse there: the complete mark before it stays, its own mark goes.
TEST_F(AnnotationsTest, DataThatLiesEndsTheParseKeepingEarlierMarks) {
  struct Case {
    const char* Name;
    void (*Bad)(TAnnotData&);
    size_t Kept = 1;
  };
  const Case Cases[] = {
      {"named block of size -4", [](TAnnotData& D) { D.Named(6, "OiGroup", {'0', 0}, -4); }},
      {"named block longer than the data", [](TAnnotData& D) { D.Named(6, "OiDIB", {1, 2}, 1000); }},
      {"10 MB point count", [](TAnnotData& D) { D.Named(6, "OiAnoDat", TAnnotData::Ints({10000000, 10000000, 1, 1})); }},
      {"negative point count", [](TAnnotData& D) { D.Named(6, "OiAnoDat", TAnnotData::Ints({-1, -1})); }},
      {"point list of 4 bytes", [](TAnnotData& D) { D.Named(6, "OiAnoDat", TAnnotData::Ints({2})); }},
      {"text without its zero", [](TAnnotData& D) { D.Named(6, "OiIndex", {'1', '2'}); }},
      {"text block without its zero", [](TAnnotData& D) {
         Bytes T = TAnnotData::TextBlock("abc", 7500);
         T.pop_back();
         D.Named(6, "OiAnText", T);
       }},
      {"text block of 12 bytes", [](TAnnotData& D) { D.Named(6, "OiAnText", TAnnotData::Ints({0, 1000, 7500})); }},
      {"named block header cut", [](TAnnotData& D) {
         D.Int(6);
         D.Int(12);
         D.Raw({'O', 'i', 'D'});
       }},
      // The line mark before it is whole: only the cut one goes.
      {"attribute block cut", [](TAnnotData& D) {
         D.Int(5);
         D.Int(164);
         D.Raw(Bytes(100, 0));
       }, 2},
  };
  for (const Case& c : Cases) {
    TAnnotData D;
    D.Attributes(7);
    D.Named(6, "OiAnText", TAnnotData::TextBlock("first", 7500));
    D.Attributes(c.Name[0] == 't' ? 8 : 3);  // the mark the bad element belongs to
    c.Bad(D);
    if (std::strstr(c.Name, "cut") == nullptr) D.Attributes(9);  // never reached
    TIEImagingAnnot A;
    Load(A, D.B);
    ASSERT_EQ(A.Marks.size(), c.Kept) << c.Name;
    EXPECT_EQ(A.Marks[0]->Text.value_or(""), "first") << c.Name;
  }
  for (int32_t Length : {0, 4, 7}) {
    TAnnotData D;
    TIEImagingAnnot A;
    A.LoadFromBuffer(D.B.data(), Length);
    EXPECT_TRUE(A.Marks.empty());
  }
}

// An embedded image whose DIB does not hold together is not read; the mark stays without it.
TEST_F(AnnotationsTest, AnEmbeddedImageMustFitItsBlock) {
  auto Dib = [](int32_t Width, int32_t Height, int16_t Bits, size_t Pixels) {
    Bytes B = TAnnotData::Ints({40, Width, Height});
    B.insert(B.end(), {1, 0, uint8_t(Bits), uint8_t(Bits >> 8)});
    const Bytes Rest = TAnnotData::Ints({0, 0, 0, 0, 0, 0});
    B.insert(B.end(), Rest.begin(), Rest.end());
    B.resize(B.size() + Pixels, 0x80);
    return B;
  };
  struct Case {
    const char* Name;
    Bytes Block;
    bool Read;
  };
  const Case Cases[] = {
      {"2 x 2 at 24 bits", Dib(2, 2, 24, 16), true},
      {"rows past the block", Dib(2, 2, 24, 15), false},
      {"huge size", Dib(100000, 100000, 24, 16), false},
      {"negative width", Dib(-2, 2, 24, 16), false},
      {"odd depth", Dib(2, 2, 7, 64), false},
      {"8 bits without room for its table", Dib(2, 2, 8, 16), false},
      {"header only", Bytes(20, 0), false},
  };
  for (const Case& c : Cases) {
    TAnnotData D;
    D.Attributes(1);
    D.Named(6, "OiDIB", c.Block);
    TIEImagingAnnot A;
    Load(A, D.B);
    ASSERT_EQ(A.Marks.size(), 1u) << c.Name;
    EXPECT_EQ(A.Marks[0]->Image != nullptr, c.Read) << c.Name;
    if (c.Read) {
      EXPECT_EQ(A.Marks[0]->Image->GetWidth(), 2);
    }
  }
}

}  // namespace
