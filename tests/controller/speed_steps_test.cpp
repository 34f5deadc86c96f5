// Decoding of the step flags into the speed step, its limit and its lamp,
// with the caps of the selector and the restriction switch.
#include <algorithm>

#include "atc_fixture.h"

namespace {

struct StepRow {
  const char* name;
  int flag;
  int32_t step;
  double limitKmh;
  double limit120Kmh;  // with the 120 km/h signal option
};

void PrintTo(const StepRow& c, std::ostream* os) {
  *os << c.name;
}

const StepRow StepTable[] = {
    {"Aspect10", 11, 12, 120.0, 120.0},    {"Aspect36", 10, 11, 0.0, 0.0},
    {"Aspect11", 9, 1, 0.0, 0.0},          {"Aspect13", 8, 2, 15.0, 15.0},
    {"Aspect15", 7, 3, 25.0, 25.0},        {"Aspect19", 6, 4, 45.0, 45.0},
    {"Aspect21", 3, 5, 55.0, 55.0},        {"Aspect23", 5, 6, 65.0, 65.0},
    {"Aspect25", 4, 7, 75.0, 75.0},        {"Aspect28", 2, 8, 90.0, 90.0},
    {"Aspect30", 1, 9, 100.0, 100.0},      {"Aspect32", 0, 10, 110.0, 120.0},
    {"NoAspect", NoAspect, 0, 25.0, 25.0},
};

class StepDecoding : public AtcTest, public testing::WithParamInterface<StepRow> {};

TEST_P(StepDecoding, SetsStepLimitAndLampInEveryMode) {
  const StepRow& row = GetParam();
  for (const int32_t mode : {ModeRestricted, ModeAts, ModeAtc}) {
    for (const uint8_t use120 : {0, 1}) {
      for (const uint8_t restrict : {0, 1}) {
        SCOPED_TRACE(testing::Message() << "mode " << mode << ", Use120Signal " << int{use120}
                                        << ", restriction switch " << int{restrict});
        PowerOn(mode);
        atc.Use120Signal = use120;
        atc.RestrictSwitch = restrict;
        Signal(row.flag);
        Cycle(0.0f);

        double limit = use120 ? row.limit120Kmh : row.limitKmh;
        if (mode != ModeAtc) {
          limit = std::min(limit, 25.0);
        }
        if (restrict) {
          limit = 25.0;
        }
        EXPECT_EQ(atc.SpeedStep, row.step);
        EXPECT_EQ(atc.SpeedLimit, limit);
        EXPECT_EQ(atc.RestrictLamp, restrict);
        std::array<uint32_t, SpeedStepCount> lamps{};
        if (mode == ModeAtc) {
          lamps[static_cast<size_t>(row.step)] = 1;
        }
        EXPECT_EQ(atc.StepLamps, lamps);
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Controller, StepDecoding, testing::ValuesIn(StepTable), ParamName{});

}  // namespace
