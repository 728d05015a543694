#include "platform/objects.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zv {
namespace {

// ---------------------------------------------------------------------------------------------
// Component trees
// ---------------------------------------------------------------------------------------------

using TLog = std::vector<std::string>;

// Writes its destruction and every notification it receives to a shared log; drops Link when the
// component it points to goes away.
class TProbe : public TComponent {
public:
  TProbe(TComponent* AOwner, const std::string& AName, TLog& ALog) : TComponent(AOwner), Log(ALog) {
    SetName(AName);
  }
  ~TProbe() override {
    Log.push_back("free " + Name() + (ComponentState().Contains(csDestroying) ? "" : " (not destroying)"));
  }
  TComponent* Link = nullptr;
  TLog& Log;

protected:
  void Notification(TComponent* AComponent, TOperation Operation) override {
    if (Operation == opRemove) {
      if (AComponent == Link) {
        Log.push_back(Name() + " lost link");
        Link = nullptr;
      }
    } else {
      Log.push_back(Name() + " saw insert");
    }
    TComponent::Notification(AComponent, Operation);
  }
};

TEST(ComponentTree, OwnerFreesComponentsLastCreatedFirstAndDepthFirst) {
  TLog Log;
  auto* Form = new TProbe(nullptr, "Form", Log);
  auto* Panel = new TProbe(Form, "Panel", Log);
  new TProbe(Panel, "Button", Log);
  new TProbe(Panel, "Edit", Log);
  new TProbe(Form, "Timer", Log);
  ASSERT_EQ(Form->ComponentCount(), 2);
  EXPECT_EQ(Form->Components(0), Panel);
  Log.clear();

  delete Form;
  // An owned component already knows it is being freed when its own destructor runs; its own
  // components go after its destructor body, as they would after an inherited destructor.
  EXPECT_EQ(Log, (TLog{"free Form (not destroying)", "free Timer", "free Panel", "free Edit", "free Button"}));
}

TEST(ComponentTree, FreeingOneComponentTakesItFromItsOwnerAndTellsItsSiblings) {
  TLog Log;
  TProbe Form(nullptr, "Form", Log);
  auto* Popup = new TProbe(&Form, "Popup", Log);
  auto* Label = new TProbe(&Form, "Label", Log);
  EXPECT_EQ(Log, (TLog{"Form saw insert", "Form saw insert", "Popup saw insert"}));
  Label->Link = Popup;
  Log.clear();

  delete Popup;
  EXPECT_EQ(Log, (TLog{"free Popup (not destroying)", "Label lost link"}));
  ASSERT_EQ(Form.ComponentCount(), 1);
  EXPECT_EQ(Form.Components(0), Label);
}

TEST(ComponentTree, FreeNotificationReachesAComponentOfAnotherOwner) {
  TLog Log;
  auto* FormA = new TProbe(nullptr, "FormA", Log);
  auto* FormB = new TProbe(nullptr, "FormB", Log);
  auto* Label = new TProbe(FormA, "Label", Log);
  auto* Images = new TProbe(FormB, "Images", Log);
  Label->Link = Images;
  Images->FreeNotification(Label);
  EXPECT_TRUE(Images->ComponentState().Contains(csFreeNotification));
  Log.clear();

  delete FormB;
  EXPECT_EQ(Log, (TLog{"free FormB (not destroying)", "free Images", "Label lost link"}));
  EXPECT_EQ(Label->Link, nullptr);
  Log.clear();
  // The label must not try to tell the freed list about its own end.
  delete FormA;
  EXPECT_EQ(Log, (TLog{"free FormA (not destroying)", "free Label"}));
}

TEST(ComponentTree, AWatcherFreedFirstIsNotToldLaterAndRemovedLinksStaySilent) {
  TLog Log;
  TProbe Watched(nullptr, "Watched", Log);
  auto* Watcher = new TProbe(nullptr, "Watcher", Log);
  auto* Other = new TProbe(nullptr, "Other", Log);
  Watched.FreeNotification(Watcher);
  Watched.FreeNotification(Other);
  Watched.FreeNotification(Other);  // asking twice tells once
  Other->Link = &Watched;
  Watched.RemoveFreeNotification(Other);
  delete Watcher;  // under the address sanitizer a stale link would show up when Watched goes
  delete Other;
  EXPECT_EQ(Log, (TLog{"free Watcher (not destroying)", "free Other (not destroying)"}));
  EXPECT_FALSE(Watched.ComponentState().Contains(csFreeNotification));
}

TEST(ComponentTree, FindInsertAndRemoveComponents) {
  TLog Log;
  TProbe Form(nullptr, "Form", Log);
  TProbe Dialog(nullptr, "Dialog", Log);
  auto* Button = new TProbe(&Form, "BtnOpen", Log);
  EXPECT_EQ(Form.FindComponent("btnopen"), Button);
  EXPECT_EQ(Form.FindComponent("BtnSave"), nullptr);
  EXPECT_EQ(Form.FindComponent(""), nullptr);
  EXPECT_THROW(Form.Components(1), EListError);
  EXPECT_THROW(Form.Components(-1), EListError);

  Dialog.InsertComponent(Button);  // moves it
  EXPECT_EQ(Button->Owner(), &Dialog);
  EXPECT_EQ(Form.ComponentCount(), 0);
  EXPECT_EQ(Dialog.FindComponent("BTNOPEN"), Button);

  Dialog.RemoveComponent(Button);
  EXPECT_EQ(Button->Owner(), nullptr);
  EXPECT_EQ(Dialog.ComponentCount(), 0);
  delete Button;
}

TEST(ComponentTree, ComponentStateFlags) {
  TLog Log;
  TProbe Form(nullptr, "Form", Log);
  Form.SetDesigning(true);
  auto* Label = new TProbe(&Form, "Label", Log);
  EXPECT_TRUE(Label->ComponentState().Contains(csDesigning));  // inherits its owner's design state
  Form.SetDesigning(false);
  EXPECT_FALSE(Label->ComponentState().Contains(csDesigning));

  Label->Loading();
  Label->SetReading(true);
  EXPECT_EQ(Label->ComponentState(), (TComponentState{csLoading, csReading}));
  Label->SetReading(false);
  Label->Loaded();
  EXPECT_TRUE(Label->ComponentState().Empty());
}

// ---------------------------------------------------------------------------------------------
// Published properties
// ---------------------------------------------------------------------------------------------

enum TTestAlignment { taLeftJustify, taRightJustify, taCenter };
enum TTestFontStyle { fsBold, fsItalic, fsUnderline, fsStrikeOut };
using TTestFontStyles = TSet<TTestFontStyle>;

}  // namespace

