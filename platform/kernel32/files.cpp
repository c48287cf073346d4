// Files and directories of the device, and the C run-time's fopen and _wfopen for the client's
// sources (melodex_client_crt.h maps them here).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "device/Device.h"
#include "device/Trace.h"
#include "kernel32/kernel32.h"
#include "melodex_client_crt.h"

// This file implements the mapping itself and must call the host's functions.
#undef fopen
#undef _wfopen

namespace kernel32 {

FILETIME FileTimeFromUnix(int64_t seconds, uint32_t nanoseconds) {
  // 100-nanosecond intervals since 1601-01-01; 1970 is 11644473600 seconds later.
  uint64_t ticks = static_cast<uint64_t>(seconds + 11644473600LL) * 10000000ULL + nanoseconds / 100;
  return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

namespace {

bool Fail(DWORD error) {
  SetLastError(error);
  return false;
}

std::string ModeOf(const WCHAR* mode) {
  std::string narrow;
  for (; mode && *mode; ++mode) narrow.push_back(static_cast<char>(*mode));
  return narrow;
}

}  // namespace
}  // namespace kernel32

using kernel32::Fail;
using kernel32::HostPathOf;
using kernel32::Win32ErrorFromErrno;

BOOL CreateDirectoryW(LPCWSTR lpPathName, LPSECURITY_ATTRIBUTES lpSecurityAttributes) {
  if (!lpPathName) return Fail(ERROR_PATH_NOT_FOUND);
  std::string host = HostPathOf(lpPathName);
  TRACE_CALL("kernel32", "CreateDirectoryW %s", kernel32::Utf16ToUtf8(lpPathName).c_str());
  if (host == device::RootDir()) return Fail(ERROR_ALREADY_EXISTS);
  if (mkdir(host.c_str(), 0777) != 0) {
    // A missing parent gives ERROR_PATH_NOT_FOUND, an existing entry ERROR_ALREADY_EXISTS.
    return Fail(errno == ENOENT ? ERROR_PATH_NOT_FOUND : Win32ErrorFromErrno(errno, host));
  }
  return TRUE;
}

BOOL RemoveDirectoryW(LPCWSTR lpPathName) {
  if (!lpPathName) return Fail(ERROR_PATH_NOT_FOUND);
  std::string host = HostPathOf(lpPathName);
  if (host == device::RootDir()) return Fail(ERROR_ACCESS_DENIED);
  if (rmdir(host.c_str()) != 0) return Fail(errno == ENOTDIR ? ERROR_DIRECTORY : Win32ErrorFromErrno(errno, host));
  return TRUE;
}

BOOL DeleteFileW(LPCWSTR lpFileName) {
  if (!lpFileName) return Fail(ERROR_PATH_NOT_FOUND);
  std::string host = HostPathOf(lpFileName);
  TRACE_CALL("kernel32", "DeleteFileW %s", kernel32::Utf16ToUtf8(lpFileName).c_str());
  struct stat st;
  if (lstat(host.c_str(), &st) != 0) return Fail(Win32ErrorFromErrno(errno, host));
  if (S_ISDIR(st.st_mode)) return Fail(ERROR_ACCESS_DENIED);  // Win32: a folder is not a file
  if (unlink(host.c_str()) != 0) return Fail(Win32ErrorFromErrno(errno, host));
  return TRUE;
}

BOOL MoveFileW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName) {
  if (!lpExistingFileName || !lpNewFileName) return Fail(ERROR_PATH_NOT_FOUND);
  std::string from = HostPathOf(lpExistingFileName);
  std::string to = HostPathOf(lpNewFileName);
  struct stat st;
  if (lstat(from.c_str(), &st) != 0) return Fail(Win32ErrorFromErrno(errno, from));
  if (lstat(to.c_str(), &st) == 0) return Fail(ERROR_ALREADY_EXISTS);  // MoveFile never replaces
  if (rename(from.c_str(), to.c_str()) != 0) return Fail(Win32ErrorFromErrno(errno, to));
  return TRUE;
}

namespace kernel32 {

// Fills the standard attribute record from the host; false (errno set) when it is missing.
bool StatFile(const std::string& host, WIN32_FILE_ATTRIBUTE_DATA* data) {
  struct statx sx;
  if (statx(AT_FDCWD, host.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0)
    return false;
  bool isDir = S_ISDIR(sx.stx_mode);
  data->dwFileAttributes = isDir ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
  if (!(sx.stx_mode & S_IWUSR)) data->dwFileAttributes |= FILE_ATTRIBUTE_READONLY;
  // Creation time is the birth time where the host file system records one, else mtime.
  const statx_timestamp& born = (sx.stx_mask & STATX_BTIME) ? sx.stx_btime : sx.stx_mtime;
  data->ftCreationTime = FileTimeFromUnix(born.tv_sec, born.tv_nsec);
  data->ftLastAccessTime = FileTimeFromUnix(sx.stx_atime.tv_sec, sx.stx_atime.tv_nsec);
  data->ftLastWriteTime = FileTimeFromUnix(sx.stx_mtime.tv_sec, sx.stx_mtime.tv_nsec);
  uint64_t size = isDir ? 0 : sx.stx_size;
  data->nFileSizeHigh = static_cast<DWORD>(size >> 32);
  data->nFileSizeLow = static_cast<DWORD>(size);
  return true;
}

}  // namespace kernel32

BOOL GetFileAttributesExW(LPCWSTR lpFileName, GET_FILEEX_INFO_LEVELS fInfoLevelId,
                          LPVOID lpFileInformation) {
  if (fInfoLevelId != GetFileExInfoStandard || !lpFileInformation) return Fail(ERROR_INVALID_PARAMETER);
  if (!lpFileName) return Fail(ERROR_PATH_NOT_FOUND);
  std::string host = HostPathOf(lpFileName);
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!kernel32::StatFile(host, &data)) return Fail(Win32ErrorFromErrno(errno, host));
  *static_cast<WIN32_FILE_ATTRIBUTE_DATA*>(lpFileInformation) = data;
  return TRUE;
}

DWORD GetFileAttributesW(LPCWSTR lpFileName) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(lpFileName, GetFileExInfoStandard, &data)) return INVALID_FILE_ATTRIBUTES;
  return data.dwFileAttributes;
}

FILE* melodex_device_fopen(const char* devicePath, const char* mode) {
  if (!devicePath || !mode) {
    errno = EINVAL;
    return nullptr;
  }
  std::string host = device::HostPath(devicePath);
  TRACE_CALL("kernel32", "fopen %s mode=%s", devicePath, mode);
  // POSIX has no text mode: "w" and "wb" write the same bytes; the client's log texts carry
  // their own "\r\n".
  return fopen(host.c_str(), mode);
}

FILE* melodex_device_wfopen(const WCHAR* devicePath, const WCHAR* mode) {
  if (!devicePath || !mode) {
    errno = EINVAL;
    return nullptr;
  }
  std::string host = device::HostPath(devicePath);
  std::string narrowMode = kernel32::ModeOf(mode);
  TRACE_CALL("kernel32", "_wfopen %s mode=%s", kernel32::Utf16ToUtf8(devicePath).c_str(),
             narrowMode.c_str());
  return fopen(host.c_str(), narrowMode.c_str());
}

FILE* _wfopen(const WCHAR* path, const WCHAR* mode) {
  if (!path || !mode) {
    errno = EINVAL;
    return nullptr;
  }
  return fopen(kernel32::Utf16ToUtf8(path).c_str(), kernel32::ModeOf(mode).c_str());
}
