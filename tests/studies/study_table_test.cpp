// Study tables: CSV lines, reading them back exactly, summaries, JSON.
#include "studies/study_table.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <new>

#include "failing_allocation.h"
#include "temp_dir.h"

#include "error_of.h"
#include "settings/channel_settings.h"
#include "studies/study_figures.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

StudyPlan small_plan(int repeats = 2) {
  const ChannelSettingsTexts texts;
  StudyRunSettings base;
  base.scan = scan_settings_lines(texts);
  base.image = image_settings_lines(texts);
  return StudyPlan(base, {parse_study_axis("noise=0:0.3:2"), parse_study_axis("period=8,12")},
                   repeats, 5);
}

StudyRow row(std::size_t run, std::vector<double> figures, std::string status = "ok") {
  return StudyRow{run, std::move(figures), 12.3456789, std::move(status)};
}

TEST(StudyCsv, HeaderAndLines) {
  const StudyPlan plan = small_plan();
  EXPECT_EQ(study_csv_header(plan),
            "noise,period,repeat,seed,pv_um,rms_um,mean_um,coverage,order_errors,fit_radius_mm,"
            "flat_k_D,steep_k_D,axis_deg,astig_um,conic_q,hoa_rms_um,z40_um,central_k_D,i_s_D,srax_deg,"
            "kisa_percent,hoa_error_um,z40_error_um,i_s_error_D,srax_error_deg,kisa_error_percent,i_s_detected,"
            "kisa_detected,ms,status");
  EXPECT_EQ(study_csv_line(plan, row(7, {2.5, 0.1 + 0.2, -1e-5, 1, 3, 7.5, 44.9, 45.2, 120, 0.02, -0.2})),
            "0.3,12,1,6,2.5,0.30000000000000004,-1e-05,1,3,7.5,44.9,45.2,120,0.02,-0.2,,,,,,,,,,,,,,12.346,ok");
  // A failed run: empty figures, the error quoted where it holds a comma or a quote.
  EXPECT_EQ(study_csv_line(plan, row(0, {}, "Cannot open file \"./sim00.bmp\", twice")),
            "0,8,0,5,,,,,,,,,,,,,,,,,,,,,,,,,12.346,\"Cannot open file \"\"./sim00.bmp\"\", twice\"");
  // A figure that is not available (a sphere without an axis) is an empty field.
  EXPECT_EQ(study_csv_line(plan, row(1, {kNaN, 1, 2, 3, 4, 7.5, 45, 45, kNaN, 0})),
            "0,8,1,6,,1,2,3,4,7.5,45,45,,0,,,,,,,,,,,,,,,12.346,ok");
}

TEST(StudyCsv, ReadsBackTheSameDoubles) {
  const StudyPlan plan = small_plan();
  std::vector<StudyRow> rows;
  for (std::size_t run = 0; run < plan.run_count(); ++run)
    rows.push_back(row(run, {1.0 / (run + 3), std::sqrt(run + 0.5), -std::exp(-double(run) * 7),
                             (run % 3) / 7.0, double(run * 1000)}));
  rows[2] = row(2, {}, "it failed, \"badly\"");
  const StudyTable table = parse_study_csv(study_csv(plan, rows), "t.csv");
  EXPECT_EQ(table.parameters, (std::vector<std::string>{"noise", "period"}));
  EXPECT_EQ(table.figures.size(), study_figures().size());
  ASSERT_EQ(table.rows.size(), rows.size());
  const StudyTable expected = study_table(plan, rows);
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const StudyTableRow& got = table.rows[i];
    const StudyTableRow& want = expected.rows[i];
    EXPECT_EQ(got.values, want.values);
    EXPECT_EQ(got.repeat, want.repeat);
    EXPECT_EQ(got.seed, want.seed);
    EXPECT_EQ(got.status, want.status);
    EXPECT_EQ(got.ms, 12.346);
    for (std::size_t f = 0; f < got.figures.size(); ++f) {
      if (std::isnan(want.figures[f]))
        EXPECT_TRUE(std::isnan(got.figures[f])) << i << "," << f;
      else
        EXPECT_EQ(got.figures[f], want.figures[f]) << i << "," << f << ": bit for bit";
    }
  }
}

