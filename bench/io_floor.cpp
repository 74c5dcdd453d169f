// The I/O floor: read the input to its end and write as many bytes as the
// converter's output has, both in large blocks.
//   io_floor <in> <out> <output bytes>

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 4) return 1;
  const int in = open(argv[1], O_RDONLY);
  const int out = open(argv[2], O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (in < 0 || out < 0) return 2;
  std::vector<char> block(1 << 20, 'x');
  while (read(in, block.data(), block.size()) > 0) {
  }
  for (unsigned long long left = std::strtoull(argv[3], nullptr, 10); left > 0;) {
    const std::size_t n = left < block.size() ? left : block.size();
    if (write(out, block.data(), n) != static_cast<ssize_t>(n)) return 3;
    left -= n;
  }
  return close(out) == 0 ? 0 : 3;
}
