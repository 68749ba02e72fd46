// The program's commands and its command-line conventions.
//
// Every command takes --help; options may stand anywhere among the operands,
// as "--name value" or "--name=value"; "--" ends the options. An option of
// several values takes them as the next arguments ("--size 200 150", so that
// a value may begin with '-') or in one, separated by commas
// ("--size=200,150"). A command returns its exit status or throws Failure.
#pragma once

#include <string>
#include <vector>

namespace vdtool {

struct OptionDef {
  const char* name;  // without the leading "--"
  bool takesValue;
  int values = 1;  // how many, when it takes values
};

// The parsed arguments of one command. Unknown options and options without
// their value are usage failures naming the command.
class CommandLine {
 public:
  CommandLine(const std::string& command, const std::vector<std::string>& args, std::vector<OptionDef> defs);
  bool Has(const std::string& name) const;
  // The option's (first) value, or "" when it is absent.
  std::string Value(const std::string& name) const;
  // All values of the option (the last time it was given); empty when absent.
  std::vector<std::string> Values(const std::string& name) const;
  const std::vector<std::string>& Operands() const { return m_operands; }
  const std::string& Command() const { return m_command; }

 private:
  std::string m_command;
  std::vector<std::pair<std::string, std::vector<std::string>>> m_options;
  std::vector<std::string> m_operands;
};

int RunInfo(const std::vector<std::string>& args);
int RunDump(const std::vector<std::string>& args);
int RunConvert(const std::vector<std::string>& args);
int RunDemo(const std::vector<std::string>& args);
int RunGrid(const std::vector<std::string>& args);

// The help texts.
extern const char kInfoHelp[];
extern const char kDumpHelp[];
extern const char kConvertHelp[];
extern const char kDemoHelp[];
extern const char kGridHelp[];

// Runs the program: listings on standard output, the one-line message of a
// failure on standard error; returns the exit status.
int RunProgram(int argc, char** argv);

}  // namespace vdtool
