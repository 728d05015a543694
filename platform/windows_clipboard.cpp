// The clipboard: blocks per format kept in the process, text shared with the desktop by the back end.
#include <cstring>
#include <map>

#include "platform/backend.h"
#include "platform/windows.h"
#include "platform/windows_internal.h"

namespace zv {

namespace {

struct TClipboard {
  bool open = false;
  HWND owner = nullptr;
  std::map<UINT, HGLOBAL> data;
  std::map<std::string, UINT> names;
  bool textChanged = false;
  std::string exported;  // what we last gave the desktop, to recognise our own text coming back
} g_clip;

std::string Upper(const char* s) {
  std::string r = s;
  for (char& c : r) c = char(std::toupper(static_cast<unsigned char>(c)));
  return r;
}

HGLOBAL BlockFromBytes(const void* p, size_t n) {
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, n);
  if (!h) return nullptr;
  if (void* d = GlobalLock(h)) {
    std::memcpy(d, p, n);
    GlobalUnlock(h);
  }
  return h;
}

std::string TextOfBlock(HGLOBAL h) {
  std::string s;
  if (!h) return s;
  size_t n = GlobalSize(h);
  if (const char* p = static_cast<const char*>(GlobalLock(h))) {
    s.assign(p, strnlen(p, n));
    GlobalUnlock(h);
  }
  return s;
}

std::u16string Utf16Of(const std::string& s) {
  std::u16string r;
  size_t i = 0;
  while (i < s.size()) {
    uint32_t cp = uint8_t(s[i]);
    int len = cp < 0x80 ? 1 : cp < 0xE0 ? 2 : cp < 0xF0 ? 3 : 4;
    if (len > 1) cp &= (0xFFu >> (len + 1));
    for (int k = 1; k < len && i + size_t(k) < s.size(); ++k) cp = (cp << 6) | (uint8_t(s[i + size_t(k)]) & 0x3F);
    i += size_t(len);
    if (cp >= 0x10000) {
      cp -= 0x10000;
      r.push_back(char16_t(0xD800 + (cp >> 10)));
      r.push_back(char16_t(0xDC00 + (cp & 0x3FF)));
    } else {
      r.push_back(char16_t(cp));
    }
  }
  return r;
}

std::string Utf8Of(const char16_t* p, size_t n) {
  std::string r;
  for (size_t i = 0; i < n; ++i) {
    uint32_t cp = p[i];
    if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < n && p[i + 1] >= 0xDC00 && p[i + 1] < 0xE000) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (p[i + 1] - 0xDC00);
      ++i;
    }
    if (cp < 0x80) r += char(cp);
    else if (cp < 0x800) {
      r += char(0xC0 | (cp >> 6));
      r += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      r += char(0xE0 | (cp >> 12));
      r += char(0x80 | ((cp >> 6) & 0x3F));
      r += char(0x80 | (cp & 0x3F));
    } else {
      r += char(0xF0 | (cp >> 18));
      r += char(0x80 | ((cp >> 12) & 0x3F));
      r += char(0x80 | ((cp >> 6) & 0x3F));
      r += char(0x80 | (cp & 0x3F));
    }
  }
  return r;
}

void Clear() {
  for (auto& [f, h] : g_clip.data) GlobalFree(h);
  g_clip.data.clear();
}

// Text another program put on the desktop's clipboard replaces ours.
void ImportDesktopText() {
  std::string t;
  if (!Backend().ImportClipboardText(t) || t == g_clip.exported) return;
  Clear();
  g_clip.data[CF_TEXT] = BlockFromBytes(t.c_str(), t.size() + 1);
  g_clip.exported = t;
}

}  // namespace

bool OpenClipboard(HWND owner) {
  if (g_clip.open) return false;
  g_clip.open = true;
  g_clip.owner = owner;
  g_clip.textChanged = false;
  ImportDesktopText();
  return true;
}

