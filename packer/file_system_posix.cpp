// SPDX-License-Identifier: Apache-2.0
#include "packer/file_system.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include "packer/input_file.h"
#include "support/vm_utf_convert.h"

using velmora::VMStatus;
namespace status = velmora::status;

namespace {

std::string Native(const std::wstring& path) { return velmora::VMUtf16ToUtf8(path); }

class Descriptor {
 public:
  explicit Descriptor(int fd = -1) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  void reset(int fd) {
    if (fd_ >= 0) close(fd_);
    fd_ = fd;
  }
  [[nodiscard]] int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }

 private:
  int fd_;
};

VMStatus WriteAll(int fd, const void* data, std::size_t size) {
  const char* bytes = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t written = write(fd, bytes, size);
    if (written < 0 && errno == EINTR) continue;
    VM_RETURN_LAST_ERROR_IF(written <= 0);
    bytes += written;
    size -= static_cast<std::size_t>(written);
  }
  return status::Ok;
}

// The temporary files in the making, for the signal handler, which may only
// call unlink: plain C strings, marked used once complete.
constexpr int kTemporarySlots = 2;
char g_temporaries[kTemporarySlots][PATH_MAX];
volatile sig_atomic_t g_temporaryUsed[kTemporarySlots];

void RemoveTemporaries(int signal) {
  for (int i = 0; i < kTemporarySlots; ++i) {
    if (g_temporaryUsed[i]) unlink(g_temporaries[i]);
  }
  std::signal(signal, SIG_DFL);
  raise(signal);
}

void Track(const std::string& path) {
  static const bool installed = [] {
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) std::signal(signal, RemoveTemporaries);
    return true;
  }();
  (void)installed;
  for (int i = 0; i < kTemporarySlots; ++i) {
    if (g_temporaryUsed[i] || path.size() >= PATH_MAX) continue;
    std::memcpy(g_temporaries[i], path.c_str(), path.size() + 1);
    g_temporaryUsed[i] = 1;
    return;
  }
}

void Untrack(const std::string& path) {
  for (int i = 0; i < kTemporarySlots; ++i) {
    if (g_temporaryUsed[i] && path == g_temporaries[i]) g_temporaryUsed[i] = 0;
  }
}

}  // namespace

// A name nobody can guess, created new: a link or a file planted under it
// makes the creation fail instead of being written through.
VMStatus CreateTemporaryFile(const std::wstring& beside, const std::wstring& suffix, std::wstring& path) {
  for (int attempt = 0; attempt < 16; ++attempt) {
    unsigned char random[8] = {};
    VM_RETURN_LAST_ERROR_IF(getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random));
    std::wstring tag;
    for (const unsigned char byte : random) tag += L"0123456789abcdef"[byte >> 4], tag += L"0123456789abcdef"[byte & 15];
    path = beside + L".vm-sfxpack-" + tag + suffix;
    const std::string native = Native(path);
    const Descriptor file(open(native.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!file && errno == EEXIST) continue;
    VM_RETURN_LAST_ERROR_IF(!file);
    Track(native);
    return status::Ok;
  }
  return 80;  // as Windows: the file exists
}

VMStatus WriteFileBytes(const std::wstring& path, const std::vector<std::uint8_t>& bytes) {
  const Descriptor file(open(Native(path).c_str(), O_WRONLY | O_TRUNC | O_NOFOLLOW | O_CLOEXEC));
  VM_RETURN_LAST_ERROR_IF(!file);
  return WriteAll(file.get(), bytes.data(), bytes.size());
}

VMStatus AppendFile(const std::wstring& target, InputFile& source) {
  const Descriptor output(open(Native(target).c_str(), O_WRONLY | O_APPEND | O_NOFOLLOW | O_CLOEXEC));
  VM_RETURN_LAST_ERROR_IF(!output);
  VM_RETURN_IF_FAILED(
      source.ReadAll([&](const std::uint8_t* data, std::size_t size) { return WriteAll(output.get(), data, size); }));
  VM_RETURN_LAST_ERROR_IF(fsync(output.get()) != 0);
  return status::Ok;
}

VMStatus ReplaceFile(const std::wstring& from, const std::wstring& to) {
  const std::string native = Native(from);
  const mode_t mask = umask(0);
  umask(mask);
  VM_RETURN_LAST_ERROR_IF(chmod(native.c_str(), 0666 & ~mask) != 0);
  VM_RETURN_LAST_ERROR_IF(rename(native.c_str(), Native(to).c_str()) != 0);
  Untrack(native);
  return status::Ok;
}

void RemoveFile(const std::wstring& path) {
  const std::string native = Native(path);
  unlink(native.c_str());
  Untrack(native);
}

std::wstring FullPath(const std::wstring& path) {
  if (path.starts_with(L"/")) return path;
  char* current = getcwd(nullptr, 0);
  if (current == nullptr) return path;
  std::wstring full = velmora::VMUtf8ToUtf16(current) + L"/" + path;
  std::free(current);
  return full;
}

// The same file, also under another name (a link, "./x", a second slash).
bool SameFile(const std::wstring& a, const std::wstring& b) {
  if (b.empty()) return false;
  struct stat first {};
  struct stat second {};
  if (stat(Native(a).c_str(), &first) != 0 || stat(Native(b).c_str(), &second) != 0) return FullPath(a) == FullPath(b);
  return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

bool ParentFolderExists(const std::wstring& path) {
  std::string parent = Native(FullPath(path));
  parent.erase(parent.find_last_of('/') + 1);
  struct stat info {};
  return stat(parent.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool InsideFolder(const std::wstring& path, const std::wstring& folder) {
  std::string parent = Native(FullPath(path));
  parent.erase(parent.find_last_of('/') + 1);
  char* resolvedFolder = realpath(Native(folder).c_str(), nullptr);
  char* resolvedParent = realpath(parent.c_str(), nullptr);
  const bool inside = resolvedFolder != nullptr && resolvedParent != nullptr &&
                      (std::string(resolvedParent) + "/").starts_with(std::string(resolvedFolder) + "/");
  std::free(resolvedFolder);
  std::free(resolvedParent);
  return inside;
}

VMStatus GetPackerFolder(std::wstring& folder) {
  char self[PATH_MAX + 1] = {};
  const ssize_t length = readlink("/proc/self/exe", self, PATH_MAX);
  VM_RETURN_LAST_ERROR_IF(length <= 0);
  std::string path(self, static_cast<std::size_t>(length));
  path.erase(path.find_last_of('/') + 1);
  folder = velmora::VMUtf8ToUtf16(path);
  return status::Ok;
}
