// The property list bytes: their layout, their agreement with the identity constants, and the
// resource script the generator writes from them.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "frame/Identity.h"
#include "resources/PiplBuilder.h"

namespace {

using quillstreak::pipl::PiplBytes;

std::uint32_t ReadU32(const std::vector<std::uint8_t>& b, std::size_t at) {
  return static_cast<std::uint32_t>(b.at(at)) | static_cast<std::uint32_t>(b.at(at + 1)) << 8 |
         static_cast<std::uint32_t>(b.at(at + 2)) << 16 |
         static_cast<std::uint32_t>(b.at(at + 3)) << 24;
}
std::uint16_t ReadU16(const std::vector<std::uint8_t>& b, std::size_t at) {
  return static_cast<std::uint16_t>(b.at(at) | b.at(at + 1) << 8);
}
// A four-character code is stored with its first character in the most significant byte.
std::string ReadFourCc(const std::vector<std::uint8_t>& b, std::size_t at) {
  const std::uint32_t v = ReadU32(b, at);
  std::string code;
  for (int shift = 24; shift >= 0; shift -= 8) code += static_cast<char>((v >> shift) & 0xFF);
  return code;
}

struct Property {
  std::string vendor;
  std::string key;
  std::uint32_t id = 0;
  std::uint32_t length = 0;
  std::size_t dataOffset = 0;
  std::size_t streamSize = 0;  // header, data and fill
};

// Walks the list the way the host reads it: header, then properties back to back, each data
// block padded to a multiple of 4.
std::vector<Property> ParseProperties(const std::vector<std::uint8_t>& b, std::size_t* end) {
  std::vector<Property> props;
  const std::uint32_t count = ReadU32(b, 6);
  std::size_t at = 10;
  for (std::uint32_t i = 0; i < count; ++i) {
    Property p;
    p.vendor = ReadFourCc(b, at);
    p.key = ReadFourCc(b, at + 4);
    p.id = ReadU32(b, at + 8);
    p.length = ReadU32(b, at + 12);
    p.dataOffset = at + 16;
    p.streamSize = 16 + ((p.length + 3u) & ~3u);
    at += p.streamSize;
    props.push_back(p);
  }
  *end = at;
  return props;
}

std::vector<std::uint8_t> Bytes(std::initializer_list<int> values) {
  std::vector<std::uint8_t> out;
  for (int v : values) out.push_back(static_cast<std::uint8_t>(v));
  return out;
}

// The resource written out by hand, property by property.
std::vector<std::uint8_t> ExpectedResource() {
  std::vector<std::vector<std::uint8_t>> parts = {
      // Header: resource word 1, list version 0, 12 properties.
      Bytes({0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x00, 0x00, 0x00}),
      // kind: "eFKT"
      Bytes({'M', 'I', 'B', '8', 'd', 'n', 'i', 'k', 0, 0, 0, 0, 4, 0, 0, 0,  //
             'T', 'K', 'F', 'e'}),
      // name: count 11, "Quillstreak", no fill
      Bytes({'M', 'I', 'B', '8', 'e', 'm', 'a', 'n', 0,   0,   0,   0,  12, 0, 0, 0,  //
             11,  'Q', 'u', 'i', 'l', 'l', 's', 't', 'r', 'e', 'a', 'k'}),
      // catg: count 8, "Halvorsk", three zero bytes
      Bytes({'M', 'I', 'B', '8', 'g', 't', 'a', 'c', 0,   0, 0, 0, 12, 0, 0, 0,  //
             8,   'H', 'a', 'l', 'v', 'o', 'r', 's', 'k', 0, 0, 0}),
      // 8664: "EntryPointFunc", NUL, one fill byte
      Bytes({'M', 'I', 'B', '8', '4', '6', '6', '8', 0,   0,   0,   0,   16,  0,   0, 0,  //
             'E', 'n', 't', 'r', 'y', 'P', 'o', 'i', 'n', 't', 'F', 'u', 'n', 'c', 0, 0}),
      // ePVR: 2.0
      Bytes({'M', 'I', 'B', '8', 'R', 'V', 'P', 'e', 0, 0, 0, 0, 4, 0, 0, 0, 2, 0, 0, 0}),
      // eSVR: 13.2
      Bytes({'M', 'I', 'B', '8', 'R', 'V', 'S', 'e', 0, 0, 0, 0, 4, 0, 0, 0, 13, 0, 2, 0}),
      // eVER: 0x000A9001
      Bytes({'M',  'I',  'B',  '8', 'R', 'E', 'V', 'e', 0, 0, 0, 0, 4, 0, 0, 0,  //
             0x01, 0x90, 0x0A, 0x00}),
      // eINF: 16-bit 0, length 2, two uncounted fill bytes
      Bytes({'M', 'I', 'B', '8', 'F', 'N', 'I', 'e', 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0}),
      // eGLO: 0x00000006
      Bytes({'M', 'I', 'B', '8', 'O', 'L', 'G', 'e', 0, 0, 0, 0, 4, 0, 0, 0, 6, 0, 0, 0}),
      // eGL2: 0x00020408
      Bytes({'M',  'I',  'B',  '8', '2', 'L', 'G', 'e', 0, 0, 0, 0, 4, 0, 0, 0,  //
             0x08, 0x04, 0x02, 0x00}),
      // eMNA: count 6, "HQSTRK", one zero byte
      Bytes({'M', 'I', 'B', '8', 'A', 'N', 'M', 'e', 0, 0, 0, 0, 8, 0, 0, 0,  //
             6,   'H', 'Q', 'S', 'T', 'R', 'K', 0}),
      // aeFL: 8
      Bytes({'M', 'I', 'B', '8', 'L', 'F', 'e', 'a', 0, 0, 0, 0, 4, 0, 0, 0, 8, 0, 0, 0}),
  };
  std::vector<std::uint8_t> all;
  for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

TEST(PiplBytes, EqualTheHandWrittenResource) {
  const auto expected = ExpectedResource();
  ASSERT_EQ(expected.size(), 282u);
  const auto actual = PiplBytes();
  ASSERT_EQ(actual.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(actual[i], expected[i]) << "byte " << i;
  }
}

TEST(PiplBytes, ParseIntoTwelvePropertiesEndingAtTheLastByte) {
  const auto bytes = PiplBytes();
  EXPECT_EQ(ReadU16(bytes, 0), 1);
  EXPECT_EQ(ReadU32(bytes, 2), 0u);
  std::size_t end = 0;
  const auto props = ParseProperties(bytes, &end);
  ASSERT_EQ(props.size(), 12u);
  EXPECT_EQ(end, bytes.size());

  struct Expected {
    const char* key;
    std::uint32_t length;
    std::size_t streamSize;
  };
  const Expected table[] = {
      {"kind", 4, 20}, {"name", 12, 28}, {"catg", 12, 28}, {"8664", 16, 32},
      {"ePVR", 4, 20}, {"eSVR", 4, 20},  {"eVER", 4, 20},  {"eINF", 2, 20},
      {"eGLO", 4, 20}, {"eGL2", 4, 20},  {"eMNA", 8, 24},  {"aeFL", 4, 20},
  };
  for (std::size_t i = 0; i < props.size(); ++i) {
    SCOPED_TRACE(table[i].key);
    EXPECT_EQ(props[i].vendor, "8BIM");
    EXPECT_EQ(props[i].key, table[i].key);
    EXPECT_EQ(props[i].id, 0u);
    EXPECT_EQ(props[i].length, table[i].length);
    EXPECT_EQ(props[i].streamSize, table[i].streamSize);
  }
}

TEST(PiplBytes, AgreeWithTheIdentityConstants) {
  using namespace quillstreak;
  const auto bytes = PiplBytes();
  std::size_t end = 0;
  const auto props = ParseProperties(bytes, &end);
  auto find = [&](const std::string& key) -> const Property& {
    for (const auto& p : props) {
      if (p.key == key) return p;
    }
    ADD_FAILURE() << "no property " << key;
    return props.front();
  };
  auto countedString = [&](const std::string& key) {
    const Property& p = find(key);
    return std::string(
        bytes.begin() + static_cast<std::ptrdiff_t>(p.dataOffset) + 1,
        bytes.begin() + static_cast<std::ptrdiff_t>(p.dataOffset) + 1 + bytes.at(p.dataOffset));
  };

  // The words that global setup reports.
  EXPECT_EQ(ReadU32(bytes, find("eVER").dataOffset), kVersionWord);
  EXPECT_EQ(ReadU32(bytes, find("eGLO").dataOffset), static_cast<std::uint32_t>(kOutFlags));
  EXPECT_EQ(ReadU32(bytes, find("eGL2").dataOffset), static_cast<std::uint32_t>(kOutFlags2));
  EXPECT_EQ(ReadU32(bytes, find("eVER").dataOffset), 0x000A9001u);

  EXPECT_EQ(countedString("name"), kEffectName);
  EXPECT_EQ(countedString("catg"), kEffectCategory);
  EXPECT_EQ(countedString("eMNA"), kMatchName);
  const Property& entry = find("8664");
  EXPECT_STREQ(reinterpret_cast<const char*>(bytes.data() + entry.dataOffset), kEntryPointName);
  EXPECT_EQ(ReadFourCc(bytes, find("kind").dataOffset), "eFKT");
}

// Decodes the data block of the generated resource script ("\xNN" escapes in quoted strings
// between BEGIN and END).
std::vector<std::uint8_t> DecodeScriptData(const std::string& script) {
  std::vector<std::uint8_t> out;
  const std::size_t begin = script.find("\nBEGIN\n");
  const std::size_t end = script.find("\nEND", begin == std::string::npos ? 0 : begin);
  if (begin == std::string::npos || end == std::string::npos) {
    ADD_FAILURE() << "no BEGIN/END block";
    return out;
  }
  bool inString = false;
  for (std::size_t i = begin + 7; i < end; ++i) {
    const char c = script[i];
    if (c == '"') {
      inString = !inString;
    } else if (inString) {
      if (c != '\\' || i + 3 >= end || script[i + 1] != 'x') {
        ADD_FAILURE() << "unexpected character in data at " << i;
        return out;
      }
      out.push_back(static_cast<std::uint8_t>(std::stoi(script.substr(i + 2, 2), nullptr, 16)));
      i += 3;
    } else if (c != ',' && c != ' ' && c != '\n' && c != '\r') {
      ADD_FAILURE() << "unexpected character between strings at " << i;
      return out;
    }
  }
  return out;
}

TEST(PiplResourceScript, CarriesTheBuilderBytesUnderIdAndLanguage) {
  std::ifstream file(QS_PIPL_RC_PATH, std::ios::binary);
  ASSERT_TRUE(file) << "cannot open " << QS_PIPL_RC_PATH;
  std::stringstream buffer;
  buffer << file.rdbuf();
  const std::string script = buffer.str();

  // 1033 = primary language 9 (English), sublanguage 1 (United States).
  EXPECT_NE(script.find("\nLANGUAGE 9, 1\n16000 PIPL\nBEGIN\n"), std::string::npos) << script;
  EXPECT_EQ(DecodeScriptData(script), PiplBytes());
}

}  // namespace
