// The popup notification through the popup component.
#pragma once

#include <cstdint>
#include <string>

namespace nfy {

// Shows the popup and waits until it is closed; true with the component's
// "ClosedBy" answer in `answer`, false after any error.
bool fncCallPopup(const int32_t& icon, const std::string& header, const std::string& body,
                  const int32_t& displayTimeSeconds, const int32_t& height, const int32_t& width,
                  const int16_t& transparency, const int32_t& modal, std::string& answer);

// Gets ready ahead, without waiting, what showing the popup will need.
void preparePopup();

}  // namespace nfy
