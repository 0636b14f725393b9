// Builds the texture archive "mrvn.pak": nine 24-bit uncompressed bitmaps,
// each written at the byte offset the game's slot table expects. Every image
// is computed here (noise, shapes and two system fonts rendered through
// FreeType), so the archive is the same on every build.
//
// Usage: morvane_make_textures <output.pak> <text font .ttf> <title font .ttf>

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

// Float RGB picture, top row first, values 0..1.
struct Picture {
  int width = 0;
  int height = 0;
  std::vector<float> rgb;
  Picture(int w, int h) : width(w), height(h), rgb(static_cast<std::size_t>(w) * h * 3, 0.0f) {}
  float* at(int x, int y) {
    x = ((x % width) + width) % width;
    y = ((y % height) + height) % height;
    return &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
  }
  void set(int x, int y, float r, float g, float b) {
    float* p = at(x, y);
    p[0] = r;
    p[1] = g;
    p[2] = b;
  }
};

float clamp01(float v) { return v < 0 ? 0 : (v > 1 ? 1 : v); }
float mix(float a, float b, float t) { return a + (b - a) * t; }
float smooth(float t) { return t * t * (3 - 2 * t); }
float smoothstep(float e0, float e1, float v) { return smooth(clamp01((v - e0) / (e1 - e0))); }

// Integer hash to 0..1; the seed keeps different textures independent.
float hash01(int x, int y, int seed) {
  uint32_t h = static_cast<uint32_t>(x) * 374761393u + static_cast<uint32_t>(y) * 668265263u +
               static_cast<uint32_t>(seed) * 2246822519u;
  h = (h ^ (h >> 13)) * 1274126177u;
  h ^= h >> 16;
  return static_cast<float>(h & 0xFFFFFF) / static_cast<float>(0xFFFFFF);
}

// Value noise on a lattice of `period` cells, wrapping so the texture tiles.
float value_noise(float x, float y, int period, int seed) {
  int x0 = static_cast<int>(std::floor(x));
  int y0 = static_cast<int>(std::floor(y));
  float fx = smooth(x - x0), fy = smooth(y - y0);
  auto corner = [&](int cx, int cy) {
    return hash01(((cx % period) + period) % period, ((cy % period) + period) % period, seed);
  };
  float top = mix(corner(x0, y0), corner(x0 + 1, y0), fx);
  float bottom = mix(corner(x0, y0 + 1), corner(x0 + 1, y0 + 1), fx);
  return mix(top, bottom, fy);
}

// Fractal noise over a square picture of `size` pixels that tiles; `cells`
// lattice cells across the picture at the first octave.
float fbm(float px, float py, int size, int cells, int octaves, int seed) {
  float sum = 0, amplitude = 0.5f, norm = 0;
  for (int o = 0; o < octaves; ++o) {
    float scale = static_cast<float>(cells) / size;
    sum += amplitude * value_noise(px * scale, py * scale, cells, seed + o * 101);
    norm += amplitude;
    amplitude *= 0.5f;
    cells *= 2;
  }
  return sum / norm;
}

// ---- level surfaces -------------------------------------------------------

// Cast concrete: two-by-two poured panels with grooves, form-tie holes,
// water stains and fine grain.
Picture make_concrete() {
  const int n = 256;
  Picture pic(n, n);
  for (int y = 0; y < n; ++y) {
    for (int x = 0; x < n; ++x) {
      float base = 0.56f + 0.16f * (fbm(x, y, n, 4, 5, 11) - 0.5f);
      float grain = 0.10f * (hash01(x, y, 12) - 0.5f);
      float stain = smoothstep(0.55f, 0.75f, fbm(x, y * 0.5f, n, 8, 4, 13)) * 0.10f;
      float v = base + grain - stain;
      // Grooves between panels, with a lit lower lip.
      int gx = x % 128, gy = y % 128;
      if (gx <= 1 || gy <= 1) v *= 0.55f;
      else if (gx == 2 || gy == 2) v *= 1.12f;
      // Form-tie holes, four per panel.
      for (int hy : {32, 96})
        for (int hx : {32, 96}) {
          float dx = static_cast<float>(gx - hx), dy = static_cast<float>(gy - hy);
          float d = std::sqrt(dx * dx + dy * dy);
          if (d < 3.2f) v *= 0.45f + 0.15f * d / 3.2f;
          else if (d < 4.5f) v *= 1.06f;
        }
      pic.set(x, y, clamp01(v * 1.02f), clamp01(v), clamp01(v * 0.95f));
    }
  }
  return pic;
}

