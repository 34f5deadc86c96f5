// report.html: one self-contained page per run (and per comparison) that a
// browser opens offline. The page's script draws the run from the data this
// writes into it: the frames, or for a long run min/max points at a few zoom
// levels, and the run's tables.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <vector>

#include "reports.h"
#include "run_record.h"

namespace drive {

// A run of up to this many frames goes into the page whole: an hour at 60 Hz,
// the frame at 0 s included.
inline constexpr size_t PageFramesWhole = 3600 * 60 + 1;

// One point of the page's data: a frame, or, in a level of a longer run, the
// first (lowest values) or last (highest values) point of a bucket of frames.
struct PagePoint {
  double TimeS = 0.0;
  double PositionM = 0.0;
  double SpeedKmh = 0.0;
  double GradientPermille = 0.0;
  // In the order of PageIntColumns: limit, handles, intervention, mode, lamps, sound starts.
  int32_t Ints[13] = {};
};

struct PageLevel {
  size_t FramesPerBucket = 1;  // 1: every frame, one point each; else two points a bucket
  std::vector<PagePoint> Points;
};

// Takes a run's frames as they come and keeps what the page draws: every
// frame of a run expected to be short enough, else per level a bucket's
// lowest and highest value of every series, so that no peak, lamp lit or
// sound started is lost at any zoom. The sets of a comparison share one
// page's worth, so that eight sets take no more memory or page than one.
class PageSeries {
 public:
  PageSeries(size_t framesExpected, size_t setsOnPage);
  void Add(const FrameRecord& row);
  const std::vector<PageLevel>& Levels() const { return Kept; }

 private:
  std::vector<PageLevel> Kept;  // finest first
  std::vector<size_t> InBucket;
  size_t FramesWhole;
};

// Writes the page for one run, or for the sets of a comparison side by side.
void WriteReportPage(std::ostream& out, RunSets sets, ChartAxis axis, const ChartWindow& window);

}  // namespace drive
