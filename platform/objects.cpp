// The object model and the published-property registry.
#include "platform/objects.h"

#include <cxxabi.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <mutex>
#include <typeindex>
#include <unordered_map>

namespace zv {

namespace {

// Class-library name comparison: ASCII letters without regard to case.
bool SameName(std::string_view A, std::string_view B) {
  if (A.size() != B.size()) return false;
  for (size_t I = 0; I < A.size(); ++I) {
    unsigned char X = static_cast<unsigned char>(A[I]), Y = static_cast<unsigned char>(B[I]);
    if (X >= 'a' && X <= 'z') X = static_cast<unsigned char>(X - 'a' + 'A');
    if (Y >= 'a' && Y <= 'z') Y = static_cast<unsigned char>(Y - 'a' + 'A');
    if (X != Y) return false;
  }
  return true;
}

std::string_view TrimBlanks(std::string_view S) {
  while (!S.empty() && static_cast<unsigned char>(S.front()) <= ' ') S.remove_prefix(1);
  while (!S.empty() && static_cast<unsigned char>(S.back()) <= ' ') S.remove_suffix(1);
  return S;
}

// The demangled name without namespaces or enclosing classes; template arguments are left alone.
std::string StripScopes(const std::string& Full) {
  size_t Start = 0;
  int Depth = 0;
  for (size_t I = 0; I + 1 < Full.size(); ++I) {
    if (Full[I] == '<') ++Depth;
    else if (Full[I] == '>') --Depth;
    else if (Depth == 0 && Full[I] == ':' && Full[I + 1] == ':') Start = I + 2;
  }
  return Full.substr(Start);
}

std::string Quoted(std::string_view S) { return '"' + std::string(S) + '"'; }

std::string ClassOf(TPersistent* Instance) { return Instance ? Instance->ClassName() : std::string("nil"); }

[[noreturn]] void RaiseBadValue(TPersistent* Instance, std::string_view Path, const TPropInfo& Prop,
                                std::string_view Value) {
  throw EPropertyError("Invalid value " + Quoted(Value) + " for property " + Quoted(Path) + " of " +
                       ClassOf(Instance) + " (" + Prop.TypeName + ")");
}

[[noreturn]] void RaiseReadOnly(TPersistent* Instance, std::string_view Path) {
  throw EPropertyError("Property " + Quoted(Path) + " of " + ClassOf(Instance) + " is read-only");
}

[[noreturn]] void RaiseWrongKind(TPersistent* Instance, const TPropInfo& Prop, const char* Wanted) {
  throw EPropertyError("Property " + Quoted(Prop.Name) + " of " + ClassOf(Instance) + " is not " + Wanted);
}

const TPropInfo& CheckedProp(TPersistent* Instance, const TPropInfo* Prop) {
  if (!Instance) throw EPropertyError("Cannot reach a published property of nil");
  if (!Prop) throw EPropertyError(ClassOf(Instance) + " has no such published property");
  return *Prop;
}

const TPropInfo& PropByName(TPersistent* Instance, std::string_view Name) {
  if (!Instance) throw EPropertyError("Cannot reach property " + Quoted(Name) + " of nil");
  const TPropInfo* Prop = GetPropInfo(Instance, Name);
  if (!Prop) throw EPropertyError(ClassOf(Instance) + " has no published property " + Quoted(Name));
  return *Prop;
}

bool IsOrdinal(TTypeKind Kind) {
  return Kind == tkInteger || Kind == tkBoolean || Kind == tkEnumeration || Kind == tkSet;
}

bool OrdinalInRange(const TPropInfo& Prop, int64_t Value) {
  if (Prop.Kind == tkSet) return Value >= 0 && (Value & ~Prop.MaxValue) == 0;
  return Value >= Prop.MinValue && Value <= Prop.MaxValue;
}

// The index of Name among the value names, or -1.
int64_t ValueIndex(const TPropInfo& Prop, std::string_view Name) {
  for (size_t I = 0; I < Prop.ValueNames.size(); ++I)
    if (SameName(Prop.ValueNames[I], Name)) return static_cast<int64_t>(I);
  return -1;
}

// Decimal with an optional sign, or hexadecimal after "$" or "0x"; false on anything else or overflow.
bool ParseInteger(std::string_view Text, int64_t& Value) {
  Text = TrimBlanks(Text);
  bool Negative = false;
  if (!Text.empty() && (Text.front() == '-' || Text.front() == '+')) {
    Negative = Text.front() == '-';
    Text.remove_prefix(1);
  }
  int Base = 10;
  if (!Text.empty() && Text.front() == '$') {
    Base = 16;
    Text.remove_prefix(1);
  } else if (Text.size() > 2 && Text[0] == '0' && (Text[1] == 'x' || Text[1] == 'X')) {
    Base = 16;
    Text.remove_prefix(2);
  }
  if (Text.empty()) return false;
  uint64_t Magnitude = 0;
  auto [End, Error] = std::from_chars(Text.data(), Text.data() + Text.size(), Magnitude, Base);
  if (Error != std::errc() || End != Text.data() + Text.size()) return false;
  constexpr uint64_t Limit = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
  if (Negative) {
    if (Magnitude > Limit + 1) return false;
    Value = Magnitude == Limit + 1 ? std::numeric_limits<int64_t>::min() : -static_cast<int64_t>(Magnitude);
  } else {
    if (Magnitude > Limit) return false;
    Value = static_cast<int64_t>(Magnitude);
  }
  return true;
}

// A finite number with '.' as the decimal point that the property's float type can hold.
bool ParseFloat(std::string_view Text, int FloatSize, long double& Value) {
  Text = TrimBlanks(Text);
  if (!Text.empty() && Text.front() == '+') Text.remove_prefix(1);
  if (Text.empty()) return false;
  auto [End, Error] = std::from_chars(Text.data(), Text.data() + Text.size(), Value);
  if (Error != std::errc() || End != Text.data() + Text.size() || !std::isfinite(Value)) return false;
  long double Limit = FloatSize == 4   ? std::numeric_limits<float>::max()
                      : FloatSize == 8 ? std::numeric_limits<double>::max()
                                       : std::numeric_limits<long double>::max();
  return std::fabs(Value) <= Limit;
}

std::string FloatText(long double Value, int FloatSize) {
  char Buffer[64];
  std::to_chars_result Result;
  if (FloatSize == 4) Result = std::to_chars(Buffer, Buffer + sizeof Buffer, static_cast<float>(Value));
  else if (FloatSize == 8) Result = std::to_chars(Buffer, Buffer + sizeof Buffer, static_cast<double>(Value));
  else Result = std::to_chars(Buffer, Buffer + sizeof Buffer, Value);
  return std::string(Buffer, Result.ptr);
}

std::string SetText(const TPropInfo& Prop, int64_t Bits) {
  std::string Text = "[";
  for (size_t I = 0; I < Prop.ValueNames.size(); ++I) {
    if (!(static_cast<uint64_t>(Bits) & (uint64_t(1) << I))) continue;
    if (Text.size() > 1) Text += ',';
    Text += Prop.ValueNames[I];
  }
  return Text + "]";
}

// "[fsBold, fsItalic]"; the brackets may be left out, "[]" or nothing is the empty set.
bool ParseSet(const TPropInfo& Prop, std::string_view Text, int64_t& Bits) {
  Text = TrimBlanks(Text);
  if (!Text.empty() && Text.front() == '[') {
    if (Text.back() != ']') return false;
    Text = TrimBlanks(Text.substr(1, Text.size() - 2));
  }
  Bits = 0;
  if (Text.empty()) return true;
  while (true) {
    size_t Comma = Text.find(',');
    int64_t Index = ValueIndex(Prop, TrimBlanks(Text.substr(0, Comma)));
    if (Index < 0) return false;
    Bits |= int64_t(1) << Index;
    if (Comma == std::string_view::npos) return true;
    Text.remove_prefix(Comma + 1);
  }
}

struct TTarget {
  TPersistent* Object = nullptr;
  const TPropInfo* Prop = nullptr;
};

// Follows "Font.Style" through nested objects; on failure returns an empty target and says why.
TTarget Resolve(TPersistent* Root, std::string_view Path, std::string& Why) {
  TTarget Target{Root, nullptr};
  std::string_view Rest = Path;
  std::string Walked;
  while (true) {
    size_t Dot = Rest.find('.');
    std::string_view Part = TrimBlanks(Rest.substr(0, Dot));
    const TPropInfo* Prop = Target.Object->PublishedProps().Find(Part);
    if (!Prop) {
      Why = Root->ClassName() + " has no published property " + Quoted(Path);
      if (Target.Object != Root) Why += " (" + Target.Object->ClassName() + " has no " + Quoted(Part) + ")";
      return {};
    }
    if (Dot == std::string_view::npos) {
      Target.Prop = Prop;
      return Target;
    }
    Walked += Walked.empty() ? Prop->Name : "." + Prop->Name;
    if (Prop->Kind != tkClass) {
      Why = Root->ClassName() + " has no published property " + Quoted(Path) + " (" + Walked +
            " is not an object)";
      return {};
    }
    TPersistent* Next = Prop->GetObj(*Target.Object);
    if (!Next) {
      Why = "Property " + Quoted(Path) + " of " + Root->ClassName() + " cannot be reached: " + Walked + " is nil";
      return {};
    }
    Target.Object = Next;
    Rest.remove_prefix(Dot + 1);
  }
}

TTarget ResolveOrRaise(TPersistent* Root, std::string_view Path) {
  if (!Root) throw EPropertyError("Cannot reach property " + Quoted(Path) + " of nil");
  std::string Why;
  TTarget Target = Resolve(Root, Path, Why);
  if (!Target.Prop) throw EPropertyError(Why);
  return Target;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Names
// ---------------------------------------------------------------------------------------------

std::string ClassNameOf(const std::type_info& Type) {
  static std::mutex Lock;
  static std::unordered_map<std::type_index, std::string> Cache;
  std::lock_guard<std::mutex> Guard(Lock);
  auto Found = Cache.find(Type);
  if (Found != Cache.end()) return Found->second;
  int Status = 0;
  char* Demangled = abi::__cxa_demangle(Type.name(), nullptr, nullptr, &Status);
  std::string Name = StripScopes(Status == 0 && Demangled ? Demangled : Type.name());
  std::free(Demangled);
  Cache.emplace(Type, Name);
  return Name;
}

std::string TObject::ClassName() const { return ClassNameOf(typeid(*this)); }

std::vector<std::string> detail::NamesOf(std::span<const std::string_view> Names) {
  return std::vector<std::string>(Names.begin(), Names.end());
}

// ---------------------------------------------------------------------------------------------
// Property lists and access
// ---------------------------------------------------------------------------------------------

const TPropInfo* TPropList::Find(std::string_view Name) const {
  for (const auto& Item : FItems)
    if (SameName(Item->Name, Name)) return Item.get();
  return nullptr;
}

void TPropList::Add(std::shared_ptr<const TPropInfo> Info) {
  for (auto& Item : FItems)
    if (SameName(Item->Name, Info->Name)) {
      Item = std::move(Info);
      return;
    }
  FItems.push_back(std::move(Info));
}

const TPropInfo* GetPropInfo(TPersistent* Instance, std::string_view Name) {
  return Instance ? Instance->PublishedProps().Find(Name) : nullptr;
}

bool IsPublishedProp(TPersistent* Instance, std::string_view Path) {
  if (!Instance) return false;
  std::string Why;
  return Resolve(Instance, Path, Why).Prop != nullptr;
}

std::string GetPropertyByName(TPersistent* Instance, std::string_view Path) {
  TTarget Target = ResolveOrRaise(Instance, Path);
  const TPropInfo& Prop = *Target.Prop;
  TPersistent& Object = *Target.Object;
  switch (Prop.Kind) {
    case tkInteger:
      return std::to_string(Prop.GetOrd(Object));
    case tkBoolean:
    case tkEnumeration: {
      int64_t Ordinal = Prop.GetOrd(Object);
      if (Ordinal >= 0 && Ordinal < static_cast<int64_t>(Prop.ValueNames.size()))
        return Prop.ValueNames[static_cast<size_t>(Ordinal)];
      return std::to_string(Ordinal);
    }
    case tkSet:
      return SetText(Prop, Prop.GetOrd(Object));
    case tkFloat:
      return FloatText(Prop.GetFloat(Object), Prop.FloatSize);
    case tkString:
      return Prop.GetStr(Object);
    case tkClass: {
      TPersistent* Value = Prop.GetObj(Object);
      return Value ? '(' + Value->ClassName() + ')' : std::string();
    }
  }
  return std::string();
}

void SetPropertyByName(TPersistent* Instance, std::string_view Path, std::string_view Value) {
  TTarget Target = ResolveOrRaise(Instance, Path);
  const TPropInfo& Prop = *Target.Prop;
  TPersistent& Object = *Target.Object;
  if (Prop.Kind == tkClass)
    throw EPropertyError("Property " + Quoted(Path) + " of " + Instance->ClassName() + " (" + Prop.TypeName +
                         ") cannot be set from text");
  if (!Prop.Writable) RaiseReadOnly(Instance, Path);
  int64_t Ordinal = 0;
  switch (Prop.Kind) {
    case tkInteger:
      if (!ParseInteger(Value, Ordinal) || !OrdinalInRange(Prop, Ordinal)) RaiseBadValue(Instance, Path, Prop, Value);
      Prop.SetOrd(Object, Ordinal);
      return;
    case tkBoolean:
    case tkEnumeration:
      Ordinal = ValueIndex(Prop, TrimBlanks(Value));
      if (Ordinal < 0) RaiseBadValue(Instance, Path, Prop, Value);
      Prop.SetOrd(Object, Ordinal);
      return;
    case tkSet:
      if (!ParseSet(Prop, Value, Ordinal)) RaiseBadValue(Instance, Path, Prop, Value);
      Prop.SetOrd(Object, Ordinal);
      return;
    case tkFloat: {
      long double Number = 0;
      if (!ParseFloat(Value, Prop.FloatSize, Number)) RaiseBadValue(Instance, Path, Prop, Value);
      Prop.SetFloat(Object, Number);
      return;
    }
    case tkString:
      Prop.SetStr(Object, std::string(Value));
      return;
    case tkClass:
      break;
  }
}

int64_t GetOrdProp(TPersistent* Instance, const TPropInfo* Prop) {
  const TPropInfo& P = CheckedProp(Instance, Prop);
  if (!IsOrdinal(P.Kind)) RaiseWrongKind(Instance, P, "an ordinal property");
  return P.GetOrd(*Instance);
}

int64_t GetOrdProp(TPersistent* Instance, std::string_view Name) {
  return GetOrdProp(Instance, &PropByName(Instance, Name));
}

void SetOrdProp(TPersistent* Instance, const TPropInfo* Prop, int64_t Value) {
  const TPropInfo& P = CheckedProp(Instance, Prop);
  if (!IsOrdinal(P.Kind)) RaiseWrongKind(Instance, P, "an ordinal property");
  if (!P.Writable) RaiseReadOnly(Instance, P.Name);
  if (!OrdinalInRange(P, Value)) RaiseBadValue(Instance, P.Name, P, std::to_string(Value));
  P.SetOrd(*Instance, Value);
}

void SetOrdProp(TPersistent* Instance, std::string_view Name, int64_t Value) {
  SetOrdProp(Instance, &PropByName(Instance, Name), Value);
}

std::string GetStrProp(TPersistent* Instance, const TPropInfo* Prop) {
  const TPropInfo& P = CheckedProp(Instance, Prop);
  if (P.Kind != tkString) RaiseWrongKind(Instance, P, "a string property");
  return P.GetStr(*Instance);
}

std::string GetStrProp(TPersistent* Instance, std::string_view Name) {
  return GetStrProp(Instance, &PropByName(Instance, Name));
}

void SetStrProp(TPersistent* Instance, const TPropInfo* Prop, const std::string& Value) {
  const TPropInfo& P = CheckedProp(Instance, Prop);
  if (P.Kind != tkString) RaiseWrongKind(Instance, P, "a string property");
  if (!P.Writable) RaiseReadOnly(Instance, P.Name);
  P.SetStr(*Instance, Value);
}

void SetStrProp(TPersistent* Instance, std::string_view Name, const std::string& Value) {
  SetStrProp(Instance, &PropByName(Instance, Name), Value);
}

TPersistent* GetObjectProp(TPersistent* Instance, const TPropInfo* Prop) {
  const TPropInfo& P = CheckedProp(Instance, Prop);
  if (P.Kind != tkClass) RaiseWrongKind(Instance, P, "an object property");
  return P.GetObj(*Instance);
}

TPersistent* GetObjectProp(TPersistent* Instance, std::string_view Name) {
  return GetObjectProp(Instance, &PropByName(Instance, Name));
}

void SetObjectProp(TPersistent* Instance, const TPropInfo* Prop, TPersistent* Value) {
  const TPropInfo& P = CheckedProp(Instance, Prop);
  if (P.Kind != tkClass) RaiseWrongKind(Instance, P, "an object property");
  if (!P.Writable) RaiseReadOnly(Instance, P.Name);
  if (!P.SetObj(*Instance, Value)) RaiseBadValue(Instance, P.Name, P, "(" + ClassOf(Value) + ")");
}

void SetObjectProp(TPersistent* Instance, std::string_view Name, TPersistent* Value) {
  SetObjectProp(Instance, &PropByName(Instance, Name), Value);
}

// ---------------------------------------------------------------------------------------------
// TPersistent
// ---------------------------------------------------------------------------------------------

void TPersistent::Assign(TPersistent* Source) {
  if (!Source) AssignError(nullptr);
  Source->AssignTo(this);
}

void TPersistent::AssignTo(TPersistent* Dest) { Dest->AssignError(this); }

void TPersistent::AssignError(TPersistent* Source) {
  throw EConvertError("Cannot assign a " + ClassOf(Source) + " to a " + ClassName());
}

const TPropList& TPersistent::PublishedProps() const {
  static const TPropList Empty;
  return Empty;
}

// ---------------------------------------------------------------------------------------------
// TComponent
// ---------------------------------------------------------------------------------------------

TComponent::TComponent(TComponent* AOwner) {
  if (AOwner) AOwner->InsertComponent(this);
}

TComponent::~TComponent() {
  Destroying();
  // Each one told forgets us first, so its Notification may safely touch its own links.
  while (!FFreeNotifies.empty()) {
    TComponent* Other = FFreeNotifies.back();
    FFreeNotifies.pop_back();
    Other->ForgetFreeNotification(this);
    Other->Notification(this, opRemove);
  }
  DestroyComponents();
  if (FOwner) FOwner->RemoveComponent(this);
}

TComponent* TComponent::Components(int Index) const {
  if (Index < 0 || Index >= ComponentCount())
    throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
  return FComponents[static_cast<size_t>(Index)];
}

TComponent* TComponent::FindComponent(std::string_view AName) const {
  if (AName.empty()) return nullptr;
  for (TComponent* Component : FComponents)
    if (SameName(Component->FName, AName)) return Component;
  return nullptr;
}

void TComponent::InsertComponent(TComponent* AComponent) {
  if (!AComponent || AComponent->FOwner == this) return;
  if (AComponent->FOwner) AComponent->FOwner->RemoveComponent(AComponent);
  FComponents.push_back(AComponent);
  AComponent->FOwner = this;
  if (FComponentState.Contains(csDesigning)) AComponent->SetDesigning(true);
  Notification(AComponent, opInsert);
}

void TComponent::RemoveComponent(TComponent* AComponent) {
  if (!AComponent || AComponent->FOwner != this) return;
  FComponents.erase(std::find(FComponents.begin(), FComponents.end(), AComponent));
  AComponent->FOwner = nullptr;
  Notification(AComponent, opRemove);
}

void TComponent::DestroyComponents() {
  while (!FComponents.empty()) {
    TComponent* Instance = FComponents.back();
    // Only a component that others watch is announced to its siblings; the rest leave quietly, which
    // also keeps a half-destroyed owner out of the way.
    if (Instance->FComponentState.Contains(csFreeNotification)) {
      RemoveComponent(Instance);
    } else {
      FComponents.pop_back();
      Instance->FOwner = nullptr;
    }
    // Its own destructor code then already sees csDestroying.
    Instance->Destroying();
    delete Instance;
  }
}

void TComponent::FreeNotification(TComponent* AComponent) {
  if (!AComponent || AComponent == this) return;
  // A component on its way out must not gain links it would never clear.
  if (FComponentState.Contains(csDestroying) || AComponent->FComponentState.Contains(csDestroying)) return;
  if (std::find(FFreeNotifies.begin(), FFreeNotifies.end(), AComponent) == FFreeNotifies.end())
    FFreeNotifies.push_back(AComponent);
  if (std::find(AComponent->FFreeNotifies.begin(), AComponent->FFreeNotifies.end(), this) ==
      AComponent->FFreeNotifies.end())
    AComponent->FFreeNotifies.push_back(this);
  FComponentState.Include(csFreeNotification);
  AComponent->FComponentState.Include(csFreeNotification);
}

void TComponent::RemoveFreeNotification(TComponent* AComponent) {
  if (!AComponent) return;
  ForgetFreeNotification(AComponent);
  AComponent->ForgetFreeNotification(this);
}

void TComponent::ForgetFreeNotification(TComponent* AComponent) {
  std::erase(FFreeNotifies, AComponent);
  if (FFreeNotifies.empty()) FComponentState.Exclude(csFreeNotification);
}

void TComponent::Notification(TComponent* AComponent, TOperation Operation) {
  if (Operation == opRemove && AComponent) RemoveFreeNotification(AComponent);
  // A handler may free components, so the index is re-checked against the shrinking list.
  for (int I = ComponentCount() - 1; I >= 0; --I) {
    if (I >= ComponentCount()) {
      I = ComponentCount();
      continue;
    }
    FComponents[static_cast<size_t>(I)]->Notification(AComponent, Operation);
  }
}

void TComponent::SetState(TComponentStateItem Item, bool On) {
  if (On) FComponentState.Include(Item);
  else FComponentState.Exclude(Item);
}

void TComponent::Destroying() {
  if (FComponentState.Contains(csDestroying)) return;
  FComponentState.Include(csDestroying);
  for (TComponent* Component : FComponents) Component->Destroying();
}

void TComponent::SetDesigning(bool Value, bool SetChildren) {
  SetState(csDesigning, Value);
  if (SetChildren)
    for (TComponent* Component : FComponents) Component->SetDesigning(Value, true);
}

const TPropList& TComponent::PublishedProps() const {
  static const TPropList List = TPublisher<TComponent>(TPersistent::PublishedProps())
                                    .Property("Name", &TComponent::Name, &TComponent::SetName)
                                    .Property("Tag", &TComponent::Tag, &TComponent::SetTag);
  return List;
}

}  // namespace zv