// Steel deck: four plates with bevelled edges, rivets at the corners and a
// brushed finish.
Picture make_metal_plates() {
  const int n = 128, plate = 64;
  Picture pic(n, n);
  for (int y = 0; y < n; ++y) {
    for (int x = 0; x < n; ++x) {
      int px = x % plate, py = y % plate;
      float brushed = value_noise(x * 0.05f, y * 0.9f, 6, 21) * 0.5f + value_noise(x * 0.2f, y * 1.7f, 25, 22) * 0.5f;
      float wear = fbm(x, y, n, 4, 4, 23);
      float v = 0.50f + 0.12f * (brushed - 0.5f) + 0.10f * (wear - 0.5f);
      if (px < 2 || py < 2) v = 0.72f;                // lit bevel, top and left
      else if (px > plate - 3 || py > plate - 3) v = 0.22f;  // shadowed bevel
      for (int ry : {7, plate - 8})
        for (int rx : {7, plate - 8}) {
          float dx = static_cast<float>(px - rx), dy = static_cast<float>(py - ry);
          float d = std::sqrt(dx * dx + dy * dy);
          if (d < 3.0f) v = 0.78f - 0.12f * (dx + dy) / 3.0f;  // domed head lit from top left
          else if (d < 4.0f) v *= 0.6f;
        }
      pic.set(x, y, clamp01(v * 0.92f), clamp01(v * 0.97f), clamp01(v * 1.08f));
    }
  }
  return pic;
}

// Running-bond brickwork: 8 courses of 4 bricks, each brick its own shade.
Picture make_bricks() {
  const int n = 128, course = 16, brick = 32, mortar = 2;
  Picture pic(n, n);
  for (int y = 0; y < n; ++y) {
    int row = y / course;
    int shift = (row % 2) * (brick / 2);
    for (int x = 0; x < n; ++x) {
      int bx = (x + shift) % n;
      int col = bx / brick;
      int ix = bx % brick, iy = y % course;
      float grain = fbm(x, y, n, 16, 3, 31);
      if (ix < mortar || iy < mortar) {
        float m = 0.62f + 0.12f * (grain - 0.5f);
        pic.set(x, y, m, m * 0.97f, m * 0.90f);
        continue;
      }
      float tone = hash01(col, row, 32);
      float r = 0.55f + 0.20f * tone, g = 0.24f + 0.08f * tone, b = 0.17f + 0.05f * tone;
      float shade = 0.85f + 0.3f * (grain - 0.5f);
      if (ix == mortar || iy == mortar) shade *= 1.15f;               // lit upper-left edge
      if (ix == brick - 1 || iy == course - 1) shade *= 0.78f;        // shadow lower-right
      float chip = hash01(x, y, 33) < 0.04f ? 0.8f : 1.0f;
      pic.set(x, y, clamp01(r * shade * chip), clamp01(g * shade * chip), clamp01(b * shade * chip));
    }
  }
  return pic;
}

// ---- effects and models ---------------------------------------------------

// A soft smoke puff, white on black (particles are added to the picture), with
// a black border so the square never shows.
Picture make_smoke() {
  const int n = 32;
  Picture pic(n, n);
  for (int y = 0; y < n; ++y) {
    for (int x = 0; x < n; ++x) {
      float dx = (x + 0.5f - n / 2.0f) / (n / 2.0f), dy = (y + 0.5f - n / 2.0f) / (n / 2.0f);
      float r2 = dx * dx + dy * dy;
      float falloff = r2 >= 1 ? 0 : (1 - r2) * (1 - r2);
      float billow = 0.65f + 0.35f * fbm(x, y, n, 4, 3, 41);
      float v = clamp01(falloff * billow * 1.1f);
      pic.set(x, y, v, v, v);
    }
  }
  return pic;
}

