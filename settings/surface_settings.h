// A channel's surface settings file (./surface.ini, ./surface_1.ini): the
// surface the next "apply" simulates, and the surface written as a short text
// on the command line. Without the file a channel simulates the sphere of
// its set radius, exactly as it always has.
//
// File lines (CR LF, keys without regard to case, in the style of the image
// settings file):
//   Model=biconic      sphere or biconic
//   Rx=7.6             mm
//   Ry=7.9             mm
//   Axis=30            degrees, counter-clockwise from x
//   Q=-0.2             conic constant
//   Cone1Height=10     microns, towards the camera (simulation/surface.h)
//   Cone1X=0.5         mm from the apex (default 0)
//   Cone1Y=-1          mm (default 0)
//   Cone1Width=0.8     mm, the Gaussian's sigma (default 1)
// and Cone2Height... up to Cone9 for more cones: a cone is there when its
// height is. Files without cone keys read as they always did, and a surface
// without cones is written in the five lines it always had.
#pragma once

#include <string>
#include <vector>

#include "simulation/surface.h"

// The five key lines of `surface` and four more per cone; each number as the shortest text that
// reads back as the same value ("7.6", "1e-09").
std::vector<std::string> surface_settings_lines(const Surface& surface);

// Reads a surface settings file. Model=sphere needs no numbers (those given
// are kept, to show in the surface window); Model=biconic needs all four.
// Throws FileError `Cannot open file "<file>"` when it cannot be read and
// `Cannot read file "<file>": <what>` for a missing or unknown model, a
// number that is missing or not a number, and a biconic that surface_problem
// refuses (zero or negative radii, |Q| above kMaxConic, NaN).
Surface read_surface_file(const std::string& file);

// The same from the file's lines; throws std::invalid_argument with the
// words that follow the file's name above.
Surface parse_surface_lines(const std::vector<std::string>& lines);

// The same for the fringe tool and studies, worded as their other settings
// errors (common/errors.h): throws SettingsError naming `file`, the key and
// the text, e.g. `surface.ini: Rx = "abc" is not a number`,
// `surface.ini: Model = "torus" is not sphere or biconic`, `surface.ini: Q is
// missing` or `surface.ini: Rx must lie between 0.1 and 1000 mm (read 0)`.
Surface read_surface_settings(const std::vector<std::string>& lines, const std::string& file);

// The surface in a few words for the summaries: "sphere", or
// "biconic rx=7.6 ry=7.9 axis=30 q=-0.2", followed by " cone=10/0.5/-1/0.8"
// for each cone (numbers with 6 significant digits).
std::string surface_summary(const Surface& surface);

// Writes the file whole. Throws FileError `Cannot create file "<file>"`, and
// std::invalid_argument for a surface that surface_problem refuses (nothing
// is written then).
void write_surface_file(const std::string& file, const Surface& surface);

// The channel's surface: its file when it exists, else the sphere.
Surface channel_surface(int channel);

// Throws std::invalid_argument with surface_problem's words unless the
// surface is usable; "apply" checks the record with it before drawing.
void require_usable_surface(const Surface& surface);

// A surface written as a short text: "sphere" (the set radius) or
// "biconic:rx=7.6,ry=7.9,axis=30,q=-0.2" (rx and ry required, axis and q 0
// when left out; keys in any order and case), either with cones:
// "sphere:cone=10/0.5/-1/0.8,cone=5/-1/0/1" (cone_text's form, one item a
// cone). Throws std::invalid_argument naming what is wrong.
Surface parse_surface_text(const std::string& text);

// A cone as "height/x/y/width" (microns, mm, mm, mm; the shortest text that
// reads back to each number), and back; parse_cone_text throws
// std::invalid_argument naming what is wrong. It does not check the ranges
// (surface_problem does).
std::string cone_text(const Cone& cone);
Cone parse_cone_text(const std::string& text);
// Cones separated by blanks or semicolons ("10/0.5/-1/0.8; 5/-1/0/1"), as the
// surface window's box takes them; an empty text is no cone.
std::vector<Cone> parse_cones_text(const std::string& text);
