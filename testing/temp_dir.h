#pragma once

#include <string>

namespace inkbinder::testing {

// A fresh folder under the system's temporary folder, removed with everything
// in it when the object goes. `hint` becomes part of its name (UTF-8; spaces
// and Chinese characters welcome).
class ScopedTempDir {
 public:
  explicit ScopedTempDir(const std::string& hint = "inkbinder");
  ~ScopedTempDir();
  ScopedTempDir(const ScopedTempDir&) = delete;
  ScopedTempDir& operator=(const ScopedTempDir&) = delete;
  const std::string& path() const { return path_; }
  // path() + "/" + name
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Whole-file helpers for tests; paths are UTF-8.
void WriteBytes(const std::string& path, const std::string& bytes);
std::string ReadBytes(const std::string& path);
bool Exists(const std::string& path);
void MakeFolder(const std::string& path);
// The same path whichever separators it was written with: '/' becomes '\'.
std::string Backslashed(std::string path);

}  // namespace inkbinder::testing
