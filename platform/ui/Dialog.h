// Dialogs from the program's own templates: modal runs and child pages.
#pragma once

#include "platform/ui/Window.h"

namespace ui {

class Control;

// Binds dialog controls to their objects when a dialog initialises.
class DataExchange {
public:
    explicit DataExchange(HWND dialog) : m_dialog(dialog) {}
    // A thin wrapper: remembers the control's handle.
    void Attach(int id, Control& control);
    // A control class with behaviour of its own: subclasses the control.
    void Subclass(int id, Window& window);

private:
    HWND m_dialog;
};

class Dialog : public Window {
public:
    Dialog(UINT templateId, Window* parent) : m_templateId(templateId), m_parent(parent) {}

    // Runs the dialog modally; returns what EndDialog was given, or -1.
    INT_PTR DoModal();
    // Creates the dialog as a modeless window (a hidden child when its
    // template says so); false when the template cannot be created.
    bool CreateModeless();
    // Creates the dialog as a modeless window from a template in memory,
    // owned by `owner` (which may be a window of no object); the template
    // id is not used then.
    bool CreateIndirect(const DLGTEMPLATE* dialogTemplate, HWND owner);

    UINT TemplateId() const { return m_templateId; }
    Window* Parent() const { return m_parent; }
    void EndDialog(INT_PTR result);

    virtual BOOL OnInitDialog();
    virtual void DoDataExchange(DataExchange& dx);
    virtual void OnOK();
    virtual void OnCancel();

    // Keys for a dialog that holds child dialogs (pages), as nested dialogs
    // conventionally take them: the innermost page that holds the focus sees a
    // key first, with its own dialog manager, so Esc and Enter there are the
    // page's and never end this dialog; Enter on a focused push button presses
    // it. Tab and Shift+Tab stay with this dialog, whose manager walks its own
    // controls and those of the shown page (pages carry WS_EX_CONTROLPARENT).
    // Call it for every message of this dialog's modal loop before its own
    // dialog manager; true: the message was handled.
    bool TranslatePageKey(MSG& msg);

    const MessageMap* GetMessageMap() const override { return ThisMessageMap(); }
    static const MessageMap* ThisMessageMap();

protected:
    LRESULT DefaultProc(Message& m) override;

private:
    static INT_PTR CALLBACK DialogProc(HWND, UINT, WPARAM, LPARAM);
    bool OnInitDialogMsg(Message& m);
    void OnOKCommand() { OnOK(); }
    void OnCancelCommand() { OnCancel(); }

    UINT m_templateId;
    Window* m_parent;
    bool m_modal = false;
};

}  // namespace ui
