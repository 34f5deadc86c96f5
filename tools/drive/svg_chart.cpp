// The chart: speed and limit above, the selector's mode as a ribbon, the
// driver's and the returned notches beneath (power up, brake down), all against
// time or distance, with the ATC's interventions shaded across both panels and
// labelled with their causes. However long the run, the chart draws a bounded
// choice of its frames (ChartFrames), so its size stays bounded too.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "reports.h"

namespace drive {
namespace {

// Page layout, in SVG pixels.
constexpr double PageWidth = 1200;
constexpr double PageHeight = 858;
constexpr double PlotLeft = 84;
constexpr double PlotRight = PageWidth - 36;
constexpr double SpeedTop = 96;
constexpr double SpeedBottom = 466;
constexpr double RibbonTop = 480;
constexpr double RibbonBottom = 498;
constexpr double NotchTop = 520;
constexpr double NotchBottom = 700;
constexpr double AxisLabelY = 748;
constexpr double MinimumBandPx = 2.0;
constexpr double PathStepPx = 0.75;     // a speed point closer than this to the last one is skipped
constexpr double LegendCharPx = 6.4;    // average advance of the legend's 12 px text
constexpr double CauseLabelGapPx = 13;  // cause labels closer than this to the last are left out
constexpr size_t MostBuckets = 2048;

const char* const Font = "DejaVu Sans, Helvetica, Arial, sans-serif";
const char* const SpeedColour = "#1d4ed8";
const char* const LimitColour = "#dc2626";
const char* const ServiceColour = "#f59e0b";
const char* const EmergencyColour = "#dc2626";
const char* const DriverBrakeColour = "#6b7280";
const char* const ReturnedBrakeColour = "#7c3aed";
const char* const PowerColour = "#059669";
// The speed of each compared set; the first set is the run drawn in full.
const char* SetColour(size_t set) {
  constexpr const char* Colours[] = {SpeedColour, "#0891b2", "#a21caf", "#65a30d", "#ea580c"};
  return Colours[set % std::size(Colours)];
}
const char* const GridColour = "#e5e7eb";
const char* const AxisColour = "#374151";

std::string Num(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", value);
  return text;
}

std::string Escape(const std::string& text) {
  std::string escaped;
  for (char c : text) {
    switch (c) {
      case '&':
        escaped += "&amp;";
        break;
      case '<':
        escaped += "&lt;";
        break;
      case '>':
        escaped += "&gt;";
        break;
      case '"':
        escaped += "&quot;";
        break;
      default:
        escaped += c;
    }
  }
  return escaped;
}

// A tick step of 1, 2 or 5 times a power of ten giving about `count` ticks.
double NiceStep(double span, int count) {
  const double raw = std::max(span, 1e-9) / count;
  const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
  const double share = raw / magnitude;
  const double nice = share < 1.5 ? 1 : share < 3 ? 2 : share < 7 ? 5 : 10;
  return nice * magnitude;
}

std::string TickText(double value, double step) {
  char text[32];
  std::snprintf(text, sizeof text, step < 1.0 ? "%.1f" : "%.0f", value);
  return std::string(text) == "-0" ? "0" : text;
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

  double XOf(const FrameRecord& row) const {
    return X(Axis == ChartAxis::Time ? row.TimeS : row.PositionM);
  }
};

// The mode ribbon's positions and colours, also in its legend.
constexpr std::pair<const char*, const char*> ModeColours[] = {
    {"ATC", "#2563eb"}, {"ATS", "#16a34a"}, {"restricted", "#d97706"}, {"cut out", "#9ca3af"}};

void ChooseScales(Chart& chart) {
  const std::vector<FrameRecord>& frames = chart.Frames;
  double low = 0;
  double high = 1;
  if (chart.Window.From || chart.Window.To) {
    low =
        chart.Window.From.value_or(chart.Axis == ChartAxis::Time ? 0.0 : frames.front().PositionM);
    high = chart.Window.To.value_or(chart.Axis == ChartAxis::Time ? frames.back().TimeS
                                                                  : frames.back().PositionM);
    high = std::max(high, low + 1.0);
  } else if (chart.Axis == ChartAxis::Time) {
    high = std::max(frames.back().TimeS, 1.0);
  } else {
    low = high = frames.front().PositionM;
    for (const FrameRecord& row : frames) {
      low = std::min(low, row.PositionM);
      high = std::max(high, row.PositionM);
    }
    if (high - low < 10) {
      high = low + 10;
    }
  }
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

  const TrainSpec& train = chart.Run.Setup.Train;
  int brakeDeepest = train.ServiceNotches + 2;
  for (const FrameRecord& row : frames) {
    brakeDeepest = std::max({brakeDeepest, row.Returned.Brake, row.Driver.Brake});
  }
  chart.NotchY = Scale{-static_cast<double>(brakeDeepest) - 0.5, train.PowerNotches + 0.5,
                       NotchBottom, NotchTop};
}

void Text(Chart& chart, double x, double y, const std::string& text, const char* style) {
  chart.Out << "<text x=\"" << Num(x) << "\" y=\"" << Num(y) << "\" " << style << ">"
            << Escape(text) << "</text>\n";
}

void DrawFrame(Chart& chart) {
  const Scenario& s = chart.Run.Setup;
  chart.Out << "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
  Text(chart, PlotLeft, 36, s.Title, "font-size=\"21\" font-weight=\"bold\" fill=\"#111827\"");
  char subtitle[256];
  std::snprintf(subtitle, sizeof subtitle,
                "%s · %s loop at %g Hz · %d service notches, %d power notches · %zu interventions",
                s.Name.c_str(), s.Run.Loop == LoopKind::Closed ? "closed" : "open",
                s.Run.FrameRateHz, s.Train.ServiceNotches, s.Train.PowerNotches,
                chart.Run.Analysis.Interventions.size());
  Text(chart, PlotLeft, 60, subtitle, "font-size=\"13\" fill=\"#4b5563\"");
}

void DrawGrid(Chart& chart) {
  std::ostream& out = chart.Out;
  out << "<g stroke=\"" << GridColour << "\" stroke-width=\"1\">\n";
  for (double x = chart.X.DataLow; x <= chart.X.DataHigh + 1e-9; x += chart.XStep) {
    const std::string px = Num(chart.X(x));
    out << "<line x1=\"" << px << "\" y1=\"" << SpeedTop << "\" x2=\"" << px << "\" y2=\""
        << SpeedBottom << "\"/>\n";
    out << "<line x1=\"" << px << "\" y1=\"" << NotchTop << "\" x2=\"" << px << "\" y2=\""
        << NotchBottom << "\"/>\n";
  }
  const double speedStep = NiceStep(chart.SpeedY.DataHigh - chart.SpeedY.DataLow, 8);
  for (double v = chart.SpeedY.DataLow; v <= chart.SpeedY.DataHigh + 1e-9; v += speedStep) {
    const std::string py = Num(chart.SpeedY(v));
    out << "<line x1=\"" << PlotLeft << "\" y1=\"" << py << "\" x2=\"" << PlotRight << "\" y2=\""
        << py << "\"/>\n";
  }
  out << "</g>\n";

  // Tick labels.
  const char* tickStyle = "font-size=\"12\" fill=\"#374151\"";
  out << "<g text-anchor=\"middle\">\n";
  for (double x = chart.X.DataLow; x <= chart.X.DataHigh + 1e-9; x += chart.XStep) {
    Text(chart, chart.X(x), NotchBottom + 18, TickText(x, chart.XStep), tickStyle);
  }
  out << "</g>\n<g text-anchor=\"end\">\n";
  for (double v = chart.SpeedY.DataLow; v <= chart.SpeedY.DataHigh + 1e-9; v += speedStep) {
    Text(chart, PlotLeft - 8, chart.SpeedY(v) + 4, TickText(v, speedStep), tickStyle);
  }
  out << "</g>\n";
  Text(chart, (PlotLeft + PlotRight) / 2, AxisLabelY,
       chart.Axis == ChartAxis::Time ? "time (s)" : "position (m)",
       "font-size=\"14\" text-anchor=\"middle\" fill=\"#111827\"");
  char rotated[160];
  std::snprintf(rotated, sizeof rotated,
                "font-size=\"14\" text-anchor=\"middle\" fill=\"#111827\" "
                "transform=\"rotate(-90 %.1f %.1f)\"",
                PlotLeft - 50, (SpeedTop + SpeedBottom) / 2);
  Text(chart, PlotLeft - 50, (SpeedTop + SpeedBottom) / 2, "speed (km/h)", rotated);
  std::snprintf(rotated, sizeof rotated,
                "font-size=\"14\" text-anchor=\"middle\" fill=\"#111827\" "
                "transform=\"rotate(-90 %.1f %.1f)\"",
                PlotLeft - 50, (NotchTop + NotchBottom) / 2);
  Text(chart, PlotLeft - 50, (NotchTop + NotchBottom) / 2, "notch", rotated);
}

// Shaded bands for the interventions, across the speed and notch panels, each
// with an edge of its own so that back-to-back interventions stay apart, and
// a label naming its cause where there is room. Bands under a pixel wide that
// touch one of the same kind are drawn as one.
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
    if (!bands.empty() && bands.back().Emergency == emergency && right - left < 1.0 &&
        left - bands.back().Right < 1.0) {
      bands.back().Right = std::max(bands.back().Right, right);
      continue;
    }
    bands.push_back(Band{left, right, emergency, span.CauseLabel});
  }
  std::ostream& out = chart.Out;
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
    const char* opacity = band.Emergency ? "0.16" : "0.22";
    for (const auto& [top, bottom] :
         {std::pair{SpeedTop, SpeedBottom}, std::pair{NotchTop, NotchBottom}}) {
      out << "<rect x=\"" << Num(band.Left) << "\" y=\"" << top << "\" width=\"" << Num(width)
          << "\" height=\"" << bottom - top << "\" fill=\"" << colour << "\" fill-opacity=\""
          << opacity << "\"/>\n";
      out << "<line x1=\"" << Num(band.Left) << "\" y1=\"" << top << "\" x2=\"" << Num(band.Left)
          << "\" y2=\"" << bottom << "\" stroke=\"" << colour << "\" stroke-opacity=\"0.7\"/>\n";
    }
    int tier = 0;
    while (tier < 2 && band.Left - lastLabel[tier] < CauseLabelGapPx) {
      ++tier;
    }
    if (tier == 2) {  // no room: the nearest label to the left counts it
      ++labels.back().Hidden;
      continue;
    }
    lastLabel[tier] = band.Left;
    labels.push_back({band.Left, tier, band.Label, band.Emergency});
  }
  for (const Label& label : labels) {
    char style[200];
    std::snprintf(style, sizeof style,
                  "font-size=\"10\" fill=\"%s\" transform=\"rotate(-90 %.1f %.1f)\"",
                  label.Emergency ? "#991b1b" : "#92400e", label.X + 10, LabelFoot[label.Tier]);
    Text(chart, label.X + 10, LabelFoot[label.Tier],
         label.Text + (label.Hidden ? " (" + std::to_string(label.Hidden) + " more)" : ""), style);
  }
}

