// Plane vectors (x, y) in mm, passed and returned by value. Inline: the masked
// difference evaluates them for each of the 65536 cells of a map.
#pragma once

#include <cmath>

struct Vector2D {
  double x = 0.0;
  double y = 0.0;
};

// (a, b) - (c, d) = (a - c, b - d).
inline Vector2D vector_difference(Vector2D p, Vector2D q) { return {p.x - q.x, p.y - q.y}; }

// a * c + b * d.
inline double dot_product(Vector2D p, Vector2D q) { return p.x * q.x + p.y * q.y; }

// Euclidean length: the square root of the vector's dot product with itself.
// The figures use it, not std::hypot, whose last bit differs between the C
// libraries of x86-64 and aarch64; a product, a sum and a square root round
// the same everywhere.
inline double vector_length(Vector2D p) { return std::sqrt(dot_product(p, p)); }
