#include "FakePorts.h"
#include "PhonebookFile.h"
#include "ScriptedDialogs.h"
#include "app/Unit1.h"
#include "app/Unit2.h"

#include <QAbstractButton>
#include <QFontInfo>
#include <QLabel>
#include <QPushButton>
#include <QStyleOptionButton>
#include <gtest/gtest.h>

namespace {

// The controls a user sees on `window`: its own children and those of its
// plain panels, not the inner parts of a grid or a drop-down.
bool isControl(const QWidget& widget, const QWidget& window) {
    const QWidget* parent = widget.parentWidget();
    return parent == &window || (parent != nullptr && parent->metaObject() == &QFrame::staticMetaObject &&
                                 isControl(*parent, window));
}

std::vector<QWidget*> visibleControls(QWidget& window) {
    std::vector<QWidget*> controls;
    for (QWidget* widget : window.findChildren<QWidget*>()) {
        if (isControl(*widget, window) && widget->isVisible()) {
            controls.push_back(widget);
        }
    }
    return controls;
}

QRect inWindow(const QWidget& widget) {
    return {widget.mapTo(widget.window(), QPoint(0, 0)), widget.size()};
}

// Where a caption's text is drawn, and the text.
std::pair<QRect, QString> captionRoom(QWidget& control) {
    if (auto* label = qobject_cast<QLabel*>(&control)) {
        return {label->contentsRect(), label->text()};
    }
    auto* button = qobject_cast<QPushButton*>(&control);
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    return {button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button), button->text()};
}

// Every label and button shows its whole text inside its window, and
// overlaps no other control.
void expectCaptionsWhole(QWidget& window) {
    const std::vector<QWidget*> controls = visibleControls(window);
    const QString family = QFontInfo(window.font()).family();
    int captions = 0;
    for (QWidget* control : controls) {
        if (qobject_cast<QLabel*>(control) == nullptr && qobject_cast<QPushButton*>(control) == nullptr) {
            continue;
        }
        ++captions;
        const auto [room, text] = captionRoom(*control);
        const std::string name = control->objectName().toStdString() + " \"" + text.toStdString() + "\" in " +
                                 family.toStdString();
        const QFontMetrics metrics(control->font());
        EXPECT_LE(metrics.horizontalAdvance(text), room.width()) << name;
        EXPECT_LE(metrics.height(), room.height()) << name;
        const QWidget& parent = *control->parentWidget();
        const QRect parentRoom(parent.mapTo(&window, parent.contentsRect().topLeft()),
                               parent.contentsRect().size());
        EXPECT_TRUE(parentRoom.contains(inWindow(*control))) << name << " is cut by its parent's edge";
        for (const QWidget* other : controls) {
            if (other != control && !other->isAncestorOf(control)) {
                EXPECT_FALSE(inWindow(*control).intersects(inWindow(*other)))
                    << name << " overlaps " << other->objectName().toStdString();
            }
        }
    }
    EXPECT_GT(captions, 0);
}

class CaptionFitTest : public ::testing::Test {
protected:
    void SetUp() override {
        form1 = std::make_unique<TForm1>(file.dir(), modemWithPorts({}));
        form2 = std::make_unique<TForm2>(*form1);
        form1->setContactDialog(form2.get());
        form1->show();
        form2->showDialog();
    }

    ScriptedDialogs dialogs;
    PhonebookFile file;
    std::unique_ptr<TForm1> form1;
    std::unique_ptr<TForm2> form2;
};

TEST_F(CaptionFitTest, EveryCaptionOfTheMainWindowIsWhole) {
    ASSERT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join("; ").toStdString();
    expectCaptionsWhole(*form1);
}

TEST_F(CaptionFitTest, EveryCaptionOfTheContactDialogIsWhole) {
    expectCaptionsWhole(*form2);
}

TEST_F(CaptionFitTest, LabelsKeepTheirPlaceAndText) {
    auto* hint = form2->findChild<QLabel*>("Label2");
    EXPECT_EQ(hint->pos(), QPoint(24, 80));
    EXPECT_EQ(hint->text(), "TELEFON     ( 0535******* Formatında girin)");
    auto* count = form1->findChild<QLabel*>("Label6");
    EXPECT_EQ(count->pos(), QPoint(536, 168));
    EXPECT_LE(count->geometry().right(), form1->findChild<QLabel*>("Label7")->geometry().left());
}

} // namespace
