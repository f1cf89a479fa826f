// A DLL planted beside the program that hosts the bridge never runs: the bridge binds XmlLite.dll
// from the system folder only. The stand-in service program in planted/ lies beside a marker DLL
// of that name.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "planted_markers.h"
#include "test_processes.h"

namespace brisko::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

std::optional<DWORD> RunService(const std::wstring& arguments = {}) {
    ChildProcess service = ChildProcess::sibling(L"planted\\planted_service.exe", arguments);
    if (!service) return std::nullopt;
    return service.waitForExit(60000);
}

class PlantedDll : public ::testing::Test {
protected:
    PlantedMarkers markers{L"planted\\", {L"xmllite.dll"}};
};

// What a search that starts beside the program takes, under this test's load order: the planted
// copy, whose marker shows.
TEST_F(PlantedDll, TheStandardSearchOrderTakesTheCopyBesideTheProgram) {
    EXPECT_EQ(RunService(L"by-name xmllite.dll"), 0u);
    EXPECT_THAT(markers.ran(), ElementsAre(L"xmllite.dll"));
}

TEST_F(PlantedDll, TheBridgeTakesTheSystemFoldersXmlLite) {
    EXPECT_EQ(RunService(), 0u) << "the manifest's tile colour was read with the system's XmlLite";
    EXPECT_THAT(markers.ran(), IsEmpty());
}

}  // namespace
}  // namespace brisko::testing
