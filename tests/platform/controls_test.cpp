// Controls in the headless back end: mouse clicks with capture, double clicks, Tab focus, timers,
// painting of windowless children, a parent's background in a child, alignment, by-name properties.
#include "platform/controls.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/backend.h"
#include "platform/forms.h"
#include "platform/std_controls.h"

namespace zv {
namespace {

const bool kHeadless = (setenv("ZONVARK_HEADLESS", "1", 1), true);

// A windowed control that counts what reaches it.
class TProbe : public TCustomControl {
public:
  explicit TProbe(TComponent* AOwner) : TCustomControl(AOwner) {}
  std::vector<std::string> Log;
  TColor Fill = clWhite;
  using TWinControl::FindNextControl;

  void Dispatch(TMessage& Message) override {
    if (Message.Msg == CM_MOUSEENTER) Log.push_back("enter");
    if (Message.Msg == CM_MOUSELEAVE) Log.push_back("leave");
    TCustomControl::Dispatch(Message);
  }

protected:
  void Paint() override {
    Canvas()->Brush()->SetColor(Fill);
    Canvas()->FillRect(ClientRect());
  }
};

// A windowless control filled with one colour.
class TSwatch : public TGraphicControl {
public:
  explicit TSwatch(TComponent* AOwner, TColor AFill = clBlue) : TGraphicControl(AOwner), Fill(AFill) {
    FControlStyle.Include(csOpaque);
  }
  TColor Fill;

protected:
  void Paint() override {
    Canvas()->Brush()->SetColor(Fill);
    Canvas()->FillRect(ClientRect());
  }
};

class ControlsTest : public ::testing::Test {
protected:
  void SetUp() override {
    Form = new TForm(nullptr);
    Form->SetBorderStyle(bsNone);
    Form->SetBounds(100, 100, 300, 200);
    Form->SetColor(clRed);
  }
  void TearDown() override {
    delete Form;
    headless::Pump();
  }
  void ShowForm() {
    Form->Show();
    headless::Pump();
  }
  TForm* Form = nullptr;
};

// --- mouse ---

struct ClickCase {
  bool Windowed;
  int UpX;  // where the button goes up, in form client coordinates
  int ExpectedClicks;
};

class ClickTest : public ControlsTest, public ::testing::WithParamInterface<ClickCase> {};

TEST_P(ClickTest, ClickReachesOnClickThroughCapture) {
  const ClickCase& C = GetParam();
  TControl* Target = C.Windowed ? static_cast<TControl*>(new TProbe(Form)) : new TSwatch(Form);
  Target->SetParent(Form);
  Target->SetBounds(20, 20, 60, 40);
  int Clicks = 0;
  Target->OnClick = [&](TObject* Sender) {
    EXPECT_EQ(Sender, Target);
    ++Clicks;
  };
  ShowForm();

  headless::MouseDown(Form->Handle(), 30, 30);
  headless::Pump();
  EXPECT_TRUE(Target->MouseCapture());
  HWND Expected = C.Windowed ? static_cast<TWinControl*>(Target)->Handle() : Form->Handle();
  EXPECT_EQ(GetCapture(), Expected);

  headless::MouseUp(Form->Handle(), C.UpX, 30);
  headless::Pump();
  EXPECT_EQ(Clicks, C.ExpectedClicks);
  EXPECT_FALSE(Target->MouseCapture());
  EXPECT_EQ(GetCapture(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Controls, ClickTest,
                         ::testing::Values(ClickCase{true, 40, 1}, ClickCase{true, 200, 0},
                                           ClickCase{false, 40, 1}, ClickCase{false, 200, 0}));

TEST_F(ControlsTest, DoubleClickRaisesDblClickOnlyWithDoubleClickStyle) {
  struct Case {
    bool DoubleClicks;
    int Clicks;
    int DblClicks;
  };
  for (Case C : {Case{true, 1, 1}, Case{false, 2, 0}}) {
    auto* Probe = new TProbe(Form);
    Probe->SetParent(Form);
    Probe->SetBounds(10, 10, 50, 50);
    TControlStyle Style = Probe->ControlStyle();
    if (C.DoubleClicks) Style.Include(csDoubleClicks); else Style.Exclude(csDoubleClicks);
    Probe->SetControlStyle(Style);
    int Clicks = 0, DblClicks = 0;
    std::vector<bool> DoubleFlags;
    Probe->OnClick = [&](TObject*) { ++Clicks; };
    Probe->OnDblClick = [&](TObject*) { ++DblClicks; };
    Probe->OnMouseDown = [&](TObject*, TMouseButton, TShiftState Shift, int, int) {
      DoubleFlags.push_back(Shift.Contains(ssDouble));
    };
    ShowForm();
    headless::DoubleClick(Probe->Handle(), 5, 5);
    headless::Pump();
    EXPECT_EQ(Clicks, C.Clicks) << C.DoubleClicks;
    EXPECT_EQ(DblClicks, C.DblClicks) << C.DoubleClicks;
    ASSERT_EQ(DoubleFlags.size(), 2u);
    EXPECT_FALSE(DoubleFlags[0]);
    EXPECT_EQ(DoubleFlags[1], C.DoubleClicks);
    delete Probe;
  }
}

TEST_F(ControlsTest, MouseEnterAndLeaveFollowThePointer) {
  auto* Probe = new TProbe(Form);
  Probe->SetParent(Form);
  Probe->SetBounds(10, 10, 50, 50);
  ShowForm();
  headless::MouseMove(Form->Handle(), 20, 20);
  headless::Pump();
  headless::MouseMove(Form->Handle(), 30, 25);
  headless::Pump();
  headless::MouseMove(Form->Handle(), 200, 150);
  headless::Pump();
  EXPECT_EQ(Probe->Log, (std::vector<std::string>{"enter", "leave"}));
}

// --- focus ---

TEST_F(ControlsTest, TabMovesFocusInTabOrderSkippingNonTabStops) {
  auto* A = new TProbe(Form);
  auto* B = new TProbe(Form);
  auto* C = new TProbe(Form);
  std::vector<std::string> Events;
  for (auto [P, Name] : {std::pair{A, "A"}, std::pair{B, "B"}, std::pair{C, "C"}}) {
    P->SetParent(Form);
    P->SetTabStop(true);
    std::string N = Name;
    P->OnEnter = [&Events, N](TObject*) { Events.push_back("enter " + N); };
    P->OnExit = [&Events, N](TObject*) { Events.push_back("exit " + N); };
  }
  A->SetBounds(0, 0, 20, 20);
  B->SetBounds(30, 0, 20, 20);
  C->SetBounds(60, 0, 20, 20);
  B->SetTabStop(false);
  C->SetTabOrder(0);  // C, A, B
  ShowForm();
  EXPECT_TRUE(C->Focused());  // the first in tab order gets the focus when the form shows

  headless::PressKey(VK_TAB);
  headless::Pump();
  EXPECT_TRUE(A->Focused());
  EXPECT_EQ(Form->ActiveControl(), A);

  headless::PressKey(VK_TAB);  // B is no tab stop: round to C
  headless::Pump();
  EXPECT_TRUE(C->Focused());

  headless::PressKey(VK_TAB, true);  // Shift+Tab goes back
  headless::Pump();
  EXPECT_TRUE(A->Focused());
  EXPECT_EQ(Events, (std::vector<std::string>{"enter C", "exit C", "enter A", "exit A", "enter C", "exit C",
                                              "enter A"}));
}

TEST_F(ControlsTest, SetFocusOnHiddenOrDisabledControlRaises) {
  auto* A = new TProbe(Form);
  A->SetParent(Form);
  ShowForm();
  A->SetEnabled(false);
  EXPECT_FALSE(A->CanFocus());
  EXPECT_THROW(A->SetFocus(), EInvalidOperation);
  A->SetEnabled(true);
  A->SetFocus();
  headless::Pump();
  EXPECT_TRUE(A->Focused());
}

TEST_F(ControlsTest, KeyPreviewLetsTheFormSwallowKeys) {
  auto* A = new TProbe(Form);
  A->SetParent(Form);
  A->SetTabStop(true);
  std::vector<std::string> Seen;
  A->OnKeyDown = [&](TObject*, uint16_t& Key, TShiftState) { Seen.push_back("control " + std::to_string(Key)); };
  Form->OnKeyDown = [&](TObject*, uint16_t& Key, TShiftState) {
    Seen.push_back("form " + std::to_string(Key));
    if (Key == 'X') Key = 0;
  };
  Form->SetKeyPreview(true);
  ShowForm();
  headless::PressKey('A');
  headless::PressKey('X');
  headless::Pump();
  EXPECT_EQ(Seen, (std::vector<std::string>{"form 65", "control 65", "form 88"}));
}

TEST_F(ControlsTest, MouseWheelReachesTheFocusedControl) {
  auto* A = new TProbe(Form);
  A->SetParent(Form);
  A->SetBounds(10, 10, 50, 50);
  std::vector<int> Deltas;
  int Downs = 0;
  A->OnMouseWheel = [&](TObject*, TShiftState, int Delta, TPoint, bool& Handled) {
    Deltas.push_back(Delta);
    Handled = Delta > 0;
  };
  A->OnMouseWheelDown = [&](TObject*, TShiftState, TPoint, bool& Handled) {
    ++Downs;
    Handled = true;
  };
  ShowForm();
  A->SetFocus();
  headless::Wheel(A->Handle(), 5, 5, 120);
  headless::Wheel(A->Handle(), 5, 5, -240);
  headless::Pump();
  EXPECT_EQ(Deltas, (std::vector<int>{120, -240}));
  EXPECT_EQ(Downs, 1);  // only the wheel turn OnMouseWheel left unhandled
}

// --- timers ---

TEST_F(ControlsTest, TimerFiresOnlyWhileMessagesArePumped) {
  auto* Timer = new TTimer(Form);
  Timer->SetInterval(10);
  int Ticks = 0;
  Timer->OnTimer = [&](TObject*) { ++Ticks; };
  Sleep(40);
  EXPECT_EQ(Ticks, 0);
  headless::Pump();
  EXPECT_GE(Ticks, 1);

  Timer->SetEnabled(false);
  int Before = Ticks;
  Sleep(30);
  headless::Pump();
  EXPECT_EQ(Ticks, Before);
}

// --- painting ---

TEST_F(ControlsTest, WindowlessChildrenPaintOverTheParentInZOrder) {
  Form->OnPaint = [&](TObject*) {};
  auto* Blue = new TSwatch(Form, clBlue);
  Blue->SetParent(Form);
  Blue->SetBounds(10, 10, 40, 40);
  auto* Green = new TSwatch(Form, clLime);
  Green->SetParent(Form);
  Green->SetBounds(30, 30, 40, 40);
  ShowForm();
  HWND W = Form->Handle();
  EXPECT_EQ(headless::ClientPixel(W, 5, 5), RGB(255, 0, 0));
  EXPECT_EQ(headless::ClientPixel(W, 20, 20), RGB(0, 0, 255));
  EXPECT_EQ(headless::ClientPixel(W, 40, 40), RGB(0, 255, 0));  // the later one lies on top
  EXPECT_EQ(headless::ClientPixel(W, 65, 65), RGB(0, 255, 0));
  EXPECT_EQ(headless::ClientPixel(W, 75, 75), RGB(255, 0, 0));

  Blue->BringToFront();
  Form->Update();
  EXPECT_EQ(headless::ClientPixel(W, 40, 40), RGB(0, 0, 255));
  EXPECT_EQ(headless::ClientPixel(W, 60, 60), RGB(0, 255, 0));

  Green->SetVisible(false);
  Form->Update();
  EXPECT_EQ(headless::ClientPixel(W, 60, 60), RGB(255, 0, 0));
}

// A child that shows its parent's picture under itself, as transparent controls do.
class TSeeThrough : public TCustomControl {
public:
  using TCustomControl::TCustomControl;

protected:
  void Paint() override {
    HDC DC = Canvas()->Handle();
    int Saved = SaveDC(DC);
    POINT Org;
    GetViewportOrgEx(DC, &Org);
    SetViewportOrgEx(DC, Org.X - Left(), Org.Y - Top(), nullptr);
    IntersectClipRect(DC, 0, 0, Parent()->ClientWidth(), Parent()->ClientHeight());
    Parent()->Perform(WM_ERASEBKGND, reinterpret_cast<WPARAM>(DC), 0);
    Parent()->Perform(WM_PAINT, reinterpret_cast<WPARAM>(DC), 0);
    RestoreDC(DC, Saved);
  }
};

TEST_F(ControlsTest, ParentPaintsItsBackgroundIntoAChildAtAnOffset) {
  Form->SetColor(clYellow);
  Form->OnPaint = [&](TObject*) {
    Form->Canvas()->Brush()->SetColor(clBlue);
    Form->Canvas()->FillRect(Rect(60, 50, 70, 60));
  };
  auto* Swatch = new TSwatch(Form, clLime);  // windowless sibling under the child's area
  Swatch->SetParent(Form);
  Swatch->SetBounds(80, 45, 10, 10);
  auto* Child = new TSeeThrough(Form);
  Child->SetParent(Form);
  Child->SetBounds(50, 40, 60, 30);
  ShowForm();
  HWND C = Child->Handle();
  EXPECT_EQ(headless::ClientPixel(C, 2, 2), RGB(255, 255, 0));   // the parent's erase
  EXPECT_EQ(headless::ClientPixel(C, 15, 15), RGB(0, 0, 255));   // the parent's painting, moved
  EXPECT_EQ(headless::ClientPixel(C, 35, 10), RGB(0, 255, 0));   // its windowless children too
  EXPECT_EQ(headless::ClientPixel(Form->Handle(), 5, 5), RGB(255, 255, 0));
}

TEST_F(ControlsTest, PanelPaintsRaisedBevelAndCaption) {
  auto* Panel = new TPanel(Form);
  Panel->SetParent(Form);
  Panel->SetBounds(10, 10, 100, 40);
  Panel->SetCaption("Panel");
  ShowForm();
  HWND P = Panel->Handle();
  EXPECT_EQ(headless::ClientPixel(P, 0, 0), COLORREF(ColorToRGB(clBtnHighlight)));
  EXPECT_EQ(headless::ClientPixel(P, 99, 39), COLORREF(ColorToRGB(clBtnShadow)));
  EXPECT_EQ(headless::ClientPixel(P, 5, 5), COLORREF(ColorToRGB(clBtnFace)));
  // The caption marks the middle of the panel and nothing near its edges.
  auto Marked = [&](int X0, int X1, int Y0, int Y1) {
    int N = 0;
    for (int X = X0; X < X1; ++X)
      for (int Y = Y0; Y < Y1; ++Y)
        if (headless::ClientPixel(P, X, Y) != COLORREF(ColorToRGB(clBtnFace))) ++N;
    return N;
  };
  EXPECT_GT(Marked(20, 80, 10, 30), 10);
  EXPECT_EQ(Marked(2, 15, 2, 38), 0);
  TRect Client = Panel->ClientRect();
  Panel->AdjustClientRect(Client);
  EXPECT_EQ(Client, Rect(1, 1, 99, 39));
}

TEST_F(ControlsTest, ImageDrawsItsPictureCentredOrStretched) {
  TBitmap Red;
  Red.SetPixelFormat(pf24bit);
  Red.SetSize(20, 10);
  Red.Canvas()->Brush()->SetColor(clMaroon);
  Red.Canvas()->FillRect(Rect(0, 0, 20, 10));
  auto* Image = new TImage(Form);
  Image->SetParent(Form);
  Image->SetBounds(10, 10, 40, 30);
  Image->Picture()->SetBitmap(&Red);
  Image->SetCenter(true);
  ShowForm();
  HWND W = Form->Handle();
  EXPECT_EQ(headless::ClientPixel(W, 30, 25), RGB(128, 0, 0));   // centre of the image
  EXPECT_EQ(headless::ClientPixel(W, 12, 12), RGB(255, 0, 0));   // the form shows around it
  Image->SetStretch(true);
  Form->Update();
  EXPECT_EQ(headless::ClientPixel(W, 12, 12), RGB(128, 0, 0));
  EXPECT_EQ(headless::ClientPixel(W, 49, 39), RGB(128, 0, 0));
  EXPECT_EQ(headless::ClientPixel(W, 50, 40), RGB(255, 0, 0));
}

TEST_F(ControlsTest, ImageListCutsAStripAndDrawsWithItsMask) {
  TBitmap Strip;
  Strip.SetPixelFormat(pf24bit);
  Strip.SetSize(8, 4);
  Strip.Canvas()->Brush()->SetColor(clFuchsia);  // the mask colour
  Strip.Canvas()->FillRect(Rect(0, 0, 8, 4));
  Strip.Canvas()->Brush()->SetColor(clBlue);
  Strip.Canvas()->FillRect(Rect(0, 0, 2, 4));  // image 0: left half blue
  Strip.Canvas()->Brush()->SetColor(clLime);
  Strip.Canvas()->FillRect(Rect(6, 0, 8, 4));  // image 1: right half green
  TImageList List(nullptr);
  List.SetWidth(4);
  List.SetHeight(4);
  EXPECT_EQ(List.AddMasked(&Strip, clFuchsia), 0);
  ASSERT_EQ(List.Count(), 2);

  TBitmap Target;
  Target.SetPixelFormat(pf24bit);
  Target.SetSize(10, 4);
  Target.Canvas()->Brush()->SetColor(clWhite);
  Target.Canvas()->FillRect(Rect(0, 0, 10, 4));
  List.Draw(Target.Canvas(), 0, 0, 0);
  List.Draw(Target.Canvas(), 5, 0, 1);
  EXPECT_EQ(Target.Canvas()->Pixels(1, 1), clBlue);
  EXPECT_EQ(Target.Canvas()->Pixels(3, 1), clWhite);  // masked: left as it was
  EXPECT_EQ(Target.Canvas()->Pixels(8, 1), clLime);
  EXPECT_EQ(Target.Canvas()->Pixels(5, 1), clWhite);

  List.Draw(Target.Canvas(), 5, 0, 1, false);  // disabled: embossed in the 3-D colours
  EXPECT_EQ(Target.Canvas()->Pixels(8, 1), ColorToRGB(clBtnShadow));
  List.SetWidth(8);  // a new size empties the list
  EXPECT_EQ(List.Count(), 0);
}

TEST_F(ControlsTest, ControlCursorShowsOverTheControl) {
  auto* Probe = new TProbe(Form);
  Probe->SetParent(Form);
  Probe->SetBounds(10, 10, 50, 50);
  Probe->SetCursor(crHandPoint);
  ShowForm();
  headless::MouseMove(Form->Handle(), 20, 20);
  headless::Pump();
  EXPECT_EQ(GetCursor(), LoadCursor(nullptr, IDC_HAND));
  headless::MouseMove(Form->Handle(), 200, 150);
  headless::Pump();
  EXPECT_NE(GetCursor(), LoadCursor(nullptr, IDC_HAND));
}

// --- layout ---

TEST_F(ControlsTest, AlignLaysChildrenOutAndFollowsResize) {
  struct Item {
    TAlign Align;
    TRect Expected;       // client 300 x 200
    TRect AfterResize;    // client 400 x 250
  };
  const Item Items[] = {
      {alTop, Rect(0, 0, 300, 20), Rect(0, 0, 400, 20)},
      {alBottom, Rect(0, 170, 300, 200), Rect(0, 220, 400, 250)},
      {alLeft, Rect(0, 20, 40, 170), Rect(0, 20, 40, 220)},
      {alRight, Rect(250, 20, 300, 170), Rect(350, 20, 400, 220)},
      {alClient, Rect(40, 20, 250, 170), Rect(40, 20, 350, 220)},
  };
  std::vector<TControl*> Controls;
  for (const Item& I : Items) {
    auto* C = new TSwatch(Form);
    C->SetParent(Form);
    C->SetBounds(0, 0, 40, 20);
    if (I.Align == alBottom) C->SetHeight(30);
    if (I.Align == alRight) C->SetWidth(50);
    C->SetAlign(I.Align);
    Controls.push_back(C);
  }
  auto* Anchored = new TSwatch(Form);
  Anchored->SetParent(Form);
  Anchored->SetBounds(260, 180, 10, 10);
  Anchored->SetAnchors({akRight, akBottom});
  auto* Stretched = new TSwatch(Form);
  Stretched->SetParent(Form);
  Stretched->SetBounds(5, 5, 100, 10);
  Stretched->SetAnchors({akLeft, akTop, akRight});

  for (size_t I = 0; I < Controls.size(); ++I) EXPECT_EQ(Controls[I]->BoundsRect(), Items[I].Expected) << I;
  Form->SetClientWidth(400);
  Form->SetClientHeight(250);
  for (size_t I = 0; I < Controls.size(); ++I) EXPECT_EQ(Controls[I]->BoundsRect(), Items[I].AfterResize) << I;
  EXPECT_EQ(Anchored->BoundsRect(), Rect(360, 230, 370, 240));
  EXPECT_EQ(Stretched->BoundsRect(), Rect(5, 5, 205, 15));

  // Constraints limit what alignment gives.
  Controls[0]->Constraints()->SetMaxWidth(100);
  Form->SetClientWidth(380);
  EXPECT_EQ(Controls[0]->Width(), 100);
}

TEST_F(ControlsTest, DoubleBufferedControlPaintsTheSamePicture) {
  auto* Probe = new TProbe(Form);
  Probe->SetParent(Form);
  Probe->SetBounds(10, 10, 40, 40);
  Probe->Fill = clAqua;
  Probe->SetDoubleBuffered(true);
  auto* Swatch = new TSwatch(Form, clBlue);  // a windowless sibling is no child of the probe
  Swatch->SetParent(Form);
  Swatch->SetBounds(100, 100, 10, 10);
  ShowForm();
  EXPECT_EQ(headless::ClientPixel(Probe->Handle(), 20, 20), RGB(0, 255, 255));
  Probe->Fill = clFuchsia;
  Probe->Repaint();
  EXPECT_EQ(headless::ClientPixel(Probe->Handle(), 0, 0), RGB(255, 0, 255));
  EXPECT_EQ(headless::ClientPixel(Probe->Handle(), 39, 39), RGB(255, 0, 255));
}

TEST_F(ControlsTest, PanelClientAreaExcludesBevelsAndBorder) {
  auto* Panel = new TPanel(Form);
  Panel->SetParent(Form);
  Panel->SetBounds(0, 0, 100, 60);
  Panel->SetBorderWidth(3);
  Panel->SetBevelInner(bvLowered);
  auto* Inner = new TSwatch(Form);
  Inner->SetParent(Panel);
  Inner->SetAlign(alClient);
  EXPECT_EQ(Inner->BoundsRect(), Rect(5, 5, 95, 55));
}

// --- properties ---

TEST_F(ControlsTest, PropertiesAreSetByName) {
  auto* Label = new TLabel(Form);
  Label->SetParent(Form);
  SetPropertyByName(Label, "Caption", "Hello");
  SetPropertyByName(Label, "Font.Name", "Arial");
  SetPropertyByName(Label, "Align", "alTop");
  SetPropertyByName(Label, "Transparent", "True");
  EXPECT_EQ(Label->Caption(), "Hello");
  EXPECT_EQ(Label->Font()->Name(), "Arial");
  EXPECT_FALSE(Label->ParentFont());
  EXPECT_EQ(Label->Align(), alTop);
  EXPECT_TRUE(Label->Transparent());
  EXPECT_EQ(GetPropertyByName(Label, "Caption"), "Hello");
  EXPECT_THROW(SetPropertyByName(Label, "NoSuchProperty", "1"), EPropertyError);
  EXPECT_THROW(SetPropertyByName(Label, "Align", "alSideways"), EPropertyError);
}

TEST_F(ControlsTest, ParentColorAndFontFlowToChildrenUntilSetOwn) {
  auto* Panel = new TPanel(Form);
  Panel->SetParent(Form);
  Panel->SetParentColor(true);
  auto* Label = new TLabel(Form);
  Label->SetParent(Panel);
  EXPECT_EQ(Panel->Color(), clRed);
  EXPECT_EQ(Label->Color(), clRed);
  Form->SetColor(clGreen);
  EXPECT_EQ(Label->Color(), clGreen);
  Label->SetColor(clBlue);
  EXPECT_FALSE(Label->ParentColor());
  Form->SetColor(clNavy);
  EXPECT_EQ(Panel->Color(), clNavy);
  EXPECT_EQ(Label->Color(), clBlue);

  Form->Font()->SetSize(14);
  EXPECT_EQ(Label->Font()->Size(), 14);
  EXPECT_TRUE(Label->ParentFont());
}

TEST_F(ControlsTest, AutoSizeLabelFitsItsText) {
  auto* Label = new TLabel(Form);
  Label->SetParent(Form);
  Label->SetCaption("Hi");
  int Short = Label->Width();
  Label->SetCaption("A much longer caption");
  EXPECT_GT(Label->Width(), Short);
  EXPECT_GT(Label->Height(), 0);
  Label->SetAlignment(taRightJustify);
  int Right = Label->Left() + Label->Width();
  Label->SetCaption("Hi");
  EXPECT_EQ(Label->Left() + Label->Width(), Right);  // right-aligned labels keep their right edge
}

TEST_F(ControlsTest, RecreateWndKeepsControlWorking) {
  auto* Probe = new TProbe(Form);
  Probe->SetParent(Form);
  Probe->SetBounds(5, 5, 30, 30);
  Probe->SetCaption("x");
  ShowForm();
  HWND Old = Probe->Handle();
  Probe->RecreateWnd();
  EXPECT_TRUE(Probe->HandleAllocated());
  EXPECT_NE(Probe->Handle(), Old);
  EXPECT_FALSE(IsWindow(Old));
  EXPECT_EQ(GetWindowTextString(Probe->Handle()), "x");
  EXPECT_EQ(FindControl(Probe->Handle()), Probe);
  int Clicks = 0;
  Probe->OnClick = [&](TObject*) { ++Clicks; };
  headless::Click(Probe->Handle(), 3, 3);
  EXPECT_EQ(Clicks, 1);
}

}  // namespace
}  // namespace zv
