#include "imaging/core/sys_text.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "imaging/core/bitmap.h"
#include "imaging/core/proc_hooks.h"
#include "platform/lists.h"
#include "platform/forms.h"
#include "platform/windows.h"

using namespace zv;

// ---- Byte order ---------------------------------------------------------------------------------------

TEST(SysText, ByteOrder) {
  EXPECT_EQ(SwapWordBytes(0xAABB1234u), 0xAABB3412u);
  EXPECT_EQ(SwapDWordBytes(0x12345678u), 0x78563412u);
  for (uint32_t v : {0u, 1u, 0x80000000u, 0xDEADBEEFu}) EXPECT_EQ(SwapDWordBytes(SwapDWordBytes(v)), v);
  EXPECT_EQ(SwapWordIf(0x1234, true), 0x3412);
  EXPECT_EQ(SwapWordIf(0x1234, false), 0x1234);
  EXPECT_EQ(SwapDWordIf(0x12345678u, true), 0x78563412u);
  EXPECT_EQ(SwapDWordIf(0x12345678u, false), 0x12345678u);

  uint8_t words[6] = {1, 2, 3, 4, 5, 6};
  EXPECT_EQ(SwapWordArray(words, 2), words + 4);
  EXPECT_EQ(std::vector<uint8_t>(words, words + 6), (std::vector<uint8_t>{2, 1, 4, 3, 5, 6}));
}

// ---- Files, URLs and windows --------------------------------------------------------------------------

TEST(SysText, UrlKinds) {
  const std::pair<const char*, int> table[] = {
      {"http://host/a.gif", 1}, {"HTTPS://host/a.gif", 2}, {"Ftp://host/a.gif", 3},
      {"/home/me/http://x", 0}, {"c:\\https\\a.gif", 0},   {"http:/host", 0},
      {"", 0},
  };
  for (const auto& [name, kind] : table) EXPECT_EQ(UrlKind(name), kind) << name;
}

namespace {
LRESULT PlainWindowProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return DefWindowProc(wnd, msg, wParam, lParam);
}
}  // namespace

TEST(SysText, ScrollBarWrappersSetWhatTheyAreAskedFor) {
  WNDCLASS wc;
  wc.lpfnWndProc = PlainWindowProc;
  wc.lpszClassName = "IEScrollTestWnd";
  RegisterClass(&wc);
  HWND wnd = CreateWindow("IEScrollTestWnd", "", WS_POPUP | WS_VSCROLL | WS_HSCROLL, 0, 0, 200, 200, nullptr,
                          nullptr, nullptr, nullptr);
  ASSERT_NE(wnd, nullptr);
  for (bool flat : {false, true}) {
    SetScrollBarInfo(wnd, SB_VERT, 0, 999, 100, 250, false, flat);
    SCROLLINFO info;
    info.fMask = SIF_ALL;
    ASSERT_TRUE(GetScrollInfo(wnd, SB_VERT, &info));
    EXPECT_EQ(info.nMax, 999);
    EXPECT_EQ(info.nPage, 100u);
    EXPECT_EQ(info.nPos, 250);
    EXPECT_TRUE(SetScrollBarRange(wnd, SB_HORZ, 10, 500, false, flat));
    SetScrollBarPos(wnd, SB_HORZ, 40, false, flat);
    info.fMask = SIF_ALL;
    ASSERT_TRUE(GetScrollInfo(wnd, SB_HORZ, &info));
    EXPECT_EQ(info.nMin, 10);
    EXPECT_EQ(info.nMax, 500);
    EXPECT_EQ(info.nPos, 40);
  }
  DestroyWindow(wnd);
}

TEST(SysText, SettingsHoldersStartAtTheirDefaults) {
  TIEScrollBarParams bar;
  EXPECT_EQ(bar.LineStep(), -1);
  EXPECT_EQ(bar.PageStep(), -1);
  EXPECT_TRUE(bar.Tracking());
  TIEMouseWheelParams wheel;
  EXPECT_FALSE(wheel.Invert());
  EXPECT_EQ(wheel.Action(), 2);
  EXPECT_TRUE(wheel.Variation());
  EXPECT_EQ(wheel.Value(), 8);
  EXPECT_EQ(wheel.ZoomPosition(), 0);
}

// ---- XMP ----------------------------------------------------------------------------------------------

