#pragma once

#include <QString>

#include <array>

namespace orvane::form {

// The window's controls, in tab order. The names are the controls' own names: the window
// uses them as object names, handlers use them to address a field. The enum and the names come
// from this one list, so neither can gain or lose a control without the other.
// clang-format off
#define ORVANE_FORM_CONTROLS(X) \
    X(txtFrom)                  \
    X(txtTo)                    \
    X(txtSubject)               \
    X(txtAttachment)            \
    X(txtBody)                  \
    X(Label1)                   \
    X(btnOrvane)                \
    X(Label2)                   \
    X(Label3)                   \
    X(Label4)                   \
    X(Label5)                   \
    X(lblStatus)                \
    X(cmdLdapSearch)            \
    X(txtLdap)                  \
    X(lstEmail)                 \
    X(txtLdapCon)               \
    X(txtLdapUser)              \
    X(txtLdapPassword)          \
    X(txtSMTP)                  \
    X(txtPort)                  \
    X(Label6)                   \
    X(Label7)                   \
    X(chkSMTPAuth)              \
    X(txtUsername)              \
    X(txtPassword)              \
    X(Label8)                   \
    X(Label9)                   \
    X(chkSSL)
// clang-format on

#define ORVANE_FORM_CONTROL_ENUMERATOR(name) name,
enum class Control { ORVANE_FORM_CONTROLS(ORVANE_FORM_CONTROL_ENUMERATOR) };
#undef ORVANE_FORM_CONTROL_ENUMERATOR

#define ORVANE_FORM_CONTROL_NAME(name) #name,
inline constexpr std::array controlNames = {ORVANE_FORM_CONTROLS(ORVANE_FORM_CONTROL_NAME)};
#undef ORVANE_FORM_CONTROL_NAME

inline constexpr int controlCount = static_cast<int>(controlNames.size());

// The control's name, e.g. "txtFrom".
const char *controlName(Control control);

// Caption of every message box that names no caption of its own.
inline constexpr const char *applicationTitle = "orvane";

// Check-box values. Only Ticked counts as ticked; Greyed is never produced by the program.
inline constexpr int Unticked = 0;
inline constexpr int Ticked = 1;
inline constexpr int Greyed = 2;

// The narrow view of the window that handlers work against. The Qt window is one
// implementation; tests use a recording fake. Every call acts at once on the control named.
class FormFields
{
public:
    virtual ~FormFields() = default;

    // Text box: the whole content.
    virtual QString text(Control control) const = 0;
    virtual void setText(Control control, const QString &text) = 0;

    // Check box: 0 unticked, 1 ticked, 2 greyed.
    virtual int value(Control control) const = 0;

    // Label caption (the status line).
    virtual void setCaption(Control control, const QString &caption) = 0;

    virtual void setVisible(Control control, bool visible) = 0;

    // List box.
    virtual void listClear(Control control) = 0;
    virtual void listAddItem(Control control, const QString &item) = 0;
    virtual int listIndex(Control control) const = 0; // -1 when nothing is selected
    virtual QString listItem(Control control, int index) const = 0;

    // Modal to the window, one text, OK only, no icon. An empty caption means the
    // application title. Returns when the user has closed the box.
    virtual void messageBox(const QString &text, const QString &caption = QString()) = 0;

    // File name of the running executable without directory and extension.
    virtual QString executableBaseName() const = 0;
};

} // namespace orvane::form
