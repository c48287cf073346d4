// FindFirstFileW / FindNextFileW / FindClose over the device's folders (the history store lists
// "\Application Data\Melodex\*.dat"). Patterns use * and ?, matched case-insensitively; "."
// and ".." are never listed, as on Windows CE. Entries come in case-insensitive name order.
#include <dirent.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "device/Trace.h"
#include "kernel32/kernel32.h"

namespace kernel32 {
namespace {

// Case-insensitive wildcard match: '*' any run of units, '?' exactly one.
bool Matches(std::u16string_view pattern, std::u16string_view name) {
  size_t p = 0, n = 0, starP = std::u16string_view::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == u'*') {
      starP = p++;
      starN = n;
    } else if (p < pattern.size() && (pattern[p] == u'?' || towlower(pattern[p]) == towlower(name[n]))) {
      ++p, ++n;
    } else if (starP != std::u16string_view::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == u'*') ++p;
  return p == pattern.size();
}

class FindObject : public KernelObject {
 public:
  std::string folder;
  std::vector<std::string> names;  // host names (UTF-8), in listing order
  size_t next = 0;

  // Fills `data` with the next entry that still exists; false at the end.
  bool fill(WIN32_FIND_DATAW* data) {
    while (next < names.size()) {
      const std::string& name = names[next++];
      WIN32_FILE_ATTRIBUTE_DATA attributes;
      if (!StatFile(folder + "/" + name, &attributes)) continue;  // removed since the listing
      *data = WIN32_FIND_DATAW{};
      data->dwFileAttributes = attributes.dwFileAttributes;
      data->ftCreationTime = attributes.ftCreationTime;
      data->ftLastAccessTime = attributes.ftLastAccessTime;
      data->ftLastWriteTime = attributes.ftLastWriteTime;
      data->nFileSizeHigh = attributes.nFileSizeHigh;
      data->nFileSizeLow = attributes.nFileSizeLow;
      std::u16string wide = Utf8ToUtf16(name);
      size_t n = std::min(wide.size(), static_cast<size_t>(MAX_PATH - 1));
      std::copy(wide.begin(), wide.begin() + static_cast<std::ptrdiff_t>(n), data->cFileName);
      data->cFileName[n] = 0;
      return true;
    }
    return false;
  }
};

}  // namespace
}  // namespace kernel32

using kernel32::FindObject;

HANDLE FindFirstFileW(LPCWSTR lpFileName, LPWIN32_FIND_DATAW lpFindFileData) {
  if (!lpFileName || !lpFindFileData) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  std::u16string_view path(lpFileName);
  TRACE_CALL("kernel32", "FindFirstFileW %s", kernel32::Utf16ToUtf8(path).c_str());
  size_t split = path.find_last_of(u"\\/");
  std::u16string_view folderPart = split == std::u16string_view::npos ? std::u16string_view() : path.substr(0, split);
  std::u16string pattern(split == std::u16string_view::npos ? path : path.substr(split + 1));
  if (pattern == u"*.*") pattern.assign(1, u'*');  // DOS rule: "*.*" also lists names without a dot

  auto search = std::make_shared<FindObject>();
  search->folder = kernel32::HostPathOf(folderPart);
  DIR* dir = opendir(search->folder.c_str());
  if (!dir) {
    SetLastError(ERROR_PATH_NOT_FOUND);  // the folder itself is missing (Win32)
    return INVALID_HANDLE_VALUE;
  }
  std::vector<std::pair<std::u16string, std::string>> found;
  while (dirent* e = readdir(dir)) {
    std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    std::u16string wide = kernel32::Utf8ToUtf16(name);
    if (!pattern.empty() && kernel32::Matches(pattern, wide)) {
      std::u16string key = wide;
      for (auto& c : key) c = towlower(c);
      found.emplace_back(std::move(key), std::move(name));
    }
  }
  closedir(dir);
  std::sort(found.begin(), found.end());
  for (auto& entry : found) search->names.push_back(std::move(entry.second));
  if (!search->fill(lpFindFileData)) {
    SetLastError(ERROR_FILE_NOT_FOUND);  // the folder exists but nothing matches (Win32)
    return INVALID_HANDLE_VALUE;
  }
  return kernel32::InsertHandle(search);
}

BOOL FindNextFileW(HANDLE hFindFile, LPWIN32_FIND_DATAW lpFindFileData) {
  auto search = kernel32::LookupHandleAs<FindObject>(hFindFile);
  if (!search) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!lpFindFileData) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!search->fill(lpFindFileData)) {
    SetLastError(ERROR_NO_MORE_FILES);
    return FALSE;
  }
  return TRUE;
}

BOOL FindClose(HANDLE hFindFile) {
  if (!kernel32::LookupHandleAs<FindObject>(hFindFile)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  kernel32::RemoveHandle(hFindFile);
  return TRUE;
}
