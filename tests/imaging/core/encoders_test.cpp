#include "imaging/core/encoders.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "platform/streams.h"

using namespace zv;

namespace {

std::vector<uint8_t> Bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

// ---- ASCII85 ---------------------------------------------------------------------------------------

std::string A85Group(const std::vector<uint8_t>& in) {
  char out[8] = {};
  const uint8_t* src = in.data();
  char* dst = out;
  int32_t n = ASCII85EncodeGroup(src, int32_t(in.size()), dst);
  EXPECT_EQ(src, in.data() + in.size());
  EXPECT_EQ(dst, out + n);
  return std::string(out, size_t(n));
}

std::string A85Buffer(const std::vector<uint8_t>& in, int32_t* dataChars = nullptr) {
  std::string out(size_t(ASCII85EncodedSize(int64_t(in.size()))), '\0');
  const uint8_t* src = in.data();
  char* dst = out.data();
  int32_t written = 0;
  int32_t n = ASCII85EncodeBuffer(src, int32_t(in.size()), dst, written);
  EXPECT_EQ(dst, out.data() + n);
  EXPECT_LE(size_t(n), out.size());
  if (dataChars) *dataChars = written;
  out.resize(size_t(n));
  return out;
}

TEST(ASCII85Test, GroupVectors) {
  EXPECT_EQ(A85Group({0, 0, 0, 0}), "z");
  EXPECT_EQ(A85Group({0}), "!!");
  EXPECT_EQ(A85Group({0, 0}), "!!!");
  EXPECT_EQ(A85Group(Bytes("Man ")), "9jqo^");
  EXPECT_EQ(A85Group(Bytes("sure")), "F*2M7");
  EXPECT_EQ(A85Group(Bytes("Man")), "9jqo");  // three bytes give four characters
  EXPECT_EQ(A85Group({0xFF, 0xFF, 0xFF, 0xFF}), "s8W-!");  // unsigned division
}

TEST(ASCII85Test, BufferLinesAndEndMarker) {
  std::vector<uint8_t> in(76);
  for (size_t i = 0; i < in.size(); ++i) in[i] = uint8_t(i + 1);
  int32_t data = 0;
  std::string out = A85Buffer(in, &data);
  EXPECT_EQ(data, 95);
  ASSERT_EQ(out.size(), 95u + 2 + 4);
  EXPECT_EQ(out.substr(75, 2), "\r\n");  // after the 15th group
  EXPECT_EQ(out.find('\r'), 75u);
  EXPECT_EQ(out.substr(out.size() - 4), "~>\r\n");

  EXPECT_EQ(A85Buffer({0, 0, 0, 0, 0}), "z!!~>\r\n");
  // Written accumulates across calls.
  const uint8_t one[1] = {0};
  const uint8_t* src = one;
  char buf[16];
  char* dst = buf;
  int32_t written = 10;
  ASCII85EncodeBuffer(src, 1, dst, written);
  EXPECT_EQ(written, 12);
}

TEST(ASCII85Test, SizeBoundHoldsForAllShortInputsAndZeroRuns) {
  std::mt19937 random(3);
  for (int n = 1; n < 400; ++n) {
    std::vector<uint8_t> in(static_cast<size_t>(n));
    for (auto& b : in) b = uint8_t(n % 3 == 0 ? 0 : random());
    std::string out = A85Buffer(in);
    EXPECT_LE(int64_t(out.size()), ASCII85EncodedSize(n));
    std::vector<uint8_t> back(static_cast<size_t>(n));
    EXPECT_EQ(ASCII85Decode(out.data(), int32_t(out.size()), back.data(), n), n);
    EXPECT_EQ(back, in);
  }
}

TEST(ASCII85Test, DecoderRefusesBadText) {
  uint8_t out[8];
  for (const char* bad : {"!",        // a lone final character
                          "9jqo^~",   // "~" without ">"
                          "9jz",      // "z" inside a group
                          "uuuuu",    // above 2^32 - 1
                          "9j{o^"})   // outside the alphabet
    EXPECT_EQ(ASCII85Decode(bad, int32_t(std::string(bad).size()), out, 8), -1) << bad;
  // Output that would not fit is refused without writing past the buffer.
  uint8_t small[3];
  EXPECT_EQ(ASCII85Decode("9jqo^", 5, small, 3), -1);
  EXPECT_EQ(ASCII85Decode("z", 1, small, 3), -1);
  EXPECT_EQ(ASCII85Decode("9jqo", 4, small, 3), 3);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(small), 3), "Man");
  // Only SrcSize characters are read: the group stops short of the terminating text.
  EXPECT_EQ(ASCII85Decode("9jqo^~>garbage", 7, out, 8), 4);
  EXPECT_EQ(ASCII85Decode("", 0, out, 8), 0);
}