template <>
struct TEnumNames<TTestAlignment> {
  static constexpr std::string_view Names[] = {"taLeftJustify", "taRightJustify", "taCenter"};
};
template <>
struct TEnumNames<TTestFontStyle> {
  static constexpr std::string_view Names[] = {"fsBold", "fsItalic", "fsUnderline", "fsStrikeOut"};
};

namespace {

class TTestFont : public TPersistent {
public:
  const std::string& Name() const { return FName; }
  void SetName(const std::string& Value) { FName = Value; Changed(); }
  int32_t Size() const { return FSize; }
  void SetSize(int32_t Value) { FSize = Value; Changed(); }
  TTestFontStyles Style() const { return FStyle; }
  void SetStyle(TTestFontStyles Value) { FStyle = Value; Changed(); }
  uint8_t Charset() const { return FCharset; }
  void SetCharset(uint8_t Value) { FCharset = Value; }

  void Assign(TPersistent* Source) override {
    if (auto* Font = dynamic_cast<TTestFont*>(Source)) {
      FName = Font->FName;
      FSize = Font->FSize;
      FStyle = Font->FStyle;
      Changed();
      return;
    }
    TPersistent::Assign(Source);
  }

  const TPropList& PublishedProps() const override {
    static const TPropList List = TPublisher<TTestFont>(TPersistent::PublishedProps())
                                      .Property("Name", &TTestFont::Name, &TTestFont::SetName)
                                      .Property("Size", &TTestFont::Size, &TTestFont::SetSize)
                                      .Property("Style", &TTestFont::Style, &TTestFont::SetStyle)
                                      .Property("Charset", &TTestFont::Charset, &TTestFont::SetCharset);
    return List;
  }