void DrawModeRibbon(Chart& chart) {
  const std::vector<FrameRecord>& frames = chart.Frames;
  std::ostream& out = chart.Out;
  auto label = [](const CabIndication& cab) {
    return cab.CutOut ? std::string("cut out") : std::string(ModeName(cab));
  };
  auto colour = [](const std::string& mode) {
    for (const auto& [name, shade] : ModeColours) {
      if (mode == name) {
        return shade;
      }
    }
    return "#d1d5db";
  };
  size_t start = 0;
  for (size_t i = 1; i <= frames.size(); ++i) {
    if (i < frames.size() && label(frames[i].Cab) == label(frames[start].Cab)) {
      continue;
    }
    const std::string mode = label(frames[start].Cab);
    // Against distance a stretch can run backwards: it covers all it reached.
    double x = chart.XOf(frames[start]);
    double right = x;
    for (size_t f = start; f < i; ++f) {
      x = std::min(x, chart.XOf(frames[f]));
      right = std::max(right, chart.XOf(frames[f]));
    }
    const double width = std::max(right - x, 1.0);
    out << "<rect x=\"" << Num(x) << "\" y=\"" << RibbonTop << "\" width=\"" << Num(width)
        << "\" height=\"" << RibbonBottom - RibbonTop << "\" fill=\"" << colour(mode) << "\"/>\n";
    if (width > 8.0 * mode.size()) {
      Text(chart, x + width / 2, RibbonBottom - 4, mode,
           "font-size=\"11\" fill=\"white\" text-anchor=\"middle\" font-weight=\"bold\"");
    }
    start = i;
  }
  Text(chart, PlotLeft - 8, RibbonBottom - 4, "mode",
       "font-size=\"11\" fill=\"#374151\" text-anchor=\"end\"");
}

