// The basic suite: the host's table for acquiring and releasing every other suite.
#pragma once

#include "BasicTypes.h"

#pragma pack(push, 8)

extern "C" {

typedef std::int32_t SPErr;
typedef std::int32_t SPBoolean;  // four bytes on Windows

enum : std::int32_t {
  kSPNoError = 0,
  kSPSuiteNotFoundError = 0x53214664,  // 'S!Fd'
  kSPUnimplementedError = 0x21494D50,  // '!IMP'
  kSPBadParameterError = 0x5061726D,   // 'Parm'
  kSPOutOfMemoryError = -148           // 0xFFFFFF6C
};

#define kSPBasicSuite "SP Basic Suite"
#define kSPBasicSuiteVersion 4

typedef struct SPBasicSuite {
  SPErr (*AcquireSuite)(const char* name, std::int32_t version, const void** suite);
  SPErr (*ReleaseSuite)(const char* name, std::int32_t version);
  SPBoolean (*IsEqual)(const char* token1, const char* token2);
  SPErr (*AllocateBlock)(std::size_t size, void** block);
  SPErr (*FreeBlock)(void* block);
  SPErr (*ReallocateBlock)(void* block, std::size_t newSize, void** newblock);
  SPErr (*Undefined)(void);
} SPBasicSuite;

}  // extern "C"

#pragma pack(pop)
