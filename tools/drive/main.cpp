// drive: a host simulator that plays scenario files against the plug-in.
#include <iostream>
#include <string>
#include <vector>

#include "drive_command.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  return drive::RunDriveCommand(args, std::cout, std::cerr);
}
