// The GTK 3 back end: one undecorated GTK window per top-level window showing its surface as it is
// (our code draws frames and captions), native input turned into ours, native dialogs.
#include <gtk/gtk.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/backend.h"
#include "platform/message_queue.h"
#include "platform/windows.h"

namespace zv {

namespace {

struct TNative {
  HWND wnd = nullptr;
  GtkWidget* window = nullptr;
  GtkWidget* area = nullptr;
  bool alphaVisual = false;
  bool shown = false;
  bool iconified = false;
  int x = 0, y = 0, w = 0, h = 0;
};

// The last button press, which the desktop's move loop needs to start from.
struct TPress {
  int button = 1;
  int rootX = 0, rootY = 0;
  uint32_t time = GDK_CURRENT_TIME;
} g_press;

int VirtualKey(guint keyval) {
  if (keyval >= GDK_KEY_a && keyval <= GDK_KEY_z) return int('A' + (keyval - GDK_KEY_a));
  if (keyval >= GDK_KEY_A && keyval <= GDK_KEY_Z) return int('A' + (keyval - GDK_KEY_A));
  if (keyval >= GDK_KEY_0 && keyval <= GDK_KEY_9) return int('0' + (keyval - GDK_KEY_0));
  if (keyval >= GDK_KEY_F1 && keyval <= GDK_KEY_F12) return VK_F1 + int(keyval - GDK_KEY_F1);
  if (keyval >= GDK_KEY_KP_0 && keyval <= GDK_KEY_KP_9) return VK_NUMPAD0 + int(keyval - GDK_KEY_KP_0);
  switch (keyval) {
    case GDK_KEY_BackSpace: return VK_BACK;
    case GDK_KEY_Tab:
    case GDK_KEY_ISO_Left_Tab: return VK_TAB;
    case GDK_KEY_Return:
    case GDK_KEY_KP_Enter: return VK_RETURN;
    case GDK_KEY_Shift_L: return VK_LSHIFT;
    case GDK_KEY_Shift_R: return VK_RSHIFT;
    case GDK_KEY_Control_L: return VK_LCONTROL;
    case GDK_KEY_Control_R: return VK_RCONTROL;
    case GDK_KEY_Alt_L: return VK_LMENU;
    case GDK_KEY_Alt_R:
    case GDK_KEY_ISO_Level3_Shift: return VK_RMENU;
    case GDK_KEY_Pause: return VK_PAUSE;
    case GDK_KEY_Caps_Lock: return VK_CAPITAL;
    case GDK_KEY_Escape: return VK_ESCAPE;
    case GDK_KEY_space: return VK_SPACE;
    case GDK_KEY_Page_Up:
    case GDK_KEY_KP_Page_Up: return VK_PRIOR;
    case GDK_KEY_Page_Down:
    case GDK_KEY_KP_Page_Down: return VK_NEXT;
    case GDK_KEY_End:
    case GDK_KEY_KP_End: return VK_END;
    case GDK_KEY_Home:
    case GDK_KEY_KP_Home: return VK_HOME;
    case GDK_KEY_Left:
    case GDK_KEY_KP_Left: return VK_LEFT;
    case GDK_KEY_Up:
    case GDK_KEY_KP_Up: return VK_UP;
    case GDK_KEY_Right:
    case GDK_KEY_KP_Right: return VK_RIGHT;
    case GDK_KEY_Down:
    case GDK_KEY_KP_Down: return VK_DOWN;
    case GDK_KEY_Insert:
    case GDK_KEY_KP_Insert: return VK_INSERT;
    case GDK_KEY_Delete:
    case GDK_KEY_KP_Delete: return VK_DELETE;
    case GDK_KEY_Menu: return VK_APPS;
    case GDK_KEY_KP_Add: return VK_ADD;
    case GDK_KEY_KP_Subtract: return VK_SUBTRACT;
    case GDK_KEY_KP_Multiply: return VK_MULTIPLY;
    case GDK_KEY_KP_Divide: return VK_DIVIDE;
    case GDK_KEY_KP_Decimal: return VK_DECIMAL;
    case GDK_KEY_Num_Lock: return VK_NUMLOCK;
    case GDK_KEY_Scroll_Lock: return VK_SCROLL;
    case GDK_KEY_minus: return 0xBD;
    case GDK_KEY_plus:
    case GDK_KEY_equal: return 0xBB;
    case GDK_KEY_comma: return 0xBC;
    case GDK_KEY_period: return 0xBE;
    default: return 0;
  }
}

const char* CursorName(int standardId) {
  switch (standardId) {
    case 32513: return "text";
    case 32514: return "wait";
    case 32515: return "crosshair";
    case 32642: return "nwse-resize";
    case 32643: return "nesw-resize";
    case 32644: return "ew-resize";
    case 32645: return "ns-resize";
    case 32646: return "move";
    case 32648: return "not-allowed";
    case 32649: return "pointer";
    case 32650: return "progress";
    case 32651: return "help";
    default: return "default";
  }
}

TNative* NativeOf(HWND w) { return static_cast<TNative*>(GetBackendData(w)); }

gboolean OnDraw(GtkWidget*, cairo_t* cr, gpointer data) {
  auto* n = static_cast<TNative*>(data);
  int w, h, stride;
  bool alpha;
  const uint8_t* px = TopLevelPixels(n->wnd, w, h, stride, alpha);
  if (!px) return TRUE;
  // Our B,G,R,X / premultiplied B,G,R,A rows are cairo's native-endian RGB24 / ARGB32 on this platform.
  cairo_surface_t* s = cairo_image_surface_create_for_data(const_cast<uint8_t*>(px),
                                                           alpha ? CAIRO_FORMAT_ARGB32 : CAIRO_FORMAT_RGB24, w, h, stride);
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  if (alpha && !n->alphaVisual) {
    // No compositor: show the pixels over black rather than garbage.
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_paint(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
  }
  cairo_set_source_surface(cr, s, 0, 0);
  cairo_paint(cr);
  cairo_surface_destroy(s);
  return TRUE;
}

gboolean OnButton(GtkWidget*, GdkEventButton* e, gpointer) {
  if (e->type != GDK_BUTTON_PRESS && e->type != GDK_BUTTON_RELEASE) return TRUE;  // we count clicks ourselves
  TInputButton b = e->button == 3 ? TInputButton::Right : e->button == 2 ? TInputButton::Middle : TInputButton::Left;
  if (e->button > 3) return TRUE;
  if (e->type == GDK_BUTTON_PRESS) g_press = {int(e->button), int(e->x_root), int(e->y_root), e->time};
  InputMouseButton(b, e->type == GDK_BUTTON_PRESS, int(e->x_root), int(e->y_root));
  return TRUE;
}

gboolean OnMotion(GtkWidget*, GdkEventMotion* e, gpointer) {
  InputMouseMove(int(e->x_root), int(e->y_root));
  return TRUE;
}

gboolean OnScroll(GtkWidget*, GdkEventScroll* e, gpointer) {
  int delta = 0;
  bool horz = false;
  switch (e->direction) {
    case GDK_SCROLL_UP: delta = WHEEL_DELTA; break;
    case GDK_SCROLL_DOWN: delta = -WHEEL_DELTA; break;
    case GDK_SCROLL_LEFT: delta = -WHEEL_DELTA; horz = true; break;
    case GDK_SCROLL_RIGHT: delta = WHEEL_DELTA; horz = true; break;
    case GDK_SCROLL_SMOOTH:
      if (e->delta_y != 0) delta = int(-e->delta_y * WHEEL_DELTA);
      else {
        delta = int(e->delta_x * WHEEL_DELTA);
        horz = true;
      }
      break;
  }
  if (delta) InputMouseWheel(delta, horz, int(e->x_root), int(e->y_root));
  return TRUE;
}

gboolean OnKey(GtkWidget*, GdkEventKey* e, gpointer) {
  int vk = VirtualKey(e->keyval);
  std::string text;
  if (e->type == GDK_KEY_PRESS) {
    gunichar u = gdk_keyval_to_unicode(e->keyval);
    if (u >= 0x20 && u != 0x7F && !(e->state & (GDK_CONTROL_MASK | GDK_MOD1_MASK))) {
      char buf[8] = {};
      g_unichar_to_utf8(u, buf);
      text = buf;
    }
  }
  if (!vk && text.empty()) return TRUE;
  if (!vk) {
    InputText(text);
    return TRUE;
  }
  InputKey(vk, e->type == GDK_KEY_PRESS, text);
  return TRUE;
}

gboolean OnConfigure(GtkWidget*, GdkEventConfigure* e, gpointer data) {
  auto* n = static_cast<TNative*>(data);
  if (e->x != n->x || e->y != n->y) {
    n->x = e->x;
    n->y = e->y;
    InputWindowMoved(n->wnd, e->x, e->y);
  }
  return FALSE;
}

gboolean OnState(GtkWidget*, GdkEventWindowState* e, gpointer data) {
  auto* n = static_cast<TNative*>(data);
  if (e->changed_mask & GDK_WINDOW_STATE_ICONIFIED) {
    n->iconified = (e->new_window_state & GDK_WINDOW_STATE_ICONIFIED) != 0;
    InputWindowMinimized(n->wnd, n->iconified);
  }
  return FALSE;
}

gboolean OnFocus(GtkWidget*, GdkEventFocus* e, gpointer data) {
  InputWindowActivated(static_cast<TNative*>(data)->wnd, e->in != 0);
  return FALSE;
}

gboolean OnDelete(GtkWidget*, GdkEvent*, gpointer data) {
  InputWindowClose(static_cast<TNative*>(data)->wnd);
  return TRUE;  // the program decides through WM_CLOSE
}

class TGtkBackend : public TBackend {
 public:
  ~TGtkBackend() override {
    for (HWND w : TopLevelWindows()) WindowDestroyed(w);
  }
  const char* Name() const override { return "gtk"; }

  void WindowCreated(HWND w) override {
    auto* n = new TNative;
    n->wnd = w;
    n->window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_decorated(GTK_WINDOW(n->window), FALSE);
    gtk_widget_set_app_paintable(n->window, TRUE);
    GdkScreen* screen = gtk_widget_get_screen(n->window);
    if (GdkVisual* v = gdk_screen_get_rgba_visual(screen); v && gdk_screen_is_composited(screen)) {
      gtk_widget_set_visual(n->window, v);
      n->alphaVisual = true;
    }
    n->area = gtk_drawing_area_new();
    gtk_container_add(GTK_CONTAINER(n->window), n->area);
    gtk_widget_add_events(n->area, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK | GDK_POINTER_MOTION_MASK |
                                       GDK_SCROLL_MASK | GDK_SMOOTH_SCROLL_MASK);
    gtk_widget_add_events(n->window, GDK_KEY_PRESS_MASK | GDK_KEY_RELEASE_MASK | GDK_STRUCTURE_MASK | GDK_FOCUS_CHANGE_MASK);
    g_signal_connect(n->area, "draw", G_CALLBACK(OnDraw), n);
    g_signal_connect(n->area, "button-press-event", G_CALLBACK(OnButton), n);
    g_signal_connect(n->area, "button-release-event", G_CALLBACK(OnButton), n);
    g_signal_connect(n->area, "motion-notify-event", G_CALLBACK(OnMotion), n);
    g_signal_connect(n->area, "scroll-event", G_CALLBACK(OnScroll), n);
    g_signal_connect(n->window, "key-press-event", G_CALLBACK(OnKey), n);
    g_signal_connect(n->window, "key-release-event", G_CALLBACK(OnKey), n);
    g_signal_connect(n->window, "configure-event", G_CALLBACK(OnConfigure), n);
    g_signal_connect(n->window, "window-state-event", G_CALLBACK(OnState), n);
    g_signal_connect(n->window, "focus-in-event", G_CALLBACK(OnFocus), n);
    g_signal_connect(n->window, "focus-out-event", G_CALLBACK(OnFocus), n);
    g_signal_connect(n->window, "delete-event", G_CALLBACK(OnDelete), n);
    gtk_widget_show(n->area);
    SetBackendData(w, n);
    WindowChanged(w);
  }

  void WindowDestroyed(HWND w) override {
    TNative* n = NativeOf(w);
    if (!n) return;
    SetBackendData(w, nullptr);
    gtk_widget_destroy(n->window);
    delete n;
  }

  void WindowChanged(HWND w) override {
    TNative* n = NativeOf(w);
    if (!n) return;
    GtkWindow* gw = GTK_WINDOW(n->window);
    DWORD ex = DWORD(GetWindowLong(w, GWL_EXSTYLE));
    gtk_window_set_title(gw, GetWindowTextString(w).c_str());
    gtk_window_set_skip_taskbar_hint(gw, (ex & WS_EX_TOOLWINDOW) != 0);
    gtk_window_set_keep_above(gw, (ex & WS_EX_TOPMOST) != 0);
    gtk_window_set_accept_focus(gw, (ex & WS_EX_NOACTIVATE) == 0);
    if (ex & WS_EX_TOOLWINDOW) gtk_window_set_type_hint(gw, GDK_WINDOW_TYPE_HINT_UTILITY);
    HWND owner = GetWindow(w, GW_OWNER);
    TNative* on = owner ? NativeOf(owner) : nullptr;
    gtk_window_set_transient_for(gw, on ? GTK_WINDOW(on->window) : nullptr);
    TRect r;
    GetWindowRect(w, &r);
    int width = std::max(1, r.Width()), height = std::max(1, r.Height());
    if (width != n->w || height != n->h) {
      n->w = width;
      n->h = height;
      gtk_widget_set_size_request(n->area, width, height);
      gtk_window_resize(gw, width, height);
    }
    if (r.Left != n->x || r.Top != n->y) {
      n->x = r.Left;
      n->y = r.Top;
      gtk_window_move(gw, r.Left, r.Top);
    }
    // Shape: the window region, or nothing.
    std::vector<TRect> rects;
    if (TopLevelRegion(w, rects)) {
      cairo_region_t* region = cairo_region_create();
      for (const TRect& t : rects) {
        cairo_rectangle_int_t cr{t.Left, t.Top, t.Width(), t.Height()};
        cairo_region_union_rectangle(region, &cr);
      }
      gtk_widget_shape_combine_region(n->window, region);
      cairo_region_destroy(region);
    } else {
      gtk_widget_shape_combine_region(n->window, nullptr);
    }
    bool visible = IsWindowVisible(w);
    if (visible && !n->shown) {
      gtk_widget_show(n->window);
      n->shown = true;
      gtk_window_move(gw, r.Left, r.Top);
    } else if (!visible && n->shown) {
      gtk_widget_hide(n->window);
      n->shown = false;
    }
    if (visible) {
      bool want = IsIconic(w);
      if (want && !n->iconified) gtk_window_iconify(gw);
      if (!want && n->iconified) gtk_window_deiconify(gw);
      if (GetActiveWindow() == w && !gtk_window_is_active(gw) && !(ex & WS_EX_NOACTIVATE)) gtk_window_present(gw);
    }
    gtk_widget_queue_draw(n->area);
  }

  void WindowPainted(HWND w, const TRect& r) override {
    if (TNative* n = NativeOf(w)) gtk_widget_queue_draw_area(n->area, r.Left, r.Top, r.Width(), r.Height());
  }

  bool Pump(uint32_t timeoutMs) override {
    bool any = false;
    uint32_t start = GetTickCount();
    for (;;) {
      while (g_main_context_iteration(nullptr, FALSE)) any = true;
      if (any || timeoutMs == 0) return any;
      if (PendingMessageCount() || HasPendingSynchronize()) return true;
      uint32_t waited = GetTickCount() - start;
      if (timeoutMs != 0xFFFFFFFF && waited >= timeoutMs) return false;
      // GTK's events and our queue have separate wake-ups: look at both often.
      uint32_t slice = timeoutMs == 0xFFFFFFFF ? 10 : std::min<uint32_t>(10, timeoutMs - waited);
      if (WaitForQueueActivity(slice)) return true;
    }
  }

  int MessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type) override {
    GtkMessageType mt = GTK_MESSAGE_OTHER;
    const char* icon = nullptr;
    switch (type & 0xF0) {
      case MB_ICONERROR: mt = GTK_MESSAGE_ERROR; icon = "dialog-error"; break;
      case MB_ICONQUESTION: mt = GTK_MESSAGE_QUESTION; icon = "dialog-question"; break;
      case MB_ICONWARNING: mt = GTK_MESSAGE_WARNING; icon = "dialog-warning"; break;
      case MB_ICONINFORMATION: mt = GTK_MESSAGE_INFO; icon = "dialog-information"; break;
      default: break;
    }
    TNative* on = owner ? NativeOf(GetAncestor(owner, GA_ROOT)) : nullptr;
    GtkWidget* d = gtk_message_dialog_new(on ? GTK_WINDOW(on->window) : nullptr, GTK_DIALOG_MODAL, mt, GTK_BUTTONS_NONE,
                                          "%s", text.c_str());
    gtk_window_set_title(GTK_WINDOW(d), caption.c_str());
    // The message type alone shows no picture: the box's icon goes beside the text, as the user knows it.
    GtkWidget* area = gtk_message_dialog_get_message_area(GTK_MESSAGE_DIALOG(d));
    GtkWidget* row = area ? gtk_widget_get_parent(area) : nullptr;
    if (icon && row && GTK_IS_BOX(row)) {
      GtkWidget* image = gtk_image_new_from_icon_name(icon, GTK_ICON_SIZE_DIALOG);
      gtk_widget_set_name(image, "message-box-icon");
      gtk_widget_set_valign(image, GTK_ALIGN_START);
      gtk_box_pack_start(GTK_BOX(row), image, FALSE, FALSE, 0);
      gtk_box_reorder_child(GTK_BOX(row), image, 0);
      gtk_widget_show(image);
    }
    auto add = [d](const char* label, int id) { gtk_dialog_add_button(GTK_DIALOG(d), label, id); };
    switch (type & 0xF) {
      case MB_OKCANCEL: add("OK", IDOK); add("Cancel", IDCANCEL); break;
      case MB_ABORTRETRYIGNORE: add("Abort", IDABORT); add("Retry", IDRETRY); add("Ignore", IDIGNORE); break;
      case MB_YESNOCANCEL: add("Yes", IDYES); add("No", IDNO); add("Cancel", IDCANCEL); break;
      case MB_YESNO: add("Yes", IDYES); add("No", IDNO); break;
      case MB_RETRYCANCEL: add("Retry", IDRETRY); add("Cancel", IDCANCEL); break;
      default: add("OK", IDOK); break;
    }
    int r = gtk_dialog_run(GTK_DIALOG(d));
    gtk_widget_destroy(d);
    if (r <= 0) {
      UINT kind = type & 0xF;
      r = kind == MB_OK ? IDOK : kind == MB_YESNO ? IDNO : IDCANCEL;
    }
    return r;
  }

  bool FileDialog(const TFileDialogRequest& q, TFileDialogResult& result) override {
    TNative* on = q.Owner ? NativeOf(GetAncestor(q.Owner, GA_ROOT)) : nullptr;
    GtkWidget* d = gtk_file_chooser_dialog_new(q.Title.empty() ? (q.Save ? "Save As" : "Open") : q.Title.c_str(),
                                               on ? GTK_WINDOW(on->window) : nullptr,
                                               q.Save ? GTK_FILE_CHOOSER_ACTION_SAVE : GTK_FILE_CHOOSER_ACTION_OPEN,
                                               "_Cancel", GTK_RESPONSE_CANCEL, q.Save ? "_Save" : "_Open",
                                               GTK_RESPONSE_ACCEPT, nullptr);
    GtkFileChooser* fc = GTK_FILE_CHOOSER(d);
    gtk_file_chooser_set_do_overwrite_confirmation(fc, q.OverwritePrompt);
    auto entries = ParseDialogFilter(q.Filter);
    std::vector<GtkFileFilter*> filters;
    // Patterns are matched by our own case-insensitive matcher ("*.AVI" also finds "clip.avi").
    auto* patternLists = new std::vector<std::vector<std::string>>();
    for (const auto& e : entries) patternLists->push_back(e.Patterns);
    for (size_t i = 0; i < entries.size(); ++i) {
      GtkFileFilter* f = gtk_file_filter_new();
      gtk_file_filter_set_name(f, entries[i].Description.c_str());
      gtk_file_filter_add_custom(
          f, GTK_FILE_FILTER_DISPLAY_NAME,
          [](const GtkFileFilterInfo* info, gpointer data) -> gboolean {
            auto* pats = static_cast<std::vector<std::string>*>(data);
            if (!info->display_name) return FALSE;
            for (const auto& p : *pats)
              if (MatchesFilePattern(info->display_name, p)) return TRUE;
            return FALSE;
          },
          &(*patternLists)[i], nullptr);
      gtk_file_chooser_add_filter(fc, f);
      filters.push_back(f);
    }
    if (q.FilterIndex >= 1 && size_t(q.FilterIndex) <= filters.size())
      gtk_file_chooser_set_filter(fc, filters[size_t(q.FilterIndex - 1)]);
    if (!q.InitialDir.empty()) gtk_file_chooser_set_current_folder(fc, q.InitialDir.c_str());
    if (!q.FileName.empty()) {
      if (q.Save) {
        std::string base = q.FileName.substr(q.FileName.find_last_of('/') == std::string::npos ? 0 : q.FileName.find_last_of('/') + 1);
        if (q.FileName.find('/') != std::string::npos) gtk_file_chooser_set_filename(fc, q.FileName.c_str());
        gtk_file_chooser_set_current_name(fc, base.c_str());
      } else {
        gtk_file_chooser_set_filename(fc, q.FileName.c_str());
      }
    }
    bool ok = false;
    for (;;) {
      if (gtk_dialog_run(GTK_DIALOG(d)) != GTK_RESPONSE_ACCEPT) break;
      gchar* name = gtk_file_chooser_get_filename(fc);
      if (!name) break;
      std::string chosen = name;
      g_free(name);
      if (q.FileMustExist && !g_file_test(chosen.c_str(), G_FILE_TEST_EXISTS)) continue;
      result.FileName = chosen;
      GtkFileFilter* cur = gtk_file_chooser_get_filter(fc);
      auto it = std::find(filters.begin(), filters.end(), cur);
      result.FilterIndex = it == filters.end() ? q.FilterIndex : int(it - filters.begin()) + 1;
      ok = true;
      break;
    }
    gtk_widget_destroy(d);
    delete patternLists;
    return ok;
  }

  bool FontDialog(HWND owner, TFontDialogData& font) override {
    TNative* on = owner ? NativeOf(GetAncestor(owner, GA_ROOT)) : nullptr;
    GtkWidget* d = gtk_font_chooser_dialog_new("Font", on ? GTK_WINDOW(on->window) : nullptr);
    PangoFontDescription* in = pango_font_description_new();
    pango_font_description_set_family(in, font.Name.c_str());
    const int px = std::max(1, std::abs(font.Height));
    pango_font_description_set_absolute_size(in, double(px) * PANGO_SCALE);
    pango_font_description_set_weight(in, (font.Style & 1) ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    pango_font_description_set_style(in, (font.Style & 2) ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
    gtk_font_chooser_set_font_desc(GTK_FONT_CHOOSER(d), in);
    pango_font_description_free(in);
    const bool ok = gtk_dialog_run(GTK_DIALOG(d)) == GTK_RESPONSE_OK;
    if (ok) {
      if (PangoFontDescription* out = gtk_font_chooser_get_font_desc(GTK_FONT_CHOOSER(d))) {
        if (const char* family = pango_font_description_get_family(out)) font.Name = family;
        const double size = double(pango_font_description_get_size(out)) / PANGO_SCALE;
        const double pixels = pango_font_description_get_size_is_absolute(out) ? size : size * 96.0 / 72.0;
        if (pixels > 0) font.Height = -std::max(1, int(pixels + 0.5));
        font.Style = uint8_t((font.Style & 12) | (pango_font_description_get_weight(out) >= PANGO_WEIGHT_BOLD ? 1 : 0) |
                             (pango_font_description_get_style(out) != PANGO_STYLE_NORMAL ? 2 : 0));
        pango_font_description_free(out);
      }
    }
    gtk_widget_destroy(d);
    return ok;
  }

  bool ColorDialog(HWND owner, TColor& color) override {
    TNative* on = owner ? NativeOf(GetAncestor(owner, GA_ROOT)) : nullptr;
    GtkWidget* d = gtk_color_chooser_dialog_new("Colour", on ? GTK_WINDOW(on->window) : nullptr);
    gtk_color_chooser_set_use_alpha(GTK_COLOR_CHOOSER(d), FALSE);
    const uint32_t rgb = uint32_t(ColorToRGB(color));
    GdkRGBA c{(rgb & 0xFF) / 255.0, ((rgb >> 8) & 0xFF) / 255.0, ((rgb >> 16) & 0xFF) / 255.0, 1.0};
    gtk_color_chooser_set_rgba(GTK_COLOR_CHOOSER(d), &c);
    const bool ok = gtk_dialog_run(GTK_DIALOG(d)) == GTK_RESPONSE_OK;
    if (ok) {
      gtk_color_chooser_get_rgba(GTK_COLOR_CHOOSER(d), &c);
      auto Byte = [](double v) { return uint32_t(std::clamp(v, 0.0, 1.0) * 255.0 + 0.5); };
      color = TColor(Byte(c.red) | (Byte(c.green) << 8) | (Byte(c.blue) << 16));
    }
    gtk_widget_destroy(d);
    return ok;
  }

  bool OpenDocument(const std::string& target) override {
    std::string uri = target;
    if (target.find("://") == std::string::npos && target.rfind("mailto:", 0) != 0) {
      gchar* u = g_filename_to_uri(target.c_str(), nullptr, nullptr);
      if (!u) return false;
      uri = u;
      g_free(u);
    }
    GError* err = nullptr;
    bool ok = gtk_show_uri_on_window(nullptr, uri.c_str(), GDK_CURRENT_TIME, &err);
    if (err) g_error_free(err);
    return ok;
  }

  void Beep(UINT) override { gdk_display_beep(gdk_display_get_default()); }

  void SetCursorShape(HWND top, HCURSOR cursor) override {
    TNative* n = top ? NativeOf(top) : nullptr;
    if (!n) return;
    GdkWindow* gw = gtk_widget_get_window(n->area);
    if (!gw) return;
    GdkCursor* c = gdk_cursor_new_from_name(gdk_display_get_default(), CursorName(CursorStandardId(cursor)));
    gdk_window_set_cursor(gw, c);
    if (c) g_object_unref(c);
  }

  void BeginMoveDrag(HWND top) override {
    if (TNative* n = NativeOf(top)) {
      // Our button-up will not come: the desktop takes the pointer.
      ReleaseCapture();
      gtk_window_begin_move_drag(GTK_WINDOW(n->window), g_press.button, g_press.rootX, g_press.rootY, g_press.time);
      InputMouseButton(TInputButton::Left, false, g_press.rootX, g_press.rootY);
    }
  }

  void SetPointerPos(int x, int y) override {
    GdkSeat* seat = gdk_display_get_default_seat(gdk_display_get_default());
    if (GdkDevice* p = seat ? gdk_seat_get_pointer(seat) : nullptr) gdk_device_warp(p, gdk_screen_get_default(), x, y);
  }

  void ExportClipboardText(const std::string& t) override {
    gtk_clipboard_set_text(gtk_clipboard_get(GDK_SELECTION_CLIPBOARD), t.c_str(), int(t.size()));
  }

  bool ImportClipboardText(std::string& t) override {
    GtkClipboard* c = gtk_clipboard_get(GDK_SELECTION_CLIPBOARD);
    gchar* s = gtk_clipboard_wait_for_text(c);
    if (!s) return false;
    t = s;
    g_free(s);
    return true;
  }

  bool CaptureScreen(const TRect& r, std::vector<uint32_t>& pixels) override {
    GdkWindow* root = gdk_get_default_root_window();
    if (!root || r.IsEmpty()) return false;
    GdkPixbuf* pb = gdk_pixbuf_get_from_window(root, r.Left, r.Top, r.Width(), r.Height());
    if (!pb) return false;
    int w = gdk_pixbuf_get_width(pb), h = gdk_pixbuf_get_height(pb);
    int ch = gdk_pixbuf_get_n_channels(pb), stride = gdk_pixbuf_get_rowstride(pb);
    const guchar* p = gdk_pixbuf_read_pixels(pb);
    pixels.assign(size_t(w) * size_t(h), 0);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const guchar* q = p + size_t(y) * size_t(stride) + size_t(x) * size_t(ch);
        pixels[size_t(y) * size_t(w) + size_t(x)] = (uint32_t(q[0]) << 16) | (uint32_t(q[1]) << 8) | q[2];
      }
    g_object_unref(pb);
    return true;
  }

  TRect ScreenRect() const override {
    GdkRectangle g{0, 0, 1024, 768};
    if (GdkMonitor* m = Monitor()) gdk_monitor_get_geometry(m, &g);
    return Bounds(g.x, g.y, g.width, g.height);
  }

  TRect WorkArea() const override {
    GdkRectangle g{0, 0, 1024, 768};
    if (GdkMonitor* m = Monitor()) gdk_monitor_get_workarea(m, &g);
    return Bounds(g.x, g.y, g.width, g.height);
  }

  bool CompositesAlpha() const override {
    GdkScreen* screen = gdk_screen_get_default();
    return screen && gdk_screen_is_composited(screen) && gdk_screen_get_rgba_visual(screen);
  }

 private:
  static GdkMonitor* Monitor() {
    GdkDisplay* d = gdk_display_get_default();
    if (!d) return nullptr;
    GdkMonitor* m = gdk_display_get_primary_monitor(d);
    return m ? m : gdk_display_get_monitor(d, 0);
  }
};

}  // namespace

std::unique_ptr<TBackend> CreateGtkBackend() {
  static bool tried = false, ok = false;
  if (!tried) {
    tried = true;
    ok = gtk_init_check(nullptr, nullptr);
  }
  if (!ok) return nullptr;
  return std::make_unique<TGtkBackend>();
}

}  // namespace zv
