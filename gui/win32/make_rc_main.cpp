// make-dialogs-rc OUT: writes the dialogs of kavlen as a resource script for
// kavlen.exe. Run by the native build; CTest checks that the script kept in
// gui/win32/ is the one the dialog table gives today.

#include <cstdio>
#include <fstream>

#include "gui/dialog_template.h"
#include "gui/win32/rc_script.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make-dialogs-rc OUT\n");
    return 2;
  }
  std::ofstream out(argv[1], std::ios::binary);
  out << "// Generated from gui/dialog_templates.cpp by make-dialogs-rc; do not edit.\n"
         "// Rebuild it with: scripts/update-dialogs-rc.sh\n\n";
  for (const kavlen::DialogTemplate* dialog :
       {&kavlen::MainDialogTemplate(), &kavlen::AboutDialogTemplate(),
        &kavlen::ResetDialogTemplate()}) {
    out << kavlen::DialogScript(*dialog);
  }
  return out.good() ? 0 : 1;
}
