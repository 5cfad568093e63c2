#include "base/digest.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace nfy {
namespace {

// A record of the inbox is trusted while the digest of the inbox text is the
// one it holds: any change of a byte, and any other length, must change it.
TEST(ContentDigest, EveryByteAndTheLengthCount) {
  std::string text;
  for (int i = 0; i < 200; ++i) text += static_cast<char>('a' + i % 26);
  std::set<std::uint64_t> seen;
  for (size_t n = 0; n <= text.size(); ++n) EXPECT_TRUE(seen.insert(contentDigest({text.data(), n})).second) << n;
  EXPECT_EQ(contentDigest(text), contentDigest(std::string(text)));
  for (size_t at = 0; at < text.size(); ++at) {
    for (int bit = 0; bit < 8; ++bit) {
      std::string changed = text;
      changed[at] = static_cast<char>(changed[at] ^ (1 << bit));
      EXPECT_TRUE(seen.insert(contentDigest(changed)).second) << at << " " << bit;
    }
  }
  // Two bytes that trade places.
  std::string swapped = text;
  std::swap(swapped[40], swapped[41]);
  EXPECT_NE(contentDigest(swapped), contentDigest(text));
}

}  // namespace
}  // namespace nfy
