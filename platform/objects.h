// The class library's object model: TObject, TPersistent, owned TComponent trees with notifications,
// and the published-property registry that lets form descriptions and language files set properties by name.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <limits>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <typeinfo>
#include <vector>

#include "platform/sysutils.h"

namespace zv {

class TObject;
class TPersistent;
class TComponent;

using TNotifyEvent = std::function<void(TObject* Sender)>;

// The name a class is known by ("TFont"): its C++ name without namespaces or enclosing classes.
std::string ClassNameOf(const std::type_info& Type);

// Root of every class-library object.
class TObject {
public:
  virtual ~TObject() = default;
  // The name of the object's actual class, e.g. "TFont".
  std::string ClassName() const;
};

// ---------------------------------------------------------------------------------------------
// Sets and enumeration names
// ---------------------------------------------------------------------------------------------

// A set of values of the enumeration E (ordinals 0..63), e.g. TFontStyles = TSet<TFontStyle>.
template <typename E>
class TSet {
  static_assert(std::is_enum_v<E>, "TSet holds enumeration values");

public:
  constexpr TSet() = default;
  constexpr TSet(std::initializer_list<E> Items) {
    for (E Item : Items) Include(Item);
  }
  static constexpr TSet FromBits(uint64_t Bits) {
    TSet Result;
    Result.FBits = Bits;
    return Result;
  }
  // Bit n stands for the value of ordinal n.
  constexpr uint64_t Bits() const { return FBits; }
  constexpr bool Contains(E Item) const { return (FBits & Bit(Item)) != 0; }
  constexpr bool Empty() const { return FBits == 0; }
  constexpr TSet& Include(E Item) {
    FBits |= Bit(Item);
    return *this;
  }
  constexpr TSet& Exclude(E Item) {
    FBits &= ~Bit(Item);
    return *this;
  }
  constexpr TSet operator+(TSet Other) const { return FromBits(FBits | Other.FBits); }
  constexpr TSet operator-(TSet Other) const { return FromBits(FBits & ~Other.FBits); }
  constexpr TSet operator*(TSet Other) const { return FromBits(FBits & Other.FBits); }
  constexpr TSet& operator+=(TSet Other) { return *this = *this + Other; }
  constexpr TSet& operator-=(TSet Other) { return *this = *this - Other; }
  constexpr TSet& operator*=(TSet Other) { return *this = *this * Other; }
  constexpr bool operator==(const TSet&) const = default;
  // Subset test.
  constexpr bool operator<=(TSet Other) const { return (FBits & ~Other.FBits) == 0; }

private:
  static constexpr uint64_t Bit(E Item) {
    return uint64_t(1) << static_cast<std::underlying_type_t<E>>(Item);
  }
  uint64_t FBits = 0;
};

// Names of an enumeration's values by ordinal from 0, so that published properties read and write them
// as text. A header declares them beside its enumeration:
//   template <> struct TEnumNames<TAlignment> {
//     static constexpr std::string_view Names[] = {"taLeftJustify", "taRightJustify", "taCenter"};
//   };
template <typename E>
struct TEnumNames {};

template <typename E>
concept NamedEnum = std::is_enum_v<E> && requires { std::span<const std::string_view>(TEnumNames<E>::Names); };

// ---------------------------------------------------------------------------------------------
// Published properties
// ---------------------------------------------------------------------------------------------

// Raised for an unknown published property, a value its type cannot take, or a read-only property.
class EPropertyError : public Exception {
public:
  using Exception::Exception;
};

enum TTypeKind : uint8_t { tkInteger, tkFloat, tkString, tkBoolean, tkEnumeration, tkSet, tkClass };

// One published property of a class: its kind, type and typed accessors. Integers, Booleans,
// enumerations and sets share the ordinal accessors (a set's ordinal is its bit mask).
struct TPropInfo {
  std::string Name;
  TTypeKind Kind = tkInteger;
  // "Integer", "Cardinal", "Byte", "Double", "string", "Boolean", the enumeration's or class's name,
  // or "set of" and the element's name.
  std::string TypeName;
  // Value names of an enumeration, a set's elements or a Boolean, by ordinal.
  std::vector<std::string> ValueNames;
  // Range of the ordinal value.
  int64_t MinValue = 0;
  int64_t MaxValue = 0;
  // Size in bytes of a float property's type (4, 8 or 16), which fixes its range and text.
  int FloatSize = 0;
  bool Writable = false;

