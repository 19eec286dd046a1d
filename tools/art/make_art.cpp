// make-art OUTDIR: draws the setup's bitmaps and icon and writes them as
//   banner.bmp  293 x 100, 8 bpp, 196 colours   (welcome dialog, top right)
//   side.bmp    120 x 226, 4 bpp, RLE4          (welcome dialog, left side)
//   finish.bmp  150 x 140, 8 bpp, 256 colours   (completion dialog)
//   setup.ico   three 32 x 32 images: 1 bpp, 4 bpp, 4 bpp
// Everything is drawn from code: a true-colour canvas with supersampled shapes and a
// small built-in bitmap font, reduced to each file's palette at the end.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "dib.h"

using art::Rgb;

namespace {

// ---------------------------------------------------------------------------
// Canvas and shapes

struct Point {
    double x, y;
};

// Maps shape coordinates to canvas coordinates: p = origin + u * ax + v * ay.
struct Transform {
    Point origin{0, 0}, ax{1, 0}, ay{0, 1};

    Point Apply(Point p) const {
        return {origin.x + p.x * ax.x + p.y * ay.x, origin.y + p.x * ax.y + p.y * ay.y};
    }
    Point Invert(Point p) const {
        const double det = ax.x * ay.y - ay.x * ax.y;
        const double dx = p.x - origin.x, dy = p.y - origin.y;
        return {(dx * ay.y - dy * ay.x) / det, (dy * ax.x - dx * ax.y) / det};
    }
    static Transform Rotated(Point origin, double degrees) {
        const double a = degrees * 3.14159265358979 / 180;
        return {origin, {std::cos(a), std::sin(a)}, {-std::sin(a), std::cos(a)}};
    }
};

using Inside = std::function<bool(double, double)>;

struct Canvas {
    int width, height;
    std::vector<Rgb> px;
    int samples = 4;      // supersampling per axis; 1 draws hard edges for small palettes
    double opacity = 1;   // applied to every shape, for shadows
    Transform transform;  // shape coordinates to canvas coordinates

    Canvas(int w, int h, Rgb fill) : width(w), height(h), px(std::size_t(w) * h, fill) {}
    Rgb& at(int x, int y) { return px[std::size_t(y) * width + x]; }

    void Blend(int x, int y, Rgb c, double alpha) {
        if (x < 0 || y < 0 || x >= width || y >= height || alpha <= 0) return;
        Rgb& d = at(x, y);
        auto mix = [alpha](std::uint8_t a, std::uint8_t b) {
            return std::uint8_t(std::lround(a + (b - a) * std::min(alpha, 1.0)));
        };
        d = {mix(d.r, c.r), mix(d.g, c.g), mix(d.b, c.b)};
    }

    // Fills the shape whose inside test is given in shape coordinates, within the
    // shape-space box [x0, x1) x [y0, y1), weighting each pixel by its coverage.
    void Fill(double x0, double y0, double x1, double y1, Rgb colour, const Inside& inside) {
        double lx = 1e9, ly = 1e9, hx = -1e9, hy = -1e9;
        for (Point corner : {Point{x0, y0}, Point{x1, y0}, Point{x0, y1}, Point{x1, y1}}) {
            const Point p = transform.Apply(corner);
            lx = std::min(lx, p.x), ly = std::min(ly, p.y);
            hx = std::max(hx, p.x), hy = std::max(hy, p.y);
        }
        const int n = samples;
        for (int y = std::max(0, int(std::floor(ly))); y < std::min(height, int(std::ceil(hy)));
             ++y)
            for (int x = std::max(0, int(std::floor(lx))); x < std::min(width, int(std::ceil(hx)));
                 ++x) {
                int hits = 0;
                for (int sy = 0; sy < n; ++sy)
                    for (int sx = 0; sx < n; ++sx) {
                        const Point p = transform.Invert({x + (sx + 0.5) / n, y + (sy + 0.5) / n});
                        if (p.x >= x0 && p.x < x1 && p.y >= y0 && p.y < y1 && inside(p.x, p.y))
                            ++hits;
                    }
                Blend(x, y, colour, opacity * hits / (n * n));
            }
    }

