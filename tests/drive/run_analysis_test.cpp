// What the analysis reads off synthetic frames one second apart, the cab in ATC inside an ATC
// section (the 0 km/h step lamp lit at a 0 km/h limit); an aspect, a key or a beacon fires just
// before its frame. The train's emergency notch is 9.
#include <fmt/format.h>
#include <gtest/gtest.h>

#include <charconv>
#include <map>
#include <sstream>

#include "run_analysis.h"

namespace drive {
namespace {

// One frame a word: "limit/speed", then any of S<notch> or E<notch> (the ATC's service or
// emergency brake handed back), a<aspect>, v (the selector pressed down), b<parameter> (a type-600
// beacon), d<notch> (the driver's brake; 1 if not given), c (the chime), o (outside an ATC
// section), r (the selector at restricted), g<per mille>, and *<count> to repeat the frame:
// "45/46S7" is 46 km/h at a 45 km/h limit with the ATC handing back B7.
struct Frame {
  double Limit = 0, Speed = 0, Service = 0, Emergency = 0, Aspect = -1, Selector = 0, Beacon = -1;
  double DriverBrake = 1, Chime = 0, Outside = 0, Restricted = 0, Gradient = 0, Repeat = 1;
};

RunAnalysis Analyse(const std::string& frames) {
  static const std::map<char, double Frame::*> flags = {
      {'S', &Frame::Service},  {'E', &Frame::Emergency}, {'a', &Frame::Aspect},
      {'v', &Frame::Selector}, {'b', &Frame::Beacon},    {'d', &Frame::DriverBrake},
      {'c', &Frame::Chime},    {'o', &Frame::Outside},   {'r', &Frame::Restricted},
      {'g', &Frame::Gradient}, {'*', &Frame::Repeat}};
  Scenario setup;
  RunRecord record;
  std::vector<FrameRecord> rows;
  std::istringstream words(frames);
  for (std::string word; words >> word;) {
    Frame f;
    const char* p = word.data();
    auto read = [&p, &word](double& into) {
      into = 1.0;  // a flag without a number
      p = std::from_chars(p, word.data() + word.size(), into, std::chars_format::fixed).ptr;
    };
    read(f.Limit);
    read((++p, f.Speed));
    while (*p != '\0') {
      read(f.*flags.at(*p++));
    }
    auto i = [](double value) { return static_cast<int32_t>(value); };
    FrameRecord row;
    row.SpeedKmh = f.Speed;
    row.GradientPermille = f.Gradient;
    row.Acting = f.Emergency > 0 ? Intervention::Emergency
                 : f.Service > 0 ? Intervention::Service
                                 : Intervention::None;
    row.Returned.Brake = i(f.Service + f.Emergency);
    row.Driver.Brake = i(f.DriverBrake);
    row.Sounds[0] = f.Chime > 0 ? SOUND_PLAY : 0;
    row.Cab.ModeAtc = f.Restricted == 0;
    row.Cab.ModeRestricted = f.Restricted > 0;
    row.Cab.AtcActive = 1;
    row.Cab.AtcSignal = f.Outside == 0;
    row.Cab.LimitKmh = i(f.Limit);
    row.Cab.StepLamps[1] = f.Limit == 0;
    if (f.Aspect >= 0 || f.Selector > 0 || f.Beacon >= 0) {
      row.FirstFiredEvent = record.Fired.size();
      row.FiredEventCount = 1;
      record.Fired.emplace_back().EventIndex = setup.Events.size();
      EventActions& fired = setup.Events.emplace_back().Actions;
      fired.Signal = f.Aspect >= 0 ? std::optional(i(f.Aspect)) : std::nullopt;
      fired.Keys.assign(f.Selector > 0 ? 1 : 0, KeyPress{KeyModeDown, ""});
      fired.Beacon = f.Beacon >= 0 ? std::optional(BeaconPass{ResetBeaconType, i(f.Beacon), true})
                                   : std::nullopt;
    }
    rows.insert(rows.end(), static_cast<size_t>(f.Repeat), row);
  }
  RunAnalyser analyser(setup, 9);
  for (size_t k = 0; k < rows.size(); ++k) {
    rows[k].Frame = static_cast<int64_t>(k);
    rows[k].TimeS = static_cast<double>(k);
    analyser.Add(rows[k], record);
  }
  return analyser.Finish(record);
}

// Each intervention's cause, what the run warns of, and whether the summary
// finds the train over the limit, which must agree with the causes.
TEST(RunAnalysis, CausesAndWarningsFitWhatHappened) {
  constexpr Cause Over = Cause::Overspeed, Held = Cause::HeldAtLimit;
  const struct {
    const char* Frames;
    std::vector<Cause> Causes;
    std::string Says{};  // in a warning or the chime note; empty: none of either
    size_t Applications = 1;
  } cases[] = {
      {"45/40 45/46 45/45S7 45/44", {Over}},
      {"45/46 45/46S7 45/44 45/46 45/45S7 45/44 45/46 45/45S7 45/44", {Held}, "", 3},
      {"45/46 45/46S7 45/44*6 45/46 45/45S7 45/44", {Over, Over}},
      {"45/46 45/46S7 45/44 55/44a34 45/44a32 45/46 45/45S7 45/44", {Over, Over}},
      {"15/3 0/0.17a36 0/0.17 0/0S10", {Cause::HeldByStopCode}},
      {"15/3 0/2a36 0/2S10 0/0S10", {Over}},
      {"55/54 55/56 55/57S2 55/58S2 55/59S2 55/60S2g-35 55/61S2g-35 55/60S2",
       {Over},
       "service brake (B2) cannot hold the train: 57.0 to 61.0 km/h in 4.0 s on a gradient of "
       "-35 per mille"},
      {"55/54 55/56 55/57S2 55/58S2 55/59S2 55/58S2", {Over}},
      {"25/0 25/0v", {}, "refused: inside an ATC section"},
      {"25/0d0o 25/0d0ov", {}, "refused: the brake was released"},
      {"25/0o 25/0ovr", {}},
      {"25/0b2", {}, "beacon type 600 with parameter 2 never resets the ATC"},
      {"0/0d9c*12",
       {},
       "the driver holds the emergency notch while the ATC's emergency trigger holds"},
      {"0/0d9c*9", {}},
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
                 << c.Frames << "\n"
                 << says << (causes.empty() ? "" : analysis.Interventions[0].CauseText));
    EXPECT_EQ(causes, c.Causes);
    EXPECT_EQ(analysis.MaxOverLimitKmh > 0, over);
    EXPECT_TRUE(c.Says.empty() ? says.empty() : says.find(c.Says) != std::string::npos);
    EXPECT_EQ(analysis.Interventions.empty() ? 1 : analysis.Interventions[0].Applications,
              c.Applications);
  }
}

// The first drop of the limit, followed until the train is under it and the ATC lets go.
TEST(RunAnalysis, BrakingRowFollowsEachDropOfTheLimitUntilUnderAndReleased) {
  const struct {
    const char* Frames;
    const char* Expected;
  } cases[] = {
      {"100/95 100/95a30 90/95 90/93S4 90/90S4 90/89",
       "100->90 aspect 30: under at 4 s, released at 5 s, 5.0 over, notch 4"},
      {"15/12 0/12S7 0/5E9 0/0E9",
       "15->0 limit display: under at 3 s, released at - s, 12.0 over, notch 9"},
      {"60/70 45/70S7v 45/60S7",
       "60->45 selector: under at - s, released at - s, 25.0 over, notch 7"},
      {"100/95 90/95a30 75/95a25",
       "100->90 aspect 30: under at - s, released at - s, 5.0 over, notch 0, overtaken"},
  };
  auto at = [](const std::optional<Moment>& m) { return m ? fmt::format("{:g}", m->TimeS) : "-"; };
  for (const auto& c : cases) {
    const RunAnalysis analysis = Analyse(c.Frames);
    ASSERT_GE(analysis.Braking.size(), 1U) << c.Frames;
    const BrakingRow& got = analysis.Braking[0];
    EXPECT_EQ(fmt::format("{}->{} {}: under at {} s, released at {} s, {:.1f} over, notch {}{}",
                          got.LimitBeforeKmh, got.LimitAfterKmh, got.Why, at(got.UnderLimit),
                          at(got.Released), got.PeakOverKmh, got.Notch,
                          got.Overtaken ? ", overtaken" : ""),
              c.Expected);
  }
}

}  // namespace
}  // namespace drive
