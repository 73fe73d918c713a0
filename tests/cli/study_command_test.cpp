// `fringe study` as the argument parser calls it: a run equals "apply" then
// "profile" of the measure path, the table does not depend on the number of
// jobs, failed runs and a stop end the study as the tool reports them, and
// bad input stops it before any run. (Stopping and resuming with real
// signals: study_processes_test.sh.)
#include "cli/study_command.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <set>
#include <sstream>
#include <stdexcept>

#include "cli/analyse_command.h"
#include "cli/commands.h"
#include "common/errors.h"
#include "common/settings_file.h"
#include "error_of.h"
#include "settings/channel_settings.h"
#include "studies/study_figures.h"
#include "temp_dir.h"

namespace {

// Keeps what the study reports.
class CountingObserver final : public StudyObserver {
 public:
  void status(const std::string& text) override { last_status = text; }
  void progress(int position) override { last_progress = position; }
  void row_finished(const StudyRow& row, const StudyProgress&) override { runs.push_back(row.run); }
  std::vector<std::size_t> runs;
  std::string last_status;
  int last_progress = -1;
};

// The table without its ms column, which differs from run to run.
std::string without_ms(const std::string& csv) {
  std::istringstream in(csv);
  std::string out, line;
  while (std::getline(in, line)) {
    std::vector<std::string> fields;
    std::string field;
    std::istringstream cells(line);
    while (std::getline(cells, field, ',')) fields.push_back(field);
    for (std::size_t i = 0; i < fields.size(); ++i)
      if (i + 2 != fields.size()) out += fields[i] + (i + 1 < fields.size() ? "," : "");
    out += "\n";
  }
  return out;
}

// The message of a study the tool refuses, "" when it runs.
std::string study_error_of(const StudyOptions& options) {
  StudyStop stop;
  CountingObserver observer;
  return error_of([&] { cmd_study(options, observer, stop); });
}

// Every file below `dir`, with its size.
std::set<std::string> tree(const std::filesystem::path& dir) {
  std::set<std::string> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(dir))
    files.insert(entry.path().string() + ":" +
                 (entry.is_regular_file() ? std::to_string(entry.file_size()) : "dir"));
  return files;
}

class StudyCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    cmd_init("w");
    // Temporary files would go below the test's folder: the runs leave none.
    std::filesystem::create_directory("tmp");
    ::setenv("TMPDIR", (dir_.path() / "tmp").c_str(), 1);
  }
  void TearDown() override { ::unsetenv("TMPDIR"); }

  StudyOptions options(std::vector<std::string> vary, const char* csv = "s.csv") {
    StudyOptions o;
    o.dir = (dir_.path() / "w").string();
    o.vary = std::move(vary);
    o.csv = (dir_.path() / csv).string();
    o.jobs = 2;
    return o;
  }
  const std::filesystem::path& root() const { return dir_.path(); }

 private:
  TempDir dir_;
};

