// Which vector instruction sets this process may use: the processor must have them and the
// operating system must save their registers on a thread switch. The pixel kernels ask here
// before they pick a path compiled for a wider instruction set than the build's baseline.
#ifndef HALVEX_RECORDER_PROCESSOR_FEATURES_H_
#define HALVEX_RECORDER_PROCESSOR_FEATURES_H_

#include <cstdint>

namespace halvex {

// What the processor says about itself: the cpuid words that name the vector extensions and the
// register state the operating system has enabled (XCR0). All zero where the instructions that
// read them are missing.
struct ProcessorReport {
  uint32_t highestLeaf = 0;   // cpuid leaf 0, eax
  uint32_t leaf1Ecx = 0;      // cpuid leaf 1: OSXSAVE, AVX
  uint32_t leaf7Ebx = 0;      // cpuid leaf 7, subleaf 0: AVX2, AVX-512 F and BW
  uint64_t enabledState = 0;  // XCR0, read only where OSXSAVE says it may be
};

// This processor's report, read once.
const ProcessorReport& ThisProcessor();

// AVX2 with the 256-bit register state saved.
bool RunsAvx2(const ProcessorReport& report);

// AVX-512 F and BW with the opmask and all 512-bit register state saved.
bool RunsAvx512(const ProcessorReport& report);

}  // namespace halvex

#endif  // HALVEX_RECORDER_PROCESSOR_FEATURES_H_