  std::function<int64_t(TPersistent&)> GetOrd;
  std::function<void(TPersistent&, int64_t)> SetOrd;
  std::function<long double(TPersistent&)> GetFloat;
  std::function<void(TPersistent&, long double)> SetFloat;
  std::function<std::string(TPersistent&)> GetStr;
  std::function<void(TPersistent&, const std::string&)> SetStr;
  std::function<TPersistent*(TPersistent&)> GetObj;
  // False when the object is not of the property's class.
  std::function<bool(TPersistent&, TPersistent*)> SetObj;
};

// The published properties of a class in declaration order, inherited ones first.
class TPropList {
public:
  TPropList() = default;
  // Case-insensitive, as the class library looks names up; nullptr when absent.
  const TPropInfo* Find(std::string_view Name) const;
  int Count() const { return static_cast<int>(FItems.size()); }
  const TPropInfo& Items(int Index) const { return *FItems.at(static_cast<size_t>(Index)); }
  // A subclass that publishes a name again replaces the inherited entry in place.
  void Add(std::shared_ptr<const TPropInfo> Info);

private:
  std::vector<std::shared_ptr<const TPropInfo>> FItems;
};

namespace detail {
template <typename T>
struct SetElement {
  using Type = void;
};
template <typename E>
struct SetElement<TSet<E>> {
  using Type = E;
};

template <typename T>
inline constexpr bool AlwaysFalse = false;

template <typename C, typename S, typename V>
void CallSetter(const S& Setter, C& Object, V&& Value) {
  if constexpr (std::is_member_object_pointer_v<S>)
    Object.*Setter = std::forward<V>(Value);
  else
    std::invoke(Setter, Object, std::forward<V>(Value));
}

template <typename T>
const char* IntegerTypeName() {
  if constexpr (std::is_same_v<T, int8_t>) return "ShortInt";
  else if constexpr (std::is_same_v<T, uint8_t>) return "Byte";
  else if constexpr (std::is_same_v<T, int16_t>) return "SmallInt";
  else if constexpr (std::is_same_v<T, uint16_t>) return "Word";
  else if constexpr (std::is_same_v<T, int32_t>) return "Integer";
  else if constexpr (std::is_same_v<T, uint32_t>) return "Cardinal";
  else if constexpr (std::is_same_v<T, int64_t>) return "Int64";
  else return "UInt64";
}

std::vector<std::string> NamesOf(std::span<const std::string_view> Names);
}  // namespace detail

// Declares the published properties of class C on top of the inherited ones. The kind follows the
// getter's type: std::string, bool, integers (and enumerations without names), float types, named
// enumerations, TSet of a named enumeration, or a pointer to a TPersistent (a nested object such as a
// font). Getters and setters are member functions, data members or callables taking C&; no setter
// makes the property read-only. An overloaded getter needs a lambda or a cast to pick one.
//   const TPropList& TFont::PublishedProps() const {
//     static const TPropList List = TPublisher<TFont>(TPersistent::PublishedProps())
//         .Property("Name", &TFont::Name, &TFont::SetName)
//         .Property("Style", &TFont::Style, &TFont::SetStyle);
//     return List;
//   }
template <typename C>
class TPublisher {
public:
  explicit TPublisher(const TPropList& Inherited) : FList(Inherited) {}

