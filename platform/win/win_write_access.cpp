#include "platform/win/win_write_access.h"

#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <algorithm>

#include "platform/win/win_error.h"

namespace gandry {

namespace {

// Rights that let their holder change what the file says, or who may change it. For a folder
// the same bits add files and subfolders, and delete its children.
constexpr DWORD kChangeRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_DELETE_CHILD | DELETE |
                                WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

constexpr char kTrustedInstaller[] =
    "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";

// The account this process runs as, when it is an administrator: a grant to the administrator
// who runs the manager is a grant to an administrator. Empty otherwise.
std::vector<BYTE> AdministratorRunningThis() {
  BYTE admins[SECURITY_MAX_SID_SIZE];
  DWORD admins_size = sizeof admins;
  BOOL member = FALSE;
  if (!CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, admins, &admins_size) ||
      !CheckTokenMembership(nullptr, admins, &member) || !member) {
    return {};
  }
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
    return {};
  }
  std::vector<BYTE> user(sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE);
  DWORD size = 0;
  const bool ok =
      GetTokenInformation(token, TokenUser, user.data(), static_cast<DWORD>(user.size()), &size);
  CloseHandle(token);
  if (!ok) {
    return {};
  }
  const PSID sid = reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid;
  const auto* bytes = static_cast<const BYTE*>(sid);
  return std::vector<BYTE>(bytes, bytes + GetLengthSid(sid));
}

bool IsTrusted(PSID sid, const std::vector<BYTE>& administrator) {
  if (IsWellKnownSid(sid, WinBuiltinAdministratorsSid) || IsWellKnownSid(sid, WinLocalSystemSid) ||
      IsWellKnownSid(sid, WinCreatorOwnerSid)) {
    return true;
  }
  if (!administrator.empty() && EqualSid(sid, const_cast<BYTE*>(administrator.data()))) {
    return true;
  }
  char* text = nullptr;
  if (!ConvertSidToStringSidA(sid, &text)) {
    return false;
  }
  const bool installer = std::string(text) == kTrustedInstaller;
  LocalFree(text);
  return installer;
}

std::string NameOf(PSID sid) {
  char name[256];
  char domain[256];
  DWORD name_size = sizeof name;
  DWORD domain_size = sizeof domain;
  SID_NAME_USE use;
  if (LookupAccountSidA(nullptr, sid, name, &name_size, domain, &domain_size, &use)) {
    return domain_size > 0 ? std::string(domain) + "\\" + name : std::string(name);
  }
  char* text = nullptr;
  if (ConvertSidToStringSidA(sid, &text)) {
    std::string sid_text(text);
    LocalFree(text);
    return sid_text;
  }
  return "an unknown account";
}

}  // namespace

Result<std::vector<std::string>> WinWriteAccess::OthersWhoMayWrite(const std::string& path) {
  // A folder is named without its trailing backslash, a drive's root with it.
  std::string object = path;
  if (object.size() > 3 && object.back() == '\\') {
    object.pop_back();
  }
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  const DWORD code =
      GetNamedSecurityInfoA(object.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                            nullptr, &dacl, nullptr, &descriptor);
  if (code != ERROR_SUCCESS) {
    return WinError(code);
  }
  const std::vector<BYTE> administrator = AdministratorRunningThis();
  std::vector<std::string> others;
  if (dacl == nullptr) {
    others.push_back("Everyone");
  } else {
    // Deny entries are not weighed against the grants: a grant is reported even where a deny
    // entry takes part of it back, which errs on the side of a warning.
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
      void* entry = nullptr;
      if (!GetAce(dacl, i, &entry)) {
        continue;
      }
      const auto* header = static_cast<const ACE_HEADER*>(entry);
      if (header->AceType != ACCESS_ALLOWED_ACE_TYPE || (header->AceFlags & INHERIT_ONLY_ACE)) {
        continue;
      }
      auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(entry);
      PSID sid = &allowed->SidStart;
      if ((allowed->Mask & kChangeRights) == 0 || IsTrusted(sid, administrator)) {
        continue;
      }
      std::string name = NameOf(sid);
      if (std::find(others.begin(), others.end(), name) == others.end()) {
        others.push_back(std::move(name));
      }
    }
  }
  LocalFree(descriptor);
  return others;
}

}  // namespace gandry
