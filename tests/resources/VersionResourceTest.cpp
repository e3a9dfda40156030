// The version resource as Windows reads it from the built module (GetFileVersionInfo, the call
// behind the file's properties and the installer's GetDLLVersion): the project version, the same
// as the version the module reports to the host (frame/Identity.h), and the names. The module is
// the built one, or the one QUILLSTREAK_MODULE names (a signed copy, for instance).
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "frame/Identity.h"
#include "host/Module.h"

namespace {

class VersionResource : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string path = quillstreak::host::DefaultModulePath();
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    ASSERT_NE(size, 0u) << "no version resource in " << path << ", error " << GetLastError();
    data_.resize(size);
    ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, data_.data()));
  }

  const VS_FIXEDFILEINFO* Fixed() {
    void* block = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(data_.data(), "\\", &block, &length) || length < sizeof(VS_FIXEDFILEINFO)) {
      return nullptr;
    }
    return static_cast<const VS_FIXEDFILEINFO*>(block);
  }

  std::string String(const char* name) {
    void* block = nullptr;
    UINT length = 0;
    const std::string path = std::string("\\StringFileInfo\\040904B0\\") + name;
    if (!VerQueryValueA(data_.data(), path.c_str(), &block, &length) || length == 0) {
      return "<missing>";
    }
    return std::string(static_cast<const char*>(block));
  }

  std::vector<char> data_;
};

TEST_F(VersionResource, FileAndProductVersionAreTheProjectVersion) {
  const VS_FIXEDFILEINFO* fixed = Fixed();
  ASSERT_NE(fixed, nullptr);
  EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
  for (DWORD ms : {fixed->dwFileVersionMS, fixed->dwProductVersionMS}) {
    EXPECT_EQ(HIWORD(ms), QS_PROJECT_VERSION_MAJOR);
    EXPECT_EQ(LOWORD(ms), QS_PROJECT_VERSION_MINOR);
  }
  for (DWORD ls : {fixed->dwFileVersionLS, fixed->dwProductVersionLS}) {
    EXPECT_EQ(HIWORD(ls), QS_PROJECT_VERSION_PATCH);
    EXPECT_EQ(LOWORD(ls), 0);
  }
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));
  EXPECT_EQ(String("FileVersion"), QS_PROJECT_VERSION);
  EXPECT_EQ(String("ProductVersion"), QS_PROJECT_VERSION);
}

// The installer compares the version resource; the host reads the version from global setup.
// Both must name the same release.
TEST_F(VersionResource, AgreesWithTheVersionTheModuleReportsToTheHost) {
  const VS_FIXEDFILEINFO* fixed = Fixed();
  ASSERT_NE(fixed, nullptr);
  EXPECT_EQ(HIWORD(fixed->dwFileVersionMS), quillstreak::kVersionMajor);
  EXPECT_EQ(LOWORD(fixed->dwFileVersionMS), quillstreak::kVersionMinor);
  EXPECT_EQ(HIWORD(fixed->dwFileVersionLS), quillstreak::kVersionBugfix);
}

TEST_F(VersionResource, NamesTheProductCompanyAndFile) {
  EXPECT_EQ(String("ProductName"), "Quillstreak");
  EXPECT_EQ(String("InternalName"), "Quillstreak");
  EXPECT_EQ(String("OriginalFilename"), "Quillstreak.aex");
  EXPECT_EQ(String("CompanyName"), QS_PUBLISHER);
  EXPECT_NE(String("FileDescription").find("Quillstreak"), std::string::npos);
}

}  // namespace
