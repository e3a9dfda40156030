#include "renderer/Outputs.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <system_error>

#include "renderer/InputError.h"
#include "renderer/Png.h"

#if defined(_WIN32)
#include <process.h>
#else
#include <unistd.h>
#endif

namespace quillstreak::renderer {
namespace {

namespace fs = std::filesystem;

constexpr VideoFormat kFormats[] = {
    {".mp4", "mp4",
     "-vf pad=ceil(iw/2)*2:ceil(ih/2)*2 -c:v libx264 -pix_fmt yuv420p -movflags +faststart"},
    {".mov", "mov", "-vf pad=ceil(iw/2)*2:ceil(ih/2)*2 -c:v libx264 -pix_fmt yuv420p"},
    {".mkv", "matroska", "-vf pad=ceil(iw/2)*2:ceil(ih/2)*2 -c:v libx264 -pix_fmt yuv420p"},
    {".webm", "webm",
     "-vf pad=ceil(iw/2)*2:ceil(ih/2)*2 -c:v libvpx-vp9 -pix_fmt yuv420p -b:v 0 -crf 32"},
    // A palette made from the frames themselves, rather than a generic one.
    {".gif", "gif", "-vf split[a][b];[a]palettegen=stats_mode=full[p];[b][p]paletteuse"},
};

int ProcessId() {
#if defined(_WIN32)
  return _getpid();
#else
  return static_cast<int>(getpid());
#endif
}

std::string Unique() {
  static std::atomic<int> counter{0};
  return std::to_string(ProcessId()) + "-" + std::to_string(counter++);
}

std::string ShellQuote(const std::string& s) {
#if defined(_WIN32)
  return "\"" + s + "\"";
#else
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
#endif
}

// Whether a folder that exists can take new files; the system's reason when not. A folder may
// pass the permission check and still take no files (/proc, or any folder for an administrator on
// a read-only system), so a file is created there and removed again.
std::string WriteProblem(const fs::path& dir) {
#if !defined(_WIN32)
  if (access(dir.c_str(), W_OK | X_OK) != 0) return std::generic_category().message(errno);
#endif
  const fs::path probe = dir / (".quillstreak-write-test-" + Unique());
  errno = 0;
  std::ofstream file(probe, std::ios::binary);
  if (!file) return std::generic_category().message(errno != 0 ? errno : EACCES);
  file.close();
  std::error_code ec;
  fs::remove(probe, ec);
  return {};
}

}  // namespace

void CheckWritableFolder(const fs::path& dir, const std::string& what) {
  const std::string name = what + " " + dir.string();
  std::error_code ec;
  fs::path existing = dir.empty() ? fs::path(".") : dir;
  while (!fs::exists(existing, ec)) {
    if (ec) throw InputError(name + ": " + ec.message());
    const fs::path parent = existing.parent_path();
    existing = parent.empty() || parent == existing ? fs::path(".") : parent;
  }
  if (!fs::is_directory(existing, ec)) {
    throw InputError(
        name + ": " + existing.string() +
        (existing == dir ? " exists and is not a folder" : " is a file, not a folder"));
  }
  if (const std::string why = WriteProblem(existing); !why.empty()) {
    throw InputError(name + ": cannot write " +
                     (existing == dir ? std::string("to it") : "in " + existing.string()) + ": " +
                     why);
  }
}

fs::path PartialName(const fs::path& path) {
  fs::path partial = path;
  partial += ".partial-" + Unique();
  return partial;
}

namespace {

// Whether `text` is "<digits>-<digits>", the end of a temporary name.
bool IsPartialSuffix(const std::string& text) {
  const auto dash = text.find('-');
  auto digits = [](const std::string& s) {
    return !s.empty() && s.find_first_not_of("0123456789") == std::string::npos;
  };
  return dash != std::string::npos && digits(text.substr(0, dash)) && digits(text.substr(dash + 1));
}

}  // namespace

void RemoveLeftoverPartials(const std::vector<fs::path>& outputs) {
  std::map<fs::path, std::set<std::string>> names;  // by folder
  for (const fs::path& o : outputs) {
    const fs::path folder = o.parent_path().empty() ? fs::path(".") : o.parent_path();
    names[folder].insert(o.filename().string());
  }
  for (const auto& [folder, files] : names) {
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
      const std::string name = it->path().filename().string();
      const auto mark = name.rfind(".partial-");
      if (mark == std::string::npos || !IsPartialSuffix(name.substr(mark + 9))) continue;
      if (files.count(name.substr(0, mark)) == 0) continue;
      std::error_code ignored;
      fs::remove(it->path(), ignored);
    }
  }
}

