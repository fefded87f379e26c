// Feeds arbitrary bytes as a program file through the reading of its version
// record: headers, section table, resource directory and version resource.
// Checks that nothing is read outside the file.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "platform/os/Os.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    os::FixedVersionOfImage([data, size](std::uint64_t offset, std::size_t count, unsigned char* out) {
        if (offset > size || count > size - offset) return false;
        std::memcpy(out, data + offset, count);
        return true;
    });
    return 0;
}
