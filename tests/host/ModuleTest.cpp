// Loading the built effect module and driving it through the host.
#include <gtest/gtest.h>

#include <stdexcept>

#include "host/Host.h"

namespace {

TEST(Module, MissingFileIsAClearError) {
  try {
    quillstreak::host::Module module("/nonexistent/Quillstreak.so");
    FAIL() << "loaded a missing module";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("/nonexistent/Quillstreak.so"), std::string::npos);
  }
}

TEST(Module, GlobalSetupAboutAndOneFrameRunThroughTheHost) {
  quillstreak::host::Module module(quillstreak::host::DefaultModulePath());
  quillstreak::host::Host host(module);
  ASSERT_EQ(host.GlobalSetup(), PF_Err_NONE);
  EXPECT_EQ(host.records().out_data().my_version, 0x000A9001u);
  EXPECT_TRUE(host.accounts().Clear()) << host.accounts().Describe();
  ASSERT_EQ(host.About(), PF_Err_NONE);
  EXPECT_EQ(std::string(host.records().out_data().return_msg).rfind("Quillstreak", 0), 0u);
  ASSERT_EQ(host.ParamsSetup(), PF_Err_NONE);
  EXPECT_EQ(host.params().declared().size(), 23u);
  EXPECT_TRUE(host.accounts().Clear()) << host.accounts().Describe();

  const quillstreak::host::FrameResult frame = host.RenderFrame(1000);
  EXPECT_EQ(frame.err, PF_Err_NONE) << host.journal().Text();
  EXPECT_TRUE(host.accounts().Clear()) << host.accounts().Describe();
  ASSERT_EQ(frame.frame.width(), 640);
  EXPECT_EQ(frame.frame.at(320, 180).red, 255);  // the still layer, drawn untouched
}

}  // namespace
