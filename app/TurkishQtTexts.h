#pragma once

#include <QTranslator>

// Qt's own texts in Turkish, whatever language the system speaks, since
// the program's interface is Turkish: the standard buttons of message
// boxes, the file dialog, the text boxes' context menus. The texts the
// program gives itself stay as they are. Installed while it lives.
class TurkishQtTexts {
public:
    // A missing translation is reported on the error output, and Qt's
    // English texts stay.
    TurkishQtTexts();
    ~TurkishQtTexts();
    TurkishQtTexts(const TurkishQtTexts&) = delete;
    TurkishQtTexts& operator=(const TurkishQtTexts&) = delete;

    bool loaded() const { return loaded_; }

private:
    QTranslator translator_;
    bool loaded_ = false;
};