// A stepped line of an integer-valued series, drawn only where `shown` holds.
template <typename Value, typename Shown>
void DrawSteps(Chart& chart, const Scale& y, Value value, Shown shown, const std::string& style) {
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
    chart.Out << "<path d=\"" << path << "\" fill=\"none\" " << style << "/>\n";
  }
}

void DrawSpeed(Chart& chart) {
  auto limit = [](const FrameRecord& row) { return static_cast<double>(row.Cab.LimitKmh); };
  DrawSteps(
      chart, chart.SpeedY, limit, [](const FrameRecord& row) { return !Supervised(row.Cab); },
      std::string("stroke=\"") + LimitColour +
          "\" stroke-opacity=\"0.45\" stroke-width=\"2\" stroke-dasharray=\"6 4\"");
  DrawSteps(
      chart, chart.SpeedY, limit, [](const FrameRecord& row) { return Supervised(row.Cab); },
      std::string("stroke=\"") + LimitColour + "\" stroke-width=\"2.2\"");

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
    chart.Out << "<path d=\"" << path << "\" fill=\"none\" stroke=\"" << SetColour(k)
              << "\" stroke-width=\"2.2\" stroke-linejoin=\"round\"/>\n";
  }
  if (chart.SpeedY.DataLow < 0) {
    const std::string zero = Num(chart.SpeedY(0));
    chart.Out << "<line x1=\"" << PlotLeft << "\" y1=\"" << zero << "\" x2=\"" << PlotRight
              << "\" y2=\"" << zero << "\" stroke=\"" << AxisColour << "\" stroke-width=\"1\"/>\n";
  }
}

