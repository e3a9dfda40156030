// The bytes of the effect's property list resource, built at compile time from the identity
// constants in frame/Identity.h. The resource generator writes these bytes into the module's
// resource script and the tests compare the loaded resource with them, so the resource, global
// setup and the string table all share one source of truth.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "frame/Identity.h"

namespace quillstreak::pipl {

// Vendor code carried by every property.
inline constexpr std::string_view kVendor = "8BIM";
// Kind of plug-in: an effect.
inline constexpr std::string_view kKindEffect = "eFKT";

// Header: 16-bit resource word, 32-bit list version, 32-bit property count.
inline constexpr std::size_t kHeaderSize = 10;
// Property header: vendor, key, id, data length (32 bits each).
inline constexpr std::size_t kPropertyHeaderSize = 16;
inline constexpr std::uint32_t kPropertyCount = 12;

// Upper bound for the buffer the image is built in; the constant evaluation fails if the
// properties ever outgrow it.
inline constexpr std::size_t kMaxImageSize = 1024;

struct PiplImage {
  std::array<std::uint8_t, kMaxImageSize> bytes{};
  std::size_t size = 0;
};

namespace detail {

constexpr std::size_t PadTo4(std::size_t n) { return (n + 3u) & ~std::size_t{3}; }

class Writer {
 public:
  constexpr explicit Writer(PiplImage& image) : image_(image) {}

  constexpr void U8(std::uint8_t v) { image_.bytes.at(image_.size++) = v; }
  constexpr void U16(std::uint16_t v) {
    U8(static_cast<std::uint8_t>(v & 0xFFu));
    U8(static_cast<std::uint8_t>(v >> 8));
  }
  constexpr void U32(std::uint32_t v) {
    U16(static_cast<std::uint16_t>(v & 0xFFFFu));
    U16(static_cast<std::uint16_t>(v >> 16));
  }
  // A four-character code is a 32-bit integer whose most significant byte is the first
  // character; stored little-endian, its characters appear reversed.
  constexpr void FourCc(std::string_view code) {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < 4; ++i) {
      v = (v << 8) | static_cast<std::uint8_t>(code.at(i));
    }
    U32(v);
  }
  constexpr void Zeros(std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) U8(0);
  }

  constexpr void PropertyHeader(std::string_view key, std::uint32_t length) {
    FourCc(kVendor);
    FourCc(key);
    U32(0);
    U32(length);
  }

  // Integer data: its plain width is the length; fill up to 4 bytes is not counted.
  constexpr void U32Property(std::string_view key, std::uint32_t value) {
    PropertyHeader(key, 4);
    U32(value);
  }
  constexpr void TwoU16Property(std::string_view key, std::uint16_t first, std::uint16_t second) {
    PropertyHeader(key, 4);
    U16(first);
    U16(second);
  }
  constexpr void U16Property(std::string_view key, std::uint16_t value) {
    PropertyHeader(key, 2);
    U16(value);
    Zeros(2);
  }
  // Counted string: count byte, characters, zero fill to a multiple of 4; the fill is counted.
  constexpr void CountedStringProperty(std::string_view key, std::string_view text) {
    if (text.size() > 255) throw "counted string longer than 255 characters";
    const std::size_t padded = PadTo4(1 + text.size());
    PropertyHeader(key, static_cast<std::uint32_t>(padded));
    U8(static_cast<std::uint8_t>(text.size()));
    for (char c : text) U8(static_cast<std::uint8_t>(c));
    Zeros(padded - 1 - text.size());
  }
  // Terminated string: characters, one NUL, zero fill to a multiple of 4; the fill is counted.
  constexpr void TerminatedStringProperty(std::string_view key, std::string_view text) {
    const std::size_t padded = PadTo4(text.size() + 1);
    PropertyHeader(key, static_cast<std::uint32_t>(padded));
    for (char c : text) U8(static_cast<std::uint8_t>(c));
    Zeros(padded - text.size());
  }

 private:
  PiplImage& image_;
};

}  // namespace detail

constexpr PiplImage BuildPiplImage() {
  PiplImage image;
  detail::Writer w(image);
  w.U16(1);               // resource word
  w.U32(0);               // property list version
  w.U32(kPropertyCount);  // number of properties

  w.PropertyHeader("kind", 4);
  w.FourCc(kKindEffect);
  w.CountedStringProperty("name", kEffectName);
  w.CountedStringProperty("catg", kEffectCategory);
  w.TerminatedStringProperty("8664", kEntryPointName);
  w.TwoU16Property("ePVR", static_cast<std::uint16_t>(kPiplFormatMajor),
                   static_cast<std::uint16_t>(kPiplFormatMinor));
  w.TwoU16Property("eSVR", static_cast<std::uint16_t>(kEffectApiMajor),
                   static_cast<std::uint16_t>(kEffectApiMinor));
  w.U32Property("eVER", kVersionWord);
  w.U16Property("eINF", 0);
  w.U32Property("eGLO", static_cast<std::uint32_t>(kOutFlags));
  w.U32Property("eGL2", static_cast<std::uint32_t>(kOutFlags2));
  w.CountedStringProperty("eMNA", kMatchName);
  w.U32Property("aeFL", static_cast<std::uint32_t>(kReservedInfo));
  return image;
}

// Evaluated at compile time: a property that overflows the buffer is a build error.
inline constexpr PiplImage kPiplImage = BuildPiplImage();

/// The resource's bytes, exactly as they must appear in the module.
inline std::vector<std::uint8_t> PiplBytes() {
  return {kPiplImage.bytes.begin(),
          kPiplImage.bytes.begin() + static_cast<std::ptrdiff_t>(kPiplImage.size)};
}

}  // namespace quillstreak::pipl
