// After an Export and a Load with a passphrase, the passphrase and the
// password are nowhere in the process's memory, in UTF-16LE or UTF-8: not
// in the heap's freed blocks, not in moved-from strings, not in stack frames
// that have returned. The test keeps both only masked, so that every plain
// copy that the scan could find is the program's own.
#include <windows.h>
#include <commctrl.h>

#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/connection/ProfileStore.h"
#include "platform/connection/Win32ConnCrypto.h"
#include "platform/connlist/CAdvConnectList.h"
#include "tests/PageHost.h"
#include "tests/ScopedEnvironment.h"
#include "tests/win/WinTestSupport.h"

namespace {

constexpr char16_t kMask = 0x5AA5;

template <std::size_t N>
constexpr std::array<char16_t, N - 1> Masked(const char16_t (&text)[N]) {
    std::array<char16_t, N - 1> out{};
    for (std::size_t i = 0; i + 1 < N; ++i) out[i] = static_cast<char16_t>(text[i] ^ kMask);
    return out;
}

// Only the masked forms are in the program's image: the plain ones are
// folded away when it is compiled.
constexpr auto kPassword = Masked(u"\u00c49\u00e7!\u00dfQ");  // 6 characters: short enough to be kept inline
// Scripts mixed so that no run of it is a word some program holds anyway.
constexpr auto kPassphrase = Masked(u"Gr\u00fc\u6771\u00dfe\u03a9\u4eac Z\u03bc\u00fcr2\u00e9ich");

template <std::size_t N>
conn::SecretText Unmask(const std::array<char16_t, N>& masked) {
    conn::SecretText text;
    text.reserve(N);
    for (char16_t u : masked) text.push_back(static_cast<char16_t>(u ^ kMask));
    return text;
}

// The text's bytes as UTF-16LE or UTF-8 (the texts here have no character
// outside the first plane), each kept masked (^ 0xA5) and made from the
// masked text one character at a time.
template <std::size_t N>
std::vector<unsigned char> MaskedEncoding(const std::array<char16_t, N>& masked, bool utf8) {
    std::vector<unsigned char> out;
    for (char16_t m : masked) {
        const unsigned c = static_cast<char16_t>(m ^ kMask);
        if (!utf8) {
            out.push_back(static_cast<unsigned char>((c & 0xFF) ^ 0xA5));
            out.push_back(static_cast<unsigned char>((c >> 8) ^ 0xA5));
        } else if (c < 0x80) {
            out.push_back(static_cast<unsigned char>(c ^ 0xA5));
        } else if (c < 0x800) {
            out.push_back(static_cast<unsigned char>((0xC0 | (c >> 6)) ^ 0xA5));
            out.push_back(static_cast<unsigned char>((0x80 | (c & 0x3F)) ^ 0xA5));
        } else {
            out.push_back(static_cast<unsigned char>((0xE0 | (c >> 12)) ^ 0xA5));
            out.push_back(static_cast<unsigned char>((0x80 | ((c >> 6) & 0x3F)) ^ 0xA5));
            out.push_back(static_cast<unsigned char>((0x80 | (c & 0x3F)) ^ 0xA5));
        }
    }
    return out;
}

// What the scan looks for: every run of 8 bytes of an encoding that holds a
// character outside ASCII, masked. Any piece of a copy is found so, also one
// whose start the heap has written over when it freed its block, or the
// start that a buffer held before it grew.
class Pieces {
public:
    void Add(const std::string& name, const std::vector<unsigned char>& masked) {
        for (std::size_t i = 0; i + 8 <= masked.size(); ++i) {
            std::uint64_t key = 0;
            bool beyondAscii = false;
            for (std::size_t k = 0; k < 8; ++k) {
                key |= std::uint64_t{masked[i + k]} << (8 * k);
                beyondAscii = beyondAscii || (masked[i + k] ^ 0xA5) >= 0x80;
            }
            if (!beyondAscii) continue;
            m_pieces.emplace(key, name);
            m_starts[masked[i] | (masked[i + 1] << 8)] = true;
        }
    }
    // The name of the text whose piece starts at `at`, or null.
    const std::string* At(const unsigned char* at) const {
        if (!m_starts[(at[0] ^ 0xA5) | ((at[1] ^ 0xA5) << 8)]) return nullptr;
        std::uint64_t key = 0;
        for (std::size_t k = 0; k < 8; ++k)
            key |= std::uint64_t{static_cast<unsigned char>(at[k] ^ 0xA5)} << (8 * k);
        const auto found = m_pieces.find(key);
        return found == m_pieces.end() ? nullptr : &found->second;
    }

private:
    std::unordered_map<std::uint64_t, std::string> m_pieces;
    std::vector<bool> m_starts = std::vector<bool>(65536);
};

bool Readable(const MEMORY_BASIC_INFORMATION& m) {
    if (m.State != MEM_COMMIT || (m.Protect & (PAGE_GUARD | PAGE_NOACCESS))) return false;
    return (m.Protect & (PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ |
                         PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY)) != 0;
}

// The pieces found in the readable memory of this process (the scan's own
// buffer aside), one entry per copy.
std::vector<std::string> Find(const Pieces& pieces) {
    constexpr std::size_t kChunk = 1 << 20;
    auto* buffer = static_cast<unsigned char*>(VirtualAlloc(nullptr, kChunk, MEM_COMMIT, PAGE_READWRITE));
    std::vector<std::string> found;
    MEMORY_BASIC_INFORMATION m{};
    for (auto* at = static_cast<unsigned char*>(nullptr); VirtualQuery(at, &m, sizeof m) == sizeof m;
         at = static_cast<unsigned char*>(m.BaseAddress) + m.RegionSize) {
        if (!Readable(m) || m.BaseAddress == buffer) continue;
        auto* base = static_cast<unsigned char*>(m.BaseAddress);
        std::unordered_map<std::string, const unsigned char*> last;  // each text's last piece
        for (std::size_t off = 0; off < m.RegionSize; off += kChunk - 8) {
            const std::size_t n = std::min(kChunk, m.RegionSize - off);
            SIZE_T got = 0;
            if (!ReadProcessMemory(GetCurrentProcess(), base + off, buffer, n, &got)) continue;
            for (std::size_t i = 0; i + 8 <= got; ++i) {
                const std::string* name = pieces.At(buffer + i);
                if (!name) continue;
                // The pieces of one copy count once.
                const unsigned char* where = base + off + i;
                const auto seen = last.find(*name);
                if (seen == last.end() || where >= seen->second + 64)
                    found.push_back(*name + " at " + std::to_string(reinterpret_cast<std::uintptr_t>(where)));
                last[*name] = where;
            }
            SecureZeroMemory(buffer, kChunk);
            if (n < kChunk) break;
        }
    }
    VirtualFree(buffer, 0, MEM_RELEASE);
    return found;
}

class ScannedList : public CAdvConnectList {
public:
    std::wstring path;
    std::deque<int> answers;

protected:
    std::wstring AskSaveFileName(HWND, const std::wstring&, const std::wstring&) override { return path; }
    std::wstring AskOpenFileName(HWND, const std::wstring&) override { return path; }
    std::optional<conn::SecretText> AskPassphrase(HWND, const std::wstring&, bool) override {
        return Unmask(kPassphrase);
    }
    int ShowMessage(HWND, const std::wstring& text, const std::wstring&, UINT type) override {
        messages.push_back(text);
        if ((type & 0xF) == MB_OK || answers.empty()) return IDOK;
        const int a = answers.front();
        answers.pop_front();
        return a;
    }

public:
    std::vector<std::wstring> messages;
};

class SecretMemoryTest : public WinTest {};

}  // namespace

