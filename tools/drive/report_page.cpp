#include "report_page.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <sstream>
#include <string>
#include <string_view>

#include "notch_scale.h"
#include "report_assets.h"
#include "reports.h"

namespace drive {
namespace {

// The finest level of a long run holds about this many buckets, two points
// each; each coarser one a sixteenth of the one before, down to no fewer
// than a screen's width.
constexpr size_t FinestBuckets = 100000;
constexpr size_t LevelFactor = 16;
constexpr size_t CoarsestBuckets = 1000;
// A page lists the first of a run's events, interventions and drops; the
// trace and the CSV reports have them all.
constexpr size_t EventsListed = 5000;
constexpr size_t RowsListed = 5000;

constexpr const char* IntColumns[] = {
    "limit",  "driverBrake", "driverPower",   "brake",  "power",    "acting",  "mode",
    "cutOut", "brakeLamp",   "emergencyLamp", "sound5", "sound110", "sound111"};
static_assert(std::size(IntColumns) == std::size(PagePoint{}.Ints));
constexpr size_t FirstSoundColumn = 10;
static_assert(std::size(IntColumns) == FirstSoundColumn + SoundCount);
// The page names the modes and the interventions by these numbers.
constexpr const char* ModeNames[] = {"-", "ATC", "ATS", "restricted"};
static_assert(static_cast<int>(Intervention::Service) == 1 &&
              static_cast<int>(Intervention::Emergency) == 2);

PagePoint PointOf(const FrameRecord& row) {
  const CabIndication& cab = row.Cab;
  const std::string_view mode = ModeName(cab);
  const int32_t modeIndex =
      static_cast<int32_t>(std::find(std::begin(ModeNames), std::end(ModeNames), mode) -
                           std::begin(ModeNames)) %
      static_cast<int32_t>(std::size(ModeNames));
  PagePoint point{
      row.TimeS,
      row.PositionM,
      row.SpeedKmh,
      row.GradientPermille,
      {cab.LimitKmh, row.Driver.Brake, row.Driver.Power, row.Returned.Brake, row.Returned.Power,
       static_cast<int32_t>(row.Acting), modeIndex, cab.CutOut != 0 ? 1 : 0,
       cab.BrakeLamp != 0 ? 1 : 0, cab.EmergencyLamp != 0 ? 1 : 0, 0, 0, 0}};
  for (int slot = 0; slot < SoundCount; ++slot) {
    point.Ints[FirstSoundColumn + slot] = row.Sounds[slot] == SOUND_PLAY ? 1 : 0;
  }
  return point;
}

// A number as short as it prints with at most this many decimals; JSON has
// no word for a number that is none.
void Number(std::string& out, double value, int decimals) {
  if (!std::isfinite(value)) {
    out += "null";
    return;
  }
  const size_t start = out.size();
  fmt::format_to(std::back_inserter(out), "{:.{}f}", value, decimals);
  if (decimals > 0) {
    while (out.back() == '0') {
      out.pop_back();
    }
    if (out.back() == '.') {
      out.pop_back();
    }
  }
  if (out.compare(start, std::string::npos, "-0") == 0) {
    out.erase(start, 1);
  }
}

// A JSON string; "<" escaped so that no text closes the page's script element.
void Text(std::string& out, std::string_view text) {
  out += '"';
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20 || c == '<') {
      fmt::format_to(std::back_inserter(out), "\\u{:04x}", byte);
    } else {
      out += c;
    }
  }
  out += '"';
}

template <typename Each>
void List(std::string& out, size_t count, Each each) {
  out += '[';
  for (size_t i = 0; i < count; ++i) {
    out += i == 0 ? "" : ",";
    each(i);
  }
  out += ']';
}

void Level(std::string& out, const PageLevel& level) {
  const std::vector<PagePoint>& points = level.Points;
  fmt::format_to(std::back_inserter(out), "{{\"framesPerBucket\":{},\"data\":[",
                 level.FramesPerBucket);
  const auto column = [&](auto value, int decimals) {
    List(out, points.size(), [&](size_t i) { Number(out, value(points[i]), decimals); });
    out += ',';
  };
  column([](const PagePoint& p) { return p.TimeS; }, TimeDecimals);
  column([](const PagePoint& p) { return p.PositionM; }, PositionDecimals);
  column([](const PagePoint& p) { return p.SpeedKmh; }, SpeedDecimals);
  column([](const PagePoint& p) { return p.GradientPermille; }, 6);
  for (size_t k = 0; k < std::size(IntColumns); ++k) {
    List(out, points.size(), [&](size_t i) { out += std::to_string(points[i].Ints[k]); });
    out += k + 1 < std::size(IntColumns) ? "," : "";
  }
  out += "]}";
}

// Keeps the first lines written to it and refuses the rest, which ends the
// writing: a long run's report need not be made whole to list its first rows.
// A quoted field may hold a line end of its own.
struct FirstLines : std::streambuf {
  std::string Text;
  size_t LinesLeft = 0;
  bool Quoted = false;

