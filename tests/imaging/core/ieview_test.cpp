// The abstract view: defaults and abstract operations, overridden virtuals, the change-callback list
// (also when callbacks change it while it is walked, and at the view's end), a view without a parent
// window, border styles and the 3-D look, mouse enter and leave.
#include "imaging/core/ieview.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "imaging/core/bitmap.h"
#include "platform/backend.h"
#include "platform/forms.h"

namespace zv {
namespace {

const bool kHeadless = (setenv("ZONVARK_HEADLESS", "1", 1), true);

// A concrete view over one bitmap, recording which of its overrides ran.
class TTestView : public TIEView {
public:
  explicit TTestView(TComponent* AOwner) : TIEView(AOwner) {}
  ~TTestView() override { delete FAlpha; }

  std::vector<std::string> Log;
  TIEBitmap Bitmap;
  int32_t Locks = 0;

  void SetBackground(TColor Value) override {
    TIEView::SetBackground(Value);
    Log.push_back("background");
  }
  TIEBitmap* GetIEBitmap() override { return &Bitmap; }
  TIEBitmap* GetAlphaChannel() override {
    if (!FAlpha) FAlpha = new TIEBitmap();
    return FAlpha;
  }
  bool HasAlphaChannel() override { return FAlpha != nullptr; }
  void RemoveAlphaChannel(bool Merge) override {
    Log.push_back(Merge ? "remove alpha merged" : "remove alpha");
    delete FAlpha;
    FAlpha = nullptr;
  }
  void LockUpdate() override { ++Locks; }
  int32_t UnlockUpdate() override {
    if (Locks > 0 && --Locks == 0) Log.push_back("repaint");
    return Locks;
  }
  int32_t UnlockUpdateEx() override {
    if (Locks > 0) --Locks;
    return Locks;
  }
  void SetDpiX(int32_t Value) override {
    Log.push_back("dpix " + std::to_string(Value));
    TIEView::SetDpiX(Value);
  }
  void SetDpiY(int32_t Value) override {
    Log.push_back("dpiy " + std::to_string(Value));
    TIEView::SetDpiY(Value);
  }

private:
  TIEBitmap* FAlpha = nullptr;
};

// ---- Defaults, abstract operations and overrides ---------------------------------------------------------

TEST(IEViewBase, DefaultsOfANewView) {
  TIEView View(nullptr);
  EXPECT_EQ(View.Background(), clBtnFace);
  EXPECT_EQ(View.BorderStyle(), bsSingle);
  EXPECT_TRUE(View.Ctl3D());
  EXPECT_EQ(View.DpiX(), 0);
  EXPECT_EQ(View.DpiY(), 0);
  EXPECT_FALSE(View.OnMouseEnter);
  EXPECT_FALSE(View.OnMouseLeave);
  EXPECT_TRUE((TControlStyle{csAcceptsControls, csOpaque, csReplicatable, csNeedsBorderPaint} <=
               View.ControlStyle()));
  EXPECT_EQ(View.GetTBitmap(), nullptr);
  EXPECT_EQ(View.GetIEBitmap(), nullptr);
  EXPECT_EQ(View.GetCanvas(), View.Canvas());
}

TEST(IEViewBase, OperationsLeftToTheConcreteViewRaiseAbstractError) {
  TIEView View(nullptr);
  EXPECT_THROW(View.GetAlphaChannel(), EAbstractError);
  EXPECT_THROW(View.HasAlphaChannel(), EAbstractError);
  EXPECT_THROW(View.RemoveAlphaChannel(true), EAbstractError);
  EXPECT_THROW(View.LockUpdate(), EAbstractError);
  EXPECT_THROW(View.UnlockUpdate(), EAbstractError);
  EXPECT_THROW(View.UnlockUpdateEx(), EAbstractError);
  // The operations with a base behaviour still work on the bare view.
  View.SetBackground(clWhite);
  View.SetDpi(72, 96);
  View.DoImageChange();
  EXPECT_EQ(View.Background(), clWhite);
  EXPECT_EQ(View.DpiX(), 72);
  EXPECT_EQ(View.DpiY(), 96);
}

TEST(IEViewBase, ComponentsReachTheOverridesThroughTheBaseType) {
  TTestView Concrete(nullptr);
  TIEView& View = Concrete;
  EXPECT_EQ(View.GetIEBitmap(), &Concrete.Bitmap);
  EXPECT_FALSE(View.HasAlphaChannel());
  TIEBitmap* Alpha = View.GetAlphaChannel();
  EXPECT_NE(Alpha, nullptr);
  EXPECT_TRUE(View.HasAlphaChannel());
  View.RemoveAlphaChannel(true);
  EXPECT_FALSE(View.HasAlphaChannel());

  View.LockUpdate();
  View.LockUpdate();
  EXPECT_EQ(View.UnlockUpdateEx(), 1);
  EXPECT_EQ(View.UnlockUpdate(), 0);
  EXPECT_EQ(Concrete.Log, (std::vector<std::string>{"remove alpha merged", "repaint"}));

  // The published Background reaches the override too, so a view repaints however it is set.
  Concrete.Log.clear();
  SetPropertyByName(&Concrete, "Background", "16777215");
  EXPECT_EQ(View.Background(), 0xFFFFFF);
  EXPECT_EQ(Concrete.Log, (std::vector<std::string>{"background"}));
}

struct DpiCase {
  int32_t X, Y;
  int32_t ExpectedX, ExpectedY;
};

TEST(IEViewBase, SetDpiGoesThroughBothSettersAndZeroKeepsAValue) {
  const DpiCase Cases[] = {{0, 150, 300, 150}, {200, 0, 200, 300}, {0, 0, 300, 300}, {72, 96, 72, 96}};
  for (const DpiCase& C : Cases) {
    SCOPED_TRACE(std::to_string(C.X) + " x " + std::to_string(C.Y));
    TTestView View(nullptr);
    View.SetDpi(300, 300);
    View.Log.clear();
    View.SetDpi(C.X, C.Y);
    EXPECT_EQ(View.DpiX(), C.ExpectedX);
    EXPECT_EQ(View.DpiY(), C.ExpectedY);
    EXPECT_EQ(View.Log, (std::vector<std::string>{"dpix " + std::to_string(C.X), "dpiy " + std::to_string(C.Y)}));
  }
}

// ---- Change callbacks ------------------------------------------------------------------------------------

// What a callback saw, in call order, across every view and owner of a test.
struct TCall {
  TObject* Owner;
  TIEView* View;
  int32_t Flag;
  bool operator==(const TCall&) const = default;
};
std::vector<TCall> gCalls;

void Record(TObject* Owner, TIEView* View, int32_t Flag) { gCalls.push_back({Owner, View, Flag}); }

// An attached component: registers on a view, forgets it on flag 1, and may act on the list from
// inside its callback.
class TAttached : public TObject {
public:
  TIEView* View = nullptr;
  TIEChangeCallbackHandle Handle = nullptr;
  std::function<void(TAttached*)> OnChange;  // run inside the flag-0 call
  int32_t Changes = 0;
  int32_t Destroys = 0;

