// The Levenberg-Marquardt loop of the surface fits (sphere, conic), with
// Marquardt's scaling: each parameter is damped in proportion to its own
// curvature J^T J (kk), never less than 1e-12 of the largest, so that the
// parameters' different units (mm, 1/mm, none) need no weights.
#pragma once

#include <Eigen/Dense>

#include <algorithm>
#include <cmath>

template <int N>
struct MarquardtOutcome {
  Eigen::Matrix<double, N, 1> at;  // the parameters reached
  double cost = 0.0;               // the sum of squares there
  int iterations = 0;              // steps tried, the refused ones of a step not counted
  bool converged = false;
};

// Lowers `cost`, the model's sum of squared residuals at `at`, step by step.
// A step is taken when it does not raise the cost; the loop ends when a
// taken step is small (model.step_is_small) or lowers the cost by no more
// than 1e-14 of it, when no damping up to 1e16 finds a step that lowers it
// (the minimum, to rounding), or after `max_iterations` steps without
// converging. The model gives:
//   void normal_equations(const Vector& at, Matrix& jtj, Vector& jte)
//       J^T J and J^T e of the residuals e at `at`, the start or the point
//       of the step accepted last;
//   double cost(const Vector& trial)
//       the sum of squares at a trial point (infinite or NaN where the model
//       has no value: such a trial is refused);
//   void accept()
//       the trial just costed is taken;
//   bool step_is_small(const Vector& step, const Vector& at).
template <int N, typename Model>
MarquardtOutcome<N> levenberg_marquardt(Model& model, Eigen::Matrix<double, N, 1> at, double cost,
                                        int max_iterations) {
  using Vector = Eigen::Matrix<double, N, 1>;
  using Matrix = Eigen::Matrix<double, N, N>;
  double lambda = 1e-3;
  int iterations = 0;
  bool converged = false;
  Matrix jtj;
  Vector jte;
  while (iterations < max_iterations && !converged) {
    model.normal_equations(at, jtj, jte);
    const double largest = jtj.diagonal().maxCoeff();
    bool stepped = false;
    while (!stepped && lambda < 1e16) {
      Matrix damped = jtj;
      for (int k = 0; k < N; ++k) damped(k, k) += lambda * std::max(jtj(k, k), 1e-12 * largest);
      const Vector step = damped.ldlt().solve(jte);
      const double trial_cost = step.allFinite() ? model.cost(at + step) : std::nan("");
      if (trial_cost <= cost) {
        converged = model.step_is_small(step, at) || cost - trial_cost <= 1e-14 * cost;
        at += step;
        cost = trial_cost;
        model.accept();
        lambda = std::max(lambda * 0.1, 1e-12);
        stepped = true;
      } else {
        lambda *= 10.0;
      }
    }
    ++iterations;
    // No step lowers the cost any more: the minimum, to rounding.
    if (!stepped) converged = true;
  }
  return {at, cost, iterations, converged};
}