  TNotifyEvent OnChange;

private:
  void Changed() {
    if (OnChange) OnChange(this);
  }
  std::string FName = "MS Sans Serif";
  int32_t FSize = 8;
  TTestFontStyles FStyle;
  uint8_t FCharset = 1;
};

// Knows how to copy itself into a font, though the font does not know it.
class TTestFontRecipe : public TPersistent {
protected:
  void AssignTo(TPersistent* Dest) override {
    if (auto* Font = dynamic_cast<TTestFont*>(Dest)) {
      Font->SetName("Tahoma");
      return;
    }
    TPersistent::AssignTo(Dest);
  }
};

class TTestLabel : public TComponent {
public:
  explicit TTestLabel(TComponent* AOwner) : TComponent(AOwner) {
    FFont.OnChange = [this](TObject*) { ++FontChanges; };
  }
  const std::string& Caption() const { return FCaption; }
  void SetCaption(const std::string& Value) { FCaption = Value; }
  int32_t Width() const { return FWidth; }
  void SetWidth(int32_t Value) { FWidth = Value; }
  TTestAlignment Alignment() const { return FAlignment; }
  void SetAlignment(TTestAlignment Value) { FAlignment = Value; }
  TTestFont* Font() { return &FFont; }
  void SetFont(TTestFont* Value) { FFont.Assign(Value); }
  int FontChanges = 0;
  bool FVisible = true;
  double FRatio = 1.5;
  TTestFont* FNoFont = nullptr;

