// Check boxes, radio groups and drop-down lists with the old form toolkit's events.
#include "FormControls.h"

#include <QButtonGroup>
#include <QEvent>
#include <QPainter>
#include <QRadioButton>
#include <QStyleOptionComboBox>
#include <qdrawutil.h>

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

namespace {
constexpr int kGroupFrame = 2;
constexpr int kGroupIndent = 8;
} // namespace

RadioGroup::RadioGroup(const QString& title, const QStringList& items, QWidget* parent)
    : QWidget(parent), title_(title), buttons_(new QButtonGroup(this)) {
    for (int i = 0; i < items.size(); ++i)
        buttons_->addButton(new QRadioButton(items[i], this), i);
    connect(buttons_, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked) emit Click(id);
    });
}

int RadioGroup::ItemCount() const {
    return static_cast<int>(buttons_->buttons().size());
}

QRect RadioGroup::ItemArea() const {
    return rect().adjusted(kGroupFrame, fontMetrics().height(), -kGroupFrame, -kGroupFrame);
}

void RadioGroup::ArrangeItems() {
    const QRect area = ItemArea();
    const int count = std::max(ItemCount(), 1);
    const int pitch = area.height() / count;
    for (int i = 0; i < ItemCount(); ++i) {
        QAbstractButton* item = Item(i);
        const int height = std::min(item->sizeHint().height(), pitch);
        item->setGeometry(area.left() + kGroupIndent - kGroupFrame,
                          area.top() + i * pitch + (pitch - height) / 2,
                          area.width() - 2 * (kGroupIndent - kGroupFrame), height);
    }
}

void RadioGroup::resizeEvent(QResizeEvent*) {
    ArrangeItems();
}

void RadioGroup::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) ArrangeItems();
    QWidget::changeEvent(event);
}

void RadioGroup::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QFontMetrics metrics = fontMetrics();
    qDrawShadeRect(&painter, rect().adjusted(0, metrics.height() / 2, 0, 0), palette(), true, 1);
    const QRect titleArea(kGroupIndent, 0, metrics.horizontalAdvance(title_) + 4, metrics.height());
    painter.fillRect(titleArea, palette().window());
    style()->drawItemText(&painter, titleArea, Qt::AlignCenter, palette(), isEnabled(), title_,
                          QPalette::WindowText);
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

void DropDownList::NarrowFontToFitItems() {
    QFont narrow = font();
    narrow.setFamilies({QStringLiteral("Arial Narrow"), QStringLiteral("Liberation Sans Narrow"),
                        QStringLiteral("Nimbus Sans Narrow"), font().family()});
    setFont(narrow);
    while (LongestItemWidth() > TextFieldWidth() && narrow.pixelSize() > 1) {
        narrow.setPixelSize(narrow.pixelSize() - 1);
        setFont(narrow);
    }
}

int DropDownList::LongestItemWidth() const {
    int widest = 0;
    for (int i = 0; i < count(); ++i)
        widest = std::max(widest, fontMetrics().horizontalAdvance(itemText(i)));
    return widest;
}

int DropDownList::TextFieldWidth() const {
    QStyleOptionComboBox option;
    initStyleOption(&option);
    return style()
        ->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this)
        .width();
}

namespace {
constexpr int kProgressBorder = 2;

// The filled part of `inside` for a share from 0 to 1: from the bottom when vertical, else from
// the left.
QRect FilledPart(QRect inside, double share, Qt::Orientation orientation) {
    if (orientation == Qt::Vertical) {
        const int height = qRound(inside.height() * share);
        inside.setTop(inside.bottom() - height + 1);
    } else {
        inside.setWidth(qRound(inside.width() * share));
    }
    return inside;
}
} // namespace

void ProgressBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Base));
    qDrawShadePanel(&painter, rect(), palette(), true, kProgressBorder);
    const int span = maximum() - minimum();
    if (span <= 0 || value() <= minimum()) return;
    const double share = std::min(1.0, static_cast<double>(value() - minimum()) / span);
    const QRect inside =
        rect().adjusted(kProgressBorder, kProgressBorder, -kProgressBorder, -kProgressBorder);
    painter.fillRect(FilledPart(inside, share, orientation()),
                     palette().color(QPalette::Highlight));
}

} // namespace kvel
