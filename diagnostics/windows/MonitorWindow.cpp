// The traffic monitor "Монитор обмена".
#include "MonitorWindow.h"

#include "FormFont.h"
#include "FormPlacement.h"
#include "MessageBox.h"
#include "WholeFileSave.h"

#include <QAbstractTableModel>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QSortFilterProxyModel>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTextStream>
#include <QVBoxLayout>

#include <algorithm>

namespace kvel {

namespace {
constexpr QSize kOuterSize(880, 520);
constexpr int kKindRole = Qt::UserRole;
enum Column { kMsColumn, kClockColumn, kDirectionColumn, kBytesColumn, kFrameColumn, kColumns };

bool IsTrouble(LineKind kind) {
    return kind == LineKind::Rejected || kind == LineKind::Exception || kind == LineKind::Event;
}

// The first bytes only: laying out a long row of hex on every repaint costs more than the rest
// of the row. The whole (up to kBytesShownPerLine) is in the tooltip and the saved file.
constexpr std::size_t kBytesInTable = 16;

QString ShownBytes(const std::string& hex) {
    constexpr std::size_t kChars = 3 * kBytesInTable - 1;
    if (hex.size() <= kChars) return QString::fromStdString(hex);
    return QString::fromStdString(hex.substr(0, kChars)) + QStringLiteral(" …");
}

QString Milliseconds(std::chrono::microseconds time) {
    return QString::number(static_cast<double>(time.count()) / 1000.0, 'f', 0);
}

QString NetworkCounts(const LinkCounters& counters) {
    return QStringLiteral(
               "\nСеть: отвергнуто %1, разорвано %2, узел не найден %3, не отвечает %4    "
               "MBAP отброшено: транзакция %5, протокол %6, длина %7")
        .arg(counters.ConnectionFailures(OpenFailureReason::ConnectionRefused))
        .arg(counters.ConnectionFailures(OpenFailureReason::ConnectionDropped))
        .arg(counters.ConnectionFailures(OpenFailureReason::HostNotFound))
        .arg(counters.ConnectionFailures(OpenFailureReason::ConnectionTimedOut))
        .arg(counters.MbapDrops(MbapFault::WrongTransaction))
        .arg(counters.MbapDrops(MbapFault::WrongProtocol))
        .arg(counters.MbapDrops(MbapFault::WrongLength));
}

QString CountersText(const LinkCounters& counters) {
    QString exceptions;
    for (int code = 0; code < 256; ++code) {
        const std::uint64_t count = counters.Exceptions(static_cast<std::uint8_t>(code));
        if (count == 0) continue;
        exceptions += QStringLiteral(" %1: %2").arg(code, 2, 16, QChar('0')).arg(count);
    }
    const Latency& latency = counters.ReplyLatency();
    const auto ms = [](Latency::Duration time) { return Milliseconds(time); };
    const QString serial =
        QStringLiteral("Запросов: %1    Ответов: %2    Потерь связи: %3\n"
                       "Отклонено: CRC %4, другой адрес %5, неожиданная длина %6, шум %7    "
                       "Исключения:%8\n"
                       "Задержка ответа, мс: последняя %9, наименьшая %10, средняя %11, "
                       "наибольшая %12")
            .arg(counters.Requests())
            .arg(counters.Replies())
            .arg(counters.LinkLosses())
            .arg(counters.Rejected(PieceKind::CrcError))
            .arg(counters.Rejected(PieceKind::OtherAddress))
            .arg(counters.Rejected(PieceKind::WrongLength))
            .arg(counters.Rejected(PieceKind::Noise))
            .arg(exceptions.isEmpty() ? QStringLiteral(" нет") : exceptions.toUpper())
            .arg(ms(latency.last), ms(latency.least), ms(latency.Mean()), ms(latency.most));
    // A network line's counters take a fourth line.
    return counters.NetworkSeen() ? serial + NetworkCounts(counters) : serial;
}

QString CauseHeadline(const LinkCounters& counters) {
    const auto& cause = counters.Cause();
    return cause ? QString::fromStdString(LossHeadline(*cause)) : QStringLiteral("Связь в порядке");
}
} // namespace

// The lines shown, oldest first, at most kMonitorHistory of them.
class MonitorTableModel : public QAbstractTableModel {
public:
    explicit MonitorTableModel(QObject* parent) : QAbstractTableModel(parent) {}

    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : static_cast<int>(lines_.size());
    }
    int columnCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : kColumns;
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
        static const QStringList titles{QStringLiteral("мс"), QStringLiteral("Время"),
                                        QStringLiteral("Направление"), QStringLiteral("Байты"),
                                        QStringLiteral("Кадр")};
        return titles.value(section);
    }

    QVariant data(const QModelIndex& index, int role) const override {
        const MonitorLine& line = lines_[static_cast<std::size_t>(index.row())];
        switch (role) {
        case Qt::DisplayRole:
            return Text(line, index.column());
        case Qt::ToolTipRole:
            return index.column() == kBytesColumn ? QString::fromStdString(line.hex) : QVariant();
        case Qt::ForegroundRole:
            return Ink(line.kind);
        case Qt::BackgroundRole:
            return Paper(line.kind);
        case kKindRole:
            return static_cast<int>(line.kind);
        default:
            return {};
        }
    }

    QString Text(const MonitorLine& line, int column) const {
        switch (column) {
        case kMsColumn:
            // A line from before the window opened (a reply cut up later) counts from the opening.
            return Milliseconds(std::chrono::duration_cast<std::chrono::microseconds>(
                std::max(line.when - opened_, LinkClock::duration::zero())));
        case kClockColumn:
            return QDateTime::fromMSecsSinceEpoch(
                       std::chrono::duration_cast<std::chrono::milliseconds>(
                           line.wallClock.time_since_epoch())
                           .count())
                .toString(QStringLiteral("HH:mm:ss.zzz"));
        case kDirectionColumn:
            if (line.kind == LineKind::Event) return QStringLiteral("—");
            return line.outgoing ? QStringLiteral("→ передача") : QStringLiteral("← приём");
        case kBytesColumn:
            return ShownBytes(line.hex);
        default:
            return QString::fromStdString(line.text);
        }
    }

    void Append(std::deque<MonitorLine> lines) {
        while (lines.size() > kMonitorHistory)
            lines.pop_front();
        const std::size_t overflow = lines_.size() + lines.size() > kMonitorHistory
                                         ? lines_.size() + lines.size() - kMonitorHistory
                                         : 0;
        if (overflow != 0) {
            beginRemoveRows({}, 0, static_cast<int>(overflow) - 1);
            lines_.erase(lines_.begin(), lines_.begin() + static_cast<std::ptrdiff_t>(overflow));
            endRemoveRows();
        }
        if (lines.empty()) return;
        const int first = static_cast<int>(lines_.size());
        beginInsertRows({}, first, first + static_cast<int>(lines.size()) - 1);
        std::move(lines.begin(), lines.end(), std::back_inserter(lines_));
        endInsertRows();
    }

    void Clear() {
        beginResetModel();
        lines_.clear();
        endResetModel();
    }

