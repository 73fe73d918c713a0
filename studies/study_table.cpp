#include "studies/study_table.h"

#include <cmath>
#include <cstdio>
#include <limits>
#include <map>
#include <memory>

#include "common/errors.h"
#include "common/round_trip_number.h"
#include "studies/study_figures.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// Columns after the figures, and before them after the parameters.
const char* const kRepeat = "repeat";
const char* const kSeed = "seed";
const char* const kMs = "ms";
const char* const kStatus = "status";

// A number field: empty for a missing value.
std::string field(double value) { return std::isfinite(value) ? round_trip_text(value) : ""; }

// Quoted when it holds a separator, a quote or a line end (a CR at the end
// of a line would otherwise be taken for half of a CR LF).
std::string quoted_csv(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string out = "\"";
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

// Fields of one line; quotes as quoted_csv writes them.
std::vector<std::string> csv_fields(std::string_view line) {
  std::vector<std::string> fields(1);
  bool quoted = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quoted) {
      if (c != '"') {
        fields.back() += c;
      } else if (i + 1 < line.size() && line[i + 1] == '"') {
        fields.back() += '"';
        ++i;
      } else {
        quoted = false;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      fields.emplace_back();
    } else {
      fields.back() += c;
    }
  }
  return fields;
}

std::string json_string(std::string_view text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

std::string json_number(double value) { return std::isfinite(value) ? round_trip_text(value) : "null"; }

std::string json_lines(const std::vector<std::string>& lines) {
  std::string out = "[";
  for (std::size_t i = 0; i < lines.size(); ++i) out += (i ? ", " : "") + json_string(lines[i]);
  return out + "]";
}

// The wall time as kept in the table: whole microseconds.
double rounded_ms(double ms) { return std::nearbyint(ms * 1000.0) / 1000.0; }

// A varied value as a CSV field: the name of a parameter with names.
std::string value_field(const StudyParameter& parameter, double value) {
  return std::isfinite(value) ? parameter_value_text(parameter, value) : "";
}

// A varied value in JSON: the name as a string, or the number.
std::string json_value(const StudyParameter& parameter, double value) {
  return parameter.names.empty() ? json_number(value) : json_string(parameter_value_text(parameter, value));
}

[[noreturn]] void bad_line(const std::string& name, std::size_t line, const std::string& why) {
  throw StudyError(name + ", line " + std::to_string(line) + ": " + why);
}

}  // namespace

std::string study_csv_header(const StudyPlan& plan) {
  std::string header;
  for (const StudyAxis& axis : plan.axes()) header += std::string(axis.parameter->name) + ",";
  header += std::string(kRepeat) + "," + kSeed;
  for (const StudyFigure& figure : study_figures()) header += std::string(",") + figure.name;
  return header + "," + kMs + "," + kStatus;
}

std::string study_csv_line(const StudyPlan& plan, const StudyRow& row) {
  std::string line;
  const std::vector<double> values = plan.point_values(plan.point_of(row.run));
  for (std::size_t a = 0; a < values.size(); ++a) line += value_field(*plan.axes()[a].parameter, values[a]) + ",";
  line += std::to_string(plan.repeat_of(row.run)) + "," + std::to_string(plan.seed_of(row.run));
  const std::size_t figures = study_figures().size();
  for (std::size_t f = 0; f < figures; ++f)
    line += "," + (f < row.figures.size() ? field(row.figures[f]) : std::string());
  return line + "," + field(rounded_ms(row.ms)) + "," + quoted_csv(row.status);
}

std::string study_csv(const StudyPlan& plan, const std::vector<StudyRow>& rows) {
  std::string text = study_csv_header(plan) + "\n";
  for (const StudyRow& row : rows) text += study_csv_line(plan, row) + "\n";
  return text;
}

