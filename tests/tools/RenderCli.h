// Running the renderer in-process for the command-line tests: arguments, standard input, the
// terminal's width, and a scratch folder per test.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "host/Module.h"
#include "renderer/Renderer.h"

#if defined(_WIN32)
#include <process.h>
#else
#include <unistd.h>
#endif

namespace quillstreak::renderer::testing {

struct Result {
  int code = -1;
  std::string out;
  std::string err;
};

/// Runs the renderer with `args` and the built module (unless `withPlugin` is false), `input` as
/// standard input, and with `columns` > 0 a terminal that wide.
inline Result Render(std::vector<std::string> args, const std::string& input = "", int columns = 0,
                     bool withPlugin = true) {
  args.insert(args.begin(), "quillstreak-render");
  if (withPlugin) {
    args.push_back("--plugin");
    args.push_back(quillstreak::host::DefaultModulePath());
  }
  std::vector<const char*> argv;
  for (const auto& a : args) argv.push_back(a.c_str());
  std::istringstream in(input);
  std::ostringstream out, err;
  Result r;
  r.code = RunRenderer(static_cast<int>(argv.size()), argv.data(),
                       Console{in, out, err, columns > 0, columns > 0 ? columns : 80});
  r.out = out.str();
  r.err = err.str();
  return r;
}

// A moving square carrying the effect (id 2) over a backdrop (id 1).
inline constexpr char kScene[] = R"({
  "composition": {"width": 40, "height": 30, "fps": 10, "duration": 6, "background": "#202020"},
  "layers": [
    {"id": 1, "name": "Backdrop", "source": {"type": "rectangle", "width": 40, "height": 6,
     "color": "#0000FF"}, "transform": {"position": [20, 3]}},
    {"id": 2, "name": "Square", "source": {"type": "rectangle", "width": 8, "height": 8,
     "color": "#FF0000"},
     "transform": {"position": {"keyframes": [{"time": 0, "value": [5, 18]},
                                              {"time": 5, "value": [35, 18]}]}}}
  ],
  "effect": {"layer": 2, "params": {"Shutter Angle": 720}}
})";

// A square without the effect, for what does not depend on it.
inline constexpr char kSmallScene[] = R"({
  "composition": {"width": 40, "height": 30, "fps": 10, "duration": 6, "background": "#202020"},
  "layers": [{"id": 1, "source": {"type": "rectangle", "width": 8, "height": 8, "color": "#FF0000"},
              "transform": {"position": {"keyframes": [{"time": 0, "value": [5, 15]},
                                                       {"time": 5, "value": [35, 15]}]}}}]
})";

// Every line of standard output as JSON.
inline std::vector<nlohmann::json> Records(const std::string& out) {
  std::vector<nlohmann::json> records;
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);) records.push_back(nlohmann::json::parse(line));
  return records;
}

inline bool HaveFfmpeg() { return std::system("ffmpeg -version >/dev/null 2>&1") == 0; }

inline long ProcessId() {
#if defined(_WIN32)
  return _getpid();
#else
  return static_cast<long>(getpid());
#endif
}

/// A fresh folder under the system's temporary folder, named after the test, removed afterwards.
class ScratchFolder : public ::testing::Test {
 protected:
  explicit ScratchFolder(std::string prefix) : prefix_(std::move(prefix)) {}
  void SetUp() override {
    // The process id too: suites of several checkouts may run at once on one machine.
    dir_ = std::filesystem::temp_directory_path() /
           (prefix_ + ::testing::UnitTest::GetInstance()->current_test_info()->name() + "_" +
            std::to_string(ProcessId()));
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ec;  // a folder a test made read-only
    std::filesystem::permissions(dir_ / "locked", std::filesystem::perms::owner_all, ec);
    std::filesystem::remove_all(dir_);
  }

  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  std::string Write(const std::string& name, const std::string& text) const {
    std::ofstream(dir_ / name, std::ios::binary) << text;
    return Path(name);
  }
  /// A file's bytes (empty when it cannot be read).
  std::string Read(const std::string& name) const {
    std::ifstream in(dir_ / name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  /// A shell script that stands in for a program (POSIX only).
  std::string Program(const std::string& name, const std::string& script) const {
    Write(name, "#!/bin/sh\n" + script);
    std::filesystem::permissions(dir_ / name, std::filesystem::perms::owner_all);
    return Path(name);
  }
  /// The files under the folder, relative to it, sorted.
  std::vector<std::string> Files() const {
    std::vector<std::string> files;
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir_))
      if (!e.is_directory())
        files.push_back(std::filesystem::relative(e.path(), dir_).generic_string());
    std::sort(files.begin(), files.end());
    return files;
  }

  std::string prefix_;
  std::filesystem::path dir_;
};

/// A scratch folder holding kScene as "scene.json" (`scene_`).
class SceneFolder : public ScratchFolder {
 protected:
  using ScratchFolder::ScratchFolder;
  void SetUp() override {
    ScratchFolder::SetUp();
    scene_ = Write("scene.json", kScene);
  }
  std::string scene_;
};

}  // namespace quillstreak::renderer::testing