  std::streamsize xsputn(const char* bytes, std::streamsize count) override {
    for (std::streamsize i = 0; i < count; ++i) {
      if (LinesLeft == 0) {
        return i;
      }
      Text += bytes[i];
      Quoted = bytes[i] == '"' ? !Quoted : Quoted;
      LinesLeft -= bytes[i] == '\n' && !Quoted ? 1 : 0;
    }
    return count;
  }
  int_type overflow(int_type c) override {
    const char byte = traits_type::to_char_type(c);
    return traits_type::eq_int_type(c, traits_type::eof()) || xsputn(&byte, 1) == 1
               ? traits_type::not_eof(c)
               : traits_type::eof();
  }
};

// The report's header and its first RowsListed rows.
std::string CsvOf(void (*write)(std::ostream&, RunSets), const RunContext& set) {
  FirstLines lines;
  lines.LinesLeft = RowsListed + 1;
  std::ostream text(&lines);
  write(text, RunSets(&set, 1));
  return lines.Text;
}

void SetData(std::string& out, const RunContext& set) {
  const RunContext& run = set;
  const RunAnalysis& analysis = run.Analysis;
  out += "{\"name\":";
  Text(out, set.Name);
  out += ",\"header\":";
  const std::vector<std::pair<std::string, std::string>> header = RunHeader(run);
  List(out, header.size(), [&](size_t i) {
    out += '[';
    Text(out, header[i].first);
    out += ',';
    Text(out, header[i].second);
    out += ']';
  });
  out += ",\"optionsFrom\":";
  Text(out, run.OptionsFrom);
  out += ",\"options\":";
  List(out, run.OptionLines.size(), [&](size_t i) { Text(out, run.OptionLines[i]); });
  out += ",\"interventions\":";
  Text(out, CsvOf(WriteKeptInterventionsCsv, set));
  out += ",\"braking\":";
  Text(out, CsvOf(WriteBrakingCsv, set));
  // Bands: from the first frame with the intervention to the first without it.
  fmt::format_to(std::back_inserter(out), ",\"interventionsLeftOut\":{},\"brakingLeftOut\":{}",
                 analysis.InterventionCount - std::min(analysis.Interventions.size(), RowsListed),
                 analysis.Braking.size() - std::min(analysis.Braking.size(), RowsListed));
  out += ",\"bands\":";
  List(out, std::min(analysis.Interventions.size(), RowsListed), [&](size_t i) {
    const InterventionSpan& span = analysis.Interventions[i];
    const double endS = span.Released ? span.End.TimeS : analysis.Last.TimeS;
    const double endM = span.Released ? span.End.PositionM : analysis.Last.PositionM;
    out += '[';
    for (const double value : {span.Start.TimeS, endS, span.Start.PositionM, endM}) {
      Number(out, value, 4);
      out += ',';
    }
    out += span.Kind == Intervention::Emergency ? "2," : "1,";
    Text(out, span.CauseLabel);
    out += ',';
    Text(out, span.CauseText);
    out += ']';
  });
  out += ",\"events\":";
  const std::vector<FiredEvent>& fired = run.Record.Fired;
  List(out, std::min(fired.size(), EventsListed), [&](size_t i) {
    const ScenarioEvent& event = run.Setup.Events[fired[i].EventIndex];
    out += '[';
    Number(out, fired[i].TimeS, TimeDecimals);
    out += ',';
    Number(out, fired[i].PositionM, PositionDecimals);
    out += ',';
    Number(out, fired[i].SpeedKmh, SpeedDecimals);
    out += ',';
    Text(out, DescribeActions(event.Actions));
    out += ',';
    Text(out, event.Label);
    out += ',';
    Text(out, i < analysis.FiredNotes.size() ? analysis.FiredNotes[i] : std::string());
    out += ']';
  });
  fmt::format_to(std::back_inserter(out), ",\"eventsLeftOut\":{}",
                 fired.size() - std::min(fired.size(), EventsListed));
  out += ",\"warnings\":";
  const size_t shown = std::min(analysis.Warnings.size(), WarningsKept);
  List(out, shown, [&](size_t i) { Text(out, analysis.Warnings[i]); });
  fmt::format_to(std::back_inserter(out), ",\"warningsLeftOut\":{}",
                 analysis.Warnings.size() - shown + analysis.WarningsLeftOut);
  fmt::format_to(std::back_inserter(out), ",\"frames\":{},\"levels\":", analysis.FrameCount);
  // A run that ended within a page's frames needs no buckets, whatever was expected of it.
  const std::vector<PageLevel>& levels = set.Series->Levels();
  List(out, levels.front().FramesPerBucket == 1 ? 1 : levels.size(),
       [&](size_t i) { Level(out, levels[i]); });
  out += '}';
}

}  // namespace

double AxisValue(ChartAxis axis, const FrameRecord& row) {
  return axis == ChartAxis::Time ? row.TimeS : row.PositionM;
}

