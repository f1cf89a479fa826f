// A DLL planted beside the program that loads the plug-in never runs: the plug-in binds
// FWPUCLNT.DLL, WTSAPI32.DLL and RASAPI32.DLL from the system folder only. The stand-in setup
// program in planted/ lies beside a marker DLL under each of those names.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "planted_markers.h"
#include "test_processes.h"

namespace brisko::testing {
namespace {

using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

std::optional<DWORD> RunSetup(const std::wstring& arguments = {}) {
    ChildProcess setup = ChildProcess::sibling(L"planted\\planted_setup.exe", arguments);
    if (!setup) return std::nullopt;
    return setup.waitForExit(60000);
}

class PlantedDll : public ::testing::Test {
protected:
    PlantedMarkers markers{L"planted\\", {L"fwpuclnt.dll", L"wtsapi32.dll", L"rasapi32.dll"}};
};

// What a search that starts beside the program takes, under this test's load order: the planted
// copies, whose markers show.
TEST_F(PlantedDll, TheStandardSearchOrderTakesTheCopiesBesideTheProgram) {
    EXPECT_EQ(RunSetup(L"by-name fwpuclnt.dll wtsapi32.dll rasapi32.dll"), 0u);
    EXPECT_THAT(markers.ran(), ElementsAreArray(markers.names()));
}

TEST_F(PlantedDll, ThePluginTakesNoneOfThem) {
    EXPECT_EQ(RunSetup(), 0u) << "every export answered as the system's DLLs let it";
    EXPECT_THAT(markers.ran(), IsEmpty());
}

}  // namespace
}  // namespace brisko::testing