// Shell and marker cube: a dark armoured face with a glowing amber frame and
// a diamond in the middle.
Picture make_shell() {
  const int n = 64;
  Picture pic(n, n);
  for (int y = 0; y < n; ++y) {
    for (int x = 0; x < n; ++x) {
      float cx = std::fabs(x + 0.5f - n / 2.0f), cy = std::fabs(y + 0.5f - n / 2.0f);
      float edge = std::max(cx, cy);          // square distance from the centre
      float diamond = cx + cy;
      float grain = fbm(x, y, n, 8, 3, 51);
      float r = 0.16f + 0.06f * grain, g = 0.14f + 0.05f * grain, b = 0.12f + 0.04f * grain;
      float glow = 0.0f;
      glow += std::exp(-std::pow((edge - 27.0f) / 2.0f, 2.0f));      // frame
      glow += std::exp(-std::pow((diamond - 14.0f) / 1.6f, 2.0f));   // diamond outline
      if (diamond < 8.0f) glow += 0.9f * (1 - diamond / 8.0f);      // hot core
      if (edge > 30.5f) { r = g = b = 0.55f; }                       // bright rim
      r += glow * 1.00f;
      g += glow * 0.62f;
      b += glow * 0.18f;
      pic.set(x, y, clamp01(r), clamp01(g), clamp01(b));
    }
  }
  return pic;
}

// Track links: dark rubber with raised steel grousers every 8 pixels along s
// (the track's length) and a guide groove along the middle.
Picture make_tracks() {
  const int n = 32;
  Picture pic(n, n);
  for (int y = 0; y < n; ++y) {
    for (int x = 0; x < n; ++x) {
      int lx = x % 8;
      float v = 0.20f + 0.06f * hash01(x, y, 61);
      if (lx == 0) v = 0.10f;                       // gap between links
      else if (lx >= 2 && lx <= 4) v = 0.48f + 0.1f * (lx == 3);  // grouser bar
      if (y == 15 || y == 16) v *= 0.6f;            // guide groove
      if (y < 2 || y > n - 3) v *= 0.7f;            // worn edges
      pic.set(x, y, v * 0.95f, v * 0.93f, v * 0.90f);
    }
  }
  return pic;
}

// Hull camouflage in blue-greys: the hull is drawn through a blue tint, so
// the pattern lives in the blue channel as much as in the others.
Picture make_camouflage() {
  const int n = 128;
  Picture pic(n, n);
  const float palette[4][3] = {
      {0.86f, 0.90f, 0.98f}, {0.58f, 0.64f, 0.78f}, {0.34f, 0.38f, 0.52f}, {0.16f, 0.18f, 0.26f}};
  for (int y = 0; y < n; ++y) {
    for (int x = 0; x < n; ++x) {
      // Blocky blotches: the noise is sampled on a 4-pixel grid.
      int qx = x / 4 * 4, qy = y / 4 * 4;
      float a = fbm(qx, qy, n, 4, 3, 71), b = fbm(qx, qy, n, 8, 2, 72);
      int index = a < 0.40f ? 0 : a < 0.52f ? 1 : a < 0.62f ? 2 : 3;
      if (b > 0.68f) index = (index + 2) % 4;
      float grain = 0.92f + 0.16f * hash01(x, y, 73);
      const float* c = palette[index];
      pic.set(x, y, clamp01(c[0] * grain), clamp01(c[1] * grain), clamp01(c[2] * grain));
    }
  }
  return pic;
}

// ---- backdrop -------------------------------------------------------------

// Dusk sky over two mountain ranges, as it appears on screen (top row is the
// top of the view). About the middle 70 percent of its height is visible.
Picture make_backdrop() {
  const int n = 256;
  const int horizon = 150;
  Picture pic(n, n);
  for (int y = 0; y < n; ++y) {
    for (int x = 0; x < n; ++x) {
      float t = static_cast<float>(y) / horizon;  // 0 at top, 1 at horizon
      float r, g, b;
      if (y <= horizon) {
        r = mix(0.10f, 0.95f, std::pow(t, 2.2f));
        g = mix(0.18f, 0.62f, std::pow(t, 1.8f));
        b = mix(0.42f, 0.45f, t);
        // Thin clouds, lit from below near the horizon.
        float cloud = smoothstep(0.58f, 0.80f, fbm(x, y * 4.0f, n, 4, 5, 81));
        float lit = mix(0.55f, 1.0f, t);
        r = mix(r, 0.98f * lit, cloud * 0.5f);
        g = mix(g, 0.70f * lit, cloud * 0.5f);
        b = mix(b, 0.62f * lit, cloud * 0.5f);
      } else {
        float d = static_cast<float>(y - horizon) / (n - horizon);
        r = mix(0.30f, 0.12f, d);
        g = mix(0.24f, 0.12f, d);
        b = mix(0.28f, 0.14f, d);
      }
      // Far range, hazy; near range, dark. Heights from 1-D noise that wraps.
      float far_ridge = horizon - 6 - 90 * clamp01(fbm(x, 0, n, 3, 5, 82) - 0.28f);
      float near_ridge = horizon + 6 - 70 * clamp01(fbm(x, 7, n, 5, 5, 83) - 0.36f);
      if (y > far_ridge) {
        float haze = 0.55f - 0.25f * clamp01((y - far_ridge) / 40.0f);
        r = mix(0.20f, r, haze * 0.8f);
        g = mix(0.17f, g, haze * 0.8f);
        b = mix(0.30f, b, haze * 0.8f);
      }
      if (y > near_ridge) {
        float depth = clamp01((y - near_ridge) / 60.0f);
        r = mix(0.14f, 0.08f, depth);
        g = mix(0.12f, 0.08f, depth);
        b = mix(0.18f, 0.10f, depth);
      }
      pic.set(x, y, clamp01(r), clamp01(g), clamp01(b));
    }
  }
  return pic;
}

