// The fixed version record of a program, found by reading its file: the PE
// headers, the resource directory (type 16, the first name, the first
// language) and the start of the version resource, whose VS_FIXEDFILEINFO
// follows the key "VS_VERSION_INFO". Only what these steps name is read, each
// piece checked against the file's bounds.
#include <cstring>

#include "platform/os/Os.h"

namespace os {

namespace {

constexpr std::uint32_t kResourceTypeVersion = 16;
constexpr std::uint32_t kFixedSignature = 0xFEEF04BD;
constexpr int kMaxSections = 96;

std::uint32_t U16(const unsigned char* p) { return static_cast<std::uint32_t>(p[0] | (p[1] << 8)); }
std::uint32_t U32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

struct Section {
    std::uint32_t address, size, rawSize, rawOffset;
};

class Image {
public:
    explicit Image(const ReadAt& read) : m_read(read) {}

    bool Read(std::uint64_t offset, std::size_t size, unsigned char* out) const {
        return m_read(offset, size, out);
    }

    // The file offset of an address of the loaded image, when a section holds `size` bytes there.
    bool FileOffset(std::uint32_t rva, std::uint32_t size, std::uint64_t& offset) const {
        for (const Section& s : m_sections) {
            const std::uint32_t extent = s.rawSize < s.size || s.size == 0 ? s.rawSize : s.size;
            if (rva >= s.address && rva - s.address <= extent && size <= extent - (rva - s.address)) {
                offset = static_cast<std::uint64_t>(s.rawOffset) + (rva - s.address);
                return true;
            }
        }
        return false;
    }

    // The resource directory's address and size; false when the file is no PE image.
    bool Headers(std::uint32_t& resources, std::uint32_t& resourceSize) {
        unsigned char dos[64];
        if (!Read(0, sizeof dos, dos) || dos[0] != 'M' || dos[1] != 'Z') return false;
        const std::uint32_t pe = U32(dos + 0x3C);
        unsigned char head[24 + 240];
        if (!Read(pe, 24 + 2, head) || std::memcmp(head, "PE\0\0", 4) != 0) return false;
        const std::uint32_t sections = U16(head + 6), optionalSize = U16(head + 20);
        const std::uint32_t magic = U16(head + 24);
        const std::uint32_t directories = magic == 0x20B ? 112 : magic == 0x10B ? 96 : 0;
        if (!directories || optionalSize < directories + 3 * 8 || optionalSize > 240 ||
            sections > kMaxSections)
            return false;
        if (!Read(pe + 24, optionalSize, head + 24)) return false;
        if (U32(head + 24 + directories - 4) < 3) return false;  // no resource directory entry
        resources = U32(head + 24 + directories + 16);
        resourceSize = U32(head + 24 + directories + 20);
        unsigned char table[kMaxSections * 40];
        if (!Read(pe + 24 + optionalSize, sections * 40, table)) return false;
        for (std::uint32_t i = 0; i < sections; ++i) {
            const unsigned char* s = table + i * 40;
            m_sections.push_back({U32(s + 12), U32(s + 8), U32(s + 16), U32(s + 20)});
        }
        return resources != 0 && resourceSize != 0;
    }

private:
    const ReadAt& m_read;
    std::vector<Section> m_sections;
};

// The entry of a resource directory with this id, or (id 0) its first entry;
// the entry's target, relative to the resource directory's start.
bool Entry(const Image& image, std::uint64_t base, std::uint32_t limit, std::uint32_t directory,
           std::uint32_t id, std::uint32_t& target) {
    unsigned char head[16];
    if (directory > limit || limit - directory < 16 || !image.Read(base + directory, 16, head)) return false;
    const std::uint32_t named = U16(head + 12), ids = U16(head + 14);
    const std::uint32_t count = named + ids;
    if (count == 0 || (limit - directory - 16) / 8 < count) return false;
    for (std::uint32_t i = 0; i < count; ++i) {
        unsigned char entry[8];
        if (!image.Read(base + directory + 16 + 8 * i, 8, entry)) return false;
        const std::uint32_t name = U32(entry);
        if (id != 0 && (i < named || name != id)) continue;
        target = U32(entry + 4);
        return true;
    }
    return false;
}

}  // namespace

std::optional<FixedVersion> FixedVersionOfImage(const ReadAt& read) {
    Image image(read);
    std::uint32_t resources = 0, size = 0;
    if (!image.Headers(resources, size)) return std::nullopt;
    std::uint64_t base = 0;
    if (!image.FileOffset(resources, 16, base)) return std::nullopt;
    // Type, name, language: two subdirectories, then the data entry.
    std::uint32_t target = 0;
    if (!Entry(image, base, size, 0, kResourceTypeVersion, target) || !(target & 0x80000000u))
        return std::nullopt;
    if (!Entry(image, base, size, target & 0x7FFFFFFFu, 0, target) || !(target & 0x80000000u))
        return std::nullopt;
    if (!Entry(image, base, size, target & 0x7FFFFFFFu, 0, target) || (target & 0x80000000u))
        return std::nullopt;
    unsigned char data[16];
    if (target > size || size - target < 16 || !image.Read(base + target, 16, data)) return std::nullopt;
    const std::uint32_t at = U32(data), length = U32(data + 4);
    // VS_VERSIONINFO: three words, the key "VS_VERSION_INFO" with its NUL, padding, then the record.
    constexpr std::uint32_t kFixedAt = 40, kFixedSize = 52;
    std::uint64_t offset = 0;
    if (length < kFixedAt + kFixedSize || !image.FileOffset(at, kFixedAt + kFixedSize, offset))
        return std::nullopt;
    unsigned char info[kFixedAt + kFixedSize];
    if (!image.Read(offset, sizeof info, info)) return std::nullopt;
    return FixedVersionOfBlock(info, sizeof info);
}

std::optional<FixedVersion> FixedVersionOfBlock(const unsigned char* block, std::size_t size) {
    // VS_VERSIONINFO: three words, the key "VS_VERSION_INFO" with its NUL, padding, then the record.
    constexpr std::size_t kFixedAt = 40, kFixedSize = 52;
    if (size < kFixedAt + kFixedSize) return std::nullopt;
    static const char16_t kKey[] = u"VS_VERSION_INFO";
    for (int i = 0; i < 16; ++i)
        if (U16(block + 6 + 2 * i) != static_cast<std::uint32_t>(kKey[i])) return std::nullopt;
    if (U16(block + 2) < kFixedSize || U32(block + kFixedAt) != kFixedSignature) return std::nullopt;
    const unsigned char* f = block + kFixedAt;
    return FixedVersion{U32(f + 16), U32(f + 20), U32(f + 8), U32(f + 12)};
}

}  // namespace os
