// Check boxes, radio groups and drop-down lists that raise their events the way the old form
// toolkit did, which the settings and calibration windows depend on; and absolute placement.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QFont>
#include <QGroupBox>
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
// or by SetItemIndex.
class RadioGroup : public QGroupBox {
    Q_OBJECT
public:
    RadioGroup(const QString& title, const QStringList& items, QWidget* parent = nullptr);

    // -1 while no item is chosen.
    int ItemIndex() const;
    // An index past the last item chooses the last one.
    void SetItemIndex(unsigned index);
    QAbstractButton* Item(int index) const;

signals:
    void Click(int index);

private:
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

signals:
    void DropDown();
    void Change(int index);
};

} // namespace kvel