private:
    static QVariant Ink(LineKind kind) {
        switch (kind) {
        case LineKind::Reply:
            return QColor(0, 110, 0);
        case LineKind::Rejected:
            return QColor(170, 0, 0);
        case LineKind::Exception:
            return QColor(140, 70, 0);
        case LineKind::Event:
            return QColor(0, 0, 160);
        case LineKind::Request:
            break;
        }
        return {};
    }
    static QVariant Paper(LineKind kind) {
        if (kind == LineKind::Rejected) return QColor(255, 225, 225);
        if (kind == LineKind::Exception) return QColor(255, 238, 200);
        if (kind == LineKind::Event) return QColor(225, 232, 255);
        return {};
    }

    std::deque<MonitorLine> lines_;
    LinkClock::time_point opened_ = LinkClock::now();
};

namespace {
// One text and two colours a cell, drawn directly: the style's item painting fetches a dozen
// roles and lays every cell out for icons, check boxes and eliding the monitor never has, and
// that was most of the window's cost while polling.
class PlainCellDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const bool selected = option.state & QStyle::State_Selected;
        const QVariant paper = index.data(Qt::BackgroundRole);
        if (selected)
            painter->fillRect(option.rect, option.palette.highlight());
        else if (paper.isValid())
            painter->fillRect(option.rect, paper.value<QColor>());
        const QVariant ink = index.data(Qt::ForegroundRole);
        painter->setPen(selected        ? option.palette.highlightedText().color()
                        : ink.isValid() ? ink.value<QColor>()
                                        : option.palette.text().color());
        painter->drawText(option.rect.adjusted(kCellPadding, 0, -kCellPadding, 0),
                          Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                          index.data().toString());
    }

