#include "chart_frames.h"

#include <algorithm>

namespace drive {
namespace {

constexpr size_t MostBuckets = 2048;

// What each pick keeps: the frame with the highest key, the earlier of equals.
using PickKey = double (*)(const FrameRecord&);
constexpr PickKey PickKeys[] = {
    [](const FrameRecord& row) { return -static_cast<double>(row.Frame); },
    [](const FrameRecord& row) { return static_cast<double>(row.Frame); },
    [](const FrameRecord& row) { return -row.SpeedKmh; },
    [](const FrameRecord& row) { return row.SpeedKmh; },
    [](const FrameRecord& row) { return -static_cast<double>(row.Returned.Brake); },
    [](const FrameRecord& row) { return static_cast<double>(row.Returned.Brake); },
    [](const FrameRecord& row) { return row.Cab.BrakeLamp != 0 ? 1.0 : 0.0; },
    [](const FrameRecord& row) { return row.Cab.EmergencyLamp != 0 ? 1.0 : 0.0; },
    [](const FrameRecord& row) { return row.Sounds[0] == SOUND_PLAY ? 1.0 : 0.0; },
    [](const FrameRecord& row) { return row.Sounds[1] == SOUND_PLAY ? 1.0 : 0.0; },
    [](const FrameRecord& row) { return row.Sounds[2] == SOUND_PLAY ? 1.0 : 0.0; }};
static_assert(std::size(PickKeys) == ChartPicks);

}  // namespace

void ChartFrames::Merge(Bucket& into, const Bucket& next) {
  for (size_t k = 0; k < ChartPicks; ++k) {
    if (PickKeys[k](next.Picks[k]) > PickKeys[k](into.Picks[k])) {
      into.Picks[k] = next.Picks[k];
    }
  }
  into.Count += next.Count;
}

void ChartFrames::Add(const FrameRecord& row) {
  Bucket single;
  single.Count = 1;
  single.Picks.fill(row);
  if (!Buckets.empty() && Buckets.back().Count < FramesPerBucket) {
    Merge(Buckets.back(), single);
    return;
  }
  if (Buckets.size() == MostBuckets) {
    for (size_t i = 0; i < MostBuckets / 2; ++i) {
      Buckets[i] = Buckets[2 * i];
      Merge(Buckets[i], Buckets[2 * i + 1]);
    }
    Buckets.resize(MostBuckets / 2);
    FramesPerBucket *= 2;  // so the last bucket is full again
  }
  Buckets.push_back(single);
}

std::vector<FrameRecord> ChartFrames::Frames() const {
  std::vector<FrameRecord> frames;
  for (const Bucket& bucket : Buckets) {
    std::array<FrameRecord, ChartPicks> picks = bucket.Picks;
    std::sort(picks.begin(), picks.end(),
              [](const FrameRecord& a, const FrameRecord& b) { return a.Frame < b.Frame; });
    for (const FrameRecord& pick : picks) {
      if (frames.empty() || frames.back().Frame != pick.Frame) {
        frames.push_back(pick);
      }
    }
  }
  return frames;
}

}  // namespace drive
