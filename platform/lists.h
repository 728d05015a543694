// Lists of the class library: TList of untyped pointers, the abstract string list TStrings and TStringList,
// which adds sorting, duplicate control, case sensitivity and change events.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/objects.h"

namespace zv {

class TStream;

// Orders two items: negative when Item1 comes first, 0 when equal, positive when Item2 comes first.
using TListSortCompare = std::function<int(void* Item1, void* Item2)>;

// A list of pointers; it never owns or frees what they point to. Bad indexes raise EListError.
class TList : public TObject {
public:
  TList() = default;

  int Add(void* Item);
  void Insert(int Index, void* Item);
  void Delete(int Index);
  // Removes the first occurrence of Item and returns its former index, or -1.
  int Remove(void* Item);
  int IndexOf(void* Item) const;
  void Clear();
  void Exchange(int Index1, int Index2);
  void Move(int CurIndex, int NewIndex);
  // Sorts with Compare; items that compare equal keep their order.
  void Sort(const TListSortCompare& Compare);

  int Count() const { return static_cast<int>(FList.size()); }
  void* Items(int Index) const { return Get(Index); }
  void SetItems(int Index, void* Item) { Put(Index, Item); }
  void* Get(int Index) const;
  void Put(int Index, void* Item);
  void* First() const { return Get(0); }
  void* Last() const { return Get(Count() - 1); }
  int Capacity() const { return static_cast<int>(FList.capacity()); }
  // Raises EListError when NewCapacity is below Count.
  void SetCapacity(int NewCapacity);

private:
  void CheckIndex(int Index) const;

  std::vector<void*> FList;
};

enum TDuplicates { dupIgnore, dupAccept, dupError };

// A list of strings, each with an associated object pointer, and the text forms of the whole list:
// lines (Text), comma- or delimiter-separated values with quoting (CommaText, DelimitedText) and
// "name=value" pairs (Names, Values). Bad indexes raise EStringListError.
class TStrings : public TPersistent {
public:
  TStrings() = default;
  TStrings(const TStrings&) = delete;
  TStrings& operator=(const TStrings&) = delete;

  virtual int Count() const = 0;
  virtual std::string Get(int Index) const = 0;
  virtual void Put(int Index, const std::string& S);
  virtual TObject* GetObject(int Index) const;
  virtual void PutObject(int Index, TObject* AObject);
  virtual void Clear() = 0;
  virtual void Delete(int Index) = 0;
  virtual void Insert(int Index, const std::string& S) = 0;
  virtual void InsertObject(int Index, const std::string& S, TObject* AObject);

  virtual int Add(const std::string& S);
  virtual int AddObject(const std::string& S, TObject* AObject);
  void AddStrings(const TStrings& Strings);
  // From another string list: its strings, objects and separators; other sources as TPersistent does.
  void Assign(TPersistent* Source) override;
  virtual int IndexOf(const std::string& S) const;
  int IndexOfName(const std::string& Name) const;
  int IndexOfObject(TObject* AObject) const;
  virtual void Exchange(int Index1, int Index2);
  virtual void Move(int CurIndex, int NewIndex);

  std::string Strings(int Index) const { return Get(Index); }
  void SetStrings(int Index, const std::string& S) { Put(Index, S); }
  TObject* Objects(int Index) const { return GetObject(Index); }
  void SetObjects(int Index, TObject* AObject) { PutObject(Index, AObject); }

  // "name=value" lines: Names is the text before the first '=' (empty without one), Values the text after
  // it for the first line of that name, ValueFromIndex the text after it on one line. Setting an empty
  // value deletes the line; setting the value of a missing name appends a line.
  std::string Names(int Index) const;
  std::string Values(const std::string& Name) const;
  void SetValues(const std::string& Name, const std::string& Value);
  std::string ValueFromIndex(int Index) const;
  void SetValueFromIndex(int Index, const std::string& Value);
  char NameValueSeparator() const { return FNameValueSeparator; }
  void SetNameValueSeparator(char C) { FNameValueSeparator = C; }

