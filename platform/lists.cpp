#include "platform/lists.h"

#include "platform/streams.h"
#include "platform/sysutils.h"

#include <algorithm>

namespace zv {

namespace {

constexpr const char* kListIndexError = "List index out of bounds (";
constexpr const char* kSortedListError = "Operation not allowed on sorted list";
constexpr const char* kDuplicateString = "String list does not allow duplicates";

std::string IndexMessage(int Index) { return kListIndexError + std::to_string(Index) + ")"; }

int CompareBytes(const std::string& S1, const std::string& S2, bool FoldCase) {
  const size_t n = std::min(S1.size(), S2.size());
  for (size_t i = 0; i < n; ++i) {
    unsigned char a = static_cast<unsigned char>(S1[i]);
    unsigned char b = static_cast<unsigned char>(S2[i]);
    if (FoldCase) {
      if (a >= 'A' && a <= 'Z') a = static_cast<unsigned char>(a + 32);
      if (b >= 'A' && b <= 'Z') b = static_cast<unsigned char>(b + 32);
    }
    if (a != b) return a < b ? -1 : 1;
  }
  if (S1.size() == S2.size()) return 0;
  return S1.size() < S2.size() ? -1 : 1;
}

bool IsBlank(unsigned char C) { return C <= ' '; }

}  // namespace

// ---- TList --------------------------------------------------------------------------------------------

void TList::CheckIndex(int Index) const {
  if (Index < 0 || Index >= Count()) throw EListError(IndexMessage(Index));
}

int TList::Add(void* Item) {
  FList.push_back(Item);
  return Count() - 1;
}

void TList::Insert(int Index, void* Item) {
  if (Index < 0 || Index > Count()) throw EListError(IndexMessage(Index));
  FList.insert(FList.begin() + Index, Item);
}

void TList::Delete(int Index) {
  CheckIndex(Index);
  FList.erase(FList.begin() + Index);
}

int TList::Remove(void* Item) {
  const int index = IndexOf(Item);
  if (index >= 0) Delete(index);
  return index;
}

int TList::IndexOf(void* Item) const {
  const auto it = std::find(FList.begin(), FList.end(), Item);
  return it == FList.end() ? -1 : static_cast<int>(it - FList.begin());
}

void TList::Clear() {
  FList.clear();
  FList.shrink_to_fit();
}

void TList::Exchange(int Index1, int Index2) {
  CheckIndex(Index1);
  CheckIndex(Index2);
  std::swap(FList[Index1], FList[Index2]);
}

void TList::Move(int CurIndex, int NewIndex) {
  CheckIndex(CurIndex);
  CheckIndex(NewIndex);
  if (CurIndex < NewIndex)
    std::rotate(FList.begin() + CurIndex, FList.begin() + CurIndex + 1, FList.begin() + NewIndex + 1);
  else if (CurIndex > NewIndex)
    std::rotate(FList.begin() + NewIndex, FList.begin() + CurIndex, FList.begin() + CurIndex + 1);
}

void TList::Sort(const TListSortCompare& Compare) {
  // A merge sort stays inside the list even when Compare is not a consistent order.
  std::stable_sort(FList.begin(), FList.end(), [&](void* a, void* b) { return Compare(a, b) < 0; });
}

void* TList::Get(int Index) const {
  CheckIndex(Index);
  return FList[Index];
}

void TList::Put(int Index, void* Item) {
  CheckIndex(Index);
  FList[Index] = Item;
}

void TList::SetCapacity(int NewCapacity) {
  if (NewCapacity < Count())
    throw EListError("List capacity out of bounds (" + std::to_string(NewCapacity) + ")");
  if (NewCapacity > Capacity()) {
    FList.reserve(static_cast<size_t>(NewCapacity));
  } else {
    std::vector<void*> copy;
    copy.reserve(static_cast<size_t>(NewCapacity));
    copy.assign(FList.begin(), FList.end());
    FList.swap(copy);
  }
}

// ---- TStrings -----------------------------------------------------------------------------------------

void TStrings::Error(const std::string& Message, int Data) const {
  (void)Data;
  throw EStringListError(Message);
}

void TStrings::Put(int Index, const std::string& S) {
  TObject* object = GetObject(Index);
  Delete(Index);
  InsertObject(Index, S, object);
}

TObject* TStrings::GetObject(int) const { return nullptr; }

void TStrings::PutObject(int, TObject*) {}

void TStrings::InsertObject(int Index, const std::string& S, TObject* AObject) {
  Insert(Index, S);
  PutObject(Index, AObject);
}

int TStrings::Add(const std::string& S) {
  const int index = Count();
  Insert(index, S);
  return index;
}

int TStrings::AddObject(const std::string& S, TObject* AObject) {
  const int index = Add(S);
  PutObject(index, AObject);
  return index;
}

void TStrings::AddStrings(const TStrings& Strings) {
  BeginUpdate();
  try {
    for (int i = 0; i < Strings.Count(); ++i) AddObject(Strings.Get(i), Strings.GetObject(i));
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

void TStrings::Assign(TPersistent* Source) {
  auto* strings = dynamic_cast<TStrings*>(Source);
  if (strings == nullptr) {
    TPersistent::Assign(Source);
    return;
  }
  if (strings == this) return;
  BeginUpdate();
  try {
    Clear();
    FDelimiter = strings->FDelimiter;
    FQuoteChar = strings->FQuoteChar;
    FNameValueSeparator = strings->FNameValueSeparator;
    AddStrings(*strings);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

int TStrings::IndexOf(const std::string& S) const {
  for (int i = 0; i < Count(); ++i)
    if (CompareStrings(Get(i), S) == 0) return i;
  return -1;
}

int TStrings::IndexOfName(const std::string& Name) const {
  for (int i = 0; i < Count(); ++i) {
    const std::string s = Get(i);
    const size_t p = s.find(FNameValueSeparator);
    if (p != std::string::npos && CompareStrings(s.substr(0, p), Name) == 0) return i;
  }
  return -1;
}

int TStrings::IndexOfObject(TObject* AObject) const {
  for (int i = 0; i < Count(); ++i)
    if (GetObject(i) == AObject) return i;
  return -1;
}

void TStrings::Exchange(int Index1, int Index2) {
  BeginUpdate();
  try {
    const std::string s1 = Get(Index1);
    TObject* o1 = GetObject(Index1);
    Put(Index1, Get(Index2));
    PutObject(Index1, GetObject(Index2));
    Put(Index2, s1);
    PutObject(Index2, o1);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

void TStrings::Move(int CurIndex, int NewIndex) {
  if (CurIndex == NewIndex) return;
  if (NewIndex < 0 || NewIndex >= Count()) Error(IndexMessage(NewIndex), NewIndex);
  BeginUpdate();
  try {
    const std::string s = Get(CurIndex);
    TObject* object = GetObject(CurIndex);
    Delete(CurIndex);
    InsertObject(NewIndex, s, object);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

std::string TStrings::Names(int Index) const {
  const std::string s = Get(Index);
  const size_t p = s.find(FNameValueSeparator);
  return p == std::string::npos ? std::string() : s.substr(0, p);
}

std::string TStrings::Values(const std::string& Name) const {
  const int index = IndexOfName(Name);
  return index < 0 ? std::string() : ValueFromIndex(index);
}

void TStrings::SetValues(const std::string& Name, const std::string& Value) {
  const int index = IndexOfName(Name);
  if (!Value.empty()) {
    const std::string line = Name + FNameValueSeparator + Value;
    if (index < 0)
      Add(line);
    else
      Put(index, line);
  } else if (index >= 0) {
    Delete(index);
  }
}

std::string TStrings::ValueFromIndex(int Index) const {
  const std::string s = Get(Index);
  const size_t p = s.find(FNameValueSeparator);
  return p == std::string::npos ? std::string() : s.substr(p + 1);
}

void TStrings::SetValueFromIndex(int Index, const std::string& Value) {
  if (!Value.empty())
    Put(Index, Names(Index) + FNameValueSeparator + Value);
  else
    Delete(Index);
}

std::string TStrings::Text() const {
  std::string result;
  for (int i = 0; i < Count(); ++i) {
    result += Get(i);
    result += '\n';
  }
  return result;
}

void TStrings::SetText(const std::string& Value) {
  BeginUpdate();
  try {
    Clear();
    size_t start = 0;
    while (start < Value.size()) {
      size_t end = start;
      while (end < Value.size() && Value[end] != '\r' && Value[end] != '\n') ++end;
      Add(Value.substr(start, end - start));
      if (end < Value.size() && Value[end] == '\r') {
        ++end;
        if (end < Value.size() && Value[end] == '\n') ++end;
      } else if (end < Value.size()) {
        ++end;
      }
      start = end;
    }
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

std::string TStrings::JoinDelimited(char Delimiter, char Quote) const {
  if (Count() == 1 && Get(0).empty()) return std::string(2, Quote);
  std::string result;
  for (int i = 0; i < Count(); ++i) {
    const std::string s = Get(i);
    const bool needsQuotes = std::any_of(s.begin(), s.end(), [&](char c) {
      return IsBlank(static_cast<unsigned char>(c)) || c == Quote || c == Delimiter;
    });
    if (i > 0) result += Delimiter;
    if (!needsQuotes) {
      result += s;
      continue;
    }
    result += Quote;
    for (char c : s) {
      if (c == Quote) result += Quote;
      result += c;
    }
    result += Quote;
  }
  return result;
}

void TStrings::SplitDelimited(const std::string& Value, char Delimiter, char Quote) {
  BeginUpdate();
  try {
    Clear();
    const size_t n = Value.size();
    auto blank = [&](size_t i) { return i < n && IsBlank(static_cast<unsigned char>(Value[i])); };
    size_t p = 0;
    while (blank(p)) ++p;
    while (p < n) {
      std::string item;
      if (Value[p] == Quote) {
        // Quoted: up to the closing quote, a doubled quote standing for one.
        ++p;
        while (p < n) {
          if (Value[p] == Quote) {
            if (p + 1 < n && Value[p + 1] == Quote) {
              item += Quote;
              p += 2;
              continue;
            }
            ++p;
            break;
          }
          item += Value[p++];
        }
      } else {
        const size_t start = p;
        while (p < n && !IsBlank(static_cast<unsigned char>(Value[p])) && Value[p] != Delimiter) ++p;
        item = Value.substr(start, p - start);
      }
      Add(item);
      while (blank(p)) ++p;
      if (p < n && Value[p] == Delimiter) {
        // A delimiter at the very end stands for one more, empty item.
        if (p + 1 == n) Add(std::string());
        do {
          ++p;
        } while (blank(p));
      }
    }
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

std::string TStrings::DelimitedText() const { return JoinDelimited(FDelimiter, FQuoteChar); }

void TStrings::SetDelimitedText(const std::string& Value) { SplitDelimited(Value, FDelimiter, FQuoteChar); }

std::string TStrings::CommaText() const { return JoinDelimited(',', '"'); }

void TStrings::SetCommaText(const std::string& Value) { SplitDelimited(Value, ',', '"'); }

void TStrings::LoadFromStream(TStream* Stream) {
  const int64_t size = Stream->Size() - Stream->Position();
  std::string text(static_cast<size_t>(std::max<int64_t>(size, 0)), '\0');
  Stream->ReadBuffer(text.data(), static_cast<int64_t>(text.size()));
  if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
  SetText(text);
}

void TStrings::LoadFromFile(const std::string& FileName) {
  TFileStream stream(FileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(&stream);
}

void TStrings::SaveToStream(TStream* Stream) const {
  const std::string text = Text();
  Stream->WriteBuffer(text.data(), static_cast<int64_t>(text.size()));
}

void TStrings::SaveToFile(const std::string& FileName) const {
  TFileStream stream(FileName, fmCreate);
  SaveToStream(&stream);
}

void TStrings::BeginUpdate() {
  if (FUpdateCount == 0) SetUpdateState(true);
  ++FUpdateCount;
}

void TStrings::EndUpdate() {
  if (FUpdateCount == 0) return;
  --FUpdateCount;
  if (FUpdateCount == 0) SetUpdateState(false);
}

void TStrings::SetUpdateState(bool) {}

int TStrings::CompareStrings(const std::string& S1, const std::string& S2) const {
  return CompareBytes(S1, S2, true);
}

// ---- TStringList --------------------------------------------------------------------------------------

TObject* TStringList::Sender() { return this; }

void TStringList::CheckIndex(int Index) const {
  if (Index < 0 || Index >= Count()) Error(IndexMessage(Index), Index);
}

void TStringList::Changing() {
  if (UpdateCount() == 0 && OnChanging) OnChanging(Sender());
}

void TStringList::Changed() {
  if (UpdateCount() == 0 && OnChange) OnChange(Sender());
}

void TStringList::SetUpdateState(bool Updating) {
  if (Updating)
    Changing();
  else
    Changed();
}

int TStringList::CompareStrings(const std::string& S1, const std::string& S2) const {
  return CompareBytes(S1, S2, !FCaseSensitive);
}

std::string TStringList::Get(int Index) const {
  CheckIndex(Index);
  return FList[Index].FString;
}

void TStringList::Put(int Index, const std::string& S) {
  if (FSorted) Error(kSortedListError, 0);
  CheckIndex(Index);
  Changing();
  FList[Index].FString = S;
  Changed();
}

TObject* TStringList::GetObject(int Index) const {
  CheckIndex(Index);
  return FList[Index].FObject;
}

void TStringList::PutObject(int Index, TObject* AObject) {
  CheckIndex(Index);
  Changing();
  FList[Index].FObject = AObject;
  Changed();
}

void TStringList::Clear() {
  if (FList.empty()) return;
  Changing();
  FList.clear();
  Changed();
}

void TStringList::Delete(int Index) {
  CheckIndex(Index);
  Changing();
  FList.erase(FList.begin() + Index);
  Changed();
}

void TStringList::InsertItem(int Index, const std::string& S, TObject* AObject) {
  Changing();
  FList.insert(FList.begin() + Index, TStringItem{S, AObject});
  Changed();
}

void TStringList::Insert(int Index, const std::string& S) { InsertObject(Index, S, nullptr); }

void TStringList::InsertObject(int Index, const std::string& S, TObject* AObject) {
  if (FSorted) Error(kSortedListError, 0);
  if (Index < 0 || Index > Count()) Error(IndexMessage(Index), Index);
  InsertItem(Index, S, AObject);
}

int TStringList::Add(const std::string& S) { return AddObject(S, nullptr); }

int TStringList::AddObject(const std::string& S, TObject* AObject) {
  int index = Count();
  if (FSorted) {
    if (Find(S, index)) {
      if (FDuplicates == dupIgnore) return index;
      if (FDuplicates == dupError) Error(kDuplicateString, 0);
      // Behind the equal ones, so that equal strings keep the order they were added in.
      while (index < Count() && CompareStrings(FList[index].FString, S) == 0) ++index;
    }
  }
  InsertItem(index, S, AObject);
  return index;
}

int TStringList::IndexOf(const std::string& S) const {
  if (!FSorted) return TStrings::IndexOf(S);
  int index;
  return Find(S, index) ? index : -1;
}

void TStringList::Exchange(int Index1, int Index2) {
  CheckIndex(Index1);
  CheckIndex(Index2);
  Changing();
  std::swap(FList[Index1], FList[Index2]);
  Changed();
}

void TStringList::Move(int CurIndex, int NewIndex) {
  if (FSorted) Error(kSortedListError, 0);
  CheckIndex(CurIndex);
  TStrings::Move(CurIndex, NewIndex);
}

bool TStringList::Find(const std::string& S, int& Index) const {
  const auto it = std::lower_bound(FList.begin(), FList.end(), S, [&](const TStringItem& item, const std::string& s) {
    return CompareStrings(item.FString, s) < 0;
  });
  Index = static_cast<int>(it - FList.begin());
  return it != FList.end() && CompareStrings(it->FString, S) == 0;
}

void TStringList::Sort() {
  if (FList.size() < 2) return;
  Changing();
  std::stable_sort(FList.begin(), FList.end(), [&](const TStringItem& a, const TStringItem& b) {
    return CompareStrings(a.FString, b.FString) < 0;
  });
  Changed();
}

void TStringList::SetSorted(bool Value) {
  if (Value == FSorted) return;
  if (Value) Sort();
  FSorted = Value;
}

void TStringList::SetCaseSensitive(bool Value) {
  if (Value == FCaseSensitive) return;
  FCaseSensitive = Value;
  if (FSorted) Sort();
}

}  // namespace zv