bool InWindow(const ChartWindow& window, ChartAxis axis, const FrameRecord& row) {
  const double at = AxisValue(axis, row);
  return at >= window.From.value_or(at) && at <= window.To.value_or(at);
}

PageSeries::PageSeries(size_t framesExpected, size_t setsOnPage)
    : FramesWhole(PageFramesWhole / setsOnPage) {
  Kept.push_back(PageLevel{1, {}});
  // Only a run expected to fit whole keeps every frame to its end; the levels
  // of a longer one are known in size.
  Kept.front().Points.reserve(framesExpected > FramesWhole ? 0 : framesExpected);
  if (framesExpected > FramesWhole) {
    const size_t finest = FinestBuckets / setsOnPage;
    for (size_t frames = (framesExpected + finest - 1) / finest;
         Kept.size() == 1 || framesExpected / frames >= CoarsestBuckets / setsOnPage;
         frames *= LevelFactor) {
      Kept.push_back(PageLevel{frames, {}});
      Kept.back().Points.reserve(2 * ((framesExpected + frames - 1) / frames));
    }
  }
  InBucket.assign(Kept.size(), 0);
}

void PageSeries::Add(const FrameRecord& row) {
  const PagePoint point = PointOf(row);
  if (Kept.front().FramesPerBucket == 1) {
    if (Kept.front().Points.size() < FramesWhole || Kept.size() == 1) {
      Kept.front().Points.push_back(point);
    } else {
      // Longer than a page holds whole: the buckets alone go on.
      Kept.erase(Kept.begin());
      InBucket.erase(InBucket.begin());
    }
  }
  for (size_t k = 0; k < Kept.size(); ++k) {
    PageLevel& level = Kept[k];
    if (level.FramesPerBucket == 1) {
      continue;
    }
    if (InBucket[k] == 0) {
      level.Points.push_back(point);
      level.Points.push_back(point);
    } else {
      PagePoint& low = level.Points[level.Points.size() - 2];
      PagePoint& high = level.Points.back();
      high.TimeS = point.TimeS;
      high.PositionM = point.PositionM;
      low.SpeedKmh = std::min(low.SpeedKmh, point.SpeedKmh);
      high.SpeedKmh = std::max(high.SpeedKmh, point.SpeedKmh);
      low.GradientPermille = std::min(low.GradientPermille, point.GradientPermille);
      high.GradientPermille = std::max(high.GradientPermille, point.GradientPermille);
      for (size_t i = 0; i < std::size(point.Ints); ++i) {
        low.Ints[i] = std::min(low.Ints[i], point.Ints[i]);
        high.Ints[i] = std::max(high.Ints[i], point.Ints[i]);
      }
    }
    InBucket[k] = (InBucket[k] + 1) % level.FramesPerBucket;
  }
}

void WriteReportPage(std::ostream& out, RunSets sets, ChartAxis axis, const ChartWindow& window) {
  const RunContext& first = sets.front();
  const NotchScale scale = ScaleOf(first.Setup.Train);
  std::string data = "{\"title\":";
  Text(data, first.Setup.Title);
  data += ",\"description\":";
  Text(data, first.Setup.Description);
  fmt::format_to(std::back_inserter(data),
                 ",\"axis\":\"{}\",\"frameS\":{},\"deepestBrake\":{},\"highestPower\":{},"
                 "\"emergencyNotch\":{},\"soundIndex\":[{},{},{}]",
                 axis == ChartAxis::Time ? "time" : "distance", first.Record.FrameS,
                 scale.DeepestBrake, scale.HighestPower, first.Record.EmergencyNotch, SoundIndex[0],
                 SoundIndex[1], SoundIndex[2]);
  for (const auto& [name, value] : {std::pair{"from", window.From}, std::pair{"to", window.To}}) {
    fmt::format_to(std::back_inserter(data), ",\"{}\":", name);
    if (value) {
      Number(data, *value, 6);
    } else {
      data += "null";
    }
  }
  data += ",\"columns\":[\"t\",\"m\",\"v\",\"gradient\"";
  for (const char* name : IntColumns) {
    fmt::format_to(std::back_inserter(data), ",\"{}\"", name);
  }
  data += "],\"modeNames\":";
  List(data, std::size(ModeNames), [&](size_t i) { Text(data, ModeNames[i]); });
  data += ",\"sets\":";
  List(data, sets.size(), [&](size_t i) { SetData(data, sets[i]); });
  data += '}';

  out << "<!doctype html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n"
      << "<meta name=\"viewport\" content=\"width=device-width\">\n<title>drive</title>\n"
      << "<style>" << ReportUplotCss << "\n"
      << ReportPageCss << "</style>\n</head><body>\n"
      << "<script type=\"application/json\" id=\"run-data\">" << data << "</script>\n<script>"
      << ReportUplotJs << "</script>\n<script>" << ReportPageJs << "</script>\n</body></html>\n";
}

}  // namespace drive
