// Each example in examples/ played against the built plug-in. Every run must
// keep the ATC's rules, read from the frames the host saw, and name the cause
// of each intervention; each example then shows what it is there to show,
// asserted from the physics and the rules. The figures drive writes of the
// same runs are checked against their traces by trace_reader/.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>

#include "follow_driver.h"
#include "host_loop.h"
#include "plugin_library.h"
#include "run_analysis.h"
#include "scenario_parser.h"
#include "train_physics.h"

namespace drive {
namespace {

class DriveExamples : public testing::Test {
 protected:
  // Plays examples/<name>.toml against the built plug-in, then checks the
  // rules every run keeps: every event fires; an overspeed brings the ATC's
  // brake (never weaker than the driver's) and cuts the power in the next
  // frame; the service brake lets go only 0.625 km/h under the limit, the
  // emergency brake only for the emergency position or the cut-out switch; a
  // cut-out ATC passes the driver's handles; the restricted and ATS positions
  // cap the limit at 25 km/h; the interventions have the causes given; the
  // following driver moves a notch at most once a second under one limit.
  void Play(const std::string& name, bool showsOverspeed, const std::vector<Cause>& causes,
            const std::string& folder = KELVRIN_EXAMPLES_DIR);

  Scenario Setup;
  RunRecord Record;
  RunAnalysis Analysis;
  std::vector<FrameRecord> Frames;
};

void DriveExamples::Play(const std::string& name, bool showsOverspeed,
                         const std::vector<Cause>& causes, const std::string& folder) {
  const ParsedScenario parsed = ParseScenarioFile(folder + "/" + name + ".toml");
  ASSERT_TRUE(parsed.Value) << FormatScenarioError(parsed.Error);
  Setup = *parsed.Value;
  // What the scenario's options make the ATC apply; a notch below 1 counts as
  // no notch at all: the default applies.
  const int32_t optionNotch = Setup.Options.AtcBrakeNotch.value_or(0);
  const int32_t atcNotch = optionNotch >= 1 ? optionNotch : Setup.Train.ServiceNotches + 2;
  PluginCopy plugin;
  const PluginLoadResult loaded = LoadPlugin(KELVRIN_LIBRARY, Setup.Options, plugin);
  ASSERT_TRUE(loaded.Ok) << loaded.Error;
  RunAnalyser analyser(Setup, EmergencyNotchOf(Setup.Train));
  Record =
      RunScenario(Setup, plugin.Module->Api(), [&](const FrameRecord& row, const RunRecord& sofar) {
        Frames.push_back(row);
        analyser.Add(row, sofar);
      });
  UnloadPlugin(plugin);
  Analysis = analyser.Finish(Record);
  ASSERT_FALSE(Frames.empty());
  EXPECT_EQ(Analysis.NeverFired, std::vector<size_t>{}) << "events left unfired";
  int overspeeds = 0;
  for (size_t k = 0; k < Frames.size(); ++k) {
    const FrameRecord& row = Frames[k];
    if (k + 1 < Frames.size() && Supervised(row.Cab) && Supervised(Frames[k + 1].Cab) &&
        SpeedSeen(row) > row.Cab.LimitKmh) {
      const Handles& next = Frames[k + 1].Returned;
      // The ATC's service brake: its notch, or the driver's where that is stronger.
      EXPECT_TRUE(next.Brake == std::max(atcNotch, Frames[k + 1].Driver.Brake) ||
                  next.Brake == Record.EmergencyNotch)
          << "over the limit at " << row.TimeS << " s, brake " << next.Brake << " after";
      EXPECT_EQ(next.Power, 0) << "at " << Frames[k + 1].TimeS << " s";
      ++overspeeds;
    }
    if (row.Cab.CutOut) {
      EXPECT_EQ(row.Acting, Intervention::None) << "cut out at " << row.TimeS << " s";
    } else if (row.Cab.ModeRestricted || row.Cab.ModeAts || row.Cab.Restrict) {
      EXPECT_LE(row.Cab.LimitKmh, 25) << "at " << row.TimeS << " s";
    }
  }
  EXPECT_EQ(overspeeds > 0, showsOverspeed) << overspeeds << " frames over the limit";
  std::vector<Cause> seen;
  for (const InterventionSpan& span : Analysis.Interventions) {
    seen.push_back(span.Why);
    if (!span.Released) {
      continue;
    }
    const FrameRecord& after = Frames[span.End.Frame];
    if (span.Kind == Intervention::Emergency) {
      EXPECT_TRUE(after.Driver.Brake == Record.EmergencyNotch || after.Cab.CutOut)
          << "emergency brake let go at " << after.TimeS << " s";
    } else if (span.Start.Frame > 0 && Supervised(after.Cab)) {
      // The lamp goes dark a frame after the release, which the pass before
      // granted on the speed of the frame before it.
      const FrameRecord& measured = Frames[span.End.Frame - 2];
      EXPECT_LE(SpeedSeen(measured), measured.Cab.LimitKmh - 0.625)
          << "service brake let go at " << after.TimeS << " s";
      EXPECT_STREQ(span.ReleasedBy,
                   span.Why == Cause::StartOfRun ? "the first permit" : "speed under the limit")
          << "at " << after.TimeS << " s";
    }
  }
  EXPECT_EQ(seen, causes);
  // A person moves a handle a notch at a time, not in every frame.
  for (size_t last = 0, k = 1; Setup.Driver.Style == DriverStyle::Follow && k < Frames.size();
       ++k) {
    const DriverHandles &now = Frames[k].Driver, &before = Frames[k - 1].Driver;
    if (now.Power == before.Power && now.Brake == before.Brake) {
      continue;
    }
    EXPECT_TRUE(last == 0 || Frames[k].TimeS - Frames[last].TimeS > NotchHoldS - 1e-9 ||
                Frames[k - 1].Cab.LimitKmh != Frames[last - 1].Cab.LimitKmh)
        << "notch moved at " << Frames[last].TimeS << " s and " << Frames[k].TimeS << " s";
    last = k;
  }
}

constexpr Cause Start = Cause::StartOfRun;
constexpr Cause Over = Cause::Overspeed;

// What each example is there to show, in its causes; each falling step of the
// approach brakes the train in the cycle after the one that decodes it. A
// driver already at the emergency notch sees the start's brake only in the lamp.
TEST_F(DriveExamples, EachExampleKeepsTheRulesAndShowsItsCauses) {
  const struct {
    const char* Name;
    bool ShowsOverspeed;
    std::vector<Cause> Causes;
  } examples[] = {
      {"approach", true, {Start, Over, Over, Over, Over, Over, Over, Over, Over}},
      {"mode_change", true, {Over, Cause::RestrictionSwitch}},
      {"reset_beacon", false, {Start, Cause::ResetBeacon}},
      {"cut_out", true, {Start, Over, Over, Over, Over, Over, Cause::NoCode}},
  };
  for (const auto& example : examples) {
    SCOPED_TRACE(example.Name);
    Frames.clear();
    ASSERT_NO_FATAL_FAILURE(Play(example.Name, example.ShowsOverspeed, example.Causes));
  }
}

// A driver braking harder than the ATC (B7 against ATCBrakeNotch=6) through
// falling codes, the trace reader's own scenario: the brake handed back is the
// driver's stronger one, and only the ATC's lamp shows that it brakes too.
TEST_F(DriveExamples, TheAtcNeverWeakensTheDriversStrongerBrake) {
  ASSERT_NO_FATAL_FAILURE(Play("driver_brakes_harder", true, {Start, Over, Over, Over, Over},
                               DRIVE_TEST_READER_SCENARIOS));
  EXPECT_TRUE(std::any_of(Frames.begin(), Frames.end(), [](const FrameRecord& row) {
    return row.Cab.BrakeLamp && row.Returned.Brake == row.Driver.Brake && row.Driver.Brake == 7;
  }));
}

// Over the limit only while a lower one is new, and never on the emergency notch.
TEST_F(DriveExamples, TheFollowingDriverKeepsUnderTheLimitWithTheServiceBrake) {
  std::vector<Cause> causes(1 + 4 * 12, Over);  // four falling codes, twelve times over
  causes[0] = Start;
  ASSERT_NO_FATAL_FAILURE(Play("follow_limit", true, causes));
  int32_t limit = -1;
  double shownS = 0.0;
  for (const FrameRecord& row : Frames) {
    EXPECT_LT(row.Driver.Brake, Record.EmergencyNotch) << "at " << row.TimeS << " s";
    std::tie(limit, shownS) = row.Cab.LimitKmh == limit ? std::pair(limit, shownS)
                                                        : std::pair(row.Cab.LimitKmh, row.TimeS);
    EXPECT_TRUE(row.TimeS < shownS + 30.0 || SpeedSeen(row) <= std::max(limit - 1.0, 0.0))
        << "at " << row.TimeS << " s, limit " << limit;
  }
}

TEST_F(DriveExamples, NoCodeAndZeroAspectStopUnderTheEmergencyBrakeUntilTheEmergencyPosition) {
  ASSERT_NO_FATAL_FAILURE(Play("no_code", true, {Start, Cause::NoCode, Cause::StopCode}));
  // The latch is set by the very cycle that decodes the missing code.
  const auto lost = std::find_if(Record.Fired.begin(), Record.Fired.end(), [&](const auto& fired) {
    return Setup.Events[fired.EventIndex].Label == "code lost";
  });
  ASSERT_NE(lost, Record.Fired.end());
  const FrameRecord& lostFrame = Frames[static_cast<size_t>(lost->Frame)];
  EXPECT_EQ(lostFrame.Returned.Brake, Record.EmergencyNotch);
  EXPECT_EQ(lostFrame.Cab.EmergencyLamp, 1);
  ASSERT_EQ(Analysis.Stops.size(), 2U);
  for (const StopRecord& stop : Analysis.Stops) {
    EXPECT_EQ(stop.Under, Intervention::Emergency) << "at " << stop.At.TimeS << " s";
  }
}

TEST_F(DriveExamples, RollbackPastFiveKmhLatchesTheEmergencyBrakeWhichHoldsTheTrainOnTheGrade) {
  ASSERT_NO_FATAL_FAILURE(Play("rollback", false, {Start, Cause::Rollback}));
  // Gravity on the grade is all that accelerates the train backwards: the
  // brake comes in the second frame past 5 km/h at the latest.
  EXPECT_GT(Analysis.MinSpeedKmh, -5.0 + 2 * GradientKmhps(35.0) * Record.FrameS);
  ASSERT_EQ(Analysis.Stops.size(), 1U);
  EXPECT_EQ(Analysis.Stops[0].Under, Intervention::Emergency);
  EXPECT_GT(Frames.back().SpeedKmh, 20.0);
}

TEST_F(DriveExamples, OpenLoopSpeedFollowsTheProfileWhateverTheAtcApplies) {
  ASSERT_NO_FATAL_FAILURE(Play("open_loop", true, {Start, Over}));
  for (const FrameRecord& row : Frames) {
    EXPECT_NEAR(row.SpeedKmh, ProfileSpeedAt(Setup.Run.SpeedProfile, row.TimeS), 1e-9);
  }
  EXPECT_NEAR(Analysis.MaxOverLimitKmh, 72.0 - 65.0, 0.01);
}

}  // namespace
}  // namespace drive