    void Rect(double x0, double y0, double x1, double y1, Rgb c) {
        Fill(x0, y0, x1, y1, c, [](double, double) { return true; });
    }
    void RoundRect(double x0, double y0, double x1, double y1, double r, Rgb c) {
        Fill(x0, y0, x1, y1, c, [=](double x, double y) {
            const double cx = std::clamp(x, x0 + r, x1 - r), cy = std::clamp(y, y0 + r, y1 - r);
            return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r;
        });
    }
    void Disc(double cx, double cy, double r, Rgb c) {
        Fill(cx - r, cy - r, cx + r, cy + r, c, [=](double x, double y) {
            return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r;
        });
    }
    // A round-ended stroke along the polyline.
    void Stroke(const std::vector<Point>& pts, double r, Rgb c) {
        double x0 = 1e9, y0 = 1e9, x1 = -1e9, y1 = -1e9;
        for (Point p : pts)
            x0 = std::min(x0, p.x - r), y0 = std::min(y0, p.y - r), x1 = std::max(x1, p.x + r),
            y1 = std::max(y1, p.y + r);
        Fill(x0, y0, x1, y1, c, [=](double x, double y) {
            for (std::size_t i = 0; i + 1 < pts.size(); ++i)
                if (SegmentDistance2(x, y, pts[i], pts[i + 1]) <= r * r) return true;
            return pts.size() == 1 && SegmentDistance2(x, y, pts[0], pts[0]) <= r * r;
        });
    }
    static double SegmentDistance2(double x, double y, Point a, Point b) {
        const double dx = b.x - a.x, dy = b.y - a.y, len2 = dx * dx + dy * dy;
        const double t =
            len2 > 0 ? std::clamp(((x - a.x) * dx + (y - a.y) * dy) / len2, 0.0, 1.0) : 0;
        const double ex = x - a.x - t * dx, ey = y - a.y - t * dy;
        return ex * ex + ey * ey;
    }

    // Pixel-by-pixel colouring in canvas coordinates, for backgrounds.
    template <class F>
    void Shade(F colourAt) {
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) at(x, y) = colourAt(x, y);
    }
};

Rgb Mix(Rgb a, Rgb b, double t) {
    t = std::clamp(t, 0.0, 1.0);
    auto m = [t](int p, int q) { return std::uint8_t(std::lround(p + (q - p) * t)); };
    return {m(a.r, b.r), m(a.g, b.g), m(a.b, b.b)};
}

// ---------------------------------------------------------------------------
// Font: 5 x 7 glyphs on a 9-row cell (two rows below the baseline for descenders).

struct Glyph {
    char ch;
    std::array<const char*, 9> rows;  // '#' is ink; missing rows are blank
};

constexpr Glyph kGlyphs[] = {
    {'A', {".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"}},
    {'B', {"####.", "#...#", "#...#", "####.", "#...#", "#...#", "####."}},
    {'C', {".###.", "#...#", "#....", "#....", "#....", "#...#", ".###."}},
    {'D', {"####.", "#...#", "#...#", "#...#", "#...#", "#...#", "####."}},
    {'I', {"###", ".#.", ".#.", ".#.", ".#.", ".#.", "###"}},
    {'M', {"#...#", "##.##", "#.#.#", "#.#.#", "#...#", "#...#", "#...#"}},
    {'P', {"####.", "#...#", "#...#", "####.", "#....", "#....", "#...."}},
    {'a', {".....", ".....", ".###.", "....#", ".####", "#...#", ".####"}},
    {'d', {"....#", "....#", ".####", "#...#", "#...#", "#...#", ".####"}},
    {'e', {".....", ".....", ".###.", "#...#", "#####", "#....", ".###."}},
    {'i', {"#", ".", "#", "#", "#", "#", "#"}},
    {'k', {"#...", "#...", "#..#", "#.#.", "##..", "#.#.", "#..#"}},
    {'l', {"##", ".#", ".#", ".#", ".#", ".#", ".#"}},
    {'m', {".....", ".....", "##.#.", "#.#.#", "#.#.#", "#.#.#", "#.#.#"}},
    {'n', {"....", "....", "###.", "#..#", "#..#", "#..#", "#..#"}},
    {'o', {".....", ".....", ".###.", "#...#", "#...#", "#...#", ".###."}},
    {'r', {"....", "....", "#.##", "##..", "#...", "#...", "#..."}},
    {'s', {"....", "....", ".###", "#...", ".##.", "...#", "###."}},
    {'t', {".#.", ".#.", "###", ".#.", ".#.", ".#.", "..#"}},
    {'u', {"....", "....", "#..#", "#..#", "#..#", "#..#", ".###"}},
    {'v', {".....", ".....", "#...#", "#...#", "#...#", ".#.#.", "..#.."}},
};
constexpr int kCellRows = 9;
constexpr int kSpaceWidth = 3;

