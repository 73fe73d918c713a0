// The points a measurement keeps (Measurement::points): in the maps' frame
// (x to the right, y up as the maps show the surface, z the height along the
// camera axis), mm.
#pragma once

#include <span>
#include <vector>

#include "analysis/height_text_file.h"
#include "methods/fringe_method.h"
#include "methods/method_engine.h"
#include "methods/triangulated_points.h"
#include "optics/vec3.h"
#include "scan.h"
#include "scan/grey_image.h"

// The triangulated points of the measured pixels (their picture's y turned
// into the maps').
std::vector<Vec3> map_frame_points(const PixelPoints& points);

// Through the telecentric geometry: each pixel's height as the methods give
// it (the engine's formula, relative to the carrier) at the pixel's position,
// the apex offset_x right of and offset_y above the picture's centre.
void telecentric_points(MethodEngine& methods, std::span<const GreyImage* const> frames, const MethodPlan& plan,
                        const ScnPar& par, double offset_x, double offset_y,
                        std::vector<Vec3>& points);

// The engine's quadrature: each profile cell with data at the cell's centre.
void profile_points(const ProfileHeights& profile, const ScnPar& par, double offset_x, double offset_y,
                        std::vector<Vec3>& points);
