#include "platform/services/CLimit.h"

#include <shellapi.h>

#include "platform/os/Os.h"
#include "platform/services/CLog.h"
#include "platform/ui/Window.h"

namespace {

const catalogue::ProductInfo& Info(ZELTO_PRODUCT id) {
    static const catalogue::ProductInfo unknown{id, L"", L"", L"is an unknown product", L"", false, 0};
    const catalogue::ProductInfo* p = catalogue::FindProduct(id);
    return p ? *p : unknown;
}

}  // namespace

std::wstring CLimit::ProductName(ZELTO_PRODUCT id) { return Info(id).name; }
std::wstring CLimit::ProductDescr(ZELTO_PRODUCT id) { return Info(id).description; }
std::wstring CLimit::MakeRegPath(ZELTO_PRODUCT id) {
    return std::wstring(catalogue::kRegistryRoot) + Info(id).key;
}
std::wstring CLimit::MakeSiteDirectory(ZELTO_PRODUCT id) { return Info(id).siteFolder; }

std::wstring CLimit::InstalledExe(ZELTO_PRODUCT id) {
    constexpr size_t kMaxBytes = MAX_PATH * sizeof(wchar_t);
    const os::RegValue value = os::Registry().QueryValue(MakeRegPath(id), L"ExePath", kMaxBytes);
    if (value.status != os::RegStatus::Ok) return {};
    std::wstring path = os::RegText(value.data);
    if (path.empty() || !os::FileSystem().Exists(path)) return {};
    return path;
}

bool CLimit::RunProduct(ZELTO_PRODUCT id, HWND parent, const std::wstring& arguments) {
    const std::wstring name = L"Zelto " + ProductName(id);
    const std::wstring exe = InstalledExe(id);
    if (exe.empty()) {
        const std::wstring text =
            name + L" is not installed on this computer.\n\nDo you want to open its download page?";
        if (ui::ShowMessageBox(parent, text.c_str(), ui::kAppCaption, MB_YESNO | MB_ICONINFORMATION) ==
            IDYES) {
            const std::wstring url = std::wstring(catalogue::kSiteBase) + MakeSiteDirectory(id);
            ::ShellExecuteW(parent, L"open", url.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
        }
        return false;
    }
    const auto rc = reinterpret_cast<INT_PTR>(::ShellExecuteW(parent, L"open", exe.c_str(),
                                                              arguments.empty() ? nullptr : arguments.c_str(),
                                                              nullptr, SW_SHOWNORMAL));
    if (rc > 32) return true;
    std::wstring error;
    CLog::FormatLastError(error, 0);
    const std::wstring text =
        name + L" could not be started:\n" + exe + L"\n\n" +
        (error.empty() ? L"The system reported error " + std::to_wstring(rc) + L"." : error);
    ui::ShowMessageBox(parent, text.c_str(), ui::kAppCaption, MB_OK | MB_ICONERROR);
    return false;
}
