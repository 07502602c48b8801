#include "profile/profile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <optional>

#include "profile/ini_text.h"
#include "text/ansi.h"
#include "text/trim.h"

namespace zr::profile {
namespace {

using detail::IniText;

enum class ReadStatus { Ok, Missing, Failed };

ReadStatus readFile(const std::string& path, std::string& out) {
  out.clear();
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT ? ReadStatus::Missing : ReadStatus::Failed;
  char buf[8192];
  for (;;) {
    ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      close(fd);
      return ReadStatus::Failed;
    }
    if (n == 0) break;
    out.append(buf, static_cast<size_t>(n));
  }
  close(fd);
  // Settings written by the system on its original platform are GB18030 text; they are
  // read as such and, when a key is written, the file is written back as UTF-8.
  out = zr::text::textFileToUtf8(out);
  return ReadStatus::Ok;
}

bool writeAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// A settings file reached through a link is rewritten where the link points.
std::string resolvedPath(const std::string& file) {
  struct stat st {};
  if (lstat(file.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    if (char* real = realpath(file.c_str(), nullptr)) {
      std::string path(real);
      free(real);
      return path;
    }
  }
  return file;
}

bool createFile(const std::string& path, const std::string& bytes) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  bool ok = writeAll(fd, bytes);
  ok = close(fd) == 0 && ok;
  if (!ok) unlink(path.c_str());
  return ok;
}

// Writes beside the file and renames over it, so that a full disk or a crash leaves the
// old settings rather than a truncated file.
bool replaceFile(const std::string& path, const std::string& bytes) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return false;
  std::string tmp = path + ".XXXXXX";
  int fd = mkostemp(tmp.data(), O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = fchmod(fd, st.st_mode & 07777) == 0 && writeAll(fd, bytes) && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  ok = ok && rename(tmp.c_str(), path.c_str()) == 0;
  if (!ok) unlink(tmp.c_str());
  return ok;
}

std::mutex& writeMutex() {
  static std::mutex* m = new std::mutex;
  return *m;
}

template <typename Edit>
bool editFile(const std::string& file, Edit edit) {
  std::lock_guard lock(writeMutex());
  std::string path = resolvedPath(file);
  std::string old;
  ReadStatus status = readFile(path, old);
  if (status == ReadStatus::Failed) return false;
  IniText doc(old);
  edit(doc);
  if (status == ReadStatus::Missing) return createFile(path, doc.bytes());
  if (doc.bytes() == old) return true;
  return replaceFile(path, doc.bytes());
}

bool hasLineBreak(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

bool validSection(std::string_view s) { return !hasLineBreak(s) && s.find(']') == std::string_view::npos; }

bool validKey(std::string_view k) {
  return !k.empty() && !hasLineBreak(k) && k.find('=') == std::string_view::npos && k[0] != '[' && k[0] != ';';
}

std::optional<std::string> lookUp(const std::string& file, std::string_view section, std::string_view key) {
  std::string bytes;
  if (readFile(file, bytes) != ReadStatus::Ok) return std::nullopt;
  return IniText(std::move(bytes)).find(section, key);
}

}  // namespace

std::string getProfileString(const std::string& file, std::string_view section, std::string_view key,
                             std::string_view defaultValue) {
  if (auto value = lookUp(file, section, key)) return *value;
  size_t end = defaultValue.find_last_not_of(" \t");
  return std::string(defaultValue.substr(0, end == std::string_view::npos ? 0 : end + 1));
}

int getProfileInt(const std::string& file, std::string_view section, std::string_view key, int defaultValue) {
  auto value = lookUp(file, section, key);
  if (!value || value->empty()) return defaultValue;
  const std::string& v = *value;
  size_t i = v.find_first_not_of(" \t");
  if (i == std::string::npos) return 0;
  bool negative = false;
  if (v[i] == '+' || v[i] == '-') negative = v[i++] == '-';
  // Digits beyond 32 bits wrap, as the system's conversion into an unsigned word does.
  uint32_t n = 0;
  for (; i < v.size() && v[i] >= '0' && v[i] <= '9'; ++i) n = n * 10u + static_cast<uint32_t>(v[i] - '0');
  if (negative) n = 0u - n;
  return static_cast<int>(n);
}

bool writeProfileString(const std::string& file, std::string_view section, std::string_view key,
                        std::string_view value) {
  section = zr::text::trim(section, detail::kBlanks);
  key = zr::text::trim(key, detail::kBlanks);
  if (!validSection(section) || !validKey(key) || hasLineBreak(value)) return false;
  // A file that is not UTF-8 reads as GB18030, so one such text would garble every other line.
  if (!zr::text::isUtf8(section) || !zr::text::isUtf8(key) || !zr::text::isUtf8(value)) return false;
  return editFile(file, [&](IniText& doc) { doc.set(section, key, value); });
}

}  // namespace zr::profile
