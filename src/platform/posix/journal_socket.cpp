#include "platform/posix/journal_socket.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace nfy::platform {
namespace {

const char kJournalSocket[] = "/run/systemd/journal/socket";

std::string entryText(std::span<const JournalField> fields) {
  std::string entry;
  for (const JournalField& f : fields) {
    entry.append(f.name);
    if (f.value.find('\n') == std::string_view::npos) {
      entry += '=';
    } else {
      entry += '\n';
      for (int i = 0; i < 8; ++i) entry += static_cast<char>(static_cast<std::uint64_t>(f.value.size()) >> (8 * i));
    }
    entry.append(f.value);
    entry += '\n';
  }
  return entry;
}

bool writeAll(int fd, const std::string& text) {
  for (size_t done = 0; done < text.size();) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// The journal takes an entry larger than a datagram as a memory file that
// nobody can change any more, passed as the datagram's only content.
bool sendAsMemoryFile(int sock, msghdr& msg, const std::string& entry) {
  const int mem = memfd_create("journal-entry", MFD_CLOEXEC | MFD_ALLOW_SEALING);
  if (mem < 0) return false;
  bool sent = false;
  if (writeAll(mem, entry) && fcntl(mem, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL) == 0) {
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    msg.msg_iov = nullptr;
    msg.msg_iovlen = 0;
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    cmsghdr* c = CMSG_FIRSTHDR(&msg);
    c->cmsg_level = SOL_SOCKET;
    c->cmsg_type = SCM_RIGHTS;
    c->cmsg_len = CMSG_LEN(sizeof(int));
    std::memcpy(CMSG_DATA(c), &mem, sizeof(int));
    sent = sendmsg(sock, &msg, MSG_NOSIGNAL | MSG_DONTWAIT) >= 0;
  }
  ::close(mem);
  return sent;
}

}  // namespace

bool sendJournalEntry(std::span<const JournalField> fields) {
  const std::string entry = entryText(fields);
  const int sock = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (sock < 0) return false;
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, kJournalSocket, sizeof kJournalSocket);
  iovec data{const_cast<char*>(entry.data()), entry.size()};
  msghdr msg{};
  msg.msg_name = &address;
  msg.msg_namelen = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + sizeof kJournalSocket - 1);
  msg.msg_iov = &data;
  msg.msg_iovlen = 1;
  // Never waits: a journal that does not read (stopped, or behind) loses
  // the entry rather than holding the run.
  bool sent = sendmsg(sock, &msg, MSG_NOSIGNAL | MSG_DONTWAIT) >= 0;
  if (!sent && (errno == EMSGSIZE || errno == ENOBUFS)) sent = sendAsMemoryFile(sock, msg, entry);
  ::close(sock);
  return sent;
}

}  // namespace nfy::platform