// ---- Run-length ------------------------------------------------------------------------------------

std::vector<uint8_t> Pack(const std::vector<uint8_t>& in) {
  std::vector<uint8_t> out(2 * in.size() + 1);
  int32_t n = PackBitsEncode(in.data(), int32_t(in.size()), out.data());
  EXPECT_LE(size_t(n), out.size());
  out.resize(size_t(n));
  return out;
}

TEST(PackBitsTest, Vectors) {
  std::vector<uint8_t> runs = Pack(std::vector<uint8_t>(130, 'b'));
  EXPECT_EQ(runs, (std::vector<uint8_t>{129, 'b', 255, 'b', 128}));
  EXPECT_EQ(Pack(Bytes("ABCCD")), (std::vector<uint8_t>{2, 'A', 'B', 'C', 1, 'C', 'D', 128}));
  EXPECT_EQ(Pack({}), (std::vector<uint8_t>{128}));
  EXPECT_EQ(Pack({7}), (std::vector<uint8_t>{0, 7, 128}));
  EXPECT_EQ(Pack({7, 7}), (std::vector<uint8_t>{255, 7, 128}));
  // A literal run is cut at 128 bytes.
  std::vector<uint8_t> literal(200);
  for (size_t i = 0; i < literal.size(); ++i) literal[i] = uint8_t(i);
  std::vector<uint8_t> out = Pack(literal);
  EXPECT_EQ(out[0], 127);
  EXPECT_EQ(out[129], 71);
  EXPECT_EQ(out.size(), 1 + 128 + 1 + 72 + 1u);
}

TEST(PackBitsTest, RoundTripsWithinTheStatedBound) {
  std::mt19937 random(9);
  for (int n = 0; n < 600; n += 7) {
    std::vector<uint8_t> in(static_cast<size_t>(n));
    for (auto& b : in) b = uint8_t(random() % 3);  // many short pairs: the worst case
    std::vector<uint8_t> packed = Pack(in);
    std::vector<uint8_t> back(static_cast<size_t>(n) + 1);
    EXPECT_EQ(PackBitsDecode(packed.data(), int32_t(packed.size()), back.data(), n), n);
    back.resize(size_t(n));
    EXPECT_EQ(back, in);
  }
  // Alternating pairs A A B B ... never get runs of their own.
  std::vector<uint8_t> pairs;
  for (int i = 0; i < 300; ++i) pairs.push_back(uint8_t(i / 2 % 2));
  EXPECT_LE(Pack(pairs).size(), 2 * pairs.size() + 1);
}

