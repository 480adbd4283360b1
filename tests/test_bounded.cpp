#include "Core/Bounded.h"
#include "Core/Geometry.h"
#include "Core/Matrix.h"

#include <d3dx9math.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>

namespace {

const float kPi = 3.14159265358979f;

Box MakeBox(float x, float y, float z, float w, float h, float d) { return Box{x, y, z, w, h, d}; }

void ExpectBoxNear(const Box& actual, const Box& expected, double tolerance) {
    EXPECT_NEAR(actual.x, expected.x, tolerance);
    EXPECT_NEAR(actual.y, expected.y, tolerance);
    EXPECT_NEAR(actual.z, expected.z, tolerance);
    EXPECT_NEAR(actual.w, expected.w, tolerance);
    EXPECT_NEAR(actual.h, expected.h, tolerance);
    EXPECT_NEAR(actual.d, expected.d, tolerance);
}

void ExpectVecNear(const Vec3& a, const Vec3& b, double tolerance) {
    EXPECT_NEAR(a.x, b.x, tolerance);
    EXPECT_NEAR(a.y, b.y, tolerance);
    EXPECT_NEAR(a.z, b.z, tolerance);
}

Matrix FromD3dx(const D3DXMATRIX& d, u32 kind = 0) {
    Matrix m;
    std::memcpy(m.m, d.m, sizeof m.m);
    m.kind = kind;
    m.valid = 1;
    return m;
}

}  // namespace

TEST(Box, CornersAndFaces) {
    const Box b = MakeBox(10, 20, 30, 2, 4, 6);
    const float expect[8][3] = {{9, 22, 27},  {11, 22, 27}, {11, 18, 27}, {9, 18, 27},
                                {9, 22, 33},  {11, 22, 33}, {11, 18, 33}, {9, 18, 33}};
    for (u32 i = 0; i < 8; ++i) {
        const Vec3 c = Box::Corner(b, i);
        EXPECT_EQ(c.x, expect[i][0]) << i;
        EXPECT_EQ(c.y, expect[i][1]) << i;
        EXPECT_EQ(c.z, expect[i][2]) << i;
    }
    for (u32 i : {8u, 100u, 0xFFFFFFFFu}) {
        const Vec3 c = Box::Corner(b, i);
        EXPECT_EQ(c.x, 9.0f);
        EXPECT_EQ(c.y, 18.0f);
        EXPECT_EQ(c.z, 33.0f);
    }

    const u32 faces[6][4] = {{0, 1, 2, 3}, {4, 5, 6, 7}, {1, 5, 6, 2}, {0, 4, 7, 3}, {0, 4, 5, 1}, {3, 7, 6, 2}};
    for (u32 f = 0; f < 8; ++f) {
        const Quad q = Box::Face(b, f);
        const u32* corners = faces[f < 5 ? f : 5];
        for (u32 k = 0; k < 4; ++k) {
            const Vec3 c = Box::Corner(b, corners[k]);
            EXPECT_EQ(q.p[k].x, c.x) << f << "/" << k;
            EXPECT_EQ(q.p[k].y, c.y) << f << "/" << k;
            EXPECT_EQ(q.p[k].z, c.z) << f << "/" << k;
        }
    }
    // Each face lies on the side it is named after.
    EXPECT_EQ(Box::Face(b, 0).p[2].z, 27.0f);
    EXPECT_EQ(Box::Face(b, 2).p[3].x, 11.0f);
    EXPECT_EQ(Box::Face(b, 4).p[1].y, 22.0f);
}