void DrawNotches(Chart& chart) {
  std::ostream& out = chart.Out;
  const TrainSpec& train = chart.Run.Setup.Train;
  // Grid and labels from the train's own notches: power upwards from the
  // highest, brake downwards from the emergency notch, spaced to stay legible.
  const int emergency = chart.Run.Record.EmergencyNotch;
  const double notchPx = chart.NotchY(0) - chart.NotchY(1);
  const int every = std::max(1, static_cast<int>(std::ceil(14.0 / notchPx)));
  std::vector<int> ticks = {0};
  for (int n = train.PowerNotches; n > 0; n -= every) {
    ticks.push_back(n);
  }
  for (int n = emergency; n > 0; n -= every) {
    ticks.push_back(-n);
  }
  // Notches beyond the emergency notch (the host passes on what it is given) each get one too.
  for (int n = emergency + 1; n <= static_cast<int>(-chart.NotchY.DataLow); ++n) {
    ticks.push_back(-n);
  }
  for (int n : ticks) {
    const std::string py = Num(chart.NotchY(n));
    out << "<line x1=\"" << PlotLeft << "\" y1=\"" << py << "\" x2=\"" << PlotRight << "\" y2=\""
        << py << "\" stroke=\"" << (n == 0 ? "#9ca3af" : GridColour) << "\"/>\n";
    const std::string label = n > 0    ? std::string("P").append(std::to_string(n))
                              : n == 0 ? std::string("0")
                                       : NotchName(-n, emergency);
    Text(chart, PlotLeft - 8, chart.NotchY(n) + 4, label,
         "font-size=\"12\" fill=\"#374151\" text-anchor=\"end\"");
  }
  const std::string emergencyY = Num(chart.NotchY(-emergency));
  out << "<line x1=\"" << PlotLeft << "\" y1=\"" << emergencyY << "\" x2=\"" << PlotRight
      << "\" y2=\"" << emergencyY << "\" stroke=\"" << EmergencyColour
      << "\" stroke-opacity=\"0.5\" stroke-dasharray=\"2 3\"/>\n";
  Text(chart, PlotRight - 4, chart.NotchY(-emergency) - 4, "emergency notch",
       "font-size=\"11\" fill=\"#b91c1c\" text-anchor=\"end\"");

  auto always = [](const FrameRecord&) { return true; };
  DrawSteps(
      chart, chart.NotchY, [](const FrameRecord& row) { return double(row.Driver.Power); }, always,
      std::string("stroke=\"") + PowerColour +
          "\" stroke-width=\"1.6\" stroke-dasharray=\"5 3\" stroke-opacity=\"0.8\"");
  DrawSteps(
      chart, chart.NotchY, [](const FrameRecord& row) { return double(row.Returned.Power); },
      always, std::string("stroke=\"") + PowerColour + "\" stroke-width=\"2\"");
  DrawSteps(
      chart, chart.NotchY, [](const FrameRecord& row) { return -double(row.Driver.Brake); }, always,
      std::string("stroke=\"") + DriverBrakeColour +
          "\" stroke-width=\"2\" stroke-dasharray=\"5 3\"");
  DrawSteps(
      chart, chart.NotchY, [](const FrameRecord& row) { return -double(row.Returned.Brake); },
      always, std::string("stroke=\"") + ReturnedBrakeColour + "\" stroke-width=\"2\"");
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
  std::ostream& out = chart.Out;
  // Labels stack in up to five rows; each row keeps the spans it has taken
  // (against distance the events need not come left to right).
  constexpr int Rows = 5;
  std::vector<std::pair<double, double>> taken[Rows];
  auto clashes = [&taken](int row, double left, double right) {
    for (const auto& [from, to] : taken[row]) {
      if (left < to && from < right) {
        return true;
      }
    }
    return false;
  };
  for (const FiredEvent& fired : record.Fired) {
    const std::string text = MarkerText(chart.Run.Setup.Events[fired.EventIndex]);
    if (text.empty()) {
      continue;
    }
    const double x = chart.X(chart.Axis == ChartAxis::Time ? fired.TimeS : fired.PositionM);
    if (x < PlotLeft || x > PlotRight) {
      continue;
    }
    const double width = 6.6 * static_cast<double>(text.size()) + 8;
    // Near the right edge the label goes to the left of its line.
    const bool leftwards = x + width > PlotRight;
    const double left = leftwards ? x - width : x;
    int row = 0;
    while (row < Rows - 1 && clashes(row, left, left + width)) {
      ++row;
    }
    taken[row].emplace_back(left, left + width);
    const double y = SpeedTop + 14 + 14 * row;
    out << "<line x1=\"" << Num(x) << "\" y1=\"" << Num(y - 10) << "\" x2=\"" << Num(x)
        << "\" y2=\"" << SpeedBottom << "\" stroke=\"#6b7280\" stroke-width=\"0.8\" "
        << "stroke-dasharray=\"1 3\"/>\n";
    Text(chart, leftwards ? x - 3 : x + 3, y, text,
         leftwards ? "font-size=\"11\" fill=\"#1f2937\" stroke=\"white\" stroke-width=\"3\" "
                     "paint-order=\"stroke\" text-anchor=\"end\""
                   : "font-size=\"11\" fill=\"#1f2937\" stroke=\"white\" stroke-width=\"3\" "
                     "paint-order=\"stroke\"");
  }
}