TEST(SysText, XmpPackets) {
  void* data = nullptr;
  int32_t len = 0;
  BuildXMPPayload("<x:xmpmeta/>", data, len);
  ASSERT_EQ(len, 29 + 12);
  const auto* bytes = static_cast<const uint8_t*>(data);
  EXPECT_EQ(0, std::memcmp(bytes, "http://ns.adobe.com/xap/1.0/\0", 29));
  EXPECT_EQ(IsXMPPayload(data, len), bytes + 29);
  std::string xmp = "old";
  EXPECT_TRUE(ExtractXMP(data, len, xmp));
  EXPECT_EQ(xmp, "<x:xmpmeta/>");

  EXPECT_EQ(IsXMPPayload(data, 29), nullptr);  // too short, whatever it holds
  std::free(data);

  // The signature's start without any zero byte inside the payload is no packet.
  const std::string noZero = std::string("http://ns.adobe.com/xap/") + std::string(20, 'z');
  EXPECT_EQ(IsXMPPayload(noZero.data(), int32_t(noZero.size())), nullptr);
  const std::string other = std::string("Exif") + std::string(40, '\0');
  xmp = "kept";
  EXPECT_FALSE(ExtractXMP(other.data(), int32_t(other.size()), xmp));
  EXPECT_EQ(xmp, "kept");
}

// ---- Numbers and text ---------------------------------------------------------------------------------

TEST(SysText, FloatToRationalTable) {
  struct Case {
    double value;
    int32_t num, den;
  };
  const Case cases[] = {
      {0.5, 1, 2},      {3, 3, 1},          {-0.25, -1, 4},        {1e-20, 1, 999999999},
      {-1e-20, -1, 999999999}, {1e20, 999999999, 1}, {0, 0, 1}, {0.75, 3, 4},
      {1.0 / 3, 1, 3},  {-2.5, -5, 2},      {3.14159265358979, 103993, 33102},
      {5e9, 999999999, 1},
  };
  for (const Case& c : cases) {
    int32_t num = -7, den = -7;
    EXPECT_EQ(FloatToRational(num, den, c.value, 5e-9), c.num) << c.value;
    EXPECT_EQ(num, c.num) << c.value;
    EXPECT_EQ(den, c.den) << c.value;
  }
  // A tolerance no fraction can meet stops at the best one that fits in 32 bits.
  int32_t num = 0, den = 0;
  FloatToRational(num, den, 0.1234567890123, 0);
  EXPECT_GT(den, 0);
  EXPECT_NEAR(double(num) / den, 0.1234567890123, 1e-15);
}

TEST(SysText, FloatToStrPointIgnoresTheLocaleSeparator) {
  const char saved = FormatSettings.DecimalSeparator;
  FormatSettings.DecimalSeparator = ',';
  EXPECT_EQ(FloatToStrPoint(1.5L), "1.5");
  std::string s;
  FloatToStrPointDirect(s, -0.25L);
  EXPECT_EQ(s, "-0.25");
  FormatSettings.DecimalSeparator = saved;
  EXPECT_EQ(FloatToStrPoint(2.0L), "2");
}

TEST(SysText, TextWrappers) {
  const std::tuple<const char*, bool, const char*> exts[] = {
      {"photo.JPG", false, "jpg"}, {"photo.JPG", true, ".jpg"}, {"/a.b/noext", false, ""},
      {"x.tar.Gz", true, ".gz"},   {"", true, ""},
  };
  for (const auto& [name, dot, want] : exts) {
    EXPECT_EQ(IEExtractFileExt(name, dot), want) << name;
    EXPECT_EQ(IEExtractFileExtW(name, dot), want) << name;
  }
  EXPECT_EQ(IETrim("  a b \t"), "a b");
  EXPECT_EQ(IEUpperCase("aBc"), "ABC");
  EXPECT_EQ(IELowerCase("aBc"), "abc");
  EXPECT_EQ(IEIntToStr(-42), "-42");
  EXPECT_EQ(IEStrToIntDef("12x", 7), 7);
  EXPECT_EQ(IEStrToIntDef("$1F", 7), 31);
  EXPECT_EQ(IECopy("abcdef", 2, 3), "bcd");
  EXPECT_EQ(IEIntToHex(255, 4), "00FF");
  EXPECT_EQ(IEPos("cd", "abcdef"), 3);
  EXPECT_EQ(IEFloatToStrF(1.26L, ffFixed, 15, 1), "1.3");
  EXPECT_EQ(SelectInt(true, 1, 2), 1);
  EXPECT_EQ(SelectDouble(false, 1.5, 2.5), 2.5);

  char* copy = NewStrCopy("text");
  ASSERT_NE(copy, nullptr);
  EXPECT_STREQ(copy, "text");
  std::free(copy);
  EXPECT_EQ(NewStrCopy(nullptr), nullptr);

  uint8_t a[16] = {1, 2, 3}, b[16] = {1, 2, 3};
  EXPECT_TRUE(SameGUID(a, b));
  b[15] = 1;
  EXPECT_FALSE(SameGUID(a, b));
}