TEST(Box, UnionAndBoundsOfPoints) {
    const Box a = MakeBox(1, 2, 3, 2, 2, 2);
    const Box self = Box::Union(a, a);
    EXPECT_EQ(std::memcmp(&self, &a, sizeof a), 0);
    ExpectBoxNear(Box::Union(a, MakeBox(5, 2, 3, 2, 2, 2)), MakeBox(3, 2, 3, 6, 2, 2), 0);
    ExpectBoxNear(Box::Union(MakeBox(0, 0, 0, 10, 10, 10), a), MakeBox(0, 0, 0, 10, 10, 10), 0);
    ExpectBoxNear(Box::Union(MakeBox(0, 0, 0, 2, 2, 2), MakeBox(0, -2, 0.5f, 1, 1, 4)),
                  MakeBox(0, -0.75f, 0.5f, 2, 3.5f, 4), 0);

    const Vec3 points[] = {{1, 5, -1}, {-3, 5, 2}, {0, -1, 2}};
    Box box = MakeBox(9, 9, 9, 9, 9, 9);
    ASSERT_TRUE(BoundsOfPoints(box, points, 3));
    ExpectBoxNear(box, MakeBox(-1, 2, 0.5f, 4, 6, 3), 0);
    ASSERT_TRUE(BoundsOfPoints(box, points, 1));
    ExpectBoxNear(box, MakeBox(1, 5, -1, 0, 0, 0), 0);
    // No points: no box, and the output is left alone.
    EXPECT_FALSE(BoundsOfPoints(box, points, 0));
    EXPECT_FALSE(BoundsOfPoints(box, nullptr, 3));
    ExpectBoxNear(box, MakeBox(1, 5, -1, 0, 0, 0), 0);
}

TEST(Box, BoundsFromVertices) {
    // Position then a colour word: 16-byte vertices.
    struct Vertex {
        float p[3];
        u32 colour;
    };
    const Vertex vertices[] = {{{0, 0, 0}, 1}, {{4, -2, 1}, 2}, {{-2, 6, 3}, 3}};
    Box box;
    ASSERT_TRUE(ComputeBoundsFromVertices(box, vertices, sizeof(Vertex), 3));
    ExpectBoxNear(box, MakeBox(1, 2, 1.5f, 6, 8, 3), 0);
    // One vertex is a box of no size around it.
    ASSERT_TRUE(ComputeBoundsFromVertices(box, &vertices[1], sizeof(Vertex), 1));
    ExpectBoxNear(box, MakeBox(4, -2, 1, 0, 0, 0), 0);
    box = MakeBox(7, 7, 7, 7, 7, 7);
    EXPECT_FALSE(ComputeBoundsFromVertices(box, vertices, sizeof(Vertex), 0));
    EXPECT_FALSE(ComputeBoundsFromVertices(box, nullptr, sizeof(Vertex), 3));
    ExpectBoxNear(box, MakeBox(7, 7, 7, 7, 7, 7), 0);
}

TEST(Bounded, StateAndIdentityKindPassthrough) {
    Bounded bounded;
    EXPECT_FALSE(bounded.IsValid());
    EXPECT_FALSE(bounded.UpdateBounds());
    bounded.box = MakeBox(1, 2, 3, 4, 5, 6);
    bounded.valid = 1;
    EXPECT_TRUE(bounded.IsValid());
    Box copy;
    bounded.GetBounds(copy);
    EXPECT_EQ(std::memcmp(&copy, &bounded.box, sizeof copy), 0);

    // Kind Identity passes the box through, whatever the elements say.
    D3DXMATRIX scale;
    D3DXMatrixScaling(&scale, 5, 5, 5);
    const Matrix claimed = FromD3dx(scale, Identity);
    const Box odd = MakeBox(0.1f, -0.0f, 1e-30f, 3.3f, 0.7f, 123456.789f);
    Box out;
    Bounded::Transform(out, odd, claimed);
    EXPECT_EQ(std::memcmp(&out, &odd, sizeof out), 0);
    // Any other kind transforms the corners.
    Bounded::Transform(out, MakeBox(1, 1, 1, 2, 2, 2), FromD3dx(scale, PureScale));
    ExpectBoxNear(out, MakeBox(5, 5, 5, 10, 10, 10), 1e-5);
    // In place.
    Box inPlace = MakeBox(1, 1, 1, 2, 2, 2);
    Bounded::Transform(inPlace, inPlace, FromD3dx(scale, 0));
    ExpectBoxNear(inPlace, MakeBox(5, 5, 5, 10, 10, 10), 1e-5);
}

