// drive.exe: steers a running hub from outside, for tools/demo's screenshots.
//   drive wait          waits (up to 60 s) until the hub's window exists and has painted
//   drive tab N         selects tab N (0..3) with the tab strip's own keyboard handling
//   drive close         asks the hub to close as the user would (WM_CLOSE)
//   drive update        runs Tools, Check for Updates and answers its question with Yes
//   drive script        selects the first script of the SQL library tree, so the preview shows it
//   drive search N TEXT types TEXT into the search box of page N (2 or 3); on the SQL library
//                       page it then searches the scripts' text and waits until that ends
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cwchar>

namespace {

HWND FindHub() { return FindWindowW(nullptr, L"Zelto Quaylet"); }

// The page dialogs are the hub's dialog children in tab order.
HWND Page(HWND hub, int index) {
    int seen = 0;
    for (HWND child = GetWindow(hub, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t cls[32] = {};
        GetClassNameW(child, cls, 32);
        if (!wcscmp(cls, L"#32770") && seen++ == index) return child;
    }
    return nullptr;
}

// Walks the tree in display order, opening folders, until selecting an entry
// makes the preview show text. Only handles and ids cross the process border.
// Runs the update check and agrees to go online when the hub asks.
int RunUpdateCheck(HWND hub) {
    DWORD pid = 0;
    GetWindowThreadProcessId(hub, &pid);
    PostMessageW(hub, WM_COMMAND, 5816, 0);
    for (int i = 0; i < 100; ++i) {
        Sleep(100);
        HWND box = FindWindowW(L"#32770", L"Check for Updates");
        DWORD boxPid = 0;
        if (box) GetWindowThreadProcessId(box, &boxPid);
        if (box && boxPid == pid) {
            PostMessageW(box, WM_COMMAND, IDYES, 0);
            Sleep(1500);
            return 0;
        }
    }
    return 1;
}

int SelectFirstScript(HWND hub) {
    HWND page = Page(hub, 3);
    HWND tree = GetDlgItem(page, 1015);
    HWND preview = GetDlgItem(page, 1040);
    if (!tree || !preview) return 1;
    auto item = reinterpret_cast<LPARAM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0));
    for (int guard = 0; item && guard < 200; ++guard) {
        SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, item);
        Sleep(100);
        if (SendMessageW(preview, WM_GETTEXTLENGTH, 0, 0) > 0) return 0;
        SendMessageW(tree, TVM_EXPAND, TVE_EXPAND, item);
        const auto child = reinterpret_cast<LPARAM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CHILD, item));
        item = child ? child
                     : reinterpret_cast<LPARAM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_NEXTVISIBLE, item));
    }
    return 1;
}

int Search(HWND hub, int index, const wchar_t* text) {
    HWND page = Page(hub, index);
    HWND box = GetDlgItem(page, index == 2 ? 1114 : 1017);
    if (!box) return 1;
    for (const wchar_t* c = text; *c; ++c) PostMessageW(box, WM_CHAR, *c, 1);
    Sleep(500);
    if (index != 3) return 0;
    HWND button = GetDlgItem(page, 1018);
    PostMessageW(page, WM_COMMAND, MAKEWPARAM(1018, BN_CLICKED), reinterpret_cast<LPARAM>(button));
    for (int i = 0; i < 300; ++i) {
        Sleep(100);
        wchar_t label[32] = {};
        SendMessageW(button, WM_GETTEXT, 32, reinterpret_cast<LPARAM>(label));
        if (i > 2 && !wcscmp(label, L"Search Text")) return 0;
    }
    return 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fwprintf(stderr, L"usage: drive wait | tab N | update | script | search N TEXT | close\n");
        return 2;
    }
    HWND hub = nullptr;
    for (int i = 0; i < 600 && !(hub = FindHub()); ++i) Sleep(100);
    if (!hub) {
        std::fwprintf(stderr, L"drive: the hub's window did not appear\n");
        return 1;
    }
    if (!wcscmp(argv[1], L"wait")) {
        Sleep(1500);
        return 0;
    }
    if (!wcscmp(argv[1], L"script")) return SelectFirstScript(hub);
    if (!wcscmp(argv[1], L"update")) return RunUpdateCheck(hub);
    if (!wcscmp(argv[1], L"search") && argc > 3) return Search(hub, _wtoi(argv[2]), argv[3]);
    if (!wcscmp(argv[1], L"close")) {
        PostMessageW(hub, WM_CLOSE, 0, 0);
        return 0;
    }
    if (!wcscmp(argv[1], L"tab") && argc > 2) {
        const int target = _wtoi(argv[2]);
        HWND tab = GetDlgItem(hub, 1188);
        // Cross-process WM_NOTIFY is not allowed, so move with the arrow keys the
        // strip handles itself; it then notifies its own window.
        for (int guard = 0; guard < 8; ++guard) {
            const int current = static_cast<int>(SendMessageW(tab, TCM_GETCURSEL, 0, 0));
            if (current == target) return 0;
            const WPARAM key = current < target ? VK_RIGHT : VK_LEFT;
            SendMessageW(tab, WM_KEYDOWN, key, 0);
            SendMessageW(tab, WM_KEYUP, key, 0xC0000000);
            Sleep(200);
        }
        return 1;
    }
    return 2;
}
