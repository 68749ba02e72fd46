// The program's commands and its command-line conventions.
//
// Every command takes --help; options may stand anywhere among the operands,
// as "--name value" or "--name=value"; "--" ends the options. A command
// returns its exit status or throws Failure.
#pragma once

#include <string>
#include <vector>

namespace vdtool {

struct OptionDef {
  const char* name;  // without the leading "--"
  bool takesValue;
};

// The parsed arguments of one command. Unknown options and options without
// their value are usage failures naming the command.
class CommandLine {
 public:
  CommandLine(const std::string& command, const std::vector<std::string>& args, std::vector<OptionDef> defs);
  bool Has(const std::string& name) const;
  // The option's value, or "" when it is absent.
  std::string Value(const std::string& name) const;
  const std::vector<std::string>& Operands() const { return m_operands; }
  const std::string& Command() const { return m_command; }

 private:
  std::string m_command;
  std::vector<std::pair<std::string, std::string>> m_options;
  std::vector<std::string> m_operands;
};

int RunInfo(const std::vector<std::string>& args);
int RunDump(const std::vector<std::string>& args);
int RunConvert(const std::vector<std::string>& args);
int RunDemo(const std::vector<std::string>& args);

// The help texts.
extern const char kInfoHelp[];
extern const char kDumpHelp[];
extern const char kConvertHelp[];
extern const char kDemoHelp[];

// Runs the program: listings on standard output, the one-line message of a
// failure on standard error; returns the exit status.
int RunProgram(int argc, char** argv);

}  // namespace vdtool
