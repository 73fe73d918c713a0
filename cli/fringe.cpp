// fringe: the workbench's measurement pipeline without a window.
#include <CLI/CLI.hpp>

#include <clocale>
#include <filesystem>
#include <iostream>

#include "cli/analyse_command.h"
#include "cli/commands.h"
#include "cli/export_formats_command.h"
#include "cli/option_checks.h"
#include "cli/quality_options.h"
#include "cli/study_subcommand.h"
#include "cli/workspace.h"
#include "common/errors.h"
#include "runs/channel_frames.h"
#include "render/colour_map.h"

namespace {

void add_channel(CLI::App* app, int& channel) {
  app->add_option("--channel", channel, "measurement channel: 0 (image 1) or 1 (image 2)")
      ->transform(option_domain(domains::channel));
}

void add_dir(CLI::App* app, std::string& dir) {
  app->add_option("--dir", dir, "working directory with the settings and work files")
      ->capture_default_str();
}

void add_simulation_options(CLI::App* app, SimulateOptions& o) {
  app->add_option("--contrast", o.contrast, "fringe contrast, 0..1")
      ->capture_default_str()->transform(option_domain(domains::unit));
  app->add_option("--noise", o.noise, "noise weight, 0..1")
      ->capture_default_str()->transform(option_domain(domains::unit));
  app->add_option("--seed", o.seed, "seed of the noise generator (default: the time in seconds)")
      ->transform(option_domain(domains::seed));
  app->add_option("--max-noise", o.max_noise, "amplitude of the proportional noise, grey levels")
      ->capture_default_str()->transform(option_domain(domains::max_noise));
  app->add_option("--passes", o.passes,
                  "smoothing passes of the displayed image (default: the channel's NFilt)")
      ->transform(option_domain(domains::passes));
  app->add_option("--surface", o.surface,
                  "surface to simulate: sphere (the set radius) or biconic:rx=MM,ry=MM[,axis=DEG][,q=Q], "
                  "either with cones ...,cone=HEIGHT_UM/X_MM/Y_MM/SIGMA_MM (sphere:cone=10/0.5/-1/0.8) "
                  "(default: the channel's surface.ini / surface_1.ini, else the sphere)");
  app->add_option("--system", o.system,
                  "system file of the camera and projector the pictures are taken through: Model=telecentric "
                  "or pinhole with lenses (default: the channel's system.ini / system_1.ini, else telecentric)");
}

void add_points_option(CLI::App* app, ProfilePoints& o) {
  app->add_option("--points", o.points_file,
                  "write the measured points to FILE.ply or FILE.xyz (x, y, z in mm; triangulated through a "
                  "pinhole system)");
}

// fringe analyse: its options; `json` is shared with measure.
CLI::App* add_analyse_command(CLI::App& app, std::string& dir, AnalyseOptions& o, bool& json) {
  auto* analyse = app.add_subcommand(
      "analyse", "profile the channel, then print the best-fit sphere, keratometry, Zernike "
                 "terms, corneal aberrations and keratoconus indices of its measured heights");
  add_dir(analyse, dir);
  add_channel(analyse, o.channel);
  analyse->add_option("--order", o.figures.zernike_order, "radial order of the Zernike terms")
      ->capture_default_str()->transform(option_domain({0.0, kMaxZernikeOrder, true}));
  analyse
      ->add_option_function<std::string>(
          "--reference",
          [&o](const std::string& word) {
            o.figures.reference =
                word == "best-fit" ? ZernikeReference::best_fit_sphere : ZernikeReference::set_sphere;
          },
          "what the Zernike terms describe: the residual to the set sphere or to the best-fit one")
      ->check(CLI::IsMember({"set", "best-fit"}))
      ->default_str("set");
  analyse->add_option("--pupil", o.figures.pupil_diameter,
                      "pupil diameter of the corneal aberrations (OSA/ANSI), mm")
      ->capture_default_str()->transform(option_domain({0.1, 20.0}));
  analyse->add_flag("--json", json, "print the figures as a JSON object");
  return analyse;
}

const char* const kRenderRules =
    "\nThe colour range runs from --min up to --max: a --max below --min is refused (the\n"
    "range is not turned round); --min equal to --max colours that height only. Heights\n"
    "outside the range and cells without a height are white. The picture has one pixel\n"
    "per grid cell, row 0 at the top, and is written as its name asks: .bmp or .png.\n";

// The exit status of a measurement not to be believed (runs/quality_check.h).
constexpr int kMeasurementRefused = 4;

const char* const kExitStatuses =
    "\nExit status: 0 done; 1 an error (a file, a settings value or an option refused;\n"
    "the reason on stderr); 3 a study that wrote its files but some of whose runs failed\n"
    "(their rows' status says why); 4 a measurement refused: a picture without fringes, or\n"
    "too little of the evaluation mask measured (--min-valid); 128 + N a study stopped by\n"
    "signal N (Ctrl-C: 130);\n"
    "100 and above a command line that could not be parsed.\n";

}  // namespace

