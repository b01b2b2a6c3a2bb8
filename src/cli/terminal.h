// What the command shows on the terminal: its own lines only, with text from files made safe to show, and
// the chatter of the libraries it uses kept away unless --verbose asks for it.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

// The stream the command's own messages and progress go to: standard error as it was when the command
// started, whatever QuietLibraries does to it meanwhile.
std::FILE* Messages();

// Let the libraries' own messages through (--verbose).
void SetVerbose(bool verbose);
bool Verbose();

// While alive (on any thread, nested or not), what the libraries write to standard error themselves
// (libpng's "libpng error" lines, encoder banners) goes nowhere, unless verbose.
class QuietLibraries {
 public:
  QuietLibraries();
  ~QuietLibraries();
  QuietLibraries(const QuietLibraries&) = delete;
  QuietLibraries& operator=(const QuietLibraries&) = delete;

 private:
  bool active_ = false;
};

// `text` fit for one terminal line: control characters, DEL and bytes of broken UTF-8 as \xHH (tab, line
// feed and carriage return as \t \n \r), and text beyond `limit` bytes cut in the middle, where "..."
// stands for what was left out.
std::string ForTerminal(std::string_view text, std::size_t limit = 1000);

// The shortest digits that read back as exactly `value`: 51.0000001 stays 51.0000001, 51 is "51".
std::string ExactNumber(double value);

// Writes `text` to standard output and flushes it. Throws CliError (output) naming standard output and the
// reason in plain words (a reader that has closed the pipe, a closed stream; else the system's words).
void PrintToStandardOutput(const std::string& text);

// Why standard output could not be written, for the `errno` of the failed write.
std::string StandardOutputFailure(int error);
