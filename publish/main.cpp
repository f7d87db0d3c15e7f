// trelkpublish: the maker's console tool for key pairs, publishing and checking updates.
#include <iostream>
#include <string>
#include <vector>

#include "publish/Publish.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  int code = publish::RunTool(args, std::cout, std::cerr);
  std::cout.flush();
  return code;
}
