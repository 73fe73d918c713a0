#include "analysis/reference_sphere.h"

#include <algorithm>
#include <cmath>

#include "analysis/index_to_mm.h"
#include "analysis/vector_2d.h"

namespace {

int common_nx(const HeightMatrix& a, const HeightMatrix& b, const HeightMatrix& c) {
  return std::min({a.nx(), b.nx(), c.nx()});
}
int common_ny(const HeightMatrix& a, const HeightMatrix& b, const HeightMatrix& c) {
  return std::min({a.ny(), b.ny(), c.ny()});
}

}  // namespace

bool perfect_sphere(double R, double Wf, int n, double oy, double ox, double h0, HeightMatrix& target) {
  if (n <= 0) return true;
  const double g = Wf / n;         // mm per cell
  const double c = (n - 1) * 0.5;  // the apex lies between the middle cells
  const double r_squared = R * R;
  const int nx = std::min(n, target.nx());
  const int ny = std::min(n, target.ny());
  for (int x = 0; x < nx; ++x) {
    const double u = (x - c) * g - ox;
    double* column = target.column(x);
    for (int y = 0; y < ny; ++y) {
      const double v = (y - c) * g - oy;
      const double r2 = v * v + u * u;
      const double z = r2 >= r_squared ? -R : std::sqrt(r_squared - r2) - R;
      column[y] = z + h0;
    }
  }
  return true;
}

bool masked_difference(double Wf, double cx, double cy, double Rm, const HeightMatrix& A,
                       const HeightMatrix& B, HeightMatrix& Out) {
  const int nx = std::min(kMapSide, common_nx(A, B, Out));
  const int ny = std::min(kMapSide, common_ny(A, B, Out));
  for (int x = 0; x < nx; ++x) {
    const double* a = A.column(x);
    const double* b = B.column(x);
    double* out = Out.column(x);
    // Each cell is read before it is written, so Out may alias A or B.
    for (int y = 0; y < ny; ++y) out[y] = in_evaluation_mask(Wf, cx, cy, Rm, x, y) ? a[y] - b[y] : 0.0;
  }
  return true;
}

void subtract_maps(const HeightMatrix& A, const HeightMatrix& B, HeightMatrix& Out, int nx, int ny) {
  nx = std::min(nx, common_nx(A, B, Out));
  ny = std::min(ny, common_ny(A, B, Out));
  for (int x = 0; x < nx; ++x) {
    const double* a = A.column(x);
    const double* b = B.column(x);
    double* out = Out.column(x);
    for (int y = 0; y < ny; ++y) out[y] = a[y] - b[y];
  }
}
