// The braking report's rows, read off synthetic frames one second apart, the cab in ATC; an aspect
// or a key fires just before its frame.
#include <gtest/gtest.h>

#include "run_analysis.h"

namespace drive {
namespace {

struct Frame {
  int32_t LimitKmh;
  double SpeedKmh;
  Intervention Acting = Intervention::None;
  int32_t Brake = 0, Aspect = -1, Key = -1;
};
struct Row {
  int32_t Before, After;
  std::string Why;
  int UnderAt, ReleasedAt;  // frame numbers, -1 for never
  double PeakOver;
  int32_t Notch;
  bool operator==(const Row&) const = default;
  friend void PrintTo(const Row& r, std::ostream* out) {
    *out << r.Before << "->" << r.After << " " << r.Why << " under " << r.UnderAt << " released "
         << r.ReleasedAt << " peak " << r.PeakOver << " notch " << r.Notch;
  }
};

TEST(RunAnalysis, BrakingRowFollowsEachDropOfTheLimitUntilUnderAndReleased) {
  constexpr auto S = Intervention::Service, E = Intervention::Emergency, N = Intervention::None;
  const struct {
    std::vector<Frame> Frames;
    Row Expected;
  } cases[] = {
      {{{100, 95}, {100, 95, N, 0, 30}, {90, 95}, {90, 93, S, 4}, {90, 90, S, 4}, {90, 89}},
       {100, 90, "aspect 30", 4, 5, 5.0, 4}},
      {{{15, 12}, {0, 12, S, 7}, {0, 5, E, 9}, {0, 0, E, 9}},
       {15, 0, "limit display", 3, -1, 12, 9}},
      {{{60, 70}, {45, 70, S, 7, -1, KeyModeDown}, {45, 60, S, 7}},
       {60, 45, "selector", -1, -1, 25, 7}},
  };
  for (const auto& c : cases) {
    Scenario setup;
    RunRecord record;
    RunAnalyser analyser(setup, 9);
    for (size_t i = 0; i < c.Frames.size(); ++i) {
      const Frame& f = c.Frames[i];
      FrameRecord row;
      row.TimeS = double(i);
      row.SpeedKmh = f.SpeedKmh;
      row.Acting = f.Acting;
      row.Returned.Brake = f.Brake;
      row.Cab.ModeAtc = row.Cab.AtcActive = 1;
      row.Cab.LimitKmh = f.LimitKmh;
      if (f.Aspect >= 0 || f.Key >= 0) {
        EventActions& fired = setup.Events.emplace_back().Actions;
        fired.Signal = f.Aspect >= 0 ? std::optional<int32_t>(f.Aspect) : std::nullopt;
        fired.Keys.assign(f.Key >= 0 ? 1 : 0, KeyPress{f.Key, ""});
        row.FirstFiredEvent = record.Fired.size();
        row.FiredEventCount = 1;
        record.Fired.emplace_back().EventIndex = setup.Events.size() - 1;
      }
      analyser.Add(row, record);
    }
    const RunAnalysis analysis = analyser.Finish(record);
    ASSERT_EQ(analysis.Braking.size(), 1u) << c.Expected.Why;
    const BrakingRow& got = analysis.Braking[0];
    auto at = [](const std::optional<Moment>& m) { return m ? int(m->TimeS) : -1; };
    EXPECT_EQ((Row{got.LimitBeforeKmh, got.LimitAfterKmh, got.Why, at(got.UnderLimit),
                   at(got.Released), got.PeakOverKmh, got.Notch}),
              c.Expected)
        << c.Expected.Why;
  }
}

}  // namespace
}  // namespace drive
