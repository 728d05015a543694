// The text engine: logical fonts realised through pango over fontconfig, measured and rendered into
// coverage masks that the gdi32 text calls blend into device surfaces.
#include "platform/gdi_font.h"

#include <pango/pangocairo.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <list>
#include <mutex>
#include <string>
#include <unordered_map>
#include <utility>

// fontconfig keeps parts of its configuration in memory that nothing points at any more once it is
// loaded; they live for the whole process and are not ours to free.
// GTK, GLib and the X libraries keep type and display data for the process's life.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n"
         "leak:libgtk-3.so\n"
         "leak:libgdk-3.so\n"
         "leak:libglib-2.0.so\n"
         "leak:libgobject-2.0.so\n"
         "leak:libgio-2.0.so\n"
         "leak:libX11.so\n"
         "leak:libpango-1.0.so\n"
         "leak:libpangoft2-1.0.so\n"
         "leak:libcairo.so\n"
         "leak:libatk-bridge-2.0.so\n"
         "leak:libdbus-1.so\n";
}

namespace zv::fontengine {

namespace {

constexpr int32_t kDefaultEm = 12;   // character height of a font that asks for height 0
constexpr int32_t kMaxEm = 4096;     // larger requests are realised at this height
constexpr size_t kFaceCacheSize = 512;
constexpr size_t kWidthCacheSize = 512;
constexpr uint8_t kNonAntialiasedQuality = 3;
constexpr uint8_t kFixedPitch = 1;
constexpr uint8_t kFamilyRoman = 0x10;
constexpr uint8_t kFamilyModern = 0x30;
constexpr uint8_t kShiftJisCharset = 128;
constexpr uint8_t kHangulCharset = 129;
constexpr uint8_t kGb2312Charset = 134;
constexpr uint8_t kBig5Charset = 136;

constexpr const char* kSans = "DejaVu Sans";
constexpr const char* kSerif = "DejaVu Serif";
constexpr const char* kMono = "DejaVu Sans Mono";
constexpr const char* kCjk = "WenQuanYi Zen Hei";
constexpr const char* kCjkMono = "WenQuanYi Zen Hei Mono";

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = char(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// The installed family that stands in for a face name the programs ask for.
std::string MapFaceName(const FontRequest& r) {
  static const std::unordered_map<std::string, const char*> kNames = {
      {"tahoma", kSans},           {"arial", kSans},
      {"ms sans serif", kSans},    {"microsoft sans serif", kSans},
      {"ms shell dlg", kSans},     {"ms shell dlg 2", kSans},
      {"segoe ui", kSans},         {"verdana", kSans},
      {"helvetica", kSans},        {"system", kSans},
      {"trebuchet ms", kSans},     {"lucida sans unicode", kSans},
      {"small fonts", kSans},      {"arial narrow", kSans},
      {"times new roman", kSerif}, {"times", kSerif},
      {"ms serif", kSerif},        {"georgia", kSerif},
      {"courier new", kMono},      {"courier", kMono},
      {"lucida console", kMono},   {"consolas", kMono},
      {"fixedsys", kMono},         {"terminal", kMono},
      {"simsun", kCjk},            {"nsimsun", kCjk},
      {"simhei", kCjk},            {"microsoft yahei", kCjk},
      {"ms gothic", kCjk},         {"ms pgothic", kCjk},
      {"ms ui gothic", kCjk},      {"ms mincho", kCjk},
      {"meiryo", kCjk},            {"gulim", kCjk},
      {"mingliu", kCjk},           {"pmingliu", kCjk},
  };
  std::string name = Lower(r.FaceName);
  while (!name.empty() && name.front() == '@') name.erase(0, 1);  // vertical-writing variants
  if (auto it = kNames.find(name); it != kNames.end()) return it->second;
  if (name.empty()) {
    switch (r.CharSet) {
      case kShiftJisCharset: case kHangulCharset: case kGb2312Charset: case kBig5Charset:
        return kCjk;
      default:
        break;
    }
    if ((r.PitchAndFamily & 0x03) == kFixedPitch || (r.PitchAndFamily & 0xF0) == kFamilyModern)
      return kMono;
    if ((r.PitchAndFamily & 0xF0) == kFamilyRoman) return kSerif;
    return kSans;
  }
  return std::string(r.FaceName);
}

// A family list for pango: the chosen family, then the CJK font for what it lacks, then fontconfig's
// generic fallback for an unknown name.
std::string FamilyList(const std::string& family) {
  bool mono = family == kMono;
  std::string list = family;
  if (family != kCjk && family != kCjkMono) list += std::string(",") + (mono ? kCjkMono : kCjk);
  list += mono ? ",monospace" : ",sans-serif";
  return list;
}

struct Engine {
  PangoFontMap* fontMap = nullptr;
  PangoContext* grey = nullptr;
  PangoContext* mono = nullptr;
  cairo_font_options_t* greyOptions = nullptr;
  cairo_font_options_t* monoOptions = nullptr;
  cairo_font_options_t* rotatedGreyOptions = nullptr;
  cairo_font_options_t* rotatedMonoOptions = nullptr;
  std::list<FacePtr> faces;  // most recently used first
  std::mutex lock;

  static cairo_font_options_t* Options(bool antialias, bool hintMetrics) {
    cairo_font_options_t* o = cairo_font_options_create();
    cairo_font_options_set_antialias(o, antialias ? CAIRO_ANTIALIAS_GRAY : CAIRO_ANTIALIAS_NONE);
    cairo_font_options_set_hint_style(o, antialias ? CAIRO_HINT_STYLE_SLIGHT : CAIRO_HINT_STYLE_FULL);
    cairo_font_options_set_hint_metrics(o, hintMetrics ? CAIRO_HINT_METRICS_ON : CAIRO_HINT_METRICS_OFF);
    cairo_font_options_set_subpixel_order(o, CAIRO_SUBPIXEL_ORDER_DEFAULT);
    return o;
  }

  Engine() {
    fontMap = pango_cairo_font_map_new();
    pango_cairo_font_map_set_resolution(PANGO_CAIRO_FONT_MAP(fontMap), 96.0);
    greyOptions = Options(true, true);
    monoOptions = Options(false, true);
    rotatedGreyOptions = Options(true, false);
    rotatedMonoOptions = Options(false, false);
    grey = NewContext(greyOptions);
    mono = NewContext(monoOptions);
  }

  PangoContext* NewContext(const cairo_font_options_t* options) const {
    PangoContext* c = pango_font_map_create_context(fontMap);
    pango_cairo_context_set_font_options(c, options);
    pango_cairo_context_set_resolution(c, 96.0);
    return c;
  }
};

// Lives for the whole process: faces handed out may outlive any static destructor order.
Engine& TheEngine() {
  static Engine* engine = new Engine();
  return *engine;
}

int32_t Pixels(int units) { return int32_t(PANGO_PIXELS(units)); }

}  // namespace

class Face {
 public:
  FontRequest Request;
  FaceMetrics M;
  std::string Family;
  double Angle = 0;  // radians, counter-clockwise
  bool Antialias = true;
  PangoContext* Context = nullptr;  // the engine's, shared
  PangoFontDescription* Desc = nullptr;
  PangoLayout* Layout = nullptr;
  PangoAttrList* BaseAttrs = nullptr;
  std::unordered_map<std::string, int32_t> Widths;

