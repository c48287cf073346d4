// The connection manager (cellcore): the emulated phone's data link.
//
// The phone's network is the host's, so a connection is up at once, unless a test told the
// device otherwise (device::options().netFault): then establishing fails with the chosen
// HRESULT, or never completes so that ConnMgrEstablishConnectionSync waits its whole time-out
// on the device clock (under the virtual clock a test advances time to end it).
// Connection handles are kernel handles (kernel32's table) of a ConnectionObject.
#include <condition_variable>
#include <mutex>

#include "connmgr.h"
#include "device/Clock.h"
#include "device/Device.h"
#include "device/Trace.h"
#include "kernel32/kernel32.h"

namespace {

class ConnectionObject : public kernel32::KernelObject {
 public:
  explicit ConnectionObject(const GUID& destination) : destination(destination) {}
  const GUID destination;
};

HRESULT NewConnection(const GUID& destination, HANDLE* phConnection) {
  HANDLE handle = kernel32::InsertHandle(std::make_shared<ConnectionObject>(destination));
  if (!handle) return E_OUTOFMEMORY;
  *phConnection = handle;
  return S_OK;
}

// The record as the SDK defines it: the caller passes sizeof(CONNMGR_CONNECTIONINFO), which
// is 64 bytes on the phone; any other size is refused as Windows Mobile does.
bool ValidRecord(const CONNMGR_CONNECTIONINFO* info) {
  return info && info->cbSize == sizeof(CONNMGR_CONNECTIONINFO);
}

// The destination network asked for: the record's, when its valid-fields mask says so,
// else "The Internet".
GUID DestinationOf(const CONNMGR_CONNECTIONINFO* info) {
  return (info->dwParams & CONNMGR_PARAM_GUIDDESTNET) ? info->guidDestNet : IID_DestNetInternet;
}

}  // namespace

HRESULT ConnMgrMapURL(LPCWSTR pwszURL, GUID* pguid, DWORD* pdwIndex) {
  std::string url = pwszURL ? kernel32::Utf16ToUtf8(std::u16string_view(pwszURL)) : "(null)";
  TRACE_CALL("cellcore", "ConnMgrMapURL url=\"%s\"", url.c_str());
  if (!pwszURL || !pguid) return E_INVALIDARG;
  // Every host is reached through the Internet network: the emulated phone has no work
  // network or proxy rules of its own (the index is the next mapping to try; there is one).
  *pguid = IID_DestNetInternet;
  if (pdwIndex) *pdwIndex = 0;
  return S_OK;
}

HRESULT ConnMgrEstablishConnection(CONNMGR_CONNECTIONINFO* pConnInfo, HANDLE* phConnection) {
  TRACE_CALL("cellcore", "ConnMgrEstablishConnection cbSize=%u",
             pConnInfo ? pConnInfo->cbSize : 0u);
  if (!ValidRecord(pConnInfo) || !phConnection) return E_INVALIDARG;
  // Asynchronous: the handle is returned at once and its status tells how it goes; a refused
  // or never-completing link shows as failed or waiting through ConnMgrConnectionStatus.
  return NewConnection(DestinationOf(pConnInfo), phConnection);
}

HRESULT ConnMgrEstablishConnectionSync(CONNMGR_CONNECTIONINFO* pConnInfo, HANDLE* phConnection,
                                       DWORD dwTimeout, DWORD* pdwStatus) {
  TRACE_CALL("cellcore", "ConnMgrEstablishConnectionSync cbSize=%u timeout=%u",
             pConnInfo ? pConnInfo->cbSize : 0u, dwTimeout);
  if (!ValidRecord(pConnInfo) || !phConnection) return E_INVALIDARG;
  *phConnection = nullptr;
  const device::Options& o = device::options();
  HRESULT hr = S_OK;
  DWORD status = CONNMGR_STATUS_CONNECTED;
  switch (o.netFault) {
    case device::Options::NetFault::None:
      hr = NewConnection(DestinationOf(pConnInfo), phConnection);
      if (FAILED(hr)) status = CONNMGR_STATUS_NORESOURCES;
      break;
    case device::Options::NetFault::Fail:
      hr = static_cast<HRESULT>(o.netFailResult);
      status = CONNMGR_STATUS_CONNECTIONFAILED;
      break;
    case device::Options::NetFault::Timeout: {
      // The link never comes up: wait the whole time-out on the device clock, then give up
      // with the connection still waiting (the program treats any failure alike).
      std::mutex mutex;
      std::condition_variable cv;
      std::unique_lock<std::mutex> lk(mutex);
      device::Clock::waitUntil(lk, cv, device::Clock::now() + dwTimeout, [] { return false; });
      hr = HRESULT_FROM_WIN32(ERROR_TIMEOUT);
      status = CONNMGR_STATUS_WAITINGCONNECTION;
      break;
    }
  }
  if (pdwStatus) *pdwStatus = status;
  TRACE_CALL("cellcore", "ConnMgrEstablishConnectionSync -> 0x%08x status=0x%x at=%llu",
             static_cast<unsigned>(hr), status,
             static_cast<unsigned long long>(device::Clock::now()));
  return hr;
}

HRESULT ConnMgrConnectionStatus(HANDLE hConnection, DWORD* pdwStatus) {
  TRACE_CALL("cellcore", "ConnMgrConnectionStatus handle=%p", hConnection);
  if (!pdwStatus) return E_INVALIDARG;
  auto connection = kernel32::LookupHandleAs<ConnectionObject>(hConnection);
  if (!connection) return E_INVALIDARG;
  switch (device::options().netFault) {
    case device::Options::NetFault::None: *pdwStatus = CONNMGR_STATUS_CONNECTED; break;
    case device::Options::NetFault::Fail: *pdwStatus = CONNMGR_STATUS_CONNECTIONFAILED; break;
    case device::Options::NetFault::Timeout: *pdwStatus = CONNMGR_STATUS_WAITINGCONNECTION; break;
  }
  return S_OK;
}

HRESULT ConnMgrReleaseConnection(HANDLE hConnection, LONG lCache) {
  TRACE_CALL("cellcore", "ConnMgrReleaseConnection handle=%p cache=%d", hConnection, lCache);
  if (!kernel32::LookupHandleAs<ConnectionObject>(hConnection)) return E_INVALIDARG;
  kernel32::RemoveHandle(hConnection);
  return S_OK;
}