void PlaceWritten(const fs::path& partial, const fs::path& path) {
  std::error_code ec;
  fs::rename(partial, path, ec);
  if (ec) {
    std::error_code ignored;
    fs::remove(partial, ignored);
    throw RenderError(path.string() + ": " + ec.message());
  }
}

void WritePngWhole(const fs::path& path, const RgbaImage& image, bool opaque,
                   const std::vector<PngSettings>& tries) {
  const fs::path partial = PartialName(path);
  try {
    WritePng(partial.string(), image, opaque, tries);
  } catch (const PngError& e) {
    std::error_code ec;
    fs::remove(partial, ec);
    throw RenderError(path.string() + ": " + e.what());
  }
  PlaceWritten(partial, path);
}

const VideoFormat* VideoFormatFor(const fs::path& path) {
  std::string ext = path.extension().string();
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const auto& f : kFormats)
    if (ext == f.extension) return &f;
  return nullptr;
}

std::string VideoExtensions() {
  std::string out;
  const std::size_t n = std::size(kFormats);
  for (std::size_t i = 0; i < n; ++i)
    out += std::string(i == 0 ? "" : i + 1 == n ? " or " : ", ") + kFormats[i].extension;
  return out;
}

bool ProgramRuns(const std::string& program) {
#if defined(_WIN32)
  const std::string command = ShellQuote(program) + " -version >NUL 2>&1";
#else
  const std::string command = ShellQuote(program) + " -version >/dev/null 2>&1";
#endif
  return std::system(command.c_str()) == 0;
}

VideoWriter::VideoWriter(const std::string& ffmpeg, const fs::path& path, const VideoFormat& format,
                         int width, int height, const std::string& rate)
    : path_(path), width_(width), height_(height) {
  partial_ = path;
  partial_ += ".partial-" + Unique();
  log_ = fs::temp_directory_path() / ("quillstreak-ffmpeg-" + Unique() + ".log");
  std::string encoding = format.encoding;
  // The filter graph holds semicolons and brackets: quote the argument after -vf.
  if (const auto vf = encoding.find("-vf "); vf != std::string::npos) {
    const auto end = encoding.find(' ', vf + 4);
    const std::string graph =
        encoding.substr(vf + 4, end == std::string::npos ? end : end - vf - 4);
    encoding.replace(vf + 4, graph.size(), ShellQuote(graph));
  }
  const std::string command = ShellQuote(ffmpeg) +
                              " -hide_banner -loglevel error -y -f rawvideo -pix_fmt rgba -s " +
                              std::to_string(width) + "x" + std::to_string(height) + " -r " +
                              ShellQuote(rate) + " -i - " + encoding + " -f " + format.muxer + " " +
                              ShellQuote(partial_.string()) + " 2>" + ShellQuote(log_.string());
#if defined(_WIN32)
  pipe_ = _popen(command.c_str(), "wb");
#else
  // A failing ffmpeg must surface as a write error, not end this program.
  std::signal(SIGPIPE, SIG_IGN);
  pipe_ = popen(command.c_str(), "w");
#endif
  if (pipe_ == nullptr) throw RenderError(path_.string() + ": cannot start " + ffmpeg);
}

VideoWriter::~VideoWriter() {
  if (pipe_ != nullptr) Close();
  std::error_code ec;
  fs::remove(partial_, ec);
  fs::remove(log_, ec);
}

int VideoWriter::Close() {
#if defined(_WIN32)
  const int status = _pclose(pipe_);
#else
  const int status = pclose(pipe_);
#endif
  pipe_ = nullptr;
  return status;
}

void VideoWriter::Fail(const std::string& what) {
  if (pipe_ != nullptr) Close();
  std::ifstream in(log_);
  std::string line, last;
  while (std::getline(in, line))
    if (!line.empty()) last = line;
  throw RenderError(path_.string() + ": " + what + (last.empty() ? "" : ": " + last));
}

void VideoWriter::Write(const RgbaImage& image) {
  if (image.width != width_ || image.height != height_) Fail("frames of different sizes");
  if (std::fwrite(image.rgba.data(), 1, image.rgba.size(), pipe_) != image.rgba.size())
    Fail("ffmpeg stopped reading the frames");
}

void VideoWriter::Finish() {
  if (const int status = Close(); status != 0)
    Fail("ffmpeg failed (exit status " + std::to_string(status) + ")");
  std::error_code ec;
  fs::rename(partial_, path_, ec);
  if (ec) throw RenderError(path_.string() + ": " + ec.message());
}

}  // namespace quillstreak::renderer
