#include "CaptionFit.h"

#include <QLabel>
#include <QWidget>
#include <algorithm>

namespace {

// Condensed no further than this: narrower text is no longer easy to read.
constexpr int kNarrowestStretch = 75;
// The least space kept between a label and the control beside it, so that
// "Kullanılan Karakter:" and its count stay apart.
constexpr int kGap = 4;

// The widgets that are controls of the window: its own children and those
// of its plain panels, not the inner parts of a grid or a drop-down.
bool isControl(const QWidget& widget, const QWidget& window) {
    const QWidget* parent = widget.parentWidget();
    if (parent == &window) {
        return true;
    }
    return parent != nullptr && parent->metaObject() == &QFrame::staticMetaObject &&
           isControl(*parent, window);
}

QRect inWindow(const QWidget& widget, const QWidget& window) {
    return {widget.mapTo(&window, QPoint(0, 0)), widget.size()};
}

// How wide `label` may be: up to the nearest visible control to its right
// that shares its rows, less a small gap, or its parent's inner edge.
int room(const QLabel& label, const QWidget& window) {
    const QRect own = inWindow(label, window);
    const QWidget& parent = *label.parentWidget();
    int right = parent.mapTo(&window, parent.contentsRect().topLeft()).x() + parent.contentsRect().width();
    for (const QWidget* other : window.findChildren<QWidget*>()) {
        if (other == &label || other->isHidden() || !isControl(*other, window) ||
            other->isAncestorOf(&label)) {
            continue;
        }
        const QRect rect = inWindow(*other, window);
        if (rect.left() > own.left() && rect.top() <= own.bottom() && rect.bottom() >= own.top()) {
            right = std::min(right, rect.left() - kGap);
        }
    }
    return right - own.left();
}

void fit(QLabel& label, const QWidget& window) {
    label.adjustSize();
    const int width = room(label, window);
    QFont font = label.font();
    for (int stretch = 99; label.width() > width && stretch >= kNarrowestStretch; --stretch) {
        font.setStretch(stretch);
        label.setFont(font);
        label.adjustSize();
    }
}

} // namespace

void fitCaptions(QWidget& window) {
    for (QLabel* label : window.findChildren<QLabel*>()) {
        if (isControl(*label, window) && !label->text().isEmpty()) {
            fit(*label, window);
        }
    }
}
