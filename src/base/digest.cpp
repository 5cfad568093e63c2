#include "base/digest.h"

#include <cstring>

namespace nfy {
namespace {

constexpr std::uint64_t kPrime1 = 0x9E3779B185EBCA87ull, kPrime2 = 0xC2B2AE3D27D4EB4Full,
                        kPrime3 = 0x165667B19E3779F9ull;

std::uint64_t rotl(std::uint64_t x, int r) { return (x << r) | (x >> (64 - r)); }

std::uint64_t round(std::uint64_t acc, std::uint64_t word) { return rotl(acc + word * kPrime2, 31) * kPrime1; }

std::uint64_t word(const char* p) {
  std::uint64_t w;
  std::memcpy(&w, p, 8);
  return w;
}

}  // namespace

std::uint64_t contentDigest(std::string_view bytes) {
  // Four lanes of eight bytes, each multiplied and rotated: a large inbox
  // (megabytes) is digested in about a millisecond, and every byte moves
  // every bit of the result.
  const char* p = bytes.data();
  std::size_t left = bytes.size();
  // (The lanes are four variables, not an array: they stay in registers.)
  std::uint64_t a = kPrime1 + kPrime2, b = kPrime2, c = 0, d = 0 - kPrime1;
  for (; left >= 32; p += 32, left -= 32) {
    a = round(a, word(p));
    b = round(b, word(p + 8));
    c = round(c, word(p + 16));
    d = round(d, word(p + 24));
  }
  std::uint64_t h = rotl(a, 1) + rotl(b, 7) + rotl(c, 12) + rotl(d, 18);
  for (const std::uint64_t lane : {a, b, c, d}) h = (h ^ round(0, lane)) * kPrime1 + kPrime3;
  h += bytes.size();
  for (; left >= 8; p += 8, left -= 8) h = rotl(h ^ round(0, word(p)), 27) * kPrime1 + kPrime3;
  for (; left > 0; ++p, --left) h = rotl(h ^ (static_cast<unsigned char>(*p) * kPrime3), 11) * kPrime1;
  h ^= h >> 33;
  h *= kPrime2;
  h ^= h >> 29;
  h *= kPrime3;
  return h ^ (h >> 32);
}

}  // namespace nfy
