// Connection manager conformance: the record as the client fills it, success, a refusal with
// the chosen HRESULT, and the record-size check. The time-out after exactly 10000 ms on the
// device clock is tested through HTTPHandler (tests/net).
#include <gtest/gtest.h>
#include <windows.h>
#include <connmgr.h>

#include "device/Clock.h"
#include "device/Device.h"
#include "device/TestDriver.h"

namespace {

// The record exactly as the HTTP transport fills it.
CONNMGR_CONNECTIONINFO ClientRecord() {
  CONNMGR_CONNECTIONINFO info;
  memset(&info, 0, sizeof info);
  info.cbSize = sizeof info;
  info.dwParams = CONNMGR_PARAM_GUIDDESTNET;
  info.dwFlags = CONNMGR_FLAG_PROXY_HTTP;
  info.dwPriority = CONNMGR_PRIORITY_USERINTERACTIVE;
  EXPECT_EQ(ConnMgrMapURL(TEXT("http://melodex.example/servlet/ZorbelId"), &info.guidDestNet,
                          nullptr),
            S_OK);
  return info;
}

TEST(ConnMgr, MapURL) {
  device::TestDriver driver;
  GUID guid;
  memset(&guid, 0xcc, sizeof guid);
  DWORD index = 0xdeadbeef;
  EXPECT_EQ(ConnMgrMapURL(TEXT("http://example.com/"), &guid, &index), S_OK);
  EXPECT_EQ(memcmp(&guid, &IID_DestNetInternet, sizeof guid), 0);
  EXPECT_EQ(index, 0u);
  EXPECT_EQ(ConnMgrMapURL(nullptr, &guid, nullptr), E_INVALIDARG);
  EXPECT_EQ(ConnMgrMapURL(TEXT("http://x/"), nullptr, nullptr), E_INVALIDARG);
}

TEST(ConnMgr, EstablishConnectionSyncSucceeds) {
  device::TestDriver driver;
  CONNMGR_CONNECTIONINFO info = ClientRecord();
  HANDLE connection = nullptr;
  DWORD status = 0xdeadbeef;
  ASSERT_EQ(ConnMgrEstablishConnectionSync(&info, &connection, 10000, &status), S_OK);
  EXPECT_NE(connection, nullptr);
  EXPECT_EQ(status, static_cast<DWORD>(CONNMGR_STATUS_CONNECTED));
  EXPECT_EQ(driver.now(), 0u);  // no time passed
  // The transport's first question on a later request: the existing connection's status.
  status = 0;
  EXPECT_EQ(ConnMgrConnectionStatus(connection, &status), S_OK);
  EXPECT_EQ(status, static_cast<DWORD>(CONNMGR_STATUS_CONNECTED));
  EXPECT_EQ(ConnMgrReleaseConnection(connection, 0), S_OK);
  EXPECT_EQ(ConnMgrConnectionStatus(connection, &status), E_INVALIDARG);
  EXPECT_EQ(ConnMgrReleaseConnection(connection, 0), E_INVALIDARG);
}

TEST(ConnMgr, EstablishConnectionSyncFailsWhenToldTo) {
  device::TestDriver driver;
  device::options().netFault = device::Options::NetFault::Fail;
  CONNMGR_CONNECTIONINFO info = ClientRecord();
  HANDLE connection = reinterpret_cast<HANDLE>(0x1);
  DWORD status = 0;
  EXPECT_EQ(ConnMgrEstablishConnectionSync(&info, &connection, 10000, &status), E_FAIL);
  EXPECT_EQ(connection, nullptr);
  EXPECT_EQ(status, static_cast<DWORD>(CONNMGR_STATUS_CONNECTIONFAILED));
  // A chosen HRESULT (--net-fault fail:0x80004004).
  device::options().netFailResult = static_cast<unsigned>(E_ABORT);
  EXPECT_EQ(ConnMgrEstablishConnectionSync(&info, &connection, 10000, &status), E_ABORT);
  EXPECT_EQ(driver.now(), 0u);
}

TEST(ConnMgr, EstablishConnectionSyncChecksTheRecordSize) {
  device::TestDriver driver;
  CONNMGR_CONNECTIONINFO info = ClientRecord();
  HANDLE connection = nullptr;
  DWORD status = 0;
  for (DWORD size : {0u, static_cast<DWORD>(sizeof info - 4), static_cast<DWORD>(sizeof info + 4)}) {
    info.cbSize = size;
    EXPECT_EQ(ConnMgrEstablishConnectionSync(&info, &connection, 10000, &status), E_INVALIDARG)
        << size;
  }
  info.cbSize = sizeof info;
  EXPECT_EQ(ConnMgrEstablishConnectionSync(nullptr, &connection, 10000, &status), E_INVALIDARG);
  EXPECT_EQ(ConnMgrEstablishConnectionSync(&info, nullptr, 10000, &status), E_INVALIDARG);
}

}  // namespace
