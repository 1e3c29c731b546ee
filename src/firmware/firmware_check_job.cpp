#include "firmware/firmware_check_job.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <string>
#include <string_view>

#include "app/qarx_service_dlg.h"
#include "common/text.h"
#include "firmware/firmware_update_handle.h"
#include "firmware/firmware_version.h"
#include "firmware/tlv_lookup.h"
#include "terminal/dev_info.h"
#include "terminal/reader_slot.h"

namespace qarx {

namespace {

constexpr uint8_t kIdentifyCommand[] = {0x7E, 0x10, 0x00, 0x01, 0x00};
constexpr int kOpenAttempts = 6;
constexpr uint32_t kOpenRetryPauseMs = 1000;

constexpr int kTagModelHead = 1;
constexpr int kTagModelTail = 6;
constexpr int kTagVersion = 2;
constexpr size_t kModelHeadOffset = 8;  // bytes 8 to 10 of tag 1's value
constexpr size_t kModelHeadLength = 3;
constexpr size_t kModelBufferSize = 128;
constexpr size_t kModelUtf16Capacity = 128;  // code units, with the terminator

constexpr std::u16string_view kNoUpgradeLine = u"COS信息>>COS程序:固件不需要升级!";
constexpr std::u16string_view kUpgradeLine = u"COS信息>>COS程序:固件需要升级!";
constexpr std::u16string_view kUpgradeQuestion = u" 固件需要升级\r\n是否需要最新固件安装?";
constexpr std::u16string_view kModelUnreadableText =
    u"获取终端固件版本信息失败！\r\n未能完成终端固件版本检查！";

// Keeps one check's configuration read, comparison and offer together when
// several terminals are checked at once (they share the kind-4 settings).
std::mutex g_firmwareStepsLock;

// The 64-byte tag value buffer, cleared before each lookup. A value fills
// it whole; a value read as text fills 63 bytes at most, so that the text
// always ends inside it.
class TagValue {
 public:
  static constexpr int kSize = 64;
  bool Find(int tag, const uint8_t* data, int dataLength) { return Lookup(tag, data, dataLength, kSize); }
  bool FindText(int tag, const uint8_t* data, int dataLength) { return Lookup(tag, data, dataLength, kSize - 1); }
  const uint8_t* bytes() const { return bytes_; }
  int length() const { return length_; }
  const char* text() const { return reinterpret_cast<const char*>(bytes_); }

