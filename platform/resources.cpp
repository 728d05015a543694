#include "platform/resources.h"

#include <cctype>
#include <map>
#include <mutex>

namespace zv {

namespace {

std::string ResourceKey(const std::string& Name) {
  std::string Key = Name;
  for (char& C : Key) C = char(std::toupper(static_cast<unsigned char>(C)));
  return Key;
}

// Resources are registered by start-up steps and read from any thread that loads a bitmap.
struct TRegistry {
  std::mutex Lock;
  std::map<std::string, TBitmapResourceFactory> Factories;
};

TRegistry& Registry() {
  static TRegistry* R = new TRegistry;  // lives to the end of the program; never torn down under a user
  return *R;
}

}  // namespace

void RegisterBitmapResource(const std::string& Name, TBitmapResourceFactory Factory) {
  TRegistry& R = Registry();
  std::lock_guard<std::mutex> Guard(R.Lock);
  R.Factories[ResourceKey(Name)] = std::move(Factory);
}

bool BitmapResourceExists(const std::string& Name) {
  TRegistry& R = Registry();
  std::lock_guard<std::mutex> Guard(R.Lock);
  return R.Factories.count(ResourceKey(Name)) != 0;
}

std::unique_ptr<TBitmap> LoadBitmapResource(const std::string& Name) {
  TBitmapResourceFactory Factory;
  {
    TRegistry& R = Registry();
    std::lock_guard<std::mutex> Guard(R.Lock);
    auto It = R.Factories.find(ResourceKey(Name));
    if (It == R.Factories.end()) return nullptr;
    Factory = It->second;
  }
  // The factory runs outside the lock: it draws, and drawing may load other resources.
  return Factory ? Factory() : nullptr;
}

}  // namespace zv