void LegendEntry(Chart& chart, double x, double y, const std::string& swatch,
                 const std::string& text) {
  chart.Out << "<g transform=\"translate(" << Num(x) << " " << Num(y) << ")\">" << swatch
            << "</g>\n";
  Text(chart, x + 28, y + 4, text, "font-size=\"12\" fill=\"#1f2937\"");
}

std::string LineSwatch(const char* colour, const char* extra = "") {
  return std::string("<line x1=\"0\" y1=\"0\" x2=\"22\" y2=\"0\" stroke=\"") + colour +
         "\" stroke-width=\"2.2\" " + extra + "/>";
}

std::string BandSwatch(const char* colour, const char* opacity) {
  return std::string("<rect x=\"0\" y=\"-6\" width=\"22\" height=\"12\" fill=\"") + colour +
         "\" fill-opacity=\"" + opacity + "\"/>";
}

void DrawLegends(Chart& chart) {
  struct Entry {
    std::string Swatch;
    std::string Text;
  };
  // Beneath the axis label: the speed panel's entries, then the notch panel's.
  std::vector<Entry> modes;
  for (const auto& [name, shade] : ModeColours) {
    modes.push_back({BandSwatch(shade, "1"), std::string("mode ") + name});
  }
  std::vector<Entry> speeds;
  for (size_t k = 0; k < chart.Sets.size(); ++k) {
    const std::string& name = chart.Sets[k].Name;
    speeds.push_back({LineSwatch(SetColour(k)), name.empty() ? "speed" : "speed, " + name});
  }
  speeds.push_back({LineSwatch(LimitColour), "limit"});
  speeds.push_back({LineSwatch(LimitColour, "stroke-opacity=\"0.45\" stroke-dasharray=\"6 4\""),
                    "limit, not supervised"});
  std::vector<Entry> notches = {
      {LineSwatch(DriverBrakeColour, "stroke-dasharray=\"5 3\""), "driver's brake"},
      {LineSwatch(ReturnedBrakeColour), "applied brake"},
      {LineSwatch(PowerColour, "stroke-dasharray=\"5 3\""), "driver's power"},
      {LineSwatch(PowerColour), "applied power"}};
  // The bands' entries follow the speed's, unless compared sets take the room.
  std::vector<Entry>& bands = chart.Sets.size() == 1 ? speeds : notches;
  bands.insert(chart.Sets.size() == 1 ? bands.end() : bands.begin(),
               {{BandSwatch(ServiceColour, "0.35"), "ATC service brake"},
                {BandSwatch(EmergencyColour, "0.3"), "ATC emergency brake"}});
  const std::vector<Entry> rows[] = {speeds, notches, modes};
  const double top = AxisLabelY + 14;
  chart.Out << "<rect x=\"" << PlotLeft << "\" y=\"" << top << "\" width=\"" << PlotRight - PlotLeft
            << "\" height=\"74\" rx=\"4\" fill=\"#f9fafb\" "
            << "stroke=\"#e5e7eb\"/>\n";
  double y = top + 16;
  for (const std::vector<Entry>& row : rows) {
    double x = PlotLeft + 14;
    for (const Entry& entry : row) {
      LegendEntry(chart, x, y, entry.Swatch, entry.Text);
      x += 28 + LegendCharPx * static_cast<double>(entry.Text.size()) + 22;
    }
    y += 22;
  }
}