  template <typename G, typename S = std::nullptr_t>
  TPublisher& Property(std::string_view Name, G Getter, S Setter = nullptr) {
    using R = std::remove_cvref_t<std::invoke_result_t<const G&, C&>>;
    constexpr bool Writable = !std::is_null_pointer_v<S>;
    auto Info = std::make_shared<TPropInfo>();
    Info->Name = std::string(Name);
    Info->Writable = Writable;
    auto Self = [](TPersistent& Object) -> C& { return static_cast<C&>(Object); };

    if constexpr (std::is_same_v<R, std::string>) {
      Info->Kind = tkString;
      Info->TypeName = "string";
      Info->GetStr = [=](TPersistent& O) { return std::string(std::invoke(Getter, Self(O))); };
      if constexpr (Writable)
        Info->SetStr = [=](TPersistent& O, const std::string& V) { detail::CallSetter(Setter, Self(O), V); };
    } else if constexpr (std::is_same_v<R, bool>) {
      Info->Kind = tkBoolean;
      Info->TypeName = "Boolean";
      Info->ValueNames = {"False", "True"};
      Info->MaxValue = 1;
      Info->GetOrd = [=](TPersistent& O) -> int64_t { return std::invoke(Getter, Self(O)) ? 1 : 0; };
      if constexpr (Writable)
        Info->SetOrd = [=](TPersistent& O, int64_t V) { detail::CallSetter(Setter, Self(O), V != 0); };
    } else if constexpr (std::is_integral_v<R> || (std::is_enum_v<R> && !NamedEnum<R>)) {
      using U = typename std::conditional_t<std::is_enum_v<R>, std::underlying_type<R>,
                                            std::type_identity<R>>::type;
      Info->Kind = tkInteger;
      if constexpr (std::is_enum_v<R>)
        Info->TypeName = ClassNameOf(typeid(R));
      else
        Info->TypeName = detail::IntegerTypeName<U>();
      Info->MinValue = static_cast<int64_t>(std::numeric_limits<U>::min());
      Info->MaxValue = std::numeric_limits<U>::max() > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())
                           ? std::numeric_limits<int64_t>::max()
                           : static_cast<int64_t>(std::numeric_limits<U>::max());
      Info->GetOrd = [=](TPersistent& O) {
        return static_cast<int64_t>(static_cast<U>(std::invoke(Getter, Self(O))));
      };
      if constexpr (Writable)
        Info->SetOrd = [=](TPersistent& O, int64_t V) {
          detail::CallSetter(Setter, Self(O), static_cast<R>(static_cast<U>(V)));
        };
    } else if constexpr (std::is_floating_point_v<R>) {
      Info->Kind = tkFloat;
      Info->TypeName = sizeof(R) == 4 ? "Single" : sizeof(R) == 8 ? "Double" : "Extended";
      Info->FloatSize = sizeof(R);
      Info->GetFloat = [=](TPersistent& O) { return static_cast<long double>(std::invoke(Getter, Self(O))); };
      if constexpr (Writable)
        Info->SetFloat = [=](TPersistent& O, long double V) {
          detail::CallSetter(Setter, Self(O), static_cast<R>(V));
        };
    } else if constexpr (NamedEnum<R>) {
      using U = std::underlying_type_t<R>;
      Info->Kind = tkEnumeration;
      Info->TypeName = ClassNameOf(typeid(R));
      Info->ValueNames = detail::NamesOf(TEnumNames<R>::Names);
      Info->MaxValue = static_cast<int64_t>(Info->ValueNames.size()) - 1;
      Info->GetOrd = [=](TPersistent& O) { return static_cast<int64_t>(static_cast<U>(std::invoke(Getter, Self(O)))); };
      if constexpr (Writable)
        Info->SetOrd = [=](TPersistent& O, int64_t V) {
          detail::CallSetter(Setter, Self(O), static_cast<R>(static_cast<U>(V)));
        };
    } else if constexpr (NamedEnum<typename detail::SetElement<R>::Type>) {
      using E = typename detail::SetElement<R>::Type;
      Info->Kind = tkSet;
      Info->TypeName = "set of " + ClassNameOf(typeid(E));
      Info->ValueNames = detail::NamesOf(TEnumNames<E>::Names);
      static_assert(std::size(TEnumNames<E>::Names) <= 63, "a published set has at most 63 elements");
      Info->MaxValue = (int64_t(1) << Info->ValueNames.size()) - 1;
      Info->GetOrd = [=](TPersistent& O) { return static_cast<int64_t>(std::invoke(Getter, Self(O)).Bits()); };
      if constexpr (Writable)
        Info->SetOrd = [=](TPersistent& O, int64_t V) {
          detail::CallSetter(Setter, Self(O), R::FromBits(static_cast<uint64_t>(V)));
        };
    } else if constexpr (std::is_pointer_v<R> &&
                         std::is_base_of_v<TPersistent, std::remove_cv_t<std::remove_pointer_t<R>>>) {
      using T = std::remove_cv_t<std::remove_pointer_t<R>>;
      Info->Kind = tkClass;
      Info->TypeName = ClassNameOf(typeid(T));
      Info->GetObj = [=](TPersistent& O) -> TPersistent* {
        return const_cast<T*>(std::invoke(Getter, Self(O)));
      };
      if constexpr (Writable)
        Info->SetObj = [=](TPersistent& O, TPersistent* V) {
          T* Typed = dynamic_cast<T*>(V);
          if (V && !Typed) return false;
          detail::CallSetter(Setter, Self(O), Typed);
          return true;
        };
    } else {
      static_assert(detail::AlwaysFalse<R>, "this getter's type cannot be published");
    }
    FList.Add(std::move(Info));
    return *this;
  }

