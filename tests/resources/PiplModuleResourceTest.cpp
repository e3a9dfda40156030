// The property list as the Windows loader finds it in the built module (or in the one
// QUILLSTREAK_MODULE names: a signed copy, for instance).
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "frame/Identity.h"
#include "host/Module.h"
#include "resources/PiplBuilder.h"

namespace {

class ModuleResource : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string path = quillstreak::host::DefaultModulePath();
    module_ = LoadLibraryA(path.c_str());
    ASSERT_NE(module_, nullptr) << "LoadLibrary(" << path << ") failed, error " << GetLastError();
  }
  void TearDown() override {
    if (module_ != nullptr) FreeLibrary(module_);
  }
  HMODULE module_ = nullptr;
};

BOOL CALLBACK CollectLanguage(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR param) {
  reinterpret_cast<std::vector<WORD>*>(param)->push_back(language);
  return TRUE;
}

BOOL CALLBACK CollectName(HMODULE, LPCSTR, LPSTR name, LONG_PTR param) {
  // Only integer ids are expected; a named entry is recorded as 0.
  const auto id = IS_INTRESOURCE(name) ? static_cast<int>(reinterpret_cast<ULONG_PTR>(name)) : 0;
  reinterpret_cast<std::vector<int>*>(param)->push_back(id);
  return TRUE;
}

LPCSTR ResourceId() { return MAKEINTRESOURCEA(quillstreak::kPiplResourceId); }

TEST_F(ModuleResource, HasOnePiplResourceWithIdAndOnlyLanguage1033) {
  std::vector<int> names;
  EnumResourceNamesA(module_, "PIPL", CollectName, reinterpret_cast<LONG_PTR>(&names));
  EXPECT_EQ(names, std::vector<int>{16000});

  std::vector<WORD> languages;
  EnumResourceLanguagesA(module_, "PIPL", ResourceId(), CollectLanguage,
                         reinterpret_cast<LONG_PTR>(&languages));
  EXPECT_EQ(languages, std::vector<WORD>{1033});
}

TEST_F(ModuleResource, BytesEqualTheBuilderWhicheverCaseTheTypeIsAskedIn) {
  const auto expected = quillstreak::pipl::PiplBytes();
  // The host asks for "PiPL"; type names compare without regard to case.
  for (const char* type : {"PiPL", "PIPL"}) {
    SCOPED_TRACE(type);
    HRSRC info =
        FindResourceExA(module_, type, ResourceId(), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    ASSERT_NE(info, nullptr) << "error " << GetLastError();
    HGLOBAL handle = LoadResource(module_, info);
    ASSERT_NE(handle, nullptr);
    const void* data = LockResource(handle);
    ASSERT_NE(data, nullptr);
    const DWORD size = SizeofResource(module_, info);
    ASSERT_EQ(size, expected.size());
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    EXPECT_EQ(std::vector<std::uint8_t>(bytes, bytes + size), expected);
  }
}

TEST_F(ModuleResource, EntryPointNamedInTheResourceIsExported) {
  EXPECT_NE(GetProcAddress(module_, quillstreak::kEntryPointName), nullptr);
}

}  // namespace