 private:
  bool Lookup(int tag, const uint8_t* data, int dataLength, int capacity) {
    std::fill(std::begin(bytes_), std::end(bytes_), uint8_t{0});
    length_ = 0;
    return FindTlvTag(tag, data, dataLength, length_, bytes_, capacity) == kTlvFound;
  }
  uint8_t bytes_[kSize] = {};
  int length_ = 0;
};

// The probe makes the name exist while it looks. Two checks of this process
// probing at once (two readers arriving together) would each take the
// other's probe for a running update tool and skip their terminal, so the
// probes of this process take turns.
std::mutex g_updateToolProbeLock;

bool UpdateToolRunning(MutexPort& mutexes) {
  std::lock_guard turn(g_updateToolProbeLock);  // held until the probe handle is closed
  bool alreadyExisted = false;
  std::unique_ptr<NamedMutex> probe = mutexes.Create(std::u16string(kUpdateToolMutexName), true, alreadyExisted);
  if (alreadyExisted) return true;
  if (probe) probe->Release();  // the probe leaves nothing behind
  return false;
}

// Tries kOpenAttempts times; the last failure goes to the activity log file.
bool OpenTerminal(Platform& platform, const std::u16string& reader, int& index) {
  for (int attempt = 1;; ++attempt) {
    const int32_t result = DevOpen(platform, reader, index);
    if (result == kDevOpened) return true;
    if (attempt == kOpenAttempts) {
      RecordFailure(platform.record, "terminal open failed: " + ToUtf8(reader) + ": " +
                                         DevOpenResultText(*platform.pcsc, result) + ", " +
                                         std::to_string(kOpenAttempts) + " attempts");
      return false;
    }
    platform.threads->Sleep(kOpenRetryPauseMs);
  }
}

// Bytes 8-10 of tag 1 and then all of tag 6, as 8-bit text. False when a tag is missing.
bool ReadModelBytes(const uint8_t* tlv, int tlvLength, uint8_t (&model)[kModelBufferSize]) {
  std::fill(std::begin(model), std::end(model), uint8_t{0});
  TagValue value;
  if (!value.Find(kTagModelHead, tlv, tlvLength)) return false;
  std::copy_n(value.bytes() + kModelHeadOffset, kModelHeadLength, model);
  if (!value.Find(kTagModelTail, tlv, tlvLength)) return false;
  const size_t room = kModelBufferSize - kModelHeadLength - 1;  // the last byte stays the terminator
  std::copy_n(value.bytes(), std::min(static_cast<size_t>(value.length()), room), model + kModelHeadLength);
  return true;
}

// The model name up to its first zero byte, in UTF-16; empty when it is
// empty or cannot be converted into the 128-unit buffer.
std::u16string ModelName(Platform& platform, const uint8_t (&model)[kModelBufferSize]) {
  const size_t length = strnlen(reinterpret_cast<const char*>(model), kModelBufferSize);
  std::u16string wide;
  if (length == 0 || platform.text == nullptr || !platform.text->AnsiToUtf16(model, length, wide)) return {};
  if (wide.size() >= kModelUtf16Capacity) return {};
  return wide;
}

bool FirmwareOfferUnderWay() {
  std::lock_guard lock(g_firmwareUpdateHandleLock);
  return g_hFirmwareUpdateMutex != nullptr;
}

// Reads the model's section, compares, and offers the update tool.
// kFirmwareCheckFailed when the section cannot be read or the terminal
// reports no version.
int CheckAndOffer(CQarxServiceDlg& dialog, const std::u16string& model, const uint8_t* tlv, int tlvLength) {
  Platform& platform = dialog.platform();
  std::unique_lock steps(g_firmwareStepsLock);

  // While this process offers or downloads the update tool, the kind-4
  // settings belong to that offer: this check reads its own and puts the
  // offer's back.
  const PackageInfo offered = dialog.GetPackage(kPackageFirmware);
  if (dialog.ReadFirmwareConfig(model) != kConfigRead) return kFirmwareCheckFailed;
  const PackageInfo config = dialog.GetPackage(kPackageFirmware);
  if (FirmwareOfferUnderWay()) dialog.SetPackage(kPackageFirmware, offered);

  TagValue version;
  if (!version.FindText(kTagVersion, tlv, tlvLength)) return kFirmwareCheckFailed;
  if (CompareFirmwareVersion(config.VersionMajor, config.VersionBuild, config.VersionRevision, config.VersionMinor,
                             version.text()) == kFirmwareCurrent) {
    dialog.AppendLog(kNoUpgradeLine);
    return kFirmwareChecked;
  }

  bool alreadyExisted = false;
  std::unique_ptr<NamedMutex> handle =
      platform.mutexes->Create(std::u16string(kFirmwareUpdateMutexName), true, alreadyExisted);
  if (alreadyExisted) return kFirmwareChecked;  // an offer or download is under way; this handle closes here
  {
    std::lock_guard lock(g_firmwareUpdateHandleLock);
    g_hFirmwareUpdateMutex = std::move(handle);
  }
  dialog.AppendLog(kUpgradeLine);

  // The question may stay open for long; other terminals are checked meanwhile.
  steps.unlock();
  const int answer = dialog.MessageBox(BoxOwner::Desktop, kUpgradeQuestion, kQuestionCaption,
                                       MB_ICONQUESTION | MB_YESNO);
  if (answer == IDYES) {
    // The handle stays open: the download job releases it when it ends.
    dialog.PostMessage(WM_DOWNLOAD_REQUEST, reinterpret_cast<uintptr_t>(&dialog), kPackageFirmware);
  } else {
    ReleaseFirmwareUpdateHandle();
  }
  return kFirmwareChecked;
}

}  // namespace

int FirmwareCheckJob(const FirmwareCheckRequest& request) {
  CQarxServiceDlg* dialog = request.dialog;
  if (dialog == nullptr || request.slot == nullptr) return kFirmwareCheckFailed;
  Platform& platform = dialog->platform();

  if (UpdateToolRunning(*platform.mutexes)) return kFirmwareChecked;

  int index = 0;
  if (!OpenTerminal(platform, request.slot->readerName, index)) return kFirmwareCheckFailed;
  uint8_t answer[kDevAnswerCapacity] = {};
  int answerLength = 0;
  const int32_t sent = DevTransmit(platform, index, kIdentifyCommand, sizeof kIdentifyCommand, answer, answerLength);
  DevClose(platform, index);
  if (sent != kDevSent) return kFirmwareCheckFailed;

  if (answerLength < 2 || answer[answerLength - 2] != 0x90 || answer[answerLength - 1] != 0x00)
    return kFirmwareChecked;
  const int tlvLength = answerLength - 2;

  uint8_t modelBytes[kModelBufferSize];
  if (!ReadModelBytes(answer, tlvLength, modelBytes)) return kFirmwareCheckFailed;
  const std::u16string model = ModelName(platform, modelBytes);
  if (model.empty()) {
    dialog->MessageBox(BoxOwner::None, kModelUnreadableText, kErrorCaption, MB_OK | MB_SYSTEMMODAL);
    dialog->ExitService();
    return kFirmwareCheckFailed;
  }

  if (CheckAndOffer(*dialog, model, answer, tlvLength) != kFirmwareChecked) return kFirmwareCheckFailed;
  dialog->AppendLog(kSeparatorLine);
  platform.launcher->OpenUrl(platform.endpoints.portalUrl, SW_SHOWMAXIMIZED);
  return kFirmwareChecked;
}

}  // namespace qarx
