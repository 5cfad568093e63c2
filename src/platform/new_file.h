// A file created new and written through the one handle that created it:
// never over a file that exists, never through a symbolic link (dangling or
// not) planted at its name, and never opened by name a second time, so that
// nothing can be swapped in between the check and the writes. Linux:
// O_CREAT|O_EXCL|O_NOFOLLOW; Windows: CREATE_NEW, a link opened as itself.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace nfy::platform {

class NewFileWriter {
 public:
  NewFileWriter() = default;
  ~NewFileWriter();  // closes the file when close() was not called
  NewFileWriter(const NewFileWriter&) = delete;
  NewFileWriter& operator=(const NewFileWriter&) = delete;

  // Creates the file (with the process's default rights); false when
  // anything stands at `path` already or it cannot be created.
  bool create(const std::string& path);
  // Appends all of `bytes`; false when the file is not open or a write fails.
  bool write(std::string_view bytes);
  // Closes the file; false when it was not open or the close failed.
  bool close();

 private:
  static constexpr std::intptr_t kNone = -1;
  std::intptr_t handle_ = kNone;
};

}  // namespace nfy::platform
