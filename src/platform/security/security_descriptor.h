#pragma once
// Self-relative security descriptors as byte strings: the default that a new
// key takes, validation, and the selection and merging of its parts that
// RegGetKeySecurity and RegSetKeySecurity do.

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32_types.h"

namespace talmoor::platform {

inline constexpr WORD SE_OWNER_DEFAULTED = 0x0001;
inline constexpr WORD SE_GROUP_DEFAULTED = 0x0002;
inline constexpr WORD SE_DACL_PRESENT = 0x0004;
inline constexpr WORD SE_DACL_DEFAULTED = 0x0008;
inline constexpr WORD SE_SACL_PRESENT = 0x0010;
inline constexpr WORD SE_SACL_DEFAULTED = 0x0020;
inline constexpr WORD SE_DACL_AUTO_INHERIT_REQ = 0x0100;
inline constexpr WORD SE_SACL_AUTO_INHERIT_REQ = 0x0200;
inline constexpr WORD SE_DACL_AUTO_INHERITED = 0x0400;
inline constexpr WORD SE_SACL_AUTO_INHERITED = 0x0800;
inline constexpr WORD SE_DACL_PROTECTED = 0x1000;
inline constexpr WORD SE_SACL_PROTECTED = 0x2000;
inline constexpr WORD SE_SELF_RELATIVE = 0x8000;

inline constexpr BYTE ACCESS_ALLOWED_ACE_TYPE = 0;
inline constexpr BYTE CONTAINER_INHERIT_ACE = 0x02;
inline constexpr BYTE INHERIT_ONLY_ACE = 0x08;

using Bytes = std::vector<BYTE>;

// "S-1-5-32-544" to its binary form; nothing for a malformed text.
std::optional<Bytes> sidFromString(std::string_view text);
std::string sidToString(std::span<const BYTE> sid);

// The descriptor a key takes when none is given: owned by Administrators
// (or by the user for a user's hive), group SYSTEM, with the usual key DACL.
Bytes defaultKeySecurity(std::string_view userSid = {});

bool isValidSecurityDescriptor(std::span<const BYTE> descriptor);

// Copies a self-relative descriptor handed over by pointer (its length follows
// from its own offsets). Nothing when it is not a valid one.
std::optional<Bytes> copySelfRelativeDescriptor(const void* descriptor);

// The parts of a descriptor that `parts` asks for, as a new self-relative
// descriptor.
Bytes selectSecurityParts(std::span<const BYTE> descriptor, SECURITY_INFORMATION parts);

// `current` with the parts named by `parts` taken from `update`. Returns
// nothing when `update` lacks an owner or group that `parts` asks for.
std::optional<Bytes> mergeSecurityParts(std::span<const BYTE> current, std::span<const BYTE> update,
                                        SECURITY_INFORMATION parts);

}  // namespace talmoor::platform