void DrawBorders(Chart& chart) {
  for (const auto& [top, bottom] :
       {std::pair{SpeedTop, SpeedBottom}, std::pair{NotchTop, NotchBottom}}) {
    chart.Out << "<rect x=\"" << PlotLeft << "\" y=\"" << top << "\" width=\""
              << PlotRight - PlotLeft << "\" height=\"" << bottom - top
              << "\" fill=\"none\" stroke=\"" << AxisColour << "\" stroke-width=\"1\"/>\n";
  }
}

}  // namespace

void ChartFrames::Merge(Bucket& into, const Bucket& next) {
  const std::array<FrameRecord, 6>& n = next.Picks;
  std::array<FrameRecord, 6>& p = into.Picks;
  p[1] = n[1];
  if (n[2].SpeedKmh < p[2].SpeedKmh) {
    p[2] = n[2];
  }
  if (n[3].SpeedKmh > p[3].SpeedKmh) {
    p[3] = n[3];
  }
  if (n[4].Returned.Brake < p[4].Returned.Brake) {
    p[4] = n[4];
  }
  if (n[5].Returned.Brake > p[5].Returned.Brake) {
    p[5] = n[5];
  }
  into.Count += next.Count;
}

void ChartFrames::Add(const FrameRecord& row) {
  if (Buckets.empty() || Buckets.back().Count >= FramesPerBucket) {
    if (Buckets.size() == MostBuckets) {
      for (size_t i = 0; i < MostBuckets / 2; ++i) {
        Buckets[i] = Buckets[2 * i];
        Merge(Buckets[i], Buckets[2 * i + 1]);
      }
      Buckets.resize(MostBuckets / 2);
      FramesPerBucket *= 2;
    }
  }
  if (Buckets.empty() || Buckets.back().Count >= FramesPerBucket) {
    Bucket fresh;
    fresh.Count = 1;
    fresh.Picks.fill(row);
    Buckets.push_back(fresh);
    return;
  }
  Bucket single;
  single.Count = 1;
  single.Picks.fill(row);
  Merge(Buckets.back(), single);
}

