// Every text of every window against the box the form gives it, at the fonts the program really
// gets on this system: captions, list items, and the longest texts the program writes at run time.
#include "FakeSerialChannel.h"
#include "FormControls.h"
#include "MessageCapture.h"
#include "NewestWindow.h"
#include "ScratchDir.h"
#include "Unit1.h"
#include "Unit2.h"
#include "Unit3.h"
#include "Unit4.h"
#include "Unit5.h"
#include "Unit6.h"
#include "Unit7.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QStyleOptionComboBox>

#include <gtest/gtest.h>

namespace kvel {
namespace {

QString Name(const QWidget& control) {
    return control.window()->windowTitle() + " / " + control.metaObject()->className() + " \"" +
           control.property("text").toString() + "\"";
}

int IndicatorHeight(const QAbstractButton& button) {
    const bool radio = qobject_cast<const QRadioButton*>(&button) != nullptr;
    return button.style()->pixelMetric(
        radio ? QStyle::PM_ExclusiveIndicatorHeight : QStyle::PM_IndicatorHeight, nullptr, &button);
}

// What the text needs beside what the box has, or nothing when it fits.
QStringList Misfits(const QWidget& control) {
    QStringList misfits;
    const auto need = [&](const QString& text, QSize needed, QSize has) {
        if (needed.width() > has.width() || needed.height() > has.height())
            misfits << QStringLiteral("%1: \"%2\" needs %3x%4, has %5x%6")
                           .arg(Name(control), text)
                           .arg(needed.width())
                           .arg(needed.height())
                           .arg(has.width())
                           .arg(has.height());
    };
    const QFontMetrics metrics = control.fontMetrics();
    if (const auto* label = qobject_cast<const QLabel*>(&control)) {
        const QRect box = label->contentsRect();
        if (label->text().isEmpty()) return misfits;
        // The leading below the last line of a wrapped text is blank.
        const QSize needed =
            label->wordWrap()
                ? metrics.boundingRect(box, Qt::TextWordWrap | label->alignment(), label->text())
                          .size() -
                      QSize(0, std::max(metrics.leading(), 0))
                : QSize(metrics.horizontalAdvance(label->text()), metrics.height());
        need(label->text(), needed, box.size());
    } else if (const auto* box = qobject_cast<const QComboBox*>(&control)) {
        QStyleOptionComboBox option;
        option.initFrom(box);
        const QRect field = box->style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                         QStyle::SC_ComboBoxEditField, box);
        for (int i = 0; i < box->count(); ++i)
            need(box->itemText(i), {metrics.horizontalAdvance(box->itemText(i)), metrics.height()},
                 field.size());
    } else if (const auto* button = qobject_cast<const QAbstractButton*>(&control)) {
        if (qobject_cast<const QPushButton*>(button))
            need(button->text(), {metrics.horizontalAdvance(button->text()), metrics.height()},
                 button->contentsRect().size());
        else
            need(button->text(),
                 {button->sizeHint().width(), std::max(IndicatorHeight(*button), metrics.height())},
                 button->size());
    }
    if (control.parentWidget() && !control.parentWidget()->rect().contains(control.geometry()) &&
        control.geometry().left() >= 0) // the focus sinks lie beyond the left edge on purpose
        misfits << Name(control) + ": outside its window or panel";
    return misfits;
}

// The items of a radio group touch neither the frame nor one another.
QStringList ItemOverlaps(const RadioGroup& group) {
    QStringList overlaps;
    for (int i = 0; i < group.ItemCount(); ++i) {
        const QRect item = group.Item(i)->geometry();
        if (!group.ItemArea().contains(item))
            overlaps << group.title() + ": item touches the frame";
        if (i > 0 && item.top() <= group.Item(i - 1)->geometry().bottom())
            overlaps << group.title() + ": items touch";
    }
    return overlaps;
}

class TextFitTest : public ::testing::Test {
protected:
    TextFitTest() : form(channel) {
        form.State().DeviceAddress = 1;
        form.show();
    }

    QStringList MisfitsIn(QWidget& window) {
        QStringList misfits;
        for (QWidget* control : window.findChildren<QWidget*>()) {
            if (control->window() != &window || !control->isVisibleTo(&window)) continue;
            misfits += Misfits(*control);
            if (const auto* group = qobject_cast<RadioGroup*>(control))
                misfits += ItemOverlaps(*group);
        }
        return misfits;
    }

    test::ScratchDir dir;
    test::MessageCapture messages;
    test::FakeSerialChannel channel;
    TForm1 form;
};

TEST_F(TextFitTest, EveryWindowsCaptionsAndItemsFitTheirBoxes) {
    for (QAction* item : {form.N2, form.N3, form.N4, form.N5, form.N6, form.N7})
        item->trigger();
    QApplication::processEvents();
    const std::vector<QWidget*> windows{&form,
                                        NewestWindow<TForm2>::Get(),
                                        NewestWindow<TForm3>::Get(),
                                        NewestWindow<TForm4>::Get(),
                                        NewestWindow<TForm5>::Get(),
                                        NewestWindow<TForm6>::Get(),
                                        NewestWindow<TForm7>::Get()};
    for (QWidget* window : windows) {
        ASSERT_NE(window, nullptr);
        const QStringList misfits = MisfitsIn(*window);
        EXPECT_TRUE(misfits.isEmpty()) << misfits.join('\n').toStdString();
    }
}

TEST_F(TextFitTest, LongestRunTimeTextsFitTheirBoxes) {
    form.N5->trigger();
    TForm4* update = NewestWindow<TForm4>::Get();
    ASSERT_NE(update, nullptr);
    for (const char* text : {"Повторная запись 65534 блока из 65535", "Запись 65534 блока из 65535",
                             "Программирование завершено", "Нет связи с ЗУЛ"}) {
        update->Label2->setText(QString::fromUtf8(text));
        const QStringList misfits = Misfits(*update->Label2);
        EXPECT_TRUE(misfits.isEmpty()) << misfits.join('\n').toStdString();
    }
    const struct {
        int panel;
        const char* text;
    } panels[] = {{0, "ПРИЕМ ДАННЫХ"}, {0, "Нет связи"}, {1, "COM65535"},
                  {2, "115200бод"},    {3, "Адрес255"},  {3, "Адрес 255"}};
    for (const auto& p : panels) {
        form.SetStatusPanel(p.panel, p.text);
        const auto labels = form.statusBar()->findChildren<QLabel*>();
        for (QLabel* label : labels) {
            if (label->text() != QString::fromUtf8(p.text)) continue;
            const QStringList misfits = Misfits(*label);
            EXPECT_TRUE(misfits.isEmpty()) << misfits.join('\n').toStdString();
        }
    }
}

} // namespace
} // namespace kvel