TEST_F(SecretMemoryTest, NoPassphraseOrPasswordIsLeftAfterAnExportAndALoad) {
    const test::ScopedEnvironment appData(L"APPDATA", TempDir());
    const std::wstring store = TempDir() + L"\\Zerudozuz\\Connections\\profiles.zcp";
    {
        CONN_INFO p;
        p.name = L"Sales";
        p.server = L"db-sales.example.net";
        p.password = Unmask(kPassword);
        ASSERT_TRUE(conn::ProtectPassword(p, conn::CurrentUserProtector()));
        std::wstring error;
        ASSERT_TRUE(conn::ProfileStore(store).Save({p}, error));
    }
    test::PageHost host;
    {
        HWND listWindow = CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | LVS_REPORT | LVS_OWNERDATA, 0, 0,
                                          400, 300, host.Hwnd(), nullptr, nullptr, nullptr);
        ScannedList list;
        ASSERT_TRUE(list.Subclass(listWindow));
        list.SetStorePath(store);
        list.Initialize(nullptr);
        list.LoadProfiles();
        list.path = TempDir() + L"\\sealed.zcx";
        list.answers = {IDYES};
        list.SaveAll(host.Hwnd(), L"Connection profiles");
        ASSERT_NE(test::ReadFileBytes(list.path).find("password.sealed="), std::string::npos);
        // Loaded twice: once as already present (the stored password revealed and
        // compared), once into an empty store (the loaded one protected).
        EXPECT_EQ(list.LoadAll(host.Hwnd(), L"Connection profiles"), 0);
        ASSERT_TRUE(DeleteFileW(store.c_str()));
        EXPECT_EQ(list.LoadAll(host.Hwnd(), L"Connection profiles"), 1);
        ASSERT_FALSE(list.messages.empty());
        EXPECT_NE(list.messages.back().find(L"1 profile added"), std::wstring::npos);
    }
    Pieces pieces;
    pieces.Add("password as UTF-16LE", MaskedEncoding(kPassword, false));
    pieces.Add("password as UTF-8", MaskedEncoding(kPassword, true));
    pieces.Add("passphrase as UTF-16LE", MaskedEncoding(kPassphrase, false));
    pieces.Add("passphrase as UTF-8", MaskedEncoding(kPassphrase, true));
    const std::vector<std::string> found = Find(pieces);
    EXPECT_TRUE(found.empty()) << found.size() << " copies, the first: " << found[0];

    // The scan finds what is there: a copy of each made on purpose, and gone when it is wiped.
    auto planted = std::make_unique<std::array<conn::SecretBytes, 4>>();
    (*planted)[0] = conn::LeBytes(Unmask(kPassword));
    (*planted)[1] = conn::Utf8Bytes(Unmask(kPassword));
    (*planted)[2] = conn::LeBytes(Unmask(kPassphrase));
    (*planted)[3] = conn::Utf8Bytes(Unmask(kPassphrase));
    EXPECT_EQ(Find(pieces).size(), 4u);
    planted.reset();
    EXPECT_TRUE(Find(pieces).empty());
}