const Glyph* FindGlyph(char ch) {
    for (const Glyph& g : kGlyphs)
        if (g.ch == ch) return &g;
    return nullptr;
}

int GlyphWidth(const Glyph& g) {
    return int(std::string_view(g.rows[0]).size());
}

bool Ink(const Glyph& g, int col, int row) {
    if (row < 0 || row >= kCellRows || col < 0 || col >= GlyphWidth(g) || !g.rows[row])
        return false;
    return g.rows[row][col] == '#';
}

// Width in font cells, one blank column between letters.
int TextCells(std::string_view text) {
    int w = 0;
    for (char ch : text) {
        const Glyph* g = FindGlyph(ch);
        w += (g ? GlyphWidth(*g) : kSpaceWidth) + 1;
    }
    return text.empty() ? 0 : w - 1;
}

// Draws text with its top-left cell corner at (x, y), each font cell `scale` pixels.
// At scale 1 the cells are plain pixels. Larger text joins the ink cells of a glyph
// with round strokes (neighbours across, down and diagonally where no corner cell
// already joins them), which turns the blocky cells into smooth letters.
void DrawText(Canvas& cv, double x, double y, std::string_view text, double scale, Rgb colour,
              double weight = 0.5) {
    for (char ch : text) {
        const Glyph* g = FindGlyph(ch);
        if (!g) {
            x += (kSpaceWidth + 1) * scale;
            continue;
        }
        const int w = GlyphWidth(*g);
        if (scale == 1) {
            for (int r = 0; r < kCellRows; ++r)
                for (int c = 0; c < w; ++c)
                    if (Ink(*g, c, r)) cv.Rect(x + c, y + r, x + c + 1, y + r + 1, colour);
        } else {
            std::vector<std::pair<Point, Point>> strokes;
            auto centre = [&](int c, int r) {
                return Point{x + (c + 0.5) * scale, y + (r + 0.5) * scale};
            };
            for (int r = 0; r < kCellRows; ++r)
                for (int c = 0; c < w; ++c) {
                    if (!Ink(*g, c, r)) continue;
                    strokes.push_back({centre(c, r), centre(c, r)});
                    if (Ink(*g, c + 1, r)) strokes.push_back({centre(c, r), centre(c + 1, r)});
                    if (Ink(*g, c, r + 1)) strokes.push_back({centre(c, r), centre(c, r + 1)});
                    for (int dc : {-1, 1})
                        if (Ink(*g, c + dc, r + 1) && !Ink(*g, c + dc, r) && !Ink(*g, c, r + 1))
                            strokes.push_back({centre(c, r), centre(c + dc, r + 1)});
                }
            const double rad = weight * scale;
            cv.Fill(x, y, x + w * scale + 1, y + kCellRows * scale + 1, colour,
                    [&](double px, double py) {
                        for (auto& [a, b] : strokes)
                            if (Canvas::SegmentDistance2(px, py, a, b) <= rad * rad) return true;
                        return false;
                    });
        }
        x += (w + 1) * scale;
    }
}

void DrawTextCentred(Canvas& cv, double cx, double y, std::string_view text, double scale, Rgb c,
                     double weight = 0.5) {
    DrawText(cv, std::round(cx - TextCells(text) * scale / 2), y, text, scale, c, weight);
}

// ---------------------------------------------------------------------------
// Colours

