// Rules that every example run must keep, read from the frames the host saw:
// an overspeed brings the ATC's brake in the next frame, the service brake lets
// go only 0.625 km/h under the limit, the emergency brake only for the
// emergency position or the cut-out switch, and a cut-out ATC changes nothing.
#include <gtest/gtest.h>

#include "example_run.h"

namespace drive {
namespace {

constexpr double HysteresisKmh = 0.625;

class EveryExample : public testing::TestWithParam<const char*> {
 protected:
  const ExampleRun& Run() { return RunExample(GetParam()); }
};

TEST_P(EveryExample, RunsToItsEndWithEveryEventFired) {
  const ExampleRun& run = Run();
  ASSERT_FALSE(run.Record.Frames.empty());
  EXPECT_EQ(run.Record.PluginVersion, 0x20000);
  EXPECT_EQ(run.Record.Fired.size(), run.Setup.Events.size());
}

TEST_P(EveryExample, OverspeedBringsTheAtcBrakeInTheNextFrame) {
  const ExampleRun& run = Run();
  const std::vector<FrameRecord>& frames = run.Record.Frames;
  int checked = 0;
  for (size_t k = 0; k + 1 < frames.size(); ++k) {
    if (!Supervised(frames[k].Cab) || !Supervised(frames[k + 1].Cab) ||
        SpeedSeen(frames[k]) <= frames[k].Cab.LimitKmh) {
      continue;
    }
    const Handles& next = frames[k + 1].Returned;
    EXPECT_TRUE(next.Brake == run.AtcBrakeNotch || next.Brake == run.Record.EmergencyNotch)
        << "over the limit at " << frames[k].TimeS << " s, brake " << next.Brake << " after";
    EXPECT_EQ(next.Power, 0) << "at " << frames[k + 1].TimeS << " s";
    ++checked;
  }
  if (std::string(GetParam()) == "rollback" || std::string(GetParam()) == "reset_beacon") {
    EXPECT_EQ(checked, 0) << "these runs stay under the limit";
  } else {
    EXPECT_GT(checked, 0) << "the example shows no overspeed";
  }
}

TEST_P(EveryExample, ServiceBrakeLetsGoOnlyUnderTheLimitLessTheMargin) {
  const ExampleRun& run = Run();
  const std::vector<FrameRecord>& frames = run.Record.Frames;
  for (const InterventionSpan& span : run.Analysis.Interventions) {
    if (span.Kind != Intervention::Service || !span.Released || span.StartFrame == 0 ||
        frames[span.EndFrame].Acting != Intervention::None ||
        !Supervised(frames[span.EndFrame].Cab)) {
      continue;
    }
    // The pass that granted the release measured the speed of the frame before.
    const FrameRecord& measured = frames[span.EndFrame - 1];
    EXPECT_LE(SpeedSeen(measured), measured.Cab.LimitKmh - HysteresisKmh)
        << "released at " << frames[span.EndFrame].TimeS << " s";
  }
}

TEST_P(EveryExample, EmergencyBrakeHoldsUntilTheEmergencyPositionOrTheCutOut) {
  const ExampleRun& run = Run();
  const std::vector<FrameRecord>& frames = run.Record.Frames;
  for (const InterventionSpan& span : run.Analysis.Interventions) {
    if (span.Kind != Intervention::Emergency || !span.Released) {
      continue;
    }
    const FrameRecord& after = frames[span.EndFrame];
    EXPECT_TRUE(after.Driver.Brake == run.Record.EmergencyNotch || after.Cab.CutOut)
        << "emergency brake let go at " << after.TimeS << " s";
  }
}

TEST_P(EveryExample, CutOutAtcPassesTheDriversHandles) {
  const ExampleRun& run = Run();
  for (const FrameRecord& row : run.Record.Frames) {
    if (!row.Cab.CutOut) {
      continue;
    }
    EXPECT_EQ(row.Returned.Brake, row.Driver.Brake) << "at " << row.TimeS << " s";
    EXPECT_EQ(row.Returned.Power, row.Driver.Power) << "at " << row.TimeS << " s";
    EXPECT_EQ(row.Returned.Reverser, row.Driver.Reverser) << "at " << row.TimeS << " s";
    EXPECT_EQ(row.Returned.AuxiliaryCommand, 2);
    EXPECT_EQ(row.Cab.AtcActive, 0);
  }
}

TEST_P(EveryExample, RestrictedAndAtsPositionsCapTheLimitAt25) {
  const ExampleRun& run = Run();
  for (const FrameRecord& row : run.Record.Frames) {
    if ((row.Cab.ModeRestricted || row.Cab.ModeAts || row.Cab.Restrict) && !row.Cab.CutOut) {
      EXPECT_LE(row.Cab.LimitKmh, 25) << "at " << row.TimeS << " s";
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Examples, EveryExample,
                         testing::Values("approach", "no_code", "rollback", "mode_change",
                                         "reset_beacon", "cut_out", "open_loop"));

}  // namespace
}  // namespace drive
