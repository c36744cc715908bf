// The DVD commands of quovo-convert: --list-titles PATH and --list-drives, and loading the DVD
// plug-in when an input is an "opendvd:" name.
#pragma once

namespace quovo {

// Handles the DVD commands. Returns true when the command line was one of them (the program then
// ends with `exitCode`); false to go on with a conversion, with the plug-in loaded when an
// "opendvd:" input needs it (exitCode 1 and true when it cannot be loaded).
bool RunDvdCommands(int argc, char** argv, int& exitCode);

} // namespace quovo
