#include "scene/JsonReader.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <map>
#include <optional>
#include <vector>

#include "renderer/InputError.h"
#include "renderer/ParamCatalog.h"
#include "scene/Suggest.h"

namespace quillstreak::renderer {
namespace {

using nlohmann::json;

// The line and column of the character at `at` (0-based), as "line L, column C".
std::string Place(const std::string& text, std::size_t at) {
  std::size_t line = 1, column = 1;
  for (std::size_t i = 0; i < at; ++i) {
    if (text[i] == '\n') {
      ++line;
      column = 1;
    } else {
      ++column;
    }
  }
  return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

// What is most likely wrong where the parser stopped: `c` is the character there ('\0' at the
// end of the text), `before` the last character before it that is not a space.
std::string Reason(char c, char before, bool atEnd, const std::string& what) {
  if (what.find("missing closing quote") != std::string::npos)
    return "a text in quotes is not closed (a \" is missing)";
  if (atEnd) return "the text ends before the JSON is complete (is a closing } or ] missing?)";
  if (c == '/' || c == '#') return "comments are not allowed in JSON";
  if ((c == '}' || c == ']') && before == ',')
    return std::string("a comma before the closing ") + c +
           ": JSON allows no comma after the last item";
  if (c == ',' && (before == ',' || before == '[' || before == '{'))
    return "a comma with no item before it";
  if (c == '\'') return "text and field names need double quotes (\"), not single quotes";
  if (what.find("control character") != std::string::npos)
    return "a tab or line break inside quotes (write it as \\t or \\n)";
  if (what.find("object key") != std::string::npos) return "expected a field name in double quotes";
  if (std::isprint(static_cast<unsigned char>(c)))
    return std::string("unexpected '") + c +
           "' (is a comma missing before it? JSON allows no comments and no trailing commas)";
  return "unexpected character (JSON allows no comments and no trailing commas)";
}

// A JSON syntax error in plain words: the line and column of the character where reading
// stopped (`byte`, 1-based as the parser counts it), and what is most likely wrong there.
std::string SyntaxMessage(const std::string& text, std::size_t byte, const std::string& what) {
  const std::size_t at = std::min(byte > 0 ? byte - 1 : 0, text.size());
  char before = '\0';
  for (std::size_t i = at; i > 0; --i) {
    if (!std::isspace(static_cast<unsigned char>(text[i - 1]))) {
      before = text[i - 1];
      break;
    }
  }
  const char c = at < text.size() ? text[at] : '\0';
  return Place(text, at) + ": " + Reason(c, before, at >= text.size(), what);
}

// The first key that one object of a document holds twice: the parser keeps only the last value,
// so the other would be lost without a word. Keys are counted in document order (1 = the first
// key of the document), so that their lines can be found in the text afterwards.
class DuplicateKeyFinder {
 public:
  struct Duplicate {
    std::string path;  // of the key
    std::string key;
    std::size_t first = 0, second = 0;
  };

  const std::optional<Duplicate>& found() const { return found_; }

  bool null() { return Value(); }
  bool boolean(bool) { return Value(); }
  bool number_integer(json::number_integer_t) { return Value(); }
  bool number_unsigned(json::number_unsigned_t) { return Value(); }
  bool number_float(json::number_float_t, const std::string&) { return Value(); }
  bool string(std::string&) { return Value(); }
  bool binary(json::binary_t&) { return Value(); }
  bool start_object(std::size_t) { return Open(true); }
  bool start_array(std::size_t) { return Open(false); }
  bool end_object() { return Close(); }
  bool end_array() { return Close(); }
  bool key(std::string& k) {
    Container& c = open_.back();
    const auto [seen, added] = c.keys.emplace(k, ++keys_);
    if (!added) {
      found_ = Duplicate{JsonReader::Key(c.path, k), k, seen->second, keys_};
      return false;
    }
    c.key = k;
    return true;
  }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) {
    return false;
  }

 private:
  struct Container {
    bool object = false;
    std::string path;
    std::string key;                          // an object's latest key
    std::size_t items = 0;                    // an array's items so far
    std::map<std::string, std::size_t> keys;  // an object's keys and where each came
  };

  // The path of the value that comes next (an array counts it as one more item).
  std::string NextPath() {
    if (open_.empty()) return {};
    Container& c = open_.back();
    return c.object ? JsonReader::Key(c.path, c.key) : JsonReader::Item(c.path, c.items++);
  }
  bool Value() {
    if (!open_.empty() && !open_.back().object) ++open_.back().items;
    return true;
  }
  bool Open(bool object) {
    Container c;
    c.object = object;
    c.path = NextPath();
    open_.push_back(std::move(c));
    return true;
  }
  bool Close() {
    open_.pop_back();
    return true;
  }

  std::vector<Container> open_;
  std::size_t keys_ = 0;
  std::optional<Duplicate> found_;
};

// The line of the `n`-th key (1 = the first) of valid JSON text: a key is a text in quotes that
// a colon follows.
std::size_t KeyLine(const std::string& text, std::size_t n) {
  std::size_t line = 1, keys = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n') ++line;
    if (text[i] != '"') continue;
    for (++i; i < text.size() && text[i] != '"'; ++i)
      if (text[i] == '\\') ++i;
    std::size_t next = i + 1;
    while (next < text.size() && std::isspace(static_cast<unsigned char>(text[next]))) ++next;
    if (next < text.size() && text[next] == ':' && ++keys == n) return line;
  }
  return line;
}

}  // namespace