  operator TPropList() const { return FList; }

private:
  TPropList FList;
};

// The property named Name (no dots) of Instance's class; nullptr when it has none.
const TPropInfo* GetPropInfo(TPersistent* Instance, std::string_view Name);
// True when the path ("Caption", "Font.Style") leads to a published property.
bool IsPublishedProp(TPersistent* Instance, std::string_view Path);

// Reads a property as text: numbers in decimal, Booleans "True"/"False", enumerations by value name,
// sets as "[fsBold,fsItalic]", strings unchanged, an object as "(TFont)" or "" when there is none.
std::string GetPropertyByName(TPersistent* Instance, std::string_view Path);
// Sets a property from the same text (names case-insensitive); "Font.Name" sets the name of the
// object behind Font. Raises EPropertyError for an unknown path or a value the type cannot take.
void SetPropertyByName(TPersistent* Instance, std::string_view Path, std::string_view Value);

// Typed access to a property of Instance itself; a property of another kind raises EPropertyError.
int64_t GetOrdProp(TPersistent* Instance, const TPropInfo* Prop);
int64_t GetOrdProp(TPersistent* Instance, std::string_view Name);
void SetOrdProp(TPersistent* Instance, const TPropInfo* Prop, int64_t Value);
void SetOrdProp(TPersistent* Instance, std::string_view Name, int64_t Value);
std::string GetStrProp(TPersistent* Instance, const TPropInfo* Prop);
std::string GetStrProp(TPersistent* Instance, std::string_view Name);
void SetStrProp(TPersistent* Instance, const TPropInfo* Prop, const std::string& Value);
void SetStrProp(TPersistent* Instance, std::string_view Name, const std::string& Value);
TPersistent* GetObjectProp(TPersistent* Instance, const TPropInfo* Prop);
TPersistent* GetObjectProp(TPersistent* Instance, std::string_view Name);
void SetObjectProp(TPersistent* Instance, const TPropInfo* Prop, TPersistent* Value);
void SetObjectProp(TPersistent* Instance, std::string_view Name, TPersistent* Value);

// ---------------------------------------------------------------------------------------------
// TPersistent and TComponent
// ---------------------------------------------------------------------------------------------

