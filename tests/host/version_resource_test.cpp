// The version record of a program read from its file: a small PE image made
// here, then every way it can be cut short or point astray (AddressSanitizer
// sees any read outside what the file gave).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/os/Os.h"

namespace {

void Put16(std::vector<unsigned char>& b, std::size_t at, std::uint32_t v) {
    b[at] = static_cast<unsigned char>(v);
    b[at + 1] = static_cast<unsigned char>(v >> 8);
}
void Put32(std::vector<unsigned char>& b, std::size_t at, std::uint32_t v) {
    Put16(b, at, v & 0xFFFF);
    Put16(b, at + 2, v >> 16);
}

// A 64-bit image with one section holding a version resource: product
// version 5.4.12.0, file version 9.9.9.9.
std::vector<unsigned char> Image() {
    std::vector<unsigned char> b(0x200 + 0xB4, 0);
    b[0] = 'M';
    b[1] = 'Z';
    Put32(b, 0x3C, 0x40);
    std::memcpy(&b[0x40], "PE\0\0", 4);
    Put16(b, 0x44, 0x8664);
    Put16(b, 0x46, 1);    // sections
    Put16(b, 0x54, 240);  // optional header
    Put16(b, 0x58, 0x20B);
    Put32(b, 0x58 + 108, 16);           // data directories
    Put32(b, 0x58 + 112 + 16, 0x1000);  // resources
    Put32(b, 0x58 + 112 + 20, 0xB4);
    const std::size_t section = 0x58 + 240;
    std::memcpy(&b[section], ".rsrc", 5);
    Put32(b, section + 8, 0xB4);
    Put32(b, section + 12, 0x1000);
    Put32(b, section + 16, 0xB4);
    Put32(b, section + 20, 0x200);
    const std::size_t r = 0x200;
    Put16(b, r + 14, 1);
    Put32(b, r + 16, 16);
    Put32(b, r + 20, 0x80000018);
    Put16(b, r + 0x18 + 14, 1);
    Put32(b, r + 0x18 + 16, 1);
    Put32(b, r + 0x18 + 20, 0x80000030);
    Put16(b, r + 0x30 + 14, 1);
    Put32(b, r + 0x30 + 16, 0x409);
    Put32(b, r + 0x30 + 20, 0x48);
    Put32(b, r + 0x48, 0x1000 + 0x58);
    Put32(b, r + 0x48 + 4, 92);
    const std::size_t v = r + 0x58;
    Put16(b, v, 92);
    Put16(b, v + 2, 52);
    const char16_t key[] = u"VS_VERSION_INFO";
    for (int i = 0; i < 16; ++i) Put16(b, v + 6 + 2 * static_cast<std::size_t>(i), key[i]);
    Put32(b, v + 40, 0xFEEF04BD);
    Put32(b, v + 48, (9u << 16) | 9u);
    Put32(b, v + 52, (9u << 16) | 9u);
    Put32(b, v + 56, (5u << 16) | 4u);
    Put32(b, v + 60, 12u << 16);
    return b;
}

std::optional<os::FixedVersion> Read(const std::vector<unsigned char>& file) {
    return os::FixedVersionOfImage([&file](std::uint64_t offset, std::size_t size, unsigned char* out) {
        if (offset > file.size() || size > file.size() - offset) return false;
        std::memcpy(out, file.data() + offset, size);
        return true;
    });
}

TEST(VersionResource, TheFixedRecordOfAnImage) {
    const auto version = Read(Image());
    ASSERT_TRUE(version);
    EXPECT_EQ(version->productVersionMS, (5u << 16) | 4u);
    EXPECT_EQ(version->productVersionLS, 12u << 16);
    EXPECT_EQ(version->fileVersionMS, (9u << 16) | 9u);
}

TEST(VersionResource, AnythingCutShortOrPointingAstrayGivesNothing) {
    const std::vector<unsigned char> image = Image();
    for (std::size_t size = 0; size < image.size(); ++size)
        EXPECT_FALSE(Read(std::vector<unsigned char>(image.begin(), image.begin() + static_cast<long>(size))))
            << "cut at " << size;
    // Each byte of the headers and the resource directory changed in turn.
    for (std::size_t at = 0; at < 0x200 + 0x58; ++at) {
        for (const unsigned value : {0x00u, 0x7Fu, 0xFFu}) {
            std::vector<unsigned char> changed = image;
            changed[at] = static_cast<unsigned char>(value);
            const auto version = Read(changed);
            if (version) {
                EXPECT_EQ(version->productVersionMS, (5u << 16) | 4u) << "byte " << at;
            }
        }
    }
    std::vector<unsigned char> noSignature = image;
    noSignature[0x200 + 0x58 + 40] = 0;
    EXPECT_FALSE(Read(noSignature));
}

}  // namespace
