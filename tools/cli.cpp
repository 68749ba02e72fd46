// The program's entry: the command table, the top-level help, option parsing
// and the translation of every way a command can end into an exit status.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "commands.h"
#include "demo_classes.h"
#include "long_work.h"
#include "tool.h"
#include "vdkit/platform/file.h"

namespace vdtool {

namespace {

const char kProgramHelp[] =
    "Usage: vdkit COMMAND [OPTIONS] [ARGUMENTS]\n"
    "\n"
    "Inspects, converts and demonstrates the file forms of the vdkit library.\n"
    "\n"
    "Commands:\n"
    "  info FILE...     recognise each file's form by its content and summarise it\n"
    "  dump FILE        print the whole content of a file in readable form\n"
    "  convert IN OUT   object archive <-> XML document; table file <-> CSV <-> XML\n"
    "  grid SAMPLES OUT...\n"
    "                   grid scattered samples into an ESRI ASCII grid, CSV, a table\n"
    "                   or a picture\n"
    "  demo [DIR]       build a small disk, save it in every form, read it all back\n"
    "  help [COMMAND]   this text, or a command's\n"
    "\n"
    "Forms (the keywords of --as and --to):\n"
    "  vdf           binary object archive, \"VDFc\"              .vdf\n"
    "  xml           XML object document                        .xml\n"
    "  table         table file, \"TV10\"                         .tv10\n"
    "  csv           table as CSV, a header of field definitions .csv\n"
    "  tableset      table-set stream                           .vts\n"
    "  dataset       data set, binary form                      .vds\n"
    "  dataset-text  data set, text form                         .txt\n"
    "  keystrings    key-string-array file                      .vks\n"
    "  secfile       section file, \"SECF\"                       .sec\n"
    "  keyprofile    key profile, XML <DataSet>                 .xml\n"
    "  jobparams     operator parameter file, XML <JobParameters> (read only)\n"
    "Table-set streams without tables, binary data sets and key-string-array files\n"
    "carry no mark of their own: their extension names them, or --as does.\n"
    "\n"
    "Long work shows its progress on standard error when that is a terminal;\n"
    "--quiet, which every command takes, silences it.\n"
    "\n"
    "Every command takes --help. Exit status: 0 on success; 1 when a file cannot\n"
    "be read, is not valid or cannot be written (one message names the file and\n"
    "what is wrong); 2 on wrong usage.\n";

struct CommandEntry {
  const char* name;
  int (*run)(const std::vector<std::string>&);
  const char* help;
};

const CommandEntry kCommands[] = {
    {"info", RunInfo, kInfoHelp}, {"dump", RunDump, kDumpHelp}, {"convert", RunConvert, kConvertHelp},
    {"grid", RunGrid, kGridHelp}, {"demo", RunDemo, kDemoHelp},
};

const CommandEntry* FindCommand(const std::string& name) {
  for (const CommandEntry& c : kCommands)
    if (name == c.name) return &c;
  return nullptr;
}

int RunHelp(const std::vector<std::string>& args) {
  if (args.empty()) {
    Out().Write(kProgramHelp);
    return kExitOk;
  }
  if (args.size() > 1) FailUsage("help", "one COMMAND at a time");
  if (args[0] == "help" || args[0] == "--help" || args[0] == "formats") {
    Out().Write(kProgramHelp);
    return kExitOk;
  }
  const CommandEntry* c = FindCommand(args[0]);
  if (!c) FailUsage("help", "unknown command " + Quoted(args[0]) + " (try 'vdkit --help')");
  Out().Write(c->help);
  return kExitOk;
}

int Dispatch(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) FailUsage("", "no command given (try 'vdkit --help')");
  const std::string command = args[0];
  args.erase(args.begin());
  if (command == "--help" || command == "-h" || command == "help") return RunHelp(args);
  if (command == "--version") {
    Out().Line("vdkit 0.1.0");
    return kExitOk;
  }
  const CommandEntry* c = FindCommand(command);
  if (!c) FailUsage("", "unknown command " + Quoted(command) + " (try 'vdkit --help')");
  // Progress goes to standard error when it is a terminal, unless --quiet;
  // not over a listing on the same terminal.
  const auto end = std::find(args.begin(), args.end(), "--");
  const bool quiet = std::find(args.begin(), end, "--quiet") != end;
  const bool listing = command == "info" || command == "dump";
  EnableProgress(!quiet && ::isatty(2) && !(listing && ::isatty(1)));
  return c->run(args);
}

}  // namespace