TEST_F(StudyCommand, ARunsFiguresAreThoseOfTheMeasurePath) {
  // Each case: one run of a study, and the same settings typed into the
  // parameters' files, then "apply" and "profile" as `fringe measure` runs them.
  const struct {
    int channel;
    std::vector<std::string> vary;
    ChannelSettingsTexts texts;
    double contrast, noise;
    uint32_t seed;
  } cases[] = {
      {0, {"noise=0.4", "contrast=0.7"}, {}, 0.7, 0.4, 3},
      {0, {"period=12", "angle=25", "passes=2"},
       {.alpha = "25", .lambda = "12", .filters = "2"}, 1.0, 0.0, 1},
      {1, {"radius=8.2", "mask_radius=2.5", "pixel_size=0.011", "noise=0.2"},
       {.xres = "0.011", .radius = "8.2", .maskradius = "2.5"}, 1.0, 0.2, 9},
  };
  for (const auto& c : cases) {
    std::filesystem::current_path(root());
    StudyOptions o = options(c.vary);
    o.channel = c.channel;
    o.seed = c.seed;
    StudyStop stop;
    CountingObserver observer;
    const StudyOutcome outcome = cmd_study(o, observer, stop);
    ASSERT_TRUE(outcome.complete);
    const StudyTable table = read_study_csv(o.csv);
    ASSERT_EQ(table.rows.size(), 1u);
    const StudyTableRow& run = table.rows[0];
    ASSERT_EQ(run.status, "ok");

    std::filesystem::current_path(root());
    std::filesystem::remove_all("m");
    cmd_init("m");
    std::filesystem::current_path("m");
    write_settings_texts(c.channel, c.texts);
    SimulateOptions measure;
    measure.channel = c.channel;
    measure.contrast = c.contrast;
    measure.noise = c.noise;
    measure.seed = c.seed;
    cmd_simulate(measure, nullptr);
    const ProfileResult r = cmd_profile(c.channel, nullptr);
    EXPECT_EQ(run.figures[0], r.stats.pv * kMicronsPerMm) << "pv_um, exactly";
    EXPECT_EQ(run.figures[1], r.stats.rms * kMicronsPerMm) << "rms_um";
    EXPECT_EQ(run.figures[2], r.stats.mean * kMicronsPerMm) << "mean_um";
    EXPECT_GT(r.stats.count, 5000) << "a mask of some thousand cells";
    // And what `fringe measure --json` prints, digit for digit.
    const std::string pv = "\"pv_um\": " + json_number(run.figures[0]) + ",";
    EXPECT_NE(measure_summary(c.channel, c.seed, measure, r, true).find(pv), std::string::npos);
    EXPECT_EQ(run.figures[3], 1.0) << "every mask cell has data";
    EXPECT_EQ(run.figures[4], 0.0) << "no wrong orders";
  }
  EXPECT_TRUE(std::filesystem::is_empty(root() / "tmp")) << "the runs write no file";
}

TEST_F(StudyCommand, MethodRunsGiveTheFiguresOfFringeMeasureWithTheSameOptions) {
  // Small pictures; the channel's method file says fourier with 5 steps,
  // --steps 8 goes over it, and the varied method over both.
  std::filesystem::current_path(root() / "w");
  write_settings_texts(0, {.xpixels = "256", .ypixels = "256", .xres = "0.04"});
  write_lines("method.ini", {"Method=fourier", "Steps=5"});
  StudyOptions o = options({"method=phase-shift,fourier", "noise=0.2"});
  o.method.steps = 8;
  o.seed = 3;
  const StudySetup setup = prepare_study(o);
  EXPECT_EQ(settings_value(setup.plan->base().method, "Method"), "fourier");
  EXPECT_EQ(settings_value(setup.plan->base().method, "Steps"), "8");
  std::filesystem::current_path(root());
  StudyStop stop;
  CountingObserver observer;
  ASSERT_TRUE(cmd_study(o, observer, stop).complete);
  const StudyTable table = read_study_csv(o.csv);
  ASSERT_EQ(table.rows.size(), 2u);
  EXPECT_EQ(read_file_bytes(o.csv).substr(0, 7), "method,");
  const char* const methods[] = {"phase-shift", "fourier"};
  for (std::size_t i = 0; i < 2; ++i) {
    SCOPED_TRACE(methods[i]);
    const StudyTableRow& run = table.rows[i];
    ASSERT_EQ(run.status, "ok");
    std::filesystem::current_path(root() / "w");
    SimulateOptions measure;
    measure.noise = 0.2;
    measure.seed = 3;
    measure.method.method = methods[i];
    measure.method.steps = 8;
    cmd_simulate(measure, nullptr);
    const ProfileResult r = cmd_profile(0, nullptr, nullptr, resolved_method(0, measure.method));
    EXPECT_EQ(r.method.rfind(methods[i], 0), 0u) << r.method;
    EXPECT_EQ(run.figures[0], r.stats.pv * kMicronsPerMm) << "pv_um, exactly";
    EXPECT_EQ(run.figures[1], r.stats.rms * kMicronsPerMm) << "rms_um";
    EXPECT_EQ(run.figures[2], r.stats.mean * kMicronsPerMm) << "mean_um";
  }
  EXPECT_NE(table.rows[0].figures[1], table.rows[1].figures[1]) << "the two methods measure differently";
}

