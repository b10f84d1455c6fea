#include <objbase.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "recorder/desktop_recorder.h"
#include "recorder/recorder_call_queue.h"
#include "tests/reliability/recorder_stress_cycles.h"
#include "tests/reliability/recorder_stress_feeder.h"
#include "tests/reliability/recorder_stress_watchdog.h"
#include "windows_testing/audio.h"
#include "windows_testing/faults.h"
#include "windows_testing/imaging.h"
#include "windows_testing/media_foundation.h"

namespace halvex {
namespace {

namespace mf = halvex::testing;
using stress::StallWatchdog;

// Fits the slowest preset (ThreadSanitizer) in about a minute on two shared cores.
constexpr int kDefaultCycles = 2500;
constexpr unsigned kSeed = 20240917;
// A fresh device (and imaging record) now and then keeps the stand-ins' call records small.
constexpr int kCyclesPerDevice = 64;
constexpr size_t kPendingPackets = 32;
// Longer than any single step may take on a loaded machine, far shorter than ctest's timeout.
constexpr std::chrono::seconds kStallLimit(60);

// HALVEX_STRESS_CYCLES raises the count for a long run by hand.
int CyclesToRun() {
  const char* text = std::getenv("HALVEX_STRESS_CYCLES");
  if (text == nullptr) {
    return kDefaultCycles;
  }
  const long cycles = std::strtol(text, nullptr, 10);
  return cycles > 0 && cycles <= 100000000 ? static_cast<int>(cycles) : kDefaultCycles;
}

TEST(RecorderStressTest, EveryCycleLeavesWholeFilesAndNothingAlive) {
  mf::ScopedFaults faults;
  mf::ResetMediaFoundation();
  mf::ResetImaging();
  mf::ResetAudio();
  DesktopRecorder::Instance().Stop();

  const int cycles = CyclesToRun();
  const std::vector<mf::MixFormat> devices = stress::StressDeviceFormats();
  StallWatchdog watchdog(kStallLimit);
  stress::AudioFeeder feeder(kPendingPackets);
  ::testing::AssertionResult outcome = ::testing::AssertionSuccess();
  int completed = 0;
  int captureThreads = 0;
  int stopsWithAudio = 0;
  const auto began = std::chrono::steady_clock::now();

  // The host calls the recorder on its platform thread, which lives in a single-threaded
  // apartment.
  std::thread platformThread([&] {
    const HRESULT apartment = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    RecorderCallQueue queue(&DesktopRecorder::Instance(),
                            RecorderCallQueue::LimitsForThisMachine());
    stress::StressCycles stress(watchdog, kSeed, &queue);
    for (int cycle = 0; cycle < cycles && outcome; ++cycle) {
      if (cycle % kCyclesPerDevice == 0) {
        watchdog.Progress(cycle, "replacing the audio device");
        if (!feeder.UseDevice(devices[(cycle / kCyclesPerDevice) % devices.size()])) {
          outcome = ::testing::AssertionFailure() << "the device refused its format";
          break;
        }
        mf::ResetImaging();
        stress.ScriptFrames();
      }
      outcome = stress.Run(cycle);
      completed += outcome ? 1 : 0;
    }
    captureThreads = stress.CaptureThreadsStarted();
    stopsWithAudio = stress.StopsThatReportedAudio();
    if (SUCCEEDED(apartment)) {
      CoUninitialize();
    }
  });
  platformThread.join();

  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
  std::printf(
      "[ stress   ] %d of %d cycles in %.1f s: %d capture threads, %d stops with audio, %zu "
      "packets queued\n",
      completed, cycles, seconds, captureThreads, stopsWithAudio, feeder.PacketsQueued());
  EXPECT_TRUE(outcome);
  EXPECT_EQ(completed, cycles);
  mf::ResetAudio();
}

TEST(RecorderStressWatchdogDeathTest, AStallEndsTheRunWithWhereItStopped) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(
      {
        StallWatchdog watchdog(std::chrono::milliseconds(100));
        watchdog.Progress(7, "appending a frame");
        std::this_thread::sleep_for(std::chrono::seconds(30));
      },
      "no progress for [0-9]+ ms in cycle 7 while appending a frame");
}

}  // namespace
}  // namespace halvex
