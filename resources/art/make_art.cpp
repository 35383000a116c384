// make_art: draws the Palvane 2 application icon (16 colours, 32x32 and
// 16x16) and the 240x80 banner of the main dialog, and writes them as a
// standard .ico file and a 24-bit bottom-up .bmp file.
//
// Usage: make_art [icon.ico [banner.bmp]]
//
// Everything is drawn here from first principles (no fonts, no image
// libraries), so the pictures can be rebuilt anywhere a C++17 compiler
// exists. The output is committed; the program build never runs this.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

// ---------------------------------------------------------------------------
// Little-endian writers and file output

void Put16(Bytes& out, unsigned v) {
    out.push_back(static_cast<std::uint8_t>(v & 0xFF));
    out.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
}

void Put32(Bytes& out, std::uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, (v >> 16) & 0xFFFF);
}

bool WriteAll(const std::string& path, const Bytes& data) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file) return false;
    file.write(reinterpret_cast<const char*>(data.data()),
               static_cast<std::streamsize>(data.size()));
    return static_cast<bool>(file);
}

void PutInfoHeader(Bytes& out, int width, int height, int bits,
                   std::uint32_t imageSize, std::uint32_t pixelsPerMetre) {
    Put32(out, 40);  // BITMAPINFOHEADER
    Put32(out, static_cast<std::uint32_t>(width));
    Put32(out, static_cast<std::uint32_t>(height));
    Put16(out, 1);  // planes
    Put16(out, static_cast<unsigned>(bits));
    Put32(out, 0);  // BI_RGB
    Put32(out, imageSize);
    Put32(out, pixelsPerMetre);
    Put32(out, pixelsPerMetre);
    Put32(out, 0);  // colours used: all that the depth allows
    Put32(out, 0);  // colours important: all
}

// ---------------------------------------------------------------------------
// Icon: 16-colour pixel art, drawn by hand for each size.
//
// The standard VGA palette, so the icon looks the same on every display
// from 16 colours up. One letter per colour in the pictures below; '.' is
// transparent (AND mask set, colour black).

struct Rgb8 {
    std::uint8_t r, g, b;
};

constexpr std::array<Rgb8, 16> kVgaPalette = {{
    {0, 0, 0},       {128, 0, 0},   {0, 128, 0},   {128, 128, 0},
    {0, 0, 128},     {128, 0, 128}, {0, 128, 128}, {192, 192, 192},
    {128, 128, 128}, {255, 0, 0},   {0, 255, 0},   {255, 255, 0},
    {0, 0, 255},     {255, 0, 255}, {0, 255, 255}, {255, 255, 255},
}};

// Same order as kVgaPalette.
constexpr char kPaletteLetters[] = "KrgybmcldRGYBMCW";

// A blue material ball, lit from the upper left, with a manila name tag
// hung in front of it.
const char* const kIcon32[32] = {
    "................................",
    "........bbbbbbbb................",
    "......bbCBCBBBBBbb..............",
    ".....bCCCCBCBBBBBBb.............",
    "....bCCCCCCBBBBBBbBK............",
    "...bCCCWCCCCBBBBBBbbK...........",
    "...bCCWWWCCBCBBBBbBbK...........",
    "..bCCWWWWWCCBBBBBBbbbK..........",
    "..bBCCWWWCCBCBBBBbBbbK..........",
    "..bCCCCCCCCCBBBBBBbbbK..........",
    ".bBBCBCCCBCBBBBBBbBbbbK.........",
    ".bBBBCBCBCBBBBBBbBbbbbK.........",
    ".bBBBBBBBBBBBBBBBbbbbbK.........",
    ".bBBBBBBBBBBBBBBbbbbbbK.........",
    "..bBBBBBBBBBBbBbbbbbbK..........",
    "..bBBBBBBBBBbBbbbbbbbK..........",
    "..bbBbBbBbBbBbbbbbbbbK..........",
    "...bbBbBbBbbbbbbbbbbK...........",
    "...bbbbbbbbbbbbbKKKKKKKKKKKKKKKK",
    "....KbbbbbbbbbbKWWWWWWWWWWWWWWWK",
    ".....KbbbbbbbbKWYYYYYYYYYYYYYYyK",
    "......KKbbbbKKWYYYYKKKKKYKKKKYyK",
    "........KKKKKWYYYYYYYYYYYYYYYYyK",
    "...........KWYYKYYYYYYYYYYYYYYyK",
    "..........KYYYK.KYYKKKKKKKKKKYyK",
    "...........KyYYKYYYYYYYYYYYYYYyK",
    "............KyYYYYYYYYYYYYYYYYyK",
    ".............KyYYYKKKKKKKYYYYYyK",
    "..............KyYYYYYYYYYYYYYYyK",
    "...............KyyyyyyyyyyyyyyyK",
    "................KKKKKKKKKKKKKKKK",
    "................................",
};

