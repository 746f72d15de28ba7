// Stands in for coff2exe in tests with a real compiler: turns the linked
// image <base> into the program <base>.exe by copying it.
#include <sys/stat.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  std::FILE* in = std::fopen(argv[1], "rb");
  if (!in) return 1;
  const std::string exe = std::string(argv[1]) + ".exe";
  std::FILE* out = std::fopen(exe.c_str(), "wb");
  if (!out) return 1;
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0) std::fwrite(buffer, 1, n, out);
  std::fclose(in);
  if (std::fclose(out) != 0) return 1;
#ifndef _WIN32
  chmod(exe.c_str(), 0755);
#endif
  return 0;
}
