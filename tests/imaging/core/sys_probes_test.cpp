#include "imaging/core/sys_probes.h"

#include <gtest/gtest.h>

#include <fstream>

#include "imaging/core/globals.h"
#include "platform/sysutils.h"

using namespace zv;

namespace {

// Folder + "IMG-" + eight upper-case hexadecimal digits + ".tmp".
bool IsTempName(const std::string& name, const std::string& folder) {
  const std::string head = folder + "IMG-";
  if (name.size() != head.size() + 12 || name.compare(0, head.size(), head) != 0) return false;
  for (size_t i = head.size(); i < head.size() + 8; ++i)
    if (!((name[i] >= '0' && name[i] <= '9') || (name[i] >= 'A' && name[i] <= 'F'))) return false;
  return name.compare(head.size() + 8, 4, ".tmp") == 0;
}

TEST(TempNameTest, FormAndRedrawWhileTaken) {
  std::string folder = IncludeTrailingPathDelimiter(ZV_TEST_TMP);
  ForceDirectories(folder);
  SetRandSeed(1234);
  std::string first = MakeTempFileName("IMG", folder);
  EXPECT_TRUE(IsTempName(first, folder)) << first;
  std::ofstream(first).put('x');
  SetRandSeed(1234);  // the same draw again finds the name taken and draws once more
  std::string second = MakeTempFileName("IMG", folder);
  EXPECT_NE(second, first);
  EXPECT_FALSE(FileExists(second));
  EXPECT_TRUE(IsTempName(second, folder)) << second;
  DeleteFile(first);
}

TEST(TempNameTest, TempFolderSettingIsUsed) {
  std::string saved = TempFolder;
  TempFolder.clear();
  EXPECT_EQ(TempFilesFolder(), GetTempPath());
  TempFolder = "/some/where";
  EXPECT_EQ(TempFilesFolder(), "/some/where/");
  TempFolder = "/some/where/";
  EXPECT_EQ(TempFilesFolder(), "/some/where/");
  TempFolder = saved;
}

TEST(TaggedBlockTest, SourceChosenBySize) {
  void* small = AllocTaggedBlock(TaggedBlockHeapLimit - 1);
  ASSERT_NE(small, nullptr);
  EXPECT_FALSE(TaggedBlockIsGlobal(small));
  static_cast<uint8_t*>(small)[TaggedBlockHeapLimit - 2] = 1;  // the whole size is usable
  FreeTaggedBlock(small);
  EXPECT_EQ(small, nullptr);

  void* large = AllocTaggedBlock(TaggedBlockHeapLimit);
  ASSERT_NE(large, nullptr);
  EXPECT_TRUE(TaggedBlockIsGlobal(large));
  const uint8_t* bytes = static_cast<const uint8_t*>(large);
  bool zero = true;
  for (int64_t i = 0; i < TaggedBlockHeapLimit; ++i) zero = zero && bytes[i] == 0;
  EXPECT_TRUE(zero);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(large) % 16, 0u);
  FreeTaggedBlock(large);
  EXPECT_EQ(large, nullptr);

  void* none = nullptr;
  FreeTaggedBlock(none);  // freeing nothing is harmless
  EXPECT_EQ(AllocTaggedBlock(-1), nullptr);
  void* empty = AllocTaggedBlock(0);
  EXPECT_NE(empty, nullptr);
  FreeTaggedBlock(empty);
}

TEST(TaggedBlockTest, ImpossibleSizesFailWithoutRaising) {
  EXPECT_EQ(AllocTaggedBlock(INT64_MAX), nullptr);
  EXPECT_EQ(GlobalAllocZeroed(INT64_MAX), nullptr);
  // More than the machine has is a failed allocation, not an abort.
  EXPECT_EQ(AllocTaggedBlock(int64_t(PhysicalMemorySize(false)) + 1), nullptr);
  EXPECT_EQ(AllocTaggedBlock(TaggedBlockHeapLimit - 1 + (int64_t(1) << 46)), nullptr);
  void* p = reinterpret_cast<void*>(1);
  TryGetMem(p, -5);
  EXPECT_EQ(p, nullptr);
  TryGetMem(p, 64);
  ASSERT_NE(p, nullptr);
  std::free(p);
  void* g = GlobalAllocZeroed(32);
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(static_cast<uint8_t*>(g)[31], 0);
  GlobalFreeAndNil(g);
  EXPECT_EQ(g, nullptr);
}

TEST(ProbeTest, MemoryAndProcessors) {
  uint64_t total = PhysicalMemorySize(false);
  uint64_t available = PhysicalMemorySize(true);
  EXPECT_GT(total, 0u);
  EXPECT_LE(available, total);

  int32_t saved = CoreCount;
  CoreCount = -1;
  int32_t cores = ProcessorCoreCount();
  EXPECT_GE(cores, 1);
  EXPECT_EQ(CoreCount, cores);  // counted once and kept
  CoreCount = 3;
  EXPECT_EQ(ProcessorCoreCount(), 3);
  CoreCount = saved;
#if defined(__x86_64__)
  EXPECT_TRUE(CpuHasMMX());  // every x86-64 processor has it
#endif
}

}  // namespace
