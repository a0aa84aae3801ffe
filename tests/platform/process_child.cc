// A child program for the process tests, the same on every platform:
//   process_child write FILE CODE [ARG...]  writes $GREETING and each ARG, one a line, to FILE
//                                           and exits with CODE;
//   process_child sleep SECONDS             sleeps, then exits with 0.
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

int main(int argc, char** argv) {
  std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "write" && argc > 3) {
    std::ofstream out(argv[2], std::ios::binary);
    const char* greeting = std::getenv("GREETING");
    out << (greeting ? greeting : "(none)") << '\n';
    for (int i = 4; i < argc; ++i) out << argv[i] << '\n';
    return std::atoi(argv[3]);
  }
  if (mode == "sleep" && argc > 2) {
    std::this_thread::sleep_for(std::chrono::seconds(std::atoi(argv[2])));
    return 0;
  }
  return 100;
}
