// Axis-aligned boxes given by centre and size, the Bounded base part of everything
// that has bounds, and the segments, triangles and quads the box tests use.
#pragma once

#include "Core/Matrix.h"
#include "Core/Types.h"
#include "Core/Vector.h"

struct Segment {
    Vec3 p0;
    Vec3 p1;
    // p0 + (p1 - p0) * t.
    Vec3 PointAt(f32 t) const;
};

struct Triangle {
    Vec3 p[3];
    void Set(const Vec3& p0, const Vec3& p1, const Vec3& p2);
};

// Four corners in the order given.
struct Quad {
    Vec3 p[4];
    void Set(const Vec3& p0, const Vec3& p1, const Vec3& p2, const Vec3& p3);
};

// A box of centre (x, y, z) and size (w, h, d); it spans centre +- size / 2.
struct Box {
    f32 x = 0.0f;
    f32 y = 0.0f;
    f32 z = 0.0f;
    f32 w = 0.0f;
    f32 h = 0.0f;
    f32 d = 0.0f;

    // Corner i, by the sides it takes (- low, + high) in x, y, z:
    // 0 -+-, 1 ++-, 2 +--, 3 ---, 4 -++, 5 +++, 6 +-+, 7 and above --+.
    static Vec3 Corner(const Box& box, u32 i);
    // Face i as four corner numbers: 0 (z-) 0 1 2 3, 1 (z+) 4 5 6 7, 2 (x+) 1 5 6 2,
    // 3 (x-) 0 4 7 3, 4 (y+) 0 4 5 1, 5 and above (y-) 3 7 6 2.
    static Quad Face(const Box& box, u32 i);
    // The smallest box that holds both.
    static Box Union(const Box& a, const Box& b);
};

// The box of n points by per-axis minimum and maximum. False, with out left
// alone, when there are no points.
bool BoundsOfPoints(Box& out, const Vec3* points, u32 n);
// The box of count vertex positions spaced stride bytes apart, through
// D3DXComputeBoundingBox. False, with out left alone, when that fails (no
// vertices or no data).
bool ComputeBoundsFromVertices(Box& out, const void* vertices, u32 stride, u32 count);

class Bounded {
public:
    Box box;
    u8 valid = 0;  // 1 once the box has been computed

    Bounded() = default;
    virtual ~Bounded() = default;

    // Recomputes the box from what the object holds; the base has nothing to
    // compute from and answers false.
    virtual bool UpdateBounds() { return false; }

    void GetBounds(Box& out) const { out = box; }
    bool IsValid() const { return valid != 0; }

    // The axis-aligned box around the eight corners of box transformed by matrix.
    // A matrix of kind Identity passes the box through unchanged, whatever its
    // elements. out may be box.
    static void Transform(Box& out, const Box& box, const Matrix& matrix);
};
