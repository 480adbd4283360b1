// modelgen: builds the product scene's models from code and writes each as udftool text,
// which `udftool build` turns into the binary documents of the media archive. Every build
// makes the same bytes: the shapes come from closed formulas, never from random numbers.
//
//   modelgen <output folder>
//
// writes Ground.txt, Sky.txt, Box.txt, Quad.txt, Palm.txt and Flare1.txt .. Flare4.txt.
//
// Every mesh uses one vertex layout of 56 bytes: position, normal, texture coordinates,
// tangent and binormal (the tangent frame the bump effects read: tangent along +u,
// binormal along +v of the texture). Triangles are wound so that the side their normals
// face is the front under counter-clockwise culling, indices are 16-bit (each mesh stays
// below 32,768 indices, so the engine keeps 16-bit index buffers), and each mesh carries
// its face adjacency, found by shared edge positions.
//
// The world: y up; the dunes span x, z in [-30000, 30000] with heights 0 to about 300,
// flat around the great pyramid at the origin, the monument around M = (4000, 0, -5700),
// the small pyramid and the oasis. The monument's objects stand under the five glow
// centres of the screen configuration, their tops 20 to 60 below them.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;

struct V3 {
    double x = 0, y = 0, z = 0;
};

V3 operator+(V3 a, V3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
V3 operator-(V3 a, V3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
V3 operator*(V3 a, double k) { return {a.x * k, a.y * k, a.z * k}; }
double Dot(V3 a, V3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
V3 Cross(V3 a, V3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
double Length(V3 v) { return std::sqrt(Dot(v, v)); }
V3 Unit(V3 v) {
    const double n = Length(v);
    return n > 1e-12 ? v * (1.0 / n) : V3{};
}

struct Vertex {
    V3 p, n;
    double u = 0, v = 0;
    V3 t, b;
};

// The vertex declaration: position FLOAT3 at 0, normal FLOAT3 at 12, texture coordinates
// FLOAT2 at 24, tangent FLOAT3 at 32, binormal FLOAT3 at 44, then the end element; 32
// elements of 8 bytes {stream, offset, type, method, usage, usage index}.
constexpr int kMaxIndices = 32767;  // below this count the engine keeps 16-bit indices

std::string DeclarationHex() {
    struct Element {
        int offset, type, usage;
    };
    const Element elements[] = {{0, 2, 0}, {12, 2, 3}, {24, 1, 5}, {32, 2, 6}, {44, 2, 7}};
    std::string hex;
    char word[17];
    for (const Element& e : elements) {
        std::snprintf(word, sizeof word, "0000%02x%02x%02x00%02x00", e.offset & 0xff, e.offset >> 8, e.type, e.usage);
        hex += word;
        hex += ' ';
    }
    hex += "ff00000011000000";  // the end element: stream 0xFF, type unused
    for (int i = 6; i < 32; ++i) hex += " 0000000000000000";
    return hex;
}

// A triangle list being built. Tri() winds each triangle so that its front faces the way
// its vertex normals point; Finish() fills the tangent frames from the texture coordinates.
struct Mesh {
    std::vector<Vertex> vertices;
    std::vector<uint32_t> indices;

    uint32_t Add(const Vertex& v) {
        vertices.push_back(v);
        return static_cast<uint32_t>(vertices.size() - 1);
    }
    uint32_t Add(V3 p, V3 n, double u, double v) {
        Vertex x;
        x.p = p;
        x.n = Unit(n);
        x.u = u;
        x.v = v;
        return Add(x);
    }
    void Tri(uint32_t a, uint32_t b, uint32_t c) {
        const V3 face = Cross(vertices[b].p - vertices[a].p, vertices[c].p - vertices[a].p);
        const V3 normal = vertices[a].n + vertices[b].n + vertices[c].n;
        if (Dot(face, normal) < 0) std::swap(b, c);
        indices.insert(indices.end(), {a, b, c});
    }
    // A flat quad p0 p1 p2 p3 (in order round its edge) facing `normal`, its texture
    // coordinates (u0, v0) at p0 and (u1, v1) at p2.
    void Quad(V3 p0, V3 p1, V3 p2, V3 p3, V3 normal, double u0, double v0, double u1, double v1) {
        const uint32_t a = Add(p0, normal, u0, v0);
        const uint32_t b = Add(p1, normal, u1, v0);
        const uint32_t c = Add(p2, normal, u1, v1);
        const uint32_t d = Add(p3, normal, u0, v1);
        Tri(a, b, c);
        Tri(a, c, d);
    }
    void Append(const Mesh& other) {
        const uint32_t base = static_cast<uint32_t>(vertices.size());
        vertices.insert(vertices.end(), other.vertices.begin(), other.vertices.end());
        for (uint32_t i : other.indices) indices.push_back(base + i);
    }
    size_t Triangles() const { return indices.size() / 3; }

    // Tangent along +u and binormal along +v of the texture, each made perpendicular to
    // the normal; a vertex whose triangles map no texture area keeps any perpendicular pair.
    void Finish() {
        std::vector<V3> tu(vertices.size()), tv(vertices.size());
        for (size_t i = 0; i + 2 < indices.size(); i += 3) {
            const Vertex& a = vertices[indices[i]];
            const Vertex& b = vertices[indices[i + 1]];
            const Vertex& c = vertices[indices[i + 2]];
            const V3 e1 = b.p - a.p, e2 = c.p - a.p;
            const double du1 = b.u - a.u, dv1 = b.v - a.v, du2 = c.u - a.u, dv2 = c.v - a.v;
            const double det = du1 * dv2 - du2 * dv1;
            if (std::fabs(det) < 1e-12) continue;
            const V3 su = (e1 * dv2 - e2 * dv1) * (1.0 / det);
            const V3 sv = (e2 * du1 - e1 * du2) * (1.0 / det);
            for (int k = 0; k < 3; ++k) {
                tu[indices[i + k]] = tu[indices[i + k]] + su;
                tv[indices[i + k]] = tv[indices[i + k]] + sv;
            }
        }
        for (size_t i = 0; i < vertices.size(); ++i) {
            Vertex& v = vertices[i];
            V3 t = Unit(tu[i] - v.n * Dot(v.n, tu[i]));
            if (Length(t) < 0.5) t = Unit(Cross(std::fabs(v.n.y) < 0.9 ? V3{0, 1, 0} : V3{1, 0, 0}, v.n));
            V3 b = tv[i] - v.n * Dot(v.n, tv[i]) - t * Dot(t, tv[i]);
            b = Unit(b);
            if (Length(b) < 0.5) b = Unit(Cross(v.n, t));
            v.t = t;
            v.b = b;
        }
    }

    // Face adjacency: for each edge of each triangle the triangle that has the same edge
    // (by position) the other way round, or 0xFFFFFFFF.
    std::vector<uint32_t> Adjacency() const {
        std::map<std::tuple<double, double, double>, uint32_t> ids;
        std::vector<uint32_t> id(vertices.size());
        for (size_t i = 0; i < vertices.size(); ++i) {
            const auto key = std::make_tuple(vertices[i].p.x, vertices[i].p.y, vertices[i].p.z);
            id[i] = ids.emplace(key, static_cast<uint32_t>(ids.size())).first->second;
        }
        std::map<std::pair<uint32_t, uint32_t>, uint32_t> edges;
        const size_t faces = indices.size() / 3;
        for (size_t f = 0; f < faces; ++f)
            for (int k = 0; k < 3; ++k)
                edges.emplace(std::make_pair(id[indices[3 * f + k]], id[indices[3 * f + (k + 1) % 3]]),
                              static_cast<uint32_t>(f));
        std::vector<uint32_t> out(faces * 3, 0xFFFFFFFFu);
        for (size_t f = 0; f < faces; ++f)
            for (int k = 0; k < 3; ++k) {
                const auto it =
                    edges.find(std::make_pair(id[indices[3 * f + (k + 1) % 3]], id[indices[3 * f + k]]));
                if (it != edges.end() && it->second != f) out[3 * f + k] = it->second;
            }
        return out;
    }
};

// ---- shapes -----------------------------------------------------------------------------

// A box of centre c and size s, textured `tile` units to a texture repeat.
void Box(Mesh& m, V3 c, V3 s, double tile) {
    const V3 h = s * 0.5;
    const V3 lo = c - h, hi = c + h;
    m.Quad({lo.x, hi.y, lo.z}, {hi.x, hi.y, lo.z}, {hi.x, hi.y, hi.z}, {lo.x, hi.y, hi.z}, {0, 1, 0}, 0, 0,
           s.x / tile, s.z / tile);
    m.Quad({lo.x, lo.y, lo.z}, {hi.x, lo.y, lo.z}, {hi.x, lo.y, hi.z}, {lo.x, lo.y, hi.z}, {0, -1, 0}, 0, 0,
           s.x / tile, s.z / tile);
    m.Quad({lo.x, hi.y, lo.z}, {hi.x, hi.y, lo.z}, {hi.x, lo.y, lo.z}, {lo.x, lo.y, lo.z}, {0, 0, -1}, 0, 0,
           s.x / tile, s.y / tile);
    m.Quad({hi.x, hi.y, hi.z}, {lo.x, hi.y, hi.z}, {lo.x, lo.y, hi.z}, {hi.x, lo.y, hi.z}, {0, 0, 1}, 0, 0,
           s.x / tile, s.y / tile);
    m.Quad({lo.x, hi.y, hi.z}, {lo.x, hi.y, lo.z}, {lo.x, lo.y, lo.z}, {lo.x, lo.y, hi.z}, {-1, 0, 0}, 0, 0,
           s.z / tile, s.y / tile);
    m.Quad({hi.x, hi.y, lo.z}, {hi.x, hi.y, hi.z}, {hi.x, lo.y, hi.z}, {hi.x, lo.y, lo.z}, {1, 0, 0}, 0, 0,
           s.z / tile, s.y / tile);
}

// A square frustum standing on (cx, y0, cz): half-width a at the bottom, b at the top y1,
// with flat sides and, when b > 0, a top cap.
void Frustum(Mesh& m, V3 base, double a, double b, double y1, double tile) {
    const double y0 = base.y;
    const V3 corners[4] = {{-1, 0, -1}, {1, 0, -1}, {1, 0, 1}, {-1, 0, 1}};
    for (int i = 0; i < 4; ++i) {
        const V3 c0 = corners[i], c1 = corners[(i + 1) % 4];
        const V3 p0 = base + V3{c0.x * a, 0, c0.z * a}, p1 = base + V3{c1.x * a, 0, c1.z * a};
        const V3 p2 = V3{base.x + c1.x * b, y1, base.z + c1.z * b}, p3 = V3{base.x + c0.x * b, y1, base.z + c0.z * b};
        const V3 outward = Unit((c0 + c1) * 0.5);
        const V3 normal = Unit(outward * (y1 - y0) + V3{0, a - b, 0});
        const double slant = std::sqrt((a - b) * (a - b) + (y1 - y0) * (y1 - y0));
        if (b > 0) {
            m.Quad(p3, p2, p1, p0, normal, 0, 0, 2 * a / tile, slant / tile);
        } else {
            const uint32_t i0 = m.Add(p0, normal, 0, slant / tile);
            const uint32_t i1 = m.Add(p1, normal, 2 * a / tile, slant / tile);
            const uint32_t i2 = m.Add(p2, normal, a / tile, 0);
            m.Tri(i0, i1, i2);
        }
    }
    if (b > 0)
        m.Quad({base.x - b, y1, base.z - b}, {base.x + b, y1, base.z - b}, {base.x + b, y1, base.z + b},
               {base.x - b, y1, base.z + b}, {0, 1, 0}, 0, 0, 2 * b / tile, 2 * b / tile);
}

// A pyramid on its base centre: side, height; the base underneath closes it for shadows.
void Pyramid(Mesh& m, V3 base, double side, double height, double tile) {
    Frustum(m, base, side * 0.5, 0, base.y + height, tile);
    const double h = side * 0.5;
    m.Quad({base.x - h, base.y, base.z - h}, {base.x + h, base.y, base.z - h}, {base.x + h, base.y, base.z + h},
           {base.x - h, base.y, base.z + h}, {0, -1, 0}, 0, 0, side / tile, side / tile);
}

// An obelisk: a tapered shaft on a low footing, ending in a small pyramid; top at y = top.
void Obelisk(Mesh& m, V3 base, double top) {
    const double footing = 14, tip = 26;
    Box(m, base + V3{0, footing * 0.5, 0}, {70, footing, 70}, 80);
    Frustum(m, base + V3{0, footing, 0}, 24, 15, top - tip, 80);
    Frustum(m, V3{base.x, top - tip, base.z}, 15, 0, top, 80);
}

// A seated figure facing -z (towards the centre of the monument), top of the head at `top`.
void SeatedFigure(Mesh& m, V3 base, double top) {
    const double k = (top - base.y) / 160.0;  // drawn 160 high, then scaled
    auto box = [&](double x, double y, double z, double w, double h, double d) {
        Box(m, base + V3{x * k, y * k, z * k}, {w * k, h * k, d * k}, 60);
    };
    box(0, 10, 0, 90, 20, 110);     // plinth
    box(0, 40, 12, 60, 40, 60);     // seat
    box(-14, 66, -12, 22, 12, 56);  // thighs
    box(14, 66, -12, 22, 12, 56);
    box(-14, 40, -36, 18, 40, 16);  // shins
    box(14, 40, -36, 18, 40, 16);
    Frustum(m, base + V3{0, 60 * k, 14 * k}, 24 * k, 16 * k, base.y + 118 * k, 60);  // torso
    box(0, 128, 14, 22, 20, 22);                                                       // head
    Frustum(m, base + V3{0, 138 * k, 14 * k}, 14 * k, 6 * k, base.y + 160 * k, 60);   // crown
}

// A ring (a torus of square section) in the x-y plane about c: radius r, section half-width w.
void Ring(Mesh& m, V3 c, double r, double w, int segments) {
    for (int i = 0; i < segments; ++i) {
        const double a0 = 2 * kPi * i / segments, a1 = 2 * kPi * (i + 1) / segments;
        const V3 d0{std::cos(a0), std::sin(a0), 0}, d1{std::cos(a1), std::sin(a1), 0};
        const double u0 = double(i) / segments * 4, u1 = double(i + 1) / segments * 4;
        // Outer, inner, front (-z) and back (+z) faces of the segment.
        m.Quad(c + d0 * (r + w) + V3{0, 0, -w}, c + d1 * (r + w) + V3{0, 0, -w}, c + d1 * (r + w) + V3{0, 0, w},
               c + d0 * (r + w) + V3{0, 0, w}, (d0 + d1) * 0.5, u0, 0, u1, 0.5);
        m.Quad(c + d0 * (r - w) + V3{0, 0, -w}, c + d1 * (r - w) + V3{0, 0, -w}, c + d1 * (r - w) + V3{0, 0, w},
               c + d0 * (r - w) + V3{0, 0, w}, (d0 + d1) * -0.5, u0, 0, u1, 0.5);
        m.Quad(c + d0 * (r - w) + V3{0, 0, -w}, c + d1 * (r - w) + V3{0, 0, -w}, c + d1 * (r + w) + V3{0, 0, -w},
               c + d0 * (r + w) + V3{0, 0, -w}, {0, 0, -1}, u0, 0, u1, 0.5);
        m.Quad(c + d0 * (r - w) + V3{0, 0, w}, c + d1 * (r - w) + V3{0, 0, w}, c + d1 * (r + w) + V3{0, 0, w},
               c + d0 * (r + w) + V3{0, 0, w}, {0, 0, 1}, u0, 0, u1, 0.5);
    }
}

// Moves a mesh built upright (y up, its base at the origin) into a node frame whose
// direction row is world +y and whose up row is world +z (side row -x), so that the scene
// can spin it about y by turning the node's up vector. Local = (-X, Z, Y).
void ToSpinFrame(Mesh& m) {
    auto swap = [](V3 v) { return V3{-v.x, v.z, v.y}; };
    for (Vertex& v : m.vertices) {
        v.p = swap(v.p);
        v.n = swap(v.n);
    }
}

// ---- the dunes ------------------------------------------------------------------------

struct FlatArea {
    double x, z, radius;
};

// Flat within each radius, easing into the dunes over the next 1500 units.
const FlatArea kFlatAreas[] = {
    {4000, -5700, 3600},  // the monument
    {0, 0, 3200},         // the great pyramid
    {-4500, 3000, 2300},  // the small pyramid
    {-3000, -4000, 1800}, // the oasis
};
constexpr double kEase = 1500;

double SmoothStep(double e0, double e1, double x) {
    const double t = std::clamp((x - e0) / (e1 - e0), 0.0, 1.0);
    return t * t * (3 - 2 * t);
}

double DuneHeight(double x, double z) {
    double mask = 1;
    for (const FlatArea& f : kFlatAreas) {
        const double d = std::hypot(x - f.x, z - f.z);
        mask = std::min(mask, SmoothStep(f.radius, f.radius + kEase, d));
    }
    if (mask <= 0) return 0;
    // Long crests across the wind, bent by a slower swell, with a little ripple.
    const double crest = std::sin(x * 0.00041 + z * 0.00017 + 1.3 * std::sin(z * 0.00013 + 0.7));
    const double swell = std::sin(x * 0.00011 - z * 0.00023 + 2.1);
    const double ripple = std::sin(x * 0.0013 + z * 0.0009) * std::sin(z * 0.0011 - x * 0.0004);
    const double h = 150 + 95 * crest + 45 * swell + 10 * ripple;
    return std::clamp(h, 0.0, 300.0) * mask;
}

V3 DuneNormal(double x, double z) {
    const double e = 20;
    const double dx = (DuneHeight(x + e, z) - DuneHeight(x - e, z)) / (2 * e);
    const double dz = (DuneHeight(x, z + e) - DuneHeight(x, z - e)) / (2 * e);
    return Unit({-dx, 1, -dz});
}

constexpr double kGroundHalf = 30000;
constexpr int kGroundCells = 152;  // cells per side: 153 x 153 vertices
constexpr int kGroundTiles = 4;    // tiles per side, each its own mesh
constexpr double kSandRepeat = 1200;

Mesh DuneTile(int tx, int tz) {
    Mesh m;
    const int cells = kGroundCells / kGroundTiles;
    const double step = 2 * kGroundHalf / kGroundCells;
    for (int j = 0; j <= cells; ++j)
        for (int i = 0; i <= cells; ++i) {
            const double x = -kGroundHalf + (tx * cells + i) * step;
            const double z = -kGroundHalf + (tz * cells + j) * step;
            m.Add({x, DuneHeight(x, z), z}, DuneNormal(x, z), x / kSandRepeat, -z / kSandRepeat);
        }
    const int row = cells + 1;
    for (int j = 0; j < cells; ++j)
        for (int i = 0; i < cells; ++i) {
            const uint32_t a = j * row + i, b = a + 1, c = a + row, d = c + 1;
            m.Tri(a, c, d);
            m.Tri(a, d, b);
        }
    return m;
}

// ---- text output ------------------------------------------------------------------------

std::string Real(double v) {
    if (std::fabs(v) < 1e-9) v = 0;  // no "-0" in the documents
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", static_cast<float>(v));
    return text;
}

std::string Quote(const std::string& s) { return "\"" + s + "\""; }

class Writer {
public:
    explicit Writer(const std::string& comment) { out_ << "udf-text 1\n// " << comment << "\n"; }

    void Open(const std::string& name, const std::string& type, int count = -1) {
        Indent();
        out_ << "node " << Quote(name) << ' ' << Quote(type);
        if (count >= 0) out_ << " [" << count << ']';
        out_ << " {\n";
        ++depth_;
    }
    void Close() {
        --depth_;
        Indent();
        out_ << "}\n";
    }
    void Text(const std::string& name, const std::string& value) {
        Indent();
        out_ << "value " << Quote(name) << " \"String\" = text " << Quote(value + "\\x00") << '\n';
    }
    void Int(const std::string& name, long long value) {
        Indent();
        out_ << "value " << Quote(name) << " \"int\" = int " << value << '\n';
    }
    void Reals(const std::string& name, const std::string& type, const std::vector<double>& values) {
        Indent();
        out_ << "value " << Quote(name) << ' ' << Quote(type) << " = real";
        for (double v : values) out_ << ' ' << Real(v);
        out_ << '\n';
    }
    void Raw(const std::string& line) {
        Indent();
        out_ << line << '\n';
    }
    void Props(const std::vector<std::pair<std::string, std::string>>& props) {
        Open("Props", "Props");
        for (const auto& [key, value] : props) Text(key, value);
        Close();
    }
    // The node's transform: rows side, up, direction and the position.
    void Transforms(V3 side, V3 up, V3 dir, V3 pos) {
        Indent();
        out_ << "value \"NodeTM\" \"matrix\" = real";
        for (double v : {side.x, side.y, side.z, 0.0, up.x, up.y, up.z, 0.0, dir.x, dir.y, dir.z, 0.0, pos.x, pos.y,
                         pos.z, 1.0})
            out_ << ' ' << Real(v);
        out_ << " int 0\n";
        Indent();
        out_ << "value \"ObjectTM\" \"matrix\" = real 1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1 int 0\n";
    }
    void Translation(V3 pos) { Transforms({1, 0, 0}, {0, 1, 0}, {0, 0, 1}, pos); }
    void WriteMesh(Mesh& mesh, const std::string& material) {
        mesh.Finish();
        Text("MaterialName", material);
        Int("IndexSize", 2);
        Int("NumVerts", static_cast<long long>(mesh.vertices.size()));
        Int("NumIndexes", static_cast<long long>(mesh.indices.size()));
        Raw("value \"DECL\" \"byte\" = hex " + DeclarationHex());
        Indent();
        out_ << "value \"Verts\" \"byte\" = real";
        for (const Vertex& v : mesh.vertices) {
            for (double f : {v.p.x, v.p.y, v.p.z, v.n.x, v.n.y, v.n.z, v.u, v.v, v.t.x, v.t.y, v.t.z, v.b.x, v.b.y,
                             v.b.z})
                out_ << ' ' << Real(f);
        }
        out_ << '\n';
        Indent();
        out_ << "value \"Indexes\" \"byte\" = hex ";
        char hex[8];
        for (uint32_t i : mesh.indices) {
            std::snprintf(hex, sizeof hex, "%02x%02x", i & 0xff, (i >> 8) & 0xff);
            out_ << hex;
        }
        out_ << '\n';
        Indent();
        out_ << "value \"Adjacency\" \"byte\" = int";
        for (uint32_t a : mesh.Adjacency()) {
            if (a == 0xFFFFFFFFu)
                out_ << " 0xffffffff";
            else
                out_ << ' ' << a;
        }
        out_ << '\n';
    }
    // A rotation track of keys (time in seconds, quaternion x y z w), interpolated linearly.
    void RotationKeys(const std::vector<std::vector<double>>& keys) {
        Open("Animation", "Animation");
        Open("Rotation", "Linear", static_cast<int>(keys.size()));
        for (size_t i = 0; i < keys.size(); ++i) {
            std::vector<double> v = keys[i];
            v.resize(8, 0.0);
            Reals(std::to_string(i), "AniKey", v);
        }
        Close();
        Close();
    }
    std::string str() const { return out_.str(); }

private:
    void Indent() {
        for (int i = 0; i < depth_; ++i) out_ << "  ";
    }
    std::ostringstream out_;
    int depth_ = 0;
};

struct TextureMap {
    std::string kind, file;
    double amount = 1;
    std::string address = "Wrap";
};

void Material(Writer& w, const std::string& name, const std::vector<TextureMap>& maps, bool twoSided = false,
              int subId = -1) {
    w.Open(name, "Material");
    if (subId >= 0) w.Int("MaterialSubId", subId);
    w.Reals("Ambient", "color", {1, 1, 1, 1});
    w.Reals("Diffuse", "color", {1, 1, 1, 1});
    w.Reals("Specular", "color", {1, 0.2, 0.2, 0.2});
    w.Reals("ShineStrength", "float", {0.5});
    if (twoSided) w.Int("TwoSided", 1);
    if (!maps.empty()) {
        w.Open("Textures", "Textures");
        int i = 0;
        for (const TextureMap& map : maps) {
            w.Open("Map" + std::to_string(i++), map.kind);
            w.Text("FileName", map.file);
            w.Reals("Amount", "float", {map.amount});
            w.Text("TexAddrU", map.address);
            w.Text("TexAddrV", map.address);
            w.Close();
        }
        w.Close();
    }
    w.Close();
}

// A quaternion about a unit axis.
std::vector<double> AxisAngle(double time, V3 axis, double angle) {
    const double s = std::sin(angle * 0.5);
    return {time, axis.x * s, axis.y * s, axis.z * s, std::cos(angle * 0.5)};
}

// Keys of a sine sway about `axis`: amplitude in radians, one period, sampled `count` times
// and closed on the first key so that looping never jumps.
std::vector<std::vector<double>> SwayKeys(V3 axis, double amplitude, double period, int count) {
    std::vector<std::vector<double>> keys;
    for (int i = 0; i <= count; ++i) {
        const double t = period * i / count;
        keys.push_back(AxisAngle(t, Unit(axis), amplitude * std::sin(2 * kPi * i / count)));
    }
    return keys;
}

struct Counts {
    std::string model;
    size_t triangles = 0;
};
std::vector<Counts> gCounts;
bool gTooLarge = false;

// Tallies a model's triangles and refuses a mesh that 16-bit indices cannot draw as one.
void Count(const std::string& model, const Mesh& mesh) {
    if (mesh.indices.size() > kMaxIndices || mesh.vertices.size() > 0xFFFF) {
        std::fprintf(stderr, "modelgen: a mesh of %s is too large for 16-bit indices\n", model.c_str());
        gTooLarge = true;
    }
    for (Counts& c : gCounts)
        if (c.model == model) {
            c.triangles += mesh.Triangles();
            return;
        }
    gCounts.push_back({model, mesh.Triangles()});
}

// A mesh node: its name, transform (a translation unless given), material, mesh and props.
void MeshNode(Writer& w, const std::string& model, const std::string& name, V3 pos, Mesh mesh,
              const std::string& material, std::vector<std::pair<std::string, std::string>> props = {}) {
    Count(model, mesh);
    w.Open(name, "Mesh");
    w.Translation(pos);
    props.insert(props.begin(), {"OptimizeMesh", mesh.Triangles() > 16 ? "1" : "0"});
    w.Props(props);
    w.WriteMesh(mesh, material);
    w.Close();
}

// ---- the models -------------------------------------------------------------------------

const V3 kMonument{4000, 0, -5700};
const V3 kGlows[5] = {{3991.92, 362.159, -5689.91},
                      {2429.901, 246.366, -5765.933},
                      {3971.346, 204.393, -4378.271},
                      {5552.187, 287.406, -5624.252},
                      {4079.957, 260.145, -7070.375}};
const V3 kOasis{-3000, 0, -4000};
constexpr double kFloorY = 4;

std::string Ground() {
    Writer w("The dunes with the pyramids, the monument and the oasis.");
    w.Reals("AmbColor", "color", {1, 0.4, 0.4, 0.4});
    w.Open("Materials", "Material");
    Material(w, "Sand", {{"Diffuse", "sand.jpg"}, {"Bump", "sand_h.png", 1.0}});
    Material(w, "Stone", {{"Diffuse", "stone.jpg"}});
    Material(w, "Gold", {{"Diffuse", "gold.jpg"}});
    w.Open("Floor", "Material");
    w.Open("Materials", "Material");
    Material(w, "FloorStone", {{"Diffuse", "stone.jpg"}}, false, 0);
    Material(w, "FloorLightMap", {{"Diffuse", "lightmap.jpg"}}, false, 1);  // the name picks modulate x2
    w.Close();
    w.Close();
    w.Close();

    w.Open("Children", "Node");
    for (int tz = 0; tz < kGroundTiles; ++tz)
        for (int tx = 0; tx < kGroundTiles; ++tx)
            MeshNode(w, "Ground", "Dunes" + std::to_string(tz) + std::to_string(tx), {}, DuneTile(tx, tz), "Sand");

    // The great pyramid, with its bounding box given (the scene tests the sun against it).
    {
        Mesh m;
        Pyramid(m, {0, 0, 0}, 4400, 2800, 500);
        Count("Ground", m);
        w.Open("Object01", "Mesh");
        w.Translation({});
        w.Reals("Bounds", "box", {0, 1400, 0, 4400, 2800, 4400});
        w.Props({{"OptimizeMesh", "0"}});
        w.WriteMesh(m, "Stone");
        w.Close();
    }
    {
        Mesh m;
        Pyramid(m, {0, 0, 0}, 2400, 1500, 500);
        MeshNode(w, "Ground", "Pyr1", {-4500, 0, 3000}, m, "Stone");
    }

    // The stone floor of the monument, its light map as the second layer.
    {
        Mesh m;
        const int cells = 8;
        const double half = 1900, step = 2 * half / cells;
        for (int j = 0; j < cells; ++j)
            for (int i = 0; i < cells; ++i) {
                const double x0 = -half + i * step, z0 = -half + j * step;
                m.Quad({x0, 0, z0}, {x0 + step, 0, z0}, {x0 + step, 0, z0 + step}, {x0, 0, z0 + step}, {0, 1, 0},
                       double(i) / cells * 3, double(cells - j) / cells * 3, double(i + 1) / cells * 3,
                       double(cells - j - 1) / cells * 3);
            }
        MeshNode(w, "Ground", "Object11", kMonument + V3{0, kFloorY, 0}, m, "Floor");
    }

    // The ankh on its plinth (glow 0), the plinth and the pillar (glow 4) in one node.
    const double plinthTop = 100;
    {
        Mesh m;
        const V3 plinth = kGlows[0] - V3{0, kGlows[0].y, 0};
        Box(m, {0, 8, 0}, {200, 16, 200}, 80);
        Frustum(m, {0, 16, 0}, 75, 65, plinthTop - 10, 80);
        Box(m, {0, plinthTop - 5, 0}, {160, 10, 160}, 80);
        const V3 pillar = kGlows[4] - V3{0, kGlows[4].y, 0} - plinth;
        const double pillarTop = kGlows[4].y - 40;
        Box(m, pillar + V3{0, 8, 0}, {110, 16, 110}, 80);
        Frustum(m, pillar + V3{0, 16, 0}, 34, 28, pillarTop - 24, 80);
        Box(m, pillar + V3{0, pillarTop - 12, 0}, {90, 24, 90}, 80);
        MeshNode(w, "Ground", "Object012", plinth, m, "Gold");
    }
    {
        // Built upright (220 high), then turned into the spin frame; the pivot is its base.
        Mesh m;
        Box(m, {0, 65, 0}, {26, 130, 20}, 60);         // the shaft
        Box(m, {0, 130, 0}, {120, 22, 20}, 60);        // the arms
        Ring(m, {0, 178, 0}, 38, 11, 16);              // the loop, its top at 227 - 7 inset
        ToSpinFrame(m);
        const V3 at = kGlows[0] - V3{0, kGlows[0].y - plinthTop, 0};
        Count("Ground", m);
        w.Open("Ankh", "Mesh");
        w.Transforms({-1, 0, 0}, {0, 0, 1}, {0, 1, 0}, at);
        w.Props({{"OptimizeMesh", "1"}});
        w.WriteMesh(m, "Gold");
        w.Close();
    }
    {
        Mesh m;
        Obelisk(m, {0, 0, 0}, kGlows[1].y - 40);
        MeshNode(w, "Ground", "Object02", kGlows[1] - V3{0, kGlows[1].y, 0}, m, "Gold");
    }
    {
        Mesh m;
        SeatedFigure(m, {0, 0, 0}, kGlows[2].y - 40);
        MeshNode(w, "Ground", "figure01", kGlows[2] - V3{0, kGlows[2].y, 0}, m, "Gold");
    }
    {
        Mesh m;
        Obelisk(m, {0, 0, 0}, kGlows[3].y - 40);
        MeshNode(w, "Ground", "Object05", kGlows[3] - V3{0, kGlows[3].y, 0}, m, "Gold");
    }

    // The palms' places: small markers the scene replaces with the palm model.
    for (int i = 0; i < 8; ++i) {
        const double a = 2 * kPi * i / 8 + 0.4 * std::sin(i * 1.7);
        const double r = 500 + 800 * (0.5 + 0.5 * std::sin(i * 2.3 + 0.5));
        Mesh m;
        Frustum(m, {0, 0, 0}, 20, 0, 60, 60);
        MeshNode(w, "Ground", "Palm0" + std::to_string(i + 1),
                 kOasis + V3{r * std::cos(a), 0, r * std::sin(a)}, m, "Stone");
    }

    // The animated part: a banner on a pole at a corner of the floor, swinging in the wind.
    const V3 pole = kMonument + V3{1700, 0, 1700};
    {
        Mesh m;
        Box(m, {0, 200, 0}, {10, 400, 10}, 60);
        MeshNode(w, "Ground", "Pole01", pole, m, "Gold");
    }
    {
        Mesh m;
        // Hangs from the pivot at the top of the pole, out towards +x, both sides drawn.
        m.Quad({5, 0, 0}, {125, 0, 0}, {125, -200, 0}, {5, -200, 0}, {0, 0, -1}, 0, 0, 1, 1);
        m.Quad({125, 0, 0}, {5, 0, 0}, {5, -200, 0}, {125, -200, 0}, {0, 0, 1}, 1, 0, 0, 1);
        Count("Ground", m);
        w.Open("Banner01", "Mesh");
        w.Translation(pole + V3{0, 390, 0});
        w.Props({{"OptimizeMesh", "0"}});
        w.WriteMesh(m, "Gold");
        w.RotationKeys(SwayKeys({0, 1, 0}, 0.35, 6.0, 12));
        w.Close();
    }
    w.Close();
    return w.str();
}

// The sky box: five inward faces, each mapped as the sky renderer projects it from the
// centre: ft +z (u, -v, 1), bk -z (-u, -v, -1), lf -x (-1, -v, u), rt +x (1, -v, -u),
// up +y (u, 1, -v), with u, v in [-1, 1] across the picture. The side faces end at
// y = -2000 (v = 0.125), where the dunes hide them anyway.
std::string Sky() {
    Writer w("The sky box: inward faces up, front, back, left and right.");
    struct Face {
        const char *node, *texture;
        V3 (*dir)(double u, double v);
    };
    const Face faces[] = {
        {"Sky1", "chateau_up.jpg", [](double u, double v) { return V3{u, 1, -v}; }},
        {"Sky2", "chateau_ft.jpg", [](double u, double v) { return V3{u, -v, 1}; }},
        {"Sky3", "chateau_bk.jpg", [](double u, double v) { return V3{-u, -v, -1}; }},
        {"Sky4", "chateau_lf.jpg", [](double u, double v) { return V3{-1, -v, u}; }},
        {"Sky5", "chateau_rt.jpg", [](double u, double v) { return V3{1, -v, -u}; }},
    };
    const double half = 16000, bottom = -2000;
    w.Open("Materials", "Material");
    for (const Face& f : faces) Material(w, f.node, {{"Diffuse", f.texture, 1.0, "Clamp"}});
    w.Close();
    w.Open("Children", "Node");
    for (const Face& f : faces) {
        const bool side = f.node != std::string("Sky1");
        const double vEnd = side ? -bottom / half : 1.0;
        const int cells = 4;
        Mesh m;
        for (int j = 0; j <= cells; ++j)
            for (int i = 0; i <= cells; ++i) {
                const double u = -1 + 2.0 * i / cells, v = -1 + (vEnd + 1) * j / cells;
                const V3 p = f.dir(u, v) * half;
                m.Add(p, Unit(p * -1.0), (u + 1) * 0.5, (v + 1) * 0.5);
            }
        for (int j = 0; j < cells; ++j)
            for (int i = 0; i < cells; ++i) {
                const uint32_t a = j * (cells + 1) + i, b = a + 1, c = a + cells + 1, d = c + 1;
                // Wound by the normals towards the centre, so the faces are seen from inside.
                m.Tri(a, b, d);
                m.Tri(a, d, c);
            }
        MeshNode(w, "Sky", f.node, {}, m, f.node, {{"Lit", "0"}, {"ZWrite", "0"}});
    }
    w.Close();
    return w.str();
}

// A square in the x-y plane facing -z: side s, centred at (0, 0, z); texture (0, 0) at the
// top left (-s/2, s/2) and (1, 1) at the bottom right.
Mesh FacingQuad(double s, double z) {
    Mesh m;
    const double h = s * 0.5;
    m.Quad({-h, h, z}, {h, h, z}, {h, -h, z}, {-h, -h, z}, {0, 0, -1}, 0, 0, 1, 1);
    return m;
}

std::string BoxModel() {
    Writer w("The distortion view's screen quad: z = 1, x and y in [-0.5, 0.5], facing -z.");
    w.Open("Materials", "Material");
    Material(w, "Screen", {});
    w.Close();
    w.Open("Children", "Node");
    MeshNode(w, "Box", "box", {}, FacingQuad(1.0, 1.0), "Screen", {{"Lit", "0"}});
    w.Close();
    return w.str();
}

std::string Quad() {
    Writer w("A sprite quad, 100 x 100, facing -z; the scene gives it its picture.");
    w.Open("Materials", "Material");
    Material(w, "Sprite", {});
    w.Close();
    w.Open("Children", "Node");
    MeshNode(w, "Quad", "Quad01", {}, FacingQuad(100, 0), "Sprite", {{"Lit", "0"}, {"ZWrite", "0"}});
    w.Close();
    return w.str();
}

std::string Flare(int n) {
    const std::string texture = "flare" + std::to_string(n) + ".png";
    Writer w("A lens flare sprite, 60 x 60, facing -z: " + texture + ".");
    w.Open("Materials", "Material");
    Material(w, "Flare", {{"Diffuse", texture, 1.0, "Clamp"}});
    w.Close();
    w.Open("Children", "Node");
    MeshNode(w, "Flare" + std::to_string(n), "Plane01", {}, FacingQuad(60, 0), "Flare",
             {{"Lit", "0"}, {"ZWrite", "0"}, {"Blend", "additive"}});
    w.Close();
    return w.str();
}

std::string Palm() {
    Writer w("A palm about 700 high: the trunk and the swaying leaves.");
    const double height = 680;
    w.Open("Materials", "Material");
    Material(w, "Bark", {{"Diffuse", "bark.jpg"}});
    Material(w, "Leaves", {{"Diffuse", "leaves.png"}}, true);
    w.Close();
    w.Open("Children", "Node");
    // The trunk: a tapering tube leaning a little, eight sides, ten rings.
    auto axis = [&](double t) { return V3{40 * t * t, height * t, 0}; };
    {
        Mesh m;
        const int sides = 8, rings = 10;
        std::vector<uint32_t> ids;
        for (int j = 0; j <= rings; ++j) {
            const double t = double(j) / rings;
            const double r = 26 - 12 * t;
            for (int i = 0; i <= sides; ++i) {
                const double a = 2 * kPi * i / sides;
                const V3 out{std::cos(a), 0, std::sin(a)};
                ids.push_back(m.Add(axis(t) + out * r, out, double(i) / sides * 2, t * 6));
            }
        }
        for (int j = 0; j < rings; ++j)
            for (int i = 0; i < sides; ++i) {
                const uint32_t a = ids[j * (sides + 1) + i], b = a + 1, c = a + sides + 1, d = c + 1;
                m.Tri(a, b, d);
                m.Tri(a, d, c);
            }
        MeshNode(w, "Palm", "Palm01", {}, m, "Bark");
    }
    // The leaves: nine fronds arching out and down from the crown, each a strip of six
    // segments; both sides drawn. The node's pivot is the top of the trunk.
    {
        Mesh m;
        const int fronds = 9, segments = 6;
        for (int f = 0; f < fronds; ++f) {
            const double a = 2 * kPi * f / fronds + 0.3 * std::sin(f * 2.1);
            const V3 out{std::cos(a), 0, std::sin(a)};
            const V3 side{-std::sin(a), 0, std::cos(a)};
            const double length = 330 + 40 * std::sin(f * 1.3);
            std::vector<uint32_t> left, right;
            for (int s = 0; s <= segments; ++s) {
                const double t = double(s) / segments;
                const V3 spine = out * (length * t) + V3{0, 90 * std::sin(kPi * t * 0.8) - 140 * t * t, 0};
                const double width = 55 * std::sin(kPi * std::min(1.0, t * 1.1 + 0.05));
                const V3 up = Unit(Cross(side, out));
                left.push_back(m.Add(spine + side * width, up, 0, t));
                right.push_back(m.Add(spine - side * width, up, 1, t));
            }
            for (int s = 0; s < segments; ++s) {
                m.Tri(left[s], right[s], right[s + 1]);
                m.Tri(left[s], right[s + 1], left[s + 1]);
            }
        }
        Count("Palm", m);
        w.Open("Palm02", "Mesh");
        w.Translation(axis(1.0));
        w.Props({{"OptimizeMesh", "1"}, {"AlphaTest", "96"}});
        w.WriteMesh(m, "Leaves");
        w.RotationKeys(SwayKeys({1, 0, 0.4}, 0.06, 5.0, 16));
        w.Close();
    }
    w.Close();
    return w.str();
}

bool Write(const std::string& folder, const std::string& name, const std::string& text) {
    const std::string path = folder + "/" + name;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) {
        std::fprintf(stderr, "modelgen: cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: modelgen <output folder>\n");
        return 2;
    }
    const std::string folder = argv[1];
    bool ok = Write(folder, "Ground.txt", Ground()) && Write(folder, "Sky.txt", Sky()) &&
              Write(folder, "Box.txt", BoxModel()) && Write(folder, "Quad.txt", Quad()) && Write(folder, "Palm.txt", Palm());
    for (int n = 1; ok && n <= 4; ++n) ok = Write(folder, "Flare" + std::to_string(n) + ".txt", Flare(n));
    if (!ok || gTooLarge) return 1;
    for (const Counts& c : gCounts) std::printf("modelgen: %s: %zu triangles\n", c.model.c_str(), c.triangles);
    return 0;
}
