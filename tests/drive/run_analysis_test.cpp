// What the analysis reads off synthetic frames one second apart, the cab in ATC inside an ATC
// section (the 0 km/h step lamp lit at a 0 km/h limit); an aspect, a key or a beacon fires just
// before its frame. The train's emergency notch is 9.
#include <gtest/gtest.h>

#include <charconv>
#include <map>
#include <sstream>

#include "run_analysis.h"

namespace drive {
namespace {

// One frame a word: "limit/speed", then any of S<notch> (the ATC's service brake handed back:
// the brake notch returned), E<notch> (its emergency brake: the notch returned, the emergency
// lamp lit), l (the ATC brake lamp lit), a<aspect>, v (the selector pressed down), b<parameter>
// (a type-600 beacon), d<notch> (the driver's brake; 1 if not given), c (the chime), o (outside
// an ATC section), r (the selector at restricted), g<per mille>, and *<count> to repeat the
// frame: "45/46S7" is 46 km/h at a 45 km/h limit with the ATC handing back B7.
struct Frame {
  double Limit = 0, Speed = 0, Service = 0, Emergency = 0, Lamp = 0, Aspect = -1, Selector = 0;
  double Beacon = -1, DriverBrake = 1, Chime = 0, Outside = 0, Restricted = 0, Gradient = 0;
  double Repeat = 1;
};

RunAnalysis Analyse(const std::string& frames) {
  static const std::map<char, double Frame::*> flags = {
      {'S', &Frame::Service},     {'E', &Frame::Emergency}, {'l', &Frame::Lamp},
      {'a', &Frame::Aspect},      {'v', &Frame::Selector},  {'b', &Frame::Beacon},
      {'d', &Frame::DriverBrake}, {'c', &Frame::Chime},     {'o', &Frame::Outside},
      {'r', &Frame::Restricted},  {'g', &Frame::Gradient},  {'*', &Frame::Repeat}};
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
    row.Driver.Brake = i(f.DriverBrake);
    row.Returned.Brake =
        f.Service + f.Emergency > 0 ? i(f.Service + f.Emergency) : row.Driver.Brake;
    row.Cab.BrakeLamp = f.Lamp > 0;
    row.Cab.EmergencyLamp = f.Emergency > 0;
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
    row.Acting = ClassifyIntervention(row.Driver, row.Returned, row.Cab, 9);
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
// finds the train over the limit, which must agree with the causes. An
// intervention lasts while the handles differ from the driver's or a lamp is
// lit, and its cause says what it became.
TEST(RunAnalysis, CausesAndWarningsFitWhatHappened) {
  constexpr Cause Over = Cause::Overspeed;
  const struct {
    const char* Frames;
    std::vector<Cause> Causes;
    std::string Says{};    // in a warning or the chime note; empty: none of either
    std::string Became{};  // in the interventions' causes
  } cases[] = {
      {"45/46 45/46S7 45/44 45/46 45/45S7 45/44 45/46 45/45S7 45/44", {Over, Over, Over}},
      // The brake lamp goes dark a frame after the brake is let go: still the same one.
      {"45/46 45/46S7 45/44S7l 45/44l 45/44", {Over}, "", "1.00 over\n"},
      {"45/46d7 45/46d7 45/45d7l 45/44d7l 45/44d7",
       {Over},
       "",
       "1.00 over; ATC service brake, the driver's B7 at least as strong"},
      {"25/30 0/30a11 0/25S6 0/20d7S7l 0/10d7l 0/0d7l 0/0d7l",
       {Over},
       "",
       "then ATC service brake, the driver's B7 stronger; then holding the train at rest at the "
       "0 km/h code (aspect 11)"},
      {"15/3 0/0.17a36 0/0.17 0/0S10", {Cause::HeldAtRest}, "", "by the stop code (aspect 36)"},
      {"15/3 0/2a36 0/2S10 0/0S10", {Over}},
      {"55/54 55/56 55/57S2g-35 55/58S2g-35 55/59S2g-35 55/60S2g-35 55/61S2 55/60S2",
       {Over},
       "intervention 1: the ATC's service brake (B2) cannot hold the train: 57.0 to 61.0 km/h in "
       "4.0 s on a gradient of -35 per mille"},
      {"55/54 55/56 55/57S2 55/58S2 55/59S2 55/58S2", {Over}},
      {"25/0 25/0v", {}, "the cab: selector down at 1.00 s, 0.0 m refused: inside an ATC section"},
      {"25/0d0o 25/0d0ov", {}, "refused: the brake was released"},
      {"25/0o 25/0ovr", {}},
      {"25/0b2", {}, "beacon type 600 with parameter 2 never resets the ATC"},
      {"25/0.033 25/0b1", {}, "reset beacon ignored: the train was moving (0.033 km/h"},
      {"0/0d9c*12",
       {},
       "the driver holds the emergency notch while the ATC's emergency trigger holds"},
      {"0/0d9c*9", {}},
  };
  for (const auto& c : cases) {
    const RunAnalysis analysis = Analyse(c.Frames);
    std::vector<Cause> causes;
    std::string causeText;
    bool over = false;
    for (const InterventionSpan& span : analysis.Interventions) {
      causes.push_back(span.Why);
      causeText += std::string(span.CauseText) + "\n";
      over = over || span.Why == Over;
    }
    std::string says = analysis.ChimeNote;
    for (const std::string& warning : analysis.Warnings) {
      says += warning + "\n";
    }
    SCOPED_TRACE(testing::Message() << c.Frames << "\n" << says << causeText);
    EXPECT_EQ(causes, c.Causes);
    EXPECT_EQ(analysis.MaxOverLimitKmh > 0, over);
    EXPECT_TRUE(c.Says.empty() ? says.empty() : says.find(c.Says) != std::string::npos);
    EXPECT_NE(causeText.find(c.Became), std::string::npos);
  }
}

// What brought each limit down, which braking.csv gives as its why; the
// figures of each drop are recomputed from the trace by trace_reader/.
TEST(RunAnalysis, EachDropNamesWhatBroughtItDown) {
  const struct {
    const char* Frames;
    std::vector<std::string> Why;
  } cases[] = {
      {"100/95 100/95a30 90/95 75/93a25 75/92 55/90S4",
       {"aspect 30", "aspect 25", "limit display"}},
      {"60/70 45/70S7v 45/60S7", {"selector"}},
  };
  for (const auto& c : cases) {
    std::vector<std::string> why;
    for (const BrakingRow& drop : Analyse(c.Frames).Braking) {
      why.push_back(drop.Why);
    }
    EXPECT_EQ(why, c.Why) << c.Frames;
  }
}

}  // namespace
}  // namespace drive
