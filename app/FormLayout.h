#pragma once

#include <QFont>
#include <QWidget>

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

// The same for a label or a button, with its caption.
template <typename Captioned>
void place(Captioned& control, const char* name, int left, int top, int width, int height,
           const QString& caption) {
    place(static_cast<QWidget&>(control), name, left, top, width, height);
    control.setText(caption);
}
