// Fake web-post and popup components for unit tests, installed behind the
// component seam. They record what the program handed them.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/component.h"

namespace nfy::test {

struct FakePosterState {
  bool succeed = true;
  std::string reply;                                // written into argument 6 on success
  std::vector<std::string> details = {"", "", ""};  // arguments 7-9 on failure
  // Posts (counted from 0) that fail with these details whatever `succeed` says.
  std::map<std::size_t, std::vector<std::string>> failAt;
  // Runs while each post is under way (what other programs do meanwhile).
  std::function<void()> whilePosting;
  // Replies by the request name in the URL ("tfr_<name>.asp"); `reply` otherwise.
  std::map<std::string, std::string> replyFor;
  struct Post {
    std::string data, url;
  };
  std::vector<Post> posts;
};

struct FakePopupState {
  std::string answer = "AUTOCLOSE";
  bool failCreate = false;
  std::map<std::string, platform::component::Value> properties;
  int shown = 0;
};

// Installs both fakes for the life of the object and removes them after.
class FakeComponents {
 public:
  FakeComponents();
  ~FakeComponents();
  FakePosterState poster;
  FakePopupState popup;
};

}  // namespace nfy::test