constexpr Rgb kBlack{0, 0, 0};
constexpr Rgb kWhite{255, 255, 255};
constexpr Rgb kBoard{0, 112, 56};
constexpr Rgb kBoardDark{0, 72, 36};
constexpr Rgb kBoardLight{48, 160, 88};
constexpr Rgb kGold{232, 196, 72};
constexpr Rgb kGoldDark{168, 128, 32};
constexpr Rgb kChip{24, 24, 28};
constexpr Rgb kChipTop{72, 72, 80};
constexpr Rgb kSilver{200, 200, 204};
constexpr Rgb kSteel{128, 128, 136};
constexpr Rgb kPale{176, 196, 232};

// ---------------------------------------------------------------------------
// The card in its own coordinates: a board 100 wide and 56 high, the bracket at the
// left end, the gold edge connector along the bottom, components facing the viewer.
// The canvas transform places, turns and scales it.

constexpr double kCardW = 100, kCardH = 56;

bool CardSilhouette(double x, double y) {
    return (x >= 0 && x < kCardW && y >= 0 && y < kCardH) ||      // board
           (x >= -5 && x < 4 && y >= -5 && y < kCardH + 4) ||     // bracket
           (x >= 16 && x < 90 && y >= kCardH && y < kCardH + 6);  // connector
}

void DrawCard(Canvas& cv, Rgb shadow, double shadowOpacity) {
    // Shadow: the silhouette again, down and to the right on the canvas.
    const Transform placed = cv.transform;
    cv.transform.origin = {placed.origin.x + 4, placed.origin.y + 4};
    cv.opacity = shadowOpacity;
    cv.Fill(-5, -5, kCardW, kCardH + 6, shadow, CardSilhouette);
    cv.opacity = 1;
    cv.transform = placed;

    // Gold fingers below the board, split by the key notch.
    auto fingers = [&](double from, double to) {
        cv.Rect(from, kCardH - 1, to, kCardH + 6, kGoldDark);
        for (double x = from + 1; x + 2 <= to; x += 3) cv.Rect(x, kCardH, x + 2, kCardH + 5, kGold);
    };
    fingers(16, 40);
    fingers(43, 90);

    // Board with a lit top edge and a dark lower edge.
    cv.Rect(0, 0, kCardW, kCardH, kBoard);
    cv.Rect(4, 0, kCardW, 1, kBoardLight);
    cv.Rect(kCardW - 1, 0, kCardW, kCardH, kBoardDark);
    cv.Rect(4, kCardH - 1, kCardW, kCardH, kBoardDark);

    // Traces from the chips down to the connector.
    const double tr = 0.5;
    for (int i = 0; i < 6; ++i) {
        const double fx = 48 + i * 6;
        cv.Stroke({{fx, kCardH - 1}, {fx, 46}, {39.0 + i * 3, 37}}, tr, kBoardDark);
    }
    for (int i = 0; i < 3; ++i) {
        const double fx = 20 + i * 6;
        cv.Stroke({{fx, kCardH - 1}, {fx, 48}, {fx + 6, 42}, {fx + 6, 37}}, tr, kBoardDark);
    }
    cv.Stroke({{59, 18}, {67, 18}}, tr, kBoardDark);
    cv.Stroke({{59, 28}, {72, 28}, {78, 34}, {78, 44}}, tr, kBoardDark);
    cv.Stroke({{78, 14}, {84, 14}}, tr, kBoardDark);
    cv.Stroke({{78, 24}, {84, 24}}, tr, kBoardDark);

    // Chips: black packages with silver pins.
    auto chip = [&](double x0, double y0, double w, double h, bool pinsAllRound) {
        for (double p = 2; p + 1 <= w - 1; p += 2) {
            cv.Rect(x0 + p, y0 - 2, x0 + p + 1, y0, kSilver);
            cv.Rect(x0 + p, y0 + h, x0 + p + 1, y0 + h + 2, kSilver);
        }
        if (pinsAllRound)
            for (double p = 2; p + 1 <= h - 1; p += 2) {
                cv.Rect(x0 - 2, y0 + p, x0, y0 + p + 1, kSilver);
                cv.Rect(x0 + w, y0 + p, x0 + w + 2, y0 + p + 1, kSilver);
            }
        cv.Rect(x0, y0, x0 + w, y0 + h, kChip);
        cv.Rect(x0 + 1, y0 + 1, x0 + w - 1, y0 + 2, kChipTop);
    };
    chip(36, 12, 22, 22, true);         // signal processor
    cv.Rect(38, 30, 40, 32, kChipTop);  // pin-1 mark
    chip(67, 10, 10, 20, false);        // codec
    chip(85, 8, 10, 6, false);          // memory
    chip(85, 22, 10, 6, false);

    // Crystal and capacitors.
    cv.RoundRect(22, 13, 31, 19, 3, kSilver);
    cv.Rect(23, 15, 30, 16, kSteel);
    for (Point p : {Point{24.5, 27.5}, Point{30.5, 27.5}, Point{64.5, 39.5}, Point{70.5, 39.5},
                    Point{90.5, 40.5}}) {
        cv.Disc(p.x, p.y, 2.5, kSteel);
        cv.Disc(p.x, p.y, 1.5, kChipTop);
    }

    // Bracket: a metal strip across the left end, the audio jacks behind it.
    for (double jy : {9.0, 21.0, 33.0}) {
        cv.Rect(4, jy, 14, jy + 8, kChip);
        cv.Rect(4, jy + 1, 13, jy + 2, kChipTop);
    }
    cv.Rect(-5, -5, 4, kCardH + 4, kSilver);
    cv.Rect(-5, -5, -4, kCardH + 4, kWhite);
    cv.Rect(3, -5, 4, kCardH + 4, kSteel);
    cv.Rect(-5, kCardH + 3, 4, kCardH + 4, kSteel);
    for (double jy : {13.0, 25.0, 37.0}) {
        cv.Disc(-0.5, jy, 2.5, kSteel);
        cv.Disc(-0.5, jy, 1.5, kChip);
    }
}

