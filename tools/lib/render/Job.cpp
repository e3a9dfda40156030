#include "render/Job.h"

#include <algorithm>
#include <thread>

#include "platform/Interrupts.h"
#include "platform/Platform.h"
#include "render/Claims.h"
#include "render/Progress.h"
#include "render/Sinks.h"
#include "renderer/FrameImage.h"
#include "renderer/FrameWriter.h"
#include "renderer/InputError.h"
#include "renderer/RenderSession.h"

namespace quillstreak::renderer {
namespace {

namespace fs = std::filesystem;

void CreateFolder(const fs::path& folder, const std::string& what) {
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (ec) throw RenderError("cannot create the folder " + what + ": " + ec.message());
}

class RenderJob {
 public:
  RenderJob(Plan& plan, RenderSession& session, const Console& io)
      : plan_(plan),
        session_(session),
        io_(io),
        runs_(std::max<std::size_t>(1, plan.variants.size())),
        progress_(io.out, io.err, plan.report, io.columns,
                  static_cast<long>(runs_ * plan.frames.size())),
        writer_(plan.threads, plan.frameFormat, plan.frameRecord),
        sheet_(plan),
        video_(plan) {}

  RenderCounts Run();

 private:
  void Frame(std::size_t run, std::size_t i);
  bool KeepWhole(const Output& file);
  bool needPicture() const { return sheet_.wanted() || video_.wanted(); }

  Plan& plan_;
  RenderSession& session_;
  const Console& io_;
  std::size_t runs_;
  Progress progress_;
  FrameWriter writer_;
  ContactSheetSink sheet_;
  VideoSink video_;
  RgbaImage picture_;  // the frame for the contact sheet and the video, reused
  RenderCounts counts_;
};

// Stops the render when a signal has come (see Interrupts.h).
void StopIfInterrupted() {
  if (const int signal = InterruptSignal()) throw Interrupted(signal);
}

RenderCounts RenderJob::Run() {
  try {
    for (std::size_t run = 0; run < runs_; ++run) {
      session_.Prepare(plan_.variants.empty() ? plan_.scene : plan_.variants[run],
                       plan_.downsample);
      for (std::size_t i = 0; i < plan_.frames.size(); ++i) {
        StopIfInterrupted();
        Frame(run, i);
      }
    }
    writer_.Finish();
    StopIfInterrupted();
    sheet_.Finish(session_.catalog());
    StopIfInterrupted();
    video_.Finish();
  } catch (Interrupted& stop) {
    // The frames handed to the writers are complete: they are put in place. The video's encoder
    // is ended and its file removed as the job ends.
    writer_.Finish();
    progress_.Interrupt();
    stop.done = progress_.done();
    stop.total = static_cast<long>(runs_ * plan_.frames.size());
    stop.frameFiles = !plan_.frameFiles.empty();
    throw;
  } catch (...) {
    // The frames before the failure are written, as they would be one after the other.
    try {
      writer_.Finish();
    } catch (...) {
      progress_.Interrupt();
      throw;
    }
    progress_.Interrupt();
    throw;
  }
  counts_.seconds = progress_.Seconds();
  return counts_;
}

void RenderJob::Frame(std::size_t run, std::size_t i) {
  const long f = plan_.frames[i];
  const Output* file = plan_.frameFiles.empty() ? nullptr : &plan_.frameFiles[i];
  const bool keep = file != nullptr && file->exists && plan_.skipExisting && KeepWhole(*file);
  const PF_Pixel background = session_.background();
  if (keep) {
    ++counts_.kept;
    // The kept file (read whole by KeepWhole) is the picture, unless it holds the effect layer
    // alone.
    if (needPicture() && plan_.alpha)
      FrameToRgba(session_.Render(f, false).frame, background, picture_);
  } else {
    FramePictures pictures = session_.Render(f, plan_.alpha);
    ++counts_.rendered;
    if (needPicture()) FrameToRgba(pictures.frame, background, picture_);
    if (file != nullptr) {
      // A damaged frame file is replaced; any other file there is only with --overwrite.
      writer_.Write(file->path, std::move(plan_.alpha ? pictures.effectLayer : pictures.frame),
                    plan_.alpha, background,
                    plan_.overwrite || (file->exists && plan_.skipExisting));
    }
  }
  if (sheet_.wanted()) sheet_.Add(picture_, sheet_.Label(run, f));
  if (video_.wanted()) video_.Add(picture_);
  const std::string shown = file != nullptr ? file->path.string()
                            : plan_.video   ? plan_.video->path.string()
                                            : plan_.sheet->path.string();
  writer_.Then([this, f, shown, keep] { progress_.FrameDone(f, shown, keep); });
}

// Reads a frame file to be kept completely (every chunk's CRC, the image data to its end): a
// damaged one is rendered again. The plan has checked its size, kind and settings.
bool RenderJob::KeepWhole(const Output& file) {
  try {
    RgbaImage whole = plan_.frameFormat->ReadWhole(file.path.string());
    if (needPicture() && !plan_.alpha) picture_ = std::move(whole);
    return true;
  } catch (const FrameFileError& e) {
    progress_.Interrupt();
    Warn(io_, plan_.report,
         file.path.string() + " is damaged (" + e.what() + "): rendering it again");
    return false;
  }
}

}  // namespace

RenderCounts RunRenderJob(Plan& plan, RenderSession& session, const Console& io) {
  const InterruptCatcher catcher;
  if (!plan.frameFiles.empty() || plan.sheet) CreateFolder(plan.outDir, plan.outDir.string());
  if (plan.video && !plan.video->path.parent_path().empty())
    CreateFolder(plan.video->path.parent_path(), "of " + plan.video->path.string());
  // Before anything is written: no other render writes these files now, nor until this ends.
  const Claims claims(plan);
  std::vector<fs::path> outputs;
  for (const Output& o : plan.frameFiles) outputs.push_back(o.path);
  if (plan.sheet) outputs.push_back(plan.sheet->path);
  if (plan.video) outputs.push_back(plan.video->path);
  RemoveLeftoverPartials(outputs);
  if (plan.sheet && plan.painter == nullptr)
    Warn(io, plan.report, "contact sheet without labels: " + plan.fontProblem);
  KeepFreedMemory();
  return RenderJob(plan, session, io).Run();
}

}  // namespace quillstreak::renderer
