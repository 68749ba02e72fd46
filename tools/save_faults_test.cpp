// The program's saves with every file operation failed in turn: the command
// fails with a message naming the file, and every file it was to replace is
// either still the old one, byte for byte, or wholly the new one.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "commands.h"
#include "tool.h"
#include "vdkit/platform/fault_test_util.h"

namespace {

using vdtool::Failure;
using vdtool::Out;

const std::string kSamples = VDKIT_SAMPLES;

// Runs a command with its listing held back; false with the message when it
// fails.
bool RunCommand(int (*command)(const std::vector<std::string>&), const std::vector<std::string>& args,
                std::string* message) {
  Out().Hold();
  try {
    const int status = command(args);
    Out().Discard();
    return status == vdtool::kExitOk;
  } catch (const Failure& f) {
    Out().Discard();
    if (message) *message = f.message;
    return false;
  }
}

TEST(SaveFaultsTest, ConvertKeepsTheOldOutput) {
  const struct {
    const char* in;
    const char* out;
    const char* option;
  } conversions[] = {{"wells.tv10", "out.tv10", ""}, {"wells.tv10", "out.xml", ""},
                     {"samples.csv", "out.csv", ""}, {"demo.xml", "out.vdf", "--lossy"},
                     {"demo.vdf", "out.xml", ""},    {"pump.vds", "out.txt", "--as=dataset"},
                     {"survey.vts", "out.vts", ""},  {"wells.vks", "out.vks", "--as=keystrings"},
                     {"survey.sec", "out.sec", ""},  {"grid.xml", "out.xml", ""}};
  for (const auto& c : conversions) {
    SCOPED_TRACE(std::string(c.in) + " -> " + c.out);
    vdtest::ScratchDir dir;
    const std::string out = dir.Path(c.out);
    std::vector<std::string> args = {kSamples + "/" + c.in, out};
    if (*c.option) args.push_back(c.option);
    ASSERT_TRUE(RunCommand(vdtool::RunConvert, args, nullptr));
    const std::string converted = vdtest::ReadAll(out);
    vdtest::WriteAll(out, "old");
    std::string message;
    vdtest::ForEachFaultOfEveryKind(
        [&] { return RunCommand(vdtool::RunConvert, args, &message); },
        [&](const vdtest::FaultRun& run) {
          SCOPED_TRACE(std::string(vdtest::FaultOpName(run.op)) + " " + std::to_string(run.n));
          EXPECT_TRUE(run.Reported());
          EXPECT_EQ(dir.Entries(), std::vector<std::string>{c.out});
          if (run.fired) {
            EXPECT_EQ(vdtest::ReadAll(out), "old");
            // Reads and seeks may fail on the input.
            EXPECT_TRUE(message.rfind(out + ": cannot write: ", 0) == 0 ||
                        message.rfind(kSamples + "/" + c.in + ": ", 0) == 0)
                << message;
            EXPECT_NE(message.find("Input/output error"), std::string::npos);
          } else {
            EXPECT_EQ(vdtest::ReadAll(out), converted);
            vdtest::WriteAll(out, "old");
          }
        });
  }
}

TEST(SaveFaultsTest, DemoLeavesEachFileOldOrWhole) {
  vdtest::ScratchDir whole;  // what the demo writes when nothing fails
  ASSERT_TRUE(RunCommand(vdtool::RunDemo, {whole.Path("")}, nullptr));
  const std::vector<std::string> files = whole.Entries();
  vdtest::ScratchDir dir;
  const auto reset = [&] {
    for (const std::string& f : files) vdtest::WriteAll(dir.Path(f), "old " + f);
  };
  reset();
  std::string message;
  const int ops = vdtest::ForEachFaultOfEveryKind(
      [&] { return RunCommand(vdtool::RunDemo, {dir.Path("")}, &message); },
      [&](const vdtest::FaultRun& run) {
        SCOPED_TRACE(std::string(vdtest::FaultOpName(run.op)) + " " + std::to_string(run.n));
        EXPECT_TRUE(run.Reported()) << message;
        EXPECT_EQ(dir.Entries(), files);
        for (const std::string& f : files) {
          const std::string now = vdtest::ReadAll(dir.Path(f));
          EXPECT_TRUE(now == "old " + f || now == vdtest::ReadAll(whole.Path(f))) << f;
        }
        reset();
      });
  EXPECT_GT(ops, static_cast<int>(files.size()));
}

TEST(SaveFaultsTest, GridLeavesEachOutputOldOrWhole) {
  const char* const names[] = {"g.asc", "g.csv", "g.tv10", "g.png"};
  const auto args = [&](const vdtest::ScratchDir& d) {
    std::vector<std::string> a{kSamples + "/horizon.csv", "--size", "30", "20", "--threads", "1"};
    for (const char* n : names) a.push_back(d.Path(n));
    return a;
  };
  vdtest::ScratchDir whole;
  ASSERT_TRUE(RunCommand(vdtool::RunGrid, args(whole), nullptr));
  vdtest::ScratchDir dir;
  const auto reset = [&] {
    for (const char* n : names) vdtest::WriteAll(dir.Path(n), "old");
  };
  reset();
  std::string message;
  vdtest::ForEachFaultOfEveryKind(
      [&] { return RunCommand(vdtool::RunGrid, args(dir), &message); },
      [&](const vdtest::FaultRun& run) {
        SCOPED_TRACE(std::string(vdtest::FaultOpName(run.op)) + " " + std::to_string(run.n));
        EXPECT_TRUE(run.Reported()) << message;
        EXPECT_EQ(dir.Entries().size(), std::size(names));
        for (const char* n : names) {
          const std::string now = vdtest::ReadAll(dir.Path(n));
          EXPECT_TRUE(now == "old" || now == vdtest::ReadAll(whole.Path(n))) << n;
        }
        reset();
      });
}

}  // namespace