// ---- font -----------------------------------------------------------------

constexpr int kCell = 16;
constexpr int kPen = 10;     // the game advances 10 units per character
constexpr int kBaseline = 12;  // pixels from the cell's top

struct FontFace {
  FT_Face face = nullptr;
  float squeeze = 1.0f;  // horizontal scale so wide faces fit the pen
};

// Coverage of one character, 16 x 16, ink centred on the 10-pixel pen.
std::array<float, kCell * kCell> render_glyph(FT_Library, FontFace& font, int code) {
  std::array<float, kCell * kCell> cell{};
  FT_Matrix squeeze = {static_cast<FT_Fixed>(font.squeeze * 65536), 0, 0, 0x10000};
  FT_Set_Transform(font.face, &squeeze, nullptr);
  if (FT_Load_Char(font.face, static_cast<FT_ULong>(code), FT_LOAD_RENDER | FT_LOAD_TARGET_LIGHT) != 0)
    return cell;
  FT_GlyphSlot slot = font.face->glyph;
  const FT_Bitmap& bm = slot->bitmap;
  int ink_width = static_cast<int>(bm.width);
  int left = (kPen - ink_width) / 2;
  if (ink_width <= 1) left = slot->bitmap_left;
  left = std::clamp(left, 1, kCell - 1 - ink_width > 1 ? kCell - 1 - ink_width : 1);
  int top = kBaseline - slot->bitmap_top;
  for (unsigned row = 0; row < bm.rows; ++row) {
    for (unsigned col = 0; col < bm.width; ++col) {
      int x = left + static_cast<int>(col), y = top + static_cast<int>(row);
      if (x < 1 || x >= kCell - 1 || y < 0 || y >= kCell) continue;
      cell[y * kCell + x] = bm.buffer[row * bm.pitch + col] / 255.0f;
    }
  }
  return cell;
}

// The character each glyph code shows: ASCII below 128; codes 128..159 are
// the lowercase Latin-1 letters U+00DF..U+00FF without the division sign
// U+00F7, in the cells the ASCII set leaves free (the game's text drawing
// maps them the same way).
int character_of(int code) {
  if (code < 128) return code;
  int letter = 0xDF + (code - 128);
  return letter >= 0xF7 ? letter + 1 : letter;
}

// Set 0 (top eight rows): the text face, plain white. Set 1 (bottom eight
// rows): the title face, bright with a soft halo and a gentle fade towards
// its foot. Cell (c - 32) + 128 k holds glyph code c of set k.
bool make_font(Picture& pic, const char* text_font, const char* title_font) {
  FT_Library library;
  if (FT_Init_FreeType(&library) != 0) return false;
  FontFace text, title;
  if (FT_New_Face(library, text_font, 0, &text.face) != 0 ||
      FT_New_Face(library, title_font, 0, &title.face) != 0) {
    std::fprintf(stderr, "cannot load fonts %s, %s\n", text_font, title_font);
    return false;
  }
  FT_Set_Pixel_Sizes(text.face, 0, 14);
  FT_Set_Pixel_Sizes(title.face, 0, 14);
  title.squeeze = 0.78f;
  for (int set = 0; set < 2; ++set) {
    for (int code = 33; code < 160; ++code) {
      if (code == 127) continue;
      int index = (code - 32) + 128 * set;
      int ox = (index % 16) * kCell, oy = (index / 16) * kCell;
      auto ink = render_glyph(library, set == 0 ? text : title, character_of(code));
      for (int y = 0; y < kCell; ++y) {
        for (int x = 0; x < kCell; ++x) {
          float v = ink[y * kCell + x];
          if (set == 1) {
            float halo = 0;
            for (int dy = -1; dy <= 1; ++dy)
              for (int dx = -1; dx <= 1; ++dx) {
                int sx = x + dx, sy = y + dy;
                if (sx >= 0 && sx < kCell && sy >= 0 && sy < kCell) halo = std::max(halo, ink[sy * kCell + sx]);
              }
            float fade = 1.0f - 0.25f * clamp01((y - 3) / 9.0f);
            v = std::max(v * fade, halo * 0.28f);
          }
          v = clamp01(v);
          pic.set(ox + x, oy + y, v, v, v);
        }
      }
    }
  }
  FT_Done_Face(text.face);
  FT_Done_Face(title.face);
  FT_Done_FreeType(library);
  return true;
}

