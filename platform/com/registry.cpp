#include "com/registry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace zr::com {
namespace {

namespace fs = std::filesystem;

std::string clean(std::string s) {
  for (char& c : s)
    if (c == '\t' || c == '\n' || c == '\r') c = ' ';
  return s;
}

std::vector<std::string> splitTabs(const std::string& line) {
  std::vector<std::string> parts;
  std::string cur;
  for (char c : line) {
    if (c == '\t') {
      parts.push_back(cur);
      cur.clear();
    } else {
      cur.push_back(c);
    }
  }
  parts.push_back(cur);
  return parts;
}

bool equalNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

std::vector<std::string> readLines(const std::string& path) {
  std::vector<std::string> lines;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line))
    if (!line.empty()) lines.push_back(line);
  return lines;
}

// Holds an exclusive lock on the store for a read-modify-write.
class StoreLock {
 public:
  explicit StoreLock(const std::string& path) {
    std::error_code ec;
    fs::create_directories(fs::path(path).parent_path(), ec);
    fd_ = ::open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ >= 0) ::flock(fd_, LOCK_EX);
  }
  ~StoreLock() {
    if (fd_ >= 0) ::close(fd_);  // closing releases the lock
  }
  bool ok() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

HRESULT rewrite(const std::string& path, const std::string& key, const std::string* newLine) {
  StoreLock lock(path);
  if (!lock.ok()) return REGDB_E_WRITEREGDB;
  std::vector<std::string> lines = readLines(path);
  std::ostringstream out;
  for (const std::string& l : lines)
    if (l.rfind(key, 0) != 0) out << l << '\n';
  if (newLine) out << *newLine << '\n';
  std::string tmp = path + ".tmp" + std::to_string(::getpid());
  {
    std::ofstream f(tmp, std::ios::trunc);
    f << out.str();
    if (!f.flush()) return REGDB_E_WRITEREGDB;
  }
  if (::rename(tmp.c_str(), path.c_str()) != 0) {
    ::unlink(tmp.c_str());
    return REGDB_E_WRITEREGDB;
  }
  return S_OK;
}

std::optional<ClassRegistration> parseClass(const std::string& line) {
  auto p = splitTabs(line);
  if (p.size() < 7 || p[0] != "class") return std::nullopt;
  ClassRegistration r;
  if (!parseGuid(p[1], r.clsid)) return std::nullopt;
  r.modulePath = p[2];
  r.progId = p[3];
  r.viProgId = p[4];
  r.threadingModel = p[5];
  r.description = p[6];
  return r;
}

}  // namespace

std::string registryPath() {
  if (const char* env = std::getenv("COM_REGISTRY_FILE"); env && *env) return env;
  std::string base;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) {
    base = xdg;
  } else if (const char* home = std::getenv("HOME"); home && *home) {
    base = std::string(home) + "/.config";
  } else {
    base = "/tmp";
  }
  return base + "/zrcom/registry";
}

HRESULT registerClass(const ClassRegistration& reg) {
  std::string key = "class\t" + GuidToString(reg.clsid) + "\t";
  std::string line = key + clean(reg.modulePath) + "\t" + clean(reg.progId) + "\t" + clean(reg.viProgId) + "\t" +
                     clean(reg.threadingModel) + "\t" + clean(reg.description);
  return rewrite(registryPath(), key, &line);
}

HRESULT unregisterClass(REFCLSID clsid) {
  return rewrite(registryPath(), "class\t" + GuidToString(clsid) + "\t", nullptr);
}

HRESULT registerTypeLib(const TypeLibRegistration& reg) {
  std::string key = "typelib\t" + GuidToString(reg.libid) + "\t";
  std::string line = key + clean(reg.version) + "\t" + clean(reg.name) + "\t" + clean(reg.modulePath);
  return rewrite(registryPath(), key, &line);
}

HRESULT unregisterTypeLib(REFGUID libid) {
  return rewrite(registryPath(), "typelib\t" + GuidToString(libid) + "\t", nullptr);
}

std::optional<ClassRegistration> findClass(REFCLSID clsid) {
  std::string key = "class\t" + GuidToString(clsid) + "\t";
  for (const std::string& l : readLines(registryPath()))
    if (l.rfind(key, 0) == 0) return parseClass(l);
  return std::nullopt;
}

std::optional<ClassRegistration> findClassByProgId(std::string_view progId) {
  if (progId.empty()) return std::nullopt;
  for (const std::string& l : readLines(registryPath())) {
    auto r = parseClass(l);
    if (r && (equalNoCase(r->progId, progId) || equalNoCase(r->viProgId, progId))) return r;
  }
  return std::nullopt;
}

std::optional<TypeLibRegistration> findTypeLib(REFGUID libid) {
  std::string key = "typelib\t" + GuidToString(libid) + "\t";
  for (const std::string& l : readLines(registryPath())) {
    if (l.rfind(key, 0) != 0) continue;
    auto p = splitTabs(l);
    if (p.size() < 5) return std::nullopt;
    TypeLibRegistration r;
    r.libid = libid;
    r.version = p[2];
    r.name = p[3];
    r.modulePath = p[4];
    return r;
  }
  return std::nullopt;
}

}  // namespace zr::com
