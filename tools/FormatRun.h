// quovo-convert's catalogue modes (--list-formats, --format CODE).
#pragma once

namespace quovo {

// When argv asks for a catalogue mode, runs it, sets rc to the exit status and returns true.
bool RunFormatCommands(int argc, char** argv, int& rc);

} // namespace quovo