// ---- archive --------------------------------------------------------------

void put16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
void put32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// A complete bitmap file: 14-byte file header, 40-byte information header,
// rows stored bottom row first, blue-green-red, no padding (every width here
// is a multiple of four).
std::vector<uint8_t> encode_bitmap(const Picture& pic) {
  std::vector<uint8_t> out;
  const uint32_t image_size = static_cast<uint32_t>(pic.width * pic.height * 3);
  out.push_back('B');
  out.push_back('M');
  put32(out, 54 + image_size);
  put32(out, 0);
  put32(out, 54);
  put32(out, 40);
  put32(out, static_cast<uint32_t>(pic.width));
  put32(out, static_cast<uint32_t>(pic.height));
  put16(out, 1);
  put16(out, 24);
  put32(out, 0);
  put32(out, image_size);
  put32(out, 2835);  // 72 dots per inch
  put32(out, 2835);
  put32(out, 0);
  put32(out, 0);
  for (int y = pic.height - 1; y >= 0; --y) {
    for (int x = 0; x < pic.width; ++x) {
      const float* p = &pic.rgb[(static_cast<std::size_t>(y) * pic.width + x) * 3];
      for (int c = 2; c >= 0; --c) out.push_back(static_cast<uint8_t>(std::lround(clamp01(p[c]) * 255.0f)));
    }
  }
  return out;
}

// The backdrop square maps the image's top row to its bottom edge, so the
// picture is stored upside down to appear upright on screen.
Picture flipped(const Picture& pic) {
  Picture out(pic.width, pic.height);
  for (int y = 0; y < pic.height; ++y)
    std::copy_n(&pic.rgb[static_cast<std::size_t>(pic.height - 1 - y) * pic.width * 3], pic.width * 3,
                &out.rgb[static_cast<std::size_t>(y) * pic.width * 3]);
  return out;
}

// Where the game looks for each slot; an entry must end before the next.
constexpr std::array<long, 9> kOffsets = {1, 196663, 393325, 442531, 445657, 457999, 507205, 703867, 706993};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s <output.pak> <text font> <title font>\n", argv[0]);
    return 2;
  }
  Picture font(256, 256);
  if (!make_font(font, argv[2], argv[3])) return 1;
  std::array<std::vector<uint8_t>, 9> entries = {
      encode_bitmap(font),          encode_bitmap(make_concrete()), encode_bitmap(make_metal_plates()),
      encode_bitmap(make_smoke()),  encode_bitmap(make_shell()),    encode_bitmap(make_bricks()),
      encode_bitmap(flipped(make_backdrop())), encode_bitmap(make_tracks()), encode_bitmap(make_camouflage())};
  std::vector<uint8_t> archive;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    long end = kOffsets[i] + static_cast<long>(entries[i].size());
    if (i + 1 < entries.size() && end > kOffsets[i + 1]) {
      std::fprintf(stderr, "slot %zu overruns the next offset\n", i);
      return 1;
    }
    archive.resize(static_cast<std::size_t>(kOffsets[i]), 0);
    archive.insert(archive.end(), entries[i].begin(), entries[i].end());
  }
  std::FILE* out = std::fopen(argv[1], "wb");
  if (!out) {
    std::perror(argv[1]);
    return 1;
  }
  bool ok = std::fwrite(archive.data(), 1, archive.size(), out) == archive.size();
  ok = std::fclose(out) == 0 && ok;
  return ok ? 0 : 1;
}
