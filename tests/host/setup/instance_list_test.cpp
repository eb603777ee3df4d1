#include "setup/instance_list.h"

#include "setup_fixture.h"

namespace {

struct Plugged {
    int type;
    uint32_t id;
    const char* description;
    bool claimedElsewhere;
};

struct ListCase {
    const char* name;
    std::vector<Plugged> cameras;
    std::vector<std::pair<int32_t, std::string>> expected; // id and label, in list order
};

class InstanceListTest : public SetupTest, public ::testing::WithParamInterface<ListCase> {};

std::vector<std::pair<int32_t, std::string>> ListedEntries()
{
    std::vector<std::pair<int32_t, std::string>> entries;
    for (int i = 0; k6dlg::CDriverInstanceListElem* entry = k6dlg::InstanceAt(i); ++i)
        entries.emplace_back(entry->cameraId, entry->text);
    return entries;
}

TEST_P(InstanceListTest, ListsEveryCameraThatOpensLabelledWithItsId)
{
    std::vector<HANDLE> claims;
    std::vector<std::shared_ptr<sim::SimCamera>> held;
    for (const Plugged& p : GetParam().cameras) {
        auto camera = AttachCamera(p.type, p.id, p.description);
        if (p.claimedElsewhere) {
            claims.push_back(CreateEventA(nullptr, FALSE, FALSE, ClaimEventName(camera->Path()).c_str()));
            held.push_back(camera);
        }
    }
    EXPECT_EQ(k6dlg::BuildInstanceList(), static_cast<int>(GetParam().expected.size()));
    EXPECT_EQ(ListedEntries(), GetParam().expected);
    // The other program's camera heard nothing from the listing.
    for (const auto& camera : held)
        EXPECT_TRUE(camera->WireRecords().empty());
    // The probes are gone and have given their claims back: the driver's
    // own camera can take any camera that was listed.
    for (const auto& entry : GetParam().expected) {
        CAACamera* camera = CreateDriverCamera();
        EXPECT_TRUE(camera->Open(entry.first)) << entry.second;
        DestroyDriverCamera(camera);
    }
    for (HANDLE claim : claims)
        CloseHandle(claim);
}

const ListCase kListCases[] = {
    {"OneCamera", {{1, 17, "CAM-100", false}}, {{17, "CAM-100, Id: 17"}}},
    {"TrailingBlanksGo", {{1, 17, "CAM-100    ", false}}, {{17, "CAM-100, Id: 17"}}},
    {"NoIdOfItsOwn", {{1, 0xFFFFFFFF, "CAM-200", false}}, {{-1, "CAM-200, Id: -1"}}},
    // 14 + 6 + 11 characters: the whole capacity, nothing cut.
    {"LongestLabel", {{1, 0x80000000, "ABCDEFGHIJKLMN", false}}, {{INT32_MIN, "ABCDEFGHIJKLMN, Id: -2147483648"}}},
    {"ClaimedElsewhereLeftOut",
     {{1, 5, "CAM-A", true}, {1, 6, "CAM-B", false}},
     {{6, "CAM-B, Id: 6"}}},
    {"ClassOrderThenAttachOrder",
     {{3, 30, "CAM-3", false}, {2, 21, "CAM-2b", false}, {1, 10, "CAM-1", false}, {2, 20, "CAM-2a", false}},
     {{10, "CAM-1, Id: 10"}, {21, "CAM-2b, Id: 21"}, {20, "CAM-2a, Id: 20"}, {30, "CAM-3, Id: 30"}}},
    {"NoCamera", {}, {}},
};

INSTANTIATE_TEST_SUITE_P(Cases, InstanceListTest, ::testing::ValuesIn(kListCases),
                         [](const ::testing::TestParamInfo<ListCase>& info) { return info.param.name; });

TEST_F(SetupTest, BuildingAgainReplacesTheEntries)
{
    auto first = AttachCamera(1, 1, "CAM-1");
    AttachCamera(1, 2, "CAM-2");
    EXPECT_EQ(k6dlg::BuildInstanceList(), 2);
    bus.Detach(first);
    EXPECT_EQ(k6dlg::BuildInstanceList(), 1);
    EXPECT_EQ(ListedEntries(), (std::vector<std::pair<int32_t, std::string>>{{2, "CAM-2, Id: 2"}}));
}

TEST_F(SetupTest, AMissingListIsAnEmptyOne)
{
    AttachCamera(1, 1, "CAM-1");
    CBList* list = driverState.instanceList;
    driverState.instanceList = nullptr;
    k6dlg::AddInstance(1);
    EXPECT_EQ(k6dlg::BuildInstanceList(), 0);
    EXPECT_EQ(k6dlg::InstanceAt(0), nullptr);
    driverState.instanceList = list;
    EXPECT_EQ(list->Count(), 0);
}

} // namespace
