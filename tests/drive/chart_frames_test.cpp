// However long the run, the chart keeps a bounded choice of frames, and a lamp
// lit or a sound started in a single frame is never thinned away.
#include <gtest/gtest.h>

#include <algorithm>

#include "chart_frames.h"

namespace drive {
namespace {

TEST(ChartFrames, ALongRunStaysBoundedAndKeepsEveryOneFrameLampAndSoundStart) {
  constexpr int64_t Frames = 1'000'000;  // enough to halve the buckets nine times
  constexpr int64_t BrakeLampAt = 700'001, EmergencyLampAt = 12'345, ChimeAt = 333'333;
  ChartFrames chart;
  for (int64_t frame = 0; frame < Frames; ++frame) {
    FrameRecord row;
    row.Frame = frame;
    row.TimeS = static_cast<double>(frame) / 60;
    row.SpeedKmh = 50.0 + static_cast<double>(frame % 7);
    row.Cab.BrakeLamp = frame == BrakeLampAt ? 1 : 0;
    row.Cab.EmergencyLamp = frame == EmergencyLampAt ? 1 : 0;
    row.Sounds[0] = frame == ChimeAt ? SOUND_PLAY : SOUND_CONTINUE;
    chart.Add(row);
  }
  const std::vector<FrameRecord> kept = chart.Frames();
  EXPECT_LE(kept.size(), 2048 * ChartPicks);
  EXPECT_EQ(kept.front().Frame, 0);
  EXPECT_EQ(kept.back().Frame, Frames - 1);
  EXPECT_TRUE(std::is_sorted(kept.begin(), kept.end(),
                             [](const auto& a, const auto& b) { return a.Frame < b.Frame; }));
  for (const int64_t lit : {BrakeLampAt, EmergencyLampAt, ChimeAt}) {
    EXPECT_TRUE(
        std::any_of(kept.begin(), kept.end(), [&](const auto& row) { return row.Frame == lit; }))
        << "frame " << lit;
  }
}

}  // namespace
}  // namespace drive
