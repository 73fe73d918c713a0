// Study tables read back: the window's "open table..." and --resume read CSV
// files that may come from anywhere.
// Input: the file's bytes.
// Properties: the reader gives a table or a StudyError, never anything else;
// every row has one value per parameter and per figure column; a table
// written back reads back to the same table (numbers bit for bit), and
// writing it again gives the same text; its summaries, plot and hover texts
// are computed without fault, with counts, deviations and point order as
// documented.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz_work_dir.h"
#include "studies/study_plot.h"
#include "studies/study_table.h"

namespace {

bool same_number(double a, double b) {
  return std::isnan(a) ? std::isnan(b) : std::memcmp(&a, &b, sizeof a) == 0;
}

bool same_table(const StudyTable& a, const StudyTable& b) {
  if (a.parameters != b.parameters || a.figures != b.figures || a.rows.size() != b.rows.size())
    return false;
  for (std::size_t r = 0; r < a.rows.size(); ++r) {
    const StudyTableRow& x = a.rows[r];
    const StudyTableRow& y = b.rows[r];
    if (x.repeat != y.repeat || x.seed != y.seed || x.status != y.status || !same_number(x.ms, y.ms) ||
        x.values.size() != y.values.size() || x.figures.size() != y.figures.size())
      return false;
    for (std::size_t i = 0; i < x.values.size(); ++i)
      if (!same_number(x.values[i], y.values[i])) return false;
    for (std::size_t i = 0; i < x.figures.size(); ++i)
      if (!same_number(x.figures[i], y.figures[i])) return false;
  }
  return true;
}

void check_table(const StudyTable& table) {
  for (const StudyTableRow& row : table.rows)
    if (row.values.size() != table.parameters.size() || row.figures.size() != table.figures.size())
      fuzz_fail("a row without one value per column");

  const std::string text = study_table_csv(table);
  const StudyTable again = parse_study_csv(text, "again");
  if (!same_table(table, again)) fuzz_fail("a table written back reads back differently");
  if (study_table_csv(again) != text) fuzz_fail("writing a table twice gives two texts");

  for (const PointSummary& point : summarise(table)) {
    if (point.ok > point.runs || point.figures.size() != table.figures.size())
      fuzz_fail("a summary with more successes than runs");
    for (const FigureSummary& f : point.figures)
      if (f.count > point.ok || (f.count > 0 && !(f.sd >= 0.0) && std::isfinite(f.sd)))
        fuzz_fail("a summary count or deviation out of its range");
  }
  for (std::size_t figure = 0; figure < table.figures.size() && figure < 8; ++figure) {
    const StudyPlot plot = study_plot(table, figure);
    for (std::size_t l = 0; l < plot.lines.size(); ++l) {
      const auto& points = plot.lines[l].points;
      for (std::size_t p = 0; p < points.size(); ++p) {
        if (points[p].count < 1 || points[p].count > points[p].runs) fuzz_fail("a plot point count");
        if (p > 0 && points[p - 1].x > points[p].x) fuzz_fail("plot points out of order");
        study_point_text(table, plot, l, p);
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  for (bool torn_allowed : {false, true}) {
    try {
      check_table(parse_study_csv(text, "input", torn_allowed));
    } catch (const StudyError&) {
    }
  }
  return 0;
}
