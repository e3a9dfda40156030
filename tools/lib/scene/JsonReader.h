// A checked reader of JSON documents: every accessor checks the type of a value and throws
// InputError naming the file and the JSON path of the value ("layers[2].source.width"), and
// syntax errors are described in plain words with their line and column.
#pragma once

#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>

#include "hostapi/HostApi.h"

namespace quillstreak::renderer {

/// Parses JSON text; throws InputError "FILE: line L, column C: what is most likely wrong".
nlohmann::json ParseJsonText(const std::string& text, const std::string& file);

class JsonReader {
 public:
  using json = nlohmann::json;

  explicit JsonReader(std::string file) : file_(std::move(file)) {}

  const std::string& file() const { return file_; }

  /// Throws InputError "FILE: PATH: message" ("(top level)" for the empty path).
  [[noreturn]] void Fail(const std::string& path, const std::string& message) const;

  /// The path of a field ("a.b", or a["x y"] for a key that is not a plain word) and of an item.
  static std::string Key(const std::string& path, const std::string& key);
  static std::string Item(const std::string& path, std::size_t i);

  /// Checks that `j` is an object holding only the `allowed` fields (a misspelt one is answered
  /// with the closest name).
  void ExpectObject(const json& j, const std::string& path,
                    std::initializer_list<const char*> allowed) const;
  const json* Optional(const json& obj, const std::string& key) const;
  const json& Required(const json& obj, const std::string& path, const std::string& key) const;

  double Number(const json& j, const std::string& path) const;
  std::int64_t Integer(const json& j, const std::string& path, std::int64_t lo,
                       std::int64_t hi) const;
  std::string String(const json& j, const std::string& path) const;
  /// "#RRGGBB", [r, g, b] or [r, g, b, a] (0-255 each).
  PF_Pixel Color(const json& j, const std::string& path) const;

 private:
  std::string file_;
};

}  // namespace quillstreak::renderer
