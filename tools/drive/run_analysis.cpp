#include "run_analysis.h"

#include <algorithm>

namespace drive {
namespace {

// Frames before an intervention that may hold the overspeed that caused it:
// the ATC measures in one frame and brakes in the next.
constexpr size_t LeadFrames = 2;

std::string ReleaseCause(const FrameRecord& after, Intervention kind, int32_t emergencyNotch) {
  if (after.Cab.CutOut) {
    return "cut-out switch";
  }
  if (kind == Intervention::Emergency && after.Driver.Brake == emergencyNotch) {
    return "driver's emergency position";
  }
  if (kind == Intervention::Service && after.SpeedKmh <= after.Cab.LimitKmh) {
    return "speed under the limit";
  }
  return "the ATC";
}

void FindInterventions(const RunRecord& record, RunAnalysis& analysis) {
  const std::vector<FrameRecord>& frames = record.Frames;
  for (size_t i = 0; i < frames.size();) {
    const Intervention kind = frames[i].Acting;
    if (kind == Intervention::None) {
      ++i;
      continue;
    }
    InterventionSpan span;
    span.Kind = kind;
    span.StartFrame = i;
    while (i < frames.size() && frames[i].Acting == kind) {
      ++i;
    }
    span.EndFrame = i;
    span.Released = i < frames.size();
    if (span.Released) {
      span.ReleasedBy =
          frames[i].Acting == Intervention::None
              ? ReleaseCause(frames[i], kind, record.EmergencyNotch)
              : std::string("giving way to the ") + InterventionName(frames[i].Acting);
    }
    const size_t from = span.StartFrame >= LeadFrames ? span.StartFrame - LeadFrames : 0;
    for (size_t f = from; f < span.EndFrame; ++f) {
      span.PeakOverLimitKmh =
          std::max(span.PeakOverLimitKmh, frames[f].SpeedKmh - frames[f].Cab.LimitKmh);
    }
    analysis.Interventions.push_back(span);
  }
}

void AddChange(RunAnalysis& analysis, size_t frame, std::string what, bool brakeLamp = false) {
  analysis.CabChanges.push_back(CabChange{frame, std::move(what), brakeLamp});
}

void CompareLamp(RunAnalysis& analysis, size_t frame, int32_t before, int32_t now, const char* name,
                 bool brakeLamp = false) {
  if (before != now) {
    AddChange(analysis, frame, std::string(name) + (now ? " on" : " off"), brakeLamp);
  }
}

int LitStep(const CabIndication& cab) {
  for (int step = 0; step < 11; ++step) {
    if (cab.StepLamps[step]) {
      return step;
    }
  }
  return -1;
}

void FindCabChanges(const RunRecord& record, RunAnalysis& analysis) {
  CabIndication before;  // a dark panel before the first frame
  for (size_t i = 0; i < record.Frames.size(); ++i) {
    const CabIndication& now = record.Frames[i].Cab;
    if (std::string(ModeName(now)) != ModeName(before)) {
      AddChange(analysis, i, std::string("mode ") + ModeName(now));
    }
    CompareLamp(analysis, i, before.AtcActive, now.AtcActive, "ATC active lamp");
    CompareLamp(analysis, i, before.AtcSignal, now.AtcSignal, "ATC signal lamp");
    CompareLamp(analysis, i, before.Restrict, now.Restrict, "restriction lamp");
    CompareLamp(analysis, i, before.BrakeLamp, now.BrakeLamp, "ATC brake lamp", true);
    CompareLamp(analysis, i, before.EmergencyLamp, now.EmergencyLamp, "emergency lamp");
    CompareLamp(analysis, i, before.CutOut, now.CutOut, "cut-out lamp");
    CompareLamp(analysis, i, before.AtsRunning, now.AtsRunning, "ATS lamp (247)");
    CompareLamp(analysis, i, before.AtsReady, now.AtsReady, "ATS ready lamp (249)");
    const int step = LitStep(now);
    if (step != LitStep(before)) {
      AddChange(analysis, i,
                step < 0 ? std::string("step lamps dark")
                         : std::string("step lamp ") + StepLampName[step]);
    }
    if (now.LimitKmh != before.LimitKmh || i == 0) {
      AddChange(analysis, i, "limit " + std::to_string(now.LimitKmh) + " km/h");
    }
    before = now;
  }
}

}  // namespace

bool Supervised(const CabIndication& cab) {
  return cab.AtcActive && !cab.CutOut && !(cab.ModeAts && !cab.AtcSignal);
}

const char* ModeName(const CabIndication& cab) {
  if (cab.ModeAtc) {
    return "ATC";
  }
  if (cab.ModeAts) {
    return "ATS";
  }
  if (cab.ModeRestricted) {
    return "restricted";
  }
  return "-";
}

const char* InterventionName(Intervention kind) {
  switch (kind) {
    case Intervention::Service:
      return "service brake";
    case Intervention::Emergency:
      return "emergency brake";
    case Intervention::None:
      break;
  }
  return "none";
}

RunAnalysis AnalyseRun(const RunRecord& record) {
  RunAnalysis analysis;
  const std::vector<FrameRecord>& frames = record.Frames;
  FindInterventions(record, analysis);
  FindCabChanges(record, analysis);
  for (size_t i = 0; i < frames.size(); ++i) {
    const FrameRecord& row = frames[i];
    analysis.MaxSpeedKmh = std::max(analysis.MaxSpeedKmh, row.SpeedKmh);
    analysis.MinSpeedKmh = std::min(analysis.MinSpeedKmh, row.SpeedKmh);
    const double over = row.SpeedKmh - row.Cab.LimitKmh;
    if (Supervised(row.Cab) && over > analysis.MaxOverLimitKmh) {
      analysis.MaxOverLimitKmh = over;
      analysis.MaxOverLimitFrame = i;
    }
    if (i > 0 && row.SpeedKmh == 0.0 && frames[i - 1].SpeedKmh != 0.0) {
      analysis.Stops.push_back(StopRecord{i, frames[i - 1].Acting, frames[i - 1].Returned.Brake});
    }
    for (int slot = 0; slot < 3; ++slot) {
      if (row.Sounds[slot] == SOUND_PLAY || row.Sounds[slot] == SOUND_STOP) {
        analysis.Sounds.push_back(SoundCommand{i, slot, row.Sounds[slot]});
      }
    }
  }
  return analysis;
}

}  // namespace drive