const char* const kIcon16[16] = {
    "....bbbb........",
    "..bbCCBBbb......",
    ".bCCCCCBBbK.....",
    "bCCWWCBBBBbK....",
    "bCCWCCCBBbbK....",
    "bBCCCBBBBbbK....",
    "bBBCBBBBBbbK....",
    "bBBBBBBBbbbK....",
    "bbBBBBBbbbbK....",
    ".bbBbBbbbKKKKKKK",
    "..KKbbbbKWWWWWyK",
    "....KKKKWYKKKKyK",
    "......KYKYYYYYyK",
    ".......KyYKKKYyK",
    "........KyyyyyyK",
    ".........KKKKKKK",
};

struct IconImage {
    int size;
    const char* const* rows;
};

int PaletteIndex(char letter) {
    for (int i = 0; i < 16; ++i) {
        if (kPaletteLetters[i] == letter) return i;
    }
    return -1;  // transparent
}

// One icon image as stored in an .ico file: BITMAPINFOHEADER with the
// doubled height, palette, 4-bit colour rows, 1-bit AND rows, bottom-up.
Bytes EncodeIconImage(const IconImage& image) {
    const int n = image.size;
    const int xorStride = ((n * 4 + 31) / 32) * 4;
    const int andStride = ((n + 31) / 32) * 4;
    const auto xorSize = static_cast<std::uint32_t>(xorStride * n);
    const auto andSize = static_cast<std::uint32_t>(andStride * n);

    Bytes out;
    PutInfoHeader(out, n, n * 2, 4, xorSize + andSize, 0);
    for (const Rgb8& c : kVgaPalette) {
        out.push_back(c.b);
        out.push_back(c.g);
        out.push_back(c.r);
        out.push_back(0);
    }
    for (int y = n - 1; y >= 0; --y) {
        Bytes row(static_cast<std::size_t>(xorStride), 0);
        for (int x = 0; x < n; ++x) {
            const int index = std::max(0, PaletteIndex(image.rows[y][x]));
            row[static_cast<std::size_t>(x / 2)] |=
                static_cast<std::uint8_t>(x % 2 == 0 ? index << 4 : index);
        }
        out.insert(out.end(), row.begin(), row.end());
    }
    for (int y = n - 1; y >= 0; --y) {
        Bytes row(static_cast<std::size_t>(andStride), 0);
        for (int x = 0; x < n; ++x) {
            if (PaletteIndex(image.rows[y][x]) < 0) {
                row[static_cast<std::size_t>(x / 8)] |=
                    static_cast<std::uint8_t>(0x80 >> (x % 8));
            }
        }
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

Bytes EncodeIcon(const std::vector<IconImage>& images) {
    std::vector<Bytes> encoded;
    for (const IconImage& image : images) encoded.push_back(EncodeIconImage(image));

    Bytes out;
    Put16(out, 0);  // reserved
    Put16(out, 1);  // icon
    Put16(out, static_cast<unsigned>(images.size()));
    std::uint32_t offset = static_cast<std::uint32_t>(6 + 16 * images.size());
    for (std::size_t i = 0; i < images.size(); ++i) {
        out.push_back(static_cast<std::uint8_t>(images[i].size));
        out.push_back(static_cast<std::uint8_t>(images[i].size));
        out.push_back(16);  // colours
        out.push_back(0);
        Put16(out, 1);  // planes
        Put16(out, 4);  // bits per pixel
        Put32(out, static_cast<std::uint32_t>(encoded[i].size()));
        Put32(out, offset);
        offset += static_cast<std::uint32_t>(encoded[i].size());
    }
    for (const Bytes& e : encoded) out.insert(out.end(), e.begin(), e.end());
    return out;
}

// ---------------------------------------------------------------------------
// Vector and colour helpers for the banner

struct Vec3 {
    double x = 0, y = 0, z = 0;
};

Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec3 operator*(Vec3 a, double s) { return {a.x * s, a.y * s, a.z * s}; }
Vec3 operator*(Vec3 a, Vec3 b) { return {a.x * b.x, a.y * b.y, a.z * b.z}; }
double Dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec3 Cross(Vec3 a, Vec3 b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
double Length(Vec3 a) { return std::sqrt(Dot(a, a)); }
Vec3 Normalize(Vec3 a) { return a * (1.0 / Length(a)); }
Vec3 Reflect(Vec3 d, Vec3 n) { return d - n * (2.0 * Dot(d, n)); }
Vec3 Mix(Vec3 a, Vec3 b, double t) { return a + (b - a) * t; }

double Clamp01(double v) { return std::min(1.0, std::max(0.0, v)); }
double Smoothstep(double e0, double e1, double v) {
    const double t = Clamp01((v - e0) / (e1 - e0));
    return t * t * (3.0 - 2.0 * t);
}

const double kPi = std::acos(-1.0);

// Colours are given as sRGB bytes and blended in linear light.
double ToLinear(double c) {
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}
double ToSrgb(double c) {
    c = Clamp01(c);
    return c <= 0.0031308 ? c * 12.92 : 1.055 * std::pow(c, 1.0 / 2.4) - 0.055;
}
Vec3 Srgb(int r, int g, int b) {
    return {ToLinear(r / 255.0), ToLinear(g / 255.0), ToLinear(b / 255.0)};
}

// ---------------------------------------------------------------------------
// Banner scene: three material balls on a wireframe floor.

constexpr int kBannerWidth = 240;
constexpr int kBannerHeight = 80;
constexpr int kSupersample = 4;

enum class Material { RedPlastic, Chrome, Checker };

struct Ball {
    Vec3 centre;
    double radius;
    Material material;
};

const Ball kBalls[] = {
    {{-1.35, 0.72, -0.55}, 0.72, Material::RedPlastic},
    {{0.05, 1.0, 0.55}, 1.0, Material::Chrome},
    {{1.30, 0.60, -0.85}, 0.60, Material::Checker},
};

const Vec3 kLightDir = Normalize({-0.55, 0.80, -0.40});

struct Camera {
    Vec3 eye, forward, right, up;
    double focal;   // pixels
    double cx, cy;  // principal point, banner pixels
};

Camera MakeCamera() {
    Camera cam;
    cam.eye = {0.0, 1.9, -6.2};
    const Vec3 target = {0.0, 0.75, 0.0};
    cam.forward = Normalize(target - cam.eye);
    cam.right = Normalize(Cross({0, 1, 0}, cam.forward));
    cam.up = Cross(cam.forward, cam.right);
    cam.focal = 128.0;
    cam.cx = 194.0;
    cam.cy = 46.0;
    return cam;
}

Vec3 RayThrough(const Camera& cam, double px, double py) {
    return Normalize(cam.forward + cam.right * ((px - cam.cx) / cam.focal) +
                     cam.up * ((cam.cy - py) / cam.focal));
}

struct Hit {
    double t = 1e30;
    int ball = -1;  // -1: floor (when t is finite)
};

bool HitBall(const Ball& b, Vec3 o, Vec3 d, double& t) {
    const Vec3 oc = o - b.centre;
    const double half = Dot(oc, d);
    const double c = Dot(oc, oc) - b.radius * b.radius;
    const double disc = half * half - c;
    if (disc < 0) return false;
    const double s = std::sqrt(disc);
    double root = -half - s;
    if (root < 1e-6) root = -half + s;
    if (root < 1e-6) return false;
    t = root;
    return true;
}

Hit Trace(Vec3 o, Vec3 d, int skip) {
    Hit hit;
    for (int i = 0; i < static_cast<int>(std::size(kBalls)); ++i) {
        double t;
        if (i != skip && HitBall(kBalls[i], o, d, t) && t < hit.t) {
            hit.t = t;
            hit.ball = i;
        }
    }
    if (d.y < -1e-9) {
        const double t = -o.y / d.y;
        if (t > 1e-6 && t < hit.t) {
            hit.t = t;
            hit.ball = -1;
        }
    }
    return hit;
}

// Soft shadow from the balls, in the manner of a cone test toward the light.
double SoftShadow(Vec3 p, int skip) {
    double light = 1.0;
    for (int i = 0; i < static_cast<int>(std::size(kBalls)); ++i) {
        if (i == skip) continue;
        const Ball& b = kBalls[i];
        const Vec3 oc = b.centre - p;
        const double along = Dot(oc, kLightDir);
        if (along <= 0) continue;
        const double miss = std::sqrt(std::max(0.0, Dot(oc, oc) - along * along));
        const double penumbra = 0.10 * along + 0.02;
        light = std::min(light, Smoothstep(b.radius - penumbra, b.radius + penumbra, miss));
    }
    return light;
}

// Contact darkening where the floor meets a ball.
double FloorOcclusion(Vec3 p) {
    double occ = 1.0;
    for (const Ball& b : kBalls) {
        const Vec3 toC = b.centre - p;
        const double dist2 = Dot(toC, toC);
        const double cosine = std::max(0.0, toC.y / std::sqrt(dist2));
        occ *= 1.0 - 1.3 * cosine * b.radius * b.radius / dist2;
    }
    return Clamp01(occ);
}

// Environment seen in reflections: a pale studio sky over a dark floor,
// with one soft box behind the key light. The crisp horizon is what makes
// the chrome ball read as chrome.
Vec3 Environment(Vec3 d) {
    Vec3 c;
    if (d.y >= 0) {
        c = Mix(Srgb(214, 228, 248), Srgb(52, 92, 168), std::pow(Clamp01(d.y), 0.45));
    } else {
        c = Mix(Srgb(28, 50, 104), Srgb(6, 12, 34), Clamp01(-d.y * 2.5));
    }
    const double box = Smoothstep(0.86, 0.95, Dot(d, kLightDir));
    return c + Vec3{1.0, 0.98, 0.94} * (2.2 * box);
}

// Floor colour. gradX and gradZ are how far the world x and z move per
// screen pixel at p: they keep the grid lines about a pixel wide and fade
// them out where they crowd together toward the horizon.
Vec3 FloorColour(Vec3 p, double gradX, double gradZ, double screenX) {
    const Vec3 base = Srgb(16, 30, 76);
    const double lit = std::max(0.0, kLightDir.y) * SoftShadow(p, -1);
    const double pool = std::exp(-0.18 * (p.x * p.x + p.z * p.z));  // light pool under the balls
    Vec3 c = base * (0.55 + 0.9 * lit * (0.35 + 0.65 * pool));
    c = c * FloorOcclusion(p);

    // Grid lines about one pixel wide at any depth.
    auto lineCoverage = [](double coord, double grad) {
        const double d = std::fabs(coord - std::round(coord)) / grad;  // in pixels
        const double cover = Clamp01(1.0 - d);
        const double spacing = 1.0 / grad;
        return cover * Smoothstep(2.5, 7.0, spacing);
    };
    const double grid = std::max(lineCoverage(p.x * 2.0, gradX * 2.0),
                                 lineCoverage(p.z * 2.0, gradZ * 2.0));
    const double fadeLeft = Smoothstep(30.0, 150.0, screenX);
    const double fadeFar = std::exp(-0.05 * std::max(0.0, p.z + 2.0));
    const Vec3 lineColour = Srgb(90, 170, 255);
    c = Mix(c, lineColour * (0.35 + 0.65 * lit), grid * 0.55 * fadeFar * (0.25 + 0.75 * fadeLeft));
    return c;
}

Vec3 FloorColourSimple(Vec3 p) {
    const double grad = 0.02;  // reflections are small and curved: a rough, fixed width
    return FloorColour(p, grad, grad, 240.0);
}

Vec3 ShadeBall(int index, Vec3 p, Vec3 d, int depth);

Vec3 TraceSecondary(Vec3 o, Vec3 d, int skip, int depth) {
    const Hit hit = Trace(o, d, skip);
    if (hit.t >= 1e29) return Environment(d);
    const Vec3 p = o + d * hit.t;
    if (hit.ball < 0) return FloorColourSimple(p);
    return ShadeBall(hit.ball, p, d, depth + 1);
}

Vec3 ShadeBall(int index, Vec3 p, Vec3 d, int depth) {
    const Ball& b = kBalls[index];
    const Vec3 n = Normalize(p - b.centre);
    const Vec3 v = d * -1.0;
    const double diffuse = std::max(0.0, Dot(n, kLightDir)) * SoftShadow(p, index);
    const Vec3 h = Normalize(kLightDir + v);
    const double ndh = std::max(0.0, Dot(n, h));
    const double fresnel = 0.04 + 0.96 * std::pow(1.0 - std::max(0.0, Dot(n, v)), 5.0);
    const Vec3 skyAmbient = Srgb(60, 90, 150) * (0.5 + 0.5 * n.y);
    const Vec3 bounce = Srgb(20, 40, 90) * (0.5 - 0.5 * n.y);
    const Vec3 ambient = (skyAmbient + bounce) * 0.55;

    Vec3 reflected{0, 0, 0};
    if (depth < 2) reflected = TraceSecondary(p, Reflect(d, n), index, depth);
    else reflected = Environment(Reflect(d, n));

    switch (b.material) {
        case Material::RedPlastic: {
            const Vec3 albedo = Srgb(220, 34, 28);
            Vec3 c = albedo * (ambient + Vec3{1.0, 0.97, 0.92} * (1.15 * diffuse));
            c = c + Vec3{1, 1, 1} * (1.4 * std::pow(ndh, 90.0) * (diffuse > 0 ? 1.0 : 0.0));
            return Mix(c, reflected, 0.05 + 0.55 * fresnel);
        }
        case Material::Chrome: {
            const Vec3 tint = Srgb(235, 238, 245);
            return reflected * tint * (0.8 + 0.2 * fresnel) +
                   Vec3{1, 1, 1} * (1.0 * std::pow(ndh, 200.0));
        }
        case Material::Checker: {
            // Longitude and latitude squares: the classic texture-mapping test.
            const double u = std::atan2(n.z, n.x) / (2.0 * kPi) + 0.5;
            const double vv = std::acos(std::max(-1.0, std::min(1.0, n.y))) / kPi;
            const bool odd = (static_cast<int>(std::floor(u * 16.0)) +
                              static_cast<int>(std::floor(vv * 8.0))) % 2 != 0;
            const Vec3 albedo = odd ? Srgb(245, 160, 30) : Srgb(246, 240, 226);
            Vec3 c = albedo * (ambient + Vec3{1.0, 0.97, 0.92} * (1.1 * diffuse));
            c = c + Vec3{1, 1, 1} * (0.7 * std::pow(ndh, 60.0) * (diffuse > 0 ? 1.0 : 0.0));
            return Mix(c, reflected, 0.05 + 0.5 * fresnel);
        }
    }
    return {};
}

// Backdrop where the primary ray meets nothing: a deep blue wash that
// brightens toward the balls and toward the horizon.
Vec3 Backdrop(double px, double py) {
    const double tx = px / kBannerWidth;
    const Vec3 left = Srgb(8, 18, 56);
    const Vec3 right = Srgb(34, 78, 150);
    Vec3 c = Mix(left, right, std::pow(tx, 1.3));
    const double glow = std::exp(-std::pow((py - 44.0) / 14.0, 2.0));
    c = c + Srgb(40, 80, 140) * (0.35 * glow * tx);
    return c;
}

Vec3 ScenePixel(const Camera& cam, double px, double py) {
    const Vec3 d = RayThrough(cam, px, py);
    const Hit hit = Trace(cam.eye, d, -1);
    if (hit.t >= 1e29) return Backdrop(px, py);
    const Vec3 p = cam.eye + d * hit.t;
    if (hit.ball >= 0) return ShadeBall(hit.ball, p, d, 0);

    // Floor: world size of a pixel, from the neighbouring rays.
    auto floorAt = [&](double qx, double qy) {
        const Vec3 r = RayThrough(cam, qx, qy);
        return cam.eye + r * (-cam.eye.y / std::min(-1e-6, r.y));
    };
    const Vec3 ax = floorAt(px + 1.0, py) - p;
    const Vec3 ay = floorAt(px, py + 1.0) - p;
    const double gradX = std::max(1e-6, std::hypot(ax.x, ay.x));
    const double gradZ = std::max(1e-6, std::hypot(ax.z, ay.z));
    Vec3 c = FloorColour(p, gradX, gradZ, px);
    // Haze toward the horizon, so the floor melts into the backdrop.
    const double haze = Smoothstep(6.0, 40.0, hit.t);
    return Mix(c, Backdrop(px, py), haze);
}

// ---------------------------------------------------------------------------
// Title lettering: a bold, rounded sans drawn from strokes.
//
// Glyphs are polylines in a grid where the cap height is 10 units and the
// x-height 7, y growing downward from the cap line; the baseline is y = 10.

struct Point {
    double x, y;
};
using Stroke = std::vector<Point>;

struct Glyph {
    std::vector<Stroke> strokes;
    double width;  // advance without the gap
};

Stroke Arc(double cx, double cy, double rx, double ry, double fromDeg, double toDeg) {
    Stroke s;
    const int steps = std::max(4, static_cast<int>(std::fabs(toDeg - fromDeg) / 6.0));
    for (int i = 0; i <= steps; ++i) {
        const double a = (fromDeg + (toDeg - fromDeg) * i / steps) * kPi / 180.0;
        s.push_back({cx + rx * std::cos(a), cy + ry * std::sin(a)});
    }
    return s;
}

Stroke Join(Stroke a, const Stroke& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Glyph TitleGlyph(char c) {
    switch (c) {
        case 'P':
            return {{{{0, 10}, {0, 0}, {2.6, 0}},
                     Join(Arc(2.6, 2.8, 2.8, 2.8, -90, 90), {{0, 5.6}})},
                    5.4};
        case 'a':
            return {{Arc(3.0, 6.75, 3.0, 3.25, 0, 360), {{6.0, 3.5}, {6.0, 10}}}, 6.0};
        case 'l':
            return {{{{0, 0}, {0, 10}}}, 0.0};
        case 'v':
            return {{{{0, 3.5}, {2.9, 10}, {5.8, 3.5}}}, 5.8};
        case 'n':
            return {{{{0, 3.5}, {0, 10}},
                     Join(Join({{0, 6.2}}, Arc(2.75, 6.2, 2.75, 2.7, 180, 360)), {{5.5, 10}})},
                    5.5};
        case 'e':
            return {{Join({{0.1, 6.6}, {6.0, 6.6}}, Arc(3.05, 6.75, 3.0, 3.25, -3, -318))}, 6.1};
        case '2':
            return {{Join(Arc(3.0, 3.0, 3.0, 3.0, -165, 28), {{0, 10}, {6.2, 10}})}, 6.2};
        case ' ':
            return {{}, 1.6};
        default:
            return {{}, 0};
    }
}

struct Segment {
    Point a, b;
    int colour;  // 0: main, 1: accent
};

struct Lettering {
    std::vector<Segment> segments;
    double halfWidth = 0;  // stroke half width, pixels
    double left = 0, top = 0, right = 0, bottom = 0;
};

Lettering LayOutTitle(const std::string& text, double x, double baseline, double scale,
                      double slant, size_t accentFrom) {
    Lettering out;
    const double stroke = 1.75;
    const double gap = 1.55;
    out.halfWidth = stroke * 0.5 * scale;
    double pen = stroke * 0.5;
    for (size_t i = 0; i < text.size(); ++i) {
        const Glyph g = TitleGlyph(text[i]);
        for (const Stroke& s : g.strokes) {
            for (size_t k = 0; k + 1 < s.size(); ++k) {
                auto map = [&](Point q) {
                    const double gx = pen + q.x + (10.0 - q.y) * slant;
                    return Point{x + gx * scale, baseline + (q.y - 10.0) * scale};
                };
                out.segments.push_back({map(s[k]), map(s[k + 1]), i >= accentFrom ? 1 : 0});
            }
        }
        pen += g.width + stroke + gap;
    }
    out.left = x - 2;
    out.right = x + pen * scale + 4;
    out.top = baseline - 10 * scale - 3;
    out.bottom = baseline + 4;
    return out;
}

double SegmentDistance(Point p, const Segment& s, int& colour) {
    const double dx = s.b.x - s.a.x, dy = s.b.y - s.a.y;
    const double len2 = dx * dx + dy * dy;
    double t = len2 > 0 ? ((p.x - s.a.x) * dx + (p.y - s.a.y) * dy) / len2 : 0;
    t = Clamp01(t);
    colour = s.colour;
    return std::hypot(p.x - (s.a.x + t * dx), p.y - (s.a.y + t * dy));
}

double Distance(const Lettering& l, Point p, int& colour) {
    double best = 1e30;
    colour = 0;
    for (const Segment& s : l.segments) {
        int c;
        const double d = SegmentDistance(p, s, c);
        if (d < best) {
            best = d;
            colour = c;
        }
    }
    return best;
}

Vec3 PaintTitle(const Lettering& l, double px, double py, Vec3 under) {
    if (px < l.left || px > l.right || py < l.top || py > l.bottom) return under;
    int colour;
    // Soft drop shadow, down and to the right.
    const double ds = Distance(l, {px - 1.3, py - 1.6}, colour);
    const double shadow = 1.0 - Smoothstep(l.halfWidth - 0.6, l.halfWidth + 1.6, ds);
    Vec3 c = under * (1.0 - 0.75 * shadow);
    const double d = Distance(l, {px, py}, colour);
    if (d < l.halfWidth) {
        const double t = Clamp01((py - l.top - 3) / (l.bottom - l.top - 7));
        const Vec3 fill = colour == 0 ? Mix(Srgb(255, 255, 255), Srgb(178, 206, 250), t)
                                      : Mix(Srgb(255, 214, 96), Srgb(244, 128, 20), t);
        c = fill;
    }
    return c;
}

// ---------------------------------------------------------------------------
// Tagline: a small hand-made pixel font, drawn after downsampling so that it
// stays crisp. Rows 0-7; the baseline is under row 7.

struct PixelGlyph {
    char c;
    std::array<const char*, 8> rows;
};

const PixelGlyph kPixelFont[] = {
    {'M', {"#.....#", "##...##", "#.#.#.#", "#..#..#", "#.....#", "#.....#", "#.....#", "#.....#"}},
    {'a', {".....", ".....", ".###.", "....#", ".####", "#...#", "#..##", ".##.#"}},
    {'t', {"...", ".#.", "###", ".#.", ".#.", ".#.", ".#.", "..#"}},
    {'e', {".....", ".....", ".###.", "#...#", "#####", "#....", "#...#", ".###."}},
    {'r', {"....", "....", "#.##", "##..", "#...", "#...", "#...", "#..."}},
    {'i', {"#", ".", "#", "#", "#", "#", "#", "#"}},
    {'l', {"#", "#", "#", "#", "#", "#", "#", "#"}},
    {'n', {".....", ".....", "#.##.", "##..#", "#...#", "#...#", "#...#", "#...#"}},
    {'m', {".......", ".......", "###.##.", "#..#..#", "#..#..#", "#..#..#", "#..#..#", "#..#..#"}},
    {'d', {"....#", "....#", ".####", "#...#", "#...#", "#...#", "#...#", ".####"}},
    {'o', {".....", ".....", ".###.", "#...#", "#...#", "#...#", "#...#", ".###."}},
};

const PixelGlyph* FindPixelGlyph(char c) {
    for (const PixelGlyph& g : kPixelFont) {
        if (g.c == c) return &g;
    }
    return nullptr;
}

struct Image {
    int width = 0, height = 0;
    std::vector<Vec3> pixels;  // linear light
    Vec3& at(int x, int y) { return pixels[static_cast<size_t>(y * width + x)]; }
};

void Blend(Image& img, int x, int y, Vec3 colour, double alpha) {
    if (x < 0 || y < 0 || x >= img.width || y >= img.height) return;
    img.at(x, y) = Mix(img.at(x, y), colour, alpha);
}

void DrawPixelText(Image& img, const std::string& text, int x, int top, Vec3 colour,
                   double shadowAlpha) {
    for (int pass = 0; pass < 2; ++pass) {
        int pen = x;
        for (char c : text) {
            const PixelGlyph* g = FindPixelGlyph(c);
            if (!g) {
                pen += 3;
                continue;
            }
            const int w = static_cast<int>(std::string(g->rows[0]).size());
            for (int r = 0; r < 8; ++r) {
                for (int k = 0; k < w; ++k) {
                    if (g->rows[static_cast<size_t>(r)][k] != '#') continue;
                    if (pass == 0) Blend(img, pen + k + 1, top + r + 1, {0, 0, 0}, shadowAlpha);
                    else Blend(img, pen + k, top + r, colour, 1.0);
                }
            }
            pen += w + 1;
        }
    }
}

Image RenderBanner() {
    const Camera cam = MakeCamera();
    const Lettering title = LayOutTitle("Palvane 2", 11.0, 36.0, 1.85, 0.12, 8);

    Image img;
    img.width = kBannerWidth;
    img.height = kBannerHeight;
    img.pixels.assign(static_cast<size_t>(img.width * img.height), {});
    constexpr int n = kSupersample;
    for (int y = 0; y < img.height; ++y) {
        for (int x = 0; x < img.width; ++x) {
            Vec3 sum;
            for (int sy = 0; sy < n; ++sy) {
                for (int sx = 0; sx < n; ++sx) {
                    const double px = x + (sx + 0.5) / n;
                    const double py = y + (sy + 0.5) / n;
                    Vec3 c = ScenePixel(cam, px, py);
                    c = PaintTitle(title, px, py, c);
                    sum = sum + c;
                }
            }
            img.at(x, y) = sum * (1.0 / (n * n));
        }
    }

    // A rule under the title, bright at its left end and fading out.
    const int ruleY = 43;
    for (int x = 12; x < 150; ++x) {
        const double t = (x - 12) / 138.0;
        const double a = (1.0 - t) * (1.0 - t);
        Blend(img, x, ruleY, Srgb(250, 170, 50), 0.9 * a);
        Blend(img, x + 1, ruleY + 1, {0, 0, 0}, 0.5 * a);
    }

    DrawPixelText(img, "Material name editor", 13, 48, Srgb(196, 214, 242), 0.6);

    // One-pixel frame so the banner has a clean edge on the dialog's grey.
    const Vec3 frame = Srgb(6, 12, 36);
    for (int x = 0; x < img.width; ++x) {
        img.at(x, 0) = frame;
        img.at(x, img.height - 1) = frame;
    }
    for (int y = 0; y < img.height; ++y) {
        img.at(0, y) = frame;
        img.at(img.width - 1, y) = frame;
    }
    return img;
}

// 24-bit bottom-up BMP, with a light ordered dither against banding.
Bytes EncodeBmp(Image& img) {
    static const int bayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
    const int stride = (img.width * 3 + 3) / 4 * 4;
    const auto imageSize = static_cast<std::uint32_t>(stride * img.height);
    Bytes out;
    out.push_back('B');
    out.push_back('M');
    Put32(out, 14 + 40 + imageSize);
    Put32(out, 0);
    Put32(out, 14 + 40);
    PutInfoHeader(out, img.width, img.height, 24, imageSize, 2835);
    for (int y = img.height - 1; y >= 0; --y) {
        Bytes row(static_cast<size_t>(stride), 0);
        for (int x = 0; x < img.width; ++x) {
            const Vec3 c = img.at(x, y);
            const double dither = (bayer[y % 4][x % 4] + 0.5) / 16.0;
            auto q = [&](double v) {
                return static_cast<std::uint8_t>(std::min(255.0, std::floor(ToSrgb(v) * 255.0 + dither)));
            };
            row[static_cast<size_t>(x * 3 + 0)] = q(c.z);
            row[static_cast<size_t>(x * 3 + 1)] = q(c.y);
            row[static_cast<size_t>(x * 3 + 2)] = q(c.x);
        }
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string iconPath = argc > 1 ? argv[1] : "resources/palvane2.ico";
    const std::string bannerPath = argc > 2 ? argv[2] : "resources/banner.bmp";

    if (!WriteAll(iconPath, EncodeIcon({{32, kIcon32}, {16, kIcon16}}))) {
        std::fprintf(stderr, "make_art: cannot write %s\n", iconPath.c_str());
        return 1;
    }
    Image banner = RenderBanner();
    if (!WriteAll(bannerPath, EncodeBmp(banner))) {
        std::fprintf(stderr, "make_art: cannot write %s\n", bannerPath.c_str());
        return 1;
    }
    return 0;
}
