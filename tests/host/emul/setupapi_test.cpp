// The emulated SetupAPI over a small bus that serves fixed interface lists:
// snapshots, the detail size protocol and every error code.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "platform/emul/control.h"
#include "platform/win32.h"

namespace {

const GUID kClassA = {0x6A1C2B3D, 0x1111, 0x2222, {0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x70, 0x80}};
const GUID kClassB = {0x6A1C2B3D, 0x1111, 0x2222, {0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x70, 0x81}};

class FixedBus : public emu::DeviceBus {
public:
    std::unique_ptr<emu::DeviceFile> Open(const std::string&, DWORD* error) override
    {
        *error = ERROR_FILE_NOT_FOUND;
        return nullptr;
    }
    bool Interfaces(const GUID& interfaceClass, std::vector<emu::InterfaceEntry>* out,
                    DWORD* error) override
    {
        emu::Now(); // takes the emulation's lock: would hang if SetupAPI held it here
        ++asked;
        if (refusal != ERROR_SUCCESS || refuseWithoutError) {
            *error = refusal;
            return false;
        }
        if (interfaceClass == kClassA)
            *out = members;
        return true;
    }
    std::vector<emu::InterfaceEntry> members;
    DWORD refusal = ERROR_SUCCESS;
    bool refuseWithoutError = false;
    int asked = 0;
};

class SetupApiTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        emu::TakeMisuseReports();
        start = emu::Snapshot();
        bus.members = {{"\\\\?\\usb#first", 0, false},
                       {"\\\\?\\usb#second", ERROR_GEN_FAILURE, false},
                       {"\\\\?\\usb#third-with-a-longer-name", 0, true}};
        emu::SetDeviceBus(&bus);
    }
    void TearDown() override
    {
        emu::SetDeviceBus(nullptr);
        EXPECT_EQ(emu::Snapshot().deviceInfoSets, start.deviceInfoSets);
        EXPECT_EQ(emu::TakeMisuseReports(), std::vector<std::string>{});
    }
    HDEVINFO Snapshot(const GUID& interfaceClass)
    {
        return SetupDiGetClassDevsA(&interfaceClass, nullptr, nullptr,
                                    DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    }
    static SP_DEVICE_INTERFACE_DATA InterfaceRecord()
    {
        SP_DEVICE_INTERFACE_DATA data{};
        data.cbSize = sizeof data;
        return data;
    }
    FixedBus bus;
    emu::Counts start;
};

TEST_F(SetupApiTest, SnapshotListsTheMembersAsTheBusHadThem)
{
    HDEVINFO set = Snapshot(kClassA);
    ASSERT_NE(set, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), 0u);
    EXPECT_EQ(emu::Snapshot().deviceInfoSets, start.deviceInfoSets + 1);
    bus.members.clear(); // later changes do not show
    SP_DEVICE_INTERFACE_DATA data = InterfaceRecord();
    ASSERT_TRUE(SetupDiEnumDeviceInterfaces(set, nullptr, &kClassA, 0, &data));
    EXPECT_EQ(GetLastError(), 0u);
    EXPECT_EQ(data.InterfaceClassGuid, kClassA);
    EXPECT_EQ(data.Flags, (DWORD)SPINT_ACTIVE);
    EXPECT_FALSE(SetupDiEnumDeviceInterfaces(set, nullptr, &kClassA, 1, &data));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_GEN_FAILURE); // the member's injected error
    EXPECT_TRUE(SetupDiEnumDeviceInterfaces(set, nullptr, &kClassA, 2, &data));
    EXPECT_FALSE(SetupDiEnumDeviceInterfaces(set, nullptr, &kClassA, 3, &data));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_NO_MORE_ITEMS);
    EXPECT_FALSE(SetupDiEnumDeviceInterfaces(set, nullptr, &kClassB, 0, &data));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_NO_MORE_ITEMS);
    data.cbSize = sizeof data - 1;
    EXPECT_FALSE(SetupDiEnumDeviceInterfaces(set, nullptr, &kClassA, 0, &data));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_USER_BUFFER);
    EXPECT_TRUE(SetupDiDestroyDeviceInfoList(set));
    EXPECT_EQ(bus.asked, 1);
}

