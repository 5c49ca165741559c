#include "platform/security/security_descriptor.h"

#include <charconv>
#include <cstring>

#include <fmt/format.h>

#include "platform/registry/registry_constants.h"

namespace talmoor::platform {

namespace {

constexpr std::size_t kHeaderSize = 20;
constexpr std::size_t kAclHeaderSize = 8;

DWORD readU32(std::span<const BYTE> b, std::size_t at) {
  return DWORD(b[at]) | DWORD(b[at + 1]) << 8 | DWORD(b[at + 2]) << 16 | DWORD(b[at + 3]) << 24;
}
WORD readU16(std::span<const BYTE> b, std::size_t at) { return WORD(b[at] | b[at + 1] << 8); }
void putU32(Bytes& b, DWORD v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<BYTE>(v >> (8 * i)));
}
void putU16(Bytes& b, WORD v) {
  b.push_back(static_cast<BYTE>(v));
  b.push_back(static_cast<BYTE>(v >> 8));
}
void setU32(Bytes& b, std::size_t at, DWORD v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<BYTE>(v >> (8 * i));
}

// Length of a valid SID starting at `at`, or 0.
std::size_t sidLength(std::span<const BYTE> b, std::size_t at) {
  if (at + 8 > b.size() || b[at] != 1 || b[at + 1] > 15) return 0;
  std::size_t len = 8 + 4 * std::size_t{b[at + 1]};
  return at + len <= b.size() ? len : 0;
}

// Length of a valid ACL starting at `at` (its declared size), or 0.
std::size_t aclLength(std::span<const BYTE> b, std::size_t at) {
  if (at + kAclHeaderSize > b.size()) return 0;
  BYTE revision = b[at];
  if (revision < 2 || revision > 4) return 0;
  std::size_t size = readU16(b, at + 2);
  std::size_t count = readU16(b, at + 4);
  if (size < kAclHeaderSize || at + size > b.size()) return 0;
  std::size_t pos = kAclHeaderSize;
  for (std::size_t i = 0; i < count; ++i) {
    if (pos + 4 > size) return 0;
    std::size_t aceSize = readU16(b, at + pos + 2);
    if (aceSize < 4 || pos + aceSize > size) return 0;
    pos += aceSize;
  }
  return size;
}

struct Parts {
  WORD control = 0;
  std::span<const BYTE> owner, group, sacl, dacl;
};

std::optional<Parts> parse(std::span<const BYTE> d) {
  if (d.size() < kHeaderSize || d[0] != 1) return std::nullopt;
  Parts p;
  p.control = readU16(d, 2);
  if (!(p.control & SE_SELF_RELATIVE)) return std::nullopt;
  auto sidAt = [&](std::size_t field, std::span<const BYTE>& out) {
    DWORD off = readU32(d, field);
    if (off == 0) return true;
    if (off < kHeaderSize) return false;
    std::size_t len = sidLength(d, off);
    if (!len) return false;
    out = d.subspan(off, len);
    return true;
  };
  auto aclAt = [&](std::size_t field, WORD presentFlag, std::span<const BYTE>& out) {
    DWORD off = readU32(d, field);
    if (!(p.control & presentFlag) || off == 0) return true;
    if (off < kHeaderSize) return false;
    std::size_t len = aclLength(d, off);
    if (!len) return false;
    out = d.subspan(off, len);
    return true;
  };
  if (!sidAt(4, p.owner) || !sidAt(8, p.group) || !aclAt(12, SE_SACL_PRESENT, p.sacl) ||
      !aclAt(16, SE_DACL_PRESENT, p.dacl))
    return std::nullopt;
  return p;
}

constexpr WORD kOwnerFlags = SE_OWNER_DEFAULTED;
constexpr WORD kGroupFlags = SE_GROUP_DEFAULTED;
constexpr WORD kDaclFlags =
    SE_DACL_PRESENT | SE_DACL_DEFAULTED | SE_DACL_AUTO_INHERIT_REQ | SE_DACL_AUTO_INHERITED | SE_DACL_PROTECTED;
constexpr WORD kSaclFlags =
    SE_SACL_PRESENT | SE_SACL_DEFAULTED | SE_SACL_AUTO_INHERIT_REQ | SE_SACL_AUTO_INHERITED | SE_SACL_PROTECTED;

// Lays the parts out as Windows does: SACL, DACL, owner, group.
Bytes build(const Parts& p) {
  Bytes out;
  out.push_back(1);
  out.push_back(0);
  putU16(out, static_cast<WORD>(p.control | SE_SELF_RELATIVE));
  out.resize(kHeaderSize, 0);
  auto append = [&](std::span<const BYTE> part, std::size_t field) {
    if (part.empty()) return;
    setU32(out, field, static_cast<DWORD>(out.size()));
    out.insert(out.end(), part.begin(), part.end());
  };
  append(p.sacl, 12);
  append(p.dacl, 16);
  append(p.owner, 4);
  append(p.group, 8);
  return out;
}

Bytes accessAllowedAce(BYTE flags, DWORD mask, const Bytes& sid) {
  Bytes ace;
  ace.push_back(ACCESS_ALLOWED_ACE_TYPE);
  ace.push_back(flags);
  putU16(ace, static_cast<WORD>(8 + sid.size()));
  putU32(ace, mask);
  ace.insert(ace.end(), sid.begin(), sid.end());
  return ace;
}

}  // namespace

