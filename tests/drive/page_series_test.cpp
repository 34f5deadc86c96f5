// A run longer than a page holds whole keeps, at every level, each bucket's
// lowest and highest values: a peak, a lamp lit or a sound started in a single
// frame is never lost, and the points stay bounded and in the run's order:
// alone on a page, and as one of eight compared sets sharing a page's worth.
#include <gtest/gtest.h>

#include <algorithm>

#include "report_page.h"

namespace drive {
namespace {

TEST(PageSeries, ALongRunKeepsEveryOneFramePeakLampAndSoundStartAtEveryLevel) {
  constexpr size_t Frames = 1'000'000;
  constexpr size_t PeakAt = 512'345, BrakeLampAt = 700'001, ChimeAt = 333'333;
  constexpr size_t BrakeLamp = 8, Chime = 10;  // the page's columns
  for (const size_t sets : {1, 8}) {
    SCOPED_TRACE(sets);
    PageSeries series(Frames, sets);
    for (size_t frame = 0; frame < Frames; ++frame) {
      FrameRecord row;
      row.Frame = static_cast<int64_t>(frame);
      row.TimeS = static_cast<double>(frame) / 60;
      row.SpeedKmh = frame == PeakAt ? 99.5 : 50.0 + static_cast<double>(frame % 7);
      row.Cab.BrakeLamp = frame == BrakeLampAt ? 1 : 0;
      row.Sounds[0] = frame == ChimeAt ? SOUND_PLAY : SOUND_CONTINUE;
      series.Add(row);
    }
    const std::vector<PageLevel>& levels = series.Levels();
    ASSERT_GE(levels.size(), 2U);
    for (const PageLevel& level : levels) {
      SCOPED_TRACE(level.FramesPerBucket);
      const std::vector<PagePoint>& points = level.Points;
      EXPECT_GT(level.FramesPerBucket, 1U);
      EXPECT_EQ(points.size(), 2 * ((Frames + level.FramesPerBucket - 1) / level.FramesPerBucket));
      EXPECT_LE(points.size(), PageFramesWhole / sets);
      EXPECT_TRUE(std::is_sorted(points.begin(), points.end(),
                                 [](const auto& a, const auto& b) { return a.TimeS < b.TimeS; }));
      EXPECT_EQ(points.back().TimeS, static_cast<double>(Frames - 1) / 60);
      const auto bucket = [&](size_t frame) { return 2 * (frame / level.FramesPerBucket); };
      EXPECT_EQ(points[bucket(PeakAt) + 1].SpeedKmh, 99.5);
      EXPECT_EQ(points[bucket(BrakeLampAt) + 1].Ints[BrakeLamp], 1);
      EXPECT_EQ(points[bucket(ChimeAt) + 1].Ints[Chime], 1);
      EXPECT_EQ(std::count_if(points.begin(), points.end(),
                              [](const PagePoint& p) { return p.Ints[BrakeLamp] != 0; }),
                1);
    }
  }
}

}  // namespace
}  // namespace drive
