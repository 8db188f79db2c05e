// A stand-in for a processor that needs memory: `allocate-memory MIB` allocates that many MiB
// and writes to every page of it; it exits with 0 when it got them, 3 when the allocation
// was refused. Tests use it to check the processor memory limit where no shell can allocate
// (cmd.exe).
#include <cstdlib>
#include <cstring>
#include <new>

int main(int argc, char** argv) {
  if (argc != 2)
    return 2;
  std::size_t bytes = static_cast<std::size_t>(std::strtoull(argv[1], nullptr, 10)) << 20;
  char* memory = new (std::nothrow) char[bytes];
  if (memory == nullptr)
    return 3;
  for (std::size_t at = 0; at < bytes; at += 4096)
    memory[at] = 1;
  int sum = 0;
  for (std::size_t at = 0; at < bytes; at += 4096)
    sum += memory[at];
  delete[] memory;
  return sum > 0 ? 0 : 4;
}
