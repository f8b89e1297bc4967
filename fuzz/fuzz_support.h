#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "platform/messages.h"

// What the fuzz targets share: a folder of their own for the files the readers take by path, and
// a message sink that remembers what the reader said.
namespace tarnwick::fuzz {

// A fresh folder under $TMPDIR (or /tmp) for the life of the process, removed when it ends.
inline const std::string& WorkFolder() {
  struct Folder {
    Folder() {
      const char* base = getenv("TMPDIR");
      path =
          std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/tarnwick-fuzz-XXXXXX";
      if (mkdtemp(path.data()) == nullptr) {
        perror("mkdtemp");
        abort();
      }
    }
    ~Folder() {
      std::error_code ignored;
      std::filesystem::remove_all(path, ignored);
    }
    std::string path;
  };
  static const Folder folder;
  return folder.path;
}

// Writes `size` bytes to `name` in the work folder and gives its full path.
inline std::string WriteInput(const std::string& name, const uint8_t* data, size_t size) {
  const std::string path = WorkFolder() + "/" + name;
  FILE* file = fopen(path.c_str(), "wb");
  if (file == nullptr || (size > 0 && fwrite(data, 1, size, file) != size) || fclose(file) != 0) {
    perror(path.c_str());
    abort();
  }
  return path;
}

// The readers report through message boxes; here they are only counted and kept.
class QuietMessages : public Messages {
 public:
  void Error(const std::string& text) override { texts.push_back(text); }
  void Information(const std::string&, const std::string& text) override { texts.push_back(text); }
  void Plain(const std::string&, const std::string& text) override { texts.push_back(text); }
  bool Confirm(const std::string&, const std::string& text) override {
    texts.push_back(text);
    return false;
  }
  std::vector<std::string> texts;
};

// A broken promise of the reader: stop here so the fuzzer keeps the input.
#define TARNWICK_FUZZ_CHECK(condition)                                         \
  do {                                                                         \
    if (!(condition)) {                                                        \
      fprintf(stderr, "%s:%d: expected %s\n", __FILE__, __LINE__, #condition); \
      abort();                                                                 \
    }                                                                          \
  } while (false)

}  // namespace tarnwick::fuzz