TEST(StudyCsv, CommentsCrLfAndTornLastLines) {
  const std::string text =
      "# fringe study 0123\nnoise,repeat,seed,pv_um,ms,status\r\n0.5,0,1,2,3,ok\r\n0.5,1,2,4,3,o";
  const StudyTable whole = parse_study_csv(text, "t.csv");
  ASSERT_EQ(whole.rows.size(), 2u);
  EXPECT_EQ(whole.rows[1].status, "o");
  EXPECT_EQ(whole.figures, (std::vector<std::string>{"pv_um"})) << "figure columns by name";
  EXPECT_EQ(parse_study_csv(text, "t.csv", true).rows.size(), 1u) << "a torn last line dropped";
}

std::size_t open_descriptors() {
  std::size_t count = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    (void)entry;
    ++count;
  }
  return count;
}

TEST(StudyCsv, AReadThatRunsOutOfMemoryClosesTheFile) {
  TempDir dir;
  // Several buffers' worth, so that the text grows while the file is open.
  const std::string text = "# " + std::string(300000, 'x') + "\nnoise,repeat,seed,pv_um,ms,status\n0.5,0,1,2,3,ok\n";
  std::FILE* file = std::fopen("big.csv", "wb");
  ASSERT_NE(file, nullptr);
  ASSERT_EQ(std::fwrite(text.data(), 1, text.size(), file), text.size());
  ASSERT_EQ(std::fclose(file), 0);
  const std::size_t descriptors = open_descriptors();
  for (long allowed = 0;; ++allowed) {
    ASSERT_LT(allowed, 10000);
    bool failed = false;
    std::size_t rows = 0;
    {
      FailingAllocation failing(allowed);
      try {
        rows = read_study_csv("big.csv").rows.size();
      } catch (const std::bad_alloc&) {
      }
      failed = FailingAllocation::failed();
    }
    ASSERT_EQ(open_descriptors(), descriptors) << "the file left open with allocation " << allowed << " failing";
    if (!failed) {
      EXPECT_EQ(rows, 1u);
      break;
    }
  }
}

TEST(StudyCsv, MalformedTablesAreNamedWithTheLine) {
  const struct {
    const char* text;
    const char* message;
  } cases[] = {
      {"", "t.csv: no study table (the file holds no header line)"},
      {"a,b,c\n", "t.csv, line 1: not the header of a study table"},
      {"noise,repeat,seed,ms\n", "line 1: not the header"},
      {"colour,repeat,seed,pv_um,ms,status\n", "line 1: unknown parameter \"colour\""},
      {"noise,repeat,seed,pv_um,ms,status\n0.5,0,1,2,ok\n", "line 2: 5 fields where the header has 6"},
      {"noise,repeat,seed,pv_um,ms,status\n0.5,0,1,2,3,ok\nx,0,1,2,3,ok\n", "line 3: \"x\" is not a number"},
      {"noise,repeat,seed,pv_um,ms,status\n0.5,-1,1,2,3,ok\n", "repeat and seed must be whole numbers"},
      {"noise,repeat,seed,pv_um,ms,status\n0.5,0,1.5,2,3,ok\n", "repeat and seed must be whole numbers"},
      {"noise,repeat,seed,pv_um,ms,status\n,0,1,2,3,ok\n", "\"\" is not a number"},
  };
  for (const auto& c : cases) {
    const std::string message = error_of<StudyError>([&] { parse_study_csv(c.text, "t.csv"); });
    EXPECT_NE(message.find(c.message), std::string::npos) << c.text << " gave: " << message;
  }
}

