#include "KeyAccess.h"

#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <memory>
#include <vector>

namespace publish {

namespace {

struct LocalFreer {
    void operator()(void* p) const { LocalFree(p); }
};
struct HandleCloser {
    void operator()(HANDLE h) const { CloseHandle(h); }
};

std::string Reason(DWORD code) {
    char* text = nullptr;
    FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                       FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::unique_ptr<char, LocalFreer> owned(text);
    std::string reason = text != nullptr ? text : "error " + std::to_string(code);
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r')) {
        reason.pop_back();
    }
    return reason;
}

// The security id of the user the tool runs as.
std::vector<unsigned char> CurrentUser() {
    HANDLE raw = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) {
        return {};
    }
    std::unique_ptr<void, HandleCloser> token(raw);
    DWORD size = 0;
    GetTokenInformation(raw, TokenUser, nullptr, 0, &size);
    std::vector<unsigned char> buffer(size);
    if (size == 0 || !GetTokenInformation(raw, TokenUser, buffer.data(), size, &size)) {
        return {};
    }
    PSID sid = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
    std::vector<unsigned char> copy(GetLengthSid(sid));
    CopySid(static_cast<DWORD>(copy.size()), copy.data(), sid);
    return copy;
}

bool IsWellKnown(PSID sid, WELL_KNOWN_SID_TYPE type) {
    return IsWellKnownSid(sid, type) != FALSE;
}

std::string NameOf(PSID sid) {
    char name[256];
    char domain[256];
    DWORD nameSize = sizeof(name);
    DWORD domainSize = sizeof(domain);
    SID_NAME_USE use;
    if (LookupAccountSidA(nullptr, sid, name, &nameSize, domain, &domainSize, &use)) {
        return domainSize > 0 && domain[0] != '\0' ? std::string(domain) + "\\" + name
                                                   : std::string(name);
    }
    char* text = nullptr;
    if (ConvertSidToStringSidA(sid, &text)) {
        std::unique_ptr<char, LocalFreer> owned(text);
        return text;
    }
    return "an unknown account";
}

} // namespace

Status MakeOwnerOnly(const std::string& file) {
    std::vector<unsigned char> user = CurrentUser();
    if (user.empty()) {
        return IoFailure("cannot make \"" + file + "\" private: the user is not known");
    }
    EXPLICIT_ACCESS_A access{};
    access.grfAccessPermissions = GENERIC_ALL;
    access.grfAccessMode = SET_ACCESS;
    access.grfInheritance = NO_INHERITANCE;
    access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    access.Trustee.TrusteeType = TRUSTEE_IS_USER;
    access.Trustee.ptstrName = reinterpret_cast<LPSTR>(user.data());
    PACL acl = nullptr;
    DWORD made = SetEntriesInAclA(1, &access, nullptr, &acl);
    if (made != ERROR_SUCCESS) {
        return IoFailure("cannot make \"" + file + "\" private: " + Reason(made));
    }
    std::unique_ptr<ACL, LocalFreer> owned(acl);
    // Protected: nothing is inherited from the folder, so only the owner is let in.
    std::string name = file;
    // The owner is named too: the list's one entry is the owner's, and a system that keeps
    // mode bits beneath (Wine) maps it to the owner's bits alone.
    DWORD set = SetNamedSecurityInfoA(&name[0], SE_FILE_OBJECT,
                                      OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION |
                                          PROTECTED_DACL_SECURITY_INFORMATION,
                                      user.data(), nullptr, acl, nullptr);
    if (set != ERROR_SUCCESS) {
        return IoFailure("cannot make \"" + file + "\" private: " + Reason(set));
    }
    return Done{};
}

Result<std::optional<std::string>> OthersWhoMayRead(const std::string& file) {
    PACL acl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    std::string name = file;
    DWORD got = GetNamedSecurityInfoA(&name[0], SE_FILE_OBJECT,
                                      DACL_SECURITY_INFORMATION | OWNER_SECURITY_INFORMATION,
                                      nullptr, nullptr, &acl, nullptr, &descriptor);
    if (got != ERROR_SUCCESS) {
        return IoFailure("cannot read the access list of \"" + file + "\": " + Reason(got));
    }
    std::unique_ptr<void, LocalFreer> owned(descriptor);
    if (acl == nullptr) {
        return std::optional<std::string>("every user (the file has no access list)");
    }
    std::vector<unsigned char> user = CurrentUser();
    const DWORD reading = FILE_READ_DATA | GENERIC_READ | GENERIC_ALL;
    std::string others;
    for (DWORD i = 0; i < acl->AceCount; ++i) {
        void* raw = nullptr;
        if (!GetAce(acl, i, &raw)) {
            continue;
        }
        auto* header = static_cast<ACE_HEADER*>(raw);
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE || (header->AceFlags & INHERIT_ONLY_ACE)) {
            continue;
        }
        auto* ace = static_cast<ACCESS_ALLOWED_ACE*>(raw);
        PSID sid = reinterpret_cast<PSID>(&ace->SidStart);
        const bool owner = !user.empty() && EqualSid(sid, user.data());
        // As ssh for Windows does: the system and the administrators may read any file.
        if ((ace->Mask & reading) == 0 || owner || IsWellKnown(sid, WinLocalSystemSid) ||
            IsWellKnown(sid, WinBuiltinAdministratorsSid) || IsWellKnown(sid, WinCreatorOwnerSid)) {
            continue;
        }
        others += (others.empty() ? "" : ", ") + NameOf(sid);
    }
    if (others.empty()) {
        return std::optional<std::string>();
    }
    return std::optional<std::string>("its access list lets in " + others);
}

} // namespace publish
