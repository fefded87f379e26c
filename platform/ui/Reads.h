// Background reads (platform/os/BackgroundReads.h) answered to a window: their
// ring posts kReadsAnswered to it, and the window's handler for that message
// runs what finished (BackgroundReads::RunFinished). A post is the one thing a
// worker does to a window.
#pragma once

#include <windows.h>

#include <functional>

namespace ui {

// The messages workers post to a page, numbered here in one place: a page's
// map sees them all (its own and its base's), so two must never share a number.
constexpr UINT kReadsAnswered = WM_APP + 0x0190;
// What a window's change watch (platform/os/ChangeWatch.h) posts to it.
constexpr UINT kChangesSeen = WM_APP + 0x0191;
// What the library's search (its listing and its search of the text) posts.
constexpr UINT kSearchAnswered = WM_APP + 0x0192;

// The ring of a window's background reads.
inline std::function<void()> PostReadsAnswered(HWND hwnd) {
    return [hwnd] { ::PostMessageW(hwnd, kReadsAnswered, 0, 0); };
}

// The ring of a window's change watch.
inline std::function<void()> PostChangesSeen(HWND hwnd) {
    return [hwnd] { ::PostMessageW(hwnd, kChangesSeen, 0, 0); };
}

// Lets this thread's windows take the answers of their reads (and answers
// what other threads and programs send) until pending() is false or ms have
// passed; whatever else is posted meanwhile waits in the queue. False when
// reads were still pending at the end.
bool WaitForReads(const std::function<bool()>& pending, DWORD ms);

}  // namespace ui
