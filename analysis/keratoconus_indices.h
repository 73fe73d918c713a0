// Keratoconus screening indices read off an axial power map, with the
// published cut-offs (docs/surfaces.md names the papers):
//  * central K: the mean axial power over the central 3 mm (an area-weighted
//    mean over rings 0.125, 0.375, ... 1.375 mm out, 36 points each);
//    suspect from 47.2 D, keratoconus above 48.7 D;
//  * I-S: the mean axial power of five inferior points less that of five
//    superior points, 3 mm from the centre, 30 degrees apart (inferior at
//    210, 240, ..., 330 degrees, superior at 30, 60, ..., 150, counter-
//    clockwise from x with y up); suspect from 1.4 D, keratoconus above 1.9 D;
//  * SRAX: the skew of the steepest radial axes, 180 degrees less the angle
//    between the steepest semi-meridian above the horizontal and the
//    steepest below it (each semi-meridian's power the mean axial power over
//    0.5 .. 3 mm from the centre, searched in whole degrees and refined by a
//    parabola through the best and its neighbours); abnormal above 21
//    degrees;
//  * KISA% = K x I-S x AST x SRAX x 100 / 300, with AST the keratometric
//    astigmatism (steep less flat K, D); suspect from 60 %, keratoconus
//    above 100 %.
// All positions are about the map's centre (the instrument's axis).
#pragma once

#include <functional>
#include <optional>
#include <string>

// Axial power (D) at (x, y) (mm); NaN where there is none.
using PowerAt = std::function<double(double x, double y)>;

enum class IndexCategory { normal, suspect, keratoconus };
// "normal", "suspect", "keratoconus" (SRAX: "normal" or "abnormal").
const char* index_category_name(IndexCategory category, bool srax = false);

struct KeratoconusIndices {
  double central_k_D = 0.0;
  double i_s_D = 0.0;
  double srax_deg = 0.0;
  double ast_D = 0.0;
  double kisa_percent = 0.0;
  IndexCategory central_k_category = IndexCategory::normal;
  IndexCategory i_s_category = IndexCategory::normal;
  IndexCategory srax_category = IndexCategory::normal;  // normal or keratoconus (abnormal)
  IndexCategory kisa_category = IndexCategory::normal;
};

// The cut-offs, D, degrees and percent.
constexpr double kCentralKSuspect = 47.2, kCentralKKeratoconus = 48.7;
constexpr double kISSuspect = 1.4, kISKeratoconus = 1.9;
constexpr double kSraxAbnormal = 21.0;
constexpr double kKisaSuspect = 60.0, kKisaKeratoconus = 100.0;
// The ring of the I-S points and the reach of the SRAX semi-meridians, mm.
constexpr double kISRadius = 3.0;

IndexCategory central_k_category(double k);
IndexCategory i_s_category(double i_s);
IndexCategory srax_category(double srax);
IndexCategory kisa_category(double kisa);

// The indices of `axial` and the astigmatism `ast` (D); SRAX from
// `meridians` when given (a smooth power, such as the reconstruction's: the
// steepest semi-meridian of a little astigmatism lies on a flat maximum that
// the small ripples of local fits move by degrees), else from `axial`.
// Without a result `why_not` says why: a point of the rings or
// semi-meridians without power (the map does not reach 3 mm from the
// centre).
std::optional<KeratoconusIndices> keratoconus_indices(const PowerAt& axial, double ast, std::string* why_not = nullptr,
                                                      const PowerAt* meridians = nullptr);
