// Splits a transform matrix into the parts a node transform is edited by: position,
// direction (row 2), up (row 1) and a scale per axis. The split only holds for a matrix
// whose axes are near perpendicular and not all degenerate; anything else is refused, so
// that callers keep the whole matrix instead of a frame made up from a shear.
#pragma once

#include "Core/Matrix.h"
#include "Core/Vector.h"

// position = row 3, up = row 1 and direction = row 2 normalised, scale = the lengths of
// rows 0, 1 and 2 (a zero row stays zero). False, with the outputs unspecified, when the
// three lengths add up to 0.01 or less, when up or row 0 is more than 0.1 off
// perpendicular to direction (normalised dot products), or when an element is not a
// number. A mirrored matrix (up x direction against row 0) gives a negative scale x.
bool DecomposeMatrix(const Matrix& m, Vec3& position, Vec3& direction, Vec3& up, Vec3& scale);
