// campath: turns a short flight description into the text form of a ".cam" camera path,
// which `udftool build` makes into the binary document the saver plays.
//
//   campath <description> <text>
//
// A description is a list of lines ("#" starts a comment):
//   step 5000                 milliseconds between keys (default 5000)
//   look 0 400 0              the point the camera looks at from the following way points
//   point -6000 1800 -6000    a way point: one position key and one rotation key
//   point -6000 1800 -6000 look 0 0 0   a way point with a look point of its own
// Key i lies at i x step milliseconds, so a path starts at 0 ms; it must last from 30,000
// to 80,000 ms. Every position key has a rotation key at the same time: the rotation that
// turns +z towards the look point with +y kept up (as the engine's camera evaluates it).
// Numbers are written so that they read back to the same bits.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr double kShortestPathMs = 30000.0;
constexpr double kLongestPathMs = 80000.0;

struct V3 {
    double x = 0, y = 0, z = 0;
};

V3 Sub(const V3& a, const V3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
V3 Cross(const V3& a, const V3& b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
double Length(const V3& v) { return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z); }
V3 Unit(const V3& v) {
    const double n = Length(v);
    return {v.x / n, v.y / n, v.z / n};
}

struct WayPoint {
    V3 position;
    V3 look;
    int line = 0;
};

struct Quaternion {
    double x = 0, y = 0, z = 0, w = 1;
};

// The rotation whose matrix (row vectors, as the engine multiplies) has the rows side,
// up and forward: it carries +z to forward and +y to up.
Quaternion FromRows(const V3& r0, const V3& r1, const V3& r2) {
    const double m[3][3] = {{r0.x, r0.y, r0.z}, {r1.x, r1.y, r1.z}, {r2.x, r2.y, r2.z}};
    Quaternion q;
    const double trace = m[0][0] + m[1][1] + m[2][2];
    if (trace > 0) {
        const double s = std::sqrt(trace + 1.0) * 2.0;
        q.w = 0.25 * s;
        q.x = (m[1][2] - m[2][1]) / s;
        q.y = (m[2][0] - m[0][2]) / s;
        q.z = (m[0][1] - m[1][0]) / s;
    } else if (m[0][0] > m[1][1] && m[0][0] > m[2][2]) {
        const double s = std::sqrt(1.0 + m[0][0] - m[1][1] - m[2][2]) * 2.0;
        q.w = (m[1][2] - m[2][1]) / s;
        q.x = 0.25 * s;
        q.y = (m[0][1] + m[1][0]) / s;
        q.z = (m[2][0] + m[0][2]) / s;
    } else if (m[1][1] > m[2][2]) {
        const double s = std::sqrt(1.0 + m[1][1] - m[0][0] - m[2][2]) * 2.0;
        q.w = (m[2][0] - m[0][2]) / s;
        q.x = (m[0][1] + m[1][0]) / s;
        q.y = 0.25 * s;
        q.z = (m[1][2] + m[2][1]) / s;
    } else {
        const double s = std::sqrt(1.0 + m[2][2] - m[0][0] - m[1][1]) * 2.0;
        q.w = (m[0][1] - m[1][0]) / s;
        q.x = (m[2][0] + m[0][2]) / s;
        q.y = (m[1][2] + m[2][1]) / s;
        q.z = 0.25 * s;
    }
    // One sign for every key, so that neighbouring keys take the short way round.
    if (q.w < 0) q = {-q.x, -q.y, -q.z, -q.w};
    return q;
}

// A float printed so that it reads back to the same bits.
std::string Real(double value) {
    char text[48];
    std::snprintf(text, sizeof text, "%.9g", static_cast<double>(static_cast<float>(value)));
    return text;
}

bool Fail(const std::string& message) {
    std::fprintf(stderr, "campath: %s\n", message.c_str());
    return false;
}

bool ReadNumbers(std::istringstream& in, V3* out) { return static_cast<bool>(in >> out->x >> out->y >> out->z); }

bool Parse(std::istream& in, double* step, std::vector<WayPoint>* points) {
    std::string line;
    V3 look;
    for (int number = 1; std::getline(in, line); ++number) {
        const std::size_t hash = line.find('#');
        if (hash != std::string::npos) line.erase(hash);
        std::istringstream words(line);
        std::string word;
        if (!(words >> word)) continue;
        const std::string where = "line " + std::to_string(number) + ": ";
        if (word == "step") {
            if (!(words >> *step) || !(*step > 0)) return Fail(where + "step needs a positive number of milliseconds");
        } else if (word == "look") {
            if (!ReadNumbers(words, &look)) return Fail(where + "look needs three numbers");
        } else if (word == "point") {
            WayPoint point;
            point.line = number;
            point.look = look;
            if (!ReadNumbers(words, &point.position)) return Fail(where + "point needs three numbers");
            std::string more;
            if (words >> more) {
                if (more != "look" || !ReadNumbers(words, &point.look))
                    return Fail(where + "a point may only end in \"look x y z\"");
            }
            points->push_back(point);
        } else {
            return Fail(where + "unknown word \"" + word + "\"");
        }
        std::string rest;
        if (words >> rest) return Fail(where + "unexpected \"" + rest + "\"");
    }
    return true;
}

bool Write(const double step, const std::vector<WayPoint>& points, std::ostream& out) {
    const double length = step * static_cast<double>(points.size() > 0 ? points.size() - 1 : 0);
    if (points.size() < 2 || length < kShortestPathMs || length > kLongestPathMs)
        return Fail("a path lasts from 30000 to 80000 ms; this one has " + std::to_string(points.size()) +
                    " points, " + std::to_string(static_cast<long>(length)) + " ms");
    out << "udf-text 1\n// A camera path written by campath: one position and one rotation key every "
        << static_cast<long>(step) << " ms.\n";
    for (std::size_t i = 0; i < points.size(); ++i) {
        const WayPoint& p = points[i];
        const V3 toward = Sub(p.look, p.position);
        const V3 side = Cross(V3{0, 1, 0}, toward);
        if (Length(toward) < 1e-6 || Length(side) < 1e-6 * Length(toward))
            return Fail("line " + std::to_string(p.line) + ": the point must look somewhere other than straight up or down");
        const V3 forward = Unit(toward);
        const V3 x = Unit(side);
        const V3 up = Cross(forward, x);
        const Quaternion q = FromRows(x, up, forward);
        const std::string time = Real(step * static_cast<double>(i));
        out << "value \"pos" << i << "\" \"pos\" = real " << time << ' ' << Real(p.position.x) << ' '
            << Real(p.position.y) << ' ' << Real(p.position.z) << " 0 0 0 0\n";
        out << "value \"rot" << i << "\" \"rot\" = real " << time << ' ' << Real(q.x) << ' ' << Real(q.y) << ' '
            << Real(q.z) << ' ' << Real(q.w) << " 0 0 0\n";
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: campath <description> <text>\n");
        return 2;
    }
    std::ifstream in(argv[1]);
    if (!in) {
        std::fprintf(stderr, "campath: cannot read %s: %s\n", argv[1], std::strerror(errno));
        return 1;
    }
    double step = 5000.0;
    std::vector<WayPoint> points;
    if (!Parse(in, &step, &points)) return 1;
    std::ostringstream text;
    if (!Write(step, points, text)) return 1;
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    if (!out || !(out << text.str()) || !out.flush()) {
        std::fprintf(stderr, "campath: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
