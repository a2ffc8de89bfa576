#include "gui/win32/dialog_calls.h"

namespace kavlen::win32 {

std::string ChooserFilter(const std::string& filter) {
  std::string out = filter;
  for (char& c : out)
    if (c == '|') c = '\0';
  // The chooser reads pairs until an empty name: two nuls end the list.
  while (out.size() < 2 || out[out.size() - 1] != '\0' || out[out.size() - 2] != '\0')
    out += '\0';
  return out;
}

}  // namespace kavlen::win32
