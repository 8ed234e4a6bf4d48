#pragma once

#include <QString>
#include <QStringList>
#include <exception>

class QWidget;

// The message boxes and the file-open dialog the program shows. Offscreen
// tests install a scripted stand-in that records what was shown and gives
// the answers a user would.
class UserDialogs {
public:
    virtual ~UserDialogs() = default;

    virtual void showError(const QString& text);   // the top-level error box
    virtual void showMessage(const QString& text); // a plain message box
    // A warning box ("Uyarı") with OK and Cancel; true only for OK.
    virtual bool confirmWarning(const QString& text);
    // A question box ("Onay") with OK and Cancel; true only for OK.
    virtual bool confirmQuestion(const QString& text);
    // A question box with these buttons: the first is the default (Return), the last answers Escape
    // and closing the box. Returns the index of the button chosen.
    virtual int ask(const QString& text, const QStringList& buttons);
    // The save dialog for a file of this kind ("CSV (*.csv)"); empty when cancelled.
    virtual QString saveFileName(const QString& suggested, const QString& filter);
    // The file-open dialog `op`: no filter, no title; empty when cancelled.
    virtual QString openFileName();

    static UserDialogs& current();
    // Makes `dialogs` current until it is uninstalled; nullptr restores the real ones.
    static void install(UserDialogs* dialogs);
};

// The program's top-level error handler: shows the message of an error that
// escaped a handler, and the program goes on.
void showException(const std::exception& error);

// Runs one handler of a control; an error that escapes it reaches the
// top-level handler instead of unwinding through the toolkit.
template <typename Handler> void guarded(Handler&& handler) noexcept {
    try {
        handler();
    } catch (const std::exception& error) {
        showException(error);
    }
}