std::vector<FrameRecord> ChartFrames::Frames() const {
  std::vector<FrameRecord> frames;
  for (const Bucket& bucket : Buckets) {
    std::array<FrameRecord, 6> picks = bucket.Picks;
    std::sort(picks.begin(), picks.end(),
              [](const FrameRecord& a, const FrameRecord& b) { return a.Frame < b.Frame; });
    for (const FrameRecord& pick : picks) {
      if (frames.empty() || frames.back().Frame != pick.Frame) {
        frames.push_back(pick);
      }
    }
  }
  return frames;
}

void WriteSvgChart(std::ostream& out, const std::vector<RunSet>& sets, ChartAxis axis,
                   const ChartWindow& window) {
  const RunContext& run = *sets.front().Run;
  std::vector<RunSet> shown = sets;
  for (RunSet& set : shown) {
    std::erase_if(set.Frames, [&](const FrameRecord& row) {
      const double at = axis == ChartAxis::Time ? row.TimeS : row.PositionM;
      return at < window.From.value_or(at) || at > window.To.value_or(at);
    });
  }
  const std::vector<FrameRecord>& frames = shown.front().Frames;
  out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << PageWidth << "\" height=\""
      << PageHeight << "\" viewBox=\"0 0 " << PageWidth << " " << PageHeight << "\" font-family=\""
      << Font << "\">\n"
      << "<title>" << Escape(run.Setup.Title) << "</title>\n";
  Chart chart{out, run, frames, axis, shown, window};
  if (frames.empty()) {
    out << "</svg>\n";
    return;
  }
  ChooseScales(chart);
  DrawFrame(chart);
  DrawGrid(chart);
  DrawBands(chart);
  out << "<defs><clipPath id=\"speed\"><rect x=\"" << PlotLeft << "\" y=\"" << SpeedTop
      << "\" width=\"" << PlotRight - PlotLeft << "\" height=\"" << SpeedBottom - SpeedTop
      << "\"/></clipPath></defs>\n<g clip-path=\"url(#speed)\">\n";
  DrawSpeed(chart);
  out << "</g>\n";
  DrawModeRibbon(chart);
  DrawNotches(chart);
  DrawMarkers(chart);
  DrawBorders(chart);
  DrawLegends(chart);
  out << "</svg>\n";
}

}  // namespace drive
