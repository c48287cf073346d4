// InternetCrackUrlA (Wine: dlls/wininet/internet.c, InternetCrackUrlW).
//
// Win32 semantics of URL_COMPONENTSA, per component: a length of 0 means "not asked for";
// a null pointer with a non-zero length asks for a pointer into the caller's URL and the
// component's length; a buffer with a non-zero length asks for a zero-terminated copy, which
// must fit with its terminator (else ERROR_INSUFFICIENT_BUFFER) and whose length, without the
// terminator, is returned. When the extra information (query, fragment) is not asked for it
// stays in the path: the program asks for the path only and expects "?id=…" in it.
#include <cstring>
#include <string_view>

#include "device/Trace.h"
#include "windows.h"
#include "wininet.h"

namespace {

struct Piece {
  const char* at = nullptr;  // into the URL; null when the component is absent
  size_t length = 0;
};

bool SetComponent(LPSTR* component, DWORD* componentLength, Piece piece) {
  if (*componentLength == 0) return true;  // not asked for
  if (!*component) {
    *component = const_cast<LPSTR>(piece.at);
    *componentLength = static_cast<DWORD>(piece.length);
    return true;
  }
  if (*componentLength < piece.length + 1) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return false;
  }
  if (piece.length) memcpy(*component, piece.at, piece.length);
  (*component)[piece.length] = '\0';
  *componentLength = static_cast<DWORD>(piece.length);
  return true;
}

bool EqualNoCase(std::string_view a, const char* b) {
  if (a.size() != strlen(b)) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char c = a[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != b[i]) return false;
  }
  return true;
}

INTERNET_SCHEME SchemeOf(std::string_view name, INTERNET_PORT* defaultPort) {
  struct Known {
    const char* name;
    INTERNET_SCHEME scheme;
    INTERNET_PORT port;
  };
  static const Known kKnown[] = {
      {"http", INTERNET_SCHEME_HTTP, INTERNET_DEFAULT_HTTP_PORT},
      {"https", INTERNET_SCHEME_HTTPS, INTERNET_DEFAULT_HTTPS_PORT},
      {"ftp", INTERNET_SCHEME_FTP, INTERNET_DEFAULT_FTP_PORT},
      {"gopher", INTERNET_SCHEME_GOPHER, INTERNET_DEFAULT_GOPHER_PORT},
      {"file", INTERNET_SCHEME_FILE, 0},
      {"news", INTERNET_SCHEME_NEWS, 0},
      {"mailto", INTERNET_SCHEME_MAILTO, 0},
      {"socks", INTERNET_SCHEME_SOCKS, 0},
      {"javascript", INTERNET_SCHEME_JAVASCRIPT, 0},
      {"vbscript", INTERNET_SCHEME_VBSCRIPT, 0},
      {"res", INTERNET_SCHEME_RES, 0},
  };
  for (const Known& k : kKnown) {
    if (EqualNoCase(name, k.name)) {
      *defaultPort = k.port;
      return k.scheme;
    }
  }
  *defaultPort = 0;
  return INTERNET_SCHEME_UNKNOWN;
}

}  // namespace