  // Every line followed by "\n"; setting splits at CR, LF or CR LF.
  std::string Text() const;
  virtual void SetText(const std::string& Value);
  // Items separated by Delimiter; an item that is empty-but-alone or holds a space, control character,
  // the delimiter or QuoteChar is quoted with QuoteChar doubled inside. Unquoted spaces also separate.
  std::string DelimitedText() const;
  void SetDelimitedText(const std::string& Value);
  char Delimiter() const { return FDelimiter; }
  void SetDelimiter(char C) { FDelimiter = C; }
  char QuoteChar() const { return FQuoteChar; }
  void SetQuoteChar(char C) { FQuoteChar = C; }
  // DelimitedText with ',' and '"'.
  std::string CommaText() const;
  void SetCommaText(const std::string& Value);

  // The whole of a stream from its position or of a file, as Text; a leading UTF-8 byte-order mark is dropped.
  virtual void LoadFromStream(TStream* Stream);
  void LoadFromFile(const std::string& FileName);
  void SaveToStream(TStream* Stream) const;
  void SaveToFile(const std::string& FileName) const;

  // Nested pairs; change notifications are held back until the outermost EndUpdate.
  void BeginUpdate();
  void EndUpdate();
  int UpdateCount() const { return FUpdateCount; }

protected:
  // Called with true when the first BeginUpdate starts a batch and with false when the last EndUpdate ends it.
  virtual void SetUpdateState(bool Updating);
  // How two strings compare for IndexOf, IndexOfName and sorting; case-insensitive here.
  virtual int CompareStrings(const std::string& S1, const std::string& S2) const;
  [[noreturn]] void Error(const std::string& Message, int Data) const;

private:
  std::string JoinDelimited(char Delimiter, char Quote) const;
  void SplitDelimited(const std::string& Value, char Delimiter, char Quote);

  int FUpdateCount = 0;
  char FDelimiter = ',';
  char FQuoteChar = '"';
  char FNameValueSeparator = '=';
};

// The string list that holds its strings: optionally kept sorted (Find is then a binary search),
// with a choice for duplicates when sorted, case-insensitive unless CaseSensitive is set,
// and OnChanging/OnChange around every change (held back by BeginUpdate/EndUpdate).
class TStringList : public TStrings {
public:
  TStringList() = default;
  ~TStringList() override = default;

  int Count() const override { return static_cast<int>(FList.size()); }
  std::string Get(int Index) const override;
  void Put(int Index, const std::string& S) override;
  TObject* GetObject(int Index) const override;
  void PutObject(int Index, TObject* AObject) override;
  void Clear() override;
  void Delete(int Index) override;
  // Raises EStringListError on a sorted list.
  void Insert(int Index, const std::string& S) override;
  void InsertObject(int Index, const std::string& S, TObject* AObject) override;
  // On a sorted list the string goes to its place; a duplicate is then ignored (dupIgnore, returning the
  // index of the one present), added (dupAccept) or refused with EStringListError (dupError).
  int Add(const std::string& S) override;
  int AddObject(const std::string& S, TObject* AObject) override;
  int IndexOf(const std::string& S) const override;
  void Exchange(int Index1, int Index2) override;
  // Raises EStringListError on a sorted list, before anything moves.
  void Move(int CurIndex, int NewIndex) override;

  // Binary search of a sorted list: true when found, Index the first match or the place S would go.
  bool Find(const std::string& S, int& Index) const;
  void Sort();

  bool Sorted() const { return FSorted; }
  void SetSorted(bool Value);
  TDuplicates Duplicates() const { return FDuplicates; }
  void SetDuplicates(TDuplicates Value) { FDuplicates = Value; }
  bool CaseSensitive() const { return FCaseSensitive; }
  void SetCaseSensitive(bool Value);

  TNotifyEvent OnChange;
  TNotifyEvent OnChanging;

protected:
  void SetUpdateState(bool Updating) override;
  int CompareStrings(const std::string& S1, const std::string& S2) const override;
  virtual void Changing();
  virtual void Changed();

private:
  struct TStringItem {
    std::string FString;
    TObject* FObject;
  };

  void InsertItem(int Index, const std::string& S, TObject* AObject);
  void CheckIndex(int Index) const;
  TObject* Sender();

  std::vector<TStringItem> FList;
  bool FSorted = false;
  TDuplicates FDuplicates = dupIgnore;
  bool FCaseSensitive = false;
};

}  // namespace zv
