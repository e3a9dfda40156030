// Basic host types: fixed-width integer names, time and geometry values.
// Layouts follow the host's Windows x64 ABI; the same declarations hold on Linux x86-64.
#pragma once

#include <cstddef>
#include <cstdint>

#pragma pack(push, 8)

extern "C" {

typedef std::int32_t A_long;
typedef std::uint32_t A_u_long;
typedef std::int16_t A_short;
typedef std::uint16_t A_u_short;
typedef char A_char;
typedef std::uint8_t A_u_char;
typedef std::uint8_t A_Boolean;
typedef A_long A_Err;
typedef void* A_Handle;
typedef double A_FpLong;
typedef float A_FpShort;
typedef A_long A_Fixed;
typedef A_u_long A_UFixed;
typedef std::intptr_t A_intptr_t;
typedef std::uint64_t A_u_longlong;
typedef A_u_longlong A_HandleSize;
typedef A_u_short A_UTF16Char;

typedef struct {
  A_long value;
  A_u_long scale;
} A_Time;

typedef struct {
  A_long num;
  A_u_long den;
} A_Ratio;

typedef struct {
  A_FpLong x;
  A_FpLong y;
} A_FloatPoint;

typedef struct {
  A_FpLong left;
  A_FpLong top;
  A_FpLong right;
  A_FpLong bottom;
} A_FloatRect;

typedef struct {
  A_FpLong mat[4][4];
} A_Matrix4;

enum {
  A_Err_NONE = 0,
  A_Err_GENERIC = 1,
  A_Err_STRUCT = 2,
  A_Err_PARAMETER = 3,
  A_Err_ALLOC = 4,
  A_Err_WRONG_THREAD = 5,
  A_Err_CONST_PROJECT_MODIFICATION = 6,
  A_Err_MISSING_SUITE = 13,
  A_Err_NOT_IN_CACHE_OR_COMPUTE_PENDING = 22,
  A_Err_PROJECT_LOAD_FATAL = 23,
  A_Err_EFFECT_APPLY_FATAL = 24,
  A_Err_LAST = 25
};

}  // extern "C"

#pragma pack(pop)