int main(int argc, char** argv) {
  std::setlocale(LC_NUMERIC, "C");
  CLI::App app{"fringe: simulate fringe images of a sphere, reconstruct and evaluate them"};
  app.set_version_flag("--version", std::string("fringe ") + FRINGE_VERSION, "print the version and exit");
  app.footer(kExitStatuses);
  app.require_subcommand(1);
  app.fallthrough();
  bool verbose = false;
  app.add_flag("-v,--verbose", verbose, "print the status steps of the long runs on stderr");
  std::ostream* progress = nullptr;

  std::string init_dir = ".";
  bool force = false;
  auto* init = app.add_subcommand(
      "init", "write the default settings files into DIR; files that exist are kept as they are");
  init->add_option("DIR", init_dir, "directory (created when missing)")->capture_default_str();
  init->add_flag("--force", force, "write the defaults over the settings files that exist");

  std::string dir = ".";
  int channel = 0;
  SimulateOptions sim;
  auto* simulate = app.add_subcommand(
      "simulate", "synthesise the channel's fringe image (sim00.bmp, sim00_filtered.bmp)");
  add_dir(simulate, dir);
  add_channel(simulate, sim.channel);
  add_simulation_options(simulate, sim);
  add_method_options(simulate, sim.method, true);

  auto* profile = app.add_subcommand(
      "profile", "reconstruct the channel's heights from its fringe image and compare them with "
                 "the perfect sphere; prints PV, RMS and mean inside the mask in microns");
  add_dir(profile, dir);
  add_channel(profile, channel);
  QualityOptions quality;
  add_quality_options(profile, quality);
  ProfilePoints profile_extra;
  profile->add_option("--system", profile_extra.system,
                      "system file the pictures are measured through (default: the channel's system.ini / "
                      "system_1.ini, else telecentric)");
  add_points_option(profile, profile_extra);

  bool json = false;
  auto* measure = app.add_subcommand("measure", "simulate, then profile, and print a summary");
  add_dir(measure, dir);
  add_channel(measure, sim.channel);
  add_simulation_options(measure, sim);
  add_method_options(measure, sim.method, true);
  measure->add_flag("--json", json, "print the summary as a JSON object");
  add_quality_options(measure, quality);
  ProfilePoints measure_extra;
  measure->add_option("--reconstruct-system", measure_extra.system,
                      "system file the pictures are measured through when it is not the one that took them "
                      "(--system): what a wrong or simplified model costs");
  add_points_option(measure, measure_extra);

  std::vector<std::string> images;
  std::string ini, section = "ScanParameter", out;
  std::optional<std::string> reference;
  MethodOverrides scan_method;
  auto* scan = app.add_subcommand(
      "scan", "run the fringe-analysis engine on one fringe picture, or a method on a frame set");
  scan->add_option("IMAGE", images,
                   "fringe picture: BMP, PNG or TIFF (grey or colour, 8 or 16 bits); with --method "
                   "phase-shift or fourier the frames in the order projected")
      ->required();
  add_method_options(scan, scan_method, false);
  scan->add_option("--ini", ini, "scan parameter file")->required();
  scan->add_option("--section", section, "section of the parameter file")->capture_default_str();
  scan->add_option("--reference", reference, "reference fringe picture (heights relative to it)");
  scan->add_option("--out", out, "profile file to write")->required();
  add_quality_options(scan, quality);

  std::string heights;
  double min_um = -5.0, max_um = 5.0;
  int levels = kMapColourClasses;
  auto* render = app.add_subcommand(
      "render", "render a height text file (a profile or a data set's heights, a grid of any size) as a "
                "colour map of the grid's own size");
  render->add_option("HEIGHTS", heights, "height text file")->required();
  render->add_option("--min", min_um, "lower end of the colour range, microns")
      ->required()->transform(option_domain(domains::any));
  render->add_option("--max", max_um, "upper end of the colour range, microns; not below --min")
      ->required()->transform(option_domain(domains::any));
  render->add_option("--levels", levels, "number of colour classes")
      ->capture_default_str()->transform(option_domain(domains::levels));
  render->add_option("--out", out, "picture to write: NAME.bmp (24-bit bitmap) or NAME.png")->required();
  render->footer(kRenderRules);

  std::string base;
  auto* exporter = app.add_subcommand(
      "export", "profile the channel, then save its data set (eight files) under BASE, or with "
                "--format its heights in other tools' formats");
  add_dir(exporter, dir);
  add_channel(exporter, channel);
  exporter->add_option("BASE", base, "file name without extension")->required();
  ExportFormatOptions export_formats;
  add_export_format_options(exporter, export_formats);
  add_quality_options(exporter, quality);

  AnalyseOptions analyse_options;
  auto* analyse = add_analyse_command(app, dir, analyse_options, json);

  StudySubcommand study(app);

  try {
    app.parse(argc, argv);
  } catch (const CLI::ArgumentMismatch& error) {
    // An option given twice: say so in words, not the parser's count.
    const std::string text = error.what();
    const std::string::size_type colon = text.find(": At Most 1 required but received ");
    if (colon == std::string::npos) return app.exit(error);
    std::cerr << text.substr(0, colon) << ": given more than once; give it once\n"
              << "Run with --help for more information.\n";
    return error.get_exit_code();
  } catch (const CLI::ParseError& error) {
    return app.exit(error);
  }
  if (verbose) progress = &std::cerr;
  // The quality file is named from where the tool was started, as BASE is.
  if (!quality.file.empty()) quality.file = std::filesystem::absolute(quality.file).string();
  QualityCheck check = quality_check(quality);

  try {
    if (*init) {
      const std::vector<std::string> kept = cmd_init(init_dir, force);
      if (!kept.empty())
        std::cout << "kept " << counted_files(kept) << " as they were (--force writes the defaults over them)\n";
    } else if (*simulate) {
      enter_directory(dir);
      const uint32_t seed = cmd_simulate(sim, progress);
      // A frame set leaves its record beside the frames (runs/channel_frames.h).
      if (std::filesystem::exists(frame_set_file(sim.channel)))
        std::cout << "channel " << sim.channel << ": frame set written (seed " << seed << ")\n";
      else
        std::cout << "channel " << sim.channel << ": fringe image written (seed " << seed << ")\n";
    } else if (*profile) {
      enter_directory(dir);
      const ProfileResult r = cmd_profile(channel, progress, nullptr, std::nullopt, &check, profile_extra);
      write_asked_quality(quality, check);
      std::cout << "channel " << channel << ": " << profile_summary(r) << '\n' << quality_line(*r.quality) << '\n';
    } else if (*measure) {
      enter_directory(dir);
      const uint32_t seed = cmd_simulate(sim, progress);
      if (measure_extra.system.empty()) measure_extra.system = sim.system;
      const ProfileResult r = cmd_profile(sim.channel, progress, nullptr, resolved_method(sim.channel, sim.method),
                                          &check, measure_extra);
      write_asked_quality(quality, check);
      std::cout << measure_summary(sim.channel, seed, sim, r, json) << '\n';
    } else if (*scan) {
      if (scan_method.any()) {
        if (reference) throw std::invalid_argument("--reference: a frame set is measured without a reference");
        cmd_scan_frames(images, ini, section, scan_method, out, &check);
        write_asked_quality(quality, check);
        std::cout << "profile of " << images.size() << " frames written to " << out << '\n'
                  << quality_line(summarise_quality(check.map)) << '\n';
      } else {
        if (images.size() != 1)
          throw std::invalid_argument("the engine scans one picture; give --method phase-shift or fourier "
                                      "for a frame set of " + std::to_string(images.size()));
        cmd_scan(images.front(), ini, section, reference, out, &check);
        write_asked_quality(quality, check);
        std::cout << "profile written to " << out << '\n' << quality_line(summarise_quality(check.map)) << '\n';
      }
    } else if (*render) {
      cmd_render(heights, min_um, max_um, levels, out);
    } else if (*analyse) {
      enter_directory(dir);
      const SurfaceFigures figures = cmd_analyse(analyse_options, progress);
      std::cout << analyse_report(analyse_options.channel, figures, json) << (json ? "\n" : "");
    } else if (*exporter) {
      const std::string absolute = std::filesystem::absolute(base).string();
      enter_directory(dir);
      export_formats.quality_channels = !quality.file.empty();
      cmd_export_with(channel, absolute, export_formats, progress, &check);
      write_asked_quality(quality, check);
    } else if (study.parsed()) {
      return study.run();  // 0, kStudyRunsFailed, 128 + a signal
    }
  } catch (const MeasurementRefused& error) {
    std::cerr << "fringe: " << error.what() << '\n';
    // What was measured shows why: the quality file is written all the same.
    try {
      write_asked_quality(quality, check);
    } catch (const std::exception& file) {
      std::cerr << "fringe: " << file.what() << '\n';
    }
    return kMeasurementRefused;
  } catch (const std::exception& error) {
    std::cerr << "fringe: " << error.what() << '\n';
    return 1;
  }
  return 0;
}
