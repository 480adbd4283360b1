// The overlap and crossing tests the render queue sorts with, kept beside it for the scene
// code: boxes that overlap (touching counts), spans and integer rectangles that meet in a
// point, a segment or an area, and segments against planes, quads and the faces of a box.
#pragma once

#include "Core/Bounded.h"
#include "Core/Geometry.h"
#include "Core/IntRect.h"
#include "Core/Types.h"

// 4 when the boxes (centre and size) overlap or touch, else 0.
i32 BoxesOverlap(const Box& a, const Box& b);

// Spans given by their ends in either order: 0 apart, 1 touching in one point (lo = hi =
// the point), 2 overlapping (lo..hi the common span).
i32 IntersectSpans(i32 a0, i32 a1, i32 b0, i32 b1, i32* lo, i32* hi);

// Rectangles as corners (left, top, right, bottom), axis by axis: 0 apart, 12 touching in
// a point, 10 sharing a segment, 13 sharing an area; out gets what they share.
i32 ClassifyRectOverlap(const IntRect& r, const IntRect& s, IntRect* out);

// The plane through three points, its normal the cross product of the two edges from p0.
Plane PlaneFromPoints(const Vec3& p0, const Vec3& p1, const Vec3& p2);

// A segment against a plane: 1 with the crossing's parameter t (p0 + (p1 - p0) t) when the
// segment is not parallel to the plane; when it is, 3 when it lies in the plane, else 0.
i32 SegmentPlane(const Segment& segment, const Plane& plane, f32* t);

// Whether the segment crosses the quad: the crossing with the quad's plane has a parameter
// from 0 to 1 and lies in triangle 0 1 2 or 2 3 0.
bool SegmentCrossesQuad(const Segment& segment, const Quad& quad);

// 4 as soon as the segment crosses one of the box's six faces, else 0.
i32 BoxPlaneTest(const Box& box, const Segment& segment);
