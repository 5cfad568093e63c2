// The inbox as the viewer shows it: the stored messages newest first, their
// bodies, and the two things the user does with a message (open it, which
// marks it read, and confirm it). Platform-free; each window is a thin face
// over it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace nfy::viewer {

struct Message {
  std::string id;
  std::string subject;
  std::string sender;    // "CreatedBy"
  std::string received;  // "DownloadedMNTime", as stored
  std::string expires;   // when its time to live runs out ("MM/DD/YYYY HH:NN:SS"); "" when it has none
  bool unread = true;
  bool awaitsConfirmation = false;
  bool operator==(const Message&) const = default;
};

// The line under a message's subject: "From <sender>", then the time it was
// received after the separator; either part alone when the other is not
// stored, empty when neither is. The separator is the window's own: each
// platform writes text in its own character set.
std::string fromLine(const Message& m, std::string_view separator);
// The line over an opened message's body: fromLine, then "Expires <time>"
// for a message whose time to live runs out.
std::string headerLine(const Message& m, std::string_view separator);

enum class ConfirmResult {
  Confirmed,    // posted, and the inbox's counts updated
  NotSent,      // the post failed: nothing changed
  NotAwaiting,  // the message does not await a confirmation (any more)
};

class InboxModel {
 public:
  // Reads the inbox again, choosing the file to read anew (another program
  // may have left a newer copy). True when the list differs from before.
  bool reload();

  const std::vector<Message>& messages() const { return messages_; }
  const Message* find(const std::string& id) const;

  // The text to show for a message's body: the body file with each CR (or
  // CR LF) as one line break "\n"; a sentence saying why when there is no
  // text to show.
  std::string body(const std::string& id) const;

  // Opening a message: "ReadStatus" = "READ", who read it and when, and the
  // summary's unread count one down, all in one change of the inbox. A
  // message already read, or no longer stored, is left alone. False when the
  // change could not be written.
  bool markRead(const std::string& id);

  // Posts the user's confirmation; only when the post succeeded does the
  // inbox record it.
  ConfirmResult confirm(const std::string& id);

 private:
  std::vector<Message> messages_;
};

// A message id that can name a body file: no path parts, no characters that
// a file name cannot hold, not too long.
bool isSafeFileName(const std::string& id);

// What the windows say, the same on every platform.
namespace texts {
inline constexpr const char* kEmptyTitle = "Your inbox is empty";
inline constexpr const char* kEmptyDetail = "New messages appear here as soon as they arrive.";
inline constexpr const char* kNotInstalled = "The message service is not set up on this computer.";
inline constexpr const char* kNothingOpen = "Select a message and press Enter to read it.";
inline constexpr const char* kAwaits = "awaits your confirmation";
inline constexpr const char* kNoSubject = "(no subject)";
inline constexpr const char* kExpires = "Expires ";
inline constexpr const char* kConfirmed = "Thank you: your confirmation was sent.";
inline constexpr const char* kNotSent = "Your confirmation could not be sent. Please try again later.";
inline constexpr const char* kNoBody = "The text of this message is missing.";
inline constexpr const char* kNotText = "The text of this message cannot be shown.";
inline constexpr const char* kCut = "(The rest of this message is too long to be shown.)";
}  // namespace texts

}  // namespace nfy::viewer
