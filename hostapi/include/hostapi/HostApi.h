// Everything the effect and the substitute host know of the host interface.
#pragma once

#include "AegpApi.h"
#include "BasicSuite.h"
#include "BasicTypes.h"
#include "EffectApi.h"
#include "EffectSuites.h"
#include "LayoutChecks.h"
