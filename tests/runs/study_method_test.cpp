// Studies of the fringe-analysis method and its error sources: the domains
// and names of the parameters, the method lines each run gets, the names in
// the CSV, JSON and plot, and a small measured study over the three methods,
// interrupted and resumed.
#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <sstream>

#include "common/settings_file.h"
#include "methods/fringe_method.h"
#include "runs/channel_settings.h"
#include "runs/method_settings.h"
#include "runs/study.h"
#include "runs/study_figures.h"
#include "runs/study_plot.h"
#include "runs/study_run.h"
#include "temp_dir.h"

namespace {

StudyRunSettings base_of(const ChannelSettingsTexts& texts = {}) {
  StudyRunSettings base;
  base.scan = scan_settings_lines(texts);
  base.image = image_settings_lines(texts);
  return base;
}

std::vector<StudyAxis> axes(std::initializer_list<const char*> texts) {
  std::vector<StudyAxis> result;
  for (const char* text : texts) result.push_back(parse_study_axis(text));
  return result;
}

std::string axis_error(const char* text) {
  try {
    parse_study_axis(text);
  } catch (const StudyError& e) {
    return e.what();
  }
  return "";
}

// The method settings a run measures with, read as measure reads them.
MethodSettings run_method(const StudyPlan& plan, std::size_t run) {
  return read_method_settings(plan.run_settings(run).method, "method.ini");
}

TEST(StudyMethodParameters, EachValueReachesTheRunsMethodLinesUnderItsKey) {
  const struct {
    const char* vary;
    const char* unit;
    const char* key;
    std::vector<const char*> lines;  // the key's text in each run
  } cases[] = {
      {"method=quadrature,fourier,phase-shift", "", "Method", {"quadrature", "fourier", "phase-shift"}},
      {"steps=3,8,64", "", "Steps", {"3", "8", "64"}},
      {"gamma=0.45,1,2.2", "", "Gamma", {"0.45", "1", "2.2"}},
      {"blur=0:3:3", "px", "Blur", {"0", "1.5", "3"}},
      {"bits=8,12,16", "", "Bits", {"8", "12", "16"}},
      {"ambient=0,12.5,254", "grey levels", "Ambient", {"0", "12.5", "254"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.vary);
    const StudyAxis axis = parse_study_axis(c.vary);
    EXPECT_STREQ(axis.parameter->unit, c.unit);
    // Bits beyond 8 do not suit quadrature, the file's default method.
    StudyRunSettings base = base_of();
    if (std::string(c.key) == "Bits") base.method = {"Method=phase-shift"};
    const StudyPlan plan(base, {axis}, 1, 1);
    ASSERT_EQ(plan.run_count(), c.lines.size());
    for (std::size_t run = 0; run < c.lines.size(); ++run) {
      const StudyRunSettings s = plan.run_settings(run);
      EXPECT_EQ(settings_value(s.method, c.key), c.lines[run]) << "run " << run;
      EXPECT_NO_THROW(read_method_settings(s.method, "method.ini"));
      EXPECT_EQ(s.scan, base.scan) << "only the method lines change";
    }
  }
  // The method values are the enum's, so an index is the method measured.
  const StudyParameter& method = *find_study_parameter("method");
  ASSERT_EQ(method.names.size(), 3u);
  for (std::size_t i = 0; i < method.names.size(); ++i)
    EXPECT_STREQ(method.names[i], fringe_method_name(static_cast<FringeMethod>(i)));
  const StudyPlan plan(base_of(), axes({"method=fourier,phase-shift"}), 1, 1);
  EXPECT_EQ(run_method(plan, 0).method, FringeMethod::fourier);
  EXPECT_EQ(run_method(plan, 1).method, FringeMethod::phase_shift);
}

TEST(StudyMethodParameters, AVariedValueKeepsTheRestOfTheChannelsMethodFile) {
  StudyRunSettings base = base_of();
  base.method = {"Method=phase-shift", "Steps=8", "Periods=160,10", "Bits=12", "Ambient=3"};
  const StudyPlan plan(base, axes({"gamma=2", "steps=5"}), 1, 1);
  const MethodSettings m = run_method(plan, 0);
  EXPECT_EQ(m.method, FringeMethod::phase_shift);
  EXPECT_EQ(m.steps, 5);
  EXPECT_EQ(m.periods, (std::vector<double>{160, 10}));
  EXPECT_EQ(m.errors.gamma, 2.0);
  EXPECT_EQ(m.errors.bits, 12);
  EXPECT_EQ(m.errors.ambient, 3.0);
  EXPECT_EQ(plan.run_settings(0).method.size(), base.method.size() + 1) << "Gamma added, the others replaced";
  // A study that varies nothing of the method leaves the lines as they were.
  EXPECT_TRUE(StudyPlan(base_of(), axes({"noise=0.5"}), 1, 1).run_settings(0).method.empty());
}

TEST(StudyMethodParameters, ValuesOutsideTheDomainsAreNamedAsTheOthersAre) {
  const struct {
    const char* text;
    const char* message;
  } cases[] = {
      {"method=fft", "method=fft is not quadrature, phase-shift or fourier"},
      {"method=2", "method=2 is not quadrature, phase-shift or fourier"},  // names, never indices
      {"method=Fourier", "method=Fourier is not quadrature, phase-shift or fourier"},
      {"method=0:2:3", "method=0:2:3 is not quadrature"},
      {"method=fourier,", "method= is not quadrature"},
      {"method=fourier,quadrature,fourier", "the value fourier is given twice"},
      {"steps=2", "steps=2 is outside 3..64"},
      {"steps=65", "steps=65 is outside 3..64"},
      {"steps=7.5", "steps=7.5 is not a whole number"},
      {"gamma=0", "gamma=0 must be greater than 0"},
      {"gamma=-1", "gamma=-1 must be greater than 0"},
      {"gamma=1e999", "\"1e999\" is not a number"},
      {"blur=-0.5", "blur=-0.5 is outside 0..4096"},
      {"bits=7", "bits=7 is outside 8..16"},
      {"bits=12.5", "bits=12.5 is not a whole number"},
      {"ambient=255", "ambient=255 is outside 0..254"},
  };
  for (const auto& c : cases) {
    const std::string message = axis_error(c.text);
    EXPECT_NE(message.find(c.message), std::string::npos) << c.text << " gave: " << message;
  }
  const StudyParameter& method = *find_study_parameter("method");
  EXPECT_EQ(domain_violation(method, 3), "method=3 is not quadrature, phase-shift or fourier");
  EXPECT_EQ(domain_violation(method, 0.5), "method=0.5 is not quadrature, phase-shift or fourier");
  EXPECT_EQ(domain_violation(method, 2), "");
  EXPECT_EQ(domain_violation(*find_study_parameter("gamma"), INFINITY), "gamma=inf must be greater than 0");
  EXPECT_EQ(parameter_value_text(method, 1), "phase-shift");
  EXPECT_EQ(parameter_value_text(method, 7), "7") << "off the names: the number, not a name";
  EXPECT_EQ(parameter_value(method, "fourier").value_or(-1), 2.0);
  EXPECT_FALSE(parameter_value(method, "1"));
}

// Rows of a plan without measuring: the figures tell the runs apart.
std::vector<StudyRow> made_rows(const StudyPlan& plan) {
  std::vector<StudyRow> rows;
  for (std::size_t run = 0; run < plan.run_count(); ++run)
    rows.push_back({run, std::vector<double>(study_figures().size(), 0.5 + static_cast<double>(run)), 2.0, "ok"});
  return rows;
}

TEST(StudyMethodTable, CsvJsonSummariesAndPlotShowTheNames) {
  const StudyPlan plan(base_of(), axes({"method=quadrature,fourier,phase-shift", "noise=0,0.5"}), 2, 1);
  const std::vector<StudyRow> rows = made_rows(plan);
  const std::string csv = study_csv(plan, rows);
  std::istringstream lines(csv);
  std::string header, first, line;
  std::getline(lines, header);
  EXPECT_EQ(header.rfind("method,noise,repeat,seed,", 0), 0u) << header;
  std::vector<std::string> starts;
  while (std::getline(lines, line)) starts.push_back(line.substr(0, line.find(',', line.find(',') + 1)));
  EXPECT_EQ(starts, (std::vector<std::string>{"quadrature,0", "quadrature,0", "quadrature,0.5", "quadrature,0.5",
                                              "fourier,0", "fourier,0", "fourier,0.5", "fourier,0.5",
                                              "phase-shift,0", "phase-shift,0", "phase-shift,0.5",
                                              "phase-shift,0.5"}));

  // Read back: the same table, written again byte for byte.
  const StudyTable table = parse_study_csv(csv, "s.csv");
  EXPECT_EQ(table.parameters, (std::vector<std::string>{"method", "noise"}));
  EXPECT_EQ(table.rows[4].values, (std::vector<double>{2, 0}));
  EXPECT_EQ(study_table_csv(table), csv);
  // A table whose method column holds numbers is not one this program wrote.
  std::string numbered = csv;
  numbered.replace(numbered.find("\nfourier,"), 9, "\n2,");
  try {
    parse_study_csv(numbered, "s.csv");
    ADD_FAILURE() << "a method given as a number was read";
  } catch (const StudyError& e) {
    EXPECT_STREQ(e.what(), "s.csv, line 6: \"2\" is not quadrature, phase-shift or fourier");
  }

  const std::string json = study_json(plan, rows);
  for (const char* part : {"\"values\": [\"quadrature\", \"fourier\", \"phase-shift\"]",
                           "{\"method\": \"fourier\", \"noise\": 0.5, \"runs\": 2, \"ok\": 2",
                           "{\"method\": \"phase-shift\", \"noise\": 0, \"repeat\": 1, \"seed\": 2"})
    EXPECT_NE(json.find(part), std::string::npos) << part;

  // Method first, noise along x anyway: a line per method.
  const StudyPlot plot = study_plot(table, 1);
  EXPECT_EQ(plot.x_title, "noise");
  EXPECT_EQ(plot.x_parameter, 1u);
  ASSERT_EQ(plot.lines.size(), 3u);
  EXPECT_EQ(plot.lines[0].name, "method = quadrature");
  EXPECT_EQ(plot.lines[1].name, "method = fourier");
  EXPECT_EQ(plot.lines[2].name, "method = phase-shift");
  ASSERT_EQ(plot.lines[1].points.size(), 2u);
  EXPECT_EQ(plot.lines[1].points[1].x, 0.5);
  EXPECT_EQ(plot.lines[1].points[1].mean, 7.0) << "runs 6 and 7: 6.5 and 7.5";
  EXPECT_EQ(study_point_text(table, plot, 1, 1), "noise = 0.5, method = fourier: RMS 7 ± 0.707 µm (2 of 2 runs)");
  // Only the method varied: it is along x, its points named.
  const StudyTable methods = parse_study_csv(
      study_csv(StudyPlan(base_of(), axes({"method=fourier,quadrature"}), 1, 1),
                made_rows(StudyPlan(base_of(), axes({"method=fourier,quadrature"}), 1, 1))),
      "m.csv");
  const StudyPlot alone = study_plot(methods, 1);
  EXPECT_EQ(alone.x_title, "method");
  ASSERT_EQ(alone.lines.size(), 1u);
  EXPECT_EQ(study_point_text(methods, alone, 0, 0).rfind("method = quadrature: RMS 1.5", 0), 0u);
}

TEST(StudyMethodTable, MethodLinesAreInTheFingerprintOnlyWhenThereAreAny) {
  const StudyPlan classic(base_of(), axes({"noise=0,0.5"}), 1, 1);
  StudyRunSettings base = base_of();
  base.method = {"Method=fourier"};
  const StudyPlan fourier(base, axes({"noise=0,0.5"}), 1, 1);
  base.method = {"Method=phase-shift"};
  const StudyPlan phase(base, axes({"noise=0,0.5"}), 1, 1);
  EXPECT_NE(study_fingerprint(classic), study_fingerprint(fourier));
  EXPECT_NE(study_fingerprint(fourier), study_fingerprint(phase)) << "a journal of another method is refused";
}

class QuietObserver : public StudyObserver {
 public:
  void status(const std::string&) override {}
  void progress(int) override {}
};

// Stops the study once `after` rows are kept.
class StopAfter final : public QuietObserver {
 public:
  StopAfter(StudyStop& stop, std::size_t after) : stop_(stop), after_(after) {}
  void row_finished(const StudyRow&, const StudyProgress&) override {
    if (++rows_ >= after_) stop_.request();
  }

 private:
  StudyStop& stop_;
  std::size_t after_;
  std::size_t rows_ = 0;
};

// The CSV without its ms column, which differs from run to run.
std::string without_ms(const std::string& csv) {
  StudyTable table = parse_study_csv(csv, "csv");
  for (StudyTableRow& row : table.rows) row.ms = 0;
  return study_table_csv(table);
}

TEST(StudyMethodRuns, ThreeMethodsMeasuredGiveThreeLinesAndAResumedStudyTheSameTable) {
  TempDir dir;
  // Small pictures over the same field: quick runs.
  ChannelSettingsTexts small;
  small.xpixels = "128";
  small.ypixels = "128";
  small.xres = "0.08";
  StudyRunSettings base = base_of(small);
  base.method = {"Steps=8"};
  const StudyPlan plan(base, axes({"method=quadrature,fourier,phase-shift", "noise=0,0.4"}), 1, 5);
  check_study_run_settings(plan.run_settings(0));

  StudyRequest whole;
  whole.files = {"whole.csv", ""};
  whole.threads.jobs = 2;
  StudyStop stop;
  QuietObserver quiet;
  const StudyOutcome outcome = run_study(plan, whole, quiet, stop);
  ASSERT_TRUE(outcome.complete);
  ASSERT_EQ(outcome.rows.size(), 6u);
  EXPECT_EQ(outcome.failed, 0u) << outcome.rows[0].status;
  const StudyTable table = read_study_csv("whole.csv");
  const StudyPlot plot = study_plot(table, 1);
  ASSERT_EQ(plot.lines.size(), 3u);
  std::set<double> rms;
  for (const StudyPlotLine& line : plot.lines) {
    EXPECT_EQ(line.points.size(), 2u) << line.name;
    rms.insert(line.points[0].mean);
  }
  EXPECT_EQ(plot.lines[2].name, "method = phase-shift");
  EXPECT_EQ(rms.size(), 3u) << "each method measures differently";

  // Stopped after two rows, then resumed: the same table.
  StudyRequest part;
  part.files = {"part.csv", ""};
  part.threads.jobs = 1;
  StudyStop stop_early;
  StopAfter stopper(stop_early, 2);
  const StudyOutcome stopped = run_study(plan, part, stopper, stop_early);
  ASSERT_FALSE(stopped.complete);
  ASSERT_TRUE(std::filesystem::exists("part.csv.part"));
  part.resume = true;
  StudyStop no_stop;
  const StudyOutcome resumed = run_study(plan, part, quiet, no_stop);
  ASSERT_TRUE(resumed.complete);
  EXPECT_EQ(resumed.ran, 6u - stopped.rows.size());
  EXPECT_EQ(without_ms(read_file_bytes("part.csv")), without_ms(read_file_bytes("whole.csv")));
}

}  // namespace