  void Attach(TIEView* AView) {
    View = AView;
    Handle = AView->RegisterChangeCallback(&TAttached::Callback, this);
  }
  void Detach() {
    if (View) View->UnregisterChangeCallback(Handle);
    View = nullptr;
    Handle = nullptr;
  }

  static void Callback(TObject* Owner, TIEView* View, int32_t Flag) {
    auto* Self = static_cast<TAttached*>(Owner);
    gCalls.push_back({Owner, View, Flag});
    if (Flag == IEViewDestroying) {
      ++Self->Destroys;
      Self->View = nullptr;
      return;
    }
    ++Self->Changes;
    if (Self->OnChange) Self->OnChange(Self);
  }
};

class IEViewCallbacks : public ::testing::Test {
protected:
  void SetUp() override { gCalls.clear(); }
  void TearDown() override { gCalls.clear(); }
};

TEST_F(IEViewCallbacks, RegisteredPairsAreCalledWithFlagZeroUntilUnregistered) {
  TAttached A, B;  // before the view, which still calls them when it goes
  TTestView View(nullptr);
  A.Attach(&View);
  B.Attach(&View);
  TIEChangeCallbackHandle Again = View.RegisterChangeCallback(&TAttached::Callback, &A);  // the same pair twice
  EXPECT_NE(Again, A.Handle);

  View.CallChangeCallbacks();
  EXPECT_EQ(gCalls, (std::vector<TCall>{{&A, &View, 0}, {&B, &View, 0}, {&A, &View, 0}}));

  gCalls.clear();
  View.UnregisterChangeCallback(Again);
  View.UnregisterChangeCallback(Again);  // the second time does nothing
  View.UnregisterChangeCallback(nullptr);
  TTestView Other(nullptr);
  TIEChangeCallbackHandle Foreign = Other.RegisterChangeCallback(&Record, &B);
  View.UnregisterChangeCallback(Foreign);  // not this view's: nothing happens
  View.CallChangeCallbacks();
  EXPECT_EQ(gCalls, (std::vector<TCall>{{&A, &View, 0}, {&B, &View, 0}}));

  gCalls.clear();
  A.Detach();
  View.CallChangeCallbacks();
  Other.CallChangeCallbacks();
  EXPECT_EQ(gCalls, (std::vector<TCall>{{&B, &View, 0}, {&B, &Other, 0}}));
  Other.UnregisterChangeCallback(Foreign);
}

TEST_F(IEViewCallbacks, DestroyingTheViewCallsEachOnceWithFlagOneInRegistrationOrder) {
  TAttached A, B, C;
  auto* View = new TTestView(nullptr);
  A.Attach(View);
  B.Attach(View);
  C.Attach(View);
  C.Detach();
  const std::vector<TCall> Want{{&A, View, 1}, {&B, View, 1}};
  delete View;
  EXPECT_EQ(gCalls, Want);
  EXPECT_EQ(A.Destroys, 1);
  EXPECT_EQ(B.Destroys, 1);
  EXPECT_EQ(C.Destroys, 0);
  EXPECT_EQ(A.View, nullptr);
}

// A callback removes entries while the list is walked: one removed before its turn is not called,
// every other entry is called once, and the list is right for the next change.
struct RemovalCase {
  const char* Name;
  int Remover;              // index of the component whose callback removes
  std::vector<int> Victims;  // indices it unregisters
  std::vector<int> FirstWalk;
  std::vector<int> SecondWalk;
};

TEST_F(IEViewCallbacks, CallbacksMayUnregisterThemselvesOrOthersDuringTheWalk) {
  const RemovalCase Cases[] = {
      {"itself", 1, {1}, {0, 1, 2, 3}, {0, 2, 3}},
      {"a later one", 1, {2}, {0, 1, 3}, {0, 1, 3}},
      {"an earlier one", 2, {0}, {0, 1, 2, 3}, {1, 2, 3}},
      {"itself and the next two", 1, {1, 2, 3}, {0, 1}, {0}},
      {"every one, the last calling", 3, {0, 1, 2, 3}, {0, 1, 2, 3}, {}},
  };
  for (const RemovalCase& C : Cases) {
    SCOPED_TRACE(C.Name);
    TAttached Parts[4];
    TTestView View(nullptr);
    for (TAttached& P : Parts) P.Attach(&View);
    Parts[C.Remover].OnChange = [&](TAttached* Self) {
      for (int V : C.Victims) Parts[V].Detach();
      Self->OnChange = nullptr;
    };
    for (const std::vector<int>* Expected : {&C.FirstWalk, &C.SecondWalk}) {
      gCalls.clear();
      View.CallChangeCallbacks();
      std::vector<TCall> Want;
      for (int I : *Expected) Want.push_back({&Parts[I], &View, 0});
      EXPECT_EQ(gCalls, Want);
    }
  }
}

TEST_F(IEViewCallbacks, RegistrationsDuringTheWalkWaitForTheNextChange) {
  TAttached A, Late;
  TTestView View(nullptr);
  A.Attach(&View);
  A.OnChange = [&](TAttached* Self) {
    Late.Attach(&View);
    Self->OnChange = nullptr;
  };
  View.CallChangeCallbacks();
  EXPECT_EQ(Late.Changes, 0);
  View.CallChangeCallbacks();
  EXPECT_EQ(A.Changes, 2);
  EXPECT_EQ(Late.Changes, 1);
}

TEST_F(IEViewCallbacks, NestedWalksAndARaisingCallbackLeaveTheListConsistent) {
  TAttached A, B, C;
  TTestView View(nullptr);
  A.Attach(&View);
  B.Attach(&View);
  C.Attach(&View);
  // A's first call starts a second walk in which B leaves; the outer walk then skips B.
  A.OnChange = [&](TAttached* Self) {
    Self->OnChange = nullptr;
    B.OnChange = [](TAttached* Me) { Me->Detach(); };
    View.CallChangeCallbacks();
  };
  View.CallChangeCallbacks();
  EXPECT_EQ(A.Changes, 2);
  EXPECT_EQ(B.Changes, 1);
  EXPECT_EQ(C.Changes, 2);

  // C leaves and raises: the exception reaches the caller, C is gone, and the walk bookkeeping is reset
  // (A's later unregistering takes effect at once).
  C.OnChange = [](TAttached* Me) {
    Me->Detach();
    throw std::runtime_error("failed");
  };
  EXPECT_THROW(View.CallChangeCallbacks(), std::runtime_error);
  A.Detach();
  gCalls.clear();
  View.CallChangeCallbacks();
  EXPECT_TRUE(gCalls.empty());
}

TEST_F(IEViewCallbacks, ACallbackThatUnregistersDuringDestructionDoesNoHarm) {
  // The owner should only forget the view on flag 1; one that unregisters all the same must not free
  // its entry twice, and one that unregisters another spares that one the call.
  auto* View = new TTestView(nullptr);
  TIEChangeCallbackHandle Self = nullptr, Second = nullptr;
  struct TCtx {
    TIEChangeCallbackHandle* Self;
    TIEChangeCallbackHandle* Second;
  } Ctx{&Self, &Second};
  Self = View->RegisterChangeCallback(
      [](TObject* Owner, TIEView* V, int32_t Flag) {
        auto* C = reinterpret_cast<TCtx*>(Owner);
        gCalls.push_back({Owner, V, Flag});
        V->UnregisterChangeCallback(*C->Self);
        V->UnregisterChangeCallback(*C->Second);
      },
      reinterpret_cast<TObject*>(&Ctx));
  Second = View->RegisterChangeCallback(&Record, nullptr);
  TAttached Third;
  Third.Attach(View);
  const std::vector<TCall> Want{{reinterpret_cast<TObject*>(&Ctx), View, 1}, {&Third, View, 1}};
  delete View;
  EXPECT_EQ(gCalls, Want);
}

// A component owned by the view that unregisters in its destructor, after the view told it of its end.
class TOwnedProbe : public TComponent {
public:
  TOwnedProbe(TIEView* AView, bool* ADestroyed) : TComponent(AView), FView(AView), FDestroyed(ADestroyed) {
    FHandle = AView->RegisterChangeCallback(&Record, this);
  }
  ~TOwnedProbe() override {
    FView->UnregisterChangeCallback(FHandle);
    *FDestroyed = true;
  }

private:
  TIEView* FView;
  TIEChangeCallbackHandle FHandle;
  bool* FDestroyed;
};

TEST_F(IEViewCallbacks, OwnedComponentsMayUnregisterWhenTheListIsGone) {
  bool Destroyed = false;
  auto* View = new TTestView(nullptr);
  auto* Probe = new TOwnedProbe(View, &Destroyed);
  const std::vector<TCall> Want{{Probe, View, 1}};
  delete View;
  EXPECT_TRUE(Destroyed);
  EXPECT_EQ(gCalls, Want);
}

// ---- Without a parent window -----------------------------------------------------------------------------

TEST(IEViewWindowless, AViewWithNoParentServesAsAHiddenWorkArea) {
  auto* Owner = new TComponent(nullptr);
  auto* View = new TTestView(Owner);
  TAttached A;
  A.Attach(View);
  View->SetBackground(0xFFFFFF);
  View->SetBorderStyle(bsNone);
  View->SetCtl3D(false);
  View->SetBorderStyle(bsSingle);
  View->SetDpi(300, 300);
  View->LockUpdate();
  View->UnlockUpdate();
  View->CallChangeCallbacks();
  View->DoImageChange();
  EXPECT_TRUE(View->Bitmap.Allocate(4, 3, ie24RGB));
  EXPECT_EQ(View->GetIEBitmap()->GetWidth(), 4);
  EXPECT_FALSE(View->HandleAllocated());
  EXPECT_EQ(A.Changes, 1);
  delete Owner;  // frees the view, which tells A
  EXPECT_EQ(A.Destroys, 1);
  gCalls.clear();
}

// ---- Window styles, border and 3-D look ------------------------------------------------------------------

class IEViewWindow : public ::testing::Test {
protected:
  void SetUp() override {
    Form = new TForm(nullptr);
    Form->SetBorderStyle(bsNone);
    Form->SetBounds(100, 100, 300, 200);
    View = new TTestView(Form);
    View->SetParent(Form);
    View->SetBounds(10, 10, 100, 80);
    Form->Show();
    headless::Pump();
  }
  void TearDown() override {
    delete Form;
    headless::Pump();
  }
  LONG_PTR Style() { return GetWindowLong(View->Handle(), GWL_STYLE); }
  LONG_PTR ExStyle() { return GetWindowLong(View->Handle(), GWL_EXSTYLE); }

