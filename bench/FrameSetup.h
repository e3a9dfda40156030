// The frame cases' stage, shared by the frame benchmarks: a 1920x1080 composition at 24 fps
// (time scale 2400, frames of 100 units) with a 1280x720 image layer that slides sideways, the
// effect's parameters for a case, and one frame through the module.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "host/Host.h"
#include "host/Module.h"

namespace quillstreak::bench {

using quillstreak::host::Host;

inline constexpr A_long kFrame = 100;            // time units per frame
inline constexpr A_long kFirstFrameTime = 2000;  // leaves room for the longest window before it
inline constexpr A_long kCycleFrames = 1900;     // frames before the time wraps to the start again

/// The module the benchmarks load (the one built beside them), loaded once.
quillstreak::host::Module& TheModule();

/// Bytes of a rectangle of 8-bit ARGB pixels.
double RectBytes(const PF_LRect& r);

/// Straight ARGB picture: opaque with a soft alpha border and a colour gradient.
quillstreak::host::LayerSource ImageSource(A_long width, A_long height);

/// The frame cases' composition and its sliding 1280x720 layer, the effect's layer.
void SetUpSlidingLayer(Host& host);

/// A host for the module, `setUpScene` (the composition and the effect's layer) done before
/// global and parameter setup. Throws std::runtime_error when a setup command fails.
std::unique_ptr<Host> SetUpHost(const std::function<void(Host&)>& setUpScene);

struct FrameCase {
  int samples;
  bool ramp;
  int downsample;  // 1 = full, 2 = half resolution
  bool cache;
  int step;  // probe step in time units (Time Threshold at full resolution)
};

/// The sliding layer's host with the effect set up for case `c`.
std::unique_ptr<Host> MakeFrameHost(const FrameCase& c);

/// One frame: pre-render, render, end. Returns the bytes the effect's passes moved, or < 0 on
/// error (with `error` set).
double RenderOne(Host& host, A_long time, bool ramp, int expectSamples, std::string& error);

/// `qs_bench_frame --qs-child=<what>`: one memory measurement in a fresh process, printed as
/// key=value lines (FrameMemoryBench.cpp). Returns the process's exit code.
int RunMeasurementChild(const std::string& what);

}  // namespace quillstreak::bench