std::optional<Bytes> sidFromString(std::string_view text) {
  if (text.size() < 4 || (text.substr(0, 2) != "S-" && text.substr(0, 2) != "s-")) return std::nullopt;
  std::vector<std::uint64_t> fields;
  std::size_t pos = 2;
  while (pos <= text.size()) {
    std::size_t end = text.find('-', pos);
    if (end == std::string_view::npos) end = text.size();
    std::uint64_t v = 0;
    auto part = text.substr(pos, end - pos);
    auto [ptr, ec] = std::from_chars(part.data(), part.data() + part.size(), v);
    if (part.empty() || ec != std::errc() || ptr != part.data() + part.size()) return std::nullopt;
    fields.push_back(v);
    pos = end + 1;
  }
  // revision, authority, then 0-15 sub-authorities
  if (fields.size() < 2 || fields.size() > 17 || fields[0] != 1 || fields[1] >= (1ull << 48))
    return std::nullopt;
  Bytes sid;
  sid.push_back(1);
  sid.push_back(static_cast<BYTE>(fields.size() - 2));
  for (int i = 5; i >= 0; --i) sid.push_back(static_cast<BYTE>(fields[1] >> (8 * i)));
  for (std::size_t i = 2; i < fields.size(); ++i) {
    if (fields[i] > 0xFFFFFFFFull) return std::nullopt;
    putU32(sid, static_cast<DWORD>(fields[i]));
  }
  return sid;
}

std::string sidToString(std::span<const BYTE> sid) {
  if (sidLength(sid, 0) == 0) return {};
  std::uint64_t authority = 0;
  for (int i = 0; i < 6; ++i) authority = (authority << 8) | sid[2 + i];
  std::string out = fmt::format("S-{}-{}", sid[0], authority);
  for (std::size_t i = 0; i < sid[1]; ++i) out += fmt::format("-{}", readU32(sid, 8 + 4 * i));
  return out;
}

Bytes defaultKeySecurity(std::string_view userSid) {
  const Bytes system = *sidFromString("S-1-5-18");
  const Bytes admins = *sidFromString("S-1-5-32-544");
  const Bytes users = *sidFromString("S-1-5-32-545");
  const Bytes creatorOwner = *sidFromString("S-1-3-0");
  std::optional<Bytes> user = userSid.empty() ? std::nullopt : sidFromString(userSid);

  std::vector<Bytes> aces;
  if (user) aces.push_back(accessAllowedAce(CONTAINER_INHERIT_ACE, KEY_ALL_ACCESS, *user));
  aces.push_back(accessAllowedAce(CONTAINER_INHERIT_ACE, KEY_ALL_ACCESS, system));
  aces.push_back(accessAllowedAce(CONTAINER_INHERIT_ACE, KEY_ALL_ACCESS, admins));
  if (!user) aces.push_back(accessAllowedAce(CONTAINER_INHERIT_ACE, KEY_READ, users));
  aces.push_back(accessAllowedAce(CONTAINER_INHERIT_ACE | INHERIT_ONLY_ACE, GENERIC_ALL, creatorOwner));

  Bytes dacl;
  dacl.push_back(2);
  dacl.push_back(0);
  std::size_t size = kAclHeaderSize;
  for (const auto& ace : aces) size += ace.size();
  putU16(dacl, static_cast<WORD>(size));
  putU16(dacl, static_cast<WORD>(aces.size()));
  putU16(dacl, 0);
  for (const auto& ace : aces) dacl.insert(dacl.end(), ace.begin(), ace.end());

  Parts p;
  p.control = SE_DACL_PRESENT | SE_DACL_AUTO_INHERITED;
  p.owner = user ? std::span<const BYTE>(*user) : std::span<const BYTE>(admins);
  p.group = system;
  p.dacl = dacl;
  return build(p);
}

