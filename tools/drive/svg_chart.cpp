// The chart: speed and limit above, the cab strip (what the driver sees of the
// ATC: its lamps, the limit shown and the sounds) beneath them, the selector's
// mode as a ribbon, the driver's and the returned notches beneath (power up,
// brake down), all against time or distance, with the ATC's interventions
// shaded across both panels and labelled with their causes. However long the
// run, the chart draws a bounded choice of its frames (ChartFrames), so its
// size stays bounded too.
#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "notch_scale.h"
#include "reports.h"
#include "svg_writer.h"

namespace drive {
namespace {

using svg::Num;

// Page layout, in SVG pixels.
constexpr double PageWidth = 1200;
constexpr double PageHeight = 940;
constexpr double PlotLeft = 84;
constexpr double PlotRight = PageWidth - 36;
constexpr double SpeedTop = 96;
constexpr double SpeedBottom = 466;
constexpr double StripTop = 478;
constexpr double StripRow = 12;
constexpr double RibbonTop = 562;
constexpr double RibbonBottom = 580;
constexpr double NotchTop = 602;
constexpr double NotchBottom = 782;
constexpr double AxisLabelY = 830;
constexpr double MinimumBandPx = 2.0;
constexpr double PathStepPx = 0.75;     // a speed point closer than this to the last one is skipped
constexpr double LegendCharPx = 6.4;    // average advance of the legend's 12 px text
constexpr double LabelCharPx = 6.0;     // and of the cause labels' 10 px text
constexpr double CauseLabelGapPx = 13;  // cause labels closer than this to the last are left out

const char* const Font = "DejaVu Sans, Helvetica, Arial, sans-serif";
constexpr const char* SpeedColour = "#1d4ed8";
const char* const LimitColour = "#dc2626";
const char* const ServiceColour = "#f59e0b";
const char* const EmergencyColour = "#dc2626";
// The speed of each compared set; the first set is the run drawn in full.
const char* SetColour(size_t set) {
  constexpr const char* Colours[] = {SpeedColour, "#0891b2", "#a21caf", "#65a30d", "#ea580c"};
  return Colours[set % std::size(Colours)];
}
const char* const GridColour = "#e5e7eb";
const char* const AxisColour = "#374151";

// How a series' line is drawn, on the chart and in its legend.
struct Stroke {
  const char* Colour;
  double Width = 2.2;
  const char* Dash = "";
  const char* Opacity = "";
};
const Stroke LimitStroke{LimitColour};
const Stroke UnsupervisedStroke{LimitColour, 2, "6 4", "0.45"};
const Stroke OffScaleStroke{EmergencyColour, 3, "3 2"};

// A tick step of 1, 2 or 5 times a power of ten giving about `count` ticks.
double NiceStep(double span, int count) {
  const double raw = std::max(span, 1e-9) / count;
  const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
  const double share = raw / magnitude;
  const double nice = share < 1.5 ? 1 : share < 3 ? 2 : share < 7 ? 5 : 10;
  return nice * magnitude;
}

std::string TickText(double value, double step) {
  const std::string text = step < 1.0 ? fmt::format("{:.1f}", value) : fmt::format("{:.0f}", value);
  return text == "-0" ? "0" : text;
}

// Maps data to pixels along one direction.
struct Scale {
  double DataLow, DataHigh, PixelLow, PixelHigh;
  double operator()(double value) const {
    return PixelLow + (value - DataLow) / (DataHigh - DataLow) * (PixelHigh - PixelLow);
  }
};

struct Chart {
  std::ostream& Out;
  const RunContext& Run;
  const std::vector<FrameRecord>& Frames;
  ChartAxis Axis;
  const std::vector<RunSet>& Sets;  // the first is Run and Frames; the others add their speed
  ChartWindow Window;
  Scale X{0, 1, PlotLeft, PlotRight};
  Scale SpeedY{0, 1, SpeedBottom, SpeedTop};
  Scale NotchY{0, 1, NotchBottom, NotchTop};
  double XStep = 1;