TEST_F(StudyCommand, BiconicRunsGiveTheFiguresOfFringeAnalyse) {
  // Varying a number of the biconic turns the sphere of the set radius into
  // that biconic; the row's surface figures are those `fringe analyse` gives
  // after simulating the same surface with the same seed.
  StudyOptions o = options({"ry=7.9", "axis=30", "q=-0.2"});
  o.noise = 0.1;
  o.seed = 4;
  StudyStop stop;
  CountingObserver observer;
  ASSERT_TRUE(cmd_study(o, observer, stop).complete);
  const StudyTable table = read_study_csv(o.csv);
  ASSERT_EQ(table.rows.size(), 1u);
  ASSERT_EQ(table.rows[0].status, "ok");
  const auto figure = [&](const char* name) {
    return table.rows[0].figures[static_cast<std::size_t>(find_study_figure(name))];
  };

  std::filesystem::current_path(root());
  cmd_init("m");
  std::filesystem::current_path("m");
  SimulateOptions measure;
  measure.noise = 0.1;
  measure.seed = 4;
  measure.surface = "biconic:rx=7.5,ry=7.9,axis=30,q=-0.2";
  cmd_simulate(measure, nullptr);
  const SurfaceFigures f = cmd_analyse(AnalyseOptions{}, nullptr);
  ASSERT_TRUE(f.sphere && f.keratometry && f.keratometry->axis_deg && f.zernike);
  EXPECT_EQ(figure("fit_radius_mm"), f.sphere->radius_mm);
  EXPECT_EQ(figure("flat_k_D"), f.keratometry->flat_power);
  EXPECT_EQ(figure("steep_k_D"), f.keratometry->steep_power);
  EXPECT_EQ(figure("axis_deg"), *f.keratometry->axis_deg);
  EXPECT_EQ(figure("astig_um"), std::hypot(f.zernike->coefficients_um[3], f.zernike->coefficients_um[5]));
  EXPECT_NEAR(figure("axis_deg"), 120.0, 2.0) << "the flat meridian, Ry, lies at 30 + 90 degrees";
  EXPECT_GT(figure("astig_um"), 1.0);
}

TEST_F(StudyCommand, OneJobOrTwoGiveTheSameTable) {
  std::string tables[2], json[2];
  for (int jobs : {1, 2}) {
    StudyOptions o = options({"noise=0,0.6", "angle=30,70"});
    o.repeats = 2;
    o.jobs = jobs;
    o.json = (root() / "s.json").string();
    StudyStop stop;
    CountingObserver observer;
    const StudyOutcome outcome = cmd_study(o, observer, stop);
    EXPECT_TRUE(outcome.complete);
    EXPECT_EQ(outcome.ran, 8u);
    EXPECT_EQ(observer.last_progress, 100);
    EXPECT_TRUE(observer.last_status.starts_with("runs 8 of 8, ")) << observer.last_status;
    tables[jobs - 1] = read_file_bytes(o.csv);
    json[jobs - 1] = read_file_bytes(o.json);
  }
  EXPECT_EQ(without_ms(tables[0]), without_ms(tables[1]));
  const StudyTable table = parse_study_csv(tables[0], "s.csv");
  ASSERT_EQ(table.rows.size(), 8u);
  // The two repeats of a noisy point differ; a noise-free one does not.
  EXPECT_EQ(table.rows[0].figures[1], table.rows[1].figures[1]);
  EXPECT_NE(table.rows[4].figures[1], table.rows[5].figures[1]);
  // 70 degrees puts parts of the sphere on wrong fringe orders; 30 does not.
  EXPECT_EQ(table.rows[0].figures[4], 0.0);
  EXPECT_GT(table.rows[2].figures[4], 0.0);
  // The JSON's summaries agree whatever the jobs; only the rows' ms differ.
  const auto points = [](const std::string& j) { return j.substr(0, j.find("\"rows\"")); };
  EXPECT_EQ(points(json[0]), points(json[1]));
}

// A stand-in for the measurement, fast and failing where asked: every figure
// is the run's noise.
StudyRunFunction noise_run(double failing_noise) {
  return [failing_noise](const StudyRunSettings& s, MeasurementContext&) {
    if (s.noise == failing_noise) throw std::runtime_error("Cannot create file \"./sim00.bmp\"");
    return std::vector<double>(study_figures().size(), s.noise);
  };
}

// Stops the study once it has kept `rows` rows, as Ctrl-C would.
class StoppingObserver final : public StudyObserver {
 public:
  StoppingObserver(StudyStop& stop, std::size_t rows) : stop_(stop), rows_(rows) {}
  void status(const std::string&) override {}
  void progress(int) override {}
  void row_finished(const StudyRow&, const StudyProgress& p) override {
    if (p.done >= rows_) stop_.request();
  }

