// The "Connections" page: the stored connection profiles in the suite's
// profile list, its three file commands, and opening the selected profile in
// Table Bench (product 4) with the profile packed into its command line.
#pragma once

#include <memory>
#include <string>

#include "platform/connlist/CAdvConnectList.h"
#include "platform/framework/CSmDialog.h"
#include "platform/ui/Accessibility.h"
#include "platform/ui/Gdi.h"

namespace os {
class BackgroundReads;
class ChangeWatch;
}  // namespace os

class PageConnections : public CSmPage {
public:
    explicit PageConnections(ui::Window* parent);
    ~PageConnections() override;

    const ui::MessageMap* GetMessageMap() const override { return ThisMessageMap(); }
    static const ui::MessageMap* ThisMessageMap();

    void DoDataExchange(ui::DataExchange& dx) override;
    BOOL OnInitDialog() override;
    // Stores the column widths, then hides the page.
    void Deactivate() override;
    // The store is read in the background (it may lie on a redirected folder
    // on a server); until it has been, the list says so, and Save, Export
    // and Load refuse with a message rather than work on profiles not shown.
    bool ReadsPending() const override;
    // Reads the store again in the background and shows what it holds, the
    // selected profile (by name) and the scroll position kept. While an
    // action of the page runs (a file dialog, the passphrase prompt, a
    // message) the reload waits until it ends; a store that cannot be read
    // now leaves the list as it is. The page's watch on the store's folder
    // calls it when another program saves a profile.
    void Refresh() override;
    enum class StoreRead { Reading, Done, NoAnswer };
    StoreRead StoreState() const { return m_storeRead; }

    CAdvConnectList& List() { return *m_list; }

    void OnExportOne();
    void OnSaveAll();
    void OnLoadAll();
    void OnOpenSelected();

protected:
    // Lets tests put a list with answered dialogs in place.
    explicit PageConnections(ui::Window* parent, std::unique_ptr<CAdvConnectList> list);
    // The two ways of starting Table Bench, so that tests can see the call.
    virtual void ShellOpen(const std::wstring& exe, const std::wstring& arguments);
    virtual void RunProduct(const std::wstring& arguments);

private:
    void ReadProfiles();
    void ShowReloaded(conn::ProfileStore::LoadResult& loaded);
    // Runs one of the page's actions; a reload asked for meanwhile follows it.
    template <class Action>
    void RunAction(Action action);
    void WatchStore();
    void OpenSelectedProfile();
    void ShowStoreState();
    void OnReadsAnswered();
    // True once the store has been read; else tells the user why the action waits.
    bool ProfilesRead();

    std::unique_ptr<CAdvConnectList> m_list;
    std::unique_ptr<os::BackgroundReads> m_reads;
    StoreRead m_storeRead = StoreRead::Reading;
    bool m_inAction = false;      // an action (and its dialogs) is running
    bool m_reloadWanted = false;  // a reload waits for the action to end
    std::unique_ptr<os::ChangeWatch> m_watch;
    ui::Button m_open;
    ui::Icon m_openIcon;
    ui::ToolTips m_tips;
    ui::AccessibleNames m_names;
};
