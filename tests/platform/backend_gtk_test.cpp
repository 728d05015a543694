// The gtk back end on a virtual display: a window appears with the pixels we painted; message boxes show
// the icon their type asks for.
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "platform/backend.h"
#include "platform/gdi_draw.h"
#include "platform/message_queue.h"
#include "platform/win32.h"
#include "platform/windows.h"
#include "tests/platform/virtual_display.h"

namespace zv {
namespace {

LRESULT PaintProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_PAINT) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(w, &ps);
    TRect all;
    GetClientRect(w, &all);
    HBRUSH blue = CreateSolidBrush(RGB(0, 0, 255));
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    FillRect(dc, &all, blue);
    TRect square = Rect(10, 10, 30, 30);
    FillRect(dc, &square, red);
    DeleteObject(blue);
    DeleteObject(red);
    EndPaint(w, &ps);
    return 0;
  }
  return DefWindowProc(w, msg, wp, lp);
}


// What a message box on the display showed, read from the dialog's widgets and pixels before it is
// answered by Result.
struct TShownBox {
  int Result = 0;
  int Ticks = 0;
  bool Found = false;
  std::string IconName;
  int IconWidth = 0;
  int ColourfulPixels = 0;
};

GtkWidget* FindNamed(GtkWidget* Widget, const char* Name) {
  if (g_strcmp0(gtk_widget_get_name(Widget), Name) == 0) return Widget;
  if (!GTK_IS_CONTAINER(Widget)) return nullptr;
  GtkWidget* Found = nullptr;
  GList* Children = gtk_container_get_children(GTK_CONTAINER(Widget));
  for (GList* C = Children; C && !Found; C = C->next) Found = FindNamed(GTK_WIDGET(C->data), Name);
  g_list_free(Children);
  return Found;
}

gboolean InspectBox(gpointer Data) {
  auto* Shown = static_cast<TShownBox*>(Data);
  GList* Windows = gtk_window_list_toplevels();
  GtkWidget* Dialog = nullptr;
  for (GList* W = Windows; W; W = W->next)
    if (GTK_IS_MESSAGE_DIALOG(W->data) && gtk_widget_get_mapped(GTK_WIDGET(W->data))) Dialog = GTK_WIDGET(W->data);
  g_list_free(Windows);
  if (!Dialog || ++Shown->Ticks < 5) return G_SOURCE_CONTINUE;  // let it draw
  Shown->Found = true;
  if (GtkWidget* Image = FindNamed(Dialog, "message-box-icon"); Image && gtk_widget_get_mapped(Image)) {
    const gchar* Name = nullptr;
    gtk_image_get_icon_name(GTK_IMAGE(Image), &Name, nullptr);
    Shown->IconName = Name ? Name : "";
    GtkAllocation A;
    gtk_widget_get_allocation(Image, &A);
    Shown->IconWidth = A.width;
    int X = 0, Y = 0;
    gtk_widget_translate_coordinates(Image, Dialog, 0, 0, &X, &Y);
    if (GdkPixbuf* P = gdk_pixbuf_get_from_window(gtk_widget_get_window(Dialog), X, Y, A.width, A.height)) {
      const int Stride = gdk_pixbuf_get_rowstride(P), Channels = gdk_pixbuf_get_n_channels(P);
      const guchar* Pixels = gdk_pixbuf_read_pixels(P);
      for (int y = 0; y < A.height; ++y)
        for (int x = 0; x < A.width; ++x) {
          const guchar* C = Pixels + y * Stride + x * Channels;
          Shown->ColourfulPixels += std::max({C[0], C[1], C[2]}) - std::min({C[0], C[1], C[2]}) > 60;
        }
      g_object_unref(P);
    }
  }
  gtk_dialog_response(GTK_DIALOG(Dialog), Shown->Result);
  return G_SOURCE_REMOVE;
}

TEST(BackendGtkTest, AWindowShowsItsPaintedPixelsOnTheDisplay) {
  test::VirtualDisplay display;
  if (!display.Start(640, 480)) GTEST_SKIP() << "Xvfb is not available";
  setenv("DISPLAY", display.Name().c_str(), 1);
  auto gtk = CreateGtkBackend();
  ASSERT_NE(gtk, nullptr) << "GTK could not open " << display.Name();
  SetBackend(std::move(gtk));
  EXPECT_STREQ(Backend().Name(), "gtk");

  WNDCLASS wc;
  wc.lpfnWndProc = PaintProc;
  wc.lpszClassName = "GtkTestWnd";
  RegisterClass(&wc);
  HWND w = CreateWindowEx(0, "GtkTestWnd", "Zonvark test", WS_POPUP | WS_VISIBLE, 40, 30, 120, 80, nullptr, nullptr,
                          nullptr, nullptr);
  ASSERT_NE(w, nullptr);

  // Pump until the server shows the window (the desktop maps and draws it asynchronously).
  std::vector<uint32_t> px;
  bool shown = false;
  for (int i = 0; i < 300 && !shown; ++i) {
    MSG m;
    while (PeekMessage(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessage(&m);
    Backend().Pump(20);
    shown = Backend().CaptureScreen(Rect(40, 30, 160, 110), px) && px[size_t(50 * 120 + 60)] == 0x0000FFu &&
            px[size_t(15 * 120 + 15)] == 0xFF0000u;
  }
  ASSERT_TRUE(shown) << "the window's pixels did not appear on the display";
  EXPECT_EQ(px[size_t(79 * 120 + 119)], 0x0000FFu);
  std::vector<uint32_t> outside;
  ASSERT_TRUE(Backend().CaptureScreen(Rect(0, 0, 10, 10), outside));
  EXPECT_NE(outside[0], 0x0000FFu);

  // The cancel question with the question icon, errors with the error icon; a box without an icon
  // flag shows none.
  struct TBoxCase {
    UINT Type;
    int Answer;
    const char* Icon;
  };
  for (const TBoxCase& T : {TBoxCase{MB_ICONQUESTION | MB_YESNO, IDYES, "dialog-question"},
                            TBoxCase{MB_ICONERROR | MB_OK, IDOK, "dialog-error"}, TBoxCase{MB_OK, IDOK, ""}}) {
    SCOPED_TRACE(T.Icon);
    TShownBox Shown;
    Shown.Result = T.Answer;
    g_timeout_add(50, InspectBox, &Shown);
    EXPECT_EQ(Backend().MessageBox(w, "Really want to cancel?", "Information", T.Type), T.Answer);
    ASSERT_TRUE(Shown.Found);
    EXPECT_EQ(Shown.IconName, T.Icon);
    if (*T.Icon) {
      EXPECT_GE(Shown.IconWidth, 32);
      EXPECT_GT(Shown.ColourfulPixels, 50) << "the icon did not draw";
    }
  }

  DestroyWindow(w);
  SetBackend(CreateHeadlessBackend());
}

}  // namespace
}  // namespace zv
