// The program: the command line, then the module, the plan and the render job, and the exit code.
#include "renderer/Renderer.h"

#include <algorithm>
#include <cerrno>
#include <iostream>
#include <optional>
#include <sstream>

#include "cli/CommandLine.h"
#include "cli/ModulePath.h"
#include "cli/PlanFromOptions.h"
#include "cli/Report.h"
#include "platform/Interrupts.h"
#include "platform/Platform.h"
#include "render/Estimate.h"
#include "render/Job.h"
#include "render/Plan.h"
#include "render/Progress.h"
#include "renderer/FrameList.h"
#include "renderer/InputError.h"
#include "renderer/PngFrameFormat.h"
#include "renderer/RenderSession.h"

namespace quillstreak::renderer {
namespace {

// Loads the module, naming where its path came from when it cannot be loaded.
void OpenSession(std::optional<RenderSession>& session, const Options& opt, const char* argv0) {
  const ModuleChoice module = ChooseModule(opt.plugin, argv0);
  try {
    session.emplace(module.path, opt.threads);
  } catch (const InputError& e) {
    throw InputError(std::string(e.what()) + " (" + module.origin + ")");
  }
}

void WarnUnusedOptions(const Plan& plan, const Options& opt, const Console& io) {
  if (!plan.sheet && !opt.sheetOption.empty()) {
    Warn(io, plan.report,
         opt.sheetOption +
             " applies to the contact sheet, which this render does not write (add "
             "--contact-sheet)");
  }
}

// A render whose frames drew no trail copy says why it most likely drew none.
void WarnWithoutCopies(const RenderCounts& counts, const Plan& plan, RenderSession& session,
                       const Console& io) {
  if (counts.copies.empty() ||
      std::any_of(counts.copies.begin(), counts.copies.end(), [](int c) { return c > 0; }))
    return;
  const std::string why = session.NoCopiesReason(plan.frames);
  Warn(io, plan.report, "no frame drew a trail copy" + (why.empty() ? std::string() : ": " + why));
}

int Run(const Options& opt, const char* argv0, const Console& io) {
  std::optional<RenderSession> opened;
  OpenSession(opened, opt, argv0);
  RenderSession& session = *opened;
  if (opt.listParams) {
    if (opt.json)
      PrintParameterRecords(session.catalog(), io.out);
    else
      io.out << session.catalog().Listing();
    return kExitOk;
  }
  Plan plan = MakePlan(opt, session.catalog(), io);
  for (const auto& w : plan.scene.warnings) Warn(io, plan.report, w);
  for (const auto& w : plan.warnings) Warn(io, plan.report, w);
  WarnUnusedOptions(plan, opt, io);
  if (opt.dryRun) {
    const JobEstimate estimate = EstimateJob(plan, session);
    PrintDryRun(plan, session.catalog(), estimate, io.out);
    if (const std::string warning = SpaceWarning(plan, session, &estimate); !warning.empty())
      Warn(io, plan.report, warning);
    return kExitOk;
  }
  if (const std::string warning = SpaceWarning(plan, session); !warning.empty())
    Warn(io, plan.report, warning);
  const std::size_t before = session.copies().size();  // the estimate's frames
  RenderCounts counts = RunRenderJob(plan, session, io);
  counts.copies.assign(session.copies().begin() + static_cast<std::ptrdiff_t>(before),
                       session.copies().end());
  WarnWithoutCopies(counts, plan, session, io);
  PrintSummary(plan, session.catalog(), counts, io.out);
  return kExitOk;
}

// A render stopped by a signal: what it kept, and an exit code of 128 + the signal.
int Stopped(const Interrupted& e, const Options& opt, const Console& io) {
  const auto frames = [](long n) { return std::to_string(n) + (n == 1 ? " frame" : " frames"); };
  std::string message = "interrupted after " + std::to_string(e.done) + " of " + frames(e.total);
  message += e.frameFiles
                 ? "; " + std::to_string(e.done) + " complete " +
                       (e.done == 1 ? "frame" : "frames") + " kept; resume with --skip-existing"
                 : "; nothing written";
  const int code = 128 + e.signal;
  if (opt.json) {
    WriteJsonLine(io.out, {{"event", "interrupted"},
                           {"signal", SignalName(e.signal)},
                           {"done", e.done},
                           {"total", e.total},
                           {"exit_code", code},
                           {"message", message}});
  }
  io.err << kProgram << ": " << message << "\n";
  return code;
}

}  // namespace

std::string FrameFileName(long frame, int digits) {
  return NamePattern(digits, kPngExtension).Name(frame);
}

int RunRenderer(int argc, const char* const* argv, const Console& io) {
  Options opt;
  if (const auto done = ParseCommandLine(argc, argv, io, opt)) return *done;
  const char* argv0 = argc > 0 ? argv[0] : nullptr;
  auto fail = [&](const std::exception& e, int code) {
    if (opt.json) {
      WriteJsonLine(io.out, {{"event", "error"}, {"exit_code", code}, {"message", e.what()}});
    }
    io.err << kProgram << ": " << e.what() << "\n";
    return code;
  };
  try {
    const int code = Run(opt, argv0, io);
    errno = 0;
    io.out.flush();
    if (!io.out && errno == EPIPE) NoteBrokenPipe();
    return BrokenPipe() ? 128 + kBrokenPipeSignal : code;
  } catch (const Interrupted& e) {
    return Stopped(e, opt, io);
  } catch (const InputError& e) {
    return fail(e, kExitBadInput);
  } catch (const std::exception& e) {
    return fail(e, kExitRenderFailed);
  }
}

int RunRenderer(int argc, const char* const* argv, std::ostream& out, std::ostream& err,
                bool errIsTerminal) {
  std::istringstream none;
  return RunRenderer(argc, argv, Console{none, out, err, errIsTerminal, 80});
}

int RunRenderer(int argc, char** argv) {
  IgnoreBrokenPipe();
  const TerminalInfo terminal = StandardErrorTerminal();
  return RunRenderer(argc, argv,
                     Console{std::cin, std::cout, std::cerr, terminal.terminal, terminal.columns});
}

}  // namespace quillstreak::renderer