json ParseJsonText(const std::string& text, const std::string& file) {
  try {
    json parsed = json::parse(text);
    DuplicateKeyFinder finder;
    json::sax_parse(text, &finder);
    if (const auto& d = finder.found()) {
      throw InputError(file + ": " + d->path + ": \"" + d->key +
                       "\" is given twice in one object, on lines " +
                       std::to_string(KeyLine(text, d->first)) + " and " +
                       std::to_string(KeyLine(text, d->second)) + " (remove one)");
    }
    return parsed;
  } catch (const json::parse_error& e) {
    throw InputError(file + ": " + SyntaxMessage(text, e.byte, e.what()));
  } catch (const json::out_of_range&) {
    throw InputError(file + ": a number too large for a double-precision value");
  } catch (const json::exception& e) {
    throw InputError(file + ": not valid JSON (" + std::string(e.what()) + ")");
  }
}

void JsonReader::Fail(const std::string& path, const std::string& message) const {
  throw InputError(file_ + ": " + (path.empty() ? std::string("(top level)") : path) + ": " +
                   message);
}

std::string JsonReader::Key(const std::string& path, const std::string& key) {
  const bool plain = !key.empty() && std::all_of(key.begin(), key.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
  });
  if (!plain) return path + "[\"" + key + "\"]";
  return path.empty() ? key : path + "." + key;
}

std::string JsonReader::Item(const std::string& path, std::size_t i) {
  return path + "[" + std::to_string(i) + "]";
}

void JsonReader::ExpectObject(const json& j, const std::string& path,
                              std::initializer_list<const char*> allowed) const {
  if (!j.is_object()) Fail(path, "expected an object");
  for (const auto& [key, value] : j.items()) {
    (void)value;
    bool known = false;
    for (const char* a : allowed) known = known || key == a;
    if (known) continue;
    std::vector<std::string> names(allowed.begin(), allowed.end());
    std::string list;
    for (const char* a : allowed) list += std::string(list.empty() ? "" : ", ") + a;
    const std::string match = ClosestMatch(key, names);
    Fail(Key(path, key), "unknown field (" +
                             (match.empty() ? "" : "did you mean \"" + match + "\"? ") +
                             "expected one of: " + list + ")");
  }
}

const json* JsonReader::Optional(const json& obj, const std::string& key) const {
  const auto it = obj.find(key);
  return it == obj.end() ? nullptr : &*it;
}

const json& JsonReader::Required(const json& obj, const std::string& path,
                                 const std::string& key) const {
  const auto it = obj.find(key);
  if (it == obj.end()) Fail(Key(path, key), "missing field");
  return *it;
}

double JsonReader::Number(const json& j, const std::string& path) const {
  if (!j.is_number()) Fail(path, "expected a number");
  const double v = j.get<double>();
  if (!std::isfinite(v)) Fail(path, "expected a finite number");
  return v;
}

std::int64_t JsonReader::Integer(const json& j, const std::string& path, std::int64_t lo,
                                 std::int64_t hi) const {
  if (!j.is_number()) Fail(path, "expected an integer");
  const double v = j.get<double>();
  if (!std::isfinite(v) || v != std::floor(v)) Fail(path, "expected an integer");
  if (v < static_cast<double>(lo) || v > static_cast<double>(hi))
    Fail(path, FormatNumber(v) + " is out of range (" + std::to_string(lo) + " to " +
                   std::to_string(hi) + ")");
  return static_cast<std::int64_t>(v);
}

std::string JsonReader::String(const json& j, const std::string& path) const {
  if (!j.is_string()) Fail(path, "expected a string");
  return j.get<std::string>();
}

PF_Pixel JsonReader::Color(const json& j, const std::string& path) const {
  if (j.is_string()) {
    const auto c = ParseColorText(j.get<std::string>());
    if (!c || j.get<std::string>().find('#') == std::string::npos)
      Fail(path, "expected a colour \"#RRGGBB\" or [r, g, b]");
    return *c;
  }
  if (j.is_array() && (j.size() == 3 || j.size() == 4)) {
    int v[4] = {0, 0, 0, 255};
    for (std::size_t i = 0; i < j.size(); ++i)
      v[i] = static_cast<int>(Integer(j[i], Item(path, i), 0, 255));
    return PF_Pixel{static_cast<A_u_char>(v[3]), static_cast<A_u_char>(v[0]),
                    static_cast<A_u_char>(v[1]), static_cast<A_u_char>(v[2])};
  }
  Fail(path, "expected a colour \"#RRGGBB\" or [r, g, b]");
}

}  // namespace quillstreak::renderer