bool CloseClipboard() {
  if (!g_clip.open) return false;
  g_clip.open = false;
  if (g_clip.textChanged) {
    g_clip.textChanged = false;
    auto it = g_clip.data.find(CF_TEXT);
    std::string t;
    if (it != g_clip.data.end()) t = TextOfBlock(it->second);
    else if (auto u = g_clip.data.find(CF_UNICODETEXT); u != g_clip.data.end()) {
      size_t n = GlobalSize(u->second) / 2;
      if (auto* p = static_cast<const char16_t*>(GlobalLock(u->second))) {
        size_t len = 0;
        while (len < n && p[len]) ++len;
        t = Utf8Of(p, len);
        GlobalUnlock(u->second);
      }
    }
    g_clip.exported = t;
    Backend().ExportClipboardText(t);
  }
  return true;
}

bool EmptyClipboard() {
  if (!g_clip.open) return false;
  Clear();
  g_clip.textChanged = true;
  return true;
}

HANDLE SetClipboardData(UINT format, HANDLE data) {
  if (!g_clip.open || !format) return nullptr;
  auto it = g_clip.data.find(format);
  if (it != g_clip.data.end() && it->second != data) GlobalFree(it->second);
  g_clip.data[format] = data;
  // The other text format would be stale now.
  if (format == CF_TEXT) {
    if (auto u = g_clip.data.find(CF_UNICODETEXT); u != g_clip.data.end()) {
      GlobalFree(u->second);
      g_clip.data.erase(u);
    }
  } else if (format == CF_UNICODETEXT) {
    if (auto t = g_clip.data.find(CF_TEXT); t != g_clip.data.end()) {
      GlobalFree(t->second);
      g_clip.data.erase(t);
    }
  }
  if (format == CF_TEXT || format == CF_UNICODETEXT) g_clip.textChanged = true;
  return data;
}

HANDLE GetClipboardData(UINT format) {
  if (!g_clip.open) return nullptr;
  auto it = g_clip.data.find(format);
  if (it != g_clip.data.end()) return it->second;
  if (format == CF_UNICODETEXT) {
    auto t = g_clip.data.find(CF_TEXT);
    if (t == g_clip.data.end()) return nullptr;
    std::u16string u = Utf16Of(TextOfBlock(t->second));
    HGLOBAL h = BlockFromBytes(u.c_str(), (u.size() + 1) * 2);
    g_clip.data[CF_UNICODETEXT] = h;
    return h;
  }
  if (format == CF_TEXT) {
    auto u = g_clip.data.find(CF_UNICODETEXT);
    if (u == g_clip.data.end()) return nullptr;
    std::string s;
    size_t n = GlobalSize(u->second) / 2;
    if (auto* p = static_cast<const char16_t*>(GlobalLock(u->second))) {
      size_t len = 0;
      while (len < n && p[len]) ++len;
      s = Utf8Of(p, len);
      GlobalUnlock(u->second);
    }
    HGLOBAL h = BlockFromBytes(s.c_str(), s.size() + 1);
    g_clip.data[CF_TEXT] = h;
    return h;
  }
  return nullptr;
}

bool IsClipboardFormatAvailable(UINT format) {
  if (!g_clip.open) ImportDesktopText();
  if (g_clip.data.count(format)) return true;
  if (format == CF_TEXT) return g_clip.data.count(CF_UNICODETEXT) != 0;
  if (format == CF_UNICODETEXT) return g_clip.data.count(CF_TEXT) != 0;
  return false;
}

int CountClipboardFormats() { return int(g_clip.data.size()); }

UINT RegisterClipboardFormat(const char* name) {
  if (!name || !*name) return 0;
  std::string key = Upper(name);
  auto it = g_clip.names.find(key);
  if (it != g_clip.names.end()) return it->second;
  UINT id = UINT(0xC000 + g_clip.names.size());
  if (id > 0xFFFF) return 0;
  g_clip.names[key] = id;
  return id;
}

void SetClipboardText(const std::string& utf8) {
  if (!OpenClipboard(nullptr)) return;
  EmptyClipboard();
  SetClipboardData(CF_TEXT, BlockFromBytes(utf8.c_str(), utf8.size() + 1));
  CloseClipboard();
}

std::string GetClipboardText() {
  if (!OpenClipboard(nullptr)) return std::string();
  std::string t = TextOfBlock(GetClipboardData(CF_TEXT));
  CloseClipboard();
  return t;
}

void ResetClipboard() {
  Clear();
  g_clip.open = false;
}

}  // namespace zv
