#pragma once

class CommandLine;

// The program with its windows: one per user and store, the tray icon first, then the main
// window (unless the "Min" option keeps it in the tray).
namespace WindowedProgram {
int run(const CommandLine& commandLine, int argc, char** argv);
} // namespace WindowedProgram
