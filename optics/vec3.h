// A point or direction in space, mm: the few operations the rays need.
#pragma once

#include <cmath>

struct Vec3 {
  double x = 0.0;
  double y = 0.0;
  double z = 0.0;
};

inline Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vec3 operator*(double s, Vec3 a) { return {s * a.x, s * a.y, s * a.z}; }
inline double dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline double norm(Vec3 a) { return std::sqrt(dot(a, a)); }

// A ray: the points origin + t direction for t > 0 (direction need not be a
// unit vector; t then counts in its lengths).
struct Ray {
  Vec3 origin;
  Vec3 direction;
  Vec3 at(double t) const { return origin + t * direction; }
};