StudyTable study_table(const StudyPlan& plan, const std::vector<StudyRow>& rows) {
  StudyTable table;
  for (const StudyAxis& axis : plan.axes()) table.parameters.emplace_back(axis.parameter->name);
  for (const StudyFigure& figure : study_figures()) table.figures.emplace_back(figure.name);
  for (const StudyRow& row : rows) {
    StudyTableRow& r = table.rows.emplace_back();
    r.values = plan.point_values(plan.point_of(row.run));
    r.repeat = plan.repeat_of(row.run);
    r.seed = plan.seed_of(row.run);
    r.figures.assign(table.figures.size(), kNaN);
    for (std::size_t f = 0; f < row.figures.size() && f < r.figures.size(); ++f)
      r.figures[f] = row.figures[f];
    r.ms = rounded_ms(row.ms);
    r.status = row.status;
  }
  return table;
}

std::string study_table_csv(const StudyTable& table) {
  std::string text;
  for (const std::string& name : table.parameters) text += name + ",";
  text += std::string(kRepeat) + "," + kSeed;
  for (const std::string& name : table.figures) text += "," + quoted_csv(name);
  text += std::string(",") + kMs + "," + kStatus + "\n";
  for (const StudyTableRow& row : table.rows) {
    for (std::size_t a = 0; a < row.values.size(); ++a)
      text += (a < table.parameters.size() && std::isfinite(row.values[a])
                   ? parameter_value_text(table.parameters[a], row.values[a])
                   : field(row.values[a])) +
              ",";
    text += std::to_string(row.repeat) + "," + std::to_string(row.seed);
    for (double value : row.figures) text += "," + field(value);
    text += "," + field(row.ms) + "," + quoted_csv(row.status) + "\n";
  }
  return text;
}

StudyTable parse_study_csv(std::string_view text, const std::string& name,
                           bool torn_last_line_allowed) {
  StudyTable table;
  std::size_t columns = 0, line_number = 0, start = 0;
  bool header_read = false;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos && torn_last_line_allowed) break;
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    ++line_number;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line.front() == '#') continue;
    const std::vector<std::string> fields = csv_fields(line);

    if (!header_read) {
      // parameters..., repeat, seed, figures..., ms, status
      std::size_t repeat = 0;
      while (repeat < fields.size() && fields[repeat] != kRepeat) ++repeat;
      if (repeat + 4 > fields.size() || fields[repeat + 1] != kSeed ||
          fields[fields.size() - 2] != kMs || fields.back() != kStatus)
        bad_line(name, line_number, "not the header of a study table (expected the varied "
                                    "parameters, then repeat,seed, the figures, ms,status)");
      for (std::size_t i = 0; i < repeat; ++i) {
        if (find_study_parameter(fields[i]) == nullptr)
          bad_line(name, line_number, "unknown parameter \"" + fields[i] + "\"");
        table.parameters.push_back(fields[i]);
      }
      table.figures.assign(fields.begin() + static_cast<std::ptrdiff_t>(repeat) + 2, fields.end() - 2);
      columns = fields.size();
      header_read = true;
      continue;
    }

    if (fields.size() != columns)
      bad_line(name, line_number, std::to_string(fields.size()) + " fields where the header has " +
                                      std::to_string(columns));
    const auto number = [&](std::size_t i, bool empty_allowed) {
      if (fields[i].empty() && empty_allowed) return kNaN;
      const std::optional<double> value = round_trip_number(fields[i]);
      if (!value) bad_line(name, line_number, "\"" + fields[i] + "\" is not a number");
      return *value;
    };
    StudyTableRow row;
    const std::size_t p = table.parameters.size();
    for (std::size_t i = 0; i < p; ++i) {
      const StudyParameter& parameter = *find_study_parameter(table.parameters[i]);
      if (parameter.names.empty()) {
        row.values.push_back(number(i, false));
        continue;
      }
      const std::optional<double> value = parameter_value(parameter, fields[i]);
      if (!value)
        bad_line(name, line_number, "\"" + fields[i] + "\" is not " + parameter_names_words(parameter));
      row.values.push_back(*value);
    }
    const double repeat = number(p, false);
    const double seed = number(p + 1, false);
    if (repeat < 0 || repeat > INT32_MAX || repeat != std::trunc(repeat) || seed < 0 ||
        seed > UINT32_MAX || seed != std::trunc(seed))
      bad_line(name, line_number, "repeat and seed must be whole numbers");
    row.repeat = static_cast<int>(repeat);
    row.seed = static_cast<uint32_t>(seed);
    for (std::size_t f = 0; f < table.figures.size(); ++f) row.figures.push_back(number(p + 2 + f, true));
    row.ms = number(columns - 2, true);
    row.status = fields.back();
    table.rows.push_back(std::move(row));
  }
  if (!header_read) throw StudyError(name + ": no study table (the file holds no header line)");
  return table;
}

