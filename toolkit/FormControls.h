// Check boxes, radio groups and drop-down lists that raise their events the way the old form
// toolkit did, which the settings and calibration windows depend on; and absolute placement.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QFont>
#include <QProgressBar>
#include <QRect>
#include <QStringList>

#include <initializer_list>

class QButtonGroup;

namespace kvel {

QFont PixelFont(const QString& family, int pixels, bool bold = false);
void SetFont(const QFont& font, std::initializer_list<QWidget*> controls);

// Puts `control` on `parent` at `geometry`; an empty size keeps the control's own size hint.
template <class Control> Control* Place(QWidget* parent, QRect geometry, Control* control) {
    control->setParent(parent);
    if (geometry.isEmpty()) geometry.setSize(control->sizeHint());
    control->setGeometry(geometry);
    return control;
}

// The tab order, first to last.
void SetTabChain(std::initializer_list<QWidget*> chain);

// Click runs whenever the box changes state, whether the operator or the program changed it,
// so a refresh that changes a box also writes it back.
class CheckBox : public QCheckBox {
    Q_OBJECT
public:
    explicit CheckBox(const QString& text = {}, QWidget* parent = nullptr);

signals:
    void Click();
};

// A framed group of radio buttons. Click runs whenever the chosen item changes, by the operator
// or by SetItemIndex. As in the old toolkit, the title sits on the frame's top line and the items
// share the height below it evenly; a style's group box would put the title above the frame and
// leave the items too little room in the forms' fixed sizes.
class RadioGroup : public QWidget {
    Q_OBJECT
public:
    RadioGroup(const QString& title, const QStringList& items, QWidget* parent = nullptr);

    QString title() const { return title_; }
    // -1 while no item is chosen.
    int ItemIndex() const;
    // An index past the last item chooses the last one.
    void SetItemIndex(unsigned index);
    QAbstractButton* Item(int index) const;
    int ItemCount() const;
    // Inside the frame, below the title.
    QRect ItemArea() const;

signals:
    void Click(int index);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void ArrangeItems();

    QString title_;
    QButtonGroup* buttons_;
};

// A list the operator picks from without typing. Change runs only on the operator's choice;
// DropDown when the list opens.
class DropDownList : public QComboBox {
    Q_OBJECT
public:
    explicit DropDownList(const QStringList& items, QWidget* parent = nullptr);

    // An index with no item shows no item.
    void SetItemIndex(int index);
    void showPopup() override;
    // Switches to a narrow face of the same design and, where even that is too wide, to smaller
    // sizes of it, until every item fits the closed box at its present width.
    void NarrowFontToFitItems();
    int LongestItemWidth() const;
    // The width the closed box gives the chosen item's text.
    int TextFieldWidth() const;

signals:
    void DropDown();
    void Change(int index);
};

// A progress bar as the old toolkit drew it: a sunken border two pixels wide and a flat fill in the
// palette's highlight colour, with no style gradient, and nothing filled at the minimum.
class ProgressBar : public QProgressBar {
    Q_OBJECT
public:
    using QProgressBar::QProgressBar;

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace kvel