TEST(PackBitsTest, DecoderStaysInsideBothBuffers) {
  uint8_t out[4] = {0xEE, 0xEE, 0xEE, 0xEE};
  const uint8_t truncatedLiteral[] = {5, 'a', 'b'};
  EXPECT_EQ(PackBitsDecode(truncatedLiteral, 3, out, 4), -1);
  const uint8_t runWithoutByte[] = {254};
  EXPECT_EQ(PackBitsDecode(runWithoutByte, 1, out, 4), -1);
  const uint8_t tooLong[] = {251, 'x'};  // six bytes
  EXPECT_EQ(PackBitsDecode(tooLong, 2, out, 4), -1);
  const uint8_t literalTooLong[] = {4, 1, 2, 3, 4, 5};
  EXPECT_EQ(PackBitsDecode(literalTooLong, 6, out, 4), -1);
  const uint8_t endsEarly[] = {1, 'a', 'b', 128, 0, 'z'};
  EXPECT_EQ(PackBitsDecode(endsEarly, 6, out, 4), 2);
  const uint8_t noEnd[] = {255, 'q'};
  EXPECT_EQ(PackBitsDecode(noEnd, 2, out, 4), 2);
  EXPECT_EQ(out[0], 'q');
  EXPECT_EQ(out[1], 'q');
  EXPECT_EQ(out[2], 0xEE);  // never written by any call
}

// ---- Base64 --------------------------------------------------------------------------------------------

std::string B64(const std::string& in) {
  std::string out;
  for (size_t i = 0; i < in.size(); i += 3) {
    char group[4];
    int32_t n = int32_t(std::min<size_t>(3, in.size() - i));
    Base64EncodeGroup(reinterpret_cast<const uint8_t*>(in.data() + i), group, n);
    out.append(group, 4);
  }
  return out;
}

TEST(Base64Test, StandardVectors) {
  const std::pair<std::string, std::string> cases[] = {
      {"", ""},         {"f", "Zg=="},         {"fo", "Zm8="},         {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"}, {"\xff\xfe\xfd", "//79"}};
  for (auto& [plain, coded] : cases) {
    EXPECT_EQ(B64(plain), coded);
    uint8_t back[16];
    ASSERT_EQ(Base64Decode(coded.data(), int32_t(coded.size()), back, 16), int32_t(plain.size()));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(back), plain.size()), plain);
  }
}

TEST(Base64Test, DecoderRefusesBadText) {
  uint8_t out[8];
  for (const char* bad : {"Zg=", "Z===", "Zg==Zg==", "Zm9*", "Zm9", "=Zg=", "Zg=a"})
    EXPECT_EQ(Base64Decode(bad, int32_t(std::string(bad).size()), out, 8), -1) << bad;
  uint8_t two[2];
  EXPECT_EQ(Base64Decode("Zm9v", 4, two, 2), -1);  // would not fit
  EXPECT_EQ(Base64Decode("Zm\r\n9v", 6, out, 8), 3);
}

std::vector<std::string> Lines(size_t bytes, int32_t lineLength) {
  TMemoryStream stream;
  std::string data(bytes, 'x');
  for (size_t i = 0; i < bytes; ++i) data[i] = char(i * 7);
  stream.Write(data.data(), int64_t(bytes));
  stream.SetPosition(0);
  std::vector<std::string> lines;
  StreamToBase64Text(&stream, [&](const std::string& line) { lines.push_back(line); }, lineLength);
  std::string all;
  for (auto& l : lines) all += l;
  EXPECT_EQ(all, B64(data));
  return lines;
}

TEST(Base64Test, StreamLines) {
  auto lines = Lines(57, 76);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].size(), 76u);
  lines = Lines(58, 76);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1].size(), 4u);
  EXPECT_TRUE(Lines(0, 76).empty());
  lines = Lines(10, 6);  // 1.5 groups per line: a line ends at two groups
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].size(), 8u);
  lines = Lines(200, 76);
  EXPECT_EQ(lines.size(), 4u);
}

TEST(Base64Test, StreamFromItsCurrentPosition) {
  TMemoryStream stream;
  stream.Write("skipfoo", 7);
  stream.SetPosition(4);
  std::vector<std::string> lines;
  StreamToBase64Text(&stream, [&](const std::string& line) { lines.push_back(line); }, 76);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], "Zm9v");
}

}  // namespace
