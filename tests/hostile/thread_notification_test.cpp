// A thread that starts or ends while the library is loaded makes the loader
// notify the module on that thread, at any moment, also while the host starts
// a run. Such a notification must not race the run's start: not over the
// options file's path, not over the options, not over the controller. Built
// under ThreadSanitizer (the `tsan` preset) any such race fails the test;
// elsewhere it checks that nothing is lost or half written.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "../exports_by_address.h"
#include "module_records.h"
#include "platform.h"

namespace {

TEST(ThreadNotification, AttachDuringInitializeLeavesPathAndOptionsIntact) {
  const std::string iniPath =
      (std::filesystem::temp_directory_path() / "kelvrin_threads_KELVRIN.ini").string();
  std::ofstream(iniPath) << "[Settings]\nUse120Signal=1\nUseATS=1\nATCBrakeNotch=7\n";
  Module = ModuleRecords{};
  AttachModule(&Module, false);
  std::memcpy(Module.IniPath, iniPath.c_str(), iniPath.size() + 1);
  const VehicleSpec spec{8};
  SetVehicleSpec(&spec);

  std::atomic<bool> stop{false};
  std::atomic<long> notifications{0};
  const auto notify = [&] {
    while (!stop) {
      AttachModule(&Module, false);
      ++notifications;
    }
  };
  std::thread first(notify), second(notify);
  while (notifications < 100) {
    std::this_thread::yield();
  }
  VehicleState state{};
  int32_t panel[256] = {};
  int32_t sound[128] = {};
  for (int run = 0; run < 300; ++run) {
    Initialize(0);
    EXPECT_EQ(Module.Controller.Use120Signal + Module.Controller.UseAts, 2);
    EXPECT_EQ(Module.AtcBrakeNotch, 7);
    state.Speed = static_cast<float>(run % 40);
    Elapse(&state, panel, sound);
  }
  stop = true;
  first.join();
  second.join();
  EXPECT_EQ(std::string(Module.IniPath), iniPath);
  EXPECT_EQ(Module.Controller.StateRef, &Module.CurrentState);
  EXPECT_EQ(Module.Controller.HandlesRef, &Module.DriverHandles);
  std::filesystem::remove(iniPath);
}

}  // namespace
#endif
