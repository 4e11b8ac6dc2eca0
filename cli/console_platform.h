// What the console installer needs from the system it runs on: whether a
// stream is a terminal, Ctrl-C as the window's Stop button, and standard
// output and error that show UTF-8 text on a console and keep its bytes
// anywhere else.
#pragma once

#include <cstdio>
#include <string_view>

#include "core/run_context.h"

namespace zelt20 {

bool IsTerminal(std::FILE* stream);

// The first Ctrl-C sets stop-requested and interrupts a pending answer on
// the terminal (read as Cancel); a second one ends the program.
void InstallInterruptHandler(RunFlags& flags);

// Standard output and error pass bytes unchanged from now on: on Windows no
// "\n" -> "\r\n" translation (the log brings its own "\r\n"). Nothing to do
// on POSIX.
void UseBinaryOutput();

// Writes UTF-8 text to the stream and flushes it. A Windows console gets it
// as UTF-16, whatever its code page; a file or pipe gets the bytes.
void WriteUtf8(std::FILE* stream, std::string_view text);

}  // namespace zelt20
