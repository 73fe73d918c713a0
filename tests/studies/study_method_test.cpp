// Studies of the fringe-analysis method and its error sources: parameter
// domains and names, the method lines each run gets, the names in the CSV,
// JSON and plot, and a small measured study interrupted and resumed.
#include <gtest/gtest.h>

#include <set>
#include <sstream>

#include "common/settings_file.h"
#include "methods/fringe_method.h"
#include "settings/channel_settings.h"
#include "settings/method_settings.h"
#include "studies/study.h"
#include "studies/study_figures.h"
#include "studies/study_plot.h"
#include "studies/study_run.h"
#include "temp_dir.h"

namespace {

StudyRunSettings base_of(const ChannelSettingsTexts& texts = {}, std::vector<std::string> method = {}) {
  StudyRunSettings base;
  base.scan = scan_settings_lines(texts);
  base.image = image_settings_lines(texts);
  base.method = std::move(method);
  return base;
}

StudyPlan plan_of(std::initializer_list<const char*> texts, const StudyRunSettings& base = base_of(),
                  std::size_t repeats = 1) {
  std::vector<StudyAxis> axes;
  for (const char* text : texts) axes.push_back(parse_study_axis(text));
  return StudyPlan(base, axes, repeats, 1);
}

TEST(StudyMethodParameters, EachValueReachesTheRunsMethodLinesUnderItsKey) {
  const struct {
    const char* vary;
    const char* key;
    std::vector<const char*> lines;  // the key's text in each run
  } cases[] = {
      {"method=quadrature,fourier,phase-shift", "Method", {"quadrature", "fourier", "phase-shift"}},
      {"steps=3,8,64", "Steps", {"3", "8", "64"}},
      {"gamma=0.45,1,2.2", "Gamma", {"0.45", "1", "2.2"}},
      {"blur=0:3:3", "Blur", {"0", "1.5", "3"}},
      {"bits=8,12,16", "Bits", {"8", "12", "16"}},
      {"ambient=0,12.5,254", "Ambient", {"0", "12.5", "254"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.vary);
    // Bits beyond 8 do not suit quadrature, the file's default method.
    StudyRunSettings base = base_of();
    if (std::string(c.key) == "Bits") base.method = {"Method=phase-shift"};
    const StudyPlan plan = plan_of({c.vary}, base);
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
  for (std::size_t i = 0; i < 3; ++i) EXPECT_STREQ(method.names[i], fringe_method_name(static_cast<FringeMethod>(i)));
}

TEST(StudyMethodParameters, AVariedValueKeepsTheRestOfTheChannelsMethodFile) {
  const StudyRunSettings base =
      base_of({}, {"Method=phase-shift", "Steps=8", "Periods=160,10", "Bits=12", "Ambient=3"});
  const StudyPlan plan = plan_of({"gamma=2", "steps=5"}, base);
  const MethodSettings m = read_method_settings(plan.run_settings(0).method, "method.ini");
  EXPECT_EQ(m.method, FringeMethod::phase_shift);
  EXPECT_EQ(m.steps, 5);
  EXPECT_EQ(m.periods, (std::vector<double>{160, 10}));
  EXPECT_EQ(m.errors.gamma, 2.0);
  EXPECT_EQ(m.errors.bits, 12);
  EXPECT_EQ(m.errors.ambient, 3.0);
  EXPECT_EQ(plan.run_settings(0).method.size(), base.method.size() + 1) << "Gamma added, the others replaced";
  EXPECT_TRUE(plan_of({"noise=0.5"}).run_settings(0).method.empty()) << "nothing of the method varied";
}

TEST(StudyMethodParameters, ValuesOutsideTheDomainsAreNamedAsTheOthersAre) {
  const struct {
    const char* text;
    const char* message;
  } cases[] = {
      {"method=2", "method=2 is not quadrature, phase-shift or fourier"},  // names, never indices
      {"method=Fourier", "method=Fourier is not quadrature"}, {"method=0:2:3", "method=0:2:3 is not quadrature"},
      {"method=fourier,", "method= is not quadrature"},
      {"method=fourier,quadrature,fourier", "the value fourier is given twice"},
      {"steps=2", "steps=2 is outside 3..64"}, {"steps=65", "steps=65 is outside 3..64"},
      {"steps=7.5", "steps=7.5 is not a whole number"}, {"gamma=0", "gamma=0 must be greater than 0"},
      {"gamma=1e999", "\"1e999\" is not a number"}, {"blur=-0.5", "blur=-0.5 is outside 0..4096"},
      {"bits=7", "bits=7 is outside 8..16"}, {"ambient=255", "ambient=255 is outside 0..254"},
  };
  for (const auto& c : cases) {
    std::string message;
    try {
      parse_study_axis(c.text);
    } catch (const StudyError& e) {
      message = e.what();
    }
    EXPECT_NE(message.find(c.message), std::string::npos) << c.text << " gave: " << message;
  }
  const StudyParameter& method = *find_study_parameter("method");
  EXPECT_EQ(domain_violation(method, 3), "method=3 is not quadrature, phase-shift or fourier");
  EXPECT_EQ(domain_violation(method, 0.5), "method=0.5 is not quadrature, phase-shift or fourier");
  EXPECT_EQ(domain_violation(*find_study_parameter("gamma"), INFINITY), "gamma=inf must be greater than 0");
  EXPECT_EQ(parameter_value_text(method, 1), "phase-shift");
  EXPECT_EQ(parameter_value_text(method, 7), "7") << "off the names: the number, not a name";
  EXPECT_EQ(parameter_value(method, "fourier").value_or(-1), 2.0);
  EXPECT_FALSE(parameter_value(method, "1"));
}

// Rows of a plan without measuring: the figures tell the runs apart.
std::string made_csv(const StudyPlan& plan, std::string* json = nullptr) {
  std::vector<StudyRow> rows;
  for (std::size_t run = 0; run < plan.run_count(); ++run)
    rows.push_back({run, std::vector<double>(study_figures().size(), 0.5 + static_cast<double>(run)), 2.0, "ok"});
  if (json != nullptr) *json = study_json(plan, rows);
  return study_csv(plan, rows);
}

TEST(StudyMethodTable, CsvJsonSummariesAndPlotShowTheNames) {
  std::string json;
  const std::string csv = made_csv(plan_of({"method=quadrature,fourier,phase-shift", "noise=0,0.5"}, base_of(), 2), &json);
  std::istringstream lines(csv);
  std::string line;  // the header
  std::getline(lines, line);
  EXPECT_EQ(line.rfind("method,noise,repeat,seed,", 0), 0u) << line;
  std::vector<std::string> starts, expected;
  while (std::getline(lines, line)) starts.push_back(line.substr(0, line.find(',', line.find(',') + 1)));
  for (const char* m : {"quadrature", "fourier", "phase-shift"})
    for (const char* noise : {",0", ",0", ",0.5", ",0.5"}) expected.push_back(m + std::string(noise));
  EXPECT_EQ(starts, expected);

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
  for (const char* part : {"\"values\": [\"quadrature\", \"fourier\", \"phase-shift\"]",
                           "{\"method\": \"fourier\", \"noise\": 0.5, \"runs\": 2, \"ok\": 2",
                           "{\"method\": \"phase-shift\", \"noise\": 0, \"repeat\": 1, \"seed\": 2"})
    EXPECT_NE(json.find(part), std::string::npos) << part;

  // Method first, noise along x anyway: a line per method.
  const StudyPlot plot = study_plot(table, 1);
  EXPECT_EQ(plot.x_title, "noise");
  ASSERT_EQ(plot.lines.size(), 3u);
  EXPECT_EQ(plot.lines[0].name, "method = quadrature");
  EXPECT_EQ(plot.lines[2].name, "method = phase-shift");
  ASSERT_EQ(plot.lines[1].points.size(), 2u);
  // Runs 6 and 7 (figures 6.5 and 7.5) at noise 0.5.
  EXPECT_EQ(study_point_text(table, plot, 1, 1), "noise = 0.5, method = fourier: RMS 7 ± 0.707 µm (2 of 2 runs)");
  // Only the method varied: it is along x, its points named.
  const StudyTable methods = parse_study_csv(made_csv(plan_of({"method=fourier,quadrature"})), "m.csv");
  const StudyPlot alone = study_plot(methods, 1);
  EXPECT_EQ(alone.x_title, "method");
  ASSERT_EQ(alone.lines.size(), 1u);
  EXPECT_EQ(study_point_text(methods, alone, 0, 0).rfind("method = quadrature: RMS 1.5", 0), 0u);
}

TEST(StudyMethodTable, AJournalOfAnotherMethodHasAnotherFingerprint) {
  const auto print = [](std::vector<std::string> method) {
    return study_fingerprint(plan_of({"noise=0,0.5"}, base_of({}, std::move(method))));
  };
  EXPECT_NE(print({}), print({"Method=fourier"}));
  EXPECT_NE(print({"Method=fourier"}), print({"Method=phase-shift"}));
}

// Quiet; stops the study once `after` rows are kept (never when 0).
class StopAfter final : public StudyObserver {
 public:
  explicit StopAfter(std::size_t after = 0) : after_(after) {}
  void status(const std::string&) override {}
  void progress(int) override {}
  void row_finished(const StudyRow&, const StudyProgress&) override {
    if (++rows_ == after_) stop.request();
  }
  StudyStop stop;

 private:
  std::size_t after_, rows_ = 0;
};

// The CSV without its ms column, which differs from run to run.
std::string without_ms(const std::string& csv) {
  StudyTable table = parse_study_csv(csv, "csv");
  for (StudyTableRow& row : table.rows) row.ms = 0;
  return study_table_csv(table);
}

TEST(StudyMethodRuns, ThreeMethodsMeasuredGiveThreeLinesAndAResumedStudyTheSameTable) {
  TempDir dir;
  ChannelSettingsTexts small;  // small pictures over the same field: quick runs
  small.xpixels = small.ypixels = "128";
  small.xres = "0.08";
  const StudyPlan plan = plan_of({"method=quadrature,fourier,phase-shift", "noise=0,0.4"}, base_of(small, {"Steps=8"}));
  check_study_run_settings(plan.run_settings(0));

  StudyRequest whole;
  whole.files = {"whole.csv", ""};
  whole.threads.jobs = 2;
  StopAfter quiet;
  const StudyOutcome outcome = run_study(plan, whole, quiet, quiet.stop);
  ASSERT_TRUE(outcome.complete);
  ASSERT_EQ(outcome.rows.size(), 6u);
  EXPECT_EQ(outcome.failed, 0u) << outcome.rows[0].status;
  const StudyPlot plot = study_plot(read_study_csv("whole.csv"), 1);
  ASSERT_EQ(plot.lines.size(), 3u);
  EXPECT_EQ(plot.lines[2].name, "method = phase-shift");
  std::set<double> rms;
  for (const StudyPlotLine& line : plot.lines) {
    EXPECT_EQ(line.points.size(), 2u) << line.name;
    rms.insert(line.points[0].mean);
  }
  EXPECT_EQ(rms.size(), 3u) << "each method measures differently";

  // Stopped after two rows, then resumed: the same table.
  StudyRequest part;
  part.files = {"part.csv", ""};
  part.threads.jobs = 1;
  StopAfter stopper(2);
  const StudyOutcome stopped = run_study(plan, part, stopper, stopper.stop);
  ASSERT_FALSE(stopped.complete);
  ASSERT_TRUE(std::filesystem::exists("part.csv.part"));
  part.resume = true;
  StopAfter resumer;
  const StudyOutcome resumed = run_study(plan, part, resumer, resumer.stop);
  ASSERT_TRUE(resumed.complete);
  EXPECT_EQ(resumed.ran, 6u - stopped.rows.size());
  EXPECT_EQ(without_ms(read_file_bytes("part.csv")), without_ms(read_file_bytes("whole.csv")));
}

}  // namespace