// ---------------------------------------------------------------------------
// Palette helpers

std::uint8_t NearestIndex(Rgb c, const std::vector<Rgb>& palette) {
    int best = 0, bestDistance = 1 << 30;
    for (std::size_t i = 0; i < palette.size(); ++i) {
        const int dr = c.r - palette[i].r, dg = c.g - palette[i].g, db = c.b - palette[i].b;
        if (dr * dr + dg * dg + db * db < bestDistance)
            bestDistance = dr * dr + dg * dg + db * db, best = int(i);
    }
    return std::uint8_t(best);
}

// 4 x 4 ordered-dither thresholds.
constexpr int kBayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};

// The ramp colour at position t (0 to 1), dithered between neighbouring steps.
Rgb DitheredRamp(const std::vector<Rgb>& ramp, double t, int x, int y) {
    const double f = std::clamp(t, 0.0, 1.0) * double(ramp.size() - 1);
    const int i = std::min(int(f), int(ramp.size()) - 2);
    return (f - i) * 16 > kBayer[y & 3][x & 3] + 0.5 ? ramp[std::size_t(i) + 1]
                                                     : ramp[std::size_t(i)];
}

// ---------------------------------------------------------------------------
// Pictures

// Welcome banner: a deep blue gradient with the card name, the subtitle, the
// maker's name and a small loudspeaker sending out sound waves.
std::vector<std::uint8_t> Banner() {
    Canvas cv(293, 100, kBlack);
    const Rgb left{12, 26, 78}, right{44, 92, 160};
    cv.Shade([&](int x, int y) { return Mix(left, right, (x + 0.5 * y) / 343.0); });

    // Loudspeaker and waves at the right.
    const Rgb speaker = Mix(right, kPale, 0.55);
    cv.Fill(226, 30, 250, 60, speaker, [](double x, double y) {
        const double half = x < 236 ? 6 : 6 + (x - 236) * 0.9;  // box then cone
        return std::abs(y - 45) <= half;
    });
    for (int k = 0; k < 3; ++k) {
        const double r = 12 + k * 8;
        cv.Fill(250, 45 - r - 2, 250 + r + 2, 45 + r + 2, Mix(right, kPale, 0.55 - 0.12 * k),
                [r](double x, double y) {
                    const double dx = x - 242, dy = y - 45, d = std::sqrt(dx * dx + dy * dy);
                    return std::abs(d - r) <= 1.3 && std::abs(dy) < dx * 1.1;
                });
    }

    cv.opacity = 0.45;
    DrawText(cv, 24, 19, "Marlune", 5, kBlack, 0.55);
    cv.opacity = 1;
    DrawText(cv, 22, 17, "Marlune", 5, kWhite, 0.55);
    cv.Rect(22, 60, 212, 61, kGold);
    DrawText(cv, 23, 68, "Driver Installation", 2, kPale, 0.55);
    DrawText(cv, 293 - 10 - TextCells("Brenmark"), 6, "Brenmark", 1, Mix(right, kPale, 0.6));

    const art::Quantized q = art::Quantize(cv.px, cv.width, cv.height, 196);
    return art::MakeBmp8(q.image, q.palette);
}

