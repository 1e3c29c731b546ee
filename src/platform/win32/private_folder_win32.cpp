// The private download folder. It is created with the user as its owner,
// also when an elevated copy of the program makes it (Windows would
// otherwise make the Administrators group the owner, and the next ordinary
// start would refuse the folder). An existing folder is opened without
// following links and accepted only when it is a plain folder owned by the
// user; its access list is then set again.
#include "platform/win32/windows_sdk.h"

#include "platform/win32/private_folder.h"
#include "platform/win32/win32_ports.h"

namespace qarx::win32 {

namespace {

bool OwnedBy(HANDLE handle, PSID user) {
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetSecurityInfo(handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                      &descriptor) != ERROR_SUCCESS)
    return false;
  const bool same = owner && EqualSid(owner, user);
  LocalFree(descriptor);
  return same;
}

}  // namespace

PrivateSecurity::PrivateSecurity() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return;
  const Handle owned(token);
  DWORD size = 0;
  GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  token_.resize(size);
  if (size == 0 || !GetTokenInformation(token, TokenUser, token_.data(), size, &size)) return;
  DWORD systemSize = sizeof system_;
  if (!CreateWellKnownSid(WinLocalSystemSid, nullptr, system_, &systemSize)) return;

  const DWORD aclSize = sizeof(ACL) + 2 * sizeof(ACCESS_ALLOWED_ACE) + GetLengthSid(user()) + GetLengthSid(system_);
  acl_.resize(aclSize);
  constexpr DWORD kInherit = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
  ok_ = InitializeAcl(acl(), aclSize, ACL_REVISION) &&
        AddAccessAllowedAceEx(acl(), ACL_REVISION, kInherit, FILE_ALL_ACCESS, user()) &&
        AddAccessAllowedAceEx(acl(), ACL_REVISION, kInherit, FILE_ALL_ACCESS, system_) &&
        InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) &&
        SetSecurityDescriptorOwner(&descriptor_, user(), FALSE) &&
        SetSecurityDescriptorDacl(&descriptor_, TRUE, acl(), FALSE) &&
        SetSecurityDescriptorControl(&descriptor_, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
}

PSID PrivateSecurity::user() const {
  return token_.empty() ? nullptr : reinterpret_cast<const TOKEN_USER*>(token_.data())->User.Sid;
}

PACL PrivateSecurity::acl() { return acl_.empty() ? nullptr : reinterpret_cast<PACL>(acl_.data()); }

bool FolderIsPrivate(const FolderFacts& facts) {
  return facts.exists && facts.directory && !facts.link && facts.ownedByUser && facts.privateAccess;
}

FolderFacts MakePrivateFolder(const std::wstring& folder) {
  FolderFacts facts;
  PrivateSecurity security;
  if (!security.ok()) return facts;
  SECURITY_ATTRIBUTES attributes{sizeof attributes, security.descriptor(), FALSE};
  if (!CreateDirectoryW(folder.c_str(), &attributes) && GetLastError() != ERROR_ALREADY_EXISTS) return facts;
  // The folder itself, never what a link points to.
  const Handle handle(CreateFileW(folder.c_str(), READ_CONTROL | WRITE_DAC,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  BY_HANDLE_FILE_INFORMATION info{};
  if (!handle || !GetFileInformationByHandle(handle.get(), &info)) return facts;
  facts.exists = true;
  facts.directory = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  facts.link = (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  facts.ownedByUser = OwnedBy(handle.get(), security.user());
  if (facts.directory && !facts.link && facts.ownedByUser)
    facts.privateAccess = SetSecurityInfo(handle.get(), SE_FILE_OBJECT,
                                          DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr,
                                          nullptr, security.acl(), nullptr) == ERROR_SUCCESS;
  return facts;
}

}  // namespace qarx::win32