StudyTable read_study_csv(const std::string& file) {
  // Closed however the read ends: appending to the text may throw.
  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> stream(std::fopen(file.c_str(), "rb"), &std::fclose);
  if (stream == nullptr) throw file_error(FileAction::open, file);
  std::string text;
  char buffer[65536];
  std::size_t count = 0;
  while ((count = std::fread(buffer, 1, sizeof buffer, stream.get())) > 0) text.append(buffer, count);
  if (std::ferror(stream.get()) != 0) throw file_error(FileAction::read, file);
  return parse_study_csv(text, file);
}

std::vector<PointSummary> summarise(const StudyTable& table) {
  std::vector<PointSummary> points;
  std::map<std::vector<double>, std::size_t> index;
  // Rows of each point, in table order.
  std::vector<std::vector<const StudyTableRow*>> members;
  for (const StudyTableRow& row : table.rows) {
    const auto [it, added] = index.emplace(row.values, points.size());
    if (added) {
      points.emplace_back().values = row.values;
      members.emplace_back();
    }
    members[it->second].push_back(&row);
  }
  for (std::size_t p = 0; p < points.size(); ++p) {
    PointSummary& s = points[p];
    s.runs = static_cast<int>(members[p].size());
    for (const StudyTableRow* row : members[p]) s.ok += row->status == "ok" ? 1 : 0;
    for (std::size_t f = 0; f < table.figures.size(); ++f) {
      FigureSummary& fs = s.figures.emplace_back();
      double sum = 0.0;
      for (const StudyTableRow* row : members[p]) {
        const double v = row->figures[f];
        if (row->status != "ok" || !std::isfinite(v)) continue;
        fs.min = fs.count == 0 ? v : std::min(fs.min, v);
        fs.max = fs.count == 0 ? v : std::max(fs.max, v);
        sum += v;
        ++fs.count;
      }
      if (fs.count == 0) {
        fs.mean = fs.sd = fs.min = fs.max = kNaN;
        continue;
      }
      fs.mean = sum / fs.count;
      double squares = 0.0;
      for (const StudyTableRow* row : members[p]) {
        const double v = row->figures[f];
        if (row->status == "ok" && std::isfinite(v)) squares += (v - fs.mean) * (v - fs.mean);
      }
      fs.sd = fs.count > 1 ? std::sqrt(squares / (fs.count - 1)) : 0.0;
    }
  }
  return points;
}

