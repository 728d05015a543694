// IPTC written by this library is read by exiftool and by Pillow, and IPTC written by exiftool is read
// by this library: the datasets go in an APP13 marker of a small JPEG file that Pillow makes.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "imaging/core/jpeg_markers.h"

using namespace zv;

namespace {

using Bytes = std::vector<uint8_t>;

// Pillow is Debian's, for Debian's own python3.
constexpr const char* Python = "/usr/bin/python3";

std::string Shell(const std::string& Command) {
  std::string Out;
  FILE* P = popen((Command + " 2>/dev/null").c_str(), "r");
  if (P == nullptr) return Out;
  char Buffer[4096];
  size_t N;
  while ((N = fread(Buffer, 1, sizeof Buffer, P)) > 0) Out.append(Buffer, N);
  pclose(P);
  return Out;
}

Bytes ReadFile(const std::string& Path) {
  std::ifstream In(Path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(In), {});
}

void WriteFile(const std::string& Path, const Bytes& B) {
  std::ofstream(Path, std::ios::binary).write(reinterpret_cast<const char*>(B.data()), std::streamsize(B.size()));
}

// The payloads of the markers before the image data, by code.
std::vector<std::pair<uint8_t, Bytes>> JpegMarkers(const Bytes& File) {
  std::vector<std::pair<uint8_t, Bytes>> Out;
  size_t p = 2;
  while (p + 4 <= File.size() && File[p] == 0xFF && File[p + 1] != 0xDA) {
    const size_t Length = size_t(File[p + 2]) << 8 | File[p + 3];
    if (Length < 2 || p + 2 + Length > File.size()) break;
    Out.emplace_back(File[p + 1], Bytes(File.begin() + int64_t(p + 4), File.begin() + int64_t(p + 2 + Length)));
    p += 2 + Length;
  }
  return Out;
}

class IptcInterop : public ::testing::Test {
protected:
  void SetUp() override {
    if (Shell(std::string(Python) + " -c 'import PIL; print(1)'") != "1\n") GTEST_SKIP() << "Pillow is not installed";
    if (Shell("exiftool -ver").empty()) GTEST_SKIP() << "exiftool is not installed";
    std::filesystem::create_directories(ZV_TEST_TMP);
    Base = std::string(ZV_TEST_TMP) + "/iptc-interop-base.jpg";
    Shell(std::string(Python) + " -c \"from PIL import Image; Image.new('RGB', (8, 8), (200, 100, 50)).save('" + Base +
        "', 'JPEG')\"");
    ASSERT_TRUE(std::filesystem::exists(Base));
  }
  void TearDown() override {
    for (const std::string& f : {Base, Ours, Theirs}) std::filesystem::remove(f);
  }
  // Base with the list's block (with the Photoshop wrapper) as an APP13 marker, written to Ours.
  void WriteOurs(const TIEIPTCInfoList& L) {
    void* Buffer = nullptr;
    int32_t Length = 0;
    L.SaveToBuffer(Buffer, Length, true);
    ASSERT_LE(Length, MaxMarkerPayload);
    Bytes File = ReadFile(Base);
    Bytes Segment = {0xFF, 0xED, uint8_t((Length + 2) >> 8), uint8_t(Length + 2)};
    Segment.insert(Segment.end(), static_cast<uint8_t*>(Buffer), static_cast<uint8_t*>(Buffer) + Length);
    std::free(Buffer);
    File.insert(File.begin() + 2, Segment.begin(), Segment.end());
    WriteFile(Ours, File);
  }
  std::string Base, Ours = std::string(ZV_TEST_TMP) + "/iptc-interop-ours.jpg",
                    Theirs = std::string(ZV_TEST_TMP) + "/iptc-interop-theirs.jpg";
};

TEST_F(IptcInterop, OursIsReadByExiftoolAndPillow) {
  TIEIPTCInfoList L;
  auto Add = [&](int32_t Dataset, const std::string& Text) { L.AddData(2, Dataset, Text.data(), int32_t(Text.size())); };
  Add(5, "Harbour at dawn");
  Add(25, "boat");
  Add(25, "sea");
  Add(80, "Ann Example");
  const std::string Caption(40000, 'c');  // past 32767 bytes: the extended length form
  Add(120, Caption);
  WriteOurs(L);
  const std::string Exif = Shell("exiftool -S -IPTC:ObjectName -IPTC:Keywords -IPTC:By-line '" + Ours + "'");
  EXPECT_EQ(Exif, "ObjectName: Harbour at dawn\nKeywords: boat, sea\nBy-line: Ann Example\n");
  EXPECT_EQ(Shell("exiftool -s3 -IPTC:Caption-Abstract '" + Ours + "'"), Caption + "\n");

  // Pillow reads the standard length form only (it takes the extended form's 0x80 for a length of 0),
  // so its file has a caption of 32767 bytes, the longest of that form.
  L.Clear();
  Add(5, "Harbour at dawn");
  Add(25, "boat");
  Add(25, "sea");
  Add(120, std::string(32767, 'c'));
  WriteOurs(L);
  // One line per value: record, dataset, length, the first 16 bytes.
  const std::string Script =
      "from PIL import Image, IptcImagePlugin\n"
      "info = IptcImagePlugin.getiptcinfo(Image.open('" + Ours + "'))\n"
      "for key in sorted(info):\n"
      "    for v in (info[key] if isinstance(info[key], list) else [info[key]]):\n"
      "        print(key[0], key[1], len(v), v[:16].decode('latin-1'))\n";
  EXPECT_EQ(Shell(std::string(Python) + " -c \"" + Script + "\""),
            "2 5 15 Harbour at dawn\n"
            "2 25 4 boat\n"
            "2 25 3 sea\n"
            "2 120 32767 cccccccccccccccc\n");
}

TEST_F(IptcInterop, ExiftoolsIsReadByUs) {
  std::filesystem::copy_file(Base, Theirs, std::filesystem::copy_options::overwrite_existing);
  Shell("exiftool -overwrite_original -IPTC:ObjectName='Harbour' -IPTC:Keywords=boat -IPTC:Keywords=sea "
      "-IPTC:By-line='Ann Example' -IPTC:Caption-Abstract='A boat at sea.' '" + Theirs + "'");
  const auto Markers = JpegMarkers(ReadFile(Theirs));
  const Bytes* App13 = nullptr;
  for (const auto& [Code, Payload] : Markers)
    if (Code == 0xED) App13 = &Payload;
  ASSERT_NE(App13, nullptr) << "exiftool wrote no APP13 marker";

  TIEIPTCInfoList L;
  ASSERT_TRUE(L.LoadFromBuffer(App13->data(), int32_t(App13->size())));
  std::multimap<int32_t, std::string> Found;
  for (int32_t i = 0; i < L.GetCount(); ++i) {
    EXPECT_EQ(L.GetRecord(i), 2);
    Found.emplace(L.GetDataset(i), std::string(reinterpret_cast<const char*>(L.GetData(i)), size_t(L.GetItem(i).Length)));
  }
  const std::multimap<int32_t, std::string> Want = {{0, std::string("\0\4", 2)}, {5, "Harbour"}, {25, "boat"}, {25, "sea"},
                                                    {80, "Ann Example"}, {120, "A boat at sea."}};
  EXPECT_EQ(Found, Want);

  // And what we write of it again, exiftool reads as before.
  TIEMarkerList Kept;
  for (const auto& [Code, Payload] : Markers) Kept.AddMarker(Code, Payload.data(), int32_t(Payload.size()));
  void* Buffer = nullptr;
  int32_t Length = 0;
  L.SaveToBuffer(Buffer, Length, true);
  ASSERT_TRUE(Kept.SetMarker(Kept.IndexOf(0xED), 0xED, Buffer, Length));
  std::free(Buffer);
  Bytes File = ReadFile(Theirs);
  Bytes Rebuilt = {0xFF, 0xD8};
  size_t Skip = 2;
  for (const auto& [Code, Payload] : Markers) Skip += 4 + Payload.size();
  Kept.SortMarkers();
  for (int32_t i = 0; i < Kept.GetCount(); ++i) {
    const int32_t n = Kept.GetMarkerLength(i) + 2;
    Rebuilt.insert(Rebuilt.end(), {0xFF, Kept.GetMarkerType(i), uint8_t(n >> 8), uint8_t(n)});
    Rebuilt.insert(Rebuilt.end(), Kept.GetMarkerData(i), Kept.GetMarkerData(i) + Kept.GetMarkerLength(i));
  }
  Rebuilt.insert(Rebuilt.end(), File.begin() + int64_t(Skip), File.end());
  WriteFile(Ours, Rebuilt);
  const std::string Exif = Shell("exiftool -S -IPTC:ObjectName -IPTC:Keywords -IPTC:Caption-Abstract '" + Ours + "'");
  EXPECT_EQ(Exif, "ObjectName: Harbour\nKeywords: boat, sea\nCaption-Abstract: A boat at sea.\n");
}

}  // namespace
