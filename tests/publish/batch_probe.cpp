// batch_probe TEMPLATE TEMPDIR PROGRAMDIR OUT: writes to OUT the "Update.bat" that the update
// wizard makes of a batch template (the folders in their OEM form, no restart line), so that a
// test can run a published template with cmd.exe.
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "base/Exception.h"
#include "base/batch_template.h"

namespace {
std::string Oem(const std::string& text) {
  char buffer[260] = {};
  CharToOemBuffA(text.c_str(), buffer, static_cast<DWORD>(text.size() < 259 ? text.size() : 259));
  return buffer;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: batch_probe TEMPLATE TEMPDIR PROGRAMDIR OUT\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "batch_probe: cannot read %s\n", argv[1]);
    return 1;
  }
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  in.close();
  try {
    std::string batch = base::BuildUpdateBatch(base::SplitTemplateLines(text), Oem(argv[3]), Oem(argv[2]), false, "");
    std::ofstream out(argv[4], std::ios::binary | std::ios::trunc);
    out << batch;
    return out ? 0 : 1;
  } catch (const base::Exception& e) {
    std::fprintf(stderr, "batch_probe: %s\n", e.what());
    return 1;
  }
}
