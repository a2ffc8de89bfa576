#include "console/options.h"

#include <cctype>
#include <cstdlib>

namespace kavlen::console {

namespace {

bool IsOption(const std::string& arg) { return !arg.empty() && arg[0] == '-'; }

char LetterOf(const std::string& arg) { return arg.size() > 1 ? arg[1] : '\0'; }

ScanResult Stop(TraceSink& out, const char* message = nullptr) {
  if (message != nullptr) out.Print(message);
  PrintUsage(out);
  return {};
}

}  // namespace

void PrintBanner(TraceSink& out) {
  out.Print("********************************************\n");
  out.Print("*     --- UKAVLEN II Tools V2.2 ---        *\n");
  out.Print("********************************************\n");
}

void PrintUsage(TraceSink& out) {
  out.Print("Usage : UKAVLEN -f [0,1,x] -d [filename] ...\n");
  out.Print(" -u USB Device Status ...\n");
  out.Print(" -f Clear Buffer with 0:0x00(Default), 1:0xFF, 2:Unknown\n");
  out.Print(" -v Verification option is enable \n");
  out.Print(" -d FileName (Ex: C:\\Rom\\Rom.bin...)\n");
  out.Print(" -? Help, The message shown now ! \n");
}

std::uint8_t FillCodeOf(const std::string& value) {
  const char* text = value.c_str();
  while (std::isspace(static_cast<unsigned char>(*text))) ++text;
  const char* digits = text + (*text == '+' || *text == '-' ? 1 : 0);
  if (!std::isdigit(static_cast<unsigned char>(*digits))) return 0;
  // strtol saturates on overflow, and a saturated value is "any other number"
  const long number = std::strtol(text, nullptr, 10);
  if (number == 0) return 0;
  if (number == 1) return 1;
  return 2;
}

ScanResult ScanOptions(const std::vector<std::string>& args, TraceSink& out) {
  if (args.empty()) return Stop(out);
  if (args.size() == 1) {
    if (IsOption(args[0]) && LetterOf(args[0]) == 'u') return {ScanOutcome::StatusCheck, {}};
    return Stop(out);
  }

  ConsoleSettings settings;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (!IsOption(args[i])) continue;  // values of -d and -f, and stray words
    const bool hasNext = i + 1 < args.size();
    switch (LetterOf(args[i])) {
      case 'd':
      case 'D':
        if (!hasNext) return Stop(out, "Miss the filename ...\n");
        if (IsOption(args[i + 1])) return Stop(out, "Miss the download filename ...\n");
        // the whole argument: a path with blanks stays one path, of any length
        settings.fileName = args[i + 1];
        break;
      case 'f':
      case 'F':
        if (!hasNext) {
          out.Print("Miss the clear buffer setting, using default ...\n");
          settings.fillCode = 0;
        } else if (IsOption(args[i + 1])) {
          out.Print("Miss setting, using default ...\n");
          settings.fillCode = 0;
        } else {
          settings.fillCode = FillCodeOf(args[i + 1]);
        }
        break;
      case 'v':
      case 'V':
        settings.verify = true;
        break;
      default:
        return Stop(out);
    }
  }
  if (settings.fileName.empty()) return Stop(out, "No input filename ...\n");
  return {ScanOutcome::Run, settings};
}

}  // namespace kavlen::console
