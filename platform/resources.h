// The program's named bitmap resources: artwork drawn by our own code at start-up and looked up by
// name, the way a Windows program loads bitmaps compiled into its executable.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/graphics.h"

namespace zv {

// Makes a fresh bitmap of the resource each time it is loaded.
using TBitmapResourceFactory = std::function<std::unique_ptr<TBitmap>()>;

// Registers (or replaces) the bitmap resource Name; names compare without regard to case.
void RegisterBitmapResource(const std::string& Name, TBitmapResourceFactory Factory);
bool BitmapResourceExists(const std::string& Name);
// A new bitmap of the resource; nullptr when no resource of that name is registered.
std::unique_ptr<TBitmap> LoadBitmapResource(const std::string& Name);

}  // namespace zv