  Face() = default;
  Face(const Face&) = delete;
  Face& operator=(const Face&) = delete;
  ~Face() {
    if (Layout) g_object_unref(Layout);
    if (BaseAttrs) pango_attr_list_unref(BaseAttrs);
    if (Desc) pango_font_description_free(Desc);
  }

  void SetText(std::string_view text) const { SetLayoutText(Layout, text); }

  // pango refuses malformed UTF-8 (ANSI bytes, a cut sequence, a zero byte); each offending byte
  // becomes '?' so that byte offsets still match the caller's text.
  static void SetLayoutText(PangoLayout* layout, std::string_view text) {
    const gchar* end = nullptr;
    if (g_utf8_validate(text.data(), gssize(text.size()), &end)) {
      pango_layout_set_text(layout, text.data(), int(text.size()));
      return;
    }
    std::string fixed(text);
    size_t pos = size_t(end - text.data());
    while (pos < fixed.size()) {
      fixed[pos] = '?';
      const gchar* tail = fixed.data() + pos + 1;
      if (g_utf8_validate(tail, gssize(fixed.size() - pos - 1), &end)) break;
      pos = size_t(end - fixed.data());
    }
    pango_layout_set_text(layout, fixed.data(), int(fixed.size()));
  }
};

namespace {

struct RawMetrics {
  int ascent = 0, descent = 0, height = 0, approxWidth = 0, maxAdvance = 0;
  bool fixed = false;
};

RawMetrics LoadMetrics(PangoContext* ctx, PangoFontDescription* desc, double em) {
  RawMetrics r;
  pango_font_description_set_absolute_size(desc, em * PANGO_SCALE);
  PangoFont* font = pango_font_map_load_font(TheEngine().fontMap, ctx, desc);
  if (!font) return r;
  PangoFontMetrics* m = pango_font_get_metrics(font, nullptr);
  r.ascent = pango_font_metrics_get_ascent(m);
  r.descent = pango_font_metrics_get_descent(m);
  r.height = pango_font_metrics_get_height(m);
  r.approxWidth = pango_font_metrics_get_approximate_char_width(m);
  pango_font_metrics_unref(m);
  if (PANGO_IS_CAIRO_FONT(font)) {
    cairo_scaled_font_t* sf = pango_cairo_font_get_scaled_font(PANGO_CAIRO_FONT(font));
    if (sf) {
      cairo_font_extents_t fe;
      cairo_scaled_font_extents(sf, &fe);
      r.maxAdvance = int(std::lround(fe.max_x_advance * PANGO_SCALE));
    }
  }
  PangoFontFace* face = pango_font_get_face(font);
  if (face) {
    PangoFontFamily* fam = pango_font_face_get_family(face);
    if (fam) r.fixed = pango_font_family_is_monospace(fam);
  }
  g_object_unref(font);
  return r;
}

FacePtr Build(const FontRequest& r) {
  Engine& e = TheEngine();
  auto f = std::make_shared<Face>();
  f->Request = r;
  f->Family = MapFaceName(r);
  f->Antialias = r.Quality != kNonAntialiasedQuality;
  f->Context = f->Antialias ? e.grey : e.mono;
  f->Angle = double(r.Escapement % 3600) * M_PI / 1800.0;

  PangoFontDescription* d = pango_font_description_new();
  pango_font_description_set_family(d, FamilyList(f->Family).c_str());
  int weight = r.Weight <= 0 ? 400 : std::clamp(int(r.Weight), 100, 1000);
  pango_font_description_set_weight(d, PangoWeight(weight));
  pango_font_description_set_style(d, r.Italic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
  f->Desc = d;

  // A positive height is the cell (ascent + descent); find the character height that gives it.
  int32_t em = kDefaultEm;
  if (r.Height < 0) {
    em = r.Height < -kMaxEm ? kMaxEm : -r.Height;
  } else if (r.Height > 0) {
    int32_t cell = std::min(r.Height, kMaxEm);
    RawMetrics ref = LoadMetrics(f->Context, d, 1024.0);
    double ratio = ref.ascent + ref.descent > 0 ? double(ref.ascent + ref.descent) / (1024.0 * PANGO_SCALE) : 1.0;
    em = std::max(1, int32_t(std::lround(cell / ratio)));
    for (int tries = 0; tries < 4 && em > 1; ++tries) {
      RawMetrics m = LoadMetrics(f->Context, d, em);
      if (Pixels(m.ascent) + Pixels(m.descent) <= cell) break;
      --em;
    }
  }
  RawMetrics m = LoadMetrics(f->Context, d, em);
  FaceMetrics& fm = f->M;
  fm.EmHeight = em;
  fm.Ascent = Pixels(m.ascent);
  fm.Descent = Pixels(m.descent);
  fm.Height = fm.Ascent + fm.Descent;
  fm.InternalLeading = std::max(0, fm.Height - em);
  fm.ExternalLeading = std::max(0, Pixels(m.height) - fm.Height);
  fm.AveCharWidth = std::max(1, Pixels(m.approxWidth));
  fm.MaxCharWidth = std::max(fm.AveCharWidth, Pixels(m.maxAdvance));
  fm.FixedPitch = m.fixed;

  f->BaseAttrs = pango_attr_list_new();
  if (r.Underline) pango_attr_list_insert(f->BaseAttrs, pango_attr_underline_new(PANGO_UNDERLINE_SINGLE));
  if (r.StrikeOut) pango_attr_list_insert(f->BaseAttrs, pango_attr_strikethrough_new(TRUE));

  f->Layout = pango_layout_new(f->Context);
  pango_layout_set_font_description(f->Layout, d);
  pango_layout_set_single_paragraph_mode(f->Layout, TRUE);
  pango_layout_set_attributes(f->Layout, f->BaseAttrs);
  return f;
}

struct Cluster {
  size_t index;
  int32_t end;  // right edge, pixels
};

std::vector<Cluster> Clusters(const Face& f, std::string_view text) {
  std::vector<Cluster> out;
  if (text.empty()) return out;
  f.SetText(text);
  PangoLayoutIter* it = pango_layout_get_iter(f.Layout);
  do {
    int idx = pango_layout_iter_get_index(it);
    if (idx < 0 || size_t(idx) >= text.size()) continue;
    PangoRectangle log;
    pango_layout_iter_get_cluster_extents(it, nullptr, &log);
    out.push_back({size_t(idx), Pixels(log.x + log.width)});
  } while (pango_layout_iter_next_cluster(it));
  pango_layout_iter_free(it);
  std::sort(out.begin(), out.end(), [](const Cluster& a, const Cluster& b) { return a.index < b.index; });
  out.erase(std::unique(out.begin(), out.end(), [](const Cluster& a, const Cluster& b) { return a.index == b.index; }),
            out.end());
  if (!out.empty() && out.front().index != 0) out.insert(out.begin(), Cluster{0, 0});
  return out;
}

// Reads the coverage of an A8 surface into a mask.
Mask FromSurface(cairo_surface_t* s, const TRect& box) {
  Mask m;
  m.Box = box;
  cairo_surface_flush(s);
  const uint8_t* data = cairo_image_surface_get_data(s);
  int stride = cairo_image_surface_get_stride(s);
  size_t w = size_t(box.Width());
  m.Data.resize(w * size_t(box.Height()));
  for (int32_t y = 0; y < box.Height(); ++y)
    std::copy_n(data + size_t(y) * size_t(stride), w, m.Data.begin() + ptrdiff_t(size_t(y) * w));
  return m;
}

// Saturating sum of b into a, a's box growing to hold both.
void Merge(Mask& a, Mask&& b) {
  if (b.Empty()) return;
  if (a.Empty()) {
    a = std::move(b);
    return;
  }
  TRect box;
  UnionRect(box, a.Box, b.Box);
  Mask out;
  out.Box = box;
  out.Data.assign(size_t(box.Width()) * size_t(box.Height()), 0);
  for (const Mask* src : std::initializer_list<const Mask*>{&a, &b})
    for (int32_t y = src->Box.Top; y < src->Box.Bottom; ++y)
      for (int32_t x = src->Box.Left; x < src->Box.Right; ++x) {
        uint8_t& d = out.Data[size_t(y - box.Top) * size_t(box.Width()) + size_t(x - box.Left)];
        d = uint8_t(std::min(255, d + src->At(x, y)));
      }
  a = std::move(out);
}

PangoAttrList* AttrsFor(const Face& f, const Run& run) {
  if (run.Underlined.empty()) return pango_attr_list_ref(f.BaseAttrs);
  PangoAttrList* list = pango_attr_list_copy(f.BaseAttrs);
  for (auto [b, e] : run.Underlined) {
    PangoAttribute* a = pango_attr_underline_new(PANGO_UNDERLINE_SINGLE);
    a->start_index = guint(b);
    a->end_index = guint(e);
    pango_attr_list_insert(list, a);
  }
  return list;
}

// Device box of the cell-frame rectangle (x0, y0)-(x1, y1) turned about origin by angle.
TRect TurnedBox(double angle, TPoint origin, double x0, double y0, double x1, double y1) {
  double c = std::cos(angle), s = std::sin(angle);
  double minX = 1e18, minY = 1e18, maxX = -1e18, maxY = -1e18;
  for (double u : {x0, x1})
    for (double v : {y0, y1}) {
      double x = origin.X + u * c + v * s;
      double y = origin.Y - u * s + v * c;
      minX = std::min(minX, x);
      maxX = std::max(maxX, x);
      minY = std::min(minY, y);
      maxY = std::max(maxY, y);
    }
  auto clampI = [](double v) { return int32_t(std::clamp(v, -1e9, 1e9)); };
  return TRect(clampI(std::floor(minX)) - 1, clampI(std::floor(minY)) - 1, clampI(std::ceil(maxX)) + 1,
               clampI(std::ceil(maxY)) + 1);
}

Mask RenderRun(const Face& f, TPoint origin, const Run& run, const TRect& limit) {
  Mask none;
  if (run.Text.empty()) return none;
  f.SetText(run.Text);
  PangoAttrList* attrs = AttrsFor(f, run);
  pango_layout_set_attributes(f.Layout, attrs);
  PangoRectangle ink, log;
  pango_layout_get_pixel_extents(f.Layout, &ink, &log);
  int32_t baseline = Pixels(pango_layout_get_baseline(f.Layout));
  double left = run.X + std::min(ink.x, log.x);
  double right = run.X + std::max(ink.x + ink.width, log.x + log.width);
  double top = f.M.Ascent - baseline + std::min(ink.y, log.y);
  double bottom = f.M.Ascent - baseline + std::max(ink.y + ink.height, log.y + log.height);
  // Underline and strike-out lie inside the logical box; a spare pixel guards antialiased edges.
  TRect box = TurnedBox(f.Angle, origin, left, top, right, bottom);
  TRect clipped;
  if (!IntersectRect(clipped, box, limit)) {
    pango_layout_set_attributes(f.Layout, f.BaseAttrs);
    pango_attr_list_unref(attrs);
    return none;
  }
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_A8, clipped.Width(), clipped.Height());
  cairo_t* cr = cairo_create(s);
  cairo_set_source_rgba(cr, 0, 0, 0, 1);
  cairo_translate(cr, origin.X - clipped.Left, origin.Y - clipped.Top);
  if (f.Angle == 0) {
    cairo_move_to(cr, run.X, f.M.Ascent - baseline);
    pango_cairo_show_layout(cr, f.Layout);
  } else {
    cairo_rotate(cr, -f.Angle);
    // A turned layout needs a context that knows the transformation; the shared one stays upright.
    PangoContext* ctx = pango_font_map_create_context(TheEngine().fontMap);
    pango_cairo_update_context(cr, ctx);
    pango_cairo_context_set_font_options(ctx, f.Antialias ? TheEngine().rotatedGreyOptions
                                                          : TheEngine().rotatedMonoOptions);
    PangoLayout* l = pango_layout_new(ctx);
    pango_layout_set_font_description(l, f.Desc);
    pango_layout_set_single_paragraph_mode(l, TRUE);
    pango_layout_set_attributes(l, attrs);
    Face::SetLayoutText(l, run.Text);
    int32_t b = Pixels(pango_layout_get_baseline(l));
    cairo_move_to(cr, run.X, f.M.Ascent - b);
    pango_cairo_show_layout(cr, l);
    g_object_unref(l);
    g_object_unref(ctx);
  }
  cairo_destroy(cr);
  Mask m = FromSurface(s, clipped);
  cairo_surface_destroy(s);
  pango_layout_set_attributes(f.Layout, f.BaseAttrs);
  pango_attr_list_unref(attrs);
  return m;
}

}  // namespace

FacePtr Realize(const FontRequest& request) {
  Engine& e = TheEngine();
  std::lock_guard<std::mutex> g(e.lock);
  for (auto it = e.faces.begin(); it != e.faces.end(); ++it) {
    if ((*it)->Request == request) {
      if (it != e.faces.begin()) e.faces.splice(e.faces.begin(), e.faces, it);
      return e.faces.front();
    }
  }
  FacePtr f = Build(request);
  e.faces.push_front(f);
  if (e.faces.size() > kFaceCacheSize) e.faces.pop_back();
  return f;
}

const FaceMetrics& Metrics(const Face& face) { return face.M; }

std::string FamilyName(const Face& face) { return face.Family; }

bool IsTurned(const Face& face) { return face.Angle != 0; }

int32_t TextWidth(const Face& face, std::string_view text) {
  if (text.empty()) return 0;
  std::lock_guard<std::mutex> g(TheEngine().lock);
  auto& cache = const_cast<Face&>(face).Widths;
  std::string key(text);
  if (auto it = cache.find(key); it != cache.end()) return it->second;
  face.SetText(text);
  PangoRectangle log;
  pango_layout_get_pixel_extents(face.Layout, nullptr, &log);
  if (cache.size() >= kWidthCacheSize) cache.clear();
  cache.emplace(std::move(key), log.width);
  return log.width;
}

std::vector<int32_t> ByteExtents(const Face& face, std::string_view text) {
  std::lock_guard<std::mutex> g(TheEngine().lock);
  std::vector<Cluster> cl = Clusters(face, text);
  std::vector<int32_t> out(text.size(), 0);
  int32_t reach = 0;
  for (size_t i = 0; i < cl.size(); ++i) {
    reach = std::max(reach, cl[i].end);
    size_t end = i + 1 < cl.size() ? cl[i + 1].index : text.size();
    for (size_t b = cl[i].index; b < end; ++b) out[b] = reach;
  }
  return out;
}

std::vector<size_t> ClusterStarts(const Face& face, std::string_view text) {
  std::lock_guard<std::mutex> g(TheEngine().lock);
  std::vector<size_t> out;
  for (const Cluster& c : Clusters(face, text)) out.push_back(c.index);
  return out;
}

Mask RenderRuns(const Face& face, TPoint origin, const std::vector<Run>& runs, const TRect& limit) {
  std::lock_guard<std::mutex> g(TheEngine().lock);
  Mask out;
  if (limit.IsEmpty()) return out;
  for (const Run& r : runs) Merge(out, RenderRun(face, origin, r, limit));
  return out;
}

TRect InkBox(const Face& face, TPoint origin, std::string_view text) {
  std::lock_guard<std::mutex> g(TheEngine().lock);
  if (text.empty()) return TRect();
  face.SetText(text);
  PangoRectangle ink;
  pango_layout_get_pixel_extents(face.Layout, &ink, nullptr);
  if (ink.width <= 0 || ink.height <= 0) return TRect();
  const double top = face.M.Ascent - Pixels(pango_layout_get_baseline(face.Layout)) + ink.y;
  return TurnedBox(face.Angle, origin, ink.x, top, ink.x + ink.width, top + ink.height);
}

Mask RenderCellBox(const Face& face, TPoint origin, int32_t width, int32_t height, const TRect& limit) {
  Mask none;
  TRect box = TurnedBox(face.Angle, origin, 0, 0, width, height);
  TRect clipped;
  if (width <= 0 || height <= 0 || !IntersectRect(clipped, box, limit)) return none;
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_A8, clipped.Width(), clipped.Height());
  cairo_t* cr = cairo_create(s);
  cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
  cairo_translate(cr, origin.X - clipped.Left, origin.Y - clipped.Top);
  cairo_rotate(cr, -face.Angle);
  cairo_rectangle(cr, 0, 0, width, height);
  cairo_fill(cr);
  cairo_destroy(cr);
  Mask m = FromSurface(s, clipped);
  cairo_surface_destroy(s);
  return m;
}

TPoint RotateOffset(const Face& face, int32_t dx, int32_t dy) {
  if (face.Angle == 0) return TPoint(dx, dy);
  double c = std::cos(face.Angle), s = std::sin(face.Angle);
  return TPoint(int32_t(std::lround(dx * c + dy * s)), int32_t(std::lround(-dx * s + dy * c)));
}

}  // namespace zv::fontengine
