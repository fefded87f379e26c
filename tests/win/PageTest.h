// A fixture for the tests of one page: the page in a host window as the main
// window holds it, over a settings store made afresh for each test.
#pragma once

#include <memory>

#include "platform/framework/Process.h"
#include "tests/PageHost.h"
#include "tests/win/WinTestSupport.h"

template <class Page, class Settings>
class PageTest : public WinTest {
protected:
    explicit PageTest(int hostWidth = 900, int hostHeight = 800) : m_host(hostWidth, hostHeight) {}

    void SetUp() override {
        WinTest::SetUp();
        ReopenSettings();
    }
    void TearDown() override {
        m_page.reset();  // a page may save to the settings as it goes
        g_settings = nullptr;
        m_settings.reset();
        WinTest::TearDown();
    }

    // The page created as the main window creates it, not yet shown, with
    // what its reads of other programs' files found.
    Page& CreatePage() {
        m_page = std::make_unique<Page>(&m_host);
        EXPECT_TRUE(m_page->Create(0, 0));
        EXPECT_TRUE(SettleReads(*m_page));
        return *m_page;
    }
    // A new store that reads what the old one saved, as at the next start.
    void ReopenSettings() {
        g_settings = nullptr;
        m_settings = std::make_unique<Settings>();
        g_settings = m_settings.get();
    }

    test::PageHost m_host;
    std::unique_ptr<Page> m_page;
    std::unique_ptr<Settings> m_settings;
};