// Side picture of the welcome dialog, 16 colours: the card standing upright (bracket
// at the top, connector down the left) on a dithered blue gradient, with the names.
std::vector<std::uint8_t> Side() {
    const std::vector<Rgb> ramp = {{14, 22, 64}, {26, 44, 104}, {40, 68, 140}, {58, 96, 172}};
    std::vector<Rgb> palette = ramp;
    for (Rgb c : {kBlack, kBoard, kBoardDark, kBoardLight, kGold, kGoldDark, kSilver, kSteel,
                  kChipTop, kWhite, kPale, kChip})
        palette.push_back(c);

    Canvas cv(120, 226, kBlack);
    cv.samples = 1;
    cv.Shade([&](int x, int y) { return DitheredRamp(ramp, y / 225.0, x, y); });

    const double s = 1.2;
    cv.transform = {{88, 30}, {0, s}, {-s, 0}};
    DrawCard(cv, ramp[0], 1);
    cv.transform = {};

    DrawTextCentred(cv, 60, 6, "Brenmark", 1, kPale);
    DrawTextCentred(cv, 61, 180, "Marlune", 2, kWhite);
    DrawTextCentred(cv, 60, 202, "PCI Audio", 1, kPale);

    art::IndexedImage image(cv.width, cv.height);
    for (std::size_t i = 0; i < cv.px.size(); ++i)
        image.pixels[i] = NearestIndex(cv.px[i], palette);
    return art::MakeBmpRle4(image, palette);
}

// Completion picture: the card, tilted, with a large check mark over it.
std::vector<std::uint8_t> Finish() {
    Canvas cv(150, 140, kBlack);
    const Rgb top{12, 26, 78}, bottom{44, 92, 160};
    cv.Shade([&](int x, int y) { return Mix(top, bottom, (y + 0.3 * x) / 184.0); });

    cv.transform = Transform::Rotated({28, 40}, -10);
    DrawCard(cv, kBlack, 0.4);
    cv.transform = {};

    const std::vector<Point> tick = {{84, 78}, {100, 96}, {132, 50}};
    cv.opacity = 0.4;
    cv.Stroke({{87, 81}, {103, 99}, {135, 53}}, 8, kBlack);
    cv.opacity = 1;
    cv.Stroke(tick, 8, kWhite);
    cv.Stroke(tick, 5.5, Rgb{40, 184, 72});

    DrawTextCentred(cv, 75, 114, "Marlune", 2, kWhite);

    const art::Quantized q = art::Quantize(cv.px, cv.width, cv.height, 256);
    return art::MakeBmp8(q.image, q.palette);
}

// ---------------------------------------------------------------------------
// Icon

