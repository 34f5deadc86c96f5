// The frames the chart draws, whatever the run's length: the frames fall into
// at most a couple of thousand runs of equal length, and of each run the chart
// keeps the first and last frame, those with the lowest and highest speed and
// brake notch, and the first with each cab lamp lit and each sound started, so
// that a lamp lit for one frame or a sound's start is never thinned away.
#pragma once

#include <array>
#include <cstddef>
#include <vector>

#include "run_record.h"

namespace drive {

inline constexpr size_t ChartPicks = 8 + SoundCount;

class ChartFrames {
 public:
  void Add(const FrameRecord& row);
  std::vector<FrameRecord> Frames() const;  // in the order of the run

 private:
  struct Bucket {
    size_t Count = 0;
    std::array<FrameRecord, ChartPicks> Picks;
  };
  static void Merge(Bucket& into, const Bucket& next);
  std::vector<Bucket> Buckets;
  size_t FramesPerBucket = 1;
};

}  // namespace drive
