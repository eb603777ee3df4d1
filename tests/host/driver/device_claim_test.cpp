// Claims on a device, in this process (the registry) and across processes
// (the named claim event), and the search that takes them.
#include <cstring>

#include "device/pipe_reads.h"
#include "device/device_registry.h"
#include "device/enumeration.h"
#include "device/interface_classes.h"
#include "driver_fixture.h"
#include "host/fine_system_timer.h"

namespace {

using r6odi::kPathCapacity;

const char kPath[] = "\\\\?\\usb#vid_1278&pid_0501#KS00017#{79349dc7-cf70-438e-bc10-f454f02d2067}";
const char kClaimName[] = "K6_____usb#vid_1278&pid_0501#KS00017#{79349dc7-cf70-438e-bc10-f454f02d2067}";

// Whether an event of this name exists, asked the way another process would.
bool ClaimEventExists(const std::string& name)
{
    HANDLE probe = CreateEventA(nullptr, FALSE, FALSE, name.c_str());
    bool existed = GetLastError() == ERROR_ALREADY_EXISTS;
    CloseHandle(probe);
    return existed;
}

std::vector<int32_t>* reported = nullptr;
void RecordId(int32_t id) { reported->push_back(id); }

class ClaimTest : public DriverTest {};

TEST_F(ClaimTest, ClaimEventNameReplacesColonBackslashAndQuestionMark)
{
    ASSERT_TRUE(r6odi::ClaimDevice(kPathCapacity, kPath));
    EXPECT_TRUE(ClaimEventExists(kClaimName));
    ASSERT_TRUE(r6odi::ClaimDevice(kPathCapacity, "C:\\a?b:c"));
    EXPECT_TRUE(ClaimEventExists("K6_C__a_b_c"));
    r6odi::ReleaseDevice(kPathCapacity, kPath);
    r6odi::ReleaseDevice(kPathCapacity, "C:\\a?b:c");
    EXPECT_FALSE(ClaimEventExists(kClaimName));
}

TEST_F(ClaimTest, LongPathGivesANameOfExactly260Characters)
{
    std::string path = "\\\\?\\usb#" + std::string(300, 'x');
    ASSERT_TRUE(r6odi::ClaimDevice(kPathCapacity, path.c_str()));
    std::string name = "K6_____usb#" + std::string(300, 'x');
    EXPECT_TRUE(ClaimEventExists(name.substr(0, 260)));
    EXPECT_FALSE(ClaimEventExists(name.substr(0, 259)));
    r6odi::ReleaseDevice(kPathCapacity, path.c_str());
}

TEST_F(ClaimTest, PathClaimedInThisProcessCreatesNoSecondEvent)
{
    ASSERT_TRUE(r6odi::ClaimDevice(kPathCapacity, kPath));
    long handles = HandlesNow();
    EXPECT_FALSE(r6odi::ClaimDevice(kPathCapacity, kPath));
    std::string upper = kPath;
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_FALSE(r6odi::ClaimDevice(kPathCapacity, upper.c_str()));
    EXPECT_EQ(HandlesNow(), handles);
    EXPECT_EQ(driverState.deviceRegistry->devices.Count(), 1);

    // The upper-cased path, as a connected camera keeps it, finds the entry.
    r6odi::ReleaseDevice(kPathCapacity, upper.c_str());
    EXPECT_EQ(driverState.deviceRegistry->devices.Count(), 0);
    EXPECT_EQ(HandlesNow(), HandlesAtStart());
    EXPECT_TRUE(r6odi::ClaimDevice(kPathCapacity, kPath));
    r6odi::ReleaseDevice(kPathCapacity, kPath);
}

TEST_F(ClaimTest, ClaimHeldByAnotherProcessIsRefused)
{
    HANDLE elsewhere = CreateEventA(nullptr, FALSE, FALSE, kClaimName);
    EXPECT_FALSE(r6odi::ClaimDevice(kPathCapacity, kPath));
    EXPECT_EQ(driverState.deviceRegistry->devices.Count(), 0);
    EXPECT_EQ(HandlesNow(), HandlesAtStart() + 1);
    CloseHandle(elsewhere);
    // Once the other holder lets go, the device can be claimed here.
    EXPECT_TRUE(r6odi::ClaimDevice(kPathCapacity, kPath));
    r6odi::ReleaseDevice(kPathCapacity, kPath);
}

TEST_F(ClaimTest, ReleasingAPathThatIsNotListedChangesNothing)
{
    ASSERT_TRUE(r6odi::ClaimDevice(kPathCapacity, kPath));
    r6odi::ReleaseDevice(kPathCapacity, "\\\\?\\usb#vid_1278&pid_0501#KS00018#{x}");
    EXPECT_EQ(driverState.deviceRegistry->devices.Count(), 1);
    EXPECT_TRUE(ClaimEventExists(kClaimName));
    r6odi::ReleaseDevice(kPathCapacity, kPath);
}

TEST_F(ClaimTest, FirstFreeCameraIsTakenWithoutAnyTraffic)
{
    auto first = Attach(1, 5, "KS00005");
    auto second = Attach(1, 7, "KS00007");
    char path[kPathCapacity + 1] = {};
    HANDLE device = r6odi::EnumerateInterfaceClass(r6odi::InterfaceClassOf(1), path, nullptr, -1, kPathCapacity);
    ASSERT_NE(device, INVALID_HANDLE_VALUE);
    EXPECT_STREQ(path, first->Path().c_str());
    EXPECT_TRUE(first->WireRecords().empty());
    EXPECT_TRUE(second->WireRecords().empty());
    // The caller holds the device handle and the claim.
    EXPECT_EQ(HandlesNow(), HandlesAtStart() + 2);

    // A second search skips the claimed camera and takes the next one.
    char next[kPathCapacity + 1] = {};
    HANDLE other = r6odi::EnumerateInterfaceClass(r6odi::InterfaceClassOf(1), next, nullptr, -1, kPathCapacity);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    EXPECT_STREQ(next, second->Path().c_str());

    CloseHandle(device);
    CloseHandle(other);
    r6odi::ReleaseDevice(kPathCapacity, path);
    r6odi::ReleaseDevice(kPathCapacity, next);
}

TEST_F(ClaimTest, WantedIdSearchReleasesAndClosesEveryMismatch)
{
    auto a = Attach(1, 5, "KS00005");
    auto b = Attach(1, 7, "KS00007");
    auto c = Attach(1, 9, "KS00009");
    char path[kPathCapacity + 1] = {};
    HANDLE device = r6odi::EnumerateInterfaceClass(r6odi::InterfaceClassOf(1), path, nullptr, 9, kPathCapacity);
    ASSERT_NE(device, INVALID_HANDLE_VALUE);
    EXPECT_STREQ(path, c->Path().c_str());
    const std::vector<std::vector<uint8_t>> getInfo = {{0x00}};
    EXPECT_EQ(a->CommandWrites(), getInfo);
    EXPECT_EQ(b->CommandWrites(), getInfo);
    EXPECT_EQ(c->CommandWrites(), getInfo);
    // Only the accepted device is held: its handle and its claim.
    EXPECT_EQ(driverState.deviceRegistry->devices.Count(), 1);
    EXPECT_EQ(HandlesNow(), HandlesAtStart() + 2);
    for (auto& camera : {a, b, c})
        for (auto endpoint : {sim::Endpoint::Command, sim::Endpoint::Reply})
            EXPECT_EQ(camera->OpenFiles(endpoint), 0);
    EXPECT_EQ(c->OpenFiles(sim::Endpoint::Device), 1);
    EXPECT_EQ(a->OpenFiles(sim::Endpoint::Device), 0);
    CloseHandle(device);
    r6odi::ReleaseDevice(kPathCapacity, path);
}

TEST_F(ClaimTest, SearchSkipsCamerasThatCannotBeClaimedOrDoNotAnswer)
{
    auto claimedElsewhere = Attach(1, 9, "KS00001");
    auto refusing = Attach(1, 9, "KS00002");
    auto good = Attach(1, 9, "KS00003");
    std::string name = "K6_____usb#vid_1278&pid_0501#KS00001#{79349dc7-cf70-438e-bc10-f454f02d2067}";
    HANDLE elsewhere = CreateEventA(nullptr, FALSE, FALSE, name.c_str());
    refusing->InjectReplyFault(sim::ReplyFault::Status(0x81));
    char path[kPathCapacity + 1] = {};
    HANDLE device = r6odi::EnumerateInterfaceClass(r6odi::InterfaceClassOf(1), path, nullptr, 9, kPathCapacity);
    ASSERT_NE(device, INVALID_HANDLE_VALUE);
    EXPECT_STREQ(path, good->Path().c_str());
    EXPECT_TRUE(claimedElsewhere->WireRecords().empty());
    CloseHandle(device);
    r6odi::ReleaseDevice(kPathCapacity, path);
    CloseHandle(elsewhere);
}

TEST_F(ClaimTest, NoDeviceOfTheClassGivesInvalidHandleAndNoCallback)
{
    Attach(2, 5, "KS00005");
    std::vector<int32_t> ids;
    reported = &ids;
    char path[kPathCapacity + 1] = {};
    EXPECT_EQ(r6odi::EnumerateInterfaceClass(r6odi::InterfaceClassOf(1), path, RecordId, -1, kPathCapacity),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(r6odi::EnumerateInterfaceClass(r6odi::InterfaceClassOf(3), path, nullptr, -1, kPathCapacity),
              INVALID_HANDLE_VALUE);
    EXPECT_TRUE(ids.empty());
}

TEST_F(ClaimTest, UnobtainableDeviceSetEndsTheWalkAtOnce)
{
    Attach(1, 5, "KS00005");
    bus.FailClass(1, ERROR_GEN_FAILURE);
    char path[kPathCapacity + 1] = "untouched";
    EXPECT_EQ(r6odi::EnumerateInterfaceClass(r6odi::InterfaceClassOf(1), path, nullptr, -1, kPathCapacity),
              INVALID_HANDLE_VALUE);
    EXPECT_STREQ(path, "untouched");
}

// An enumeration error that repeats for every index would walk all 2^32
// of them. The emulated set answers ERROR_NO_MORE_ITEMS past its last
// member, so a set that fails everywhere is played by a run of failing
// members with a good camera behind it: the walk must give up before it.
TEST_F(ClaimTest, WalkEndsAfterSixtyFourFailingIndicesInARow)
{
    struct Case {
        int failingAhead;
        bool interrupted; // one good index in the middle of the run
        bool found;
    } cases[] = {
        {63, false, true},
        {64, false, false},
        {100, false, false},
        {100, true, true},
    };
    int serial = 0;
    for (const Case& c : cases) {
        std::vector<std::shared_ptr<sim::SimCamera>> attached;
        for (int i = 0; i < c.failingAhead; ++i) {
            attached.push_back(Attach(1, 1, "KF" + std::to_string(++serial)));
            if (!(c.interrupted && i == c.failingAhead / 2))
                attached.back()->FailEnumeration(ERROR_GEN_FAILURE);
        }
        // The interrupting camera is claimed elsewhere, so only the last one can be taken.
        if (c.interrupted) {
            ASSERT_TRUE(r6odi::ClaimDevice(kPathCapacity, attached[c.failingAhead / 2]->Path().c_str()));
        }
        auto good = Attach(1, 2, "KG" + std::to_string(++serial));
        attached.push_back(good);
        char path[kPathCapacity + 1] = {};
        HANDLE device = r6odi::EnumerateInterfaceClass(r6odi::InterfaceClassOf(1), path, nullptr, -1, kPathCapacity);
        EXPECT_EQ(device != INVALID_HANDLE_VALUE, c.found) << c.failingAhead << " failing ahead";
        if (device != INVALID_HANDLE_VALUE) {
            EXPECT_STREQ(path, good->Path().c_str());
            CloseHandle(device);
            r6odi::ReleaseDevice(kPathCapacity, path);
        }
        if (c.interrupted)
            r6odi::ReleaseDevice(kPathCapacity, attached[c.failingAhead / 2]->Path().c_str());
        for (auto& camera : attached)
            bus.Detach(camera);
    }
}

// A device held here or in another process is not touched: its holder's
// exchanges would meet the listing's requests.
TEST_F(ClaimTest, CallbackReportsEveryFreeDeviceInClassOrderAndLeavesHeldOnesAlone)
{
    Attach(3, 30, "KS00030");
    auto held = Attach(1, 10, "KS00010");
    auto heldElsewhere = Attach(2, 22, "KS00022");
    auto silent = Attach(1, 11, "KS00011");
    Attach(2, 20, "KS00020");
    auto unreadable = Attach(1, 12, "KS00012");
    auto unopenable = Attach(2, 21, "KS00021");
    auto failingIndex = Attach(3, 31, "KS00031");
    Attach(3, 32, "KS00032");
    silent->InjectReplyFault(sim::ReplyFault::Status(0x83));
    unreadable->FailDetail(true);
    unopenable->FailOpen(sim::Endpoint::Device, ERROR_ACCESS_DENIED);
    failingIndex->FailEnumeration(ERROR_INVALID_DATA);
    ASSERT_TRUE(r6odi::ClaimDevice(kPathCapacity, held->Path().c_str()));
    // What another process holding the device leaves: its claim event.
    HANDLE otherProcess = r6odi::CreateClaimEvent(heldElsewhere->Path().c_str());
    ASSERT_NE(otherProcess, nullptr);

    std::vector<int32_t> ids;
    reported = &ids;
    r6odi::EnumerateCameras(RecordId);
    EXPECT_EQ(ids, (std::vector<int32_t>{-1, 20, 30, 32}));
    EXPECT_TRUE(held->WireRecords().empty());
    EXPECT_TRUE(heldElsewhere->WireRecords().empty());
    // Listing leaves no claim behind.
    EXPECT_EQ(driverState.deviceRegistry->devices.Count(), 1);
    r6odi::ReleaseDevice(kPathCapacity, held->Path().c_str());
    CloseHandle(otherProcess);
}

TEST_F(ClaimTest, IdentificationNeedsACompleteSuccessfulReply)
{
    auto camera = Attach(1, 0x12345678, "KS00001");
    const char* path = camera->Path().c_str();
    EXPECT_EQ(r6odi::IdentifyDevice(kPathCapacity, path), 0x12345678);

    camera->InjectReplyFault(sim::ReplyFault::CutTo(60));
    EXPECT_EQ(r6odi::IdentifyDevice(kPathCapacity, path), -1);
    camera->InjectReplyFault(sim::ReplyFault::Empty());
    EXPECT_EQ(r6odi::IdentifyDevice(kPathCapacity, path), -1);
    FineSystemTimer fineTimer;
    uint64_t start = emu::Now();
    camera->InjectReplyFault(sim::ReplyFault::Lost());
    EXPECT_EQ(r6odi::IdentifyDevice(kPathCapacity, path), -1);
    // A reply that never comes is waited for until the driver's own limit
    // (after the empty pipe was drained of an earlier user's leftovers).
    EXPECT_EQ(emu::Now() - start, r6odi::kDrainWaitMs + r6odi::kReplyLimitMs);
    camera->FailOpen(sim::Endpoint::Reply, ERROR_ACCESS_DENIED);
    EXPECT_EQ(r6odi::IdentifyDevice(kPathCapacity, path), -1);
    // The command pipe opened first is closed again.
    EXPECT_EQ(camera->OpenFiles(sim::Endpoint::Command), 0);
    camera->ClearFaults();

    // A request that did not leave whole is not followed by a read: the
    // camera's answer to what it did receive stays unread.
    const struct {
        sim::WriteFault fault;
        size_t repliesLeft;
    } writes[] = {
        {sim::WriteFault::Refused(ERROR_GEN_FAILURE), 0},
        {sim::WriteFault::FailsAfterDelivery(ERROR_SEM_TIMEOUT), 1},
        {sim::WriteFault::CutTo(0), 0},
    };
    for (const auto& write : writes) {
        camera->InjectWriteFault(write.fault);
        EXPECT_EQ(r6odi::IdentifyDevice(kPathCapacity, path), -1);
        EXPECT_EQ(camera->PendingReplies(), write.repliesLeft);
        // A new attachment forgets the unread reply.
        bus.Detach(camera);
        bus.Attach(camera);
    }

    auto big = Attach(2, 0xFFFFFFFEu, "KS00002");
    EXPECT_EQ(r6odi::IdentifyDevice(kPathCapacity, big->Path().c_str()), -2);
    EXPECT_EQ(HandlesNow(), HandlesAtStart());
}

} // namespace
