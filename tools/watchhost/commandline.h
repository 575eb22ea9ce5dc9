// The command line as the user typed it: read in UTF-16 (CommandLineToArgvW) so that a name is
// never mangled on its way in, then spelt in the ANSI code page, which is all the plug-in's
// settings and events can carry. Options are "--name value" or "--name=value".
#pragma once

#include <string>
#include <vector>

struct Argument {
  std::wstring wide;
  std::string ansi;  // the same text in the ANSI code page, when exact is set
  bool exact = false;
};

// The arguments after the program name.
std::vector<Argument> CommandLineArguments();

// Wide text in the ANSI code page only when every character has its own spelling there (no
// best-fit look-alike, no default character).
bool ToAnsiExactly(const std::wstring& wide, std::string* ansi);

// The code page the plug-in's text is in, for messages: "1252".
std::string AnsiCodePageName();

struct OptionRule {
  const char* name;   // "--folder"
  const char* value;  // what its value is, for messages ("a folder"); null for a flag
};

struct ParsedOption {
  const OptionRule* rule = nullptr;  // null: an operand (an argument that is no option)
  Argument value;                    // the option's value, or the operand itself
};

// Splits the arguments by the rules. "--help" and "-h" set *help. False with *problem for an
// unknown option, a flag given a value, or an option without one.
bool ParseOptions(const std::vector<Argument>& args, const std::vector<OptionRule>& rules,
                  std::vector<ParsedOption>* parsed, bool* help, std::string* problem);

// A whole number from 0 to limit, in decimal.
bool ParseNumber(const std::string& text, unsigned limit, unsigned* value);
