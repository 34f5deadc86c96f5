// The drive command as a function, so that tests can run it in-process.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace drive {

// Exit statuses of the drive command.
inline constexpr int ExitOk = 0;
inline constexpr int ExitOutputFailed = 1;  // the trace, chart or summary could not be written
inline constexpr int ExitBadInput = 2;      // the scenario file or the command line is wrong
inline constexpr int ExitPluginFailed = 3;  // the library cannot be loaded or lacks entry points

// Runs `drive SCENARIO [options]` or `drive --check-ini FILE` with args as
// argv[1..]; the summary goes to out, errors and warnings to err, and, with
// showProgress, a progress line for long runs. Returns one of the exit
// statuses above.
int RunDriveCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                    bool showProgress = false);

}  // namespace drive
