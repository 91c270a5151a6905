#pragma once
// The base of every dialog: OK and Cancel run fixed steps (OnOK or OnCancel, then OnClose, each
// exactly once). Results of other threads reach a dialog as queued calls (CDelivery), like any
// window's.

#include <QDialog>

class QAbstractButton;
class QHBoxLayout;

class CKSDialog : public QDialog {
    Q_OBJECT
public:
    // templateId names the dialog's layout; 0 when the dialog builds itself without one.
    explicit CKSDialog(int templateId, QWidget* owner = nullptr);

    bool IsTemplate() const { return m_templateId != 0; }
    int TemplateId() const { return m_templateId; }
    bool IsModal() const { return m_modal; }
    QWidget* Owner() const { return m_owner; }

    // Runs the dialog modally: 1 (OK) or 2 (Cancel).
    int DoModal();
    // Shows the dialog modeless; it deletes itself when it ends.
    void Create();

    // Message boxes titled with a string-table caption.
    void ShowMessage(int captionId, const QString& text);
    void ShowFormattedMessage(int captionId, const QString& format, unsigned argument);

    // A smallest size the user cannot shrink the dialog below; an empty size sets none.
    void SetMinimumTrackSize(const QSize& size);

    // OK and Cancel (Enter on the default button, Esc and the close box end up here too).
    void accept() override;
    void reject() override;

protected:
    // Called once, before the dialog is first shown.
    virtual void OnInitDialog() {}
    // A button registered with AddCommand was pressed.
    virtual void OnCommand(int /*id*/) {}
    // OK pressed: answer false to keep the dialog open (a value was refused, say).
    virtual bool OnOK() { return true; }
    virtual void OnCancel() {}
    // After OnOK or OnCancel, once.
    virtual void OnClose() {}
    // The selection of a control registered with WatchSelection changed.
    virtual void OnSelChange(int /*controlId*/) {}

    // Routes a button's clicks to OnCommand(id).
    void AddCommand(QAbstractButton* button, int id);
    // The row of buttons that end the dialog, on the right: "OK" (the default) and, when asked
    // for, "Cancel", already routed to OK and Cancel.
    QHBoxLayout* MakeEndButtons(bool withCancel);
    // Routes a list's or combo box's selection changes to OnSelChange(controlId).
    void WatchSelection(QObject* control, int controlId);

    void showEvent(QShowEvent* event) override;

private:
    int m_templateId;
    QWidget* m_owner;
    bool m_modal = false;
    bool m_initialised = false;
    bool m_ended = false;
};
