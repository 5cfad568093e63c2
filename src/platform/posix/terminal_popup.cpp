#include "platform/posix/terminal_popup.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>

#include "app/text.h"
#include "platform/posix/popup_object.h"

namespace nfy::platform::component {
namespace {

void writeAll(const std::string& s) {
  size_t done = 0;
  while (done < s.size()) {
    ssize_t n = ::write(STDOUT_FILENO, s.data() + done, s.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

// The texts come from the provider; control characters could drive the
// terminal (escape sequences), so only line breaks and tabs pass.
std::string printable(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c == '\r' && i + 1 < s.size() && s[i + 1] == '\n') continue;
    if (c == '\n' || c == '\t' || (c >= 0x20 && c != 0x7F))
      out += static_cast<char>(c);
    else if (c == '\r')
      out += '\n';
    else
      out += '?';
  }
  return out;
}

class TerminalPopup : public PopupObject {
 protected:
  std::string show(const PopupSettings& s) override {
    std::string prompt =
        s.offersOk() ? "[Enter] open the inbox   [o] OK   [x] close: "
                     : "[Enter] open the inbox   [x] close (closes in " + std::to_string(s.displaySeconds) + " s): ";
    writeAll("\n" + printable(s.header) + "\n\n" + printable(s.body) + "\n\n" + prompt);

    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::seconds(s.waitSeconds());
    std::string line;
    for (;;) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) {
        writeAll("\n");
        return "AUTOCLOSE";
      }
      pollfd p{STDIN_FILENO, POLLIN, 0};
      int ready = ::poll(&p, 1, static_cast<int>(left > 60000 ? 60000 : left));
      if (ready < 0 && errno == EINTR) continue;
      if (ready < 0) return "EXIT";
      if (ready == 0) continue;
      char buf[256];
      ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
      if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
      if (n <= 0) {
        writeAll("\n");
        return "EXIT";  // end of input: nobody is there to answer
      }
      for (ssize_t i = 0; i < n; ++i) {
        if (buf[i] == '\r') continue;
        if (buf[i] != '\n') {
          if (line.size() < 256) line += buf[i];
          continue;
        }
        std::string answer = toLower(trim(line));
        line.clear();
        if (answer.empty()) return "CLICK";
        if (answer == "o" && s.offersOk()) return "OKCLICK";
        if (answer == "x") return "EXIT";
        writeAll(prompt);
      }
    }
  }
};

}  // namespace

bool terminalAttached() { return ::isatty(STDIN_FILENO) == 1 && ::isatty(STDOUT_FILENO) == 1; }

std::unique_ptr<Object> createTerminalPopup() { return std::make_unique<TerminalPopup>(); }

}  // namespace nfy::platform::component
