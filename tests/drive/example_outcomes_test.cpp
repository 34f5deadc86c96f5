// What each example is there to show, asserted from the physics and the ATC's
// rules: where it brakes, how far over the limit the train gets, where it stops.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "example_run.h"
#include "train_physics.h"

namespace drive {
namespace {

// The frame in which the event with this label fired.
size_t FrameOfEvent(const ExampleRun& run, const std::string& label, int occurrence = 1) {
  for (const FiredEvent& fired : run.Record.Fired) {
    if (run.Setup.Events[fired.EventIndex].Label == label && --occurrence == 0) {
      return static_cast<size_t>(fired.Frame);
    }
  }
  ADD_FAILURE() << "no event labelled " << label;
  return 0;
}

size_t FirstFrame(const ExampleRun& run, size_t from, bool (*test)(const FrameRecord&)) {
  const std::vector<FrameRecord>& frames = run.Record.Frames;
  for (size_t i = from; i < frames.size(); ++i) {
    if (test(frames[i])) {
      return i;
    }
  }
  return frames.size();
}

TEST(ApproachExample, AcceleratingPastTheLimitOvershootsByAtMostTwoFramesOfAcceleration) {
  const ExampleRun& run = RunExample("approach");
  const std::vector<FrameRecord>& frames = run.Record.Frames;
  // Measured over in one frame, braked from the next: the speed can rise for
  // two frames at most, at no more than the train's full-power acceleration.
  const double bound = 2 * run.Setup.Train.AccelerationKmhps * run.Record.FrameS;
  int steadyLimitInterventions = 0;
  for (const InterventionSpan& span : run.Analysis.Interventions) {
    if (span.StartFrame < 2 ||
        frames[span.StartFrame - 2].Cab.LimitKmh != frames[span.StartFrame].Cab.LimitKmh) {
      continue;
    }
    EXPECT_EQ(span.Kind, Intervention::Service);
    EXPECT_LE(span.PeakOverLimitKmh, bound) << "at " << frames[span.StartFrame].TimeS << " s";
    ++steadyLimitInterventions;
  }
  EXPECT_GE(steadyLimitInterventions, 3);
}

TEST(ApproachExample, EveryFallingStepBringsTheServiceBrakeUntilUnderTheNewLimit) {
  const ExampleRun& run = RunExample("approach");
  const std::vector<FrameRecord>& frames = run.Record.Frames;
  for (const char* step : {"75", "45", "25", "15", "0 km/h"}) {
    const size_t signal = FrameOfEvent(run, step);
    // The cycle after the aspect decodes and supervises the new limit; the
    // next one brakes.
    EXPECT_EQ(frames[signal + 1].Acting, Intervention::Service) << step;
    EXPECT_EQ(frames[signal + 1].Returned.Brake, run.AtcBrakeNotch) << step;
    // Braking all the way: the speed never rises until the release.
    size_t i = signal + 1;
    for (; i + 1 < frames.size() && frames[i].Acting == Intervention::Service; ++i) {
      EXPECT_LE(frames[i + 1].SpeedKmh, frames[i].SpeedKmh) << step;
    }
  }
}

TEST(ApproachExample, EndsStoppedUnderTheServiceBrakeAtTheZeroStep) {
  const ExampleRun& run = RunExample("approach");
  ASSERT_EQ(run.Analysis.Stops.size(), 1u);
  EXPECT_EQ(run.Analysis.Stops[0].Under, Intervention::Service);
  const FrameRecord& last = run.Record.Frames.back();
  EXPECT_EQ(last.SpeedKmh, 0.0);
  EXPECT_EQ(last.Cab.LimitKmh, 0);
  EXPECT_EQ(last.Returned.Brake, run.AtcBrakeNotch);
  EXPECT_EQ(run.Analysis.MinSpeedKmh, 0.0);
}

TEST(NoCodeExample, LosingTheCodeStopsTheTrainUnderTheEmergencyBrake) {
  const ExampleRun& run = RunExample("no_code");
  const std::vector<FrameRecord>& frames = run.Record.Frames;
  const size_t lost = FrameOfEvent(run, "code lost");
  // The latch is set by the very cycle that decodes the missing code.
  EXPECT_EQ(frames[lost].Acting, Intervention::Emergency);
  EXPECT_EQ(frames[lost].Returned.Brake, run.Record.EmergencyNotch);
  EXPECT_EQ(frames[lost].Cab.EmergencyLamp, 1);
  ASSERT_EQ(run.Analysis.Stops.size(), 2u);
  for (const StopRecord& stop : run.Analysis.Stops) {
    EXPECT_EQ(stop.Under, Intervention::Emergency);
  }
}

TEST(NoCodeExample, EmergencyBrakeLetsGoOnlyAtTheEmergencyPosition) {
  const ExampleRun& run = RunExample("no_code");
  const std::vector<FrameRecord>& frames = run.Record.Frames;
  for (int stop = 1; stop <= 2; ++stop) {
    const size_t position = FrameOfEvent(run, "emergency position", stop);
    // The driver acts in the frame the train comes to rest, under the brake.
    EXPECT_EQ(frames[position - 1].Acting, Intervention::Emergency) << "stop " << stop;
    EXPECT_EQ(frames[position].SpeedKmh, 0.0) << "stop " << stop;
    EXPECT_EQ(frames[position].Cab.EmergencyLamp, 0) << "stop " << stop;
  }
}

TEST(NoCodeExample, ZeroAspectSetsTheLimitToZeroAndLatchesTheEmergencyBrake) {
  const ExampleRun& run = RunExample("no_code");
  const FrameRecord& row = run.Record.Frames[FrameOfEvent(run, "aspect 36 (0 km/h)")];
  EXPECT_EQ(row.Cab.LimitKmh, 0);
  EXPECT_EQ(row.Acting, Intervention::Emergency);
}

TEST(RollbackExample, RollingBackPastFiveKmhLatchesTheEmergencyBrakeOneFrameLater) {
  const ExampleRun& run = RunExample("rollback");
  const std::vector<FrameRecord>& frames = run.Record.Frames;
  const size_t rolling =
      FirstFrame(run, 0, [](const FrameRecord& row) { return SpeedSeen(row) < -5.0f; });
  ASSERT_LT(rolling + 1, frames.size());
  EXPECT_EQ(frames[rolling].Acting, Intervention::None);
  EXPECT_EQ(frames[rolling + 1].Acting, Intervention::Emergency);
  EXPECT_EQ(frames[rolling + 1].Returned.Brake, run.Record.EmergencyNotch);
  // Gravity on the grade is all that accelerates the train backwards.
  const double pull = -GradientKmhps(35.0) * run.Record.FrameS;
  EXPECT_GT(run.Analysis.MinSpeedKmh, -5.0 - 2 * pull);
}

TEST(RollbackExample, EmergencyBrakeHoldsTheTrainOnTheGradeThenItClimbsAway) {
  const ExampleRun& run = RunExample("rollback");
  ASSERT_EQ(run.Analysis.Stops.size(), 1u);
  EXPECT_EQ(run.Analysis.Stops[0].Under, Intervention::Emergency);
  const std::vector<FrameRecord>& frames = run.Record.Frames;
  const size_t held = run.Analysis.Stops[0].Frame;
  const size_t climb = FrameOfEvent(run, "climb away");
  for (size_t i = held; i < climb; ++i) {
    EXPECT_EQ(frames[i].SpeedKmh, 0.0) << "at " << frames[i].TimeS << " s";
  }
  EXPECT_GT(frames.back().SpeedKmh, 20.0);
  EXPECT_GT(frames.back().PositionM, run.Setup.Start.PositionM);
}

TEST(ModeChangeExample, AtsPositionInAnAtcSectionEnforces25UntilTheSelectorIsUp) {
  const ExampleRun& run = RunExample("mode_change");
  const std::vector<FrameRecord>& frames = run.Record.Frames;
  const size_t boundary = FrameOfEvent(run, "ATC section: 65");
  const size_t up = FrameOfEvent(run, "ATS -> ATC");
  // Before the boundary the ATS position leaves the train alone above 25 km/h.
  for (size_t i = 0; i < boundary; ++i) {
    EXPECT_EQ(frames[i].Cab.ModeAts, 1);
    EXPECT_NE(frames[i].Acting, Intervention::Service) << "at " << frames[i].TimeS << " s";
  }
  EXPECT_GT(frames[boundary - 1].SpeedKmh, 25.0);
  EXPECT_EQ(frames[boundary].Sounds[1], SOUND_PLAY) << "the ATC bell at the boundary";
  EXPECT_EQ(frames[boundary + 1].Acting, Intervention::Service);
  EXPECT_EQ(frames[up].Cab.ModeAtc, 1);
  EXPECT_EQ(frames[up].Cab.LimitKmh, 65);
}

TEST(ModeChangeExample, RestrictionSwitchLimitsTo25AndLeavesTheSectionWithoutEmergency) {
  const ExampleRun& run = RunExample("mode_change");
  const std::vector<FrameRecord>& frames = run.Record.Frames;
  const size_t on = FrameOfEvent(run, "restriction on");
  EXPECT_EQ(frames[on].Cab.LimitKmh, 25);
  EXPECT_EQ(frames[on].Cab.Restrict, 1);
  const size_t exit = FrameOfEvent(run, "section ends");
  EXPECT_EQ(frames[exit].Cab.AtcSignal, 0);
  for (const InterventionSpan& span : run.Analysis.Interventions) {
    EXPECT_NE(span.Kind, Intervention::Emergency);
  }
  const size_t down = FrameOfEvent(run, "ATC -> ATS");
  EXPECT_EQ(frames[down].Cab.ModeAts, 1);
  EXPECT_EQ(frames.back().Cab.ModeAts, 1);
  EXPECT_EQ(frames.back().Cab.AtsRunning, 1);
  EXPECT_GT(frames.back().SpeedKmh, 25.0) << "unsupervised again under ATS";
}

TEST(ResetBeaconExample, BeaconAtStandstillResetsIntoAtcWithTheEmergencyBrake) {
  const ExampleRun& run = RunExample("reset_beacon");
  const std::vector<FrameRecord>& frames = run.Record.Frames;
  const size_t beacon = FrameOfEvent(run, "reset beacon");
  EXPECT_EQ(frames[beacon - 1].Cab.ModeRestricted, 1);
  EXPECT_EQ(frames[beacon].Cab.ModeAtc, 1);
  EXPECT_EQ(frames[beacon].Acting, Intervention::Emergency);
  EXPECT_EQ(frames[beacon].Sounds[1], SOUND_STOP);
  EXPECT_EQ(frames[beacon].Sounds[2], SOUND_STOP);
  const size_t acknowledged = FrameOfEvent(run, "emergency position");
  for (size_t i = beacon; i < acknowledged; ++i) {
    EXPECT_EQ(frames[i].Returned.Brake, run.Record.EmergencyNotch);
  }
}

TEST(ResetBeaconExample, BeaconPassedWhileMovingChangesNothing) {
  const ExampleRun& run = RunExample("reset_beacon");
  const std::vector<FrameRecord>& frames = run.Record.Frames;
  const size_t beacon = FrameOfEvent(run, "reset beacon, moving");
  EXPECT_GT(frames[beacon].SpeedKmh, 0.0);
  for (size_t i = beacon; i < frames.size(); ++i) {
    EXPECT_EQ(frames[i].Acting, Intervention::None);
    EXPECT_EQ(frames[i].Cab.ModeAtc, 1);
    EXPECT_EQ(frames[i].Cab.LimitKmh, 55);
    EXPECT_NE(frames[i].Sounds[1], SOUND_STOP);
  }
}

TEST(CutOutExample, TrainRunsOverTheLimitWhileCutOutAndIsBrakedWhenCutIn) {
  const ExampleRun& run = RunExample("cut_out");
  const std::vector<FrameRecord>& frames = run.Record.Frames;
  const size_t out = FrameOfEvent(run, "cut out");
  const size_t in = FrameOfEvent(run, "cut in");
  double fastest = 0;
  for (size_t i = out; i < in; ++i) {
    EXPECT_EQ(frames[i].Cab.CutOut, 1);
    fastest = std::max(fastest, frames[i].SpeedKmh);
  }
  EXPECT_GT(fastest, 65.0 + 10.0);
  // The first cycle after cutting in votes on the verdicts left from before the
  // cut-out, which were within the limit, and measures the overspeed; the
  // next one brakes.
  EXPECT_EQ(frames[in].Acting, Intervention::None);
  EXPECT_EQ(frames[in].Cab.AtcActive, 1);
  EXPECT_EQ(frames[in + 1].Acting, Intervention::Service);
  EXPECT_EQ(frames[in + 1].Returned.Brake, run.AtcBrakeNotch);
}

TEST(CutOutExample, CuttingOutReleasesTheEmergencyBrakeOfALostCode) {
  const ExampleRun& run = RunExample("cut_out");
  const std::vector<FrameRecord>& frames = run.Record.Frames;
  const size_t lost = FrameOfEvent(run, "code lost");
  const size_t out = FrameOfEvent(run, "cut out", 2);
  EXPECT_EQ(frames[lost].Acting, Intervention::Emergency);
  EXPECT_EQ(frames[out - 1].Acting, Intervention::Emergency);
  EXPECT_EQ(frames[out].Acting, Intervention::None);
  EXPECT_GT(frames.back().SpeedKmh, 0.0) << "runs on without the ATC";
}

TEST(OpenLoopExample, SpeedFollowsTheProfileWhateverTheAtcApplies) {
  const ExampleRun& run = RunExample("open_loop");
  bool braked = false;
  for (const FrameRecord& row : run.Record.Frames) {
    EXPECT_NEAR(row.SpeedKmh, ProfileSpeedAt(run.Setup.Run.SpeedProfile, row.TimeS), 1e-9);
    braked = braked || row.Acting == Intervention::Service;
  }
  EXPECT_TRUE(braked);
  EXPECT_NEAR(run.Analysis.MaxOverLimitKmh, 72.0 - 65.0, 0.01);
}

}  // namespace
}  // namespace drive