TEST(Bounded, TransformRotationTranslationAndBruteForce) {
    D3DXMATRIX rot;
    D3DXMatrixRotationY(&rot, kPi / 4);
    Box out;
    Bounded::Transform(out, MakeBox(0, 0, 0, 1, 1, 1), FromD3dx(rot));
    ExpectBoxNear(out, MakeBox(0, 0, 0, std::sqrt(2.0f), 1, std::sqrt(2.0f)), 1e-5);
    // Off the origin: the centre is rotated too.
    Bounded::Transform(out, MakeBox(1, 0, 0, 1, 1, 1), FromD3dx(rot));
    ExpectBoxNear(out, MakeBox(std::sqrt(0.5f), 0, -std::sqrt(0.5f), std::sqrt(2.0f), 1, std::sqrt(2.0f)), 1e-5);

    D3DXMATRIX move;
    D3DXMatrixTranslation(&move, 3, -4, 5);
    Bounded::Transform(out, MakeBox(1, 2, 3, 4, 5, 6), FromD3dx(move, PureTranslation));
    ExpectBoxNear(out, MakeBox(4, -2, 8, 4, 5, 6), 1e-6);

    // Random boxes and matrices (with perspective, too) against transforming
    // every corner in double precision.
    std::mt19937 rng(77);
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    for (int trial = 0; trial < 200; ++trial) {
        const Box box = MakeBox(unit(rng) * 10, unit(rng) * 10, unit(rng) * 10, (unit(rng) + 1) * 5,
                                (unit(rng) + 1) * 5, (unit(rng) + 1) * 5);
        Matrix m;
        for (float& e : m.m) e = unit(rng);
        m.m[3] = (trial & 1) ? unit(rng) * 0.01f : 0.0f;
        m.m[7] = (trial & 1) ? unit(rng) * 0.01f : 0.0f;
        m.m[11] = (trial & 1) ? unit(rng) * 0.01f : 0.0f;
        m.m[15] = 1.0f;
        m.kind = trial % 7;  // any kind but Identity transforms
        double lo[3] = {1e300, 1e300, 1e300};
        double hi[3] = {-1e300, -1e300, -1e300};
        const float hx = box.w / 2;
        const float hy = box.h / 2;
        const float hz = box.d / 2;
        for (int sx = -1; sx <= 1; sx += 2) {
            for (int sy = -1; sy <= 1; sy += 2) {
                for (int sz = -1; sz <= 1; sz += 2) {
                    const double p[4] = {box.x + sx * hx, box.y + sy * hy, box.z + sz * hz, 1.0};
                    double t[4] = {0, 0, 0, 0};
                    for (int c = 0; c < 4; ++c)
                        for (int r = 0; r < 4; ++r) t[c] += p[r] * m.m[4 * r + c];
                    for (int k = 0; k < 3; ++k) {
                        lo[k] = std::fmin(lo[k], t[k] / t[3]);
                        hi[k] = std::fmax(hi[k], t[k] / t[3]);
                    }
                }
            }
        }
        const Box expected = MakeBox(float((lo[0] + hi[0]) / 2), float((lo[1] + hi[1]) / 2),
                                     float((lo[2] + hi[2]) / 2), float(hi[0] - lo[0]), float(hi[1] - lo[1]),
                                     float(hi[2] - lo[2]));
        Bounded::Transform(out, box, m);
        SCOPED_TRACE(trial);
        ExpectBoxNear(out, expected, 1e-3);
    }
}

TEST(Geometry, SegmentsTrianglesQuads) {
    const Segment s{Vec3(1, 2, 3), Vec3(3, 2, -1)};
    ExpectVecNear(s.PointAt(0.5f), Vec3(2, 2, 1), 0);
    ExpectVecNear(s.PointAt(-1.0f), Vec3(-1, 2, 7), 0);
    Triangle t;
    t.Set(Vec3(1, 0, 0), Vec3(0, 1, 0), Vec3(0, 0, 1));
    EXPECT_EQ(t.p[2].z, 1.0f);
    Quad q;
    q.Set(Vec3(1, 0, 0), Vec3(2, 0, 0), Vec3(3, 0, 0), Vec3(4, 0, 0));
    EXPECT_EQ(q.p[3].x, 4.0f);
}

