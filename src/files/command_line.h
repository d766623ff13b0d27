#pragma once
// Command-line text rules shared by the Build, Debug and Edit commands. Pure functions, callable
// from any thread. No command line ever reaches a shell: a line is split here with the Windows
// quoting rules the settings were written for, and the arguments go to the program directly.

#include <string>
#include <string_view>
#include <vector>

// Splits a command line into arguments as CommandLineToArgvW does: blanks and tabs separate
// arguments; double quotes group (and may sit inside an argument); 2n backslashes before a quote
// give n backslashes and the quote groups, 2n+1 give n backslashes and a literal quote; other
// backslashes are literal; "" inside a quoted part is a literal quote. The first argument (the
// program) takes quotes as grouping only and every backslash literally. Leading blanks skipped.
std::vector<std::string> SplitCommandLine(std::string_view commandLine);

// A text with at least one blank or tab is wrapped in double quotes; anything else is
// unchanged. Nothing is escaped.
std::string QuoteIfBlank(const std::string& text);

// The text as a POSIX shell reads it back as one word, for printing a command line that may be
// pasted into a shell: unchanged when it holds only characters a shell takes literally, else in
// single quotes ('\'' for a quote); a control character (a newline in a file name) is printed
// as $'\n' or $'\ooo' outside the quotes, so a printed line never breaks or runs code.
std::string ShellQuote(const std::string& text);
// The arguments shell-quoted and joined with blanks.
std::string ShellQuoteArgs(const std::vector<std::string>& args);

// Removes the file name's extension: from the last dot of the last path component to the end.
// A name without a dot, or a dot only in a folder name, leaves the path unchanged.
std::string PathRemoveExtension(const std::string& path);

// The arguments of a tool setting: a setting that names an existing file as a whole (a path
// with blanks, as the options dialog's browse button stores it) is the program alone; any other
// setting is split as a command line (so "gdb -q" or "\"/opt/my tools/gdb\" -q" work).
std::vector<std::string> ToolArguments(const std::string& setting);