 private:
  StudyStop& stop_;
  std::size_t rows_;
};

TEST_F(StudyCommand, FailedRunsAndAStopEndTheStudyAsTheToolReportsThem) {
  StudyOptions o = options({"noise=0:1:9"});
  o.json = (root() / "s.json").string();
  const auto run = [&](double failing_noise, bool resume, StudyObserver& observer, StudyStop& stop) {
    std::filesystem::current_path(root());
    StudyOptions given = o;
    given.resume = resume;
    StudySetup setup = prepare_study(given);
    setup.request.threads.run = noise_run(failing_noise);
    const StudyOutcome outcome = run_study(*setup.plan, setup.request, observer, stop);
    return study_end(outcome, given, setup.plan->run_count());
  };

  // A failed run: its row says why, the files are written, the status is 3.
  StudyStop stop;
  CountingObserver counting;
  const StudyEnd failed = run(0.5, false, counting, stop);
  EXPECT_EQ(failed.status, kStudyRunsFailed);
  EXPECT_EQ(failed.failures, "1 of 9 runs failed; the status column of their rows says why");
  const StudyTable table = read_study_csv(o.csv);
  ASSERT_EQ(table.rows.size(), 9u);
  EXPECT_EQ(table.rows[4].status, "Cannot create file \"./sim00.bmp\"");
  EXPECT_EQ(table.rows[5].status, "ok") << "the others go on";
  const std::string whole = without_ms(read_file_bytes(o.csv));

  // Stopped after three rows: they stay in the journal, no table is written,
  // and --resume runs only the missing ones, to the same table.
  std::filesystem::remove(o.csv);
  std::filesystem::remove(o.json);
  StoppingObserver stopping(stop, 3);
  const StudyEnd stopped = run(0.5, false, stopping, stop);
  EXPECT_EQ(stopped.status, kStudyStopped);
  EXPECT_FALSE(std::filesystem::exists(o.csv));
  const std::string journal = read_file_bytes(o.csv + ".part");
  const std::size_t kept = static_cast<std::size_t>(std::count(journal.begin(), journal.end(), '\n')) - 2;
  EXPECT_EQ(kept, 3u) << "no row reported after the stop";
  EXPECT_NE(stopped.summary.find("study stopped: 3 of 9 runs kept in"), std::string::npos) << stopped.summary;

  stop.reset();
  CountingObserver resumed;
  const StudyEnd finished = run(0.5, true, resumed, stop);
  EXPECT_EQ(finished.status, kStudyRunsFailed);
  EXPECT_EQ(resumed.runs.size(), 6u) << "only the missing runs";
  EXPECT_EQ(without_ms(read_file_bytes(o.csv)), whole);
  EXPECT_FALSE(std::filesystem::exists(o.csv + ".part"));
}