private:
    static constexpr int kCellPadding = 3;
};

// "Только ошибки" keeps rejected bytes, exceptions and link events.
class TroubleFilter : public QSortFilterProxyModel {
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;
    void SetTroubleOnly(bool troubleOnly) {
        troubleOnly_ = troubleOnly;
        invalidateRowsFilter();
    }

protected:
    bool filterAcceptsRow(int row, const QModelIndex& parent) const override {
        if (!troubleOnly_) return true;
        const QModelIndex index = sourceModel()->index(row, 0, parent);
        return IsTrouble(static_cast<LineKind>(index.data(kKindRole).toInt()));
    }

private:
    bool troubleOnly_ = false;
};
} // namespace

MonitorWindow::MonitorWindow(TrafficMonitor& monitor, QWidget* parent)
    : QWidget(parent, Qt::Window), monitor_(monitor) {
    setAttribute(Qt::WA_DeleteOnClose);
    BuildForm();
    ChooseFileName = [this] { return RunSaveDialog(); };
    monitor_.SetRecording(true);
    RefreshTimer = new FormTimer([this] { Refresh(); }, this);
    RefreshTimer->SetInterval(kRefreshMs);
    ShowCounters();
    ShowWithinScreen(*this, kOuterSize);
}

void MonitorWindow::BuildForm() {
    setWindowTitle(QStringLiteral("Монитор обмена"));
    setFont(MsSansSerif());

    PauseButton = new QPushButton(QStringLiteral("Пауза"));
    PauseButton->setCheckable(true);
    ClearButton = new QPushButton(QStringLiteral("Очистить"));
    FilterBox = new QComboBox;
    FilterBox->addItems({QStringLiteral("Все"), QStringLiteral("Только ошибки")});
    SaveButton = new QPushButton(QStringLiteral("Сохранить…"));
    auto* tools = new QHBoxLayout;
    for (QWidget* control :
         std::initializer_list<QWidget*>{PauseButton, ClearButton, FilterBox, SaveButton})
        tools->addWidget(control);
    tools->addStretch();

    model_ = new MonitorTableModel(this);
    auto* filter = new TroubleFilter(this);
    filter->setSourceModel(model_);
    filter_ = filter;
    Table = new QTableView;
    Table->setModel(filter_);
    Table->setSelectionBehavior(QAbstractItemView::SelectRows);
    Table->setWordWrap(false);
    Table->setItemDelegate(new PlainCellDelegate(Table));
    // Fixed row heights let the view skip measuring 20,000 rows.
    Table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    Table->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    Table->verticalHeader()->hide();
    Table->horizontalHeader()->setStretchLastSection(true);
    const int widths[] = {70, 90, 90, 300};
    for (int column = 0; column < kFrameColumn; ++column)
        Table->setColumnWidth(column, widths[column]);

    CountersLabel = new QLabel;
    CountersLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // Counters change on every poll; a fixed height keeps that from laying the window out again.
    CountersLabel->setFixedHeight(3 * fontMetrics().lineSpacing() + 4);
    CauseLabel = new QLabel;
    QFont bold = CauseLabel->font();
    bold.setBold(true);
    CauseLabel->setFont(bold);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(CauseLabel);
    layout->addLayout(tools);
    layout->addWidget(Table, 1);
    layout->addWidget(CountersLabel);

    connect(PauseButton, &QPushButton::toggled, this, [this](bool paused) {
        if (!paused) Refresh();
    });
    connect(ClearButton, &QPushButton::clicked, this, &MonitorWindow::Clear);
    connect(FilterBox, &QComboBox::currentIndexChanged, this, [this, filter](int index) {
        const bool following = Following();
        filter->SetTroubleOnly(index == 1);
        if (following) Table->scrollToBottom();
    });
    connect(SaveButton, &QPushButton::clicked, this, &MonitorWindow::Save);
}

