// Where a study's rows go: the journal while it runs, resume after an
// interruption, the whole CSV and JSON at the end.
#include "studies/study_record.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "common/errors.h"
#include "error_of.h"
#include "settings/channel_settings.h"
#include "temp_dir.h"

namespace {

StudyPlan plan_with_seed(uint32_t seed) {
  const ChannelSettingsTexts texts;
  StudyRunSettings base;
  base.scan = scan_settings_lines(texts);
  base.image = image_settings_lines(texts);
  return StudyPlan(base, {parse_study_axis("noise=0,0.5,1"), parse_study_axis("contrast=0.5,1")}, 2,
                   seed);
}

// Run 3 fails, as a run that throws leaves it: no figures, the error as status.
StudyRow row(std::size_t run) {
  if (run == 3) return StudyRow{run, {}, run + 0.5, "failed, as it happens"};
  return StudyRow{run, {run * 0.1, run * 0.01, -0.5, 1, double(run % 2)}, run + 0.5, "ok"};
}

std::size_t files_in(const std::filesystem::path& dir) {
  return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(dir), {}));
}

TEST(StudyRecord, JournalWhileRunningWholeFilesAtTheEnd) {
  TempDir dir;
  const StudyPlan plan = plan_with_seed(1);
  StudyRecord record(plan, {"s.csv", "s.json"}, false);
  EXPECT_EQ(files_in("."), 0u) << "checking the names writes nothing";
  EXPECT_EQ(record.journal(), "s.csv.part");
  record.start();
  const std::string head = "# fringe study " + study_fingerprint(plan) + "\n" + study_csv_header(plan) + "\n";
  EXPECT_EQ(read_file_bytes("s.csv.part"), head);
  // Rows in the order they finish, each on disk at once.
  for (std::size_t run : {5, 0, 3}) record.add(row(run));
  record.add(StudyRow{5, {}, 1, "a second row of run 5 is ignored"});
  EXPECT_EQ(read_file_bytes("s.csv.part"), head + study_csv_line(plan, row(5)) + "\n" +
                                               study_csv_line(plan, row(0)) + "\n" +
                                               study_csv_line(plan, row(3)) + "\n");
  EXPECT_FALSE(std::filesystem::exists("s.csv"));
  EXPECT_EQ(record.missing_runs(), (std::vector<std::size_t>{1, 2, 4, 6, 7, 8, 9, 10, 11}));
  for (std::size_t run : record.missing_runs()) record.add(row(run));
  record.finish();
  std::vector<StudyRow> in_order;
  for (std::size_t run = 0; run < plan.run_count(); ++run) in_order.push_back(row(run));
  EXPECT_EQ(read_file_bytes("s.csv"), study_csv(plan, in_order)) << "table order";
  EXPECT_EQ(read_file_bytes("s.json"), study_json(plan, in_order));
  EXPECT_FALSE(std::filesystem::exists("s.csv.part"));
}

TEST(StudyRecord, ResumeKeepsEveryFinishedRowOnceAndRunsOnlyTheRest) {
  TempDir dir;
  const StudyPlan plan = plan_with_seed(1);
  {
    StudyRecord interrupted(plan, {"s.csv", ""}, false);
    interrupted.start();
    for (std::size_t run : {4, 1, 9, 3}) interrupted.add(row(run));
  }  // killed here: no finish
  // A crash of the machine tore the last line.
  write_file_bytes("s.csv.part", read_file_bytes("s.csv.part") + "0.5,1,0,1,0.8,0.0");

  EXPECT_NE(error_of([&] { StudyRecord(plan, {"s.csv", ""}, false); })
                .find("s.csv.part holds the finished runs of an interrupted study: add --resume"),
            std::string::npos);
  StudyRecord resumed(plan, {"s.csv", ""}, true);
  EXPECT_EQ(resumed.finished_count(), 4u);
  EXPECT_EQ(resumed.missing_runs(), (std::vector<std::size_t>{0, 2, 5, 6, 7, 8, 10, 11}));
  resumed.start();
  EXPECT_EQ(read_file_bytes("s.csv.part").find("0.5,1,0,1,0.8,0.0\n"), std::string::npos)
      << "the journal is made whole again without the torn line";
  for (std::size_t run : resumed.missing_runs()) resumed.add(row(run));
  resumed.finish();

  std::vector<StudyRow> in_order;
  for (std::size_t run = 0; run < plan.run_count(); ++run) in_order.push_back(row(run));
  EXPECT_EQ(read_file_bytes("s.csv"), study_csv(plan, in_order))
      << "no row lost, none twice, the failed one kept";

  // Resuming a finished study runs nothing and writes the same table.
  StudyRecord again(plan, {"s.csv", ""}, true);
  EXPECT_TRUE(again.missing_runs().empty());
}

