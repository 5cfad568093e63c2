// Test stand-in for the agent's inbox viewer. Appends one line to the file
// named by the environment variable NFY_VIEWER_RECORD (default: a file
// "viewer-started.txt" beside the program): "started" followed by each
// argument in brackets.
#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
  std::string record;
  if (const char* env = std::getenv("NFY_VIEWER_RECORD")) record = env;
  if (record.empty()) {
    std::string self = argv[0];
    size_t slash = self.find_last_of("/\\");
    record = (slash == std::string::npos ? std::string() : self.substr(0, slash + 1)) + "viewer-started.txt";
  }
  std::string line = "started";
  for (int i = 1; i < argc; ++i) line += std::string(" [") + argv[i] + "]";
  line += "\n";
  if (std::FILE* f = std::fopen(record.c_str(), "ab")) {
    std::fwrite(line.data(), 1, line.size(), f);
    std::fclose(f);
  }
  return 0;
}
