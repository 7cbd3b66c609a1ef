#pragma once

// POSIX access lists as the kernel keeps them in the "system.posix_acl_access" attribute, in
// getfacl's short text: "user::rw- user:4321:rw- group::r-- mask::rw- other::---". Tests set
// and read them through the attribute calls and need no setfacl.

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <linux/posix_acl.h>
#include <linux/posix_acl_xattr.h>
#include <optional>
#include <sstream>
#include <string>
#include <sys/xattr.h>
#include <utility>

namespace AccessList {

inline constexpr const char *attribute = "system.posix_acl_access";
// A folder's list for the files made in it.
inline constexpr const char *defaultAttribute = "system.posix_acl_default";

namespace Detail {

inline const std::pair<uint16_t, const char *> tagNames[] = {
    {ACL_USER_OBJ, "user"}, {ACL_USER, "user"}, {ACL_GROUP_OBJ, "group"},
    {ACL_GROUP, "group"},   {ACL_MASK, "mask"}, {ACL_OTHER, "other"},
};

inline bool isNamed(uint16_t tag)
{
    return tag == ACL_USER || tag == ACL_GROUP;
}

} // namespace Detail

// The attribute's bytes for `text`, entries in the kernel's order (owner, users, group,
// groups, mask, other).
inline std::string fromText(const std::string &text)
{
    std::string bytes(sizeof(posix_acl_xattr_header), '\0');
    const uint32_t version = POSIX_ACL_XATTR_VERSION;
    std::memcpy(bytes.data(), &version, sizeof version);
    std::istringstream words(text);
    for (std::string word; words >> word;) {
        const size_t first = word.find(':');
        const size_t second = word.find(':', first + 1);
        const std::string kind = word.substr(0, first);
        const std::string id = word.substr(first + 1, second - first - 1);
        const std::string rights = word.substr(second + 1);
        posix_acl_xattr_entry entry{};
        for (const auto &[tag, name] : Detail::tagNames) {
            if (kind == name && Detail::isNamed(tag) == !id.empty())
                entry.e_tag = tag;
        }
        entry.e_perm = uint16_t((rights[0] == 'r' ? ACL_READ : 0) | (rights[1] == 'w' ? ACL_WRITE : 0)
                                | (rights[2] == 'x' ? ACL_EXECUTE : 0));
        entry.e_id = id.empty() ? uint32_t(ACL_UNDEFINED_ID) : uint32_t(std::stoul(id));
        bytes.append(reinterpret_cast<const char *>(&entry), sizeof entry);
    }
    return bytes;
}

inline std::string toText(const std::string &bytes)
{
    std::string text;
    for (size_t at = sizeof(posix_acl_xattr_header); at + sizeof(posix_acl_xattr_entry) <= bytes.size();
         at += sizeof(posix_acl_xattr_entry)) {
        posix_acl_xattr_entry entry{};
        std::memcpy(&entry, bytes.data() + at, sizeof entry);
        std::string kind = "?";
        for (const auto &[tag, name] : Detail::tagNames) {
            if (tag == entry.e_tag)
                kind = name;
        }
        const std::string id = Detail::isNamed(entry.e_tag) ? std::to_string(entry.e_id) : "";
        text += (text.empty() ? "" : " ") + kind + ":" + id + ":" + (entry.e_perm & ACL_READ ? "r" : "-")
            + (entry.e_perm & ACL_WRITE ? "w" : "-") + (entry.e_perm & ACL_EXECUTE ? "x" : "-");
    }
    return text;
}

// Puts `text` on the file at `path`: 0, or the error.
inline int set(const std::string &path, const std::string &text, const char *which = attribute)
{
    const std::string bytes = fromText(text);
    return ::setxattr(path.c_str(), which, bytes.data(), bytes.size(), 0) == 0 ? 0 : errno;
}

// The list on the file at `path`, or nothing when it has none.
inline std::optional<std::string> of(const std::string &path)
{
    std::string bytes(4096, '\0');
    const ssize_t size = ::getxattr(path.c_str(), attribute, bytes.data(), bytes.size());
    if (size < 0)
        return std::nullopt;
    bytes.resize(size_t(size));
    return toText(bytes);
}

} // namespace AccessList