TEST(Geometry, ProjectionPerpendicularsAndAngles) {
    Vec3 out;
    ProjectPointOnRay(out, Ray{Vec3(1, 1, 0), Vec3(2, 0, 0)}, Vec3(0, 0, 0));
    ExpectVecNear(out, Vec3(1, 0, 0), 0);
    ProjectPointOnRay(out, Ray{Vec3(3, 5, 7), Vec3(0, 0, 3)}, Vec3(1, 1, 1));
    ExpectVecNear(out, Vec3(1, 1, 7), 1e-6);
    // A zero direction: the line is the point p.
    ProjectPointOnRay(out, Ray{Vec3(3, 5, 7), Vec3(0, 0, 0)}, Vec3(1, 2, 3));
    ExpectVecNear(out, Vec3(1, 2, 3), 0);

    Perpendicular2D(out, Vec3(2, 3, 9));
    ExpectVecNear(out, Vec3(-3, 2, 0), 0);

    EXPECT_EQ(AngleBetween(Vec3(1, 0, 0), Vec3(0, 0, 0)), 1.5707964f);
    EXPECT_EQ(AngleBetween(Vec3(0, 0, 0), Vec3(0, 0, 0)), 1.5707964f);
    EXPECT_EQ(AngleBetween(Vec3(0.3f, 0.7f, 0.1f), Vec3(0.3f, 0.7f, 0.1f)), 0.0f);
    EXPECT_FLOAT_EQ(AngleBetween(Vec3(1, 0, 0), Vec3(0, 2, 0)), 1.5707964f);
    // Opposite vectors whose cosine rounds beyond -1 still give pi.
    for (const Vec3& v : {Vec3(0.1f, 0.2f, 0.3f), Vec3(1e-3f, 7.77f, -3.3f), Vec3(1, 1, 1)}) {
        const float angle = AngleBetween(v, v * -1.0f);
        EXPECT_FALSE(std::isnan(angle));
        EXPECT_EQ(angle, std::acos(-1.0f));
    }
    // Very short and very long vectors.
    EXPECT_FLOAT_EQ(AngleBetween(Vec3(1e-25f, 0, 0), Vec3(0, 1e-25f, 1e-25f)), 1.5707964f);
    EXPECT_FLOAT_EQ(AngleBetween(Vec3(3e25f, 0, 0), Vec3(1e25f, 1e25f, 0)), kPi / 4);

    EXPECT_FLOAT_EQ(FresnelR0FromIndex(1.5f), 0.04f);
    EXPECT_EQ(FresnelR0FromIndex(1.0f), 0.0f);
}

TEST(Geometry, PointsInPlanesAndPerpendiculars) {
    Vec3 out(5, 5, 5);
    Plane::PointAtDistance(out, Plane{Vec3(1, 2, 3), Vec3(0.00009f, -0.0001f, 0.00005f)}, 2.0f);
    ExpectVecNear(out, Vec3(0, 0, 0), 0);

    // Each branch: the point lies in the plane at distance s from its point.
    const Plane planes[] = {{Vec3(1, 2, 3), Vec3(2, 1, 0.5f)},
                            {Vec3(-1, 0, 4), Vec3(0, 3, 1)},
                            {Vec3(0, 5, 0), Vec3(0.00001f, 0, -2)}};
    for (const Plane& plane : planes) {
        Plane::PointAtDistance(out, plane, 2.5f);
        EXPECT_NEAR(Vec3Dot(out - plane.point, plane.normal), 0.0f, 1e-4);
        EXPECT_NEAR(Vec3Length(out - plane.point), 2.5f, 1e-5);
    }

    for (const Vec3& d : {Vec3(0, 0, 1), Vec3(1, 2, 3), Vec3(0, -4, 0), Vec3(-1, 0.5f, 0)}) {
        Vec3 out1;
        Vec3 out2;
        AnyPerpendicular(d, out1, out2);
        EXPECT_NEAR(Vec3Length(out2), 1.0f, 1e-5);
        EXPECT_NEAR(Vec3Length(out1), 1.0f, 1e-5);
        EXPECT_NEAR(Vec3Dot(out2, d), 0.0f, 1e-5);
        EXPECT_NEAR(Vec3Dot(out1, d), 0.0f, 1e-5);
        EXPECT_NEAR(Vec3Dot(out1, out2), 0.0f, 1e-5);
    }
}