// An object that can copy itself from another (Assign) and has published properties.
class TPersistent : public TObject {
public:
  // Copies Source into this object. The default asks Source to do it (AssignTo) and raises
  // EConvertError "Cannot assign a %s to a %s" when neither knows how, also for a nil Source.
  virtual void Assign(TPersistent* Source);
  // The published properties of this object's class; a class that publishes overrides it (TPublisher).
  virtual const TPropList& PublishedProps() const;
  virtual TPersistent* GetOwner() { return nullptr; }

protected:
  // Copies this object into Dest when this class knows Dest's class; the default raises.
  virtual void AssignTo(TPersistent* Dest);
  [[noreturn]] void AssignError(TPersistent* Source);
};

enum TOperation : uint8_t { opInsert, opRemove };

enum TComponentStateItem : uint8_t {
  csLoading,
  csReading,
  csWriting,
  csDestroying,
  csDesigning,
  csUpdating,
  csFixups,
  csFreeNotification
};
using TComponentState = TSet<TComponentStateItem>;

// A named object in an ownership tree. An owner frees its components in the reverse order of their
// creation; components are told through Notification when others they know of come or go.
// C++ runs a subclass's destructor before TComponent's; a subclass whose components must go while
// its own members still live calls DestroyComponents() first in its destructor.
class TComponent : public TPersistent {
public:
  explicit TComponent(TComponent* AOwner);
  ~TComponent() override;
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  TComponent* Owner() const { return FOwner; }
  TPersistent* GetOwner() override { return FOwner; }
  const std::string& Name() const { return FName; }
  void SetName(const std::string& Value) { FName = Value; }
  int32_t Tag() const { return FTag; }
  void SetTag(int32_t Value) { FTag = Value; }

  int ComponentCount() const { return static_cast<int>(FComponents.size()); }
  // Raises EListError for an index out of range.
  TComponent* Components(int Index) const;
  // The owned component of that name, compared without regard to case; nullptr when none.
  TComponent* FindComponent(std::string_view AName) const;
  // Makes this the owner of AComponent, taking it from any previous owner.
  void InsertComponent(TComponent* AComponent);
  // Gives AComponent up without freeing it; it keeps living without an owner.
  void RemoveComponent(TComponent* AComponent);
  // Frees every owned component, the last created first.
  void DestroyComponents();

  // AComponent receives Notification(this, opRemove) when this component is freed, whoever owns
  // either; the link goes both ways, so neither is left with a dangling pointer.
  void FreeNotification(TComponent* AComponent);
  void RemoveFreeNotification(TComponent* AComponent);

  TComponentState ComponentState() const { return FComponentState; }
  // Loading state, set by the code that reads a form description; Loaded ends it.
  void Loading() { FComponentState.Include(csLoading); }
  virtual void Loaded() { FComponentState.Exclude(csLoading); }
  void SetReading(bool Value) { SetState(csReading, Value); }
  void SetWriting(bool Value) { SetState(csWriting, Value); }
  void Updating() { FComponentState.Include(csUpdating); }
  void Updated() { FComponentState.Exclude(csUpdating); }
  // Marks this component and everything it owns as being freed.
  void Destroying();
  // Design state; by default also for every owned component.
  void SetDesigning(bool Value, bool SetChildren = true);

  const TPropList& PublishedProps() const override;

protected:
  // Another component was inserted into or removed from this one's owner tree, or a component this
  // one asked about (FreeNotification) is being freed. The default passes it to the owned components.
  virtual void Notification(TComponent* AComponent, TOperation Operation);

private:
  void SetState(TComponentStateItem Item, bool On);
  void ForgetFreeNotification(TComponent* AComponent);

  TComponent* FOwner = nullptr;
  std::string FName;
  int32_t FTag = 0;
  std::vector<TComponent*> FComponents;
  std::vector<TComponent*> FFreeNotifies;
  TComponentState FComponentState;
};

}  // namespace zv
