#include "frame/SuiteCache.h"

namespace quillstreak {

SuiteName NameOf(Suite suite) {
  switch (suite) {
    case Suite::HandleSuite1:
      return {kPFHandleSuite, kPFHandleSuiteVersion1};
    case Suite::Iterate8Suite1:
      return {kPFIterate8Suite, kPFIterate8SuiteVersion1};
    case Suite::WorldTransformSuite1:
      return {kPFWorldTransformSuite, kPFWorldTransformSuiteVersion1};
    case Suite::ANSICallbacksSuite1:
      return {kPFANSISuite, kPFANSISuiteVersion1};
    case Suite::PFInterfaceSuite1:
      return {kAEGPPFInterfaceSuite, kAEGPPFInterfaceSuiteVersion1};
    case Suite::StreamSuite2:
      return {kAEGPStreamSuite, kAEGPStreamSuiteVersion2};
    case Suite::StreamSuite4:
      return {kAEGPStreamSuite, kAEGPStreamSuiteVersion4};
    case Suite::DynamicStreamSuite2:
      return {kAEGPDynamicStreamSuite, kAEGPDynamicStreamSuiteVersion2};
    case Suite::EffectSuite2:
      return {kAEGPEffectSuite, kAEGPEffectSuiteVersion2};
    case Suite::LayerSuite5:
      return {kAEGPLayerSuite, kAEGPLayerSuiteVersion5};
    case Suite::LayerSuite7:
      return {kAEGPLayerSuite, kAEGPLayerSuiteVersion7};
    case Suite::Count:
      break;
  }
  throw PF_Err{PF_Err_INTERNAL_STRUCT_DAMAGED};
}

void RequireBasicSuite(const SPBasicSuite* basic) {
  if (basic == nullptr) {
    throw PF_Err{PF_Err_BAD_CALLBACK_PARAM};
  }
}

SuiteCache::SuiteCache(const SPBasicSuite* basic) : basic_(basic) { RequireBasicSuite(basic_); }

SuiteCache::~SuiteCache() {
  for (std::size_t i = 0; i < slots_.size(); ++i) {
    if (slots_[i] != nullptr && basic_->ReleaseSuite != nullptr) {
      const SuiteName id = NameOf(static_cast<Suite>(i));
      basic_->ReleaseSuite(id.name, id.version);
    }
  }
}

const void* SuiteCache::Acquire(Suite suite) {
  const auto index = static_cast<std::size_t>(suite);
  if (index >= slots_.size()) {
    throw PF_Err{PF_Err_INTERNAL_STRUCT_DAMAGED};
  }
  if (slots_[index] != nullptr) {
    return slots_[index];
  }
  if (basic_->AcquireSuite == nullptr) {
    throw PF_Err{PF_Err_BAD_CALLBACK_PARAM};
  }
  const SuiteName id = NameOf(suite);
  const void* table = nullptr;
  const SPErr result = basic_->AcquireSuite(id.name, id.version, &table);
  if (result != kSPNoError || table == nullptr) {
    throw PF_Err{PF_Err_BAD_CALLBACK_PARAM};
  }
  slots_[index] = table;
  return table;
}

}  // namespace quillstreak
