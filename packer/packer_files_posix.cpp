#include "packer/packer_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "support/vm_utf_convert.h"

using velmora::VMStatus;
namespace status = velmora::status;

namespace {

std::string Native(const std::wstring& path) { return velmora::VMUtf16ToUtf8(path); }

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
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

}  // namespace

VMStatus ReadFileBytes(const std::wstring& path, std::uint64_t limit, std::vector<std::uint8_t>& bytes) {
  const Descriptor file(open(Native(path).c_str(), O_RDONLY | O_CLOEXEC));
  struct stat info {};
  VM_RETURN_LAST_ERROR_IF(!file || fstat(file.get(), &info) != 0);
  if (S_ISDIR(info.st_mode)) return 5;  // as Windows: access denied
  if (static_cast<std::uint64_t>(info.st_size) > limit) return status::InvalidValue;
  bytes.resize(static_cast<std::size_t>(info.st_size));
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t got = read(file.get(), bytes.data() + done, bytes.size() - done);
    if (got < 0 && errno == EINTR) continue;
    VM_RETURN_LAST_ERROR_IF(got < 0);
    if (got == 0) return status::FileOpenFailed;
    done += static_cast<std::size_t>(got);
  }
  return status::Ok;
}

VMStatus WriteFileBytes(const std::wstring& path, const std::vector<std::uint8_t>& bytes) {
  const Descriptor file(open(Native(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
  VM_RETURN_LAST_ERROR_IF(!file);
  return WriteAll(file.get(), bytes.data(), bytes.size());
}

VMStatus GetFileSize(const std::wstring& path, std::uint64_t& size) {
  struct stat info {};
  VM_RETURN_LAST_ERROR_IF(stat(Native(path).c_str(), &info) != 0);
  if (S_ISDIR(info.st_mode)) return 5;
  size = static_cast<std::uint64_t>(info.st_size);
  return status::Ok;
}

VMStatus AppendFile(const std::wstring& target, const std::wstring& source) {
  const Descriptor input(open(Native(source).c_str(), O_RDONLY | O_CLOEXEC));
  VM_RETURN_LAST_ERROR_IF(!input);
  const Descriptor output(open(Native(target).c_str(), O_WRONLY | O_APPEND | O_CLOEXEC));
  VM_RETURN_LAST_ERROR_IF(!output);
  std::vector<char> buffer(1 << 20);
  for (;;) {
    const ssize_t got = read(input.get(), buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    VM_RETURN_LAST_ERROR_IF(got < 0);
    if (got == 0) break;
    VM_RETURN_IF_FAILED(WriteAll(output.get(), buffer.data(), static_cast<std::size_t>(got)));
  }
  VM_RETURN_LAST_ERROR_IF(fsync(output.get()) != 0);
  return status::Ok;
}

VMStatus ReplaceFile(const std::wstring& from, const std::wstring& to) {
  VM_RETURN_LAST_ERROR_IF(rename(Native(from).c_str(), Native(to).c_str()) != 0);
  return status::Ok;
}

void RemoveFile(const std::wstring& path) { unlink(Native(path).c_str()); }

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

VMStatus GetPackerFolder(std::wstring& folder) {
  char self[PATH_MAX + 1] = {};
  const ssize_t length = readlink("/proc/self/exe", self, PATH_MAX);
  VM_RETURN_LAST_ERROR_IF(length <= 0);
  std::string path(self, static_cast<std::size_t>(length));
  path.erase(path.find_last_of('/') + 1);
  folder = velmora::VMUtf8ToUtf16(path);
  return status::Ok;
}

std::wstring ProcessTag() { return std::to_wstring(getpid()); }