TEST(Geometry, DeviatedAndConeDirections) {
    Vec3 out;
    DeviateDirection(out, Vec3(1, 2, 3), 2.0f, 0.0f, 0.0f);
    ExpectVecNear(out, Vec3(1, 2, 5), 0);
    DeviateDirection(out, Vec3(0, 0, 0), 2.0f, 0.0f, kPi / 2);
    ExpectVecNear(out, Vec3(2, 0, 0), 1e-6);
    DeviateDirection(out, Vec3(0, 0, 0), 2.0f, kPi / 2, 0.0f);
    ExpectVecNear(out, Vec3(0, -2, 0), 1e-6);
    // X first, then Y.
    DeviateDirection(out, Vec3(1, 1, 1), 1.0f, kPi / 2, kPi / 2);
    ExpectVecNear(out, Vec3(1, 0, 1), 1e-6);

    const Vec3 axes[] = {Vec3(0, 1, 0), Vec3(1, 2, 3), Vec3(0, 0, -2)};
    for (unsigned seed = 1; seed <= 40; ++seed) {
        std::srand(seed);
        const Vec3& axis = axes[seed % 3];
        const float angle = 0.05f * float(seed % 10);
        RandomConeDirection(out, axis, angle);
        EXPECT_NEAR(AngleBetween(out, axis), angle, 2e-3) << seed;
        EXPECT_NEAR(Vec3Length(out), Vec3Length(axis), 1e-4) << seed;
    }
}

TEST(Geometry, PlaneSideAndPointInBox) {
    const Plane plane{Vec3(0, 1, 0), Vec3(0, 2, 0)};
    EXPECT_EQ(PlaneSide(plane, Vec3(5, 1, -3)), 2);
    EXPECT_EQ(PlaneSide(plane, Vec3(5, 1.000004f, -3)), 2);
    EXPECT_EQ(PlaneSide(plane, Vec3(5, 1.001f, -3)), 1);
    EXPECT_EQ(PlaneSide(plane, Vec3(5, 0.999f, -3)), 0);
    // A distance of exactly the tolerance still counts as on the plane.
    const Plane unit{Vec3(0, 0, 0), Vec3(1, 0, 0)};
    EXPECT_EQ(PlaneSide(unit, Vec3(0.00001f, 7, 7)), 2);
    EXPECT_EQ(PlaneSide(unit, Vec3(-0.00001f, 7, 7)), 2);
    EXPECT_EQ(PlaneSide(unit, Vec3(0.0000102f, 7, 7)), 1);

    const Box box = MakeBox(0, 0, 0, 2, 2, 2);
    EXPECT_EQ(PointInBox(box, Vec3(0, 0, 0)), 3);
    EXPECT_EQ(PointInBox(box, Vec3(1, 0.5f, 0)), 2);
    EXPECT_EQ(PointInBox(box, Vec3(0.999998f, 0, 0)), 2);
    EXPECT_EQ(PointInBox(box, Vec3(0, 0, -1)), 2);
    EXPECT_EQ(PointInBox(box, Vec3(1, 1, 1)), 2);
    EXPECT_EQ(PointInBox(box, Vec3(0.9f, 0.9f, 0.9f)), 3);
    EXPECT_EQ(PointInBox(box, Vec3(1.1f, 0, 0)), 4);
    EXPECT_EQ(PointInBox(box, Vec3(0, -1.1f, 0)), 4);
    EXPECT_EQ(PointInBox(box, Vec3(0, 0, 1.1f)), 4);
    EXPECT_EQ(PointInBox(box, Vec3(1.1f, 1, 0)), 4);  // on one face's plane, outside another
}

