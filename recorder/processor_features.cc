#include "recorder/processor_features.h"

#if defined(_MSC_VER)
#include <immintrin.h>
#include <intrin.h>
#elif defined(__x86_64__)
#include <cpuid.h>
#endif

namespace halvex {
namespace {

constexpr uint32_t kOsSavesExtendedState = 1u << 27;  // leaf 1 ecx: OSXSAVE
constexpr uint32_t kAvx = 1u << 28;                   // leaf 1 ecx
constexpr uint32_t kAvx2 = 1u << 5;                   // leaf 7 ebx
constexpr uint32_t kAvx512Foundation = 1u << 16;      // leaf 7 ebx
constexpr uint32_t kAvx512Bytes = 1u << 30;           // leaf 7 ebx: byte and word instructions

// XCR0 bits: SSE and AVX registers; then the opmask registers, the upper halves of zmm0-15 and
// zmm16-31.
constexpr uint64_t kVectorState = 0x6;
constexpr uint64_t kAvx512State = kVectorState | 0xE0;

bool Has(uint32_t word, uint32_t bits) {
  return (word & bits) == bits;
}

bool HasState(const ProcessorReport& report, uint64_t state) {
  return Has(report.leaf1Ecx, kOsSavesExtendedState) && (report.enabledState & state) == state;
}

ProcessorReport ReadProcessorReport() {
  ProcessorReport report;
#if defined(_MSC_VER) && defined(_M_X64)
  int registers[4] = {};
  __cpuid(registers, 0);
  report.highestLeaf = static_cast<uint32_t>(registers[0]);
  __cpuid(registers, 1);
  report.leaf1Ecx = static_cast<uint32_t>(registers[2]);
  if (report.highestLeaf >= 7) {
    __cpuidex(registers, 7, 0);
    report.leaf7Ebx = static_cast<uint32_t>(registers[1]);
  }
  if (Has(report.leaf1Ecx, kOsSavesExtendedState)) {
    report.enabledState = _xgetbv(0);
  }
#elif defined(__x86_64__)
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  __cpuid(0, eax, ebx, ecx, edx);
  report.highestLeaf = eax;
  __cpuid(1, eax, ebx, ecx, edx);
  report.leaf1Ecx = ecx;
  if (report.highestLeaf >= 7) {
    __cpuid_count(7, 0, eax, ebx, ecx, edx);
    report.leaf7Ebx = ebx;
  }
  if (Has(report.leaf1Ecx, kOsSavesExtendedState)) {
    // xgetbv by its encoding: the intrinsic needs the whole file compiled for XSAVE.
    uint32_t low = 0, high = 0;
    __asm__ volatile(".byte 0x0f, 0x01, 0xd0" : "=a"(low), "=d"(high) : "c"(0));
    report.enabledState = (static_cast<uint64_t>(high) << 32) | low;
  }
#endif
  return report;
}

}  // namespace

const ProcessorReport& ThisProcessor() {
  static const ProcessorReport report = ReadProcessorReport();
  return report;
}

bool RunsAvx2(const ProcessorReport& report) {
  return report.highestLeaf >= 7 && Has(report.leaf1Ecx, kAvx) && HasState(report, kVectorState) &&
         Has(report.leaf7Ebx, kAvx2);
}

bool RunsAvx512(const ProcessorReport& report) {
  return RunsAvx2(report) && HasState(report, kAvx512State) &&
         Has(report.leaf7Ebx, kAvx512Foundation | kAvx512Bytes);
}

}  // namespace halvex