bool isValidSecurityDescriptor(std::span<const BYTE> descriptor) { return parse(descriptor).has_value(); }

std::optional<Bytes> copySelfRelativeDescriptor(const void* descriptor) {
  if (!descriptor) return std::nullopt;
  const auto* raw = static_cast<const BYTE*>(descriptor);
  std::span<const BYTE> header(raw, kHeaderSize);
  if (header[0] != 1 || !(readU16(header, 2) & SE_SELF_RELATIVE)) return std::nullopt;
  WORD control = readU16(header, 2);
  std::size_t length = kHeaderSize;
  // Each part's own header says how long it is.
  for (std::size_t field : {std::size_t{4}, std::size_t{8}}) {
    DWORD offset = readU32(header, field);
    if (offset >= kHeaderSize) length = std::max<std::size_t>(length, offset + 8 + 4 * std::size_t{raw[offset + 1]});
  }
  for (auto [field, flag] : {std::pair<std::size_t, WORD>{12, SE_SACL_PRESENT}, {16, SE_DACL_PRESENT}}) {
    DWORD offset = readU32(header, field);
    if ((control & flag) && offset >= kHeaderSize)
      length = std::max<std::size_t>(length, offset + readU16(std::span<const BYTE>(raw + offset, 4), 2));
  }
  Bytes copy(raw, raw + length);
  if (!isValidSecurityDescriptor(copy)) return std::nullopt;
  return copy;
}

Bytes selectSecurityParts(std::span<const BYTE> descriptor, SECURITY_INFORMATION parts) {
  auto parsed = parse(descriptor);
  if (!parsed) return {};
  Parts out;
  if (parts & OWNER_SECURITY_INFORMATION) {
    out.owner = parsed->owner;
    out.control |= parsed->control & kOwnerFlags;
  }
  if (parts & GROUP_SECURITY_INFORMATION) {
    out.group = parsed->group;
    out.control |= parsed->control & kGroupFlags;
  }
  if (parts & DACL_SECURITY_INFORMATION) {
    out.dacl = parsed->dacl;
    out.control |= parsed->control & kDaclFlags;
  }
  if (parts & SACL_SECURITY_INFORMATION) {
    out.sacl = parsed->sacl;
    out.control |= parsed->control & kSaclFlags;
  }
  return build(out);
}

std::optional<Bytes> mergeSecurityParts(std::span<const BYTE> current, std::span<const BYTE> update,
                                        SECURITY_INFORMATION parts) {
  auto cur = parse(current);
  auto upd = parse(update);
  if (!cur || !upd) return std::nullopt;
  Parts out = *cur;
  auto take = [&](std::span<const BYTE> Parts::*member, WORD flags) {
    out.*member = (*upd).*member;
    out.control = static_cast<WORD>((out.control & ~flags) | (upd->control & flags));
  };
  if (parts & OWNER_SECURITY_INFORMATION) {
    if (upd->owner.empty()) return std::nullopt;
    take(&Parts::owner, kOwnerFlags);
  }
  if (parts & GROUP_SECURITY_INFORMATION) {
    if (upd->group.empty()) return std::nullopt;
    take(&Parts::group, kGroupFlags);
  }
  if (parts & DACL_SECURITY_INFORMATION) take(&Parts::dacl, kDaclFlags);
  if (parts & SACL_SECURITY_INFORMATION) take(&Parts::sacl, kSaclFlags);
  return build(out);
}

}  // namespace talmoor::platform
