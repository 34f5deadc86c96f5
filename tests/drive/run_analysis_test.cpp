// What the analysis reads off synthetic frames one second apart, the cab in ATC inside an ATC
// section (the 0 km/h step lamp lit at a 0 km/h limit); an aspect, a key or a beacon fires just
// before its frame. The train's emergency notch is 9.
#include <gtest/gtest.h>

#include "run_analysis.h"

namespace drive {
namespace {

constexpr auto S = Intervention::Service, E = Intervention::Emergency, N = Intervention::None;

struct Frame {
  int32_t Limit;
  double Speed;
  Intervention Acting = N;
  int32_t Brake = 0, Aspect = -1, Key = -1;
  int32_t DriverBrake = 1, Chime = 0, Beacon = -1, Section = 1, Atc = 1;
  double Gradient = 0.0;
};

RunAnalysis Analyse(const std::vector<Frame>& frames) {
  Scenario setup;
  for (const Frame& f : frames) {
    if (f.Aspect >= 0 || f.Key >= 0 || f.Beacon >= 0) {
      EventActions& fired = setup.Events.emplace_back().Actions;
      fired.Signal = f.Aspect >= 0 ? std::optional<int32_t>(f.Aspect) : std::nullopt;
      fired.Keys.assign(f.Key >= 0 ? 1 : 0, KeyPress{f.Key, ""});
      fired.Beacon = f.Beacon >= 0 ? std::optional(BeaconPass{600, f.Beacon, true}) : std::nullopt;
    }
  }
  RunRecord record;
  RunAnalyser analyser(setup, 9);
  for (size_t i = 0; i < frames.size(); ++i) {
    const Frame& f = frames[i];
    FrameRecord row;
    row.Frame = int64_t(i);
    row.TimeS = double(i);
    row.SpeedKmh = f.Speed;
    row.GradientPermille = f.Gradient;
    row.Acting = f.Acting;
    row.Returned.Brake = f.Brake;
    row.Driver.Brake = f.DriverBrake;
    row.Sounds[0] = f.Chime;
    row.Cab.ModeAtc = f.Atc;
    row.Cab.ModeRestricted = !f.Atc;
    row.Cab.AtcActive = 1;
    row.Cab.AtcSignal = f.Section;
    row.Cab.LimitKmh = f.Limit;
    row.Cab.StepLamps[1] = f.Limit == 0;
    if (f.Aspect >= 0 || f.Key >= 0 || f.Beacon >= 0) {
      row.FirstFiredEvent = record.Fired.size();
      row.FiredEventCount = 1;
      record.Fired.emplace_back().EventIndex = record.Fired.size();
    }
    analyser.Add(row, record);
  }
  return analyser.Finish(record);
}

// Each intervention's cause, what the run warns of, and whether the summary
// finds the train over the limit, which must agree with the causes.
TEST(RunAnalysis, CausesAndWarningsFitWhatHappened) {
  constexpr Cause Over = Cause::Overspeed, Held = Cause::HeldAtLimit;
  const struct {
    std::vector<Frame> Frames;
    std::vector<Cause> Causes;
    std::string Says = "";  // in a warning or the chime note; empty: none of either
    size_t Applications = 1;
  } cases[] = {
      {{{45, 40}, {45, 46}, {45, 45, S, 7}, {45, 44}}, {Over}},
      {{{45, 46},
        {45, 46, S, 7},
        {45, 44},
        {45, 46},
        {45, 45, S, 7},
        {45, 44},
        {45, 46},
        {45, 45, S, 7},
        {45, 44}},
       {Held},
       "",
       3},
      {{{45, 46},
        {45, 46, S, 7},
        {45, 44},
        {45, 44},
        {45, 44},
        {45, 44},
        {45, 44},
        {45, 44},
        {45, 46},
        {45, 45, S, 7},
        {45, 44}},
       {Over, Over}},
      {{{45, 46},
        {45, 46, S, 7},
        {45, 44},
        {55, 44, N, 0, 34},
        {45, 44, N, 0, 32},
        {45, 46},
        {45, 45, S, 7},
        {45, 44}},
       {Over, Over}},
      {{{15, 3}, {0, 0.17, N, 0, 36}, {0, 0.17}, {0, 0, S, 10}}, {Cause::HeldByStopCode}},
      {{{15, 3}, {0, 2, N, 0, 36}, {0, 2, S, 10}, {0, 0, S, 10}}, {Over}},
      {{{55, 54},
        {55, 56},
        {55, 57, S, 2},
        {55, 58, S, 2},
        {55, 59, S, 2},
        {.Limit = 55, .Speed = 60, .Acting = S, .Brake = 2, .Gradient = -35},
        {.Limit = 55, .Speed = 61, .Acting = S, .Brake = 2, .Gradient = -35},
        {55, 60, S, 2}},
       {Over},
       "service brake (B2) cannot hold the train: 57.0 to 61.0 km/h in 4.0 s on a gradient of "
       "-35 per mille"},
      {{{55, 54}, {55, 56}, {55, 57, S, 2}, {55, 58, S, 2}, {55, 59, S, 2}, {55, 58, S, 2}},
       {Over}},
      {{{25, 0}, {25, 0, N, 0, -1, KeyModeDown}}, {}, "refused: inside an ATC section"},
      {{{.Limit = 25, .Speed = 0, .DriverBrake = 0, .Section = 0},
        {.Limit = 25, .Speed = 0, .Key = KeyModeDown, .DriverBrake = 0, .Section = 0}},
       {},
       "refused: the brake was released"},
      {{{.Limit = 25, .Speed = 0, .Section = 0},
        {.Limit = 25, .Speed = 0, .Key = KeyModeDown, .Section = 0, .Atc = 0}},
       {}},
      {{{.Limit = 25, .Speed = 0, .Beacon = 2}},
       {},
       "beacon type 600 with parameter 2 never resets the ATC"},
      {std::vector<Frame>(12, Frame{.Limit = 0, .Speed = 0, .DriverBrake = 9, .Chime = 1}),
       {},
       "the driver holds the emergency notch while the ATC's emergency trigger holds"},
      {std::vector<Frame>(9, Frame{.Limit = 0, .Speed = 0, .DriverBrake = 9, .Chime = 1}), {}},
  };
  for (const auto& c : cases) {
    const RunAnalysis analysis = Analyse(c.Frames);
    std::vector<Cause> causes;
    bool over = false;
    for (const InterventionSpan& span : analysis.Interventions) {
      causes.push_back(span.Why);
      over = over || span.Why == Over || span.Why == Held;
    }
    std::string says = analysis.ChimeNote;
    for (const std::string& warning : analysis.Warnings) {
      says += warning + "\n";
    }
    SCOPED_TRACE(testing::Message()
                 << says << (causes.empty() ? "" : analysis.Interventions[0].CauseText));
    EXPECT_EQ(causes, c.Causes);
    EXPECT_EQ(analysis.MaxOverLimitKmh > 0, over);
    EXPECT_TRUE(c.Says.empty() ? says.empty() : says.find(c.Says) != std::string::npos);
    EXPECT_EQ(analysis.Interventions.empty() ? 1 : analysis.Interventions[0].Applications,
              c.Applications);
  }
}

struct Row {
  int32_t Before, After;
  std::string Why;
  int UnderAt, ReleasedAt;  // frame numbers, -1 for never
  double PeakOver;
  int32_t Notch;
  bool Overtaken = false;
  bool operator==(const Row&) const = default;
  friend void PrintTo(const Row& r, std::ostream* out) {
    *out << r.Before << "->" << r.After << " " << r.Why << " under " << r.UnderAt << " released "
         << r.ReleasedAt << " peak " << r.PeakOver << " notch " << r.Notch << " overtaken "
         << r.Overtaken;
  }
};

// The first drop of the limit, followed until the train is under it and the ATC lets go.
TEST(RunAnalysis, BrakingRowFollowsEachDropOfTheLimitUntilUnderAndReleased) {
  const struct {
    std::vector<Frame> Frames;
    Row Expected;
  } cases[] = {
      {{{100, 95}, {100, 95, N, 0, 30}, {90, 95}, {90, 93, S, 4}, {90, 90, S, 4}, {90, 89}},
       {100, 90, "aspect 30", 4, 5, 5.0, 4}},
      {{{15, 12}, {0, 12, S, 7}, {0, 5, E, 9}, {0, 0, E, 9}},
       {15, 0, "limit display", 3, -1, 12, 9}},
      {{{60, 70}, {45, 70, S, 7, -1, KeyModeDown}, {45, 60, S, 7}},
       {60, 45, "selector", -1, -1, 25, 7}},
      {{{100, 95}, {90, 95, N, 0, 30}, {75, 95, N, 0, 25}},
       {100, 90, "aspect 30", -1, -1, 5, 0, true}},
  };
  for (const auto& c : cases) {
    const RunAnalysis analysis = Analyse(c.Frames);
    ASSERT_GE(analysis.Braking.size(), 1u) << c.Expected.Why;
    const BrakingRow& got = analysis.Braking[0];
    auto at = [](const std::optional<Moment>& m) { return m ? int(m->TimeS) : -1; };
    EXPECT_EQ((Row{got.LimitBeforeKmh, got.LimitAfterKmh, got.Why, at(got.UnderLimit),
                   at(got.Released), got.PeakOverKmh, got.Notch, got.Overtaken}),
              c.Expected);
  }
}

}  // namespace
}  // namespace drive