  TForm* Form = nullptr;
  TTestView* View = nullptr;
};

struct BorderCase {
  TBorderStyle Border;
  bool Ctl3D;
  bool ClientEdge;
  bool PlainBorder;
};

TEST_F(IEViewWindow, BorderStyleAndCtl3DGiveTheWindowItsEdge) {
  const BorderCase Cases[] = {
      {bsSingle, true, true, false},
      {bsSingle, false, false, true},
      {bsNone, true, false, false},
      {bsNone, false, false, false},
  };
  for (const BorderCase& C : Cases) {
    SCOPED_TRACE(std::string(TEnumNames<TFormBorderStyle>::Names[C.Border]) + (C.Ctl3D ? " 3-D" : " flat"));
    View->SetBorderStyle(C.Border);
    View->SetCtl3D(C.Ctl3D);
    EXPECT_EQ((ExStyle() & WS_EX_CLIENTEDGE) != 0, C.ClientEdge);
    EXPECT_EQ((Style() & WS_BORDER) != 0, C.PlainBorder);
    // The edge is inside the window: the client area shrinks by it.
    int32_t Edge = C.ClientEdge ? 2 : C.PlainBorder ? 1 : 0;
    EXPECT_EQ(View->ClientWidth(), 100 - 2 * Edge);
    EXPECT_EQ(View->ClientHeight(), 80 - 2 * Edge);
  }
  // Whatever the border, the window class never redraws everything on resizing.
  EXPECT_EQ(GetClassLongPtr(View->Handle(), GCL_STYLE) & (CS_HREDRAW | CS_VREDRAW), 0u);
}

TEST_F(IEViewWindow, OnlyAChangedValueRecreatesTheWindow) {
  HWND First = View->Handle();
  View->SetBorderStyle(bsSingle);
  View->SetCtl3D(true);
  EXPECT_EQ(View->Handle(), First);

  View->SetBorderStyle(bsNone);
  HWND Second = View->Handle();
  EXPECT_NE(Second, First);
  EXPECT_FALSE(IsWindow(First));

  View->SetCtl3D(false);  // changed, even though no border shows it
  HWND Third = View->Handle();
  EXPECT_NE(Third, Second);
  EXPECT_FALSE(View->ParentCtl3D());

  // By name too, through the view's own setters.
  SetPropertyByName(View, "BorderStyle", "bsSingle");
  EXPECT_NE(View->Handle(), Third);
  EXPECT_TRUE(Style() & WS_BORDER);
  HWND Fourth = View->Handle();
  SetPropertyByName(View, "Ctl3D", "True");
  EXPECT_NE(View->Handle(), Fourth);
  EXPECT_TRUE(ExStyle() & WS_EX_CLIENTEDGE);
  EXPECT_EQ(FindControl(View->Handle()), View);
}

TEST_F(IEViewWindow, ACtl3DChangeFromTheParentRecreatesTheWindow) {
  ASSERT_TRUE(View->ParentCtl3D());
  HWND First = View->Handle();
  Form->SetCtl3D(false);
  EXPECT_FALSE(View->Ctl3D());
  EXPECT_TRUE(View->ParentCtl3D());
  EXPECT_NE(View->Handle(), First);
  EXPECT_FALSE(ExStyle() & WS_EX_CLIENTEDGE);
  EXPECT_TRUE(Style() & WS_BORDER);
}

// ---- Mouse enter and leave, focus ------------------------------------------------------------------------

TEST_F(IEViewWindow, MouseEnterLeaveAndFocusEventsReachTheHandlers) {
  auto* Other = new TTestView(Form);
  Other->SetParent(Form);
  Other->SetBounds(200, 10, 50, 50);
  Other->SetFocus();  // the view may hold the focus since the form showed
  headless::Pump();
  std::vector<std::string> Events;
  View->OnMouseEnter = [&](TObject* Sender) { Events.push_back(Sender == View ? "enter" : "enter?"); };
  View->OnMouseLeave = [&](TObject* Sender) { Events.push_back(Sender == View ? "leave" : "leave?"); };
  View->OnEnter = [&](TObject*) { Events.push_back("focus"); };
  View->OnExit = [&](TObject*) { Events.push_back("unfocus"); };

  headless::MouseMove(Form->Handle(), 20, 20);
  headless::Pump();
  headless::MouseMove(Form->Handle(), 40, 30);
  headless::Pump();
  headless::MouseMove(Form->Handle(), 150, 150);
  headless::Pump();
  View->SetFocus();
  headless::Pump();
  Other->SetFocus();
  headless::Pump();
  EXPECT_EQ(Events, (std::vector<std::string>{"enter", "leave", "focus", "unfocus"}));
}

}  // namespace
}  // namespace zv
