// The byte format of fuzz_protocol's inputs: a sequence of steps, each an opcode byte followed by
// its operands. The reader never fails: past the end every operand reads as zero, and an opcode
// byte names step (byte % kStepCount). Numbers are read either from a small table of values
// worth trying (a selector byte below the table's size) or raw, little-endian, after a selector
// byte of kRaw. The seed generator writes the same format through ProtocolWriter.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "host/Journal.h"

namespace quillstreak::fuzz {

using Op = quillstreak::host::Op;

enum class Step : std::uint8_t {
  // commands, through the host's helpers
  GlobalSetup,
  GlobalSetdown,
  About,
  ParamsSetup,
  UserChangedParam,  // u8 index
  UpdateParamsUI,
  PreRender,
  Render,
  EndFrame,
  RenderFrame,  // time
  // commands sent raw, with null parameters, output and extra
  RawCommand,  // command
  // the scene and the records between commands
  SetTime,         // time
  SetTimeSteps,    // time, time
  ClearTimeSteps,  //
  SetDownsample,   // factor x4: x num, x den, y num, y den
  SetFloat,        // u8 index, number
  KeyFloat,        // u8 index, time, number
  SetColor,        // u8 index, u8 x4 (alpha, red, green, blue)
  SetCheckbox,     // u8 index, u8 on
  SetLayerParam,   // u8 index, u8 layer id
  ResetParam,      // u8 index
  AddLayer,        // u8 kind, u8 width, u8 height, number x2 (position)
  KeyTransform,    // u8 layer slot, u8 stream, time, number x3
  SetEffectLayer,  // u8 layer id
  ResizeComp,      // u8 width, u8 height
  SetTimeScale,    // time (scale), time (frame duration)
  OutputRequest,   // u8 mode, time x4 (rect)
  // faults
  FailCallNumber,  // u8 k low, u8 k high (% 8), code
  FailCall,        // u8 op (kFaultOps), u8 n - 1 (% 16), code
  RefuseSuite,     // u8 suite (kSuites; 0xFF: all)
  NoBasicSuite,    // u8 none
  ClearFaults,     //
  kStepCount
};

constexpr std::uint8_t kStepCount = static_cast<std::uint8_t>(Step::kStepCount);
constexpr std::uint8_t kRaw = 0xFF;

/// Times, time steps, time scales and commands worth trying: the ends of the 32-bit range, zero,
/// the neighbourhood of the usual frame grid.
inline constexpr std::array<std::int32_t, 16> kTimes = {
    0,
    1,
    -1,
    100,
    1000,
    2400,
    24000,
    -2400,
    std::numeric_limits<std::int32_t>::max(),
    std::numeric_limits<std::int32_t>::min(),
    std::numeric_limits<std::int32_t>::max() - 99,
    50,
    700,
    1100,
    3,
    -100};

/// Parameter values and transform values: in range, at the ends, beyond them, not finite.
inline constexpr std::array<double, 20> kNumbers = {0.0,
                                                    std::numeric_limits<double>::quiet_NaN(),
                                                    std::numeric_limits<double>::infinity(),
                                                    -std::numeric_limits<double>::infinity(),
                                                    1e300,
                                                    -1e300,
                                                    0.5,
                                                    1.0,
                                                    10.0,
                                                    20.0,
                                                    25.0,
                                                    50.0,
                                                    100.0,
                                                    360.0,
                                                    720.0,
                                                    -1.0,
                                                    std::numeric_limits<double>::denorm_min(),
                                                    1e9,
                                                    3e9,
                                                    400.0};

/// Host calls the effect makes, for faults by operation: those Op.h marks Fail, in its order.
inline constexpr auto kFaultOps = [] {
  constexpr auto kOps = static_cast<std::size_t>(Op::Stub) + 1;
  constexpr std::size_t kCount = [] {
    std::size_t n = 0;
    for (std::size_t i = 0; i < kOps; ++i) n += FuzzerFails(static_cast<Op>(i)) ? 1 : 0;
    return n;
  }();
  std::array<Op, kCount> ops{};
  std::size_t n = 0;
  for (std::size_t i = 0; i < kOps; ++i)
    if (FuzzerFails(static_cast<Op>(i))) ops[n++] = static_cast<Op>(i);
  return ops;
}();

inline constexpr const char* kSuites[] = {
    "PF Handle Suite",           "PF Iterate8 Suite",
    "PF World Transform Suite",  "PF ANSI Suite",
    "AEGP PF Interface Suite",   "AEGP Stream Suite",
    "AEGP Dynamic Stream Suite", "AEGP Effect Suite",
    "AEGP Layer Suite",
};

class ProtocolReader {
 public:
  ProtocolReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  bool done() const { return pos_ >= size_; }
  Step NextStep() { return static_cast<Step>(U8() % kStepCount); }

  std::uint8_t U8() { return pos_ < size_ ? data_[pos_++] : 0; }

  std::int32_t I32() {
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<std::uint32_t>(U8()) << (8 * i);
    std::int32_t out;
    std::memcpy(&out, &v, sizeof out);
    return out;
  }

  double F64() {
    std::uint64_t v = 0;
    for (int i = 0; i < 8; ++i) v |= static_cast<std::uint64_t>(U8()) << (8 * i);
    double out;
    std::memcpy(&out, &v, sizeof out);
    return out;
  }

  /// A time (or any 32-bit value): one of kTimes, or raw.
  std::int32_t Time() {
    const std::uint8_t sel = U8();
    if (sel < kTimes.size()) return kTimes[sel];
    return sel == kRaw ? I32() : static_cast<std::int32_t>(sel) - 128;
  }

  /// A number: one of kNumbers, or raw, or a small whole number.
  double Number() {
    const std::uint8_t sel = U8();
    if (sel < kNumbers.size()) return kNumbers[sel];
    return sel == kRaw ? F64() : static_cast<double>(sel) - 128.0;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

/// Writes inputs for ProtocolReader (seed inputs).
class ProtocolWriter {
 public:
  ProtocolWriter& Op(Step step) { return U8(static_cast<std::uint8_t>(step)); }
  ProtocolWriter& U8(std::uint8_t v) {
    bytes_.push_back(v);
    return *this;
  }
  ProtocolWriter& Time(std::int32_t v) {
    for (std::size_t i = 0; i < kTimes.size(); ++i)
      if (kTimes[i] == v) return U8(static_cast<std::uint8_t>(i));
    U8(kRaw);
    std::uint32_t u;
    std::memcpy(&u, &v, sizeof u);
    for (int i = 0; i < 4; ++i) U8(static_cast<std::uint8_t>(u >> (8 * i)));
    return *this;
  }
  ProtocolWriter& Number(double v) {
    for (std::size_t i = 0; i < kNumbers.size(); ++i)
      if (std::memcmp(&kNumbers[i], &v, sizeof v) == 0) return U8(static_cast<std::uint8_t>(i));
    U8(kRaw);
    std::uint64_t u;
    std::memcpy(&u, &v, sizeof u);
    for (int i = 0; i < 8; ++i) U8(static_cast<std::uint8_t>(u >> (8 * i)));
    return *this;
  }
  const std::vector<std::uint8_t>& bytes() const { return bytes_; }

 private:
  std::vector<std::uint8_t> bytes_;
};

}  // namespace quillstreak::fuzz