TEST_F(StudyCommand, BadInputIsAnErrorBeforeTheFirstRunWithNothingWritten) {
  std::filesystem::create_directory("out");
  std::filesystem::create_directory("bare");  // no settings files
  std::filesystem::create_directory("broken");
  cmd_init("broken");
  std::vector<std::string> scan = read_lines("broken/scnmod.ini");
  set_settings_value(scan, "NFilt", "three");
  write_lines("broken/scnmod.ini", scan);
  cmd_init("bad_surface");
  write_lines("bad_surface/surface.ini", {"Model=biconic", "Rx=7.6", "Ry=7.9", "Axis=30", "Q=-0,2"});
  write_file_bytes("out/held.csv.part", "# fringe study 0\n");
  cmd_init("bad_method");
  write_lines("bad_method/method.ini", {"Method=fft"});

  const auto with = [&](std::vector<std::string> vary, auto change) {
    StudyOptions o = options(std::move(vary), "out/s.csv");
    change(o);
    return o;
  };
  const auto same = [](StudyOptions&) {};
  const struct {
    StudyOptions options;
    std::string message;
  } cases[] = {
      {with({"colour=1"}, same),
       "--vary \"colour=1\": unknown parameter \"colour\"; the parameters are contrast, noise, period, "
       "angle, radius, mask_radius, passes, pixel_size, rx, ry, axis, q, cone_height, cone_x, cone_y, cone_width, "
       "method, steps, gamma, blur, bits, ambient"},
      {with({"noise=0:1"}, same), "--vary \"noise=0:1\": malformed values \"0:1\""},
      {with({"noise=0:1:3", "period=1:10:3"}, same), "--vary \"period=1:10:3\": period=1 is outside 2..200"},
      {with({"noise=0:1:1000", "contrast=0:1:1001"}, same), "more than 1000000 runs"},
      {with({"noise=0:1:1000", "contrast=0:1:500"}, [](StudyOptions& o) { o.repeats = 3; }),
       "more than 1000000 runs"},
      {with({}, same), "a study varies at least one parameter"},
      {with({"noise=0.5"}, [&](StudyOptions& o) { o.csv = (root() / "none/s.csv").string(); }),
       "Cannot create file \"" + (root() / "none/s.csv").string() + "\""},
      {with({"noise=0.5"}, [&](StudyOptions& o) { o.json = (root() / "out").string(); }),
       "Cannot create file \"" + (root() / "out").string() + "\""},
      {with({"noise=0.5"}, [](StudyOptions& o) { o.json = o.csv; }), "--csv and --json name the same file"},
      {with({"noise=0.5"}, [](StudyOptions& o) { o.csv.clear(); }), "give the table's file: --csv FILE"},
      {with({"noise=0.5"}, [](StudyOptions& o) { o.jobs = 0; }), "--jobs must be at least 1"},
      {with({"noise=0.5"}, [](StudyOptions& o) { o.max_noise = "lots"; }),
       "--max-noise: \"lots\" is not a number"},
      {with({"noise=0.5"}, [](StudyOptions& o) { o.repeats = 0; }), "--repeats: 0 is outside 1..1000000"},
      {with({"noise=0.5"}, [](StudyOptions& o) { o.contrast = 1.5; }), "--contrast: 1.5 is outside 0..1"},
      {with({"noise=0.5"}, [](StudyOptions& o) { o.noise = -0.5; }), "--noise: -0.5 is outside 0..1"},
      {with({"noise=0.5"}, [&](StudyOptions& o) { o.dir = (root() / "bare").string(); }),
       "Cannot open file \"./scnmod.ini\" (run 'fringe init DIR'"},
      {with({"noise=0.5"}, [&](StudyOptions& o) { o.dir = (root() / "broken").string(); }),
       "scnmod.ini: NFilt = \"three\" is not a number"},
      {with({"noise=0.5"}, [&](StudyOptions& o) { o.dir = (root() / "bad_surface").string(); }),
       "surface.ini: Q = \"-0,2\" is not a number"},
      {with({"noise=0.5"}, [&](StudyOptions& o) { o.dir = (root() / "bad_method").string(); }),
       "method.ini: Method = \"fft\" is not quadrature, phase-shift or fourier"},
      {with({"method=fft"}, same), "--vary \"method=fft\": method=fft is not quadrature, phase-shift or fourier"},
      {with({"steps=2"}, same), "--vary \"steps=2\": steps=2 is outside 3..64"},
      {with({"noise=0.5"}, [](StudyOptions& o) { o.method.steps = 2; }), "--steps: 2 must lie between 3 and 64"},
      {with({"noise=0.5"}, [](StudyOptions& o) { o.method.method = "fft"; }),
       "--method: \"fft\" is not quadrature, phase-shift or fourier"},
      {with({"noise=0.5"}, [](StudyOptions& o) { o.method.gamma = 0; }), "--gamma: 0 must be greater than 0"},
      {with({"noise=0.5"}, [](StudyOptions& o) { o.method.bits = 12; }),
       "--bits: 12 does not suit the quadrature method"},
      {with({"noise=0.5"}, [&](StudyOptions& o) { o.dir = (root() / "nowhere").string(); }),
       "Cannot open directory"},
      {with({"noise=0.5"}, [&](StudyOptions& o) { o.csv = (root() / "out/held.csv").string(); }),
       "held.csv.part holds the finished runs of an interrupted study"},
  };
  for (const auto& c : cases) {
    std::filesystem::current_path(root());
    const std::set<std::string> before = tree(root());
    const std::string message = study_error_of(c.options);
    EXPECT_NE(message.find(c.message), std::string::npos) << "expected: " << c.message << "\ngot: " << message;
    std::filesystem::current_path(root());
    EXPECT_EQ(tree(root()), before) << c.message << ": nothing written";
  }
}

}  // namespace
