// Shared services of the controls: what a frame controller pushes into the controls it serves and
// when, the blinking timer and its shared list, the font and caption helpers, and the settings store.
#include "controls/rz_common_ctrl.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "controls/rz_prgres.h"
#include "platform/backend.h"
#include "platform/controls.h"
#include "platform/forms.h"
#include "platform/gdi_text.h"
#include "platform/win32.h"

namespace zv {
namespace {

const bool kHeadless = (setenv("ZONVARK_HEADLESS", "1", 1), true);

// A control publishing some of the controller's settings, logging each one it is given.
class TFramedProbe : public TGraphicControl {
public:
  explicit TFramedProbe(TComponent* AOwner) : TGraphicControl(AOwner) {}
  ~TFramedProbe() override {
    if (FFrameController) FFrameController->DetachControl(this);
  }

  TColor FocusColor() const { return FFocusColor; }
  void SetFocusColor(TColor Value) { FFocusColor = Value, Log.push_back("FocusColor"); }
  TColor FrameColor() const { return FFrameColor; }
  void SetFrameColor(TColor Value) { FFrameColor = Value, Log.push_back("FrameColor"); }
  TSides FrameSides() const { return FFrameSides; }
  void SetFrameSides(TSides Value) { FFrameSides = Value, Log.push_back("FrameSides"); }
  TFrameStyle FrameStyle() const { return FFrameStyle; }
  void SetFrameStyle(TFrameStyle Value) { FFrameStyle = Value, Log.push_back("FrameStyle"); }
  bool FrameVisible() const { return FFrameVisible; }
  void SetFrameVisible(bool Value) { FFrameVisible = Value, Log.push_back("FrameVisible"); }
  TRzFrameController* FrameController() const { return FFrameController; }
  void SetFrameController(TRzFrameController* Value) { ChangeFrameController(this, FFrameController, Value); }

  void Dispatch(TMessage& Message) override {
    if (Message.Msg == CM_COLORCHANGED) Log.push_back("Color");
    TGraphicControl::Dispatch(Message);
  }

  const TPropList& PublishedProps() const override {
    using C = TFramedProbe;
    static const TPropList List = TPublisher<C>(TGraphicControl::PublishedProps())
                                      .Property("FocusColor", &C::FocusColor, &C::SetFocusColor)
                                      .Property("FrameColor", &C::FrameColor, &C::SetFrameColor)
                                      .Property("FrameSides", &C::FrameSides, &C::SetFrameSides)
                                      .Property("FrameStyle", &C::FrameStyle, &C::SetFrameStyle)
                                      .Property("FrameVisible", &C::FrameVisible, &C::SetFrameVisible)
                                      .Property("FrameController", &C::FrameController, &C::SetFrameController);
    return List;
  }

