// Temporary file names, memory blocks that fall back from the memory manager to the global heap,
// and probes of physical memory, processor cores and processor features.
#pragma once

#include <cstdint>
#include <string>

namespace zv {

// ---- Temporary names -------------------------------------------------------------------------------

// Folder + Prefix + "-" + eight upper-case hexadecimal digits + ".tmp", drawn again while something
// has that name (a file, a folder, a link even when it dangles). Folder ends with a path separator. The
// name is not reserved: the caller creates the file exclusively and draws again when it is taken.
std::string MakeTempFileName(const std::string& Prefix, const std::string& Folder);
// Where the numbers of temporary names come from (31 bits each). By default the system's entropy
// source, drawn afresh for every name, so that names cannot be foreseen and no two processes, a forked
// child either, draw the same ones. Tests set their own to know the next name.
extern uint32_t (*TempNameNumberSource)();
uint32_t SystemTempNameNumber();

// ---- Memory blocks -----------------------------------------------------------------------------------

// Blocks below 1 MiB come from the memory manager (not zeroed), falling back to the global heap when
// it fails; blocks of 1 MiB or more come zero-filled from the global heap. nullptr when neither has
// the memory, for a negative size, or for more than the machine's physical memory (the same limit
// holds for TryGetMem and GlobalAllocZeroed). Free only with FreeTaggedBlock.
constexpr int64_t TaggedBlockHeapLimit = 1048576;
void* AllocTaggedBlock(int64_t Size);
// Whether a block of Size bytes may be asked of the allocators at all: not more than the machine's
// physical memory (some allocators abort instead of failing on larger requests).
bool MemoryCanHold(int64_t Size);
// Frees a block of AllocTaggedBlock by the allocator that made it and sets P to nullptr.
void FreeTaggedBlock(void*& P);
// Whether a block came from the global heap (and so was zero-filled).
bool TaggedBlockIsGlobal(const void* P);

// P := a block from the memory manager, or nullptr when it has none. Free with std::free.
void TryGetMem(void*& P, int64_t Size);

// A zero-filled fixed block of the global heap, or nullptr.
void* GlobalAllocZeroed(int64_t Size);
void GlobalFreeAndNil(void*& P);

// ---- Probes --------------------------------------------------------------------------------------------

// Available or total physical memory in bytes.
uint64_t PhysicalMemorySize(bool Available);
// Processor cores, counted once and kept in CoreCount; at least 1.
int32_t ProcessorCoreCount();
bool CpuHasMMX();

}  // namespace zv
