// vdkit: inspects, converts and demonstrates the library's file forms.
#include "commands.h"

int main(int argc, char** argv) {
  return vdtool::RunProgram(argc, argv);
}