TEST(StudyRecord, RowsOfAnotherStudyAreRefused) {
  TempDir dir;
  {
    const StudyPlan other_plan = plan_with_seed(2);
    StudyRecord other(other_plan, {"s.csv", ""}, false);
    other.start();
    other.add(row(0));
  }
  const StudyPlan plan = plan_with_seed(1);
  const std::string journal = read_file_bytes("s.csv.part");
  EXPECT_NE(error_of([&] { StudyRecord(plan, {"s.csv", ""}, true); })
                .find("s.csv.part belongs to another study"),
            std::string::npos);
  EXPECT_EQ(read_file_bytes("s.csv.part"), journal) << "left as it was";

  // The right fingerprint, but a row that is not on the grid (noise 0.25).
  std::filesystem::remove("s.csv.part");
  {
    StudyRecord record(plan, {"s.csv", ""}, false);
    record.start();
  }
  write_file_bytes("s.csv.part", read_file_bytes("s.csv.part") + "0.25,1,0,1,1,1,1,1,0,7.5,45,45,90,0,-0.2,,,,,,,,,,,,,,3,ok\n");
  EXPECT_EQ(error_of([&] { StudyRecord(plan, {"s.csv", ""}, true); }),
            "s.csv.part: row 1 is not a run of this study");
  // A seed that does not belong to the repeat.
  std::filesystem::remove("s.csv.part");
  write_file_bytes("s.csv", study_csv_header(plan) + "\n0.5,1,0,9,1,1,1,1,0,7.5,45,45,90,0,-0.2,,,,,,,,,,,,,,3,ok\n");
  EXPECT_EQ(error_of([&] { StudyRecord(plan, {"s.csv", ""}, true); }),
            "s.csv: row 1 is not a run of this study");
  write_file_bytes("s.csv", "noise,repeat,seed,ms,status\n");
  EXPECT_NE(error_of([&] { StudyRecord(plan, {"s.csv", ""}, true); }).find("has other columns"),
            std::string::npos);
}

TEST(StudyRecord, OutputsThatCannotBeWrittenStopItBeforeAnythingIsWritten) {
  TempDir dir;
  const StudyPlan plan = plan_with_seed(1);
  std::filesystem::create_directory("folder");
  EXPECT_EQ(error_of([&] { StudyRecord(plan, {"missing/s.csv", "s.json"}, false); }),
            "Cannot create file \"missing/s.csv\"");
  EXPECT_EQ(error_of([&] { StudyRecord(plan, {"s.csv", "folder"}, false); }),
            "Cannot create file \"folder\"");
  std::filesystem::create_directory("s.csv.part");
  EXPECT_EQ(error_of([&] { StudyRecord(plan, {"s.csv", ""}, false); }),
            "Cannot create file \"s.csv.part\"");
  EXPECT_EQ(files_in("."), 2u) << "only the two folders";
  // Without files the rows stay in memory.
  StudyRecord memory(plan, {}, false);
  memory.start();
  memory.add(row(2));
  memory.finish();
  EXPECT_EQ(memory.rows().size(), 1u);
  EXPECT_EQ(files_in("."), 2u);
}

}  // namespace
