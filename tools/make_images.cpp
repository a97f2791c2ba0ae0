// Makes the demo's three images: data/bg.png (the night panorama behind the bars), data/fg.png
// (the lens light laid over it) and data/kelvo.png (the wordmark). Everything is computed here
// from fixed seeds, so the same program always writes the same pixels.
//
// Usage: make_images [folder]   (default: data; the folder must exist)
//
// What the layers show of each image decides its design:
// - bg.png covers the whole view at 18 units and is drawn mirrored top to bottom; between the
//   letterbox bands only rows 417 to 607 of its 1024 show, at about 0.8 screen pixels a texel,
//   sliding left by one width every 55 s. It is made the right way up for the screen and then
//   written flipped; it must tile across its width, and its details are at least two texels
//   wide so that nearest sampling never drops them while it scrolls.
// - fg.png is added upright at up to a fifth of its colour; only rows 182 to 330 and columns
//   116 to 908 of its 1024 x 512 show, at about one screen pixel a texel. Its alpha carries the
//   light: colour is stored at full strength and alpha says how much of it there is.
// - kelvo.png is added like fg.png; rows 184 to 328 show, and it slides right by five widths a
//   second, so it tiles across its width and carries the word twice.
// The glow squares and quadruples what is bright, so the dark parts stay low and only small
// lights reach full strength.

#include <math.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "tools/png_write.h"

