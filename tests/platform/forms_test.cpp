// Forms and the application in the headless back end: modal runs, closing, scripted dialogs and
// message boxes, exceptions shown to the user, the form-description stand-in, locale and themes.
#include "platform/forms.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "platform/backend.h"
#include "platform/std_controls.h"
#include "platform/sysutils.h"

namespace zv {
namespace {

const bool kHeadless = (setenv("ZONVARK_HEADLESS", "1", 1), true);

class FormsTest : public ::testing::Test {
protected:
  void SetUp() override { headless::ClearRecords(); }
  void TearDown() override { headless::Pump(); }
};

// A dialog with OK and Cancel buttons; a timer plays the user once the dialog runs.
struct TDialog {
  TForm* Form;
  TButton* Ok;
  TButton* Cancel;
  TTimer* Script;
  TDialog() {
    Form = new TForm(nullptr);
    Form->SetBorderStyle(bsDialog);
    Form->SetBounds(0, 0, 200, 100);
    Ok = new TButton(Form);
    Ok->SetParent(Form);
    Ok->SetBounds(10, 10, 75, 25);
    Ok->SetModalResult(mrOk);
    Ok->SetDefault(true);
    Cancel = new TButton(Form);
    Cancel->SetParent(Form);
    Cancel->SetBounds(100, 10, 75, 25);
    Cancel->SetModalResult(mrCancel);
    Cancel->SetCancel(true);
    Script = new TTimer(Form);
    Script->SetInterval(10);
  }
  ~TDialog() { delete Form; }
};

TEST_F(FormsTest, ModalFormReturnsTheModalResultOfTheButtonClicked) {
  TDialog D;
  D.Script->OnTimer = [&](TObject*) {
    D.Script->SetEnabled(false);
    headless::Click(D.Ok->Handle(), 5, 5);
  };
  int Closes = 0;
  D.Form->OnClose = [&](TObject*, TCloseAction& Action) {
    ++Closes;
    EXPECT_EQ(Action, caHide);
  };
  EXPECT_EQ(D.Form->ShowModal(), mrOk);
  EXPECT_EQ(Closes, 1);
  EXPECT_FALSE(D.Form->Visible());
  EXPECT_FALSE(D.Form->FormState().Contains(fsModal));
}

TEST_F(FormsTest, EscapeAndEnterReachTheCancelAndDefaultButtons) {
  struct Case {
    int Key;
    TModalResult Expected;
  };
  for (Case C : {Case{VK_ESCAPE, mrCancel}, Case{VK_RETURN, mrOk}}) {
    TDialog D;
    D.Script->OnTimer = [&](TObject*) {
      D.Script->SetEnabled(false);
      headless::PressKey(C.Key);
    };
    EXPECT_EQ(D.Form->ShowModal(), C.Expected) << C.Key;
  }
}

TEST_F(FormsTest, CloseQueryCanKeepAModalFormOpen) {
  TDialog D;
  int Asked = 0;
  D.Form->OnCloseQuery = [&](TObject*, bool& CanClose) { CanClose = ++Asked > 1; };
  D.Script->OnTimer = [&](TObject*) {
    if (Asked == 0) headless::Click(D.Cancel->Handle(), 5, 5);  // refused: the form stays
    else if (Asked == 1) {
      D.Script->SetEnabled(false);
      headless::Click(D.Ok->Handle(), 5, 5);
    }
  };
  EXPECT_EQ(D.Form->ShowModal(), mrOk);
  EXPECT_EQ(Asked, 2);
}

TEST_F(FormsTest, ShowModalOfAVisibleFormRaises) {
  TDialog D;
  D.Form->Show();
  EXPECT_THROW(D.Form->ShowModal(), EInvalidOperation);
}

TEST_F(FormsTest, ModalFormDisablesTheOtherForms) {
  TForm* Main = new TForm(nullptr);
  Main->Show();
  TDialog D;
  bool MainEnabledDuring = true;
  D.Script->OnTimer = [&](TObject*) {
    D.Script->SetEnabled(false);
    MainEnabledDuring = IsWindowEnabled(Main->Handle());
    D.Form->SetModalResult(mrAbort);
  };
  EXPECT_EQ(D.Form->ShowModal(), mrAbort);
  EXPECT_FALSE(MainEnabledDuring);
  EXPECT_TRUE(IsWindowEnabled(Main->Handle()));
  delete Main;
}

TEST_F(FormsTest, CloseActionsHideOrKeepTheForm) {
  struct Case {
    TCloseAction Action;
    bool CanClose;
    bool VisibleAfter;
  };
  for (Case C : {Case{caHide, true, false}, Case{caNone, true, true}, Case{caHide, false, true}}) {
    TForm Form(nullptr);
    Form.Show();
    Form.OnCloseQuery = [&](TObject*, bool& CanClose) { CanClose = C.CanClose; };
    Form.OnClose = [&](TObject*, TCloseAction& Action) { Action = C.Action; };
    PostMessage(Form.Handle(), WM_CLOSE, 0, 0);
    headless::Pump();
    EXPECT_EQ(Form.Visible(), C.VisibleAfter) << int(C.Action) << C.CanClose;
  }
}

TEST_F(FormsTest, ScreenCenterPlacesTheFormInTheMiddle) {
  TForm Form(nullptr);
  Form.SetBounds(0, 0, 200, 100);
  Form.SetPosition(poScreenCenter);
  Form.Show();
  EXPECT_EQ(Form.Left(), (Screen->Width() - 200) / 2);
  EXPECT_EQ(Form.Top(), (Screen->Height() - 100) / 2);
  EXPECT_EQ(Screen->PixelsPerInch(), 96);
}

TEST_F(FormsTest, ClientSizeOfABorderedFormLeavesRoomForTheFrame) {
  TForm Form(nullptr);
  Form.SetBorderStyle(bsDialog);
  Form.SetClientWidth(300);
  Form.SetClientHeight(150);
  EXPECT_EQ(Form.ClientWidth(), 300);
  EXPECT_EQ(Form.ClientHeight(), 150);
  EXPECT_GT(Form.Width(), 300);
  Form.Show();
  EXPECT_EQ(Form.ClientWidth(), 300);
  EXPECT_EQ(Form.ClientHeight(), 150);
}

// --- application ---

TEST_F(FormsTest, MinimizeAndRestoreTheMainForm) {
  TForm* Main = nullptr;
  Application->CreateForm(Main);
  Main->Show();
  Application->Minimize();
  headless::Pump();
  EXPECT_EQ(Main->WindowState(), wsMinimized);
  Application->Restore();
  headless::Pump();
  EXPECT_EQ(Main->WindowState(), wsNormal);
  Application->DestroyForms();
}

TEST_F(FormsTest, RunEndsWhenTheMainFormCloses) {
  TForm* Main = nullptr;
  Application->CreateForm(Main);
  ASSERT_EQ(Application->MainForm(), Main);
  bool Shown = false;
  Main->OnShow = [&](TObject*) {
    Shown = true;
    PostMessage(Main->Handle(), WM_CLOSE, 0, 0);
  };
  Application->Run();
  EXPECT_TRUE(Shown);
  EXPECT_TRUE(Application->Terminated());
  Application->DestroyForms();
  EXPECT_EQ(Application->MainForm(), nullptr);
}

TEST_F(FormsTest, ExceptionsFromHandlersAreShownWithTheirMessage) {
  TForm Form(nullptr);
  Form.SetBorderStyle(bsNone);
  Form.SetBounds(10, 10, 100, 100);
  Form.OnClick = [](TObject*) { throw EInvalidOperation("Something went wrong"); };
  Form.Show();
  headless::Click(Form.Handle(), 20, 20);
  auto Boxes = headless::MessageBoxes();
  ASSERT_EQ(Boxes.size(), 1u);
  EXPECT_EQ(Boxes[0].Text, "Something went wrong.");
  EXPECT_EQ(Boxes[0].Caption, Application->Title());
  EXPECT_EQ(Boxes[0].Type & MB_ICONSTOP, UINT(MB_ICONSTOP));

  // Silent aborts show nothing; a message ending in punctuation keeps it. (Time passes between
  // the clicks, so that they are no double click.)
  Form.OnClick = [](TObject*) { Abort(); };
  headless::AdvanceTime(1000);
  headless::Click(Form.Handle(), 20, 20);
  Form.OnClick = [](TObject*) { throw Exception("Stop!"); };
  headless::AdvanceTime(1000);
  headless::Click(Form.Handle(), 20, 20);
  Boxes = headless::MessageBoxes();
  ASSERT_EQ(Boxes.size(), 2u);
  EXPECT_EQ(Boxes[1].Text, "Stop!");

  std::string Seen;
  Application->OnException = [&](TObject*, const std::exception& E) { Seen = E.what(); };
  Form.OnClick = [](TObject*) { throw Exception("handled"); };
  headless::AdvanceTime(1000);
  headless::Click(Form.Handle(), 20, 20);
  Application->OnException = nullptr;
  EXPECT_EQ(Seen, "handled");
  EXPECT_EQ(headless::MessageBoxes().size(), 2u);
}

TEST_F(FormsTest, MessageBoxIsAnsweredFromTheScript) {
  headless::AnswerNextMessageBox(IDYES);
  EXPECT_EQ(Application->MessageBox("Replace it?", "Confirm", MB_YESNO | MB_ICONQUESTION), IDYES);
  Application->MessageBox("Again?", "Confirm", MB_YESNO);  // unanswered, recorded all the same
  auto Boxes = headless::MessageBoxes();
  ASSERT_EQ(Boxes.size(), 2u);
  EXPECT_EQ(Boxes[0].Text, "Replace it?");
  EXPECT_EQ(Boxes[0].Caption, "Confirm");
  EXPECT_EQ(Boxes[0].Type, UINT(MB_YESNO | MB_ICONQUESTION));
}

// --- dialogs ---

TEST_F(FormsTest, FileDialogsAreAnsweredFromTheScript) {
  std::string Existing = std::string(ZV_TEST_TMP) + "/forms_test_clip.avi";
  std::ofstream(Existing) << "x";

  TOpenDialog Open(nullptr);
  Open.SetFilter("Video files|*.avi;*.mp4|All files|*.*");
  Open.SetTitle("Open video");
  Open.SetOptions({ofFileMustExist, ofHideReadOnly});
  headless::AnswerNextFileDialog(true, Existing, 2);
  ASSERT_TRUE(Open.Execute());
  EXPECT_EQ(Open.FileName(), Existing);
  EXPECT_EQ(Open.FilterIndex(), 2);
  auto Requests = headless::FileDialogs();
  ASSERT_EQ(Requests.size(), 1u);
  EXPECT_FALSE(Requests[0].Save);
  EXPECT_EQ(Requests[0].Filter, "Video files|*.avi;*.mp4|All files|*.*");
  EXPECT_EQ(Requests[0].Title, "Open video");
  EXPECT_TRUE(Requests[0].FileMustExist);

  // A missing file is not reported as chosen when it must exist; a cancel leaves the name alone.
  headless::AnswerNextFileDialog(true, std::string(ZV_TEST_TMP) + "/no_such_file.avi", 1);
  EXPECT_FALSE(Open.Execute());
  headless::AnswerNextFileDialog(false);
  EXPECT_FALSE(Open.Execute());
  EXPECT_EQ(Open.FileName(), Existing);

  TSaveDialog Save(nullptr);
  Save.SetDefaultExt("gif");
  Save.SetOptions({ofOverwritePrompt});
  headless::AnswerNextFileDialog(true, std::string(ZV_TEST_TMP) + "/out", 1);
  ASSERT_TRUE(Save.Execute());
  EXPECT_EQ(Save.FileName(), std::string(ZV_TEST_TMP) + "/out.gif");
  Requests = headless::FileDialogs();
  ASSERT_EQ(Requests.size(), 4u);
  EXPECT_TRUE(Requests[3].Save);
  EXPECT_TRUE(Requests[3].OverwritePrompt);
  EXPECT_EQ(Requests[3].DefaultExt, "gif");
}

// --- form description ---

class TSampleForm : public TForm {
public:
  explicit TSampleForm(TComponent* AOwner) : TForm(AOwner) {
    TFormLoader L(this);
    L.Set(this, {{"BorderStyle", "bsNone"}, {"ClientWidth", "200"}, {"ClientHeight", "120"}, {"Caption", "Sample"}});
    Top = L.Add<TPanel>("PanelTop", this, Bounds(0, 0, 200, 30), {{"Align", "alTop"}, {"Caption", "Title"}});
    Name = L.Add<TLabel>("LabelName", Top, Bounds(8, 8, 60, 13), {{"Caption", "Name"}, {"Font.Name", "Arial"}});
    Go = L.Add<TButton>("ButtonGo", this, Bounds(10, 80, 75, 25), {{"Caption", "Go"}, {"ModalResult", "1"}});
    Tick = L.Add<TTimer>("Tick", {{"Interval", "50"}, {"Enabled", "False"}});
    OnCreate = [this](TObject*) { FormCreate(); };
    Go->OnClick = [this](TObject*) { ++GoClicks; };
    L.Finish();
  }
  void FormCreate() {
    // Everything of the description exists and is laid out when OnCreate runs.
    CreatedWithWidth = Top->Width();
    CreatedLoading = Top->ComponentState().Contains(csLoading);
  }
  TPanel* Top;
  TLabel* Name;
  TButton* Go;
  TTimer* Tick;
  int GoClicks = 0;
  int CreatedWithWidth = -1;
  bool CreatedLoading = true;
};

TEST_F(FormsTest, FormDescriptionBuildsNamedComponentsThenRunsOnCreate) {
  TSampleForm Form(nullptr);
  EXPECT_EQ(Form.CreatedWithWidth, 200);
  EXPECT_FALSE(Form.CreatedLoading);
  EXPECT_EQ(Form.FindComponent("labelname"), Form.Name);
  EXPECT_EQ(Form.FindComponent("ButtonGo"), Form.Go);
  EXPECT_EQ(Form.Name->Parent(), Form.Top);
  EXPECT_EQ(Form.Name->Font()->Name(), "Arial");
  EXPECT_EQ(Form.Caption(), "Sample");
  EXPECT_EQ(Form.ClientWidth(), 200);
  EXPECT_EQ(Form.Go->ModalResult(), mrOk);
  EXPECT_FALSE(Form.Tick->Enabled());
  EXPECT_EQ(Form.Tick->Interval(), 50u);
  EXPECT_FALSE(Form.ComponentState().Contains(csLoading));
  EXPECT_FALSE(Form.HandleAllocated());  // windows wait until the form is shown

  // Language files set captions by name.
  SetPropertyByName(Form.FindComponent("PanelTop"), "Caption", "Titel");
  EXPECT_EQ(Form.Top->Caption(), "Titel");

  Form.Show();
  headless::Click(Form.Go->Handle(), 5, 5);
  EXPECT_EQ(Form.GoClicks, 1);
  EXPECT_EQ(Form.ModalResult(), mrOk);
}

// --- desktop facts ---

TEST_F(FormsTest, LanguageComesFromTheLocaleEnvironment) {
  struct Case {
    const char* LcAll;
    const char* Lang;
    uint16_t Primary;
    const char* English;
  };
  const Case Cases[] = {
      {"", "el_GR.UTF-8", LANG_GREEK, "Greek"},
      {"", "ru_RU.UTF-8", LANG_RUSSIAN, "Russian"},
      {"de_DE.UTF-8", "el_GR.UTF-8", LANG_GERMAN, "German"},
      {"", "C", LANG_ENGLISH, "English"},
      {"", "", LANG_ENGLISH, "English"},
  };
  for (const Case& C : Cases) {
    setenv("LC_ALL", C.LcAll, 1);
    setenv("LC_MESSAGES", "", 1);
    setenv("LANG", C.Lang, 1);
    EXPECT_EQ(PRIMARYLANGID(GetUserDefaultLangID()), C.Primary) << C.Lang;
    char Name[32] = {};
    EXPECT_GT(GetLocaleInfoA(LOCALE_SYSTEM_DEFAULT, LOCALE_SENGLANGUAGE, Name, sizeof Name), 0);
    EXPECT_STREQ(Name, C.English);
  }
  unsetenv("LC_ALL");
  unsetenv("LC_MESSAGES");
  unsetenv("LANG");
  EXPECT_FALSE(ThemeServices().ThemesEnabled());
}

TEST_F(FormsTest, StartupLocaleIdsFromTheEnvironment) {
  struct Case {
    const char* LcMessages;
    const char* Lang;
    uint16_t Primary;
    uint16_t Sub;
  };
  const Case Cases[] = {
      {"", "pl_PL.UTF-8", LANG_POLISH, SUBLANG_DEFAULT},
      {"", "zh_CN.UTF-8", LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED},
      {"", "zh_TW.UTF-8", LANG_CHINESE, SUBLANG_CHINESE_TRADITIONAL},
      {"", "zh_HK.UTF-8", LANG_CHINESE, SUBLANG_CHINESE_HONGKONG},
      {"", "zh_SG", LANG_CHINESE, SUBLANG_CHINESE_SINGAPORE},
      {"", "zh", LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED},
      {"", "ja_JP.eucJP", LANG_JAPANESE, SUBLANG_DEFAULT},
      {"", "fa_IR", LANG_FARSI, SUBLANG_DEFAULT},
      {"", "he_IL.UTF-8", LANG_HEBREW, SUBLANG_DEFAULT},
      {"", "pt_BR.UTF-8", LANG_PORTUGUESE, 1},
      {"", "pt_PT.UTF-8", LANG_PORTUGUESE, 2},
      {"", "en_GB.UTF-8", LANG_ENGLISH, 2},
      {"de_AT.UTF-8", "fr_FR.UTF-8", LANG_GERMAN, 3},  // LC_MESSAGES before LANG
      {"", "sr_RS@latin", LANG_ENGLISH, SUBLANG_DEFAULT},
      {"", "POSIX", LANG_ENGLISH, SUBLANG_DEFAULT},
  };
  for (const Case& C : Cases) {
    setenv("LC_ALL", "", 1);
    setenv("LC_MESSAGES", C.LcMessages, 1);
    setenv("LANG", C.Lang, 1);
    ReadSysLocale();
    EXPECT_EQ(SysLocale().PriLangID, C.Primary) << C.Lang;
    EXPECT_EQ(SysLocale().SubLangID, C.Sub) << C.Lang;
  }
  unsetenv("LC_ALL");
  unsetenv("LC_MESSAGES");
  unsetenv("LANG");
  SetSysLocale(TSysLocale{});
  EXPECT_EQ(SysLocale().PriLangID, LANG_ENGLISH);
}

TEST(CodePages, ConvertToUtf8) {
  struct Case {
    uint32_t CodePage;
    std::string Bytes;
    std::string Utf8;
  };
  const Case Cases[] = {
      {1252, "Pr\xE9visualisation", "Prévisualisation"},
      {1250, "Podgl\xB9" "d", "Podgląd"},
      {1251, "\xCE\xF2\xEC\xE5\xED\xE0", "Отмена"},
      {936, "\xD4\xA4\xC0\xC0", "预览"},
      {932, "OK", "OK"},
      {936, "\xD4", "\xEF\xBF\xBD"},  // a lead byte without its trail
      {65001, "\xC3\xA9", "é"},
  };
  for (const Case& C : Cases) EXPECT_EQ(CodePageToUtf8(C.CodePage, C.Bytes), C.Utf8) << C.CodePage;
}

}  // namespace
}  // namespace zv
