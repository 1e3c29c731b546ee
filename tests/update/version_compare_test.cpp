#include <gtest/gtest.h>

#include "app/qarx_service_dlg.h"
#include "support/probe_bed.h"
#include "update/version_compare.h"

namespace qarx {
namespace {

using testing::ProbeBed;

constexpr char16_t kControl[] = u"SOFTWARE\\Veltrane\\IC Card Terminal\\OCX\\";
constexpr char16_t kServer[] = u"SOFTWARE\\Veltrane\\IC Card Terminal\\Server\\";

struct Version {
  uint32_t major, build, revision, minor;
};

struct CompareCase {
  const char* label;
  Version installed;
  Version configured;
  bool newer;
};

class ComponentOrder : public ::testing::TestWithParam<CompareCase> {};

// The same rule decides for both components, each into its own bit.
TEST_P(ComponentOrder, AComponentDecidesOnlyWhenTheConfigurationIsGreater) {
  const CompareCase& c = GetParam();
  for (const bool control : {true, false}) {
    ProbeBed bed;
    const Version same{1, 0, 0, 1};
    const auto& i = c.installed;
    const auto& k = c.configured;
    bed.registry.SetVersion(kControl, control ? i.major : same.major, control ? i.build : same.build,
                            control ? i.revision : same.revision, control ? i.minor : same.minor);
    bed.registry.SetVersion(kServer, control ? same.major : i.major, control ? same.build : i.build,
                            control ? same.revision : i.revision, control ? same.minor : i.minor);
    bed.SetConfiguredVersion(u"Control", control ? k.major : same.major, control ? k.build : same.build,
                             control ? k.revision : same.revision, control ? k.minor : same.minor);
    bed.SetConfiguredVersion(u"Server", control ? same.major : k.major, control ? same.build : k.build,
                             control ? same.revision : k.revision, control ? same.minor : k.minor);
    const uint32_t expected = c.newer ? (control ? 1u : 2u) : 0u;
    EXPECT_EQ(CompareInstalledVersions(bed.platform), expected) << (control ? "control" : "server");
    EXPECT_EQ(bed.registry.openKeys(), 0);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ComponentOrder,
    ::testing::Values(CompareCase{"Equal", {1, 0, 0, 0}, {1, 0, 0, 0}, false},
                      CompareCase{"MinorOneHigher", {1, 2, 3, 4}, {1, 2, 3, 5}, true},
                      CompareCase{"BuildGreaterInstalledPassesOn", {1, 5, 0, 0}, {1, 4, 9, 9}, true},
                      CompareCase{"MajorGreaterInstalledPassesOn", {2, 0, 0, 0}, {1, 0, 5, 0}, true},
                      CompareCase{"InstalledNewerEverywhere", {2, 1, 1, 1}, {1, 0, 0, 0}, false},
                      CompareCase{"ConfiguredMajorGreater", {1, 9, 9, 9}, {2, 0, 0, 0}, true},
                      CompareCase{"UnsignedComparison", {0x80000000u, 0, 0, 0}, {0x7FFFFFFFu, 0, 0, 0}, false}),
    [](const auto& info) { return std::string(info.param.label); });

class VersionCompare : public ::testing::Test {
 protected:
  void SetUp() override {
    bed.registry.SetVersion(kControl, 1, 0, 0, 0);
    bed.registry.SetVersion(kServer, 1, 0, 0, 0);
    bed.SetConfiguredVersion(u"Control", 1, 0, 0, 0);
    bed.SetConfiguredVersion(u"Server", 1, 0, 0, 0);
  }
  ProbeBed bed;
};

TEST_F(VersionCompare, BothNewer) {
  bed.SetConfiguredVersion(u"Control", 1, 0, 0, 1);
  bed.SetConfiguredVersion(u"Server", 1, 1, 0, 0);
  EXPECT_EQ(CompareInstalledVersions(bed.platform), 3u);
}

TEST_F(VersionCompare, MissingControlKeySuppressesTheServerComparison) {
  ProbeBed fresh;
  fresh.registry.SetVersion(kServer, 0, 0, 0, 1);
  fresh.SetConfiguredVersion(u"Server", 9, 0, 0, 0);
  EXPECT_EQ(CompareInstalledVersions(fresh.platform), 0u);
}

TEST_F(VersionCompare, MissingVersionBuildWithEqualMajorStopsEverything) {
  bed.registry.RemoveValue(RegRoot::LocalMachine, kControl, u"VersionBuild");
  bed.SetConfiguredVersion(u"Server", 2, 0, 0, 0);
  EXPECT_EQ(CompareInstalledVersions(bed.platform), 0u);
  EXPECT_EQ(bed.registry.queries(), (std::vector<std::u16string>{u"VersionMajor", u"VersionBuild"}));
  EXPECT_EQ(bed.registry.openKeys(), 0);
}

TEST_F(VersionCompare, MissingVersionBuildIsNeverReadWhenMajorDecides) {
  bed.registry.RemoveValue(RegRoot::LocalMachine, kControl, u"VersionBuild");
  bed.SetConfiguredVersion(u"Control", 2, 0, 0, 0);
  EXPECT_EQ(CompareInstalledVersions(bed.platform), 1u);
  EXPECT_EQ(bed.registry.queries().front(), u"VersionMajor");
  EXPECT_EQ(bed.registry.queries()[1], u"VersionMajor");  // the next read is the server's
}

TEST_F(VersionCompare, UnreadableServerValueKeepsTheControlResult) {
  bed.SetConfiguredVersion(u"Control", 2, 0, 0, 0);
  bed.registry.RemoveValue(RegRoot::LocalMachine, kServer, u"VersionMajor");
  EXPECT_EQ(CompareInstalledVersions(bed.platform), 1u);
  EXPECT_EQ(bed.registry.openKeys(), 0);
}

TEST_F(VersionCompare, ConfigurationWithoutControlSectionOffersTheControl) {
  bed.profile.RemoveSection(bed.ConfigCopy(), u"Control");
  EXPECT_EQ(CompareInstalledVersions(bed.platform), 1u);
}

TEST_F(VersionCompare, ShortRegistryDataIsZeroPadded) {
  bed.registry.SetRaw(RegRoot::LocalMachine, kControl, u"VersionMinor", REG_BINARY, {0x01});
  bed.SetConfiguredVersion(u"Control", 1, 0, 0, 1);
  EXPECT_EQ(CompareInstalledVersions(bed.platform), 0u);
  bed.SetConfiguredVersion(u"Control", 1, 0, 0, 2);
  EXPECT_EQ(CompareInstalledVersions(bed.platform), 1u);
}

TEST_F(VersionCompare, TemporaryFolderTooLongGivesZeroWithoutReading) {
  bed.files.tempFolder = u"C:\\" + std::u16string(300, u't') + u"\\";
  bed.SetConfiguredVersion(u"Control", 9, 0, 0, 0);
  EXPECT_EQ(CompareInstalledVersions(bed.platform), 0u);
  EXPECT_TRUE(bed.registry.queries().empty());
}

TEST_F(VersionCompare, ButtonLogsExactlyThreeLines) {
  CQarxServiceDlg dlg{bed.platform};
  dlg.OnCheckUpdate();
  bed.SetConfiguredVersion(u"Control", 1, 0, 0, 1);
  bed.SetConfiguredVersion(u"Server", 1, 0, 0, 1);
  dlg.OnCheckUpdate();
  EXPECT_EQ(bed.ui.log(),
            (std::vector<std::u16string>{u"未检查到新的控件安装包!", u"未检查到新的服务程序安装包!",
                                         u"-----------------------------------------------",
                                         u"检查到新的控件安装包!", u"检查到新的服务程序安装包!",
                                         u"-----------------------------------------------"}));
  EXPECT_TRUE(bed.ui.boxes().empty());
  EXPECT_TRUE(bed.ui.posted().empty());
}

}  // namespace
}  // namespace qarx
