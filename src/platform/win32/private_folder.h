// The user's private folder under the temporary folder (%TEMP%\Qarx\), in
// which downloads and the configuration copy are kept. Installers start
// from it, so a DLL that some program dropped into %TEMP% is never loaded
// by them, and nobody else can plant or swap files in it.
#pragma once

#include "platform/win32/windows_sdk.h"

#include <string>
#include <vector>

namespace qarx::win32 {

// What is found at the folder's path.
struct FolderFacts {
  bool exists = false;
  bool directory = false;
  bool link = false;           // a reparse point: junction or symbolic link
  bool ownedByUser = false;    // its owner is the user this program runs as
  bool privateAccess = false;  // its access list was set to the user's alone
};

// Whether the folder may hold downloads: a real folder of the user's own,
// made private.
bool FolderIsPrivate(const FolderFacts& facts);

// What the folder is created with and set to on every use: the user as its
// owner and a protected access list that lets the user and the system (which
// reads whatever the user may read anyway) in, inherited by everything
// inside.
class PrivateSecurity {
 public:
  PrivateSecurity();
  PrivateSecurity(const PrivateSecurity&) = delete;
  PrivateSecurity& operator=(const PrivateSecurity&) = delete;
  bool ok() const { return ok_; }
  PSID user() const;
  PACL acl();
  PSECURITY_DESCRIPTOR descriptor() { return &descriptor_; }

 private:
  std::vector<BYTE> token_;  // TOKEN_USER and the user's SID
  BYTE system_[SECURITY_MAX_SID_SIZE] = {};
  std::vector<BYTE> acl_;
  SECURITY_DESCRIPTOR descriptor_{};
  bool ok_ = false;
};

// Creates the folder (with an access list for the user and the system
// alone, owned by the user) or takes the existing one, and reports what it
// found. The access list is set again on every use, so a loosened one is
// mended; it is the owner's right to do so.
FolderFacts MakePrivateFolder(const std::wstring& folder);

}  // namespace qarx::win32
