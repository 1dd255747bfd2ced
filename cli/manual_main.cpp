// SPDX-License-Identifier: MIT
// rt420ctl-manual TEMPLATE PAGE: writes rt420ctl's manual page, the
// template's hand-written parts with the sections generated from the table
// that prints --help. A build tool, not installed.

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "cli_manual.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: rt420ctl-manual TEMPLATE PAGE\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  if (!in) {
    std::fprintf(stderr, "rt420ctl-manual: cannot read %s\n", argv[1]);
    return 1;
  }
  std::string page, error;
  if (!FillManual(text.str(), page, error)) {
    std::fprintf(stderr, "rt420ctl-manual: %s: %s\n", argv[1], error.c_str());
    return 1;
  }
  std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
  out << page;
  out.close();
  if (!out) {
    std::fprintf(stderr, "rt420ctl-manual: cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
