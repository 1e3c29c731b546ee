#include <gtest/gtest.h>

#include "app/qarx_service_dlg.h"
#include "probes/ccid_driver.h"
#include "support/probe_bed.h"

namespace qarx {
namespace {

using testing::FakeFind;
using testing::ProbeBed;

constexpr char16_t kPattern[] = u"C:\\Windows\\inf\\*.inf";
constexpr char16_t kReaderClass[] = u"{50DD5230-BA8A-11D1-BF5D-0000F805F530}";

class CcidDriver : public ::testing::Test {
 protected:
  void Inf(const std::u16string& file, const std::u16string& classGuid, const std::u16string& catalogKey,
           const std::u16string& catalog) {
    const std::u16string path = u"C:\\Windows\\inf\\" + file;
    bed.profile.Set(path, u"Version", u"ClassGuid", classGuid);
    bed.profile.Set(path, u"Version", catalogKey, catalog);
  }
  ProbeBed bed;
};

TEST_F(CcidDriver, FirstEntryMatchesWithoutAdvancing) {
  Inf(u"usbccid.inf", kReaderClass, u"CatalogFile", u"usbccid.cat");
  bed.find.SetListing(kPattern, {{u"usbccid.inf"}, {u"other.inf"}});
  EXPECT_TRUE(FindCcidDriver(bed.platform));
  EXPECT_EQ(bed.find.advances(), 0);
  EXPECT_EQ(bed.find.patterns(), std::vector<std::u16string>{kPattern});
}

TEST_F(CcidDriver, VendorCatalogIsPassedOverAndTheSearchGoesOn) {
  Inf(u"vendor.inf", kReaderClass, u"CatalogFile", u"vendor.cat");
  Inf(u"printer.inf", u"{4D36E979-E325-11CE-BFC1-08002BE10318}", u"CatalogFile", u"usbccid.cat");
  Inf(u"usbccid.inf", kReaderClass, u"CatalogFile", u"usbccid.cat");
  bed.find.SetListing(kPattern, {{u"vendor.inf"}, {u"printer.inf"}, {u"unreadable.inf"}, {u"usbccid.inf"}});
  EXPECT_TRUE(FindCcidDriver(bed.platform));
  EXPECT_EQ(bed.find.advances(), 3);
}

TEST_F(CcidDriver, ValuesCompareWithoutCase) {
  Inf(u"a.inf", u"{50dd5230-ba8a-11d1-bf5d-0000f805f530}", u"CatalogFile", u"USBCCID.CAT");
  bed.find.SetListing(kPattern, {{u"a.inf"}});
  EXPECT_TRUE(FindCcidDriver(bed.platform));
}

TEST_F(CcidDriver, DecoratedCatalogKeyDoesNotCount) {
  Inf(u"a.inf", kReaderClass, u"CatalogFile.NT", u"usbccid.cat");
  bed.find.SetListing(kPattern, {{u"a.inf"}});
  EXPECT_FALSE(FindCcidDriver(bed.platform));
}

TEST_F(CcidDriver, CatalogIsReadOnlyForTheReaderClass) {
  Inf(u"a.inf", u"{00000000-0000-0000-0000-000000000000}", u"CatalogFile", u"usbccid.cat");
  bed.find.SetListing(kPattern, {{u"a.inf"}});
  EXPECT_FALSE(FindCcidDriver(bed.platform));
  for (const auto& read : bed.profile.reads()) EXPECT_EQ(read.find(u"CatalogFile"), std::u16string::npos);
}

TEST_F(CcidDriver, EmptyInfFolderGivesFalse) { EXPECT_FALSE(FindCcidDriver(bed.platform)); }

TEST_F(CcidDriver, WinntSystemDirectoryGivesItsInfFolder) {
  bed.system.systemDirectory = u"C:\\WINNT\\system32";
  const std::u16string path = u"C:\\WINNT\\inf\\usbccid.inf";
  bed.profile.Set(path, u"Version", u"ClassGuid", kReaderClass);
  bed.profile.Set(path, u"Version", u"CatalogFile", u"usbccid.cat");
  bed.find.SetListing(u"C:\\WINNT\\inf\\*.inf", {{u"usbccid.inf"}});
  EXPECT_TRUE(FindCcidDriver(bed.platform));
}

TEST_F(CcidDriver, SystemDirectoryWithoutBackslashSearchesRelativeInf) {
  bed.system.systemDirectory = u"system32";
  FindCcidDriver(bed.platform);
  EXPECT_EQ(bed.find.patterns(), std::vector<std::u16string>{u"inf\\*.inf"});
}

TEST_F(CcidDriver, ListingErrorOtherThanNoMoreFilesEndsTheSearch) {
  Inf(u"usbccid.inf", kReaderClass, u"CatalogFile", u"usbccid.cat");
  bed.find.SetListing(kPattern, {{u"a.inf", 21 /*ERROR_NOT_READY*/}, {u"usbccid.inf"}});
  EXPECT_FALSE(FindCcidDriver(bed.platform));
  EXPECT_EQ(bed.find.advances(), 1);
}

TEST_F(CcidDriver, SystemDirectoryFailureGivesFalseWithoutListing) {
  bed.system.systemDirectoryFails = true;
  EXPECT_FALSE(FindCcidDriver(bed.platform));
  bed.system.systemDirectoryFails = false;
  bed.system.systemDirectory = u"C:\\" + std::u16string(300, u'w') + u"\\system32";  // does not fit
  EXPECT_FALSE(FindCcidDriver(bed.platform));
  EXPECT_TRUE(bed.find.patterns().empty());
}

TEST_F(CcidDriver, CandidatePathMustFitTheBufferOf256) {
  // "C:\Windows\inf\" is 15 characters; 255 plus the terminator fit, 256 do not.
  const std::u16string fits = std::u16string(255 - 15 - 4, u'f') + u".inf";
  const std::u16string tooLong = std::u16string(256 - 15 - 4, u'x') + u".inf";
  Inf(fits, kReaderClass, u"CatalogFile", u"usbccid.cat");
  Inf(tooLong, kReaderClass, u"CatalogFile", u"usbccid.cat");
  bed.find.SetListing(kPattern, {{tooLong}});
  EXPECT_FALSE(FindCcidDriver(bed.platform));
  bed.find.SetListing(kPattern, {{tooLong}, {fits}});
  EXPECT_TRUE(FindCcidDriver(bed.platform));
}

TEST_F(CcidDriver, ButtonLogsBothOutcomes) {
  CQarxServiceDlg dlg{bed.platform};
  dlg.OnCcidInfo();
  Inf(u"usbccid.inf", kReaderClass, u"CatalogFile", u"usbccid.cat");
  bed.find.SetListing(kPattern, {{u"usbccid.inf"}});
  dlg.OnCcidInfo();
  EXPECT_EQ(bed.ui.log(), (std::vector<std::u16string>{u"未检测到CCID驱动!", u"-----------------------------------------------",
                                                       u"检测到正常的CCID驱动!",
                                                       u"-----------------------------------------------"}));
}

}  // namespace
}  // namespace qarx
