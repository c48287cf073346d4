// The device's storage root and the mapping of device paths to host paths:
// "\Application Data\Melodex\7.dat" is DIR/Application Data/Melodex/7.dat, each existing
// component matched case-insensitively as the phone's file system does.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "device/Device.h"
#include "kernel32/kernel32.h"

namespace device {

namespace {

std::string DefaultRoot() {
  const char* xdg = getenv("XDG_DATA_HOME");
  if (xdg && *xdg) return std::string(xdg) + "/melodex/device";
  const char* home = getenv("HOME");
  return std::string(home && *home ? home : ".") + "/.local/share/melodex/device";
}

bool IsDirectory(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void MakeDirectories(const std::string& path) {
  for (size_t i = 1; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == '/') mkdir(path.substr(0, i).c_str(), 0777);
  }
}

// The entry of `dir` whose name equals `name` case-insensitively, or empty.
std::string FindNoCase(const std::string& dir, std::u16string_view name) {
  std::string found;
  DIR* d = opendir(dir.c_str());
  if (!d) return found;
  while (dirent* e = readdir(d)) {
    if (kernel32::NamesEqualNoCase(kernel32::Utf8ToUtf16(e->d_name), name)) {
      found = e->d_name;
      break;
    }
  }
  closedir(d);
  return found;
}

}  // namespace

const std::string& RootDir() {
  static std::mutex mutex;
  static std::string configured;
  static std::string root;
  std::lock_guard<std::mutex> lk(mutex);
  std::string want = options().root.empty() ? DefaultRoot() : options().root;
  if (root.empty() || want != configured) {
    configured = want;
    root = want;
    while (root.size() > 1 && root.back() == '/') root.pop_back();
    if (!root.empty() && root[0] != '/') {
      if (char* cwd = getcwd(nullptr, 0)) {
        root = std::string(cwd) + "/" + root;
        free(cwd);
      }
    }
    MakeDirectories(root);
    // A new root is laid out as a phone's, so the program's CreateDirectoryW at start-up has its
    // parent.
    for (const char16_t* folder : {u"Windows", u"Application Data", u"My Documents", u"Temp"}) {
      if (FindNoCase(root, folder).empty()) {
        mkdir((root + "/" + kernel32::Utf16ToUtf8(folder)).c_str(), 0777);
      }
    }
  }
  return root;
}

std::string HostPath(const char16_t* devicePath) {
  return kernel32::HostPathOf(devicePath ? std::u16string_view(devicePath) : std::u16string_view());
}

std::string HostPath(const char* devicePath) {
  // 8-bit device paths are Windows-1252 text, as the client's fopen passes them.
  return kernel32::HostPathOf(kernel32::Cp1252ToUtf16(devicePath ? devicePath : ""));
}

}  // namespace device

namespace kernel32 {

std::string HostPathOf(std::u16string_view devicePath) {
  std::string path = device::RootDir();
  std::vector<size_t> depth;  // lengths of `path` before each component, for ".."
  bool exists = true;         // once a component is missing, the rest is taken verbatim
  size_t i = 0;
  while (i <= devicePath.size()) {
    size_t end = i;
    while (end < devicePath.size() && devicePath[end] != u'\\' && devicePath[end] != u'/') ++end;
    std::u16string_view component = devicePath.substr(i, end - i);
    i = end + 1;
    if (component.empty() || component == u".") continue;
    if (component == u"..") {
      if (!depth.empty()) {
        path.resize(depth.back());
        depth.pop_back();
      }
      continue;
    }
    depth.push_back(path.size());
    std::string name = Utf16ToUtf8(component);
    if (exists) {
      struct stat st;
      if (lstat((path + "/" + name).c_str(), &st) != 0) {
        std::string match = FindNoCaseEntry(path, component);
        if (match.empty()) exists = false;
        else name = match;
      }
    }
    path += "/" + name;
  }
  return path;
}

std::string FindNoCaseEntry(const std::string& dir, std::u16string_view name) {
  return device::FindNoCase(dir, name);
}

DWORD Win32ErrorFromErrno(int error, const std::string& hostPath) {
  switch (error) {
    case ENOENT: {
      size_t slash = hostPath.find_last_of('/');
      std::string parent = slash == std::string::npos ? "." : hostPath.substr(0, slash);
      return device::IsDirectory(parent) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
    }
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EEXIST: return ERROR_ALREADY_EXISTS;
    case EACCES:
    case EPERM:
    case EISDIR: return ERROR_ACCESS_DENIED;
    case ENOTEMPTY: return ERROR_DIR_NOT_EMPTY;
    case ENOSPC: return ERROR_DISK_FULL;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case EMFILE:
    case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    case EROFS: return ERROR_WRITE_PROTECT;
    case EBUSY: return ERROR_SHARING_VIOLATION;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case EINVAL: return ERROR_INVALID_PARAMETER;
    default: return ERROR_ACCESS_DENIED;
  }
}

}  // namespace kernel32