  const TPropList& PublishedProps() const override {
    static const TPropList List =
        TPublisher<TTestLabel>(TComponent::PublishedProps())
            .Property("Caption", &TTestLabel::Caption, &TTestLabel::SetCaption)
            .Property("Width", &TTestLabel::Width, &TTestLabel::SetWidth)
            .Property("Alignment", &TTestLabel::Alignment, &TTestLabel::SetAlignment)
            .Property("Visible", &TTestLabel::FVisible, &TTestLabel::FVisible)
            .Property("Ratio", &TTestLabel::FRatio, &TTestLabel::FRatio)
            .Property("Font", &TTestLabel::Font, &TTestLabel::SetFont)
            .Property("HintFont", &TTestLabel::FNoFont)
            .Property("Version", [](TTestLabel&) { return std::string("5.2"); });
    return List;
  }

private:
  std::string FCaption;
  int32_t FWidth = 0;
  TTestAlignment FAlignment = taLeftJustify;
  TTestFont FFont;
};

// Inherits everything and publishes one more; Caption is published again as read-only.
class TTestTitle : public TTestLabel {
public:
  using TTestLabel::TTestLabel;
  const TPropList& PublishedProps() const override {
    static const TPropList List = TPublisher<TTestTitle>(TTestLabel::PublishedProps())
                                      .Property("Level", &TTestTitle::FLevel, &TTestTitle::FLevel)
                                      .Property("Caption", &TTestTitle::Caption);
    return List;
  }
  int16_t FLevel = 1;
};

class PublishedProperties : public ::testing::Test {
protected:
  TComponent Form{nullptr};
  TTestLabel* Label = new TTestLabel(&Form);
};

TEST_F(PublishedProperties, SetByNameAndReadBackAsText) {
  struct Case {
    const char* Path;
    const char* Value;
    const char* Read;
  };
  const Case Cases[] = {
      {"Caption", "Bitte warten", "Bitte warten"},
      {"caption", "  spaces kept ", "  spaces kept "},
      {"Width", " 120 ", "120"},
      {"Width", "-$10", "-16"},
      {"Visible", "false", "False"},
      {"Visible", "TRUE", "True"},
      {"Alignment", "TACENTER", "taCenter"},
      {"Ratio", "0.25", "0.25"},
      {"Ratio", "-3e2", "-300"},
      {"Font.Name", "Tahoma", "Tahoma"},
      {"font.size", "10", "10"},
      {"Font.Style", "[fsItalic, fsBold]", "[fsBold,fsItalic]"},
      {"Font.Style", "fsStrikeOut", "[fsStrikeOut]"},
      {"Font.Style", "[]", "[]"},
      {"Font.Charset", "255", "255"},
      {"Name", "LabelWait", "LabelWait"},
      {"Tag", "6", "6"},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(std::string(C.Path) + "=" + C.Value);
    SetPropertyByName(Label, C.Path, C.Value);
    EXPECT_EQ(GetPropertyByName(Label, C.Path), C.Read);
  }
  // The values reached the objects through their setters.
  EXPECT_EQ(Label->Width(), -16);
  EXPECT_EQ(Label->Alignment(), taCenter);
  EXPECT_EQ(Label->Font()->Name(), "Tahoma");
  EXPECT_EQ(Label->Font()->Style(), TTestFontStyles{});
  EXPECT_EQ(Label->FontChanges, 5);
  EXPECT_EQ(Form.FindComponent("labelwait"), Label);
  EXPECT_EQ(GetPropertyByName(Label, "Font"), "(TTestFont)");
  EXPECT_EQ(GetPropertyByName(Label, "HintFont"), "");
  EXPECT_EQ(GetPropertyByName(Label, "Version"), "5.2");
}

TEST_F(PublishedProperties, UnknownNamesAndBadValuesRaiseNamingClassAndProperty) {
  struct Case {
    const char* Path;
    const char* Value;
    std::vector<std::string> MessageParts;
  };
  const Case Cases[] = {
      {"Captoin", "x", {"TTestLabel", "\"Captoin\""}},
      {"Font.Nmae", "x", {"TTestLabel", "\"Font.Nmae\"", "TTestFont"}},
      {"Caption.Text", "x", {"TTestLabel", "\"Caption.Text\"", "not an object"}},
      {"HintFont.Name", "x", {"TTestLabel", "\"HintFont.Name\"", "nil"}},
      {"", "x", {"TTestLabel", "\"\""}},
      {"Alignment", "taMiddle", {"TTestLabel", "\"Alignment\"", "\"taMiddle\"", "TTestAlignment"}},
      {"Font.Style", "[fsBold,fsHuge]", {"TTestLabel", "\"Font.Style\"", "fsHuge"}},
      {"Font.Style", "[fsBold", {"\"Font.Style\""}},
      {"Width", "abc", {"TTestLabel", "\"Width\"", "\"abc\"", "Integer"}},
      {"Width", "", {"\"Width\""}},
      {"Width", "99999999999", {"\"Width\""}},
      {"Font.Charset", "256", {"\"Font.Charset\"", "Byte"}},
      {"Visible", "yes", {"\"Visible\"", "Boolean"}},
      {"Ratio", "1,5", {"\"Ratio\"", "Double"}},
      {"Version", "6.0", {"\"Version\"", "read-only"}},
      {"Font", "Tahoma", {"\"Font\"", "TTestFont"}},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(std::string(C.Path) + "=" + C.Value);
    try {
      SetPropertyByName(Label, C.Path, C.Value);
      ADD_FAILURE() << "no exception";
    } catch (const EPropertyError& E) {
      for (const std::string& Part : C.MessageParts) EXPECT_NE(E.Message().find(Part), std::string::npos) << E.Message();
    }
  }
  // Nothing was half-set on the way.
  EXPECT_EQ(Label->Width(), 0);
  EXPECT_EQ(Label->Alignment(), taLeftJustify);
  EXPECT_EQ(Label->Font()->Style(), TTestFontStyles{});
  EXPECT_EQ(Label->FontChanges, 0);
  EXPECT_THROW(GetPropertyByName(Label, "Font.Colour"), EPropertyError);
  EXPECT_THROW(SetPropertyByName(nullptr, "Caption", "x"), EPropertyError);
}

TEST_F(PublishedProperties, SubclassesInheritAndMayPublishANameAgain) {
  TTestTitle Title(nullptr);
  SetPropertyByName(&Title, "Font.Size", "14");
  SetPropertyByName(&Title, "Level", "2");
  EXPECT_EQ(Title.FLevel, 2);
  EXPECT_EQ(Title.Font()->Size(), 14);
  EXPECT_THROW(SetPropertyByName(&Title, "Caption", "x"), EPropertyError);  // now read-only
  EXPECT_TRUE(IsPublishedProp(&Title, "Level"));
  EXPECT_FALSE(IsPublishedProp(Label, "Level"));
  const TPropList& Props = Title.PublishedProps();
  EXPECT_EQ(Props.Count(), Label->PublishedProps().Count() + 1);
  EXPECT_EQ(Props.Items(0).Name, "Name");
  EXPECT_EQ(Props.Items(2).Name, "Caption");
}

TEST_F(PublishedProperties, IsPublishedPropFollowsPathsGetPropInfoTakesOnlyPlainNames) {
  EXPECT_TRUE(IsPublishedProp(Label, "Caption"));
  EXPECT_TRUE(IsPublishedProp(Label, "FONT.style"));
  EXPECT_FALSE(IsPublishedProp(Label, "Font.Colour"));
  EXPECT_FALSE(IsPublishedProp(Label, "HintFont.Name"));
  EXPECT_FALSE(IsPublishedProp(nullptr, "Caption"));

  EXPECT_EQ(GetPropInfo(Label, "Font.Name"), nullptr);
  const TPropInfo* Font = GetPropInfo(Label, "font");
  ASSERT_NE(Font, nullptr);
  EXPECT_EQ(Font->Kind, tkClass);
  EXPECT_EQ(Font->TypeName, "TTestFont");
  EXPECT_EQ(GetPropInfo(Label, "Width")->Kind, tkInteger);
  EXPECT_EQ(GetPropInfo(Label, "Caption")->Kind, tkString);
  EXPECT_EQ(GetPropInfo(Label, "Visible")->Kind, tkBoolean);
  EXPECT_EQ(GetPropInfo(Label, "Alignment")->Kind, tkEnumeration);
  EXPECT_EQ(GetPropInfo(Label, "Ratio")->Kind, tkFloat);
  EXPECT_EQ(GetPropInfo(Label->Font(), "Style")->Kind, tkSet);
}

TEST_F(PublishedProperties, TypedAccessChecksKindRangeAndClass) {
  SetOrdProp(Label, "Alignment", 1);
  EXPECT_EQ(Label->Alignment(), taRightJustify);
  EXPECT_EQ(GetOrdProp(Label, "Visible"), 1);
  SetOrdProp(Label->Font(), "Style", 0b101);
  EXPECT_EQ(GetPropertyByName(Label, "Font.Style"), "[fsBold,fsUnderline]");
  EXPECT_THROW(SetOrdProp(Label, "Alignment", 3), EPropertyError);
  EXPECT_THROW(SetOrdProp(Label->Font(), "Style", 0b10000), EPropertyError);
  EXPECT_THROW(SetOrdProp(Label->Font(), "Charset", -1), EPropertyError);
  EXPECT_THROW(SetOrdProp(Label, "Caption", 1), EPropertyError);
  EXPECT_THROW(GetOrdProp(Label, "Nothing"), EPropertyError);

  SetStrProp(Label, GetPropInfo(Label, "Caption"), "Ready");
  EXPECT_EQ(GetStrProp(Label, "Caption"), "Ready");
  EXPECT_THROW(SetStrProp(Label, "Width", "1"), EPropertyError);

  TTestFont Bold;
  Bold.SetStyle({fsBold});
  SetObjectProp(Label, "Font", &Bold);  // through the setter, which copies
  EXPECT_EQ(Label->Font()->Style(), TTestFontStyles{fsBold});
  EXPECT_EQ(GetObjectProp(Label, "Font"), Label->Font());
  TTestFontRecipe NotAFont;
  EXPECT_THROW(SetObjectProp(Label, "Font", &NotAFont), EPropertyError);
  EXPECT_THROW(SetObjectProp(Label, "HintFont", &Bold), EPropertyError);  // read-only
}

// ---------------------------------------------------------------------------------------------
// Assign
// ---------------------------------------------------------------------------------------------

TEST(Persistent, AssignCopiesWhatEitherSideKnowsAndRaisesOtherwise) {
  TTestFont Source, Dest;
  Source.SetName("Arial");
  Source.SetStyle({fsItalic});
  Dest.Assign(&Source);
  EXPECT_EQ(Dest.Name(), "Arial");
  EXPECT_EQ(Dest.Style(), TTestFontStyles{fsItalic});

  TTestFontRecipe Recipe;
  Dest.Assign(&Recipe);  // the source side knows how
  EXPECT_EQ(Dest.Name(), "Tahoma");

  try {
    Recipe.Assign(&Dest);
    ADD_FAILURE() << "no exception";
  } catch (const EConvertError& E) {
    EXPECT_EQ(E.Message(), "Cannot assign a TTestFont to a TTestFontRecipe");
  }
  try {
    Dest.Assign(nullptr);
    ADD_FAILURE() << "no exception";
  } catch (const EConvertError& E) {
    EXPECT_EQ(E.Message(), "Cannot assign a nil to a TTestFont");
  }
  TComponent Owner(nullptr);
  EXPECT_THROW(Owner.Assign(&Dest), EConvertError);
}

TEST(Persistent, ClassNameIsTheActualClassWithoutScopes) {
  TTestTitle Title(nullptr);
  TComponent* AsComponent = &Title;
  EXPECT_EQ(AsComponent->ClassName(), "TTestTitle");
  EXPECT_EQ(ClassNameOf(typeid(TComponent)), "TComponent");
}

}  // namespace
}  // namespace zv