// The standard 16-colour palette, black first so transparent pixels stay black.
const std::vector<Rgb> kVga = {{0, 0, 0},       {128, 0, 0},   {0, 128, 0},   {128, 128, 0},
                               {0, 0, 128},     {128, 0, 128}, {0, 128, 128}, {192, 192, 192},
                               {128, 128, 128}, {255, 0, 0},   {0, 255, 0},   {255, 255, 0},
                               {0, 0, 255},     {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};
constexpr Rgb kClear{1, 2, 3};  // marks pixels left transparent; in no palette

enum class IconStyle { Mono, Colour, ColourShadowed };

// A small card seen from the component side: bracket at the left, one large chip,
// gold fingers along the bottom.
art::IconImage Icon(IconStyle style) {
    const bool mono = style == IconStyle::Mono;
    const Rgb ink = kBlack, paper = kWhite;
    const Rgb board = mono ? paper : Rgb{0, 128, 0};
    const Rgb bracket = mono ? paper : Rgb{192, 192, 192};
    const Rgb gold = mono ? paper : Rgb{255, 255, 0};
    const Rgb pins = mono ? paper : Rgb{192, 192, 192};

    Canvas cv(32, 32, kClear);
    cv.samples = 1;
    // Bracket.
    cv.Rect(1, 2, 5, 30, ink);
    cv.Rect(2, 3, 4, 29, bracket);
    // Connector fingers under the board.
    cv.Rect(8, 22, 29, 27, ink);
    for (int x = 9; x < 28; x += 2)
        if (x != 17) cv.Rect(x, 23, x + 1, 26, gold);
    cv.Rect(17, 23, 19, 27, kClear);  // key notch
    // Board.
    cv.Rect(4, 5, 31, 24, ink);
    cv.Rect(5, 6, 30, 23, board);
    if (!mono) cv.Rect(5, 6, 30, 7, Rgb{0, 255, 0});
    // Jacks behind the bracket.
    for (int y : {8, 13, 18}) cv.Rect(5, y, 8, y + 3, ink);
    // Main chip with pins, a smaller chip beside it.
    for (int p = 12; p < 21; p += 2) {
        cv.Rect(p, 8, p + 1, 9, mono ? ink : pins);
        cv.Rect(p, 19, p + 1, 20, mono ? ink : pins);
    }
    cv.Rect(11, 9, 22, 19, ink);
    if (!mono) cv.Rect(12, 10, 21, 11, Rgb{128, 128, 128});
    cv.Rect(24, 9, 28, 15, ink);
    if (!mono) {
        // Traces to the connector.
        for (int x : {13, 15, 19, 21}) cv.Rect(x, 20, x + 1, 23, Rgb{0, 0, 0});
        cv.Rect(25, 16, 26, 23, Rgb{0, 0, 0});
    }

    if (style == IconStyle::ColourShadowed) {
        // A grey shadow one pixel down and right, which sets the card off a white desktop.
        const Canvas drawn = cv;
        for (int y = 1; y < 32; ++y)
            for (int x = 1; x < 32; ++x)
                if (drawn.px[std::size_t(y) * 32 + x] == kClear &&
                    !(drawn.px[std::size_t(y - 1) * 32 + x - 1] == kClear))
                    cv.at(x, y) = Rgb{128, 128, 128};
    }

    const std::vector<Rgb>& palette = mono ? std::vector<Rgb>{kBlack, kWhite} : kVga;
    art::IconImage icon;
    icon.bitCount = mono ? 1 : 4;
    icon.palette = palette;
    icon.colour = art::IndexedImage(32, 32);
    icon.transparent.resize(32 * 32);
    for (std::size_t i = 0; i < cv.px.size(); ++i) {
        icon.transparent[i] = cv.px[i] == kClear;
        if (!icon.transparent[i]) icon.colour.pixels[i] = NearestIndex(cv.px[i], palette);
    }
    return icon;
}

bool WriteFile(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    out.close();
    if (!out) std::fprintf(stderr, "make-art: cannot write %s\n", path.string().c_str());
    return bool(out);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-art OUTDIR\n");
        return 2;
    }
    const std::filesystem::path dir = argv[1];
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) {
        std::fprintf(stderr, "make-art: cannot create %s: %s\n", argv[1], ec.message().c_str());
        return 1;
    }
    const std::vector<art::IconImage> icons = {Icon(IconStyle::Mono), Icon(IconStyle::Colour),
                                               Icon(IconStyle::ColourShadowed)};
    const bool ok = WriteFile(dir / "banner.bmp", Banner()) & WriteFile(dir / "side.bmp", Side()) &
                    WriteFile(dir / "finish.bmp", Finish()) &
                    WriteFile(dir / "setup.ico", art::MakeIco(icons));
    return ok ? 0 : 1;
}