TEST(StudySummaries, MeanSampleDeviationMinMaxOverTheRepeatsThatSucceeded) {
  StudyTable table;
  table.parameters = {"noise"};
  table.figures = {"pv_um", "rms_um"};
  const auto add = [&](double noise, double pv, double rms, const char* status) {
    table.rows.push_back({{noise}, 0, 1, {pv, rms}, 1.0, status});
  };
  add(0.5, 1, 10, "ok");
  add(0.5, 2, kNaN, "ok");
  add(0.1, 7, 7, "ok");
  add(0.5, 3, 30, "ok");
  add(0.5, 100, 100, "failed");
  add(0.2, 1, 1, "failed");
  const std::vector<PointSummary> points = summarise(table);
  ASSERT_EQ(points.size(), 3u);
  EXPECT_EQ(points[0].values, (std::vector<double>{0.5})) << "in order of first appearance";
  EXPECT_EQ(points[0].runs, 4);
  EXPECT_EQ(points[0].ok, 3);
  const FigureSummary& pv = points[0].figures[0];
  EXPECT_EQ(pv.count, 3);
  EXPECT_EQ(pv.mean, 2.0);
  EXPECT_EQ(pv.sd, 1.0) << "sample deviation: sqrt((1 + 0 + 1) / 2)";
  EXPECT_EQ(pv.min, 1.0);
  EXPECT_EQ(pv.max, 3.0);
  const FigureSummary& rms = points[0].figures[1];
  EXPECT_EQ(rms.count, 2) << "a missing value is left out";
  EXPECT_EQ(rms.mean, 20.0);
  EXPECT_DOUBLE_EQ(rms.sd, std::sqrt(200.0));
  EXPECT_EQ(points[1].figures[0].sd, 0.0) << "one value";
  EXPECT_EQ(points[2].figures[0].count, 0);
  EXPECT_TRUE(std::isnan(points[2].figures[0].mean)) << "nothing succeeded";
}

TEST(StudyJson, SettingsSummariesRowsAndNulls) {
  const StudyPlan plan = small_plan(1);
  const std::string json = study_json(plan, {row(0, {1, 2, 3, 1, 0}), row(1, {}, "bad \"x\"\n")});
  for (const char* part :
       {"\"channel\": 0", "\"repeats\": 1", "\"seed\": 5", "\"runs\": 4",
        "{\"name\": \"period\", \"unit\": \"px\", \"values\": [8, 12]}", "\"LambdaF=10.0\"",
        "{\"name\": \"pv_um\", \"label\": \"PV\", \"unit\": \"µm\"}",
        "{\"noise\": 0, \"period\": 8, \"runs\": 1, \"ok\": 1, \"pv_um\": {\"count\": 1, \"mean\": 1, "
        "\"sd\": 0, \"min\": 1, \"max\": 1}",
        "\"pv_um\": {\"count\": 0, \"mean\": null, \"sd\": null, \"min\": null, \"max\": null}",
        "{\"noise\": 0, \"period\": 12, \"repeat\": 0, \"seed\": 5, \"pv_um\": null",
        "\"status\": \"bad \\\"x\\\"\\u000a\"}"})
    EXPECT_NE(json.find(part), std::string::npos) << part << "\nin\n" << json;
}

TEST(StudyFingerprint, ChangesWithAnythingThatChangesTheRuns) {
  const StudyPlan plan = small_plan();
  StudyRunSettings base = plan.base();
  const std::string fingerprint = study_fingerprint(plan);
  EXPECT_EQ(fingerprint.size(), 16u);
  EXPECT_EQ(study_fingerprint(small_plan()), fingerprint);
  EXPECT_NE(study_fingerprint(small_plan(3)), fingerprint);
  base.image.back() += "0";
  EXPECT_NE(study_fingerprint(StudyPlan(base, plan.axes(), 2, 5)), fingerprint);
  EXPECT_NE(study_fingerprint(StudyPlan(plan.base(), plan.axes(), 2, 6)), fingerprint);
  base = plan.base();
  base.noise = 0.25;
  EXPECT_NE(study_fingerprint(StudyPlan(base, plan.axes(), 2, 5)), fingerprint);
}

}  // namespace
