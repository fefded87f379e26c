// Paths that name devices, pipes and device-namespace objects are told from
// files by their spelling alone, in every spelling the system accepts.
#include <gtest/gtest.h>

#include "platform/os/Os.h"

TEST(DeviceName, EverySpellingOfADeviceOrPipeIsADevice) {
    for (const wchar_t* path : {L"COM1",
                                L"com9",
                                L"LPT1",
                                L"lpt3.exe",
                                L"NUL",
                                L"nul.txt",
                                L"CON",
                                L"PRN",
                                L"AUX",
                                L"CONIN$",
                                L"conout$",
                                L"COM1.exe",
                                L"C:\\Zelto\\COM1.exe",
                                L"C:\\Zelto\\nul .rfp",
                                L"C:\\Zelto\\AUX.tar.gz",
                                L"COM1:",
                                L"C:\\p\\LPT2...",
                                L"C:\\p\\prn  ",
                                L"C:NUL",
                                L"D:/work/con.rfp",
                                L"COM\u00B9",
                                L"lpt\u00B3.exe",
                                L"\\\\.\\COM1",
                                L"\\\\.\\pipe\\quaylet",
                                L"//./pipe/quaylet",
                                L"\\\\?\\pipe\\x",
                                L"\\\\.\\PhysicalDrive0",
                                L"\\\\?\\GLOBALROOT\\Device\\Serial0",
                                L"\\??\\COM1",
                                L"\\\\.\\mailslot\\m",
                                L"\\\\server\\pipe\\name",
                                L"\\\\server\\PIPE\\name",
                                L"\\\\server\\mailslot\\m",
                                L"\\\\?\\UNC\\server\\pipe\\x",
                                L"\\\\.\\UNC\\server\\pipe\\x",
                                L"//?/unc/s/PIPE/q",
                                L"\\??\\UNC\\s\\mailslot\\m",
                                L"\\\\.\\c:\\x\\..\\..\\pipe\\q",
                                L"\\\\.\\CONIN$",
                                L"\\\\?\\Volume{0a1b2c3d-0000-0000-0000-100000000000}",
                                L"\\\\.\\Volume{0a1b2c3d-0000-0000-0000-100000000000}",
                                L"\\\\?\\Volume{0a1b2c3d-0000-0000-0000-100000000000}junk"})
        EXPECT_TRUE(os::NamesDevice(path)) << path;
}

TEST(DeviceName, FilesThatMerelyLookAlikeAreFiles) {
    for (const wchar_t* path :
         {L"C:\\Zelto\\rf.exe", L"C:\\Zelto\\COM10.exe", L"C:\\Zelto\\console.exe",
          L"C:\\Zelto\\nullable.rfp", L"C:\\Zelto\\ACOM1.exe", L"C:\\Zelto\\CON_old.rfp", L"C:\\NUL\\x.rfp",
          L"relative.docpr", L"", L"\\\\?\\C:\\Zelto\\rf.exe", L"\\\\.\\C:\\Zelto\\rf.exe",
          L"\\\\?\\UNC\\server\\share\\rf.exe",
          L"\\\\?\\Volume{0a1b2c3d-0000-0000-0000-100000000000}\\rf.exe",
          L"\\\\?\\Volume{0a1b2c3d-0000-0000-0000-100000000000}\\", L"\\\\server\\share\\rf.exe",
          L"\\\\server\\pipes\\rf.exe", L"\\\\pipe\\share\\rf.exe", L"C:\\p\\pipe\\rf.exe"})
        EXPECT_FALSE(os::NamesDevice(path)) << path;
}
