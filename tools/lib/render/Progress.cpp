#include "render/Progress.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <ostream>

#include "platform/Interrupts.h"

namespace quillstreak::renderer {

std::string FormatSeconds(double seconds) {
  char buf[32];
  if (seconds < 60) {
    std::snprintf(buf, sizeof buf, "%.1f s", seconds);
  } else {
    const long s = std::lround(seconds);
    std::snprintf(buf, sizeof buf, "%ld:%02ld", s / 60, s % 60);
  }
  return buf;
}

void WriteJsonLine(std::ostream& out, const nlohmann::json& object) {
  if (BrokenPipe()) return;
  errno = 0;
  out << object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << "\n"
      << std::flush;
  if (!out && errno == EPIPE) NoteBrokenPipe();
}

Progress::Progress(std::ostream& out, std::ostream& err, ReportStyle style, int columns, long total)
    : out_(out),
      err_(err),
      style_(style),
      columns_(columns),
      total_(total),
      start_(std::chrono::steady_clock::now()) {}

double Progress::Seconds() const {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
}

void Progress::FrameDone(long frame, const std::string& file, bool kept) {
  ++done_;
  const double seconds = Seconds();
  const double frameSeconds = seconds - last_;
  last_ = seconds;
  const double fps = seconds > 0 ? done_ / seconds : 0;
  const double left = fps > 0 ? (total_ - done_) / fps : 0;
  switch (style_) {
    case ReportStyle::Quiet:
      return;
    case ReportStyle::Json:
      WriteJsonLine(out_, {{"event", "frame"},
                           {"frame", frame},
                           {"file", file},
                           {"kept", kept},
                           {"done", done_},
                           {"total", total_},
                           {"seconds", std::round(frameSeconds * 1000) / 1000},
                           {"elapsed", std::round(seconds * 1000) / 1000}});
      return;
    case ReportStyle::Lines: {
      char stats[96];
      std::snprintf(stats, sizeof stats, "%ld/%ld frames  %.1f fps  %s left", done_, total_, fps,
                    FormatSeconds(left).c_str());
      err_ << "frame " << frame << (kept ? " kept " : " -> ") << file << "  (" << stats << ")\n";
      return;
    }
    case ReportStyle::Bar: {
      char stats[96];
      std::snprintf(stats, sizeof stats, " %ld/%ld  %.1f fps  %s left", done_, total_, fps,
                    FormatSeconds(left).c_str());
      // The whole line stays one column short of the terminal's width, so that it never wraps.
      const int width = std::max(1, columns_ - 1);
      std::string line = stats;
      const int bar = width - static_cast<int>(line.size()) - 2;
      if (bar >= 10) {
        const int filled = static_cast<int>(bar * done_ / std::max(1L, total_));
        line = "[" + std::string(static_cast<std::size_t>(filled), '#') +
               std::string(static_cast<std::size_t>(bar - filled), '.') + "]" + line;
      }
      if (static_cast<int>(line.size()) > width) line.resize(static_cast<std::size_t>(width));
      line.append(static_cast<std::size_t>(width) - line.size(), ' ');
      err_ << "\r" << line << std::flush;
      open_ = done_ < total_;
      if (!open_) err_ << "\n";
      return;
    }
  }
}

void Progress::Interrupt() {
  if (open_) err_ << "\n";
  open_ = false;
}

}  // namespace quillstreak::renderer
