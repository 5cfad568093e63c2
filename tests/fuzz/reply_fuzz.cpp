// The web service's reply through fncParseDeskMessages, with the inbox and
// the body files in a temporary folder that each input starts afresh.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/globals.h"
#include "inbox/message_parse.h"
#include "inbox/run_summary.h"

namespace fs = std::filesystem;

namespace {

const fs::path& folder() {
  static const fs::path path = [] {
    fs::path p = fs::temp_directory_path() / ("nfy-reply-fuzz-" + std::to_string(::getpid()));
    fs::create_directories(p / "Messages");
    std::atexit([] {
      std::error_code ec;
      fs::remove_all(folder(), ec);
    });
    return p;
  }();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace nfy;
  const fs::path& dir = folder();
  std::error_code ec;
  fs::remove(dir / "inbox.ini", ec);
  for (const auto& e : fs::directory_iterator(dir / "Messages", ec)) fs::remove(e.path(), ec);

  resetRunGlobals();
  for (std::string* s : {&sTotalMsgs, &sUnreadMsgs, &sReqConfirmMsgs, &sMsgID, &sSubject, &sMsgSubject, &sConfirmMsgID})
    s->clear();
  arrMessages.clear();
  sInboxINI_Write = sInboxINI_Read = (dir / "inbox.ini").string();
  sMsgFolder = (dir / "Messages").string();
  sUserName = "user1";
  fncParseDeskMessages(std::string(reinterpret_cast<const char*>(data), size));

  // Body files are only ever written inside the messages folder.
  for (const auto& e : fs::directory_iterator(dir, ec)) {
    std::string name = e.path().filename().string();
    if (name != "Messages" && name != "inbox.ini" && name.rfind("inbox.ini.", 0) != 0) std::abort();
  }
  return 0;
}