TEST_F(SetupApiTest, DetailIsFetchedWithTheSizeItAskedFor)
{
    HDEVINFO set = Snapshot(kClassA);
    SP_DEVICE_INTERFACE_DATA data = InterfaceRecord();
    ASSERT_TRUE(SetupDiEnumDeviceInterfaces(set, nullptr, &kClassA, 0, &data));
    DWORD required = 0;
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailA(set, &data, nullptr, 0, &required, nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath), 4u);
    EXPECT_EQ(required, 4 + std::strlen("\\\\?\\usb#first") + 1);

    std::vector<uint32_t> storage(64, 0xFFFFFFFF);
    auto* detail = reinterpret_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_A>(storage.data());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) + 1;
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailA(set, &data, detail, required, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_USER_BUFFER);
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    required = 0;
    DWORD exact = 4 + (DWORD)std::strlen("\\\\?\\usb#first") + 1;
    EXPECT_FALSE(
        SetupDiGetDeviceInterfaceDetailA(set, &data, detail, exact - 1, &required, nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(required, exact);
    ASSERT_TRUE(SetupDiGetDeviceInterfaceDetailA(set, &data, detail, exact, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), 0u);
    EXPECT_STREQ(detail->DevicePath, "\\\\?\\usb#first");
    EXPECT_EQ(reinterpret_cast<unsigned char*>(detail)[exact], 0xFF); // nothing written past it

    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailA(set, &data, nullptr, 8, &required, nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_USER_BUFFER);
    EXPECT_TRUE(SetupDiDestroyDeviceInfoList(set));
}

TEST_F(SetupApiTest, FailingDetailAnswersTheSizeButNotThePath)
{
    HDEVINFO set = Snapshot(kClassA);
    SP_DEVICE_INTERFACE_DATA data = InterfaceRecord();
    ASSERT_TRUE(SetupDiEnumDeviceInterfaces(set, nullptr, &kClassA, 2, &data));
    DWORD required = 0;
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailA(set, &data, nullptr, 0, &required, nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INSUFFICIENT_BUFFER);
    std::vector<uint32_t> storage(64, 0);
    auto* detail = reinterpret_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_A>(storage.data());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailA(set, &data, detail, required, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_NO_SUCH_DEVICE_INTERFACE);
    EXPECT_EQ(detail->DevicePath[0], 0);
    EXPECT_TRUE(SetupDiDestroyDeviceInfoList(set));
}

TEST_F(SetupApiTest, InterfaceRecordOfAnotherSetIsRefused)
{
    HDEVINFO first = Snapshot(kClassA);
    HDEVINFO second = Snapshot(kClassA);
    SP_DEVICE_INTERFACE_DATA data = InterfaceRecord();
    ASSERT_TRUE(SetupDiEnumDeviceInterfaces(first, nullptr, &kClassA, 0, &data));
    DWORD required = 0;
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailA(second, &data, nullptr, 0, &required, nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
    EXPECT_TRUE(SetupDiDestroyDeviceInfoList(first));
    EXPECT_TRUE(SetupDiDestroyDeviceInfoList(second));
}

TEST_F(SetupApiTest, RefusedAndUnsupportedRequestsMakeNoSet)
{
    bus.refusal = ERROR_ACCESS_DENIED;
    EXPECT_EQ(Snapshot(kClassA), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
    bus.refusal = ERROR_SUCCESS;
    bus.refuseWithoutError = true;
    EXPECT_EQ(Snapshot(kClassA), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_GEN_FAILURE);
    bus.refuseWithoutError = false;
    EXPECT_EQ(SetupDiGetClassDevsA(&kClassA, nullptr, nullptr, DIGCF_PRESENT),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_FLAGS);
    EXPECT_EQ(SetupDiGetClassDevsA(&kClassA, nullptr, nullptr,
                                   DIGCF_ALLCLASSES | DIGCF_PRESENT | DIGCF_DEVICEINTERFACE),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_FLAGS);
    EXPECT_EQ(
        SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE),
        INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
    EXPECT_EQ(emu::Snapshot().deviceInfoSets, start.deviceInfoSets);
}

TEST_F(SetupApiTest, NoBusGivesAnEmptySet)
{
    emu::SetDeviceBus(nullptr);
    HDEVINFO set = Snapshot(kClassA);
    ASSERT_NE(set, INVALID_HANDLE_VALUE);
    SP_DEVICE_INTERFACE_DATA data = InterfaceRecord();
    EXPECT_FALSE(SetupDiEnumDeviceInterfaces(set, nullptr, &kClassA, 0, &data));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_NO_MORE_ITEMS);
    EXPECT_TRUE(SetupDiDestroyDeviceInfoList(set));
    EXPECT_EQ(bus.asked, 0);
}

TEST_F(SetupApiTest, DestroyedSetIsMisuseEverywhere)
{
    HDEVINFO set = Snapshot(kClassA);
    SP_DEVICE_INTERFACE_DATA data = InterfaceRecord();
    ASSERT_TRUE(SetupDiEnumDeviceInterfaces(set, nullptr, &kClassA, 0, &data));
    ASSERT_TRUE(SetupDiDestroyDeviceInfoList(set));
    EXPECT_FALSE(SetupDiDestroyDeviceInfoList(set));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
    EXPECT_FALSE(SetupDiEnumDeviceInterfaces(set, nullptr, &kClassA, 0, &data));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
    DWORD required = 0;
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailA(set, &data, nullptr, 0, &required, nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
    EXPECT_FALSE(SetupDiDestroyDeviceInfoList(INVALID_HANDLE_VALUE));
    std::vector<std::string> reports = emu::TakeMisuseReports();
    ASSERT_EQ(reports.size(), 4u);
    EXPECT_EQ(reports[0].rfind("SetupDiDestroyDeviceInfoList", 0), 0u) << reports[0];
    EXPECT_EQ(reports[1].rfind("SetupDiEnumDeviceInterfaces", 0), 0u) << reports[1];
    EXPECT_EQ(reports[2].rfind("SetupDiGetDeviceInterfaceDetailA", 0), 0u) << reports[2];
}

} // namespace