TEST(SysText, FontStylesAndListCopy) {
  LOGFONT lf;
  lf.lfWeight = 700;
  lf.lfStrikeOut = 1;
  EXPECT_EQ(LogFontStyles(&lf), TFontStyles({fsBold, fsStrikeOut}));
  lf.lfWeight = 699;
  lf.lfItalic = 1;
  lf.lfUnderline = 1;
  lf.lfStrikeOut = 0;
  EXPECT_EQ(LogFontStyles(&lf), TFontStyles({fsItalic, fsUnderline}));
  EXPECT_TRUE(LogFontStyles(nullptr).Empty());

  int items[3];
  TList source, dest;
  for (int& i : items) source.Add(&i);
  dest.Add(&items[2]);
  dest.Add(&items[2]);
  dest.Add(&items[2]);
  dest.Add(&items[2]);
  CopyListItems(&source, &dest);
  ASSERT_EQ(dest.Count(), 3);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(dest.Items(i), &items[i]);
}

// ---- Bitmaps and pixels -------------------------------------------------------------------------------

TEST(SysText, GrayColorTables) {
  TBitmap bmp;
  bmp.SetPixelFormat(pf8bit);
  bmp.SetSize(4, 4);
  SetGrayColorTable(&bmp);
  EXPECT_TRUE(IsGrayColorTable(&bmp));
  std::vector<RGBQUAD> table = bmp.ColorTable();
  ASSERT_EQ(table.size(), 256u);
  table[77].rgbGreen = 78;
  bmp.SetColorTable(table);
  EXPECT_FALSE(IsGrayColorTable(&bmp));

  TIEBitmap ie(4, 4, ie8p);
  CopyColorTableToIEBitmap(&bmp, &ie);
  EXPECT_EQ(ie.GetPaletteColor(77), (TIERGB24{77, 78, 77}));
  EXPECT_EQ(ie.GetPaletteColor(200), (TIERGB24{200, 200, 200}));

  TIEBitmap rgb(4, 4, ie24RGB);
  CopyColorTableToIEBitmap(&bmp, &rgb);  // not a palette bitmap: left alone
  EXPECT_EQ(rgb.GetPixelFormat(), ie24RGB);
}

TEST(SysText, YCbCrTable) {
  struct Case {
    int y, cb, cr;
    TIERGB24 want;
  };
  const Case cases[] = {
      {128, 128, 128, {128, 128, 128}},
      {0, 128, 128, {0, 0, 0}},
      {255, 128, 128, {255, 255, 255}},
      {76, 85, 255, {0, 0, 254}},   // red: 76 + 1.402 x 127 = 254.05
      {100, 0, 128, {0, 144, 100}},  // blue clamps at 0, green 100 + 0.34414 x 128 = 144.05
      {255, 255, 255, {255, 120, 255}},  // green 255 - 43.7 - 90.7
  };
  for (const Case& c : cases) {
    TIERGB24 got{9, 9, 9};
    YCbCrToRGB(got, c.y, c.cb, c.cr);
    EXPECT_EQ(got, c.want) << c.y << "," << c.cb << "," << c.cr;
  }
}

class ExifOrientationTest : public ::testing::Test {
protected:
  void SetUp() override {
    saved = ProcessingHooks;
    ProcessingHooks.FlipBitmap = [this](TIEBitmap*, int32_t d) { calls += d == 0 ? "LR " : "TB "; };
    ProcessingHooks.RotateRGB24 = [this](TIEBitmap*, bool, TObject*, const TIEProgressEvent&, TColor bg,
                                         double angle) {
      EXPECT_EQ(bg, clBlack);
      calls += angle > 0 ? "R+90 " : "R-90 ";
    };
  }
  void TearDown() override { ProcessingHooks = saved; }

  TProcessingHooks saved;
  std::string calls;
};

TEST_F(ExifOrientationTest, EachOrientationTurnsAsExif) {
  const std::pair<int, const char*> table[] = {
      {0, ""},           {1, ""},      {2, "LR "},      {3, "TB LR "}, {4, "TB "},
      {5, "R+90 LR "},   {6, "R-90 "}, {7, "R-90 LR "}, {8, "R+90 "},  {9, ""},
  };
  TIEBitmap bmp(2, 2, ie24RGB);
  for (const auto& [orientation, want] : table) {
    calls.clear();
    EXPECT_TRUE(ApplyExifOrientation(&bmp, orientation));
    EXPECT_EQ(calls, want) << orientation;
  }
  ProcessingHooks = TProcessingHooks();
  EXPECT_FALSE(ApplyExifOrientation(&bmp, 6));  // nothing could turn it
  EXPECT_TRUE(ApplyExifOrientation(&bmp, 1));
}

TEST(FindWindowHandleTest, WalksTheOwnerChainToTheFirstWindowedControl) {
  auto* Form = new TForm(nullptr);
  auto* Owned = new TComponent(Form);
  EXPECT_EQ(FindWindowHandle(Owned), nullptr);  // no window made yet
  HWND Handle = Form->Handle();
  ASSERT_NE(Handle, nullptr);
  EXPECT_EQ(FindWindowHandle(Owned), Handle);
  EXPECT_EQ(FindWindowHandle(Form), Handle);
  TComponent Loose(nullptr);
  EXPECT_EQ(FindWindowHandle(&Loose), nullptr);
  delete Form;
}
