#include "commandline.h"

#include <windows.h>
#include <shellapi.h>

#include <memory>

std::vector<Argument> CommandLineArguments() {
  std::vector<Argument> args;
  int count = 0;
  std::unique_ptr<LPWSTR, decltype(&LocalFree)> argv(CommandLineToArgvW(GetCommandLineW(), &count),
                                                      &LocalFree);
  for (int i = 1; argv && i < count; ++i) {
    Argument arg;
    arg.wide = argv.get()[i];
    arg.exact = ToAnsiExactly(arg.wide, &arg.ansi);
    args.push_back(std::move(arg));
  }
  return args;
}

bool ToAnsiExactly(const std::wstring& wide, std::string* ansi) {
  ansi->clear();
  if (wide.empty()) return true;
  // A UTF-8 code page spells every character, and refuses the default-character question.
  const bool utf8 = GetACP() == CP_UTF8;
  const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
  const int size = static_cast<int>(wide.size());
  BOOL used_default = FALSE;
  const int length = WideCharToMultiByte(CP_ACP, flags, wide.data(), size, nullptr, 0, nullptr,
                                         utf8 ? nullptr : &used_default);
  if (length <= 0 || used_default) return false;
  ansi->assign(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_ACP, flags, wide.data(), size, &(*ansi)[0], length, nullptr,
                      utf8 ? nullptr : &used_default);
  return !used_default;
}

std::string AnsiCodePageName() { return std::to_string(GetACP()); }

bool ParseOptions(const std::vector<Argument>& args, const std::vector<OptionRule>& rules,
                  std::vector<ParsedOption>* parsed, bool* help, std::string* problem) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& text = args[i].ansi;
    if (text == "--help" || text == "-h") {
      *help = true;
      continue;
    }
    ParsedOption option;
    if (text.size() < 2 || text.compare(0, 2, "--") != 0 || !args[i].exact) {
      option.value = args[i];
      parsed->push_back(std::move(option));
      continue;
    }
    const size_t equals = text.find('=');
    const std::string name = text.substr(0, equals);
    for (const OptionRule& rule : rules) {
      if (name == rule.name) option.rule = &rule;
    }
    if (!option.rule) {
      *problem = "unknown option " + name;
      return false;
    }
    if (!option.rule->value) {
      if (equals != std::string::npos) {
        *problem = name + " takes no value";
        return false;
      }
    } else if (equals != std::string::npos) {
      // The value is the rest of the same argument, as typed.
      option.value.wide = args[i].wide.substr(args[i].wide.find(L'=') + 1);
      option.value.exact = ToAnsiExactly(option.value.wide, &option.value.ansi);
    } else if (i + 1 >= args.size()) {
      *problem = name + " needs " + option.rule->value;
      return false;
    } else if (args[i + 1].ansi.compare(0, 2, "--") == 0 && args[i + 1].exact) {
      *problem = name + " needs " + option.rule->value + ", not the option " + args[i + 1].ansi;
      return false;
    } else {
      option.value = args[++i];
    }
    parsed->push_back(std::move(option));
  }
  return true;
}

bool ParseNumber(const std::string& text, unsigned limit, unsigned* value) {
  if (text.empty() || text.size() > 9) return false;
  unsigned number = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    number = number * 10 + static_cast<unsigned>(c - '0');
  }
  if (number > limit) return false;
  *value = number;
  return true;
}