std::string study_json(const StudyPlan& plan, const std::vector<StudyRow>& rows) {
  const StudyRunSettings& base = plan.base();
  const StudyTable table = study_table(plan, rows);
  std::string j = "{\n  \"study\": {\n";
  j += "    \"channel\": " + std::to_string(base.channel) + ",\n";
  j += "    \"contrast\": " + json_number(base.contrast) + ",\n";
  j += "    \"noise\": " + json_number(base.noise) + ",\n";
  j += "    \"max_noise\": " + json_string(base.max_noise_text) + ",\n";
  j += "    \"repeats\": " + std::to_string(plan.repeats()) + ",\n";
  j += "    \"seed\": " + std::to_string(plan.first_seed()) + ",\n";
  j += "    \"runs\": " + std::to_string(plan.run_count()) + ",\n";
  j += "    \"vary\": [";
  for (std::size_t a = 0; a < plan.axes().size(); ++a) {
    const StudyAxis& axis = plan.axes()[a];
    j += std::string(a ? ",\n      " : "\n      ") + "{\"name\": " + json_string(axis.parameter->name) +
         ", \"unit\": " + json_string(axis.parameter->unit) + ", \"values\": [";
    for (std::size_t i = 0; i < axis.values.size(); ++i)
      j += (i ? ", " : "") + json_value(*axis.parameter, axis.values[i]);
    j += "]}";
  }
  j += "],\n";
  j += "    \"scan_settings\": " + json_lines(base.scan) + ",\n";
  j += "    \"image_settings\": " + json_lines(base.image) + ",\n";
  j += "    \"surface_settings\": " + json_lines(base.surface) + ",\n";
  j += "    \"method_settings\": " + json_lines(base.method) + "\n  },\n";

  j += "  \"figures\": [";
  for (std::size_t f = 0; f < study_figures().size(); ++f) {
    const StudyFigure& figure = study_figures()[f];
    j += std::string(f ? ",\n    " : "\n    ") + "{\"name\": " + json_string(figure.name) +
         ", \"label\": " + json_string(figure.label) + ", \"unit\": " + json_string(figure.unit) + "}";
  }
  j += "],\n";

  j += "  \"points\": [";
  const std::vector<PointSummary> points = summarise(table);
  for (std::size_t p = 0; p < points.size(); ++p) {
    const PointSummary& s = points[p];
    j += p ? ",\n    {" : "\n    {";
    for (std::size_t a = 0; a < s.values.size(); ++a)
      j += json_string(table.parameters[a]) + ": " + json_value(*plan.axes()[a].parameter, s.values[a]) + ", ";
    j += "\"runs\": " + std::to_string(s.runs) + ", \"ok\": " + std::to_string(s.ok);
    for (std::size_t f = 0; f < s.figures.size(); ++f) {
      const FigureSummary& fs = s.figures[f];
      j += ", " + json_string(table.figures[f]) + ": {\"count\": " + std::to_string(fs.count) +
           ", \"mean\": " + json_number(fs.mean) + ", \"sd\": " + json_number(fs.sd) +
           ", \"min\": " + json_number(fs.min) + ", \"max\": " + json_number(fs.max) + "}";
    }
    j += "}";
  }
  j += "],\n";

  j += "  \"rows\": [";
  for (std::size_t r = 0; r < table.rows.size(); ++r) {
    const StudyTableRow& row = table.rows[r];
    j += r ? ",\n    {" : "\n    {";
    for (std::size_t a = 0; a < row.values.size(); ++a)
      j += json_string(table.parameters[a]) + ": " + json_value(*plan.axes()[a].parameter, row.values[a]) + ", ";
    j += "\"repeat\": " + std::to_string(row.repeat) + ", \"seed\": " + std::to_string(row.seed);
    for (std::size_t f = 0; f < row.figures.size(); ++f)
      j += ", " + json_string(table.figures[f]) + ": " + json_number(row.figures[f]);
    j += ", \"ms\": " + json_number(row.ms) + ", \"status\": " + json_string(row.status) + "}";
  }
  j += "]\n}\n";
  return j;
}

std::string study_fingerprint(const StudyPlan& plan) {
  const StudyRunSettings& base = plan.base();
  std::string text = std::to_string(base.channel) + "\n";
  for (const std::string& line : base.scan) text += line + "\n";
  text += "\n";
  for (const std::string& line : base.image) text += line + "\n";
  // A study of the sphere keeps the fingerprint it had before surfaces.
  if (!base.surface.empty()) {
    text += "\n";
    for (const std::string& line : base.surface) text += line + "\n";
  }
  // Likewise one without a method file or method options.
  if (!base.method.empty()) {
    text += "\nmethod\n";
    for (const std::string& line : base.method) text += line + "\n";
  }
  text += "\n" + round_trip_text(base.contrast) + " " + round_trip_text(base.noise) + " " +
          base.max_noise_text + "\n";
  for (const StudyAxis& axis : plan.axes()) {
    text += axis.parameter->name;
    for (double value : axis.values) text += " " + parameter_value_text(*axis.parameter, value);
    text += "\n";
  }
  text += std::to_string(plan.repeats()) + " " + std::to_string(plan.first_seed()) + "\n";
  text += study_csv_header(plan);
  // FNV-1a, 64 bits: a mismatch detector, not a security measure.
  uint64_t hash = 14695981039346656037ULL;
  for (unsigned char c : text) {
    hash ^= c;
    hash *= 1099511628211ULL;
  }
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
  return hex;
}