BOOL InternetCrackUrlA(LPCSTR lpszUrl, DWORD dwUrlLength, DWORD dwFlags,
                       LPURL_COMPONENTSA lpUrlComponents) {
  TRACE_CALL("wininet", "InternetCrackUrlA url=\"%.*s\" length=%u flags=0x%x",
             lpszUrl ? static_cast<int>(dwUrlLength ? dwUrlLength : strlen(lpszUrl)) : 6,
             lpszUrl ? lpszUrl : "(null)", dwUrlLength, dwFlags);
  if (!lpszUrl || !lpUrlComponents || lpUrlComponents->dwStructSize != sizeof(URL_COMPONENTSA)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  // Escaping and decoding rewrite the URL; nothing on the phone's road asks for them.
  if (dwFlags & (ICU_ESCAPE | ICU_DECODE)) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
  }
  // A length of 0 means the URL is zero-terminated (Win32).
  std::string_view url(lpszUrl, dwUrlLength ? dwUrlLength : strlen(lpszUrl));
  URL_COMPONENTSA& uc = *lpUrlComponents;

  // Scheme: letters, digits, '+', '-', '.' up to the first ':'. Without one there is no URL.
  size_t colon = url.find(':');
  size_t schemeEnd = 0;
  while (schemeEnd < url.size() &&
         (isalnum(static_cast<unsigned char>(url[schemeEnd])) || url[schemeEnd] == '+' ||
          url[schemeEnd] == '-' || url[schemeEnd] == '.'))
    ++schemeEnd;
  if (colon == std::string_view::npos || colon == 0 || schemeEnd != colon) {
    SetLastError(ERROR_INTERNET_UNRECOGNIZED_SCHEME);
    return FALSE;
  }
  INTERNET_PORT defaultPort = 0;
  INTERNET_SCHEME scheme = SchemeOf(url.substr(0, colon), &defaultPort);
  Piece schemePiece{url.data(), colon};

  Piece user, password, host, path, extra;
  INTERNET_PORT port = defaultPort;
  std::string_view rest = url.substr(colon + 1);
  const char* restAt = url.data() + colon + 1;
  if (rest.size() >= 2 && rest[0] == '/' && rest[1] == '/') {
    // Hierarchical: //[user[:password]@]host[:port][/path][?query][#fragment]
    size_t start = 2;
    size_t authorityEnd = rest.find_first_of("/?#", start);
    if (authorityEnd == std::string_view::npos) authorityEnd = rest.size();
    std::string_view authority = rest.substr(start, authorityEnd - start);
    const char* authorityAt = restAt + start;
    size_t at = authority.rfind('@');
    if (at != std::string_view::npos) {
      std::string_view credentials = authority.substr(0, at);
      size_t sep = credentials.find(':');
      if (sep == std::string_view::npos) {
        user = {authorityAt, credentials.size()};
      } else {
        user = {authorityAt, sep};
        password = {authorityAt + sep + 1, credentials.size() - sep - 1};
      }
      authority = authority.substr(at + 1);
      authorityAt += at + 1;
    }
    // A bracketed IPv6 literal keeps its colons; the port follows the closing bracket.
    size_t portSep = std::string_view::npos;
    if (!authority.empty() && authority[0] == '[') {
      size_t close = authority.find(']');
      if (close == std::string_view::npos) {
        SetLastError(ERROR_INTERNET_INVALID_URL);
        return FALSE;
      }
      if (close + 1 < authority.size() && authority[close + 1] == ':') portSep = close + 1;
    } else {
      portSep = authority.find(':');
    }
    if (portSep != std::string_view::npos) {
      std::string_view digits = authority.substr(portSep + 1);
      unsigned long value = 0;
      for (char c : digits) {
        if (c < '0' || c > '9' || value > 65535) {
          SetLastError(ERROR_INTERNET_INVALID_URL);
          return FALSE;
        }
        value = value * 10 + static_cast<unsigned long>(c - '0');
      }
      if (value > 65535) {
        SetLastError(ERROR_INTERNET_INVALID_URL);
        return FALSE;
      }
      // "host:" with no digits keeps the scheme's default port, as Windows does.
      if (!digits.empty()) port = static_cast<INTERNET_PORT>(value);
      host = {authorityAt, portSep};
    } else {
      host = {authorityAt, authority.size()};
    }
    if (host.length == 0 && (scheme == INTERNET_SCHEME_HTTP || scheme == INTERNET_SCHEME_HTTPS)) {
      SetLastError(ERROR_INTERNET_INVALID_URL);
      return FALSE;
    }
    rest = rest.substr(authorityEnd);
    restAt += authorityEnd;
  }
  // What is left is the path with its extra information ("?query" or "#fragment").
  if (uc.dwExtraInfoLength != 0) {
    size_t extraAt = rest.find_first_of("?#");
    if (extraAt == std::string_view::npos) extraAt = rest.size();
    path = {restAt, extraAt};
    extra = {restAt + extraAt, rest.size() - extraAt};
  } else {
    path = {restAt, rest.size()};
  }
  if (path.length == 0) path.at = restAt;

  if (!SetComponent(&uc.lpszScheme, &uc.dwSchemeLength, schemePiece) ||
      !SetComponent(&uc.lpszHostName, &uc.dwHostNameLength, host) ||
      !SetComponent(&uc.lpszUserName, &uc.dwUserNameLength, user) ||
      !SetComponent(&uc.lpszPassword, &uc.dwPasswordLength, password) ||
      !SetComponent(&uc.lpszUrlPath, &uc.dwUrlPathLength, path) ||
      !SetComponent(&uc.lpszExtraInfo, &uc.dwExtraInfoLength, extra))
    return FALSE;
  uc.nScheme = scheme;
  uc.nPort = port;
  return TRUE;
}