void MonitorWindow::Refresh() {
    ShowCounters();
    if (PauseButton->isChecked()) return;
    std::deque<MonitorLine> lines = monitor_.TakeLines();
    if (lines.empty()) return;
    const bool following = Following();
    model_->Append(std::move(lines));
    if (following) Table->scrollToBottom();
}

bool MonitorWindow::Following() const {
    const QScrollBar* scroll = Table->verticalScrollBar();
    return scroll->value() == scroll->maximum();
}

int MonitorWindow::ShownRows() const {
    return filter_->rowCount();
}

QString MonitorWindow::ShownText(int row, int column) const {
    return filter_->index(row, column).data().toString();
}

void MonitorWindow::Clear() {
    monitor_.TakeLines();
    model_->Clear();
}

QString MonitorWindow::SuggestedFileName() {
    return QStringLiteral("kvel-monitor-%1.txt")
        .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss")));
}

QString MonitorWindow::RunSaveDialog() {
    return QFileDialog::getSaveFileName(this, QStringLiteral("Сохранить…"), SuggestedFileName(),
                                        QStringLiteral("Текст (*.txt)"));
}

// Up to the moment of saving, not of the last refresh.
void MonitorWindow::Save() {
    Refresh();
    const QString path = ChooseFileName();
    activateWindow();
    if (path.isEmpty()) return;
    if (!WriteLines(path)) ShowMessage(QStringLiteral("Не удалось записать файл ") + path, this);
}

// Through a file beside it, renamed over it once whole: a failed save keeps the file there was.
bool MonitorWindow::WriteLines(const QString& path) const {
    QString text;
    QTextStream out(&text);
    WriteRows(out, 0);
    out.flush();
    return SaveWholeFile(path.toStdString(), text.toStdString());
}

QString MonitorWindow::LastLinesText(int count) {
    Refresh();
    QString text;
    QTextStream out(&text);
    WriteRows(out, std::max(0, ShownRows() - count));
    out.flush();
    return text;
}

void MonitorWindow::WriteRows(QTextStream& out, int firstRow) const {
    WriteHeader(out);
    for (int row = firstRow; row < ShownRows(); ++row) {
        QStringList cells;
        for (int column = 0; column < kColumns; ++column)
            cells << (column == kBytesColumn
                          ? filter_->index(row, column).data(Qt::ToolTipRole).toString()
                          : ShownText(row, column));
        out << cells.join('\t') << '\n';
    }
}

// Lines starting with "#", so a program reading the tab-separated lines can pass over them.
void MonitorWindow::WriteHeader(QTextStream& out) const {
    const QStringList header{
        QStringLiteral("Монитор обмена, сохранено ") +
            QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
        QStringLiteral("Порт: ") + QString::fromStdString(PortContextText(monitor_.Port())),
        CountersText(monitor_.Counters()),
        CauseHeadline(monitor_.Counters()),
        ColumnTitles().join('\t'),
    };
    for (const QString& line : header.join('\n').split('\n'))
        out << "# " << line << '\n';
}

QStringList MonitorWindow::ColumnTitles() const {
    QStringList titles;
    for (int column = 0; column < kColumns; ++column)
        titles << filter_->headerData(column, Qt::Horizontal).toString();
    return titles;
}

void MonitorWindow::ShowCounters() {
    const LinkCounters& counters = monitor_.Counters();
    // A serial line's counters keep their three lines; a network line's take a fourth.
    if (counters.NetworkSeen()) CountersLabel->setFixedHeight(4 * fontMetrics().lineSpacing() + 4);
    CountersLabel->setText(CountersText(counters));
    CauseLabel->setText(CauseHeadline(counters));
}

// The main window may outlive this one or not, so the recording stops here, not on destruction.
void MonitorWindow::closeEvent(QCloseEvent* event) {
    RefreshTimer->SetInterval(0);
    monitor_.SetRecording(false);
    event->accept();
}

} // namespace kvel
