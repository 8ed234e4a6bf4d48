#pragma once

#include <QFont>
#include <QLabel>
#include <QWidget>
#include <initializer_list>
#include <type_traits>

// The windows' font: "MS Sans Serif", 11 pixels high, or the nearest sans
// serif of similar width where the system has none of that name.
inline QFont windowFont(int pixelSize = 11) {
    QFont font;
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
                      QStringLiteral("Liberation Sans"), QStringLiteral("Nimbus Sans"),
                      QStringLiteral("Arial")});
    font.setPixelSize(pixelSize);
    return font;
}

// Names a control after its part in the window and puts it at its place.
inline void place(QWidget& widget, const char* name, int left, int top, int width, int height) {
    widget.setObjectName(QString::fromLatin1(name));
    widget.setGeometry(left, top, width, height);
}

// The same for a label or a button, with its caption. A label takes the
// width of its text, whatever font the system has.
template <typename Captioned>
void place(Captioned& control, const char* name, int left, int top, int width, int height,
           const QString& caption) {
    place(static_cast<QWidget&>(control), name, left, top, width, height);
    control.setText(caption);
    if constexpr (std::is_base_of_v<QLabel, Captioned>) {
        control.adjustSize();
    }
}

// A window's name, caption, font, client size and place on the screen.
inline void setUpWindow(QWidget& window, const char* name, const QString& caption, QSize client,
                        QPoint topLeft) {
    window.setObjectName(QString::fromLatin1(name));
    window.setWindowTitle(caption);
    window.setFont(windowFont());
    window.resize(client);
    window.move(topLeft);
}

// Tab goes from each control to the next, in the order given.
inline void chainTabOrder(std::initializer_list<QWidget*> controls) {
    QWidget* previous = nullptr;
    for (QWidget* control : controls) {
        if (previous != nullptr) {
            QWidget::setTabOrder(previous, control);
        }
        previous = control;
    }
}