CommandLine::CommandLine(const std::string& command, const std::vector<std::string>& args,
                         std::vector<OptionDef> defs)
    : m_command(command) {
  defs.push_back({"help", false});
  defs.push_back({"quiet", false});
  bool options = true;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (!options || a.size() < 2 || a[0] != '-') {
      m_operands.push_back(a);
      continue;
    }
    if (a == "--") {
      options = false;
      continue;
    }
    std::string name = a == "-h" ? "help" : a.compare(0, 2, "--") == 0 ? a.substr(2) : "";
    if (name.empty())
      FailUsage(command, "unknown option " + Quoted(a) + " (try 'vdkit " + command + " --help')");
    std::string value;
    const size_t eq = name.find('=');
    const bool inlineValue = eq != std::string::npos;
    if (inlineValue) {
      value = name.substr(eq + 1);
      name.resize(eq);
    }
    const OptionDef* option = nullptr;
    for (const OptionDef& d : defs)
      if (name == d.name) option = &d;
    if (!option) FailUsage(command, "unknown option " + Quoted(a) + " (try 'vdkit " + command + " --help')");
    std::vector<std::string> values;
    if (option->takesValue && !inlineValue) {
      for (int k = 0; k < option->values; ++k) {
        if (i + 1 >= args.size()) break;
        values.push_back(args[++i]);
      }
    } else if (option->takesValue) {
      for (size_t from = 0;;) {
        const size_t comma = option->values > 1 ? value.find(',', from) : std::string::npos;
        values.push_back(value.substr(from, comma == std::string::npos ? comma : comma - from));
        if (comma == std::string::npos) break;
        from = comma + 1;
      }
    } else if (inlineValue) {
      FailUsage(command, "--" + name + " takes no value");
    }
    if (option->takesValue) {
      const bool empty =
          std::any_of(values.begin(), values.end(), [](const std::string& v) { return v.empty(); });
      if (static_cast<int>(values.size()) != option->values || empty)
        FailUsage(command,
                  "--" + name +
                      (option->values == 1 ? " needs a value" : Format(" needs %d values", option->values)));
    }
    m_options.emplace_back(name, std::move(values));
  }
}

bool CommandLine::Has(const std::string& name) const {
  for (const auto& o : m_options)
    if (o.first == name) return true;
  return false;
}

std::vector<std::string> CommandLine::Values(const std::string& name) const {
  std::vector<std::string> values;
  for (const auto& o : m_options)
    if (o.first == name) values = o.second;  // the last one given wins
  return values;
}

std::string CommandLine::Value(const std::string& name) const {
  const std::vector<std::string> values = Values(name);
  return values.empty() ? "" : values[0];
}

int RunProgram(int argc, char** argv) {
  RegisterDemoClasses();
  int status = kExitOk;
  std::string message;
  try {
    status = Dispatch(argc, argv);
    Out().Finish();
  } catch (const Failure& f) {
    status = f.status;
    message = f.message;
  } catch (CException* e) {
    // The platform layer's file errors; the commands catch those they expect.
    message = "file error: " + ExceptionText(e);
    e->Delete();
    status = kExitBadFile;
  } catch (const std::bad_alloc&) {
    status = kExitBadFile;
    message = "out of memory";
  }
  if (!message.empty()) {
    // Whatever was listed before the failure goes out first, then the message.
    try {
      Out().Finish();
    } catch (const Failure&) {
    }
    std::fprintf(stderr, "vdkit: %s\n", message.c_str());
  }
  return status;
}

}  // namespace vdtool