  std::vector<std::string> Log;

protected:
  void Notification(TComponent* AComponent, TOperation Operation) override {
    TGraphicControl::Notification(AComponent, Operation);
    if (Operation == opRemove && AComponent == FFrameController) FFrameController = nullptr;
  }

private:
  TColor FFocusColor = clNone;
  TColor FFrameColor = clNone;
  TSides FFrameSides;
  TFrameStyle FFrameStyle = fsNone;
  bool FFrameVisible = false;
  TRzFrameController* FFrameController = nullptr;
};

// The same, choosing which settings it takes.
class TChoosyProbe : public TFramedProbe {
public:
  explicit TChoosyProbe(TComponent* AOwner) : TFramedProbe(AOwner) {}
  TRzFrameControllerNotifications Notifications = fccAll;
  const TPropList& PublishedProps() const override {
    static const TPropList List =
        TPublisher<TChoosyProbe>(TFramedProbe::PublishedProps())
            .Property("FrameControllerNotifications", &TChoosyProbe::Notifications, &TChoosyProbe::Notifications);
    return List;
  }
};

// A control that reads the controller itself.
class TClientProbe : public TGraphicControl, public IRzFrameControllerClient {
public:
  explicit TClientProbe(TComponent* AOwner) : TGraphicControl(AOwner) {}
  void ApplyFrameControllerSettings() override { ++Applied; }
  TRzFrameControllerNotifications Notifications;  // empty: it wants nothing, yet is always told
  const TPropList& PublishedProps() const override {
    static const TPropList List =
        TPublisher<TClientProbe>(TGraphicControl::PublishedProps())
            .Property("FrameControllerNotifications", &TClientProbe::Notifications, &TClientProbe::Notifications);
    return List;
  }
  int Applied = 0;
};

class RzFrameControllerTest : public ::testing::Test {
protected:
  void SetUp() override {
    RzCommonStartup();
    Owner = new TComponent(nullptr);
    Controller = new TRzFrameController(Owner);
  }
  void TearDown() override {
    delete Owner;
    RzCommonShutdown();
  }
  TComponent* Owner = nullptr;
  TRzFrameController* Controller = nullptr;
};

TEST_F(RzFrameControllerTest, AttachingPushesEverySettingOnceInOrder) {
  Controller->SetFrameStyle(fsGroove);
  Controller->SetFrameColor(TColor(0x123456));
  Controller->SetFrameSides({sdLeft, sdBottom});
  Controller->SetColor(TColor(0xABCDEF));
  auto* Probe = new TFramedProbe(Owner);
  Probe->SetFrameController(Controller);
  Controller->AttachControl(Probe);  // a second time: still one entry, no second push
  EXPECT_EQ(Controller->ControlCount(), 1);
  // A control without FrameControllerNotifications takes every setting it publishes, in the
  // controller's order; the colour too, as the controller does not follow its parent's.
  EXPECT_EQ(Probe->Log, (std::vector<std::string>{"Color", "FocusColor", "FrameColor", "FrameSides", "FrameStyle",
                                                  "FrameVisible"}));
  EXPECT_EQ(Probe->Color(), TColor(0xABCDEF));
  EXPECT_FALSE(Probe->ParentColor());
  EXPECT_EQ(Probe->FrameStyle(), fsGroove);
  EXPECT_EQ(Probe->FrameColor(), TColor(0x123456));
  EXPECT_EQ(Probe->FrameSides(), (TSides{sdLeft, sdBottom}));
  EXPECT_EQ(Probe->FocusColor(), TColor(0xABCDEF));  // it followed the colour
}

struct NotificationCase {
  TRzFrameControllerNotifications Wanted;
  std::vector<std::string> Expected;
};

TEST_F(RzFrameControllerTest, ControlsHearOnlyTheSettingsTheyChose) {
  const NotificationCase Cases[] = {
      {fccAll, {"FrameStyle", "FrameColor", "FrameVisible"}},
      {{}, {}},
      {{fcpFrameStyle}, {"FrameStyle"}},
      {{fcpFrameColor, fcpFrameVisible, fcpFrameSides}, {"FrameColor", "FrameVisible"}},
  };
  for (const NotificationCase& C : Cases) {
    TRzFrameController Fresh(nullptr);
    TChoosyProbe Probe(nullptr);
    Probe.Notifications = C.Wanted;
    Probe.SetFrameController(&Fresh);
    Probe.Log.clear();
    Fresh.SetFrameStyle(fsBump);
    Fresh.SetFrameColor(clRed);
    Fresh.SetFrameVisible(true);
    EXPECT_EQ(Probe.Log, C.Expected);
    Probe.SetFrameController(nullptr);
    EXPECT_EQ(Fresh.ControlCount(), 0);
  }
}

TEST_F(RzFrameControllerTest, ColourCarriesAFocusColourThatFollowedItButPushesOnlyItself) {
  auto* Probe = new TFramedProbe(Owner);
  Probe->SetFrameController(Controller);
  Probe->Log.clear();
  Controller->SetColor(TColor(0x00FFFF));
  EXPECT_EQ(Controller->FocusColor(), TColor(0x00FFFF));
  EXPECT_EQ(Probe->Log, (std::vector<std::string>{"Color"}));
  EXPECT_EQ(Probe->Color(), TColor(0x00FFFF));
  EXPECT_EQ(Probe->FocusColor(), clWindow);

  // A focus colour of its own stays.
  Controller->SetFocusColor(clRed);
  Controller->SetColor(clBlue);
  EXPECT_EQ(Controller->FocusColor(), clRed);
}

TEST_F(RzFrameControllerTest, ParentColourOffPushesTheColourAfterIt) {
  auto* Probe = new TFramedProbe(Owner);
  Probe->SetFrameController(Controller);
  Controller->SetParentColor(true);
  EXPECT_TRUE(Probe->ParentColor());
  Probe->SetColor(clRed);
  Probe->SetParentColor(true);
  Probe->Log.clear();
  Controller->SetParentColor(false);
  EXPECT_FALSE(Probe->ParentColor());
  EXPECT_EQ(Probe->Log, (std::vector<std::string>{"Color"}));
  EXPECT_EQ(Probe->Color(), clWindow);
  // Setting the colour turns the parent's colour off.
  Controller->SetParentColor(true);
  Controller->SetColor(clLime);
  EXPECT_FALSE(Controller->ParentColor());
}

TEST_F(RzFrameControllerTest, HeldChangesArriveAsOneFullPush) {
  auto* Probe = new TFramedProbe(Owner);
  Probe->SetFrameController(Controller);
  Probe->Log.clear();
  Controller->HoldUpdates();
  Controller->HoldUpdates();
  Controller->SetFrameStyle(fsBump);
  Controller->SetFrameColor(clRed);
  Controller->SetFrameStyle(fsRaised);
  Controller->ReleaseUpdates();
  EXPECT_TRUE(Probe->Log.empty());
  Controller->ReleaseUpdates();
  EXPECT_EQ(std::count(Probe->Log.begin(), Probe->Log.end(), "FrameStyle"), 1);
  EXPECT_EQ(std::count(Probe->Log.begin(), Probe->Log.end(), "FrameColor"), 1);
  EXPECT_EQ(Probe->FrameStyle(), fsRaised);
  // An unmatched release does not leave the count below zero.
  Controller->ReleaseUpdates();
  Probe->Log.clear();
  Controller->SetFrameStyle(fsFlat);
  EXPECT_EQ(Probe->Log, (std::vector<std::string>{"FrameStyle"}));
}

TEST_F(RzFrameControllerTest, ClientsAreAlwaysAskedToApply) {
  auto* Client = new TClientProbe(Owner);
  Controller->AttachControl(Client);
  EXPECT_EQ(Client->Applied, 1);
  Controller->SetFrameStyle(fsBump);
  Controller->SetReadOnlyColor(clRed);
  EXPECT_EQ(Client->Applied, 3);
  // Components that are no controls are passed over.
  auto* Plain = new TComponent(Owner);
  Controller->AttachControl(Plain);
  Controller->SetFrameStyle(fsFlat);
  EXPECT_EQ(Client->Applied, 4);
}

TEST_F(RzFrameControllerTest, ProgressBarTakesFrameAndColourWhenTheFrameIsVisible) {
  auto* Bar = new TRzProgressBar(Owner);
  Bar->SetFrameController(Controller);
  Controller->SetFrameStyle(fsGroove);
  Controller->SetColor(clYellow);
  EXPECT_EQ(Bar->BorderOuter(), fsLowered);  // nothing while the controller shows no frame
  EXPECT_EQ(Bar->BackColor(), TColor(0xFFFFFF));

  Controller->SetFrameVisible(true);
  EXPECT_EQ(Bar->BorderOuter(), fsGroove);
  EXPECT_EQ(Bar->FlatColor(), clBtnShadow);
  EXPECT_EQ(Bar->FlatColorAdjustment(), 0);
  EXPECT_EQ(Bar->BackColor(), clYellow);

  // Settings the bar does not take are left alone.
  Bar->SetFrameControllerNotifications({fcpFrameColor});
  Controller->SetFrameStyle(fsBump);
  Controller->SetFrameColor(clRed);
  EXPECT_EQ(Bar->BorderOuter(), fsGroove);
  EXPECT_EQ(Bar->FlatColor(), clRed);
}

TEST_F(RzFrameControllerTest, EitherSideMayGoFirst) {
  auto* Bar = new TRzProgressBar(Owner);
  auto* Probe = new TFramedProbe(Owner);
  Bar->SetFrameController(Controller);
  Probe->SetFrameController(Controller);
  EXPECT_EQ(Controller->ControlCount(), 2);
  delete Bar;
  EXPECT_EQ(Controller->ControlCount(), 1);
  delete Controller;
  Controller = nullptr;
  EXPECT_EQ(Probe->FrameController(), nullptr);

  // A control that is freed without detaching does not stay registered.
  TRzFrameController Other(nullptr);
  auto* Careless = new TGraphicControl(nullptr);
  Other.AttachControl(Careless);
  Careless->FreeNotification(&Other);
  delete Careless;
  EXPECT_EQ(Other.ControlCount(), 0);
  Other.SetFrameStyle(fsBump);
}

TEST_F(RzFrameControllerTest, HotTrackingNeedsAVisibleFrameAllRound) {
  Controller->SetFrameSides({sdTop});
  Controller->SetFrameHotTrack(true);
  EXPECT_TRUE(Controller->FrameVisible());
  EXPECT_EQ(Controller->FrameSides(), sdAllSides);

  // While loading the sides of the description are kept.
  TRzFrameController Loading(nullptr);
  Loading.Loading();
  Loading.SetFrameSides({sdTop});
  Loading.SetFrameHotTrack(true);
  EXPECT_TRUE(Loading.FrameVisible());
  EXPECT_EQ(Loading.FrameSides(), TSides{sdTop});
}

TEST_F(RzFrameControllerTest, AssignCopiesTheSettingsInOnePush) {
  TRzFrameController Source(nullptr);
  Source.SetFrameStyle(fsPopup);
  Source.SetFrameHotStyle(fsLowered);
  Source.SetDisabledColor(clGray);
  Source.SetFlatButtons(false);
  Source.SetFramingPreference(fpCustomFraming);
  Source.SetReadOnlyColorOnFocus(true);
  auto* Store = new TRzRegIniFile(Owner);
  Source.SetRegIniFile(Store);
  auto* Probe = new TFramedProbe(Owner);
  Probe->SetFrameController(Controller);
  Probe->Log.clear();
  Controller->Assign(&Source);
  EXPECT_EQ(Controller->FrameStyle(), fsPopup);
  EXPECT_EQ(Controller->FrameHotStyle(), fsLowered);
  EXPECT_EQ(Controller->DisabledColor(), clGray);
  EXPECT_FALSE(Controller->FlatButtons());
  EXPECT_EQ(Controller->FramingPreference(), fpCustomFraming);
  EXPECT_TRUE(Controller->ReadOnlyColorOnFocus());
  EXPECT_EQ(Controller->RegIniFile(), nullptr);
  EXPECT_EQ(std::count(Probe->Log.begin(), Probe->Log.end(), "FrameStyle"), 1);

  TFont NotAController;
  EXPECT_ANY_THROW(Controller->Assign(&NotAController));

  // The store is forgotten when it goes.
  Source.SetRegIniFile(Store);
  delete Store;
  EXPECT_EQ(Source.RegIniFile(), nullptr);
}

TEST_F(RzFrameControllerTest, PublishedPropertiesAndTheirDefaults) {
  EXPECT_EQ(GetPropertyByName(Controller, "FrameStyle"), "fsFlat");
  EXPECT_EQ(GetPropertyByName(Controller, "FrameHotStyle"), "fsFlatBold");
  EXPECT_EQ(GetPropertyByName(Controller, "FrameSides"), "[sdLeft,sdTop,sdRight,sdBottom]");
  EXPECT_EQ(GetPropertyByName(Controller, "FramingPreference"), "fpXPThemes");
  EXPECT_EQ(Controller->ReadOnlyColor(), clInfoBk);
  EXPECT_TRUE(Controller->FlatButtons());
  EXPECT_FALSE(Controller->FrameVisible());
  SetPropertyByName(Controller, "FrameStyle", "fsButtonUp");
  EXPECT_EQ(Controller->FrameStyle(), fsButtonUp);

  // SetOrdPropIfPublished sets what is there and passes over what is not.
  TFramedProbe Probe(nullptr);
  SetOrdPropIfPublished(&Probe, "FrameStyle", fsBump);
  SetOrdPropIfPublished(&Probe, "NoSuchProperty", 1);
  SetOrdPropIfPublished(&Probe, "Caption", 1);  // not an ordinal
  SetOrdPropIfPublished(nullptr, "FrameStyle", fsBump);
  EXPECT_EQ(Probe.FrameStyle(), fsBump);
  EXPECT_EQ(Probe.Caption(), "");
}

// --- blinking ---

// A control that blinks or not, recording the states it is given.
class TBlinkProbe : public TGraphicControl {
public:
  TBlinkProbe(TComponent* AOwner, bool ABlinking) : TGraphicControl(AOwner), Blinking(ABlinking) {}
  void Dispatch(TMessage& Message) override {
    if (Message.Msg == CM_BLINKQUERY) {
      ++Queries;
      Message.Result = Blinking ? 1 : 0;
      return;
    }
    if (Message.Msg == CM_BLINKSTATE) {
      States.push_back(int(Message.WParam));
      return;
    }
    TGraphicControl::Dispatch(Message);
  }
  bool Blinking;
  int Queries = 0;
  std::vector<int> States;
};

TEST(RzBlinkingControlsList, BlinksOnlyWhileMessagesArePumped) {
  TBlinkProbe On(nullptr, true);
  TBlinkProbe Off(nullptr, false);
  TRzBlinkingControlsList List;
  EXPECT_EQ(List.BlinkState(), 1);
  EXPECT_EQ(List.CurrentInterval(), 500u);  // the first change comes BlinkIntervalOff after creation
  List.AttachControl(&On);
  List.AttachControl(&Off);
  // New intervals wait for the next change of state.
  List.SetBlinkIntervalOn(30);
  List.SetBlinkIntervalOff(60);
  EXPECT_EQ(List.CurrentInterval(), 500u);

  Sleep(520);
  EXPECT_TRUE(On.States.empty());
  headless::Pump();
  ASSERT_EQ(On.States, (std::vector<int>{0}));
  EXPECT_EQ(List.BlinkState(), 0);
  EXPECT_EQ(List.CurrentInterval(), 60u);  // the normal colour lasts BlinkIntervalOff
  EXPECT_EQ(Off.Queries, 1);
  EXPECT_TRUE(Off.States.empty());

  Sleep(70);
  headless::Pump();
  ASSERT_EQ(On.States, (std::vector<int>{0, 1}));
  EXPECT_EQ(List.CurrentInterval(), 30u);  // the blink colour lasts BlinkIntervalOn
  Off.Blinking = true;
  Sleep(40);
  headless::Pump();
  EXPECT_EQ(On.States, (std::vector<int>{0, 1, 0}));
  EXPECT_EQ(Off.States, (std::vector<int>{0}));
  List.DetachControl(&On);
  List.DetachControl(&Off);
}

TEST(RzBlinkingControlsList, SharedListComesAndGoesWithItsControls) {
  TBlinkProbe A(nullptr, true);
  ASSERT_EQ(BlinkingControlsList, nullptr);
  TRzBlinkingControlsList* Shared = NeedBlinkingControlsList();
  EXPECT_EQ(NeedBlinkingControlsList(), Shared);
  Shared->AttachControl(&A);
  Shared->AttachControl(&A);
  Shared->DetachControl(&A);  // the first entry only
  EXPECT_EQ(Shared->Count(), 1);
  ReleaseBlinkingListWhenEmpty();
  EXPECT_EQ(BlinkingControlsList, Shared);
  Shared->DetachControl(&A);
  ReleaseBlinkingListWhenEmpty();
  EXPECT_EQ(BlinkingControlsList, nullptr);
  ReleaseBlinkingListWhenEmpty();
}

// --- fonts and captions ---

struct AccelCase {
  const char* Caption;
  const char* Expected;
};

TEST(RzCaptions, StripAccelMarkers) {
  const AccelCase Cases[] = {
      {"", ""},       {"&", "&"},         {"a&b", "ab"},        {"&File", "File"},
      {"A&&B", "A&B"}, {"Save&", "Save&"}, {"&&", "&&"},        {"No marker", "No marker"},
      {"Ö&ffnen", "Öffnen"},
  };
  for (const AccelCase& C : Cases) EXPECT_EQ(StripAccelMarkers(C.Caption), C.Expected) << C.Caption;
}

TEST(RzFonts, RotatedFontKeepsTheFontAndTurnsIt) {
  TFont Font;
  Font.SetName("Tahoma");
  Font.SetHeight(-13);
  Font.SetStyle({fsBold, fsUnderline});
  Font.SetPitch(fpVariable);
  HFONT Rotated = CreateRotatedFont(&Font, 90);
  ASSERT_NE(Rotated, nullptr);
  LOGFONT LogFont;
  ASSERT_EQ(GetObject(Rotated, sizeof(LogFont), &LogFont), int(sizeof(LogFont)));
  EXPECT_EQ(LogFont.lfHeight, -13);
  EXPECT_EQ(LogFont.lfEscapement, 900);
  EXPECT_EQ(LogFont.lfOrientation, 0);
  EXPECT_EQ(LogFont.lfWeight, 700);
  EXPECT_EQ(LogFont.lfUnderline, 1);
  EXPECT_EQ(LogFont.lfItalic, 0);
  EXPECT_EQ(LogFont.lfPitchAndFamily, VARIABLE_PITCH);
  EXPECT_STREQ(LogFont.lfFaceName, "Tahoma");
  DeleteObject(Rotated);

  // A face name longer than the field is cut, never split inside a character.
  Font.SetName(std::string(30, 'x') + "\xC3\xA9" + "tail");
  Rotated = CreateRotatedFont(&Font, -45);
  ASSERT_EQ(GetObject(Rotated, sizeof(LogFont), &LogFont), int(sizeof(LogFont)));
  EXPECT_EQ(std::string(LogFont.lfFaceName), std::string(30, 'x'));
  EXPECT_EQ(LogFont.lfEscapement, -450);
  DeleteObject(Rotated);
}

TEST(RzFonts, RowHeightGrowsWithTheFont) {
  TFont Small;
  Small.SetHeight(-11);
  TFont Large;
  Large.SetHeight(-30);
  HDC Screen = GetDC(nullptr);
  HGDIOBJ Old = SelectObject(Screen, Small.Handle());
  TEXTMETRIC Metrics;
  ASSERT_TRUE(GetTextMetrics(Screen, &Metrics));
  SelectObject(Screen, Old);
  ReleaseDC(nullptr, Screen);
  EXPECT_EQ(FontRowHeight(&Small), Metrics.tmHeight + 2);
  EXPECT_GT(FontRowHeight(&Large), FontRowHeight(&Small) + 15);
  EXPECT_TRUE(FontIsTrueType(&Small));  // the installed outline fonts
}

// --- settings store ---

class RzRegIniFileTest : public ::testing::Test {
protected:
  void SetUp() override {
    Folder = std::string(ZV_TEST_TMP) + "/rz_reg_ini_file";
    std::filesystem::remove_all(Folder);
    std::filesystem::create_directories(Folder);
    const char* Old = std::getenv("XDG_CONFIG_HOME");
    SavedXdg = Old ? Old : "";
    HadXdg = Old != nullptr;
    setenv("XDG_CONFIG_HOME", (Folder + "/config").c_str(), 1);
  }
  void TearDown() override {
    if (HadXdg)
      setenv("XDG_CONFIG_HOME", SavedXdg.c_str(), 1);
    else
      unsetenv("XDG_CONFIG_HOME");
  }
  std::string Folder;
  std::string SavedXdg;
  bool HadXdg = false;
};

TEST_F(RzRegIniFileTest, IniFileRoundTrip) {
  const std::string First = Folder + "/first.ini";
  {
    TRzRegIniFile Store(nullptr);
    EXPECT_EQ(Store.PathType(), ptIniFile);
    EXPECT_EQ(Store.RegKey(), hkeyCurrentUser);
    EXPECT_EQ(Store.RegAccess(), TRzRegAccess{keyAllAccess});
    Store.SetPath(First);
    Store.WriteString("Window", "Caption", "Zonvark ünd &Co");
    Store.WriteInteger("Window", "Left", -120);
    Store.WriteBool("Window", "Maximized", true);
    Store.WriteString("Other", "Gone", "soon");
    Store.DeleteKey("Other", "Gone");
  }
  TRzRegIniFile Store(nullptr);
  Store.SetPath(First);
  EXPECT_EQ(Store.ReadString("Window", "Caption", ""), "Zonvark ünd &Co");
  EXPECT_EQ(Store.ReadInteger("Window", "Left", 0), -120);
  EXPECT_TRUE(Store.ReadBool("Window", "Maximized", false));
  EXPECT_FALSE(Store.ValueExists("Other", "Gone"));
  EXPECT_EQ(Store.ReadInteger("Window", "Missing", 7), 7);

  // Another path is another file, opened afresh.
  Store.SetPath(Folder + "/second.ini");
  EXPECT_EQ(Store.ReadInteger("Window", "Left", 0), 0);
  Store.SetPath(First);
  Store.EraseSection("Window");
  EXPECT_FALSE(Store.ValueExists("Window", "Left"));
}

TEST_F(RzRegIniFileTest, RegistryKeysLiveInTheUsersConfigurationFolder) {
  {
    TRzRegIniFile Store(nullptr);
    SetPropertyByName(&Store, "PathType", "ptRegistry");
    SetPropertyByName(&Store, "Path", "Software\\Zonvark\\");
    Store.WriteInteger("Main", "Quality", 80);
    EXPECT_EQ(Store.StorageFileName(), Folder + "/config/zonvark/registry/hkeyCurrentUser.ini");
  }
  TRzRegIniFile Store(nullptr);
  Store.SetPathType(ptRegistry);
  Store.SetPath("Software\\Zonvark");
  EXPECT_EQ(Store.ReadInteger("Main", "Quality", 0), 80);
  Store.SetRegKey(hkeyLocalMachine);
  EXPECT_EQ(Store.ReadInteger("Main", "Quality", 0), 0);
  Store.SetRegKey(hkeyCurrentUser);
  Store.SetPath("Software\\Other");
  EXPECT_EQ(Store.ReadInteger("Main", "Quality", 0), 0);
}

}  // namespace
}  // namespace zv
