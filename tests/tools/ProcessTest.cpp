// Running a program without a shell: the Windows command-line quoting, and a child started with
// a list of arguments, fed and read through pipes, its errors and exit code collected (under Wine
// in the Windows build, where the quoting is what the child reads back).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "renderer/Process.h"

namespace quillstreak::renderer {
namespace {

std::string ReadAll(Process& p) {
  std::string out;
  char buffer[4096];
  for (std::size_t n; (n = p.Read(buffer, sizeof buffer)) > 0;) out.append(buffer, n);
  return out;
}

TEST(Process, WindowsArgumentsAreQuotedAsTheCRuntimeReadsThem) {
  const struct {
    std::string arg, quoted;
  } cases[] = {
      {"plain", "plain"},
      {"", "\"\""},
      {"two words", "\"two words\""},
      {"tab\there", "\"tab\there\""},
      {"say \"hi\"", "\"say \\\"hi\\\"\""},
      {"C:\\folder\\", "C:\\folder\\"},              // no quotes needed: backslashes stay single
      {"C:\\my folder\\", "\"C:\\my folder\\\\\""},  // doubled before the closing quote
      {"a\\\"b", "\"a\\\\\\\"b\""},                  // doubled before an escaped quote
      {"a\\\\b c", "\"a\\\\b c\""},                  // not before anything else
      {"%PATH%", "%PATH%"},                          // no shell: nothing is expanded
      {"x&y|z>w", "x&y|z>w"},
  };
  for (const auto& c : cases) EXPECT_EQ(QuoteWindowsArgument(c.arg), c.quoted) << c.arg;
  EXPECT_EQ(WindowsCommandLine({"ffmpeg", "-i", "my clip.mov"}), "ffmpeg -i \"my clip.mov\"");
}

TEST(Process, ArgumentsReachTheChildExactly) {
  const std::vector<std::string> args = {"two words",         "",         "say \"hi\"",
                                         "C:\\my folder\\",   "a\\\\\"b", "%PATH%",
                                         "x&y|z>w;$(id)`id`", "'single'"};
  std::vector<std::string> command = {QS_PROCESS_CHILD, "args"};
  command.insert(command.end(), args.begin(), args.end());
  Process child(command, ProcessPipes{false, true});
  const std::string out = ReadAll(child);
  EXPECT_EQ(child.Wait(), 0);
  std::vector<std::string> got;
  for (std::size_t start = 0, end; (end = out.find('\0', start)) != std::string::npos;
       start = end + 1) {
    got.push_back(out.substr(start, end - start));
  }
  EXPECT_EQ(got, args);
}

TEST(Process, PipesErrorsExitCodesAndFailures) {
  // More than a pipe holds, written before anything is read back.
  Process counter({QS_PROCESS_CHILD, "count"}, ProcessPipes{true, true});
  const std::string chunk(1 << 20, 'x');
  ASSERT_TRUE(counter.Write(chunk.data(), chunk.size()));
  counter.CloseInput();
  EXPECT_EQ(ReadAll(counter), std::to_string(chunk.size()));
  EXPECT_EQ(counter.Wait(), 0);

  Process failing({QS_PROCESS_CHILD, "fail", "3", "Error writing trailer: No space left"});
  EXPECT_EQ(failing.Wait(), 3);
  EXPECT_NE(failing.Errors().find("Error writing trailer: No space left"), std::string::npos)
      << failing.Errors();

  Process waiting({QS_PROCESS_CHILD, "wait"}, ProcessPipes{true, false});
  EXPECT_FALSE(waiting.Poll());
  waiting.Kill();
  EXPECT_NE(waiting.Wait(), 0);
  EXPECT_FALSE(waiting.Write("x", 1) && waiting.Write(chunk.data(), chunk.size()));

  try {
    Process missing({"/no/such/program-here"});
    ADD_FAILURE() << "started a program that does not exist";
  } catch (const ProcessError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("cannot run /no/such/program-here: ", 0), 0u) << e.what();
  }
#if defined(_WIN32)
  EXPECT_THROW(Process({"C:\\tools\\ffmpeg.CMD", "-version"}), ProcessError);
#endif
}

}  // namespace
}  // namespace quillstreak::renderer
