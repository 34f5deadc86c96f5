// The braking report in the terminal and the summary: how the ATC brought the
// train under each lower limit, set beside set under --compare.
#include <fmt/format.h>

#include <algorithm>

#include "reports.h"
#include "run_analysis.h"

namespace drive {

namespace {

// The braking report's figures of one drop in one set, the limit first.
constexpr const char* DropColumns = "{:>10} {:>8} {:>10} {:>6} {:>10}  {:>18} {:>9}  {:<5} {:>20}";

// From the drop to a later moment: "  179.8 m   7.20 s".
std::string FromDrop(const BrakingRow& drop, const Moment& to) {
  return fmt::format("{:7.1f} m {:6.2f} s", to.PositionM - drop.At.PositionM,
                     to.TimeS - drop.At.TimeS);
}

std::string DropFigures(const BrakingRow& drop, int32_t emergencyNotch) {
  const char* const outcome[] = {"", "none", "held: limit changed", "still applied at end"};
  return fmt::format(
      fmt::runtime(DropColumns),
      fmt::format("{:>4}->{:<4}", drop.LimitBeforeKmh, drop.LimitAfterKmh),
      fmt::format("{:.2f}", drop.At.TimeS), fmt::format("{:.1f}", drop.At.PositionM),
      fmt::format("{:.1f}", drop.At.SpeedKmh),
      fmt::format("{:.2f}", drop.InForceToS - drop.At.TimeS),
      drop.UnderLimit ? FromDrop(drop, *drop.UnderLimit) : "never",
      fmt::format("{:.1f}", drop.PeakOverKmh),
      drop.Span != 0 ? NotchName(drop.Notch, emergencyNotch) : "-",
      drop.Released ? FromDrop(drop, *drop.Released) : outcome[static_cast<int>(drop.Outcome)]);
}

}  // namespace

// Drops are matched across sets by their order: the same scenario lowers the
// limit in the same order whatever the options, only the braking differs.
// Every figure of a row is its own set's.
void WriteBrakingReport(std::ostream& out, RunSets sets) {
  const std::string heads =
      fmt::format(fmt::runtime(DropColumns), "limit", "time s", "position m", "km/h", "in force s",
                  "to under", "over km/h", "notch", "to release");
  size_t drops = 0;
  for (const RunContext& set : sets) {
    drops = std::max(drops, set.Analysis.Braking.size());
  }
  // A long run can drop the limit a hundred thousand times: braking.csv keeps
  // every drop, the terminal the first ones.
  const size_t rows = std::min(drops, ListLinesShown);
  const std::string more =
      drops > rows ? fmt::format("  ... {} more in braking.csv\n", drops - rows) : "";
  if (sets.size() == 1) {
    const RunContext& run = sets.front();
    out << "    #" << heads << "  why\n";
    for (size_t row = 0; row < rows; ++row) {
      const BrakingRow& drop = run.Analysis.Braking[row];
      out << fmt::format("  {:>3}{}  {}\n", row + 1, DropFigures(drop, run.Record.EmergencyNotch),
                         drop.Why);
    }
    out << more;
    return;
  }
  out << "Sets compared, each with its own figures:\n";
  for (size_t k = 0; k < sets.size(); ++k) {
    const RunAnalysis& analysis = sets[k].Analysis;
    out << fmt::format(
        "  set {}  {}: interventions {}, drops {}, run {:.2f} s to {:.1f} m, top "
        "speed {:.1f} km/h\n",
        k + 1, sets[k].Name, analysis.InterventionCount, analysis.Braking.size(),
        analysis.Last.TimeS, analysis.Last.PositionM, analysis.MaxSpeedKmh);
  }
  if (rows == 0) {
    out << "No drop of the limit in any set.\n";
    return;
  }
  out << "\nBraking: one row per set under each drop of the limit\n        " << heads << "\n";
  for (size_t row = 0; row < rows; ++row) {
    std::string why;
    for (const RunContext& set : sets) {
      why = why.empty() && row < set.Analysis.Braking.size() ? set.Analysis.Braking[row].Why : why;
    }
    out << fmt::format("drop {}: {}\n", row + 1, why);
    for (size_t k = 0; k < sets.size(); ++k) {
      const RunContext& run = sets[k];
      out << fmt::format("  set {:<2}", k + 1);
      if (row >= run.Analysis.Braking.size()) {
        out << "  no such drop\n";
        continue;
      }
      const BrakingRow& drop = run.Analysis.Braking[row];
      out << DropFigures(drop, run.Record.EmergencyNotch)
          << (drop.Why != why ? "  " + drop.Why : std::string()) << "\n";
    }
  }
  out << more;
}

}  // namespace drive
