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
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "exports.h"
#include "module_records.h"
#include "platform.h"

namespace {

TEST(ThreadNotification, AttachDuringInitializeLeavesPathAndOptionsIntact) {
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() /
      ("kelvrin_threads_" + std::to_string(std::random_device{}()));
  std::filesystem::create_directories(folder);
  const std::string iniPath = (folder / "KELVRIN.ini").string();
  std::ofstream(iniPath) << "[Settings]\nUse120Signal=1\nUseATS=1\nATCBrakeNotch=7\n";

  Module = ModuleRecords{};
  AttachModule(&Module, false);
  ASSERT_LT(iniPath.size(), static_cast<size_t>(IniPathCapacity));
  std::memcpy(Module.IniPath, iniPath.c_str(), iniPath.size() + 1);
  const VehicleSpec spec{8};
  SetVehicleSpec(&spec);

  std::atomic<bool> stop{false};
  std::atomic<long> notifications{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < 2; ++i) {
    threads.emplace_back([&] {
      while (!stop.load(std::memory_order_relaxed)) {
        AttachModule(&Module, false);
        notifications.fetch_add(1, std::memory_order_relaxed);
      }
    });
  }
  // Let the notifiers run before the first run starts.
  while (notifications.load() < 100) {
    std::this_thread::yield();
  }

  VehicleState state{};
  int32_t panel[256] = {};
  int32_t sound[128] = {};
  for (int run = 0; run < 300; ++run) {
    Initialize(0);
    EXPECT_EQ(Module.Controller.Use120Signal, 1);
    EXPECT_EQ(Module.Controller.UseAts, 1);
    EXPECT_EQ(Module.AtcBrakeNotch, 7);
    EXPECT_EQ(Module.Controller.Mode, ModeAts);
    state.Speed = static_cast<float>(run % 40);
    Elapse(&state, panel, sound);
  }
  stop = true;
  for (std::thread& thread : threads) {
    thread.join();
  }

  EXPECT_EQ(std::string(Module.IniPath), iniPath);
  EXPECT_EQ(Module.Controller.StateRef, &Module.CurrentState);
  EXPECT_EQ(Module.Controller.HandlesRef, &Module.DriverHandles);
  EXPECT_GT(notifications.load(), 100);
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
}

}  // namespace
#endif
