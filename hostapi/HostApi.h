// Everything the effect and the substitute host know of the host interface.
#pragma once

#include "A.h"
#include "AE_Effect.h"
#include "AE_EffectSuites.h"
#include "AE_GeneralPlug.h"
#include "LayoutChecks.h"
#include "SPBasic.h"