namespace {

const double Pi = 3.14159265358979323846;

struct Colour {
    double r, g, b;
};

Colour Rgb(double r, double g, double b)
{
    return Colour{r, g, b};
}

Colour Scaled(Colour c, double k)
{
    return Colour{c.r * k, c.g * k, c.b * k};
}

Colour Sum(Colour a, Colour b)
{
    return Colour{a.r + b.r, a.g + b.g, a.b + b.b};
}

Colour Mix(Colour a, Colour b, double t)
{
    return Colour{a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

double Clamp01(double v)
{
    return v < 0.0 ? 0.0 : v > 1.0 ? 1.0 : v;
}

double SmoothStep(double edge0, double edge1, double x)
{
    double t = Clamp01((x - edge0) / (edge1 - edge0));
    return t * t * (3.0 - 2.0 * t);
}

// A float picture of width × height colours with an optional coverage, the top row first.
struct Canvas {
    int width, height;
    std::vector<Colour> light;
};

Canvas MakeCanvas(int width, int height)
{
    return Canvas{width, height, std::vector<Colour>(size_t(width) * size_t(height), Colour{0.0, 0.0, 0.0})};
}

Colour &At(Canvas &canvas, int x, int y)
{
    return canvas.light[size_t(y) * size_t(canvas.width) + size_t(x)];
}

int WrapX(int x, int width)
{
    x %= width;
    return x < 0 ? x + width : x;
}

// The seeded random numbers: splitmix64, the same sequence on every platform.
struct Random {
    uint64_t state;
};

uint64_t NextBits(Random &random)
{
    uint64_t z = (random.state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

double Uniform(Random &random, double low, double high)
{
    return low + (high - low) * double(NextBits(random) >> 11) * (1.0 / 9007199254740992.0);
}

// A value in [0, 1) for a lattice point.
double LatticeValue(int x, int y, uint32_t seed)
{
    uint64_t h = uint64_t(uint32_t(x)) * 0x8DA6B343ull ^ uint64_t(uint32_t(y)) * 0xD8163841ull ^ uint64_t(seed) * 0xCB1AB31Full;
    Random random = {h};
    return double(NextBits(random) >> 11) * (1.0 / 9007199254740992.0);
}

// Smooth value noise in [0, 1) that repeats every `period` lattice cells across x.
double ValueNoise(double x, double y, int period, uint32_t seed)
{
    double fx = floor(x), fy = floor(y);
    int ix = int(fx), iy = int(fy);
    double tx = x - fx, ty = y - fy;
    tx = tx * tx * (3.0 - 2.0 * tx);
    ty = ty * ty * (3.0 - 2.0 * ty);
    int x0 = WrapX(ix, period), x1 = WrapX(ix + 1, period);
    double top = LatticeValue(x0, iy, seed) + (LatticeValue(x1, iy, seed) - LatticeValue(x0, iy, seed)) * tx;
    double bottom = LatticeValue(x0, iy + 1, seed) + (LatticeValue(x1, iy + 1, seed) - LatticeValue(x0, iy + 1, seed)) * tx;
    return top + (bottom - top) * ty;
}

// Fractal noise in about [0, 1): octaves of value noise, each twice as fine and half as strong,
// all repeating across the same x span of `period` first-octave cells.
double FractalNoise(double x, double y, int period, int octaves, uint32_t seed)
{
    double sum = 0.0, weight = 0.0, amplitude = 1.0;
    for (int o = 0; o < octaves; o++) {
        sum += amplitude * ValueNoise(x, y, period, seed + uint32_t(o) * 101u);
        weight += amplitude;
        amplitude *= 0.5;
        x *= 2.0;
        y *= 2.0;
        period *= 2;
    }
    return sum / weight;
}

// ---------------------------------------------------------------------------------------------
// bg.png: a night panorama across water. Rows are screen rows (before the flip).

const int BgSize = 1024;
const double BgHorizon = 545.0;   // the waterline
const double BgBandTop = 417.0;   // first and last rows between the letterbox bands
const double BgBandBottom = 607.0;

// The sky's colour at height a above the waterline (1: the top of the visible band).
Colour SkyColour(double a)
{
    static const double stops[] = {0.0, 0.05, 0.22, 0.55, 1.0, 2.2};
    static const Colour colours[] = {{0.50, 0.24, 0.30}, {0.34, 0.14, 0.27}, {0.17, 0.07, 0.22},
                                     {0.075, 0.04, 0.15}, {0.03, 0.03, 0.10}, {0.008, 0.008, 0.03}};
    const int count = int(sizeof stops / sizeof stops[0]);
    if (a <= stops[0])
        return colours[0];
    for (int i = 1; i < count; i++)
        if (a < stops[i])
            return Mix(colours[i - 1], colours[i], SmoothStep(stops[i - 1], stops[i], a));
    return colours[count - 1];
}

// Sky, aurora and stars over every row above the waterline.
void PaintSky(Canvas &sky, Random &random)
{
    for (int y = 0; y < BgSize; y++) {
        double a = (BgHorizon - y) / (BgHorizon - BgBandTop);
        double detail = SmoothStep(BgBandTop - 30.0, BgBandTop, y);
        for (int x = 0; x < BgSize; x++) {
            Colour c = SkyColour(a);
            if (detail > 0.0 && a > 0.0) {
                // A veil of aurora: a wavy ribbon with fine vertical rays.
                double centre = 0.62 + 0.35 * (FractalNoise(x / 128.0, 0.5, 8, 3, 11) - 0.5);
                double ribbon = exp(-pow((a - centre) / 0.16, 2.0));
                double rays = FractalNoise(x / 8.0, a * 1.5, 128, 2, 23);
                double veil = ribbon * (0.25 + 0.75 * rays * rays) * (0.4 + 0.6 * FractalNoise(x / 64.0, 3.5, 16, 2, 37));
                c = Sum(c, Scaled(Rgb(0.05, 0.30, 0.26), veil * detail));
                c = Sum(c, Scaled(Rgb(0.12, 0.03, 0.14), ribbon * ribbon * 0.5 * detail));
            }
            At(sky, x, y) = c;
        }
    }

    // Stars: most faint, a few bright with short spikes that the glow turns into flares.
    const int starCount = 460;
    for (int s = 0; s < starCount; s++) {
        double sx = Uniform(random, 0.0, BgSize);
        double sy = Uniform(random, BgBandTop - 20.0, BgHorizon - 6.0);
        double u = Uniform(random, 0.0, 1.0);
        double brightness = 0.18 + 0.82 * u * u * u;
        double tint = Uniform(random, 0.0, 1.0);
        Colour colour = tint < 0.6 ? Rgb(0.85, 0.9, 1.0) : tint < 0.85 ? Rgb(1.0, 0.85, 0.7) : Rgb(0.7, 0.85, 1.0);
        double sigma = 0.65 + 0.55 * brightness;
        bool spiked = brightness > 0.8;
        double fade = SmoothStep(BgBandTop - 20.0, BgBandTop, sy) * (0.35 + 0.65 * SmoothStep(BgHorizon - 6.0, BgHorizon - 50.0, sy));
        int reach = spiked ? 7 : 3;
        for (int dy = -reach; dy <= reach; dy++)
            for (int dx = -reach; dx <= reach; dx++) {
                int px = int(floor(sx)) + dx, py = int(floor(sy)) + dy;
                if (py < 0 || py >= BgSize)
                    continue;
                double ox = px + 0.5 - sx, oy = py + 0.5 - sy;
                double glow = exp(-(ox * ox + oy * oy) / (2.0 * sigma * sigma));
                if (spiked)
                    glow += 0.35 * (exp(-oy * oy / 0.5) * exp(-fabs(ox) / 2.2) + exp(-ox * ox / 0.5) * exp(-fabs(oy) / 2.2));
                Colour &p = At(sky, WrapX(px, BgSize), py);
                p = Sum(p, Scaled(colour, glow * brightness * fade));
            }
    }
}

// Distant hills and a city on the shore, laid over the sky.
void PaintShore(Canvas &sky, Random &random)
{
    // The hills: a hazy ridge, lit from below by the glow of the horizon.
    for (int x = 0; x < BgSize; x++) {
        double ridge = BgHorizon - (12.0 + 46.0 * FractalNoise(x / 256.0, 7.5, 4, 5, 51));
        for (int y = int(ridge) - 1; y < int(BgHorizon) + 1; y++) {
            double cover = Clamp01(y + 0.5 - ridge);
            double depth = (BgHorizon - y) / 50.0;
            Colour hill = Mix(Rgb(0.20, 0.08, 0.20), Rgb(0.07, 0.035, 0.12), Clamp01(depth));
            Colour &p = At(sky, x, y);
            p = Mix(p, hill, cover);
        }
    }

    // The city: blocks of buildings where a slow noise says there is town, each with a grid of
    // lit windows two texels square.
    const Colour building = Rgb(0.02, 0.015, 0.04);
    int x = 0;
    while (x < BgSize) {
        int width = int(Uniform(random, 9.0, 30.0));
        int gap = int(Uniform(random, 0.0, 4.0));
        double town = FractalNoise(x / 128.0, 1.5, 8, 3, 71);
        double density = SmoothStep(0.42, 0.62, town);
        if (density <= 0.05) {
            x += width + gap;
            continue;
        }
        double u = Uniform(random, 0.0, 1.0);
        int height = int(6.0 + (10.0 + 34.0 * u * u) * density);
        int top = int(BgHorizon) - height;
        double lit = Uniform(random, 0.12, 0.45);
        for (int bx = x; bx < x + width; bx++)
            for (int y = top; y < int(BgHorizon) + 1; y++)
                At(sky, WrapX(bx, BgSize), y) = building;
        for (int wy = top + 3; wy + 2 < int(BgHorizon) - 1; wy += 4)
            for (int wx = x + 2; wx + 2 <= x + width - 1; wx += 4) {
                if (Uniform(random, 0.0, 1.0) > lit)
                    continue;
                double tone = Uniform(random, 0.0, 1.0);
                Colour window = tone < 0.75 ? Rgb(1.0, 0.70, 0.36) : Rgb(0.62, 0.82, 1.0);
                window = Scaled(window, Uniform(random, 0.45, 0.95));
                for (int py = wy; py < wy + 2; py++)
                    for (int px = wx; px < wx + 2; px++)
                        At(sky, WrapX(px, BgSize), py) = window;
            }
        if (height > 34) {
            // A red beacon on the tall ones.
            int bx = x + width / 2 - 1;
            for (int py = top - 2; py < top; py++)
                for (int px = bx; px < bx + 2; px++)
                    At(sky, WrapX(px, BgSize), py) = Rgb(1.0, 0.18, 0.12);
        }
        x += width + gap;
    }

    // Lights along the shore: a broken line right on the waterline.
    for (int px = 0; px < BgSize; px++) {
        double n = FractalNoise(px / 8.0, 9.5, 128, 2, 83);
        double strength = 0.75 * SmoothStep(0.45, 0.8, n);
        for (int y = int(BgHorizon) - 1; y <= int(BgHorizon); y++) {
            Colour &p = At(sky, px, y);
            p = Sum(p, Scaled(Rgb(1.0, 0.62, 0.55), strength));
        }
    }
}

// Picks the shore picture at a fractional column (wrapping) and a row, by linear interpolation
// across x.
Colour SampleRow(Canvas &sky, double x, int y)
{
    double fx = floor(x);
    double t = x - fx;
    int x0 = WrapX(int(fx), BgSize);
    return Mix(At(sky, x0, y), At(sky, WrapX(x0 + 1, BgSize), y), t);
}

// The water: the shore mirrored in rippled strips, darker with distance from the waterline.
void PaintWater(Canvas &picture, Canvas &sky)
{
    const Colour deep = Rgb(0.012, 0.018, 0.045);
    for (int y = int(BgHorizon) + 1; y < BgSize; y++) {
        double dy = y - BgHorizon;
        double detail = 1.0 - SmoothStep(BgBandBottom, BgBandBottom + 30.0, y);
        for (int x = 0; x < BgSize; x++) {
            Colour c = Mix(deep, Rgb(0.004, 0.006, 0.016), SmoothStep(0.0, 200.0, dy));
            if (detail > 0.0) {
                double wave = FractalNoise(x / 128.0, dy / 2.5, 8, 3, 97);
                double shift = (wave - 0.5) * (3.0 + dy * 0.25);
                int source = int(BgHorizon - dy * 1.1 - 1.0);
                if (source < 0)
                    source = 0;
                // Lights stretch downwards in water: the reflection keeps the brightest of
                // three rows, each a little further up the shore.
                Colour mirrored = SampleRow(sky, x + shift, source);
                for (int step = 3; step <= 6; step += 3) {
                    Colour up = SampleRow(sky, x + shift, source + step < int(BgHorizon) ? source + step : source);
                    mirrored = Rgb(fmax(mirrored.r, up.r), fmax(mirrored.g, up.g), fmax(mirrored.b, up.b));
                }
                double strips = 0.35 + 0.65 * SmoothStep(0.3, 0.7, FractalNoise(x / 256.0, dy / 1.6, 4, 2, 113));
                double fresnel = 1.0 * exp(-dy / 60.0);
                c = Sum(c, Scaled(Rgb(mirrored.r * 0.85, mirrored.g * 0.9, mirrored.b), fresnel * strips * detail));
            }
            At(picture, x, y) = c;
        }
    }
}

std::vector<unsigned char> ToBytes(const Canvas &canvas, bool flipRows)
{
    std::vector<unsigned char> bytes(size_t(canvas.width) * size_t(canvas.height) * 3);
    for (int y = 0; y < canvas.height; y++) {
        int row = flipRows ? canvas.height - 1 - y : y;
        for (int x = 0; x < canvas.width; x++) {
            const Colour &c = canvas.light[size_t(y) * size_t(canvas.width) + size_t(x)];
            unsigned char *p = &bytes[(size_t(row) * size_t(canvas.width) + size_t(x)) * 3];
            p[0] = (unsigned char)lround(Clamp01(c.r) * 255.0);
            p[1] = (unsigned char)lround(Clamp01(c.g) * 255.0);
            p[2] = (unsigned char)lround(Clamp01(c.b) * 255.0);
        }
    }
    return bytes;
}

bool MakeBackground(const std::string &path)
{
    Random random = {0x6B656C766F2D6267ull};
    Canvas sky = MakeCanvas(BgSize, BgSize);
    PaintSky(sky, random);
    PaintShore(sky, random);
    Canvas picture = sky;
    PaintWater(picture, sky);
    // The layer shows the image's top row at the bottom: written flipped, it stands upright.
    std::vector<unsigned char> bytes = ToBytes(picture, true);
    return WritePngFile(path.c_str(), BgSize, BgSize, 3, bytes.data());
}

// ---------------------------------------------------------------------------------------------
// The overlays: light on black, stored as full-strength colour with the amount in alpha.

const int OverlayWidth = 1024;
const int OverlayHeight = 512;

std::vector<unsigned char> ToColourAndAlpha(const Canvas &canvas)
{
    std::vector<unsigned char> bytes(size_t(canvas.width) * size_t(canvas.height) * 4, 0);
    for (size_t i = 0; i < canvas.light.size(); i++) {
        const Colour &c = canvas.light[i];
        double peak = fmax(c.r, fmax(c.g, c.b));
        long alpha = lround(Clamp01(peak) * 255.0);
        if (alpha == 0)
            continue; // no light: fully transparent black, which compresses to nothing
        double amount = double(alpha) / 255.0;
        unsigned char *p = &bytes[i * 4];
        p[0] = (unsigned char)lround(Clamp01(c.r / amount) * 255.0);
        p[1] = (unsigned char)lround(Clamp01(c.g / amount) * 255.0);
        p[2] = (unsigned char)lround(Clamp01(c.b / amount) * 255.0);
        p[3] = (unsigned char)alpha;
    }
    return bytes;
}

// Adds a soft-edged disc, a little brighter at its rim, as an out-of-focus light looks.
void AddBokeh(Canvas &canvas, double cx, double cy, double radius, Colour colour, double strength)
{
    for (int y = int(cy - radius - 2); y <= int(cy + radius + 2); y++)
        for (int x = int(cx - radius - 2); x <= int(cx + radius + 2); x++) {
            if (y < 0 || y >= canvas.height || x < 0 || x >= canvas.width)
                continue;
            double d = hypot(x + 0.5 - cx, y + 0.5 - cy);
            double cover = Clamp01((radius - d) / 1.6 + 0.5);
            double rim = 0.45 + 0.55 * pow(Clamp01(d / radius), 6.0);
            Colour &p = At(canvas, x, y);
            p = Sum(p, Scaled(colour, cover * rim * strength));
        }
}

bool MakeForeground(const std::string &path)
{
    Random random = {0x6B656C766F2D6667ull};
    Canvas light = MakeCanvas(OverlayWidth, OverlayHeight);

    // Long horizontal streaks, as a wide lens draws a bright light.
    struct Streak {
        double y, x, reach, strength;
        Colour colour;
    };
    const Streak streaks[] = {
        {252.0, 560.0, 300.0, 1.0, {0.55, 0.85, 1.0}}, {233.0, 350.0, 170.0, 0.65, {1.0, 0.45, 0.85}},
        {283.0, 730.0, 210.0, 0.75, {0.65, 0.9, 1.0}}, {304.0, 300.0, 130.0, 0.45, {1.0, 0.72, 0.4}},
    };
    for (const Streak &s : streaks)
        for (int y = 0; y < OverlayHeight; y++) {
            double dy = y + 0.5 - s.y;
            double across = exp(-dy * dy / 2.0) + 0.25 * exp(-dy * dy / 32.0);
            if (across < 1e-4)
                continue;
            for (int x = 0; x < OverlayWidth; x++) {
                double dx = (x + 0.5 - s.x) / s.reach;
                Colour &p = At(light, x, y);
                p = Sum(p, Scaled(s.colour, s.strength * across * exp(-dx * dx)));
            }
        }

    // Out-of-focus lights in the palette of the panorama.
    const Colour palette[] = {{1.0, 0.35, 0.8}, {1.0, 0.68, 0.35}, {0.35, 1.0, 0.88}, {0.6, 0.45, 1.0}};
    for (int i = 0; i < 24; i++) {
        double radius = Uniform(random, 7.0, 28.0);
        double cx = Uniform(random, 140.0, 884.0);
        double cy = Uniform(random, 204.0 + radius * 0.3, 308.0 - radius * 0.3);
        Colour colour = palette[NextBits(random) % 4];
        AddBokeh(light, cx, cy, radius, colour, Uniform(random, 0.55, 1.0));
    }

    // A flare: a warm halo with a four-pointed star at its heart.
    const double fx = 648.0, fy = 250.0;
    for (int y = 0; y < OverlayHeight; y++)
        for (int x = 0; x < OverlayWidth; x++) {
            double dx = x + 0.5 - fx, dy = y + 0.5 - fy;
            double halo = 0.4 * exp(-(dx * dx + dy * dy) / (2.0 * 38.0 * 38.0));
            double star = exp(-dy * dy / 2.5) * exp(-fabs(dx) / 90.0) + exp(-dx * dx / 2.5) * exp(-fabs(dy) / 28.0);
            Colour &p = At(light, x, y);
            p = Sum(p, Sum(Scaled(Rgb(1.0, 0.72, 0.55), halo), Scaled(Rgb(1.0, 0.92, 0.85), star)));
        }

    // Fine dust catching the light.
    for (int i = 0; i < 170; i++) {
        double cx = Uniform(random, 120.0, 904.0), cy = Uniform(random, 186.0, 326.0);
        double strength = Uniform(random, 0.25, 0.9);
        for (int y = int(cy) - 2; y <= int(cy) + 2; y++)
            for (int x = int(cx) - 2; x <= int(cx) + 2; x++) {
                double dx = x + 0.5 - cx, dy = y + 0.5 - cy;
                Colour &p = At(light, x, y);
                p = Sum(p, Scaled(Rgb(0.8, 0.9, 1.0), strength * exp(-(dx * dx + dy * dy) / 0.9)));
            }
    }

    // The alpha shapes it: everything fades out towards the edges of what the layer shows.
    for (int y = 0; y < OverlayHeight; y++)
        for (int x = 0; x < OverlayWidth; x++) {
            double shape = SmoothStep(176.0, 206.0, y) * (1.0 - SmoothStep(306.0, 336.0, y)) * SmoothStep(100.0, 170.0, x) *
                           (1.0 - SmoothStep(854.0, 924.0, x));
            Colour &p = At(light, x, y);
            p = Scaled(p, shape);
        }

    std::vector<unsigned char> bytes = ToColourAndAlpha(light);
    return WritePngFile(path.c_str(), OverlayWidth, OverlayHeight, 4, bytes.data());
}

// ---------------------------------------------------------------------------------------------
// kelvo.png: the word drawn from strokes of the project's own letters, a monoline face of
// straight lines and circular arcs with round ends. Letter units: the x-height is 1, the
// baseline y = 0, y grows upwards.

struct Stroke {
    bool arc;
    double x0, y0, x1, y1; // a line from (x0, y0) to (x1, y1); an arc: centre (x0, y0), radius x1
    double from, to;       // an arc's start and end angle in degrees, counter-clockwise
};

Stroke Line(double x0, double y0, double x1, double y1)
{
    return Stroke{false, x0, y0, x1, y1, 0.0, 0.0};
}

Stroke Arc(double cx, double cy, double radius, double from, double to)
{
    return Stroke{true, cx, cy, radius, 0.0, from, to};
}

struct Glyph {
    double width;
    std::vector<Stroke> strokes;
};

const double Ascender = 1.55;
const double StrokeWidth = 0.24;
const double LetterGap = 0.44;

std::vector<Glyph> WordGlyphs()
{
    return {
        {0.68, {Line(0.0, 0.0, 0.0, Ascender), Line(0.66, 1.0, 0.0, 0.36), Line(0.24, 0.6, 0.68, 0.0)}},
        {1.0, {Arc(0.5, 0.5, 0.5, 0.0, 318.0), Line(0.0, 0.5, 1.0, 0.5)}},
        {0.0, {Line(0.0, 0.0, 0.0, Ascender)}},
        {1.0, {Line(0.0, 1.0, 0.5, 0.0), Line(0.5, 0.0, 1.0, 1.0)}},
        {1.0, {Arc(0.5, 0.5, 0.5, 0.0, 360.0)}},
    };
}

double SegmentDistance(double px, double py, double x0, double y0, double x1, double y1)
{
    double dx = x1 - x0, dy = y1 - y0;
    double length2 = dx * dx + dy * dy;
    double t = length2 > 0.0 ? Clamp01(((px - x0) * dx + (py - y0) * dy) / length2) : 0.0;
    return hypot(px - (x0 + t * dx), py - (y0 + t * dy));
}

// An angle in degrees brought into [0, 360).
double WrapDegrees(double degrees)
{
    return degrees - 360.0 * floor(degrees / 360.0);
}

double StrokeDistance(const Stroke &s, double px, double py)
{
    if (!s.arc)
        return SegmentDistance(px, py, s.x0, s.y0, s.x1, s.y1);
    double angle = atan2(py - s.y0, px - s.x0) * 180.0 / Pi;
    if (angle < 0.0)
        angle += 360.0;
    double from = WrapDegrees(s.from), span = s.to - s.from;
    double offset = WrapDegrees(angle - from);
    if (span >= 360.0 || offset <= span)
        return fabs(hypot(px - s.x0, py - s.y0) - s.x1);
    double ax = s.x0 + s.x1 * cos(s.from * Pi / 180.0), ay = s.y0 + s.x1 * sin(s.from * Pi / 180.0);
    double bx = s.x0 + s.x1 * cos(s.to * Pi / 180.0), by = s.y0 + s.x1 * sin(s.to * Pi / 180.0);
    return fmin(hypot(px - ax, py - ay), hypot(px - bx, py - by));
}

bool MakeLogo(const std::string &path)
{
    const double unit = 60.0;  // pixels per x-height
    const double slant = 0.14; // the letters lean forward, into their motion
    const double centreRow = 256.0;
    // The word's lines in word units, each letter placed after the one before.
    std::vector<Stroke> word;
    double pen = 0.0;
    for (const Glyph &glyph : WordGlyphs()) {
        for (Stroke s : glyph.strokes) {
            s.x0 += pen;
            if (!s.arc)
                s.x1 += pen;
            word.push_back(s);
        }
        pen += glyph.width + LetterGap;
    }
    const double wordWidth = pen - LetterGap;
    const double baseline = centreRow + (Ascender / 2.0) * unit;

    Canvas light = MakeCanvas(OverlayWidth, OverlayHeight);
    const double copies[] = {256.0, 768.0}; // word centres; the image repeats every 1024
    for (int y = 0; y < OverlayHeight; y++) {
        if (fabs(y - centreRow) > 80.0)
            continue;
        for (int x = 0; x < OverlayWidth; x++) {
            double nearest = 1e9;
            for (double centre : copies)
                for (int wrap = -1; wrap <= 1; wrap++) {
                    double ux = (x + 0.5 - (centre - wordWidth * unit / 2.0) + wrap * OverlayWidth) / unit;
                    double uy = (baseline - (y + 0.5)) / unit;
                    ux -= slant * (uy - Ascender / 2.0);
                    if (ux < -1.0 || ux > wordWidth + 1.0)
                        continue;
                    for (const Stroke &s : word)
                        nearest = fmin(nearest, StrokeDistance(s, ux, uy));
                }
            double edge = (nearest - StrokeWidth / 2.0) * unit; // pixels outside the stroke
            double core = Clamp01(0.5 - edge);
            double uy = (baseline - (y + 0.5)) / unit;
            Colour fill = Mix(Rgb(1.0, 0.82, 0.96), Rgb(0.72, 0.95, 1.0), Clamp01(uy / Ascender));
            double halo = edge > 0.0 ? exp(-edge * edge / (2.0 * 7.0 * 7.0)) : 1.0;
            Colour c = Sum(Scaled(fill, core), Scaled(Rgb(0.7, 0.3, 1.0), 0.5 * halo * (1.0 - core)));

            // Between the words, a small four-pointed spark on the word's middle line.
            for (double spark = 0.0; spark <= OverlayWidth; spark += 512.0) {
                double dx = x + 0.5 - spark, dy = y + 0.5 - centreRow;
                double star = exp(-(dx * dx + dy * dy) / 8.0) + 0.8 * (exp(-dy * dy / 1.2) * exp(-fabs(dx) / 9.0) +
                                                                       exp(-dx * dx / 1.2) * exp(-fabs(dy) / 6.0));
                c = Sum(c, Scaled(Rgb(0.7, 0.95, 1.0), star));
            }
            At(light, x, y) = c;
        }
    }
    std::vector<unsigned char> bytes = ToColourAndAlpha(light);
    return WritePngFile(path.c_str(), OverlayWidth, OverlayHeight, 4, bytes.data());
}

} // namespace

int main(int argc, char **argv)
{
    if (argc > 2 || (argc == 2 && (strcmp(argv[1], "-h") == 0 || strcmp(argv[1], "--help") == 0))) {
        fprintf(stderr, "usage: make_images [folder]   (writes bg.png, fg.png and kelvo.png; default folder: data)\n");
        return 2;
    }
    std::string folder = argc == 2 ? argv[1] : "data";
    bool written = MakeBackground(folder + "/bg.png");
    written = MakeForeground(folder + "/fg.png") && written;
    written = MakeLogo(folder + "/kelvo.png") && written;
    return written ? 0 : 1;
}
