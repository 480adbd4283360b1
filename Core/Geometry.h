// Geometric tests and direction helpers over points, planes and boxes.
//
// The box and point tests answer in one vocabulary: 3 inside, 2 on the boundary
// (or partly inside), 4 outside.
#pragma once

#include "Core/Bounded.h"
#include "Core/Types.h"
#include "Core/Vector.h"

inline constexpr f32 HalfPi = 1.5707964f;

// A plane through point with the given normal (not necessarily of unit length).
struct Plane {
    Vec3 point;
    Vec3 normal;

    // A point at distance s from plane.point that lies in the plane, in a
    // direction fixed by the normal alone; (0, 0, 0) when every component of the
    // normal is within 0.0001 of 0.
    static void PointAtDistance(Vec3& out, const Plane& plane, f32 s);
};

// A line through point along direction.
struct Ray {
    Vec3 point;
    Vec3 direction;
};

// The foot of the perpendicular from r.point onto the line through p along
// r.direction. A zero direction leaves only p itself on the line.
void ProjectPointOnRay(Vec3& out, const Ray& r, const Vec3& p);
// (-v.y, v.x, 0).
void Perpendicular2D(Vec3& out, const Vec3& v);
// The angle between a and b in radians, 0 to pi; HalfPi when either has length 0.
f32 AngleBetween(const Vec3& a, const Vec3& b);
// The reflectance at normal incidence for refractive index n: ((1 - n) / (1 + n))^2.
f32 FresnelR0FromIndex(f32 n);
// out2: a unit vector perpendicular to d; out1 = normalize(out2 x d).
void AnyPerpendicular(Vec3 d, Vec3& out1, Vec3& out2);
// origin + (0, 0, length) turned by angleX about the x axis and then by angleY
// about the y axis.
void DeviateDirection(Vec3& out, Vec3 origin, f32 length, f32 angleX, f32 angleY);
// axis tilted by angle about a perpendicular and then turned about axis by a
// random angle (rand()) from 0 to 2 pi: a random direction on the cone of half
// angle `angle` around axis.
void RandomConeDirection(Vec3& out, Vec3 axis, f32 angle);

// Which side of plane point lies on: 2 within 0.00001 of the plane, 1 in front
// (along the normal), 0 behind.
i32 PlaneSide(const Plane& plane, const Vec3& point);
// 2 on a face of box (within 0.00001), 3 inside, 4 outside.
i32 PointInBox(const Box& box, const Vec3& point);
// How b lies in a, by b's eight corners: 3 when all are inside a, 2 when some
// are, 4 when none is. Corners on a face of a do not count as inside.
i32 ClassifyBox(const Box& a, const Box& b);
// Whether point lies inside the triangle corners, by the angles it sees the
// corners under: 2 on a corner or an edge, 3 inside (the angles add up to 2 pi),
// 4 outside.
i32 IsPointInsideByAngleSum(const Triangle& corners, const Vec3& point);