  double XOf(const FrameRecord& row) const { return X(AxisValue(Axis, row)); }
};

// The mode ribbon's positions and colours, also in its legend.
constexpr std::pair<const char*, const char*> ModeColours[] = {
    {"ATC", "#2563eb"}, {"ATS", "#16a34a"}, {"restricted", "#d97706"}, {"cut out", "#9ca3af"}};

void ChooseScales(Chart& chart) {
  const std::vector<FrameRecord>& frames = chart.Frames;
  // The whole run, or the window asked for; time from 0, distance over all the train reached.
  const bool time = chart.Axis == ChartAxis::Time;
  double low = time ? 0.0 : frames.front().PositionM;
  double high = low;
  for (const FrameRecord& row : frames) {
    low = std::min(low, time ? row.TimeS : row.PositionM);
    high = std::max(high, time ? row.TimeS : row.PositionM);
  }
  low = chart.Window.From.value_or(low);
  high = std::max(chart.Window.To.value_or(high), low + (time ? 1.0 : 10.0));
  chart.XStep = NiceStep(high - low, 10);
  low = std::floor(low / chart.XStep) * chart.XStep;
  high = std::ceil(high / chart.XStep - 1e-9) * chart.XStep;
  chart.X = Scale{low, high, PlotLeft, PlotRight};

  double speedHigh = 20;
  double speedLow = 0;
  for (const RunSet& set : chart.Sets) {
    for (const FrameRecord& row : set.Frames) {
      speedHigh = std::max({speedHigh, row.SpeedKmh, static_cast<double>(row.Cab.LimitKmh)});
      speedLow = std::min(speedLow, row.SpeedKmh);
    }
  }
  const double speedStep = NiceStep(speedHigh - speedLow, 8);
  speedHigh = (std::floor(speedHigh * 1.04 / speedStep) + 1) * speedStep;
  speedLow = speedLow < 0 ? std::floor(speedLow * 1.1 / speedStep) * speedStep : 0;
  chart.SpeedY = Scale{speedLow, speedHigh, SpeedBottom, SpeedTop};

  const NotchScale notches = ScaleOf(chart.Run.Setup.Train);
  chart.NotchY = Scale{-static_cast<double>(notches.DeepestBrake) - 0.5, notches.HighestPower + 0.5,
                       NotchBottom, NotchTop};
}

// With sets compared, the subtitle says whose the bands, the cab strip and the
// notches are, and counts each set's interventions.
void DrawFrame(Chart& chart) {
  const Scenario& s = chart.Run.Setup;
  svg::Element(chart.Out, "rect", {{"width", "100%"}, {"height", "100%"}, {"fill", "white"}});
  svg::Text(chart.Out, PlotLeft, 36, s.Title, 21, "#111827", {{"font-weight", "bold"}});
  std::string counts =
      fmt::format("{} interventions", chart.Sets.front().Run->Analysis.Interventions.size());
  if (chart.Sets.size() > 1) {
    counts = "interventions";
    for (const RunSet& set : chart.Sets) {
      counts += fmt::format(" {},", set.Run->Analysis.Interventions.size());
    }
    counts.back() = ' ';
    counts += fmt::format("(sets 1 to {}); bands, cab and notches of set 1", chart.Sets.size());
  }
  const std::string subtitle =
      fmt::format("{} · {} loop at {:g} Hz · {} service notches, {} power notches · {}", s.Name,
                  s.Run.Loop == LoopKind::Closed ? "closed" : "open", s.Run.FrameRateHz,
                  s.Train.ServiceNotches, s.Train.PowerNotches, counts);
  svg::Text(chart.Out, PlotLeft, 60, subtitle, 13, "#4b5563");
}

// A label left of the plot, level with a row or grid line at y.
void RowLabel(Chart& chart, double y, std::string_view text, double size = 11) {
  svg::Text(chart.Out, PlotLeft - 8, y, text, size, AxisColour, {{"text-anchor", "end"}});
}

void DrawGrid(Chart& chart) {
  std::ostream& out = chart.Out;
  const double speedStep = NiceStep(chart.SpeedY.DataHigh - chart.SpeedY.DataLow, 8);
  for (double x = chart.X.DataLow; x <= chart.X.DataHigh + 1e-9; x += chart.XStep) {
    svg::Line(out, chart.X(x), SpeedTop, chart.X(x), SpeedBottom, {{"stroke", GridColour}});
    svg::Line(out, chart.X(x), NotchTop, chart.X(x), NotchBottom, {{"stroke", GridColour}});
    svg::Text(out, chart.X(x), NotchBottom + 18, TickText(x, chart.XStep), 12, AxisColour,
              {{"text-anchor", "middle"}});
  }
  for (double v = chart.SpeedY.DataLow; v <= chart.SpeedY.DataHigh + 1e-9; v += speedStep) {
    svg::Line(out, PlotLeft, chart.SpeedY(v), PlotRight, chart.SpeedY(v), {{"stroke", GridColour}});
    RowLabel(chart, chart.SpeedY(v) + 4, TickText(v, speedStep), 12);
  }
  const char* axisName = chart.Axis == ChartAxis::Time ? "time (s)" : "position (m)";
  svg::Text(out, (PlotLeft + PlotRight) / 2, AxisLabelY, axisName, 14, "#111827",
            {{"text-anchor", "middle"}});
  for (const auto& [name, top, bottom] : {std::tuple{"speed (km/h)", SpeedTop, SpeedBottom},
                                          std::tuple{"notch", NotchTop, NotchBottom}}) {
    const double y = (top + bottom) / 2;
    svg::Text(out, PlotLeft - 50, y, name, 14, "#111827",
              {{"text-anchor", "middle"}, svg::Upwards(PlotLeft - 50, y)});
  }
}

// Shaded bands for the interventions, across the speed and notch panels, each
// with an edge of its own so that back-to-back interventions stay apart, and
// a label naming its cause where there is room. Bands under a pixel wide that
// touch the one before are drawn as one.
void DrawBands(Chart& chart) {
  struct Band {
    double Left, Right;
    bool Emergency;
    std::string Label;
  };
  std::vector<Band> bands;
  const double endX = chart.XOf(chart.Frames.back());
  for (const InterventionSpan& span : chart.Run.Analysis.Interventions) {
    double left = 0;
    double right = 0;
    if (chart.Axis == ChartAxis::Time) {
      left = chart.X(span.Start.TimeS);
      right = span.Released ? chart.X(span.End.TimeS) : endX;
    } else {
      left = chart.X(span.LowestPositionM);
      right = chart.X(std::max(span.HighestPositionM, span.Released ? span.End.PositionM : 0.0));
    }
    if (right < PlotLeft || left > PlotRight) {
      continue;
    }
    left = std::max(left, PlotLeft);
    right = std::min(right, PlotRight);
    const bool emergency = span.Kind == Intervention::Emergency;
    // Of the kinds, the emergency brake shows: however many interventions a
    // run has, the chart has at most a band for each pixel.
    if (!bands.empty() && right - left < 1.0 && left - bands.back().Right < 1.0) {
      bands.back().Right = std::max(bands.back().Right, right);
      bands.back().Emergency = bands.back().Emergency || emergency;
      continue;
    }
    bands.push_back(Band{left, right, emergency, span.CauseLabel});
  }
  // Labels read upwards from the foot of the speed panel, in two tiers.
  constexpr double LabelFoot[2] = {SpeedBottom - 4, SpeedBottom - 120};
  double lastLabel[2] = {-1e9, -1e9};
  struct Label {
    double X;
    int Tier;
    std::string Text;
    bool Emergency;
    size_t Hidden = 0;  // labels of the bands after it left out for want of room
  };
  std::vector<Label> labels;
  for (const Band& band : bands) {
    const double width = std::max(band.Right - band.Left, MinimumBandPx);
    const char* colour = band.Emergency ? EmergencyColour : ServiceColour;
    for (const auto& [top, bottom] :
         {std::pair{SpeedTop, SpeedBottom}, std::pair{NotchTop, NotchBottom}}) {
      svg::Rect(chart.Out, band.Left, top, width, bottom - top,
                {{"fill", colour}, {"fill-opacity", band.Emergency ? "0.16" : "0.22"}});
      svg::Line(chart.Out, band.Left, top, band.Left, bottom,
                {{"stroke", colour}, {"stroke-opacity", "0.7"}});
    }
    // A label too long for the lower tier reaches into the upper one: it needs both.
    const bool tall =
        LabelCharPx * static_cast<double>(band.Label.size()) > LabelFoot[0] - LabelFoot[1] - 4;
    auto room = [&](int tier) { return band.Left - lastLabel[tier] >= CauseLabelGapPx; };
    const int tier = room(0) && (!tall || room(1)) ? 0 : room(1) ? 1 : 2;
    if (tier == 2) {  // no room: the nearest label to the left counts it
      ++labels.back().Hidden;
      continue;
    }
    lastLabel[tier] = band.Left;
    lastLabel[1] = tall ? band.Left : lastLabel[1];
    labels.push_back({band.Left, tier, band.Label, band.Emergency});
  }
  for (const Label& label : labels) {
    const double x = label.X + 10;
    const double y = LabelFoot[label.Tier];
    const std::string more = label.Hidden ? fmt::format(" ({} more)", label.Hidden) : "";
    svg::Text(chart.Out, x, y, label.Text + more, 10, label.Emergency ? "#991b1b" : "#92400e",
              {svg::Upwards(x, y)});
  }
}

// Calls draw(first frame, left, width) for each stretch of frames alike by key.
template <typename Key, typename Draw>
void ForEachStretch(const Chart& chart, Key key, Draw draw) {
  const std::vector<FrameRecord>& frames = chart.Frames;
  size_t start = 0;
  for (size_t i = 1; i <= frames.size(); ++i) {
    if (i < frames.size() && key(frames[i]) == key(frames[start])) {
      continue;
    }
    // Against distance a stretch can run backwards: it covers all it reached.
    double left = chart.XOf(frames[start]);
    double right = left;
    for (size_t f = start; f < i; ++f) {
      left = std::min(left, chart.XOf(frames[f]));
      right = std::max(right, chart.XOf(frames[f]));
    }
    draw(frames[start], left, std::max(right - left, 1.0));
    start = i;
  }
}

void DrawModeRibbon(Chart& chart) {
  auto mode = [](const FrameRecord& row) {
    return row.Cab.CutOut ? std::string("cut out") : std::string(ModeName(row.Cab));
  };
  ForEachStretch(chart, mode, [&](const FrameRecord& first, double x, double width) {
    const std::string name = mode(first);
    const char* colour = "#d1d5db";
    for (const auto& [known, shade] : ModeColours) {
      colour = name == known ? shade : colour;
    }
    svg::Rect(chart.Out, x, RibbonTop, width, RibbonBottom - RibbonTop, {{"fill", colour}});
    if (width > 8.0 * static_cast<double>(name.size())) {
      svg::Text(chart.Out, x + width / 2, RibbonBottom - 4, name, 11, "white",
                {{"text-anchor", "middle"}, {"font-weight", "bold"}});
    }
  });
  RowLabel(chart, RibbonBottom - 4, "mode");
}

// What the driver sees of the ATC, a row each: the brake and emergency lamps
// as bars while lit, the limit display as bars labelled with the speed shown,
// and a tick where each of the plug-in's sounds starts.
void DrawCabStrip(Chart& chart) {
  std::ostream& out = chart.Out;
  auto rowTop = [](int row) { return StripTop + StripRow * row; };
  const char* const rows[] = {"ATC brake", "emergency", "limit shown",
                              "chime 5",   "code 110",  "120 tone 111"};
  for (int row = 0; row < static_cast<int>(std::size(rows)); ++row) {
    svg::Rect(out, PlotLeft, rowTop(row) + 1, PlotRight - PlotLeft, StripRow - 2,
              {{"fill", "#f3f4f6"}});
    RowLabel(chart, rowTop(row) + StripRow - 2.5, rows[row], 9);
  }
  const std::pair<int32_t CabIndication::*, const char*> lamps[] = {
      {&CabIndication::BrakeLamp, ServiceColour}, {&CabIndication::EmergencyLamp, EmergencyColour}};
  for (int row = 0; row < 2; ++row) {
    int32_t CabIndication::*const lamp = lamps[row].first;
    const char* const colour = lamps[row].second;
    ForEachStretch(
        chart, [lamp](const FrameRecord& f) { return f.Cab.*lamp != 0; },
        [&](const FrameRecord& first, double x, double width) {
          if (first.Cab.*lamp != 0) {
            svg::Rect(out, x, rowTop(row) + 1, width, StripRow - 2, {{"fill", colour}});
          }
        });
  }
  bool shade = false;
  ForEachStretch(
      chart, [](const FrameRecord& f) { return f.Cab.LimitKmh; },
      [&](const FrameRecord& first, double x, double width) {
        shade = !shade;
        svg::Rect(out, x, rowTop(2) + 1, width, StripRow - 2,
                  {{"fill", shade ? "#9ca3af" : "#6b7280"}});
        const std::string shown = std::to_string(first.Cab.LimitKmh);
        if (width > 6.0 * static_cast<double>(shown.size()) + 4) {
          svg::Text(out, x + width / 2, rowTop(3) - 3, shown, 9, "white",
                    {{"text-anchor", "middle"}});
        }
      });
  for (const FrameRecord& row : chart.Frames) {
    for (int slot = 0; slot < SoundCount; ++slot) {
      if (row.Sounds[slot] == SOUND_PLAY) {
        svg::Line(out, chart.XOf(row), rowTop(3 + slot) + 1, chart.XOf(row), rowTop(4 + slot) - 1,
                  {{"stroke", "#111827"}, {"stroke-width", 1.5}});
      }
    }
  }
}

void StrokePath(std::ostream& out, const std::string& path, const Stroke& stroke,
                const char* join = "") {
  svg::Element(out, "path",
               {{"d", path},
                {"fill", "none"},
                {"stroke", stroke.Colour},
                {"stroke-width", stroke.Width},
                {"stroke-dasharray", stroke.Dash},
                {"stroke-opacity", stroke.Opacity},
                {"stroke-linejoin", join}});
}

// A stepped line of an integer-valued series, drawn only where `shown` holds.
template <typename Value, typename Shown>
void DrawSteps(Chart& chart, const Scale& y, Value value, Shown shown, const Stroke& stroke) {
  const std::vector<FrameRecord>& frames = chart.Frames;
  std::string path;
  bool open = false;
  double lastValue = 0;
  for (size_t i = 0; i < frames.size(); ++i) {
    const double x = chart.XOf(frames[i]);
    if (!shown(frames[i])) {
      if (open) {
        path += " H" + Num(x);
      }
      open = false;
      continue;
    }
    const double v = value(frames[i]);
    if (!open) {
      path += " M" + Num(x) + " " + Num(y(v));
      open = true;
    } else if (v != lastValue) {
      path += " H" + Num(x) + " V" + Num(y(v));
    }
    lastValue = v;
  }
  if (open) {
    path += " H" + Num(chart.XOf(frames.back()));
  }
  if (!path.empty()) {
    StrokePath(chart.Out, path, stroke);
  }
}

void DrawSpeed(Chart& chart) {
  auto limit = [](const FrameRecord& row) { return static_cast<double>(row.Cab.LimitKmh); };
  DrawSteps(
      chart, chart.SpeedY, limit, [](const FrameRecord& row) { return !Supervised(row.Cab); },
      UnsupervisedStroke);
  DrawSteps(
      chart, chart.SpeedY, limit, [](const FrameRecord& row) { return Supervised(row.Cab); },
      LimitStroke);

  for (size_t k = chart.Sets.size(); k-- > 0;) {
    std::string path;
    double lastX = 0;
    double lastY = 0;
    const std::vector<FrameRecord>& drawn = chart.Sets[k].Frames;
    for (size_t i = 0; i < drawn.size(); ++i) {
      const double x = chart.XOf(drawn[i]);
      const double y = chart.SpeedY(drawn[i].SpeedKmh);
      const bool far = std::abs(x - lastX) >= PathStepPx || std::abs(y - lastY) >= PathStepPx;
      if (i == 0 || far || i + 1 == drawn.size()) {
        path += (i == 0 ? "M" : " L") + Num(x) + " " + Num(y);
        lastX = x;
        lastY = y;
      }
    }
    StrokePath(chart.Out, path, {SetColour(k)}, "round");
  }
  if (chart.SpeedY.DataLow < 0) {
    svg::Line(chart.Out, PlotLeft, chart.SpeedY(0), PlotRight, chart.SpeedY(0),
              {{"stroke", AxisColour}, {"stroke-width", 1}});
  }
}

// The notch panel's four lines, also in its legend.
struct NotchSeries {
  double (*Notch)(const FrameRecord&);  // brake notches below zero
  Stroke Line;
  const char* Legend;
};
const NotchSeries NotchLines[] = {
    {[](const FrameRecord& row) { return -double(row.Driver.Brake); },
     {"#6b7280", 2, "5 3"},
     "driver's brake"},
    {[](const FrameRecord& row) { return -double(row.Returned.Brake); },
     {"#7c3aed", 2},
     "applied brake"},
    {[](const FrameRecord& row) { return double(row.Driver.Power); },
     {"#059669", 1.6, "5 3", "0.8"},
     "driver's power"},
    {[](const FrameRecord& row) { return double(row.Returned.Power); },
     {"#059669", 2},
     "applied power"}};

void DrawNotches(Chart& chart) {
  std::ostream& out = chart.Out;
  const NotchScale scale = ScaleOf(chart.Run.Setup.Train);
  // Grid and labels from the train's own notches: power upwards from the
  // highest, brake downwards from the emergency notch, spaced to stay legible,
  // and the one notch beyond it that the ATC takes by default.
  const int emergency = chart.Run.Record.EmergencyNotch;
  const double notchPx = chart.NotchY(0) - chart.NotchY(1);
  const int every = std::max(1, static_cast<int>(std::ceil(14.0 / notchPx)));
  std::vector<int> ticks = {0, -scale.DeepestBrake};
  for (int n = scale.HighestPower; n > 0; n -= every) {
    ticks.push_back(n);
  }
  for (int n = emergency; n > 0; n -= every) {
    ticks.push_back(-n);
  }
  for (int n : ticks) {
    svg::Line(out, PlotLeft, chart.NotchY(n), PlotRight, chart.NotchY(n),
              {{"stroke", n == 0 ? "#9ca3af" : GridColour}});
    const std::string label = n > 0    ? fmt::format("P{}", n)
                              : n == 0 ? "0"
                                       : NotchName(-n, emergency);
    RowLabel(chart, chart.NotchY(n) + 4, label, 12);
  }
  svg::Line(out, PlotLeft, chart.NotchY(-emergency), PlotRight, chart.NotchY(-emergency),
            {{"stroke", EmergencyColour}, {"stroke-opacity", "0.5"}, {"stroke-dasharray", "2 3"}});
  svg::Text(out, PlotRight - 4, chart.NotchY(-emergency) - 4, "emergency notch", 11, "#b91c1c",
            {{"text-anchor", "end"}});

  // A notch beyond the scale is drawn at its edge, and over again in red.
  const auto onEdge = [&](size_t k) {
    return [&scale, k](const FrameRecord& row) {
      return std::clamp(NotchLines[k].Notch(row), -static_cast<double>(scale.DeepestBrake),
                        static_cast<double>(scale.HighestPower));
    };
  };
  auto always = [](const FrameRecord&) { return true; };
  for (size_t k : {2, 3, 0, 1}) {  // the brake drawn over the power where both are at 0
    DrawSteps(chart, chart.NotchY, onEdge(k), always, NotchLines[k].Line);
  }
  const auto brakeOff = [&scale](const FrameRecord& r) {
    return !BrakeOnScale(scale, r.Returned.Brake);
  };
  const auto powerOff = [&scale](const FrameRecord& r) {
    return !PowerOnScale(scale, r.Returned.Power);
  };
  const bool anyBrakeOff = std::any_of(chart.Frames.begin(), chart.Frames.end(), brakeOff);
  const bool anyPowerOff = std::any_of(chart.Frames.begin(), chart.Frames.end(), powerOff);
  if (anyBrakeOff) {
    DrawSteps(chart, chart.NotchY, onEdge(1), brakeOff, OffScaleStroke);
  }
  if (anyPowerOff) {
    DrawSteps(chart, chart.NotchY, onEdge(3), powerOff, OffScaleStroke);
  }
  if (anyBrakeOff || anyPowerOff) {
    svg::Text(out, PlotRight, NotchTop - 6,
              "red: notches handed back beyond the train's, drawn at the edge (see the summary)",
              11, EmergencyColour, {{"text-anchor", "end"}});
  }
}

// Short names for the events that the lines do not already show.
std::string MarkerText(const ScenarioEvent& event) {
  if (!event.Label.empty()) {
    return event.Label;
  }
  std::string text;
  const EventActions& a = event.Actions;
  auto add = [&text](const std::string& part) { text += (text.empty() ? "" : ", ") + part; };
  if (a.Signal) {
    add("aspect " + std::to_string(*a.Signal));
  }
  if (a.Beacon) {
    add("beacon " + std::to_string(a.Beacon->Type));
  }
  for (const KeyPress& key : a.Keys) {
    std::string name = key.Name;
    std::replace(name.begin(), name.end(), '_', ' ');
    add(name);
  }
  return text;
}

void DrawMarkers(Chart& chart) {
  const RunRecord& record = chart.Run.Record;
  // Labels stack in up to five rows; each row keeps the spans it has taken
  // (against distance the events need not come left to right). An event with
  // no room left in any row is not marked, so that a run of thousands of
  // events still makes a chart of a few hundred marks.
  constexpr int Rows = 5;
  std::vector<std::pair<double, double>> taken[Rows];
  auto clashes = [&taken](int row, double left, double right) {
    return std::any_of(taken[row].begin(), taken[row].end(),
                       [&](const auto& span) { return left < span.second && span.first < right; });
  };
  for (const FiredEvent& fired : record.Fired) {
    const std::string text = MarkerText(chart.Run.Setup.Events[fired.EventIndex]);
    const double x = chart.X(chart.Axis == ChartAxis::Time ? fired.TimeS : fired.PositionM);
    if (text.empty() || x < PlotLeft || x > PlotRight) {
      continue;
    }
    const double width = 6.6 * static_cast<double>(text.size()) + 8;
    // Near the right edge the label goes to the left of its line.
    const bool leftwards = x + width > PlotRight;
    const double left = leftwards ? x - width : x;
    int row = 0;
    while (row < Rows && clashes(row, left, left + width)) {
      ++row;
    }
    if (row == Rows) {  // every row is taken there: the summary lists it
      continue;
    }
    taken[row].emplace_back(left, left + width);
    const double y = SpeedTop + 14 + 14 * row;
    svg::Line(chart.Out, x, y - 10, x, SpeedBottom,
              {{"stroke", "#6b7280"}, {"stroke-width", 0.8}, {"stroke-dasharray", "1 3"}});
    svg::Text(chart.Out, leftwards ? x - 3 : x + 3, y, text, 11, "#1f2937",
              {{"stroke", "white"},
               {"stroke-width", 3},
               {"paint-order", "stroke"},
               {"text-anchor", leftwards ? "end" : ""}});
  }
}

// A legend entry: a line in the series' stroke, or a band's swatch.
struct Entry {
  Stroke Swatch;
  std::string Text;
  const char* BandOpacity = "";  // set for a band
};

void DrawLegends(Chart& chart) {
  // Beneath the axis label: the speed panel's entries, then the notch panel's.
  std::vector<Entry> modes;
  for (const auto& [name, shade] : ModeColours) {
    modes.push_back({{shade}, std::string("mode ") + name, "1"});
  }
  std::vector<Entry> speeds;
  for (size_t k = 0; k < chart.Sets.size(); ++k) {
    const std::string& name = chart.Sets[k].Name;
    speeds.push_back(
        {{SetColour(k)}, name.empty() ? "speed" : fmt::format("set {}: {}", k + 1, name)});
  }
  speeds.push_back({LimitStroke, "limit"});
  speeds.push_back({UnsupervisedStroke, "limit, not supervised"});
  std::vector<Entry> notches;
  for (const NotchSeries& series : NotchLines) {
    notches.push_back({series.Line, series.Legend});
  }
  // The bands' entries follow the speed's, unless compared sets take the room.
  std::vector<Entry>& bands = chart.Sets.size() == 1 ? speeds : notches;
  const std::string whose = chart.Sets.size() == 1 ? "" : ", set 1";
  bands.insert(chart.Sets.size() == 1 ? bands.end() : bands.begin(),
               {{{ServiceColour}, "ATC service brake" + whose, "0.35"},
                {{EmergencyColour}, "ATC emergency brake" + whose, "0.3"}});
  const double top = AxisLabelY + 14;
  svg::Rect(chart.Out, PlotLeft, top, PlotRight - PlotLeft, 74,
            {{"rx", 4}, {"fill", "#f9fafb"}, {"stroke", "#e5e7eb"}});
  double y = top + 16;
  for (const std::vector<Entry>* row : {&speeds, &notches, &modes}) {
    double x = PlotLeft + 14;
    for (const Entry& entry : *row) {
      const Stroke& s = entry.Swatch;
      if (*entry.BandOpacity) {
        svg::Rect(chart.Out, x, y - 6, 22, 12,
                  {{"fill", s.Colour}, {"fill-opacity", entry.BandOpacity}});
      } else {
        StrokePath(chart.Out, fmt::format("M{} {} h22", Num(x), Num(y)), s);
      }
      svg::Text(chart.Out, x + 28, y + 4, entry.Text, 12, "#1f2937");
      x += 28 + LegendCharPx * static_cast<double>(entry.Text.size()) + 22;
    }
    y += 22;
  }
}

}  // namespace

double AxisValue(ChartAxis axis, const FrameRecord& row) {
  return axis == ChartAxis::Time ? row.TimeS : row.PositionM;
}

bool InWindow(const ChartWindow& window, ChartAxis axis, const FrameRecord& row) {
  const double at = AxisValue(axis, row);
  return at >= window.From.value_or(at) && at <= window.To.value_or(at);
}

void WriteSvgChart(std::ostream& out, const std::vector<RunSet>& sets, ChartAxis axis,
                   const ChartWindow& window) {
  const RunContext& run = *sets.front().Run;
  const std::vector<RunSet>& shown = sets;
  const std::vector<FrameRecord>& frames = shown.front().Frames;
  out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  svg::Open(out, "svg",
            {{"xmlns", "http://www.w3.org/2000/svg"},
             {"width", PageWidth},
             {"height", PageHeight},
             {"viewBox", fmt::format("0 0 {} {}", PageWidth, PageHeight)},
             {"font-family", Font}});
  out << "<title>" << svg::Escape(svg::Clip(run.Setup.Title)) << "</title>\n";
  Chart chart{out, run, frames, axis, shown, window};
  if (!frames.empty()) {
    ChooseScales(chart);
    DrawFrame(chart);
    DrawGrid(chart);
    DrawBands(chart);
    out << "<defs><clipPath id=\"speed\">";
    svg::Rect(out, PlotLeft, SpeedTop, PlotRight - PlotLeft, SpeedBottom - SpeedTop, {});
    out << "</clipPath></defs>\n";
    svg::Open(out, "g", {{"clip-path", "url(#speed)"}});
    DrawSpeed(chart);
    svg::Close(out, "g");
    DrawCabStrip(chart);
    DrawModeRibbon(chart);
    DrawNotches(chart);
    DrawMarkers(chart);
    for (const auto& [top, bottom] :
         {std::pair{SpeedTop, SpeedBottom}, std::pair{NotchTop, NotchBottom}}) {
      svg::Rect(out, PlotLeft, top, PlotRight - PlotLeft, bottom - top,
                {{"fill", "none"}, {"stroke", AxisColour}, {"stroke-width", 1}});
    }
    DrawLegends(chart);
  }
  svg::Close(out, "svg");
}

}  // namespace drive
