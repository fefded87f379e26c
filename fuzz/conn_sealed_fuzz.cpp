// Sealed export files read with the right passphrase. The input gives the
// profiles (one a line: name, then fields after tabs; a password when the
// line starts with '*') and, after a line "--", edits to make to the written
// file (pairs of position and byte). The file written must read back as it
// was; after the edits, any profile read with a password must be one of the
// written profiles, every setting and the password the same: an edited
// sealed profile is refused, never loaded.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/connection/ConnText.h"
#include "platform/connection/ProfileExport.h"
#include "tests/host/ConnFakes.h"

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

std::wstring Text(const std::string& bytes) {
    std::wstring out;
    for (unsigned char c : bytes) out.push_back(static_cast<wchar_t>(c < 0x20 ? c + 0x3000 : c));
    return out;
}

bool SameProfile(const CONN_INFO& a, const CONN_INFO& b) {
    return a.SameSettings(b) && a.password == b.password;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string all(reinterpret_cast<const char*>(data), size);
    const std::size_t split = all.find("\n--\n");
    const std::string profilesText = all.substr(0, split);
    const std::string edits = split == std::string::npos ? std::string() : all.substr(split + 4);
    std::vector<CONN_INFO> written;
    std::size_t pos = 0;
    while (pos <= profilesText.size() && written.size() < 50) {
        std::size_t end = profilesText.find('\n', pos);
        if (end == std::string::npos) end = profilesText.size();
        std::string line = profilesText.substr(pos, end - pos);
        pos = end + 1;
        CONN_INFO p;
        const bool withPassword = !line.empty() && line[0] == '*';
        if (withPassword) line.erase(0, 1);
        std::vector<std::string> parts{""};
        for (char c : line) {
            if (c == '\t')
                parts.emplace_back();
            else
                parts.back().push_back(c);
        }
        p.name = Text(parts[0]);
        std::wstring* fields[] = {&p.kind, &p.server, &p.database, &p.user, &p.options};
        for (std::size_t i = 1; i < parts.size() && i <= 5; ++i) *fields[i - 1] = Text(parts[i]);
        p.port = static_cast<unsigned>(line.size() * 97 % 65536);
        if (withPassword) p.password = conn::SecretText(L"pw-" + p.name);
        if (conn::IsValidName(p.name) && conn::FirstInvisible(p.name) == 0) written.push_back(p);
    }
    static const connfake::Cipher cipher;
    const conn::SecretText passphrase(L"the right passphrase");
    std::string file = conn::WriteExport(written, &cipher, &passphrase, conn::kMinIterations).bytes;
    const auto clean = conn::ReadExport(file, &cipher, &passphrase);
    Check(clean.ok() && clean.profiles.size() == written.size());
    for (std::size_t i = 0; i < written.size(); ++i) Check(SameProfile(clean.profiles[i], written[i]));

    for (std::size_t i = 0; i + 2 < edits.size(); i += 3) {
        const std::size_t at =
            (static_cast<unsigned char>(edits[i]) << 8 | static_cast<unsigned char>(edits[i + 1])) %
            (file.size() + 1);
        if (edits[i + 2] == '\x7F' && at < file.size())
            file.erase(at, 1);
        else
            file.insert(at, 1, edits[i + 2]);
    }
    const auto edited = conn::ReadExport(file, &cipher, &passphrase);
    if (edited.ok()) {
        for (const CONN_INFO& p : edited.profiles) {
            if (p.password.empty()) continue;
            bool authentic = false;
            for (const CONN_INFO& w : written) authentic = authentic || SameProfile(p, w);
            Check(authentic);
        }
    } else {
        Check(edited.profiles.empty());
    }
    return 0;
}
