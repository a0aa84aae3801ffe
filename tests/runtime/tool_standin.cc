// A stand-in for a system tool that tests put on the PATH under the tool's name: appends its
// arguments, separated by blanks, as one line to the file named by PARVEX_TOOL_LOG.
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  const char* log = std::getenv("PARVEX_TOOL_LOG");
  std::FILE* out = log ? std::fopen(log, "ab") : nullptr;
  if (!out) return 2;
  for (int i = 1; i < argc; ++i) std::fprintf(out, i > 1 ? " %s" : "%s", argv[i]);
  std::fputc('\n', out);
  return std::fclose(out) == 0 ? 0 : 2;
}
