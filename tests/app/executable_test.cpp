// The built program on a real desktop: zonvark started on a private Xvfb display with the gtk back end
// maps its round, skinned main window, and a click on its close button ends it cleanly, with the
// settings written on the way out. Skipped where Xvfb, xwininfo or xdotool are missing.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/backend.h"
#include "platform/gdi.h"
#include "platform/png_dump.h"
#include "tests/platform/virtual_display.h"

extern char** environ;

namespace zv {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// The main window's size.
constexpr int FormWidth = 434;
constexpr int FormHeight = 616;
// The screen of the virtual display.
constexpr int ScreenWidth = 1024;
constexpr int ScreenHeight = 768;
// Hang guard for each wait: the program under the sanitizers starts slowly, but never this slowly.
constexpr auto Patience = std::chrono::seconds(60);

const std::string TestFolder = std::string(ZV_TEST_TMP) + "/app-executable/";

// The output of a command line (stderr discarded).
std::string Run(const std::string& Command) {
  std::string Out;
  FILE* P = popen((Command + " 2>/dev/null").c_str(), "r");
  if (!P) return Out;
  char Buffer[4096];
  size_t N;
  while ((N = fread(Buffer, 1, sizeof Buffer, P)) > 0) Out.append(Buffer, N);
  pclose(P);
  return Out;
}

struct TMappedWindow {
  std::string Id;
  int Left = 0;
  int Top = 0;
};

// The display's viewable top-level window of the main window's size, if there is one.
bool FindMainWindow(const std::string& Display, TMappedWindow& Found) {
  const std::string Tree = Run("xwininfo -display " + Display + " -root -children");
  // Each child's line ends in its size and place twice: "0x400003 "name": (...)  434x616+295+76  +295+76".
  std::istringstream Lines(Tree);
  std::string Line;
  while (std::getline(Lines, Line)) {
    std::istringstream Words(Line);
    std::vector<std::string> W;
    for (std::string Word; Words >> Word;) W.push_back(Word);
    if (W.size() < 3 || W[0].rfind("0x", 0) != 0) continue;
    int Width = 0, Height = 0, Left = 0, Top = 0;
    if (std::sscanf(W[W.size() - 2].c_str(), "%dx%d%d%d", &Width, &Height, &Left, &Top) != 4) continue;
    if (Width != FormWidth || Height != FormHeight) continue;
    const std::string Info = Run("xwininfo -display " + Display + " -id " + W[0]);
    if (Info.find("Map State: IsViewable") == std::string::npos) continue;
    Found.Id = W[0];
    Found.Left = Left;
    Found.Top = Top;
    return true;
  }
  return false;
}

// The environment of this process with DISPLAY replaced and the headless switch removed.
std::vector<std::string> ChildEnvironment(const std::string& Display) {
  std::vector<std::string> Env;
  for (char** E = environ; *E; ++E) {
    const std::string V = *E;
    if (V.rfind("DISPLAY=", 0) == 0 || V.rfind("ZONVARK_HEADLESS=", 0) == 0 || V.rfind("LANGUAGE=", 0) == 0 ||
        V.rfind("LC_ALL=", 0) == 0 || V.rfind("LANG=", 0) == 0)
      continue;
    Env.push_back(V);
  }
  Env.push_back("DISPLAY=" + Display);
  // A first start picks its language from the locale: English here.
  Env.push_back("LANG=C.UTF-8");
  return Env;
}

// Writes 0x00RRGGBB rows to a PNG for a person to look at.
bool SavePixels(const std::vector<uint32_t>& Pixels, int Width, int Height, const std::string& Path) {
  HBITMAP B = CreateBitmap(Width, Height, 1, 32, Pixels.data());
  if (!B) return false;
  const bool Ok = SaveBitmapToPng(B, Path);
  DeleteObject(B);
  return Ok;
}

class ExecutableTest : public ::testing::Test {
protected:
  void TearDown() override {
    if (Child > 0) {
      kill(Child, SIGKILL);
      int Status;
      waitpid(Child, &Status, 0);
    }
  }
  std::string ChildLog() {
    std::ifstream In(LogPath);
    std::stringstream S;
    S << In.rdbuf();
    return S.str();
  }
  // Waits for the child's exit up to the hang guard; false when it is still running.
  bool WaitForExit(int& Status) {
    const auto Deadline = Clock::now() + Patience;
    while (Clock::now() < Deadline) {
      if (waitpid(Child, &Status, WNOHANG) == Child) {
        Child = 0;
        return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }

  pid_t Child = 0;
  std::string LogPath = TestFolder + "zonvark.log";
};

TEST_F(ExecutableTest, StartsOnTheDesktopShowsTheSkinnedWindowAndClosesCleanly) {
  if (oracle::FindProgram("xwininfo").empty() || oracle::FindProgram("xdotool").empty())
    GTEST_SKIP() << "xwininfo or xdotool is not installed";
  test::VirtualDisplay Display;
  if (!Display.Start(ScreenWidth, ScreenHeight)) GTEST_SKIP() << "Xvfb is not available";

  // The program in a folder of its own, so that the settings it writes beside itself are the test's.
  fs::remove_all(TestFolder);
  fs::create_directories(TestFolder);
  const std::string Program = TestFolder + "zonvark";
  std::error_code Linked;
  fs::create_hard_link(ZV_APP_EXECUTABLE, Program, Linked);
  if (Linked) fs::copy_file(ZV_APP_EXECUTABLE, Program);
  const fs::path Languages = fs::path(ZV_APP_BIN_DIR) / "Languages";
  if (fs::exists(Languages)) fs::copy(Languages, TestFolder + "Languages", fs::copy_options::recursive);

  std::vector<std::string> Env = ChildEnvironment(Display.Name());
  std::vector<char*> EnvP;
  for (std::string& V : Env) EnvP.push_back(V.data());
  EnvP.push_back(nullptr);
  posix_spawn_file_actions_t Actions;
  posix_spawn_file_actions_init(&Actions);
  posix_spawn_file_actions_addopen(&Actions, 1, LogPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&Actions, 1, 2);
  const char* Argv[] = {Program.c_str(), nullptr};
  ASSERT_EQ(posix_spawn(&Child, Program.c_str(), &Actions, nullptr, const_cast<char**>(Argv), EnvP.data()), 0);
  posix_spawn_file_actions_destroy(&Actions);

  // The window is mapped, and painted, where the screen centres it. Each look finds the window again and
  // reads the display where it is, so a window that settles late is followed rather than missed.
  setenv("DISPLAY", Display.Name().c_str(), 1);
  std::unique_ptr<TBackend> Screen = CreateGtkBackend();
  ASSERT_NE(Screen, nullptr) << "the test could not open " << Display.Name();
  TMappedWindow Window;
  std::string Seen, Last;  // the places the window was found in turn, for the failure messages
  std::vector<uint32_t> Px;
  auto At = [&Px](int X, int Y) { return Px[size_t(Y) * FormWidth + size_t(X)] & 0xFFFFFFu; };
  bool Painted = false;
  for (const auto Deadline = Clock::now() + Patience; !Painted && Clock::now() < Deadline;) {
    int Status;
    ASSERT_NE(waitpid(Child, &Status, WNOHANG), Child) << "the program ended early:\n" << ChildLog();
    if (FindMainWindow(Display.Name(), Window)) {
      const std::string Place = std::to_string(Window.Left) + "," + std::to_string(Window.Top);
      if (Place != Last && Seen.size() < 200) Seen += " " + Place;
      Last = Place;
      const TRect Bounds = Rect(Window.Left, Window.Top, Window.Left + FormWidth, Window.Top + FormHeight);
      Painted = Screen->CaptureScreen(Bounds, Px) && Px.size() == size_t(FormWidth) * FormHeight &&
                At(5, 500) == 0xE0E8F1u;
    }
    if (!Painted) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  std::ostringstream Body;
  if (Px.size() == size_t(FormWidth) * FormHeight) Body << std::hex << At(5, 500);
  ASSERT_TRUE(Painted) << "no " << FormWidth << " x " << FormHeight
                       << " window showed its skin colour; found at:" << (Seen.empty() ? " nowhere" : Seen)
                       << "; its body last read " << (Body.str().empty() ? "nothing" : Body.str()) << "\n"
                       << zv::Run("xwininfo -display " + Display.Name() + " -root -tree") << ChildLog();
  EXPECT_EQ(Window.Left, (ScreenWidth - FormWidth) / 2) << "found at:" << Seen;
  EXPECT_EQ(Window.Top, (ScreenHeight - FormHeight) / 2) << "found at:" << Seen;

  // What the display shows there: the blue title band, the light body, and the black root through the
  // corners the round window region cuts off. Read back through our own connection to the display.
  const uint32_t Title = At(200, 20);
  EXPECT_GT(Title & 0xFF, (Title >> 16) & 0xFF) << std::hex << Title;  // more blue than red
  EXPECT_EQ(At(0, 0), 0u) << std::hex << At(0, 0);
  EXPECT_EQ(At(FormWidth - 1, FormHeight - 1), 0u) << std::hex << At(FormWidth - 1, FormHeight - 1);
  int Distinct = 0;
  for (int Y = 0; Y < FormHeight; Y += 7)
    for (int X = 0; X < FormWidth; X += 7) Distinct += At(X, Y) != At(5, 500) && At(X, Y) != 0;
  EXPECT_GT(Distinct, 200) << "the window shows little besides its background";
  EXPECT_TRUE(SavePixels(Px, FormWidth, FormHeight, std::string(ZV_TEST_TMP) + "/app-executable.png"));

  // A click on the close button (22 x 18 at 404, 6) ends the program; it writes its settings first.
  const std::string Click = "xdotool mousemove --sync " + std::to_string(Window.Left + 404 + 11) + " " +
                            std::to_string(Window.Top + 6 + 9) + " click 1";
  EXPECT_EQ(std::system(("DISPLAY=" + Display.Name() + " " + Click).c_str()), 0);
  int Status = 0;
  ASSERT_TRUE(WaitForExit(Status)) << "the program did not end after its close button was clicked:\n" << ChildLog();
  ASSERT_TRUE(WIFEXITED(Status)) << "ended by signal " << WTERMSIG(Status) << ":\n" << ChildLog();
  EXPECT_EQ(WEXITSTATUS(Status), 0) << ChildLog();
  EXPECT_TRUE(fs::exists(TestFolder + "Options.ini"));
}

}  // namespace
}  // namespace zv
