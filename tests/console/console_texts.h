#pragma once
// Texts ukavlen prints before and instead of any work, and the filling in
// of placeholders such as "{image}" in expected output.

#include <string>

namespace kavlen::test {

inline const std::string kUkavlenBanner =
    "********************************************\n"
    "*     --- UKAVLEN II Tools V2.2 ---        *\n"
    "********************************************\n";

inline const std::string kUkavlenUsage =
    "Usage : UKAVLEN -f [0,1,x] -d [filename] ...\n"
    " -u USB Device Status ...\n"
    " -f Clear Buffer with 0:0x00(Default), 1:0xFF, 2:Unknown\n"
    " -v Verification option is enable \n"
    " -d FileName (Ex: C:\\Rom\\Rom.bin...)\n"
    " -? Help, The message shown now ! \n";

// Every `token` in `text` becomes `value`.
inline void ReplaceAll(std::string& text, const std::string& token, const std::string& value) {
  for (std::size_t at = text.find(token); at != std::string::npos;
       at = text.find(token, at + value.size())) {
    text.replace(at, token.size(), value);
  }
}

}  // namespace kavlen::test
