// The child the process tests start: `args A B...` writes each argument followed by a NUL byte on
// standard output; `count` reads standard input to its end and writes how many bytes it read;
// `fail CODE MESSAGE` writes MESSAGE on standard error and exits with CODE; `wait` reads standard
// input until it ends.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

int main(int argc, char** argv) {
#if defined(_WIN32)
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "args") {
    for (int i = 2; i < argc; ++i) std::fwrite(argv[i], 1, std::strlen(argv[i]) + 1, stdout);
    return 0;
  }
  if (mode == "count" || mode == "wait") {
    char buffer[65536];
    long long total = 0;
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, stdin)) > 0;)
      total += static_cast<long long>(n);
    if (mode == "count") std::printf("%lld", total);
    return 0;
  }
  if (mode == "fail" && argc > 3) {
    std::fprintf(stderr, "%s\n", argv[3]);
    return std::atoi(argv[2]);
  }
  return 64;
}
