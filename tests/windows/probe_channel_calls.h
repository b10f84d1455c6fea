// The recorder channel calls that the probe application makes through the running host, with the
// answers a host under Wine gives: Wine has no H.264 encoder and no MP4 sink, so valid frames are
// dropped and counted as not written, and no file is left.
#ifndef HALVEX_TESTS_WINDOWS_PROBE_CHANNEL_CALLS_H_
#define HALVEX_TESTS_WINDOWS_PROBE_CHANNEL_CALLS_H_

#include <cstdint>
#include <string>
#include <vector>

namespace halvex::testing {

struct ProbeChannelCall {
  std::string name;
  std::vector<uint8_t> call;            // the encoded method call
  std::vector<uint8_t> expectedAnswer;  // the encoded envelope; empty for not implemented
};

// `outputPath` is where "start" asks for the recording (UTF-8).
std::vector<ProbeChannelCall> ProbeChannelCalls(const std::string& outputPath);

// Lower-case hexadecimal, two digits a byte: how the probe reports bytes in its text report.
std::string ToHex(const std::vector<uint8_t>& bytes);

}  // namespace halvex::testing

#endif  // HALVEX_TESTS_WINDOWS_PROBE_CHANNEL_CALLS_H_
