// Check boxes, radio groups and drop-down lists with the old form toolkit's events.
#include "FormControls.h"

#include <QButtonGroup>
#include <QRadioButton>
#include <QVBoxLayout>

#include <algorithm>

namespace kvel {

QFont PixelFont(const QString& family, int pixels, bool bold) {
    QFont font(family);
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

void SetFont(const QFont& font, std::initializer_list<QWidget*> controls) {
    for (QWidget* control : controls)
        control->setFont(font);
}

void SetTabChain(std::initializer_list<QWidget*> chain) {
    QWidget* previous = nullptr;
    for (QWidget* next : chain) {
        if (previous) QWidget::setTabOrder(previous, next);
        previous = next;
    }
}

CheckBox::CheckBox(const QString& text, QWidget* parent) : QCheckBox(text, parent) {
    connect(this, &QCheckBox::toggled, this, &CheckBox::Click);
}

RadioGroup::RadioGroup(const QString& title, const QStringList& items, QWidget* parent)
    : QGroupBox(title, parent), buttons_(new QButtonGroup(this)) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(8, 0, 8, 0);
    column->setSpacing(0);
    for (int i = 0; i < items.size(); ++i) {
        auto* button = new QRadioButton(items[i]);
        buttons_->addButton(button, i);
        column->addWidget(button);
    }
    connect(buttons_, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked) emit Click(id);
    });
}

int RadioGroup::ItemIndex() const {
    return buttons_->checkedId();
}

void RadioGroup::SetItemIndex(unsigned index) {
    const auto last = static_cast<unsigned>(buttons_->buttons().size() - 1);
    Item(static_cast<int>(std::min(index, last)))->setChecked(true);
}

QAbstractButton* RadioGroup::Item(int index) const {
    return buttons_->button(index);
}

DropDownList::DropDownList(const QStringList& items, QWidget* parent) : QComboBox(parent) {
    addItems(items);
    setCurrentIndex(-1);
    connect(this, &QComboBox::activated, this, &DropDownList::Change);
}

void DropDownList::SetItemIndex(int index) {
    setCurrentIndex(index < count() ? index : -1);
}

void DropDownList::showPopup() {
    emit DropDown();
    QComboBox::showPopup();
}

} // namespace kvel