TEST(Geometry, ClassifyBoxAgainstBruteForce) {
    const Box a = MakeBox(1, 2, 3, 4, 4, 4);
    EXPECT_EQ(ClassifyBox(a, a), 4);  // every corner on a face
    EXPECT_EQ(ClassifyBox(a, MakeBox(1, 2, 3, 2, 2, 2)), 3);
    EXPECT_EQ(ClassifyBox(a, MakeBox(3, 2, 3, 2, 2, 2)), 2);
    EXPECT_EQ(ClassifyBox(a, MakeBox(10, 2, 3, 2, 2, 2)), 4);
    EXPECT_EQ(ClassifyBox(MakeBox(1, 2, 3, 2, 2, 2), a), 4);  // a holds b, not b a

    // Boxes on a grid of quarters, so that faces touch exactly; b is nudged by
    // nothing, by less than the tolerance, or clearly.
    std::mt19937 rng(2024);
    std::uniform_int_distribution<int> centre(-8, 8);
    std::uniform_int_distribution<int> size(0, 12);
    std::uniform_int_distribution<int> nudgeKind(0, 4);
    const double nudges[] = {0.0, 2e-6, -2e-6, 3e-4, -3e-4};
    int seen[5] = {};
    for (int trial = 0; trial < 20000; ++trial) {
        double ac[3], as[3], bc[3], bs[3];
        for (int k = 0; k < 3; ++k) {
            ac[k] = centre(rng) * 0.25;
            as[k] = size(rng) * 0.5;
            bc[k] = centre(rng) * 0.25 + nudges[nudgeKind(rng)];
            bs[k] = size(rng) * 0.5;
        }
        const Box fa = MakeBox(float(ac[0]), float(ac[1]), float(ac[2]), float(as[0]), float(as[1]), float(as[2]));
        const Box fb = MakeBox(float(bc[0]), float(bc[1]), float(bc[2]), float(bs[0]), float(bs[1]), float(bs[2]));
        // A corner is inside when it is more than half the tolerance from every
        // face, on the inner side.
        int inside = 0;
        for (int corner = 0; corner < 8; ++corner) {
            bool in = true;
            for (int k = 0; k < 3; ++k) {
                const double p = bc[k] + (((corner >> k) & 1) ? 0.5 : -0.5) * bs[k];
                in = in && p > ac[k] - as[k] / 2 + 5e-6 && p < ac[k] + as[k] / 2 - 5e-6;
            }
            inside += in ? 1 : 0;
        }
        const int expected = inside == 8 ? 3 : (inside > 0 ? 2 : 4);
        ++seen[expected];
        ASSERT_EQ(ClassifyBox(fa, fb), expected) << "trial " << trial;
    }
    EXPECT_GT(seen[2], 100);
    EXPECT_GT(seen[3], 100);
    EXPECT_GT(seen[4], 100);
}

TEST(Geometry, PointInTriangleByAngleSum) {
    Triangle t;
    const float h = std::sqrt(3.0f);
    t.Set(Vec3(-1, 0, 0), Vec3(1, 0, 0), Vec3(0, h, 0));
    EXPECT_EQ(IsPointInsideByAngleSum(t, Vec3(0, h / 3, 0)), 3);
    EXPECT_EQ(IsPointInsideByAngleSum(t, Vec3(0.3f, 0, 0)), 2);        // on an edge
    EXPECT_EQ(IsPointInsideByAngleSum(t, Vec3(1, 0, 0)), 2);           // a corner
    EXPECT_EQ(IsPointInsideByAngleSum(t, Vec3(1, 0.0000005f, 0)), 2);  // near a corner
    EXPECT_EQ(IsPointInsideByAngleSum(t, Vec3(0, -0.5f, 0)), 4);
    EXPECT_EQ(IsPointInsideByAngleSum(t, Vec3(0, h / 3, 0.5f)), 4);  // off the plane
    EXPECT_EQ(IsPointInsideByAngleSum(t, Vec3(3, 0, 0)), 4);  // on an edge's line, beyond the corner

    // Random points of the triangle's plane against barycentric coordinates,
    // away from the edges.
    std::mt19937 rng(8);
    std::uniform_real_distribution<float> coord(-2.0f, 2.0f);
    int inside = 0;
    for (int trial = 0; trial < 2000; ++trial) {
        const Vec3 p(coord(rng), coord(rng) + 0.5f, 0);
        const double l0 = (h - p.y - h * p.x) / (2 * h);
        const double l1 = (h - p.y + h * p.x) / (2 * h);
        const double l2 = p.y / h;
        const double margin = std::fmin(std::fabs(l0), std::fmin(std::fabs(l1), std::fabs(l2)));
        if (margin < 0.01) continue;
        const bool in = l0 > 0 && l1 > 0 && l2 > 0;
        inside += in ? 1 : 0;
        EXPECT_EQ(IsPointInsideByAngleSum(t, p), in ? 3 : 4) << p.x << ", " << p.y;
    }
    EXPECT_GT(inside, 50);
}
