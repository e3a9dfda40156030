// How the renderer reports while it works: a progress bar redrawn in place on a terminal (fitted
// to its width), one line per frame otherwise, or JSON lines for programs.
#pragma once

#include <chrono>
#include <iosfwd>
#include <string>

#include <nlohmann/json.hpp>

namespace quillstreak::renderer {

enum class ReportStyle {
  Bar,    // redrawn in place on standard error
  Lines,  // one line per frame on standard error
  Json,   // one JSON object per line on standard output
  Quiet   // nothing
};

/// "0.8 s", "12.4 s", "2:05".
std::string FormatSeconds(double seconds);

class Progress {
 public:
  /// `columns`: the terminal's width (for the bar).
  Progress(std::ostream& out, std::ostream& err, ReportStyle style, int columns, long total);

  /// One frame done (or kept from an earlier render, `kept`).
  void FrameDone(long frame, const std::string& file, bool kept);
  /// Ends a bar left unfinished (before an error message).
  void Interrupt();
  double Seconds() const;
  long done() const { return done_; }

 private:
  std::ostream& out_;
  std::ostream& err_;
  ReportStyle style_;
  int columns_;
  long total_;
  long done_ = 0;
  double last_ = 0;  // Seconds() at the previous frame
  bool open_ = false;
  std::chrono::steady_clock::time_point start_;
};

/// Writes one JSON object as a line.
void WriteJsonLine(std::ostream& out, const nlohmann::json& object);

}  // namespace quillstreak::renderer
