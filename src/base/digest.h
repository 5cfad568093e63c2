// A fast 64-bit digest of a text, to tell whether a file's content is the
// one something was found about (not a defence against a forger: only files
// of the user's own are ever compared with it).
#pragma once

#include <cstdint>
#include <string_view>

namespace nfy {

std::uint64_t contentDigest(std::string_view bytes);

}  // namespace nfy
