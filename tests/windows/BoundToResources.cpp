// A program bound to the resource library as the updater is: through its import library and
// its manifest. Writes the system code into the file named by its one argument.
#include <cstdio>

#include "resourcelib/ResourcesUpd.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  ResChar code[16] = {};
  const size_t length = getSistema(code, 16);
  std::FILE* out = std::fopen(argv[1], "wb");
  if (out == nullptr) return 1;
  for (size_t i = 0; i < length && i < 16; ++i) std::fputc(static_cast<char>(code[i]), out);
  return std::fclose(out) == 0 ? 0 : 1;
}
