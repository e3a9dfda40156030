// One frame's plan, carried in a host handle from smart pre-render to smart render.
#pragma once

#include <vector>

#include "hostapi/HostApi.h"

namespace quillstreak {

/// The sample times of one frame, host time values in the frame's time scale, earliest first.
using SampleTimeList = std::vector<A_long>;

struct TrailPlan {
  // Parameter snapshot at the frame's current time.
  double motionThreshold;         // pixels
  A_long timeThreshold;           // steps; after sampling, the probe step in time units
  double shutterTicks;            // whole time units
  PF_LayerDef motionSourceLayer;  // only `data` is consulted: non-null = a layer is chosen
  A_u_char solidFillEnabled;
  PF_Pixel solidColor;
  A_u_char rampFillEnabled;
  PF_Pixel rampStartColor;
  PF_Pixel rampEndColor;
  double opacity;  // factor 0..1
  double samplesRotation;
  double samplesScale;

  // The samples.
  SampleTimeList* sampleTimes;  // owned; destroyed by smart render or when the frame ends
  double sampleCount;           // entries of sampleTimes once sampling is over

  // Working values of the motion search, rewritten at every probe.
  double motionAmount;
  double anchorDeltaX;
  double anchorDeltaY;
  double anchorDeltaZ;
  double anchorDeltaMax;
  double positionDeltaX;
  double positionDeltaY;
  double positionDeltaZ;
  double positionDeltaMax;
  double rotateXAtProbe;
  double rotateXAtBase;
  double rotateXDelta;
  double rotateYAtProbe;
  double rotateYAtBase;
  double rotateYDelta;
  double rotateZAtProbe;
  double rotateZAtBase;
  double rotateZDelta;
  double rotationMotion;
  double scaleRatioX;
  double scaleXAtProbe;
  double scaleXAtBase;
  double scaleDeltaX;
  double scaleRatioY;
  double scaleYAtProbe;
  double scaleYAtBase;
  double scaleDeltaY;
  double scaleMotion;

  // Carried slider values; nothing reads them.
  double leftValue;
  double topValue;
  double rightValue;
  double bottomValue;

  // The basic suite of the command that made the plan, so that the frame-end release can
  // reach the handle suite (it receives nothing but the handle).
  const SPBasicSuite* basicSuite;
};

/// Checkout id of the current frame: sampleCount + 2 truncated to 32 bits (n + 2; n + 1 unused).
A_long CurrentFrameCheckoutId(double sampleCount);

/// Destroys the plan's sample list, if it still has one, and leaves the plan without one.
void DestroySampleTimes(TrailPlan& plan);

/// Given to the host as the frame's pre-render data deleter: destroys what is left of the plan
/// in the handle and disposes of the handle. Never throws.
extern "C" void DeleteTrailPlan(void* pre_render_data);

}  // namespace quillstreak
